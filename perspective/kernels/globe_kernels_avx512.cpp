// The globe's row kernel on AVX-512 (F and VL): 8 pixels per step. Built
// with -mavx512f -mavx512vl for this file alone; see globe_kernels.inc.
// GCC 12's AVX-512 headers start some results (sqrt, conversions) from an
// undefined register and then warn about it under -Wmaybe-uninitialized.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#include <sleef.h>
#include <stdint.h>

#include "globe_kernels.h"

namespace torvik {
namespace {

constexpr int kLanes = 8;
using Vd = __m512d;
using Mask = __mmask8;
using Vi = __m256i;

inline Vd vset1(double v) { return _mm512_set1_pd(v); }
inline Vd vadd(Vd a, Vd b) { return _mm512_add_pd(a, b); }
inline Vd vsub(Vd a, Vd b) { return _mm512_sub_pd(a, b); }
inline Vd vmul(Vd a, Vd b) { return _mm512_mul_pd(a, b); }
inline Vd vdiv(Vd a, Vd b) { return _mm512_div_pd(a, b); }
inline Vd vsqrt(Vd a) { return _mm512_sqrt_pd(a); }
inline Vd vneg(Vd a) {
  return _mm512_castsi512_pd(
      _mm512_xor_si512(_mm512_castpd_si512(a), _mm512_set1_epi64(INT64_MIN)));
}
inline Vd lane_index() { return _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0); }
inline Mask vcmp_le(Vd a, Vd b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
inline Mask vcmp_lt(Vd a, Vd b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
inline Mask vcmp_gt(Vd a, Vd b) { return _mm512_cmp_pd_mask(a, b, _CMP_GT_OQ); }
inline Mask vcmp_ge(Vd a, Vd b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
inline Vd vblend(Mask m, Vd a, Vd b) { return _mm512_mask_blend_pd(m, b, a); }
inline Vd vkeep(Mask m, Vd v) { return _mm512_maskz_mov_pd(m, v); }
inline unsigned mask_bits(Mask m) { return m; }
inline Vd vasin(Vd a) { return Sleef_cinz_asind8_u35avx512fnofma(a); }
inline Vd vatan2(Vd y, Vd x) { return Sleef_cinz_atan2d8_u35avx512fnofma(y, x); }
inline Vd vtrunc(Vd a) { return _mm512_roundscale_pd(a, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }
inline Vi vcvtt(Vd a) { return _mm512_cvttpd_epi32(a); }
inline Vd vcvt(Vi a) { return _mm512_cvtepi32_pd(a); }
inline Vi vi_set1(int32_t v) { return _mm256_set1_epi32(v); }
inline Vi vi_add(Vi a, Vi b) { return _mm256_add_epi32(a, b); }
inline Vi vi_mullo(Vi a, Vi b) { return _mm256_mullo_epi32(a, b); }
constexpr bool kHaveGather = true;
inline Vi gather(const uint32_t* base, Vi index) {
  return _mm256_i32gather_epi32(reinterpret_cast<const int*>(base), index, 4);
}
inline Vi vi_min(Vi a, Vi b) { return _mm256_min_epi32(a, b); }
inline Vi vi_and(Vi a, Vi b) { return _mm256_and_si256(a, b); }
inline Vi vi_or(Vi a, Vi b) { return _mm256_or_si256(a, b); }
inline Vi vi_srli(Vi a, int n) { return _mm256_srli_epi32(a, n); }
inline Vi vi_slli(Vi a, int n) { return _mm256_slli_epi32(a, n); }
inline void vi_store(int32_t* p, Vi v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
inline Vi vi_load(const uint32_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline Vi load_lanes(const uint32_t* p, unsigned bits) {
  return _mm256_maskz_loadu_epi32(static_cast<__mmask8>(bits), p);
}
inline void store_lanes(uint32_t* p, Vi v, unsigned bits) {
  _mm256_mask_storeu_epi32(p, static_cast<__mmask8>(bits), v);
}

#include "globe_kernels.inc"

}  // namespace

void render_globe_avx512(const GlobeTerms& g, const GlobeTexture& tex, const GlobeSquare& sq) {
  render(g, tex, sq);
}

}  // namespace torvik
