// The camera's array kernels on SSE2, the x86-64 baseline: 2 lanes of
// double. See camera_kernels.inc.
#include <emmintrin.h>
#include <stddef.h>

#include "camera_kernels.h"

namespace torvik {
namespace {

constexpr int kLanes = 2;
using Vd = __m128d;
using Mask = __m128d;

inline Vd vset1(double v) { return _mm_set1_pd(v); }
inline Vd vadd(Vd a, Vd b) { return _mm_add_pd(a, b); }
inline Vd vsub(Vd a, Vd b) { return _mm_sub_pd(a, b); }
inline Vd vmul(Vd a, Vd b) { return _mm_mul_pd(a, b); }
inline Vd vdiv(Vd a, Vd b) { return _mm_div_pd(a, b); }
// cmpge is an ordered comparison: false when either operand is NaN.
inline Mask vcmp_ge(Vd a, Vd b) { return _mm_cmpge_pd(a, b); }
inline Vd vzero_where(Mask m, Vd v) { return _mm_andnot_pd(m, v); }
inline unsigned mask_bits(Mask m) { return static_cast<unsigned>(_mm_movemask_pd(m)); }
inline Vd vloadu(const double* p) { return _mm_loadu_pd(p); }
inline void vstoreu(double* p, Vd v) { _mm_storeu_pd(p, v); }

inline void deinterleave(Vd lo, Vd hi, Vd& even, Vd& odd) {
  even = _mm_unpacklo_pd(lo, hi);
  odd = _mm_unpackhi_pd(lo, hi);
}

inline void interleave(Vd even, Vd odd, Vd& lo, Vd& hi) {
  lo = _mm_unpacklo_pd(even, odd);
  hi = _mm_unpackhi_pd(even, odd);
}

#include "camera_kernels.inc"

}  // namespace

int64_t transform_points_sse2(const CameraTerms& t, const double* in, const CameraOutputs& out,
                              uint64_t count) {
  return points_kernel(t, in, out, count);
}

int64_t transform_lines_sse2(const CameraTerms& t, const double* in, const CameraOutputs& out,
                             uint64_t count) {
  return lines_kernel(t, in, out, count);
}

}  // namespace torvik
