// The globe's scalar kernel: the per-pixel transcription of the formulas,
// which is the reference the vector kernels are tested against and the path
// on CPUs without them, and the choice of kernel per call.
#include "globe_kernels.h"

#include <cmath>
#include <cstdint>

#include "cpu_dispatch.h"

#include "units.h"

namespace torvik {

using quillon::SimdLevel;
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kPi = 3.141592653589793;

// ============================================================================
// Channel helpers
// ============================================================================

inline double channel_of(uint32_t word, int shift) {
  return static_cast<double>((word >> shift) & 0xFFu);
}

// Limits a channel value to [0, 255] and truncates it to its byte. NaN gives
// 0, so the conversion is defined for any input; no formula here produces
// one from sound arguments, but a float-to-int conversion must never be
// left to chance.
inline uint32_t to_byte(double v) {
  if (!(v >= 0.0)) return 0;
  if (v > 255.0) return 255;
  return static_cast<uint32_t>(v);
}

// ============================================================================
// Globe pixel
// ============================================================================

// Colour of the globe surface seen at (dx, dy) from the disc centre, with
// ny = dy * inv and d2 = dx * dx + dy * dy already known from the row.
inline uint32_t globe_pixel(const GlobeTerms& g, const GlobeTexture& tex, double dx, double ny,
                            double d2) {
  // Unit surface point in view space: ny points down the screen, nz at the viewer.
  const double nx = dx * g.inv;
  const double nz = std::sqrt(g.r2 - d2) * g.inv;

  const double ty = ny * g.cos_tilt - nz * g.sin_tilt;
  const double tz = ny * g.sin_tilt + nz * g.cos_tilt;

  double s = -ty;
  if (s < -1.0) s = -1.0;
  if (s > 1.0) s = 1.0;
  const double lat = std::asin(s);
  const double lon = std::atan2(nx, tz) + g.rotation;

  double u = lon / kTwoPi + 0.5;
  u = std::fmod(u, 1.0);
  if (u < 0.0) u += 1.0;
  // A NaN rotation or tilt leaves u or v NaN; it must not become an index.
  if (!(u >= 0.0)) u = 0.0;
  double v = lat / -kPi + 0.5;
  if (!(v >= 0.0)) {
    v = 0.0;
  } else if (v > 1.0) {
    v = 1.0;
  }

  // u and v lie in [0, 1], so both indices stay inside the texture. The
  // columns do not wrap at the seam: the last column is repeated.
  const double fx = u * static_cast<double>(tex.last_column);
  const double fy = v * static_cast<double>(tex.last_row);
  const int64_t c0 = static_cast<int64_t>(fx);
  const int64_t r0 = static_cast<int64_t>(fy);
  const int64_t c1 = c0 + 1 < tex.last_column ? c0 + 1 : tex.last_column;
  const int64_t r1 = r0 + 1 < tex.last_row ? r0 + 1 : tex.last_row;
  const double ax = fx - static_cast<double>(c0);
  const double ay = fy - static_cast<double>(r0);

  const uint32_t* row0 = tex.texels + r0 * tex.row_words;
  const uint32_t* row1 = tex.texels + r1 * tex.row_words;
  const uint32_t t00 = row0[c0];
  const uint32_t t10 = row0[c1];
  const uint32_t t01 = row1[c0];
  const uint32_t t11 = row1[c1];

  uint32_t argb[4];  // alpha, red, green, blue
  for (int i = 0; i < 4; ++i) {
    const int shift = 24 - 8 * i;
    const double v00 = channel_of(t00, shift);
    const double v10 = channel_of(t10, shift);
    const double v01 = channel_of(t01, shift);
    const double v11 = channel_of(t11, shift);
    const double top = v00 + (v10 - v00) * ax;
    const double bottom = v01 + (v11 - v01) * ax;
    // Limited to [0, 255] and truncated.
    argb[i] = to_byte(top + (bottom - top) * ay);
  }

  // Shade from 0.6 at the rim to 1.0 at the centre; alpha is not shaded.
  const double shade = nz * 0.4 + 0.6;
  uint32_t r = to_byte(static_cast<double>(argb[1]) * shade);
  uint32_t gr = to_byte(static_cast<double>(argb[2]) * shade);
  uint32_t b = to_byte(static_cast<double>(argb[3]) * shade);

  if (g.atmosphere_on && 1.0 - nz > 0.6) {
    // Rim weight, 0 where the view-facing component drops below 0.4, 1 at the rim.
    const double w = (1.0 - nz - 0.6) / 0.4;
    r = to_byte(std::fmin(255.0, w * g.atmo_r * 0.5 + static_cast<double>(r)));
    gr = to_byte(std::fmin(255.0, w * g.atmo_g * 0.5 + static_cast<double>(gr)));
    b = to_byte(std::fmin(255.0, w * g.atmo_b * 0.5 + static_cast<double>(b)));
  }
  return argb[0] << 24 | r << 16 | gr << 8 | b;
}

// ============================================================================
// Glow pixel
// ============================================================================

// Adds the atmosphere glow at distance d (radius < d < halo) to the
// destination word, saturating each channel at 255.
inline uint32_t glow_pixel(const GlobeTerms& g, uint32_t dst, double d) {
  double base = 1.0 - (d - g.radius) / g.glow_width;
  // 1.15 * radius and 0.15 * radius are rounded separately, so nothing
  // guarantees that base stays at or above 0 at the outer edge of the ring;
  // pow of a negative base is NaN. The glow there is nil.
  if (base < 0.0) base = 0.0;
  const double gain = std::pow(base, 2.5);

  uint32_t out = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const double a = channel_of(g.atmosphere, shift);
    const double c = channel_of(dst, shift);
    out |= to_byte(std::fmin(255.0, a * gain + c)) << shift;
  }
  return out;
}

}  // namespace

// ============================================================================
// Set-up
// ============================================================================

bool globe_setup(uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                 const uint32_t* texture, int32_t texture_width, int32_t texture_height,
                 int32_t texture_stride, double center_x, double center_y, double radius,
                 double rotation, double tilt, uint32_t atmosphere, GlobeCall& call) {
  GlobeTerms& g = call.terms;
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
    return false;
  }

  // The square around the glow ring, clipped to the buffer. The bounds are
  // compared as doubles and converted only once they lie in the buffer.
  const double row_first = std::fmax(0.0, std::floor(center_y - g.halo));
  const double row_last =
      std::fmin(static_cast<double>(height - 1), std::ceil(center_y + g.halo));
  if (row_first > row_last) return false;
  const double col_first = std::fmax(0.0, std::floor(center_x - g.halo));
  const double col_last = std::fmin(static_cast<double>(width - 1), std::ceil(center_x + g.halo));
  if (col_first > col_last) return false;

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

  GlobeTexture& tex = call.texture;
  tex.texels = texture;
  // Truncates toward zero, as C division does.
  tex.row_words = static_cast<int64_t>(texture_stride) / 4;
  tex.last_column = texture_width - 1;
  tex.last_row = texture_height - 1;

  GlobeSquare& sq = call.square;
  sq.pixels = pixels;
  sq.row_words = static_cast<int64_t>(stride) / 4;
  sq.y0 = static_cast<int64_t>(row_first);
  sq.y1 = static_cast<int64_t>(row_last);
  sq.x0 = static_cast<int64_t>(col_first);
  sq.x1 = static_cast<int64_t>(col_last);
  return true;
}

// ============================================================================
// Rows
// ============================================================================

void render_globe_scalar(const GlobeCall& call) {
  const GlobeTerms& g = call.terms;
  const GlobeTexture& tex = call.texture;
  const GlobeSquare& sq = call.square;
  for (int64_t y = sq.y0; y <= sq.y1; ++y) {
    // Everything that depends only on the row.
    const double dy = static_cast<double>(y) - g.center_y;
    const double ny = dy * g.inv;
    const double dy2 = dy * dy;
    uint32_t* row = sq.pixels + y * sq.row_words;
    for (int64_t x = sq.x0; x <= sq.x1; ++x) {
      const double dx = static_cast<double>(x) - g.center_x;
      const double d2 = dx * dx + dy2;
      if (d2 <= g.r2) {
        row[x] = globe_pixel(g, tex, dx, ny, d2);
      } else if (g.atmosphere_on) {
        const double d = std::sqrt(d2);
        if (d < g.halo) row[x] = glow_pixel(g, row[x], d);
      }
    }
  }
}

// ============================================================================
// Dispatch
// ============================================================================

namespace {

#if QUILLON_SIMD_X86
constexpr quillon::KernelTables<GlobeKernels> kTables = {
    {render_globe_scalar},
    {render_globe_sse2},
    {render_globe_avx2},
    {render_globe_avx512},
};
#else
constexpr GlobeKernels kScalar = {render_globe_scalar};
constexpr quillon::KernelTables<GlobeKernels> kTables = {kScalar, kScalar, kScalar, kScalar};
#endif

}  // namespace

const GlobeKernels& globe_kernels(SimdLevel level) { return kTables.at(level); }

void render_globe(SimdLevel level, const GlobeCall& call) {
  kTables.at(level).render_globe(call);
}

}  // namespace torvik
