// Sparks: a libvelket particle system thrown from the tips of the coastline
// as it is drawn on, plus an occasional burst.
#ifndef QUILLON_POSTER_SPARKS_H
#define QUILLON_POSTER_SPARKS_H

#include <velket.h>

#include <cstdint>
#include <vector>

#include "bl_objects.h"

namespace poster {

class Sparks {
 public:
  explicit Sparks(double pixel_scale);
  ~Sparks();
  Sparks(const Sparks&) = delete;
  Sparks& operator=(const Sparks&) = delete;

  // A few sparks from each point, drifting and fading quickly.
  void trail(const std::vector<BLPoint>& points, uint64_t per_point);
  // A ring of sparks thrown out from one point.
  void burst(double x, double y, uint64_t count);
  void step(double dt) { velket_ps_update(ps_, dt); }
  void render(Canvas* canvas) const { velket_ps_render(ps_, canvas->ctx()); }
  uint64_t count() const { return velket_ps_get_count(ps_); }

 private:
  ParticleSystem* ps_;
  double k_;  // pixels per poster unit
};

}  // namespace poster

#endif  // QUILLON_POSTER_SPARKS_H
