"""The cartography wrappers: same numbers as the bare C calls, Parts records
wrapped in place and released with their last array, argument checks before
any call."""

import ctypes
import gc

import numpy as np
import pytest

import quillon as q
from quillon import cartography as carto
from conftest import SAMPLE

CONIC = (33.0, 45.0, 39.0, -96.0, 1000.0, -500.0)


def grid(lon0=0.0):
    lon, lat = np.meshgrid(np.arange(-170, 171, 10.0) + lon0, np.arange(-80, 81, 10.0))
    return np.ascontiguousarray(np.column_stack([lon.ravel(), lat.ravel()]))


@pytest.mark.parametrize("fwd,inv", [(q.lcc_forward, q.lcc_inverse),
                                     (q.albers_forward, q.albers_inverse)])
def test_conic_inverses_round_trip_in_place(fwd, inv):
    ll = grid(-96)
    xy = fwd(ll, *CONIC)
    back = inv(xy, *CONIC)
    assert np.max(np.abs(back - ll)) < 1e-9
    inv(xy, *CONIC, out=xy)
    assert np.array_equal(xy, back)


def test_orthographic_visibility_and_inverse():
    ll = np.array([[10.0, 20.0], [190.0, -20.0], [np.nan, 0.0]])
    xy, vis = q.ortho_forward(ll, 10, 20, visible=True)
    assert vis.tolist() == [True, False, False]
    assert np.allclose(xy[0], 0, atol=1e-9)
    assert np.allclose(q.ortho_inverse(xy[:1], 10, 20), [[10, 20]], atol=1e-9)
    assert q.ortho_forward(ll, 10, 20).shape == ll.shape


def test_equal_earth_round_trip():
    ll = grid(30)
    back = q.eqearth_inverse(q.eqearth_forward(ll, 30), 30)
    assert np.max(np.abs(back - ll)) < 1e-9


def test_cut_gives_pieces_within_the_map_and_their_sources():
    shp = q.parse_shp(SAMPLE)
    pts, offs = shp.points, shp.ring_offsets
    for lon0 in (0.0, 150.0):
        pieces = q.cut(pts, offs, lon0=lon0, pole_lat=85.0511287798)
        assert len(pieces) >= len(offs) - 1 - 1  # the one degenerate ring goes
        lon = pieces.points[:, 0]
        assert lon.min() >= lon0 - 180 and lon.max() <= lon0 + 180
        assert np.all(np.diff(pieces.source_parts) >= 0)
        assert pieces.part_offsets[-1] == len(pieces.points)
        assert np.any(pieces.flags & carto.PART_POLAR)  # Antarctica
        # Ready for the path builders.
        path = q.build_polygon(None, q.project(pieces.points, "mercator"), pieces.part_offsets)
        assert path is not None


def test_cut_lines_and_horizon():
    line = np.array([[170.0, 0], [-170, 2]])
    pieces = q.cut(line, [0, 2], rings=False)
    assert len(pieces) == 2
    assert pieces.part(0)[-1].tolist() == [180.0, 1.0]
    assert pieces.part(1)[0].tolist() == [-180.0, 1.0]
    ring = np.array([[-10.0, -10], [-10, 10], [10, 10], [10, -10], [-10, -10]])
    half = q.clip_horizon(ring, [0, 5], 90, 0)
    assert len(half) == 1
    assert half.points[:, 0].min() > -1e-9


def test_densify_matches_the_c_call_and_bends_conic_parallels(c):
    ll = np.array([[-123.0, 49], [-95, 49]])
    fit = q.fit((-3e6, -2e6, 3e6, 2e6), 1000, 700)
    dense = q.densify(ll, [0, 2], "albers", fit, tolerance=0.25, rings=False,
                      lat1=29.5, lat2=45.5, lat0=23, lon0=-96)
    assert len(dense) == 1 and len(dense.points) > 5
    assert dense.source_parts.tolist() == [0]
    # The ends are the plain projection.
    xy = q.transform(q.albers_forward(ll, 29.5, 45.5, 23, -96), fit)
    assert np.allclose(dense.points[[0, -1]], xy, atol=1e-6)


def test_errors_are_raised_before_or_from_the_call():
    ll = np.zeros((3, 2))
    with pytest.raises(TypeError):
        q.cut(ll.astype(np.float32), [0, 3])
    with pytest.raises(ValueError):
        q.cut(ll, [0, 4])
    with pytest.raises(q.QuillonError) as e:
        q.cut(ll, [0, 3], max_step=0)
    assert e.value.code == -21
    with pytest.raises(ValueError):
        q.densify(ll, [0, 3], "cylinder")
    with pytest.raises(q.QuillonError) as e:
        q.densify(ll, [0, 3], "mercator", tolerance=-1)
    assert e.value.code == -21
    with pytest.raises(ValueError):
        q.lcc_inverse(np.zeros(3), *CONIC)


@pytest.fixture
def frees(monkeypatch):
    """The GeoParts addresses ordane_free_parts() has been given so far; the
    real free still runs."""
    carto._c("ordane_free_parts")
    real = carto._calls["ordane_free_parts"]
    seen = []

    def counting(ptr):
        seen.append(ctypes.addressof(ptr.contents))
        real(ptr)

    monkeypatch.setitem(carto._calls, "ordane_free_parts", counting)
    return seen


def _crossing_rings():
    ring = np.array([[170.0, -10], [-170, -10], [-170, 10], [170, 10], [170, -10]])
    return np.ascontiguousarray(np.vstack([ring, ring + [0, 30]])), [0, 5, 10]


@pytest.mark.parametrize("which", ["points", "part_offsets", "source_parts", "flags"])
def test_each_array_outlives_the_parts_and_the_others(frees, which):
    pts, offs = _crossing_rings()
    pieces = q.cut(pts, offs)
    want = {k: getattr(pieces, k).copy() for k in ("points", "part_offsets", "source_parts",
                                                    "flags")}
    assert len(pieces) == 4
    kept = getattr(pieces, which)
    del pieces
    gc.collect()
    # Whatever the allocator did with other memory meanwhile, the kept
    # array still reads the result, and the record is not freed yet.
    junk = [np.full(len(kept) + 7, -1.0) for _ in range(50)]
    del junk
    assert frees == []
    assert np.array_equal(kept, want[which])
    assert kept.flags.writeable and kept.flags.c_contiguous
    kept[...] = 0  # the library's memory may be written
    assert not kept.any()
    del kept
    gc.collect()
    assert len(frees) == 1


def test_arrays_keep_their_dtypes_and_a_view_keeps_the_record(frees):
    pts, offs = _crossing_rings()
    for parts in (q.cut(pts, offs), q.clip_horizon(pts, offs, 180, 0),
                  q.densify(pts, offs, "mercator")):
        assert parts.points.dtype == np.float64 and parts.points.shape == (
            parts.part_offsets[-1], 2)
        assert parts.part_offsets.dtype == np.int64
        assert parts.source_parts.dtype == np.int64 and parts.flags.dtype == np.int32
        assert parts.part_offsets.shape == (len(parts) + 1,)
    del parts
    gc.collect()
    assert len(frees) == 3
    # In place, as the tiles do with the points: the projection writes the
    # library's memory, and a slice of it holds the record alone.
    pieces = q.cut(pts, offs)
    lon = pieces.points[:, 0].copy()
    xy = q.mercator_forward(pieces.points, out=pieces.points)
    assert xy is pieces.points
    assert np.array_equal(xy[:, 0], q.mercator_forward(np.column_stack([lon, lon * 0]))[:, 0])
    first = pieces.part(0)
    del pieces, xy
    gc.collect()
    assert len(frees) == 3
    assert first.shape[1] == 2 and np.isfinite(first).all()
    del first
    gc.collect()
    assert len(frees) == 4


def test_an_empty_result_holds_no_library_memory(frees):
    # A line wholly behind the horizon: no piece, no point.
    line = np.array([[0.0, 0], [1, 1]])
    hidden = q.clip_horizon(line, [0, 2], 180, 0, rings=False)
    assert len(hidden) == 0 and hidden.points.shape == (0, 2)
    assert hidden.part_offsets.tolist() == [0]
    assert hidden.points.dtype == np.float64 and hidden.flags.dtype == np.int32
    assert len(frees) == 1  # released at once, nothing refers to it
