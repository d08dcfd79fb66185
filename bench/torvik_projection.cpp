// Camera projection throughput: a million-point array, a segment list, and a
// 100,000-vertex path rebuilt in screen space, plus small arrays (1, 8, 64)
// where the per-call cost shows. Items are points, segments or source
// vertices, so items/s converts directly to ns per item.
//
// BM_torvik_*_kernel/<level> run each kernel level on the same arrays (0 is
// the scalar transcription, 1 SSE2, 2 AVX2, 3 AVX-512), so ratios come from
// one run; compare CPU-time medians with --benchmark_repetitions and
// --benchmark_enable_random_interleaving=true.
#include <torvik.h>

#include <benchmark/benchmark.h>
#include <blend2d/blend2d.h>

#include <cstdint>
#include <random>
#include <vector>

#include "bl_holders.h"
#include "camera_projection.h"
#include "cpu_dispatch.h"
#include "kernels/camera_kernels.h"

namespace {

// A street-level view: tilted, turned and rolled, so that no sine or cosine
// is trivially 0 or 1, and with a share of the plane behind the near distance.
PerspectiveCamera bench_camera() {
  PerspectiveCamera c{};
  c.viewport_width = 1920;
  c.viewport_height = 1080;
  c.fov = 50;
  c.pitch = 55;
  c.bearing = 30;
  c.roll = 5;
  c.distance = 800;
  c.center_x = 1000;
  c.center_y = 1000;
  c.near_plane = 10;
  return c;
}

std::vector<double> plane_points(size_t pairs) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> coord(-1000, 3000);
  std::vector<double> v(2 * pairs);
  for (double& x : v) x = coord(rng);
  return v;
}

void BM_torvik_transform_points(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const PerspectiveCamera camera = bench_camera();
  const std::vector<double> in = plane_points(n);
  std::vector<double> out(2 * n), scales(n);
  std::vector<uint8_t> visible(n);
  for (auto _ : state) {
    benchmark::DoNotOptimize(torvik_transform_points(in.data(), out.data(), scales.data(),
                                                     visible.data(), n, &camera));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}
BENCHMARK(BM_torvik_transform_points)->Arg(1)->Arg(8)->Arg(64)->Arg(1000000);

// The memory floor of the point export: the same arrays read and written
// (16 bytes in, 25 out per point) with no arithmetic, as the compiler
// vectorises a plain copy. A million points do not fit the caches, so the
// export cannot go much below this.
void BM_memory_floor_points(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const std::vector<double> in = plane_points(n);
  std::vector<double> out(2 * n), scales(n);
  std::vector<uint8_t> visible(n);
  for (auto _ : state) {
    const double* src = in.data();
    double* dst = out.data();
    for (size_t i = 0; i < 2 * n; ++i) dst[i] = src[i];
    for (size_t i = 0; i < n; ++i) scales[i] = src[2 * i];
    for (size_t i = 0; i < n; ++i) visible[i] = 1;
    benchmark::DoNotOptimize(out.data());
    benchmark::DoNotOptimize(scales.data());
    benchmark::DoNotOptimize(visible.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
  state.SetLabel("memory floor");
}
BENCHMARK(BM_memory_floor_points)->Arg(1000000);

void BM_torvik_points_kernel(benchmark::State& state) {
  const auto level = static_cast<quillon::SimdLevel>(state.range(0));
  if (!quillon::simd_level_supported(level)) {
    state.SkipWithError("level not available on this CPU");
    return;
  }
  const size_t n = static_cast<size_t>(state.range(1));
  const PerspectiveCamera camera = bench_camera();
  const std::vector<double> in = plane_points(n);
  std::vector<double> out(2 * n), scales(n);
  std::vector<uint8_t> visible(n);
  for (auto _ : state) {
    // The export's own work: camera terms, then the kernel.
    const torvik::CameraTerms terms = torvik::camera_terms(camera);
    const torvik::CameraOutputs o{out.data(), scales.data(), visible.data()};
    benchmark::DoNotOptimize(torvik::transform_points(level, terms, in.data(), o, n));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}
BENCHMARK(BM_torvik_points_kernel)
    ->ArgNames({"level", "n"})
    ->ArgsProduct({{0, 1, 2, 3}, {1, 8, 64, 1000000}});

void BM_torvik_transform_lines(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const PerspectiveCamera camera = bench_camera();
  const std::vector<double> in = plane_points(2 * n);
  std::vector<double> out(4 * n), scales(n);
  std::vector<uint8_t> visible(n);
  for (auto _ : state) {
    benchmark::DoNotOptimize(torvik_transform_lines(in.data(), out.data(), scales.data(),
                                                    visible.data(), n, &camera));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}
BENCHMARK(BM_torvik_transform_lines)->Arg(1)->Arg(8)->Arg(64)->Arg(500000);

void BM_torvik_lines_kernel(benchmark::State& state) {
  const auto level = static_cast<quillon::SimdLevel>(state.range(0));
  if (!quillon::simd_level_supported(level)) {
    state.SkipWithError("level not available on this CPU");
    return;
  }
  const size_t n = static_cast<size_t>(state.range(1));
  const PerspectiveCamera camera = bench_camera();
  const std::vector<double> in = plane_points(2 * n);
  std::vector<double> out(4 * n), scales(n);
  std::vector<uint8_t> visible(n);
  for (auto _ : state) {
    const torvik::CameraTerms terms = torvik::camera_terms(camera);
    const torvik::CameraOutputs o{out.data(), scales.data(), visible.data()};
    benchmark::DoNotOptimize(torvik::transform_lines(level, terms, in.data(), o, n));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}
BENCHMARK(BM_torvik_lines_kernel)
    ->ArgNames({"level", "n"})
    ->ArgsProduct({{0, 1, 2, 3}, {1, 8, 64, 500000}});

// Closed rings of 100 vertices laid out as a random walk, some of them
// crossing behind the near distance, with a cubic curve in every ring.
void build_source_path(BLPathCore* path, size_t vertices) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> step(-15, 15), start(-1500, 3500);
  size_t n = 0;
  while (n < vertices) {
    double x = start(rng), y = start(rng);
    bl_path_move_to(path, x, y);
    ++n;
    for (int i = 1; i < 100 && n < vertices; ++i) {
      if (i == 50 && n + 3 <= vertices) {
        bl_path_cubic_to(path, x + 5, y + 5, x + 10, y - 5, x + 15, y);
        x += 15;
        n += 3;
        i += 2;
        continue;
      }
      x += step(rng);
      y += step(rng);
      bl_path_line_to(path, x, y);
      ++n;
    }
    bl_path_close(path);
  }
}

void BM_torvik_transform_path(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const PerspectiveCamera camera = bench_camera();
  quillon_test::PathHolder src, dst;
  build_source_path(src.get(), n);
  double mean = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(torvik_transform_path(src.get(), dst.get(), &mean, &camera));
    benchmark::DoNotOptimize(mean);
  }
  state.counters["dst_size"] = static_cast<double>(dst.size());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}
BENCHMARK(BM_torvik_transform_path)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
