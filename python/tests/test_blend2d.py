"""Path, Image and Context over the Blend2D the libraries link."""

import ctypes
import gc

import numpy as np
import pytest

import quillon as q
from conftest import read_png


def test_path_storage():
    p = q.Path()
    p.move_to(1, 2).line_to(3, 4).quad_to(5, 6, 7, 8).cubic_to(1, 1, 2, 2, 3, 3)
    p.conic_to(4, 4, 5, 5, 0.5).close_figure()
    assert p.commands.tolist() == [0, 1, 2, 1, 4, 4, 1, 3, 6, 1, 5]
    v = p.vertices
    assert v[:3].tolist() == [[1, 2], [3, 4], [5, 6]] and v[8, 0] == 0.5
    assert np.isnan(v[8, 1]) and np.isnan(v[10]).all()
    p.add_path(p)  # itself
    assert len(p) == 22
    # A path made elsewhere is passed by the address of its BLPathCore.
    other = q.Path().add_path(p.address)
    assert np.array_equal(other.commands, p.commands)
    p.clear()
    assert len(p) == 0 and p.vertices.shape == (0, 2)
    p.close()
    with pytest.raises(ValueError, match="closed"):
        p.line_to(1, 1)
    for bad in (0, -8, 12345, 1.5, "x", None, True):
        with pytest.raises((TypeError, ValueError)):
            q.Path().add_path(bad)


def test_drawing_and_png(tmp_path):
    img = q.Image(40, 30)
    square = q.Path().polyline([[10, 10], [30, 10], [30, 20], [10, 20]], closed=True)
    with q.Context(img) as ctx:
        ctx.fill_all(0xFF102030)
        with pytest.raises(ValueError, match="end it first"):
            img.to_array()
        ctx.fill_path(square, 0xFFFF0000)
        ctx.fill_rect(0, 0, 4, 4, 0xFF00FF00)
        ctx.fill_circle(35, 25, 3, 0xFF0000FF)
        ctx.stroke_path(square, 0xFFFFFFFF, width=1.0, origin=(0, 5.5))
    assert ctx.closed
    px = img.to_array()
    assert px.shape == (30, 40) and px.dtype == np.uint32
    assert px[12, 20] == 0xFFFF0000 and px[1, 1] == 0xFF00FF00
    assert px[15, 20] == 0xFFFFFFFF  # the stroke, moved down by its origin
    assert px[25, 35] == 0xFF0000FF and px[2, 20] == 0xFF102030
    out = tmp_path / "x.png"
    img.write_png(out)
    rgba = read_png(out)
    assert rgba.shape[:2] == (30, 40)
    assert rgba[12, 20, :3].tolist() == [255, 0, 0] and rgba[2, 20, :3].tolist() == [16, 32, 48]
    with pytest.raises(ValueError, match=".png"):
        img.write_png(tmp_path / "x.bmp")


def test_image_round_trip_and_premultiplication():
    words = np.array([[0xFF123456, 0x80FF0000], [0x00FFFFFF, 0x40C86432]], np.uint32)
    img = q.Image.from_array(words)
    stored = img.to_array()
    assert stored[0, 0] == 0xFF123456 and stored[0, 1] == 0x80800000 and stored[1, 0] == 0
    back = img.to_array(unpremultiply=True)
    assert back[0, 0] == 0xFF123456 and back[1, 0] == 0
    assert abs(int(back[0, 1] >> 16 & 0xFF) - 0xFF) <= 1
    with pytest.raises(ValueError, match="2 x 2"):
        img.write(np.zeros((3, 2), np.uint32))
    for w, h in [(0, 1), (1, 0), (70000, 1), (-1, 5)]:
        with pytest.raises(ValueError):
            q.Image(w, h)
    # Pixels taken from a larger array (rows spaced apart) or flipped go in
    # as they are seen, not as they lie in memory.
    big = np.arange(6 * 9, dtype=np.uint32).reshape(6, 9) | np.uint32(0xFF000000)
    for view in (big[1:4, 2:7], big[4:1:-1, 2:7], big[::2, ::1][:, 3:5]):
        img = q.Image.from_array(view, premultiply=False)
        assert np.array_equal(img.to_array(), view)
        img.write(view[::-1])
        assert np.array_equal(img.to_array(), view[::-1])


def test_particles_render_into_a_context():
    img = q.Image(32, 32)
    with q.Context(img) as ctx, q.ParticleSystem(10) as ps:
        ctx.fill_all(0xFF000000)
        ps.emit(1, 16, 16, life=1.0, size=(5.0, 5.0), color=(0xFFFFFFFF, 0xFFFFFFFF))
        ps.update(0.01)
        ps.render(ctx)
        ps.render(ctx.address)  # by address, as another binding would pass it
    assert img.to_array()[16, 16] == 0xFFFFFFFF
    with pytest.raises(TypeError):
        ps2 = q.ParticleSystem(1)
        ps2.render(img)


def test_context_keeps_its_image_alive():
    ctx = q.Context(q.Image(8, 8))
    gc.collect()
    ctx.fill_all(0xFFFFFFFF)
    ctx.end()
    assert ctx.image.to_array()[0, 0] == 0xFFFFFFFF
    # Closing an image first ends the context drawing into it.
    img = q.Image(8, 8)
    ctx = q.Context(img)
    img.close()
    assert ctx.closed
    with pytest.raises(ValueError, match="closed"):
        ctx.fill_all(0xFFFFFFFF)


def test_clip_keeps_drawing_inside_the_rectangle():
    img = q.Image(8, 8)
    with q.Context(img) as ctx:
        ctx.fill_all(0xFF000000)
        ctx.clip_to_rect(2, 2, 4, 4)
        ctx.fill_all(0xFFFFFFFF)
        ctx.restore_clipping()
        ctx.fill_rect(0, 7, 8, 1, 0xFF00FF00)
    px = img.to_array()
    assert (px[2:6, 2:6] == 0xFFFFFFFF).all()
    assert px[0, 0] == 0xFF000000 and px[6, 6] == 0xFF000000 and px[1, 4] == 0xFF000000
    assert (px[7] == 0xFF00FF00).all()  # clipping restored


def test_encode_png_in_memory(tmp_path):
    img = q.Image(21, 11)
    with q.Context(img) as ctx:
        ctx.clear_all()
        ctx.fill_rect(3, 2, 9, 5, 0x80FF8000)
        with pytest.raises(ValueError, match="end it first"):
            img.encode_png()
    data = img.encode_png()
    img.write_png(tmp_path / "same.png")
    assert data == (tmp_path / "same.png").read_bytes()
    assert img.encode_png() == data  # a fresh array each call, nothing appended
    rgba = read_png(tmp_path / "same.png")
    assert np.abs(rgba[4, 5].astype(int) - [255, 128, 0, 128]).max() <= 1  # unpremultiplied
    assert not rgba[0, 0].any()
