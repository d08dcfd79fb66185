#!/usr/bin/env bash
# The long web-map tile tests against a built tree (default build-ci): Dask on
# a LocalCluster and over tcp, kill -9 and resume, the PMTiles archive read
# back with the npm "pmtiles" reader, and the viewer in headless Chromium
# driven by npm's playwright-core. The npm packages are installed once into
# BUILD/tiles-npm and kept there.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-ci}
if [[ ! -f "$build/libordane.so" ]]; then
  [[ -f "$build/CMakeCache.txt" ]] || cmake --preset ci
  cmake --build "$build" --target ordane velket torvik -j2
fi
npm_dir="$build/tiles-npm"
if [[ ! -d "$npm_dir/node_modules/pmtiles" || ! -d "$npm_dir/node_modules/playwright-core" ]]; then
  mkdir -p "$npm_dir"
  npm install --prefix "$npm_dir" --no-audit --no-fund --silent pmtiles@3 playwright-core@1
fi
export QUILLON_LIB_DIR="$PWD/$build" QUILLON_SOURCE_DIR="$PWD" PYTHONPATH="$PWD/python"
export QUILLON_SAMPLE_SHP="$PWD/data/countries_110m.shp" PYTHONDONTWRITEBYTECODE=1
export QUILLON_TILES_SLOW=1 QUILLON_NPM_DIR="$PWD/$npm_dir"
/usr/bin/python3 -m pytest -q -p no:cacheprovider python/tests/test_tiles_slow.py
