#!/usr/bin/env python3
"""Writes the seed corpus of ordane_shp_fuzzer into corpus/ordane_shp/.

Small, valid and damaged shapefiles covering every record kind, plus the
shapelib-written fixtures of the tests. Run from any directory."""
import os
import shutil
import struct

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "corpus", "ordane_shp")
fixtures = os.path.join(here, "..", "tests", "shp", "fixtures")


def header(shape_type, body_len, code=9994):
    # File Code, 5 unused, File Length (words) big-endian; Version, Shape Type,
    # then eight range doubles little-endian.
    return (struct.pack(">i5ii", code, 0, 0, 0, 0, 0, (100 + body_len) // 2)
            + struct.pack("<ii8d", 1000, shape_type, 0, 0, 1, 1, 0, 0, 0, 0))


def record(number, content, words=None):
    return struct.pack(">ii", number, len(content) // 2 if words is None else words) + content


def point(t, x, y):
    return struct.pack("<idd", t, x, y) + (b"\0" * 16 if t == 11 else b"\0" * 8 if t == 21 else b"")


def poly(t, parts, pts, nparts=None, npoints=None):
    xs = [p[0] for p in pts] or [0]
    ys = [p[1] for p in pts] or [0]
    c = struct.pack("<i4dii", t, min(xs), min(ys), max(xs), max(ys),
                    len(parts) if nparts is None else nparts,
                    len(pts) if npoints is None else npoints)
    c += b"".join(struct.pack("<i", p) for p in parts)
    c += b"".join(struct.pack("<dd", *p) for p in pts)
    if t in (13, 15):
        c += struct.pack("<2d", 0, 1) + b"\0" * 8 * len(pts)
    if t in (13, 15, 23, 25):
        c += struct.pack("<2d", 0, 1) + b"\0" * 8 * len(pts)
    return c


def shp(shape_type, records, tail=b"", code=9994):
    body = b"".join(record(i + 1, *r) if isinstance(r, tuple) else record(i + 1, r)
                    for i, r in enumerate(records)) + tail
    return header(shape_type, len(body), code) + body


ring = [(0, 0), (0, 1), (1, 1), (1, 0), (0, 0)]
tri = [(5, 5), (6, 7), (7, 5), (5, 5)]
seeds = {
    "header_only": shp(5, []),
    "polygons_null": shp(5, [poly(5, [0, 5], ring + tri), point(0, 0, 0)[:4], poly(5, [0], tri)]),
    "polylines": shp(3, [poly(3, [0, 3], ring), poly(3, [0], tri)]),
    "points": shp(1, [point(1, 1, 2), point(1, -3, 4), point(1, 5, -6)]),
    "z_and_m": shp(15, [poly(15, [0], ring), poly(13, [0], tri), point(11, 1, 2), point(21, 3, 4)]),
    "other_types": shp(8, [poly(25, [0], ring), struct.pack("<i", 8) + b"\0" * 36, struct.pack("<i", -1)]),
    "empty_headers_and_tail": shp(1, [point(1, 1, 2)], tail=struct.pack(">ii", 2, 0) + struct.pack(">ii", 3, -4)
                                  + record(4, point(1, 3, 4)) + b"\x01\x02\x03"),
    "cut_last_record": shp(5, [poly(5, [0], ring), poly(5, [0], tri)])[:-5],
    "huge_content_length": shp(1, [point(1, 1, 2), (point(1, 3, 4), 0x7FFFFFFF)]),
    "malformed_counts": shp(5, [poly(5, [0], ring, nparts=-1), poly(5, [0], ring, npoints=99),
                                poly(5, [0, 9], ring), poly(5, [5, 0], ring)]),
    "wrong_file_code": shp(5, [poly(5, [0], tri)], code=0x0A270000),
}

os.makedirs(out, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(out, name + ".shp"), "wb") as f:
        f.write(data)
for name in sorted(os.listdir(fixtures)):
    if name.endswith(".shp"):
        shutil.copy(os.path.join(fixtures, name), os.path.join(out, name))
