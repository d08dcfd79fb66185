"""What the wrappers accept and refuse before any C call is made."""

import numpy as np
import pytest

import quillon as q


def lonlat(n, seed=1):
    rng = np.random.default_rng(seed)
    return np.column_stack([rng.uniform(-180, 180, n), rng.uniform(-80, 80, n)])


@pytest.mark.parametrize("fn", [
    lambda a, **k: q.project(a, **k),
    lambda a, **k: q.transform(a, q.fit((-180, -90, 180, 90), 800, 400), **k),
    lambda a, **k: q.camera_points(a, q.Camera(distance=500), **k).coords,
])
def test_every_pair_of_a_large_array_comes_back(fn):
    a = lonlat(1_000_000)
    out = fn(a)
    assert out.shape == (1_000_000, 2)
    # The last pair was computed, not left as whatever np.empty held.
    assert np.array_equal(out[-1:], fn(a[-1:].copy()))
    flat = fn(a.ravel())
    assert flat.shape == (2_000_000,)
    assert np.array_equal(flat, out.ravel())


@pytest.mark.parametrize("bad,error,words", [
    (np.zeros(5), ValueError, "multiple of 2"),
    (np.zeros((4, 3)), ValueError, "(N, 2)"),
    (np.zeros((2, 2, 2)), ValueError, "(N, 2)"),
    ("text", TypeError, "real numbers"),
    (np.zeros((4, 2), complex), TypeError, "real numbers"),
    (np.zeros((4, 2), bool), TypeError, "real numbers"),
    ([[1.0, "x"]], TypeError, "real numbers"),
])
def test_point_arrays_are_checked(bad, error, words):
    for fn in (q.project, q.mercator_inverse, lambda a: q.transform(a, None),
               lambda a: q.camera_points(a, q.Camera())):
        with pytest.raises(error, match=words.replace("(", r"\(").replace(")", r"\)")):
            fn(bad)


@pytest.mark.parametrize("make", [
    lambda a: a.astype(np.float32),
    lambda a: np.round(a).astype(np.int32),
    lambda a: np.round(a).astype(np.uint16) if (a >= 0).all() else np.round(a).astype(np.int64),
    lambda a: a.astype(">f8"),
    lambda a: np.asfortranarray(a),
    lambda a: np.repeat(a, 2, axis=0)[::2],
    lambda a: a.tolist(),
])
def test_other_numbers_and_layouts_are_converted_by_a_copy(make):
    a = lonlat(64)
    given = make(a)
    want = np.ascontiguousarray(np.asarray(given, np.float64))
    before = np.array(given, copy=True)
    for fn in (q.project, lambda v: q.transform(v, q.fit((-180, -90, 180, 90), 80, 40)),
               lambda v: q.camera_points(v, q.Camera(distance=500)).coords):
        got = fn(given)
        assert got.dtype == np.float64 and got.flags.c_contiguous
        assert np.array_equal(got, fn(want))
    assert np.array_equal(np.asarray(given), before)  # the caller's array is left alone
    # out= stays strict: a float32 output would hide a narrowing.
    with pytest.raises(TypeError, match="float64"):
        q.project(a, out=np.empty((64, 2), np.float32))
    with pytest.raises(ValueError, match="contiguous"):
        q.project(a, out=np.asfortranarray(np.empty((64, 2))))


def test_out_argument():
    a = lonlat(100)
    want = q.project(a)
    out = np.full(200, np.nan)
    assert q.project(a, out=out) is out and np.array_equal(out, want.ravel())
    b = a.copy()
    assert q.project(b, out=b) is b and np.array_equal(b, want)  # in place
    with pytest.raises(ValueError, match="holds 198"):
        q.project(a, out=np.empty(198))
    with pytest.raises(TypeError):
        q.project(a, out=np.empty(200, np.float32))
    ro = np.empty(200)
    ro.flags.writeable = False
    with pytest.raises(ValueError, match="read-only"):
        q.project(a, out=ro)
    # Overlapping the input at an offset would let C read pairs it already wrote.
    buf = np.zeros(202)
    buf[:200] = a.ravel()
    with pytest.raises(ValueError, match="overlaps"):
        q.project(buf[:200], out=buf[2:])


def test_read_only_input_and_lists_are_accepted():
    a = lonlat(10)
    a.flags.writeable = False
    assert np.array_equal(q.project(a), q.project(a.copy()))
    assert np.array_equal(q.project([[10.0, 20.0]]), q.project(np.array([[10.0, 20.0]])))
    assert q.project(np.empty((0, 2))).shape == (0, 2)


def test_projection_parameters():
    with pytest.raises(TypeError, match="needs its parameters"):
        q.project(lonlat(2), "lcc")
    with pytest.raises(TypeError, match="4 to 6"):
        q.project(lonlat(2), "albers", (1.0, 2.0))
    with pytest.raises(TypeError, match="lon0"):
        q.project(lonlat(2), "lcc", {"lat1": 40, "lat2": 60, "lat0": 50})
    with pytest.raises(ValueError, match="unknown projection"):
        q.project(lonlat(2), "utm")
    with pytest.raises(TypeError, match="no parameters"):
        q.project(lonlat(2), "mercator", (1, 2, 3, 4))
    d = {"lat1": 40, "lat2": 60, "lat0": 50, "lon0": 10, "false_easting": 5}
    assert np.array_equal(q.project(lonlat(3), "lcc", d),
                          q.lcc_forward(lonlat(3), 40, 60, 50, 10, 5))


def test_globe_buffers_are_checked():
    tex = np.full((2, 2), 0xFF808080, np.uint32)
    pixels = np.zeros((4, 4), np.uint32)
    with pytest.raises(TypeError, match="uint32"):
        q.render_globe(bytearray(16), tex, 2, 2, 2)
    with pytest.raises(TypeError, match="uint32"):
        q.render_globe(pixels, bytearray(16), 2, 2, 2)
    with pytest.raises(TypeError, match="uint32"):
        q.render_globe(np.zeros((4, 4), np.int32), tex, 2, 2, 2)
    with pytest.raises(ValueError, match="H, W"):
        q.render_globe(np.zeros(16, np.uint32), tex, 2, 2, 2)
    with pytest.raises(ValueError, match="adjacent"):
        q.render_globe(np.zeros((4, 8), np.uint32)[:, ::2], tex, 2, 2, 2)
    with pytest.raises(ValueError, match="empty"):
        q.render_globe(np.zeros((0, 4), np.uint32), tex, 2, 2, 2)
    ro = np.zeros((4, 4), np.uint32)
    ro.flags.writeable = False
    with pytest.raises(ValueError, match="read-only"):
        q.render_globe(ro, tex, 2, 2, 2)
    for radius in (0.0, -1.0, float("nan")):
        with pytest.raises(ValueError, match="radius"):
            q.render_globe(pixels, tex, 2, 2, radius)
    with pytest.raises(ValueError, match="overlap"):
        q.render_globe(pixels, pixels[:2, :2], 2, 2, 2)
    assert not pixels.any()
    tex.flags.writeable = False  # a read-only texture is fine
    q.render_globe(pixels, tex, 2, 2, 2)
    assert pixels.any()


def test_integer_arguments_are_range_checked():
    with q.ParticleSystem(4) as ps:
        for bad in (-1, 2**64, 1.5, "3"):
            with pytest.raises((TypeError, ValueError)):
                ps.emit(bad, 0, 0)
        with pytest.raises(ValueError):
            ps.emit(1, 0, 0, color=(2**32, 0))
    with pytest.raises(ValueError):
        q.ParticleSystem(-1)
