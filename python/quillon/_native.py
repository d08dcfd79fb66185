"""Finding, loading and declaring the three libraries and their Blend2D.

Every export is declared with its exact C argument and result types, and the
records that cross the boundary are mirrored as ctypes Structures whose sizes
and key offsets are checked against the C layout when the module is imported.

The libraries are looked up, in this order:
  1. QUILLON_ORDANE_LIB / QUILLON_VELKET_LIB / QUILLON_TORVIK_LIB (one file each);
  2. QUILLON_LIB_DIR, a folder holding all three (a build tree or a prefix's lib/);
  3. the folder recorded when the package was installed with "cmake --install";
  4. the build folder of the source checkout the package sits in (<root>/build);
  5. the system's library search (ldconfig, LD_LIBRARY_PATH).
Blend2D is then the very library libordane was linked against, reached
through libordane's own symbol lookup, so paths and contexts made here are the
ones the three libraries expect.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import re
import threading
from ctypes import (POINTER, Structure, c_char_p, c_double, c_int, c_int32, c_int64,
                    c_size_t, c_uint8, c_uint32, c_uint64, c_void_p)
from typing import Any, Dict, List, Optional, Tuple

# ---------------------------------------------------------------------------
# Records. Field order, types and sizes are part of the C ABI.
# ---------------------------------------------------------------------------


class GeoTransform(Structure):
    """The fit of a source box into a pixel viewport (see fit())."""

    _fields_ = [
        ("min_x", c_double), ("min_y", c_double),
        ("max_x", c_double), ("max_y", c_double),
        ("width", c_double), ("height", c_double),
        ("offset_x", c_double), ("offset_y", c_double),
        ("scale", c_double),
        ("flip_y", c_int32),
    ]

    def __repr__(self) -> str:
        return "GeoTransform(%s)" % ", ".join(
            "%s=%r" % (name, getattr(self, name)) for name, _ in self._fields_)


class ShpHeader(Structure):
    """A shapefile's 100-byte header plus its record count."""

    _fields_ = [
        ("file_code", c_int32), ("file_length", c_int32),
        ("version", c_int32), ("shape_type", c_int32),
        ("min_x", c_double), ("min_y", c_double),
        ("max_x", c_double), ("max_y", c_double),
        ("min_z", c_double), ("max_z", c_double),
        ("min_m", c_double), ("max_m", c_double),
        ("record_count", c_int32),
    ]

    @property
    def bbox(self) -> Tuple[float, float, float, float]:
        """(min_x, min_y, max_x, max_y)."""
        return (self.min_x, self.min_y, self.max_x, self.max_y)

    def __repr__(self) -> str:
        return "ShpHeader(%s)" % ", ".join(
            "%s=%r" % (name, getattr(self, name)) for name, _ in self._fields_)


class ShpDataRecord(Structure):
    _fields_ = [
        ("shape_type", c_int32),
        ("num_shapes", c_int32),
        ("num_parts", c_uint64),
        ("num_points", c_uint64),
        ("points", c_void_p),
        ("parts", c_void_p),
        ("shape_part_offsets", c_void_p),
        ("shape_point_offsets", c_void_p),
        ("bboxes", c_void_p),
    ]


class PerspectiveCamera(Structure):
    """A pinhole camera over the plane; angles in degrees.

    Keyword construction fills unnamed fields with usable defaults: a 90
    degree field of view looking straight down from distance 1000 at the
    origin, near plane 0 (which stands for 10)."""

    _fields_ = [
        ("viewport_width", c_double), ("viewport_height", c_double),
        ("fov", c_double), ("pitch", c_double), ("bearing", c_double),
        ("roll", c_double), ("distance", c_double),
        ("center_x", c_double), ("center_y", c_double),
        ("near_plane", c_double),
    ]

    _DEFAULTS = {"viewport_width": 800.0, "viewport_height": 600.0, "fov": 90.0,
                 "distance": 1000.0}

    def __init__(self, *args: float, **kwargs: float) -> None:
        names = [name for name, _ in self._fields_]
        if len(args) > len(names):
            raise TypeError("PerspectiveCamera takes at most %d values" % len(names))
        for name in kwargs:
            if name not in names:
                raise TypeError("PerspectiveCamera has no field %r" % name)
        values = dict(self._DEFAULTS)
        values.update(zip(names, args))
        values.update(kwargs)
        super().__init__(**{k: float(v) for k, v in values.items()})

    def __repr__(self) -> str:
        return "PerspectiveCamera(%s)" % ", ".join(
            "%s=%r" % (name, getattr(self, name)) for name, _ in self._fields_)


class BLObjectCore(Structure):
    """BLPathCore, BLImageCore and BLContextCore: 16 bytes, 8-byte aligned."""

    _fields_ = [("_impl", c_void_p), ("_reserved", c_void_p)]


class BLImageData(Structure):
    _fields_ = [("pixel_data", c_void_p), ("stride", ctypes.c_ssize_t),
                ("width", c_int), ("height", c_int),
                ("format", c_uint32), ("flags", c_uint32)]


class BLPoint(Structure):
    _fields_ = [("x", c_double), ("y", c_double)]


class BLCircle(Structure):
    _fields_ = [("cx", c_double), ("cy", c_double), ("r", c_double)]


class BLRect(Structure):
    _fields_ = [("x", c_double), ("y", c_double), ("w", c_double), ("h", c_double)]


def _check_layouts() -> None:
    checks = [
        (ctypes.sizeof(GeoTransform), 80), (GeoTransform.scale.offset, 64),
        (GeoTransform.flip_y.offset, 72),
        (ctypes.sizeof(ShpHeader), 88), (ShpHeader.min_x.offset, 16),
        (ShpHeader.max_m.offset, 72), (ShpHeader.record_count.offset, 80),
        (ctypes.sizeof(PerspectiveCamera), 80), (PerspectiveCamera.distance.offset, 48),
        (PerspectiveCamera.near_plane.offset, 72),
        (ctypes.sizeof(BLObjectCore), 16), (ctypes.alignment(BLObjectCore), 8),
    ]
    if ctypes.sizeof(c_void_p) == 8:
        checks += [(ctypes.sizeof(ShpDataRecord), 64), (ShpDataRecord.num_parts.offset, 8),
                   (ShpDataRecord.points.offset, 24), (ShpDataRecord.bboxes.offset, 56),
                   (ctypes.sizeof(BLImageData), 32)]
    for got, want in checks:
        if got != want:
            raise ImportError("quillon: record layout differs from the C headers")


_check_layouts()

# ---------------------------------------------------------------------------
# Declarations: (library, name, result, argument types), in header order.
# Arrays and Blend2D objects are passed as addresses (c_void_p) so that a
# numpy array's buffer goes straight to C without a ctypes array in between.
# ---------------------------------------------------------------------------

_p = c_void_p
_GT = POINTER(GeoTransform)
_CAM = POINTER(PerspectiveCamera)

EXPORTS: List[Tuple[str, str, Any, List[Any]]] = [
    ("ordane", "ordane_proj_3857_forward", c_int32, [_p, _p, c_int64]),
    ("ordane", "ordane_proj_3857_inverse", c_int32, [_p, _p, c_int64]),
    ("ordane", "ordane_proj_lcc_forward", c_int32, [c_double] * 6 + [_p, _p, c_int64]),
    ("ordane", "ordane_proj_albers_forward", c_int32, [c_double] * 6 + [_p, _p, c_int64]),
    ("ordane", "ordane_init_transform", None, [_GT] + [c_double] * 7 + [c_int32, c_int32]),
    ("ordane", "ordane_transform_coords", c_int32, [_p, _p, c_int64, _GT]),
    ("ordane", "ordane_build_polygon", c_int32, [_p, _p, _p, c_int64, _GT]),
    ("ordane", "ordane_build_linestring", c_int32, [_p, _p, c_int64, _GT]),
    ("ordane", "ordane_build_multilinestring", c_int32, [_p, _p, _p, c_int64, _GT]),
    ("ordane", "ordane_read_shp_header", c_int32, [c_char_p, POINTER(ShpHeader)]),
    ("ordane", "ordane_parse_shp", POINTER(ShpDataRecord), [c_char_p]),
    ("ordane", "ordane_free_shp_data", None, [POINTER(ShpDataRecord)]),
    ("ordane", "ordane_http_download_file", c_int32, [c_char_p, c_char_p]),
    ("ordane", "ordane_http_download_file_status", c_int32, [c_char_p, c_char_p, _p]),

    ("velket", "velket_cubic_bezier_evaluate", c_double, [c_double] * 5),
    ("velket", "velket_spring_evaluate", c_double, [c_double] * 5),
    ("velket", "velket_ps_create", _p, [c_uint64]),
    ("velket", "velket_ps_destroy", None, [_p]),
    ("velket", "velket_ps_clear", None, [_p]),
    ("velket", "velket_ps_add_gravity", None, [_p, c_double, c_double]),
    ("velket", "velket_ps_add_drag", None, [_p, c_double]),
    ("velket", "velket_ps_add_attractor", None, [_p, c_double, c_double, c_double]),
    ("velket", "velket_ps_emit", None, [_p, c_uint64] + [c_double] * 10 + [c_uint32, c_uint32]),
    ("velket", "velket_ps_update", None, [_p, c_double]),
    ("velket", "velket_ps_get_count", c_uint64, [_p]),
    ("velket", "velket_ps_render", None, [_p, _p]),
    ("velket", "velket_trim_path", c_int32, [_p, _p, c_double, c_double, c_double]),
    ("velket", "velket_cubic_bezier_evaluate_array", c_int32, [_p, _p, c_uint64] + [c_double] * 4),
    ("velket", "velket_spring_evaluate_array", c_int32, [_p, _p, c_uint64] + [c_double] * 4),

    ("torvik", "torvik_project_point", c_int32,
     [c_double, c_double, _CAM, POINTER(c_double), POINTER(c_double), POINTER(c_double)]),
    ("torvik", "torvik_transform_points", c_int64, [_p, _p, _p, _p, c_uint64, _CAM]),
    ("torvik", "torvik_transform_lines", c_int64, [_p, _p, _p, _p, c_uint64, _CAM]),
    ("torvik", "torvik_transform_path", c_int32, [_p, _p, POINTER(c_double), _CAM]),
    ("torvik", "torvik_render_globe", c_int32,
     [_p, c_int32, c_int32, c_int32, _p, c_int32, c_int32, c_int32,
      c_double, c_double, c_double, c_double, c_double, c_uint32]),
]

# The Blend2D calls the package makes; each returns a BLResult unless noted.
_r = c_uint32
BLEND2D_CALLS: List[Tuple[str, Any, List[Any]]] = [
    ("bl_path_init", _r, [_p]),
    ("bl_path_destroy", _r, [_p]),
    ("bl_path_reset", _r, [_p]),
    ("bl_path_clear", _r, [_p]),
    ("bl_path_get_size", c_size_t, [_p]),
    ("bl_path_get_command_data", _p, [_p]),
    ("bl_path_get_vertex_data", _p, [_p]),
    ("bl_path_move_to", _r, [_p, c_double, c_double]),
    ("bl_path_line_to", _r, [_p, c_double, c_double]),
    ("bl_path_quad_to", _r, [_p] + [c_double] * 4),
    ("bl_path_cubic_to", _r, [_p] + [c_double] * 6),
    ("bl_path_conic_to", _r, [_p] + [c_double] * 5),
    ("bl_path_close", _r, [_p]),
    ("bl_path_add_path", _r, [_p, _p, _p]),
    ("bl_image_init", _r, [_p]),
    ("bl_image_init_as", _r, [_p, c_int, c_int, c_uint32]),
    ("bl_image_destroy", _r, [_p]),
    ("bl_image_get_data", _r, [_p, POINTER(BLImageData)]),
    ("bl_image_write_to_file", _r, [_p, c_char_p, _p]),
    ("bl_context_init", _r, [_p]),
    ("bl_context_init_as", _r, [_p, _p, _p]),
    ("bl_context_end", _r, [_p]),
    ("bl_context_destroy", _r, [_p]),
    ("bl_context_set_comp_op", _r, [_p, c_uint32]),
    ("bl_context_set_stroke_width", _r, [_p, c_double]),
    ("bl_context_clear_all", _r, [_p]),
    ("bl_context_fill_all_rgba32", _r, [_p, c_uint32]),
    ("bl_context_fill_geometry_rgba32", _r, [_p, c_uint32, _p, c_uint32]),
    ("bl_context_fill_path_d_rgba32", _r, [_p, POINTER(BLPoint), _p, c_uint32]),
    ("bl_context_stroke_path_d_rgba32", _r, [_p, POINTER(BLPoint), _p, c_uint32]),
    ("bl_context_clip_to_rect_d", _r, [_p, _p]),
    ("bl_context_restore_clipping", _r, [_p]),
]

# Sonames under which the real Blend2D and the project's stand-in are loaded.
BLEND2D_SONAMES = ["libblend2d.so", "libblend2d.so.0", "libbl2dcompat.so.0", "libbl2dcompat.so"]

LIBRARIES = ("ordane", "velket", "torvik")
BLEND2D_DLL = "libblend2d.dll"  # beside the three DLLs in a Windows install's bin/


class Libraries:
    """The three libraries and Blend2D, loaded, with every call declared as an
    attribute named after its C function."""

    def __init__(self, paths: Dict[str, str]) -> None:
        self.paths = dict(paths)
        self.handles: Dict[str, ctypes.CDLL] = {}
        from ._versioning import package_version
        check_versions(self.paths, package_version())
        # A Blend2D outside the loader's search (the real one in its own
        # prefix) is loaded first, so that the libraries' dependency on it
        # resolves to this copy.
        blend2d = os.environ.get("QUILLON_BLEND2D_LIB") or _installed_setting("BLEND2D_LIB")
        if blend2d and os.path.isfile(blend2d):
            ctypes.CDLL(blend2d, mode=ctypes.RTLD_GLOBAL)
        # Windows: each DLL's own dependencies (Blend2D's DLL) are found in
        # its folder; the cookies keep those folders on the search list.
        self._dll_dirs = [os.add_dll_directory(d) for d in
                          {os.path.dirname(os.path.abspath(p)) for p in paths.values()}
                          ] if hasattr(os, "add_dll_directory") else []
        for lib in LIBRARIES:
            try:
                self.handles[lib] = ctypes.CDLL(paths[lib])
            except OSError as exc:
                raise OSError("quillon: cannot load lib%s from %s: %s" % (lib, paths[lib], exc))
        for lib, name, restype, argtypes in EXPORTS:
            fn = getattr(self.handles[lib], name)
            fn.restype = restype
            fn.argtypes = argtypes
            setattr(self, name, fn)
        # Looked up through libordane's handle, a symbol resolves in its own
        # dependencies: this is the very Blend2D the libraries call, even when
        # another one is loaded into the process too.
        ordane = self.handles["ordane"]
        if os.name == "nt":
            # A DLL's exports are its own only: Blend2D is reached through
            # its DLL, the one loaded for libordane (the loader keeps one).
            ordane = ctypes.CDLL(BLEND2D_DLL)
        for name, restype, argtypes in BLEND2D_CALLS:
            fn = getattr(ordane, name)
            fn.restype = restype
            fn.argtypes = argtypes
            setattr(self, name, fn)
        here = _address(ordane.bl_path_init)
        for lib in ("velket", "torvik") if os.name != "nt" else ():
            if _address(self.handles[lib].bl_path_init) != here:
                raise OSError("quillon: libordane and lib%s link different Blend2D libraries"
                              % lib)
        self.blend2d_name = BLEND2D_DLL if os.name == "nt" else _blend2d_name(here)


    def __repr__(self) -> str:
        return "<quillon libraries %s, Blend2D %s>" % (
            ", ".join("%s=%s" % kv for kv in self.paths.items()), self.blend2d_name or "?")

    def __getattr__(self, name: str) -> Any:
        # Only reached for names that were not declared above.
        raise AttributeError("quillon: %s is not a declared C function" % name)


def _address(fn: Any) -> int:
    return int(ctypes.cast(fn, c_void_p).value or 0)


def _blend2d_name(address: int) -> str:
    """The soname of the loaded Blend2D that holds "address" ("" if unknown)."""
    noload = getattr(os, "RTLD_NOLOAD", 0)
    for soname in BLEND2D_SONAMES:
        try:
            candidate = ctypes.CDLL(soname, mode=noload)
        except OSError:
            continue
        if _address(candidate.bl_path_init) == address:
            return soname
    return ""


def _package_dir() -> str:
    return os.path.dirname(os.path.realpath(__file__))


def _installed_setting(name: str) -> Optional[str]:
    try:
        from . import _version  # generated when the package is installed
    except ImportError:
        return None
    value = getattr(_version, name, None)
    return str(value) if value else None


def _installed_lib_dir() -> Optional[str]:
    rel = _installed_setting("LIB_DIR")
    if not rel:
        return None
    return os.path.normpath(os.path.join(_package_dir(), rel))


def _checkout_lib_dir() -> Optional[str]:
    # <root>/python/quillon/_native.py: the checkout's build folder holds the
    # libraries when it was built as the README says.
    root = os.path.dirname(os.path.dirname(_package_dir()))
    if os.path.isfile(os.path.join(root, "include", "ordane.h")):
        return os.path.join(root, "build")
    return None


def _in_dir(folder: str, lib: str) -> Optional[str]:
    for name in ("lib%s.so" % lib, "lib%s.so.1" % lib, "lib%s.dylib" % lib, "lib%s.dll" % lib):
        candidate = os.path.join(folder, name)
        if os.path.isfile(candidate):
            return candidate
    # A wheel holds the fully versioned file only (lib<name>.so.X.Y.Z).
    try:
        names = sorted(os.listdir(folder))
    except OSError:
        return None
    pattern = re.compile(r"lib%s\.so\.\d+\.\d+\.\d+$" % lib)
    versioned = [n for n in names if pattern.match(n)]
    return os.path.join(folder, versioned[-1]) if len(versioned) == 1 else None


def check_versions(paths: Dict[str, str], want: str) -> None:
    """Refuses libraries whose file names carry another version than the
    package's (lib<name>.so.X.Y.Z exactly, lib<name>.so.X by the major
    number); a name without a version is taken on trust."""
    if not re.fullmatch(r"\d+\.\d+\.\d+", want):
        return  # a package without a known version (run from a bare folder)
    for lib, path in paths.items():
        name = os.path.basename(os.path.realpath(path))
        m = re.fullmatch(r"lib%s\.so\.(\d+(?:\.\d+\.\d+)?)" % lib, name)
        if not m:
            continue
        got = m.group(1)
        same = got == want if "." in got else got == want.split(".")[0]
        if not same:
            raise OSError("quillon: %s is version %s of lib%s, the package is version %s; "
                          "install the package and the libraries from one checkout"
                          % (os.path.realpath(path), got, lib, want))


def find_libraries(lib_dir: Optional[str] = None) -> Dict[str, str]:
    """The file of each library, looked up as the module docstring says."""
    lib_dir = lib_dir or os.environ.get("QUILLON_LIB_DIR") or None
    folders: List[str] = []
    if lib_dir:
        folders.append(lib_dir)
    else:
        for folder in (_installed_lib_dir(), _checkout_lib_dir()):
            if folder:
                folders.append(folder)
    found: Dict[str, str] = {}
    for lib in LIBRARIES:
        env = os.environ.get("QUILLON_%s_LIB" % lib.upper())
        if env:
            found[lib] = env
            continue
        for folder in folders:
            path = _in_dir(folder, lib)
            if path:
                found[lib] = path
                break
        else:
            if lib_dir:
                raise OSError("quillon: lib%s not found in %s" % (lib, lib_dir))
            system = ctypes.util.find_library(lib)
            if not system:
                looked = ", ".join(folders) or "no folder"
                raise OSError("quillon: lib%s not found (looked in %s and the system's "
                              "library path); set QUILLON_LIB_DIR to the folder that "
                              "holds libordane.so, libvelket.so and libtorvik.so" % (lib, looked))
            found[lib] = system
    return found


_lock = threading.Lock()
_loaded: Optional[Libraries] = None


def lib() -> Libraries:
    """The loaded libraries, loading them on first use."""
    global _loaded
    if _loaded is None:
        with _lock:
            if _loaded is None:
                _loaded = Libraries(find_libraries())
    return _loaded


def load(lib_dir: Optional[str] = None) -> Libraries:
    """Loads the libraries from "lib_dir" (or as lib() would) and makes them
    the ones every wrapper uses. Call it before anything else is used."""
    global _loaded
    with _lock:
        if _loaded is not None:
            if lib_dir is None:
                return _loaded
            wanted = find_libraries(lib_dir)
            if wanted != _loaded.paths:
                raise RuntimeError("quillon: the libraries are already loaded from %s"
                                   % _loaded.paths["ordane"])
            return _loaded
        _loaded = Libraries(find_libraries(lib_dir))
        return _loaded
