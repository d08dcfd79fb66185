// The two easing functions, one call per sample of a frame's progress.

#include <velket.h>

#include <benchmark/benchmark.h>

namespace {

constexpr int kSamples = 1024;

template <class Fn>
void run(benchmark::State& state, Fn fn) {
  double sink = 0.0;
  for (auto _ : state) {
    for (int i = 0; i < kSamples; ++i) {
      sink += fn((i + 0.5) / kSamples);
    }
    benchmark::DoNotOptimize(sink);
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
  state.counters["per_call"] = benchmark::Counter(
      kSamples,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// CSS "ease": Newton converges in a few updates.
void BM_velket_cubic_bezier_evaluate(benchmark::State& state) {
  run(state, [](double x) { return velket_cubic_bezier_evaluate(x, 0.25, 0.1, 0.25, 1.0); });
}

// A steep curve that often uses all 8 updates.
void BM_velket_cubic_bezier_evaluate_steep(benchmark::State& state) {
  run(state, [](double x) { return velket_cubic_bezier_evaluate(x, 0.9, 0.0, 0.1, 1.0); });
}

void BM_velket_spring_evaluate_underdamped(benchmark::State& state) {
  run(state, [](double t) { return velket_spring_evaluate(2.0 * t, 170.0, 10.0, 1.0, 0.0); });
}

void BM_velket_spring_evaluate_critical(benchmark::State& state) {
  run(state, [](double t) { return velket_spring_evaluate(2.0 * t, 100.0, 20.0, 1.0, 0.0); });
}

void BM_velket_spring_evaluate_overdamped(benchmark::State& state) {
  run(state, [](double t) { return velket_spring_evaluate(2.0 * t, 100.0, 50.0, 1.0, 0.0); });
}

}  // namespace

BENCHMARK(BM_velket_cubic_bezier_evaluate);
BENCHMARK(BM_velket_cubic_bezier_evaluate_steep);
BENCHMARK(BM_velket_spring_evaluate_underdamped);
BENCHMARK(BM_velket_spring_evaluate_critical);
BENCHMARK(BM_velket_spring_evaluate_overdamped);
