// The cartography projections compared with PROJ: the conic inverses with
// PROJ's lcc and aea inverses, Equal Earth and the orthographic view with
// eqearth and ortho on the sphere of radius 6378137, both ways.
//
// Angles must agree to 1e-9 degrees, plane coordinates to 1e-6 m.

#include <gtest/gtest.h>
#include <proj.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ordane.h"

namespace {

constexpr double kD2R = 0.017453292519943295;
constexpr double kR2D = 57.29577951308232;

class Proj {
 public:
  explicit Proj(const std::string& def)
      : ctx_(proj_context_create()), pj_(proj_create(ctx_, def.c_str())) {}
  ~Proj() {
    proj_destroy(pj_);
    proj_context_destroy(ctx_);
  }
  Proj(const Proj&) = delete;
  Proj& operator=(const Proj&) = delete;
  bool ok() const { return pj_ != nullptr; }
  void run(std::vector<double>& v, PJ_DIRECTION dir) const {
    const size_t n = v.size() / 2, st = 2 * sizeof(double);
    proj_trans_generic(pj_, dir, v.data(), st, n, v.data() + 1, st, n, nullptr, 0, 0, nullptr, 0,
                       0);
  }

 private:
  PJ_CONTEXT* ctx_;
  PJ* pj_;
};

std::string num(double v) {
  char b[40];
  std::snprintf(b, sizeof b, "%.17g", v);
  return b;
}

std::vector<double> sample(uint64_t seed, size_t n, double lon0, double dlon, double lat_lo,
                           double lat_hi) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> ux(lon0 - dlon, lon0 + dlon), uy(lat_lo, lat_hi);
  std::vector<double> v;
  for (size_t i = 0; i < n; ++i) {
    v.push_back(ux(rng));
    v.push_back(uy(rng));
  }
  return v;
}

// ours (degrees) against PROJ's (radians) within "tol" degrees.
void expect_angles(const std::vector<double>& ours, const std::vector<double>& ref, double tol) {
  double worst = 0;
  for (size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::fabs(ours[i] - ref[i] * kR2D));
  EXPECT_LE(worst, tol);
  std::printf("worst angle difference %.3g degrees over %zu values\n", worst, ours.size());
}

void expect_plane(const std::vector<double>& ours, const std::vector<double>& ref, double tol) {
  double worst = 0;
  for (size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::fabs(ours[i] - ref[i]));
  EXPECT_LE(worst, tol);
  std::printf("worst plane difference %.3g m over %zu values\n", worst, ours.size());
}

struct Conic {
  double lat1, lat2, lat0, lon0, fe, fn;
};

std::string conic(const char* proj, const char* earth, const Conic& c) {
  return std::string("+proj=") + proj + " " + earth + " +lat_1=" + num(c.lat1) +
         " +lat_2=" + num(c.lat2) + " +lat_0=" + num(c.lat0) + " +lon_0=" + num(c.lon0) +
         " +x_0=" + num(c.fe) + " +y_0=" + num(c.fn) + " +over";
}

const Conic kConics[] = {
    {33, 45, 39, -96, 0, 0},
    {-18, -36, 0, 132, 1e5, 2e5},
    {50, 70, 40, 10, 4321000, 3210000},
    {60, 80, 75, -100, 0, 0},
};

using Fn = int32_t (*)(double, double, double, double, double, double, const double*, double*,
                       int64_t);

void conic_inverse_against_proj(const char* name, const char* earth, Fn fwd, Fn inv) {
  uint64_t seed = 1;
  for (const Conic& c : kConics) {
    const std::string def = conic(name, earth, c);
    SCOPED_TRACE(def);
    Proj pj(def);
    ASSERT_TRUE(pj.ok());
    const std::vector<double> ll = sample(seed++, 2000, c.lon0, 150, -80, 80);
    const int64_t n = static_cast<int64_t>(ll.size() / 2);
    std::vector<double> xy(ll.size()), ours(ll.size());
    ASSERT_EQ(fwd(c.lat1, c.lat2, c.lat0, c.lon0, c.fe, c.fn, ll.data(), xy.data(), n), 0);
    ASSERT_EQ(inv(c.lat1, c.lat2, c.lat0, c.lon0, c.fe, c.fn, xy.data(), ours.data(), n), 0);
    std::vector<double> ref = xy;
    pj.run(ref, PJ_INV);
    expect_angles(ours, ref, 1e-9);
  }
}

TEST(ordane_proj_lcc_inverse, AgreesWithProj) {
  conic_inverse_against_proj("lcc", "+ellps=WGS84", ordane_proj_lcc_forward,
                             ordane_proj_lcc_inverse);
}

TEST(ordane_proj_albers_inverse, AgreesWithProj) {
  conic_inverse_against_proj("aea", "+R=6378137", ordane_proj_albers_forward,
                             ordane_proj_albers_inverse);
}

TEST(ordane_proj_eqearth, AgreesWithProjBothWays) {
  for (const double lon0 : {0.0, 150.0, -77.5}) {
    const std::string def = "+proj=eqearth +R=6378137 +over +lon_0=" + num(lon0);
    SCOPED_TRACE(def);
    Proj pj(def);
    ASSERT_TRUE(pj.ok());
    const std::vector<double> ll = sample(40, 3000, lon0, 180, -90, 90);
    const int64_t n = static_cast<int64_t>(ll.size() / 2);
    std::vector<double> ours(ll.size());
    ASSERT_EQ(ordane_proj_eqearth_forward(lon0, ll.data(), ours.data(), n), 0);
    std::vector<double> ref = ll;
    for (double& v : ref) v *= kD2R;
    pj.run(ref, PJ_FWD);
    expect_plane(ours, ref, 1e-6);
    // Inverse of PROJ's plane points.
    std::vector<double> back(ll.size());
    ASSERT_EQ(ordane_proj_eqearth_inverse(lon0, ref.data(), back.data(), n), 0);
    std::vector<double> ref_back = ref;
    pj.run(ref_back, PJ_INV);
    expect_angles(back, ref_back, 1e-9);
  }
}

TEST(ordane_proj_ortho, AgreesWithProjOnTheVisibleSide) {
  for (const double lat0 : {0.0, 45.0, -30.0}) {
    const std::string def = "+proj=ortho +R=6378137 +lon_0=20 +lat_0=" + num(lat0);
    SCOPED_TRACE(def);
    Proj pj(def);
    ASSERT_TRUE(pj.ok());
    std::vector<double> all = sample(41, 4000, 20, 180, -89, 89), ll;
    std::vector<uint8_t> vis(all.size() / 2);
    std::vector<double> tmp(all.size());
    ASSERT_EQ(ordane_proj_ortho_forward(20, lat0, all.data(), tmp.data(),
                                        static_cast<int64_t>(vis.size()), vis.data()),
              0);
    for (size_t i = 0; i < vis.size(); ++i) {
      // Away from the rim, where the inverse is well conditioned.
      if (vis[i] && std::hypot(tmp[2 * i], tmp[2 * i + 1]) < 0.99 * 6378137) {
        ll.push_back(all[2 * i]);
        ll.push_back(all[2 * i + 1]);
      }
    }
    const int64_t n = static_cast<int64_t>(ll.size() / 2);
    std::vector<double> ours(ll.size());
    ASSERT_EQ(ordane_proj_ortho_forward(20, lat0, ll.data(), ours.data(), n, nullptr), 0);
    std::vector<double> ref = ll;
    for (double& v : ref) v *= kD2R;
    pj.run(ref, PJ_FWD);
    expect_plane(ours, ref, 1e-6);
    std::vector<double> back(ll.size());
    ASSERT_EQ(ordane_proj_ortho_inverse(20, lat0, ref.data(), back.data(), n), 0);
    std::vector<double> ref_back = ref;
    pj.run(ref_back, PJ_INV);
    // PROJ's longitudes are wrapped into +-180.
    for (size_t i = 0; i < back.size(); i += 2) {
      double d = std::fmod(back[i] - ref_back[i] * kR2D, 360.0);
      if (d > 180) d -= 360;
      if (d < -180) d += 360;
      back[i] = ref_back[i] * kR2D + d;
    }
    expect_angles(back, ref_back, 1e-9);
  }
}

}  // namespace
