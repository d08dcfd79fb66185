"""The Web Mercator tile grid: zoom levels, tile and metatile ranges, the
TMS row of MBTiles and the Hilbert tile id of PMTiles."""

from __future__ import annotations

import math
from typing import Iterator, List, Tuple

EARTH_RADIUS = 6378137.0
HALF_WORLD = math.pi * EARTH_RADIUS  # metres from the centre to an edge
MAX_LATITUDE = 85.0511287798066  # the latitude at which the square world ends
MAX_ZOOM = 20

Bounds = Tuple[float, float, float, float]  # west, south, east, north in degrees


def parse_zooms(text: str) -> Tuple[int, int]:
    """"5" or "0-5" as (min, max); ValueError for anything else."""
    parts = str(text).strip().split("-")
    if len(parts) not in (1, 2) or not all(p.strip().isdigit() for p in parts):
        raise ValueError("zoom must be N or MIN-MAX with whole numbers, not %r" % text)
    lo, hi = int(parts[0]), int(parts[-1])
    if hi < lo:
        raise ValueError("zoom range %r runs backwards" % text)
    if hi > MAX_ZOOM:
        raise ValueError("zoom %d is outside 0-%d" % (hi, MAX_ZOOM))
    return lo, hi


def world_x(lon: float) -> float:
    """Longitude to the world fraction 0 (180 W) .. 1 (180 E)."""
    return (lon + 180.0) / 360.0


def world_y(lat: float) -> float:
    """Latitude to the world fraction 0 (north edge) .. 1 (south edge)."""
    lat = max(-MAX_LATITUDE, min(MAX_LATITUDE, lat))
    s = math.sin(math.radians(lat))
    return 0.5 - math.log((1 + s) / (1 - s)) / (4 * math.pi)


def tile_range(bounds: Bounds, z: int) -> Tuple[int, int, int, int]:
    """(x0, y0, x1, y1), inclusive, of the tiles at zoom z covering bounds."""
    n = 1 << z
    w, s, e, north = bounds

    def cell(f: float) -> int:
        return min(n - 1, max(0, int(math.floor(f * n))))

    return cell(world_x(w)), cell(world_y(north)), cell(world_x(e)), cell(world_y(s))


def metatile_size(metatile: int, z: int) -> int:
    """Tiles per metatile side at zoom z: never more than the zoom has."""
    return min(metatile, 1 << z)


def metatiles(bounds: Bounds, z: int, metatile: int) -> List[Tuple[int, int, int]]:
    """(z, mx, my) of every metatile at zoom z that holds a tile of bounds,
    row by row from the north-west."""
    m = metatile_size(metatile, z)
    x0, y0, x1, y1 = tile_range(bounds, z)
    return [(z, mx, my) for my in range(y0 // m, y1 // m + 1) for mx in range(x0 // m, x1 // m + 1)]


def metatile_tiles(bounds: Bounds, z: int, mx: int, my: int,
                   metatile: int) -> Iterator[Tuple[int, int, int]]:
    """The tiles (z, x, y) of one metatile that lie inside the pyramid."""
    m = metatile_size(metatile, z)
    x0, y0, x1, y1 = tile_range(bounds, z)
    for y in range(max(my * m, y0), min(my * m + m - 1, y1) + 1):
        for x in range(max(mx * m, x0), min(mx * m + m - 1, x1) + 1):
            yield z, x, y


def tile_count(bounds: Bounds, zmin: int, zmax: int) -> int:
    total = 0
    for z in range(zmin, zmax + 1):
        x0, y0, x1, y1 = tile_range(bounds, z)
        total += (x1 - x0 + 1) * (y1 - y0 + 1)
    return total


def tms_row(z: int, y: int) -> int:
    """The MBTiles (TMS) row of XYZ row y: counted from the south."""
    return (1 << z) - 1 - y


def hilbert_tile_id(z: int, x: int, y: int) -> int:
    """The PMTiles v3 tile id: tiles of all lower zooms, then the position
    of (x, y) along the Hilbert curve of zoom z."""
    base = ((1 << (2 * z)) - 1) // 3  # 4^0 + ... + 4^(z-1)
    n = 1 << z
    d = 0
    s = n >> 1
    while s > 0:
        rx = 1 if (x & s) else 0
        ry = 1 if (y & s) else 0
        d += s * s * ((3 * rx) ^ ry)
        # Rotate the quadrant so the curve continues in the next level.
        if ry == 0:
            if rx == 1:
                x = n - 1 - x
                y = n - 1 - y
            x, y = y, x
        s >>= 1
    return base + d
