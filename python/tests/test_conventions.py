"""What a Python user expects of any package: closing and "with", the
system's own errors for files, a readable repr, docstrings, and the raw
address option refusing what it can tell is wrong."""

import ctypes
import errno
import inspect
import os

import numpy as np
import pytest

import quillon as q
from conftest import SAMPLE, polygon_record, shp_bytes


def test_shapefile_close_and_with(tmp_path):
    f = tmp_path / "one.shp"
    f.write_bytes(shp_bytes(5, [polygon_record([[(0, 0), (1, 0), (1, 1), (0, 0)]])]))
    with q.parse_shp(f) as shp:
        kept = shp.points
        assert len(shp) == 1 and not shp.closed
    assert shp.closed and "closed" in repr(shp)
    for use in (lambda: shp.points, lambda: shp.bboxes, lambda: shp[0], lambda: list(shp),
                lambda: shp.ring_offsets):
        with pytest.raises(ValueError, match="closed"):
            use()
    shp.close()  # twice is harmless
    # A view taken before stays valid: the data lives until it goes.
    assert kept.tolist() == [[0, 0], [1, 0], [1, 1], [0, 0]]
    with pytest.raises(ValueError):
        kept[0, 0] = 5.0  # read-only


def test_missing_or_unreadable_files_raise_the_systems_oserror(tmp_path):
    for fn in (q.parse_shp, q.read_shp_header):
        with pytest.raises(FileNotFoundError) as info:
            fn(tmp_path / "nothing.shp")
        assert info.value.errno == errno.ENOENT and isinstance(info.value, OSError)
        assert str(info.value.filename) == str(tmp_path / "nothing.shp")
        with pytest.raises(IsADirectoryError):
            fn(tmp_path)
    # A file that opens but is not a shapefile stays the library's error.
    bad = tmp_path / "bad.shp"
    bad.write_bytes(b"\0" * 100)
    with pytest.raises(q.ShapefileError) as err:
        q.parse_shp(bad)
    assert err.value.code == -4


def test_every_public_class_has_a_repr_and_every_method_a_docstring():
    img = q.Image(8, 6)
    objects = [q.Path(), img, q.Context(img), q.ParticleSystem(3), q.parse_shp(SAMPLE),
               q.fit((0, 0, 1, 1), 10, 10), q.read_shp_header(SAMPLE), q.Camera(),
               q.camera_points([[0.0, 0.0]], q.Camera()), q._native.lib()]
    objects.append(objects[4][0])
    for obj in objects:
        text = repr(obj)
        assert type(obj).__name__ in text or "quillon" in text, text
        assert " at 0x" not in text, text  # not object.__repr__
    assert "6" in repr(img) and "8 x 6" in repr(objects[2])
    objects[2].end()
    assert "closed" in repr(objects[2])
    undocumented = []
    for name in q.__all__:
        obj = getattr(q, name)
        if getattr(obj, "__module__", "").endswith("cartography"):
            continue  # documented by its own module's tests
        if inspect.isclass(obj):
            for klass in obj.__mro__:
                if not klass.__module__.startswith("quillon"):
                    continue
                for attr, value in vars(klass).items():
                    f = value.fget if isinstance(value, property) else value
                    if (not attr.startswith("_") or attr in ("__len__", "__getitem__",
                                                             "__iter__", "__enter__",
                                                             "__exit__")) \
                            and callable(f) and not f.__doc__:
                        undocumented.append("%s.%s" % (klass.__name__, attr))
        elif callable(obj) and not obj.__doc__:
            undocumented.append(name)
    assert not undocumented, undocumented


def test_raw_addresses_are_checked_where_they_can_be():
    path = q.Path().polyline([[0, 0], [10, 0], [10, 10]])
    address = path.address
    assert len(q.trim_path(address, 0, 1)) > 0  # a live path by address works
    img = q.Image(4, 4)
    with q.Context(img) as ctx:
        with pytest.raises(TypeError, match="Image"):
            ctx.fill_path(img.address, 0xFFFFFFFF)  # an Image is not a path
        with pytest.raises(TypeError, match="Path"):
            q.ParticleSystem(1).render(address)  # nor a Path a context
        for bad in (0, -8, 12, True, 1.5, "1024"):
            with pytest.raises((TypeError, ValueError)):
                ctx.fill_path(bad, 0xFFFFFFFF)
    path.close()
    with pytest.raises(ValueError, match="closed"):
        q.trim_path(address, 0, 1)
    with pytest.raises(ValueError, match="closed"):
        path.address
