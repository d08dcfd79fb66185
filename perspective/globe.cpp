// The textured, shaded globe: an orthographic view of a sphere that samples an
// equirectangular texture through the inverse projection, with bilinear
// filtering, a view-dependent shade, and an optional atmosphere that tints the
// rim and adds a glow ring outside the disc. Works on raw 0xAARRGGBB words.
#include <torvik.h>

#include <cmath>
#include <cstdint>

#include "kernels/globe_kernels.h"
#include "units.h"

namespace {

inline double channel_of(uint32_t word, int shift) {
  return static_cast<double>((word >> shift) & 0xFFu);
}

}  // namespace

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
  if (!pixels || width <= 0 || height <= 0) return -1;
  if ((stride64 < 0 ? -stride64 : stride64) < 4 * static_cast<int64_t>(width)) return -1;
  if (!texture || texture_width < 1 || texture_height < 1) return -1;
  if ((texture_stride64 < 0 ? -texture_stride64 : texture_stride64) <
      4 * static_cast<int64_t>(texture_width)) {
    return -1;
  }
  if (radius <= 0.0) return -1;

  torvik::GlobeTerms g;
  g.center_x = center_x;
  g.center_y = center_y;
  g.radius = radius;
  g.inv = 1.0 / radius;
  g.r2 = radius * radius;
  g.halo = 1.15 * radius;
  g.glow_width = 0.15 * radius;
  // A disc that cannot be placed draws nothing: a NaN or infinite centre or
  // radius, a radius whose square overflows, or one so small that its
  // reciprocal does (the disc then covers no area, yet its normals would be
  // NaN).
  if (!std::isfinite(center_x) || !std::isfinite(center_y) || !std::isfinite(g.r2) ||
      !std::isfinite(g.inv)) {
    return 0;
  }

  // The square around the glow ring, clipped to the buffer. The bounds are
  // compared as doubles and converted only once they lie in the buffer.
  const double row_first = std::fmax(0.0, std::floor(center_y - g.halo));
  const double row_last =
      std::fmin(static_cast<double>(height - 1), std::ceil(center_y + g.halo));
  if (row_first > row_last) return 0;
  const double col_first = std::fmax(0.0, std::floor(center_x - g.halo));
  const double col_last = std::fmin(static_cast<double>(width - 1), std::ceil(center_x + g.halo));
  if (col_first > col_last) return 0;

  const double t = tilt * quillon::kDegToRad;
  g.cos_tilt = std::cos(t);
  g.sin_tilt = std::sin(t);
  g.rotation = rotation * quillon::kDegToRad;
  g.atmosphere_on = atmosphere >= 0x01000000u;
  g.atmosphere = atmosphere;
  g.atmo_a = channel_of(atmosphere, 24);
  g.atmo_r = channel_of(atmosphere, 16);
  g.atmo_g = channel_of(atmosphere, 8);
  g.atmo_b = channel_of(atmosphere, 0);

  torvik::GlobeTexture tex;
  tex.texels = texture;
  tex.row_words = texture_stride64 / 4;  // truncates toward zero, as C division does
  tex.last_column = texture_width - 1;
  tex.last_row = texture_height - 1;

  torvik::GlobeSquare sq;
  sq.pixels = pixels;
  sq.row_words = stride64 / 4;
  sq.y0 = static_cast<int64_t>(row_first);
  sq.y1 = static_cast<int64_t>(row_last);
  sq.x0 = static_cast<int64_t>(col_first);
  sq.x1 = static_cast<int64_t>(col_last);
  torvik::render_globe_on(torvik::best_isa(), g, tex, sq);
  return 0;
}
