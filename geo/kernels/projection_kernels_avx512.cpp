// Map projections, AVX-512 kernels: 8 doubles per vector, elementary functions
// from SLEEF's deterministic AVX-512 F (FMA) variants, which give the same
// bits as its AVX2 + FMA ones. The bodies are in projection_kernels_simd.inc,
// shared with the other instruction sets.

#define QUILLON_PROJECTION_KERNELS_ISA_ONLY
#include "projection_kernels.h"

#include <immintrin.h>
#include <sleef.h>

#include <cstdint>

namespace quillon {
namespace proj {
namespace {

using V = __m512d;
// The quiet NaN every NaN result is stored as (bits 0x7ff8000000000000).
constexpr double kDefaultNaN = __builtin_nan("");
constexpr int64_t kLanes = 8;
// GCC 12's unmasked forms of min, max, sqrt and unpack start from an
// uninitialised register and warn; the zero-masked forms with every lane
// selected are the same instructions without that.
constexpr __mmask8 kAll = 0xFF;

inline V vset(double d) { return _mm512_set1_pd(d); }
inline V vadd(V a, V b) { return _mm512_add_pd(a, b); }
inline V vsub(V a, V b) { return _mm512_sub_pd(a, b); }
inline V vmul(V a, V b) { return _mm512_mul_pd(a, b); }
inline V vdiv(V a, V b) { return _mm512_div_pd(a, b); }
inline V vsqrt(V a) { return _mm512_maskz_sqrt_pd(kAll, a); }
inline V vmin(V a, V b) { return _mm512_maskz_min_pd(kAll, a, b); }
inline V vmax(V a, V b) { return _mm512_maskz_max_pd(kAll, a, b); }

inline V vnan_to_default(V a) {
  return _mm512_mask_blend_pd(_mm512_cmp_pd_mask(a, a, _CMP_UNORD_Q), a, _mm512_set1_pd(kDefaultNaN));
}

// unpacklo/unpackhi work within 128-bit lanes: both pick the same pairs, so
// a and b hold the two numbers of the same pairs, lane for lane, and the
// same two instructions on (x, y) put every result back in its pair.
inline void vload_pairs(const double* p, V* a, V* b) {
  const V lo = _mm512_loadu_pd(p);
  const V hi = _mm512_loadu_pd(p + kLanes);
  *a = _mm512_maskz_unpacklo_pd(kAll, lo, hi);
  *b = _mm512_maskz_unpackhi_pd(kAll, lo, hi);
}

inline void vstore_pairs(double* p, V a, V b) {
  _mm512_storeu_pd(p, _mm512_maskz_unpacklo_pd(kAll, a, b));
  _mm512_storeu_pd(p + kLanes, _mm512_maskz_unpackhi_pd(kAll, a, b));
}

// The argument band of atan_exp each lane is in, 0 to 4, as a table index.
using Band = __m512i;

inline Band vband(V x, const double (&bounds)[4]) {
  const __m512i one = _mm512_set1_epi64(1);
  __m512i band = _mm512_setzero_si512();
  for (int i = 0; i < 4; ++i) {
    band = _mm512_mask_add_epi64(band, _mm512_cmp_pd_mask(x, _mm512_set1_pd(bounds[i]), _CMP_GE_OQ),
                                 band, one);
  }
  return band;
}

// t[k] in the lanes of band k, by one permutation of the table.
inline V vpick(Band b, const double (&t)[5]) {
  return _mm512_maskz_permutexvar_pd(kAll, b, _mm512_setr_pd(t[0], t[1], t[2], t[3], t[4], 0, 0, 0));
}

// y * 2^k, where k sits in the low mantissa bits of k_magic = k + 1.5 * 2^52
// and y * 2^k is a normal number: k is added to y's exponent field.
inline V vscale2(V y, V k_magic) {
  const __m512i k =
      _mm512_sub_epi64(_mm512_castpd_si512(k_magic), _mm512_castpd_si512(_mm512_set1_pd(0x1.8p52)));
  return _mm512_castsi512_pd(_mm512_add_epi64(_mm512_castpd_si512(y), _mm512_maskz_slli_epi64(kAll, k, 52)));
}

inline V vsin(V a) { return Sleef_finz_sind8_u10avx512f(a); }
inline V vtan(V a) { return Sleef_finz_tand8_u10avx512f(a); }
inline V vlog(V a) { return Sleef_finz_logd8_u10avx512f(a); }
inline V vexp(V a) { return Sleef_finz_expd8_u10avx512f(a); }
inline V vpow(V a, V b) { return Sleef_finz_powd8_u10avx512f(a, b); }
inline void vsincos(V a, V* s, V* c) {
  const Sleef___m512d_2 r = Sleef_finz_sincosd8_u10avx512f(a);
  *s = r.x;
  *c = r.y;
}

}  // namespace

#define QUILLON_PROJECTION_SLEEF_KERNELS 1
#define QUILLON_ISA_NAMESPACE avx512
#include "projection_kernels_simd.inc"
#undef QUILLON_ISA_NAMESPACE

}  // namespace proj
}  // namespace quillon
