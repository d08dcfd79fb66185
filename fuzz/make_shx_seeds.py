#!/usr/bin/env python3
"""Writes the seed corpus of ordane_shx_fuzzer into corpus/ordane_shx/: each
seed is a 2-byte little-endian .shp length, the .shp, then its .shx. Pairs
from the shapelib fixtures and the writers' corpus, plus one whose .shp has a
damaged Content Length. Run from any directory."""
import os
import shutil
import struct

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "corpus", "ordane_shx")
tests = os.path.join(here, "..", "tests", "shp")

if os.path.isdir(out):
    shutil.rmtree(out)
os.makedirs(out)
pairs = [(os.path.join(tests, "fixtures", "shapelib_" + n), "shapelib_" + n)
         for n in ("arcz", "multipoint", "pointm", "polygon", "polygonm")]
pairs += [(os.path.join(tests, "writers", n), n) for n in ("pyshp_utf8", "ogr_utf8")]
for base, name in pairs:
    shp = open(base + ".shp", "rb").read()
    shx = open(base + ".shx", "rb").read()
    if len(shp) > 0xFFFF:
        continue
    with open(os.path.join(out, name), "wb") as f:
        f.write(struct.pack("<H", len(shp)) + shp + shx)
    if name == "shapelib_polygon":
        # The first record's Content Length 20 words too large.
        damaged = bytearray(shp)
        words = struct.unpack(">i", damaged[104:108])[0] + 20
        damaged[104:108] = struct.pack(">i", words)
        with open(os.path.join(out, name + "_damaged_length"), "wb") as f:
            f.write(struct.pack("<H", len(shp)) + bytes(damaged) + shx)
