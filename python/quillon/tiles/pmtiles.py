"""PMTiles version 3: one file holding a header, a root directory, JSON
metadata, leaf directories and the tile data, tiles clustered in Hilbert
order with identical tiles stored once."""

from __future__ import annotations

import gzip
import json
import struct
from typing import BinaryIO, Iterable, List, NamedTuple, Tuple

HEADER_SIZE = 127
ROOT_LIMIT = 16384 - HEADER_SIZE  # header and root directory fit the first 16 KiB
COMPRESSION_NONE, COMPRESSION_GZIP = 1, 2
TILE_TYPE_PNG = 2


class Entry(NamedTuple):
    tile_id: int
    offset: int
    length: int
    run_length: int


def _varint(value: int, out: bytearray) -> None:
    while value >= 0x80:
        out.append((value & 0x7F) | 0x80)
        value >>= 7
    out.append(value)


def serialize_directory(entries: List[Entry]) -> bytes:
    """A directory as PMTiles stores it (before compression): the count,
    then tile ids as deltas, run lengths, lengths and offsets (0 for an
    entry that starts where the previous one ends, else offset + 1)."""
    out = bytearray()
    _varint(len(entries), out)
    last = 0
    for e in entries:
        _varint(e.tile_id - last, out)
        last = e.tile_id
    for e in entries:
        _varint(e.run_length, out)
    for e in entries:
        _varint(e.length, out)
    for i, e in enumerate(entries):
        if i and e.offset == entries[i - 1].offset + entries[i - 1].length:
            _varint(0, out)
        else:
            _varint(e.offset + 1, out)
    return bytes(out)


def _compress(data: bytes) -> bytes:
    # mtime 0: the same input gives the same bytes on every run.
    return gzip.compress(data, compresslevel=9, mtime=0)


def build_directories(entries: List[Entry]) -> Tuple[bytes, bytes]:
    """(root, leaves), compressed: one root directory when it fits the first
    16 KiB, otherwise a root pointing at leaf directories."""
    root = _compress(serialize_directory(entries))
    if len(root) <= ROOT_LIMIT:
        return root, b""
    leaf_size = 4096
    while True:
        roots: List[Entry] = []
        leaves = bytearray()
        for i in range(0, len(entries), leaf_size):
            chunk = entries[i:i + leaf_size]
            leaf = _compress(serialize_directory(chunk))
            roots.append(Entry(chunk[0].tile_id, len(leaves), len(leaf), 0))
            leaves += leaf
        root = _compress(serialize_directory(roots))
        if len(root) <= ROOT_LIMIT:
            return root, bytes(leaves)
        leaf_size *= 2


def write(f: BinaryIO, tiles: Iterable[Tuple[int, bytes]], metadata: dict, min_zoom: int,
          max_zoom: int, bounds: Tuple[float, float, float, float],
          center: Tuple[float, float, int]) -> int:
    """Writes the archive of "tiles" ((tile_id, png) in ascending tile id
    order) to f; returns the number of tiles addressed."""
    data = bytearray()
    entries: List[Entry] = []
    seen: dict = {}
    addressed = 0
    for tile_id, png in tiles:
        addressed += 1
        offset = seen.get(png)
        if offset is None:
            offset = seen[png] = len(data)
            data += png
        last = entries[-1] if entries else None
        if last and last.offset == offset and last.tile_id + last.run_length == tile_id:
            entries[-1] = last._replace(run_length=last.run_length + 1)
        else:
            entries.append(Entry(tile_id, offset, len(png), 1))
    root, leaves = build_directories(entries)
    meta = _compress(json.dumps(metadata, sort_keys=True).encode("utf-8"))
    root_at = HEADER_SIZE
    meta_at = root_at + len(root)
    leaves_at = meta_at + len(meta)
    data_at = leaves_at + len(leaves)

    def e7(v: float) -> int:
        return int(round(v * 1e7))

    header = b"PMTiles" + struct.pack(
        "<B8QQQQBBBBBBiiiiBii", 3, root_at, len(root), meta_at, len(meta), leaves_at,
        len(leaves), data_at, len(data), addressed, len(entries), len(seen), 1,
        COMPRESSION_GZIP, COMPRESSION_NONE, TILE_TYPE_PNG, min_zoom, max_zoom,
        e7(bounds[0]), e7(bounds[1]), e7(bounds[2]), e7(bounds[3]), center[2],
        e7(center[0]), e7(center[1]))
    assert len(header) == HEADER_SIZE
    for part in (header, root, meta, leaves, data):
        f.write(part)
    return addressed
