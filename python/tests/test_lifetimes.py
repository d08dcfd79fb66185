"""Native objects are released: explicitly, by "with" and by the collector."""

import gc
import os

import numpy as np
import pytest

import quillon as q
from conftest import SANITIZED, polygon_record, shp_bytes


def rss_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


def test_finalizers_run_on_collection():
    objects = [q.ParticleSystem(5), q.Path(), q.Image(4, 4)]
    objects.append(q.Context(objects[2]))
    finalizers = [o._finalizer for o in objects]
    del objects
    gc.collect()
    assert not any(f.alive for f in finalizers)


def test_no_growth_over_10000_cycles(tmp_path):
    f = tmp_path / "one.shp"
    f.write_bytes(shp_bytes(5, [polygon_record([[(0, 0), (1, 0), (1, 1), (0, 0)]])]))

    def cycle(i):
        with q.ParticleSystem(50) as ps:
            ps.emit(50, 0, 0, life=1.0)
        p = q.Path().polyline(np.zeros((64, 2)))
        img = q.Image(16, 16)
        with q.Context(img) as ctx:
            ctx.fill_path(p, 0xFFFFFFFF)
        s = q.parse_shp(f)
        view = s.points
        del s
        assert view.shape == (4, 2)
        q.ParticleSystem(10).emit(10, 0, 0)  # dropped without close()

    for i in range(500):  # warm up allocator pools
        cycle(i)
    gc.collect()
    before = rss_kib()
    for i in range(10_000):
        cycle(i)
    gc.collect()
    grown = rss_kib() - before
    if not SANITIZED:  # the sanitizer's quarantine holds freed memory on purpose
        assert grown < 4096, "resident size grew by %d KiB over 10,000 cycles" % grown
