// Throughput of the four projections on 1,000,000 points, each beside PROJ's
// proj_trans_generic on the same points in the same run. Items are points;
// divide the reported time by 1e6 for nanoseconds per point.
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

#include "ordane.h"

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

template <typename Call>
void run_ordane(benchmark::State& state, const std::vector<double>& in, Call call) {
  std::vector<double> out(in.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(call(in.data(), out.data()));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_ordane_proj_3857_forward(benchmark::State& state) {
  run_ordane(state, degrees(), [](const double* in, double* out) {
    return ordane_proj_3857_forward(in, out, kPoints);
  });
}

void BM_ordane_proj_3857_inverse(benchmark::State& state) {
  run_ordane(state, mercator_metres(), [](const double* in, double* out) {
    return ordane_proj_3857_inverse(in, out, kPoints);
  });
}

void BM_ordane_proj_lcc_forward(benchmark::State& state) {
  run_ordane(state, degrees(), [](const double* in, double* out) {
    return ordane_proj_lcc_forward(kLat1, kLat2, kLat0, kLon0, kFe, kFn, in, out, kPoints);
  });
}

void BM_ordane_proj_albers_forward(benchmark::State& state) {
  run_ordane(state, degrees(), [](const double* in, double* out) {
    return ordane_proj_albers_forward(kLat1, kLat2, kLat0, kLon0, kFe, kFn, in, out, kPoints);
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

BENCHMARK(BM_ordane_proj_3857_forward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_proj_merc_forward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ordane_proj_3857_inverse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_proj_merc_inverse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ordane_proj_lcc_forward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_proj_lcc_forward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ordane_proj_albers_forward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_proj_aea_forward)->Unit(benchmark::kMillisecond);
