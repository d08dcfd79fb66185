"""quillon.tiles: the grid, seams, the outputs and bad inputs (fast cases;
the kill/resume, Dask, npm and browser cases are in test_tiles_slow.py)."""

import hashlib
import json
import os
import sqlite3
import struct
import subprocess
import sys
import zlib

import numpy as np
import pytest

from conftest import SAMPLE, polygon_record, read_png, shp_bytes
from quillon._native import lib
from quillon.tiles import grid, pmtiles, render, sinks


def run_cli(*args, **kw):
    return subprocess.run([sys.executable, "-m", "quillon.tiles"] + [str(a) for a in args],
                          capture_output=True, text=True, timeout=600, **kw)


def write_shp(path, shape_type, records):
    path.write_bytes(shp_bytes(shape_type, records))
    return str(path)


def test_grid_rows_ids_and_zoom_ranges():
    assert grid.tms_row(11, 791) == 1256
    # The Hilbert order of zoom 1, then the first id of zoom 2.
    assert [grid.hilbert_tile_id(1, x, y) for x, y in [(0, 0), (0, 1), (1, 1), (1, 0)]] == [1, 2, 3, 4]
    assert grid.hilbert_tile_id(0, 0, 0) == 0 and grid.hilbert_tile_id(2, 0, 0) == 5
    ids = {grid.hilbert_tile_id(3, x, y) for x in range(8) for y in range(8)}
    assert ids == set(range(21, 85))
    assert grid.parse_zooms("0-5") == (0, 5) and grid.parse_zooms("7") == (7, 7)
    for bad in ("5-2", "0-21", "-1", "a", "1-2-3", ""):
        with pytest.raises(ValueError):
            grid.parse_zooms(bad)
    world = (-180.0, -grid.MAX_LATITUDE, 180.0, grid.MAX_LATITUDE)
    assert grid.tile_count(world, 0, 5) == 1365
    assert len(grid.metatiles(world, 5, 8)) == 16 and len(grid.metatiles(world, 2, 8)) == 1


def mosaic(job, bounds, z):
    n = 1 << z
    t = job.tile_size
    out = np.zeros((n * t, n * t), np.uint32)
    for meta in grid.metatiles(bounds, z, job.metatile):
        for (_, x, y), px in render.metatile_pixels(job, bounds, *meta).items():
            out[y * t:(y + 1) * t, x * t:(x + 1) * t] = px
    return out


def channel_diff(a, b):
    a8 = a.view(np.uint8).astype(np.int16)
    b8 = b.view(np.uint8).astype(np.int16)
    return int(np.abs(a8 - b8).max())


def assert_same_within(a, b, what):
    """At most 2/255 in any channel of any pixel. The Cairo-backed stand-in
    cannot promise that: its scan converter takes, for each pixel row, exact
    or sampled coverage depending on every edge in the row, so the width of
    the image changes a few pixels a little. There at most 24/255 and 0.1 %
    of the pixels beyond 2/255."""
    a8 = a.view(np.uint8).reshape(a.shape + (4,)).astype(np.int16)
    b8 = b.view(np.uint8).reshape(b.shape + (4,)).astype(np.int16)
    d = np.abs(a8 - b8).max(axis=2)
    if lib().blend2d_name.startswith("libbl2dcompat"):
        assert d.max() <= 24 and (d > 2).mean() <= 0.001, (what, d.max(), (d > 2).mean())
    else:
        assert d.max() <= 2, (what, d.max())


WORLD = (-180.0, -grid.MAX_LATITUDE, 180.0, grid.MAX_LATITUDE)


@pytest.mark.parametrize("kind", ["fill", "stroke"])
def test_mosaic_equals_one_render_of_the_world(kind):
    # Metatiles of 2 with a small buffer put metatile edges inside every zoom
    # from 2 on; the whole world is drawn at once for comparison.
    style = render.Style(fill=0xFF4C9A7E, stroke=0, stroke_width=0) if kind == "fill" else \
        render.Style(fill=0, stroke=0xFF1D3B30, stroke_width=4.0)
    job = render.Job(source=SAMPLE, tile_size=128, metatile=2, buffer=3, style=style)
    for z in range(1, 5):
        whole = render.render_region(job, z, 0, 0, 128 << z, 128 << z).to_array()
        assert whole.any()
        assert_same_within(mosaic(job, WORLD, z), whole, "zoom %d" % z)


def point_record(x, y):
    return struct.pack("<i2d", 1, x, y)


def test_markers_straddling_tile_and_metatile_edges(tmp_path):
    # Points on the lines between tiles (0 and 90 degrees of longitude, the
    # equator) and at a corner, so each marker is cut by a tile edge.
    pts = [(0.0, 0.0), (90.0, 10.0), (-90.0, -20.0), (45.0, 0.0), (0.0, 40.0), (-135.0, 0.0)]
    src = write_shp(tmp_path / "pts.shp", 1, [point_record(x, y) for x, y in pts])
    job = render.Job(source=src, tile_size=64, metatile=2, buffer=0,
                     style=render.Style(fill=0xFFE04030, stroke=0xFF000000, stroke_width=4.0,
                                        marker_radius=7.0))
    for z in range(1, 5):
        whole = render.render_region(job, z, 0, 0, 64 << z, 64 << z).to_array()
        tiled = mosaic(job, WORLD, z)
        assert whole.any()
        assert_same_within(tiled, whole, "zoom %d" % z)


def test_antimeridian_rings_draw_on_both_edges_without_a_streak(tmp_path):
    # One ring from 170 E to 170 W across 180 degrees, given with the jump.
    ring = [(170.0, -10.0), (-170.0, -10.0), (-170.0, 10.0), (170.0, 10.0), (170.0, -10.0)]
    src = write_shp(tmp_path / "pacific.shp", 5, [polygon_record([ring])])
    job = render.Job(source=src, tile_size=256, metatile=8, buffer=0,
                     style=render.Style(fill=0xFF0000FF, stroke=0, stroke_width=0))
    px = render.render_region(job, 0, 0, 0, 256, 256).to_array()
    row = px[128]
    assert row[2] == 0xFF0000FF and row[253] == 0xFF0000FF  # both edges
    assert row[128] == 0 and row[60] == 0  # no streak across the map


def test_deep_zooms_cut_rings_to_the_tile():
    square = np.array([[-5.0, -5.0], [5.0, -5.0], [5.0, 5.0], [-5.0, 5.0]])
    assert render.clip_ring(square, 0, 0, 10, 10).tolist() == [[0, 0], [5, 0], [5, 5], [0, 5]]
    assert len(render.clip_ring(square, 20, 20, 30, 30)) == 0
    inside = render.clip_ring(square, -10, -10, 10, 10)
    assert inside.tolist() == square.tolist()
    # Far past the rasteriser's fixed-point range from the tile, Russia's
    # ring still fills a tile inside it, and the ocean stays empty.
    job = render.Job(source=SAMPLE, style=render.Style(stroke=0))
    for z in (15, 18):
        for lon, lat, want in ((90.0, 60.0, 0xFF4C9A7E), (-150.0, 0.0, 0)):
            n = 1 << z
            x, y = int(grid.world_x(lon) * n), int(grid.world_y(lat) * n)
            px = render.render_region(job, z, x * 256, y * 256, 256, 256).to_array()
            assert (px == want).all(), (z, lon, lat)


def test_directory_pyramid_and_viewer(tmp_path):
    out = tmp_path / "world"
    r = run_cli(SAMPLE, "--zoom", "0-2", "--out", out, "--metatile", "2")
    assert r.returncode == 0, r.stderr
    names = sorted(os.path.relpath(os.path.join(d, f), out) for d, _, fs in os.walk(out)
                   for f in fs if f.endswith(".png") and "leaflet" not in d)
    assert len(names) == 21 and "2/3/3.png" in names
    assert not [f for _, _, fs in os.walk(out) for f in fs if f.endswith(".tmp")]
    (tmp_path / "blank.png").write_bytes(sinks._blank_png(256))
    blank = read_png(tmp_path / "blank.png")  # empty tiles: transparent, not stale memory
    assert blank.shape == (256, 256, 4) and not blank.any()
    z0 = read_png(out / "0" / "0" / "0.png")
    assert z0.shape == (256, 256, 4) and z0[..., 3].max() == 255
    page = (out / "index.html").read_text()
    assert "leaflet/leaflet.js" in page and "http" not in page.split("<script>")[1]
    assert (out / "leaflet" / "leaflet.js").stat().st_size > 100000
    meta = json.loads((out / "quillon-tiles.json").read_text())
    assert meta["complete"] and meta["metadata"]["maxzoom"] == 2
    # Progress: the total from the start, counts that only grow, 100 % last.
    lines = [l for l in r.stderr.splitlines() if "tiles (" in l]
    done = [int(l.split()[1].split("/")[0]) for l in lines]
    assert all(l.split()[1].endswith("/21") for l in lines)
    assert done == sorted(done) and done[-1] == 21 and "(100.0 %)" in lines[-1]
    assert "ETA" in lines[-1]
    # Without --resume an existing tile set is not drawn over.
    r = run_cli(SAMPLE, "--zoom", "0-2", "--out", out)
    assert r.returncode == 1 and "--resume" in r.stderr


def digests(folder):
    return {os.path.relpath(os.path.join(d, f), folder):
            hashlib.sha256(open(os.path.join(d, f), "rb").read()).hexdigest()
            for d, _, fs in os.walk(folder) for f in fs if f.endswith(".png")
            and "leaflet" not in d}


def test_mbtiles_rows_metadata_and_the_process_pool(tmp_path):
    d = tmp_path / "d"
    assert run_cli(SAMPLE, "--zoom", "0-3", "--out", d, "--quiet").returncode == 0
    mb = tmp_path / "w.mbtiles"
    r = run_cli(SAMPLE, "--zoom", "0-3", "--out", mb, "--scheduler", "processes",
                "--workers", "2", "--quiet")
    assert r.returncode == 0, r.stderr
    assert not os.path.exists(str(mb) + ".part")
    db = sqlite3.connect(str(mb))
    meta = dict(db.execute("SELECT name, value FROM metadata"))
    assert meta["format"] == "png" and meta["minzoom"] == "0" and meta["maxzoom"] == "3"
    w, s, e, n = (float(v) for v in meta["bounds"].split(","))
    assert -180 <= w < -170 and e > 170 and s < -80 and n > 80
    assert len(meta["center"].split(",")) == 3
    assert {r[0] for r in db.execute("SELECT name FROM sqlite_master WHERE type='table'")} \
        == {"metadata", "tiles"}
    blank = hashlib.sha256(sinks._blank_png(256)).hexdigest()
    want = {k: v for k, v in digests(d).items() if v != blank}
    got = {}
    for z, x, row, data in db.execute("SELECT * FROM tiles"):
        y = (1 << z) - 1 - row
        got["%d/%d/%d.png" % (z, x, y)] = hashlib.sha256(data).hexdigest()
    assert got == want  # the same tiles, stored at TMS rows, no empty ones
    db.close()


def read_pmtiles(path):
    """A small independent reader: header, directories, every tile."""
    data = open(path, "rb").read()
    assert data[:8] == b"PMTiles\x03"
    f = struct.unpack("<8QQQQBBBBBBiiiiBii", data[8:127])
    root_at, root_len, meta_at, meta_len, leaf_at, _, tiles_at = f[:7]

    def varints(buf):
        out, v, s = [], 0, 0
        for b in buf:
            v |= (b & 0x7F) << s
            s += 7
            if not b & 0x80:
                out.append(v)
                v, s = 0, 0
        return out

    def directory(raw):
        v = varints(zlib.decompress(raw, 31))
        n = v[0]
        ids, runs, lens, offs = v[1:1 + n], v[1 + n:1 + 2 * n], v[1 + 2 * n:1 + 3 * n], v[1 + 3 * n:]
        entries, tid, last = [], 0, None
        for i in range(n):
            tid += ids[i]
            off = last[1] + last[2] if offs[i] == 0 and last else offs[i] - 1
            last = (tid, off, lens[i], runs[i])
            entries.append(last)
        return entries

    tiles_out = {}

    def walk(entries):
        for tid, off, ln, run in entries:
            if run == 0:
                walk(directory(data[leaf_at + off:leaf_at + off + ln]))
            else:
                for k in range(run):
                    tiles_out[tid + k] = data[tiles_at + off:tiles_at + off + ln]

    walk(directory(data[root_at:root_at + root_len]))
    meta = json.loads(zlib.decompress(data[meta_at:meta_at + meta_len], 31))
    return f, meta, tiles_out


def test_pmtiles_archive_reads_back(tmp_path):
    mb = tmp_path / "w.mbtiles"
    pm = tmp_path / "w.pmtiles"
    assert run_cli(SAMPLE, "--zoom", "0-3", "--out", mb, "--quiet").returncode == 0
    assert run_cli(SAMPLE, "--zoom", "0-3", "--out", pm, "--quiet").returncode == 0
    header, meta, got = read_pmtiles(str(pm))
    assert header[11] == 1 and header[14] == 2 and (header[15], header[16]) == (0, 3)
    assert meta["format"] == "png"
    db = sqlite3.connect(str(mb))
    want = {grid.hilbert_tile_id(z, x, (1 << z) - 1 - row): bytes(d)
            for z, x, row, d in db.execute("SELECT * FROM tiles")}
    assert got == want
    # Many tiles at scattered ids: the root points at leaf directories, runs
    # of one repeated tile are one entry, and every tile reads back.
    rng = np.random.default_rng(7)
    ids = np.cumsum(rng.integers(1, 40, 30000)).tolist()
    many = [(i, b"same" if k % 7 == 0 else struct.pack("<QQ", i, k)) for k, i in enumerate(ids)]
    big = tmp_path / "many.pmtiles"
    with open(big, "wb") as f:
        assert pmtiles.write(f, many, {"format": "png"}, 0, 12, (-1, -1, 1, 1), (0, 0, 0)) == 30000
    header, _, back = read_pmtiles(str(big))
    assert header[5] > 0  # leaf directories
    assert back == dict(many)


def test_bad_inputs_fail_with_one_message_and_write_nothing(tmp_path):
    out = tmp_path / "o"
    empty = write_shp(tmp_path / "empty.shp", 5, [])
    junk = tmp_path / "junk.shp"
    junk.write_bytes(b"not a shapefile at all" * 10)
    notes = tmp_path / "notes"
    notes.mkdir()
    (notes / "x.txt").write_text("mine")
    text = tmp_path / "t.mbtiles"
    text.write_text("hello")
    cases = [
        ([tmp_path / "missing.shp", "--out", out], 1, "no such file"),
        ([junk, "--out", out], 1, "junk.shp"),
        ([empty, "--out", out], 1, "no shapes"),
        ([SAMPLE, "--zoom", "0-21", "--out", out], 2, "outside 0-20"),
        ([SAMPLE, "--zoom", "5-2", "--out", out], 2, "backwards"),
        ([SAMPLE, "--zoom", "0-1", "--out", notes], 1, "not a tile set"),
        ([SAMPLE, "--zoom", "0-1", "--out", text], 1, "not a MBTiles tile set"),
        ([SAMPLE, "--zoom", "0-1", "--out", out, "--scheduler", "threads"], 1, "scheduler"),
    ]
    for args, code, words in cases:
        r = run_cli(*args)
        assert r.returncode == code, (args, r.stderr)
        errors = [l for l in r.stderr.splitlines() if "error" in l]
        assert len(errors) == 1 and words in errors[0], (args, r.stderr)
    assert not out.exists() and os.listdir(notes) == ["x.txt"] and text.read_text() == "hello"


def test_a_full_disk_leaves_no_partial_tile(tmp_path):
    import resource
    import signal

    def limit():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (20000, 20000))

    out = tmp_path / "full"
    r = subprocess.run([sys.executable, "-m", "quillon.tiles", SAMPLE, "--zoom", "0-3",
                        "--out", str(out), "--quiet"], capture_output=True, text=True,
                       preexec_fn=limit, timeout=600)
    assert r.returncode == 1 and "disk is full" in r.stderr, r.stderr
    files = [os.path.join(d, f) for d, _, fs in os.walk(out) for f in fs]
    assert not [f for f in files if f.endswith(".tmp")]
    assert all(os.path.getsize(f) > 0 for f in files)
    for f in files:
        if f.endswith(".png"):
            read_png(f)  # every tile left is whole


def test_color_by_a_text_field_and_a_numeric_ramp(tmp_path):
    from test_attributes import dbf_bytes

    def square(lon, lat):
        return polygon_record([[(lon, lat), (lon + 30, lat), (lon + 30, lat + 30),
                                (lon, lat + 30), (lon, lat)]])
    corners = [(-150.0, 20.0), (30.0, 20.0), (30.0, -50.0), (-150.0, -50.0)]
    src = write_shp(tmp_path / "sq.shp", 5, [square(*c) for c in corners])
    fields = [("Kind", "C", 4, 0), ("POP", "N", 8, 0)]
    (tmp_path / "sq.dbf").write_bytes(dbf_bytes(fields, [
        [b"A", b"1"], [b"B", b"5"], [b"A", b"1000"], [b"C", b""]]))

    def centres(out, z):
        got = []
        for lon, lat in corners:
            n = 1 << z
            px, py = grid.world_x(lon + 15) * n * 256, grid.world_y(lat + 15) * n * 256
            x, y = int(px // 256), int(py // 256)
            rgba = read_png(out / str(z) / str(x) / ("%d.png" % y))[int(py % 256), int(px % 256)]
            got.append(0xFF000000 | (int(rgba[0]) << 16) | (int(rgba[1]) << 8) | int(rgba[2]))
        return got

    pal, ramp = render.PALETTE, render.RAMP
    # Field names in any case; values in order of appearance.
    out = tmp_path / "text"
    r = run_cli(src, "--zoom", "1-2", "--out", out, "--stroke", "none", "--color-by", "kind",
                "--quiet")
    assert r.returncode == 0, r.stderr
    for z in (1, 2):
        assert centres(out, z) == [pal[0], pal[1], pal[0], pal[2]]
    # Ranks among the valid values in eighths; no value keeps the --fill.
    out = tmp_path / "num"
    r = run_cli(src, "--zoom", "1", "--out", out, "--stroke", "none", "--color-by", "POP",
                "--fill", "#102030", "--quiet")
    assert r.returncode == 0, r.stderr
    assert centres(out, 1) == [ramp[0], ramp[2], ramp[5], 0xFF102030]
    # A field that is not there, a table that is not there: one message.
    r = run_cli(src, "--zoom", "1", "--out", tmp_path / "x", "--color-by", "NOPE")
    assert r.returncode == 1 and "no field 'NOPE'" in r.stderr and "Kind, POP" in r.stderr
    (tmp_path / "sq.dbf").unlink()
    r = run_cli(src, "--zoom", "1", "--out", tmp_path / "x", "--color-by", "Kind")
    assert r.returncode == 1 and "attribute table" in r.stderr, r.stderr
    assert not (tmp_path / "x").exists()


def test_the_pool_draws_every_metatile_once_and_times_its_parts():
    from quillon.tiles import schedule
    job = render.Job(source=SAMPLE, tile_size=64, metatile=2, buffer=8)
    plan = [grid.metatiles(WORLD, z, 2) for z in range(4)]
    got, timings = [], {}
    schedule.run("processes", 2, job, WORLD, plan,
                 lambda meta, tiles: got.append((meta, len(tiles))), timings)
    # All zooms' tasks are queued at once: each metatile comes back once,
    # with all of its tiles.
    assert sorted(m for m, _ in got) == sorted(m for ms in plan for m in ms)
    assert all(n == len(list(grid.metatile_tiles(WORLD, *m, 2))) for m, n in got)
    assert set(timings) == {"start", "render", "close", "start_cpu", "render_cpu",
                            "close_cpu"} and min(timings.values()) >= 0


def test_shape_extents_skip_gaps_empty_shapes_and_non_finite_points():
    pts = np.array([[0.0, 0.0], [1e6, 2e6], [np.nan, 5.0], [-3e6, 1e6], [7.0, np.inf],
                    [2e6, -1e6], [4e6, 4e6]])
    finite = np.isfinite(pts).all(axis=1)
    # A shape of two pieces with a gap, one with no finite point, an empty
    # one, one reaching the last point.
    offsets = [np.array([0, 2, -1, 3, 4]), np.array([4, 5]), np.array([0]), np.array([5, 7])]
    ext = render._extents(pts, finite, offsets)
    h, span = grid.HALF_WORLD, 2 * grid.HALF_WORLD

    def frac(lo, hi):
        return [(lo[0] + h) / span, (h - hi[1]) / span, (hi[0] + h) / span, (h - lo[1]) / span]
    assert ext[0].tolist() == frac((-3e6, 0.0), (1e6, 2e6))  # the gap's point 2 is NaN anyway
    assert np.isnan(ext[1]).all() and np.isnan(ext[2]).all()
    assert ext[3].tolist() == frac((2e6, -1e6), (4e6, 4e6))
