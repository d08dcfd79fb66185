#!/usr/bin/env python3
"""Tiles per second for a z0-z5 pyramid (1365 tiles of 256 px, one fill,
one stroke, 32-bit PNG) against Mapnik drawing 8x8 metatiles (buffer 128)
and a pycairo pipeline drawing tile by tile, on the 110 m countries and the
same file densified to about 545,000 vertices; ours also on a process pool
and on Dask (1 and 2 workers each). Each line gives the load average, since
the figure means little on a busy machine, and the median of --repeat runs
made in rounds. Each case runs in a process of its
own under /usr/bin/time -v, which gives its peak RSS (for the pool and Dask:
the largest of the processes; ours also gives the largest worker's).

    QUILLON_LIB_DIR=build-real PYTHONPATH=python /usr/bin/python3 python/bench/tiles_peers.py

(build-real: a Release build on the real Blend2D.)
"""

import argparse
import math
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SAMPLE = os.path.join(ROOT, "data", "countries_110m.shp")
FILL = (0x4C / 255, 0x9A / 255, 0x7E / 255)
STROKE = (0x1D / 255, 0x3B / 255, 0x30 / 255)
R = 6378137.0
HALF = math.pi * R


def densify(src, dst, target=545000):
    """dst.shp/.shx (and the .dbf, .prj) of src with every edge cut into equal
    pieces so the file holds about "target" vertices."""
    import quillon as q
    shp = q.parse_shp(src)
    factor = max(1, round(target / shp.num_points))
    records = []
    for shape in shp:
        rings = []
        for part in shape.parts:
            a, b = part[:-1], part[1:]
            t = np.arange(factor)[None, :, None] / factor
            pts = (a[:, None, :] + (b - a)[:, None, :] * t).reshape(-1, 2)
            rings.append(np.vstack([pts, part[-1:]]))
        records.append(rings)
    body, index = b"", b""
    count = 0
    for k, rings in enumerate(records, 1):
        pts = np.vstack(rings)
        count += len(pts)
        content = struct.pack("<i4d", 5, *pts.min(axis=0), *pts.max(axis=0))
        content += struct.pack("<ii", len(rings), len(pts))
        start = 0
        for r in rings:
            content += struct.pack("<i", start)
            start += len(r)
        content += pts.astype("<f8").tobytes()
        index += struct.pack(">ii", (100 + len(body)) // 2, len(content) // 2)
        body += struct.pack(">ii", k, len(content) // 2) + content
    allp = shp.points
    box = struct.pack("<4d", *allp.min(axis=0), *allp.max(axis=0))

    def header(length):
        return (struct.pack(">i", 9994) + b"\0" * 20 + struct.pack(">i", length // 2)
                + struct.pack("<ii", 1000, 5) + box + b"\0" * 32)
    with open(dst, "wb") as f:
        f.write(header(100 + len(body)) + body)
    with open(dst[:-4] + ".shx", "wb") as f:
        f.write(header(100 + len(index)) + index)
    for ext in (".dbf", ".prj"):
        shutil.copy(src[:-4] + ext, dst[:-4] + ext)
    return count


def load():
    return "%.1f" % os.getloadavg()[0]


def ours(src, out, scheduler, workers):
    """Seconds of the whole build, then of its parts: starting the workers
    (a Dask cluster up, each worker holding the data), drawing, closing."""
    import resource
    from quillon.tiles import build, Job, schedule
    if scheduler == "serial":
        schedule.tune_allocator()  # as the quillon-tiles command does for itself
    timings = {}
    t = time.perf_counter()
    build(Job(source=src), out, (0, 5), scheduler=scheduler, workers=workers, quiet=True,
          timings=timings)
    # The pool's and the LocalCluster's workers are this process's children,
    # all waited for: the largest one's peak RSS (KiB).
    who = resource.RUSAGE_SELF if scheduler == "serial" else resource.RUSAGE_CHILDREN
    return "%r %r %r %r %d %r" % (time.perf_counter() - t, timings["start"], timings["render"],
                                  timings["close"], resource.getrusage(who).ru_maxrss,
                                  timings["render_cpu"])


def tile_list():
    return [(z, x, y) for z in range(6) for x in range(1 << z) for y in range(1 << z)]


def mapnik_run(src, out):
    import mapnik
    m = mapnik.Map(256, 256, "+proj=merc +a=6378137 +b=6378137 +lat_ts=0 +lon_0=0 +x_0=0 "
                   "+y_0=0 +k=1 +units=m +nadgrids=@null +wktext +no_defs")
    s = mapnik.Style()
    rule = mapnik.Rule()
    rule.symbols.append(mapnik.PolygonSymbolizer())
    rule.symbols[0].fill = mapnik.Color("#4c9a7e")
    line = mapnik.LineSymbolizer()
    line.stroke = mapnik.Color("#1d3b30")
    line.stroke_width = 1.0
    rule.symbols.append(line)
    s.rules.append(rule)
    m.append_style("land", s)
    layer = mapnik.Layer("land", "+proj=longlat +datum=WGS84 +no_defs")
    layer.datasource = mapnik.Shapefile(file=src)
    layer.styles.append("land")
    m.layers.append(layer)
    t0 = time.perf_counter()
    for z in range(6):
        n = 1 << z
        meta = min(8, n)
        buf = 128 if n > meta else 0
        size = meta * 256
        world = n * 256
        for my in range(n // meta):
            for mx in range(n // meta):
                m.resize(size + 2 * buf, size + 2 * buf)
                px0, py0 = mx * size - buf, my * size - buf
                x0 = px0 / world * 2 * HALF - HALF
                x1 = (px0 + size + 2 * buf) / world * 2 * HALF - HALF
                y1 = HALF - py0 / world * 2 * HALF
                y0 = HALF - (py0 + size + 2 * buf) / world * 2 * HALF
                m.zoom_to_box(mapnik.Box2d(x0, y0, x1, y1))
                im = mapnik.Image(size + 2 * buf, size + 2 * buf)
                mapnik.render(m, im)
                for j in range(meta):
                    for i in range(meta):
                        x, y = mx * meta + i, my * meta + j
                        d = os.path.join(out, str(z), str(x))
                        os.makedirs(d, exist_ok=True)
                        tile = im.view(buf + i * 256, buf + j * 256, 256, 256)
                        tile.save(os.path.join(d, "%d.png" % y), "png32")
    return time.perf_counter() - t0


def cairo_run(src, out):
    import cairo
    import quillon as q
    shp = q.parse_shp(src)
    xy = q.mercator_forward(np.array(shp.points))
    shapes = [(shp.part_offsets(k), shp.bboxes[k]) for k in range(shp.num_shapes)]
    t0 = time.perf_counter()
    for z, x, y in tile_list():
        scale = (1 << z) * 256 / (2 * HALF)
        surf = cairo.ImageSurface(cairo.FORMAT_ARGB32, 256, 256)
        ctx = cairo.Context(surf)
        ctx.translate(-x * 256, -y * 256)
        for offs, _ in shapes:
            for j in range(len(offs) - 1):
                ring = (xy[offs[j]:offs[j + 1]] * [scale, -scale] + [HALF * scale, HALF * scale])
                ctx.move_to(*ring[0])
                for px, py in ring[1:].tolist():
                    ctx.line_to(px, py)
                ctx.close_path()
        ctx.set_source_rgb(*FILL)
        ctx.fill_preserve()
        ctx.set_source_rgb(*STROKE)
        ctx.set_line_width(1.0)
        ctx.stroke()
        d = os.path.join(out, str(z), str(x))
        os.makedirs(d, exist_ok=True)
        surf.write_to_png(os.path.join(d, "%d.png" % y))
    return time.perf_counter() - t0


def bytes_per_tile(out):
    sizes = [os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(out) for f in fs
             if f.endswith(".png") and "leaflet" not in d]
    return sum(sizes) / max(1, len(sizes))


CASES = {
    "ours-serial": lambda s, o: ours(s, o, "serial", 1),
    "ours-processes-1": lambda s, o: ours(s, o, "processes", 1),
    "ours-processes-2": lambda s, o: ours(s, o, "processes", 2),
    "ours-dask-1": lambda s, o: ours(s, o, "dask", 1),
    "ours-dask-2": lambda s, o: ours(s, o, "dask", 2),
    "mapnik-8x8": mapnik_run,
    "pycairo-tile-by-tile": cairo_run,
}


# What a worker holds beside the data: the interpreter with numpy and the
# libraries loaded (and Dask's worker), measured in a process of its own.
RUNTIME = ("import numpy, quillon.tiles.render, quillon._native as n; n.lib()",
           "import numpy, quillon.tiles.render, quillon._native as n, distributed; n.lib()")


def runtime_rss(code):
    r = subprocess.run(["/usr/bin/time", "-v", sys.executable, "-c", code],
                       capture_output=True, text=True)
    rss = [int(l.split(":")[1]) for l in r.stderr.splitlines() if "Maximum resident" in l]
    return rss[0] / 1024 if rss and r.returncode == 0 else float("nan")


def bound_mib(shp, tile=256, meta=8, buffer=128):
    """The data plus two metatile surfaces (32-bit pixels), in MiB."""
    side = meta * tile + 2 * buffer
    return (os.path.getsize(shp) + 2 * side * side * 4) / 2**20


def run_one(case, data, out):
    """One case in a fresh process under /usr/bin/time -v: (seconds, peak RSS KiB)."""
    cmd = ["/usr/bin/time", "-v", sys.executable, os.path.abspath(__file__), "--run", case,
           data, out]
    r = subprocess.run(cmd, capture_output=True, text=True)
    if r.returncode != 0:
        raise RuntimeError(r.stderr.strip().splitlines()[-1] if r.stderr.strip() else "failed")
    secs = [float(v) for v in r.stdout.strip().splitlines()[-1].split()]
    rss = [int(l.split(":")[1]) for l in r.stderr.splitlines() if "Maximum resident" in l]
    return secs, rss[0] if rss else 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--case", choices=sorted(CASES), action="append")
    ap.add_argument("--data", choices=("110m", "dense"), action="append")
    ap.add_argument("--repeat", type=int, default=3,
                    help="runs of each case, in rounds; the medians are printed (default 3)")
    ap.add_argument("--work", metavar="DIR",
                    help="where the tiles are written (default /dev/shm, else the temp folder)")
    ap.add_argument("--run", nargs=3, metavar=("CASE", "SHP", "OUT"), help=argparse.SUPPRESS)
    a = ap.parse_args()
    if a.run:
        print(CASES[a.run[0]](a.run[1], a.run[2]))
        return 0
    # The tiles go to memory (/dev/shm) by default: a disk's file creation
    # and deletion times (journal, online discard) vary from run to run by
    # more than the differences measured here, and every case writes the
    # same 1365 files. --work DIR measures a disk of one's choice.
    base = a.work or ("/dev/shm" if os.path.isdir("/dev/shm") else None)
    work = tempfile.mkdtemp(prefix="tiles-bench-", dir=base)
    try:
        files = {"110m": SAMPLE}
        if not a.data or "dense" in a.data:
            dense = os.path.join(work, "dense.shp")
            n = densify(SAMPLE, dense)
            files["dense"] = dense
            print("dense file: %d vertices" % n, flush=True)
        print("a worker's runtime alone: %.0f MiB (with Dask's worker: %.0f MiB)"
              % tuple(runtime_rss(c) for c in RUNTIME), flush=True)
        for data in a.data or ("110m", "dense"):
            print("%-5s bound: the data %.1f MiB + two metatile surfaces = %.1f MiB" % (
                data, os.path.getsize(files[data]) / 2**20, bound_mib(files[data])), flush=True)
        # Rounds of every case in turn, so that a slow spell of the machine
        # falls on all cases alike; each figure is the median of the rounds
        # (peak RSS: the largest).
        runs = {}
        for _ in range(max(1, a.repeat)):
            for data in a.data or ("110m", "dense"):
                for case in a.case or sorted(CASES):
                    out = os.path.join(work, "%s-%s" % (data, case))
                    before = load()
                    try:
                        secs, rss = run_one(case, files[data], out)
                    except Exception as exc:  # a missing peer: say so, go on
                        print("%-5s %-22s failed: %s" % (data, case, exc), flush=True)
                        continue
                    entry = runs.setdefault((data, case), {"secs": [], "rss": 0,
                                                           "load": [before, before]})
                    entry["secs"].append(secs)
                    entry["rss"] = max(entry["rss"], rss)
                    entry["load"][1] = load()
                    entry.setdefault("bytes", bytes_per_tile(out))
                    shutil.rmtree(out, ignore_errors=True)
        for (data, case), entry in runs.items():
            med = [statistics.median(v) for v in zip(*entry["secs"])]
            # Ours also gives the drawing alone (the workers started and
            # holding the data), the start-up and closing times and this
            # process's CPU while drawing (scheduling and writing the tiles).
            parts = ("  drawing %7.1f tiles/s  start %5.2f s  close %4.2f s  worker RSS %4.0f MiB"
                     "  main CPU %4.2f s of %4.2f s" % (
                         1365 / med[2], med[1], med[3], max(s[4] for s in entry["secs"]) / 1024,
                         med[5], med[2])) if len(med) == 6 else ""
            print("%-5s %-22s %7.1f tiles/s  %6.0f bytes/tile  peak RSS %4.0f MiB  load %s -> %s"
                  "  (median of %d)%s" % (data, case, 1365 / med[0], entry["bytes"],
                                          entry["rss"] / 1024, entry["load"][0],
                                          entry["load"][1], len(entry["secs"]), parts),
                  flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
