#!/usr/bin/env python3
"""Writes the seed corpus of ordane_dbf_fuzzer into corpus/ordane_dbf/.

Small attribute tables of every field kind, in several encodings, with
deleted records and damaged headers, plus the sample countries' table. The
last byte of each input picks the encoding argument (see the fuzzer). Run
from any directory."""
import os
import shutil
import struct

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "corpus", "ordane_dbf")


def dbf(fields, records, ldid=0, count=None, header_len=None, record_len=None, end=True):
    # fields: (name, type, length, decimals); records: (deleted, [bytes...])
    rl = 1 + sum(f[2] for f in fields)
    hl = 32 + 32 * len(fields) + 1
    b = struct.pack("<B3BIHH17xB2x", 3, 124, 5, 17, len(records) if count is None else count,
                    hl if header_len is None else header_len, rl if record_len is None else record_len,
                    ldid)
    for name, typ, length, dec in fields:
        b += name.encode("ascii").ljust(11, b"\0") + typ.encode() + b"\0" * 4 + bytes([length, dec]) + b"\0" * 14
    b += b"\r"
    for deleted, values in records:
        b += b"*" if deleted else b" "
        for (name, typ, length, dec), v in zip(fields, values):
            b += v[:length].ljust(length, b" ")
    return b + (b"\x1a" if end else b"")


kinds = [("NAME", "C", 12, 0), ("POP", "N", 10, 0), ("AREA", "N", 12, 3), ("R", "F", 14, 6),
         ("OK", "L", 1, 0), ("DAY", "D", 8, 0), ("MEMO", "M", 10, 0)]
rows = [(False, [b"Oslo", b"709037", b"454.031", b"1.5e-3", b"T", b"20240229", b"12"]),
        (True, [b"caf\xe9", b"", b"-12.50", b"+3", b"n", b"19700101", b""]),
        (False, [b"\xd6\xd0\xce\xc4", b"*****", b"1.2.3", b"1e", b"?", b"20230229", b"abc"])]

seeds = {
    "kinds_utf8": dbf(kinds, rows) + b"\x03",
    "kinds_default": dbf(kinds, rows) + b"\x00",
    "kinds_cp1252": dbf(kinds, rows) + b"\x01",
    "kinds_gbk": dbf(kinds, rows) + b"\x02",
    "kinds_sjis": dbf(kinds, rows) + b"\x04",
    "ldid_cp1251": dbf([("T", "C", 8, 0)], [(False, [b"\xcf\xf0\xe8\xe2\xe5\xf2"])], ldid=0xC9),
    "no_records": dbf(kinds, []),
    "huge_record_count": dbf(kinds, rows, count=0xFFFFFFFF),
    "header_past_file": dbf(kinds, rows, header_len=60000),
    "header_too_short": dbf(kinds, rows, header_len=32),
    "record_length_short": dbf(kinds, rows, record_len=5),
    "no_end_mark": dbf(kinds, rows, end=False),
    "cut_record": dbf(kinds, rows, end=False)[:-3],
    "prj_wkt": b'GEOGCS["GCS_WGS_1984",DATUM["D_WGS_1984",SPHEROID["WGS_1984",6378137.0,298.257223563]]]',
}

if os.path.isdir(out):
    shutil.rmtree(out)
os.makedirs(out)
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
shutil.copy(os.path.join(here, "..", "data", "countries_110m.dbf"), os.path.join(out, "countries_110m"))
