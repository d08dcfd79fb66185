// Map projections, AVX2 kernels: 4 doubles per vector, elementary functions
// from SLEEF's deterministic AVX2 + FMA variants, which give the same bits as
// its AVX-512 ones. The bodies are in projection_kernels_simd.inc, shared
// with the other instruction sets.

#define QUILLON_PROJECTION_KERNELS_ISA_ONLY
#include "projection_kernels.h"

#include <immintrin.h>
#include <sleef.h>

#include <cstdint>

namespace quillon {
namespace proj {
namespace {

using V = __m256d;
// The quiet NaN every NaN result is stored as (bits 0x7ff8000000000000).
constexpr double kDefaultNaN = __builtin_nan("");
constexpr int64_t kLanes = 4;

inline V vset(double d) { return _mm256_set1_pd(d); }
inline V vadd(V a, V b) { return _mm256_add_pd(a, b); }
inline V vsub(V a, V b) { return _mm256_sub_pd(a, b); }
inline V vmul(V a, V b) { return _mm256_mul_pd(a, b); }
inline V vdiv(V a, V b) { return _mm256_div_pd(a, b); }
inline V vsqrt(V a) { return _mm256_sqrt_pd(a); }
inline V vmin(V a, V b) { return _mm256_min_pd(a, b); }
inline V vmax(V a, V b) { return _mm256_max_pd(a, b); }

inline V vnan_to_default(V a) {
  return _mm256_blendv_pd(a, _mm256_set1_pd(kDefaultNaN), _mm256_cmp_pd(a, a, _CMP_UNORD_Q));
}

// unpacklo/unpackhi work within 128-bit lanes: both pick the same pairs, so
// a and b hold the two numbers of the same pairs, lane for lane, and the
// same two instructions on (x, y) put every result back in its pair.
inline void vload_pairs(const double* p, V* a, V* b) {
  const V lo = _mm256_loadu_pd(p);
  const V hi = _mm256_loadu_pd(p + kLanes);
  *a = _mm256_unpacklo_pd(lo, hi);
  *b = _mm256_unpackhi_pd(lo, hi);
}

inline void vstore_pairs(double* p, V a, V b) {
  _mm256_storeu_pd(p, _mm256_unpacklo_pd(a, b));
  _mm256_storeu_pd(p + kLanes, _mm256_unpackhi_pd(a, b));
}

// Which of the five argument bands of atan_exp each lane is in: the four
// comparison masks, each all ones where x >= its bound.
struct Band {
  V ge[4];
};

inline Band vband(V x, const double (&bounds)[4]) {
  Band b;
  for (int i = 0; i < 4; ++i) b.ge[i] = _mm256_cmp_pd(x, _mm256_set1_pd(bounds[i]), _CMP_GE_OQ);
  return b;
}

// t[k] in the lanes of band k: the bounds are ascending, so a lane's
// highest set mask names its band.
inline V vpick(const Band& b, const double (&t)[5]) {
  V r = _mm256_set1_pd(t[0]);
  for (int i = 0; i < 4; ++i) r = _mm256_blendv_pd(r, _mm256_set1_pd(t[i + 1]), b.ge[i]);
  return r;
}

// y * 2^k, where k sits in the low mantissa bits of k_magic = k + 1.5 * 2^52
// and y * 2^k is a normal number: k is added to y's exponent field.
inline V vscale2(V y, V k_magic) {
  const __m256i k =
      _mm256_sub_epi64(_mm256_castpd_si256(k_magic), _mm256_castpd_si256(_mm256_set1_pd(0x1.8p52)));
  return _mm256_castsi256_pd(_mm256_add_epi64(_mm256_castpd_si256(y), _mm256_slli_epi64(k, 52)));
}

inline V vsin(V a) { return Sleef_finz_sind4_u10avx2(a); }
inline V vtan(V a) { return Sleef_finz_tand4_u10avx2(a); }
inline V vlog(V a) { return Sleef_finz_logd4_u10avx2(a); }
inline V vexp(V a) { return Sleef_finz_expd4_u10avx2(a); }
inline V vpow(V a, V b) { return Sleef_finz_powd4_u10avx2(a, b); }
inline void vsincos(V a, V* s, V* c) {
  const Sleef___m256d_2 r = Sleef_finz_sincosd4_u10avx2(a);
  *s = r.x;
  *c = r.y;
}

}  // namespace

#define QUILLON_PROJECTION_SLEEF_KERNELS 1
#define QUILLON_ISA_NAMESPACE avx2
#include "projection_kernels_simd.inc"
#undef QUILLON_ISA_NAMESPACE

}  // namespace proj
}  // namespace quillon
