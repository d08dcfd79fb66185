// Images: a reference-counted Cairo image surface.
//
// BL_FORMAT_PRGB32 -> CAIRO_FORMAT_ARGB32 (same premultiplied 0xAARRGGBB
// native uint32 layout), BL_FORMAT_XRGB32 -> CAIRO_FORMAT_RGB24,
// BL_FORMAT_A8 -> CAIRO_FORMAT_A8.  An empty image has a null _impl.

#include "bl2d_internal.h"

#include <cctype>
#include <cstring>
#include <new>

namespace bl2d {

void misuse(const char* call, const char* type, const char* problem) noexcept {
  std::fprintf(stderr, "bl2dcompat: %s(): the %s passed was %s\n", call, type, problem);
  std::fflush(stderr);
  std::abort();
}

void image_impl_release(ImageImpl* impl) noexcept {
  if (impl && impl->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    cairo_surface_destroy(impl->surface);
    delete impl;
  }
}

}  // namespace bl2d

namespace {

// Cairo refuses surfaces larger than 32767 in either direction.
constexpr int kMaxImageSize = 32767;

bool cairo_format_of(BLFormat format, cairo_format_t* out) noexcept {
  switch (format) {
    case BL_FORMAT_PRGB32: *out = CAIRO_FORMAT_ARGB32; return true;
    case BL_FORMAT_XRGB32: *out = CAIRO_FORMAT_RGB24; return true;
    case BL_FORMAT_A8: *out = CAIRO_FORMAT_A8; return true;
    default: return false;
  }
}

bool ends_with_png(const char* name) noexcept {
  size_t n = std::strlen(name);
  if (n < 4) return false;
  const char* ext = name + n - 4;
  return ext[0] == '.' &&
         std::tolower(static_cast<unsigned char>(ext[1])) == 'p' &&
         std::tolower(static_cast<unsigned char>(ext[2])) == 'n' &&
         std::tolower(static_cast<unsigned char>(ext[3])) == 'g';
}

inline void check(const BLImageCore* self, const char* call) noexcept {
  bl2d::check_tag(self, bl2d::kImageTag, call, "BLImageCore");
}

}  // namespace

extern "C" {

BL_API BLResult bl_image_init(BLImageCore* self) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  self->_impl = nullptr;
  bl2d::set_tag(self, bl2d::kImageTag);
  return BL_SUCCESS;
}

BL_API BLResult bl_image_init_as(BLImageCore* self, int w, int h, BLFormat format) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  // Even when it fails, the image is left initialised and empty.
  self->_impl = nullptr;
  bl2d::set_tag(self, bl2d::kImageTag);

  cairo_format_t cf;
  if (w <= 0 || h <= 0 || w > kMaxImageSize || h > kMaxImageSize || !cairo_format_of(format, &cf))
    return BL_ERROR_INVALID_VALUE;

  bl2d::ImageImpl* impl = new (std::nothrow) bl2d::ImageImpl();
  if (!impl) return BL_ERROR_OUT_OF_MEMORY;

  // Cairo clears new image surfaces to transparent black.
  cairo_surface_t* surface = cairo_image_surface_create(cf, w, h);
  cairo_status_t status = cairo_surface_status(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    delete impl;
    return status == CAIRO_STATUS_NO_MEMORY ? BL_ERROR_OUT_OF_MEMORY : BL_ERROR_INVALID_VALUE;
  }

  impl->surface = surface;
  impl->w = w;
  impl->h = h;
  impl->format = format;
  self->_impl = impl;
  return BL_SUCCESS;
}

BL_API BLResult bl_image_destroy(BLImageCore* self) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  check(self, "bl_image_destroy");
  bl2d::image_impl_release(bl2d::image_impl(self));
  self->_impl = nullptr;
  bl2d::set_tag(self, bl2d::kDeadTag);
  return BL_SUCCESS;
}

BL_API BLResult bl_image_get_data(const BLImageCore* self, BLImageData* data_out) {
  if (!self || !data_out) return BL_ERROR_INVALID_VALUE;
  check(self, "bl_image_get_data");
  bl2d::ImageImpl* impl = bl2d::image_impl(self);
  if (!impl) {
    data_out->pixel_data = nullptr;
    data_out->stride = 0;
    data_out->size.w = 0;
    data_out->size.h = 0;
    data_out->format = BL_FORMAT_NONE;
    data_out->flags = 0;
    return BL_SUCCESS;
  }

  // Finish pending Cairo work before the caller reads, and tell Cairo the
  // caller may write, so later drawing does not rely on stale state.
  cairo_surface_flush(impl->surface);
  cairo_surface_mark_dirty(impl->surface);

  data_out->pixel_data = cairo_image_surface_get_data(impl->surface);
  data_out->stride = static_cast<intptr_t>(cairo_image_surface_get_stride(impl->surface));
  data_out->size.w = impl->w;
  data_out->size.h = impl->h;
  data_out->format = static_cast<uint32_t>(impl->format);
  data_out->flags = 0;
  return BL_SUCCESS;
}

BL_API BLResult bl_image_write_to_file(const BLImageCore* self, const char* file_name, const BLImageCodecCore* codec) {
  if (!self || !file_name) return BL_ERROR_INVALID_VALUE;
  check(self, "bl_image_write_to_file");
  bl2d::ImageImpl* impl = bl2d::image_impl(self);
  if (!impl) return BL_ERROR_INVALID_VALUE;
  // Only the extension-selected PNG encoder exists here.
  if (codec || !ends_with_png(file_name)) return BL_ERROR_INVALID_VALUE;

  cairo_surface_flush(impl->surface);
  cairo_status_t status = cairo_surface_write_to_png(impl->surface, file_name);
  if (status == CAIRO_STATUS_SUCCESS) return BL_SUCCESS;
  return status == CAIRO_STATUS_NO_MEMORY ? BL_ERROR_OUT_OF_MEMORY : BL_ERROR_INVALID_VALUE;
}

}  // extern "C"
