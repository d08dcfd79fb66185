"""Shared fixtures: the package, the raw declared C functions, sample files."""

import ctypes
import os
import struct
import zlib

import numpy as np
import pytest

import quillon
from quillon import _native

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.environ.get("QUILLON_SOURCE_DIR") or os.path.dirname(os.path.dirname(HERE))
SAMPLE = os.environ.get("QUILLON_SAMPLE_SHP") or os.path.join(ROOT, "data", "countries_110m.shp")
SANITIZED = bool(os.environ.get("QUILLON_SANITIZED"))
# Child processes run from other folders and import this same package.
if os.environ.get("QUILLON_LIB_DIR"):
    os.environ["QUILLON_LIB_DIR"] = os.path.abspath(os.environ["QUILLON_LIB_DIR"])
os.environ["PYTHONPATH"] = os.path.dirname(os.path.dirname(os.path.realpath(quillon.__file__)))


@pytest.fixture(scope="session")
def c():
    """The declared C functions, for comparing a wrapper with the bare call."""
    return _native.lib()


@pytest.fixture(scope="session")
def sample():
    return SAMPLE


@pytest.fixture(scope="session")
def shp():
    return quillon.parse_shp(SAMPLE)


@pytest.fixture(scope="session")
def libc():
    return ctypes.CDLL(None)


def ptr(arr):
    return arr.ctypes.data


def shp_bytes(shape_type=5, records=()):
    """A .shp file: the 100-byte header then each record's content."""
    body = b""
    for number, content in enumerate(records, 1):
        body += struct.pack(">ii", number, len(content) // 2) + content
    header = struct.pack(">i", 9994) + b"\0" * 20 + struct.pack(">i", (100 + len(body)) // 2)
    header += struct.pack("<ii", 1000, shape_type) + b"\0" * 64
    return header + body


def polygon_record(rings, shape_type=5):
    """A Polygon record's content for a list of rings ((x, y) lists)."""
    pts = [p for ring in rings for p in ring]
    xs, ys = [p[0] for p in pts], [p[1] for p in pts]
    out = struct.pack("<i4d", shape_type, min(xs), min(ys), max(xs), max(ys))
    out += struct.pack("<ii", len(rings), len(pts))
    start = 0
    for ring in rings:
        out += struct.pack("<i", start)
        start += len(ring)
    for x, y in pts:
        out += struct.pack("<2d", x, y)
    return out


def read_png(path):
    """(H, W, channels) uint8 array of an 8-bit non-interlaced RGB or RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG signature"
    pos, idat, ihdr = 8, b"", None
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        assert crc == zlib.crc32(kind + body) & 0xFFFFFFFF, "bad CRC in %r" % kind
        if kind == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = ihdr
    assert depth == 8 and interlace == 0 and colour in (2, 6)
    bpp = 4 if colour == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * bpp
    out = np.zeros((height, width, bpp), np.int32)
    prev = np.zeros((width, bpp), np.int32)
    zero = np.zeros(bpp, np.int32)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = np.frombuffer(raw, np.uint8, stride, y * (stride + 1) + 1).astype(np.int32)
        line = line.reshape(width, bpp)
        if kind == 0:
            cur = line
        elif kind == 2:
            cur = (line + prev) & 0xFF
        else:
            cur = np.zeros((width, bpp), np.int32)
            for x in range(width):
                a = cur[x - 1] if x else zero
                b = prev[x]
                cc = prev[x - 1] if x else zero
                if kind == 1:
                    pred = a
                elif kind == 3:
                    pred = (a + b) // 2
                else:
                    p = a + b - cc
                    pa, pb, pc = abs(p - a), abs(p - b), abs(p - cc)
                    pred = np.where((pa <= pb) & (pa <= pc), a, np.where(pb <= pc, b, cc))
                cur[x] = (line[x] + pred) & 0xFF
        out[y] = cur
        prev = cur
    return out.astype(np.uint8)
