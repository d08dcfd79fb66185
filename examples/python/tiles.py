#!/usr/bin/env python3
"""A Web Mercator tile set of the world map (z/x/y.png, 256 x 256 pixels),
rendered in this process or over a dask.distributed cluster.

Each tile is a pure function of (z, x, y) and the shapefile: it reads the
file, projects it, fits the tile's square of the plane to the image and
draws the land. So tiles can be rendered in any order, by any number of
processes on any machines, and the files are the same bytes however they
were made.

    python3 tiles.py --shp data/countries_110m.shp --out tiles --zoom 2
    python3 tiles.py ... --workers 2                 # a LocalCluster of 2 processes
    python3 tiles.py ... --scheduler tcp://host:8786 # an existing cluster

On a real cluster every worker must import quillon (install the package on
each machine, or share one environment) and read the shapefile and write the
output folder under the same paths (a shared file system); the scheduler
only hands out (z, x, y) and collects the file names.
"""

import argparse
import functools
import json
import os
import sys
from typing import Iterable, List, Optional, Tuple

import numpy as np

import quillon as q

HALF_WORLD = 20037508.342789244  # metres from the centre to the edge in EPSG 3857
MAX_LAT = 85.0511287798066       # the latitude at which that square ends
TILE = 256


@functools.lru_cache(maxsize=4)
def _world(shp_path: str) -> Tuple[np.ndarray, np.ndarray]:
    """The projected points and ring offsets of a shapefile, once per process."""
    shp = q.parse_shp(shp_path)
    lonlat = np.array(shp.points, copy=True)
    np.clip(lonlat[:, 1], -MAX_LAT, MAX_LAT, out=lonlat[:, 1])
    return q.project(lonlat), shp.ring_offsets


def tiles_of(zoom: int) -> List[Tuple[int, int, int]]:
    """Every (z, x, y) from zoom 0 to "zoom"."""
    return [(z, x, y) for z in range(zoom + 1) for x in range(2 ** z) for y in range(2 ** z)]


def render_tile(shp_path: str, out_dir: str, z: int, x: int, y: int) -> str:
    """Draws tile (z, x, y), row y counted from the north, into
    out_dir/z/x/y.png; returns that file name."""
    xy, rings = _world(shp_path)
    span = 2 * HALF_WORLD / 2 ** z
    min_x = -HALF_WORLD + x * span
    max_y = HALF_WORLD - y * span
    fit = q.fit((min_x, max_y - span, min_x + span, max_y), TILE, TILE, margin=0.0)
    land = q.build_polygon(None, xy, rings, fit)
    img = q.Image(TILE, TILE)
    with q.Context(img) as ctx:
        ctx.fill_all(0xFF12304A)
        ctx.fill_path(land, 0xFF4C9A7E)
        ctx.stroke_path(land, 0xFF0A1420, width=0.75)
    folder = os.path.join(out_dir, str(z), str(x))
    os.makedirs(folder, exist_ok=True)
    name = os.path.join(folder, "%d.png" % y)
    img.write_png(name)
    return name


def render_here(shp_path: str, out_dir: str, tiles: Iterable[Tuple[int, int, int]]) -> List[str]:
    return [render_tile(shp_path, out_dir, *t) for t in tiles]


def render_on_cluster(shp_path: str, out_dir: str, tiles: List[Tuple[int, int, int]],
                      client) -> List[str]:
    """One task per tile on a dask.distributed client; the file names in
    the order of "tiles"."""
    futures = client.map(render_tile, [shp_path] * len(tiles), [out_dir] * len(tiles),
                         *zip(*tiles), pure=False)
    return client.gather(futures)


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--shp", required=True, help="the countries shapefile")
    parser.add_argument("--out", required=True, help="output folder")
    parser.add_argument("--zoom", type=int, default=2, help="deepest zoom level (default 2)")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--workers", type=int, default=0,
                       help="render over a dask LocalCluster of this many processes")
    where.add_argument("--scheduler", help="address of a running dask scheduler")
    args = parser.parse_args(argv)
    if not 0 <= args.zoom <= 8:
        parser.error("--zoom is 0 to 8")
    shp_path, out_dir = os.path.abspath(args.shp), os.path.abspath(args.out)
    tiles = tiles_of(args.zoom)
    if args.workers or args.scheduler:
        from distributed import Client, LocalCluster
        if args.scheduler:
            with Client(args.scheduler) as client:
                names = render_on_cluster(shp_path, out_dir, tiles, client)
        else:
            with LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                              dashboard_address=None) as cluster, Client(cluster) as client:
                names = render_on_cluster(shp_path, out_dir, tiles, client)
    else:
        names = render_here(shp_path, out_dir, tiles)
    json.dump({"tiles": len(names), "files": [os.path.relpath(n, out_dir) for n in names]},
              sys.stdout)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
