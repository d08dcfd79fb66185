#!/usr/bin/env python3
"""The projections from Python against the same formulas written as numpy
array expressions: 1,000,000 points each way, best and median of many runs
taken in turns, in ns per point. numpy evaluates each operation over the
whole array with the C library's functions (one pass per operation); the
native kernels evaluate the formula per point with vector functions.

    QUILLON_LIB_DIR=build-release PYTHONPATH=python /usr/bin/python3 python/bench/numpy_peer.py
"""

import argparse
import sys

import numpy as np

import quillon as q
from timing import timed

R = 6378137.0
D2R = np.pi / 180.0
R2D = 180.0 / np.pi
MERC_MAX_LAT = 85.0511287798
METRES_PER_DEGREE = 111319.49079327357
US = (33.0, 45.0, 23.0, -96.0)  # Albers, contiguous US: lat1, lat2, lat0, lon0


def numpy_mercator_forward(a, out):
    lat = np.clip(a[:, 1], -MERC_MAX_LAT, MERC_MAX_LAT)
    np.multiply(a[:, 0], METRES_PER_DEGREE, out=out[:, 0])
    np.multiply(np.log(np.tan(lat * D2R * 0.5 + np.pi / 4)), R, out=out[:, 1])


def numpy_mercator_inverse(a, out):
    np.multiply(a[:, 0] / R, R2D, out=out[:, 0])
    np.multiply(2.0 * np.arctan(np.exp(a[:, 1] / R)) - np.pi / 2, R2D, out=out[:, 1])


def numpy_albers(a, out, lat1, lat2, lat0, lon0):
    phi1, phi2, phi0 = lat1 * D2R, lat2 * D2R, lat0 * D2R
    n = (np.sin(phi1) + np.sin(phi2)) * 0.5
    c = np.cos(phi1) ** 2 + 2 * n * np.sin(phi1)
    k = R / n
    rho0 = np.sqrt(max(c - 2 * n * np.sin(phi0), 0.0)) * k
    rho = np.sqrt(np.maximum(np.sin(a[:, 1] * D2R) * (-2 * n) + c, 0.0)) * k
    theta = (a[:, 0] * D2R - lon0 * D2R) * n
    np.multiply(np.sin(theta), rho, out=out[:, 0])
    np.subtract(rho0, np.cos(theta) * rho, out=out[:, 1])


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--points", type=int, default=1_000_000)
    parser.add_argument("--repeat", type=int, default=30)
    args = parser.parse_args(argv)
    rng = np.random.default_rng(1)
    geo = np.column_stack([rng.uniform(-180, 180, args.points), rng.uniform(-85, 85, args.points)])
    plane = q.project(geo)
    out = np.empty_like(geo)

    groups = [
        ("Mercator forward", geo,
         lambda: q.project(geo, out=out), lambda: numpy_mercator_forward(geo, out)),
        ("Mercator inverse", plane,
         lambda: q.project(plane, "mercator_inverse", out=out),
         lambda: numpy_mercator_inverse(plane, out)),
        ("Albers", geo,
         lambda: q.project(geo, "albers", US, out=out), lambda: numpy_albers(geo, out, *US)),
    ]
    print("%d points, ns per point, best and median of %d runs taken in turns"
          % (args.points, args.repeat))
    print("  %-18s %17s %17s %9s" % ("", "quillon", "numpy", "speed-up"))
    worst = None
    for name, src, native, peer in groups:
        # Both give the same numbers to within rounding.
        native()
        mine = out.copy()
        peer()
        diff = np.nanmax(np.abs(mine - out))
        res = timed([("native", native), ("numpy", peer)], args.repeat)
        per = 1e9 / len(src)
        nb, nm = res["native"][0] * per, res["native"][1] * per
        pb, pm = res["numpy"][0] * per, res["numpy"][1] * per
        print("  %-18s %8.2f %8.2f %8.2f %8.2f %8.1fx   (largest difference %.3g)"
              % (name, nb, nm, pb, pm, pb / nb, diff))
        worst = pb / nb if worst is None else min(worst, pb / nb)
    return 0 if worst is not None else 1


if __name__ == "__main__":
    sys.exit(main())
