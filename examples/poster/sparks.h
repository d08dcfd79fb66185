// Sparks: a libvelket particle system thrown from the tips of the coastline
// as it is drawn on, plus an occasional burst.
#ifndef QUILLON_POSTER_SPARKS_H
#define QUILLON_POSTER_SPARKS_H

#include <velket.h>

#include <cstdint>
#include <vector>

#include "bl_objects.h"

namespace poster {

// Emission draws its random numbers from rand(), which the C library shares
// between threads. Each Sparks keeps a random stream of its own, seeded
// with "seed", and makes it rand()'s source for the time of each emission
// (under a lock), so that sparks replayed on several threads at once follow
// the same course as on one.
class Sparks {
 public:
  static constexpr unsigned kSeed = 20240611u;
  explicit Sparks(double pixel_scale, unsigned seed = kSeed);
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

  // Whether rand() draws from the stream random() uses (glibc): only then
  // are the streams private and a replay on several threads deterministic.
  static bool private_streams();

 private:
  ParticleSystem* ps_;
  double k_;  // pixels per poster unit
  alignas(8) char random_state_[128];  // random()'s state (TYPE_3, as srand's)
};

}  // namespace poster

#endif  // QUILLON_POSTER_SPARKS_H
