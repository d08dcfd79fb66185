// The camera's array kernels on AVX-512 (F and VL): 8 lanes of double.
// Built with -mavx512f -mavx512vl for this file alone; see camera_kernels.inc.
#include <immintrin.h>
#include <stddef.h>

#include "camera_kernels.h"

namespace torvik {
namespace {

constexpr int kLanes = 8;
using Vd = __m512d;
using Mask = __mmask8;

inline Vd vset1(double v) { return _mm512_set1_pd(v); }
inline Vd vadd(Vd a, Vd b) { return _mm512_add_pd(a, b); }
inline Vd vsub(Vd a, Vd b) { return _mm512_sub_pd(a, b); }
inline Vd vmul(Vd a, Vd b) { return _mm512_mul_pd(a, b); }
inline Vd vdiv(Vd a, Vd b) { return _mm512_div_pd(a, b); }
inline Mask vcmp_ge(Vd a, Vd b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
inline Vd vzero_where(Mask m, Vd v) { return _mm512_maskz_mov_pd(static_cast<Mask>(~m), v); }
inline unsigned mask_bits(Mask m) { return m; }
inline Vd vloadu(const double* p) { return _mm512_loadu_pd(p); }
inline void vstoreu(double* p, Vd v) { _mm512_storeu_pd(p, v); }

inline void deinterleave(Vd lo, Vd hi, Vd& even, Vd& odd) {
  even = _mm512_permutex2var_pd(lo, _mm512_set_epi64(14, 12, 10, 8, 6, 4, 2, 0), hi);
  odd = _mm512_permutex2var_pd(lo, _mm512_set_epi64(15, 13, 11, 9, 7, 5, 3, 1), hi);
}

inline void interleave(Vd even, Vd odd, Vd& lo, Vd& hi) {
  lo = _mm512_permutex2var_pd(even, _mm512_set_epi64(11, 3, 10, 2, 9, 1, 8, 0), odd);
  hi = _mm512_permutex2var_pd(even, _mm512_set_epi64(15, 7, 14, 6, 13, 5, 12, 4), odd);
}

#include "camera_kernels.inc"

}  // namespace

int64_t transform_points_avx512(const CameraTerms& t, const double* in,
                                const CameraOutputs& out, uint64_t count) {
  return points_kernel(t, in, out, count);
}

int64_t transform_lines_avx512(const CameraTerms& t, const double* in, const CameraOutputs& out,
                               uint64_t count) {
  return lines_kernel(t, in, out, count);
}

}  // namespace torvik
