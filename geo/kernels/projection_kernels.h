// Array kernels of the map projections, one set per dispatch level.
//
// The exports (geo/projections.cpp) check their arguments, build the
// parameter record and call the dispatching kernel with the best level the
// CPU runs. Each kernel converts `count` >= 1 pairs in index order; `in` and
// `out` are the same array or do not overlap (the dispatchers handle any
// other overlap pair by pair).
//
// Results. The scalar kernels are the straightforward transcription of the
// formulas with the platform's libm; they are the reference the tests hold
// the vector kernels to, and the path used where no vector code is built.
// The vector kernels evaluate the same formulas, with the same constants,
// clamps and order of operations, but take sin, cos, tan, atan, asin,
// atan2, hypot, log, exp and pow from SLEEF's deterministic FMA ("finz")
// variants, and the Mercator
// inverse's atan(exp(u)) from a lane-wise fdlibm-style pair of their own
// (within 1e-12 degrees of the latitude). Their results can differ from the
// scalar transcription in the last bits (2 ulp of the coordinate, or of the
// conic radius, with rare exceptions the tests bound), and are the same
// bits on every vector level that runs them (AVX2 and AVX-512, and SSE2 for
// the Mercator inverse) and wherever a pair sits in the array: a tail
// shorter than a vector goes through the same vector code on a padded
// copy. The iterative inverses (Lambert's latitude, Equal Earth's psi) stop
// lane by lane where the scalar loop stops, so a lane's steps never depend
// on its neighbours. Near the orthographic horizon and Equal Earth's pole
// lines the formulas themselves magnify those last bits (the tests bound
// it). A CPU without AVX2 and FMA (x86-64 before 2013) runs the scalar
// transcription of the SLEEF kernels, at the speed it always had. The
// platform's libm itself is not the same bits everywhere (glibc picks FMA
// or non-FMA code at load time), so no build promises bit-identity with
// the scalar path.
//
// This header has no inline functions on purpose: it is included by the
// per-ISA sources too, and anything inline here would be compiled once per
// instruction set with the linker free to keep any one copy.
#ifndef ORDANE_GEO_KERNELS_PROJECTION_KERNELS_H
#define ORDANE_GEO_KERNELS_PROJECTION_KERNELS_H

#include <cstdint>

#include "simd_level.h"

namespace ordane {
namespace proj {

using quillon::SimdLevel;

// Quantities that depend only on the Lambert parameters, computed once per call.
struct LccParams {
  double lam0;  // central meridian, radians
  double n;     // cone constant
  double rf;    // R * m1 / (t1^n * n)
  double rho0;  // radius at the latitude of origin, plus the false northing
  double x0;    // false easting
};

// Quantities that depend only on the Albers parameters, computed once per call.
struct AeaParams {
  double lam0;      // central meridian, radians
  double n;         // cone constant
  double minus_2n;  // -2n, exact
  double a;         // cos^2 phi1 + 2n sin phi1
  double k;         // R / n
  double rho0;      // radius at the latitude of origin, plus the false northing
  double x0;        // false easting
};

// Orthographic centre, computed once per call.
struct OrthoParams {
  double lon0;        // centre longitude, degrees
  double lam0;        // centre longitude, radians
  double sin_phi0;    // sine of the centre latitude
  double cos_phi0;    // cosine of the centre latitude
  double centre_lat;  // asin(sin_phi0) in degrees: where the inverse puts the plane's origin
};

// Equal Earth offsets and the pole line, computed once per call.
struct EqEarthParams {
  double lon0;   // central meridian, degrees
  double fe;     // false easting
  double fn;     // false northing
  double y_max;  // y / R of the pole line (psi = pi/3)
};

LccParams lcc_setup(double lat1, double lat2, double lat0, double lon0, double false_easting,
                    double false_northing);
AeaParams aea_setup(double lat1, double lat2, double lat0, double lon0, double false_easting,
                    double false_northing);
OrthoParams ortho_setup(double lon0, double lat0);
EqEarthParams eqearth_setup(double lon0, double false_easting, double false_northing);

// ============================================================================
// Kernels, one definition per level
// ============================================================================

// The arrays of one kernel call: `count` >= 1 interleaved pairs from `in` to
// `out`, which are the same array or do not overlap.
struct Pairs {
  const double* in;
  double* out;
  int64_t count;
};

// The orthographic forward's arrays: the pairs, and one flag per pair (1
// on the visible hemisphere, else 0), or none when visible is null. The
// flags do not overlap the pairs.
struct FlaggedPairs {
  Pairs pairs;
  uint8_t* visible;
};

// The Mercator inverse has vector code on every level; the kernels that
// take SLEEF's FMA functions start at AVX2.
void merc_forward_scalar(const Pairs& a);
void merc_inverse_scalar(const Pairs& a);
void lcc_forward_scalar(const LccParams& p, const Pairs& a);
void aea_forward_scalar(const AeaParams& p, const Pairs& a);
void lcc_inverse_scalar(const LccParams& p, const Pairs& a);
void aea_inverse_scalar(const AeaParams& p, const Pairs& a);
void ortho_forward_scalar(const OrthoParams& p, const FlaggedPairs& a);
void ortho_inverse_scalar(const OrthoParams& p, const Pairs& a);
void eqearth_forward_scalar(const EqEarthParams& p, const Pairs& a);
void eqearth_inverse_scalar(const EqEarthParams& p, const Pairs& a);

void merc_inverse_sse2(const Pairs& a);

void merc_forward_avx2(const Pairs& a);
void merc_inverse_avx2(const Pairs& a);
void lcc_forward_avx2(const LccParams& p, const Pairs& a);
void aea_forward_avx2(const AeaParams& p, const Pairs& a);
void lcc_inverse_avx2(const LccParams& p, const Pairs& a);
void aea_inverse_avx2(const AeaParams& p, const Pairs& a);
void ortho_forward_avx2(const OrthoParams& p, const FlaggedPairs& a);
void ortho_inverse_avx2(const OrthoParams& p, const Pairs& a);
void eqearth_forward_avx2(const EqEarthParams& p, const Pairs& a);
void eqearth_inverse_avx2(const EqEarthParams& p, const Pairs& a);

void merc_forward_avx512(const Pairs& a);
void merc_inverse_avx512(const Pairs& a);
void lcc_forward_avx512(const LccParams& p, const Pairs& a);
void aea_forward_avx512(const AeaParams& p, const Pairs& a);
void lcc_inverse_avx512(const LccParams& p, const Pairs& a);
void aea_inverse_avx512(const AeaParams& p, const Pairs& a);
void ortho_forward_avx512(const OrthoParams& p, const FlaggedPairs& a);
void ortho_inverse_avx512(const OrthoParams& p, const Pairs& a);
void eqearth_forward_avx512(const EqEarthParams& p, const Pairs& a);
void eqearth_inverse_avx512(const EqEarthParams& p, const Pairs& a);

// One level's kernels (see KernelTables in cpu_dispatch.h): the level's own
// definition where it has one, else the scalar one.
struct ProjectionKernels {
  void (*merc_forward)(const Pairs& a);
  void (*merc_inverse)(const Pairs& a);
  void (*lcc_forward)(const LccParams& p, const Pairs& a);
  void (*aea_forward)(const AeaParams& p, const Pairs& a);
  void (*lcc_inverse)(const LccParams& p, const Pairs& a);
  void (*aea_inverse)(const AeaParams& p, const Pairs& a);
  void (*ortho_forward)(const OrthoParams& p, const FlaggedPairs& a);
  void (*ortho_inverse)(const OrthoParams& p, const Pairs& a);
  void (*eqearth_forward)(const EqEarthParams& p, const Pairs& a);
  void (*eqearth_inverse)(const EqEarthParams& p, const Pairs& a);
};

const ProjectionKernels& projection_kernels(SimdLevel level);

// ============================================================================
// Dispatching kernels
// ============================================================================

// Run `level` (which the CPU must support; see simd_level_supported) over
// the whole array: the widest vectors the level has take the whole blocks,
// narrower ones the rest (see by_width in projection_kernels.cpp); levels
// without vector code for a kernel run the scalar one. Any count >= 1 and
// any overlap of in and out are accepted.
void merc_forward(SimdLevel level, const double* in, double* out, int64_t count);
void merc_inverse(SimdLevel level, const double* in, double* out, int64_t count);
void lcc_forward(SimdLevel level, const LccParams& p, const double* in, double* out,
                 int64_t count);
void aea_forward(SimdLevel level, const AeaParams& p, const double* in, double* out,
                 int64_t count);
void lcc_inverse(SimdLevel level, const LccParams& p, const double* in, double* out,
                 int64_t count);
void aea_inverse(SimdLevel level, const AeaParams& p, const double* in, double* out,
                 int64_t count);
// `visible` (count flags, or null) must not overlap in or out.
void ortho_forward(SimdLevel level, const OrthoParams& p, const double* in, double* out,
                   int64_t count, uint8_t* visible);
void ortho_inverse(SimdLevel level, const OrthoParams& p, const double* in, double* out,
                   int64_t count);
void eqearth_forward(SimdLevel level, const EqEarthParams& p, const double* in, double* out,
                     int64_t count);
void eqearth_inverse(SimdLevel level, const EqEarthParams& p, const double* in, double* out,
                     int64_t count);

}  // namespace proj
}  // namespace ordane

#endif  // ORDANE_GEO_KERNELS_PROJECTION_KERNELS_H
