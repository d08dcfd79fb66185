"""libvelket and libtorvik wrappers against the bare C calls."""

import ctypes
import math

import numpy as np
import pytest

import quillon as q
from conftest import ptr


def test_easing_scalar_and_vectorised(c):
    xs = np.array([[-0.5, 0.0, 0.1], [0.5, 0.99, 1.5]])
    ys = q.cubic_bezier(xs, 0.42, 0.0, 0.58, 1.0)
    assert ys.shape == xs.shape
    assert ys.tolist() == [[c.velket_cubic_bezier_evaluate(x, 0.42, 0.0, 0.58, 1.0)
                            for x in row] for row in xs.tolist()]
    assert isinstance(q.cubic_bezier(0.5, 0.42, 0.0, 0.58, 1.0), float)
    assert q.cubic_bezier(0.5, 0.42, 0.0, 0.58, 1.0) == pytest.approx(0.5, abs=1e-6)
    ts = np.linspace(0, 2, 9)
    assert q.spring(ts, 100.0, 20.0).tolist() == [
        c.velket_spring_evaluate(t, 100.0, 20.0, 1.0, 0.0) for t in ts.tolist()]
    assert q.spring(1.0, 100.0, 20.0) == pytest.approx(1 - 11 * math.exp(-10), abs=1e-12)


def _render(ps_handle, c, emit):
    img = q.Image(64, 64)
    with q.Context(img) as ctx:
        ctx.fill_all(0xFF000000)
        emit()
        c.velket_ps_update(ps_handle, 0.05)
        c.velket_ps_render(ps_handle, ctx.address)
    return img.to_array()


def test_particles_match_the_c_calls(c, libc):
    args = (30, 32.0, 32.0, 50.0, 200.0, 0.0, 6.28, 0.5, 2.0, 4.0, 1.0, 0xFFFF8000, 0x2000FF00)
    with q.ParticleSystem(100) as ours:
        ours.add_gravity(0, 30)
        ours.add_drag(0.5)
        ours.add_attractor(10, 10, 500)
        libc.srand(7)
        a = _render(ours.handle, c, lambda: ours.emit(
            30, 32.0, 32.0, speed=(50.0, 200.0), angle=(0.0, 6.28), life=(0.5, 2.0),
            size=(4.0, 1.0), color=(0xFFFF8000, 0x2000FF00)))
        assert ours.count == len(ours) == 30
    raw = c.velket_ps_create(100)
    try:
        c.velket_ps_add_gravity(raw, 0, 30)
        c.velket_ps_add_drag(raw, 0.5)
        c.velket_ps_add_attractor(raw, 10, 10, 500)
        libc.srand(7)
        b = _render(raw, c, lambda: c.velket_ps_emit(raw, *args))
    finally:
        c.velket_ps_destroy(raw)
    assert a.any() and np.array_equal(a, b)


def test_particle_system_lifetime():
    ps = q.ParticleSystem(10)
    ps.emit(2**40, 0, 0, life=1.0)
    assert ps.count == 10  # a uint64 count, capped at the limit
    ps.update(2.0)
    assert ps.count == 0
    ps.close()
    ps.close()  # closing twice is harmless
    assert ps.closed
    for use in (lambda: ps.count, lambda: ps.emit(1, 0, 0), lambda: ps.update(1),
                lambda: ps.add_drag(1), lambda: ps.clear()):
        with pytest.raises(ValueError, match="closed"):
            use()
    with q.ParticleSystem() as ps2:
        ps2.emit(5, 0, 0)
        ps2.clear()
        assert ps2.count == 0
    assert ps2.closed


def test_trim_path_matches_the_c_call(c):
    src = q.Path().polyline([[0, 0], [100, 0], [100, 100]])
    ours = q.trim_path(src, 0.25, 0.75)
    raw = q.Path()
    assert c.velket_trim_path(src.address, raw.address, 0.25, 0.75, 0.0) == 0
    assert np.array_equal(ours.vertices, raw.vertices)
    assert ours.vertices.tolist() == [[50, 0], [100, 0], [100, 50]]
    apart = q.trim_path(src, 0.0, 0.5)
    q.trim_path(src, 0.0, 0.5, dst=src)  # the same path in and out
    assert np.array_equal(src.vertices[3:], apart.vertices)
    with pytest.raises(ValueError, match="NaN"):
        q.trim_path(src, float("nan"), 1.0)


CAM = dict(viewport_width=800, viewport_height=600, fov=60, pitch=50, bearing=20, roll=5,
           distance=400, center_x=10, center_y=20)


def test_camera_points_and_segments_match_the_c_call(c):
    cam = q.Camera(**CAM)
    rng = np.random.default_rng(3)
    pts = rng.uniform(-600, 600, (500, 2))
    for width, wrapper, name in [(2, q.camera_points, "torvik_transform_points"),
                                 (4, q.camera_segments, "torvik_transform_lines")]:
        src = pts.reshape(-1, width)
        n = len(src)
        out, sc, vis = np.empty_like(src), np.empty(n), np.empty(n, np.uint8)
        count = getattr(c, name)(ptr(src), ptr(out), ptr(sc), ptr(vis), n, ctypes.byref(cam))
        got = wrapper(src, cam)
        assert 0 < got.visible_count < n and got.visible_count == count
        assert np.array_equal(got.coords, out) and np.array_equal(got.scales, sc)
        assert got.visible.dtype == bool and np.array_equal(got.visible, vis.astype(bool))
        inplace = src.copy()
        assert np.array_equal(wrapper(inplace, cam, out=inplace).coords, out)
    with pytest.raises(ValueError, match="multiple of 4"):
        q.camera_segments(np.zeros(6), cam)
    with pytest.raises(ValueError, match="scales holds"):
        q.camera_points(pts, cam, scales=np.empty(3))
    with pytest.raises(TypeError, match="PerspectiveCamera"):
        q.camera_points(pts, None)
    x, y, s, visible = q.project_point(10, 20, cam)
    assert visible and (x, y, s) == pytest.approx((400, 300, 1.0))


def test_camera_hides_points_behind_the_near_plane():
    cam = q.Camera(800, 600, 90, 0, 0, 0, 5, 0, 0, 1)  # near 1 stands for 10
    got = q.camera_points([0.0, 0.0, 100.0, 50.0], cam)
    assert got.visible_count == 0 and not got.visible.any() and not got.coords.any()
    cam.distance, cam.near_plane = 300, 0
    got = q.camera_points([0.0, 0.0, 100.0, 50.0], cam)
    assert got.visible_count == 2 and got.coords[2:].tolist() == pytest.approx([500.0, 250.0])


def test_camera_path_matches_the_c_call(c):
    cam = q.Camera(**CAM)
    src = q.Path().polyline([[0, 0], [100, 0], [100, 100], [0, 100]], closed=True)
    ours, mean = q.camera_path(src, cam)
    raw, m = q.Path(), ctypes.c_double()
    assert c.torvik_transform_path(src.address, raw.address, ctypes.byref(m),
                                   ctypes.byref(cam)) == 0
    assert np.array_equal(ours.vertices, raw.vertices, equal_nan=True)
    assert np.array_equal(ours.commands, raw.commands) and mean == m.value
    same, _ = q.camera_path(src, cam, dst=src)
    assert same is src and np.array_equal(src.vertices, raw.vertices, equal_nan=True)
    assert q.camera_path(q.Path(), cam)[1] == 1.0


def _texture():
    t = np.arange(36 * 18, dtype=np.uint32).reshape(18, 36)
    return (t * 2654435761 % 2**24).astype(np.uint32) | np.uint32(0xFF000000)


def test_globe_matches_the_c_call(c):
    tex = _texture()
    want = np.full((60, 80), 0xFF102030, np.uint32)
    assert c.torvik_render_globe(ptr(want), 80, 60, 320, ptr(tex), 36, 18, 144,
                                 40.0, 30.0, 25.0, 15.0, 20.0, 0xFF5CB8FF) == 0
    got = np.full((60, 80), 0xFF102030, np.uint32)
    assert q.render_globe(got, tex, 40.0, 30.0, 25.0, 15.0, 20.0, 0xFF5CB8FF) is got
    assert np.array_equal(got, want)
    # Into a window of a larger picture: only the window changes, as if it
    # were a picture of its own; a flipped view is drawn upside down.
    big = np.zeros((100, 120), np.uint32)
    big[20:80, 30:110] = 0xFF102030
    q.render_globe(big[20:80, 30:110], tex, 40.0, 30.0, 25.0, 15.0, 20.0, 0xFF5CB8FF)
    assert np.array_equal(big[20:80, 30:110], want)
    big[20:80, 30:110] = 0
    assert not big.any()
    flipped = np.full((60, 80), 0xFF102030, np.uint32)
    q.render_globe(flipped[::-1], tex, 40.0, 30.0, 25.0, 15.0, 20.0, 0xFF5CB8FF)
    assert np.array_equal(flipped[::-1], want)
    # A texture view with spaced rows is read through its stride.
    wide = np.zeros((18, 50), np.uint32)
    wide[:, :36] = tex
    again = np.full((60, 80), 0xFF102030, np.uint32)
    q.render_globe(again, wide[:, :36], 40.0, 30.0, 25.0, 15.0, 20.0, 0xFF5CB8FF)
    assert np.array_equal(again, want)


def test_easing_arrays_match_the_scalar_calls_bit_for_bit(c):
    rng = np.random.default_rng(5)
    xs = np.concatenate([rng.uniform(-0.2, 1.2, 5000), [np.nan, np.inf, -np.inf, 0.0, -0.0, 1.0]])
    for fn, scalar, args in [(q.cubic_bezier, c.velket_cubic_bezier_evaluate, (0.9, -3, 0.1, 4)),
                             (q.spring, c.velket_spring_evaluate, (100.0, 8.0, 2.0, 1.5)),
                             (q.spring, c.velket_spring_evaluate, (100.0, 60.0, 1.0, 0.0))]:
        got = fn(xs.reshape(-1, 2), *args)
        assert got.shape == (len(xs) // 2, 2)
        want = np.array([scalar(v, *map(float, args)) for v in xs.tolist()])
        assert got.ravel().view(np.uint64).tolist() == want.view(np.uint64).tolist()
        # float32, Fortran order and lists are converted; the input is untouched.
        f32 = xs[:100].astype(np.float32)
        assert np.array_equal(fn(f32, *args), fn(f32.astype(np.float64), *args), equal_nan=True)
        fortran = np.asfortranarray(xs[:100].reshape(10, 10))
        assert np.array_equal(fn(fortran, *args), fn(np.ascontiguousarray(fortran), *args),
                              equal_nan=True)
        assert fn([], *args).shape == (0,)
    with pytest.raises(TypeError, match="real numbers"):
        q.spring(np.array(["a"]), 1, 1)
