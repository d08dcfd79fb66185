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
    velket_ps_emit(ps_, per_point, p.x, p.y, 8.0 * k_, 55.0 * k_, 0.0, kTwoPi, 0.35, 1.1,
                   2.1 * k_, 0.3 * k_, 0xFFFFF3C4u, 0x00FF5A36u);
}

void Sparks::burst(double x, double y, uint64_t count) {
  velket_ps_emit(ps_, count, x, y, 40.0 * k_, 160.0 * k_, 0.0, kTwoPi, 0.6, 1.6, 2.8 * k_,
                 0.4 * k_, 0xFFFFFFFFu, 0x00FF7A2Eu);
}

}  // namespace poster
