"""libordane: projections, viewport fitting, path builders, shapefiles, download."""

from __future__ import annotations

import ctypes
import os
import threading
import weakref
from typing import Any, Dict, Iterator, List, Optional, Sequence, Tuple, Union

import numpy as np

from . import _arrays
from ._arrays import pairs_io as _pairs_io
from ._native import GeoTransform, ShpDataRecord, ShpHeader, lib
from .blend2d import Path, PathLike, hold, path_address
from .errors import DOWNLOAD_ERRORS, SHP_ERRORS, DownloadError, QuillonError, ShapefileError

PathName = Union[str, bytes, "os.PathLike[str]"]
Box = Tuple[float, float, float, float]

# ---------------------------------------------------------------------------
# Projections
# ---------------------------------------------------------------------------

_CONIC_NAMES = ("lat1", "lat2", "lat0", "lon0", "false_easting", "false_northing")


def _conic(params: Any, projection: str) -> Tuple[float, ...]:
    if params is None:
        raise TypeError("the %s projection needs its parameters: (lat1, lat2, lat0, lon0"
                        "[, false_easting, false_northing]) or a dict of those names"
                        % projection)
    if isinstance(params, dict):
        unknown = set(params) - set(_CONIC_NAMES)
        if unknown:
            raise TypeError("unknown %s parameter(s): %s" % (projection, ", ".join(sorted(unknown))))
        missing = [n for n in _CONIC_NAMES[:4] if n not in params]
        if missing:
            raise TypeError("the %s projection needs %s" % (projection, ", ".join(missing)))
        values = [params.get(n, 0.0) for n in _CONIC_NAMES]
    else:
        values = list(params)
        if not 4 <= len(values) <= 6:
            raise TypeError("the %s projection takes 4 to 6 parameters (lat1, lat2, lat0, "
                            "lon0[, false_easting, false_northing]), not %d"
                            % (projection, len(values)))
        values += [0.0] * (6 - len(values))
    try:
        return tuple(float(v) for v in values)
    except (TypeError, ValueError):
        raise TypeError("%s parameters must be numbers, not %r" % (projection, params)) from None


def _run(name: str, fn: Any, args: Tuple[Any, ...], src: np.ndarray, n: int,
         out: Optional[np.ndarray]) -> np.ndarray:
    at = _arrays.address(src)
    dst, dst_at = _arrays.output_at(out, src, at)
    if n:
        rc = fn(*args, at, dst_at, n)
        if rc != 0:
            raise QuillonError(name, rc, "null array or count <= 0")
    return dst


def mercator_forward(lonlat: Any, out: Optional[np.ndarray] = None) -> np.ndarray:
    """Web Mercator (EPSG 3857): (lon, lat) degrees to (x, y) metres."""
    n, src, at, dst, dst_at = _pairs_io(lonlat, out, "lonlat")
    if n:
        rc = lib().ordane_proj_3857_forward(at, dst_at, n)
        if rc:
            raise QuillonError("ordane_proj_3857_forward", rc, "null array or count <= 0")
    return dst


def mercator_inverse(xy: Any, out: Optional[np.ndarray] = None) -> np.ndarray:
    """Web Mercator (EPSG 3857): (x, y) metres to (lon, lat) degrees."""
    n, src, at, dst, dst_at = _pairs_io(xy, out, "xy")
    if n:
        rc = lib().ordane_proj_3857_inverse(at, dst_at, n)
        if rc:
            raise QuillonError("ordane_proj_3857_inverse", rc, "null array or count <= 0")
    return dst


def lcc_forward(lonlat: Any, lat1: float, lat2: float, lat0: float, lon0: float,
                false_easting: float = 0.0, false_northing: float = 0.0,
                out: Optional[np.ndarray] = None) -> np.ndarray:
    """Lambert conformal conic on the WGS 84 ellipsoid."""
    src, n = _arrays.points(lonlat, "lonlat")
    args = _conic((lat1, lat2, lat0, lon0, false_easting, false_northing), "lcc")
    return _run("ordane_proj_lcc_forward", lib().ordane_proj_lcc_forward, args, src, n, out)


def albers_forward(lonlat: Any, lat1: float, lat2: float, lat0: float, lon0: float,
                   false_easting: float = 0.0, false_northing: float = 0.0,
                   out: Optional[np.ndarray] = None) -> np.ndarray:
    """Albers equal-area conic on the sphere of radius 6378137."""
    src, n = _arrays.points(lonlat, "lonlat")
    args = _conic((lat1, lat2, lat0, lon0, false_easting, false_northing), "albers")
    return _run("ordane_proj_albers_forward", lib().ordane_proj_albers_forward, args, src, n, out)


PROJECTIONS = ("mercator", "mercator_inverse", "lcc", "albers")


def project(lonlat: Any, projection: str = "mercator", params: Any = None,
            out: Optional[np.ndarray] = None) -> np.ndarray:
    """Projects a Point array, (N, 2) or flat, float64; returns an array of the
    same shape, or fills "out" (which may be the input itself).

    projection: "mercator" (EPSG 3857), "mercator_inverse", "lcc" or
    "albers"; the conics take "params" (lat1, lat2, lat0, lon0[,
    false_easting, false_northing]) in degrees and metres, or a dict."""
    if projection == "mercator" and params is None:
        return mercator_forward(lonlat, out)
    if projection in ("mercator", "3857"):
        if params is not None:
            raise TypeError("the mercator projection takes no parameters")
        return mercator_forward(lonlat, out)
    if projection == "mercator_inverse":
        if params is not None:
            raise TypeError("the inverse mercator projection takes no parameters")
        return mercator_inverse(lonlat, out)
    if projection in ("lcc", "albers"):
        src, n = _arrays.points(lonlat, "lonlat")
        args = _conic(params, projection)
        name = "ordane_proj_%s_forward" % projection
        return _run(name, getattr(lib(), name), args, src, n, out)
    raise ValueError("unknown projection %r: use one of %s" % (projection, ", ".join(PROJECTIONS)))


# ---------------------------------------------------------------------------
# Viewport transform
# ---------------------------------------------------------------------------


def bounds(points: Any) -> Box:
    """(min_x, min_y, max_x, max_y) of the finite pairs of a Point array."""
    arr, n = _arrays.points(points)
    xy = arr.reshape(n, 2)
    xy = xy[np.isfinite(xy).all(axis=1)]
    if not len(xy):
        raise ValueError("no finite point to take the bounds of")
    lo, hi = xy.min(axis=0), xy.max(axis=0)
    return (float(lo[0]), float(lo[1]), float(hi[0]), float(hi[1]))


def fit(box: Sequence[float], width: float, height: float, margin: float = 0.05,
        fit_both_axes: bool = True, flip_y: bool = True) -> GeoTransform:
    """A GeoTransform fitting "box" (min_x, min_y, max_x, max_y) into a
    "width" x "height" viewport with "margin" (a fraction) on every side."""
    values = [float(v) for v in box]
    if len(values) != 4:
        raise ValueError("box is (min_x, min_y, max_x, max_y), not %d numbers" % len(values))
    t = GeoTransform()
    lib().ordane_init_transform(ctypes.byref(t), *values, float(width), float(height),
                                float(margin), 1 if fit_both_axes else 0, 1 if flip_y else 0)
    return t


def _transform_ref(transform: Optional[GeoTransform]) -> Any:
    if transform is None:
        return None
    if not isinstance(transform, GeoTransform):
        raise TypeError("transform must be a GeoTransform (see fit()), not %s"
                        % type(transform).__name__)
    return ctypes.byref(transform)


def transform(points: Any, transform: Optional[GeoTransform],
              out: Optional[np.ndarray] = None) -> np.ndarray:
    """Maps a Point array through "transform" (None: copied unchanged)."""
    src, n = _arrays.points(points)
    at = _arrays.address(src)
    dst, dst_at = _arrays.output_at(out, src, at)
    if n:
        rc = lib().ordane_transform_coords(at, dst_at, n, _transform_ref(transform))
        if rc != 0:
            raise QuillonError("ordane_transform_coords", rc, "null array or count <= 0")
    return dst


# ---------------------------------------------------------------------------
# Path builders
# ---------------------------------------------------------------------------


def _built(name: str, rc: int, path: PathLike) -> PathLike:
    if rc != 0:
        raise QuillonError(name, rc, "rejected arguments")
    return path


def build_polygon(path: Optional[PathLike], points: Any, part_offsets: Any,
                  transform: Optional[GeoTransform] = None) -> PathLike:
    """Appends one closed figure per ring of at least 3 points; part i is
    points[part_offsets[i]:part_offsets[i+1]]. A new Path when "path" is None."""
    src, n = _arrays.points(points)
    offs, parts = _arrays.offsets(part_offsets, n)
    path = Path() if path is None else path
    with hold(path):
        rc = lib().ordane_build_polygon(path_address(path), _arrays.address(src) if n else None,
                                        _arrays.address(offs), parts,
                                        _transform_ref(transform))
    return _built("ordane_build_polygon", rc if n else 0, path)


def build_multilinestring(path: Optional[PathLike], points: Any, part_offsets: Any,
                          transform: Optional[GeoTransform] = None) -> PathLike:
    """Appends one open figure per part of at least 2 points."""
    src, n = _arrays.points(points)
    offs, parts = _arrays.offsets(part_offsets, n)
    path = Path() if path is None else path
    if n == 0:
        return path  # every part is empty
    with hold(path):
        rc = lib().ordane_build_multilinestring(path_address(path), _arrays.address(src),
                                                _arrays.address(offs), parts,
                                                _transform_ref(transform))
    return _built("ordane_build_multilinestring", rc, path)


def build_linestring(path: Optional[PathLike], points: Any,
                     transform: Optional[GeoTransform] = None) -> PathLike:
    """Appends one open figure through all points (at least 2)."""
    src, n = _arrays.points(points)
    if n < 2:
        raise ValueError("a line string needs at least 2 points, not %d" % n)
    path = Path() if path is None else path
    with hold(path):
        rc = lib().ordane_build_linestring(path_address(path), _arrays.address(src), n,
                                           _transform_ref(transform))
    return _built("ordane_build_linestring", rc, path)


# ---------------------------------------------------------------------------
# Shapefiles
# ---------------------------------------------------------------------------


def _fs(path: PathName) -> bytes:
    name = os.fsencode(path)
    if b"\0" in name:
        raise ValueError("file name contains a NUL byte")
    return name


def _raise_os_error(file_path: PathName) -> None:
    """For a file the library could not open: the OSError the system gives
    for it (FileNotFoundError, PermissionError, IsADirectoryError...), so
    callers handle a missing file as they would from open(). Returns when
    Python can open it after all (the library's own error is raised then)."""
    try:
        with open(file_path, "rb"):
            pass
    except OSError as exc:
        raise exc from None


def read_shp_header(file_path: PathName) -> ShpHeader:
    """The header of a .shp file and its record count."""
    header = ShpHeader()
    rc = lib().ordane_read_shp_header(_fs(file_path), ctypes.byref(header))
    if rc == -2:
        _raise_os_error(file_path)
    if rc != 0:
        raise ShapefileError("ordane_read_shp_header", rc,
                             "%s: %s" % (os.fsdecode(file_path), SHP_ERRORS.get(rc, "unknown")))
    return header


class _ShpHandle:
    """Owns one ShpData; freed when the last Shapefile or view lets go."""

    def __init__(self, ptr: Any) -> None:
        self.ptr = ptr
        self.free = lib().ordane_free_shp_data

    def __del__(self) -> None:
        ptr, self.ptr = self.ptr, None
        if ptr:
            self.free(ptr)


class _NativeBuffer:
    """A numpy view onto library memory that keeps its owner alive."""

    def __init__(self, owner: _ShpHandle, address: int, shape: Tuple[int, ...],
                 typestr: str) -> None:
        self.owner = owner
        self.__array_interface__ = {"shape": shape, "typestr": typestr,
                                    "data": (address, True), "version": 3}


def _view(owner: _ShpHandle, address: Optional[int], count: int, shape: Tuple[int, ...],
          dtype: Any) -> np.ndarray:
    dt = np.dtype(dtype)
    if count == 0 or not address:
        return np.empty(shape if count else (0,) + shape[1:], dt)
    return np.asarray(_NativeBuffer(owner, address, shape, dt.str))


class Shape:
    """One shape (record) of a Shapefile: its index, box and parts."""

    def __init__(self, shp: "Shapefile", index: int) -> None:
        self.index = index
        self._shp = shp
        p0, p1 = int(shp.shape_point_offsets[index]), int(shp.shape_point_offsets[index + 1])
        self.points: np.ndarray = shp.points[p0:p1]
        self.bbox: Box = tuple(float(v) for v in shp.bboxes[index])  # type: ignore[assignment]
        self.part_offsets: np.ndarray = shp.part_offsets(index)

    @property
    def parts(self) -> List[np.ndarray]:
        """Each part's points, (M, 2) views into Shapefile.points."""
        pts = self._shp.points
        o = self.part_offsets
        return [pts[max(o[j], 0):max(o[j + 1], o[j], 0)] for j in range(len(o) - 1)]

    def __repr__(self) -> str:
        return "<quillon.Shape %d: %d points in %d parts>" % (
            self.index, len(self.points), len(self.part_offsets) - 1)


class Shapefile:
    """The geometry of a whole .shp file (ordane_parse_shp()).

    points (N, 2), parts, shape_part_offsets, shape_point_offsets and bboxes
    (S, 4) are read-only numpy views of the library's arrays. close() (or the
    end of a "with" block) lets go of them: the Shapefile refuses further use,
    and the native data is released as soon as no view taken from it is left
    (views handed out before stay valid, so none ever dangles). Iterating
    yields one Shape per record."""

    def __init__(self, handle: _ShpHandle) -> None:
        self._handle: Optional[_ShpHandle] = handle
        rec: ShpDataRecord = handle.ptr.contents
        self.shape_type = int(rec.shape_type)
        self.num_shapes = int(rec.num_shapes)
        n_pts, n_parts, n_shp = int(rec.num_points), int(rec.num_parts), self.num_shapes
        self._arrays: Dict[str, np.ndarray] = {
            "points": _view(handle, rec.points, n_pts, (n_pts, 2), np.float64),
            "parts": _view(handle, rec.parts, n_parts, (n_parts,), np.int32),
            "shape_part_offsets": _view(handle, rec.shape_part_offsets, n_shp + 1,
                                        (n_shp + 1,), np.int32),
            "shape_point_offsets": _view(handle, rec.shape_point_offsets, n_shp + 1,
                                         (n_shp + 1,), np.uint64),
            "bboxes": _view(handle, rec.bboxes, n_shp, (n_shp, 4), np.float64),
        }
        for view in self._arrays.values():
            view.flags.writeable = False
        # The library promises these; a wrong one would send the builders
        # past the arrays, so make sure once.
        if (self.shape_point_offsets[-1] != n_pts or self.shape_part_offsets[-1] != n_parts
                or self.shape_point_offsets[0] != 0 or self.shape_part_offsets[0] != 0):
            raise ShapefileError("ordane_parse_shp", 0, "inconsistent ShpData offsets")

    def _get(self, name: str) -> np.ndarray:
        if self._handle is None:
            raise ValueError("the Shapefile is closed")
        return self._arrays[name]

    @property
    def points(self) -> np.ndarray:
        """Every point of every shape, (N, 2) float64 (x, y)."""
        return self._get("points")

    @property
    def parts(self) -> np.ndarray:
        """Each part's first point, int32, as the file stores it (relative
        to its shape's first point)."""
        return self._get("parts")

    @property
    def shape_part_offsets(self) -> np.ndarray:
        """Shape i's parts are parts[shape_part_offsets[i]:shape_part_offsets[i+1]]."""
        return self._get("shape_part_offsets")

    @property
    def shape_point_offsets(self) -> np.ndarray:
        """Shape i's points are points[shape_point_offsets[i]:shape_point_offsets[i+1]]."""
        return self._get("shape_point_offsets")

    @property
    def bboxes(self) -> np.ndarray:
        """Each shape's (min_x, min_y, max_x, max_y), (S, 4) float64."""
        return self._get("bboxes")

    def close(self) -> None:
        """Lets go of the native data (freed once no view of it is left);
        the Shapefile is unusable afterwards. Closing twice is harmless."""
        self._handle = None
        self._arrays = {}

    @property
    def closed(self) -> bool:
        """True once close() has run."""
        return self._handle is None

    @property
    def num_points(self) -> int:
        """The number of points of all shapes."""
        return len(self.points)

    @property
    def num_parts(self) -> int:
        """The number of parts of all shapes."""
        return len(self.parts)

    def __len__(self) -> int:
        """The number of shapes (records)."""
        return self.num_shapes

    def __getitem__(self, index: int) -> Shape:
        """Shape "index" (negative counts from the end)."""
        if index < 0:
            index += self.num_shapes
        if not 0 <= index < self.num_shapes:
            raise IndexError("shape index out of range")
        return Shape(self, index)

    def __iter__(self) -> Iterator[Shape]:
        """One Shape per record, in file order."""
        for k in range(self.num_shapes):
            yield Shape(self, k)

    def part_offsets(self, index: int) -> np.ndarray:
        """Shape "index"'s parts as builder offsets (int64, absolute): its part
        starts followed by its end."""
        j0, j1 = int(self.shape_part_offsets[index]), int(self.shape_part_offsets[index + 1])
        end = int(self.shape_point_offsets[index + 1])
        return np.append(self.parts[j0:j1].astype(np.int64), np.int64(end))

    @property
    def ring_offsets(self) -> np.ndarray:
        """Builder offsets for every part of every shape at once: part starts
        and shape ends; where a shape's first part does not start at the
        previous shape's end, -1 marks a gap the builders skip."""
        pieces: List[np.ndarray] = []
        last: Optional[int] = None
        for k in range(self.num_shapes):
            o = self.part_offsets(k)
            if len(o) < 2:
                continue  # a shape without parts
            if last is None:
                pieces.append(o)
            elif o[0] == last:
                pieces.append(o[1:])
            else:
                pieces += [np.array([-1], np.int64), o]
            last = int(o[-1])
        if not pieces:
            return np.zeros(2, np.int64)
        return np.concatenate(pieces)

    def __enter__(self) -> "Shapefile":
        """The Shapefile itself; close() runs at the end of the block."""
        return self

    def __exit__(self, *exc: Any) -> None:
        """Closes the Shapefile."""
        self.close()

    def __repr__(self) -> str:
        if self.closed:
            return "<quillon.Shapefile closed>"
        return "<quillon.Shapefile type %d: %d shapes, %d parts, %d points>" % (
            self.shape_type, self.num_shapes, self.num_parts, self.num_points)


def parse_shp(file_path: PathName) -> Shapefile:
    """Reads every record of a .shp file. The header is checked first: a
    file that cannot be opened raises the system's OSError for it
    (FileNotFoundError for a missing one), a short one or one that is not a
    shapefile ShapefileError."""
    read_shp_header(file_path)  # a missing file raises FileNotFoundError here
    ptr = lib().ordane_parse_shp(_fs(file_path))
    if not ptr:
        raise ShapefileError("ordane_parse_shp", 0, "%s could not be read (or memory ran out)"
                             % os.fsdecode(file_path))
    return Shapefile(_ShpHandle(ptr))


# ---------------------------------------------------------------------------
# Download
# ---------------------------------------------------------------------------


def download(url: str, dest_path: PathName) -> int:
    """GETs "url" (http or https) into the file "dest_path" and returns the
    HTTP status of the final response (the body is saved whatever it is: a
    404 page too). On failure DownloadError carries the result code and, in
    "http_status", the status of the response it ended on (0: none came).

    On the main thread the transfer runs on a worker thread that this call
    waits for in short slices, so Ctrl-C raises KeyboardInterrupt at once
    instead of when the server gives up. The library cannot stop a transfer
    midway, so the abandoned one goes on in the background (a daemon thread,
    gone when the process exits) until the server ends it; "dest_path" is
    then to be treated as a broken transfer (code -9): a partial file, which
    may still grow until the server ends the transfer. Delete it or download
    again to another name. On any other thread the call blocks in C as
    before (only the main thread receives KeyboardInterrupt)."""
    if not isinstance(url, str):
        raise TypeError("url must be a str")
    if "\0" in url:
        raise ValueError("url contains a NUL character")
    try:
        url_bytes = url.encode("utf-8")
    except UnicodeEncodeError:
        raise DownloadError("ordane_http_download_file", -2, DOWNLOAD_ERRORS[-2]) from None
    dest = _fs(dest_path)
    fn = lib().ordane_http_download_file_status

    def transfer() -> Tuple[int, int]:
        # Each call has its own status cell: an abandoned transfer may still
        # write it after the caller has gone.
        status = ctypes.c_int32(0)
        rc = int(fn(url_bytes, dest, ctypes.byref(status)))
        return rc, int(status.value)

    if threading.current_thread() is not threading.main_thread():
        rc, status = transfer()
    else:
        rc, status = _interruptible(transfer)
    if rc != 0:
        raise DownloadError("ordane_http_download_file", rc, DOWNLOAD_ERRORS.get(rc, "unknown"),
                            status)
    return status


# How long the main thread sleeps between looks at a running transfer: short
# enough that Ctrl-C feels immediate on every platform.
_WAIT_SLICE = 0.05


def _interruptible(fn: Any) -> Any:
    """fn() on a worker thread; its result, or KeyboardInterrupt (and any
    other exception raised while waiting) as soon as it arrives."""
    result: List[Any] = []
    done = threading.Event()

    def transfer() -> None:
        try:
            result.append(fn())
        finally:
            done.set()

    worker = threading.Thread(target=transfer, name="quillon-download", daemon=True)
    worker.start()
    while not done.wait(_WAIT_SLICE):
        pass
    if not result:
        raise RuntimeError("quillon: the download worker ended without a result")
    return result[0]
