// Vector vocabulary for AVX-512 (F, DQ and VL, with AVX2 and FMA): 8 doubles
// per vector, comparisons into mask registers, 8 int32 lanes in an AVX
// register. Included by the kernels/<name>_avx512.cpp sources only; the
// operations are listed, with their exact meaning, in simd_ops.h.
//
// GCC 12's unmasked forms of min, max, sqrt, unpack and the conversions
// start from an uninitialised register and warn under -Wmaybe-uninitialized;
// QUILLON_SIMD_FULL takes the zero-masked forms with every lane selected,
// which are the same instructions without that.
#ifndef QUILLON_COMMON_SIMD_AVX512_H
#define QUILLON_COMMON_SIMD_AVX512_H

#if !defined(__AVX512F__) || !defined(__AVX512DQ__) || !defined(__AVX512VL__) || \
    !defined(__AVX2__) || !defined(__FMA__)
#error "simd_avx512.h is for the sources built with the AVX-512 flags (kernels/<name>_avx512.cpp)"
#endif

#include <immintrin.h>
#include <sleef.h>

#include <cstdint>

#define QUILLON_SIMD_LANES 8
#define QUILLON_SIMD_V __m512d
#define QUILLON_SIMD_MASK __mmask8  // bit j: lane j is true
#define QUILLON_SIMD_VI __m256i  // kLanes int32 lanes
#define QUILLON_SIMD(op) _mm512_##op
#define QUILLON_SIMD_FULL(op, ...) _mm512_maskz_##op(__mmask8{0xFF}, __VA_ARGS__)
#define QUILLON_SIMD_CMP(a, b, sse_name, avx_predicate) \
  _mm512_cmp_pd_mask(a, b, _CMP_##avx_predicate)
#define QUILLON_SIMD_I(op) _mm256_##op
#define QUILLON_SIMD_IBITS(op) _mm256_##op##_si256
#define QUILLON_SLEEF_FINZ(fn) Sleef_finz_##fn##d8_u10avx512f
#define QUILLON_SLEEF_FINZ_PAIR Sleef___m512d_2
#define QUILLON_SLEEF_FINZ_U05(fn) Sleef_finz_##fn##d8_u05avx512f
#define QUILLON_SLEEF_CINZ_U35(fn) Sleef_cinz_##fn##d8_u35avx512fnofma
#define QUILLON_SIMD_HAS_GATHER 1
#define QUILLON_SIMD_BAND __m512i  // the band index, 0 to 4, per lane

#include "simd_ops.h"

namespace quillon {
namespace simd {
namespace {

inline V vblend(Mask m, V a, V b) { return _mm512_mask_blend_pd(m, b, a); }
inline V vkeep(Mask m, V v) { return _mm512_maskz_mov_pd(m, v); }
inline V vzero_where(Mask m, V v) { return _mm512_maskz_mov_pd(static_cast<Mask>(~m), v); }
inline unsigned mask_bits(Mask m) { return m; }
inline V lane_index() { return _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0); }
inline V vtrunc(V a) {
  return _mm512_maskz_roundscale_pd(0xFF, a, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
}

// y * 2^k, where k sits in the low mantissa bits of k_magic = k + 1.5 * 2^52
// and y * 2^k is a normal number: k is added to y's exponent field.
inline V vscale2(V y, V k_magic) {
  const __m512i k =
      _mm512_sub_epi64(_mm512_castpd_si512(k_magic), _mm512_castpd_si512(_mm512_set1_pd(0x1.8p52)));
  return _mm512_castsi512_pd(_mm512_add_epi64(_mm512_castpd_si512(y), _mm512_maskz_slli_epi64(0xFF, k, 52)));
}

// The argument band of x among four ascending bounds, 0 to 4, as a table
// index, and entry `band` of a five-entry table, by one permutation.

inline Band vband(V x, const double (&bounds)[4]) {
  const __m512i one = _mm512_set1_epi64(1);
  __m512i band = _mm512_setzero_si512();
  for (int i = 0; i < 4; ++i) {
    band = _mm512_mask_add_epi64(band, _mm512_cmp_pd_mask(x, _mm512_set1_pd(bounds[i]), _CMP_GE_OQ),
                                 band, one);
  }
  return band;
}

inline V vpick(const Band& b, const double (&t)[5]) {
  return _mm512_maskz_permutexvar_pd(0xFF, b, _mm512_setr_pd(t[0], t[1], t[2], t[3], t[4], 0, 0, 0));
}

inline void deinterleave(V lo, V hi, V& even, V& odd) {
  even = _mm512_permutex2var_pd(lo, _mm512_set_epi64(14, 12, 10, 8, 6, 4, 2, 0), hi);
  odd = _mm512_permutex2var_pd(lo, _mm512_set_epi64(15, 13, 11, 9, 7, 5, 3, 1), hi);
}

inline void interleave(V even, V odd, V& lo, V& hi) {
  lo = _mm512_permutex2var_pd(even, _mm512_set_epi64(11, 3, 10, 2, 9, 1, 8, 0), odd);
  hi = _mm512_permutex2var_pd(even, _mm512_set_epi64(15, 7, 14, 6, 13, 5, 12, 4), odd);
}

inline Vi load_lanes(const uint32_t* p, unsigned bits) {
  return _mm256_maskz_loadu_epi32(static_cast<__mmask8>(bits), p);
}
inline void store_lanes(uint32_t* p, Vi v, unsigned bits) {
  _mm256_mask_storeu_epi32(p, static_cast<__mmask8>(bits), v);
}

}  // namespace
}  // namespace simd
}  // namespace quillon


#endif  // QUILLON_COMMON_SIMD_AVX512_H
