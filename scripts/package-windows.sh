#!/usr/bin/env bash
# Installs a Windows build (the "windows" preset's build-windows by default)
# into a folder and zips it for binding authors:
#   quillon-<version>-windows-x86_64/
#     bin/      libordane.dll libvelket.dll libtorvik.dll and Blend2D's DLL
#     lib/      lib<name>.dll.a import libraries, lib<name>.def export lists,
#               CMake packages
#     include/  ordane.h velket.h torvik.h and Blend2D's headers
#     python/   the quillon package (put this folder on sys.path); its
#               _version.py points the loader at bin/
# The DLLs need only system DLLs (the C and C++ runtimes are linked in).
# Usage: scripts/package-windows.sh [BUILD_DIR]   -> BUILD_DIR/quillon-...zip
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-windows}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name="quillon-${version}-windows-x86_64"
stage="$build/package/$name"
rm -rf "$build/package"
cmake --install "$build" --prefix "$stage" >/dev/null
for f in bin/libordane.dll bin/libvelket.dll bin/libtorvik.dll \
         lib/libordane.dll.a lib/libvelket.dll.a lib/libtorvik.dll.a \
         lib/libordane.def lib/libvelket.def lib/libtorvik.def \
         include/ordane.h include/velket.h include/torvik.h python/quillon/_version.py; do
  if [[ ! -f "$stage/$f" ]]; then
    echo "error: $f missing from the installed tree" >&2
    exit 1
  fi
done
# The package finds the DLLs through the folder its _version.py records,
# relative to itself: it must be bin/, where the DLLs and Blend2D's lie.
/usr/bin/python3 - "$stage" <<'EOF'
import os, re, sys
stage = sys.argv[1]
package = os.path.join(stage, "python", "quillon")
with open(os.path.join(package, "_version.py")) as f:
    lib_dir = re.search(r'^LIB_DIR = "(.*)"$', f.read(), re.M).group(1)
found = os.path.normpath(os.path.join(package, lib_dir))
if found != os.path.normpath(os.path.join(stage, "bin")):
    sys.exit("error: the package's LIB_DIR %r leads to %s, not bin/" % (lib_dir, found))
for name in ("libordane.dll", "libvelket.dll", "libtorvik.dll", "libblend2d.dll"):
    if not os.path.isfile(os.path.join(found, name)):
        sys.exit("error: %s missing beside the package's DLLs in %s" % (name, found))
EOF
(cd "$build/package" && cmake -E tar cf "../$name.zip" --format=zip "$name")
echo "$build/$name.zip:"
(cd "$build/package" && find "$name" -type f | sort | sed 's/^/  /')
