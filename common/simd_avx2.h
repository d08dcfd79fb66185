// Vector vocabulary for AVX2 with FMA: 4 doubles per vector, 4 int32 lanes
// in an SSE register. Included by the kernels/<name>_avx2.cpp sources only;
// the operations are listed, with their exact meaning, in simd_ops.h.
//
// The sources are built with -mavx2 -mfma. FMA reaches the results only
// inside SLEEF's FMA ("finz") functions: contraction is off, so the
// compiler fuses nothing of ours.
#ifndef QUILLON_COMMON_SIMD_AVX2_H
#define QUILLON_COMMON_SIMD_AVX2_H

#if !defined(__AVX2__) || !defined(__FMA__)
#error "simd_avx2.h is for the sources built with -mavx2 -mfma (kernels/<name>_avx2.cpp)"
#endif

#include <immintrin.h>
#include <sleef.h>

#include <cstdint>

#define QUILLON_SIMD_LANES 4
#define QUILLON_SIMD_V __m256d
#define QUILLON_SIMD_MASK __m256d  // all ones in a true lane
#define QUILLON_SIMD_VI __m128i  // kLanes int32 lanes
#define QUILLON_SIMD(op) _mm256_##op
#define QUILLON_SIMD_FULL(op, ...) _mm256_##op(__VA_ARGS__)
#define QUILLON_SIMD_CMP(a, b, sse_name, avx_predicate) _mm256_cmp_pd(a, b, _CMP_##avx_predicate)
#define QUILLON_SIMD_I(op) _mm_##op
#define QUILLON_SIMD_IBITS(op) _mm_##op##_si128
#define QUILLON_SLEEF_FINZ(fn) Sleef_finz_##fn##d4_u10avx2
#define QUILLON_SLEEF_FINZ_PAIR Sleef___m256d_2
#define QUILLON_SLEEF_FINZ_U05(fn) Sleef_finz_##fn##d4_u05avx2
#define QUILLON_SLEEF_CINZ_U35(fn) Sleef_cinz_##fn##d4_u35avx
#define QUILLON_SIMD_HAS_MASK_BANDS 1
#define QUILLON_SIMD_HAS_GATHER 1

#include "simd_ops.h"

namespace quillon {
namespace simd {
namespace {

inline V vblend(Mask m, V a, V b) { return _mm256_blendv_pd(b, a, m); }
inline V vkeep(Mask m, V v) { return _mm256_and_pd(m, v); }
inline V vzero_where(Mask m, V v) { return _mm256_andnot_pd(m, v); }
inline unsigned mask_bits(Mask m) { return static_cast<unsigned>(_mm256_movemask_pd(m)); }
inline V lane_index() { return _mm256_set_pd(3, 2, 1, 0); }
inline V vtrunc(V a) { return _mm256_round_pd(a, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }

// y * 2^k, where k sits in the low mantissa bits of k_magic = k + 1.5 * 2^52
// and y * 2^k is a normal number: k is added to y's exponent field.
inline V vscale2(V y, V k_magic) {
  const __m256i magic = _mm256_castpd_si256(_mm256_set1_pd(0x1.8p52));
  const __m256i k = _mm256_slli_epi64(_mm256_sub_epi64(_mm256_castpd_si256(k_magic), magic), 52);
  return _mm256_castsi256_pd(_mm256_add_epi64(_mm256_castpd_si256(y), k));
}

// lo = (x0 y0 x1 y1), hi = (x2 y2 x3 y3) -> (x0 x1 x2 x3), (y0 y1 y2 y3).
inline void deinterleave(V lo, V hi, V& even, V& odd) {
  const V a = _mm256_permute2f128_pd(lo, hi, 0x20);  // x0 y0 x2 y2
  const V b = _mm256_permute2f128_pd(lo, hi, 0x31);  // x1 y1 x3 y3
  even = _mm256_unpacklo_pd(a, b);
  odd = _mm256_unpackhi_pd(a, b);
}

inline void interleave(V even, V odd, V& lo, V& hi) {
  const V a = _mm256_unpacklo_pd(even, odd);  // x0 y0 x2 y2
  const V b = _mm256_unpackhi_pd(even, odd);  // x1 y1 x3 y3
  lo = _mm256_permute2f128_pd(a, b, 0x20);
  hi = _mm256_permute2f128_pd(a, b, 0x31);
}

// All ones in int32 lane j when bit j is set.
inline Vi lane_mask(unsigned bits) {
  const Vi select = _mm_set_epi32(8, 4, 2, 1);
  return _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(static_cast<int32_t>(bits)), select),
                         select);
}
inline Vi load_lanes(const uint32_t* p, unsigned bits) {
  return _mm_maskload_epi32(reinterpret_cast<const int*>(p), lane_mask(bits));
}
inline void store_lanes(uint32_t* p, Vi v, unsigned bits) {
  _mm_maskstore_epi32(reinterpret_cast<int*>(p), lane_mask(bits), v);
}

}  // namespace
}  // namespace simd
}  // namespace quillon


#endif  // QUILLON_COMMON_SIMD_AVX2_H
