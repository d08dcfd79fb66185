// The globe's row kernel on AVX2: 4 pixels per step. Built with -mavx2 for
// this file alone (no -mfma); SLEEF's AVX variants need nothing more. See
// globe_kernels.inc.
#include <immintrin.h>
#include <sleef.h>
#include <stdint.h>

#include "globe_kernels.h"

namespace torvik {
namespace {

constexpr int kLanes = 4;
using Vd = __m256d;
using Mask = __m256d;
using Vi = __m128i;

inline Vd vset1(double v) { return _mm256_set1_pd(v); }
inline Vd vadd(Vd a, Vd b) { return _mm256_add_pd(a, b); }
inline Vd vsub(Vd a, Vd b) { return _mm256_sub_pd(a, b); }
inline Vd vmul(Vd a, Vd b) { return _mm256_mul_pd(a, b); }
inline Vd vdiv(Vd a, Vd b) { return _mm256_div_pd(a, b); }
inline Vd vsqrt(Vd a) { return _mm256_sqrt_pd(a); }
inline Vd vneg(Vd a) { return _mm256_xor_pd(a, _mm256_set1_pd(-0.0)); }
inline Vd lane_index() { return _mm256_set_pd(3, 2, 1, 0); }
inline Mask vcmp_le(Vd a, Vd b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
inline Mask vcmp_lt(Vd a, Vd b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
inline Mask vcmp_gt(Vd a, Vd b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
inline Mask vcmp_ge(Vd a, Vd b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
inline Vd vblend(Mask m, Vd a, Vd b) { return _mm256_blendv_pd(b, a, m); }
inline Vd vkeep(Mask m, Vd v) { return _mm256_and_pd(m, v); }
inline unsigned mask_bits(Mask m) { return static_cast<unsigned>(_mm256_movemask_pd(m)); }
inline Vd vasin(Vd a) { return Sleef_cinz_asind4_u35avx(a); }
inline Vd vatan2(Vd y, Vd x) { return Sleef_cinz_atan2d4_u35avx(y, x); }
inline Vd vtrunc(Vd a) { return _mm256_round_pd(a, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }
inline Vi vcvtt(Vd a) { return _mm256_cvttpd_epi32(a); }
inline Vd vcvt(Vi a) { return _mm256_cvtepi32_pd(a); }
inline Vi vi_set1(int32_t v) { return _mm_set1_epi32(v); }
inline Vi vi_add(Vi a, Vi b) { return _mm_add_epi32(a, b); }
inline Vi vi_mullo(Vi a, Vi b) { return _mm_mullo_epi32(a, b); }
constexpr bool kHaveGather = true;
inline Vi gather(const uint32_t* base, Vi index) {
  return _mm_i32gather_epi32(reinterpret_cast<const int*>(base), index, 4);
}
inline Vi vi_min(Vi a, Vi b) { return _mm_min_epi32(a, b); }
inline Vi vi_and(Vi a, Vi b) { return _mm_and_si128(a, b); }
inline Vi vi_or(Vi a, Vi b) { return _mm_or_si128(a, b); }
inline Vi vi_srli(Vi a, int n) { return _mm_srli_epi32(a, n); }
inline Vi vi_slli(Vi a, int n) { return _mm_slli_epi32(a, n); }
inline void vi_store(int32_t* p, Vi v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline Vi vi_load(const uint32_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
// All-ones in lane j when bit j is set.
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

#include "globe_kernels.inc"

}  // namespace

void render_globe_avx2(const GlobeTerms& g, const GlobeTexture& tex, const GlobeSquare& sq) {
  render(g, tex, sq);
}

}  // namespace torvik
