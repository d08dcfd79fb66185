// Per-point projections of the cartography exports: set-up records built
// once per call, then pure functions of one point, with no branches that
// depend on other points, so that each loop over an array can be turned
// into lane-wise vector code later without changing its results' form.
//
// The conic set-ups repeat the forward exports' formulas (same constants,
// same order) so that the inverses undo exactly what the forwards compute;
// the forwards here (used by densification) are the scalar transcription
// with the platform's libm, within the last bits of the exports' results.
#ifndef ORDANE_GEO_CARTO_PROJECTIONS_H
#define ORDANE_GEO_CARTO_PROJECTIONS_H

#include <cmath>
#include <cstdint>
#include <limits>

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

// Inverse: rho and theta from the plane point (the sign of n orients the
// cone), t = (rho / RF)^(1/n), and the latitude from the usual fixed-point
// iteration phi = pi/2 - 2 atan(t ((1 - e sin phi) / (1 + e sin phi))^(e/2)),
// which converges to the last bit in a handful of steps.
inline void lcc_inverse(const Lcc& c, double x, double y, double* lon, double* lat) {
  const double dx = x - c.x0;
  const double dy = c.rho0 - y;
  const double sgn = c.n < 0 ? -1.0 : 1.0;
  const double rho = std::hypot(dx, dy) * sgn;
  const double theta = std::atan2(dx * sgn, dy * sgn);
  const double t = std::pow(rho / c.rf, 1.0 / c.n);
  // The start is the conformal latitude chi turned geodetic by the usual
  // series in e^2 (good to about 1e-11 rad), so one or two steps of the
  // fixed-point iteration finish it. Each step shrinks the error by about
  // e^2 / 2, so once a step is below 1e-13 rad the next one is below 1e-15:
  // stop there (waiting for a zero step could spin on the last bit).
  const double chi = kHalfPi - 2.0 * std::atan(t);
  const double s2 = std::sin(2.0 * chi), c2 = std::cos(2.0 * chi);
  const double s4 = 2.0 * s2 * c2, c4 = c2 * c2 - s2 * s2;
  const double s6 = s4 * c2 + c4 * s2, s8 = 2.0 * s4 * c4;
  const double e4 = kE2 * kE2, e6 = e4 * kE2, e8 = e4 * e4;
  double phi = chi + (kE2 / 2 + 5 * e4 / 24 + e6 / 12 + 13 * e8 / 360) * s2 +
               (7 * e4 / 48 + 29 * e6 / 240 + 811 * e8 / 11520) * s4 +
               (7 * e6 / 120 + 81 * e8 / 1120) * s6 + (4279 * e8 / 161280) * s8;
  if (!std::isfinite(phi)) phi = chi;
  for (int i = 0; i < 15; ++i) {
    const double s = std::sin(phi);
    const double next =
        kHalfPi - 2.0 * std::atan(t * std::pow((1.0 - kE * s) / (1.0 + kE * s), kHalfE));
    const double step = std::fabs(next - phi);
    phi = next;
    if (!(step > 1e-13)) break;
  }
  *lon = (theta / c.n + c.lam0) * kR2D;
  *lat = phi * kR2D;
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

// Inverse: sin phi = (A - (rho / k)^2) / 2n, clamped into [-1, 1] (a point
// beyond the projected disc lands on the pole of its side).
inline void aea_inverse(const Aea& c, double x, double y, double* lon, double* lat) {
  const double dx = x - c.x0;
  const double dy = c.rho0 - y;
  const double sgn = c.n < 0 ? -1.0 : 1.0;
  const double rho = std::hypot(dx, dy);
  const double theta = std::atan2(dx * sgn, dy * sgn);
  const double q = rho / c.k;
  double s = (c.a - q * q) / (2.0 * c.n);
  if (s > 1.0) s = 1.0;
  if (s < -1.0) s = -1.0;
  *lon = (theta / c.n + c.lam0) * kR2D;
  *lat = std::asin(s) * kR2D;
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

inline void ortho_inverse(const Ortho& c, double x, double y, double* lon, double* lat) {
  const double rho = std::hypot(x, y);
  double q = rho / kR;
  if (!(q <= 1.0 + 1e-12)) {
    *lon = std::numeric_limits<double>::quiet_NaN();
    *lat = std::numeric_limits<double>::quiet_NaN();
    return;
  }
  if (q > 1.0) q = 1.0;
  if (rho == 0.0) {
    *lon = c.lon0;
    *lat = std::asin(c.sin_phi0) * kR2D;
    return;
  }
  const double sin_c = q;
  const double cos_c = std::sqrt((1.0 - q) * (1.0 + q));
  double s = cos_c * c.sin_phi0 + y * sin_c * c.cos_phi0 / rho;
  if (s > 1.0) s = 1.0;
  if (s < -1.0) s = -1.0;
  const double dlam = std::atan2(x * sin_c, rho * cos_c * c.cos_phi0 - y * sin_c * c.sin_phi0);
  *lon = c.lon0 + dlam * kR2D;
  *lat = std::asin(s) * kR2D;
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

inline void eqearth_inverse(double lon0, double x, double y, double* lon, double* lat) {
  const double yr = y / kR;
  // The pole line: y of psi = pi/3.
  const double psi_max = 1.0471975511965976;
  const double pm2 = psi_max * psi_max, pm6 = pm2 * pm2 * pm2;
  const double y_max = psi_max * (kEeA1 + kEeA2 * pm2 + pm6 * (kEeA3 + kEeA4 * pm2));
  if (!(std::fabs(yr) <= y_max * (1.0 + 1e-12))) {
    *lon = std::numeric_limits<double>::quiet_NaN();
    *lat = std::numeric_limits<double>::quiet_NaN();
    return;
  }
  double psi = yr / kEeA1;
  double dfdp = kEeA1;
  for (int i = 0; i < 20; ++i) {
    const double p2 = psi * psi;
    const double p6 = p2 * p2 * p2;
    const double f = psi * (kEeA1 + kEeA2 * p2 + p6 * (kEeA3 + kEeA4 * p2)) - yr;
    dfdp = kEeA1 + 3.0 * kEeA2 * p2 + p6 * (7.0 * kEeA3 + 9.0 * kEeA4 * p2);
    const double step = f / dfdp;
    psi -= step;
    // Newton converges quadratically: a step below 1e-11 leaves an error
    // far below the last bit.
    if (!(std::fabs(step) > 1e-11)) break;
  }
  if (psi > psi_max) psi = psi_max;
  if (psi < -psi_max) psi = -psi_max;
  const double p2 = psi * psi;
  const double p6 = p2 * p2 * p2;
  dfdp = kEeA1 + 3.0 * kEeA2 * p2 + p6 * (7.0 * kEeA3 + 9.0 * kEeA4 * p2);
  double s = std::sin(psi) / kEeM;
  if (s > 1.0) s = 1.0;
  if (s < -1.0) s = -1.0;
  *lon = lon0 + kEeM * (x / kR) * dfdp / std::cos(psi) * kR2D;
  *lat = std::asin(s) * kR2D;
}

}  // namespace carto
}  // namespace ordane

#endif  // ORDANE_GEO_CARTO_PROJECTIONS_H
