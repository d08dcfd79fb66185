"""Rings of a longitude/latitude shapefile made ready for a flat map.

A ring that crosses the antimeridian (Fiji, the tip of Chukotka) is stored
with a jump of about 360 degrees between two neighbouring points; built as it
is, that edge becomes a streak across the whole map (and a circle around the
pole once the map is wrapped onto a globe). Such a ring is made continuous,
longitudes beyond +-180 allowed, and given a second copy a full turn away, so
each side of the map shows its half. A ring around a pole (Antarctica) turns
once in all; it is kept as stored, since its jump is the edge that closes it
along the map's border.
"""

import numpy as np


def drawable_rings(points, part_offsets):
    """Returns (points, part_offsets) for the builders: every ring of the
    input, continuous across the antimeridian, plus the shifted copies."""
    pts = np.asarray(points, dtype=np.float64).reshape(-1, 2)
    offs = np.asarray(part_offsets, dtype=np.int64)
    rings = []
    for s, e in zip(offs[:-1], offs[1:]):
        ring = pts[s:e]
        steps = np.diff(ring[:, 0])
        if len(ring) < 2 or not np.any(np.abs(steps) > 180.0):
            rings.append(ring)
            continue
        wrapped = (steps + 180.0) % 360.0 - 180.0
        if abs(wrapped.sum()) > 180.0:  # turns around a pole: keep as stored
            rings.append(ring)
            continue
        lon = ring[0, 0] + np.concatenate([[0.0], np.cumsum(wrapped)])
        ring = np.column_stack([lon, ring[:, 1]])
        rings.append(ring)
        if lon.max() > 180.0:
            rings.append(ring - [360.0, 0.0])
        if lon.min() < -180.0:
            rings.append(ring + [360.0, 0.0])
    if not rings:
        return np.empty((0, 2)), np.zeros(1, dtype=np.int64)
    out_offsets = np.cumsum([0] + [len(r) for r in rings]).astype(np.int64)
    return np.ascontiguousarray(np.concatenate(rings)), out_offsets
