"""The example scripts end to end: what they print and the PNGs they write."""

import json
import math
import os
import subprocess
import sys

import numpy as np
import pytest

from conftest import ROOT, SAMPLE, read_png

R = 6378137.0
EXAMPLES = os.path.join(ROOT, "examples", "python")


@pytest.fixture(scope="module")
def demo(tmp_path_factory):
    out = str(tmp_path_factory.mktemp("globe_demo"))
    proc = subprocess.run([sys.executable, os.path.join(EXAMPLES, "globe_demo.py"),
                           "--shp", SAMPLE, "--out", out],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
    assert proc.returncode == 0, proc.stderr.decode()
    return json.loads(proc.stdout.decode())


def test_demo_reads_projects_and_fits(demo):
    assert demo["header"]["shape_type"] == 5
    assert demo["shapes"] == demo["header"]["record_count"] > 100
    assert demo["parts"] >= demo["shapes"] and demo["points"] > 1000
    assert demo["lonlat_bounds"] == pytest.approx(demo["header"]["bbox"], abs=1e-6)
    x0, y0, x180, y180, xp, yp = demo["mercator_probe"]
    assert x0 == 0.0 and y0 == pytest.approx(0.0, abs=1e-6)
    assert x180 == pytest.approx(math.pi * R, abs=1e-6)
    assert yp == pytest.approx(math.pi * R, abs=1.0)  # the pole is clamped
    t = demo["transform"]
    assert t["flip_y"] == 1 and t["scale"] > 0
    fx0, fy0, fx1, fy1 = demo["fitted_bounds"]
    # Margin 0.05 of 800 x 500: inside [40, 760] x [25, 475], touching one pair.
    assert fx0 >= 40 - 1e-6 and fx1 <= 760 + 1e-6 and fy0 >= 25 - 1e-6 and fy1 <= 475 + 1e-6
    assert abs(fx1 - fx0 - 720) < 1e-6 or abs(fy1 - fy0 - 450) < 1e-6


def test_demo_camera_and_easing(demo):
    c = demo["camera"]
    assert c["visible"] == c["flags_visible"] == c["points"]
    cx, cy, cs, vis = c["centre"]
    assert vis == 1 and (cx, cy, cs) == pytest.approx((320.0, 200.0, 1.0), abs=1e-9)
    lo, hi = c["scale_range"]
    assert lo < 1.0 < hi
    e = demo["easing"]
    assert e["bezier_half"] == pytest.approx(0.5, abs=1e-6)
    assert e["spring_1s"] == pytest.approx(1 - 11 * math.exp(-10), abs=1e-12)


def test_demo_pngs(demo):
    g = demo["globe"]
    rgba = read_png(g["file"])
    assert list(rgba.shape[:2]) == g["size"]
    assert rgba[0, 0, :3].tolist() == [0x0A, 0x14, 0x20] and g["corner_pixel"] == 0xFF0A1420
    centre = rgba[240, 240]
    assert (centre[:3].tolist() != [0x0A, 0x14, 0x20]) and g["centre_pixel"] >> 24 == 0xFF
    assert g["centre_pixel"] & 0xFFFFFF == (int(centre[0]) << 16) | (int(centre[1]) << 8) | int(centre[2])
    assert rgba[240, 240 + 205, 2] > 0x20  # the glow ring just outside the disc
    assert len({tuple(rgba[240, x, :3]) for x in range(60, 420, 4)}) > 10  # land and sea
    t = demo["tilted"]
    tilted = read_png(t["file"])
    assert list(tilted.shape[:2]) == [t["size"][1], t["size"][0]]
    assert (tilted[:, :, 0] == 0xFF).sum() > 500


def test_draw_map(tmp_path):
    out = tmp_path / "map.png"
    subprocess.run([sys.executable, os.path.join(EXAMPLES, "draw_map.py"), "--shp", SAMPLE,
                    "--out", str(out)], check=True, timeout=600)
    with open(out, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n"
    assert int.from_bytes(head[16:20], "big") == 1200 and int.from_bytes(head[20:24], "big") == 800


def test_rings_across_the_antimeridian_are_cut_and_closed():
    sys.path.insert(0, EXAMPLES)
    try:
        from rings import drawable_rings
    finally:
        sys.path.remove(EXAMPLES)
    # A ring crossing 180 degrees, a polar ring (net one turn), a plain one.
    crossing = [[170, 0], [170, 10], [-170, 10], [-170, 0], [170, 0]]
    polar = [[-180, -80], [0, -70], [180, -80], [180, -90], [-180, -90], [-180, -80]]
    plain = [[0, 0], [0, 1], [1, 1], [0, 0]]
    pts = np.array(crossing + polar + plain, np.float64)
    rings, offs = drawable_rings(pts, [0, 5, 11, 15])
    assert len(offs) - 1 >= 4  # the crossing ring in two pieces, the others whole
    assert rings[:, 0].min() >= -180 and rings[:, 0].max() <= 180
    for s, e in zip(offs[:-1], offs[1:]):
        ring = rings[s:e]
        assert np.array_equal(ring[0], ring[-1])
        assert np.abs(np.diff(ring[:, 0])).max() <= 180  # no streak across the map
    assert np.array_equal(rings[offs[-2]:offs[-1]], pts[11:])
