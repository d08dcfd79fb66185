#!/usr/bin/env python3
"""Writes tests/shp/writers/: small shapefiles (.shp, .shx, .dbf and .cpg,
.prj where the writer makes them) made by other software, GDAL's ogr2ogr and
pyshp, in several encodings and with deleted records. The files are
committed; run this again (Debian 12: gdal-bin, python3-pyshp) only to change
them. manifest.json gives, per file, the encoding pyshp must be told to read
it as and the records that were marked deleted. Checked against pyshp's own
reading by dbf_pyshp_crosscheck.py."""
import datetime
import json
import os
import shutil
import subprocess
import tempfile

import shapefile  # pyshp

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "writers")

NAMES = ["Zürich", "Москва", "Ελλάδα", "Ísafjörður", "São Paulo", "Łódź", "北京", "東京",
         "Kraków", "Genève", "", "a" * 60]


def ogr(name, encoding, names, passthrough=False):
    """A point layer from GeoJSON through ogr2ogr, in "encoding" (None: the
    driver's default, UTF-8). "passthrough" turns GDAL's recoding off: the
    UTF-8 bytes are written without a .cpg, under the language-driver byte
    0x57 that GDAL always writes, as tools that pass text through do."""
    feats = []
    for i, n in enumerate(names):
        props = {"name": n if n else None, "pop": (i * 104729) % 900001 if i % 4 else None,
                 "area": round(i * 12.345678 - 3.5, 6) if i % 5 else None,
                 "founded": "%04d-%02d-%02d" % (1200 + 37 * i, 1 + i % 12, 1 + (3 * i) % 28)
                 if i % 3 else None, "big": 10 ** 15 + i}
        feats.append({"type": "Feature", "properties": props,
                      "geometry": {"type": "Point", "coordinates": [i * 1.5, -i * 0.5]}})
    with tempfile.TemporaryDirectory() as d:
        src = os.path.join(d, "in.geojson")
        with open(src, "w", encoding="utf-8") as f:
            json.dump({"type": "FeatureCollection", "features": feats}, f, ensure_ascii=False)
        cmd = ["ogr2ogr", "-f", "ESRI Shapefile", os.path.join(out, name + ".shp"), src,
               "-a_srs", "EPSG:4326"]
        if encoding:
            cmd += ["-lco", "ENCODING=" + encoding]
        env = dict(os.environ)
        env.pop("SHAPE_ENCODING", None)
        if passthrough:
            env["SHAPE_ENCODING"] = ""
        subprocess.run(cmd, check=True, env=env)


def pyshp(name, encoding, names, cpg=None, deleted=()):
    """Points with fields of every kind written by pyshp in "encoding"; the
    records in "deleted" get the '*' flag afterwards (pyshp writes none)."""
    w = shapefile.Writer(os.path.join(out, name), shapeType=shapefile.POINT, encoding=encoding)
    w.field("NAME", "C", 40)
    w.field("COUNT", "N", 10, 0)
    w.field("RATIO", "F", 19, 11)
    w.field("NEG", "N", 12, 4)
    w.field("WHEN", "D")
    w.field("FLAG", "L")
    for i, n in enumerate(names):
        w.point(i, i * 2)
        w.record(n, i * 7919 if i % 3 else None, i / 7.0 if i % 4 else None, -i * 1.0625,
                 datetime.date(1900 + 9 * i, 1 + i % 12, 1 + i % 28) if i % 5 else None,
                 [True, False, None][i % 3])
    w.close()
    if cpg:
        with open(os.path.join(out, name + ".cpg"), "w") as f:
            f.write(cpg)
    path = os.path.join(out, name + ".dbf")
    with open(path, "r+b") as f:
        head = f.read(32)
        header_len = int.from_bytes(head[8:10], "little")
        record_len = int.from_bytes(head[10:12], "little")
        for k in deleted:
            f.seek(header_len + k * record_len)
            f.write(b"*")


def main():
    if os.path.isdir(out):
        shutil.rmtree(out)
    os.makedirs(out)
    latin = [n for n in NAMES if all(ord(c) < 256 for c in n)]
    cyrillic = [n for n in NAMES if all(ord(c) < 128 or 0x400 <= ord(c) < 0x460 for c in n)]
    manifest = {}
    # GDAL's default: ISO-8859-1 under the byte 0x57, no .cpg; what Latin-1
    # cannot hold becomes '?'.
    ogr("ogr_default", None, NAMES)
    manifest["ogr_default"] = {"encoding": "latin1", "deleted": []}
    ogr("ogr_utf8", "UTF-8", NAMES)
    manifest["ogr_utf8"] = {"encoding": "utf-8", "deleted": []}
    ogr("ogr_utf8_passthrough", None, NAMES, passthrough=True)
    manifest["ogr_utf8_passthrough"] = {"encoding": "utf-8", "deleted": []}
    ogr("ogr_cp1252", "CP1252", latin)
    manifest["ogr_cp1252"] = {"encoding": "cp1252", "deleted": []}
    ogr("ogr_cp1251", "CP1251", cyrillic)
    manifest["ogr_cp1251"] = {"encoding": "cp1251", "deleted": []}
    ogr("ogr_latin1", "ISO-8859-1", latin)
    manifest["ogr_latin1"] = {"encoding": "latin1", "deleted": []}
    pyshp("pyshp_utf8", "utf-8", NAMES, deleted=(1, 4))
    manifest["pyshp_utf8"] = {"encoding": "utf-8", "deleted": [1, 4]}
    chinese = [n for n in NAMES if all(ord(c) < 128 or ord(c) > 0x3000 for c in n)]
    pyshp("pyshp_gbk", "gbk", chinese, cpg="GBK", deleted=(0,))
    manifest["pyshp_gbk"] = {"encoding": "gbk", "deleted": [0]}
    pyshp("pyshp_latin1_nocpg", "latin1", latin, deleted=(2,))
    manifest["pyshp_latin1_nocpg"] = {"encoding": "latin1", "deleted": [2]}
    with open(os.path.join(out, "manifest.json"), "w") as f:
        json.dump(manifest, f, indent=1, sort_keys=True)
        f.write("\n")


if __name__ == "__main__":
    main()
