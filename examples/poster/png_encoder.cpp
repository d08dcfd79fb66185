#include "png_encoder.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>

namespace poster {

namespace {

struct Sink {
  std::vector<uint8_t>* out;
};

void append(png_structp png, png_bytep data, png_size_t size) {
  auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
  bool grown = true;
  try {
    sink->out->insert(sink->out->end(), data, data + size);
  } catch (const std::bad_alloc&) {
    grown = false;
  }
  // Leaves through libpng's longjmp, outside the handler.
  if (!grown) png_error(png, "out of memory");
}

void no_flush(png_structp) {}

struct Failure {
  std::string message;
};

void on_error(png_structp png, png_const_charp message) {
  static_cast<Failure*>(png_get_error_ptr(png))->message = message;
  png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

}  // namespace

void straight_pixels(const Image& image, bool allow_rgb, std::vector<uint8_t>* out, int* channels) {
  const BLImageData d = image.data();
  const int w = d.size.w, h = d.size.h;
  bool opaque = allow_rgb;
  for (int y = 0; y < h && opaque; ++y) {
    const auto* row =
        reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(d.pixel_data) + d.stride * y);
    for (int x = 0; x < w; ++x)
      if ((row[x] >> 24) != 0xFF) {
        opaque = false;
        break;
      }
  }
  const int n = opaque ? 3 : 4;
  *channels = n;
  out->resize(static_cast<size_t>(w) * static_cast<size_t>(h) * static_cast<size_t>(n));
  uint8_t* o = out->data();
  for (int y = 0; y < h; ++y) {
    const auto* row =
        reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(d.pixel_data) + d.stride * y);
    for (int x = 0; x < w; ++x) {
      const uint32_t p = row[x];
      const uint32_t a = p >> 24;
      uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      if (a != 0xFF && a != 0) {
        // Premultiplied to straight, rounded to nearest.
        r = std::min<uint32_t>(255, (r * 255 + a / 2) / a);
        g = std::min<uint32_t>(255, (g * 255 + a / 2) / a);
        b = std::min<uint32_t>(255, (b * 255 + a / 2) / a);
      } else if (a == 0) {
        r = g = b = 0;
      }
      *o++ = static_cast<uint8_t>(r);
      *o++ = static_cast<uint8_t>(g);
      *o++ = static_cast<uint8_t>(b);
      if (n == 4) *o++ = static_cast<uint8_t>(a);
    }
  }
}

bool encode_png(const Image& image, PngEffort effort, bool allow_rgb,
                std::vector<uint8_t>* png_bytes, std::string* error) {
  std::vector<uint8_t> pixels;
  int channels = 0;
  straight_pixels(image, allow_rgb, &pixels, &channels);
  const int w = image.width(), h = image.height();

  Failure failure;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, on_error, on_warning);
  if (!png) {
    *error = "the PNG encoder could not be set up (out of memory)";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  std::vector<uint8_t> out;
  Sink sink{&out};
  std::vector<png_bytep> rows(static_cast<size_t>(h));
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    *error = "the PNG encoder failed: " +
             (failure.message.empty() ? std::string("out of memory") : failure.message);
    return false;
  }
  png_set_write_fn(png, &sink, append, no_flush);
  if (effort == PngEffort::kFast) {
    png_set_compression_level(png, 2);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
  } else {
    png_set_compression_level(png, 6);
  }
  png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
               channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  for (int y = 0; y < h; ++y)
    rows[static_cast<size_t>(y)] = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(w) *
                                                       static_cast<size_t>(channels);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  *png_bytes = std::move(out);
  return true;
}

}  // namespace poster
