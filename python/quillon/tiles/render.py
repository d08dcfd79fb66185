"""Drawing metatiles: the data read once per process, each metatile drawn
in one image with a buffer around it and cut into PNG tiles.

Every tile of a zoom is drawn with the same scale (2^z x tile size pixels
for the world's width) and an integer pixel offset, so a tile's pixels do not
depend on which metatile, or which whole-world image, drew it."""

from __future__ import annotations

import dataclasses
import os
from typing import Dict, Iterator, List, Optional, Tuple

import numpy as np

from .. import geo
from ..errors import QuillonError
from .._native import GeoTransform
from ..blend2d import Context, Image, Path
from . import grid

TileResult = Tuple[int, int, int, Optional[bytes]]

SHAPE_POINT, SHAPE_LINE, SHAPE_POLYGON, SHAPE_MULTIPOINT = 1, 3, 5, 8


@dataclasses.dataclass(frozen=True)
class Style:
    fill: int = 0xFF4C9A7E
    stroke: int = 0xFF1D3B30
    stroke_width: float = 1.0
    marker_radius: float = 3.0
    color_by: Optional[str] = None


@dataclasses.dataclass(frozen=True)
class Job:
    """What a worker needs to draw any metatile: small, sent with each task.
    The data itself is read by each process from "source"."""

    source: str
    tile_size: int = 256
    metatile: int = 8
    buffer: int = 128
    style: Style = Style()

    @property
    def key(self) -> Tuple[str, float, int, Optional[str]]:
        st = os.stat(self.source)
        return (os.path.realpath(self.source), st.st_mtime, st.st_size, self.style.color_by)


# --color-by: distinct values of a text, logical or date field take these in
# turn; a numeric field is cut into eight classes of equal count (quantiles)
# along the ramp, dark teal to warm sand. The same colours as the poster.
PALETTE = (0xFF3E7D68, 0xFF6C8F4E, 0xFFA49A5D, 0xFFB07E58,
           0xFF7A6A9A, 0xFF4F7FA0, 0xFF93A86A, 0xFFC29A6E)
RAMP = (0xFF1F4E5F, 0xFF2A6B6A, 0xFF3F8770, 0xFF63A06D,
        0xFF90B566, 0xFFBEC46A, 0xFFDDC27A, 0xFFF0C98F)


def colour_classes(source: str, field: str, num_shapes: int) -> Tuple[np.ndarray, Tuple[int, ...]]:
    """Each shape's palette index by the attribute "field" of the .dbf beside
    source (-1: no value, drawn in the style's own colour), and the palette."""
    from .. import attributes
    dbf = os.path.splitext(source)[0] + ".dbf"
    if not os.path.exists(dbf) and os.path.exists(dbf[:-4] + ".DBF"):
        dbf = dbf[:-4] + ".DBF"
    try:
        table = attributes.read_dbf(dbf, expected_records=num_shapes)
    except (OSError, QuillonError, RuntimeError) as exc:
        raise ValueError("--color-by needs the attribute table %s: %s"
                         % (dbf, getattr(exc, "strerror", None) or exc)) from None
    name = field if field in table.columns else next(
        (n for n in table.columns if n.lower() == field.lower()), None)
    if name is None:
        raise ValueError("--color-by: %s has no field %r (its fields: %s)"
                         % (dbf, field, ", ".join(table.keys()) or "none"))
    kind = next(f.kind for f in table.fields if f.name == name)
    column, valid = table[name], table.valid[name]
    classes = np.full(num_shapes, -1, np.int32)
    if kind == attributes.KIND_NUMBER:
        values = np.sort(column[valid])
        if len(values):
            # The class is the value's rank among all values, in eighths,
            # so a few large values do not flatten the rest.
            rank = np.searchsorted(values, column[valid], side="left")
            classes[valid] = np.minimum(7, rank * 8 // len(values))
        return classes, RAMP
    seen: Dict[object, int] = {}
    for k in range(num_shapes):
        v = column[k] if kind in (attributes.KIND_TEXT, attributes.KIND_RAW) or valid[k] else ""
        if kind == attributes.KIND_DATE and valid[k]:
            v = str(v)
        classes[k] = seen.setdefault(v, len(seen)) % len(PALETTE)
    return classes, PALETTE


class Data:
    """A shapefile's geometry in Web Mercator metres, with each shape's
    extent as world fractions (x east from 180 W, y south from the top),
    and with color_by, each shape's colour class."""

    def __init__(self, source: str, color_by: Optional[str] = None) -> None:
        shp = geo.parse_shp(source)
        if shp.num_shapes == 0 or shp.num_points == 0:
            raise ValueError("%s holds no shapes" % source)
        self.kind = {1: SHAPE_POINT, 3: SHAPE_LINE, 5: SHAPE_POLYGON, 8: SHAPE_MULTIPOINT}.get(
            shp.shape_type % 10)
        if self.kind is None:
            raise ValueError("%s: shape type %d is not drawn" % (source, shp.shape_type))
        num_shapes = shp.num_shapes
        # The library's points are read in place (to_lonlat copies only when
        # it reprojects), and the record is let go once the cut has made its
        # own copy: a worker's peak is the data about twice, not four times.
        lonlat = to_lonlat(shp.points, source)
        if self.kind in (SHAPE_POINT, SHAPE_MULTIPOINT):
            ends = shp.shape_point_offsets.astype(np.int64)
            shape_offsets = [ends[k:k + 2].copy() for k in range(num_shapes)]
            lonlat = np.array(lonlat, dtype=np.float64)
        else:
            lonlat, shape_offsets = cut_antimeridian(
                lonlat, [shp.part_offsets(k) for k in range(num_shapes)])
        del shp
        finite = np.isfinite(lonlat).all(axis=1)
        if not finite.any():
            raise ValueError("%s holds no finite coordinates" % source)
        self.lonlat_bounds = _bounds(lonlat, finite)
        self.points = geo.mercator_forward(lonlat, out=lonlat)  # in place
        del lonlat
        self.shape_offsets = shape_offsets
        self.extents = _extents(self.points, finite, shape_offsets)
        del finite
        _release_free_memory()
        self.classes: Optional[np.ndarray] = None
        self.palette: Tuple[int, ...] = ()
        if color_by:
            self.classes, self.palette = colour_classes(source, color_by, num_shapes)

    def groups(self, selected: np.ndarray, colour: int) -> List[Tuple[int, np.ndarray]]:
        """The selected shapes as (colour, selection) pairs: one pair without
        --color-by, else one per class present, in palette order."""
        if self.classes is None:
            return [(colour, selected)]
        out = []
        for c in np.unique(self.classes[selected]).tolist():
            out.append((colour if c < 0 else self.palette[c], selected & (self.classes == c)))
        return out

    def rings(self, selected: np.ndarray) -> np.ndarray:
        """Builder offsets for the parts of the selected shapes (-1 between
        shapes whose points are not adjacent)."""
        pieces: List[np.ndarray] = []
        last = None
        for k in np.flatnonzero(selected):
            o = self.shape_offsets[k]
            if len(o) < 2:
                continue
            if last is None:
                pieces.append(o)
            elif o[0] == last:
                pieces.append(o[1:])
            else:
                pieces += [np.array([-1], np.int64), o]
            last = int(o[-1])
        return np.concatenate(pieces) if pieces else np.zeros(0, np.int64)


def _bounds(lonlat: np.ndarray, finite: np.ndarray) -> grid.Bounds:
    # Columns are read in place when every point is finite (the usual
    # case): no copy of the data beside it.
    pts = lonlat if finite.all() else lonlat[finite]
    lo, hi = pts.min(axis=0), pts.max(axis=0)
    del pts
    return (max(-180.0, float(lo[0])), max(-grid.MAX_LATITUDE, float(lo[1])),
            min(180.0, float(hi[0])), min(grid.MAX_LATITUDE, float(hi[1])))


def _release_free_memory() -> None:
    """Hands the memory freed after reading back to the system (glibc): the
    file's record and the cut's working copies would otherwise stay in the
    process beside the metatile surfaces drawn next."""
    try:
        import ctypes
        trim = ctypes.CDLL(None).malloc_trim
    except (OSError, AttributeError):
        return
    trim.argtypes = [ctypes.c_size_t]
    trim(0)


def _extents(points: np.ndarray, finite: np.ndarray,
             shape_offsets: List[np.ndarray]) -> np.ndarray:
    """Each shape's extent over its finite points as world fractions (west,
    north, east, south); NaN for a shape without one."""
    ext = np.full((len(shape_offsets), 4), np.nan)
    spans = [(k, int(o[0]), int(o[-1])) for k, o in enumerate(shape_offsets)
             if len(o) >= 2 and o[-1] > o[0]]
    if not spans:
        return ext
    rows = np.array([k for k, _, _ in spans], np.int64)
    # Each shape's points are [first, last): reduceat over the starts and
    # ends in turn, every other result belonging to a shape. A NaN row after
    # the points keeps every index inside the array.
    cuts = np.array([v for _, a, b in spans for v in (a, b)], np.int64)
    lo = np.empty((len(spans), 2))
    hi = np.empty((len(spans), 2))
    # One column at a time in one scratch array, the points that are not
    # finite set to NaN: half the size of the points more, not twice.
    col = np.empty(len(points) + 1)
    col[-1] = np.nan
    unfinite = None if finite.all() else ~finite
    for axis in (0, 1):
        col[:-1] = points[:, axis]
        if unfinite is not None:
            col[:-1][unfinite] = np.nan
        with np.errstate(invalid="ignore"):
            lo[:, axis] = np.fmin.reduceat(col, cuts)[::2]
            hi[:, axis] = np.fmax.reduceat(col, cuts)[::2]
    span = 2 * grid.HALF_WORLD
    ext[rows] = np.column_stack([(lo[:, 0] + grid.HALF_WORLD) / span,
                                 (grid.HALF_WORLD - hi[:, 1]) / span,
                                 (hi[:, 0] + grid.HALF_WORLD) / span,
                                 (grid.HALF_WORLD - lo[:, 1]) / span])
    return ext


def to_lonlat(points: np.ndarray, source: str) -> np.ndarray:
    """The points in degrees: unchanged without a .prj or with a geographic
    one, otherwise reprojected from the .prj's system with pyproj."""
    prj = os.path.splitext(source)[0] + ".prj"
    if not os.path.exists(prj):
        return points
    with open(prj, "r", encoding="utf-8", errors="replace") as f:
        wkt = f.read().strip()
    if not wkt:
        return points
    try:
        import pyproj
    except ImportError:
        if wkt.upper().startswith("GEOGCS"):
            return points
        raise ValueError("%s is not in degrees and pyproj (python3-pyproj) is missing" % prj)
    try:
        crs = pyproj.CRS.from_wkt(wkt)
    except pyproj.exceptions.CRSError as exc:
        raise ValueError("%s: unreadable coordinate system (%s)" % (prj, exc)) from None
    if crs.is_geographic:
        return points
    t = pyproj.Transformer.from_crs(crs, "EPSG:4326", always_xy=True)
    lon, lat = t.transform(points[:, 0], points[:, 1])
    return np.column_stack([lon, lat]).astype(np.float64)


def cut_antimeridian(lonlat: np.ndarray,
                     shape_offsets: List[np.ndarray]) -> Tuple[np.ndarray, List[np.ndarray]]:
    """Rings cut at 180 degrees by the cartography library (ordane_cut_parts):
    each piece lies within +-180 and is closed along the cut, and a ring
    around a pole is closed along the Web Mercator edge latitude, so a
    Pacific file draws in both edge tiles without a streak across the map.
    Returns the pieces' points and each shape's builder offsets (its pieces'
    starts and end, -1 where two pieces are not adjacent)."""
    from .. import cartography
    starts: List[int] = []
    shape_of: List[int] = []
    ends: List[int] = []
    for k, offs in enumerate(shape_offsets):
        o = np.asarray(offs, np.int64).tolist()
        for j in range(len(o) - 1):
            if o[j] >= 0 and o[j + 1] - o[j] >= 3:
                starts.append(o[j])
                ends.append(o[j + 1])
                shape_of.append(k)
    if not starts:
        return lonlat[:0], [np.zeros(1, np.int64) for _ in shape_offsets]
    # The parts laid end to end, as the cut takes them: usually they already
    # are, and the points go to the cut as they lie.
    lengths = np.array(ends, np.int64) - np.array(starts, np.int64)
    part_offsets = np.concatenate([[0], np.cumsum(lengths)]).astype(np.int64)
    if starts[1:] == ends[:-1]:
        laid = lonlat[starts[0]:ends[-1]]
    else:
        laid = lonlat[np.concatenate([np.arange(a, b) for a, b in zip(starts, ends)])]
    parts = cartography.cut(np.ascontiguousarray(laid), part_offsets, lon0=0.0,
                            rings=True, pole_lat=grid.MAX_LATITUDE, max_step=10.0)
    del laid
    pieces: List[List[int]] = [[] for _ in shape_offsets]
    po = parts.part_offsets.tolist()
    for i, src in enumerate(parts.source_parts.tolist()):
        p = pieces[shape_of[src]]
        a, b = po[i], po[i + 1]
        if p and p[-1] == a:
            p.append(b)
        else:
            if p:
                p.append(-1)
            p += [a, b]
    return parts.points, [np.array(p if p else [0], np.int64) for p in pieces]


# One Data per process and source: a worker reads the shapefile on its first
# task and keeps it for the others.
_DATA: Dict[Tuple[str, float, int, Optional[str]], Data] = {}


def data_for(job: Job) -> Data:
    key = job.key
    data = _DATA.get(key)
    if data is None:
        _DATA.clear()
        data = _DATA[key] = Data(job.source, job.style.color_by)
    return data


def _transform(z: int, tile_size: int, x0: int, y0: int) -> GeoTransform:
    """Metres to pixels of an image whose top-left is world pixel (x0, y0)."""
    world = float((1 << z) * tile_size)
    t = GeoTransform()
    t.min_x = t.min_y = -grid.HALF_WORLD
    t.max_x = t.max_y = grid.HALF_WORLD
    t.width = t.height = world
    t.scale = world / (2 * grid.HALF_WORLD)
    t.offset_x = -float(x0)
    t.offset_y = float(y0)  # the flip turns y into world - y'' - offset_y
    t.flip_y = 1
    return t


def render_region(job: Job, z: int, x0: int, y0: int, width: int, height: int) -> Image:
    """The image of world pixels [x0, x0 + width) x [y0, y0 + height) at zoom z."""
    data = data_for(job)
    st = job.style
    world = float((1 << z) * job.tile_size)
    reach = max(st.stroke_width / 2.0, st.marker_radius if data.kind in (
        SHAPE_POINT, SHAPE_MULTIPOINT) else 0.0) + 2.0
    ext = data.extents
    with np.errstate(invalid="ignore"):
        selected = ((ext[:, 2] * world >= x0 - reach) & (ext[:, 0] * world <= x0 + width + reach)
                    & (ext[:, 3] * world >= y0 - reach) & (ext[:, 1] * world <= y0 + height + reach))
    image = Image(width, height)
    with Context(image) as ctx:
        ctx.clear_all()
        if not selected.any():
            return image
        t = _transform(z, job.tile_size, x0, y0)
        if data.kind in (SHAPE_POINT, SHAPE_MULTIPOINT):
            _draw_points(ctx, data, selected, t, st, width, height, reach)
            return image
        far = max(abs(ext[selected][:, [0, 2]] * world - x0).max(),
                  abs(ext[selected][:, [1, 3]] * world - y0).max())
        # One path per colour; the outline of every shape is stroked at once
        # after the fills, so neighbours of two colours share one line.
        outline = Path()
        for colour, chosen in data.groups(selected, st.fill if data.kind == SHAPE_POLYGON
                                          else st.stroke):
            offsets = data.rings(chosen)
            path = Path()
            if data.kind == SHAPE_POLYGON and far > FAR:
                # Deep zooms: the rings cut to the region first (see clip_ring).
                pts, offs = _clipped_rings(data.points, offsets, t, width, height,
                                           st.stroke_width + 4.0)
                if len(offs) >= 2:
                    geo.build_polygon(path, pts, offs)
            elif data.kind == SHAPE_POLYGON:
                geo.build_polygon(path, data.points, offsets, t)
            else:
                geo.build_multilinestring(path, data.points, offsets, t)
            if data.kind != SHAPE_POLYGON:
                # Lines: the class colours the stroke itself.
                if colour >> 24 and st.stroke_width > 0:
                    ctx.stroke_path(path, colour, width=st.stroke_width)
                continue
            if colour >> 24:
                ctx.fill_path(path, colour)
            if data.classes is None:
                outline = path
            else:
                outline.add_path(path)
        if data.kind == SHAPE_POLYGON and st.stroke >> 24 and st.stroke_width > 0:
            ctx.stroke_path(outline, st.stroke, width=st.stroke_width)
    return image


# Rasterisers keep coordinates in fixed point (24.8 bits in Cairo, about
# +-8.3e6 pixels): the Cairo-backed stand-in clamps vertices beyond that,
# which bends an edge running from inside the image to such a vertex. Rings
# reaching further than 2^22 pixels are cut to the region (plus a margin) in
# double precision first, which also spares the rasteriser a continent's
# outline at deep zooms.
FAR = float(1 << 22)


def clip_ring(ring: np.ndarray, x0: float, y0: float, x1: float, y1: float) -> np.ndarray:
    """Sutherland-Hodgman: the closed ring (N, 2) cut to the rectangle. The
    part inside is unchanged; outside, the ring runs along the rectangle's
    sides, which a margin keeps out of the visible pixels."""
    p = ring
    for axis, bound, less in ((0, x0, False), (0, x1, True), (1, y0, False), (1, y1, True)):
        if len(p) < 3:
            return p[:0]
        cur, prev = p, np.roll(p, 1, axis=0)
        inside = cur[:, axis] <= bound if less else cur[:, axis] >= bound
        was = np.roll(inside, 1)
        with np.errstate(divide="ignore", invalid="ignore"):
            t = (bound - prev[:, axis]) / (cur[:, axis] - prev[:, axis])
            cross = prev + t[:, None] * (cur - prev)
        cross[:, axis] = bound
        # Per vertex: its crossing (when the edge into it crosses), then
        # itself (when inside).
        crossing = inside != was
        both = np.empty((len(p), 2, 2))
        both[:, 0], both[:, 1] = cross, cur
        keep = np.stack([crossing, inside], axis=1)
        p = both[keep]
    return p


def _clipped_rings(points: np.ndarray, offsets: np.ndarray, t: GeoTransform, width: int,
                   height: int, margin: float) -> Tuple[np.ndarray, np.ndarray]:
    pieces: List[np.ndarray] = []
    starts: List[int] = []
    total = 0
    o = offsets.tolist()
    for j in range(len(o) - 1):
        a, b = o[j], o[j + 1]
        if a < 0 or b < 0 or b - a < 3:
            continue
        ring = geo.transform(points[a:b], t)
        ring = ring[np.isfinite(ring).all(axis=1)]
        ring = clip_ring(ring, -margin, -margin, width + margin, height + margin)
        if len(ring) >= 3:
            starts.append(total)
            pieces.append(ring)
            total += len(ring)
    if not pieces:
        return np.zeros((0, 2)), np.zeros(0, np.int64)
    return np.concatenate(pieces), np.array(starts + [total], np.int64)


def _draw_points(ctx: Context, data: Data, selected: np.ndarray, t: GeoTransform, st: Style,
                 width: int, height: int, reach: float) -> None:
    shapes = [k for k in np.flatnonzero(selected) if len(data.shape_offsets[k]) >= 2]
    idx = [np.arange(int(data.shape_offsets[k][0]), int(data.shape_offsets[k][-1]))
           for k in shapes]
    if not idx:
        return
    xy = geo.transform(data.points[np.concatenate(idx)], t)
    keep = ((xy[:, 0] >= -reach) & (xy[:, 0] <= width + reach)
            & (xy[:, 1] >= -reach) & (xy[:, 1] <= height + reach))
    # Each marker's fill: its shape's class colour with --color-by.
    if data.classes is None:
        fills = [st.fill] * int(keep.sum())
    else:
        table = np.array(list(data.palette) + [st.fill], np.int64)
        cls = np.repeat(data.classes[shapes], [len(i) for i in idx])[keep]
        fills = table[cls].tolist()  # class -1 picks the last entry, the style's fill
    for (x, y), fill in zip(xy[keep].tolist(), fills):
        if fill >> 24:
            ctx.fill_circle(x, y, st.marker_radius, fill)
    if st.stroke >> 24 and st.stroke_width > 0:
        ring = Path()
        n = 24
        a = np.linspace(0, 2 * np.pi, n, endpoint=False)
        for x, y in xy[keep].tolist():
            ring.polyline(np.column_stack([x + st.marker_radius * np.cos(a),
                                           y + st.marker_radius * np.sin(a)]), closed=True)
        ctx.stroke_path(ring, st.stroke, width=st.stroke_width)


def _metatile_views(job: Job, bounds: grid.Bounds, z: int, mx: int,
                    my: int) -> Iterator[Tuple[Tuple[int, int, int], np.ndarray]]:
    """Draws metatile (mx, my) of zoom z and yields each of its tiles inside
    bounds as a view of the image's premultiplied 0xAARRGGBB pixels, valid
    until the next tile is asked for: the image is freed at the end."""
    t = job.tile_size
    m = grid.metatile_size(job.metatile, z)
    b = job.buffer if (1 << z) > m else 0  # one metatile holds the whole world
    image = render_region(job, z, mx * m * t - b, my * m * t - b, m * t + 2 * b, m * t + 2 * b)
    try:
        pixels = image._view().view(np.uint32)
        for _, x, y in grid.metatile_tiles(bounds, z, mx, my, job.metatile):
            px, py = b + (x - mx * m) * t, b + (y - my * m) * t
            yield (z, x, y), pixels[py:py + t, px:px + t]
        del pixels
    finally:
        image.close()


def metatile_pixels(job: Job, bounds: grid.Bounds, z: int, mx: int,
                    my: int) -> Dict[Tuple[int, int, int], np.ndarray]:
    """Draws metatile (mx, my) of zoom z and returns the premultiplied
    0xAARRGGBB pixels of each of its tiles inside bounds."""
    return {key: np.array(view, copy=True, order="C")
            for key, view in _metatile_views(job, bounds, z, mx, my)}


def render_metatile(job: Job, bounds: grid.Bounds, z: int, mx: int,
                    my: int) -> List[TileResult]:
    """The tiles of metatile (mx, my) of zoom z inside bounds as (z, x, y,
    png), png None for a tile without a drawn pixel."""
    out: List[TileResult] = []
    # Each tile goes from the metatile's pixels straight into the image it
    # is encoded from: one copy, and one tile image held at a time.
    for (z_, x, y), tile in _metatile_views(job, bounds, z, mx, my):
        if not tile.any():
            out.append((z_, x, y, None))
            continue
        img = Image.from_array(tile, premultiply=False)
        out.append((z_, x, y, img.encode_png()))
        img.close()
    return out
