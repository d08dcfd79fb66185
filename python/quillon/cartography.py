"""libordane's cartography: inverse conics, orthographic and Equal Earth
projections, cutting at the antimeridian or the globe's horizon, and adaptive
densification.

Point arrays are float64 numpy arrays of shape (N, 2) or flat with an even
length; results come back as new arrays of the same shape, or in "out="
(which may be the input). Parts are given as a Point array with part offsets
(N + 1 int64 entries, as ShpData's and the path builders'); cut() and
densify() return a Parts whose "points" and "part_offsets" go straight to
build_polygon() / build_multilinestring().

    shp = q.parse_shp("data/countries_110m.shp")
    pieces = q.cut(shp.points, shp.ring_offsets, lon0=150, pole_lat=85.0511287798)
    xy = q.project(pieces.points, "mercator")

Every argument is checked here before the C call, so no call reads or writes
outside a buffer.
"""

from __future__ import annotations

import ctypes
import weakref
from ctypes import POINTER, Structure, c_double, c_int32, c_int64, c_void_p
from typing import Any, Dict, Optional, Sequence, Tuple, Union

import numpy as np

from . import _native
from .errors import QuillonError

# ---------------------------------------------------------------------------
# Records and constants of include/ordane.h
# ---------------------------------------------------------------------------

PROJECTION_KINDS = {"mercator": 1, "lcc": 2, "albers": 3, "orthographic": 4,
                    "equal_earth": 5, "lonlat": 6}
PART_RING, PART_HOLE, PART_POLAR, PART_SPLIT = 1, 2, 4, 8
CUT_ANTIMERIDIAN, CUT_HORIZON = 0, 1

CARTO_ERRORS = {
    -1: "null argument or no part",
    -10: "out of memory",
    -20: "unknown projection",
    -21: "an option is out of its range",
    -22: "the result would be too large, or an offset is out of range",
}


class GeoProjection(Structure):
    _fields_ = [("kind", c_int32), ("reserved", c_int32), ("lat1", c_double),
                ("lat2", c_double), ("lat0", c_double), ("lon0", c_double),
                ("false_easting", c_double), ("false_northing", c_double)]


class GeoCutOptions(Structure):
    _fields_ = [("mode", c_int32), ("reserved", c_int32), ("lon0", c_double),
                ("lat0", c_double), ("pole_lat", c_double), ("max_step", c_double)]


class _GeoParts(Structure):
    _fields_ = [("num_points", c_int64), ("num_parts", c_int64),
                ("points", POINTER(c_double)), ("part_offsets", POINTER(c_int64)),
                ("source_parts", POINTER(c_int64)), ("part_flags", POINTER(c_int32))]


assert ctypes.sizeof(GeoProjection) == 56 and ctypes.sizeof(GeoCutOptions) == 40
assert ctypes.sizeof(_GeoParts) == 48

_p = c_void_p
_CONIC = [c_double] * 6 + [_p, _p, c_int64]
_PROTOTYPES = {
    "ordane_proj_lcc_inverse": (c_int32, _CONIC),
    "ordane_proj_albers_inverse": (c_int32, _CONIC),
    "ordane_proj_ortho_forward": (c_int32, [c_double, c_double, _p, _p, c_int64, _p]),
    "ordane_proj_ortho_inverse": (c_int32, [c_double, c_double, _p, _p, c_int64]),
    "ordane_proj_eqearth_forward": (c_int32, [c_double, _p, _p, c_int64]),
    "ordane_proj_eqearth_inverse": (c_int32, [c_double, _p, _p, c_int64]),
    "ordane_cut_parts": (c_int32, [_p, _p, c_int64, c_int32, POINTER(GeoCutOptions),
                                   POINTER(POINTER(_GeoParts))]),
    "ordane_densify_parts": (c_int32, [_p, _p, c_int64, c_int32, POINTER(GeoProjection),
                                       _p, c_double, c_int32, POINTER(POINTER(_GeoParts))]),
    "ordane_free_parts": (None, [POINTER(_GeoParts)]),
}

_calls: Dict[str, Any] = {}


def _c(name: str) -> Any:
    """The declared C function "name" of the loaded libordane."""
    if not _calls:
        libs = _native.lib()
        handle = getattr(libs, "handles", {}).get("ordane") if hasattr(libs, "handles") else None
        if handle is None:
            handle = ctypes.CDLL(_native.find_libraries()["ordane"])
        for fname, (restype, argtypes) in _PROTOTYPES.items():
            fn = getattr(handle, fname)
            fn.restype = restype
            fn.argtypes = argtypes
            _calls[fname] = fn
    return _calls[name]


# ---------------------------------------------------------------------------
# Array checks
# ---------------------------------------------------------------------------


def _points(value: Any, name: str) -> Tuple[np.ndarray, int]:
    if isinstance(value, np.ndarray):
        if value.dtype != np.float64:
            raise TypeError("%s must be a float64 array, not %s" % (name, value.dtype))
        arr = value
    else:
        try:
            arr = np.asarray(value, dtype=np.float64)
        except (TypeError, ValueError) as exc:
            raise TypeError("%s must be an array of float64: %s" % (name, exc)) from None
    if arr.ndim == 2 and arr.shape[1] == 2:
        pass
    elif arr.ndim == 1 and arr.shape[0] % 2 == 0:
        pass
    else:
        raise ValueError("%s must have shape (N, 2) or be flat with an even length, not %s"
                         % (name, arr.shape))
    if not arr.flags.c_contiguous:
        raise ValueError("%s must be C-contiguous (use np.ascontiguousarray)" % name)
    return arr, arr.size // 2


def _out(out: Optional[np.ndarray], like: np.ndarray) -> np.ndarray:
    if out is None:
        return np.empty_like(like)
    if not isinstance(out, np.ndarray) or out.dtype != np.float64:
        raise TypeError("out must be a float64 numpy array")
    if out.size != like.size or not out.flags.c_contiguous or not out.flags.writeable:
        raise ValueError("out must be writable, C-contiguous and hold %d numbers" % like.size)
    if out is not like and np.shares_memory(out, like):
        raise ValueError("out may be the input itself but must not overlap it otherwise")
    return out


def _offsets(value: Any, point_count: int) -> Tuple[np.ndarray, int]:
    arr = np.ascontiguousarray(value, dtype=np.int64)
    if arr.ndim != 1 or arr.shape[0] < 2:
        raise ValueError("part_offsets must be one-dimensional with at least two entries")
    if int(arr.max()) > point_count:
        raise ValueError("part_offsets reaches index %d past the %d points"
                         % (int(arr.max()), point_count))
    return arr, arr.shape[0] - 1


def _check(name: str, rc: int) -> None:
    if rc != 0:
        raise QuillonError(name, rc, CARTO_ERRORS.get(rc, "unknown result"))


def _run(name: str, args: Tuple[Any, ...], src: Any, out: Optional[np.ndarray],
         what: str) -> np.ndarray:
    arr, n = _points(src, what)
    dst = _out(out, arr)
    if n:
        _check(name, _c(name)(*args, arr.ctypes.data, dst.ctypes.data, n))
    return dst


# ---------------------------------------------------------------------------
# Projections
# ---------------------------------------------------------------------------


def lcc_inverse(xy: Any, lat1: float, lat2: float, lat0: float, lon0: float,
                false_easting: float = 0.0, false_northing: float = 0.0,
                out: Optional[np.ndarray] = None) -> np.ndarray:
    """Lambert conformal conic (WGS 84) metres back to (lon, lat) degrees."""
    args = tuple(float(v) for v in (lat1, lat2, lat0, lon0, false_easting, false_northing))
    return _run("ordane_proj_lcc_inverse", args, xy, out, "xy")


def albers_inverse(xy: Any, lat1: float, lat2: float, lat0: float, lon0: float,
                   false_easting: float = 0.0, false_northing: float = 0.0,
                   out: Optional[np.ndarray] = None) -> np.ndarray:
    """Albers equal-area conic (sphere) metres back to (lon, lat) degrees."""
    args = tuple(float(v) for v in (lat1, lat2, lat0, lon0, false_easting, false_northing))
    return _run("ordane_proj_albers_inverse", args, xy, out, "xy")


def ortho_forward(lonlat: Any, lon0: float, lat0: float, out: Optional[np.ndarray] = None,
                  visible: bool = False) -> Union[np.ndarray, Tuple[np.ndarray, np.ndarray]]:
    """Orthographic view centred on (lon0, lat0): (lon, lat) to metres.
    With visible=True returns (xy, flags), flags a bool array, True on the
    near hemisphere."""
    arr, n = _points(lonlat, "lonlat")
    dst = _out(out, arr)
    flags = np.zeros(n, dtype=np.uint8)
    if n:
        _check("ordane_proj_ortho_forward",
               _c("ordane_proj_ortho_forward")(float(lon0), float(lat0), arr.ctypes.data,
                                               dst.ctypes.data, n,
                                               flags.ctypes.data if visible else None))
    return (dst, flags.astype(bool)) if visible else dst


def ortho_inverse(xy: Any, lon0: float, lat0: float,
                  out: Optional[np.ndarray] = None) -> np.ndarray:
    """Orthographic metres back to (lon, lat); beyond the disc gives NaN."""
    return _run("ordane_proj_ortho_inverse", (float(lon0), float(lat0)), xy, out, "xy")


def eqearth_forward(lonlat: Any, lon0: float = 0.0,
                    out: Optional[np.ndarray] = None) -> np.ndarray:
    """Equal Earth on the sphere of radius 6378137: (lon, lat) to metres."""
    return _run("ordane_proj_eqearth_forward", (float(lon0),), lonlat, out, "lonlat")


def eqearth_inverse(xy: Any, lon0: float = 0.0, out: Optional[np.ndarray] = None) -> np.ndarray:
    """Equal Earth metres back to (lon, lat); beyond the poles gives NaN."""
    return _run("ordane_proj_eqearth_inverse", (float(lon0),), xy, out, "xy")


# ---------------------------------------------------------------------------
# Parts: cutting and densifying
# ---------------------------------------------------------------------------


class Parts:
    """Pieces made by cut() or densify(): "points" (N, 2) float64,
    "part_offsets" (parts + 1) int64, "source_parts" (the input part each
    piece came from) and "flags" (PART_* bits) per piece. The arrays are
    writable views of the library's result, which is released when the
    last of them (or of views of them) is gone."""

    def __init__(self, points: np.ndarray, part_offsets: np.ndarray,
                 source_parts: np.ndarray, flags: np.ndarray) -> None:
        self.points = points
        self.part_offsets = part_offsets
        self.source_parts = source_parts
        self.flags = flags

    def __len__(self) -> int:
        return len(self.source_parts)

    @property
    def is_hole(self) -> np.ndarray:
        """Per piece: winds counter-clockwise (a hole in the shapefile convention)."""
        return (self.flags & PART_HOLE) != 0

    def part(self, i: int) -> np.ndarray:
        """The points of piece i, (n, 2)."""
        return self.points[self.part_offsets[i]:self.part_offsets[i + 1]]

    def __repr__(self) -> str:
        return "Parts(%d pieces, %d points)" % (len(self), len(self.points))


def _free_parts(free: Any, ptr: Any) -> None:
    free(ptr)


def _take(ptr: Any) -> Parts:
    """Wraps a library-owned GeoParts in numpy arrays over its own memory,
    without copying it: each array holds a keeper of the record, which
    ordane_free_parts() releases once the last array (or view of one) that
    reaches it is gone. Empty arrays are numpy's own."""
    keeper = _PartsKeeper()
    # From here on the record is released whatever happens: with the keeper
    # when nothing below holds it any more (at once on an error).
    weakref.finalize(keeper, _free_parts, _c("ordane_free_parts"), ptr).atexit = False
    g = ptr.contents
    n, m = int(g.num_points), int(g.num_parts)

    def arr(p: Any, count: int, ctype: Any, dtype: Any) -> np.ndarray:
        if count == 0 or not p:
            return np.zeros(count, dtype=dtype)
        buf = (ctype * count).from_address(ctypes.addressof(p.contents))
        buf._keeper = keeper  # the memory lives as long as this buffer
        return np.frombuffer(buf, dtype=dtype)

    points = arr(g.points, 2 * n, c_double, np.float64).reshape(n, 2)
    offsets = arr(g.part_offsets, m + 1, c_int64, np.int64) if m else np.zeros(1, dtype=np.int64)
    return Parts(points, offsets, arr(g.source_parts, m, c_int64, np.int64),
                 arr(g.part_flags, m, c_int32, np.int32))


class _PartsKeeper:
    """Stands for one library-owned GeoParts; a weakref.finalize tied to it
    frees the record. At exit the record is left to the process's end,
    since arrays over it may still be read then."""

    __slots__ = ("__weakref__",)


def _parts_call(points: Any, part_offsets: Any) -> Tuple[np.ndarray, np.ndarray, int]:
    arr, n = _points(points, "points")
    offs, count = _offsets(part_offsets, n)
    return arr, offs, count


def cut(points: Any, part_offsets: Any, lon0: float = 0.0, rings: bool = True,
        pole_lat: float = 90.0, max_step: float = 1.0) -> Parts:
    """Cuts rings (or lines, rings=False) of (lon, lat) degrees along the
    antimeridian lon0 + 180: every piece comes out within lon0 +- 180, rings
    closed along the cut, rings around a pole closed along +-pole_lat (e.g.
    85.0511287798 for Web Mercator), with points every max_step degrees on
    those edges. NaN points are dropped."""
    return _cut(points, part_offsets, CUT_ANTIMERIDIAN, lon0, 0.0, rings, pole_lat, max_step)


def clip_horizon(points: Any, part_offsets: Any, lon0: float, lat0: float,
                 rings: bool = True, max_step: float = 1.0) -> Parts:
    """Keeps what lies on the hemisphere centred on (lon0, lat0), the side an
    orthographic view of that centre shows; rings are closed along the
    horizon."""
    return _cut(points, part_offsets, CUT_HORIZON, lon0, lat0, rings, 90.0, max_step)


def _cut(points: Any, part_offsets: Any, mode: int, lon0: float, lat0: float, rings: bool,
         pole_lat: float, max_step: float) -> Parts:
    arr, offs, count = _parts_call(points, part_offsets)
    opts = GeoCutOptions(mode, 0, float(lon0), float(lat0), float(pole_lat), float(max_step))
    out = POINTER(_GeoParts)()
    _check("ordane_cut_parts", _c("ordane_cut_parts")(arr.ctypes.data, offs.ctypes.data, count,
                                                       1 if rings else 0, ctypes.byref(opts),
                                                       ctypes.byref(out)))
    return _take(out)


_PARAM_NAMES = ("lat1", "lat2", "lat0", "lon0", "false_easting", "false_northing")


def projection(kind: str, **params: float) -> GeoProjection:
    """A GeoProjection record: kind one of PROJECTION_KINDS, parameters by
    name (lat1, lat2, lat0, lon0, false_easting, false_northing)."""
    if kind not in PROJECTION_KINDS:
        raise ValueError("unknown projection %r: use one of %s"
                         % (kind, ", ".join(PROJECTION_KINDS)))
    unknown = set(params) - set(_PARAM_NAMES)
    if unknown:
        raise TypeError("unknown projection parameter(s): %s" % ", ".join(sorted(unknown)))
    rec = GeoProjection()
    rec.kind = PROJECTION_KINDS[kind]
    for name, value in params.items():
        setattr(rec, name, float(value))
    return rec


def densify(points: Any, part_offsets: Any, proj: Union[str, GeoProjection],
            transform: Any = None, tolerance: float = 0.25, max_depth: int = 16,
            rings: bool = True, **params: float) -> Parts:
    """Projects (lon, lat) parts through "proj" (a kind name with its
    parameters as keywords, or a GeoProjection) and "transform" (a
    GeoTransform, or None for metres) and adds points so that every drawn
    chord stays within "tolerance" pixels of the true projected curve."""
    rec = proj if isinstance(proj, GeoProjection) else projection(proj, **params)
    if isinstance(proj, GeoProjection) and params:
        raise TypeError("give the parameters in the GeoProjection record")
    if transform is not None and not isinstance(transform, _native.GeoTransform):
        raise TypeError("transform must be a GeoTransform (see fit()) or None")
    depth = int(max_depth)
    if not -2**31 <= depth < 2**31:
        raise ValueError("max_depth must be a 32-bit integer (0 to 30 are accepted)")
    arr, offs, count = _parts_call(points, part_offsets)
    out = POINTER(_GeoParts)()
    rc = _c("ordane_densify_parts")(arr.ctypes.data, offs.ctypes.data, count,
                                    1 if rings else 0, ctypes.byref(rec),
                                    ctypes.addressof(transform) if transform is not None
                                    else None, float(tolerance), depth,
                                    ctypes.byref(out))
    _check("ordane_densify_parts", rc)
    return _take(out)


__all__ = ["lcc_inverse", "albers_inverse", "ortho_forward", "ortho_inverse",
           "eqearth_forward", "eqearth_inverse", "cut", "clip_horizon", "densify",
           "projection", "Parts", "GeoProjection", "GeoCutOptions", "PROJECTION_KINDS",
           "PART_RING", "PART_HOLE", "PART_POLAR", "PART_SPLIT", "CARTO_ERRORS"]
