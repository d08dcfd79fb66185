// Throughput of the four projections, each beside the scalar transcription
// of its formulas (the libm path the vector kernels replace) and PROJ's
// proj_trans_generic on the same points in the same run. The exports run
// on 1, 8, 64 and 1,000,000 points; the kernels also with each dispatch
// level forced (scalar, sse2 for the Mercator inverse, avx2, avx512; levels
// this CPU lacks are skipped). Items are points: the items_per_second counter gives the rate,
// CPU time divided by the point count the time per point. The machine may
// be shared, so compare medians of repeated, interleaved runs:
//
//   bench_ordane_projections --benchmark_repetitions=10
//     --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
//
// PROJ transforms in place and takes radians: its buffer is refilled from a
// prepared radian copy with timing paused, so neither the copy nor the
// degree conversion is charged to it. The conic definitions carry +over so
// that PROJ, like ordane, does not wrap longitudes.

#include <benchmark/benchmark.h>
#include <proj.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cpu_dispatch.h"
#include "ordane.h"
#include "projection_kernels.h"

namespace {

constexpr int64_t kPoints = 1000000;
constexpr double kD2R = 0.017453292519943295;

// Points over North America, the typical domain of the conic parameters
// below, and the Mercator square.
std::vector<double> lonlat_points() {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> lon(-170, -50), lat(10, 80);
  std::vector<double> v(2 * kPoints);
  for (int64_t i = 0; i < kPoints; ++i) {
    v[2 * i] = lon(rng);
    v[2 * i + 1] = lat(rng);
  }
  return v;
}

const std::vector<double>& degrees() {
  static const std::vector<double> v = lonlat_points();
  return v;
}

const std::vector<double>& radians() {
  static const std::vector<double> v = [] {
    std::vector<double> r = degrees();
    for (double& d : r) d *= kD2R;
    return r;
  }();
  return v;
}

const std::vector<double>& mercator_metres() {
  static const std::vector<double> v = [] {
    std::vector<double> r(degrees().size());
    ordane_proj_3857_forward(degrees().data(), r.data(), kPoints);
    return r;
  }();
  return v;
}

constexpr double kLat1 = 33, kLat2 = 45, kLat0 = 23, kLon0 = -96, kFe = 1e5, kFn = 2e5;

// ---------------------------------------------------------------------------
// ordane
// ---------------------------------------------------------------------------

// Runs call(in, out, n) on the first n points of `in`, n = state.range(0).
template <typename Call>
void run_ordane(benchmark::State& state, const std::vector<double>& in, Call call) {
  const int64_t n = state.range(0);
  std::vector<double> out(2 * static_cast<size_t>(n));
  for (auto _ : state) {
    benchmark::DoNotOptimize(call(in.data(), out.data(), n));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_ordane_proj_3857_forward(benchmark::State& state) {
  run_ordane(state, degrees(), [](const double* in, double* out, int64_t n) {
    return ordane_proj_3857_forward(in, out, n);
  });
}

void BM_ordane_proj_3857_inverse(benchmark::State& state) {
  run_ordane(state, mercator_metres(), [](const double* in, double* out, int64_t n) {
    return ordane_proj_3857_inverse(in, out, n);
  });
}

void BM_ordane_proj_lcc_forward(benchmark::State& state) {
  run_ordane(state, degrees(), [](const double* in, double* out, int64_t n) {
    return ordane_proj_lcc_forward(kLat1, kLat2, kLat0, kLon0, kFe, kFn, in, out, n);
  });
}

void BM_ordane_proj_albers_forward(benchmark::State& state) {
  run_ordane(state, degrees(), [](const double* in, double* out, int64_t n) {
    return ordane_proj_albers_forward(kLat1, kLat2, kLat0, kLon0, kFe, kFn, in, out, n);
  });
}

// ---------------------------------------------------------------------------
// Kernels at a forced dispatch level (state.range(0); 0 is the scalar
// transcription with the platform libm), on state.range(1) points
// ---------------------------------------------------------------------------

template <typename Call>
void run_kernel(benchmark::State& state, const std::vector<double>& in, Call call) {
  const auto level = static_cast<quillon::SimdLevel>(state.range(0));
  if (!quillon::simd_level_supported(level)) {
    state.SkipWithError("dispatch level not supported by this CPU");
    return;
  }
  state.SetLabel(quillon::simd_level_name(level));
  const int64_t n = state.range(1);
  std::vector<double> out(2 * static_cast<size_t>(n));
  for (auto _ : state) {
    call(level, in.data(), out.data(), n);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_kernel_merc_forward(benchmark::State& state) {
  run_kernel(state, degrees(), [](quillon::SimdLevel l, const double* in, double* out, int64_t n) {
    ordane::proj::merc_forward(l, in, out, n);
  });
}

void BM_kernel_merc_inverse(benchmark::State& state) {
  run_kernel(state, mercator_metres(),
             [](quillon::SimdLevel l, const double* in, double* out, int64_t n) {
               ordane::proj::merc_inverse(l, in, out, n);
             });
}

void BM_kernel_lcc_forward(benchmark::State& state) {
  const ordane::proj::LccParams p =
      ordane::proj::lcc_setup(kLat1, kLat2, kLat0, kLon0, kFe, kFn);
  run_kernel(state, degrees(),
             [&p](quillon::SimdLevel l, const double* in, double* out, int64_t n) {
               ordane::proj::lcc_forward(l, p, in, out, n);
             });
}

void BM_kernel_aea_forward(benchmark::State& state) {
  const ordane::proj::AeaParams p =
      ordane::proj::aea_setup(kLat1, kLat2, kLat0, kLon0, kFe, kFn);
  run_kernel(state, degrees(),
             [&p](quillon::SimdLevel l, const double* in, double* out, int64_t n) {
               ordane::proj::aea_forward(l, p, in, out, n);
             });
}

// ---------------------------------------------------------------------------
// PROJ
// ---------------------------------------------------------------------------

std::string conic(const char* proj, const char* earth) {
  return std::string("+proj=") + proj + " " + earth + " +lat_1=33 +lat_2=45 +lat_0=23" +
         " +lon_0=-96 +x_0=100000 +y_0=200000 +over";
}

void run_proj(benchmark::State& state, const std::string& definition, const std::vector<double>& in,
              PJ_DIRECTION dir) {
  PJ_CONTEXT* ctx = proj_context_create();
  PJ* pj = proj_create(ctx, definition.c_str());
  if (pj == nullptr) {
    state.SkipWithError("PROJ rejected the definition");
    proj_context_destroy(ctx);
    return;
  }
  std::vector<double> work(in.size());
  const size_t stride = 2 * sizeof(double);
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(work.data(), in.data(), in.size() * sizeof(double));
    state.ResumeTiming();
    benchmark::DoNotOptimize(proj_trans_generic(pj, dir, work.data(), stride, kPoints,
                                                work.data() + 1, stride, kPoints, nullptr, 0, 0,
                                                nullptr, 0, 0));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
  state.SetLabel("PROJ");
  proj_destroy(pj);
  proj_context_destroy(ctx);
}

void BM_proj_merc_forward(benchmark::State& state) {
  run_proj(state, "+proj=merc +R=6378137 +over", radians(), PJ_FWD);
}

void BM_proj_merc_inverse(benchmark::State& state) {
  run_proj(state, "+proj=merc +R=6378137 +over", mercator_metres(), PJ_INV);
}

void BM_proj_lcc_forward(benchmark::State& state) {
  run_proj(state, conic("lcc", "+ellps=WGS84"), radians(), PJ_FWD);
}

void BM_proj_aea_forward(benchmark::State& state) {
  run_proj(state, conic("aea", "+R=6378137"), radians(), PJ_FWD);
}

}  // namespace

static void export_counts(benchmark::internal::Benchmark* b) {
  for (int64_t n : {int64_t{1}, int64_t{8}, int64_t{64}, kPoints}) b->Arg(n);
}

// Scalar and each vector level on 1, 8, 64 and 1,000,000 points.
static void kernel_levels(benchmark::internal::Benchmark* b) {
  for (int64_t level = 0; level <= 3; ++level) {
    for (int64_t n : {int64_t{1}, int64_t{8}, int64_t{64}, kPoints}) b->Args({level, n});
  }
}

// The same for the kernels whose vector code starts at AVX2 (SLEEF's FMA
// functions): their SSE2 level is the scalar code, measured as level 0.
static void fma_kernel_levels(benchmark::internal::Benchmark* b) {
  for (int64_t level : {0, 2, 3}) {
    for (int64_t n : {int64_t{1}, int64_t{8}, int64_t{64}, kPoints}) b->Args({level, n});
  }
}

BENCHMARK(BM_ordane_proj_3857_forward)->Apply(export_counts);
BENCHMARK(BM_kernel_merc_forward)->Apply(fma_kernel_levels);
BENCHMARK(BM_proj_merc_forward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ordane_proj_3857_inverse)->Apply(export_counts);
BENCHMARK(BM_kernel_merc_inverse)->Apply(kernel_levels);
BENCHMARK(BM_proj_merc_inverse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ordane_proj_lcc_forward)->Apply(export_counts);
BENCHMARK(BM_kernel_lcc_forward)->Apply(fma_kernel_levels);
BENCHMARK(BM_proj_lcc_forward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ordane_proj_albers_forward)->Apply(export_counts);
BENCHMARK(BM_kernel_aea_forward)->Apply(fma_kernel_levels);
BENCHMARK(BM_proj_aea_forward)->Unit(benchmark::kMillisecond);
