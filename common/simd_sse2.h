// Vector vocabulary for SSE2, the x86-64 baseline: 2 doubles per vector.
// Included by the kernels/<name>_sse2.cpp sources only; the operations are
// listed, with their exact meaning, in simd_ops.h.
//
// SSE2 has no FMA, so SLEEF's FMA functions (vsin, vlog, ...) are missing
// here: a kernel that needs them has no SSE2 version and runs its scalar
// code below AVX2. Neither are there a gather nor a 32-bit multiply or
// minimum; vi_min is built from a comparison, and kHaveGather is false.
#ifndef QUILLON_COMMON_SIMD_SSE2_H
#define QUILLON_COMMON_SIMD_SSE2_H

#if !defined(__SSE2__)
#error "simd_sse2.h is for the sources built with -msse2 (kernels/<name>_sse2.cpp)"
#endif

#include <emmintrin.h>
#include <sleef.h>

#include <cstdint>

#define QUILLON_SIMD_LANES 2
#define QUILLON_SIMD_V __m128d
#define QUILLON_SIMD_MASK __m128d  // all ones in a true lane
#define QUILLON_SIMD_VI __m128i  // kLanes int32 lanes, in the low half
#define QUILLON_SIMD(op) _mm_##op
#define QUILLON_SIMD_FULL(op, ...) _mm_##op(__VA_ARGS__)
#define QUILLON_SIMD_CMP(a, b, sse_name, avx_predicate) _mm_cmp##sse_name##_pd(a, b)
#define QUILLON_SIMD_I(op) _mm_##op
#define QUILLON_SIMD_IBITS(op) _mm_##op##_si128
#define QUILLON_SLEEF_CINZ_U35(fn) Sleef_cinz_##fn##d2_u35sse2
#define QUILLON_SIMD_HAS_MASK_BANDS 1

#include "simd_ops.h"

namespace quillon {
namespace simd {
namespace {

inline V vblend(Mask m, V a, V b) { return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b)); }
inline V vkeep(Mask m, V v) { return _mm_and_pd(m, v); }
inline V vzero_where(Mask m, V v) { return _mm_andnot_pd(m, v); }
inline unsigned mask_bits(Mask m) { return static_cast<unsigned>(_mm_movemask_pd(m)); }
inline V lane_index() { return _mm_set_pd(1, 0); }
inline V vtrunc(V a) { return Sleef_cinz_truncd2_sse2(a); }

// y * 2^k, where k sits in the low mantissa bits of k_magic = k + 1.5 * 2^52
// and y * 2^k is a normal number: k is added to y's exponent field.
inline V vscale2(V y, V k_magic) {
  const __m128i k = _mm_sub_epi64(_mm_castpd_si128(k_magic), _mm_castpd_si128(_mm_set1_pd(0x1.8p52)));
  return _mm_castsi128_pd(_mm_add_epi64(_mm_castpd_si128(y), _mm_slli_epi64(k, 52)));
}

inline void deinterleave(V lo, V hi, V& even, V& odd) {
  even = _mm_unpacklo_pd(lo, hi);
  odd = _mm_unpackhi_pd(lo, hi);
}

inline void interleave(V even, V odd, V& lo, V& hi) {
  lo = _mm_unpacklo_pd(even, odd);
  hi = _mm_unpackhi_pd(even, odd);
}

// Stand-ins that keep the kernels' gather branch compiling; it never runs
// here (kHaveGather is false).
inline Vi vi_mullo(Vi a, Vi) { return a; }
inline Vi gather(const uint32_t*, Vi index) { return index; }
inline Vi vi_min(Vi a, Vi b) {
  const Vi a_greater = _mm_cmpgt_epi32(a, b);
  return _mm_or_si128(_mm_and_si128(a_greater, b), _mm_andnot_si128(a_greater, a));
}
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

}  // namespace
}  // namespace simd
}  // namespace quillon


#endif  // QUILLON_COMMON_SIMD_SSE2_H
