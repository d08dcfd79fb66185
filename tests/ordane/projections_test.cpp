// Projections: the scalar kernels agree exactly with a plain, unhoisted
// transcription of the formulas (the library hoists parameter work and
// shares helpers, which must not move a single bit), the exports give
// exactly what the deterministic vector kernels give (the accuracy of those
// against the scalar path is in projection_kernels_test.cpp), argument
// checks, aliasing, and the behaviour at the clamps and poles.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "cpu_dispatch.h"
#include "ordane.h"
#include "projection_kernels.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kD2R = 0.017453292519943295;
constexpr double kR2D = 57.29577951308232;
constexpr double kR = 6378137.0;
constexpr double kPolarLimit = 1.5707953267948966;
constexpr double kPi = 3.141592653589793;

// ---------------------------------------------------------------------------
// Reference formulas, evaluated per point with nothing hoisted.
// ---------------------------------------------------------------------------

void ref_merc_forward(double lon, double lat, double* x, double* y) {
  if (lat > 85.0511287798) {
    lat = 85.0511287798;
  } else if (lat < -85.0511287798) {
    lat = -85.0511287798;
  }
  *x = lon * 111319.49079327357;
  *y = std::log(std::tan(lat * kD2R * 0.5 + 0.7853981633974483)) * kR;
}

void ref_merc_inverse(double x, double y, double* lon, double* lat) {
  *lon = (x / kR) * kR2D;
  *lat = (2.0 * std::atan(std::exp(y / kR)) - 1.5707963267948966) * kR2D;
}

double ref_m(double phi) {
  return std::cos(phi) / std::sqrt(1.0 - 0.006694379990141316 * std::sin(phi) * std::sin(phi));
}

double ref_t(double phi) {
  const double e = 0.08181919084262149;
  return std::tan(0.7853981633974483 - phi / 2.0) /
         std::pow((1.0 - e * std::sin(phi)) / (1.0 + e * std::sin(phi)), 0.04090959542131074);
}

struct Conic {
  double lat1, lat2, lat0, lon0, fe, fn;
};

void ref_lcc_forward(const Conic& c, double lon, double lat, double* x, double* y) {
  const double phi1 = c.lat1 * kD2R, phi2 = c.lat2 * kD2R, phi0 = c.lat0 * kD2R;
  const double lam0 = c.lon0 * kD2R;
  const double m1 = ref_m(phi1), m2 = ref_m(phi2);
  const double t1 = ref_t(phi1), t2 = ref_t(phi2), t0 = ref_t(phi0);
  double n;
  if (std::fabs(phi1 - phi2) > 1e-10) {
    n = (std::log(m1) - std::log(m2)) / (std::log(t1) - std::log(t2));
  } else {
    n = std::sin(phi1);
  }
  const double rf = m1 / (std::pow(t1, n) * n) * kR;
  const double rho0 = std::pow(t0, n) * rf + c.fn;
  const double dlam = lon * kD2R - lam0;
  double phi = lat * kD2R;
  if (std::fabs(phi) > kPolarLimit) phi = phi > 0 ? kPolarLimit : -kPolarLimit;
  const double e = 0.08181919084262149;
  const double t =
      std::tan(phi * -0.5 + 0.7853981633974483) /
      std::pow((1.0 - e * std::sin(phi)) / (1.0 + e * std::sin(phi)), 0.04090959542131074);
  const double rho = std::pow(t, n) * rf;
  const double theta = dlam * n;
  *x = std::sin(theta) * rho + c.fe;
  *y = rho0 - rho * std::cos(theta);
}

double ref_clamp0(double v) { return v > 0 ? v : 0; }

void ref_aea_forward(const Conic& c, double lon, double lat, double* x, double* y) {
  const double phi1 = c.lat1 * kD2R, phi2 = c.lat2 * kD2R, phi0 = c.lat0 * kD2R;
  const double lam0 = c.lon0 * kD2R;
  const double n = (std::sin(phi1) + std::sin(phi2)) * 0.5;
  const double a = std::cos(phi1) * std::cos(phi1) + 2 * n * std::sin(phi1);
  const double k = kR / n;
  const double rho0 = std::sqrt(ref_clamp0(a - 2 * n * std::sin(phi0))) * k + c.fn;
  const double dlam = lon * kD2R - lam0;
  const double phi = lat * kD2R;
  const double rho = std::sqrt(ref_clamp0(std::sin(phi) * (-2 * n) + a)) * k;
  const double theta = dlam * n;
  *x = std::sin(theta) * rho + c.fe;
  *y = rho0 - std::cos(theta) * rho;
}

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

using Projection = std::function<int32_t(const double*, double*, int64_t)>;

Projection lcc(const Conic& c) {
  return [c](const double* in, double* out, int64_t n) {
    return ordane_proj_lcc_forward(c.lat1, c.lat2, c.lat0, c.lon0, c.fe, c.fn, in, out, n);
  };
}

Projection albers(const Conic& c) {
  return [c](const double* in, double* out, int64_t n) {
    return ordane_proj_albers_forward(c.lat1, c.lat2, c.lat0, c.lon0, c.fe, c.fn, in, out, n);
  };
}

// Same bits, or both NaN (the payload of a NaN is not part of the result).
bool same(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Geographic points over and beyond the valid range, with the values that
// sit on or next to a clamp or a branch, and non-finite ones.
std::vector<double> sample_lonlat() {
  std::vector<double> v;
  for (double lat = -95.0; lat <= 95.0; lat += 2.375) {
    for (double lon = -541.0; lon <= 541.0; lon += 37.3) {
      v.push_back(lon);
      v.push_back(lat);
    }
  }
  const double special[][2] = {
      {0, 0},
      {-0.0, -0.0},
      {180, 90},
      {-180, -90},
      {179.999, 89.99999},
      {12, 85.0511287798},
      {12, -85.0511287798},
      {12, 85.05112878},
      {12, 90.0 - 5e-5},
      {12, -90.0 + 5e-5},
      {kNaN, 45},
      {45, kNaN},
      {kInf, 10},
      {10, kInf},
      {10, -kInf},
      {1e300, 1e-300},
      {-1e-300, 1e300},
  };
  for (const auto& p : special) {
    v.push_back(p[0]);
    v.push_back(p[1]);
  }
  return v;
}

const Conic kConics[] = {
    {33, 45, 23, -96, 0, 0},             // Contiguous US
    {49, 44, 46.5, 3, 700000, 6600000},  // France, parallels given north first
    {-30, -60, -45, 140, 1e5, -2e5},     // southern hemisphere
    {40, 40, 40, 10, 500, 500},          // one standard parallel
    {40, 40.0 + 1e-9, 35, -10, 0, 0},    // parallels within the tangent-cone tolerance
    {30, -30, 0, 0, 0, 0},               // symmetric: cone constant 0
    {25, 90, 60, -45, 0, 0},             // a parallel on the pole
    {kNaN, 45, 20, 0, 0, 0},             // NaN parameter flows through
};

void expect_matches(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  int mismatches = 0;
  for (size_t i = 0; i < got.size() && mismatches < 10; ++i) {
    if (!same(got[i], want[i])) {
      ++mismatches;
      ADD_FAILURE() << "value " << i << " (pair " << i / 2 << "): got " << got[i] << ", want "
                    << want[i];
    }
  }
}

// The level whose bits every export reproduces: the best this CPU runs.
// Every vector level that has a kernel gives the same bits, so the kernel
// tests' level comparisons carry over to any other CPU.
quillon::SimdLevel reference_level() { return quillon::best_simd_level(); }

// ---------------------------------------------------------------------------
// Exact agreement with the reference
// ---------------------------------------------------------------------------

TEST(ordane_proj_3857_forward, ScalarPathMatchesTheFormulaAndExportTheVectorPath) {
  const std::vector<double> in = sample_lonlat();
  const int64_t n = static_cast<int64_t>(in.size() / 2);
  std::vector<double> got(in.size()), want(in.size());
  for (int64_t i = 0; i < n; ++i)
    ref_merc_forward(in[2 * i], in[2 * i + 1], &want[2 * i], &want[2 * i + 1]);
  ordane::proj::merc_forward_scalar({in.data(), got.data(), n});
  expect_matches(got, want);

  ASSERT_EQ(ordane_proj_3857_forward(in.data(), got.data(), n), 0);
  ordane::proj::merc_forward(reference_level(), in.data(), want.data(), n);
  expect_matches(got, want);
}

TEST(ordane_proj_3857_inverse, ScalarPathMatchesTheFormulaAndExportTheVectorPath) {
  std::vector<double> in;
  for (double y = -4e7; y <= 4e7; y += 7.3e5) {
    for (double x = -6e7; x <= 6e7; x += 3.1e6) {
      in.push_back(x);
      in.push_back(y);
    }
  }
  for (double v : {0.0, -0.0, 1e300, -1e300, kInf, -kInf, kNaN}) {
    in.push_back(v);
    in.push_back(v);
  }
  const int64_t n = static_cast<int64_t>(in.size() / 2);
  std::vector<double> got(in.size()), want(in.size());
  for (int64_t i = 0; i < n; ++i)
    ref_merc_inverse(in[2 * i], in[2 * i + 1], &want[2 * i], &want[2 * i + 1]);
  ordane::proj::merc_inverse_scalar({in.data(), got.data(), n});
  expect_matches(got, want);

  ASSERT_EQ(ordane_proj_3857_inverse(in.data(), got.data(), n), 0);
  ordane::proj::merc_inverse(reference_level(), in.data(), want.data(), n);
  expect_matches(got, want);
}

TEST(ordane_proj_lcc_forward, ScalarPathMatchesTheFormulaAndExportTheVectorPath) {
  const std::vector<double> in = sample_lonlat();
  const int64_t n = static_cast<int64_t>(in.size() / 2);
  for (const Conic& c : kConics) {
    SCOPED_TRACE(testing::Message() << "lat1 " << c.lat1 << " lat2 " << c.lat2);
    std::vector<double> got(in.size()), want(in.size());
    for (int64_t i = 0; i < n; ++i)
      ref_lcc_forward(c, in[2 * i], in[2 * i + 1], &want[2 * i], &want[2 * i + 1]);
    const ordane::proj::LccParams p =
        ordane::proj::lcc_setup(c.lat1, c.lat2, c.lat0, c.lon0, c.fe, c.fn);
    ordane::proj::lcc_forward_scalar(p, {in.data(), got.data(), n});
    expect_matches(got, want);

    ASSERT_EQ(lcc(c)(in.data(), got.data(), n), 0);
    ordane::proj::lcc_forward(reference_level(), p, in.data(), want.data(), n);
    expect_matches(got, want);
  }
}

TEST(ordane_proj_albers_forward, ScalarPathMatchesTheFormulaAndExportTheVectorPath) {
  const std::vector<double> in = sample_lonlat();
  const int64_t n = static_cast<int64_t>(in.size() / 2);
  for (const Conic& c : kConics) {
    SCOPED_TRACE(testing::Message() << "lat1 " << c.lat1 << " lat2 " << c.lat2);
    std::vector<double> got(in.size()), want(in.size());
    for (int64_t i = 0; i < n; ++i)
      ref_aea_forward(c, in[2 * i], in[2 * i + 1], &want[2 * i], &want[2 * i + 1]);
    const ordane::proj::AeaParams p =
        ordane::proj::aea_setup(c.lat1, c.lat2, c.lat0, c.lon0, c.fe, c.fn);
    ordane::proj::aea_forward_scalar(p, {in.data(), got.data(), n});
    expect_matches(got, want);

    ASSERT_EQ(albers(c)(in.data(), got.data(), n), 0);
    ordane::proj::aea_forward(reference_level(), p, in.data(), want.data(), n);
    expect_matches(got, want);
  }
}

// ---------------------------------------------------------------------------
// Arguments and aliasing, the same for all four exports
// ---------------------------------------------------------------------------

struct Named {
  const char* name;
  Projection run;
};

std::vector<Named> all_projections() {
  return {
      {"3857_forward", ordane_proj_3857_forward},
      {"3857_inverse", ordane_proj_3857_inverse},
      {"lcc_forward", lcc(kConics[1])},
      {"albers_forward", albers(kConics[0])},
  };
}

TEST(ordane_proj, BadArgumentsReturnMinusOneAndLeaveTheOutputUntouched) {
  for (const Named& p : all_projections()) {
    SCOPED_TRACE(p.name);
    const double in[4] = {10, 20, 30, 40};
    double out[4] = {-7, -7, -7, -7};
    EXPECT_EQ(p.run(nullptr, out, 2), -1);
    EXPECT_EQ(p.run(in, nullptr, 2), -1);
    EXPECT_EQ(p.run(in, out, 0), -1);
    EXPECT_EQ(p.run(in, out, -1), -1);
    EXPECT_EQ(p.run(in, out, INT64_MIN), -1);
    EXPECT_EQ(p.run(nullptr, nullptr, 0), -1);
    for (double v : out) EXPECT_EQ(v, -7);
  }
}

TEST(ordane_proj, InPlaceGivesTheSameNumbersAsASeparateOutput) {
  const std::vector<double> in = sample_lonlat();
  const int64_t n = static_cast<int64_t>(in.size() / 2);
  for (const Named& p : all_projections()) {
    SCOPED_TRACE(p.name);
    std::vector<double> separate(in.size());
    std::vector<double> inplace = in;
    ASSERT_EQ(p.run(in.data(), separate.data(), n), 0);
    ASSERT_EQ(p.run(inplace.data(), inplace.data(), n), 0);
    expect_matches(inplace, separate);
  }
}

TEST(ordane_proj, WritesExactlyCountPairs) {
  for (const Named& p : all_projections()) {
    SCOPED_TRACE(p.name);
    const double in[6] = {10, 20, 30, 40, 50, 60};
    double out[6] = {-7, -7, -7, -7, -7, -7};
    ASSERT_EQ(p.run(in, out, 2), 0);
    EXPECT_NE(out[3], -7);
    EXPECT_EQ(out[4], -7);
    EXPECT_EQ(out[5], -7);
  }
}

// ---------------------------------------------------------------------------
// Web Mercator
// ---------------------------------------------------------------------------

TEST(ordane_proj_3857_forward, ClampsLatitudeAndNeverWrapsLongitude) {
  const double in[] = {0,   85.0511287798, 0, 89,  0, 90,   0,    1000, 0,
                       -90, 180,           0, 540, 0, -180, kNaN, 0,    -85.0511287798};
  double out[18];
  ASSERT_EQ(ordane_proj_3857_forward(in, out, 9), 0);
  const double top = out[1];
  EXPECT_NEAR(top, kPi * kR, 1e-3);
  EXPECT_EQ(out[3], top);
  EXPECT_EQ(out[5], top);
  EXPECT_EQ(out[7], top);
  EXPECT_EQ(out[9], out[17]);
  EXPECT_NEAR(out[9], -top, 1e-6);  // tan near 0 is less exact than near infinity
  EXPECT_EQ(out[10], 180 * 111319.49079327357);
  EXPECT_NEAR(out[10], kPi * kR, 1e-6);
  EXPECT_DOUBLE_EQ(out[12], 3 * out[10]);  // 540 stays 540
  EXPECT_EQ(out[14], -out[10]);
  EXPECT_TRUE(std::isnan(out[15]));  // NaN latitude passes the clamp
}

TEST(ordane_proj_3857_inverse, CornerOfTheSquareWorldAndSaturation) {
  const double in[] = {kPi * kR, kPi * kR, -kPi * kR, -kPi * kR, 0, 1e12, 0, -1e12};
  double out[8];
  ASSERT_EQ(ordane_proj_3857_inverse(in, out, 4), 0);
  EXPECT_NEAR(out[0], 180, 1e-12);
  EXPECT_NEAR(out[1], 85.0511287798, 1e-9);
  EXPECT_NEAR(out[2], -180, 1e-12);
  EXPECT_NEAR(out[3], -85.0511287798, 1e-9);
  EXPECT_EQ(out[5], 90.0);  // a huge y rounds to the pole, never beyond
  EXPECT_EQ(out[7], -90.0);
}

TEST(ordane_proj_3857_inverse, RoundTripsForwardWithinNanodegrees) {
  std::vector<double> ll;
  for (double lat = -85; lat <= 85; lat += 0.731) {
    for (double lon = -540; lon <= 540; lon += 13.7) {
      ll.push_back(lon);
      ll.push_back(lat);
    }
  }
  const int64_t n = static_cast<int64_t>(ll.size() / 2);
  std::vector<double> back = ll;
  ASSERT_EQ(ordane_proj_3857_forward(back.data(), back.data(), n), 0);
  ASSERT_EQ(ordane_proj_3857_inverse(back.data(), back.data(), n), 0);
  for (size_t i = 0; i < ll.size(); ++i) ASSERT_NEAR(back[i], ll[i], 1e-9) << "value " << i;
}

// ---------------------------------------------------------------------------
// Lambert conformal conic
// ---------------------------------------------------------------------------

TEST(ordane_proj_lcc_forward, PolesClampToTheConicLimit) {
  const Conic c = kConics[1];
  const double in[] = {7, 90, 7, 95, 7, kInf, 7, -90, 7, -1000, 7, -kInf};
  double out[12];
  ASSERT_EQ(lcc(c)(in, out, 6), 0);
  // Every latitude past a pole gives the same finite point as the pole.
  for (int i : {1, 2, 4, 5}) {
    const int pole = i < 3 ? 0 : 3;
    EXPECT_EQ(out[2 * i], out[2 * pole]) << i;
    EXPECT_EQ(out[2 * i + 1], out[2 * pole + 1]) << i;
  }
  // ... which is the limiting latitude, 1e-6 rad short of the pole.
  double nx, ny, sx, sy;
  ref_lcc_forward(c, 7, (kPi / 2 - 1e-6) * kR2D, &nx, &ny);
  ref_lcc_forward(c, 7, -(kPi / 2 - 1e-6) * kR2D, &sx, &sy);
  EXPECT_NEAR(out[0], nx, 1e-6);
  EXPECT_NEAR(out[1], ny, 1e-6);
  EXPECT_NEAR(out[6], sx, 1e-6 * std::fabs(sx));
  EXPECT_NEAR(out[7], sy, 1e-6 * std::fabs(sy));
  EXPECT_TRUE(std::isfinite(out[6]) && std::isfinite(out[7]));
}

TEST(ordane_proj_lcc_forward, EqualParallelsUseTheTangentCone) {
  const double in[] = {3, 46.5, -4, 43, 10, 50};
  double a[6], b[6];
  // Exactly equal parallels and parallels 1e-12 degrees apart both take the
  // tangent-cone constant (sin of the first parallel) instead of 0 / 0.
  ASSERT_EQ(ordane_proj_lcc_forward(46.5, 46.5, 46.5, 3, 0, 0, in, a, 3), 0);
  ASSERT_EQ(ordane_proj_lcc_forward(46.5, 46.5 + 1e-12, 46.5, 3, 0, 0, in, b, 3), 0);
  for (int i = 0; i < 6; ++i) {
    EXPECT_TRUE(std::isfinite(a[i])) << i;
    EXPECT_EQ(a[i], b[i]) << i;
  }
  // The origin point lands on (false easting, false northing).
  EXPECT_NEAR(a[0], 0, 1e-6);
  EXPECT_NEAR(a[1], 0, 1e-6);
  // Distinct parallels that far apart give another cone constant.
  double c[6];
  ASSERT_EQ(ordane_proj_lcc_forward(46.5, 46.5 + 1e-6, 46.5, 3, 0, 0, in, c, 3), 0);
  EXPECT_NE(c[2], a[2]);
}

TEST(ordane_proj_lcc_forward, OriginLandsOnTheFalseOrigin) {
  for (const Conic& c : kConics) {
    if (!(std::fabs(c.lat1 + c.lat2) > 1) || std::isnan(c.lat1) || c.lat2 == 90) continue;
    SCOPED_TRACE(testing::Message() << "lat1 " << c.lat1 << " lat2 " << c.lat2);
    const double in[2] = {c.lon0, c.lat0};
    double out[2];
    ASSERT_EQ(lcc(c)(in, out, 1), 0);
    EXPECT_NEAR(out[0], c.fe, 1e-6);
    EXPECT_NEAR(out[1], c.fn, 1e-6);
  }
}

TEST(ordane_proj_lcc_forward, SymmetricParallelsGiveNonFiniteResultsWithoutFailing) {
  const double in[2] = {10, 10};
  double out[2] = {0, 0};
  EXPECT_EQ(ordane_proj_lcc_forward(30, -30, 0, 0, 0, 0, in, out, 1), 0);
  EXPECT_FALSE(std::isfinite(out[0]) && std::isfinite(out[1]));
}

// ---------------------------------------------------------------------------
// Albers equal-area conic
// ---------------------------------------------------------------------------

TEST(ordane_proj_albers_forward, OriginLandsOnTheFalseOrigin) {
  for (const Conic& c : kConics) {
    if (!(std::fabs(c.lat1 + c.lat2) > 1) || std::isnan(c.lat1)) continue;
    SCOPED_TRACE(testing::Message() << "lat1 " << c.lat1 << " lat2 " << c.lat2);
    const double in[2] = {c.lon0, c.lat0};
    double out[2];
    ASSERT_EQ(albers(c)(in, out, 1), 0);
    EXPECT_NEAR(out[0], c.fe, 1e-6);
    EXPECT_NEAR(out[1], c.fn, 1e-6);
  }
}

TEST(ordane_proj_albers_forward, NegativeRadicandAtThePoleLandsOnTheApex) {
  // With a standard parallel on the north pole the radicand there is 0 in
  // exact arithmetic and rounds to about -2e-16 for these parameters.
  const double in[] = {-45, 90, 100, 90, 0, kNaN};
  double out[6];
  ASSERT_EQ(ordane_proj_albers_forward(25, 90, 60, -45, 1000, 2000, in, out, 3), 0);
  const double lat0_only[] = {-45, 60};
  double origin[2];
  ASSERT_EQ(ordane_proj_albers_forward(25, 90, 60, -45, 1000, 2000, lat0_only, origin, 1), 0);
  // The apex is (false easting, rho0); rho0 is origin's y plus the radius at
  // lat0, which the apex's y reproduces directly.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(out[2 * i], 1000) << i;
    EXPECT_TRUE(std::isfinite(out[2 * i + 1])) << i;
    EXPECT_EQ(out[2 * i + 1], out[1]) << i;
  }
  EXPECT_GT(out[1], origin[1]);
}

TEST(ordane_proj_albers_forward, LatitudeIsNotClampedAndEqualAreaHolds) {
  // The zone between the north pole and latitude phi covers 2 pi R^2 (1 -
  // sin phi) of the sphere. On the map it is the annulus sector between the
  // images of the pole and of phi, spanning 2 pi n radians: pi n (rho^2 -
  // rho_pole^2). An equal-area projection keeps the two equal for any phi,
  // including latitudes far outside the standard parallels.
  const Conic c{20, 60, 40, 0, 0, 0};
  const double n = (std::sin(20 * kD2R) + std::sin(60 * kD2R)) / 2;
  for (double lat : {-60.0, 0.0, 45.0, 80.0}) {
    const double in[2] = {0, lat};
    double out[2];
    ASSERT_EQ(albers(c)(in, out, 1), 0);
    const double apex_y = std::sqrt(std::cos(20 * kD2R) * std::cos(20 * kD2R) +
                                    2 * n * std::sin(20 * kD2R) - 2 * n * std::sin(40 * kD2R)) *
                          kR / n;
    const double pole_in[2] = {0, 90};
    double pole[2];
    ASSERT_EQ(albers(c)(pole_in, pole, 1), 0);
    const double rho = apex_y - out[1];
    const double rho_pole = apex_y - pole[1];
    const double map_area = kPi * n * (rho * rho - rho_pole * rho_pole);
    const double cap_area = 2 * kPi * kR * kR * (1 - std::sin(lat * kD2R));
    EXPECT_NEAR(map_area / cap_area, 1.0, 1e-10) << lat;
  }
}

}  // namespace
