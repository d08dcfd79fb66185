#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (-fsanitize=fuzzer,address,undefined)
# and runs each on a copy of its seed corpus plus the saved crash files for a
# fixed time. Any finding (crash, sanitizer report, leak, timeout) fails.
# The path targets link the real Blend2D when CMake finds it (set
# CMAKE_PREFIX_PATH, e.g. /opt/blend2d), otherwise the stand-in core.
#   scripts/run-fuzzers.sh [seconds per target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=build-fuzz

CC=clang CXX=clang++ cmake -S fuzz -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2

run() {  # run <target> <corpus dir> [dictionary]
  local target=$1 seeds=$2 dict=${3:-}
  local work
  work=$(mktemp -d)
  cp "$seeds"/* "$work"/
  local extra=()
  if [[ -n $dict ]]; then
    extra=(-dict="$dict")
    find tests/shp/regress -type f ! -name 'README*' -exec cp {} "$work"/ \; 2>/dev/null || true
  fi
  mkdir -p "$build/artifacts"
  local status=0
  "$build/$target" "$work" "${extra[@]}" -max_total_time="$seconds" -max_len=8192 \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" >"$build/$target.log" 2>&1 || status=$?
  rm -rf "$work"
  local execs
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/$target.log" | tail -1)
  echo "$target: ${execs:-0} executions in ${seconds} s"
  if ((status != 0)); then
    tail -n 60 "$build/$target.log"
    echo "$target: finding saved in $build/artifacts/ (keep it as a regression: tests/shp/regress/ or fuzz/corpus/)" >&2
    return "$status"
  fi
}

status=0
run ordane_shp_fuzzer fuzz/corpus/ordane_shp fuzz/ordane_shp.dict || status=1
# The pipe-fed variant: libFuzzer's own timer signal (-timeout) lands in
# its blocking pipe reads now and then, which the readers retry.
run ordane_shp_pipe_fuzzer fuzz/corpus/ordane_shp fuzz/ordane_shp.dict || status=1
run ordane_build_fuzzer fuzz/corpus/ordane_build || status=1
run velket_trim_path_fuzzer fuzz/corpus/velket_trim_path || status=1
run torvik_transform_path_fuzzer fuzz/corpus/torvik_transform_path || status=1
run torvik_render_globe_fuzzer fuzz/corpus/torvik_render_globe || status=1
run ordane_cut_fuzzer fuzz/corpus/ordane_cut || status=1
run ordane_densify_fuzzer fuzz/corpus/ordane_densify || status=1
exit $status
