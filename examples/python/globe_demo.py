#!/usr/bin/env python3
"""Reads a shapefile, projects and fits it, looks at it through a tilted
camera and paints a globe textured with the countries, all through the
quillon package.

Writes globe.png and tilted.png into --out and prints a JSON summary of what
each step returned.

    QUILLON_LIB_DIR=build PYTHONPATH=python python3 examples/python/globe_demo.py \
        --shp data/countries_110m.shp --out out/python
"""

import argparse
import json
import os
import sys

import numpy as np

import quillon as q
from rings import drawable_rings

BACKGROUND = 0xFF0A1420
OCEAN = 0xFF1A4E78
LAND = [0xFF4C9A7E, 0xFF86AE5F, 0xFFC6B46D, 0xFFCB9365, 0xFF9483B8, 0xFF5F98BE]
DOT = 0xFFFFC46B


def texture(shp, width=721, height=361):
    """Equirectangular texture: column c is longitude c / (width - 1) * 360 - 180."""
    img = q.Image(width, height)
    # Degrees map straight onto texel centres: no margin, north up.
    t = q.fit((-180.0, -90.0, 180.0, 90.0), width - 1, height - 1, margin=0.0)
    t.offset_x += 0.5
    t.offset_y += 0.5
    t.height += 1.0
    with q.Context(img) as ctx:
        ctx.fill_all(OCEAN)
        for shape in shp:
            land = q.build_polygon(None, *drawable_rings(shp.points, shape.part_offsets), t)
            ctx.fill_path(land, LAND[shape.index % len(LAND)])
    return img.to_array(unpremultiply=True)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--shp", required=True, help="polygon shapefile in degrees")
    parser.add_argument("--out", required=True, help="folder for the PNG files")
    args = parser.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)
    summary = {}

    # 1. Header and records.
    header = q.read_shp_header(args.shp)
    shp = q.parse_shp(args.shp)
    summary["header"] = {"shape_type": header.shape_type, "record_count": header.record_count,
                         "bbox": list(header.bbox)}
    summary.update(shapes=len(shp), parts=shp.num_parts, points=shp.num_points,
                   lonlat_bounds=list(q.bounds(shp.points)))

    # 2. Web Mercator, then a fit into an 800 x 500 viewport, north up.
    xy = q.project(shp.points, "mercator")
    summary["mercator_probe"] = q.project([0.0, 0.0, 180.0, 0.0, 0.0, 90.0]).tolist()
    fit = q.fit(q.bounds(xy), 800.0, 500.0, margin=0.05)
    fitted = q.transform(xy, fit)
    summary["transform"] = {name: getattr(fit, name) for name, _ in q.GeoTransform._fields_}
    summary["fitted_bounds"] = list(q.bounds(fitted))

    # 3. The fitted map as a plane (y up) seen by a camera tilted 50 degrees.
    plane = fitted.copy()
    plane[:, 1] = 500.0 - plane[:, 1]
    cam = q.Camera(viewport_width=640, viewport_height=400, fov=40, pitch=50,
                   distance=900, center_x=400, center_y=250)
    seen = q.camera_points(plane, cam)
    cx, cy, cs, cvis = q.project_point(400.0, 250.0, cam)
    summary["camera"] = {"points": len(plane), "visible": seen.visible_count,
                         "flags_visible": int(seen.visible.sum()),
                         "centre": [cx, cy, cs, int(cvis)],
                         "scale_range": [float(seen.scales.min()), float(seen.scales.max())]}
    tilted = np.full((400, 640), BACKGROUND, np.uint32)
    px = seen.coords[seen.visible].astype(np.int64)
    inside = (px[:, 0] >= 0) & (px[:, 0] < 640) & (px[:, 1] >= 0) & (px[:, 1] < 400)
    tilted[px[inside, 1], px[inside, 0]] = DOT
    tilted_png = os.path.join(args.out, "tilted.png")
    q.Image.from_array(tilted).write_png(tilted_png)

    # 4. A globe painted into a numpy buffer.
    size = 480
    pixels = np.full((size, size), BACKGROUND, np.uint32)
    q.render_globe(pixels, texture(shp), 240.0, 240.0, 200.0, rotation=15.0, tilt=25.0,
                   atmosphere=0xFF5CB8FF)
    globe_png = os.path.join(args.out, "globe.png")
    q.Image.from_array(pixels).write_png(globe_png)
    summary["globe"] = {"file": globe_png, "size": [size, size],
                        "centre_pixel": int(pixels[240, 240]), "corner_pixel": int(pixels[0, 0])}
    summary["tilted"] = {"file": tilted_png, "size": [640, 400]}

    # 5. Easing, as an animation would sample it.
    summary["easing"] = {"bezier_half": q.cubic_bezier(0.5, 0.42, 0.0, 0.58, 1.0),
                         "spring_1s": q.spring(1.0, 100.0, 20.0, 1.0, 0.0)}
    json.dump(summary, sys.stdout, indent=1)
    sys.stdout.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
