// Time stepping of a particle system with gravity, drag and one attractor,
// next to the memory-bandwidth floor for the same particle array: a plain
// read-modify-write pass over every byte of it, measured in the same run.

#include <velket.h>

#include "../motion/particle_system_p.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// A system of n particles spread over a 1920x1080 scene that live long
// enough for none to die while the benchmark runs, so every iteration
// advances the same number of particles.
ParticleSystem* make_system(int64_t n) {
  ParticleSystem* ps = velket_ps_create(static_cast<uint64_t>(n));
  velket_ps_add_gravity(ps, 0.0, 98.0);
  velket_ps_add_drag(ps, 0.2);
  velket_ps_add_attractor(ps, 960.0, 540.0, 50000.0);
  const int64_t per_burst = 1000;
  for (int64_t done = 0; done < n; done += per_burst) {
    const double x = static_cast<double>((done * 37) % 1920);
    const double y = static_cast<double>((done * 11) % 1080);
    velket_ps_emit(ps, static_cast<uint64_t>(per_burst), x, y, 10.0, 200.0, 0.0, 6.283185307179586,
                   1e9, 2e9, 2.0, 8.0, 0xFFFFA040u, 0x00FF2000u);
  }
  return ps;
}

void per_particle(benchmark::State& state, int64_t n) {
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["per_particle"] = benchmark::Counter(
      static_cast<double>(n),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_velket_ps_update(benchmark::State& state) {
  const int64_t n = state.range(0);
  ParticleSystem* ps = make_system(n);
  for (auto _ : state) {
    velket_ps_update(ps, 1.0 / 60.0);
    benchmark::ClobberMemory();
  }
  if (velket_ps_get_count(ps) != static_cast<uint64_t>(n)) state.SkipWithError("particles died");
  per_particle(state, n);
  velket_ps_destroy(ps);
}

// A longer force list (a fourth, zero gravity) through the same loop: the
// cost of one more force per particle.
void BM_velket_ps_update_generic_loop(benchmark::State& state) {
  const int64_t n = state.range(0);
  ParticleSystem* ps = make_system(n);
  velket_ps_add_gravity(ps, 0.0, 0.0);
  for (auto _ : state) {
    velket_ps_update(ps, 1.0 / 60.0);
    benchmark::ClobberMemory();
  }
  per_particle(state, n);
  velket_ps_destroy(ps);
}

// The floor: every 64-bit word of the same particle array read, changed and
// written back, in one forward pass.
void BM_velket_ps_update_floor(benchmark::State& state) {
  const int64_t n = state.range(0);
  ParticleSystem* ps = make_system(n);
  auto* words = reinterpret_cast<uint64_t*>(ps->particles.data());
  const size_t count = ps->particles.size() * sizeof(velket::Particle) / sizeof(uint64_t);
  for (auto _ : state) {
    for (size_t i = 0; i < count; ++i) words[i] += 1;
    benchmark::ClobberMemory();
  }
  per_particle(state, n);
  velket_ps_destroy(ps);
}

// Compaction: a third of the particles die in the measured step. The system
// is rebuilt outside the timing for each iteration.
void BM_velket_ps_update_with_deaths(benchmark::State& state) {
  const int64_t n = state.range(0);
  ParticleSystem* base = make_system(n);
  for (size_t i = 0; i < base->particles.size(); i += 3) base->particles[i].life = 0.001;
  ParticleSystem* ps = velket_ps_create(static_cast<uint64_t>(n));
  for (auto _ : state) {
    state.PauseTiming();
    ps->forces = base->forces;
    ps->particles = base->particles;
    state.ResumeTiming();
    velket_ps_update(ps, 1.0 / 60.0);
    benchmark::ClobberMemory();
  }
  per_particle(state, n);
  velket_ps_destroy(ps);
  velket_ps_destroy(base);
}

}  // namespace

BENCHMARK(BM_velket_ps_update)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_velket_ps_update_generic_loop)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_velket_ps_update_floor)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_velket_ps_update_with_deaths)->Arg(1000000)->Unit(benchmark::kMicrosecond);
