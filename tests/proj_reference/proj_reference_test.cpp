// The projections compared with PROJ on a few thousand points per
// projection over varied parameters.
//
// Every PROJ definition carries +over: without it PROJ wraps longitudes (and
// the conics' longitude difference) into +-180 degrees, which these
// projections deliberately do not. PROJ's Mercator has no latitude clamp, so
// Mercator points stay inside +-85.05 degrees; conic points stay away from
// the poles, where the conic limit applies.
//
// Plane coordinates must agree to 1e-6 m, or to 1e-13 of the coordinate's
// magnitude where that is larger (conic coordinates far from the standard
// parallels reach 1e8 m); Mercator inverse latitudes and longitudes to 1e-9
// degrees.

#include <gtest/gtest.h>
#include <proj.h>
#include <quadmath.h>

#include <algorithm>
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
constexpr double kPiR = 3.141592653589793 * 6378137.0;

// ---------------------------------------------------------------------------
// PROJ handles
// ---------------------------------------------------------------------------

class ProjOperation {
 public:
  explicit ProjOperation(const std::string& definition)
      : ctx_(proj_context_create()), pj_(proj_create(ctx_, definition.c_str())) {}
  ~ProjOperation() {
    proj_destroy(pj_);
    proj_context_destroy(ctx_);
  }
  ProjOperation(const ProjOperation&) = delete;
  ProjOperation& operator=(const ProjOperation&) = delete;

  bool ok() const { return pj_ != nullptr; }

  // Transforms interleaved pairs in place. PROJ's angular side is radians.
  void run(std::vector<double>& pairs, PJ_DIRECTION dir) const {
    const size_t n = pairs.size() / 2;
    const size_t stride = 2 * sizeof(double);
    proj_trans_generic(pj_, dir, pairs.data(), stride, n, pairs.data() + 1, stride, n, nullptr, 0,
                       0, nullptr, 0, 0);
  }

 private:
  PJ_CONTEXT* ctx_;
  PJ* pj_;
};

std::string num(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

// ---------------------------------------------------------------------------
// Sampling and comparison
// ---------------------------------------------------------------------------

std::vector<double> random_pairs(uint64_t seed, size_t n, double x0, double x1, double y0,
                                 double y1) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> ux(x0, x1), uy(y0, y1);
  std::vector<double> v;
  v.reserve(2 * n);
  for (size_t i = 0; i < n; ++i) {
    v.push_back(ux(rng));
    v.push_back(uy(rng));
  }
  return v;
}

std::vector<double> to_radians(std::vector<double> v) {
  for (double& d : v) d *= kD2R;
  return v;
}

// The worst disagreement of one comparison, for the log.
struct Agreement {
  double worst_abs = 0;    // largest |ordane - PROJ|, metres or degrees
  double worst_ratio = 0;  // largest |ordane - PROJ| / tolerance
  int arbitrated = 0;      // points settled by the extended-precision evaluation
};

void log_agreement(const char* what, const Agreement& a, size_t values) {
  std::printf("%s: %zu values, worst |ordane - PROJ| %.3g, %.3g of the tolerance, %d arbitrated\n",
              what, values, a.worst_abs, a.worst_ratio, a.arbitrated);
}

double plane_tolerance(double reference) { return std::max(1e-6, 1e-13 * std::fabs(reference)); }

// Compares plane coordinates under the metric tolerance. Where PROJ and
// ordane disagree by more, an evaluation of the same formulas in extended
// precision ("arbiter", pairs like "ours") decides: ordane must then lie
// within the tolerance of it and closer to it than PROJ does, which shows
// that the excess is PROJ's rounding. Such points must stay rare.
Agreement expect_plane_agreement(const std::vector<double>& lonlat, const std::vector<double>& ours,
                                 const std::vector<double>& proj,
                                 const std::vector<__float128>& arbiter) {
  Agreement a;
  EXPECT_EQ(ours.size(), proj.size());
  EXPECT_EQ(ours.size(), arbiter.size());
  int failures = 0;
  for (size_t i = 0; i < ours.size() && i < proj.size() && i < arbiter.size(); ++i) {
    const double tol = plane_tolerance(proj[i]);
    const double diff = std::fabs(ours[i] - proj[i]);
    a.worst_abs = std::max(a.worst_abs, diff);
    a.worst_ratio = std::max(a.worst_ratio, diff / tol);
    if (diff <= tol) continue;
    const __float128 ours_err = fabsq(ours[i] - arbiter[i]);
    const __float128 proj_err = fabsq(proj[i] - arbiter[i]);
    if (ours_err <= tol && ours_err < proj_err) {
      ++a.arbitrated;
      continue;
    }
    if (failures++ < 5) {
      ADD_FAILURE() << "point (" << num(lonlat[i & ~size_t{1}]) << ", " << num(lonlat[i | 1])
                    << ") " << (i % 2 ? "y" : "x") << ": ordane " << num(ours[i]) << ", PROJ "
                    << num(proj[i]) << ", diff " << diff << " > " << tol << ", extended precision "
                    << num(static_cast<double>(arbiter[i]));
    }
  }
  EXPECT_EQ(failures, 0);
  EXPECT_LE(a.arbitrated * 200, static_cast<int>(ours.size())) << "more than 0.5 % arbitrated";
  return a;
}

struct Conic {
  double lat1, lat2, lat0, lon0, fe, fn;
  // Give PROJ only lat_1. Its Lambert then takes lat_2 = lat_1; its Albers
  // would take lat_2 = 0, so Albers always states both.
  bool one_parallel;
};

std::string conic_definition(const char* proj, const char* earth, const Conic& c) {
  std::string d = std::string("+proj=") + proj + " " + earth + " +lat_1=" + num(c.lat1);
  if (!c.one_parallel) d += " +lat_2=" + num(c.lat2);
  d += " +lat_0=" + num(c.lat0) + " +lon_0=" + num(c.lon0) + " +x_0=" + num(c.fe) +
       " +y_0=" + num(c.fn) + " +over";
  return d;
}

// Points spread over a wide longitude window (beyond +-180 around the
// central meridian) and the latitudes from lat_min to lat_max.
std::vector<double> conic_points(const Conic& c, uint64_t seed, double lat_min, double lat_max) {
  return random_pairs(seed, 1000, c.lon0 - 250, c.lon0 + 250, lat_min, lat_max);
}

// ---------------------------------------------------------------------------
// The same formulas and constants in quadruple precision (__float128), used
// only to tell whose rounding a disagreement comes from.
// ---------------------------------------------------------------------------

using LD = __float128;

// Quadruple precision is computed in software (libquadmath), so the arbiter
// keeps its precision everywhere, also under valgrind, which evaluates x87
// long double arithmetic with only 64-bit doubles' precision.
namespace xp {
inline LD sin(LD v) { return sinq(v); }
inline LD cos(LD v) { return cosq(v); }
inline LD tan(LD v) { return tanq(v); }
inline LD sqrt(LD v) { return sqrtq(v); }
inline LD log(LD v) { return logq(v); }
inline LD pow(LD a, LD b) { return powq(a, b); }
inline LD fabs(LD v) { return fabsq(v); }
}  // namespace xp

constexpr LD kD2RL = 0.017453292519943295;  // the library's double constants, widened
constexpr LD kRL = 6378137.0;
constexpr LD kQuarterPiL = 0.7853981633974483;
constexpr LD kE2L = 0.006694379990141316;
constexpr LD kEL = 0.08181919084262149;
constexpr LD kHalfEL = 0.04090959542131074;

std::vector<LD> arbiter_merc(const std::vector<double>& ll) {
  std::vector<LD> out;
  for (size_t i = 0; i < ll.size(); i += 2) {
    out.push_back(ll[i] * static_cast<LD>(111319.49079327357));
    out.push_back(xp::log(xp::tan(ll[i + 1] * kD2RL * LD(0.5) + kQuarterPiL)) * kRL);
  }
  return out;
}

LD lcc_m_ld(LD phi) { return xp::cos(phi) / xp::sqrt(1 - kE2L * xp::sin(phi) * xp::sin(phi)); }
LD lcc_t_ld(LD phi) {
  return xp::tan(kQuarterPiL - phi / 2) /
         xp::pow((1 - kEL * xp::sin(phi)) / (1 + kEL * xp::sin(phi)), kHalfEL);
}

std::vector<LD> arbiter_lcc(const Conic& c, const std::vector<double>& ll) {
  const LD phi1 = c.lat1 * kD2RL, phi2 = c.lat2 * kD2RL, phi0 = c.lat0 * kD2RL;
  const LD n = xp::fabs(phi1 - phi2) > LD(1e-10)
                   ? (xp::log(lcc_m_ld(phi1)) - xp::log(lcc_m_ld(phi2))) /
                         (xp::log(lcc_t_ld(phi1)) - xp::log(lcc_t_ld(phi2)))
                   : xp::sin(phi1);
  const LD rf = lcc_m_ld(phi1) / (xp::pow(lcc_t_ld(phi1), n) * n) * kRL;
  const LD rho0 = xp::pow(lcc_t_ld(phi0), n) * rf + c.fn;
  std::vector<LD> out;
  for (size_t i = 0; i < ll.size(); i += 2) {
    const LD theta = (ll[i] * kD2RL - c.lon0 * kD2RL) * n;
    const LD rho = xp::pow(lcc_t_ld(ll[i + 1] * kD2RL), n) * rf;
    out.push_back(xp::sin(theta) * rho + c.fe);
    out.push_back(rho0 - rho * xp::cos(theta));
  }
  return out;
}

std::vector<LD> arbiter_aea(const Conic& c, const std::vector<double>& ll) {
  const LD phi1 = c.lat1 * kD2RL, phi2 = c.lat2 * kD2RL, phi0 = c.lat0 * kD2RL;
  const LD n = (xp::sin(phi1) + xp::sin(phi2)) / 2;
  const LD a = xp::cos(phi1) * xp::cos(phi1) + 2 * n * xp::sin(phi1);
  const LD rho0 = xp::sqrt(a - 2 * n * xp::sin(phi0)) * kRL / n + c.fn;
  std::vector<LD> out;
  for (size_t i = 0; i < ll.size(); i += 2) {
    const LD theta = (ll[i] * kD2RL - c.lon0 * kD2RL) * n;
    const LD rho = xp::sqrt(a - 2 * n * xp::sin(ll[i + 1] * kD2RL)) * kRL / n;
    out.push_back(xp::sin(theta) * rho + c.fe);
    out.push_back(rho0 - xp::cos(theta) * rho);
  }
  return out;
}

// ---------------------------------------------------------------------------
// Web Mercator
// ---------------------------------------------------------------------------

TEST(ordane_proj_3857_forward, AgreesWithProj) {
  ProjOperation merc("+proj=merc +R=6378137 +over");
  ASSERT_TRUE(merc.ok());
  std::vector<double> ll = random_pairs(1, 3000, -540, 540, -85.05, 85.05);
  for (double lat : {0.0, 1e-9, -45.0, 85.05, -85.05}) {
    ll.push_back(180);
    ll.push_back(lat);
  }
  std::vector<double> ours(ll.size());
  ASSERT_EQ(ordane_proj_3857_forward(ll.data(), ours.data(), static_cast<int64_t>(ll.size() / 2)),
            0);
  std::vector<double> ref = to_radians(ll);
  merc.run(ref, PJ_FWD);
  log_agreement("Mercator forward", expect_plane_agreement(ll, ours, ref, arbiter_merc(ll)),
                ours.size());
}

TEST(ordane_proj_3857_inverse, AgreesWithProj) {
  ProjOperation merc("+proj=merc +R=6378137 +over");
  ASSERT_TRUE(merc.ok());
  // x over three world widths; y up to the square world's edge and a little
  // beyond (PROJ has no clamp on the inverse either).
  std::vector<double> xy = random_pairs(2, 3000, -3 * kPiR, 3 * kPiR, -1.2 * kPiR, 1.2 * kPiR);
  std::vector<double> ours(xy.size());
  ASSERT_EQ(ordane_proj_3857_inverse(xy.data(), ours.data(), static_cast<int64_t>(xy.size() / 2)),
            0);
  std::vector<double> ref = xy;
  merc.run(ref, PJ_INV);
  int failures = 0;
  double worst = 0;
  for (size_t i = 0; i < ours.size(); ++i) {
    const double deg = ref[i] * kR2D;
    const double diff = std::fabs(ours[i] - deg);
    worst = std::max(worst, diff);
    if (!(diff <= 1e-9) && failures++ < 5) {
      ADD_FAILURE() << "point (" << num(xy[i & ~size_t{1}]) << ", " << num(xy[i | 1])
                    << "): ordane " << num(ours[i]) << ", PROJ " << num(deg);
    }
  }
  EXPECT_EQ(failures, 0);
  std::printf("Mercator inverse: %zu values, worst |ordane - PROJ| %.3g degrees\n", ours.size(),
              worst);
}

// ---------------------------------------------------------------------------
// Lambert conformal conic, WGS 84
// ---------------------------------------------------------------------------

const Conic kLccCases[] = {
    {33, 45, 23, -96, 0, 0, false},             // US, two parallels
    {49, 44, 46.5, 3, 700000, 6600000, false},  // France, parallels north first
    {-30, -60, -45, 140, 1e5, -2e5, false},     // southern cone
    {40, 40, 40, 10, 500000, 300000, true},     // one standard parallel
    {-35, -35, -20, -60, -250000, 1e6, true},   // one southern parallel
    {60, 75, 70, -40, 0, 0, false},             // high latitudes
    {5, 25, 15, 100, 3e5, 3e5, false},          // low latitudes, flat cone
};

TEST(ordane_proj_lcc_forward, AgreesWithProj) {
  uint64_t seed = 10;
  for (const Conic& c : kLccCases) {
    const std::string def = conic_definition("lcc", "+ellps=WGS84", c);
    SCOPED_TRACE(def);
    ProjOperation lcc(def);
    ASSERT_TRUE(lcc.ok());
    // The cone opens towards the pole opposite its apex, where coordinates
    // grow fastest; keep one degree off both poles.
    std::vector<double> ll = conic_points(c, seed++, -89, 89);
    ll.push_back(c.lon0);
    ll.push_back(c.lat0);
    std::vector<double> ours(ll.size());
    ASSERT_EQ(ordane_proj_lcc_forward(c.lat1, c.lat2, c.lat0, c.lon0, c.fe, c.fn, ll.data(),
                                      ours.data(), static_cast<int64_t>(ll.size() / 2)),
              0);
    std::vector<double> ref = to_radians(ll);
    lcc.run(ref, PJ_FWD);
    log_agreement(def.c_str(), expect_plane_agreement(ll, ours, ref, arbiter_lcc(c, ll)),
                  ours.size());
  }
}

// ---------------------------------------------------------------------------
// Albers equal-area conic, sphere
// ---------------------------------------------------------------------------

const Conic kAeaCases[] = {
    {29.5, 45.5, 23, -96, 0, 0, false},         // US
    {-18, -36, 0, 132, 1e5, 2e5, false},        // Australia
    {50, 70, 40, 10, 4321000, 3210000, false},  // north, origin outside the parallels
    {37, 37, 37, -120, 0, -4e6, false},         // one standard parallel
    {60, 80, 75, -100, 0, 0, false},            // high latitudes
    {10, -5, 0, 25, 0, 0, false},               // parallels across the equator
};

TEST(ordane_proj_albers_forward, AgreesWithProj) {
  uint64_t seed = 100;
  for (const Conic& c : kAeaCases) {
    const std::string def = conic_definition("aea", "+R=6378137", c);
    SCOPED_TRACE(def);
    ProjOperation aea(def);
    ASSERT_TRUE(aea.ok());
    std::vector<double> ll = conic_points(c, seed++, -89, 89);
    ll.push_back(c.lon0);
    ll.push_back(c.lat0);
    std::vector<double> ours(ll.size());
    ASSERT_EQ(ordane_proj_albers_forward(c.lat1, c.lat2, c.lat0, c.lon0, c.fe, c.fn, ll.data(),
                                         ours.data(), static_cast<int64_t>(ll.size() / 2)),
              0);
    std::vector<double> ref = to_radians(ll);
    aea.run(ref, PJ_FWD);
    log_agreement(def.c_str(), expect_plane_agreement(ll, ours, ref, arbiter_aea(c, ll)),
                  ours.size());
  }
}

}  // namespace
