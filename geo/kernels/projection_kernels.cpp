// Map projections, baseline code: the per-call set-up of the conics, the
// scalar transcription of every kernel (the reference and the fallback) and
// the dispatch to the vector kernels.

#include "projection_kernels.h"

#include <cmath>
#include <cstdint>
#include <initializer_list>

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

// ============================================================================
// Kernel tables
// ============================================================================

namespace {

#if QUILLON_SIMD_X86
constexpr quillon::KernelTables<ProjectionKernels> kTables = {
    {merc_forward_scalar, merc_inverse_scalar, lcc_forward_scalar, aea_forward_scalar},
    {merc_forward_scalar, merc_inverse_sse2, lcc_forward_scalar, aea_forward_scalar},
    {merc_forward_avx2, merc_inverse_avx2, lcc_forward_avx2, aea_forward_avx2},
    {merc_forward_avx512, merc_inverse_avx512, lcc_forward_avx512, aea_forward_avx512},
};
#else
constexpr ProjectionKernels kScalar = {merc_forward_scalar, merc_inverse_scalar,
                                       lcc_forward_scalar, aea_forward_scalar};
constexpr quillon::KernelTables<ProjectionKernels> kTables = {kScalar, kScalar, kScalar, kScalar};
#endif

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

}  // namespace proj
}  // namespace ordane
