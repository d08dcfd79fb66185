#!/usr/bin/env python3
"""Cost of the quillon wrapper over the bare C call: 1,000,000 (lon, lat)
pairs through Web Mercator, each way timed many times, best and median
reported. The wrapper checks dtype, shape, contiguity and sizes and
allocates its result; with out= it writes into the caller's array.

    QUILLON_LIB_DIR=build PYTHONPATH=python /usr/bin/python3 python/bench/overhead.py
"""

import argparse
import sys

import numpy as np

import quillon as q
from timing import timed
from quillon import _native


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--points", type=int, default=1_000_000)
    parser.add_argument("--repeat", type=int, default=40)
    args = parser.parse_args(argv)
    rng = np.random.default_rng(1)
    a = np.column_stack([rng.uniform(-180, 180, args.points), rng.uniform(-85, 85, args.points)])
    out = np.empty_like(a)
    c = _native.lib().ordane_proj_3857_forward
    n = len(a)

    def bare():
        c(a.ctypes.data, out.ctypes.data, n)

    def bare_alloc():
        dst = np.empty_like(a)
        c(a.ctypes.data, dst.ctypes.data, n)

    cases = [
        ("bare C call, caller's output", bare),
        ("bare C call, new output", bare_alloc),
        ("quillon.project(a, out=out)", lambda: q.project(a, out=out)),
        ("quillon.project(a)", lambda: q.project(a)),
    ]
    results = timed(cases, args.repeat)
    base_best, base_median = results[cases[0][0]]
    alloc_best, alloc_median = results[cases[1][0]]
    print("%d points, best and median of %d runs (ms)" % (args.points, args.repeat))
    for name, (best, median) in results.items():
        print("  %-32s %8.2f %8.2f" % (name, best * 1e3, median * 1e3))
    out_best, out_median = results[cases[2][0]]
    new_best, new_median = results[cases[3][0]]
    print("overhead with out=: %+.1f %% (median %+.1f %%)"
          % ((out_best / base_best - 1) * 100, (out_median / base_median - 1) * 100))
    print("overhead allocating, against the bare call into its caller's array: %+.1f %% "
          "(median %+.1f %%)" % ((new_best / base_best - 1) * 100,
                                 (new_median / base_median - 1) * 100))
    print("overhead allocating, against the bare call allocating too: %+.1f %% (median %+.1f %%)"
          % ((new_best / alloc_best - 1) * 100, (new_median / alloc_median - 1) * 100))
    # The fixed cost of the checks, apart from the arithmetic: one pair.
    one, one_out = a[:1].copy(), np.empty((1, 2))
    fixed = timed([("bare", lambda: c(one.ctypes.data, one_out.ctypes.data, 1)),
                   ("wrapped", lambda: q.project(one, out=one_out))], 20000)
    print("one pair: bare %.2f us, quillon.project(out=) %.2f us (best)"
          % (fixed["bare"][0] * 1e6, fixed["wrapped"][0] * 1e6))
    return 0


if __name__ == "__main__":
    sys.exit(main())
