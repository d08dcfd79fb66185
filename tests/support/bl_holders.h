// RAII holders for Blend2D C objects in tests and benchmarks, so that a failed
// assertion does not leak under AddressSanitizer, plus pixel access. They use
// only the Blend2D C API, so everything built on them runs against the real
// Blend2D as well as against the stand-in.
#ifndef QUILLON_TESTS_SUPPORT_BL_HOLDERS_H
#define QUILLON_TESTS_SUPPORT_BL_HOLDERS_H

#include <blend2d/blend2d.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace quillon_test {

struct Path {
  BLPathCore core;
  Path() { bl_path_init(&core); }
  ~Path() { bl_path_destroy(&core); }
  Path(const Path&) = delete;
  Path& operator=(const Path&) = delete;

  BLPathCore* get() { return &core; }
  const BLPathCore* get() const { return &core; }
  size_t size() const { return bl_path_get_size(&core); }
  uint8_t cmd(size_t i) const { return bl_path_get_command_data(&core)[i]; }
  BLPoint vtx(size_t i) const { return bl_path_get_vertex_data(&core)[i]; }

  // Command bytes and vertices of the whole path, for comparing sequences.
  std::vector<uint8_t> commands() const {
    const uint8_t* c = bl_path_get_command_data(&core);
    return c ? std::vector<uint8_t>(c, c + size()) : std::vector<uint8_t>();
  }
  std::vector<BLPoint> vertices() const {
    const BLPoint* v = bl_path_get_vertex_data(&core);
    return v ? std::vector<BLPoint>(v, v + size()) : std::vector<BLPoint>();
  }
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
    if (bl_image_get_data(&core, &d) != BL_SUCCESS) std::abort();
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

// A PRGB32 image with a rendering context attached; end() detaches the
// context so that the pixels can be read.
class Canvas {
 public:
  Canvas(int w, int h) : image_(w, h, BL_FORMAT_PRGB32), ctx_(image_) {}

  BLContextCore* ctx() { return &ctx_.core; }
  BLImageCore* image() { return &image_.core; }
  void end() { bl_context_end(&ctx_.core); }
  uint32_t pixel(int x, int y) const { return image_.pixel32(x, y); }

 private:
  Image image_;  // declared first: the context is destroyed before its image
  Context ctx_;
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

}  // namespace quillon_test

#endif  // QUILLON_TESTS_SUPPORT_BL_HOLDERS_H
