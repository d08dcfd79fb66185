// Drawing 10,000 particles as filled circles into a 1920x1080 image.

#include <velket.h>

#include "bl_holders.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

void BM_velket_ps_render(benchmark::State& state) {
  const int64_t n = state.range(0);
  ParticleSystem* ps = velket_ps_create(static_cast<uint64_t>(n));
  // Bursts of 100 at points over the image, spread by one step of motion;
  // half-way through their lives so the colours are blended, radius 2..5.
  for (int64_t done = 0; done < n; done += 100) {
    const double x = static_cast<double>((done * 7) % 1920);
    const double y = static_cast<double>((done * 3) % 1080);
    velket_ps_emit(ps, 100, x, y, 20.0, 60.0, 0.0, 6.283185307179586, 2.0, 2.0, 2.0, 8.0,
                   0xFFFFA040u, 0x40FF2000u);
  }
  velket_ps_update(ps, 1.0);
  quillon_test::Canvas canvas(1920, 1080);
  for (auto _ : state) {
    velket_ps_render(ps, canvas.ctx());
  }
  canvas.end();
  benchmark::DoNotOptimize(canvas.pixel(960, 540));
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["per_particle"] = benchmark::Counter(
      static_cast<double>(n),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  velket_ps_destroy(ps);
}

}  // namespace

BENCHMARK(BM_velket_ps_render)->Arg(10000)->Unit(benchmark::kMillisecond);
