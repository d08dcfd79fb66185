"""The .dbf attribute table as numpy columns and the .prj text, on files
written here byte by byte and on the sample beside the countries .shp."""

import datetime
import os
import struct

import numpy as np
import pytest

import quillon as q
from quillon import attributes
from conftest import SAMPLE

pytestmark = pytest.mark.skipif(not attributes.available(),
                                reason="the loaded libordane has no attribute reader")


def dbf_bytes(fields, records, deleted=(), ldid=0):
    """A dBASE III table: fields (name, type, length, decimals), records as
    lists of already formatted field strings (bytes)."""
    record_length = 1 + sum(f[2] for f in fields)
    header_length = 32 + 32 * len(fields) + 1
    out = struct.pack("<BBBBIHH", 3, 124, 12, 9, len(records), header_length, record_length)
    out += b"\0" * 17 + bytes([ldid]) + b"\0\0"
    for name, kind, length, decimals in fields:
        out += name.encode("ascii").ljust(11, b"\0") + kind.encode() + b"\0" * 4
        out += bytes([length, decimals]) + b"\0" * 14
    out += b"\r"
    for k, values in enumerate(records):
        out += b"*" if k in deleted else b" "
        for (name, kind, length, _), v in zip(fields, values):
            out += v.ljust(length, b" ") if kind == "C" else v.rjust(length, b" ")
    return out + b"\x1a"


FIELDS = [("NAME", "C", 12, 0), ("POP", "N", 10, 0), ("AREA", "F", 12, 3),
          ("MEMBER", "L", 1, 0), ("SINCE", "D", 8, 0)]
ROWS = [[b"Caf\xc3\xa9", b"1200", b"3.250", b"T", b"19990101"],
        [b"Zo\xc3\xab", b"", b"*****", b"n", b"20230230"],
        [b"  lead", b"-7", b"1e3", b"?", b""]]


def test_columns_valid_flags_and_rows(tmp_path):
    f = tmp_path / "t.dbf"
    f.write_bytes(dbf_bytes(FIELDS, ROWS, deleted=(1,)))
    t = q.read_dbf(f, expected_records=3)
    assert len(t) == 3 and t.keys() == ["NAME", "POP", "AREA", "MEMBER", "SINCE"]
    assert t["NAME"].tolist() == ["Café", "Zoë", "  lead"]  # padding off, leading kept
    assert t["POP"].dtype == np.float64 and t["POP"][0] == 1200 and np.isnan(t["POP"][1])
    assert t.valid["POP"].tolist() == [True, False, True]
    assert t.valid["AREA"].tolist() == [True, False, True] and t["AREA"][2] == 1000.0
    assert t["MEMBER"].tolist() == [True, False, False]
    assert t.valid["MEMBER"].tolist() == [True, True, False]
    assert t["SINCE"].dtype == np.dtype("datetime64[D]")
    assert t["SINCE"][0] == np.datetime64("1999-01-01") and np.isnat(t["SINCE"][1:]).all()
    assert t.deleted.tolist() == [False, True, False]
    assert t.encoding == "UTF-8" and t.encoding_source == "default"
    assert t.row(0) == {"NAME": "Café", "POP": 1200.0, "AREA": 3.25, "MEMBER": True,
                        "SINCE": datetime.date(1999, 1, 1)}
    assert set(t.to_dict()) == set(t.keys()) and "3 records" in repr(t)
    with pytest.raises(IndexError):
        t.row(3)


def test_encodings_from_argument_and_cpg(tmp_path):
    f = tmp_path / "latin.dbf"
    f.write_bytes(dbf_bytes([("NAME", "C", 8, 0)], [[b"Caf\xe9"]]))
    assert q.read_dbf(f)["NAME"][0] == "Café"  # not UTF-8: read as ISO-8859-1
    (tmp_path / "latin.cpg").write_text("1252")
    t = q.read_dbf(f)
    assert t.encoding_source == "cpg" and t["NAME"][0] == "Café"
    t = q.read_dbf(f, encoding="UTF-8")  # the caller's word wins, invalid bytes flagged
    assert t.encoding_source == "argument" and not t.valid["NAME"][0]
    with pytest.raises(q.ShapefileError) as info:
        q.read_dbf(f, encoding="no-such-code-page")
    assert info.value.code == -46


def test_errors(tmp_path):
    with pytest.raises(FileNotFoundError):
        q.read_dbf(tmp_path / "none.dbf")
    with pytest.raises(FileNotFoundError):
        q.read_prj(tmp_path / "none.prj")
    f = tmp_path / "t.dbf"
    f.write_bytes(dbf_bytes(FIELDS, ROWS))
    with pytest.raises(q.ShapefileError) as info:
        q.read_dbf(f, expected_records=4)
    assert info.value.code == -45 and "record count" in str(info.value)
    f.write_bytes(dbf_bytes(FIELDS, ROWS)[:-40])
    with pytest.raises(q.ShapefileError) as info:
        q.read_dbf(f)
    assert info.value.code == -44
    (tmp_path / "short.dbf").write_bytes(b"\3" * 10)
    with pytest.raises(q.ShapefileError) as info:
        q.read_dbf(tmp_path / "short.dbf")
    assert info.value.code == -42
    with pytest.raises(ValueError):
        q.read_dbf(f, expected_records=-2)


def test_prj_text(tmp_path):
    wkt = 'GEOGCS["GCS_WGS_1984",DATUM["D_WGS_1984",SPHEROID["WGS_1984",6378137,298.257223563]]]'
    f = tmp_path / "a.prj"
    f.write_bytes(b"\xef\xbb\xbf" + wkt.encode() + b"\r\n\0")
    assert q.read_prj(f) == wkt
    f.write_bytes(b"")
    assert q.read_prj(f) == ""
    f.write_bytes(b"\xff\xfe bad")
    with pytest.raises(q.ShapefileError) as info:
        q.read_prj(f)
    assert info.value.code == -49


def test_sample_rows_match_its_shapes():
    dbf = os.path.splitext(SAMPLE)[0] + ".dbf"
    if not os.path.exists(dbf):
        pytest.skip("no .dbf beside the sample")
    shp = q.parse_shp(SAMPLE)
    t = q.read_dbf(dbf, expected_records=len(shp))
    assert len(t) == len(shp) and t.keys()
    text = [name for name in t.keys() if t[name].dtype == object]
    assert text and all(isinstance(v, str) for v in t[text[0]])
    prj = os.path.splitext(SAMPLE)[0] + ".prj"
    if os.path.exists(prj):
        assert "WGS" in q.read_prj(prj).upper()


def test_geometry_of_every_type_with_z_and_m(tmp_path):
    # A MultiPointZ (18) record: box, 2 points, their Z range and values, M range and values.
    pts = [(1.0, 2.0), (3.0, 4.0)]
    content = struct.pack("<i4di", 18, 1, 2, 3, 4, 2) + b"".join(struct.pack("<2d", *p) for p in pts)
    content += struct.pack("<2d2d", 5, 6, 5, 6) + struct.pack("<2d2d", 7, 8, 7, 8)
    from conftest import shp_bytes
    f = tmp_path / "mpz.shp"
    f.write_bytes(shp_bytes(18, [content]))
    with q.read_shp_geometry(f) as g:
        assert g.points.tolist() == [[1, 2], [3, 4]] and len(g) == 1
        assert g.z.tolist() == [5, 6] and g.m.tolist() == [7, 8]
        assert g.shape_types.tolist() == [18]
        z = g.z
    assert z.tolist() == [5, 6]  # a view outlives the closed Shapefile
    assert q.parse_shp(SAMPLE).points.tolist() == q.read_shp_geometry(SAMPLE).points.tolist()
    assert q.read_shp_geometry(SAMPLE).z is None
    with pytest.raises(FileNotFoundError):
        q.read_shp_geometry(tmp_path / "none.shp")
