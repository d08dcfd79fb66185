"""The cartography wrappers: same numbers as the bare C calls, Parts records
copied out and released, argument checks before any call."""

import ctypes

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
