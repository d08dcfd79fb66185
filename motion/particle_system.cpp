// particle_system.cpp - the particle system of libvelket: handle lifetime,
// forces, randomised emission and time stepping.
//
// Particles live in one contiguous array in emission order. An update is a
// single forward pass that advances each particle and compacts the survivors
// in place (stable, no allocation). Forces act in registration order.

#include "particle_system_p.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

using velket::Force;
using velket::Particle;

namespace {

// ============================================================================
// Random draws
// ============================================================================

// rand() returns 0..RAND_MAX where RAND_MAX + 1 is a power of two (2^31 with
// glibc, 2^15 elsewhere). Each draw takes ONE rand() result and keeps its top
// 15 bits, an integer uniform in 0..32767. The top bits are the better half
// of a linear congruential generator and no worse than the low ones for
// glibc's additive feedback generator. The generator is never seeded here:
// the caller owns the sequence.
constexpr int bit_width(unsigned long long v) { return v == 0 ? 0 : 1 + bit_width(v >> 1); }
constexpr unsigned long long kRandMax = static_cast<unsigned long long>(RAND_MAX);
static_assert((kRandMax & (kRandMax + 1)) == 0, "RAND_MAX + 1 must be a power of two");
static_assert(bit_width(kRandMax) >= 15, "rand() must yield at least 15 bits");
constexpr int kRandShift = bit_width(kRandMax) - 15;

inline double draw_unit() {
  const int r = std::rand() >> kRandShift;  // 0..32767
  return r / 32767.0;                         // both 0 and 1 can occur
}

// Uniform in [lo, hi]; hi < lo reverses the range. The fraction is formed
// first and then scaled, in this order.
inline double draw_range(double lo, double hi) { return draw_unit() * (hi - lo) + lo; }

// ============================================================================
// Update kernels
// ============================================================================

// A force with everything that is the same for every particle in this step
// already computed: gravity's acceleration times dt and drag's factor do not
// depend on the particle, so they are formed once (the products are the same
// values the per-particle formulas would produce).
struct StepForce {
  int32_t kind;
  double a;  // gravity: gx * dt;  drag: max(1 - drag * dt, 0);  attractor: centre x
  double b;  // gravity: gy * dt;                                attractor: centre y
  double c;  //                                                  attractor: strength
};

// Up to this many forces are decoded into a local array once per step;
// longer lists (rare) are read from the handle per particle, since an update
// must not allocate.
constexpr size_t kMaxStepForces = 16;

inline void apply_gravity(const StepForce& f, double& vx, double& vy) {
  vx = f.a + vx;
  vy = f.b + vy;
}

inline void apply_drag(const StepForce& f, double& vx, double& vy) {
  vx *= f.a;
  vy *= f.a;
}

// Pull towards (or, for a negative strength, push away from) the centre,
// softened by the constant 100 so that the pull stays finite near the centre
// and vanishes at it.
inline void apply_attractor(const StepForce& f, double x, double y, double dt, double& vx,
                            double& vy) {
  const double dx = f.a - x;
  const double dy = f.b - y;
  const double d2 = dx * dx + dy * dy + 100.0;
  const double d = std::sqrt(d2);
  const double s = (f.c / d2) * dt;
  vx = (dx / d) * s + vx;
  vy = (dy / d) * s + vy;
}

inline void apply_force(const StepForce& f, double x, double y, double dt, double& vx,
                        double& vy) {
  switch (f.kind) {
    case velket::kForceGravity: apply_gravity(f, vx, vy); break;
    case velket::kForceDrag: apply_drag(f, vx, vy); break;
    case velket::kForceAttractor: apply_attractor(f, x, y, dt, vx, vy); break;
    default: break;
  }
}

// Any decoded force list, read in order with a switch per force.
struct AnyForces {
  const StepForce* f;
  size_t n;
  void operator()(double x, double y, double dt, double& vx, double& vy) const {
    for (size_t i = 0; i < n; ++i) apply_force(f[i], x, y, dt, vx, vy);
  }
};

inline bool decode_force(const Force& g, double dt, StepForce* out) {
  switch (g.kind) {
    case velket::kForceGravity:
      *out = StepForce{g.kind, g.p1 * dt, g.p2 * dt, 0.0};
      return true;
    case velket::kForceDrag: {
      double k = 1.0 - g.p1 * dt;
      if (k < 0.0) k = 0.0;  // drag beyond one step's worth stops the particle
      *out = StepForce{g.kind, k, 0.0, 0.0};
      return true;
    }
    case velket::kForceAttractor:
      *out = StepForce{g.kind, g.p1, g.p2, g.p3};
      return true;
    default:
      return false;  // unknown kinds do nothing
  }
}

// A force list too long to decode up front: each force is decoded where it
// acts, giving the same values.
struct RawForces {
  const Force* f;
  size_t n;
  void operator()(double x, double y, double dt, double& vx, double& vy) const {
    for (size_t i = 0; i < n; ++i) {
      StepForce g;
      if (decode_force(f[i], dt, &g)) apply_force(g, x, y, dt, vx, vy);
    }
  }
};

// Advances one particle by dt; false when it dies. A dying particle gets no
// further computation.
template <class Forces>
inline bool advance(Particle& p, double dt, const Forces& forces) {
  const double life = p.life - dt;
  p.life = life;
  if (life <= 0.0) return false;  // a NaN life is never removed
  double vx = p.vx;
  double vy = p.vy;
  forces(p.x, p.y, dt, vx, vy);  // position before the move
  p.vx = vx;
  p.vy = vy;
  p.x += vx * dt;
  p.y += vy * dt;
  p.rotation = p.spin * dt + p.rotation;
  const double u = 1.0 - life / p.max_life;  // 0 at emission, towards 1 at death
  p.size = (p.size_end - p.size_start) * u + p.size_start;
  return true;
}

// One pass with stable in-place compaction. Until the first death every
// particle stays where it is and nothing is copied.
template <class Forces>
void step_particles(Particle* p, size_t n, double dt, const Forces& forces, size_t* kept) {
  size_t r = 0;
  while (r < n && advance(p[r], dt, forces)) ++r;
  size_t w = r;
  if (r < n) {
    // From here on survivors move down. Each record is advanced in a local
    // copy and stored once at its new place, so the slot it leaves is not
    // written twice.
    for (++r; r < n; ++r) {
      Particle q = p[r];
      if (advance(q, dt, forces)) p[w++] = q;
    }
  }
  *kept = w;
}

// ============================================================================
// Emission kernel
// ============================================================================

// The arguments of one emission call.
struct Emitter {
  double x, y;
  double speed_min, speed_max;
  double angle_min, angle_max;
  double life_min, life_max;
  double size_start, size_end;
  uint32_t color_start, color_end;
};

// One new particle: exactly four draws, in this order.
inline Particle emit_one(const Emitter& e) {
  const double speed = draw_range(e.speed_min, e.speed_max);
  const double angle = draw_range(e.angle_min, e.angle_max);
  const double life = draw_range(e.life_min, e.life_max);
  const double vx = std::cos(angle) * speed;
  const double vy = std::sin(angle) * speed;
  const double spin = draw_unit() * 10.0 + (-5.0);
  return Particle{e.x,          e.y,        vx,          vy,        life, life, e.size_start,
                  e.size_start, e.size_end, e.color_start, e.color_end, 0.0,  spin};
}

}  // namespace

// ============================================================================
// Exports
// ============================================================================

extern "C" VELKET_API ParticleSystem* velket_ps_create(uint64_t max_particles) {
  // Out of memory gives null: no exception leaves the library, and the
  // unique_ptr releases the handle if the reservation fails.
  try {
    auto ps = std::make_unique<ParticleSystem>();
    ps->max_particles = max_particles == 0 ? velket::kDefaultMaxParticles : max_particles;
    const uint64_t reserve = ps->max_particles < velket::kReservedParticlesCap
                                 ? ps->max_particles
                                 : velket::kReservedParticlesCap;
    ps->particles.reserve(static_cast<size_t>(reserve));
    return ps.release();
  } catch (...) {
    return nullptr;
  }
}

extern "C" VELKET_API void velket_ps_destroy(ParticleSystem* ps) { delete ps; }

extern "C" VELKET_API void velket_ps_clear(ParticleSystem* ps) {
  if (!ps) return;
  // clear() keeps the capacity, so emission after a clear does not allocate.
  ps->particles.clear();
  ps->forces.clear();
}

namespace {

// Appends one force; a failed growth leaves the list as it was.
int32_t add_force(ParticleSystem* ps, const Force& f) {
  if (!ps) return VELKET_ERR_INVALID_ARGUMENT;
  try {
    ps->forces.push_back(f);
  } catch (...) {
    return VELKET_ERR_OUT_OF_MEMORY;
  }
  return VELKET_OK;
}

// Makes room for one more particle. Growth doubles the capacity, as
// push_back would, but never reserves beyond the emission limit. False when
// memory runs out; the array is then unchanged.
bool room_for_one(ParticleSystem* ps) {
  std::vector<Particle>& v = ps->particles;
  if (v.size() < v.capacity()) return true;
  const uint64_t cap = static_cast<uint64_t>(v.capacity());
  uint64_t want = cap == 0 ? 1 : (cap > UINT64_MAX / 2 ? UINT64_MAX : cap * 2);
  if (want > ps->max_particles) want = ps->max_particles;
  if (want > static_cast<uint64_t>(v.max_size())) want = static_cast<uint64_t>(v.max_size());
  if (want <= cap) return false;
  try {
    v.reserve(static_cast<size_t>(want));
  } catch (...) {
    return false;
  }
  return true;
}

}  // namespace

extern "C" VELKET_API int32_t velket_ps_add_gravity(ParticleSystem* ps, double gx, double gy) {
  return add_force(ps, Force{velket::kForceGravity, gx, gy, 0.0});
}

extern "C" VELKET_API int32_t velket_ps_add_drag(ParticleSystem* ps, double drag) {
  return add_force(ps, Force{velket::kForceDrag, drag, 0.0, 0.0});
}

extern "C" VELKET_API int32_t velket_ps_add_attractor(ParticleSystem* ps, double x, double y,
                                                      double strength) {
  return add_force(ps, Force{velket::kForceAttractor, x, y, strength});
}

extern "C" VELKET_API uint64_t velket_ps_emit(ParticleSystem* ps, uint64_t count, double x,
                                              double y, double speed_min, double speed_max,
                                              double angle_min, double angle_max,
                                              double life_min, double life_max,
                                              double size_start, double size_end,
                                              uint32_t color_start, uint32_t color_end) {
  if (!ps) return 0;
  const Emitter e{x,        y,        speed_min,  speed_max,  angle_min,  angle_max,
                  life_min, life_max, size_start, size_end, color_start, color_end};
  uint64_t emitted = 0;
  for (; emitted < count; ++emitted) {
    // Tested before every particle, so a full system draws nothing.
    if (ps->particles.size() >= ps->max_particles) break;
    // Room is made before the draws: when memory runs out, emission stops
    // without having drawn for a particle it cannot keep.
    if (!room_for_one(ps)) break;
    // Within capacity: push_back cannot allocate here.
    ps->particles.push_back(emit_one(e));
  }
  return emitted;
}

extern "C" VELKET_API void velket_ps_update(ParticleSystem* ps, double dt) {
  // A NaN dt passes this test on purpose: it is used unchanged.
  if (!ps || dt <= 0.0 || ps->particles.empty()) return;

  Particle* p = ps->particles.data();
  const size_t n = ps->particles.size();
  size_t kept = n;

  if (ps->forces.size() > kMaxStepForces) {
    step_particles(p, n, dt, RawForces{ps->forces.data(), ps->forces.size()}, &kept);
  } else {
    // Decode the force list once per step. One loop serves every list: loops
    // specialised for the common lists measured at most 2 % faster.
    StepForce f[kMaxStepForces];
    size_t nf = 0;
    for (const Force& g : ps->forces) {
      if (decode_force(g, dt, &f[nf])) ++nf;
    }
    step_particles(p, n, dt, AnyForces{f, nf}, &kept);
  }

  // Shrinking never reallocates.
  ps->particles.erase(ps->particles.begin() + static_cast<std::ptrdiff_t>(kept),
                      ps->particles.end());
}

extern "C" VELKET_API uint64_t velket_ps_get_count(const ParticleSystem* ps) {
  return ps ? static_cast<uint64_t>(ps->particles.size()) : 0;
}
