// Map projections, baseline code: the per-call set-up of the conics, the
// scalar transcription of every kernel (the reference and the fallback) and
// the dispatch to the vector kernels.

#include "projection_kernels.h"

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>

#include "cpu_dispatch.h"
#include "units.h"

namespace ordane {
namespace proj {

namespace {

// ============================================================================
// Constants
// ============================================================================

constexpr double kEarthRadius = 6378137.0;  // sphere radius and WGS 84 semi-major axis
// Metres per degree of longitude on the Mercator sphere: the double product
// kEarthRadius * quillon::kDegToRad, spelled out so x is one multiplication.
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

XY merc_s_forward(double lon, double lat) {
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
  out.y = std::log(std::tan(lat * quillon::kDegToRad * 0.5 + kQuarterPi)) * kEarthRadius;
  return out;
}

XY merc_s_inverse(double x, double y) {
  XY out;
  out.x = (x / kEarthRadius) * quillon::kRadToDeg;
  // 2 atan(exp(y/R)) stays within [0, pi], so the latitude needs no clamp;
  // a huge |y| rounds to exactly +-90.
  out.y = (2.0 * std::atan(std::exp(y / kEarthRadius)) - kHalfPi) * quillon::kRadToDeg;
  return out;
}

// ============================================================================
// Lambert conformal conic (ellipsoid)
// ============================================================================

// Radius of the parallel divided by the semi-major axis: cos phi / sqrt(1 - e^2 sin^2 phi).
double lcc_m(double phi) {
  const double s = std::sin(phi);
  return std::cos(phi) / std::sqrt(1.0 - kWgs84E2 * s * s);
}

// Isometric-latitude factor tan(pi/4 - phi/2) / ((1 - e sin phi) / (1 + e sin phi))^(e/2).
// Written as phi * -0.5 + pi/4, which rounds exactly like pi/4 - phi/2.
double lcc_t(double phi) {
  const double es = kWgs84E * std::sin(phi);
  return std::tan(phi * -0.5 + kQuarterPi) / std::pow((1.0 - es) / (1.0 + es), kWgs84HalfE);
}

XY lcc_e_forward(const LccParams& p, double lon, double lat) {
  const double dlam = lon * quillon::kDegToRad - p.lam0;  // not wrapped into +-pi
  double phi = lat * quillon::kDegToRad;
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
double clamp0(double v) { return v > 0.0 ? v : 0.0; }

XY aea_s_forward(const AeaParams& p, double lon, double lat) {
  const double dlam = lon * quillon::kDegToRad - p.lam0;
  const double phi = lat * quillon::kDegToRad;  // no latitude clamp: the radicand clamp suffices
  const double rho = std::sqrt(clamp0(std::sin(phi) * p.minus_2n + p.a)) * p.k;
  const double theta = dlam * p.n;
  XY out;
  out.x = std::sin(theta) * rho + p.x0;
  out.y = p.rho0 - std::cos(theta) * rho;
  return out;
}

// ============================================================================
// Conic inverses
// ============================================================================

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Coefficients of the series that turns the conformal latitude chi into the
// geodetic one (in sin 2chi, 4chi, 6chi, 8chi); the vector bodies spell the
// same expressions, so both fold to the same doubles.
constexpr double kE4 = kWgs84E2 * kWgs84E2;
constexpr double kE6 = kE4 * kWgs84E2;
constexpr double kE8 = kE4 * kE4;
constexpr double kChi2 = kWgs84E2 / 2 + 5 * kE4 / 24 + kE6 / 12 + 13 * kE8 / 360;
constexpr double kChi4 = 7 * kE4 / 48 + 29 * kE6 / 240 + 811 * kE8 / 11520;
constexpr double kChi6 = 7 * kE6 / 120 + 81 * kE8 / 1120;
constexpr double kChi8 = 4279 * kE8 / 161280;

// rho and theta from the plane point (the sign of n orients the cone),
// t = (rho / RF)^(1/n), then the latitude from the fixed-point iteration
// phi = pi/2 - 2 atan(t ((1 - e sin phi) / (1 + e sin phi))^(e/2)). The
// start is chi turned geodetic by the series (good to about 1e-11 rad), so
// one or two steps finish it. Each step shrinks the error by about e^2 / 2:
// once a step is below 1e-13 rad the next one is below 1e-15, so stop there
// (waiting for a zero step could spin on the last bit).
XY lcc_e_inverse(const LccParams& p, double x, double y) {
  const double dx = x - p.x0;
  const double dy = p.rho0 - y;
  const double sgn = p.n < 0 ? -1.0 : 1.0;
  const double rho = std::hypot(dx, dy) * sgn;
  const double theta = std::atan2(dx * sgn, dy * sgn);
  const double t = std::pow(rho / p.rf, 1.0 / p.n);
  const double chi = kHalfPi - 2.0 * std::atan(t);
  const double s2 = std::sin(2.0 * chi), c2 = std::cos(2.0 * chi);
  const double s4 = 2.0 * s2 * c2, c4 = c2 * c2 - s2 * s2;
  const double s6 = s4 * c2 + c4 * s2, s8 = 2.0 * s4 * c4;
  double phi = chi + kChi2 * s2 + kChi4 * s4 + kChi6 * s6 + kChi8 * s8;
  if (!std::isfinite(phi)) phi = chi;
  for (int i = 0; i < 15; ++i) {
    const double es = kWgs84E * std::sin(phi);
    const double next =
        kHalfPi - 2.0 * std::atan(t * std::pow((1.0 - es) / (1.0 + es), kWgs84HalfE));
    const double step = std::fabs(next - phi);
    phi = next;
    if (!(step > 1e-13)) break;
  }
  XY out;
  out.x = (theta / p.n + p.lam0) * quillon::kRadToDeg;
  out.y = phi * quillon::kRadToDeg;
  return out;
}

// sin phi = (A - (rho / k)^2) / 2n, held to [-1, 1]: a point beyond the
// projected disc lands on the pole of its side.
XY aea_s_inverse(const AeaParams& p, double x, double y) {
  const double dx = x - p.x0;
  const double dy = p.rho0 - y;
  const double sgn = p.n < 0 ? -1.0 : 1.0;
  const double rho = std::hypot(dx, dy);
  const double theta = std::atan2(dx * sgn, dy * sgn);
  const double q = rho / p.k;
  double s = (p.a - q * q) / (2.0 * p.n);
  if (s > 1.0) s = 1.0;
  if (s < -1.0) s = -1.0;
  XY out;
  out.x = (theta / p.n + p.lam0) * quillon::kRadToDeg;
  out.y = std::asin(s) * quillon::kRadToDeg;
  return out;
}

// ============================================================================
// Orthographic (sphere)
// ============================================================================

// The plane point, and whether the point is on the visible hemisphere
// (cosine of its angular distance from the centre >= 0; false for NaN).
XY ortho_s_forward(const OrthoParams& p, double lon, double lat, bool* visible) {
  const double phi = lat * quillon::kDegToRad;
  const double dlam = lon * quillon::kDegToRad - p.lam0;
  const double sp = std::sin(phi), cp = std::cos(phi), cl = std::cos(dlam);
  XY out;
  out.x = kEarthRadius * cp * std::sin(dlam);
  out.y = kEarthRadius * (p.cos_phi0 * sp - p.sin_phi0 * cp * cl);
  *visible = p.sin_phi0 * sp + p.cos_phi0 * cp * cl >= 0.0;
  return out;
}

// NaN beyond the disc (with 1e-12 of slack for points projected onto the
// horizon), the centre at the origin.
XY ortho_s_inverse(const OrthoParams& p, double x, double y) {
  const double rho = std::hypot(x, y);
  double q = rho / kEarthRadius;
  if (!(q <= 1.0 + 1e-12)) return XY{kNaN, kNaN};
  if (q > 1.0) q = 1.0;
  if (rho == 0.0) return XY{p.lon0, p.centre_lat};
  const double sin_c = q;
  const double cos_c = std::sqrt((1.0 - q) * (1.0 + q));
  double s = cos_c * p.sin_phi0 + y * sin_c * p.cos_phi0 / rho;
  if (s > 1.0) s = 1.0;
  if (s < -1.0) s = -1.0;
  const double dlam = std::atan2(x * sin_c, rho * cos_c * p.cos_phi0 - y * sin_c * p.sin_phi0);
  XY out;
  out.x = p.lon0 + dlam * quillon::kRadToDeg;
  out.y = std::asin(s) * quillon::kRadToDeg;
  return out;
}

// ============================================================================
// Equal Earth (sphere)
// ============================================================================

constexpr double kEeA1 = 1.340264;
constexpr double kEeA2 = -0.081106;
constexpr double kEeA3 = 0.000893;
constexpr double kEeA4 = 0.003796;
constexpr double kEeM = 0.8660254037844386;       // sqrt(3) / 2
constexpr double kEePsiMax = 1.0471975511965976;  // pi / 3, the pole's psi

// y / (R psi) as a polynomial in psi^2 and psi^6, and the derivative of y / R.
double eqearth_poly(double p2, double p6) {
  return kEeA1 + kEeA2 * p2 + p6 * (kEeA3 + kEeA4 * p2);
}
double eqearth_dy(double p2, double p6) {
  return kEeA1 + 3.0 * kEeA2 * p2 + p6 * (7.0 * kEeA3 + 9.0 * kEeA4 * p2);
}

XY eqearth_s_forward(const EqEarthParams& p, double lon, double lat) {
  const double lam = (lon - p.lon0) * quillon::kDegToRad;
  const double psi = std::asin(kEeM * std::sin(lat * quillon::kDegToRad));
  const double p2 = psi * psi;
  const double p6 = p2 * p2 * p2;
  XY out;
  out.x = kEarthRadius * lam * std::cos(psi) / (kEeM * eqearth_dy(p2, p6)) + p.fe;
  out.y = kEarthRadius * psi * eqearth_poly(p2, p6) + p.fn;
  return out;
}

// NaN beyond the pole lines; psi by Newton's method from y / (R A1), which
// converges quadratically: a step below 1e-11 leaves an error far below the
// last bit.
XY eqearth_s_inverse(const EqEarthParams& p, double x, double y) {
  const double yr = y / kEarthRadius;
  if (!(std::fabs(yr) <= p.y_max * (1.0 + 1e-12))) return XY{kNaN, kNaN};
  double psi = yr / kEeA1;
  for (int i = 0; i < 20; ++i) {
    const double p2 = psi * psi;
    const double p6 = p2 * p2 * p2;
    const double step = (psi * eqearth_poly(p2, p6) - yr) / eqearth_dy(p2, p6);
    psi -= step;
    if (!(std::fabs(step) > 1e-11)) break;
  }
  if (psi > kEePsiMax) psi = kEePsiMax;
  if (psi < -kEePsiMax) psi = -kEePsiMax;
  const double p2 = psi * psi;
  const double p6 = p2 * p2 * p2;
  double s = std::sin(psi) / kEeM;
  if (s > 1.0) s = 1.0;
  if (s < -1.0) s = -1.0;
  XY out;
  out.x = p.lon0 + kEeM * (x / kEarthRadius) * eqearth_dy(p2, p6) / std::cos(psi) *
                       quillon::kRadToDeg;
  out.y = std::asin(s) * quillon::kRadToDeg;
  return out;
}

// Applies a per-pair kernel to count pairs. Both input numbers are read
// before anything is written, so in and out may be the same array.
template <typename Kernel>
void for_each_pair(const Pairs& arrays, Kernel kernel) {
  const double* in = arrays.in;
  double* out = arrays.out;
  for (int64_t i = 0; i < arrays.count; ++i, in += 2, out += 2) {
    const double a = in[0];
    const double b = in[1];
    const XY r = kernel(a, b);
    out[0] = r.x;
    out[1] = r.y;
  }
}

// ============================================================================
// Dispatch
// ============================================================================

// True when the two arrays of count pairs share memory without being the
// same array. The vector kernels read a block of pairs before writing it,
// which is only the sequential pair-by-pair result when in == out or the
// arrays are apart; such callers get one pair per kernel call instead.
bool overlaps_partly(const double* in, const double* out, int64_t count) {
  if (in == out) return false;
  const uintptr_t a = reinterpret_cast<uintptr_t>(in);
  const uintptr_t b = reinterpret_cast<uintptr_t>(out);
  const uintptr_t bytes = static_cast<uintptr_t>(count) * (2 * sizeof(double));
  return a < b + bytes && b < a + bytes;
}

// Runs kernel(in, out, n) on the whole array, or pair by pair in index order
// when the arrays overlap partly.
template <typename Kernel>
void run(const double* in, double* out, int64_t count, Kernel kernel) {
  if (!overlaps_partly(in, out, count)) {
    kernel(in, out, count);
    return;
  }
  for (int64_t i = 0; i < count; ++i) kernel(in + 2 * i, out + 2 * i, 1);
}

}  // namespace

// ============================================================================
// Set-up
// ============================================================================

LccParams lcc_setup(double lat1, double lat2, double lat0, double lon0, double false_easting,
                    double false_northing) {
  const double phi1 = lat1 * quillon::kDegToRad;
  const double phi2 = lat2 * quillon::kDegToRad;
  const double phi0 = lat0 * quillon::kDegToRad;
  LccParams p;
  p.lam0 = lon0 * quillon::kDegToRad;
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

AeaParams aea_setup(double lat1, double lat2, double lat0, double lon0, double false_easting,
                    double false_northing) {
  const double phi1 = lat1 * quillon::kDegToRad;
  const double phi2 = lat2 * quillon::kDegToRad;
  const double phi0 = lat0 * quillon::kDegToRad;
  AeaParams p;
  p.lam0 = lon0 * quillon::kDegToRad;
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

OrthoParams ortho_setup(double lon0, double lat0) {
  OrthoParams p;
  p.lon0 = lon0;
  p.lam0 = lon0 * quillon::kDegToRad;
  p.sin_phi0 = std::sin(lat0 * quillon::kDegToRad);
  p.cos_phi0 = std::cos(lat0 * quillon::kDegToRad);
  p.centre_lat = std::asin(p.sin_phi0) * quillon::kRadToDeg;
  return p;
}

EqEarthParams eqearth_setup(double lon0, double false_easting, double false_northing) {
  EqEarthParams p;
  p.lon0 = lon0;
  p.fe = false_easting;
  p.fn = false_northing;
  const double p2 = kEePsiMax * kEePsiMax;
  p.y_max = kEePsiMax * eqearth_poly(p2, p2 * p2 * p2);
  return p;
}

// ============================================================================
// Scalar kernels
// ============================================================================

void merc_forward_scalar(const Pairs& a) { for_each_pair(a, merc_s_forward); }

void merc_inverse_scalar(const Pairs& a) { for_each_pair(a, merc_s_inverse); }

void lcc_forward_scalar(const LccParams& p, const Pairs& a) {
  for_each_pair(a, [&p](double lon, double lat) { return lcc_e_forward(p, lon, lat); });
}

void aea_forward_scalar(const AeaParams& p, const Pairs& a) {
  for_each_pair(a, [&p](double lon, double lat) { return aea_s_forward(p, lon, lat); });
}

void lcc_inverse_scalar(const LccParams& p, const Pairs& a) {
  for_each_pair(a, [&p](double x, double y) { return lcc_e_inverse(p, x, y); });
}

void aea_inverse_scalar(const AeaParams& p, const Pairs& a) {
  for_each_pair(a, [&p](double x, double y) { return aea_s_inverse(p, x, y); });
}

void ortho_forward_scalar(const OrthoParams& p, const FlaggedPairs& a) {
  const double* in = a.pairs.in;
  double* out = a.pairs.out;
  for (int64_t i = 0; i < a.pairs.count; ++i, in += 2, out += 2) {
    const double lon = in[0];
    const double lat = in[1];
    bool visible;
    const XY r = ortho_s_forward(p, lon, lat, &visible);
    out[0] = r.x;
    out[1] = r.y;
    if (a.visible != nullptr) a.visible[i] = visible ? 1 : 0;
  }
}

void ortho_inverse_scalar(const OrthoParams& p, const Pairs& a) {
  for_each_pair(a, [&p](double x, double y) { return ortho_s_inverse(p, x, y); });
}

void eqearth_forward_scalar(const EqEarthParams& p, const Pairs& a) {
  for_each_pair(a, [&p](double lon, double lat) { return eqearth_s_forward(p, lon, lat); });
}

void eqearth_inverse_scalar(const EqEarthParams& p, const Pairs& a) {
  for_each_pair(a, [&p](double x, double y) { return eqearth_s_inverse(p, x, y); });
}

// ============================================================================
// Kernel tables
// ============================================================================

namespace {

#define ORDANE_SCALAR_INVERSES                                                        \
  lcc_inverse_scalar, aea_inverse_scalar, ortho_forward_scalar, ortho_inverse_scalar, \
      eqearth_forward_scalar, eqearth_inverse_scalar
#if QUILLON_SIMD_X86
constexpr quillon::KernelTables<ProjectionKernels> kTables = {
    {merc_forward_scalar, merc_inverse_scalar, lcc_forward_scalar, aea_forward_scalar,
     ORDANE_SCALAR_INVERSES},
    {merc_forward_scalar, merc_inverse_sse2, lcc_forward_scalar, aea_forward_scalar,
     ORDANE_SCALAR_INVERSES},
    {merc_forward_avx2, merc_inverse_avx2, lcc_forward_avx2, aea_forward_avx2, lcc_inverse_avx2,
     aea_inverse_avx2, ortho_forward_avx2, ortho_inverse_avx2, eqearth_forward_avx2,
     eqearth_inverse_avx2},
    {merc_forward_avx512, merc_inverse_avx512, lcc_forward_avx512, aea_forward_avx512,
     lcc_inverse_avx512, aea_inverse_avx512, ortho_forward_avx512, ortho_inverse_avx512,
     eqearth_forward_avx512, eqearth_inverse_avx512},
};
#else
constexpr ProjectionKernels kScalar = {merc_forward_scalar, merc_inverse_scalar,
                                       lcc_forward_scalar, aea_forward_scalar,
                                       ORDANE_SCALAR_INVERSES};
constexpr quillon::KernelTables<ProjectionKernels> kTables = {kScalar, kScalar, kScalar, kScalar};
#endif
#undef ORDANE_SCALAR_INVERSES

}  // namespace

const ProjectionKernels& projection_kernels(SimdLevel level) { return kTables.at(level); }

// ============================================================================
// Dispatching kernels
// ============================================================================

namespace {

// Runs kernel(table, arrays) over the array. The widest vectors the
// level allows take the whole blocks; a shorter rest goes to the narrowest
// vector that holds it, down to `narrowest` (the least level the kernel has
// vector code for), since one block costs about the same however many of
// its lanes are padding (an SSE2 block of two pairs takes about half the
// time of a padded AVX-512 block). Every vector level gives the same bits,
// so the split changes only the speed. Levels below `narrowest` run the
// scalar kernel.
template <typename Kernel>
void by_width(SimdLevel level, SimdLevel narrowest, const double* in, double* out, int64_t count,
              Kernel kernel) {
#if QUILLON_SIMD_X86
  if (level >= narrowest && level != SimdLevel::kScalar) {
    int64_t done = 0;
    for (SimdLevel wide : {SimdLevel::kAvx512, SimdLevel::kAvx2}) {
      if (level < wide) continue;
      const int64_t lanes = wide == SimdLevel::kAvx512 ? 8 : 4;
      const int64_t left = count - done;
      int64_t n = left - left % lanes;
      // Pad the rest into one more block when it is over half a block, or
      // when no narrower vector runs this kernel.
      if (left - n > lanes / 2 || wide == narrowest) n = left;
      if (n > 0) {
        kernel(kTables.at(wide), Pairs{in + 2 * done, out + 2 * done, n});
        done += n;
      }
    }
    if (done < count) kernel(kTables.sse2, Pairs{in + 2 * done, out + 2 * done, count - done});
    return;
  }
#else
  (void)level;
  (void)narrowest;
#endif
  kernel(kTables.scalar, Pairs{in, out, count});
}

}  // namespace

void merc_forward(SimdLevel level, const double* in, double* out, int64_t count) {
  run(in, out, count, [level](const double* i, double* o, int64_t n) {
    by_width(level, SimdLevel::kAvx2, i, o, n,
             [](const ProjectionKernels& k, const Pairs& block) {
               k.merc_forward(block);
             });
  });
}

void merc_inverse(SimdLevel level, const double* in, double* out, int64_t count) {
  run(in, out, count, [level](const double* i, double* o, int64_t n) {
    by_width(level, SimdLevel::kSse2, i, o, n,
             [](const ProjectionKernels& k, const Pairs& block) {
               k.merc_inverse(block);
             });
  });
}

void lcc_forward(SimdLevel level, const LccParams& p, const double* in, double* out,
                 int64_t count) {
  run(in, out, count, [level, &p](const double* i, double* o, int64_t n) {
    by_width(level, SimdLevel::kAvx2, i, o, n,
             [&p](const ProjectionKernels& k, const Pairs& block) {
               k.lcc_forward(p, block);
             });
  });
}

void aea_forward(SimdLevel level, const AeaParams& p, const double* in, double* out,
                 int64_t count) {
  run(in, out, count, [level, &p](const double* i, double* o, int64_t n) {
    by_width(level, SimdLevel::kAvx2, i, o, n,
             [&p](const ProjectionKernels& k, const Pairs& block) {
               k.aea_forward(p, block);
             });
  });
}

void lcc_inverse(SimdLevel level, const LccParams& p, const double* in, double* out,
                 int64_t count) {
  run(in, out, count, [level, &p](const double* i, double* o, int64_t n) {
    by_width(level, SimdLevel::kAvx2, i, o, n,
             [&p](const ProjectionKernels& k, const Pairs& block) {
               k.lcc_inverse(p, block);
             });
  });
}

void aea_inverse(SimdLevel level, const AeaParams& p, const double* in, double* out,
                 int64_t count) {
  run(in, out, count, [level, &p](const double* i, double* o, int64_t n) {
    by_width(level, SimdLevel::kAvx2, i, o, n,
             [&p](const ProjectionKernels& k, const Pairs& block) {
               k.aea_inverse(p, block);
             });
  });
}

// The flags of a block start at its first pair's index in the whole array.
void ortho_forward(SimdLevel level, const OrthoParams& p, const double* in, double* out,
                   int64_t count, uint8_t* visible) {
  run(in, out, count, [level, &p, in, visible](const double* i, double* o, int64_t n) {
    by_width(level, SimdLevel::kAvx2, i, o, n,
             [&p, in, visible](const ProjectionKernels& k, const Pairs& block) {
               uint8_t* flags = visible == nullptr ? nullptr : visible + (block.in - in) / 2;
               k.ortho_forward(p, FlaggedPairs{block, flags});
             });
  });
}

void ortho_inverse(SimdLevel level, const OrthoParams& p, const double* in, double* out,
                   int64_t count) {
  run(in, out, count, [level, &p](const double* i, double* o, int64_t n) {
    by_width(level, SimdLevel::kAvx2, i, o, n,
             [&p](const ProjectionKernels& k, const Pairs& block) {
               k.ortho_inverse(p, block);
             });
  });
}

void eqearth_forward(SimdLevel level, const EqEarthParams& p, const double* in, double* out,
                     int64_t count) {
  run(in, out, count, [level, &p](const double* i, double* o, int64_t n) {
    by_width(level, SimdLevel::kAvx2, i, o, n,
             [&p](const ProjectionKernels& k, const Pairs& block) {
               k.eqearth_forward(p, block);
             });
  });
}

void eqearth_inverse(SimdLevel level, const EqEarthParams& p, const double* in, double* out,
                     int64_t count) {
  run(in, out, count, [level, &p](const double* i, double* o, int64_t n) {
    by_width(level, SimdLevel::kAvx2, i, o, n,
             [&p](const ProjectionKernels& k, const Pairs& block) {
               k.eqearth_inverse(p, block);
             });
  });
}

}  // namespace proj
}  // namespace ordane
