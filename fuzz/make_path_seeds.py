#!/usr/bin/env python3
"""Writes the seed corpora of the path, builder and globe fuzzers into
corpus/<target>/, in the byte layout their fuzz_input.h readers decode.

Run from any directory."""
import math
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def num(v):
    """A number as fuzz_input.h's number() reads it: small values as a
    16-bit integer in 1/16 units, anything else as a raw double."""
    q = v * 16
    if math.isfinite(q) and q == int(q) and -32768 <= q <= 32767:
        return bytes([200]) + struct.pack("<h", int(q))
    return bytes([0]) + struct.pack("<d", v)


def nums(*vs):
    return b"".join(num(v) for v in vs)


MOVE, LINE, QUAD, CUBIC, CONIC, CLOSE = range(6)


def path(*ops):
    out = b""
    for op in ops:
        out += bytes([op[0]]) + nums(*op[1:])
    return out


def write(target, name, data):
    d = os.path.join(here, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


nan, inf = float("nan"), float("inf")
line100 = path((MOVE, 0, 0), (LINE, 100, 0))
square = path((MOVE, 0, 0), (LINE, 10, 0), (LINE, 10, 10), (LINE, 0, 10), (CLOSE,))
curves = path((MOVE, 0, 0), (CUBIC, 10, 20, 30, 20, 40, 0), (QUAD, 50, 10, 60, 0),
              (CONIC, 70, 10, 80, 0, 0.5), (CLOSE,), (MOVE, 5, 5), (LINE, 6, 6))
zigzag = path((MOVE, 0, 0), *[(LINE, i, (i % 2) * 0.5) for i in range(1, 200)])

# velket_trim_path: start, end, offset, flags (1: dst not empty, 2: src is dst), path
trim = "velket_trim_path"
write(trim, "half_line", nums(0.25, 0.75, 0) + bytes([0]) + line100)
write(trim, "wrapping_square", nums(0.8, 0.2, 0) + bytes([1]) + square)
write(trim, "whole_curves", nums(0, 1, 0) + bytes([0]) + curves)
write(trim, "in_place_negative_offset", nums(0, 0.5, -0.25) + bytes([2]) + curves)
write(trim, "nan_start", nums(nan, 0.5, 0) + bytes([0]) + square)
write(trim, "long_zigzag", nums(0.3, 0.7, 0) + bytes([3]) + zigzag)
write(trim, "long_zigzag_wrap", nums(0.95, 0.05, 0.5) + bytes([0]) + zigzag)
write(trim, "end_on_vertex", nums(0, 0.5, 0) + bytes([0]) + path((MOVE, 0, 0), (LINE, 5, 0),
                                                                   (LINE, 10, 0)))
write(trim, "huge_coordinates", nums(0.1, 0.9, 0) + bytes([0]) +
      path((MOVE, -1e308, 0), (LINE, 1e308, 0), (LINE, 1e308, 1e308)))

# torvik_transform_path: ten camera fields, flags (1: dst not empty,
# 2: no mean scale), path
cam = nums(800, 600, 60, 30, 0, 0, 300, 0, 0, 0)
hidden = path((MOVE, 0, 0), (LINE, 10, -1000), (LINE, 20, 0), (LINE, 30, 5), (CLOSE,),
              (MOVE, 0, nan), (LINE, 1, 1))
tp = "torvik_transform_path"
write(tp, "hidden_split", cam + bytes([0]) + hidden)
write(tp, "curves", cam + bytes([1]) + curves)
write(tp, "no_mean", cam + bytes([2]) + square)
write(tp, "rolled", nums(640, 480, 45, 60, 30, 15, 500, 3, 4, 20) + bytes([0]) + zigzag)
write(tp, "fov_zero", nums(800, 600, 0, 0, 0, 0, 300, 0, 0, 0) + bytes([0]) + line100)
write(tp, "nan_camera", nums(nan, 600, 60, inf, 0, 0, -300, 0, 0, nan) + bytes([0]) + hidden)

# ordane_build_*: which (0 polygon, 1 linestring, 2 multilinestring),
# flags (1: no transform, 2: null points), nine transform numbers, flip,
# count (int8), part count (int8), points, offsets (mode bytes: >= 32 picks
# mode % (count + 1); < 32 reads a raw 64-bit value)
tf = nums(0, 0, 10, 10, 100, 100, 5, 5, 2) + bytes([1])
pts6 = nums(0, 0, 1, 0, 1, 1, 0, 1, 0, 0, 2, 2)


def offs(*vals):
    """Offsets into the six points: a mode byte of v + 35 picks v (35 is a
    multiple of 7 and keeps the byte at 32 or more); negative ones raw."""
    out = b""
    for v in vals:
        out += bytes([v + 35]) if v >= 0 else bytes([0]) + struct.pack("<q", v)
    return out


b = "ordane_build"
write(b, "polygon_two_rings", bytes([0, 0]) + tf + bytes([6, 2]) + pts6 + offs(0, 4, 6))
write(b, "polygon_no_transform", bytes([0, 1]) + tf + bytes([6, 1]) + pts6 + offs(0, 6))
write(b, "linestring", bytes([1, 0]) + tf + bytes([6, 0]) + pts6)
write(b, "multiline_short_parts", bytes([2, 0]) + tf + bytes([6, 3]) + pts6 + offs(0, 1, 3, 6))
write(b, "negative_offsets", bytes([2, 0]) + tf + bytes([6, 2]) + pts6 + offs(-5, 3, 2))
write(b, "huge_offset", bytes([0, 0]) + tf + bytes([6, 1]) + pts6 + offs(0) +
      bytes([0]) + struct.pack("<q", 2**62))
write(b, "null_points", bytes([0, 2]) + tf + bytes([6, 1]) + pts6 + offs(0, 6))

# torvik_render_globe: width, height, texture width and height (bytes),
# stride and texture stride (bytes: low 5 bits spare bytes, 0x40 too short,
# 0x80 negative), centre x, y, radius, rotation, tilt, atmosphere (u32),
# texels (u32 each)
def texels(w, h):
    return b"".join(struct.pack("<I", 0xFF000000 | (x * 40) << 16 | (y * 40) << 8 | 0x80)
                    for y in range(h) for x in range(w))


g = "torvik_render_globe"
write(g, "centred", bytes([32, 32, 8, 4, 0, 0]) + nums(16, 16, 12, 30, 20) +
      struct.pack("<I", 0) + texels(8, 4))
write(g, "atmosphere_bottom_up", bytes([24, 20, 4, 4, 0x83, 0x05]) + nums(12, 10, 8, -45, -60) +
      struct.pack("<I", 0x804080FF) + texels(4, 4))
write(g, "off_buffer", bytes([16, 16, 2, 2, 0, 0]) + nums(-40, 300, 20, 0, 0) +
      struct.pack("<I", 0xFF00FF00) + texels(2, 2))
write(g, "short_stride", bytes([16, 16, 2, 2, 0x44, 0]) + nums(8, 8, 6, 0, 0) +
      struct.pack("<I", 0) + texels(2, 2))
write(g, "nan_rotation", bytes([16, 16, 3, 3, 0, 0x81]) + nums(8, 8, 6, nan, inf) +
      struct.pack("<I", 0x40FFFFFF) + texels(3, 3))
write(g, "huge_radius", bytes([8, 8, 1, 1, 0, 0]) + nums(4, 4, 1e300, 10, 10) +
      struct.pack("<I", 0xFFFFFFFF) + texels(1, 1))
