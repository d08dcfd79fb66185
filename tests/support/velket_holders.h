// An owning handle for a velket ParticleSystem in tests and benchmarks, so
// that a failed assertion does not leak under AddressSanitizer.
#ifndef QUILLON_TESTS_SUPPORT_VELKET_HOLDERS_H
#define QUILLON_TESTS_SUPPORT_VELKET_HOLDERS_H

#include <velket.h>

#include <cstdint>
#include <memory>

namespace quillon_test {

struct PsDeleter {
  void operator()(ParticleSystem* ps) const { velket_ps_destroy(ps); }
};
using PsPtr = std::unique_ptr<ParticleSystem, PsDeleter>;

// A new system (null when velket_ps_create fails, as it may under an
// allocation limit); 0 asks for the default capacity.
inline PsPtr make_ps(uint64_t max_particles = 0) {
  return PsPtr(velket_ps_create(max_particles));
}

}  // namespace quillon_test

#endif  // QUILLON_TESTS_SUPPORT_VELKET_HOLDERS_H
