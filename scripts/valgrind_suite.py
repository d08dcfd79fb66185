#!/usr/bin/env python3
"""Runs the CTest suite of a build folder under valgrind's memcheck.

Each test program runs once, with a GoogleTest filter naming all of its
tests that are not labelled "slow" (so valgrind starts a few dozen times,
not once per test case). Programs that CTest runs through cmake -P (ABI and
packaging checks) are skipped: they run no project code themselves. Exit
status 1 when any program fails or valgrind reports an error.

  valgrind_suite.py BUILD_DIR [extra valgrind options...]
"""
import collections
import json
import os
import subprocess
import sys

build = os.path.abspath(sys.argv[1])
extra = sys.argv[2:]
tests = json.loads(subprocess.run(["ctest", "--test-dir", build, "-N", "--show-only=json-v1"],
                                  check=True, capture_output=True, text=True).stdout)["tests"]

VALGRIND = ["valgrind", "--error-exitcode=99", "--leak-check=full", "--errors-for-leak-kinds=definite",
            "--track-fds=no", "--quiet"] + extra

runs = collections.OrderedDict()  # (program, cwd, env) -> [filters] or None (plain command)
for t in tests:
    props = {p["name"]: p["value"] for p in t.get("properties", [])}
    labels = props.get("LABELS", [])
    if "slow" in labels or "command" not in t:
        continue
    cmd = t["command"]
    if os.path.basename(cmd[0]) in ("cmake", "ctest"):
        continue
    cwd = props.get("WORKING_DIRECTORY", build)
    env = tuple(props.get("ENVIRONMENT", []))
    filters = [a.split("=", 1)[1] for a in cmd[1:] if a.startswith("--gtest_filter=")]
    if filters:
        runs.setdefault((cmd[0], cwd, env, ()), []).extend(filters)
    else:
        runs[(cmd[0], cwd, env, tuple(cmd[1:]))] = None

failed = []
for (prog, cwd, env, args), filters in runs.items():
    argv = VALGRIND + [prog] + list(args)
    if filters is not None:
        argv += ["--gtest_filter=" + ":".join(filters)]
    environ = dict(os.environ)
    for kv in env:
        k, _, v = kv.partition("=")
        environ[k] = v
    name = os.path.relpath(prog, build)
    print("valgrind: %s (%s)" % (name, "%d tests" % len(filters) if filters else "1 run"), flush=True)
    r = subprocess.run(argv, cwd=cwd, env=environ, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                       text=True, errors="replace")
    if r.returncode != 0:
        failed.append(name)
        print(r.stdout[-6000:], flush=True)
        print("valgrind: %s FAILED (status %d)" % (name, r.returncode), flush=True)
print("valgrind: %d programs, %d failed%s" % (len(runs), len(failed),
                                             (": " + ", ".join(failed)) if failed else ""))
sys.exit(1 if failed else 0)
