"""ctypes bindings for libordane, libvelket and libtorvik.

Standard library only. Every export is declared with its exact C argument and
result types, and the records that cross the boundary are mirrored as
ctypes Structures whose sizes are checked against the C layout, so that a
mismatch fails loudly instead of corrupting memory.

Find the libraries with load(): it takes the three paths, or a folder that
holds them, or reads QUILLON_ORDANE_LIB / QUILLON_VELKET_LIB /
QUILLON_TORVIK_LIB, or QUILLON_LIB_DIR, and falls back to the system's
library search.
"""

import array
import ctypes
import ctypes.util
import os
from ctypes import (POINTER, Structure, c_char_p, c_double, c_int32, c_int64,
                    c_uint8, c_uint32, c_uint64, c_void_p)

__all__ = [
    "GeoTransform", "ShpHeader", "ShpData", "PerspectiveCamera", "Quillon",
    "QuillonError", "load", "DOWNLOAD_ERRORS", "SHP_HEADER_ERRORS",
]

# ---------------------------------------------------------------------------
# Records. Field order, types and sizes are part of the C ABI.
# ---------------------------------------------------------------------------


class GeoTransform(Structure):
    _fields_ = [
        ("min_x", c_double), ("min_y", c_double),
        ("max_x", c_double), ("max_y", c_double),
        ("width", c_double), ("height", c_double),
        ("offset_x", c_double), ("offset_y", c_double),
        ("scale", c_double),
        ("flip_y", c_int32),
    ]


class ShpHeader(Structure):
    _fields_ = [
        ("file_code", c_int32), ("file_length", c_int32),
        ("version", c_int32), ("shape_type", c_int32),
        ("min_x", c_double), ("min_y", c_double),
        ("max_x", c_double), ("max_y", c_double),
        ("min_z", c_double), ("max_z", c_double),
        ("min_m", c_double), ("max_m", c_double),
        ("record_count", c_int32),
    ]


class ShpData(Structure):
    _fields_ = [
        ("shape_type", c_int32),
        ("num_shapes", c_int32),
        ("num_parts", c_uint64),
        ("num_points", c_uint64),
        ("points", POINTER(c_double)),
        ("parts", POINTER(c_int32)),
        ("shape_part_offsets", POINTER(c_int32)),
        ("shape_point_offsets", POINTER(c_uint64)),
        ("bboxes", POINTER(c_double)),
    ]


class PerspectiveCamera(Structure):
    _fields_ = [
        ("viewport_width", c_double), ("viewport_height", c_double),
        ("fov", c_double), ("pitch", c_double), ("bearing", c_double),
        ("roll", c_double), ("distance", c_double),
        ("center_x", c_double), ("center_y", c_double),
        ("near_plane", c_double),
    ]


assert ctypes.sizeof(GeoTransform) == 80
assert GeoTransform.scale.offset == 64 and GeoTransform.flip_y.offset == 72
assert ctypes.sizeof(ShpHeader) == 88
assert ShpHeader.min_x.offset == 16 and ShpHeader.record_count.offset == 80
assert ctypes.sizeof(PerspectiveCamera) == 80
assert PerspectiveCamera.distance.offset == 48
assert PerspectiveCamera.near_plane.offset == 72
if ctypes.sizeof(c_void_p) == 8:
    assert ctypes.sizeof(ShpData) == 64
    assert ShpData.points.offset == 24 and ShpData.bboxes.offset == 56

# Blend2D objects (BLPathCore*, BLContextCore*) and the particle system
# handle are opaque pointers on this side.
_path = c_void_p
_ctx = c_void_p
_ps = c_void_p
_dbl = POINTER(c_double)

# ---------------------------------------------------------------------------
# Declarations: (library, name, result, argument types), in header order.
# ---------------------------------------------------------------------------

_EXPORTS = [
    ("ordane", "ordane_proj_3857_forward", c_int32, [_dbl, _dbl, c_int64]),
    ("ordane", "ordane_proj_3857_inverse", c_int32, [_dbl, _dbl, c_int64]),
    ("ordane", "ordane_proj_lcc_forward", c_int32,
     [c_double] * 6 + [_dbl, _dbl, c_int64]),
    ("ordane", "ordane_proj_albers_forward", c_int32,
     [c_double] * 6 + [_dbl, _dbl, c_int64]),
    ("ordane", "ordane_init_transform", None,
     [POINTER(GeoTransform)] + [c_double] * 7 + [c_int32, c_int32]),
    ("ordane", "ordane_transform_coords", c_int32,
     [_dbl, _dbl, c_int64, POINTER(GeoTransform)]),
    ("ordane", "ordane_build_polygon", c_int32,
     [_path, _dbl, POINTER(c_int64), c_int64, POINTER(GeoTransform)]),
    ("ordane", "ordane_build_linestring", c_int32,
     [_path, _dbl, c_int64, POINTER(GeoTransform)]),
    ("ordane", "ordane_build_multilinestring", c_int32,
     [_path, _dbl, POINTER(c_int64), c_int64, POINTER(GeoTransform)]),
    ("ordane", "ordane_read_shp_header", c_int32, [c_char_p, POINTER(ShpHeader)]),
    ("ordane", "ordane_parse_shp", POINTER(ShpData), [c_char_p]),
    ("ordane", "ordane_free_shp_data", None, [POINTER(ShpData)]),
    ("ordane", "ordane_http_download_file", c_int32, [c_char_p, c_char_p]),

    ("velket", "velket_cubic_bezier_evaluate", c_double, [c_double] * 5),
    ("velket", "velket_spring_evaluate", c_double, [c_double] * 5),
    ("velket", "velket_ps_create", _ps, [c_uint64]),
    ("velket", "velket_ps_destroy", None, [_ps]),
    ("velket", "velket_ps_clear", None, [_ps]),
    ("velket", "velket_ps_add_gravity", None, [_ps, c_double, c_double]),
    ("velket", "velket_ps_add_drag", None, [_ps, c_double]),
    ("velket", "velket_ps_add_attractor", None, [_ps, c_double, c_double, c_double]),
    ("velket", "velket_ps_emit", None,
     [_ps, c_uint64] + [c_double] * 10 + [c_uint32, c_uint32]),
    ("velket", "velket_ps_update", None, [_ps, c_double]),
    ("velket", "velket_ps_get_count", c_uint64, [_ps]),
    ("velket", "velket_ps_render", None, [_ps, _ctx]),
    ("velket", "velket_trim_path", c_int32,
     [_path, _path, c_double, c_double, c_double]),

    ("torvik", "torvik_project_point", c_int32,
     [c_double, c_double, POINTER(PerspectiveCamera), _dbl, _dbl, _dbl]),
    ("torvik", "torvik_transform_points", c_int64,
     [_dbl, _dbl, _dbl, POINTER(c_uint8), c_uint64, POINTER(PerspectiveCamera)]),
    ("torvik", "torvik_transform_lines", c_int64,
     [_dbl, _dbl, _dbl, POINTER(c_uint8), c_uint64, POINTER(PerspectiveCamera)]),
    ("torvik", "torvik_transform_path", c_int32,
     [_path, _path, _dbl, POINTER(PerspectiveCamera)]),
    ("torvik", "torvik_render_globe", c_int32,
     [POINTER(c_uint32), c_int32, c_int32, c_int32, POINTER(c_uint32),
      c_int32, c_int32, c_int32, c_double, c_double, c_double, c_double,
      c_double, c_uint32]),
]

EXPORT_NAMES = [name for _, name, _, _ in _EXPORTS]

SHP_HEADER_ERRORS = {
    -1: "null argument",
    -2: "the file cannot be opened",
    -3: "the file is shorter than the 100-byte header",
    -4: "the file does not start with the file code 9994",
}

DOWNLOAD_ERRORS = {
    -1: "no URL or no destination",
    -2: "the URL is not valid UTF-8",
    -3: "not an http or https URL with a host",
    -4: "the HTTP client session cannot be set up",
    -5: "the connection cannot be set up",
    -6: "the request cannot be set up",
    -7: "sending the request or receiving the response headers failed",
    -8: "the destination cannot be opened for writing",
    -9: "the body broke off or could not be written",
}


class QuillonError(RuntimeError):
    """A result code other than success, with its meaning."""

    def __init__(self, function, code, meaning):
        super().__init__("%s failed with %d: %s" % (function, code, meaning))
        self.function = function
        self.code = code


# ---------------------------------------------------------------------------
# Buffers: Python-owned arrays handed to C without copying.
# ---------------------------------------------------------------------------


def doubles(values_or_count):
    """An array('d') of the given values, or of that many zeros."""
    if isinstance(values_or_count, int):
        return array.array("d", bytes(8 * values_or_count))
    return array.array("d", values_or_count)


def _ptr(buf, ctype):
    """A pointer to the first element of a writable buffer (array, bytearray)."""
    count = len(memoryview(buf).cast("B")) // ctypes.sizeof(ctype)
    return ctypes.cast((ctype * count).from_buffer(buf), POINTER(ctype))


def _pairs(buf):
    if len(buf) % 2:
        raise ValueError("a point array holds (x, y) pairs: its length must be even")
    return len(buf) // 2


class Quillon:
    """The three libraries, loaded and declared."""

    def __init__(self, ordane, velket, torvik):
        self.libs = {
            "ordane": ctypes.CDLL(ordane),
            "velket": ctypes.CDLL(velket),
            "torvik": ctypes.CDLL(torvik),
        }
        for lib, name, restype, argtypes in _EXPORTS:
            fn = getattr(self.libs[lib], name)
            fn.restype = restype
            fn.argtypes = argtypes
            setattr(self, name, fn)

    # --- libordane ---------------------------------------------------------

    def project(self, lonlat, projection="mercator", conic=None):
        """Projects an array('d') of (lon, lat) pairs; returns a new array.

        projection: "mercator", "lcc" or "albers"; conic is the tuple
        (lat1, lat2, lat0, lon0[, false_easting, false_northing]).
        """
        n = _pairs(lonlat)
        out = doubles(len(lonlat))
        if projection == "mercator":
            rc = self.ordane_proj_3857_forward(_ptr(lonlat, c_double), _ptr(out, c_double), n)
        elif projection in ("lcc", "albers"):
            params = tuple(conic) + (0.0, 0.0)[: 6 - len(conic)]
            fn = self.ordane_proj_lcc_forward if projection == "lcc" else self.ordane_proj_albers_forward
            rc = fn(*params, _ptr(lonlat, c_double), _ptr(out, c_double), n)
        else:
            raise ValueError("unknown projection %r" % projection)
        if rc != 0:
            raise QuillonError("projection", rc, "null array or count <= 0")
        return out

    def fit(self, box, width, height, margin=0.05, fit_both_axes=True, flip_y=True):
        """A GeoTransform fitting box (min_x, min_y, max_x, max_y) into a viewport."""
        t = GeoTransform()
        self.ordane_init_transform(ctypes.byref(t), *box, width, height, margin,
                                   1 if fit_both_axes else 0, 1 if flip_y else 0)
        return t

    def transform(self, xy, transform):
        out = doubles(len(xy))
        rc = self.ordane_transform_coords(_ptr(xy, c_double), _ptr(out, c_double), _pairs(xy),
                                          ctypes.byref(transform))
        if rc != 0:
            raise QuillonError("ordane_transform_coords", rc, "null array or count <= 0")
        return out

    def read_shp_header(self, path):
        header = ShpHeader()
        rc = self.ordane_read_shp_header(os.fsencode(path), ctypes.byref(header))
        if rc != 0:
            raise QuillonError("ordane_read_shp_header", rc, SHP_HEADER_ERRORS.get(rc, "unknown"))
        return header

    def parse_shp(self, path):
        """The whole file as a Shapefile (copied out; the ShpData is released)."""
        data = self.ordane_parse_shp(os.fsencode(path))
        if not data:
            raise QuillonError("ordane_parse_shp", 0, "cannot open or read %s" % path)
        try:
            return Shapefile(data.contents)
        finally:
            self.ordane_free_shp_data(data)

    def download(self, url, dest):
        rc = self.ordane_http_download_file(url.encode("utf-8"), os.fsencode(dest))
        if rc != 0:
            raise QuillonError("ordane_http_download_file", rc, DOWNLOAD_ERRORS.get(rc, "unknown"))

    # --- libtorvik ---------------------------------------------------------

    def camera_points(self, xy, camera):
        """Projects plane points; returns (screen pairs, scales, visible flags, visible count)."""
        n = _pairs(xy)
        out = doubles(len(xy))
        scales = doubles(n)
        visible = bytearray(n)
        count = self.torvik_transform_points(_ptr(xy, c_double), _ptr(out, c_double),
                                             _ptr(scales, c_double), _ptr(visible, c_uint8),
                                             n, ctypes.byref(camera))
        return out, scales, visible, count

    def render_globe(self, pixels, width, height, texture, texture_width, texture_height,
                     center_x, center_y, radius, rotation=0.0, tilt=0.0, atmosphere=0):
        """Paints into "pixels", a Python-owned array('I') or bytearray of 0xAARRGGBB words."""
        rc = self.torvik_render_globe(_ptr(pixels, c_uint32), width, height, width * 4,
                                      _ptr(texture, c_uint32), texture_width, texture_height,
                                      texture_width * 4, center_x, center_y, radius,
                                      rotation, tilt, atmosphere)
        if rc != 0:
            raise QuillonError("torvik_render_globe", rc, "bad buffer, size or radius")


class Shapefile:
    """A copy of a ShpData: shape_type, points (array('d')), parts and offsets (lists)."""

    def __init__(self, data):
        self.shape_type = data.shape_type
        self.num_shapes = data.num_shapes
        n_points, n_parts, n_shapes = data.num_points, data.num_parts, data.num_shapes

        def copy(ptr, count, code):
            if count == 0 or not ptr:
                return array.array(code)
            return array.array(code, ptr[:count])

        self.points = copy(data.points, 2 * n_points, "d")
        self.parts = list(copy(data.parts, n_parts, "i"))
        self.shape_part_offsets = list(copy(data.shape_part_offsets, n_shapes + 1, "i"))
        self.shape_point_offsets = list(copy(data.shape_point_offsets, n_shapes + 1, "Q"))

    def rings(self):
        """(shape index, first pair, end pair) of every part, in file order."""
        for k in range(self.num_shapes):
            first, last = self.shape_part_offsets[k], self.shape_part_offsets[k + 1]
            for j in range(first, last):
                start = self.parts[j]
                end = self.parts[j + 1] if j + 1 < last else self.shape_point_offsets[k + 1]
                if end > start:
                    yield k, start, end


def _library_path(env_var, lib_dir, stem):
    if os.environ.get(env_var):
        return os.environ[env_var]
    if lib_dir:
        return os.path.join(lib_dir, "lib%s.so" % stem)
    found = ctypes.util.find_library(stem)
    if not found:
        raise OSError("lib%s not found: set %s or QUILLON_LIB_DIR" % (stem, env_var))
    return found


def load(ordane=None, velket=None, torvik=None, lib_dir=None):
    """Loads the three libraries and declares every export."""
    lib_dir = lib_dir or os.environ.get("QUILLON_LIB_DIR")
    return Quillon(
        ordane or _library_path("QUILLON_ORDANE_LIB", lib_dir, "ordane"),
        velket or _library_path("QUILLON_VELKET_LIB", lib_dir, "velket"),
        torvik or _library_path("QUILLON_TORVIK_LIB", lib_dir, "torvik"),
    )
