"""Web map tiles of a shapefile drawn with the libraries: a Web Mercator
pyramid drawn in metatiles, written as a {z}/{x}/{y}.png directory (with a
Leaflet page), MBTiles 1.3 or PMTiles v3, on one core, a process pool or
Dask. The quillon-tiles command (quillon.tiles.cli) is its front end."""

from .grid import hilbert_tile_id, metatiles, parse_zooms, tile_count, tile_range, tms_row
from .pipeline import build
from .render import Job, Style, render_metatile, render_region
from .sinks import OutputError

__all__ = ["build", "Job", "Style", "render_metatile", "render_region", "OutputError",
           "hilbert_tile_id", "metatiles", "parse_zooms", "tile_count", "tile_range", "tms_row"]
