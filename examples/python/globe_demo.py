#!/usr/bin/env python3
"""Reads a shapefile through libordane, projects and fits it, looks at it
through a tilted libtorvik camera and paints a globe, all from Python.

Writes globe.png (the globe, textured with the countries) and tilted.png
(every point of the map seen through the camera) into --out, and prints a
JSON summary of what each step returned.

    QUILLON_LIB_DIR=build python3 examples/python/globe_demo.py \
        --shp data/countries_110m.shp --out out/python
"""

import argparse
import array
import ctypes
import json
import math
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quillon  # noqa: E402

BACKGROUND = 0xFF0A1420
OCEAN = 0xFF1A4E78
LAND = [0xFF4C9A7E, 0xFF86AE5F, 0xFFC6B46D, 0xFFCB9365, 0xFF9483B8, 0xFF5F98BE]
DOT = 0xFFFFC46B


def write_png(path, words, width, height):
    """Writes 0xAARRGGBB words (not premultiplied) as an 8-bit RGBA PNG."""
    raw = array.array("I", words).tobytes()
    if sys.byteorder != "little":
        raw = array.array("I", words)
        raw.byteswap()
        raw = raw.tobytes()
    # Little-endian words are stored B, G, R, A; PNG wants R, G, B, A.
    rgba = bytearray(len(raw))
    rgba[0::4] = raw[2::4]
    rgba[1::4] = raw[1::4]
    rgba[2::4] = raw[0::4]
    rgba[3::4] = raw[3::4]
    stride = width * 4
    rows = b"".join(b"\x00" + bytes(rgba[y * stride:(y + 1) * stride]) for y in range(height))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(rows, 9)))
        f.write(chunk(b"IEND", b""))


def rasterise_texture(shp, width, height):
    """An equirectangular texture: ocean, and every ring filled even-odd per shape.

    Column c is longitude c / (width - 1) * 360 - 180 and row r latitude
    90 - r / (height - 1) * 180, as torvik_render_globe samples it.
    """
    tex = array.array("I", [OCEAN]) * (width * height)
    sx = (width - 1) / 360.0
    sy = (height - 1) / 180.0
    crossings = {}  # (row, shape) -> list of column positions
    pts = shp.points
    for shape, start, end in shp.rings():
        for i in range(start, end - 1):
            x0, y0 = (pts[2 * i] + 180.0) * sx, (90.0 - pts[2 * i + 1]) * sy
            x1, y1 = (pts[2 * i + 2] + 180.0) * sx, (90.0 - pts[2 * i + 3]) * sy
            if y0 == y1:
                continue
            if y0 > y1:
                x0, y0, x1, y1 = x1, y1, x0, y0
            # Rows whose centre line y = r lies in [y0, y1).
            for r in range(max(0, math.ceil(y0)), min(height - 1, math.ceil(y1) - 1) + 1):
                x = x0 + (x1 - x0) * (r - y0) / (y1 - y0)
                crossings.setdefault((r, shape), []).append(x)
    for (r, shape), xs in crossings.items():
        xs.sort()
        colour = LAND[shape % len(LAND)]
        row = r * width
        for a, b in zip(xs[0::2], xs[1::2]):
            for c in range(max(0, math.ceil(a)), min(width - 1, math.floor(b)) + 1):
                tex[row + c] = colour
    return tex


def bounds(pairs):
    xs, ys = pairs[0::2], pairs[1::2]
    return [min(xs), min(ys), max(xs), max(ys)]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--shp", required=True, help="polygon shapefile in degrees")
    parser.add_argument("--out", required=True, help="folder for the PNG files")
    parser.add_argument("--lib-dir", help="folder holding libordane.so, libvelket.so, libtorvik.so")
    args = parser.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)
    q = quillon.load(lib_dir=args.lib_dir)
    summary = {}

    # 1. Header and records.
    header = q.read_shp_header(args.shp)
    shp = q.parse_shp(args.shp)
    summary["header"] = {"shape_type": header.shape_type, "record_count": header.record_count,
                         "bbox": [header.min_x, header.min_y, header.max_x, header.max_y]}
    summary["shapes"] = shp.num_shapes
    summary["parts"] = len(shp.parts)
    summary["points"] = len(shp.points) // 2
    summary["lonlat_bounds"] = bounds(shp.points)

    # 2. Web Mercator, then a fit into an 800 x 500 viewport, north up.
    xy = q.project(shp.points, "mercator")
    probe = q.project(quillon.doubles([0.0, 0.0, 180.0, 0.0, 0.0, 90.0]), "mercator")
    summary["mercator_probe"] = list(probe)
    box = bounds(xy)
    t = q.fit(box, 800.0, 500.0, margin=0.05)
    fitted = q.transform(xy, t)
    summary["transform"] = {name: getattr(t, name) for name, _ in quillon.GeoTransform._fields_}
    summary["fitted_bounds"] = bounds(fitted)

    # 3. The fitted map as a plane (y up) seen by a camera tilted 50 degrees.
    plane = quillon.doubles(len(fitted))
    plane[0::2] = fitted[0::2]
    plane[1::2] = array.array("d", (500.0 - y for y in fitted[1::2]))
    cam = quillon.PerspectiveCamera(viewport_width=640, viewport_height=400, fov=40, pitch=50,
                                    bearing=0, roll=0, distance=900, center_x=400, center_y=250,
                                    near_plane=0)
    screen, scales, visible, count = q.camera_points(plane, cam)
    cx, cy, cs = ctypes.c_double(), ctypes.c_double(), ctypes.c_double()
    centre_visible = q.torvik_project_point(400.0, 250.0, ctypes.byref(cam), ctypes.byref(cx),
                                            ctypes.byref(cy), ctypes.byref(cs))
    summary["camera"] = {"points": len(plane) // 2, "visible": count,
                         "flags_visible": sum(visible),
                         "centre": [cx.value, cy.value, cs.value, centre_visible],
                         "scale_range": [min(scales), max(scales)]}
    tilted = array.array("I", [BACKGROUND]) * (640 * 400)
    for i in range(len(plane) // 2):
        x, y = int(screen[2 * i]), int(screen[2 * i + 1])
        if visible[i] and 0 <= x < 640 and 0 <= y < 400:
            tilted[y * 640 + x] = DOT
    tilted_png = os.path.join(args.out, "tilted.png")
    write_png(tilted_png, tilted, 640, 400)

    # 4. A globe painted into a Python-owned buffer.
    tw, th = 721, 361
    texture = rasterise_texture(shp, tw, th)
    size = 480
    pixels = array.array("I", [BACKGROUND]) * (size * size)
    q.render_globe(pixels, size, size, texture, tw, th, 240.0, 240.0, 200.0,
                   rotation=15.0, tilt=25.0, atmosphere=0xFF5CB8FF)
    globe_png = os.path.join(args.out, "globe.png")
    write_png(globe_png, pixels, size, size)
    summary["globe"] = {"file": globe_png, "size": [size, size],
                        "centre_pixel": pixels[240 * size + 240],
                        "corner_pixel": pixels[0]}
    summary["tilted"] = {"file": tilted_png, "size": [640, 400]}

    # 5. Easing, as an animation would sample it.
    summary["easing"] = {
        "bezier_half": q.velket_cubic_bezier_evaluate(0.5, 0.42, 0.0, 0.58, 1.0),
        "spring_1s": q.velket_spring_evaluate(1.0, 100.0, 20.0, 1.0, 0.0),
    }
    json.dump(summary, sys.stdout, indent=1)
    sys.stdout.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
