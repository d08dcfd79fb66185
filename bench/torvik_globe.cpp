// Globe painting: a 1024 x 1024 buffer with a globe of radius 480 sampling a
// 2048 x 1024 texture, with the atmosphere off and on. Items are the pixels of
// the buffer; the disc itself covers about 724,000 of them and the glow ring
// (atmosphere on) about 233,000 more.
//
// BM_torvik_render_globe is the export (the CPU's best level);
// BM_torvik_globe_kernel/<level> runs each kernel level on the same frames,
// the scalar transcription included, so ratios come from one run. Compare
// CPU-time medians, e.g. with
//   --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true
//   --benchmark_report_aggregates_only=true
#include <torvik.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "cpu_dispatch.h"
#include "kernels/globe_kernels.h"

namespace {

constexpr int32_t kSize = 1024, kTexW = 2048, kTexH = 1024;

// A smooth, fully opaque texture with some structure in every channel, so the
// bilinear filter does real work.
std::vector<uint32_t> make_texture(int32_t w, int32_t h) {
  std::vector<uint32_t> t(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t r = static_cast<uint32_t>(x * 255 / w);
      const uint32_t g = static_cast<uint32_t>(y * 255 / h);
      const uint32_t b = static_cast<uint32_t>((x ^ y) & 0xFF);
      t[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] =
          0xFF000000u | r << 16 | g << 8 | b;
    }
  }
  return t;
}

void BM_torvik_render_globe(benchmark::State& state) {
  const uint32_t atmosphere = state.range(0) ? 0x804080FFu : 0u;
  const std::vector<uint32_t> texture = make_texture(kTexW, kTexH);
  std::vector<uint32_t> pixels(static_cast<size_t>(kSize) * kSize, 0xFF000000u);
  double rotation = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(torvik_render_globe(pixels.data(), kSize, kSize, kSize * 4,
                                                 texture.data(), kTexW, kTexH, kTexW * 4, 512,
                                                 512, 480, rotation, 23.5, atmosphere));
    benchmark::ClobberMemory();
    rotation += 1;  // a spinning globe, as in an animation
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kSize * kSize);
}
BENCHMARK(BM_torvik_render_globe)->ArgName("atmosphere")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_torvik_globe_kernel(benchmark::State& state) {
  const auto isa = static_cast<quillon::SimdLevel>(state.range(0));
  if (!quillon::simd_level_supported(isa)) {
    state.SkipWithError("level not available on this CPU");
    return;
  }
  const uint32_t atmosphere = state.range(1) ? 0x804080FFu : 0u;
  const std::vector<uint32_t> texture = make_texture(kTexW, kTexH);
  std::vector<uint32_t> pixels(static_cast<size_t>(kSize) * kSize, 0xFF000000u);
  double rotation = 0;
  for (auto _ : state) {
    torvik::GlobeCall call;
    if (torvik::globe_setup(pixels.data(), kSize, kSize, kSize * 4, texture.data(), kTexW, kTexH,
                            kTexW * 4, 512, 512, 480, rotation, 23.5, atmosphere, call)) {
      torvik::render_globe(isa, call);
    }
    benchmark::ClobberMemory();
    rotation += 1;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kSize * kSize);
}
// level: 0 scalar transcription, 1 SSE2, 2 AVX2, 3 AVX-512.
BENCHMARK(BM_torvik_globe_kernel)
    ->ArgNames({"level", "atmosphere"})
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
