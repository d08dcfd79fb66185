#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (-fsanitize=fuzzer,address,undefined)
# and runs each on a copy of its seed corpus plus the saved crash files for a
# fixed time. Any finding (crash, sanitizer report, leak, timeout) fails.
#   scripts/run-fuzzers.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build-fuzz

CC=clang CXX=clang++ cmake -S fuzz -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2

run() {  # run <target> <corpus dir> <dictionary>
  local target=$1 seeds=$2 dict=$3
  local work
  work=$(mktemp -d)
  cp "$seeds"/* "$work"/
  find tests/shp/regress -type f ! -name 'README*' -exec cp {} "$work"/ \; 2>/dev/null || true
  mkdir -p "$build/artifacts"
  local status=0
  "$build/$target" "$work" -dict="$dict" -max_total_time="$seconds" -max_len=8192 \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" >"$build/$target.log" 2>&1 || status=$?
  rm -rf "$work"
  local execs
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/$target.log" | tail -1)
  echo "$target: ${execs:-0} executions in ${seconds} s"
  if ((status != 0)); then
    tail -n 60 "$build/$target.log"
    echo "$target: finding saved in $build/artifacts/ (keep it in tests/shp/regress/)" >&2
    return "$status"
  fi
}

run ordane_shp_fuzzer fuzz/corpus/ordane_shp fuzz/ordane_shp.dict
