#!/usr/bin/env bash
# Installs a Windows build (the "windows" preset's build-windows by default)
# into a folder and zips it for binding authors:
#   quillon-<version>-windows-x86_64/
#     bin/      libordane.dll libvelket.dll libtorvik.dll and Blend2D's DLL
#     lib/      lib<name>.dll.a import libraries, lib<name>.def export lists,
#               CMake packages
#     include/  ordane.h velket.h torvik.h and Blend2D's headers
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
         include/ordane.h include/velket.h include/torvik.h; do
  if [[ ! -f "$stage/$f" ]]; then
    echo "error: $f missing from the installed tree" >&2
    exit 1
  fi
done
(cd "$build/package" && cmake -E tar cf "../$name.zip" --format=zip "$name")
echo "$build/$name.zip:"
(cd "$build/package" && find "$name" -type f | sort | sed 's/^/  /')
