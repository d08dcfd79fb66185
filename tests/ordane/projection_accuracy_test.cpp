// The conics against exact values: each formula evaluated in quadruple
// precision from the same rounded inputs (latitude and longitude in
// radians, the clamp, the angle theta, the set-up's parameters), so the
// error measured is the one the evaluation itself adds. The vector kernels
// chain four or five elementary functions, so they do not stay within 2 ulp
// of the scalar transcription everywhere; these tests show why that is no
// loss: the scalar transcription is itself up to 2-3 ulp from the exact
// value, and the vector kernels are as close to it, value for value.

#include <gtest/gtest.h>

#if QUILLON_HAVE_QUADMATH

#include <quadmath.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "cpu_dispatch.h"
#include "projection_kernels.h"

namespace {

using quillon::SimdLevel;
namespace proj = ordane::proj;
using Quad = __float128;

constexpr double kD2R = 0.017453292519943295;
constexpr double kWgs84E = 0.08181919084262149;
constexpr double kWgs84HalfE = 0.04090959542131074;
constexpr double kQuarterPi = 0.7853981633974483;
constexpr double kConicPolarLimit = 1.5707953267948966;

double ulp(double v) {
  v = std::fabs(v);
  return std::nextafter(v, INFINITY) - v;
}

// Errors of one evaluation, in ulp of the exact radius.
struct Errors {
  double worst = 0;
  size_t over_1 = 0;  // values more than 1 ulp off
  size_t over_2 = 0;  // values more than 2 ulp off
  void add(double got, Quad exact, double unit) {
    const double e = static_cast<double>(fabsq(static_cast<Quad>(got) - exact)) / unit;
    worst = std::max(worst, e);
    over_1 += e > 1;
    over_2 += e > 2;
  }
};

struct Exact {
  Quad x, y, rho;
};

using ExactFn = std::function<Exact(double lon, double lat)>;
using KernelFn = std::function<void(SimdLevel, const double*, double*, int64_t)>;

// Compares the scalar path and the best vector path with the exact values
// over `count` points spread over the globe: the vector path must be as
// accurate as the scalar one, within half an ulp at the worst value and
// with at most twice as many values over 1 ulp.
void expect_as_accurate(const KernelFn& kernel, const ExactFn& exact, uint64_t seed) {
  const SimdLevel best = quillon::best_simd_level();
  if (best < SimdLevel::kAvx2) GTEST_SKIP() << "no vector kernel on this CPU";
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> lon(-180, 180), lat(-89.9, 89.9);
  const int64_t count = 1 << 16;
  std::vector<double> in(2 * count), scalar(2 * count), vector(2 * count);
  for (int64_t i = 0; i < count; ++i) {
    in[2 * i] = lon(rng);
    in[2 * i + 1] = lat(rng);
  }
  kernel(SimdLevel::kScalar, in.data(), scalar.data(), count);
  kernel(best, in.data(), vector.data(), count);
  Errors s, v;
  for (int64_t i = 0; i < count; ++i) {
    const Exact e = exact(in[2 * i], in[2 * i + 1]);
    const double rho = static_cast<double>(e.rho);
    // x and y carry the false origin and rho0: measure in ulp of whichever
    // is larger, as the tolerance of the scalar comparison does.
    const double ux = ulp(std::max(rho, std::fabs(static_cast<double>(e.x))));
    const double uy = ulp(std::max(rho, std::fabs(static_cast<double>(e.y))));
    s.add(scalar[2 * i], e.x, ux);
    s.add(scalar[2 * i + 1], e.y, uy);
    v.add(vector[2 * i], e.x, ux);
    v.add(vector[2 * i + 1], e.y, uy);
  }
  testing::Test::RecordProperty("scalar_worst_ulp", std::to_string(s.worst));
  testing::Test::RecordProperty("vector_worst_ulp", std::to_string(v.worst));
  testing::Test::RecordProperty("scalar_over_1_ulp", std::to_string(s.over_1));
  testing::Test::RecordProperty("vector_over_1_ulp", std::to_string(v.over_1));
  testing::Test::RecordProperty("scalar_over_2_ulp", std::to_string(s.over_2));
  testing::Test::RecordProperty("vector_over_2_ulp", std::to_string(v.over_2));
  EXPECT_LE(v.worst, s.worst + 0.5) << "scalar worst " << s.worst;
  EXPECT_LE(v.over_1, 2 * s.over_1 + 8) << "scalar " << s.over_1;
  EXPECT_LE(v.over_2, 2 * s.over_2 + 8) << "scalar " << s.over_2;
}

TEST(ProjectionAccuracy, LambertVectorPathIsAsCloseToTheExactValueAsTheScalarPath) {
  const proj::LccParams p = proj::lcc_setup(33, 45, 23, -96, 0, 0);
  const ExactFn exact = [&p](double lon, double lat) {
    const double dlam = lon * kD2R - p.lam0;
    double phi = lat * kD2R;
    if (std::fabs(phi) > kConicPolarLimit) phi = phi > 0 ? kConicPolarLimit : -kConicPolarLimit;
    const Quad es = static_cast<Quad>(kWgs84E) * sinq(phi);
    const Quad t = tanq(static_cast<Quad>(phi * -0.5 + kQuarterPi)) /
                   powq((1 - es) / (1 + es), static_cast<Quad>(kWgs84HalfE));
    Exact e;
    e.rho = powq(t, static_cast<Quad>(p.n)) * static_cast<Quad>(p.rf);
    const Quad theta = static_cast<Quad>(dlam * p.n);
    e.x = sinq(theta) * e.rho + static_cast<Quad>(p.x0);
    e.y = static_cast<Quad>(p.rho0) - e.rho * cosq(theta);
    return e;
  };
  expect_as_accurate(
      [&p](SimdLevel l, const double* i, double* o, int64_t n) { proj::lcc_forward(l, p, i, o, n); },
      exact, 50);
}

TEST(ProjectionAccuracy, AlbersVectorPathIsAsCloseToTheExactValueAsTheScalarPath) {
  const proj::AeaParams p = proj::aea_setup(29.5, 45.5, 23, -96, 0, 0);
  const ExactFn exact = [&p](double lon, double lat) {
    const double dlam = lon * kD2R - p.lam0;
    const double phi = lat * kD2R;
    const Quad radicand = sinq(phi) * static_cast<Quad>(p.minus_2n) + static_cast<Quad>(p.a);
    Exact e;
    e.rho = sqrtq(radicand > 0 ? radicand : 0) * static_cast<Quad>(p.k);
    const Quad theta = static_cast<Quad>(dlam * p.n);
    e.x = sinq(theta) * e.rho + static_cast<Quad>(p.x0);
    e.y = static_cast<Quad>(p.rho0) - cosq(theta) * e.rho;
    return e;
  };
  expect_as_accurate(
      [&p](SimdLevel l, const double* i, double* o, int64_t n) { proj::aea_forward(l, p, i, o, n); },
      exact, 51);
}

}  // namespace

#endif  // QUILLON_HAVE_QUADMATH
