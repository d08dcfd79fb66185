// The camera's array kernels at every instruction-set level this CPU runs,
// against the scalar transcription: the same bits for every position, scale
// and flag, every array length (tails included), awkward inputs (NaN,
// infinities, depths on the near distance), optional outputs and aliasing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "camera_kernels.h"
#include "cpu_dispatch.h"
#include "camera_projection.h"

namespace {

using torvik::CameraOutputs;
using torvik::CameraTerms;
using quillon::SimdLevel;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<SimdLevel> vector_levels() {
  std::vector<SimdLevel> levels;
  for (SimdLevel isa : {SimdLevel::kSse2, SimdLevel::kAvx2, SimdLevel::kAvx512}) {
    if (quillon::simd_level_supported(isa)) levels.push_back(isa);
  }
  return levels;
}

const char* name_of(SimdLevel isa) {
  switch (isa) {
    case SimdLevel::kScalar: return "scalar";
    case SimdLevel::kSse2: return "sse2";
    case SimdLevel::kAvx2: return "avx2";
    case SimdLevel::kAvx512: return "avx512";
  }
  return "?";
}

PerspectiveCamera tilted_camera() {
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

// Random plane points with a share of awkward values: NaN, infinities,
// signed zeros, huge magnitudes, and points placed exactly on the near
// distance of `t` (the hidden/visible boundary).
std::vector<double> awkward_points(size_t pairs, const CameraTerms& t, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> coord(-3000, 5000);
  std::uniform_int_distribution<int> pick(0, 15);
  const double specials[] = {kNaN, kInf, -kInf, 0.0, -0.0, 1e300, -1e300, 5e-324};
  std::vector<double> v(2 * pairs);
  for (size_t i = 0; i < pairs; ++i) {
    double x = coord(rng), y = coord(rng);
    const int k = pick(rng);
    if (k < 8) {
      (k % 2 ? x : y) = specials[k];
    } else if (k == 8 && t.cos_bearing != 0) {
      // forward == 0 puts the depth exactly at `distance`.
      x = t.center_x;
      y = t.center_y;
    }
    v[2 * i] = x;
    v[2 * i + 1] = y;
  }
  return v;
}

struct Result {
  std::vector<double> points, scales;
  std::vector<uint8_t> visible;
  int64_t count;
};

Result run(bool lines, SimdLevel isa, const CameraTerms& t, const std::vector<double>& in, size_t n) {
  const size_t per = lines ? 4 : 2;
  Result r;
  r.points.assign(per * n, 12345.0);
  r.scales.assign(n, 12345.0);
  r.visible.assign(n, 7);
  const CameraOutputs out{r.points.data(), r.scales.data(), r.visible.data()};
  r.count = lines ? torvik::transform_lines(isa, t, in.data(), out, n)
                  : torvik::transform_points(isa, t, in.data(), out, n);
  return r;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

}  // namespace

TEST(torvik_camera_kernels, EveryLevelMatchesScalarBitForBit) {
  std::mt19937_64 rng(11);
  for (int round = 0; round < 40; ++round) {
    PerspectiveCamera c = tilted_camera();
    if (round > 0) {
      std::uniform_real_distribution<double> angle(-180, 180), unit(0, 1);
      c.pitch = 89 * unit(rng);
      c.bearing = angle(rng);
      c.roll = angle(rng);
      c.fov = 5 + 150 * unit(rng);
      c.distance = 20 + 3000 * unit(rng);
      c.near_plane = 30 * unit(rng) - 5;
    }
    const CameraTerms t = torvik::camera_terms(c);
    for (bool lines : {false, true}) {
      // Lengths around every block width, and one long array.
      for (size_t n : {size_t{1}, size_t{2}, size_t{3}, size_t{5}, size_t{7}, size_t{8},
                       size_t{9}, size_t{15}, size_t{17}, size_t{4099}}) {
        const std::vector<double> in = awkward_points(lines ? 2 * n : n, t, rng);
        const Result want = run(lines, SimdLevel::kScalar, t, in, n);
        for (SimdLevel isa : vector_levels()) {
          SCOPED_TRACE(testing::Message() << name_of(isa) << (lines ? " lines" : " points")
                                          << " n=" << n << " round " << round);
          const Result got = run(lines, isa, t, in, n);
          EXPECT_EQ(got.count, want.count);
          EXPECT_TRUE(same_bits(got.points, want.points));
          EXPECT_TRUE(same_bits(got.scales, want.scales));
          EXPECT_EQ(got.visible, want.visible);
        }
      }
    }
  }
}

// A point gives the same bits wherever it sits: at the start of a block, in
// the middle, or in the tail.
TEST(torvik_camera_kernels, ResultDoesNotDependOnPositionInTheArray) {
  const CameraTerms t = torvik::camera_terms(tilted_camera());
  const double probe[2] = {1234.5678, 987.654321};
  for (SimdLevel isa : vector_levels()) {
    double first[2] = {};
    double first_scale = 0;
    const CameraOutputs one{first, &first_scale, nullptr};
    torvik::transform_points(isa, t, probe, one, 1);
    for (size_t n = 1; n <= 19; ++n) {
      for (size_t at = 0; at < n; ++at) {
        std::vector<double> in(2 * n, 500.0), out(2 * n), scales(n);
        in[2 * at] = probe[0];
        in[2 * at + 1] = probe[1];
        torvik::transform_points(isa, t, in.data(), CameraOutputs{out.data(), scales.data(), nullptr}, n);
        ASSERT_EQ(std::memcmp(&out[2 * at], first, sizeof first), 0) << name_of(isa) << " " << at;
        ASSERT_EQ(std::memcmp(&scales[at], &first_scale, sizeof first_scale), 0);
      }
    }
  }
}

// In place, without the optional outputs, and with output arrays shifted by
// part of an element against the input: all as the scalar kernel does them.
TEST(torvik_camera_kernels, AliasingAndOptionalOutputsFollowScalar) {
  const CameraTerms t = torvik::camera_terms(tilted_camera());
  std::mt19937_64 rng(5);
  for (bool lines : {false, true}) {
    const size_t per = lines ? 4 : 2, n = 21;
    const std::vector<double> in = awkward_points(lines ? 2 * n : n, t, rng);
    const Result want = run(lines, SimdLevel::kScalar, t, in, n);
    for (SimdLevel isa : vector_levels()) {
      SCOPED_TRACE(name_of(isa));
      std::vector<double> same = in;
      const CameraOutputs bare{same.data(), nullptr, nullptr};
      const int64_t count = lines ? torvik::transform_lines(isa, t, same.data(), bare, n)
                                  : torvik::transform_points(isa, t, same.data(), bare, n);
      EXPECT_EQ(count, want.count);
      EXPECT_TRUE(same_bits(same, want.points));

      // Output one pair ahead of the input: each element is read just before
      // it is overwritten, so later elements see earlier outputs.
      for (size_t shift : {size_t{2}, size_t{1}}) {
        std::vector<double> a(per * n + shift), b(per * n + shift);
        std::copy(in.begin(), in.end(), a.begin());
        std::copy(in.begin(), in.end(), b.begin());
        const CameraOutputs oa{a.data() + shift, nullptr, nullptr};
        const CameraOutputs ob{b.data() + shift, nullptr, nullptr};
        if (lines) {
          torvik::transform_lines(SimdLevel::kScalar, t, a.data(), oa, n);
          torvik::transform_lines(isa, t, b.data(), ob, n);
        } else {
          torvik::transform_points(SimdLevel::kScalar, t, a.data(), oa, n);
          torvik::transform_points(isa, t, b.data(), ob, n);
        }
        EXPECT_TRUE(same_bits(a, b)) << "shift " << shift;
      }
    }
  }
}

TEST(torvik_camera_kernels, BestLevelIsAvailable) {
  EXPECT_TRUE(quillon::simd_level_supported(quillon::best_simd_level()));
  EXPECT_TRUE(quillon::simd_level_supported(SimdLevel::kScalar));
}
