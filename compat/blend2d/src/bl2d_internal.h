// Private to bl2dcompat: shared between image.cpp and context.cpp.
#ifndef BL2DCOMPAT_INTERNAL_H
#define BL2DCOMPAT_INTERNAL_H

#include <blend2d/blend2d.h>

#include <cairo.h>

#include <atomic>
#include <cstdint>

static_assert(sizeof(BLPathCore) == 16 && alignof(BLPathCore) == 8, "BLPathCore must be 16 bytes, 8-aligned");
static_assert(sizeof(BLImageCore) == 16 && alignof(BLImageCore) == 8, "BLImageCore must be 16 bytes, 8-aligned");
static_assert(sizeof(BLContextCore) == 16 && alignof(BLContextCore) == 8, "BLContextCore must be 16 bytes, 8-aligned");
static_assert(sizeof(BLPoint) == 16, "BLPoint layout");

namespace bl2d {

// Storage behind a non-empty BLImageCore.  Shared (reference counted) between
// the image and every context drawing into it.
struct ImageImpl {
  std::atomic<uint32_t> refs{1};
  cairo_surface_t* surface = nullptr;  // owned
  int w = 0;
  int h = 0;
  BLFormat format = BL_FORMAT_NONE;
};

inline ImageImpl* image_impl(const BLImageCore* self) noexcept {
  return static_cast<ImageImpl*>(self->_impl);
}

inline void image_impl_add_ref(ImageImpl* impl) noexcept {
  impl->refs.fetch_add(1, std::memory_order_relaxed);
}

void image_impl_release(ImageImpl* impl) noexcept;

}  // namespace bl2d

#endif  // BL2DCOMPAT_INTERNAL_H
