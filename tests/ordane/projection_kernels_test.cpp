// Vector projection kernels against the scalar transcription, on every
// dispatch level this CPU runs: the same bits on every level and wherever a
// point sits in the array, and within the accuracy bar of the scalar path
// (2 ulp, 1e-12 degrees inverse, mostly bit-identical) over a million random
// points mixed with clamps, poles, NaN and infinities.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "cpu_dispatch.h"
#include "ordane.h"
#include "projection_kernels.h"

namespace {

using quillon::SimdLevel;
namespace proj = ordane::proj;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kR = 6378137.0;
constexpr double kPi = 3.141592653589793;
constexpr double kR2D = 57.29577951308232;
constexpr int64_t kPoints = int64_t{1} << 20;

// A kernel at a given level over count pairs.
using Kernel = std::function<void(SimdLevel, const double*, double*, int64_t)>;

// The vector levels this CPU runs, from the least one a kernel has vector
// code for: SSE2 for the Mercator inverse, AVX2 for the kernels that take
// SLEEF's FMA functions.
std::vector<SimdLevel> vector_levels(SimdLevel narrowest) {
  std::vector<SimdLevel> levels;
  for (SimdLevel l : {SimdLevel::kSse2, SimdLevel::kAvx2, SimdLevel::kAvx512}) {
    if (l >= narrowest && quillon::simd_level_supported(l)) levels.push_back(l);
  }
  return levels;
}

uint64_t bits(double v) {
  uint64_t u;
  std::memcpy(&u, &v, sizeof u);
  return u;
}

double ulp(double v) {
  v = std::fabs(v);
  return std::nextafter(v, kInf) - v;
}

// Random values of one coordinate, with every 16th replaced by an edge
// value: the clamps and their neighbours, poles, zeros, NaN, infinities and
// values far outside any range.
std::vector<double> random_pairs(uint64_t seed, double lo0, double hi0, double lo1, double hi1,
                                 const std::vector<double>& edges, int64_t count = kPoints) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u0(lo0, hi0), u1(lo1, hi1);
  std::uniform_int_distribution<size_t> pick(0, edges.size() - 1);
  const size_t pairs = static_cast<size_t>(count);
  std::vector<double> v(2 * pairs);
  for (size_t i = 0; i < pairs; ++i) {
    v[2 * i] = u0(rng);
    v[2 * i + 1] = u1(rng);
    if (rng() % 16 == 0) v[2 * i + (rng() & 1)] = edges[pick(rng)];
  }
  return v;
}

std::vector<double> geographic_edges() {
  const double conic_limit_deg = 1.5707953267948966 * kR2D;
  std::vector<double> e = {0.0, -0.0, 90, -90, 89.9999999, -89.9999999, 180, -180, 540, 1000,
                           -1000, 1e300, -1e300, 5e-324, 1e-300, kNaN, -kNaN, kInf, -kInf};
  for (double m : {85.0511287798, conic_limit_deg}) {
    for (double s : {1.0, -1.0}) {
      e.push_back(s * m);
      e.push_back(std::nextafter(s * m, 0.0));
      e.push_back(std::nextafter(s * m, s * kInf));
    }
  }
  return e;
}

std::vector<double> plane_edges() {
  const double corner = kPi * kR;
  return {0.0, -0.0, corner, -corner, 4e7, -4e7, 1e9, -1e9, 1e300, -1e300, 5e-324,
          kNaN, kInf, -kInf};
}

std::vector<double> run(const Kernel& k, SimdLevel level, const std::vector<double>& in) {
  std::vector<double> out(in.size());
  k(level, in.data(), out.data(), static_cast<int64_t>(in.size() / 2));
  return out;
}

// Every vector level gives the same bits as the narrowest, and so does each
// pair when the array starts elsewhere (the pair moves to another lane, and
// the array's end into or out of the padded tail) or is converted on its own.
void expect_same_bits_everywhere(const Kernel& k, const std::vector<double>& in,
                                 const std::vector<SimdLevel>& levels) {
  if (levels.empty()) GTEST_SKIP() << "this CPU runs none of the kernel's vector levels";
  const std::vector<double> first = run(k, levels[0], in);
  for (SimdLevel level : levels) {
    SCOPED_TRACE(quillon::simd_level_name(level));
    const std::vector<double> got = level == levels[0] ? first : run(k, level, in);
    size_t differ = 0;
    for (size_t i = 0; i < got.size(); ++i) differ += bits(got[i]) != bits(first[i]);
    EXPECT_EQ(differ, 0u) << "values differing from " << quillon::simd_level_name(levels[0]);

    const size_t window = 4099;
    for (size_t offset : {size_t{1}, size_t{3}, size_t{5}, size_t{7}, size_t{8}, size_t{13}}) {
      std::vector<double> out(2 * window);
      k(level, in.data() + 2 * offset, out.data(), static_cast<int64_t>(window));
      for (size_t i = 0; i < 2 * window; ++i) {
        ASSERT_EQ(bits(out[i]), bits(first[2 * offset + i])) << "offset " << offset << " value " << i;
      }
    }
    for (size_t i = 0; i < 64; ++i) {
      double one[2];
      k(level, in.data() + 2 * i, one, 1);
      ASSERT_EQ(bits(one[0]), bits(first[2 * i])) << "pair " << i << " alone";
      ASSERT_EQ(bits(one[1]), bits(first[2 * i + 1])) << "pair " << i << " alone";
    }
  }
}

// Differences of one output coordinate from the scalar transcription.
struct Deviation {
  size_t values = 0;     // finite reference values compared
  size_t identical = 0;  // of those, bit-identical
  size_t over = 0;       // of those, beyond the tolerance
  double worst = 0;      // largest |difference| / hard limit (must stay <= 1)
  double worst_abs = 0;  // largest |difference|
  size_t bad_class = 0;  // NaN, infinity or finiteness not matching

  void add(double got, double want, double tolerance, double hard_limit) {
    if (std::isnan(want) || std::isnan(got) || std::isinf(want) || std::isinf(got)) {
      if (std::isnan(want) != std::isnan(got) ||
          (!std::isnan(want) && bits(got) != bits(want))) {
        ++bad_class;
      }
      return;
    }
    ++values;
    identical += bits(got) == bits(want);
    const double d = std::fabs(got - want);
    over += d > tolerance;
    worst_abs = std::max(worst_abs, d);
    worst = std::max(worst, d / hard_limit);
  }
  void add(double got, double want, double tolerance) { add(got, want, tolerance, tolerance); }
};

// No NaN or infinity moved, nothing beyond the hard limit, at most
// max_over_share of the values beyond the tolerance, and at least
// min_identical_share of them bit-identical.
void expect_within(const Deviation& d, const char* what, double min_identical_share,
                   double max_over_share = 0) {
  SCOPED_TRACE(what);
  EXPECT_EQ(d.bad_class, 0u) << "NaN or infinities not where the scalar path has them";
  EXPECT_LE(d.worst, 1.0) << "largest difference " << d.worst_abs;
  if (d.values == 0) return;  // degenerate parameters: nothing finite to compare
  const double n = static_cast<double>(d.values);
  EXPECT_LE(static_cast<double>(d.over) / n, max_over_share) << d.over << " values";
  EXPECT_GE(static_cast<double>(d.identical) / n, min_identical_share);
}

// ============================================================================
// Web Mercator
// ============================================================================

Kernel merc_forward = [](SimdLevel l, const double* in, double* out, int64_t n) {
  proj::merc_forward(l, in, out, n);
};
Kernel merc_inverse = [](SimdLevel l, const double* in, double* out, int64_t n) {
  proj::merc_inverse(l, in, out, n);
};

TEST(ProjectionKernels, MercatorForwardOnEveryLevel) {
  const std::vector<double> in =
      random_pairs(1, -540, 540, -95, 95, geographic_edges());
  const std::vector<SimdLevel> levels = vector_levels(SimdLevel::kAvx2);
  expect_same_bits_everywhere(merc_forward, in, levels);
  const std::vector<double> want = run(merc_forward, SimdLevel::kScalar, in);
  // 2 ulp of the square's half-width pi R: y loses its relative precision
  // near the equator, where log(tan) cancels, in the scalar path as well.
  const double tolerance = 2 * ulp(kPi * kR);
  for (SimdLevel level : levels) {
    SCOPED_TRACE(quillon::simd_level_name(level));
    const std::vector<double> got = run(merc_forward, level, in);
    Deviation x, y;
    for (size_t i = 0; i < got.size(); i += 2) {
      x.add(got[i], want[i], ulp(want[i]));
      y.add(got[i + 1], want[i + 1], tolerance);
    }
    EXPECT_EQ(x.identical, x.values) << "x is one multiplication";
    expect_within(y, "y", 0.93);
  }
}

TEST(ProjectionKernels, MercatorInverseOnEveryLevel) {
  const std::vector<double> in =
      random_pairs(2, -6e7, 6e7, -2.2e7, 2.2e7, plane_edges());
  const std::vector<SimdLevel> levels = vector_levels(SimdLevel::kSse2);
  expect_same_bits_everywhere(merc_inverse, in, levels);
  const std::vector<double> want = run(merc_inverse, SimdLevel::kScalar, in);
  for (SimdLevel level : levels) {
    SCOPED_TRACE(quillon::simd_level_name(level));
    const std::vector<double> got = run(merc_inverse, level, in);
    Deviation lon, lat;
    for (size_t i = 0; i < got.size(); i += 2) {
      lon.add(got[i], want[i], ulp(want[i]));
      lat.add(got[i + 1], want[i + 1], 1e-12);
      ASSERT_FALSE(std::fabs(got[i + 1]) > 90) << "latitude beyond a pole at pair " << i / 2;
    }
    EXPECT_EQ(lon.identical, lon.values) << "longitude is a division and a multiplication";
    expect_within(lat, "latitude", 0.93);
  }
}

// ============================================================================
// Conics
// ============================================================================

struct Conic {
  double lat1, lat2, lat0, lon0, fe, fn;
};

const Conic kConics[] = {
    {33, 45, 23, -96, 0, 0},             // contiguous US
    {49, 44, 46.5, 3, 700000, 6600000},  // France, large false origin
    {-30, -60, -45, 140, 1e5, -2e5},     // southern hemisphere
    {40, 40, 40, 10, 500, 500},          // one standard parallel
    {25, 90, 60, -45, 0, 0},             // a parallel on the pole
};

// Conic tolerances are in ulp of the radius rho (recovered from the
// reference output), or of the coordinate where a false origin or rho0 makes
// that larger. `extra` adds, per pair, what the formula's own conditioning
// makes of 1-ulp differences in the elementary functions.
using Extra = std::function<double(double lon, double lat, double rho)>;

template <typename Params>
void check_conic(const Params& p, const Kernel& k, uint64_t seed, double hard_ulps,
                 double max_over_share, const Extra& extra) {
  // A quarter of the points per parameter set: over a million in all.
  const std::vector<double> in =
      random_pairs(seed, -540, 540, -95, 95, geographic_edges(), kPoints / 4);
  const std::vector<SimdLevel> levels = vector_levels(SimdLevel::kAvx2);
  expect_same_bits_everywhere(k, in, levels);
  const std::vector<double> want = run(k, SimdLevel::kScalar, in);
  for (SimdLevel level : levels) {
    SCOPED_TRACE(quillon::simd_level_name(level));
    const std::vector<double> got = run(k, level, in);
    Deviation x, y;
    for (size_t i = 0; i < got.size(); i += 2) {
      const double rho = std::hypot(want[i] - p.x0, p.rho0 - want[i + 1]);
      const double e = extra(in[i], in[i + 1], rho);
      const double ux = ulp(std::max(rho, std::fabs(want[i])));
      const double uy = ulp(std::max(rho, std::fabs(want[i + 1])));
      x.add(got[i], want[i], 2 * ux + e, hard_ulps * ux + e);
      y.add(got[i + 1], want[i + 1], 2 * uy + e, hard_ulps * uy + e);
    }
    expect_within(x, "x", 0.93, max_over_share);
    expect_within(y, "y", 0.93, max_over_share);
  }
}

// Lambert chains tan, pow and pow: with 1-ulp functions in place of libm's
// (nearly) correctly rounded ones, 2 ulp of rho holds for all but a few in
// 100,000 values, and 4 ulp for every one.
TEST(ProjectionKernels, LambertOnEveryLevel) {
  uint64_t seed = 10;
  for (const Conic& c : kConics) {
    SCOPED_TRACE(testing::Message() << "lat1 " << c.lat1 << " lat2 " << c.lat2);
    const proj::LccParams p = proj::lcc_setup(c.lat1, c.lat2, c.lat0, c.lon0, c.fe, c.fn);
    check_conic(
        p,
        [&p](SimdLevel l, const double* in, double* out, int64_t n) {
          proj::lcc_forward(l, p, in, out, n);
        },
        seed++, 4, 1e-4, [](double, double, double) { return 0.0; });
  }
}

// Albers is within 2 ulp of rho except where rho comes from the difference
// A - 2n sin(phi) of two nearly equal numbers (towards the pole beyond the
// parallels): there 1 ulp of sin(phi), in either path, moves rho by up to
// k * 2n ulp(sin) / (2 sqrt(radicand)); the bar adds 2 ulp of sin there.
// With sin and cos of theta on top, 2 ulp of rho holds for all but a few in
// 100,000 values, and 3 ulp for every one.
TEST(ProjectionKernels, AlbersOnEveryLevel) {
  uint64_t seed = 20;
  for (const Conic& c : kConics) {
    SCOPED_TRACE(testing::Message() << "lat1 " << c.lat1 << " lat2 " << c.lat2);
    const proj::AeaParams p = proj::aea_setup(c.lat1, c.lat2, c.lat0, c.lon0, c.fe, c.fn);
    const Extra conditioning = [&p](double, double lat, double) {
      const double s = std::sin(lat * 0.017453292519943295);
      if (!std::isfinite(s)) return 0.0;
      const double radicand = s * p.minus_2n + p.a;
      const double d_radicand = 2 * ulp(s) * std::fabs(p.minus_2n);
      const double near_zero = std::sqrt(d_radicand);
      const double slope = radicand > 0 ? d_radicand / (2 * std::sqrt(radicand)) : near_zero;
      return std::fabs(p.k) * std::min(slope, near_zero);
    };
    check_conic(
        p,
        [&p](SimdLevel l, const double* in, double* out, int64_t n) {
          proj::aea_forward(l, p, in, out, n);
        },
        seed++, 3, 1e-4, conditioning);
  }
}

// Below AVX2 the kernels with SLEEF's FMA functions have no vector code: the
// SSE2 level is the scalar transcription, bit for bit, tails included.
TEST(ProjectionKernels, FmaKernelsRunTheScalarCodeOnSse2) {
  const std::vector<double> in = random_pairs(40, -540, 540, -95, 95, geographic_edges(), 4099);
  const proj::LccParams lcc = proj::lcc_setup(33, 45, 23, -96, 0, 0);
  const proj::AeaParams aea = proj::aea_setup(29.5, 45.5, 23, -96, 0, 0);
  const Kernel kernels[] = {
      merc_forward,
      [&lcc](SimdLevel l, const double* i, double* o, int64_t n) { proj::lcc_forward(l, lcc, i, o, n); },
      [&aea](SimdLevel l, const double* i, double* o, int64_t n) { proj::aea_forward(l, aea, i, o, n); },
  };
  for (const Kernel& k : kernels) {
    const std::vector<double> want = run(k, SimdLevel::kScalar, in);
    const std::vector<double> got = run(k, SimdLevel::kSse2, in);
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(bits(got[i]), bits(want[i])) << i;
  }
}

// ============================================================================
// Overlapping arrays
// ============================================================================

// An output that starts one pair after the input (or before it) is not the
// same array, and a block-wise kernel would read pairs it has already
// overwritten in a different order than a pair-by-pair loop. The exports
// keep the pair-by-pair result: pair i is read, then pair i is written, in
// index order.
TEST(ProjectionKernels, PartlyOverlappingArraysGiveThePairByPairResult) {
  const std::vector<double> src = random_pairs(30, -180, 180, -80, 80, geographic_edges());
  const int64_t n = 37;
  for (int64_t shift : {1, -1, 3, -5}) {
    SCOPED_TRACE(testing::Message() << "output shifted by " << shift << " pairs");
    const int64_t base = 8;
    std::vector<double> buf(src.begin(), src.begin() + 2 * (n + 2 * base));
    std::vector<double> want = buf;
    for (int64_t i = 0; i < n; ++i) {
      ASSERT_EQ(ordane_proj_3857_forward(want.data() + 2 * (base + i),
                                         want.data() + 2 * (base + i + shift), 1),
                0);
    }
    ASSERT_EQ(ordane_proj_3857_forward(buf.data() + 2 * base, buf.data() + 2 * (base + shift), n),
              0);
    for (size_t i = 0; i < buf.size(); ++i) ASSERT_EQ(bits(buf[i]), bits(want[i])) << i;
  }
}

}  // namespace
