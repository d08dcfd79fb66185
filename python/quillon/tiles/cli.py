"""The quillon-tiles command.

    quillon-tiles INPUT.shp --zoom 0-5 --out DIR | NAME.mbtiles | NAME.pmtiles
    quillon-tiles serve DIR [--port 8000]

Exit status 0 on success, 1 when the pyramid cannot be made (one line on
stderr says why), 2 for wrong arguments, 130 on Ctrl-C."""

from __future__ import annotations

import argparse
import errno
import os
import sqlite3
import sys
from typing import List, Optional

from .. import __version__
from ..errors import QuillonError
from . import grid, pipeline, render, schedule, sinks, viewer

PROG = "quillon-tiles"


def parse_color(text: str) -> int:
    """#RRGGBB, #RRGGBBAA, 0xAARRGGBB or "none" to an 0xAARRGGBB word."""
    t = text.strip().lower()
    if t == "none":
        return 0
    try:
        if t.startswith("#") and len(t) in (7, 9):
            v = int(t[1:], 16)
            return (0xFF000000 | v) if len(t) == 7 else ((v & 0xFF) << 24) | (v >> 8)
        if t.startswith("0x") and len(t) == 10:
            return int(t, 16)
    except ValueError:
        pass
    raise argparse.ArgumentTypeError("%r is not a colour (#RRGGBB, #RRGGBBAA, 0xAARRGGBB or "
                                     "none)" % text)


def _zooms(text: str):
    try:
        return grid.parse_zooms(text)
    except ValueError as exc:
        raise argparse.ArgumentTypeError(str(exc)) from None


def _positive(text: str) -> int:
    try:
        v = int(text)
    except ValueError:
        v = 0
    if v < 1:
        raise argparse.ArgumentTypeError("%r is not a whole number of 1 or more" % text)
    return v


def _buffer(text: str) -> int:
    try:
        v = int(text)
    except ValueError:
        v = -1
    if not 0 <= v <= 1024:
        raise argparse.ArgumentTypeError("the buffer is 0 to 1024 pixels, not %r" % text)
    return v


def _width(text: str) -> float:
    try:
        v = float(text)
    except ValueError:
        v = -1.0
    if not 0.0 <= v <= 256.0:
        raise argparse.ArgumentTypeError("%r is not a width of 0 to 256 pixels" % text)
    return v


def _parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(prog=PROG, description="Web map tiles of a shapefile: a "
                                "{z}/{x}/{y}.png directory with a Leaflet page, MBTiles or "
                                "PMTiles. 'quillon-tiles serve DIR' shows a directory in a "
                                "browser.")
    p.add_argument("input", help="the .shp file (degrees, or any system its .prj names)")
    p.add_argument("--zoom", type=_zooms, default=(0, 5), help="N or MIN-MAX within 0-20 (0-5)")
    p.add_argument("--out", required=True,
                   help="a directory, NAME.mbtiles or NAME.pmtiles")
    p.add_argument("--tile-size", type=int, choices=(256, 512), default=256)
    p.add_argument("--metatile", type=_positive, default=8,
                   help="tiles per metatile side (8)")
    p.add_argument("--buffer", type=_buffer, default=128,
                   help="pixels drawn around each metatile (128)")
    p.add_argument("--fill", type=parse_color, default=render.Style.fill)
    p.add_argument("--stroke", type=parse_color, default=render.Style.stroke)
    p.add_argument("--stroke-width", type=_width, default=1.0)
    p.add_argument("--marker-radius", type=_width, default=3.0,
                   help="radius of point markers in pixels (3)")
    p.add_argument("--color-by", metavar="FIELD",
                   help="colour each shape by an attribute of the .dbf: each distinct "
                   "value in turn from a palette of eight, numbers on a ramp of eight "
                   "classes of equal count")
    p.add_argument("--attribution", help="attribution shown by viewers (the file's name)")
    p.add_argument("--workers", type=_positive, default=os.cpu_count() or 1)
    p.add_argument("--scheduler", default="serial",
                   help="serial (default), processes, dask or tcp://HOST:PORT")
    p.add_argument("--resume", action="store_true",
                   help="continue an interrupted run into the same output")
    p.add_argument("--quiet", action="store_true", help="no progress lines")
    p.add_argument("--version", action="version", version="%(prog)s " + __version__)
    return p


def _serve(argv: List[str]) -> int:
    p = argparse.ArgumentParser(prog=PROG + " serve",
                                description="Serves a tile directory on 127.0.0.1.")
    p.add_argument("directory")
    p.add_argument("--port", type=int, default=8000)
    a = p.parse_args(argv)
    try:
        viewer.serve(a.directory, a.port, ready=lambda port: print(
            "serving %s on http://127.0.0.1:%d/ (Ctrl-C stops)" % (a.directory, port),
            flush=True))
    except (OSError, RuntimeError) as exc:
        print("%s: error: %s" % (PROG, exc), file=sys.stderr)
        return 1
    return 0


def _fail(message: str) -> int:
    print("%s: error: %s" % (PROG, message), file=sys.stderr, flush=True)
    return 1


def main(argv: Optional[List[str]] = None) -> int:
    argv = list(sys.argv[1:] if argv is None else argv)
    if argv and argv[0] == "serve":
        return _serve(argv[1:])
    a = _parser().parse_args(argv)
    if not (a.scheduler in ("serial", "processes", "dask") or a.scheduler.startswith("tcp://")):
        return _fail("unknown scheduler %r: serial, processes, dask or tcp://HOST:PORT"
                     % a.scheduler)
    if not os.path.isfile(a.input):
        return _fail("%s: no such file" % a.input)
    style = render.Style(fill=a.fill, stroke=a.stroke, stroke_width=a.stroke_width,
                         marker_radius=a.marker_radius, color_by=a.color_by)
    job = render.Job(source=os.path.abspath(a.input), tile_size=a.tile_size,
                     metatile=a.metatile, buffer=a.buffer, style=style)
    schedule.tune_allocator()
    try:
        pipeline.build(job, a.out, a.zoom, scheduler=a.scheduler, workers=a.workers,
                       resume=a.resume, quiet=a.quiet, attribution=a.attribution)
    except KeyboardInterrupt:
        print("%s: interrupted; --resume continues" % PROG, file=sys.stderr, flush=True)
        return 130
    except sinks.OutputError as exc:
        return _fail(str(exc))
    except QuillonError as exc:
        return _fail("%s: %s" % (a.input, exc))
    except sqlite3.Error as exc:
        if "full" in str(exc):
            return _fail("the disk is full writing %s (%s); --resume continues" % (a.out, exc))
        return _fail("%s: %s" % (a.out, exc))
    except OSError as exc:
        if exc.errno in (errno.ENOSPC, errno.EFBIG, errno.EDQUOT):
            return _fail("the disk is full writing %s (%s); --resume continues"
                         % (a.out, exc.strerror))
        return _fail(str(exc))
    except (ValueError, RuntimeError) as exc:
        return _fail(str(exc))
    return 0


if __name__ == "__main__":
    sys.exit(main())
