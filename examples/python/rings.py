"""Rings of a longitude/latitude shapefile made ready for a flat map.

A ring that crosses the antimeridian (Fiji, the tip of Chukotka) is stored
with a jump of about 360 degrees between two neighbouring points; built as it
is, that edge becomes a streak across the whole map. libordane's cutting
export splits such rings at the map's edge (lon0 + 180) and closes each
piece along it, and closes a ring around a pole (Antarctica) along the
pole's parallel (the Mercator limit for a Mercator map), so every piece lies
inside lon0 +- 180 and the map needs no clipping or second copies.
"""

import numpy as np

import quillon as q

MERCATOR_POLE = 85.0511287798


def drawable_rings(points, part_offsets, lon0=0.0, pole_lat=90.0):
    """Returns (points, part_offsets) for the builders: the input's rings cut
    at lon0 + 180, each piece closed."""
    pieces = q.cut(np.ascontiguousarray(points, dtype=np.float64), part_offsets, lon0=lon0,
                   pole_lat=pole_lat, max_step=1.0)
    return pieces.points, pieces.part_offsets
