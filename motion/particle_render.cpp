// particle_render.cpp - draws a particle system into a Blend2D rendering
// context: one filled circle per particle, its colour blended from the start
// to the end colour by the fraction of life already spent.
//
// Only reads the system. Transform, clip and composition are whatever the
// caller has set on the context.
//
// Circles are drawn only when they can reach the context's target: one that
// is not finite or lies wholly outside the target is skipped. One so large
// that the rasteriser's arithmetic would overflow (Blend2D 0.21 never returns
// from a circle of radius 1e306 that touches the target) is drawn through an
// equivalent figure: the whole target when it holds every corner, nothing
// when it holds none, else the half-plane its edge bounds there.

#include "particle_system_p.h"

#include <blend2d/blend2d.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Particles this small or smaller are not drawn.
constexpr double kMinDrawnSize = 0.2;

// Integers of magnitude 2^60 and above are multiples of 256 as doubles (their
// spacing is at least 2^8), so their low 8 bits are 0.
constexpr double kNoLowBitsAbove = 0x1p60;

// One 8-bit channel at bit position `shift`: (e - s) * u + s, truncated
// toward zero, low 8 bits kept. A result that is not finite gives 0. The range
// test keeps the float-to-integer conversion defined for any u.
inline uint32_t blend_channel(uint32_t start, uint32_t end, int shift, double u) {
  const double s = static_cast<double>((start >> shift) & 0xFFu);
  const double e = static_cast<double>((end >> shift) & 0xFFu);
  const double c = (e - s) * u + s;
  if (!(std::fabs(c) < kNoLowBitsAbove)) return 0;  // NaN, infinite or huge
  // Two's complement low bits, also for a negative integer.
  const uint64_t bits = static_cast<uint64_t>(static_cast<int64_t>(c));
  return static_cast<uint32_t>(bits & 0xFFu) << shift;
}

inline uint32_t blend_color(uint32_t start, uint32_t end, double u) {
  return blend_channel(start, end, 24, u) | blend_channel(start, end, 16, u) |
         blend_channel(start, end, 8, u) | blend_channel(start, end, 0, u);
}

// A circle whose radius is more than this many times the target's diagonal
// is drawn through an equivalent figure: across the target its edge is then
// straight to within diagonal / 2^27 (its sagitta), a hundred-thousandth of a
// pixel for a target up to 1000 pixels across.
constexpr double kLargestDrawnRadius = 0x1p24;

// The target's rectangle in user coordinates: its corners mapped back through
// the inverse of the context's final transform, and their bounding box.
struct TargetArea {
  bool reachable = false;  // false: no fill can reach a pixel
  BLPoint corners[4] = {};
  double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
  double diagonal = 0.0;
};

TargetArea target_area(const BLContextCore* ctx) {
  TargetArea area;
  BLSize size{0.0, 0.0};
  BLMatrix2D t{};
  if (bl_context_get_target_size(ctx, &size) != BL_SUCCESS || !(size.w > 0.0) ||
      !(size.h > 0.0) || bl_context_get_final_transform(ctx, &t) != BL_SUCCESS) {
    return area;
  }
  const double* m = t.m;
  // x' = x m0 + y m2 + m4, y' = x m1 + y m3 + m5; exact for the identity.
  const double det = m[0] * m[3] - m[1] * m[2];
  if (!std::isfinite(det) || det == 0.0) return area;
  const double device[4][2] = {{0.0, 0.0}, {size.w, 0.0}, {size.w, size.h}, {0.0, size.h}};
  for (int i = 0; i < 4; ++i) {
    const double dx = device[i][0] - m[4];
    const double dy = device[i][1] - m[5];
    const BLPoint c{(dx * m[3] - dy * m[2]) / det, (dy * m[0] - dx * m[1]) / det};
    if (!std::isfinite(c.x) || !std::isfinite(c.y)) return area;
    area.corners[i] = c;
  }
  area.x0 = area.x1 = area.corners[0].x;
  area.y0 = area.y1 = area.corners[0].y;
  for (const BLPoint& c : area.corners) {
    area.x0 = std::min(area.x0, c.x);
    area.x1 = std::max(area.x1, c.x);
    area.y0 = std::min(area.y0, c.y);
    area.y1 = std::max(area.y1, c.y);
  }
  area.diagonal = std::hypot(area.x1 - area.x0, area.y1 - area.y0);
  area.reachable = std::isfinite(kLargestDrawnRadius * area.diagonal);
  return area;
}

// A polygon as Blend2D's BL_GEOMETRY_TYPE_POLYGOND takes it (the layout of
// its BLArrayView<BLPoint>).
struct PolygonView {
  const BLPoint* data;
  size_t size;
};

// How a circle (finite, r > 0) is drawn: not at all, as itself, as the whole
// target, or as the half-plane its edge bounds across the target.
enum class Cover { none, circle, whole, half_plane };

Cover cover_of(const TargetArea& area, double x, double y, double r, BLPoint quad[4]) {
  // Wholly outside the target's box (sums that overflow compare as infinite).
  if (x + r < area.x0 || x - r > area.x1 || y + r < area.y0 || y - r > area.y1) {
    return Cover::none;
  }
  if (r <= kLargestDrawnRadius * area.diagonal) return Cover::circle;
  int inside = 0;
  for (const BLPoint& c : area.corners) {
    if (std::hypot(c.x - x, c.y - y) <= r) ++inside;
  }
  // The edge is straight across the target: holding no corner, the circle
  // reaches no pixel.
  if (inside == 4) return Cover::whole;
  if (inside == 0) return Cover::none;
  // The edge crosses the target. With b the box's centre, u the unit vector
  // from the circle's centre to b and d their distance, the circle there is
  // the half-plane (q - b) . u <= r - d, drawn as a quad reaching past the
  // box on every side. r - d is where rounding leaves the edge; it is kept
  // within the box.
  const double bx = 0.5 * area.x0 + 0.5 * area.x1;
  const double by = 0.5 * area.y0 + 0.5 * area.y1;
  const double d = std::hypot(bx - x, by - y);
  if (!(d > 0.0) || !std::isfinite(d)) return Cover::none;
  const double ux = (bx - x) / d;
  const double uy = (by - y) / d;
  const double reach = 2.0 * area.diagonal;
  const double edge = std::clamp(r - d, -area.diagonal, area.diagonal);
  const double back = edge - reach;
  quad[0] = BLPoint{bx + ux * edge - uy * reach, by + uy * edge + ux * reach};
  quad[1] = BLPoint{bx + ux * edge + uy * reach, by + uy * edge - ux * reach};
  quad[2] = BLPoint{bx + ux * back + uy * reach, by + uy * back - ux * reach};
  quad[3] = BLPoint{bx + ux * back - uy * reach, by + uy * back + ux * reach};
  return Cover::half_plane;
}

}  // namespace

// ============================================================================
// Export
// ============================================================================

extern "C" VELKET_API void velket_ps_render(const ParticleSystem* ps, BLContextCore* ctx) {
  if (!ps || !ctx) return;
  const TargetArea area = target_area(ctx);
  if (!area.reachable) return;
  // Array order is emission order: younger particles paint over older ones.
  for (const velket::Particle& p : ps->particles) {
    if (!(p.size > kMinDrawnSize) || !std::isfinite(p.size) || !std::isfinite(p.x) ||
        !std::isfinite(p.y)) {
      continue;
    }
    BLPoint quad[4];
    const Cover cover = cover_of(area, p.x, p.y, p.size, quad);
    if (cover == Cover::none) continue;
    // A particle drawn before its first update with zero lifetime gets a NaN
    // u, and so a fully transparent colour.
    const double u = 1.0 - p.life / p.max_life;
    const uint32_t color = blend_color(p.color_start, p.color_end, u);
    // A failed fill is ignored and does not stop the loop.
    if (cover == Cover::circle) {
      const BLCircle circle{p.x, p.y, p.size};
      bl_context_fill_geometry_rgba32(ctx, BL_GEOMETRY_TYPE_CIRCLE, &circle, color);
    } else if (cover == Cover::whole) {
      bl_context_fill_all_rgba32(ctx, color);
    } else {
      const PolygonView polygon{quad, 4};
      bl_context_fill_geometry_rgba32(ctx, BL_GEOMETRY_TYPE_POLYGOND, &polygon, color);
    }
  }
}
