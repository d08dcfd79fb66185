// Spark physics in poster pixels: a light gravity pulls down the screen, drag
// slows the sparks so that they hang near where they were thrown.
#include "sparks.h"

#include <cstdlib>
#include <mutex>

namespace poster {

namespace {

constexpr double kTwoPi = 6.283185307179586;

std::mutex& random_lock() {
  static std::mutex m;
  return m;
}

// Makes "state" the source of random() and rand() while it lives.
class RandomStream {
 public:
  explicit RandomStream(char* state) : hold_(random_lock()), previous_(setstate(state)) {}
  ~RandomStream() { setstate(previous_); }
  RandomStream(const RandomStream&) = delete;
  RandomStream& operator=(const RandomStream&) = delete;

 private:
  std::lock_guard<std::mutex> hold_;
  char* previous_;
};

}  // namespace

bool Sparks::private_streams() {
  static const bool shared = [] {
    std::lock_guard<std::mutex> hold(random_lock());
    char state[128];
    char* previous = initstate(7u, state, sizeof state);
    const long a = random();
    srandom(7u);
    const int b = std::rand();
    setstate(previous);
    return a == b;
  }();
  return shared;
}

Sparks::Sparks(double pixel_scale, unsigned seed)
    : ps_(velket_ps_create(6000)), k_(pixel_scale) {
  {
    // initstate() also makes the new state current: put the old one back.
    std::lock_guard<std::mutex> hold(random_lock());
    char* previous = initstate(seed, random_state_, sizeof random_state_);
    setstate(previous);
  }
  velket_ps_add_gravity(ps_, 0.0, 55.0 * k_);
  velket_ps_add_drag(ps_, 1.6);
}

Sparks::~Sparks() { velket_ps_destroy(ps_); }

void Sparks::trail(const std::vector<BLPoint>& points, uint64_t per_point) {
  const RandomStream stream(random_state_);
  for (const BLPoint& p : points)
    velket_ps_emit(ps_, per_point, p.x, p.y, 10.0 * k_, 70.0 * k_, 0.0, kTwoPi, 0.4, 1.3, 2.8 * k_,
                   0.4 * k_, 0xFFFFF8E0u, 0x10FF6A3Du);
}

// Fast enough to fly apart within a few frames, small and not quite opaque:
// a hundred sparks thrown slowly from one point pile up into a white disc.
void Sparks::burst(double x, double y, uint64_t count) {
  const RandomStream stream(random_state_);
  velket_ps_emit(ps_, count, x, y, 120.0 * k_, 340.0 * k_, 0.0, kTwoPi, 0.5, 1.4, 2.4 * k_,
                 0.3 * k_, 0xD0FFF0C8u, 0x00FF6A3Du);
}

}  // namespace poster
