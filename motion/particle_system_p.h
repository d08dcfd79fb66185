// particle_system_p.h - private: the ParticleSystem handle and its records,
// shared by the particle system and its renderer.
#ifndef VELKET_MOTION_PARTICLE_SYSTEM_P_H
#define VELKET_MOTION_PARTICLE_SYSTEM_P_H

#include "velket.h"

#include <cstdint>
#include <type_traits>
#include <vector>

namespace velket {

// One live particle. Fixed-size records in one contiguous array keep an
// update a single forward pass.
struct Particle {
  double x;
  double y;
  double vx;  // length units per time unit
  double vy;
  double life;      // remaining lifetime
  double max_life;  // lifetime at emission
  double size;      // current size, drawn as the radius
  double size_start;
  double size_end;  // size reached when life reaches 0
  uint32_t color_start;  // 0xAARRGGBB, not premultiplied
  uint32_t color_end;
  double rotation;  // advanced by spin; nothing draws it
  double spin;      // angular velocity, drawn from [-5, 5] at emission
};

// Codes stored in Force::kind. Any other code is a force without effect.
enum ForceKind : int32_t {
  kForceGravity = 0,    // p1, p2: acceleration (gx, gy)
  kForceDrag = 1,       // p1: drag coefficient
  kForceAttractor = 2,  // p1, p2: centre; p3: strength (negative repels)
};

struct Force {
  int32_t kind;
  double p1;
  double p2;
  double p3;
};

// Records are copied with plain assignment during compaction.
static_assert(std::is_trivially_copyable<Particle>::value, "Particle must stay a plain record");
static_assert(sizeof(Particle) == 96, "Particle layout changed");
static_assert(sizeof(Force) == 32, "Force layout changed");

// At most this many particles are reserved at creation; larger systems grow.
constexpr uint64_t kReservedParticlesCap = 10000;
// max_particles 0 at creation means this limit.
constexpr uint64_t kDefaultMaxParticles = 10000;

}  // namespace velket

// The opaque handle of velket.h.
struct ParticleSystem {
  uint64_t max_particles;                    // emission stops at this many live particles
  std::vector<velket::Particle> particles;  // emission order, oldest first
  std::vector<velket::Force> forces;        // registration order
};

#endif  // VELKET_MOTION_PARTICLE_SYSTEM_P_H
