#!/usr/bin/env python3
"""Writes the seed corpora of the cutting and densifying fuzzers into
corpus/ordane_cut/ and corpus/ordane_densify/, in the byte layout that
carto_fuzz_common.h and the targets decode. Run from any directory."""
import math
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))
nan, inf = float("nan"), float("inf")


def num(v):
    q = v * 16
    if math.isfinite(q) and q == int(q) and -32768 <= q <= 32767:
        return bytes([200]) + struct.pack("<h", int(q))
    return bytes([0]) + struct.pack("<d", v)


def nums(*vs):
    return b"".join(num(v) for v in vs)


def parts(rings_pts, raw_offsets=None):
    """npoints, part_count, the points, then each offset as a byte that
    decodes to it (or a raw int64 after a byte below 16)."""
    pts = [p for r in rings_pts for p in r]
    n = len(pts) // 2
    offs = [0]
    for r in rings_pts:
        offs.append(offs[-1] + len(r) // 2)
    if raw_offsets is not None:
        offs = raw_offsets
    out = bytes([n]) + struct.pack("<b", len(offs) - 1) + nums(*pts)
    for v in offs:
        if 0 <= v <= n:
            out += bytes([next(m for m in range(128, 256) if m % (n + 1) == v)])
        else:
            out += bytes([0]) + struct.pack("<q", v)
    return out


def write(target, name, data):
    d = os.path.join(here, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


box = [170, -10, 170, 10, 190, 10, 190, -10, 170, -10]
c_ring = [170, -10, 170, 10, 190, 10, 190, 5, 175, 5, 175, -5, 190, -5, 190, -10, 170, -10]
polar = [x for lon in range(-180, 181, 30) for x in (lon, -70 + (lon % 7))]
along = [170, 0, 180, 0, 180, 10, 170, 10, 170, 0]
line = [170, 0, 179, 1, -179, 3, -170, 4, 175, 6]
spiral = [x for k in range(0, 720 * 2 + 1, 45) for x in (k, -60 + k / 100)]


def cut_opts(flags, lon0, lat0, step_byte=4, mode=None, pole=None, step=None):
    out = bytes([flags])
    if flags & 2:
        out += bytes([mode])
    out += nums(lon0, lat0)
    if flags & 4:
        out += num(pole)
    out += num(step) if flags & 8 else bytes([step_byte])
    return out


c = "ordane_cut"
write(c, "ring_once", cut_opts(16, 0, 0) + parts([box]))
write(c, "ring_c_shape", cut_opts(16, 0, 0) + parts([c_ring]))
write(c, "polar_mercator", cut_opts(16 | 4, 150, 0, pole=85.0511287798) + parts([polar]))
write(c, "polar_reversed", cut_opts(16, -150, 0) + parts([polar[::-1]]))
write(c, "along_cut_180", cut_opts(16, 180, 0) + parts([along, box]))
write(c, "lines", cut_opts(0, 90, 0) + parts([line, along]))
write(c, "horizon_rings", cut_opts(16 | 1, -20, 40) + parts([box, polar]))
write(c, "horizon_lines", cut_opts(1, 0, 0) + parts([line]))
write(c, "nan_inf_huge", cut_opts(16, 0, 0) + parts([[nan, 0, 10, inf, 1e308, 5, -1e308, 1, 0, 0]]))
write(c, "spiral_twice", cut_opts(16, 0, 0) + parts([spiral]))
write(c, "bad_offsets", cut_opts(16, 0, 0) + parts([box], raw_offsets=[0, -7, 2**62, 5]))
write(c, "bad_options", cut_opts(16 | 2 | 8, nan, 95, mode=7, step=0) + parts([box]))
write(c, "degenerate", cut_opts(16, 0, 0) + parts([[5, 5, 5, 5, 5, 5, 5, 5], [180, 0, -180, 1, 180, 2]]))


def dens_head(flags, kind, six, tf, tol_byte=8, depth_byte=10):
    out = bytes([flags])
    out += struct.pack("<b", kind) if flags & 1 else bytes([kind - 1])
    out += nums(*six) + nums(*tf) + bytes([1])
    out += bytes([tol_byte])
    out += bytes([depth_byte])
    return out


tf = (-2e7, -2e7, 2e7, 2e7, 800, 800, 0, 0, 2e-5)
d = "ordane_densify"
for kind, name in ((1, "mercator"), (2, "lcc"), (3, "albers"), (4, "ortho"), (5, "eqearth"),
                   (6, "lonlat")):
    write(d, name, dens_head(0, kind, (33, 45, 39, -96, 0, 0), tf) + parts([box, line]))
write(d, "rings_closed", dens_head(8, 2, (33, 45, 39, -96, 0, 0), tf) + parts([[0, 0, 40, 0, 40, 40]]))
write(d, "nan_points", dens_head(0, 3, (20, 60, 0, 0, 0, 0), tf) + parts([[0, 0, nan, 1, 50, 50, inf, 0]]))
write(d, "no_transform", dens_head(16, 1, (0, 0, 0, 0, 0, 0), tf) + parts([line]))
write(d, "bad_kind", dens_head(1, 99, (0, 0, 0, 0, 0, 0), tf) + parts([line]))
write(d, "degenerate_cone", dens_head(0, 2, (20, -20, 0, 0, 0, 0), tf) + parts([line]))
write(d, "bad_offsets", dens_head(0, 1, (0, 0, 0, 0, 0, 0), tf) + parts([box], raw_offsets=[0, -3]))
write(c, "overflowing_difference", cut_opts(16, -1e308, 0) +
      parts([[1e308, 0, 1e308, 10, 0, 10, 0, 0]]))
write(c, "overflowing_difference_horizon", cut_opts(16 | 1, -1e308, 0) +
      parts([[1e308, 0, 1e308, 10, 0, 10, 0, 0]]))
