// RAII holders for Blend2D C objects in tests, so that a failed assertion
// does not leak under AddressSanitizer. They use only the Blend2D C API.
#ifndef QUILLON_TESTS_BL_HOLDERS_H
#define QUILLON_TESTS_BL_HOLDERS_H

#include <blend2d/blend2d.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon_test {

class PathHolder {
 public:
  PathHolder() { bl_path_init(&core_); }
  ~PathHolder() { bl_path_destroy(&core_); }
  PathHolder(const PathHolder&) = delete;
  PathHolder& operator=(const PathHolder&) = delete;

  BLPathCore* get() { return &core_; }
  const BLPathCore* get() const { return &core_; }
  size_t size() const { return bl_path_get_size(&core_); }

  // Command bytes of the path, for comparing sequences.
  std::vector<uint8_t> commands() const {
    const uint8_t* c = bl_path_get_command_data(&core_);
    return c ? std::vector<uint8_t>(c, c + size()) : std::vector<uint8_t>();
  }
  std::vector<BLPoint> vertices() const {
    const BLPoint* v = bl_path_get_vertex_data(&core_);
    return v ? std::vector<BLPoint>(v, v + size()) : std::vector<BLPoint>();
  }

 private:
  BLPathCore core_;
};

// A PRGB32 image with a rendering context attached; end() detaches it so the
// pixels can be read.
class Canvas {
 public:
  Canvas(int w, int h) {
    bl_image_init_as(&image_, w, h, BL_FORMAT_PRGB32);
    bl_context_init_as(&ctx_, &image_, nullptr);
  }
  ~Canvas() {
    bl_context_destroy(&ctx_);
    bl_image_destroy(&image_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  BLContextCore* ctx() { return &ctx_; }
  BLImageCore* image() { return &image_; }
  void end() { bl_context_end(&ctx_); }

  uint32_t pixel(int x, int y) const {
    BLImageData d;
    bl_image_get_data(&image_, &d);
    const auto* row = static_cast<const unsigned char*>(d.pixel_data) + d.stride * y;
    return reinterpret_cast<const uint32_t*>(row)[x];
  }

 private:
  BLImageCore image_;
  BLContextCore ctx_;
};

}  // namespace quillon_test

#endif  // QUILLON_TESTS_BL_HOLDERS_H
