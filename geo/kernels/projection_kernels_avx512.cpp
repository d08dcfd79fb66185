// Map projections, AVX-512 kernels: 8 doubles per vector, elementary functions
// from SLEEF's deterministic AVX-512 F (no FMA) variants. The bodies are in
// projection_kernels_simd.inc, shared with the other instruction sets.

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

inline V vsin(V a) { return Sleef_cinz_sind8_u10avx512fnofma(a); }
inline V vtan(V a) { return Sleef_cinz_tand8_u10avx512fnofma(a); }
inline V vlog(V a) { return Sleef_cinz_logd8_u10avx512fnofma(a); }
inline V vexp(V a) { return Sleef_cinz_expd8_u10avx512fnofma(a); }
inline V vatan(V a) { return Sleef_cinz_atand8_u10avx512fnofma(a); }
inline V vpow(V a, V b) { return Sleef_cinz_powd8_u10avx512fnofma(a, b); }
inline void vsincos(V a, V* s, V* c) {
  const Sleef___m512d_2 r = Sleef_cinz_sincosd8_u10avx512fnofma(a);
  *s = r.x;
  *c = r.y;
}

}  // namespace

#define QUILLON_ISA_NAMESPACE avx512
#include "projection_kernels_simd.inc"
#undef QUILLON_ISA_NAMESPACE

}  // namespace proj
}  // namespace quillon
