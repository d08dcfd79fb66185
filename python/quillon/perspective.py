"""libtorvik: the perspective camera over points, segments and paths; the globe."""

from __future__ import annotations

import ctypes
from typing import Any, NamedTuple, Optional, Tuple

import numpy as np

from . import _arrays
from ._native import PerspectiveCamera, lib
from .blend2d import Path, PathLike, hold, path_address
from .errors import QuillonError

Camera = PerspectiveCamera


def _camera(camera: Any) -> Any:
    if not isinstance(camera, PerspectiveCamera):
        raise TypeError("camera must be a PerspectiveCamera, not %s" % type(camera).__name__)
    return ctypes.byref(camera)


class Projected(NamedTuple):
    """Screen coordinates, per-item scales, visibility flags and how many are visible."""
    coords: np.ndarray
    scales: np.ndarray
    visible: np.ndarray
    visible_count: int


def project_point(x: float, y: float, camera: PerspectiveCamera) -> Tuple[float, float, float, bool]:
    """(screen x, screen y, scale, visible) of one plane point."""
    sx, sy, sc = ctypes.c_double(), ctypes.c_double(), ctypes.c_double()
    vis = lib().torvik_project_point(float(x), float(y), _camera(camera), ctypes.byref(sx),
                                     ctypes.byref(sy), ctypes.byref(sc))
    return sx.value, sy.value, sc.value, bool(vis)


def _through(fn: Any, width: int, value: Any, camera: PerspectiveCamera,
             out: Optional[np.ndarray], scales: Optional[np.ndarray],
             visible: Optional[np.ndarray], name: str) -> Projected:
    cam = _camera(camera)
    src, n = _arrays.tuples(value, width, name)
    at = _arrays.address(src)
    dst, dst_at = _arrays.output_at(out, src, at)
    sc = _arrays.sized(scales, (n,), np.float64, "scales")
    vis = _arrays.sized(visible, (n,), np.bool_, "visible")
    count = 0
    if n:
        count = int(fn(at, dst_at, _arrays.address(sc), _arrays.address(vis), n, cam))
    return Projected(dst, sc, vis, count)


def camera_points(points: Any, camera: PerspectiveCamera, out: Optional[np.ndarray] = None,
                  scales: Optional[np.ndarray] = None,
                  visible: Optional[np.ndarray] = None) -> Projected:
    """Projects plane points (N, 2) or flat; hidden points come out (0, 0)
    with scale 0 and visible False. "out" may be the input."""
    return _through(lib().torvik_transform_points, 2, points, camera, out, scales, visible,
                    "points")


def camera_segments(segments: Any, camera: PerspectiveCamera,
                    out: Optional[np.ndarray] = None, scales: Optional[np.ndarray] = None,
                    visible: Optional[np.ndarray] = None) -> Projected:
    """Projects segments (N, 4) or flat (x0, y0, x1, y1); a segment counts as
    visible when both ends are."""
    return _through(lib().torvik_transform_lines, 4, segments, camera, out, scales, visible,
                    "segments")


def camera_path(src: PathLike, camera: PerspectiveCamera,
                dst: Optional[PathLike] = None) -> Tuple[PathLike, float]:
    """Fills "dst" (a new Path when None; it may be "src") with "src" seen
    through "camera"; returns it with the mean scale of its vertices (1.0
    for an empty result)."""
    cam = _camera(camera)
    out = Path() if dst is None else dst
    mean = ctypes.c_double(1.0)
    with hold(src, out):
        rc = lib().torvik_transform_path(path_address(src), path_address(out),
                                         ctypes.byref(mean), cam)
    if rc != 0:
        raise QuillonError("torvik_transform_path", rc, "null path or camera")
    return out, mean.value


def render_globe(pixels: np.ndarray, texture: np.ndarray, center_x: float, center_y: float,
                 radius: float, rotation: float = 0.0, tilt: float = 0.0,
                 atmosphere: int = 0) -> np.ndarray:
    """Paints a shaded globe into "pixels", an (H, W) uint32 array of
    0xAARRGGBB words (rows may be spaced or reversed, as in a view of a
    larger image), textured with the (TH, TW) uint32 equirectangular
    "texture" (read-only is fine). Returns "pixels"."""
    dst, width, height, stride = _arrays.pixels(pixels, "pixels", writable=True)
    tex, tw, th, tstride = _arrays.pixels(texture, "texture", writable=False)
    if not float(radius) > 0:
        raise ValueError("radius must be positive, not %r" % radius)
    if np.may_share_memory(dst, tex):
        raise ValueError("pixels and texture overlap")
    rc = lib().torvik_render_globe(_arrays.address(dst), width, height, stride, _arrays.address(tex),
                                   tw, th, tstride, float(center_x), float(center_y),
                                   float(radius), float(rotation), float(tilt),
                                   _arrays.uint(atmosphere, 32, "atmosphere"))
    if rc != 0:
        raise QuillonError("torvik_render_globe", rc, "bad buffer, size or radius")
    return pixels
