// Owners for the Blend2D C objects the renderer uses, so that every path,
// image and context is destroyed on every way out of a function. Only the
// Blend2D C API is called, which keeps the program buildable against the real
// library as well as against the stand-in.
#ifndef QUILLON_POSTER_BL_OBJECTS_H
#define QUILLON_POSTER_BL_OBJECTS_H

#include <blend2d/blend2d.h>

#include <cstddef>
#include <cstdint>

namespace poster {

class Path {
 public:
  Path() { bl_path_init(&core_); }
  ~Path() { bl_path_destroy(&core_); }
  Path(const Path&) = delete;
  Path& operator=(const Path&) = delete;

  BLPathCore* get() { return &core_; }
  const BLPathCore* get() const { return &core_; }
  size_t size() const { return bl_path_get_size(&core_); }
  void clear() { bl_path_clear(&core_); }

 private:
  BLPathCore core_;
};

class Image {
 public:
  Image(int w, int h) : w_(w), h_(h) { bl_image_init_as(&core_, w, h, BL_FORMAT_PRGB32); }
  ~Image() { bl_image_destroy(&core_); }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  BLImageCore* get() { return &core_; }
  int width() const { return w_; }
  int height() const { return h_; }
  BLImageData data() const {
    BLImageData d{};
    bl_image_get_data(&core_, &d);
    return d;
  }
  bool write_png(const char* file) const {
    return bl_image_write_to_file(&core_, file, nullptr) == BL_SUCCESS;
  }

 private:
  BLImageCore core_;
  int w_;
  int h_;
};

// A rendering context attached to an image. detach() flushes the drawing and
// releases the image, so that its pixels can be written directly (the globe
// is painted straight into pixel memory); attach() starts drawing again.
class Canvas {
 public:
  explicit Canvas(Image& image) : image_(image) { attach(); }
  ~Canvas() { detach(); }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  BLContextCore* ctx() { return &ctx_; }

  void attach() {
    if (!attached_) {
      bl_context_init_as(&ctx_, image_.get(), nullptr);
      attached_ = true;
    }
  }
  void detach() {
    if (attached_) {
      bl_context_end(&ctx_);
      bl_context_destroy(&ctx_);
      attached_ = false;
    }
  }

  void fill(const Path& path, uint32_t argb, double ox = 0.0, double oy = 0.0) {
    const BLPoint origin{ox, oy};
    bl_context_fill_path_d_rgba32(&ctx_, &origin, path.get(), argb);
  }
  void stroke(const Path& path, uint32_t argb, double width, double ox = 0.0, double oy = 0.0) {
    const BLPoint origin{ox, oy};
    bl_context_set_stroke_width(&ctx_, width);
    bl_context_stroke_path_d_rgba32(&ctx_, &origin, path.get(), argb);
  }
  // Drawing stays inside the rectangle until unclip(): the sparks, which the
  // particle system fills wherever they fly, are kept to their panel.
  void clip(double x, double y, double w, double h) {
    const BLRect r{x, y, w, h};
    bl_context_clip_to_rect_d(&ctx_, &r);
  }
  void unclip() { bl_context_restore_clipping(&ctx_); }
  void fill_circle(double cx, double cy, double r, uint32_t argb) {
    const BLCircle c{cx, cy, r};
    bl_context_fill_geometry_rgba32(&ctx_, BL_GEOMETRY_TYPE_CIRCLE, &c, argb);
  }

 private:
  Image& image_;
  BLContextCore ctx_{};
  bool attached_ = false;
};

}  // namespace poster

#endif  // QUILLON_POSTER_BL_OBJECTS_H
