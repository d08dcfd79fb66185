// The cartography projections: conic inverses against the forward exports,
// orthographic and Equal Earth forward and inverse, argument checks.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>
#include <limits>

#include "ordane.h"

namespace {

constexpr double kR = 6378137.0;

struct Conic {
  double lat1, lat2, lat0, lon0, fe, fn;
};

const Conic kConics[] = {
    {33, 45, 39, -96, 0, 0},            // contiguous US
    {-18, -36, 0, 132, 1e5, 2e5},       // southern cone (n < 0)
    {45, 45, 45, 10, 500000, 300000},   // one standard parallel
    {50, 70, 40, 170, 4321000, -1e6},   // origin outside the parallels
    {10, -5, 0, 25, 0, 0},              // parallels across the equator
};

std::vector<double> grid(double lon0, double lat_lo, double lat_hi) {
  std::vector<double> v;
  for (double lat = lat_lo; lat <= lat_hi; lat += 2.5)
    for (double dl = -170; dl <= 170; dl += 5) {
      v.push_back(lon0 + dl);
      v.push_back(lat);
    }
  return v;
}

double max_diff(const std::vector<double>& a, const std::vector<double>& b) {
  double m = 0;
  for (size_t i = 0; i < a.size(); ++i) m = std::max(m, std::fabs(a[i] - b[i]));
  return m;
}

using Forward = int32_t (*)(double, double, double, double, double, double, const double*, double*,
                            int64_t);

void conic_round_trip(Forward fwd, Forward inv, double lat_lo, double lat_hi) {
  for (const Conic& c : kConics) {
    SCOPED_TRACE(c.lat1);
    const std::vector<double> ll = grid(c.lon0, lat_lo, lat_hi);
    const int64_t n = static_cast<int64_t>(ll.size() / 2);
    std::vector<double> xy(ll.size()), back(ll.size());
    ASSERT_EQ(fwd(c.lat1, c.lat2, c.lat0, c.lon0, c.fe, c.fn, ll.data(), xy.data(), n), 0);
    ASSERT_EQ(inv(c.lat1, c.lat2, c.lat0, c.lon0, c.fe, c.fn, xy.data(), back.data(), n), 0);
    EXPECT_LE(max_diff(ll, back), 1e-9);
    // In place gives the same bits.
    std::vector<double> inplace = xy;
    ASSERT_EQ(inv(c.lat1, c.lat2, c.lat0, c.lon0, c.fe, c.fn, inplace.data(), inplace.data(), n),
              0);
    EXPECT_EQ(inplace, back);
  }
}

TEST(ConicInverse, LambertRoundTripsTheForwardExport) {
  conic_round_trip(ordane_proj_lcc_forward, ordane_proj_lcc_inverse, -80, 85);
}

TEST(ConicInverse, AlbersRoundTripsTheForwardExport) {
  conic_round_trip(ordane_proj_albers_forward, ordane_proj_albers_inverse, -80, 80);
}

TEST(ConicInverse, ApexAndDegenerateCone) {
  // The Lambert apex (the pole the cone closes on) comes back as that pole.
  double ll[2] = {-96, 90}, xy[2], back[2];
  ASSERT_EQ(ordane_proj_lcc_forward(33, 45, 39, -96, 0, 0, ll, xy, 1), 0);
  ASSERT_EQ(ordane_proj_lcc_inverse(33, 45, 39, -96, 0, 0, xy, back, 1), 0);
  EXPECT_NEAR(back[0], -96, 1e-9);
  EXPECT_NEAR(back[1], 90, 1e-4);  // held 1e-6 rad from the pole by the forward
  // Parallels symmetric about the equator: n = 0, no inverse.
  double p[2] = {1000, 1000};
  ASSERT_EQ(ordane_proj_albers_inverse(20, -20, 0, 0, 0, 0, p, p, 1), 0);
  EXPECT_TRUE(std::isnan(p[0]) || std::isnan(p[1]));
}

TEST(Orthographic, KnownPointsAndVisibility) {
  const double ll[] = {10, 20, 100, 0, -80, 0, 10, 90, 190, -20, std::numeric_limits<double>::quiet_NaN(), 0};
  double xy[12];
  uint8_t vis[6] = {9, 9, 9, 9, 9, 9};
  ASSERT_EQ(ordane_proj_ortho_forward(10, 20, ll, xy, 6, vis), 0);
  EXPECT_NEAR(xy[0], 0, 1e-9);
  EXPECT_NEAR(xy[1], 0, 1e-9);
  EXPECT_EQ(vis[0], 1);
  EXPECT_EQ(vis[4], 0);  // the antipode
  EXPECT_EQ(vis[5], 0);  // NaN is hidden
  EXPECT_NEAR(xy[6], 0, 1e-9);  // the north pole, straight above the centre
  EXPECT_NEAR(xy[7], kR * std::cos(20 * 0.017453292519943295), 1e-6);
  // Equatorial view: 90 degrees east is the right edge of the disc.
  double e[4] = {90, 0, 0, 90};
  ASSERT_EQ(ordane_proj_ortho_forward(0, 0, e, e, 2, nullptr), 0);
  EXPECT_NEAR(e[0], kR, 1e-6);
  EXPECT_NEAR(e[1], 0, 1e-6);
  EXPECT_NEAR(e[3], kR, 1e-6);
}

TEST(Orthographic, InverseRoundTripsTheVisibleSide) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> lon(-180, 180), lat(-90, 90);
  for (const double lat0 : {0.0, 35.0, -60.0, 90.0}) {
    std::vector<double> ll;
    for (int i = 0; i < 2000; ++i) {
      const double a = lon(rng), b = lat(rng);
      double xy[2];
      uint8_t v;
      const double p[2] = {a, b};
      ordane_proj_ortho_forward(-30, lat0, p, xy, 1, &v);
      // Away from the horizon, where the inverse is well conditioned.
      const double r = std::hypot(xy[0], xy[1]) / kR;
      if (v && r < 0.99) {
        ll.push_back(a);
        ll.push_back(b);
      }
    }
    const int64_t n = static_cast<int64_t>(ll.size() / 2);
    std::vector<double> xy(ll.size()), back(ll.size());
    ASSERT_EQ(ordane_proj_ortho_forward(-30, lat0, ll.data(), xy.data(), n, nullptr), 0);
    ASSERT_EQ(ordane_proj_ortho_inverse(-30, lat0, xy.data(), back.data(), n), 0);
    for (size_t i = 0; i < ll.size(); i += 2) {
      if (std::fabs(ll[i + 1]) > 89.999) continue;  // longitude is free at the pole
      double dl = std::fmod(back[i] - ll[i], 360.0);
      if (dl > 180) dl -= 360;
      if (dl < -180) dl += 360;
      ASSERT_LE(std::fabs(dl), 1e-9) << ll[i] << " " << ll[i + 1];
      ASSERT_LE(std::fabs(back[i + 1] - ll[i + 1]), 1e-9);
    }
  }
  double out[2] = {1.01 * kR, 0};
  ASSERT_EQ(ordane_proj_ortho_inverse(0, 0, out, out, 1), 0);
  EXPECT_TRUE(std::isnan(out[0]) && std::isnan(out[1]));
  double centre[2] = {0, 0};
  ASSERT_EQ(ordane_proj_ortho_inverse(12, 34, centre, centre, 1), 0);
  EXPECT_NEAR(centre[0], 12, 1e-12);
  EXPECT_NEAR(centre[1], 34, 1e-12);
}

TEST(EqualEarth, RoundTripAndEdges) {
  const std::vector<double> ll = grid(20, -90, 90);
  const int64_t n = static_cast<int64_t>(ll.size() / 2);
  std::vector<double> xy(ll.size()), back(ll.size());
  ASSERT_EQ(ordane_proj_eqearth_forward(20, ll.data(), xy.data(), n), 0);
  ASSERT_EQ(ordane_proj_eqearth_inverse(20, xy.data(), back.data(), n), 0);
  for (size_t i = 0; i < ll.size(); i += 2) {
    ASSERT_NEAR(back[i + 1], ll[i + 1], 1e-9);
    if (std::fabs(ll[i + 1]) < 90) {
      ASSERT_NEAR(back[i], ll[i], 1e-9);
    }
  }
  // Beyond the pole line there is no inverse.
  double beyond[2] = {0, 9e6};
  ASSERT_EQ(ordane_proj_eqearth_inverse(0, beyond, beyond, 1), 0);
  EXPECT_TRUE(std::isnan(beyond[0]) && std::isnan(beyond[1]));
  // The equator's x is linear in longitude, and the map is symmetric.
  double e[4] = {90, 0, -90, 0};
  ASSERT_EQ(ordane_proj_eqearth_forward(0, e, e, 2), 0);
  EXPECT_EQ(e[0], -e[2]);
  EXPECT_EQ(e[1], 0);
}

TEST(CartographyProjections, ArgumentChecksWriteNothing) {
  double in[2] = {1, 2}, out[2] = {7, 7};
  uint8_t vis = 5;
  EXPECT_EQ(ordane_proj_lcc_inverse(33, 45, 39, -96, 0, 0, nullptr, out, 1), -1);
  EXPECT_EQ(ordane_proj_lcc_inverse(33, 45, 39, -96, 0, 0, in, nullptr, 1), -1);
  EXPECT_EQ(ordane_proj_lcc_inverse(33, 45, 39, -96, 0, 0, in, out, 0), -1);
  EXPECT_EQ(ordane_proj_albers_inverse(33, 45, 39, -96, 0, 0, in, out, -5), -1);
  EXPECT_EQ(ordane_proj_ortho_forward(0, 0, in, out, 0, &vis), -1);
  EXPECT_EQ(ordane_proj_ortho_forward(0, 0, nullptr, out, 1, &vis), -1);
  EXPECT_EQ(ordane_proj_ortho_inverse(0, 0, in, nullptr, 1), -1);
  EXPECT_EQ(ordane_proj_eqearth_forward(0, in, out, 0), -1);
  EXPECT_EQ(ordane_proj_eqearth_inverse(0, nullptr, out, 1), -1);
  EXPECT_EQ(out[0], 7);
  EXPECT_EQ(out[1], 7);
  EXPECT_EQ(vis, 5);
}

}  // namespace
