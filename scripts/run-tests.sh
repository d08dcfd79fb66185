#!/usr/bin/env bash
# Configures, builds and runs the whole test suite.
#   scripts/run-tests.sh [preset] [extra cmake arguments...]
# The preset is one of CMakePresets.json's ("tests" by default: the
# libraries, the poster, the tests and the benchmarks in build/). An argument
# that names no preset is taken as a build folder, configured like "tests".
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

target=${1:-tests}
shift || true
if cmake --list-presets=configure 2>/dev/null | grep -q "^  \"$target\""; then
  cmake --preset "$target" "$@"
  cmake --build --preset "$target" -j"$jobs"
  ctest --preset "$target" -j"$jobs"
else
  cmake -S . -B "$target" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLON_BUILD_TESTS=ON -DQUILLON_BUILD_BENCHMARKS=ON "$@"
  cmake --build "$target" -j"$jobs"
  ctest --test-dir "$target" --output-on-failure -j"$jobs"
fi
