// Spark physics in poster pixels: a light gravity pulls down the screen, drag
// slows the sparks so that they hang near where they were thrown.
#include "sparks.h"

namespace poster {

namespace {
constexpr double kTwoPi = 6.283185307179586;
}

Sparks::Sparks(double pixel_scale) : ps_(velket_ps_create(6000)), k_(pixel_scale) {
  velket_ps_add_gravity(ps_, 0.0, 55.0 * k_);
  velket_ps_add_drag(ps_, 1.6);
}

Sparks::~Sparks() { velket_ps_destroy(ps_); }

void Sparks::trail(const std::vector<BLPoint>& points, uint64_t per_point) {
  for (const BLPoint& p : points)
    velket_ps_emit(ps_, per_point, p.x, p.y, 10.0 * k_, 70.0 * k_, 0.0, kTwoPi, 0.4, 1.3, 2.8 * k_,
                   0.4 * k_, 0xFFFFF8E0u, 0x10FF6A3Du);
}

// Fast enough to fly apart within a few frames, small and not quite opaque:
// a hundred sparks thrown slowly from one point pile up into a white disc.
void Sparks::burst(double x, double y, uint64_t count) {
  velket_ps_emit(ps_, count, x, y, 120.0 * k_, 340.0 * k_, 0.0, kTwoPi, 0.5, 1.4, 2.4 * k_,
                 0.3 * k_, 0xD0FFF0C8u, 0x00FF6A3Du);
}

}  // namespace poster
