// Test helpers for the Blend2D C API subset: RAII holders and pixel access.
// Uses only the public C API, so the tests run against the real Blend2D too.
#ifndef BLEND2D_TESTS_SUPPORT_H
#define BLEND2D_TESTS_SUPPORT_H

#include <blend2d/blend2d.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace blt {

struct Path {
  BLPathCore core;
  Path() { bl_path_init(&core); }
  ~Path() { bl_path_destroy(&core); }
  Path(const Path&) = delete;
  Path& operator=(const Path&) = delete;

  size_t size() const { return bl_path_get_size(&core); }
  uint8_t cmd(size_t i) const { return bl_path_get_command_data(&core)[i]; }
  BLPoint vtx(size_t i) const { return bl_path_get_vertex_data(&core)[i]; }
};

struct Image {
  BLImageCore core;
  Image() { bl_image_init(&core); }
  Image(int w, int h, BLFormat format) {
    if (bl_image_init_as(&core, w, h, format) != BL_SUCCESS) std::abort();
  }
  ~Image() { bl_image_destroy(&core); }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  BLImageData data() const {
    BLImageData d;
    std::memset(&d, 0, sizeof(d));
    EXPECT_EQ(bl_image_get_data(&core, &d), BL_SUCCESS);
    return d;
  }
  // Native 32-bit pixel of a PRGB32 / XRGB32 image.
  uint32_t pixel32(int x, int y) const {
    BLImageData d = data();
    uint32_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(d.pixel_data) + y * d.stride + x * 4, 4);
    return v;
  }
  void set_pixel32(int x, int y, uint32_t v) {
    BLImageData d = data();
    std::memcpy(static_cast<uint8_t*>(d.pixel_data) + y * d.stride + x * 4, &v, 4);
  }
  uint8_t pixel8(int x, int y) const {
    BLImageData d = data();
    return static_cast<const uint8_t*>(d.pixel_data)[y * d.stride + x];
  }
};

struct Context {
  BLContextCore core;
  Context() { bl_context_init(&core); }
  explicit Context(Image& img) {
    if (bl_context_init_as(&core, &img.core, nullptr) != BL_SUCCESS) std::abort();
  }
  ~Context() { bl_context_destroy(&core); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
};

// True when every 8-bit channel of a and b differs by at most tol.
inline bool channels_near(uint32_t a, uint32_t b, int tol) {
  for (int shift = 0; shift < 32; shift += 8) {
    int ca = static_cast<int>((a >> shift) & 0xFFu);
    int cb = static_cast<int>((b >> shift) & 0xFFu);
    if (ca - cb > tol || cb - ca > tol) return false;
  }
  return true;
}

}  // namespace blt

#endif  // BLEND2D_TESTS_SUPPORT_H
