// Map projections: spherical Web Mercator (forward and inverse), Lambert
// conformal conic on the WGS 84 ellipsoid and Albers equal-area conic on the
// sphere, each applied to a whole Point array.
//
// Callers compare outputs bit for bit across platforms, so every constant is
// a fixed literal and every expression is written in the order it must be
// evaluated (the build disables floating-point contraction). Quantities that
// depend only on the projection parameters are computed once per call into a
// small record; the per-pair kernels are pure functions of that record and one
// pair. Each export checks its arguments and loops, reading both numbers of a
// pair before writing either, so input and output may be the same array.

#include <cmath>
#include <cstdint>

#include "ordane.h"
#include "units.h"

namespace {

using quillon::kDegToRad;
using quillon::kRadToDeg;

// ============================================================================
// Constants
// ============================================================================

constexpr double kEarthRadius = 6378137.0;  // sphere radius and WGS 84 semi-major axis
// Metres per degree of longitude on the Mercator sphere: the double product
// kEarthRadius * kDegToRad, spelled out so x is one multiplication.
constexpr double kMercMetresPerDegree = 111319.49079327357;
// Latitude at which the square Web Mercator world ends (y = pi * R).
constexpr double kMercMaxLatitude = 85.0511287798;
constexpr double kQuarterPi = 0.7853981633974483;
constexpr double kHalfPi = 1.5707963267948966;

constexpr double kWgs84E2 = 0.006694379990141316;    // squared eccentricity
constexpr double kWgs84E = 0.08181919084262149;      // eccentricity
constexpr double kWgs84HalfE = 0.04090959542131074;  // eccentricity / 2
// Conic latitudes are held 1e-6 rad short of the poles, where the isometric
// factor t reaches 0 (north) or infinity (south).
constexpr double kConicPolarLimit = 1.5707953267948966;
// Standard parallels closer than this count as one (tangent cone).
constexpr double kEqualParallels = 1e-10;

struct XY {
  double x;
  double y;
};

// ============================================================================
// Web Mercator (sphere)
// ============================================================================

inline XY merc_s_forward(double lon, double lat) {
  // Latitude clamp in degrees; NaN fails both tests and passes through.
  // Longitude is deliberately not wrapped: 540 degrees lands three times as
  // far east as 180.
  if (lat > kMercMaxLatitude) {
    lat = kMercMaxLatitude;
  } else if (lat < -kMercMaxLatitude) {
    lat = -kMercMaxLatitude;
  }
  XY out;
  out.x = lon * kMercMetresPerDegree;
  // Multiply by the degree factor first, then halve, then add pi/4.
  out.y = std::log(std::tan(lat * kDegToRad * 0.5 + kQuarterPi)) * kEarthRadius;
  return out;
}

inline XY merc_s_inverse(double x, double y) {
  XY out;
  out.x = (x / kEarthRadius) * kRadToDeg;
  // 2 atan(exp(y/R)) stays within [0, pi], so the latitude needs no clamp;
  // a huge |y| rounds to exactly +-90.
  out.y = (2.0 * std::atan(std::exp(y / kEarthRadius)) - kHalfPi) * kRadToDeg;
  return out;
}

// ============================================================================
// Lambert conformal conic (ellipsoid)
// ============================================================================

// Radius of the parallel divided by the semi-major axis: cos phi / sqrt(1 - e^2 sin^2 phi).
inline double lcc_m(double phi) {
  const double s = std::sin(phi);
  return std::cos(phi) / std::sqrt(1.0 - kWgs84E2 * s * s);
}

// Isometric-latitude factor tan(pi/4 - phi/2) / ((1 - e sin phi) / (1 + e sin phi))^(e/2).
// Written as phi * -0.5 + pi/4, which rounds exactly like pi/4 - phi/2.
inline double lcc_t(double phi) {
  const double es = kWgs84E * std::sin(phi);
  return std::tan(phi * -0.5 + kQuarterPi) / std::pow((1.0 - es) / (1.0 + es), kWgs84HalfE);
}

struct LccParams {
  double lam0;  // central meridian, radians
  double n;     // cone constant
  double rf;    // R * m1 / (t1^n * n)
  double rho0;  // radius at the latitude of origin, plus the false northing
  double x0;    // false easting
};

LccParams lcc_setup(double lat1, double lat2, double lat0, double lon0, double false_easting,
                    double false_northing) {
  const double phi1 = lat1 * kDegToRad;
  const double phi2 = lat2 * kDegToRad;
  const double phi0 = lat0 * kDegToRad;
  LccParams p;
  p.lam0 = lon0 * kDegToRad;
  const double m1 = lcc_m(phi1);
  const double m2 = lcc_m(phi2);
  const double t1 = lcc_t(phi1);
  const double t2 = lcc_t(phi2);
  const double t0 = lcc_t(phi0);
  // Secant cone through both parallels; a tangent cone when they coincide
  // (or when their difference is NaN), which avoids dividing 0 by 0.
  if (std::fabs(phi1 - phi2) > kEqualParallels) {
    p.n = (std::log(m1) - std::log(m2)) / (std::log(t1) - std::log(t2));
  } else {
    p.n = std::sin(phi1);
  }
  p.rf = m1 / (std::pow(t1, p.n) * p.n) * kEarthRadius;
  p.rho0 = std::pow(t0, p.n) * p.rf + false_northing;
  p.x0 = false_easting;
  return p;
}

inline XY lcc_e_forward(const LccParams& p, double lon, double lat) {
  const double dlam = lon * kDegToRad - p.lam0;  // not wrapped into +-pi
  double phi = lat * kDegToRad;
  if (std::fabs(phi) > kConicPolarLimit) {
    phi = phi > 0.0 ? kConicPolarLimit : -kConicPolarLimit;
  }
  const double rho = std::pow(lcc_t(phi), p.n) * p.rf;
  const double theta = dlam * p.n;
  XY out;
  out.x = std::sin(theta) * rho + p.x0;
  out.y = p.rho0 - rho * std::cos(theta);
  return out;
}

// ============================================================================
// Albers equal-area conic (sphere)
// ============================================================================

// v when positive, else 0. Rounding can make the radicand slightly negative
// near a pole; NaN also maps to 0, putting that point on the cone apex.
inline double clamp0(double v) { return v > 0.0 ? v : 0.0; }

struct AeaParams {
  double lam0;      // central meridian, radians
  double n;         // cone constant
  double minus_2n;  // -2n, exact
  double a;         // cos^2 phi1 + 2n sin phi1
  double k;         // R / n
  double rho0;      // radius at the latitude of origin, plus the false northing
  double x0;        // false easting
};

AeaParams aea_setup(double lat1, double lat2, double lat0, double lon0, double false_easting,
                    double false_northing) {
  const double phi1 = lat1 * kDegToRad;
  const double phi2 = lat2 * kDegToRad;
  const double phi0 = lat0 * kDegToRad;
  AeaParams p;
  p.lam0 = lon0 * kDegToRad;
  const double sin_phi1 = std::sin(phi1);
  const double cos_phi1 = std::cos(phi1);
  p.n = (sin_phi1 + std::sin(phi2)) * 0.5;
  const double two_n = 2.0 * p.n;
  p.minus_2n = -two_n;
  p.a = cos_phi1 * cos_phi1 + two_n * sin_phi1;
  p.k = kEarthRadius / p.n;
  p.rho0 = std::sqrt(clamp0(p.a - two_n * std::sin(phi0))) * p.k + false_northing;
  p.x0 = false_easting;
  return p;
}

inline XY aea_s_forward(const AeaParams& p, double lon, double lat) {
  const double dlam = lon * kDegToRad - p.lam0;
  const double phi = lat * kDegToRad;  // no latitude clamp: the radicand clamp suffices
  const double rho = std::sqrt(clamp0(std::sin(phi) * p.minus_2n + p.a)) * p.k;
  const double theta = dlam * p.n;
  XY out;
  out.x = std::sin(theta) * rho + p.x0;
  out.y = p.rho0 - std::cos(theta) * rho;
  return out;
}

// Applies a per-pair kernel to count pairs. Both input numbers are read
// before anything is written, so in and out may be the same array.
template <typename Kernel>
inline void for_each_pair(const double* in, double* out, int64_t count, Kernel kernel) {
  for (int64_t i = 0; i < count; ++i, in += 2, out += 2) {
    const double a = in[0];
    const double b = in[1];
    const XY r = kernel(a, b);
    out[0] = r.x;
    out[1] = r.y;
  }
}

bool bad_arrays(const double* in, const double* out, int64_t count) {
  return in == nullptr || out == nullptr || count <= 0;
}

}  // namespace

// ============================================================================
// Exports
// ============================================================================

extern "C" ORDANE_API int32_t ordane_proj_3857_forward(const double* lonlat, double* xy,
                                                       int64_t count) {
  if (bad_arrays(lonlat, xy, count)) return ORDANE_ERR_INVALID_ARGUMENT;
  for_each_pair(lonlat, xy, count, [](double lon, double lat) { return merc_s_forward(lon, lat); });
  return ORDANE_OK;
}

extern "C" ORDANE_API int32_t ordane_proj_3857_inverse(const double* xy, double* lonlat,
                                                       int64_t count) {
  if (bad_arrays(xy, lonlat, count)) return ORDANE_ERR_INVALID_ARGUMENT;
  for_each_pair(xy, lonlat, count, [](double x, double y) { return merc_s_inverse(x, y); });
  return ORDANE_OK;
}

extern "C" ORDANE_API int32_t ordane_proj_lcc_forward(double lat1, double lat2, double lat0,
                                                      double lon0, double false_easting,
                                                      double false_northing, const double* lonlat,
                                                      double* xy, int64_t count) {
  if (bad_arrays(lonlat, xy, count)) return ORDANE_ERR_INVALID_ARGUMENT;
  const LccParams p = lcc_setup(lat1, lat2, lat0, lon0, false_easting, false_northing);
  for_each_pair(lonlat, xy, count,
                [&p](double lon, double lat) { return lcc_e_forward(p, lon, lat); });
  return ORDANE_OK;
}

extern "C" ORDANE_API int32_t ordane_proj_albers_forward(double lat1, double lat2, double lat0,
                                                         double lon0, double false_easting,
                                                         double false_northing,
                                                         const double* lonlat, double* xy,
                                                         int64_t count) {
  if (bad_arrays(lonlat, xy, count)) return ORDANE_ERR_INVALID_ARGUMENT;
  const AeaParams p = aea_setup(lat1, lat2, lat0, lon0, false_easting, false_northing);
  for_each_pair(lonlat, xy, count,
                [&p](double lon, double lat) { return aea_s_forward(p, lon, lat); });
  return ORDANE_OK;
}
