"""libvelket: easing curves, particle systems, path trimming."""

from __future__ import annotations

import threading
import weakref
from typing import Any, Optional, Tuple, Union, overload

import numpy as np

from . import _arrays
from ._native import lib
from .blend2d import ContextLike, Path, PathLike, context_address, hold, path_address
from .errors import QuillonError

Number = Union[float, int]


def _evaluate(scalar: Any, array: Any, x: Any, rest: Tuple[float, ...], name: str) -> Any:
    """A float for a number; for an array (or list), one C call over all its
    values into a new float64 array of its shape (the same bits as the
    scalar call per element)."""
    if np.ndim(x) == 0 and not isinstance(x, np.ndarray):
        return float(scalar(float(x), *rest))
    src = _arrays._as_array(x, np.float64, name)
    out = np.empty(src.shape, np.float64)
    if src.size:
        rc = array(_arrays.address(src), _arrays.address(out), src.size, *rest)
        if rc != 0:
            raise QuillonError("velket easing", rc, "null array")
    return out


@overload
def cubic_bezier(x: float, x1: float, y1: float, x2: float, y2: float) -> float: ...
@overload
def cubic_bezier(x: np.ndarray, x1: float, y1: float, x2: float, y2: float) -> np.ndarray: ...


def cubic_bezier(x: Any, x1: float, y1: float, x2: float, y2: float) -> Any:
    """The timing curve through (0, 0), (x1, y1), (x2, y2), (1, 1) at progress
    "x": a float for a number, an array of the same shape for an array."""
    rest = (float(x1), float(y1), float(x2), float(y2))
    c = lib()
    return _evaluate(c.velket_cubic_bezier_evaluate, c.velket_cubic_bezier_evaluate_array, x,
                     rest, "x")


@overload
def spring(t: float, stiffness: float, damping: float, mass: float = ...,
           velocity: float = ...) -> float: ...
@overload
def spring(t: np.ndarray, stiffness: float, damping: float, mass: float = ...,
           velocity: float = ...) -> np.ndarray: ...


def spring(t: Any, stiffness: float, damping: float, mass: float = 1.0,
           velocity: float = 0.0) -> Any:
    """A damped spring's position at time "t" (0 at the start, 1 at rest)."""
    rest = (float(stiffness), float(damping), float(mass), float(velocity))
    c = lib()
    return _evaluate(c.velket_spring_evaluate, c.velket_spring_evaluate_array, t, rest, "t")


def _pair(value: Any, name: str) -> Tuple[float, float]:
    if np.ndim(value) == 0:
        v = float(value)
        return v, v
    values = [float(v) for v in value]
    if len(values) != 2:
        raise ValueError("%s is a number or a (low, high) pair" % name)
    return values[0], values[1]


def _destroy(destroy: Any, handle: int) -> None:
    destroy(handle)


class ParticleSystem:
    """A velket particle system: forces, emission, time steps and rendering.

    Destroyed by close(), at the end of a "with" block or by the garbage
    collector, whichever comes first; using it afterwards raises ValueError.
    Every call on it, and close(), takes the system's re-entrant lock, so it
    may be shared between threads (their calls take turns)."""

    def __init__(self, max_particles: int = 0) -> None:
        limit = _arrays.uint(max_particles, 64, "max_particles")
        libs = lib()
        handle = libs.velket_ps_create(limit)
        if not handle:
            raise MemoryError("velket_ps_create returned no system")
        self._handle: Optional[int] = handle
        self._lock = threading.RLock()
        self._finalizer = weakref.finalize(self, _destroy, libs.velket_ps_destroy, handle)

    @property
    def handle(self) -> int:
        """The ParticleSystem* address."""
        if not self._finalizer.alive:
            raise ValueError("the ParticleSystem is closed")
        return self._handle  # type: ignore[return-value]

    def close(self) -> None:
        """Destroys the system now; waits for a call on it in another thread."""
        with self._lock:
            self._finalizer()

    @property
    def closed(self) -> bool:
        """True once close() has run."""
        return not self._finalizer.alive

    def __enter__(self) -> "ParticleSystem":
        """The system itself; close() runs at the end of the block."""
        return self

    def __exit__(self, *exc: Any) -> None:
        """Closes the system."""
        self.close()

    def clear(self) -> None:
        """Removes every particle and every force."""
        with self._lock:
            lib().velket_ps_clear(self.handle)

    def add_gravity(self, gx: float, gy: float) -> None:
        """Adds a constant acceleration (gx, gy)."""
        gx, gy = float(gx), float(gy)
        with self._lock:
            lib().velket_ps_add_gravity(self.handle, gx, gy)

    def add_drag(self, drag: float) -> None:
        """Adds a drag force proportional to velocity."""
        drag = float(drag)
        with self._lock:
            lib().velket_ps_add_drag(self.handle, drag)

    def add_attractor(self, x: float, y: float, strength: float) -> None:
        """Adds a point (x, y) that pulls particles with "strength"."""
        x, y, strength = float(x), float(y), float(strength)
        with self._lock:
            lib().velket_ps_add_attractor(self.handle, x, y, strength)

    def emit(self, count: int, x: float, y: float, speed: Any = (0.0, 0.0),
             angle: Any = (0.0, 6.283185307179586), life: Any = (1.0, 1.0),
             size: Any = (1.0, 1.0), color: Any = (0xFFFFFFFF, 0xFFFFFFFF)) -> None:
        """Emits up to "count" particles at (x, y). "speed", "angle" (radians)
        and "life" are numbers or (low, high) ranges drawn from; "size" and
        "color" (0xAARRGGBB) are the (start, end) values of each particle."""
        n = _arrays.uint(count, 64, "count")
        s0, s1 = _pair(speed, "speed")
        a0, a1 = _pair(angle, "angle")
        l0, l1 = _pair(life, "life")
        z0, z1 = _pair(size, "size")
        if np.ndim(color) == 0:
            c0 = c1 = _arrays.uint(color, 32, "color")
        else:
            c0, c1 = (_arrays.uint(c, 32, "color") for c in color)
        x, y = float(x), float(y)
        with self._lock:
            lib().velket_ps_emit(self.handle, n, x, y, s0, s1, a0, a1, l0, l1, z0, z1, c0, c1)

    def update(self, dt: float) -> None:
        """Advances every particle by "dt"."""
        dt = float(dt)
        with self._lock:
            lib().velket_ps_update(self.handle, dt)

    @property
    def count(self) -> int:
        """Live particles."""
        with self._lock:
            return int(lib().velket_ps_get_count(self.handle))

    def __len__(self) -> int:
        """Live particles, as "count"."""
        return self.count

    def __repr__(self) -> str:
        with self._lock:
            if self.closed:
                return "<quillon.ParticleSystem closed>"
            return "<quillon.ParticleSystem with %d particles>" % self.count

    def render(self, context: ContextLike) -> None:
        """Fills one circle per particle into a Blend2D context."""
        with hold(self, context):
            lib().velket_ps_render(self.handle, context_address(context))


def trim_path(src: PathLike, start: float, end: float, offset: float = 0.0,
              dst: Optional[PathLike] = None) -> PathLike:
    """Appends to "dst" (a new Path when None) the piece of "src" between the
    fractions "start" and "end" of its length, shifted by "offset"."""
    values = [float(start), float(end), float(offset)]
    if any(v != v for v in values):
        raise ValueError("start, end and offset must not be NaN")
    out = Path() if dst is None else dst
    with hold(src, out):
        rc = lib().velket_trim_path(path_address(src), path_address(out), *values)
    if rc != 0:
        raise QuillonError("velket_trim_path", rc, "null path")
    return out
