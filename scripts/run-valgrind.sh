#!/usr/bin/env bash
# Valgrind stage: the whole test suite of an ordinary build (stand-in Blend2D
# core) under memcheck, tests labelled "slow" excepted. Any memcheck error,
# definite leak or failing test fails the stage.
#   scripts/run-valgrind.sh [build dir, default build-valgrind]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-valgrind}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_BLEND2D=STANDIN \
  -DQUILLON_BUILD_BENCHMARKS=OFF -DQUILLON_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$build" -j2
/usr/bin/python3 scripts/valgrind_suite.py "$build"
