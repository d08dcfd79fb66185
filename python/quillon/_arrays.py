"""Checks that make every buffer handed to C exactly as large as C assumes."""

from __future__ import annotations

import ctypes
from typing import Any, Optional, Tuple

import numpy as np

INT32_MAX = 2**31 - 1

_F64 = np.dtype(np.float64)
_ndarray = np.ndarray


def _probe_data_offset() -> int:
    """Where CPython's numpy keeps an array's data pointer inside the array
    object (just past the object header), or 0 when that cannot be relied on
    (another interpreter or layout): then .ctypes.data is used."""
    try:
        offset = object.__basicsize__
        for probe in (np.zeros(3), np.zeros((2, 2))[1:], np.arange(5.0)[::-1]):
            if ctypes.c_void_p.from_address(id(probe) + offset).value != probe.ctypes.data:
                return 0
        return offset
    except Exception:  # pragma: no cover - any surprise means the slow path
        return 0


_DATA_OFFSET = _probe_data_offset()
_read_pointer = ctypes.c_void_p.from_address


def address(arr: np.ndarray) -> int:
    """The address of an array's first element. Reading the pointer field
    costs a tenth of .ctypes.data, which builds a helper object each time."""
    if _DATA_OFFSET:
        return _read_pointer(id(arr) + _DATA_OFFSET).value or 0
    return arr.ctypes.data


def _converted(value: Any, dtype: np.dtype, name: str) -> np.ndarray:
    """"value" as a new C-contiguous array of "dtype". Numbers of another
    width, integers, Fortran-ordered and strided arrays, lists and tuples are
    copied explicitly; booleans, complex numbers, strings and objects are
    refused rather than guessed at."""
    try:
        src = np.asarray(value)
    except (TypeError, ValueError) as exc:
        raise TypeError("%s must be an array of %s: %s" % (name, dtype.name, exc)) from None
    if src.dtype.kind not in "fiu":
        raise TypeError("%s must hold real numbers (converted to %s), not %s"
                        % (name, dtype.name, src.dtype))
    return np.array(src, dtype=dtype, order="C", copy=True)


def _as_array(value: Any, dtype: Any, name: str) -> np.ndarray:
    """"value" as a C-contiguous ndarray of "dtype": such an array as it is,
    anything else converted by an explicit copy."""
    want = np.dtype(dtype)
    if type(value) is _ndarray and value.dtype == want and value.flags.c_contiguous:
        return value
    return _converted(value, want, name)


def tuples(value: Any, width: int, name: str) -> Tuple[np.ndarray, int]:
    """A float64 array of (N, width) or flat N * width numbers: (array, N)."""
    if type(value) is _ndarray and value.dtype is _F64 and value.flags.c_contiguous:
        arr = value
    else:
        arr = _as_array(value, _F64, name)
    ndim = arr.ndim
    if ndim == 2:
        if arr.shape[1] != width:
            raise ValueError("%s must have shape (N, %d), not %s" % (name, width, arr.shape))
    elif ndim == 1:
        if arr.shape[0] % width:
            raise ValueError("%s is flat with %d numbers, not a multiple of %d"
                             % (name, arr.shape[0], width))
    else:
        raise ValueError("%s must have shape (N, %d) or be flat, not %s"
                         % (name, width, arr.shape))
    return arr, arr.size // width


def pairs_io(value: Any, out: Optional[np.ndarray],
             name: str) -> Tuple[int, np.ndarray, int, np.ndarray, int]:
    """points() and output_at() in one step, for the per-call cost of the
    projections: (N, input array, its address, output array, its address).
    The caller keeps the input array (a converted copy may be the only
    reference to the memory at that address) until the C call returns."""
    if type(value) is _ndarray and value.dtype is _F64 and value.flags.c_contiguous:
        arr = value
    else:
        arr = _as_array(value, _F64, name)
    shape = arr.shape
    if len(shape) == 2:
        if shape[1] != 2:
            raise ValueError("%s must have shape (N, 2), not %s" % (name, shape))
    elif len(shape) == 1:
        if shape[0] & 1:
            raise ValueError("%s is flat with %d numbers, not a multiple of 2" % (name, shape[0]))
    else:
        raise ValueError("%s must have shape (N, 2) or be flat, not %s" % (name, shape))
    if _DATA_OFFSET:
        at = _read_pointer(id(arr) + _DATA_OFFSET).value or 0
        if out is None:
            dst = np.empty(shape)
            return arr.size >> 1, arr, at, dst, _read_pointer(id(dst) + _DATA_OFFSET).value or 0
    else:
        at = arr.ctypes.data
    dst, dst_at = output_at(out, arr, at)
    return arr.size >> 1, arr, at, dst, dst_at


def points(value: Any, name: str = "points") -> Tuple[np.ndarray, int]:
    """A float64 Point array, (N, 2) or flat even length: (array, N)."""
    return tuples(value, 2, name)


def _contiguous(arr: np.ndarray, name: str) -> None:
    if not arr.flags.c_contiguous:
        raise ValueError("%s must be C-contiguous (use np.ascontiguousarray)" % name)


def output(out: Optional[np.ndarray], like: np.ndarray, dtype: Any = np.float64,
           name: str = "out") -> np.ndarray:
    """"out" checked to hold exactly as many numbers as "like" (any shape of
    that size), of "dtype" exactly, writable and C-contiguous (no conversion:
    the caller reads the results there); a new array shaped like "like" when
    None. "out" may be "like" itself, but may not overlap it otherwise."""
    return output_at(out, like, address(like), dtype, name)[0]


def output_at(out: Optional[np.ndarray], like: np.ndarray, like_address: int,
              dtype: Any = np.float64, name: str = "out") -> Tuple[np.ndarray, int]:
    """output() for a caller that already has the input's address: (array,
    its address)."""
    if out is None:
        dst = np.empty(like.shape, dtype)
        return dst, address(dst)
    if not isinstance(out, np.ndarray):
        raise TypeError("%s must be a numpy array" % name)
    if out.dtype is not _F64 or dtype is not np.float64:
        want = np.dtype(dtype)
        if out.dtype != want:
            raise TypeError("%s must be a %s array, not %s" % (name, want.name, out.dtype))
    if out.size != like.size:
        raise ValueError("%s holds %d numbers, the input %d" % (name, out.size, like.size))
    flags = out.flags
    if not flags.writeable:
        raise ValueError("%s is read-only" % name)
    if not flags.c_contiguous:
        raise ValueError("%s must be C-contiguous (use np.ascontiguousarray)" % name)
    at = address(out)
    if at != like_address or out.dtype != like.dtype:
        # Both are contiguous: they overlap when their byte ranges do.
        size = out.nbytes
        if at < like_address + like.nbytes and like_address < at + size and size:
            raise ValueError("%s overlaps the input without being the same array" % name)
    return out, at


def sized(out: Optional[np.ndarray], shape: Tuple[int, ...], dtype: Any, name: str) -> np.ndarray:
    """A side output ("scales", "visible") of exactly "shape"'s size."""
    if out is None:
        return np.empty(shape, dtype)
    if not isinstance(out, np.ndarray):
        raise TypeError("%s must be a numpy array" % name)
    if out.dtype != np.dtype(dtype):
        raise TypeError("%s must be a %s array, not %s" % (name, np.dtype(dtype).name, out.dtype))
    need = 1
    for extent in shape:
        need *= extent
    if out.size != need:
        raise ValueError("%s holds %d values, %d are needed" % (name, out.size, need))
    if not out.flags.writeable:
        raise ValueError("%s is read-only" % name)
    _contiguous(out, name)
    return out


def offsets(value: Any, point_count: int, name: str = "part_offsets") -> Tuple[np.ndarray, int]:
    """Part offsets as int64: at least two entries, none above "point_count",
    so no part can end past the Point array. (Negative entries and ends below
    their starts are safe: the builders skip such parts.)"""
    if isinstance(value, np.ndarray):
        if value.dtype.kind not in "iu":
            raise TypeError("%s must be an integer array, not %s" % (name, value.dtype))
        if value.dtype.kind == "u" and value.size and int(value.max()) > point_count:
            raise ValueError("%s reaches past the %d points" % (name, point_count))
        arr = np.ascontiguousarray(value, dtype=np.int64) if value.dtype != np.int64 \
            else value
    else:
        try:
            arr = np.asarray(value, dtype=np.int64)
        except (TypeError, ValueError, OverflowError) as exc:
            raise TypeError("%s must be integers: %s" % (name, exc)) from None
    if arr.ndim != 1:
        raise ValueError("%s must be one-dimensional, not %s" % (name, arr.shape))
    if arr.shape[0] < 2:
        raise ValueError("%s needs at least two entries (one part)" % name)
    _contiguous(arr, name)
    if int(arr.max()) > point_count:
        raise ValueError("%s reaches index %d past the %d points"
                         % (name, int(arr.max()), point_count))
    return arr, arr.shape[0] - 1


def pixels(value: Any, name: str, writable: bool) -> Tuple[np.ndarray, int, int, int]:
    """A (H, W) uint32 pixel array whose rows may be spaced (a view of a larger
    image, or flipped): (array, width, height, stride in bytes)."""
    if not isinstance(value, np.ndarray):
        raise TypeError("%s must be a numpy uint32 array of shape (H, W)" % name)
    if value.dtype != np.uint32:
        raise TypeError("%s must be a uint32 array, not %s" % (name, value.dtype))
    if value.ndim != 2:
        raise ValueError("%s must have shape (H, W), not %s" % (name, value.shape))
    height, width = value.shape
    if width < 1 or height < 1:
        raise ValueError("%s is empty (%d x %d)" % (name, width, height))
    if width > INT32_MAX // 4 or height > INT32_MAX:
        raise ValueError("%s is too large (%d x %d)" % (name, width, height))
    if value.strides[1] != 4:
        raise ValueError("%s must have adjacent pixels in each row" % name)
    stride = value.strides[0]
    if height > 1 and (abs(stride) < 4 * width or stride % 4):
        raise ValueError("%s rows overlap or are not whole pixels apart" % name)
    if height == 1:
        stride = 4 * width
    if abs(stride) > INT32_MAX:
        raise ValueError("%s row stride %d does not fit 32 bits" % (name, stride))
    if writable and not value.flags.writeable:
        raise ValueError("%s is read-only" % name)
    return value, width, height, int(stride)


def uint(value: Any, bits: int, name: str) -> int:
    """An integer in [0, 2**bits)."""
    try:
        number = int(value)
    except (TypeError, ValueError):
        raise TypeError("%s must be an integer, not %r" % (name, value)) from None
    if number != value and not isinstance(value, (int, np.integer)):
        raise TypeError("%s must be an integer, not %r" % (name, value))
    if not 0 <= number < 2**bits:
        raise ValueError("%s must lie in [0, 2**%d), not %d" % (name, bits, number))
    return number
