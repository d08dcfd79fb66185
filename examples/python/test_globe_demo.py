#!/usr/bin/env python3
"""Runs globe_demo.py against the built libraries and checks what it returns,
then calls the exports through the quillon module the way a binding layer
does: wrong argument types or record layouts show up here.

Environment: QUILLON_ORDANE_LIB, QUILLON_VELKET_LIB, QUILLON_TORVIK_LIB (or
QUILLON_LIB_DIR), QUILLON_SAMPLE_SHP (the countries sample),
QUILLON_INCLUDE_DIR (the public headers) and QUILLON_TEST_OUT (a scratch
folder).
"""

import array
import ctypes
import json
import math
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import quillon  # noqa: E402

SAMPLE = os.environ.get("QUILLON_SAMPLE_SHP",
                        os.path.join(HERE, "..", "..", "data", "countries_110m.shp"))
R = 6378137.0


def read_png(path):
    """(width, height, rows of RGBA bytes) of an 8-bit RGBA PNG without interlace."""
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
    assert (depth, colour, interlace) == (8, 6, 0)
    raw = zlib.decompress(idat)
    stride = width * 4 + 1
    rows = []
    for y in range(height):
        assert raw[y * stride] == 0, "the writer uses filter 0 only"
        rows.append(raw[y * stride + 1:(y + 1) * stride])
    return width, height, rows


def rgba_at(rows, x, y):
    return tuple(rows[y][4 * x:4 * x + 4])


class GlobeDemoScript(unittest.TestCase):
    """The script end to end: numbers it prints and the PNGs it writes."""

    @classmethod
    def setUpClass(cls):
        cls.out = os.environ.get("QUILLON_TEST_OUT") or tempfile.mkdtemp()
        proc = subprocess.run(
            [sys.executable, os.path.join(HERE, "globe_demo.py"), "--shp", SAMPLE,
             "--out", cls.out],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
        if proc.returncode != 0:
            raise AssertionError("globe_demo.py failed:\n" + proc.stderr.decode())
        cls.summary = json.loads(proc.stdout.decode())

    def test_reads_every_record_of_the_sample(self):
        s = self.summary
        self.assertEqual(s["header"]["shape_type"], 5)
        self.assertEqual(s["shapes"], s["header"]["record_count"])
        self.assertGreater(s["shapes"], 100)
        self.assertGreaterEqual(s["parts"], s["shapes"])
        self.assertGreater(s["points"], 1000)
        lon0, lat0, lon1, lat1 = s["lonlat_bounds"]
        hb = s["header"]["bbox"]
        for got, want in zip(s["lonlat_bounds"], hb):
            self.assertAlmostEqual(got, want, places=6)
        self.assertTrue(-180 <= lon0 < lon1 <= 180 and -90 <= lat0 < lat1 <= 90)

    def test_projects_and_fits_north_up(self):
        s = self.summary
        x0, y0, x180, y180, xp, yp = s["mercator_probe"]
        self.assertEqual(x0, 0.0)
        self.assertAlmostEqual(y0, 0.0, delta=1e-6)  # tan(pi/4) rounds just below 1
        self.assertAlmostEqual(x180, math.pi * R, delta=1e-6)
        # The pole is clamped to the Mercator limit, where y equals x at 180.
        self.assertAlmostEqual(yp, math.pi * R, delta=1.0)
        t = s["transform"]
        self.assertEqual(t["flip_y"], 1)
        self.assertGreater(t["scale"], 0)
        fx0, fy0, fx1, fy1 = s["fitted_bounds"]
        # Margin 0.05 of 800 x 500: inside [40, 760] x [25, 475], touching one pair.
        self.assertGreaterEqual(fx0, 40 - 1e-6)
        self.assertLessEqual(fx1, 760 + 1e-6)
        self.assertGreaterEqual(fy0, 25 - 1e-6)
        self.assertLessEqual(fy1, 475 + 1e-6)
        self.assertTrue(abs(fx1 - fx0 - 720) < 1e-6 or abs(fy1 - fy0 - 450) < 1e-6)

    def test_camera_sees_the_map(self):
        c = self.summary["camera"]
        self.assertEqual(c["visible"], c["flags_visible"])
        self.assertEqual(c["visible"], c["points"])  # the whole sheet is in front
        cx, cy, cs, vis = c["centre"]
        self.assertEqual(vis, 1)
        self.assertAlmostEqual(cx, 320.0, places=9)
        self.assertAlmostEqual(cy, 200.0, places=9)
        self.assertAlmostEqual(cs, 1.0, places=12)
        lo, hi = c["scale_range"]
        self.assertLess(lo, 1.0)  # far side of the tilted sheet
        self.assertGreater(hi, 1.0)  # near side

    def test_globe_png(self):
        g = self.summary["globe"]
        width, height, rows = read_png(g["file"])
        self.assertEqual([width, height], g["size"])
        # Corner: untouched background. Centre: globe, opaque, and shaded
        # ocean or land rather than the background.
        self.assertEqual(rgba_at(rows, 0, 0), (0x0A, 0x14, 0x20, 0xFF))
        self.assertEqual(g["corner_pixel"], 0xFF0A1420)
        centre = rgba_at(rows, 240, 240)
        self.assertEqual(centre[3], 0xFF)
        self.assertNotEqual(centre, (0x0A, 0x14, 0x20, 0xFF))
        self.assertEqual(g["centre_pixel"], (centre[3] << 24) | (centre[0] << 16) |
                         (centre[1] << 8) | centre[2])
        # The glow ring brightens the background just outside the disc.
        glow = rgba_at(rows, 240 + 205, 240)
        self.assertGreater(glow[2], 0x20)
        # Land and ocean both show: more than a handful of colours on the disc.
        colours = {rgba_at(rows, x, 240) for x in range(60, 420, 4)}
        self.assertGreater(len(colours), 10)

    def test_tilted_png(self):
        t = self.summary["tilted"]
        width, height, rows = read_png(t["file"])
        self.assertEqual([width, height], t["size"])
        dots = sum(1 for row in rows for x in range(width) if row[4 * x] == 0xFF)
        self.assertGreater(dots, 500)

    def test_easing_values(self):
        e = self.summary["easing"]
        self.assertAlmostEqual(e["bezier_half"], 0.5, places=6)
        self.assertAlmostEqual(e["spring_1s"], 1 - 11 * math.exp(-10), places=12)


class BindingBoundary(unittest.TestCase):
    """Calls across the C boundary with the declared types."""

    @classmethod
    def setUpClass(cls):
        cls.q = quillon.load()

    def test_every_header_export_is_declared(self):
        include = os.environ.get("QUILLON_INCLUDE_DIR", os.path.join(HERE, "..", "..", "include"))
        names = set()
        for lib in ("ordane", "velket", "torvik"):
            with open(os.path.join(include, lib + ".h")) as f:
                text = f.read()
            names |= set(re.findall(r"%s_API\s+[^;(]*?\b(%s_\w+)\s*\(" % (lib.upper(), lib), text))
        self.assertEqual(names, set(quillon.EXPORT_NAMES))

    def test_projection_rejects_and_leaves_output_alone(self):
        q = self.q
        src = quillon.doubles([10.0, 20.0])
        dst = quillon.doubles([7.0, 7.0])
        P = ctypes.POINTER(ctypes.c_double)
        d = ctypes.cast((ctypes.c_double * 2).from_buffer(dst), P)
        s = ctypes.cast((ctypes.c_double * 2).from_buffer(src), P)
        self.assertEqual(q.ordane_proj_3857_forward(s, d, 0), -1)
        self.assertEqual(q.ordane_proj_3857_forward(s, d, -(2 ** 40)), -1)
        self.assertEqual(q.ordane_proj_3857_forward(None, d, 1), -1)
        self.assertEqual(list(dst), [7.0, 7.0])
        # In place, and back again.
        self.assertEqual(q.ordane_proj_3857_forward(s, s, 1), 0)
        self.assertEqual(q.ordane_proj_3857_inverse(s, s, 1), 0)
        self.assertAlmostEqual(src[0], 10.0, places=9)
        self.assertAlmostEqual(src[1], 20.0, places=9)

    def test_conic_projections_put_the_origin_at_zero(self):
        for name in ("lcc", "albers"):
            xy = self.q.project(quillon.doubles([10.0, 50.0]), name, (40.0, 60.0, 50.0, 10.0))
            self.assertAlmostEqual(xy[0], 0.0, delta=1e-6)
            self.assertAlmostEqual(xy[1], 0.0, delta=1e-6)

    def test_shapefile_errors_come_back_as_codes(self):
        with tempfile.TemporaryDirectory() as d:
            short = os.path.join(d, "short.shp")
            with open(short, "wb") as f:
                f.write(b"\x00" * 50)
            wrong = os.path.join(d, "wrong.shp")
            with open(wrong, "wb") as f:
                f.write(b"\x00" * 100)
            cases = {os.path.join(d, "missing.shp"): -2, short: -3, wrong: -4}
            for path, code in cases.items():
                with self.assertRaises(quillon.QuillonError) as ctx:
                    self.q.read_shp_header(path)
                self.assertEqual(ctx.exception.code, code, path)
            self.assertFalse(self.q.ordane_parse_shp(os.path.join(d, "missing.shp").encode()))
            # An empty but valid file: 100 bytes that are only a header.
            empty = os.path.join(d, "empty.shp")
            header = bytearray(100)
            header[0:4] = struct.pack(">i", 9994)
            header[24:28] = struct.pack(">i", 50)
            header[28:36] = struct.pack("<ii", 1000, 5)
            with open(empty, "wb") as f:
                f.write(header)
            shp = self.q.parse_shp(empty)
            self.assertEqual((shp.num_shapes, len(shp.points), shp.shape_type), (0, 0, 5))
            self.assertEqual(shp.shape_point_offsets, [0])

    def test_shape_offsets_feed_the_builders(self):
        # ShpData's shape_point_offsets (uint64) is the part-offset array the
        # builders take (int64): check the layout agrees with the parts.
        shp = self.q.parse_shp(SAMPLE)
        self.assertEqual(shp.shape_point_offsets[-1], len(shp.points) // 2)
        self.assertEqual(shp.shape_part_offsets[-1], len(shp.parts))
        for k in range(shp.num_shapes):
            first = shp.shape_part_offsets[k]
            if shp.shape_part_offsets[k + 1] > first:
                self.assertEqual(shp.parts[first], shp.shape_point_offsets[k])

    def test_camera_hides_points_behind_the_near_plane(self):
        cam = quillon.PerspectiveCamera(800, 600, 90, 0, 0, 0, 5, 0, 0, 1)  # near 1 means 10
        pts = quillon.doubles([0.0, 0.0, 100.0, 50.0])
        screen, scales, visible, count = self.q.camera_points(pts, cam)
        self.assertEqual(count, 0)
        self.assertEqual(list(visible), [0, 0])
        self.assertEqual(list(screen), [0.0] * 4)
        cam.distance = 300
        cam.near_plane = 0
        screen, scales, visible, count = self.q.camera_points(pts, cam)
        self.assertEqual(count, 2)
        self.assertAlmostEqual(screen[2], 500.0, places=9)
        self.assertAlmostEqual(screen[3], 250.0, places=9)

    def test_particle_handle_round_trip(self):
        q = self.q
        ps = q.velket_ps_create(10)
        self.assertTrue(ps)
        try:
            q.velket_ps_emit(ps, 2 ** 40, 0.0, 0.0, 1.0, 2.0, 0.0, 6.28, 1.0, 1.0, 2.0, 1.0,
                             0xFFFFFFFF, 0x00FFFFFF)
            self.assertEqual(q.velket_ps_get_count(ps), 10)  # a uint64 count, capped
            q.velket_ps_update(ps, 2.0)
            self.assertEqual(q.velket_ps_get_count(ps), 0)
        finally:
            q.velket_ps_destroy(ps)
        self.assertEqual(q.velket_ps_get_count(None), 0)

    def test_globe_rejects_bad_arguments_without_writing(self):
        pixels = array.array("I", [0x12345678]) * 16
        texture = array.array("I", [0xFF808080]) * 4
        for args in [(0, 4, 2.0), (4, 0, 2.0), (4, 4, 0.0), (4, 4, -1.0)]:
            with self.assertRaises(quillon.QuillonError):
                self.q.render_globe(pixels, args[0], args[1], texture, 2, 2, 2.0, 2.0, args[2])
        self.assertEqual(set(pixels), {0x12345678})


if __name__ == "__main__":
    unittest.main(verbosity=2)
