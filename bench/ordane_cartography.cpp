// Throughput of the cartography exports: cutting at the antimeridian,
// densifying, and the new projections, beside the forward conic export and
// PROJ on the same points in the same run. Items are input points, so
// items_per_second gives the rate and its inverse the time per point.
//
// Workloads: the 110 m countries (10 k points, real coastlines: a few rings
// cross the antimeridian, Antarctica winds around the pole) and a synthetic
// 10 M-point set (10,000 star-shaped rings of 1,000 points each, spread
// over the globe, about one in twelve across the cut). The machine may be
// shared, so compare medians of repeated runs:
//
//   bench_ordane_cartography --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>
#include <proj.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ordane.h"

namespace {

constexpr double kD2R = 0.017453292519943295;

struct Rings {
  std::vector<double> points;
  std::vector<int64_t> offsets;
  int64_t count() const { return static_cast<int64_t>(offsets.size()) - 1; }
  int64_t npoints() const { return static_cast<int64_t>(points.size() / 2); }
};

const Rings& countries() {
  static const Rings r = [] {
    Rings out;
    ShpData* shp = ordane_parse_shp(QUILLON_DATA_DIR "/countries_110m.shp");
    if (shp == nullptr) return out;
    out.points.assign(shp->points, shp->points + 2 * shp->num_points);
    for (uint64_t i = 0; i < shp->num_parts; ++i) out.offsets.push_back(shp->parts[i]);
    out.offsets.push_back(static_cast<int64_t>(shp->num_points));
    ordane_free_shp_data(shp);
    return out;
  }();
  return r;
}

const Rings& synthetic() {
  static const Rings r = [] {
    Rings out;
    std::mt19937_64 rng(2026);
    std::uniform_real_distribution<double> lon(-180, 180), lat(-70, 70), rad(2, 15), jit(0.6, 1);
    out.offsets.push_back(0);
    for (int k = 0; k < 10000; ++k) {
      const double cx = lon(rng), cy = lat(rng), rr = rad(rng);
      for (int i = 0; i < 1000; ++i) {
        const double a = -6.283185307179586 * i / 1000;
        const double d = jit(rng) * rr;
        out.points.push_back(cx + d * std::cos(a));
        out.points.push_back(cy + d * std::sin(a));
      }
      out.offsets.push_back(static_cast<int64_t>(out.points.size() / 2));
    }
    return out;
  }();
  return r;
}

const Rings& workload(int64_t which) { return which == 0 ? countries() : synthetic(); }

// Items are input points; per_point is the time per input point.
void count_points(benchmark::State& state, int64_t points) {
  state.SetItemsProcessed(state.iterations() * points);
  state.counters["per_point"] = benchmark::Counter(
      static_cast<double>(points), benchmark::Counter::kIsIterationInvariantRate |
                                       benchmark::Counter::kInvert);
}

void BM_Cut(benchmark::State& state) {
  const Rings& r = workload(state.range(0));
  GeoCutOptions o{};
  o.lon0 = static_cast<double>(state.range(1));
  o.pole_lat = 85.0511287798;
  o.max_step = 1;
  for (auto _ : state) {
    GeoParts* out = nullptr;
    if (ordane_cut_parts(r.points.data(), r.offsets.data(), r.count(), 1, &o, &out) != 0) {
      state.SkipWithError("cut failed");
      break;
    }
    benchmark::DoNotOptimize(out->num_points);
    ordane_free_parts(out);
  }
  count_points(state, r.npoints());
}
BENCHMARK(BM_Cut)
    ->ArgNames({"set", "lon0"})
    ->Args({0, 0})
    ->Args({0, 150})
    ->Args({1, 0})
    ->Unit(benchmark::kMillisecond);

void BM_Horizon(benchmark::State& state) {
  const Rings& r = workload(state.range(0));
  GeoCutOptions o{};
  o.mode = ORDANE_CUT_HORIZON;
  o.lon0 = 10;
  o.lat0 = 30;
  o.pole_lat = 90;
  o.max_step = 1;
  for (auto _ : state) {
    GeoParts* out = nullptr;
    ordane_cut_parts(r.points.data(), r.offsets.data(), r.count(), 1, &o, &out);
    benchmark::DoNotOptimize(out);
    ordane_free_parts(out);
  }
  count_points(state, r.npoints());
}
BENCHMARK(BM_Horizon)->ArgNames({"set"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Densify(benchmark::State& state) {
  const Rings& r = workload(state.range(0));
  GeoProjection p{};
  p.kind = static_cast<int32_t>(state.range(1));
  p.lat1 = 29.5;
  p.lat2 = 45.5;
  p.lat0 = 23;
  p.lon0 = -96;
  GeoTransform t;
  ordane_init_transform(&t, -2e7, -2e7, 2e7, 2e7, 2000, 2000, 0, 1, 1);
  for (auto _ : state) {
    GeoParts* out = nullptr;
    if (ordane_densify_parts(r.points.data(), r.offsets.data(), r.count(), 1, &p, &t, 0.25, 16,
                             &out) != 0) {
      state.SkipWithError("densify failed");
      break;
    }
    benchmark::DoNotOptimize(out->num_points);
    state.counters["out_per_in"] =
        static_cast<double>(out->num_points) / static_cast<double>(r.npoints());
    ordane_free_parts(out);
  }
  count_points(state, r.npoints());
}
BENCHMARK(BM_Densify)
    ->ArgNames({"set", "kind"})
    ->Args({0, ORDANE_PROJECTION_MERCATOR})
    ->Args({0, ORDANE_PROJECTION_ALBERS})
    ->Args({1, ORDANE_PROJECTION_ALBERS})
    ->Unit(benchmark::kMillisecond);

// --- Projections, 1 M points of the synthetic set -------------------------

std::vector<double> million() {
  const Rings& r = synthetic();
  return std::vector<double>(r.points.begin(), r.points.begin() + 2000000);
}

template <typename F>
void run_projection(benchmark::State& state, F f) {
  static const std::vector<double> in = million();
  std::vector<double> out(in.size());
  for (auto _ : state) {
    f(in.data(), out.data(), static_cast<int64_t>(in.size() / 2));
    benchmark::DoNotOptimize(out.data());
  }
  count_points(state, static_cast<int64_t>(in.size() / 2));
}

// The core projections, for comparison.
void BM_MercatorForwardExport(benchmark::State& s) {
  run_projection(s, [](const double* a, double* b, int64_t n) { ordane_proj_3857_forward(a, b, n); });
}
void BM_AlbersForwardExport(benchmark::State& s) {
  run_projection(s, [](const double* a, double* b, int64_t n) {
    ordane_proj_albers_forward(29.5, 45.5, 23, -96, 0, 0, a, b, n);
  });
}
void BM_LccForwardExport(benchmark::State& s) {
  run_projection(s, [](const double* a, double* b, int64_t n) {
    ordane_proj_lcc_forward(33, 45, 39, -96, 0, 0, a, b, n);
  });
}
void BM_LccInverse(benchmark::State& s) {
  static std::vector<double> xy = [] {
    std::vector<double> v = million();
    ordane_proj_lcc_forward(33, 45, 39, -96, 0, 0, v.data(), v.data(),
                            static_cast<int64_t>(v.size() / 2));
    return v;
  }();
  std::vector<double> out(xy.size());
  for (auto _ : s) {
    ordane_proj_lcc_inverse(33, 45, 39, -96, 0, 0, xy.data(), out.data(),
                            static_cast<int64_t>(xy.size() / 2));
    benchmark::DoNotOptimize(out.data());
  }
  count_points(s, static_cast<int64_t>(xy.size() / 2));
}
void BM_AlbersInverse(benchmark::State& s) {
  run_projection(s, [](const double* a, double* b, int64_t n) {
    ordane_proj_albers_inverse(29.5, 45.5, 23, -96, 0, 0, a, b, n);
  });
}
void BM_OrthoForward(benchmark::State& s) {
  static std::vector<uint8_t> vis(1000000);
  run_projection(s, [](const double* a, double* b, int64_t n) {
    ordane_proj_ortho_forward(10, 30, a, b, n, vis.data());
  });
}
void BM_OrthoInverse(benchmark::State& s) {
  run_projection(s, [](const double* a, double* b, int64_t n) {
    // Degrees read as metres: points within a few hundred metres of the centre.
    ordane_proj_ortho_inverse(10, 30, a, b, n);
  });
}
void BM_EqearthForward(benchmark::State& s) {
  run_projection(s, [](const double* a, double* b, int64_t n) {
    ordane_proj_eqearth_forward(0, a, b, n);
  });
}
void BM_EqearthInverse(benchmark::State& s) {
  run_projection(s, [](const double* a, double* b, int64_t n) {
    // Degrees read as metres x 1e5: inside the map.
    ordane_proj_eqearth_inverse(0, a, b, n);
  });
}
BENCHMARK(BM_MercatorForwardExport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AlbersForwardExport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LccForwardExport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LccInverse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AlbersInverse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrthoForward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrthoInverse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EqearthForward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EqearthInverse)->Unit(benchmark::kMillisecond);

// PROJ on the same points: its buffer refilled from radians with timing paused.
void proj_run(benchmark::State& state, const char* def, bool inverse) {
  static const std::vector<double> base = million();
  PJ_CONTEXT* ctx = proj_context_create();
  PJ* pj = proj_create(ctx, def);
  if (pj == nullptr) {
    state.SkipWithError("PROJ definition rejected");
    proj_context_destroy(ctx);
    return;
  }
  std::vector<double> src = base;
  for (double& v : src) v *= kD2R;
  if (inverse) {
    const size_t st = 2 * sizeof(double);
    proj_trans_generic(pj, PJ_FWD, src.data(), st, src.size() / 2, src.data() + 1, st,
                       src.size() / 2, nullptr, 0, 0, nullptr, 0, 0);
  }
  std::vector<double> buf(src.size());
  const size_t n = buf.size() / 2, st = 2 * sizeof(double);
  for (auto _ : state) {
    state.PauseTiming();
    buf = src;
    state.ResumeTiming();
    proj_trans_generic(pj, inverse ? PJ_INV : PJ_FWD, buf.data(), st, n, buf.data() + 1, st, n,
                       nullptr, 0, 0, nullptr, 0, 0);
    benchmark::DoNotOptimize(buf.data());
  }
  count_points(state, static_cast<int64_t>(n));
  proj_destroy(pj);
  proj_context_destroy(ctx);
}
void BM_ProjLccInverse(benchmark::State& s) {
  proj_run(s, "+proj=lcc +ellps=WGS84 +lat_1=33 +lat_2=45 +lat_0=39 +lon_0=-96 +over", true);
}
void BM_ProjEqearthForward(benchmark::State& s) {
  proj_run(s, "+proj=eqearth +R=6378137 +over", false);
}
void BM_ProjOrthoForward(benchmark::State& s) {
  proj_run(s, "+proj=ortho +R=6378137 +lon_0=10 +lat_0=30", false);
}
BENCHMARK(BM_ProjLccInverse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProjEqearthForward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProjOrthoForward)->Unit(benchmark::kMillisecond);

}  // namespace
