// Private to bl2dcompat: shared between image.cpp and context.cpp.
#ifndef BL2DCOMPAT_INTERNAL_H
#define BL2DCOMPAT_INTERNAL_H

#include <blend2d/blend2d.h>

#include <cairo.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

static_assert(sizeof(BLPathCore) == 16 && alignof(BLPathCore) == 8, "BLPathCore must be 16 bytes, 8-aligned");
static_assert(sizeof(BLImageCore) == 16 && alignof(BLImageCore) == 8, "BLImageCore must be 16 bytes, 8-aligned");
static_assert(sizeof(BLContextCore) == 16 && alignof(BLContextCore) == 8, "BLContextCore must be 16 bytes, 8-aligned");
static_assert(sizeof(BLArrayCore) == 16 && alignof(BLArrayCore) == 8, "BLArrayCore must be 16 bytes, 8-aligned");
static_assert(sizeof(BLImageCodecCore) == 16 && alignof(BLImageCodecCore) == 8, "BLImageCodecCore must be 16 bytes, 8-aligned");
static_assert(sizeof(BLPoint) == 16, "BLPoint layout");

namespace bl2d {

// ---- Object tags ------------------------------------------------------------
// The real library dereferences what a core points to, so a core that was never
// initialised, or is used after its _destroy, crashes there or corrupts memory.
// The stand-in marks every live core with a tag of its kind in `_reserved`
// (set by each _init call, replaced by kDeadTag in _destroy) and aborts with a
// message on any other value, so such misuse fails here as loudly as in
// production instead of quietly succeeding.

constexpr uintptr_t kPathTag = 0x50415448'42324443u;     // "BL2D" "PATH"
constexpr uintptr_t kImageTag = 0x494D4147'42324443u;    // "BL2D" "IMAG"
constexpr uintptr_t kContextTag = 0x43545854'42324443u;  // "BL2D" "CTXT"
constexpr uintptr_t kArrayTag = 0x41525241'42324443u;    // "BL2D" "ARRA"
constexpr uintptr_t kCodecTag = 0x434F4443'42324443u;    // "BL2D" "CODC"
constexpr uintptr_t kDeadTag = 0x44454144'42324443u;     // "BL2D" "DEAD"

[[noreturn]] void misuse(const char* call, const char* type, const char* problem) noexcept;

template <class Core>
inline void set_tag(Core* core, uintptr_t tag) noexcept {
  core->_reserved = reinterpret_cast<void*>(tag);
}

// Aborts unless `core` carries the live tag `tag`; `call` and `type` name the
// API call and the core's type in the message.
template <class Core>
inline void check_tag(const Core* core, uintptr_t tag, const char* call, const char* type) noexcept {
  const uintptr_t seen = reinterpret_cast<uintptr_t>(core->_reserved);
  if (seen == tag) return;
  misuse(call, type, seen == kDeadTag ? "used after it was destroyed"
                                      : "never initialised (or not of this type)");
}

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
