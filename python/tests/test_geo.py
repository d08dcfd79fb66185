"""libordane wrappers against the bare C calls, and the shapefile objects."""

import ctypes
import gc
import http.server
import os
import threading

import numpy as np
import pytest

import quillon as q
from conftest import polygon_record, ptr, shp_bytes

CONIC = (33.0, 45.0, 23.0, -96.0, 1000.0, -500.0)


def lonlat(n=1000, seed=7):
    rng = np.random.default_rng(seed)
    a = np.column_stack([rng.uniform(-200, 200, n), rng.uniform(-95, 95, n)])
    a[::97] = np.nan
    return a


@pytest.mark.parametrize("name,args,wrapper", [
    ("ordane_proj_3857_forward", (), lambda a: q.project(a, "mercator")),
    ("ordane_proj_3857_inverse", (), lambda a: q.mercator_inverse(a * 1e5)),
    ("ordane_proj_lcc_forward", CONIC, lambda a: q.project(a, "lcc", CONIC)),
    ("ordane_proj_albers_forward", CONIC, lambda a: q.albers_forward(a, *CONIC)),
])
def test_projections_match_the_c_call(c, name, args, wrapper):
    a = lonlat()
    src = a * 1e5 if name.endswith("inverse") else a
    want = np.empty_like(a)
    assert getattr(c, name)(*args, ptr(src), ptr(want), len(a)) == 0
    assert np.array_equal(wrapper(a), want, equal_nan=True)


def test_fit_and_transform_match_the_c_call(c):
    t = q.fit((-10, -5, 30, 15), 640, 480, margin=0.1, fit_both_axes=False, flip_y=True)
    raw = q.GeoTransform()
    c.ordane_init_transform(ctypes.byref(raw), -10, -5, 30, 15, 640, 480, 0.1, 0, 1)
    fields = [name for name, _ in q.GeoTransform._fields_]
    assert [getattr(t, f) for f in fields] == [getattr(raw, f) for f in fields]
    a = lonlat()
    want = np.empty_like(a)
    assert c.ordane_transform_coords(ptr(a), ptr(want), len(a), ctypes.byref(t)) == 0
    assert np.array_equal(q.transform(a, t), want, equal_nan=True)
    assert np.array_equal(q.transform(a, None), a, equal_nan=True)
    with pytest.raises(TypeError, match="GeoTransform"):
        q.transform(a, (1, 2, 3))
    assert q.bounds([[1, 5], [np.nan, 0], [3, -2]]) == (1.0, -2.0, 3.0, 5.0)


def test_builders_match_the_c_call(c):
    pts = np.array([[0, 0], [10, 0], [10, 10], [0, 10], [20, 20], [30, 20], [30, 30.0]])
    offsets = np.array([0, 4, 7], np.int64)
    t = q.fit((0, 0, 30, 30), 300, 300)
    for name, args in [("polygon", (offsets,)), ("multilinestring", (offsets,)), ("linestring", ())]:
        ours = getattr(q, "build_" + name)(None, pts, *args, t)
        raw = q.Path()
        cargs = (ptr(offsets), 2) if args else (7,)
        assert getattr(c, "ordane_build_" + name)(raw.address, ptr(pts), *cargs,
                                                 ctypes.byref(t)) == 0
        assert np.array_equal(ours.commands, raw.commands)
        assert np.array_equal(ours.vertices, raw.vertices, equal_nan=True)
    # Builders append: a second call doubles the path.
    p = q.build_polygon(None, pts, offsets)
    n = len(p)
    assert q.build_polygon(p, pts, offsets) is p and len(p) == 2 * n
    # Offsets reaching past the points would read past the array.
    for bad in ([0, 8], [0, 3, 2**40]):
        with pytest.raises(ValueError, match="past"):
            q.build_polygon(None, pts, bad)
    with pytest.raises(ValueError, match="past"):
        q.build_multilinestring(None, pts, np.array([0, 9], np.uint64))
    with pytest.raises(ValueError, match="two entries"):
        q.build_polygon(None, pts, [0])
    with pytest.raises(TypeError, match="integer"):
        q.build_polygon(None, pts, np.array([0.0, 4.0]))
    with pytest.raises(ValueError, match="at least 2"):
        q.build_linestring(None, pts[:1])
    # Negative starts and reversed parts are skipped by the builders, not refused.
    assert len(q.build_multilinestring(None, pts, [-1, 3, 1])) == 0


def test_shapefile_errors_carry_the_code(tmp_path):
    cases = {}  # a missing file is FileNotFoundError (test_conventions.py)
    (tmp_path / "short.shp").write_bytes(b"\0" * 50)
    cases[tmp_path / "short.shp"] = -3
    (tmp_path / "text.shp").write_text("just some text, " * 20)
    cases[tmp_path / "text.shp"] = -4
    for path, code in cases.items():
        for fn in (q.read_shp_header, q.parse_shp):
            with pytest.raises(q.ShapefileError) as info:
                fn(path)
            assert info.value.code == code and str(path) in str(info.value)
            assert info.value.meaning in str(info.value)
    with pytest.raises(ValueError, match="NUL"):
        q.parse_shp("a\0b.shp")


def test_small_shapefile_views_and_iteration(tmp_path):
    square = [(0, 0), (4, 0), (4, 4), (0, 4), (0, 0)]
    hole = [(1, 1), (1, 2), (2, 2), (1, 1)]
    f = tmp_path / "two.shp"
    f.write_bytes(shp_bytes(5, [polygon_record([square, hole]), struct_null(),
                                polygon_record([[(10, 10), (12, 10), (12, 12), (10, 10)]])]))
    s = q.parse_shp(f)
    assert (len(s), s.num_parts, s.num_points, s.shape_type) == (3, 3, 13, 5)
    assert s.points.shape == (13, 2) and not s.points.flags.writeable
    assert s.shape_point_offsets.tolist() == [0, 9, 9, 13]
    assert s.bboxes.tolist() == [[0, 0, 4, 4], [0, 0, 0, 0], [10, 10, 12, 12]]
    shapes = list(s)
    assert [len(x.parts) for x in shapes] == [2, 0, 1]
    assert shapes[0].parts[1].tolist() == [list(map(float, p)) for p in hole]
    assert s[-1].part_offsets.tolist() == [9, 13]
    assert s.ring_offsets.tolist() == [0, 5, 9, 13]
    with pytest.raises(IndexError):
        s[3]
    header = q.read_shp_header(f)
    assert (header.record_count, header.shape_type) == (3, 5)


def struct_null():
    return (0).to_bytes(4, "little")


def test_views_outlive_the_shapefile(sample):
    freed = []
    s = q.parse_shp(sample)
    real_free = s._handle.free
    s._handle.free = lambda p: (freed.append(1), real_free(p))
    points, boxes = s.points, s.bboxes
    keep = points.copy()
    del s
    gc.collect()
    assert not freed  # the views hold the data
    assert np.array_equal(points, keep) and boxes.shape[1] == 4
    del points, boxes
    gc.collect()
    assert freed == [1]


def test_sample_offsets_feed_the_builders(shp):
    assert shp.shape_point_offsets[-1] == shp.num_points
    for shape in shp:
        if len(shape.part_offsets) > 1:
            assert shape.part_offsets[0] == shp.shape_point_offsets[shape.index]
    # All rings at once give the same path as one call per shape.
    one = q.build_polygon(None, shp.points, shp.ring_offsets)
    each = q.Path()
    for shape in shp:
        if len(shape.part_offsets) > 1:
            q.build_polygon(each, shp.points, shape.part_offsets)
    assert np.array_equal(one.commands, each.commands)
    assert np.array_equal(one.vertices, each.vertices, equal_nan=True)


class _Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = b"quillon " * 1000 if self.path == "/file" else b"missing"
        self.send_response(200 if self.path == "/file" else 404)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def test_download(tmp_path):
    server = http.server.HTTPServer(("127.0.0.1", 0), _Handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        dest = tmp_path / "body.bin"
        assert q.download("http://127.0.0.1:%d/file" % server.server_port, dest) == 200
        assert dest.read_bytes() == b"quillon " * 1000
        # Not an error: the page is saved and the status tells what it is.
        assert q.download("http://127.0.0.1:%d/gone" % server.server_port, dest) == 404
        assert dest.read_bytes() == b"missing"
        with pytest.raises(q.DownloadError) as info:
            q.download("http://127.0.0.1:%d/file" % server.server_port,
                       tmp_path / "no" / "such" / "dir")
        assert info.value.code == -8 and info.value.http_status == 200
    finally:
        server.shutdown()
        server.server_close()
    for url, code in [("ftp://example.org/x", -3), ("not a url", -3), ("http://\udc80", -2)]:
        with pytest.raises(q.DownloadError) as info:
            q.download(url, tmp_path / "x")
        assert info.value.code == code and info.value.meaning == q.DOWNLOAD_ERRORS[code]
        assert info.value.http_status == 0
    assert not os.path.exists(tmp_path / "x")
