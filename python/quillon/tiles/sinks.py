"""Where tiles go: a {z}/{x}/{y}.png directory, an MBTiles 1.3 file or a
PMTiles v3 file.

Nothing half-written is ever left under a final name. Directory tiles are
written to a temporary name and renamed. The archives are built in a staging
SQLite file beside them (NAME.part), each metatile's tiles committed in one
transaction together with the record that the metatile is done, and the
staging file becomes the archive only when the pyramid is complete. A
--resume continues from the record of done metatiles (directory: the tiles
present), and the tiles come out byte-identical because drawing and PNG
encoding are deterministic.

Empty tiles (no drawn pixel): the directory gets a blank, fully transparent
tile (so a viewer never asks for a missing file); MBTiles and PMTiles store
nothing for them, which their readers take as an empty tile."""

from __future__ import annotations

import json
import os
import sqlite3
from typing import Dict, Iterable, List, Optional, Set, Tuple

from . import grid, pmtiles

MARKER = "quillon-tiles.json"
TileResult = Tuple[int, int, int, Optional[bytes]]


class OutputError(Exception):
    """An output that cannot be written or continued; the message says why."""


def _blank_png(tile_size: int) -> bytes:
    from ..blend2d import Context, Image
    img = Image(tile_size, tile_size)
    try:
        # A new Blend2D image holds whatever the memory held: cleared first.
        with Context(img) as ctx:
            ctx.clear_all()
        return img.encode_png()
    finally:
        img.close()


def _write_atomic(path: str, data: bytes) -> None:
    tmp = "%s.%d.tmp" % (path, os.getpid())
    try:
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, path)
    except BaseException:
        try:
            os.unlink(tmp)
        except OSError:
            pass
        raise


class Sink:
    kind = ""

    def __init__(self, target: str, params: dict, resume: bool) -> None:
        self.target = target
        self.params = params
        self.resume = resume

    def done_metatiles(self, wanted: Iterable[Tuple[int, int, int]],
                       tiles_of: "callable") -> Set[Tuple[int, int, int]]:
        raise NotImplementedError

    def put(self, meta: Tuple[int, int, int], tiles: List[TileResult]) -> None:
        raise NotImplementedError

    def finish(self, metadata: dict) -> None:
        raise NotImplementedError

    def abort(self) -> None:
        """Closes after a failure, keeping what a --resume can continue from."""


def _check_params(saved: dict, params: dict, where: str) -> None:
    if saved != params:
        diff = sorted(k for k in set(saved) | set(params) if saved.get(k) != params.get(k))
        raise OutputError("%s was made with other settings (%s): a resume must use the same "
                          "ones, or remove it" % (where, ", ".join(diff)))


class DirectorySink(Sink):
    kind = "directory"

    def __init__(self, target: str, params: dict, resume: bool) -> None:
        super().__init__(target, params, resume)
        marker = os.path.join(target, MARKER)
        if os.path.exists(target) and not os.path.isdir(target):
            raise OutputError("%s exists and is not a directory" % target)
        if os.path.isdir(target) and os.listdir(target):
            if not os.path.isfile(marker):
                raise OutputError("%s exists and is not a tile set (no %s in it)" % (target, MARKER))
            try:
                with open(marker, encoding="utf-8") as f:
                    saved = json.load(f)
            except (OSError, ValueError) as exc:
                raise OutputError("%s: unreadable (%s)" % (marker, exc)) from None
            if not resume:
                raise OutputError("%s already holds a tile set: pass --resume to finish or "
                                  "check it, or remove it" % target)
            _check_params(saved.get("params"), params, target)
        os.makedirs(target, exist_ok=True)
        # Temporary files of a killed run are never a tile: removed here.
        for root, _, files in os.walk(target):
            for name in files:
                if name.endswith(".tmp"):
                    os.unlink(os.path.join(root, name))
        _write_atomic(marker, json.dumps({"params": params, "complete": False},
                                         indent=1, sort_keys=True).encode())
        self.blank = _blank_png(params["tile_size"])
        self.made_dirs: Set[Tuple[int, int]] = set()

    def _tile_path(self, z: int, x: int, y: int) -> str:
        return os.path.join(self.target, str(z), str(x), "%d.png" % y)

    def done_metatiles(self, wanted, tiles_of):
        return {m for m in wanted
                if all(os.path.isfile(self._tile_path(z, x, y)) for z, x, y in tiles_of(m))}

    def put(self, meta, tiles):
        for z, x, y, png in tiles:
            if (z, x) not in self.made_dirs:
                os.makedirs(os.path.join(self.target, str(z), str(x)), exist_ok=True)
                self.made_dirs.add((z, x))
            _write_atomic(self._tile_path(z, x, y), png if png is not None else self.blank)

    def finish(self, metadata):
        from . import viewer
        viewer.write_viewer(self.target, metadata)
        _write_atomic(os.path.join(self.target, MARKER), json.dumps(
            {"params": self.params, "complete": True, "metadata": metadata},
            indent=1, sort_keys=True).encode())


class _Staged(Sink):
    """A staging SQLite file: the tiles and the done metatiles."""

    def __init__(self, target: str, params: dict, resume: bool) -> None:
        super().__init__(target, params, resume)
        self.part = target + ".part"
        if os.path.isdir(target):
            raise OutputError("%s is a directory, not a %s file" % (target, self.kind))
        if os.path.exists(target):
            if not self._is_tile_set(target):
                raise OutputError("%s exists and is not a %s tile set" % (target, self.kind))
            raise OutputError("%s already exists: remove it to draw it again" % target)
        parent = os.path.dirname(os.path.abspath(target))
        if not os.path.isdir(parent):
            raise OutputError("%s: the folder %s does not exist" % (target, parent))
        if os.path.exists(self.part) and not resume:
            os.unlink(self.part)
        try:
            self.db = sqlite3.connect(self.part, isolation_level=None)
            self.db.execute("PRAGMA journal_mode=DELETE")
            self.db.execute("PRAGMA synchronous=NORMAL")
            self._create()
            self.db.execute("CREATE TABLE IF NOT EXISTS quillon_done "
                            "(z INTEGER, mx INTEGER, my INTEGER, PRIMARY KEY (z, mx, my))")
            self.db.execute("CREATE TABLE IF NOT EXISTS quillon_params (json TEXT)")
            row = self.db.execute("SELECT json FROM quillon_params").fetchone()
        except sqlite3.DatabaseError as exc:
            raise OutputError("%s: not a staging file of this program (%s); remove it"
                              % (self.part, exc)) from None
        if row is None:
            self.db.execute("INSERT INTO quillon_params VALUES (?)",
                            (json.dumps(params, sort_keys=True),))
        else:
            _check_params(json.loads(row[0]), params, self.part)

    def _is_tile_set(self, path: str) -> bool:
        raise NotImplementedError

    def _create(self) -> None:
        raise NotImplementedError

    def _insert(self, tiles: List[TileResult]) -> None:
        raise NotImplementedError

    def done_metatiles(self, wanted, tiles_of):
        done = {tuple(r) for r in self.db.execute("SELECT z, mx, my FROM quillon_done")}
        return {m for m in wanted if m in done}

    def put(self, meta, tiles):
        self.db.execute("BEGIN")
        try:
            self._insert(tiles)
            self.db.execute("INSERT OR REPLACE INTO quillon_done VALUES (?, ?, ?)", meta)
            self.db.execute("COMMIT")
        except BaseException:
            self.db.execute("ROLLBACK")
            raise

    def abort(self):
        try:
            self.db.close()
        except sqlite3.Error:
            pass


class MBTilesSink(_Staged):
    kind = "MBTiles"

    def _is_tile_set(self, path):
        try:
            db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
            try:
                db.execute("SELECT name, value FROM metadata LIMIT 1").fetchall()
                db.execute("SELECT zoom_level FROM tiles LIMIT 1").fetchall()
            finally:
                db.close()
            return True
        except sqlite3.Error:
            return False

    def _create(self):
        self.db.execute("CREATE TABLE IF NOT EXISTS metadata (name TEXT, value TEXT)")
        self.db.execute("CREATE TABLE IF NOT EXISTS tiles (zoom_level INTEGER, "
                        "tile_column INTEGER, tile_row INTEGER, tile_data BLOB)")
        self.db.execute("CREATE UNIQUE INDEX IF NOT EXISTS tile_index "
                        "ON tiles (zoom_level, tile_column, tile_row)")

    def _insert(self, tiles):
        self.db.executemany("INSERT OR REPLACE INTO tiles VALUES (?, ?, ?, ?)",
                            [(z, x, grid.tms_row(z, y), png) for z, x, y, png in tiles
                             if png is not None])

    def finish(self, metadata):
        m = metadata
        rows = {"name": m["name"], "format": "png", "type": "overlay", "version": "1.3",
                "description": m.get("description", ""), "attribution": m.get("attribution", ""),
                "bounds": ",".join("%.6f" % v for v in m["bounds"]),
                "center": "%.6f,%.6f,%d" % tuple(m["center"]),
                "minzoom": str(m["minzoom"]), "maxzoom": str(m["maxzoom"])}
        self.db.execute("BEGIN")
        self.db.execute("DELETE FROM metadata")
        self.db.executemany("INSERT INTO metadata VALUES (?, ?)", sorted(rows.items()))
        self.db.execute("DROP TABLE quillon_done")
        self.db.execute("DROP TABLE quillon_params")
        self.db.execute("COMMIT")
        self.db.close()
        os.replace(self.part, self.target)


class PMTilesSink(_Staged):
    kind = "PMTiles"

    def _is_tile_set(self, path):
        try:
            with open(path, "rb") as f:
                return f.read(8) == b"PMTiles\x03"
        except OSError:
            return False

    def _create(self):
        self.db.execute("CREATE TABLE IF NOT EXISTS tiles (tile_id INTEGER PRIMARY KEY, "
                        "tile_data BLOB)")

    def _insert(self, tiles):
        self.db.executemany("INSERT OR REPLACE INTO tiles VALUES (?, ?)",
                            [(grid.hilbert_tile_id(z, x, y), png) for z, x, y, png in tiles
                             if png is not None])

    def finish(self, metadata):
        tmp = "%s.%d.tmp" % (self.target, os.getpid())
        rows = self.db.execute("SELECT tile_id, tile_data FROM tiles ORDER BY tile_id")
        try:
            with open(tmp, "wb") as f:
                pmtiles.write(f, ((int(i), bytes(d)) for i, d in rows),
                              {"name": metadata["name"], "attribution": metadata["attribution"],
                               "description": metadata.get("description", ""),
                               "format": "png", "type": "overlay"},
                              metadata["minzoom"], metadata["maxzoom"],
                              tuple(metadata["bounds"]), tuple(metadata["center"]))
            os.replace(tmp, self.target)
        except BaseException:
            try:
                os.unlink(tmp)
            except OSError:
                pass
            raise
        self.db.close()
        os.unlink(self.part)


def open_sink(target: str, params: dict, resume: bool) -> Sink:
    lower = target.lower()
    if lower.endswith(".mbtiles"):
        return MBTilesSink(target, params, resume)
    if lower.endswith(".pmtiles"):
        return PMTilesSink(target, params, resume)
    return DirectorySink(target, params, resume)
