#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing need, skipping the
# ones already present. Run it as root, or as a user who may use sudo.
set -euo pipefail

packages=(
  build-essential cmake pkg-config binutils      # toolchain, nm for the export checks
  libgtest-dev libbenchmark-dev                  # tests and benchmarks
  libcairo2-dev                                  # backs the Blend2D stand-in
  clang libclang-rt-14-dev                       # libFuzzer targets
  libcurl4-openssl-dev ca-certificates openssl   # HTTP download and its TLS tests
  libidn2-dev                                    # international host names
  python3                                        # local test servers, ctypes client
  python3-numpy python3-pil                      # poster comparison between Blend2D builds
  libpng-dev zlib1g-dev libwebp-dev              # the poster's PNG, APNG and animated WebP output
  python3-pytest python3-pip                     # the Python package and its tests
  libproj-dev                                    # reference projections in tests
  libshp-dev shapelib                            # reference shapefile reader and writers
  python3-pyshp gdal-bin                         # .dbf cross-check; writer corpus generator
  valgrind                                       # memcheck stage (scripts/run-valgrind.sh)
  libsleef-dev                                   # vector elementary functions for the kernels
  python3-venv python3-setuptools python3-wheel  # pip install ./python into a venv, offline
  python3-dask python3-distributed               # Dask: quillon-tiles' schedulers, examples/python/tiles.py
  python3-pyproj libjs-leaflet                   # tiles: .prj reprojection, the viewer's Leaflet
)
# The browser stage (.ci/run browser): a headless Chromium driven from npm,
# which also holds the PMTiles reader the archive test reads back with.
if [[ "${1:-}" == "--browser" ]]; then
  packages+=(chromium)
  # Node.js and npm: Debian's, unless the machine already has them (a
  # nodejs package from elsewhere ships npm inside and conflicts with
  # Debian's npm package).
  if ! command -v npm >/dev/null 2>&1; then
    packages+=(nodejs npm)
  fi
fi

# The Windows cross-build and its tests under Wine (CI stage "windows"):
# only with --windows, so that the other stages do not pay for them.
if [[ "${1:-}" == "--windows" ]]; then
  packages=(
    g++-mingw-w64-x86-64-posix                   # MinGW-w64 GCC, posix threads
    wine64 wine                                  # runs the test programs
    googletest                                   # GoogleTest sources, cross-built
    ninja-build                                  # SLEEF's cross-build needs Ninja
    cmake python3 openssl zip                    # build, test servers, release zip
  )
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  # apt-get needs root: go through sudo when run as an ordinary user.
  as_root=()
  if ((EUID != 0)); then
    as_root=(sudo)
  fi
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
