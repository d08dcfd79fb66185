// Map projections, SSE2 kernels: 2 doubles per vector. Only the Mercator
// inverse, whose elementary functions are written lane-wise in
// projection_kernels_simd.inc: the other projections take SLEEF's FMA
// variants, so a CPU without AVX2 and FMA runs their scalar code.

#define QUILLON_PROJECTION_KERNELS_ISA_ONLY
#include "projection_kernels.h"

#include <immintrin.h>

#include <cstdint>

namespace quillon {
namespace proj {
namespace {

using V = __m128d;
// The quiet NaN every NaN result is stored as (bits 0x7ff8000000000000).
constexpr double kDefaultNaN = __builtin_nan("");
constexpr int64_t kLanes = 2;

inline V vset(double d) { return _mm_set1_pd(d); }
inline V vadd(V a, V b) { return _mm_add_pd(a, b); }
inline V vsub(V a, V b) { return _mm_sub_pd(a, b); }
inline V vmul(V a, V b) { return _mm_mul_pd(a, b); }
inline V vdiv(V a, V b) { return _mm_div_pd(a, b); }
inline V vmin(V a, V b) { return _mm_min_pd(a, b); }
inline V vmax(V a, V b) { return _mm_max_pd(a, b); }

inline V vnan_to_default(V a) {
  const V nan_lanes = _mm_cmpunord_pd(a, a);
  return _mm_or_pd(_mm_andnot_pd(nan_lanes, a), _mm_and_pd(nan_lanes, _mm_set1_pd(kDefaultNaN)));
}

// unpacklo/unpackhi work within 128-bit lanes: both pick the same pairs, so
// a and b hold the two numbers of the same pairs, lane for lane, and the
// same two instructions on (x, y) put every result back in its pair.
inline void vload_pairs(const double* p, V* a, V* b) {
  const V lo = _mm_loadu_pd(p);
  const V hi = _mm_loadu_pd(p + kLanes);
  *a = _mm_unpacklo_pd(lo, hi);
  *b = _mm_unpackhi_pd(lo, hi);
}

inline void vstore_pairs(double* p, V a, V b) {
  _mm_storeu_pd(p, _mm_unpacklo_pd(a, b));
  _mm_storeu_pd(p + kLanes, _mm_unpackhi_pd(a, b));
}

// Which of the five argument bands of atan_exp each lane is in: the four
// comparison masks, each all ones where x >= its bound.
struct Band {
  V ge[4];
};

inline Band vband(V x, const double (&bounds)[4]) {
  Band b;
  for (int i = 0; i < 4; ++i) b.ge[i] = _mm_cmpge_pd(x, _mm_set1_pd(bounds[i]));
  return b;
}

// t[k] in the lanes of band k: the bounds are ascending, so a lane's
// highest set mask names its band.
inline V vpick(const Band& b, const double (&t)[5]) {
  V r = _mm_set1_pd(t[0]);
  for (int i = 0; i < 4; ++i) {
    r = _mm_or_pd(_mm_and_pd(b.ge[i], _mm_set1_pd(t[i + 1])), _mm_andnot_pd(b.ge[i], r));
  }
  return r;
}

// y * 2^k, where k sits in the low mantissa bits of k_magic = k + 1.5 * 2^52
// and y * 2^k is a normal number: k is added to y's exponent field.
inline V vscale2(V y, V k_magic) {
  const __m128i k = _mm_sub_epi64(_mm_castpd_si128(k_magic), _mm_castpd_si128(_mm_set1_pd(0x1.8p52)));
  return _mm_castsi128_pd(_mm_add_epi64(_mm_castpd_si128(y), _mm_slli_epi64(k, 52)));
}

}  // namespace

#define QUILLON_ISA_NAMESPACE sse2
#include "projection_kernels_simd.inc"
#undef QUILLON_ISA_NAMESPACE

}  // namespace proj
}  // namespace quillon
