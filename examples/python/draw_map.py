#!/usr/bin/env python3
"""A poster-like map drawn with the quillon package alone: a Web Mercator
world with graticule and borders, a coastline being drawn on and throwing
sparks, a tilted Lambert conic of Europe, a globe and an easing curve.

    QUILLON_LIB_DIR=build PYTHONPATH=python python3 examples/python/draw_map.py \
        --shp data/countries_110m.shp --out out/python/map.png
"""

import argparse
import os
import sys

import numpy as np

import quillon as q
from rings import MERCATOR_POLE, drawable_rings

W, H = 1200, 800
INK, SEA, LAND, EDGE, GRID, GLOW = (0xFF0A1420, 0xFF12304A, 0xFF4C9A7E, 0xFF0A1420,
                                    0x40FFFFFF, 0xFFFFC46B)


def graticule(step=30.0):
    """Meridians and parallels as one Point array and its part offsets."""
    lines = [np.column_stack([np.full(61, lon), np.linspace(-80, 80, 61)])
             for lon in np.arange(-180.0, 180.1, step)]
    lines += [np.column_stack([np.linspace(-180, 180, 121), np.full(121, lat)])
              for lat in np.arange(-60.0, 60.1, step)]
    offsets = np.cumsum([0] + [len(part) for part in lines])
    return np.concatenate(lines), offsets


def globe_texture(shp, width=721, height=361):
    img = q.Image(width, height)
    t = q.fit((-180.0, -90.0, 180.0, 90.0), width - 1, height - 1, margin=0.0)
    t.offset_x, t.offset_y, t.height = t.offset_x + 0.5, t.offset_y + 0.5, t.height + 1.0
    with q.Context(img) as ctx:
        ctx.fill_all(SEA)
        ctx.fill_path(q.build_polygon(None, *drawable_rings(shp.points, shp.ring_offsets), t),
                      LAND)
    return img.to_array(unpremultiply=True)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--shp", required=True)
    parser.add_argument("--out", required=True, help="PNG file to write")
    parser.add_argument("--reveal", type=float, default=0.7, help="share of coastline drawn")
    args = parser.parse_args(argv)

    shp = q.parse_shp(args.shp)
    # Land cut at the antimeridian and Antarctica closed along the Mercator
    # limit, so every ring lies on the map.
    rings, ring_offsets = drawable_rings(shp.points, shp.ring_offsets, pole_lat=MERCATOR_POLE)
    world_rings = q.project(rings, "mercator")
    fit = q.fit(q.bounds(world_rings), 760, 560, margin=0.04)
    land = q.build_polygon(None, world_rings, ring_offsets, fit)
    grid_pts, grid_offsets = graticule()
    grid = q.build_multilinestring(None, q.project(grid_pts), grid_offsets, fit)
    # Every coastline drawn on to the same share of its length.
    drawn = q.Path()
    for start, end in zip(ring_offsets[:-1], ring_offsets[1:]):
        if end - start >= 2:
            coast = q.build_linestring(None, world_rings[start:end], fit)
            q.trim_path(coast, 0.0, args.reveal, dst=drawn)

    # Europe in a Lambert conic, fitted onto a sheet (y up) and seen at a tilt.
    lcc = q.project(shp.points, "lcc", (43.0, 62.0, 52.0, 10.0))
    sheet = q.fit((-2.0e6, -1.8e6, 2.2e6, 2.2e6), 400, 400, margin=0.0, flip_y=False)
    flat = q.Path()
    for shape in shp:
        lon0, lat0, lon1, lat1 = shape.bbox
        if lon1 - lon0 < 60 and -25 < (lon0 + lon1) / 2 < 40 and 35 < (lat0 + lat1) / 2 < 71:
            q.build_polygon(flat, lcc, shape.part_offsets, sheet)
    cam = q.Camera(viewport_width=380, viewport_height=300, fov=40, pitch=50, bearing=-10,
                   distance=900, center_x=200, center_y=210)
    tilted, _ = q.camera_path(flat, cam)

    img = q.Image(W, H)
    with q.Context(img) as ctx:
        ctx.fill_all(INK)
        ctx.fill_rect(20, 20, 760, 560, SEA)
        ctx.clip_to_rect(20, 20, 760, 560)  # the sparks
        ctx.stroke_path(grid, GRID, width=1.0, origin=(20, 20))
        ctx.fill_path(land, LAND, origin=(20, 20))
        ctx.stroke_path(land, EDGE, width=0.5, origin=(20, 20))
        ctx.stroke_path(drawn, GLOW, width=1.5, origin=(20, 20))
        # Sparks where the pen is.
        head = drawn.vertices[-1] + 20.0 if len(drawn) else np.array([400.0, 300.0])
        with q.ParticleSystem(400) as sparks:
            sparks.add_gravity(0.0, 60.0)
            sparks.add_drag(0.8)
            for _ in range(30):
                sparks.emit(12, head[0], head[1], speed=(20, 90), life=(0.4, 1.2),
                            size=(3.0, 0.5), color=(0xFFFFE6A0, 0x00FF6020))
                sparks.update(1 / 30)
            sparks.render(ctx)
        ctx.restore_clipping()
        ctx.fill_rect(800, 20, 380, 300, SEA)
        ctx.fill_path(tilted, LAND, origin=(800, 20))
        ctx.stroke_path(tilted, EDGE, width=0.5, origin=(800, 20))
        # The easing curve that would drive the reveal.
        curve = q.Path()
        t = np.linspace(0.0, 1.0, 101)
        pts = np.column_stack([820 + 340 * t, 760 - 160 * q.cubic_bezier(t, 0.42, 0, 0.58, 1)])
        ctx.stroke_path(curve.polyline(pts), GLOW, width=2.0)
        ctx.fill_circle(820 + 340 * args.reveal,
                        760 - 160 * q.cubic_bezier(args.reveal, 0.42, 0, 0.58, 1), 5.0, GLOW)
    pixels = img.to_array(unpremultiply=True)
    q.render_globe(pixels[340:580, 880:1120], globe_texture(shp), 120.0, 120.0, 100.0,
                   rotation=-15.0, tilt=20.0, atmosphere=0xFF5CB8FF)
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    q.Image.from_array(pixels).write_png(args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
