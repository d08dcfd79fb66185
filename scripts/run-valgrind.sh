#!/usr/bin/env bash
# Valgrind stage: the whole test suite of an ordinary build (stand-in Blend2D
# core) under memcheck, tests labelled "slow" excepted. Any memcheck error,
# definite leak or failing test fails the stage.
# An existing build folder (such as the one the main test stage made) is
# reused as it is configured; a new one is configured on the stand-in.
#   scripts/run-valgrind.sh [build dir, default build-valgrind]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-valgrind}
if [[ ! -f $build/CMakeCache.txt ]]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_BLEND2D=STANDIN \
    -DQUILLON_BUILD_BENCHMARKS=OFF -DQUILLON_BUILD_EXAMPLES=OFF >/dev/null
fi
cmake --build "$build" -j2
/usr/bin/python3 scripts/valgrind_suite.py "$build"
