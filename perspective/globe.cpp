// The textured, shaded globe: an orthographic view of a sphere that samples an
// equirectangular texture through the inverse projection, with bilinear
// filtering, a view-dependent shade, and an optional atmosphere that tints the
// rim and adds a soft halo just outside the disc. Reads and writes 32-bit
// 0xAARRGGBB pixels directly.
#include "torvik.h"

#include <cstdint>

#include "cpu_dispatch.h"
#include "kernels/globe_kernels.h"

// ============================================================================
// Export
// ============================================================================

extern "C" TORVIK_API int32_t torvik_render_globe(uint32_t* pixels, int32_t width,
                                                  int32_t height, int32_t stride,
                                                  const uint32_t* texture, int32_t texture_width,
                                                  int32_t texture_height, int32_t texture_stride,
                                                  double center_x, double center_y,
                                                  double radius, double rotation, double tilt,
                                                  uint32_t atmosphere) {
  // 64-bit arithmetic throughout: 4 * width and |INT32_MIN| overflow 32 bits.
  const int64_t stride64 = stride;
  const int64_t texture_stride64 = texture_stride;
  if (!pixels || width <= 0 || height <= 0) return TORVIK_ERR_INVALID_ARGUMENT;
  if ((stride64 < 0 ? -stride64 : stride64) < 4 * static_cast<int64_t>(width)) {
    return TORVIK_ERR_INVALID_ARGUMENT;
  }
  if (!texture || texture_width < 1 || texture_height < 1) return TORVIK_ERR_INVALID_ARGUMENT;
  if ((texture_stride64 < 0 ? -texture_stride64 : texture_stride64) <
      4 * static_cast<int64_t>(texture_width)) {
    return TORVIK_ERR_INVALID_ARGUMENT;
  }
  if (radius <= 0.0) return TORVIK_ERR_INVALID_ARGUMENT;

  torvik::GlobeCall call;
  if (!torvik::globe_setup(pixels, width, height, stride, texture, texture_width, texture_height,
                           texture_stride, center_x, center_y, radius, rotation, tilt, atmosphere,
                           call)) {
    return TORVIK_OK;
  }
  torvik::render_globe(quillon::best_simd_level(), call);
  return TORVIK_OK;
}
