// Throughput of the viewport mapping on 1,000,000 points and of the polygon
// builder appending 1,000,000 mapped vertices to a Blend2D path. Items are
// points (vertices); divide the reported time by 1e6 for nanoseconds each.

#include <benchmark/benchmark.h>
#include <blend2d/blend2d.h>

#include <cstdint>
#include <random>
#include <vector>

#include "bl_holders.h"
#include "ordane.h"

namespace {

constexpr int64_t kPoints = 1000000;

std::vector<double> plane_points() {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> x(-2e7, 2e7), y(-1e7, 1.5e7);
  std::vector<double> v(2 * kPoints);
  for (size_t i = 0; i < static_cast<size_t>(kPoints); ++i) {
    v[2 * i] = x(rng);
    v[2 * i + 1] = y(rng);
  }
  return v;
}

GeoTransform screen_fit() {
  GeoTransform t;
  ordane_init_transform(&t, -2e7, -1e7, 2e7, 1.5e7, 1920, 1080, 0.05, 1, 1);
  return t;
}

void BM_ordane_transform_coords(benchmark::State& state) {
  const std::vector<double> in = plane_points();
  std::vector<double> out(in.size());
  const GeoTransform t = screen_fit();
  for (auto _ : state) {
    benchmark::DoNotOptimize(ordane_transform_coords(in.data(), out.data(), kPoints, &t));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

// Rings of state.range(0) vertices each, 1,000,000 vertices in all, the shape
// of a country layer. The path is cleared (keeping its storage) between
// iterations, so the figure is the cost of mapping and appending.
void BM_ordane_build_polygon(benchmark::State& state) {
  const int64_t ring = state.range(0);
  const std::vector<double> pts = plane_points();
  std::vector<int64_t> offsets;
  for (int64_t s = 0; s < kPoints; s += ring) offsets.push_back(s);
  offsets.push_back(kPoints);
  const int64_t parts = static_cast<int64_t>(offsets.size()) - 1;
  const GeoTransform t = screen_fit();
  quillon_test::Path path;
  for (auto _ : state) {
    bl_path_clear(path.get());
    benchmark::DoNotOptimize(
        ordane_build_polygon(path.get(), pts.data(), offsets.data(), parts, &t));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

}  // namespace

BENCHMARK(BM_ordane_transform_coords)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ordane_build_polygon)->Arg(1000)->Arg(kPoints)->Unit(benchmark::kMillisecond);
