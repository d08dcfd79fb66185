// The camera's array kernels on AVX2: 4 lanes of double. Built with -mavx2
// for this file alone (no -mfma); see camera_kernels.inc.
#include <immintrin.h>
#include <stddef.h>

#include "camera_kernels.h"

namespace torvik {
namespace {

constexpr int kLanes = 4;
using Vd = __m256d;
using Mask = __m256d;

inline Vd vset1(double v) { return _mm256_set1_pd(v); }
inline Vd vadd(Vd a, Vd b) { return _mm256_add_pd(a, b); }
inline Vd vsub(Vd a, Vd b) { return _mm256_sub_pd(a, b); }
inline Vd vmul(Vd a, Vd b) { return _mm256_mul_pd(a, b); }
inline Vd vdiv(Vd a, Vd b) { return _mm256_div_pd(a, b); }
inline Mask vcmp_ge(Vd a, Vd b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
inline Vd vzero_where(Mask m, Vd v) { return _mm256_andnot_pd(m, v); }
inline unsigned mask_bits(Mask m) { return static_cast<unsigned>(_mm256_movemask_pd(m)); }
inline Vd vloadu(const double* p) { return _mm256_loadu_pd(p); }
inline void vstoreu(double* p, Vd v) { _mm256_storeu_pd(p, v); }

// lo = (x0 y0 x1 y1), hi = (x2 y2 x3 y3) -> (x0 x1 x2 x3), (y0 y1 y2 y3).
inline void deinterleave(Vd lo, Vd hi, Vd& even, Vd& odd) {
  const Vd a = _mm256_permute2f128_pd(lo, hi, 0x20);  // x0 y0 x2 y2
  const Vd b = _mm256_permute2f128_pd(lo, hi, 0x31);  // x1 y1 x3 y3
  even = _mm256_unpacklo_pd(a, b);
  odd = _mm256_unpackhi_pd(a, b);
}

inline void interleave(Vd even, Vd odd, Vd& lo, Vd& hi) {
  const Vd a = _mm256_unpacklo_pd(even, odd);  // x0 y0 x2 y2
  const Vd b = _mm256_unpackhi_pd(even, odd);  // x1 y1 x3 y3
  lo = _mm256_permute2f128_pd(a, b, 0x20);
  hi = _mm256_permute2f128_pd(a, b, 0x31);
}

#include "camera_kernels.inc"

}  // namespace

int64_t transform_points_avx2(const CameraTerms& t, const double* in, const CameraOutputs& out,
                              uint64_t count) {
  return points_kernel(t, in, out, count);
}

int64_t transform_lines_avx2(const CameraTerms& t, const double* in, const CameraOutputs& out,
                             uint64_t count) {
  return lines_kernel(t, in, out, count);
}

}  // namespace torvik
