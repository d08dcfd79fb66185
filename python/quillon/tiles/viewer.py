"""The page beside a directory pyramid: index.html with a local copy of
Leaflet (never a CDN), and a small HTTP server for it on 127.0.0.1."""

from __future__ import annotations

import functools
import html
import http.server
import json
import os
import shutil
from typing import Optional

LEAFLET_DIRS = ("/usr/share/javascript/leaflet",)
LEAFLET_FILES = ("leaflet.js", "leaflet.css")

PAGE = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>%(title)s</title>
<meta name="viewport" content="width=device-width, initial-scale=1">
<link rel="stylesheet" href="leaflet/leaflet.css">
<script src="leaflet/leaflet.js"></script>
<style>html, body, #map { margin: 0; height: 100%%; background: #fff; }</style>
</head>
<body>
<div id="map"></div>
<script>
const tiles = %(json)s;
const params = new URLSearchParams(location.search);
const bare = params.get("bare") === "1";  // no controls: for comparing screenshots
const map = L.map("map", {zoomSnap: 1, fadeAnimation: false, zoomAnimation: false,
                          zoomControl: !bare, attributionControl: !bare,
                          minZoom: tiles.minzoom, maxZoom: tiles.maxzoom});
const layer = L.tileLayer("{z}/{x}/{y}.png", {
  tileSize: tiles.tile_size, zoomOffset: tiles.tile_size === 512 ? -1 : 0,
  minZoom: tiles.minzoom, maxZoom: tiles.maxzoom, maxNativeZoom: tiles.maxzoom,
  bounds: [[tiles.bounds[1], tiles.bounds[0]], [tiles.bounds[3], tiles.bounds[2]]],
  noWrap: true, attribution: tiles.attribution});
layer.on("load", () => { document.body.dataset.tilesLoaded = String(++window.tilesLoadedCount); });
window.tilesLoadedCount = 0;
layer.addTo(map);
if (params.has("z")) {
  map.setView([Number(params.get("lat")), Number(params.get("lon"))], Number(params.get("z")));
} else {
  map.fitBounds([[tiles.bounds[1], tiles.bounds[0]], [tiles.bounds[3], tiles.bounds[2]]]);
}
window.quillonMap = map;
</script>
</body>
</html>
"""


def find_leaflet() -> Optional[str]:
    for d in (os.environ.get("QUILLON_LEAFLET_DIR"),) + LEAFLET_DIRS:
        if d and all(os.path.isfile(os.path.join(d, f)) for f in LEAFLET_FILES):
            return d
    return None


def write_viewer(target: str, metadata: dict) -> None:
    """index.html and leaflet/ beside the tiles."""
    src = find_leaflet()
    if src is None:
        raise RuntimeError("Leaflet was not found (Debian: libjs-leaflet; or set "
                           "QUILLON_LEAFLET_DIR to a folder with leaflet.js and leaflet.css)")
    dst = os.path.join(target, "leaflet")
    os.makedirs(dst, exist_ok=True)
    for name in LEAFLET_FILES:
        shutil.copyfile(os.path.join(src, name), os.path.join(dst, name))
    if os.path.isdir(os.path.join(src, "images")):
        shutil.copytree(os.path.join(src, "images"), os.path.join(dst, "images"),
                        dirs_exist_ok=True)
    page = PAGE % {"title": html.escape(metadata["name"]),
                   "json": json.dumps(metadata, sort_keys=True).replace("</", "<\\/")}
    tmp = os.path.join(target, "index.html.tmp")
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(page)
    os.replace(tmp, os.path.join(target, "index.html"))


class _Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format: str, *args: object) -> None:  # noqa: A002
        pass

    def end_headers(self) -> None:
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()


def serve(directory: str, port: int = 8000, ready: Optional[callable] = None) -> None:
    """Serves "directory" on 127.0.0.1:port until interrupted (port 0: any
    free port; "ready" is called with the port once listening)."""
    if not os.path.isfile(os.path.join(directory, "index.html")):
        raise RuntimeError("%s has no index.html: it is not a finished tile directory" % directory)
    handler = functools.partial(_Handler, directory=directory)
    with http.server.ThreadingHTTPServer(("127.0.0.1", port), handler) as httpd:
        if ready is not None:
            ready(httpd.server_address[1])
        try:
            httpd.serve_forever()
        except KeyboardInterrupt:
            pass
