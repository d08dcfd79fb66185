"""The files beside a .shp: the attribute table (.dbf) as numpy columns, and
the coordinate system text (.prj).

    table = q.read_dbf("data/countries_110m.dbf", expected_records=len(shp))
    table["NAME"]          # object array of str, row k belongs to shape k
    table.valid["POP_EST"] # where a value was present and well formed
    table.to_dict()        # {name: column}
    table.row(3)           # {name: value} of one record
    q.read_prj("data/countries_110m.prj")  # the WKT text

The library's table is copied into numpy arrays and released at once, so a
Table holds no native memory and may be shared freely.
"""

from __future__ import annotations

import ctypes
import os
from ctypes import POINTER, Structure, c_char, c_char_p, c_int32, c_int64, c_uint8
from ctypes import c_void_p
from typing import Any, Dict, Iterator, List, Optional, Tuple

import numpy as np

from . import _native
from .errors import ShapefileError


class _DbfColumn(Structure):
    _fields_ = [("name", c_char * 48), ("type", c_char), ("kind", c_uint8), ("length", c_uint8),
                ("decimals", c_uint8), ("field_offset", c_int32), ("numbers", c_void_p),
                ("days", c_void_p), ("booleans", c_void_p), ("valid", c_void_p),
                ("text_offsets", c_void_p), ("text", c_void_p)]


class _DbfTable(Structure):
    _fields_ = [("num_records", c_int64), ("num_columns", c_int32),
                ("encoding_source", c_int32), ("deleted", c_void_p),
                ("columns", POINTER(_DbfColumn)), ("encoding", c_char * 32),
                ("last_update", c_int32), ("version", c_uint8), ("language_driver", c_uint8)]


def _check_layouts() -> None:
    if ctypes.sizeof(c_void_p) != 8:
        return
    for got, want in [(ctypes.sizeof(_DbfColumn), 104), (_DbfColumn.type.offset, 48),
                      (_DbfColumn.field_offset.offset, 52), (_DbfColumn.numbers.offset, 56),
                      (_DbfColumn.text.offset, 96), (ctypes.sizeof(_DbfTable), 72),
                      (_DbfTable.deleted.offset, 16)]:
        if got != want:
            raise ImportError("quillon: DbfTable layout differs from the C header")


_check_layouts()

# The exports this module calls, declared on first use.
class _ShpGeometry(Structure):
    _fields_ = [("xy", _native.ShpDataRecord), ("z", c_void_p), ("m", c_void_p),
                ("shape_types", c_void_p)]


if ctypes.sizeof(c_void_p) == 8 and (ctypes.sizeof(_ShpGeometry) != 88
                                     or _ShpGeometry.z.offset != 64):
    raise ImportError("quillon: ShpGeometry layout differs from the C header")

_PROTOTYPES: Dict[str, Tuple[Any, List[Any]]] = {
    "ordane_read_shp_geometry": (c_int32, [c_char_p, POINTER(POINTER(_ShpGeometry))]),
    "ordane_free_shp_geometry": (None, [c_void_p]),
    "ordane_read_dbf": (c_int32, [c_char_p, c_char_p, c_int64, POINTER(POINTER(_DbfTable))]),
    "ordane_free_dbf_table": (None, [POINTER(_DbfTable)]),
    "ordane_read_prj": (c_int32, [c_char_p, POINTER(c_void_p)]),
    "ordane_free_prj_text": (None, [c_void_p]),
}

_calls: Dict[str, Any] = {}

KIND_TEXT, KIND_NUMBER, KIND_LOGICAL, KIND_DATE, KIND_RAW = 1, 2, 3, 4, 5

ENCODING_SOURCES = {1: "argument", 2: "cpg", 3: "language driver", 4: "default"}

DBF_ERRORS = {
    -1: "null argument",
    -10: "out of memory",
    -41: "the .dbf cannot be opened",
    -42: "the .dbf is shorter than its 32-byte header",
    -43: "the .dbf header's lengths are inconsistent",
    -44: "the .dbf holds fewer records than its header states",
    -45: "the .dbf's record count differs from the expected one",
    -46: "the encoding asked for is unknown",
    -47: "the .prj cannot be opened",
    -48: "the .prj is larger than 65536 bytes",
    -49: "the .prj is not UTF-8 text (or holds a NUL)",
}


def available() -> bool:
    """True when the loaded libordane has the attribute and .prj readers."""
    handle = _native.lib().handles["ordane"]
    return all(hasattr(handle, name) for name in _PROTOTYPES)


def _c(name: str) -> Any:
    if not _calls:
        if not available():
            raise RuntimeError("quillon: the loaded libordane has no ordane_read_dbf / "
                               "ordane_read_prj (built from an older checkout)")
        handle = _native.lib().handles["ordane"]
        for fname, (restype, argtypes) in _PROTOTYPES.items():
            fn = getattr(handle, fname)
            fn.restype = restype
            fn.argtypes = argtypes
            _calls[fname] = fn
    return _calls[name]


def _fs(path: Any) -> bytes:
    name = os.fsencode(path)
    if b"\0" in name:
        raise ValueError("file name contains a NUL byte")
    return name


def _fail(function: str, rc: int, path: Any) -> None:
    if rc in (-41, -47):
        try:  # the system's own error for a file that cannot be opened
            with open(path, "rb"):
                pass
        except OSError as exc:
            raise exc from None
    raise ShapefileError(function, rc, "%s: %s" % (os.fsdecode(path),
                                                   DBF_ERRORS.get(rc, "unknown")))


def _copy(address: Optional[int], count: int, dtype: Any) -> np.ndarray:
    if count == 0 or not address:
        return np.zeros(count, dtype)
    size = count * np.dtype(dtype).itemsize
    return np.frombuffer(ctypes.string_at(address, size), dtype).copy()


class Field:
    """One column's descriptor: name, type letter, length and decimals as
    stored, and how its values are held (KIND_*)."""

    __slots__ = ("name", "type", "length", "decimals", "kind")

    def __init__(self, name: str, type: str, length: int, decimals: int, kind: int) -> None:
        self.name, self.type, self.length, self.decimals, self.kind = \
            name, type, length, decimals, kind

    def __repr__(self) -> str:
        return "Field(%r, %r, %d, %d)" % (self.name, self.type, self.length, self.decimals)


class Table:
    """An attribute table by columns: numbers as float64 (NaN where not
    valid), dates as datetime64[D] (NaT), logicals as bool, text as an object
    array of str, other types as bytes. Row k belongs to shape k."""

    def __init__(self, fields: List[Field], columns: Dict[str, np.ndarray],
                 valid: Dict[str, np.ndarray], deleted: np.ndarray, encoding: str,
                 encoding_source: str, last_update: int, version: int) -> None:
        self.fields = fields
        self.columns = columns
        self.valid = valid
        self.deleted = deleted
        self.encoding = encoding
        self.encoding_source = encoding_source
        self.last_update = last_update
        self.version = version

    def __len__(self) -> int:
        """The number of records, deleted ones included."""
        return len(self.deleted)

    def __getitem__(self, name: str) -> np.ndarray:
        """The column named "name"."""
        return self.columns[name]

    def __iter__(self) -> Iterator[str]:
        """The column names, in field order."""
        return iter(self.columns)

    def keys(self) -> List[str]:
        """The column names, in field order."""
        return list(self.columns)

    def to_dict(self) -> Dict[str, np.ndarray]:
        """{name: column} (the arrays themselves, not copies)."""
        return dict(self.columns)

    def row(self, index: int) -> Dict[str, Any]:
        """{name: value} of record "index" (negative counts from the end)."""
        n = len(self)
        if index < 0:
            index += n
        if not 0 <= index < n:
            raise IndexError("record index out of range")
        return {name: col[index].item() if hasattr(col[index], "item") else col[index]
                for name, col in self.columns.items()}

    def __repr__(self) -> str:
        return "<quillon.Table %d records, %d columns, %s (%s)>" % (
            len(self), len(self.columns), self.encoding, self.encoding_source)


def _column(col: _DbfColumn, n: int) -> Tuple[np.ndarray, np.ndarray]:
    valid = _copy(col.valid, n, np.uint8).astype(bool)
    kind = col.kind
    if kind == KIND_NUMBER:
        return _copy(col.numbers, n, np.float64), valid
    if kind == KIND_LOGICAL:
        return _copy(col.booleans, n, np.uint8).astype(bool), valid
    if kind == KIND_DATE:
        days = _copy(col.days, n, np.int64).astype("datetime64[D]")
        days[~valid] = np.datetime64("NaT")
        return days, valid
    offsets = _copy(col.text_offsets, n + 1, np.uint64)
    total = int(offsets[-1]) if n else 0
    blob = ctypes.string_at(col.text, total) if total and col.text else b""
    values = np.empty(n, object)
    for k in range(n):
        piece = blob[int(offsets[k]):int(offsets[k + 1])]
        values[k] = piece.decode("utf-8", "replace") if kind == KIND_TEXT else piece
    return values, valid


def read_dbf(dbf_path: Any, encoding: Optional[str] = None,
             expected_records: Optional[int] = None) -> Table:
    """Reads a .dbf attribute table into numpy columns.

    "encoding" overrides the .cpg and the header ("UTF-8", "1252",
    "ISO-8859-1"...); "expected_records", when given, must be the number of
    shapes (len(Shapefile)), or ShapefileError -45 is raised. A file that
    cannot be opened raises the system's OSError (FileNotFoundError...)."""
    if encoding is not None:
        if not isinstance(encoding, str) or "\0" in encoding:
            raise TypeError("encoding must be a str without NUL")
        enc = encoding.encode("utf-8")
    else:
        enc = None
    expected = -1 if expected_records is None else int(expected_records)
    if expected_records is not None and expected < 0:
        raise ValueError("expected_records must be >= 0, not %d" % expected)
    table = POINTER(_DbfTable)()
    name = _fs(dbf_path)
    rc = _c("ordane_read_dbf")(name, enc, expected, ctypes.byref(table))
    if rc != 0:
        _fail("ordane_read_dbf", rc, dbf_path)
    try:
        t = table.contents
        n = int(t.num_records)
        fields: List[Field] = []
        columns: Dict[str, np.ndarray] = {}
        valid: Dict[str, np.ndarray] = {}
        for i in range(int(t.num_columns)):
            col = t.columns[i]
            field = Field(col.name.decode("utf-8", "replace"), col.type.decode("latin-1"),
                          int(col.length), int(col.decimals), int(col.kind))
            key = field.name
            k = 2
            while key in columns:  # a repeated name keeps every column
                key = "%s_%d" % (field.name, k)
                k += 1
            field.name = key
            fields.append(field)
            columns[key], valid[key] = _column(col, n)
        deleted = _copy(t.deleted, n, np.uint8).astype(bool)
        return Table(fields, columns, valid, deleted, t.encoding.decode("ascii", "replace"),
                     ENCODING_SOURCES.get(int(t.encoding_source), "unknown"),
                     int(t.last_update), int(t.version))
    finally:
        _c("ordane_free_dbf_table")(table)


def read_prj(prj_path: Any) -> str:
    """The coordinate system text (WKT) of a .prj, for a coordinate library
    to interpret ("" for an empty file)."""
    text = c_void_p()
    rc = _c("ordane_read_prj")(_fs(prj_path), ctypes.byref(text))
    if rc != 0:
        _fail("ordane_read_prj", rc, prj_path)
    try:
        return ctypes.string_at(text.value).decode("utf-8") if text.value else ""
    finally:
        _c("ordane_free_prj_text")(text)


def read_shp_geometry(file_path: Any) -> Any:
    """Every record of a .shp with points, as parse_shp() gives them plus
    the MultiPoint and M types: a Shapefile whose extra attributes "z" and
    "m" hold one value per point (None when no record has that block; NaN
    for a point whose record has none) and "shape_types" each record's own
    type. A file that cannot be opened raises the system's OSError."""
    from . import geo
    geometry = POINTER(_ShpGeometry)()
    rc = _c("ordane_read_shp_geometry")(_fs(file_path), ctypes.byref(geometry))
    if rc == -2:
        geo._raise_os_error(file_path)
    if rc != 0:
        raise ShapefileError("ordane_read_shp_geometry", rc, "%s: %s" % (
            os.fsdecode(file_path), geo.SHP_ERRORS.get(rc, DBF_ERRORS.get(rc, "unknown"))))
    handle = geo._ShpHandle.__new__(geo._ShpHandle)
    handle.ptr = ctypes.cast(geometry, POINTER(_native.ShpDataRecord))
    handle.free = _c("ordane_free_shp_geometry")
    shp = geo.Shapefile(handle)
    g = geometry.contents
    n_pts, n_shp = int(g.xy.num_points), int(g.xy.num_shapes)
    shp.z = geo._view(handle, g.z, n_pts, (n_pts,), np.float64) if g.z else None
    shp.m = geo._view(handle, g.m, n_pts, (n_pts,), np.float64) if g.m else None
    shp.shape_types = geo._view(handle, g.shape_types, n_shp, (n_shp,), np.int32)
    return shp
