// Per-point forward projections of the cutting and densifying exports: set-up
// records built once per call, then pure functions of one point.
//
// The conic set-ups repeat the forward exports' formulas (same constants,
// same order); the forwards here (used by densification and the horizon
// clip) are the scalar transcription with the platform's libm, within the
// last bits of the exports' results. The array exports of these projections
// and their inverses run on the vector kernels (kernels/projection_kernels.h).
#ifndef ORDANE_GEO_CARTO_PROJECTIONS_H
#define ORDANE_GEO_CARTO_PROJECTIONS_H

#include <cmath>
#include <cstdint>

namespace ordane {
namespace carto {

constexpr double kD2R = 0.017453292519943295;
constexpr double kR2D = 57.29577951308232;
constexpr double kR = 6378137.0;
constexpr double kMercX = 111319.49079327357;
constexpr double kMercLatLimit = 85.0511287798;
constexpr double kQuarterPi = 0.7853981633974483;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kE2 = 0.006694379990141316;
constexpr double kE = 0.08181919084262149;
constexpr double kHalfE = 0.04090959542131074;
constexpr double kConicPolarLimit = 1.5707953267948966;

// --- Lambert conformal conic (ellipsoid) ---------------------------------

struct Lcc {
  double lam0, n, rf, rho0, x0;
};

inline double lcc_t(double phi) {
  const double s = std::sin(phi);
  return std::tan(kQuarterPi - phi / 2.0) / std::pow((1.0 - kE * s) / (1.0 + kE * s), kHalfE);
}

inline Lcc lcc_setup(double lat1, double lat2, double lat0, double lon0, double fe, double fn) {
  const double p1 = lat1 * kD2R, p2 = lat2 * kD2R, p0 = lat0 * kD2R;
  const double s1 = std::sin(p1), s2 = std::sin(p2);
  const double m1 = std::cos(p1) / std::sqrt(1.0 - kE2 * s1 * s1);
  const double m2 = std::cos(p2) / std::sqrt(1.0 - kE2 * s2 * s2);
  const double t1 = lcc_t(p1), t2 = lcc_t(p2), t0 = lcc_t(p0);
  double n;
  if (std::fabs(p1 - p2) > 1e-10) {
    n = (std::log(m1) - std::log(m2)) / (std::log(t1) - std::log(t2));
  } else {
    n = s1;
  }
  const double rf = m1 / (std::pow(t1, n) * n) * kR;
  Lcc c;
  c.lam0 = lon0 * kD2R;
  c.n = n;
  c.rf = rf;
  c.rho0 = std::pow(t0, n) * rf + fn;
  c.x0 = fe;
  return c;
}

inline void lcc_forward(const Lcc& c, double lon, double lat, double* x, double* y) {
  const double dlam = lon * kD2R - c.lam0;
  double phi = lat * kD2R;
  if (std::fabs(phi) > kConicPolarLimit) phi = phi > 0 ? kConicPolarLimit : -kConicPolarLimit;
  const double s = std::sin(phi);
  const double t =
      std::tan(phi * -0.5 + kQuarterPi) / std::pow((1.0 - kE * s) / (1.0 + kE * s), kHalfE);
  const double rho = std::pow(t, c.n) * c.rf;
  const double theta = dlam * c.n;
  *x = std::sin(theta) * rho + c.x0;
  *y = c.rho0 - rho * std::cos(theta);
}

// --- Albers equal-area conic (sphere) ------------------------------------

struct Aea {
  double lam0, n, minus_2n, a, k, rho0, x0;
};

inline double clamp0(double v) { return v > 0 ? v : 0.0; }

inline Aea aea_setup(double lat1, double lat2, double lat0, double lon0, double fe, double fn) {
  const double p1 = lat1 * kD2R, p2 = lat2 * kD2R, p0 = lat0 * kD2R;
  const double n = (std::sin(p1) + std::sin(p2)) * 0.5;
  const double a = std::cos(p1) * std::cos(p1) + 2.0 * n * std::sin(p1);
  const double k = kR / n;
  Aea c;
  c.lam0 = lon0 * kD2R;
  c.n = n;
  c.minus_2n = -2.0 * n;
  c.a = a;
  c.k = k;
  c.rho0 = std::sqrt(clamp0(a - 2.0 * n * std::sin(p0))) * k + fn;
  c.x0 = fe;
  return c;
}

inline void aea_forward(const Aea& c, double lon, double lat, double* x, double* y) {
  const double dlam = lon * kD2R - c.lam0;
  const double phi = lat * kD2R;
  const double rho = std::sqrt(clamp0(std::sin(phi) * c.minus_2n + c.a)) * c.k;
  const double theta = dlam * c.n;
  *x = std::sin(theta) * rho + c.x0;
  *y = c.rho0 - std::cos(theta) * rho;
}

// --- Web Mercator with a central meridian (densification only) ----------

inline void merc_forward(double lon0, double fe, double fn, double lon, double lat, double* x,
                         double* y) {
  double phi = lat;
  if (phi > kMercLatLimit) {
    phi = kMercLatLimit;
  } else if (phi < -kMercLatLimit) {
    phi = -kMercLatLimit;
  }
  *x = (lon - lon0) * kMercX + fe;
  *y = std::log(std::tan(phi * kD2R * 0.5 + kQuarterPi)) * kR + fn;
}

// --- Orthographic (sphere) ------------------------------------------------

struct Ortho {
  double lon0, lam0, sin_phi0, cos_phi0;
};

inline Ortho ortho_setup(double lon0, double lat0) {
  Ortho c;
  c.lon0 = lon0;
  c.lam0 = lon0 * kD2R;
  c.sin_phi0 = std::sin(lat0 * kD2R);
  c.cos_phi0 = std::cos(lat0 * kD2R);
  return c;
}

// Cosine of the angular distance from the centre: >= 0 on the visible side.
inline double ortho_cos_c(const Ortho& c, double lon, double lat) {
  const double phi = lat * kD2R;
  const double dlam = lon * kD2R - c.lam0;
  return c.sin_phi0 * std::sin(phi) + c.cos_phi0 * std::cos(phi) * std::cos(dlam);
}

inline bool ortho_forward(const Ortho& c, double lon, double lat, double* x, double* y) {
  const double phi = lat * kD2R;
  const double dlam = lon * kD2R - c.lam0;
  const double sp = std::sin(phi), cp = std::cos(phi), cl = std::cos(dlam);
  *x = kR * cp * std::sin(dlam);
  *y = kR * (c.cos_phi0 * sp - c.sin_phi0 * cp * cl);
  return c.sin_phi0 * sp + c.cos_phi0 * cp * cl >= 0.0;
}

// --- Equal Earth (sphere) -------------------------------------------------

constexpr double kEeA1 = 1.340264;
constexpr double kEeA2 = -0.081106;
constexpr double kEeA3 = 0.000893;
constexpr double kEeA4 = 0.003796;
constexpr double kEeM = 0.8660254037844386;  // sqrt(3) / 2

inline void eqearth_forward(double lon0, double fe, double fn, double lon, double lat, double* x,
                            double* y) {
  const double lam = (lon - lon0) * kD2R;
  const double psi = std::asin(kEeM * std::sin(lat * kD2R));
  const double p2 = psi * psi;
  const double p6 = p2 * p2 * p2;
  *x = kR * lam * std::cos(psi) /
           (kEeM * (kEeA1 + 3.0 * kEeA2 * p2 + p6 * (7.0 * kEeA3 + 9.0 * kEeA4 * p2))) +
       fe;
  *y = kR * psi * (kEeA1 + kEeA2 * p2 + p6 * (kEeA3 + kEeA4 * p2)) + fn;
}

}  // namespace carto
}  // namespace ordane

#endif  // ORDANE_GEO_CARTO_PROJECTIONS_H
