"""One pyramid from start to end: check the input, count the tiles, skip
what a resumed run already has, draw the rest zoom by zoom, finish the
output."""

from __future__ import annotations

import os
from typing import Dict, Optional, TextIO, Tuple

from . import grid, render, schedule, sinks
from .progress import Progress


def params_of(job: render.Job, zooms: Tuple[int, int]) -> dict:
    """The settings a tile set is made with: a resume must use the same."""
    st = job.style
    return {"source": os.path.basename(job.source), "zooms": list(zooms),
            "tile_size": job.tile_size, "metatile": job.metatile, "buffer": job.buffer,
            "fill": st.fill, "stroke": st.stroke, "stroke_width": st.stroke_width,
            "marker_radius": st.marker_radius, "color_by": st.color_by}


def build(job: render.Job, out: str, zooms: Tuple[int, int], scheduler: str = "serial",
          workers: int = 1, resume: bool = False, quiet: bool = False,
          attribution: Optional[str] = None, stream: Optional[TextIO] = None,
          timings: Optional[Dict[str, float]] = None) -> dict:
    """Draws the pyramid of job.source for zooms (min, max) into "out" and
    returns its metadata. "timings", when given, receives the seconds spent
    starting the workers, drawing and closing (see schedule.run)."""
    zmin, zmax = zooms
    if not (0 <= zmin <= zmax <= grid.MAX_ZOOM):
        raise ValueError("zooms must run upwards within 0-%d, not %d-%d"
                         % (grid.MAX_ZOOM, zmin, zmax))
    data = render.data_for(job)  # also checks the input before anything is written
    bounds = data.lonlat_bounds
    name = os.path.splitext(os.path.basename(job.source))[0]
    metadata = {
        "name": name, "attribution": attribution if attribution is not None else name,
        "description": "%s, drawn by quillon-tiles" % name,
        "bounds": [round(v, 6) for v in bounds],
        "center": [round((bounds[0] + bounds[2]) / 2, 6), round((bounds[1] + bounds[3]) / 2, 6),
                   zmin],
        "minzoom": zmin, "maxzoom": zmax, "tile_size": job.tile_size, "format": "png"}
    sink = sinks.open_sink(out, params_of(job, zooms), resume)
    try:
        total = grid.tile_count(bounds, zmin, zmax)

        def tiles_of(meta):
            return list(grid.metatile_tiles(bounds, meta[0], meta[1], meta[2], job.metatile))

        plan = []
        done_tiles = 0
        for z in range(zmin, zmax + 1):
            metas = grid.metatiles(bounds, z, job.metatile)
            done = sink.done_metatiles(metas, tiles_of) if resume else set()
            done_tiles += sum(len(tiles_of(m)) for m in done)
            plan.append([m for m in metas if m not in done])
        progress = Progress(total, done_tiles, stream=stream, quiet=quiet)

        def on_result(meta, tiles):
            sink.put(meta, tiles)
            progress.add(len(tiles), meta[0])

        schedule.run(scheduler, workers, job, bounds, plan, on_result, timings)
        progress.show(zmax)
        sink.finish(metadata)
    except BaseException:
        sink.abort()
        raise
    return metadata
