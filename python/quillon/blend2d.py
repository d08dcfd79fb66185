"""Small Path, Image and Context classes over the Blend2D the libraries link.

Each object owns one Blend2D core (16 bytes) and destroys it when closed or
garbage collected. Each also holds a re-entrant lock that every call into C
on it, and close(), takes: one object may be used, and closed, from any
number of threads; the calls on it take turns. A call that involves several
objects (a path drawn into a context, a path trimmed into another) takes
their locks in one fixed order, so two such calls cannot deadlock.

Every function of the package that takes a path or a context also takes the
address (an int) of a BLPathCore or BLContextCore made by another Blend2D
binding in the same process. That is unsafe by nature: nothing can tell
whether an int is the address of a live object of the right Blend2D, so a
wrong one crashes the process or corrupts memory. What can be checked is: the
address is positive and 8-byte aligned, and if it is the address of a Path or
Context of this package, that object is still open (its lock is then taken
as for the object itself). A foreign object must stay alive, belong to the
same Blend2D, and not be used by another thread for the duration of the call.
"""

from __future__ import annotations

import ctypes
import os
import threading
import weakref
from typing import Any, Optional, Tuple, Union

import numpy as np

from . import _arrays
from ._native import BLCircle, BLImageData, BLObjectCore, BLPoint, BLRect, lib
from .errors import BLEND2D_ERRORS, Blend2DError

FORMAT_PRGB32 = 1
FORMAT_XRGB32 = 2
COMP_OP_SRC_OVER = 0
COMP_OP_SRC_COPY = 1
_GEOMETRY_RECTD = 4
_GEOMETRY_CIRCLE = 5

PATH_CMD_MOVE = 0
PATH_CMD_ON = 1
PATH_CMD_QUAD = 2
PATH_CMD_CONIC = 3
PATH_CMD_CUBIC = 4
PATH_CMD_CLOSE = 5
PATH_CMD_WEIGHT = 6

_IMAGE_MAX = 65535  # the largest side the real Blend2D accepts


_ARRAY_UINT8 = 35  # BL_OBJECT_TYPE_ARRAY_UINT8


class _CodecCalls:
    """The codec and byte-array calls of the Blend2D the libraries link,
    declared on first use."""

    def __init__(self) -> None:
        # Looked up through libordane's handle: the very Blend2D it calls.
        handle = lib().handles["ordane"]
        p, r = ctypes.c_void_p, ctypes.c_uint32
        for name, restype, argtypes in (
                ("bl_image_codec_init", r, [p]),
                ("bl_image_codec_destroy", r, [p]),
                ("bl_image_codec_find_by_name", r, [p, ctypes.c_char_p, ctypes.c_size_t, p]),
                ("bl_array_init", r, [p, ctypes.c_uint32]),
                ("bl_array_destroy", r, [p]),
                ("bl_array_get_size", ctypes.c_size_t, [p]),
                ("bl_array_get_data", p, [p]),
                ("bl_image_write_to_data", r, [p, p, p])):
            fn = getattr(handle, name)
            fn.restype, fn.argtypes = restype, argtypes
            setattr(self, name, fn)


_codec_calls_cache: "list[_CodecCalls]" = []


def _codec_calls() -> _CodecCalls:
    if not _codec_calls_cache:
        _codec_calls_cache.append(_CodecCalls())
    return _codec_calls_cache[0]


def check(function: str, result: int) -> None:
    """Raises Blend2DError for a BLResult other than success."""
    if result:
        raise Blend2DError(function, result, BLEND2D_ERRORS.get(result, "Blend2D error 0x%X" % result))


def _destroy(destroy: Any, core: BLObjectCore) -> None:
    destroy(ctypes.addressof(core))


# The package's own cores by address, so that an int handed in where a path
# or context is expected can be matched to its object: a closed one is
# refused, an open one is locked like the object itself.
_by_address: "weakref.WeakValueDictionary[int, _Core]" = weakref.WeakValueDictionary()


class _Core:
    """One Blend2D core object owned by Python, with the lock its calls take."""

    _destroy_name = ""

    def __init__(self) -> None:
        self._core = BLObjectCore()
        self._finalizer: Optional[weakref.finalize] = None
        self._lock = threading.RLock()

    def _own(self) -> None:
        self._finalizer = weakref.finalize(self, _destroy,
                                           getattr(lib(), self._destroy_name), self._core)
        _by_address[ctypes.addressof(self._core)] = self

    @property
    def address(self) -> int:
        """The address of the core, for another binding's C calls. Unsafe:
        nothing stops this object from being closed, or used by another
        thread, while that call runs; keep it open and to one thread then."""
        if self._finalizer is None or not self._finalizer.alive:
            raise ValueError("%s is closed" % type(self).__name__)
        return ctypes.addressof(self._core)

    def close(self) -> None:
        """Destroys the Blend2D object now (also done by the garbage
        collector). Waits for a call on it in another thread to finish;
        closing twice is harmless."""
        with self._lock:
            if self._finalizer is not None:
                self._finalizer()

    @property
    def closed(self) -> bool:
        """True once close() has run (or the object never finished opening)."""
        return self._finalizer is None or not self._finalizer.alive

    def __enter__(self) -> Any:
        """The object itself; it is closed at the end of the block."""
        return self

    def __exit__(self, *exc: Any) -> None:
        """Closes the object."""
        self.close()


class _Hold:
    """Takes the locks of several objects, in the order of their ids, and
    releases them in reverse; objects named twice are locked once."""

    __slots__ = ("_locks",)

    def __init__(self, objects: Tuple[Any, ...]) -> None:
        found = {}
        for obj in objects:
            if obj is not None:
                found[id(obj)] = obj._lock
        self._locks = [found[key] for key in sorted(found)]

    def __enter__(self) -> None:
        taken = []
        try:
            for held in self._locks:
                held.acquire()
                taken.append(held)
        except BaseException:
            for held in reversed(taken):
                held.release()
            raise

    def __exit__(self, *exc: Any) -> None:
        for held in reversed(self._locks):
            held.release()


def _owner(value: Any) -> Any:
    """The object whose lock a call on "value" takes: the object itself, the
    package's object at an int address, or None for a foreign address."""
    if isinstance(value, (bool, type(None))):
        return None
    if hasattr(value, "_lock"):
        return value
    if isinstance(value, (int, np.integer)):
        return _by_address.get(int(value))
    return None


def hold(*values: Any) -> _Hold:
    """with hold(a, b): the locks of every object among the values (paths,
    contexts, particle systems, or ints naming this package's objects)."""
    return _Hold(tuple(_owner(v) for v in values))


class Path(_Core):
    """A Blend2D path (BLPathCore)."""

    _destroy_name = "bl_path_destroy"

    def __init__(self) -> None:
        super().__init__()
        check("bl_path_init", lib().bl_path_init(ctypes.addressof(self._core)))
        self._own()

    def move_to(self, x: float, y: float) -> "Path":
        """Starts a new figure at (x, y)."""
        with self._lock:
            check("bl_path_move_to", lib().bl_path_move_to(self.address, x, y))
        return self

    def line_to(self, x: float, y: float) -> "Path":
        """A straight segment to (x, y)."""
        with self._lock:
            check("bl_path_line_to", lib().bl_path_line_to(self.address, x, y))
        return self

    def quad_to(self, x1: float, y1: float, x2: float, y2: float) -> "Path":
        """A quadratic Bezier segment with control point (x1, y1) to (x2, y2)."""
        with self._lock:
            check("bl_path_quad_to", lib().bl_path_quad_to(self.address, x1, y1, x2, y2))
        return self

    def cubic_to(self, x1: float, y1: float, x2: float, y2: float, x3: float,
                 y3: float) -> "Path":
        """A cubic Bezier segment with control points (x1, y1), (x2, y2) to (x3, y3)."""
        with self._lock:
            check("bl_path_cubic_to", lib().bl_path_cubic_to(self.address, x1, y1, x2, y2, x3, y3))
        return self

    def conic_to(self, x1: float, y1: float, x2: float, y2: float, w: float) -> "Path":
        """A rational quadratic (conic) segment of weight "w" to (x2, y2)."""
        with self._lock:
            check("bl_path_conic_to", lib().bl_path_conic_to(self.address, x1, y1, x2, y2, w))
        return self

    def close_figure(self) -> "Path":
        """Closes the current figure (bl_path_close)."""
        with self._lock:
            check("bl_path_close", lib().bl_path_close(self.address))
        return self

    def polyline(self, points: Any, closed: bool = False) -> "Path":
        """Appends a move to the first point and lines to the others."""
        arr, n = _arrays.points(points)
        xy = arr.reshape(n, 2).tolist()
        if xy:
            with self._lock:  # one polyline is not interleaved with another thread's
                self.move_to(*xy[0])
                for x, y in xy[1:]:
                    self.line_to(x, y)
                if closed:
                    self.close_figure()
        return self

    def add_path(self, other: PathLike) -> "Path":
        """Appends every entry of "other" unchanged (it may be this path)."""
        with hold(self, other):
            check("bl_path_add_path",
                  lib().bl_path_add_path(self.address, path_address(other), None))
        return self

    def clear(self) -> "Path":
        """Empties the path, keeping its storage."""
        with self._lock:
            check("bl_path_clear", lib().bl_path_clear(self.address))
        return self

    def reset(self) -> "Path":
        """Empties the path and frees its storage."""
        with self._lock:
            check("bl_path_reset", lib().bl_path_reset(self.address))
        return self

    def __len__(self) -> int:
        """The number of entries (commands) in the path."""
        with self._lock:
            return int(lib().bl_path_get_size(self.address))

    @property
    def commands(self) -> np.ndarray:
        """A copy of the command bytes (PATH_CMD_*), one per entry."""
        with self._lock:
            return _path_commands(self.address)

    @property
    def vertices(self) -> np.ndarray:
        """A copy of the vertices, shape (N, 2); close entries are NaN."""
        with self._lock:
            return _path_vertices(self.address)

    def __repr__(self) -> str:
        with self._lock:
            if self.closed:
                return "<quillon.Path closed>"
            return "<quillon.Path with %d entries>" % len(self)


def _path_commands(address: int) -> np.ndarray:
    n = int(lib().bl_path_get_size(address))
    if n == 0:
        return np.empty(0, np.uint8)
    ptr = lib().bl_path_get_command_data(address)
    return np.ctypeslib.as_array((ctypes.c_uint8 * n).from_address(ptr)).copy()


def _path_vertices(address: int) -> np.ndarray:
    n = int(lib().bl_path_get_size(address))
    if n == 0:
        return np.empty((0, 2), np.float64)
    ptr = lib().bl_path_get_vertex_data(address)
    return np.ctypeslib.as_array((ctypes.c_double * (2 * n)).from_address(ptr)).reshape(n, 2).copy()


class Image(_Core):
    """A Blend2D image (BLImageCore), 32-bit premultiplied ARGB by default."""

    _destroy_name = "bl_image_destroy"

    def __init__(self, width: int, height: int, format: int = FORMAT_PRGB32) -> None:
        super().__init__()
        width = _arrays.uint(width, 31, "width")
        height = _arrays.uint(height, 31, "height")
        if not (1 <= width <= _IMAGE_MAX and 1 <= height <= _IMAGE_MAX):
            raise ValueError("an image is 1 to %d pixels on each side, not %d x %d"
                             % (_IMAGE_MAX, width, height))
        if format not in (FORMAT_PRGB32, FORMAT_XRGB32):
            raise ValueError("format must be FORMAT_PRGB32 or FORMAT_XRGB32")
        core = ctypes.addressof(self._core)
        result = lib().bl_image_init_as(core, width, height, format)
        if result:
            lib().bl_image_destroy(core)
            check("bl_image_init_as", result)
        self._own()
        self.width = width
        self.height = height
        self.format = format
        self._contexts: "weakref.WeakSet[Context]" = weakref.WeakSet()

    def close(self) -> None:
        """Ends any Context still drawing into the image, then destroys it."""
        with self._lock:
            for ctx in list(getattr(self, "_contexts", ())):
                ctx.end()
            super().close()

    @classmethod
    def from_array(cls, pixels: np.ndarray, premultiply: bool = True) -> "Image":
        """A new image holding a copy of the (H, W) uint32 0xAARRGGBB array.
        The words are premultiplied on the way in unless "premultiply" is
        False (pass False for words that already are)."""
        arr, width, height, _ = _arrays.pixels(pixels, "pixels", writable=False)
        image = cls(width, height)
        image.write(premultiply_argb(arr) if premultiply else arr)
        return image

    def _view(self) -> np.ndarray:
        # Called with the lock held, which the caller keeps while it uses
        # the view: the pixels cannot be freed under it.
        for ctx in list(self._contexts):
            if not ctx.closed:
                raise ValueError("the image is being drawn by a Context: end it first")
        data = BLImageData()
        check("bl_image_get_data", lib().bl_image_get_data(self.address, ctypes.byref(data)))
        if data.width != self.width or data.height != self.height or not data.pixel_data \
                or abs(data.stride) < 4 * self.width:
            raise Blend2DError("bl_image_get_data", 0, "unexpected image layout")
        rows = (ctypes.c_uint8 * (abs(data.stride) * (self.height - 1) + 4 * self.width))
        start = data.pixel_data if data.stride > 0 else \
            data.pixel_data + data.stride * (self.height - 1)
        raw = np.ctypeslib.as_array(rows.from_address(start))
        view = np.lib.stride_tricks.as_strided(
            raw.view(np.uint8), shape=(self.height, self.width * 4),
            strides=(abs(data.stride), 1))
        if data.stride < 0:
            view = view[::-1]
        return view

    def to_array(self, unpremultiply: bool = False) -> np.ndarray:
        """A copy of the pixels as an (H, W) uint32 array of 0xAARRGGBB words
        (premultiplied as stored, or not when "unpremultiply" is True)."""
        with self._lock:
            # A copy made under the lock: the view itself may be the image's
            # memory, which a writer or close() could change or free.
            words = np.array(self._view(), copy=True, order="C").view(np.uint32)
        words = words.reshape(self.height, self.width)
        return unpremultiply_argb(words) if unpremultiply else words

    def write(self, pixels: np.ndarray) -> None:
        """Copies an (H, W) uint32 array of premultiplied words into the image."""
        arr, width, height, _ = _arrays.pixels(pixels, "pixels", writable=False)
        if (width, height) != (self.width, self.height):
            raise ValueError("pixels are %d x %d, the image %d x %d"
                             % (width, height, self.width, self.height))
        # Row by row from wherever the rows lie (a view of a larger image
        # is copied once, not gathered first).
        with self._lock:
            self._view().view(np.uint32)[...] = arr

    def write_png(self, file_name: Union[str, os.PathLike]) -> None:
        """Writes the image as PNG (bl_image_write_to_file, no codec given)."""
        name = os.fspath(file_name)
        if not str(name).lower().endswith(".png"):
            raise ValueError("the file name must end in .png")
        with self._lock:
            for ctx in list(self._contexts):
                if not ctx.closed:
                    raise ValueError("the image is being drawn by a Context: end it first")
            check("bl_image_write_to_file",
                  lib().bl_image_write_to_file(self.address, os.fsencode(name), None))

    def encode_png(self) -> bytes:
        """The image as PNG file bytes, encoded in memory by Blend2D's PNG
        codec (bl_image_write_to_data); the same bytes write_png() stores."""
        for ctx in list(self._contexts):
            if not ctx.closed:
                raise ValueError("the image is being drawn by a Context: end it first")
        calls = _codec_calls()
        codec, array = BLObjectCore(), BLObjectCore()
        check("bl_image_codec_init", calls.bl_image_codec_init(ctypes.addressof(codec)))
        try:
            check("bl_image_codec_find_by_name", calls.bl_image_codec_find_by_name(
                ctypes.addressof(codec), b"PNG", 3, None))
            check("bl_array_init", calls.bl_array_init(ctypes.addressof(array), _ARRAY_UINT8))
            try:
                check("bl_image_write_to_data", calls.bl_image_write_to_data(
                    self.address, ctypes.addressof(array), ctypes.addressof(codec)))
                size = int(calls.bl_array_get_size(ctypes.addressof(array)))
                data = calls.bl_array_get_data(ctypes.addressof(array))
                return ctypes.string_at(data, size) if size else b""
            finally:
                calls.bl_array_destroy(ctypes.addressof(array))
        finally:
            calls.bl_image_codec_destroy(ctypes.addressof(codec))

    def __repr__(self) -> str:
        return "<quillon.Image %d x %d%s>" % (self.width, self.height,
                                              " closed" if self.closed else "")


class Context(_Core):
    """A Blend2D rendering context drawing into an Image. Use it as a context
    manager, or call end(), before reading or saving the image."""

    _destroy_name = "bl_context_destroy"

    def __init__(self, image: Image) -> None:
        super().__init__()
        if not isinstance(image, Image):
            raise TypeError("a Context draws into a quillon.Image")
        core = ctypes.addressof(self._core)
        with image._lock:
            result = lib().bl_context_init_as(core, image.address, None)
            if result:
                lib().bl_context_destroy(core)
                check("bl_context_init_as", result)
            self._own()
            self.image = image
            image._contexts.add(self)

    def end(self) -> None:
        """Finishes drawing and releases the context (again: nothing)."""
        with self._lock:
            if not self.closed:
                try:
                    check("bl_context_end", lib().bl_context_end(self.address))
                finally:
                    self.close()

    def __exit__(self, *exc: Any) -> None:
        """Ends the context (see end())."""
        self.end()

    def __repr__(self) -> str:
        if self.closed:
            return "<quillon.Context closed>"
        return "<quillon.Context drawing into a %d x %d Image>" % (self.image.width,
                                                                   self.image.height)

    def set_comp_op(self, comp_op: int) -> None:
        """How later drawing combines with the pixels: COMP_OP_SRC_OVER or COMP_OP_SRC_COPY."""
        if comp_op not in (COMP_OP_SRC_OVER, COMP_OP_SRC_COPY):
            raise ValueError("comp_op must be COMP_OP_SRC_OVER or COMP_OP_SRC_COPY")
        with self._lock:
            check("bl_context_set_comp_op", lib().bl_context_set_comp_op(self.address, comp_op))

    def set_stroke_width(self, width: float) -> None:
        """The width of later strokes, in user units."""
        with self._lock:
            check("bl_context_set_stroke_width",
                  lib().bl_context_set_stroke_width(self.address, float(width)))

    def clear_all(self) -> None:
        """Sets every pixel to transparent black."""
        with self._lock:
            check("bl_context_clear_all", lib().bl_context_clear_all(self.address))

    def fill_all(self, color: int) -> None:
        """Fills the whole image with a 0xAARRGGBB color."""
        with self._lock:
            check("bl_context_fill_all_rgba32",
                  lib().bl_context_fill_all_rgba32(self.address, _arrays.uint(color, 32, "color")))

    def fill_circle(self, cx: float, cy: float, r: float, color: int) -> None:
        """Fills the circle of centre (cx, cy) and radius r."""
        circle = BLCircle(cx, cy, r)
        with self._lock:
            check("bl_context_fill_geometry_rgba32", lib().bl_context_fill_geometry_rgba32(
                self.address, _GEOMETRY_CIRCLE, ctypes.addressof(circle),
                _arrays.uint(color, 32, "color")))

    def fill_rect(self, x: float, y: float, w: float, h: float, color: int) -> None:
        """Fills the rectangle with corner (x, y), width w and height h."""
        rect = BLRect(x, y, w, h)
        with self._lock:
            check("bl_context_fill_geometry_rgba32", lib().bl_context_fill_geometry_rgba32(
                self.address, _GEOMETRY_RECTD, ctypes.addressof(rect),
                _arrays.uint(color, 32, "color")))

    def clip_to_rect(self, x: float, y: float, w: float, h: float) -> None:
        """Keeps drawing inside the rectangle until restore_clipping()."""
        rect = BLRect(x, y, w, h)
        with self._lock:
            check("bl_context_clip_to_rect_d",
                  lib().bl_context_clip_to_rect_d(self.address, ctypes.addressof(rect)))

    def restore_clipping(self) -> None:
        """Ends the clipping of clip_to_rect()."""
        with self._lock:
            check("bl_context_restore_clipping", lib().bl_context_restore_clipping(self.address))

    def fill_path(self, path: PathLike, color: int,
                  origin: Tuple[float, float] = (0.0, 0.0)) -> None:
        """Fills "path" (non-zero rule), shifted by "origin"."""
        with hold(self, path):
            check("bl_context_fill_path_d_rgba32", lib().bl_context_fill_path_d_rgba32(
                self.address, ctypes.byref(BLPoint(*origin)), path_address(path),
                _arrays.uint(color, 32, "color")))

    def stroke_path(self, path: PathLike, color: int, width: Optional[float] = None,
                    origin: Tuple[float, float] = (0.0, 0.0)) -> None:
        """Strokes "path", shifted by "origin"; "width" sets the stroke width first."""
        with hold(self, path):
            if width is not None:
                self.set_stroke_width(width)
            check("bl_context_stroke_path_d_rgba32", lib().bl_context_stroke_path_d_rgba32(
                self.address, ctypes.byref(BLPoint(*origin)), path_address(path),
                _arrays.uint(color, 32, "color")))


PathLike = Union[Path, int]
ContextLike = Union[Context, int]


def _foreign(value: Any, kind: str) -> int:
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
        raise TypeError("expected a quillon.%s or the address of a BL%sCore, not %s"
                        % (kind, kind, type(value).__name__))
    address = int(value)
    if address <= 0 or address % 8:
        raise ValueError("%r is not the address of a BL%sCore" % (value, kind))
    own = _by_address.get(address)
    if own is not None:
        if type(own).__name__ != kind:
            raise TypeError("%#x is the address of a quillon.%s, not of a %s"
                            % (address, type(own).__name__, kind))
        if own.closed:
            raise ValueError("%#x is the address of a closed quillon.%s" % (address, kind))
    return address


def path_address(path: PathLike) -> int:
    """The BLPathCore address of a quillon.Path, or a foreign path's address
    (unsafe: see the module's documentation)."""
    if isinstance(path, Path):
        return path.address
    return _foreign(path, "Path")


def context_address(ctx: ContextLike) -> int:
    """The BLContextCore address of a quillon.Context, or a foreign one's."""
    if isinstance(ctx, Context):
        return ctx.address
    return _foreign(ctx, "Context")


def premultiply_argb(words: np.ndarray) -> np.ndarray:
    """0xAARRGGBB words premultiplied by their alpha (rounded), as PRGB32 stores them."""
    w = np.asarray(words, dtype=np.uint32)
    a = (w >> 24) & 0xFF
    out = w & np.uint32(0xFF000000)
    for shift in (16, 8, 0):
        c = (w >> shift) & 0xFF
        out |= np.left_shift(((c * a + 127) // 255).astype(np.uint32), np.uint32(shift))
    return out


def unpremultiply_argb(words: np.ndarray) -> np.ndarray:
    """The inverse of premultiply_argb() (transparent pixels become 0)."""
    w = np.asarray(words, dtype=np.uint32)
    a = ((w >> 24) & 0xFF).astype(np.uint32)
    safe = np.maximum(a, 1)
    out = w & np.uint32(0xFF000000)
    for shift in (16, 8, 0):
        c = (w >> shift) & 0xFF
        v = np.minimum((c * 255 + safe // 2) // safe, 255).astype(np.uint32)
        out |= np.left_shift(np.where(a == 0, 0, v).astype(np.uint32), np.uint32(shift))
    return out
