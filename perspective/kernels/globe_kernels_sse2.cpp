// The globe's row kernel on SSE2, the x86-64 baseline: 2 pixels per step.
// See globe_kernels.inc.
#include <emmintrin.h>
#include <sleef.h>
#include <stdint.h>

#include "globe_kernels.h"

namespace torvik {
namespace {

constexpr int kLanes = 2;
using Vd = __m128d;
using Mask = __m128d;
using Vi = __m128i;  // two int32 lanes in the low half

inline Vd vset1(double v) { return _mm_set1_pd(v); }
inline Vd vadd(Vd a, Vd b) { return _mm_add_pd(a, b); }
inline Vd vsub(Vd a, Vd b) { return _mm_sub_pd(a, b); }
inline Vd vmul(Vd a, Vd b) { return _mm_mul_pd(a, b); }
inline Vd vdiv(Vd a, Vd b) { return _mm_div_pd(a, b); }
inline Vd vsqrt(Vd a) { return _mm_sqrt_pd(a); }
inline Vd vneg(Vd a) { return _mm_xor_pd(a, _mm_set1_pd(-0.0)); }
inline Vd lane_index() { return _mm_set_pd(1, 0); }
// SSE2's comparisons are ordered: false when either operand is NaN.
inline Mask vcmp_le(Vd a, Vd b) { return _mm_cmple_pd(a, b); }
inline Mask vcmp_lt(Vd a, Vd b) { return _mm_cmplt_pd(a, b); }
inline Mask vcmp_gt(Vd a, Vd b) { return _mm_cmpgt_pd(a, b); }
inline Mask vcmp_ge(Vd a, Vd b) { return _mm_cmpge_pd(a, b); }
inline Vd vblend(Mask m, Vd a, Vd b) { return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b)); }
inline Vd vkeep(Mask m, Vd v) { return _mm_and_pd(m, v); }
inline unsigned mask_bits(Mask m) { return static_cast<unsigned>(_mm_movemask_pd(m)); }
inline Vd vasin(Vd a) { return Sleef_cinz_asind2_u35sse2(a); }
inline Vd vatan2(Vd y, Vd x) { return Sleef_cinz_atan2d2_u35sse2(y, x); }
inline Vd vtrunc(Vd a) { return Sleef_cinz_truncd2_sse2(a); }
inline Vi vcvtt(Vd a) { return _mm_cvttpd_epi32(a); }
inline Vd vcvt(Vi a) { return _mm_cvtepi32_pd(a); }
inline Vi vi_set1(int32_t v) { return _mm_set1_epi32(v); }
inline Vi vi_add(Vi a, Vi b) { return _mm_add_epi32(a, b); }
// SSE2 has no gather (nor a 32-bit multiply): texels are fetched lane by lane.
constexpr bool kHaveGather = false;
inline Vi vi_mullo(Vi a, Vi) { return a; }
inline Vi gather(const uint32_t*, Vi index) { return index; }
inline Vi vi_min(Vi a, Vi b) {
  const Vi a_greater = _mm_cmpgt_epi32(a, b);
  return _mm_or_si128(_mm_and_si128(a_greater, b), _mm_andnot_si128(a_greater, a));
}
inline Vi vi_and(Vi a, Vi b) { return _mm_and_si128(a, b); }
inline Vi vi_or(Vi a, Vi b) { return _mm_or_si128(a, b); }
inline Vi vi_srli(Vi a, int n) { return _mm_srli_epi32(a, n); }
inline Vi vi_slli(Vi a, int n) { return _mm_slli_epi32(a, n); }
inline void vi_store(int32_t* p, Vi v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }
inline Vi vi_load(const uint32_t* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
inline Vi load_lanes(const uint32_t* p, unsigned bits) {
  uint32_t w[2] = {0, 0};
  if (bits & 1u) w[0] = p[0];
  if (bits & 2u) w[1] = p[1];
  return vi_load(w);
}
inline void store_lanes(uint32_t* p, Vi v, unsigned bits) {
  int32_t w[2];
  vi_store(w, v);
  if (bits & 1u) p[0] = static_cast<uint32_t>(w[0]);
  if (bits & 2u) p[1] = static_cast<uint32_t>(w[1]);
}

#include "globe_kernels.inc"

}  // namespace

void render_globe_sse2(const GlobeTerms& g, const GlobeTexture& tex, const GlobeSquare& sq) {
  render(g, tex, sq);
}

}  // namespace torvik
