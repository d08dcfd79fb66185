#!/usr/bin/env bash
# Runs a Windows program under Wine: the cross-build's test emulator.
# Usage: scripts/run-under-wine.sh WINE PROGRAM [ARGS...]
# On a loaded machine Wine now and then loses a new process's connection to
# its server ("wine client error: ... Connection reset by peer") and the
# program dies before it has run. Such a run, and only such a run, is made
# once more; every other result, a failing test's included, is passed on as
# it is. The program's standard error follows once it has ended.
set -u
wine=$1
shift
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
for attempt in 1 2; do
  "$wine" "$@" 2>"$errors"
  status=$?
  if ((status != 0 && attempt == 1)) && grep -q '^wine client error' "$errors"; then
    echo "run-under-wine: Wine lost its server connection; running $1 again" >&2
    continue
  fi
  cat "$errors" >&2
  exit "$status"
done
