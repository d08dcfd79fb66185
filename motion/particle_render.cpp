// particle_render.cpp - draws a particle system into a Blend2D rendering
// context: one filled circle per particle, its colour blended from the start
// to the end colour by the fraction of life already spent.
//
// Only reads the system. Transform, clip and composition are whatever the
// caller has set on the context.

#include "particle_system_p.h"

#include <blend2d/blend2d.h>

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

}  // namespace

// ============================================================================
// Export
// ============================================================================

extern "C" VELKET_API void velket_ps_render(const ParticleSystem* ps, BLContextCore* ctx) {
  if (!ps || !ctx) return;
  // Array order is emission order: younger particles paint over older ones.
  for (const velket::Particle& p : ps->particles) {
    if (p.size <= kMinDrawnSize) continue;
    // A particle drawn before its first update with zero lifetime gets a NaN
    // u, and so a fully transparent colour.
    const double u = 1.0 - p.life / p.max_life;
    const BLCircle circle{p.x, p.y, p.size};
    // A failed fill is ignored and does not stop the loop.
    bl_context_fill_geometry_rgba32(ctx, BL_GEOMETRY_TYPE_CIRCLE, &circle,
                                    blend_color(p.color_start, p.color_end, u));
  }
}
