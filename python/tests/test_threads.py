"""One object shared by several threads, and closed under them: every call
takes turns on the object's lock, so nothing runs on freed or half-updated
native state (run under the sanitizer build, a fault here is a report)."""

import threading

import numpy as np
import pytest

import quillon as q
from conftest import SANITIZED

ROUNDS = 60 if SANITIZED else 200


def hammer(workers, seconds_cap=60.0):
    """Runs each worker on its own thread, all released at once; re-raises
    the first exception other than the "closed" ValueError."""
    start = threading.Barrier(len(workers))
    errors = []

    def run(fn):
        start.wait()
        try:
            fn()
        except BaseException as exc:  # noqa: B902 - reported below
            errors.append(exc)

    threads = [threading.Thread(target=run, args=(fn,)) for fn in workers]
    for t in threads:
        t.start()
    for t in threads:
        t.join(seconds_cap)
        assert not t.is_alive(), "a worker hangs"
    if errors:
        raise errors[0]


def refusals_allowed(fn):
    """Runs fn, taking Blend2D's refusal of geometry as an answer: calls
    that other threads interleave can leave a figure without its move-to,
    which the real Blend2D refuses (BL_ERROR_NO_MATCHING_VERTEX). What the
    tests check is that every call returns and nothing is corrupted."""
    try:
        fn()
    except q.Blend2DError:
        pass


def until_closed(fn):
    """Calls fn until the object it uses is closed by another thread."""
    def loop():
        for _ in range(ROUNDS * 50):
            try:
                fn()
            except ValueError as exc:
                assert "closed" in str(exc)
                return
    return loop


def test_particle_system_shared_by_four_threads():
    ps = q.ParticleSystem(500)
    ps.add_gravity(0, 9.8)
    img = q.Image(64, 64)
    ctx = q.Context(img)

    def emitter():
        for _ in range(ROUNDS):
            ps.emit(20, 32, 32, speed=(5, 20), life=(0.1, 0.5))

    def stepper():
        for _ in range(ROUNDS):
            ps.update(1 / 60)
            assert 0 <= ps.count <= 500

    def renderer():
        for _ in range(ROUNDS):
            ps.render(ctx)

    def clearer():
        for i in range(ROUNDS):
            if i % 10 == 0:
                ps.clear()
                ps.add_drag(0.1)

    hammer([emitter, stepper, renderer, clearer])
    ctx.end()
    assert ps.count <= 500
    ps.close()


def test_particle_system_closed_while_others_call_it():
    for _ in range(10):
        ps = q.ParticleSystem(200)
        img = q.Image(32, 32)
        ctx = q.Context(img)

        def closer():
            for _ in range(20):
                ps.emit(10, 16, 16, speed=3)
            ps.close()
            ps.close()  # twice is harmless

        hammer([until_closed(lambda: ps.emit(10, 1, 1, speed=2)),
                until_closed(lambda: ps.update(0.01)),
                until_closed(lambda: ps.render(ctx)), closer])
        assert ps.closed
        ctx.end()


def test_paths_grown_trimmed_and_drawn_by_several_threads():
    src = q.Path().polyline(np.column_stack([np.linspace(0, 60, 50), np.linspace(0, 60, 50) ** 0.5]))
    dst = q.Path()
    img = q.Image(64, 64)
    ctx = q.Context(img)
    limit = 400  # entries: the stand-in strokes a long path slowly

    def grower():
        for i in range(ROUNDS):
            refusals_allowed(lambda: src.move_to(i % 60, 0).line_to(60, i % 60)
                             .cubic_to(1, 2, 3, 4, 5, 6))

    def trimmer():
        for i in range(ROUNDS):
            q.trim_path(src, 0.1, 0.9, dst=dst)
            if len(dst) > limit:
                dst.reset()

    def painter():
        for _ in range(ROUNDS):
            refusals_allowed(lambda: ctx.stroke_path(src, 0xFFFFFFFF, width=1.0))
            refusals_allowed(lambda: ctx.fill_path(dst, 0x80FF0000))

    def builder():
        pts = np.array([[1.0, 1.0], [30, 2], [20, 30], [1, 1]])
        cam = q.Camera(viewport_width=64, viewport_height=64, pitch=30, distance=200)
        for _ in range(ROUNDS):
            q.build_polygon(dst, pts, [0, 4])
            q.camera_path(dst, cam, dst=src)

    def reader():
        for _ in range(ROUNDS):
            v, c = src.vertices, src.commands  # two calls: others may run between
            assert v.ndim == 2 and c.ndim == 1
            if len(src) < limit // 2:
                src.add_path(src)  # itself: one lock, taken once
            else:
                src.clear()

    hammer([grower, trimmer, painter, builder, reader])
    ctx.end()


def test_path_closed_while_another_thread_uses_it():
    for _ in range(10):
        path = q.Path().polyline(np.random.default_rng(2).uniform(0, 50, (200, 2)))
        out = q.Path()
        img = q.Image(50, 50)
        ctx = q.Context(img)

        def closer():
            for _ in range(5):
                path.line_to(1, 1)
            path.close()

        hammer([until_closed(lambda: q.trim_path(path, 0, 1, dst=out)),
                until_closed(lambda: ctx.fill_path(path, 0xFFFFFFFF)),
                until_closed(lambda: path.vertices),
                until_closed(lambda: q.trim_path(path.address if not path.closed else path,
                                                 0.2, 0.4)),
                closer])
        ctx.end()
        # Its address is refused now, as the object is.
        with pytest.raises(ValueError, match="closed"):
            q.trim_path(out, 0, 1, dst=ctypes_address(path))


def ctypes_address(path):
    import ctypes
    return ctypes.addressof(path._core)


def test_context_and_image_closed_under_drawing_threads():
    for _ in range(10):
        img = q.Image(48, 48)
        ctx = q.Context(img)
        path = q.Path().polyline([[1, 1], [40, 5], [20, 40]], closed=True)

        def closer():
            for _ in range(10):
                ctx.fill_circle(10, 10, 5, 0xFF00FF00)
            if np.random.default_rng().integers(2):
                img.close()  # ends the context first
            else:
                ctx.end()
                img.close()

        hammer([until_closed(lambda: ctx.fill_path(path, 0xFFFF0000)),
                until_closed(lambda: ctx.stroke_path(path, 0xFF0000FF, width=2)),
                until_closed(lambda: ctx.fill_all(0xFF000000)),
                closer])
        assert ctx.closed and img.closed


def test_image_read_by_threads_while_one_writes():
    img = q.Image(40, 30)
    words = np.full((30, 40), 0xFF102030, np.uint32)
    img.write(words)  # a new image's memory holds whatever was there before

    def writer():
        for i in range(ROUNDS):
            img.write(words if i % 2 else words ^ np.uint32(0x00FFFFFF))

    def reader():
        for _ in range(ROUNDS):
            a = img.to_array()
            # Each read sees one whole write, never half of two.
            assert len(np.unique(a)) == 1

    hammer([writer, reader, reader])
    img.close()
