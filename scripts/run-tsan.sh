#!/usr/bin/env bash
# ThreadSanitizer stage: builds the tsan preset (stand-in Blend2D core) and
# runs the concurrency test, eight threads over every handle-free export.
# Any report fails the stage. First it runs the Cairo-only program, to show
# what Cairo reports without any project code (see tests/concurrency/tsan.supp).
#   scripts/run-tsan.sh
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset tsan >/dev/null
cmake --build build-tsan -j2 --target quillon_concurrency_tests

cc -fsanitize=thread -g -O1 tests/concurrency/cairo_only_tsan.c -o build-tsan/cairo_only_tsan \
  $(pkg-config --cflags --libs cairo) -lpthread
reports=$(TSAN_OPTIONS="exitcode=0" build-tsan/cairo_only_tsan 2>&1 |
  grep -c "WARNING: ThreadSanitizer" || true)
echo "plain Cairo on 8 threads: ${reports} ThreadSanitizer report(s), without suppressions"

export TSAN_OPTIONS="suppressions=$PWD/tests/concurrency/tsan.supp halt_on_error=1 second_deadlock_stack=1"
ctest --test-dir build-tsan -L concurrency --output-on-failure
