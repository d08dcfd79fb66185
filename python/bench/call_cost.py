#!/usr/bin/env python3
"""Fixed cost of a quillon call against plain ctypes: Web Mercator over 1,
100 and 1,000,000 (lon, lat) pairs, into the caller's array (out=) and into
a new one. "plain ctypes" is the declared C function called with addresses
read once outside the timing, which is the least any Python caller can pay;
"plain ctypes + .ctypes.data" reads them per call as a careful caller would.

    QUILLON_LIB_DIR=build PYTHONPATH=python /usr/bin/python3 python/bench/call_cost.py

Each case runs in rounds of many calls; the best round over "--repeat"
rounds is reported per call (process CPU time), the cases taking turns so a
busy machine slows them alike.
"""

import argparse
import sys
import time

import numpy as np

import quillon as q
from quillon import _native


def per_call(fn, calls):
    # CPU time of this process: on a machine shared with other work, time
    # spent waiting for a core is not the call's cost.
    t0 = time.process_time()
    for _ in range(calls):
        fn()
    return (time.process_time() - t0) / calls


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=15)
    args = parser.parse_args(argv)
    c = _native.lib().ordane_proj_3857_forward
    rng = np.random.default_rng(1)
    print("%-10s %-34s %12s" % ("points", "call", "best (us)"))
    for n in (1, 100, 1_000_000):
        a = np.column_stack([rng.uniform(-180, 180, n), rng.uniform(-85, 85, n)])
        out = np.empty_like(a)
        pa, po = a.ctypes.data, out.ctypes.data
        cases = [
            ("plain ctypes, addresses held", lambda: c(pa, po, n)),
            ("plain ctypes + .ctypes.data", lambda: c(a.ctypes.data, out.ctypes.data, n)),
            ("quillon.project(a, out=out)", lambda: q.project(a, out=out)),
            ("quillon.mercator_forward(a, out)", lambda: q.mercator_forward(a, out)),
            ("quillon.project(a)", lambda: q.project(a)),
        ]
        calls = max(1, 200_000 // max(n, 1) if n < 1000 else 3)
        best = {name: float("inf") for name, _ in cases}
        for _ in range(args.repeat):
            for name, fn in cases:
                best[name] = min(best[name], per_call(fn, calls))
        for name, _ in cases:
            print("%-10d %-34s %12.3f" % (n, name, best[name] * 1e6))
    return 0


if __name__ == "__main__":
    sys.exit(main())
