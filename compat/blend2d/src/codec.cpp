// Byte arrays and the PNG codec: encoding an image into memory.
//
// A BLArrayCore holds a std::vector<uint8_t> (null _impl while empty); a
// BLImageCodecCore either is empty or refers to the one built-in codec, the
// PNG encoder backed by cairo_surface_write_to_png_stream.

#include "bl2d_internal.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The address the PNG codec's _impl holds; nothing is allocated for it.
const char kPngCodec[] = "PNG";

inline Bytes* bytes(const BLArrayCore* self) noexcept { return static_cast<Bytes*>(self->_impl); }

inline void check_array(const BLArrayCore* self, const char* call) noexcept {
  bl2d::check_tag(self, bl2d::kArrayTag, call, "BLArrayCore");
}

inline void check_codec(const BLImageCodecCore* self, const char* call) noexcept {
  bl2d::check_tag(self, bl2d::kCodecTag, call, "BLImageCodecCore");
}

// Collects what Cairo's PNG writer emits; false stops it on out-of-memory.
struct Sink {
  Bytes* out;
  bool oom = false;
};

cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
  Sink* sink = static_cast<Sink*>(closure);
  try {
    sink->out->insert(sink->out->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    sink->oom = true;
    return CAIRO_STATUS_NO_MEMORY;
  }
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

extern "C" {

BL_API BLResult bl_array_init(BLArrayCore* self, BLObjectType array_type) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  self->_impl = nullptr;
  bl2d::set_tag(self, bl2d::kArrayTag);
  return array_type == BL_OBJECT_TYPE_ARRAY_UINT8 ? BL_SUCCESS : BL_ERROR_INVALID_VALUE;
}

BL_API BLResult bl_array_destroy(BLArrayCore* self) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  check_array(self, "bl_array_destroy");
  delete bytes(self);
  self->_impl = nullptr;
  bl2d::set_tag(self, bl2d::kDeadTag);
  return BL_SUCCESS;
}

BL_API BLResult bl_array_reset(BLArrayCore* self) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  check_array(self, "bl_array_reset");
  delete bytes(self);
  self->_impl = nullptr;
  return BL_SUCCESS;
}

BL_API size_t bl_array_get_size(const BLArrayCore* self) {
  if (!self) return 0;
  check_array(self, "bl_array_get_size");
  const Bytes* b = bytes(self);
  return b ? b->size() : 0;
}

BL_API const void* bl_array_get_data(const BLArrayCore* self) {
  if (!self) return nullptr;
  check_array(self, "bl_array_get_data");
  const Bytes* b = bytes(self);
  return b && !b->empty() ? b->data() : nullptr;
}

BL_API BLResult bl_image_codec_init(BLImageCodecCore* self) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  self->_impl = nullptr;
  bl2d::set_tag(self, bl2d::kCodecTag);
  return BL_SUCCESS;
}

BL_API BLResult bl_image_codec_destroy(BLImageCodecCore* self) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  check_codec(self, "bl_image_codec_destroy");
  self->_impl = nullptr;
  bl2d::set_tag(self, bl2d::kDeadTag);
  return BL_SUCCESS;
}

BL_API BLResult bl_image_codec_find_by_name(BLImageCodecCore* self, const char* name, size_t size,
                                            const BLArrayCore* codecs) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  check_codec(self, "bl_image_codec_find_by_name");
  if (codecs) return BL_ERROR_INVALID_VALUE;  // only the built-in list exists here
  if (!name) return BL_ERROR_IMAGE_NO_MATCHING_CODEC;
  if (size == SIZE_MAX) size = std::strlen(name);
  if (size != 3 || std::memcmp(name, kPngCodec, 3) != 0) return BL_ERROR_IMAGE_NO_MATCHING_CODEC;
  self->_impl = const_cast<char*>(kPngCodec);
  return BL_SUCCESS;
}

BL_API BLResult bl_image_write_to_data(const BLImageCore* self, BLArrayCore* dst, const BLImageCodecCore* codec) {
  if (!self || !dst || !codec) return BL_ERROR_INVALID_VALUE;
  bl2d::check_tag(self, bl2d::kImageTag, "bl_image_write_to_data", "BLImageCore");
  check_array(dst, "bl_image_write_to_data");
  check_codec(codec, "bl_image_write_to_data");
  bl2d::ImageImpl* impl = bl2d::image_impl(self);
  if (!impl) return BL_ERROR_INVALID_VALUE;
  if (codec->_impl != kPngCodec) return BL_ERROR_IMAGE_ENCODER_NOT_PROVIDED;

  // Encoded into a scratch vector first, so that a failure leaves "dst" as it was.
  Bytes encoded;
  Sink sink{&encoded};
  cairo_surface_flush(impl->surface);
  cairo_status_t status = cairo_surface_write_to_png_stream(impl->surface, append, &sink);
  if (sink.oom || status == CAIRO_STATUS_NO_MEMORY) return BL_ERROR_OUT_OF_MEMORY;
  if (status != CAIRO_STATUS_SUCCESS) return BL_ERROR_INVALID_VALUE;
  try {
    Bytes* out = bytes(dst);
    if (!out) {
      dst->_impl = new Bytes(std::move(encoded));
    } else {
      out->insert(out->end(), encoded.begin(), encoded.end());
    }
  } catch (const std::bad_alloc&) {
    return BL_ERROR_OUT_OF_MEMORY;
  }
  return BL_SUCCESS;
}

}  // extern "C"
