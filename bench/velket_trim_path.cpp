// Trimming a 100,000-vertex path: measuring it and emitting the piece.

#include <velket.h>

#include "bl_holders.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

namespace {

// A spiral of n vertices, with a cubic every 50 vertices and a close at the
// end, as a traced outline would look.
void build_path(quillon_test::Path& p, int64_t n) {
  bl_path_move_to(p.get(), 960.0, 540.0);
  int64_t i = 1;
  while (i < n) {
    const double a = 0.01 * static_cast<double>(i);
    const double r = 0.004 * static_cast<double>(i);
    if (i % 50 == 0 && i + 3 <= n) {
      bl_path_cubic_to(p.get(), 960.0 + r * std::cos(a), 540.0 + r * std::sin(a),
                       960.0 + r * std::cos(a + 0.01), 540.0 + r * std::sin(a + 0.01),
                       960.0 + r * std::cos(a + 0.02), 540.0 + r * std::sin(a + 0.02));
      i += 3;
    } else {
      bl_path_line_to(p.get(), 960.0 + r * std::cos(a), 540.0 + r * std::sin(a));
      ++i;
    }
  }
  bl_path_close(p.get());
}

void run(benchmark::State& state, double start, double end, double offset) {
  const int64_t n = state.range(0);
  quillon_test::Path src;
  build_path(src, n);
  quillon_test::Path dst;
  for (auto _ : state) {
    bl_path_clear(dst.get());
    benchmark::DoNotOptimize(velket_trim_path(src.get(), dst.get(), start, end, offset));
  }
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["per_vertex"] = benchmark::Counter(
      static_cast<double>(n),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Half of the path, the usual draw-on frame.
void BM_velket_trim_path(benchmark::State& state) { run(state, 0.25, 0.75, 0.0); }
// A marching segment across the start: two figures, 40 % of the path.
void BM_velket_trim_path_wrapping(benchmark::State& state) { run(state, 0.0, 0.4, 0.8); }
// A short dash: mostly measuring.
void BM_velket_trim_path_short(benchmark::State& state) { run(state, 0.5, 0.51, 0.0); }

}  // namespace

BENCHMARK(BM_velket_trim_path)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_velket_trim_path_wrapping)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_velket_trim_path_short)->Arg(100000)->Unit(benchmark::kMicrosecond);
