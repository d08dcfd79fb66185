#!/usr/bin/env python3
"""ordane_read_dbf against pyshp on the files other software wrote
(tests/shp/writers, made by make_writer_corpus.py): every field of every
record, the deleted flags and the record count. Reads the library through
ctypes with the DbfTable layout of ordane.h.
   dbf_pyshp_crosscheck.py <path of libordane.so> <corpus dir>"""
import ctypes
import datetime
import json
import math
import os
import sys

import shapefile  # pyshp


class DbfColumn(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char * 48), ("type", ctypes.c_char), ("kind", ctypes.c_uint8),
                ("length", ctypes.c_uint8), ("decimals", ctypes.c_uint8),
                ("field_offset", ctypes.c_int32), ("numbers", ctypes.POINTER(ctypes.c_double)),
                ("days", ctypes.POINTER(ctypes.c_int64)), ("booleans", ctypes.POINTER(ctypes.c_uint8)),
                ("valid", ctypes.POINTER(ctypes.c_uint8)),
                ("text_offsets", ctypes.POINTER(ctypes.c_uint64)), ("text", ctypes.c_void_p)]


class DbfTable(ctypes.Structure):
    _fields_ = [("num_records", ctypes.c_int64), ("num_columns", ctypes.c_int32),
                ("encoding_source", ctypes.c_int32), ("deleted", ctypes.POINTER(ctypes.c_uint8)),
                ("columns", ctypes.POINTER(DbfColumn)), ("encoding", ctypes.c_char * 32),
                ("last_update", ctypes.c_int32), ("version", ctypes.c_uint8),
                ("language_driver", ctypes.c_uint8)]


assert ctypes.sizeof(DbfColumn) == 104 and ctypes.sizeof(DbfTable) == 72
TEXT, NUMBER, LOGICAL, DATE, RAW = 1, 2, 3, 4, 5
EPOCH = datetime.date(1970, 1, 1)


def ours(lib, path, expected):
    t = ctypes.POINTER(DbfTable)()
    rc = lib.ordane_read_dbf(path.encode(), None, ctypes.c_int64(expected), ctypes.byref(t))
    if rc != 0:
        raise AssertionError("%s: ordane_read_dbf returned %d" % (path, rc))
    return t


def value(col, k):
    if col.kind in (TEXT, RAW):
        a, b = col.text_offsets[k], col.text_offsets[k + 1]
        return ctypes.string_at(col.text + a, b - a).decode("utf-8") if b > a else ""
    if not col.valid[k]:
        return None
    if col.kind == NUMBER:
        return col.numbers[k]
    if col.kind == DATE:
        return EPOCH + datetime.timedelta(days=col.days[k])
    return bool(col.booleans[k])


def main():
    lib = ctypes.CDLL(sys.argv[1])
    lib.ordane_read_dbf.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int64,
                                    ctypes.POINTER(ctypes.POINTER(DbfTable))]
    lib.ordane_free_dbf_table.argtypes = [ctypes.POINTER(DbfTable)]
    corpus = sys.argv[2]
    with open(os.path.join(corpus, "manifest.json")) as f:
        manifest = json.load(f)
    failures = []
    checked = 0
    for name, info in sorted(manifest.items()):
        base = os.path.join(corpus, name)
        r = shapefile.Reader(base, encoding=info["encoding"])
        shapes = len(r.shapes())
        t = ours(lib, base + ".dbf", shapes)
        try:
            tab = t.contents
            fields = r.fields[1:]
            if tab.num_records != r.numRecords or tab.num_columns != len(fields):
                failures.append("%s: %d x %d, pyshp %d x %d" % (name, tab.num_records,
                                tab.num_columns, r.numRecords, len(fields)))
                continue
            deleted = [k for k in range(tab.num_records) if tab.deleted[k]]
            if deleted != info["deleted"]:
                failures.append("%s: deleted %s, written %s" % (name, deleted, info["deleted"]))
            live = [k for k in range(tab.num_records) if not tab.deleted[k]]
            records = r.records()  # pyshp leaves deleted records out
            if len(records) != len(live):
                failures.append("%s: %d live records, pyshp %d" % (name, len(live), len(records)))
                continue
            for i, (fname, ftype, flen, fdec) in enumerate(fields):
                col = tab.columns[i]
                if col.name.decode("utf-8") != fname or col.type.decode() != ftype or \
                        col.length != flen or col.decimals != fdec:
                    failures.append("%s: field %d is %r %r %d %d, pyshp %r %r %d %d" % (
                        name, i, col.name, col.type, col.length, col.decimals, fname, ftype, flen, fdec))
                for k, rec in zip(live, records):
                    want, got = rec[i], value(col, k)
                    if isinstance(want, str):
                        same = isinstance(got, str) and got.strip() == want
                    elif isinstance(want, bool) or want is None:
                        same = got == want
                    elif isinstance(want, datetime.date):
                        same = got == want
                    else:
                        same = got is not None and not math.isnan(got) and got == float(want)
                    checked += 1
                    if not same:
                        failures.append("%s: record %d field %s: %r, pyshp %r" % (name, k, fname, got, want))
        finally:
            lib.ordane_free_dbf_table(t)
    for f in failures:
        print(f)
    print("%d files, %d values compared, %d differences" % (len(manifest), checked, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
