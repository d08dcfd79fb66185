// The operations every instruction set's vocabulary offers, written once.
//
// Included by simd_sse2.h, simd_avx2.h and simd_avx512.h (never on its own),
// after the ISA header has defined the macros that name its types and
// intrinsics (QUILLON_SIMD_LANES, _V, _MASK, _VI; QUILLON_SIMD(op): the
// double-vector intrinsic `op`; QUILLON_SIMD_FULL: the same with every lane
// written; QUILLON_SIMD_CMP: an ordered comparison; QUILLON_SIMD_I and
// QUILLON_SIMD_IBITS: the int32 lanes' intrinsics; QUILLON_SLEEF_*: SLEEF's
// functions for the width). This file declares the whole vocabulary and
// defines what the macros can spell; the ISA header then defines the rest,
// whose instructions differ in kind from one set to the next (blends, masks,
// shuffles, partial loads). The macros are undefined again at the end.
//
// The vocabulary (namespace quillon::simd; internal linkage throughout, so
// no instruction set's copy of a helper can stand in for another's at link
// time):
//
//   kLanes                    doubles per vector
//   V, Mask, Vi               double vector, comparison result, kLanes int32
//   vset(d)                   every lane d
//   vadd vsub vmul vdiv vsqrt IEEE lane-wise arithmetic (correctly rounded,
//                             so each lane has the scalar operation's bits)
//   vneg(a)                   the sign bit flipped
//   vabs(a)                   the sign bit cleared
//   vmin(a, b), vmax(a, b)    a < b ? a : b and a > b ? a : b, so b when
//                             either is NaN (the SSE/AVX min and max rule)
//   vcmp_le vcmp_lt vcmp_gt vcmp_ge
//                             ordered comparisons: false when a NaN takes part
//   vcmp_unord(a, b)          true when either is NaN
//   vblend(m, a, b)           m ? a : b
//   vkeep(m, v)               m ? v : +0.0;   vzero_where(m, v): m ? +0.0 : v
//   mask_bits(m)              bit j set when lane j of m is true
//   lane_index()              lane j holds j
//   vtrunc(a)                 rounding toward zero, exact
//   vloadu(p), vstoreu(p, v)  kLanes doubles, any alignment
//   deinterleave(lo, hi, even, odd), interleave(even, odd, lo, hi)
//                             2 * kLanes interleaved numbers (x0 y0 x1 y1 ...)
//                             to and from the x and y vectors, lanes in order
//   vload_pairs(p, &a, &b), vstore_pairs(p, a, b)
//                             the same in some lane order, cheaper (one
//                             unpack per vector): for kernels whose lanes
//                             are independent
//   vnan_to_default(v)        every NaN lane replaced by kDefaultNaN
//   vband(x, bounds), vpick(band, t)
//                             the band of x among four ascending bounds, and
//                             entry `band` of a five-entry table
//   vscale2(y, k_magic)       y * 2^k, k held as k + 1.5 * 2^52, y * 2^k normal
//   vasin(a), vatan2(y, x)    SLEEF's deterministic no-FMA ("cinz") 3.5-ulp
//                             functions: the same bits on every level
//   vsin vcos vtan vatan vlog vexp vpow, vsincos(a, &s, &c),
//   vasin_u10(a), vatan2_u10(y, x), vhypot(a, b)
//                             SLEEF's deterministic FMA ("finz") 1-ulp
//                             functions (hypot 0.5 ulp): the same bits on
//                             AVX2 and AVX-512; AVX2 and up only
//                             (QUILLON_SIMD_HAS_FMA)
//   int32 lanes: vi_set1 vi_add vi_mullo vi_min vi_and vi_or vi_srli vi_slli,
//                vi_load(const uint32_t*), vi_store(int32_t*),
//                vcvtt(V) -> Vi (truncation; only for values that fit int32),
//                vcvt(Vi) -> V,
//                load_lanes(p, bits), store_lanes(p, v, bits): only the lanes in bits
//   kHaveGather, gather(base, index)
//                             kLanes words at int32 indices (AVX2 and up)
#if !defined(QUILLON_SIMD) || !defined(QUILLON_SIMD_CMP) || !defined(QUILLON_SIMD_I)
#error "simd_ops.h is included by the vocabulary headers simd_<isa>.h only"
#endif

namespace quillon {
namespace simd {
namespace {

constexpr int kLanes = QUILLON_SIMD_LANES;
using V = QUILLON_SIMD_V;
using Mask = QUILLON_SIMD_MASK;
using Vi = QUILLON_SIMD_VI;

// The quiet NaN every NaN result is stored as (bits 0x7ff8000000000000).
constexpr double kDefaultNaN = __builtin_nan("");

// ============================================================================
// Defined by each ISA header
// ============================================================================

inline V vblend(Mask m, V a, V b);
inline V vkeep(Mask m, V v);
inline V vzero_where(Mask m, V v);
inline unsigned mask_bits(Mask m);
inline V lane_index();
inline V vtrunc(V a);
inline V vscale2(V y, V k_magic);
inline void deinterleave(V lo, V hi, V& even, V& odd);
inline void interleave(V even, V odd, V& lo, V& hi);
inline Vi vi_mullo(Vi a, Vi b);
inline Vi vi_min(Vi a, Vi b);
inline Vi gather(const uint32_t* base, Vi index);
inline Vi vi_load(const uint32_t* p);
inline void vi_store(int32_t* p, Vi v);
inline Vi load_lanes(const uint32_t* p, unsigned bits);
inline void store_lanes(uint32_t* p, Vi v, unsigned bits);

// ============================================================================
// Defined here
// ============================================================================

inline V vset(double d) { return QUILLON_SIMD(set1_pd)(d); }
inline V vadd(V a, V b) { return QUILLON_SIMD(add_pd)(a, b); }
inline V vsub(V a, V b) { return QUILLON_SIMD(sub_pd)(a, b); }
inline V vmul(V a, V b) { return QUILLON_SIMD(mul_pd)(a, b); }
inline V vdiv(V a, V b) { return QUILLON_SIMD(div_pd)(a, b); }
inline V vsqrt(V a) { return QUILLON_SIMD_FULL(sqrt_pd, a); }
inline V vmin(V a, V b) { return QUILLON_SIMD_FULL(min_pd, a, b); }
inline V vmax(V a, V b) { return QUILLON_SIMD_FULL(max_pd, a, b); }
inline V vneg(V a) { return QUILLON_SIMD(xor_pd)(a, vset(-0.0)); }
inline V vabs(V a) { return QUILLON_SIMD(andnot_pd)(vset(-0.0), a); }
inline V vloadu(const double* p) { return QUILLON_SIMD(loadu_pd)(p); }
inline void vstoreu(double* p, V v) { QUILLON_SIMD(storeu_pd)(p, v); }

inline Mask vcmp_le(V a, V b) { return QUILLON_SIMD_CMP(a, b, le, LE_OQ); }
inline Mask vcmp_lt(V a, V b) { return QUILLON_SIMD_CMP(a, b, lt, LT_OQ); }
inline Mask vcmp_gt(V a, V b) { return QUILLON_SIMD_CMP(a, b, gt, GT_OQ); }
inline Mask vcmp_ge(V a, V b) { return QUILLON_SIMD_CMP(a, b, ge, GE_OQ); }
inline Mask vcmp_unord(V a, V b) { return QUILLON_SIMD_CMP(a, b, unord, UNORD_Q); }

inline V vnan_to_default(V a) { return vblend(vcmp_unord(a, a), vset(kDefaultNaN), a); }

// unpacklo/unpackhi work within 128-bit lanes: both pick the same pairs, so
// a and b hold the two numbers of the same pairs, lane for lane, and the
// same two instructions on (x, y) put every result back in its pair.
inline void vload_pairs(const double* p, V* a, V* b) {
  const V lo = vloadu(p);
  const V hi = vloadu(p + kLanes);
  *a = QUILLON_SIMD_FULL(unpacklo_pd, lo, hi);
  *b = QUILLON_SIMD_FULL(unpackhi_pd, lo, hi);
}

inline void vstore_pairs(double* p, V a, V b) {
  vstoreu(p, QUILLON_SIMD_FULL(unpacklo_pd, a, b));
  vstoreu(p + kLanes, QUILLON_SIMD_FULL(unpackhi_pd, a, b));
}

#if QUILLON_SIMD_HAS_MASK_BANDS
// The four comparison masks, each true where x >= its bound.
struct Band {
  Mask ge[4];
};

inline Band vband(V x, const double (&bounds)[4]) {
  Band b;
  for (int i = 0; i < 4; ++i) b.ge[i] = vcmp_ge(x, vset(bounds[i]));
  return b;
}

// The bounds are ascending, so a lane's highest true mask names its band.
inline V vpick(const Band& b, const double (&t)[5]) {
  V r = vset(t[0]);
  for (int i = 0; i < 4; ++i) r = vblend(b.ge[i], vset(t[i + 1]), r);
  return r;
}
#else
using Band = QUILLON_SIMD_BAND;
inline Band vband(V x, const double (&bounds)[4]);
inline V vpick(const Band& b, const double (&t)[5]);
#endif

inline V vasin(V a) { return QUILLON_SLEEF_CINZ_U35(asin)(a); }
inline V vatan2(V y, V x) { return QUILLON_SLEEF_CINZ_U35(atan2)(y, x); }

#ifdef QUILLON_SLEEF_FINZ
#define QUILLON_SIMD_HAS_FMA 1
inline V vsin(V a) { return QUILLON_SLEEF_FINZ(sin)(a); }
inline V vcos(V a) { return QUILLON_SLEEF_FINZ(cos)(a); }
inline V vatan(V a) { return QUILLON_SLEEF_FINZ(atan)(a); }
inline V vasin_u10(V a) { return QUILLON_SLEEF_FINZ(asin)(a); }
inline V vatan2_u10(V y, V x) { return QUILLON_SLEEF_FINZ(atan2)(y, x); }
inline V vhypot(V a, V b) { return QUILLON_SLEEF_FINZ_U05(hypot)(a, b); }
inline V vtan(V a) { return QUILLON_SLEEF_FINZ(tan)(a); }
inline V vlog(V a) { return QUILLON_SLEEF_FINZ(log)(a); }
inline V vexp(V a) { return QUILLON_SLEEF_FINZ(exp)(a); }
inline V vpow(V a, V b) { return QUILLON_SLEEF_FINZ(pow)(a, b); }
inline void vsincos(V a, V* s, V* c) {
  const QUILLON_SLEEF_FINZ_PAIR r = QUILLON_SLEEF_FINZ(sincos)(a);
  *s = r.x;
  *c = r.y;
}
#else
#define QUILLON_SIMD_HAS_FMA 0
#endif

inline Vi vcvtt(V a) { return QUILLON_SIMD_FULL(cvttpd_epi32, a); }
inline V vcvt(Vi a) { return QUILLON_SIMD_FULL(cvtepi32_pd, a); }
inline Vi vi_set1(int32_t v) { return QUILLON_SIMD_I(set1_epi32)(v); }
inline Vi vi_add(Vi a, Vi b) { return QUILLON_SIMD_I(add_epi32)(a, b); }
inline Vi vi_and(Vi a, Vi b) { return QUILLON_SIMD_IBITS(and)(a, b); }
inline Vi vi_or(Vi a, Vi b) { return QUILLON_SIMD_IBITS(or)(a, b); }
inline Vi vi_srli(Vi a, int n) { return QUILLON_SIMD_I(srli_epi32)(a, n); }
inline Vi vi_slli(Vi a, int n) { return QUILLON_SIMD_I(slli_epi32)(a, n); }

#if QUILLON_SIMD_HAS_GATHER
constexpr bool kHaveGather = true;
inline Vi vi_mullo(Vi a, Vi b) { return QUILLON_SIMD_I(mullo_epi32)(a, b); }
inline Vi vi_min(Vi a, Vi b) { return QUILLON_SIMD_I(min_epi32)(a, b); }
inline Vi gather(const uint32_t* base, Vi index) {
  return QUILLON_SIMD_I(i32gather_epi32)(reinterpret_cast<const int*>(base), index, 4);
}
inline void vi_store(int32_t* p, Vi v) { QUILLON_SIMD_IBITS(storeu)(reinterpret_cast<Vi*>(p), v); }
inline Vi vi_load(const uint32_t* p) {
  return QUILLON_SIMD_IBITS(loadu)(reinterpret_cast<const Vi*>(p));
}
#else
constexpr bool kHaveGather = false;
#endif

}  // namespace
}  // namespace simd
}  // namespace quillon

#undef QUILLON_SIMD_LANES
#undef QUILLON_SIMD_V
#undef QUILLON_SIMD_MASK
#undef QUILLON_SIMD_VI
#undef QUILLON_SIMD_BAND
#undef QUILLON_SIMD
#undef QUILLON_SIMD_FULL
#undef QUILLON_SIMD_CMP
#undef QUILLON_SIMD_I
#undef QUILLON_SIMD_IBITS
#undef QUILLON_SLEEF_FINZ
#undef QUILLON_SLEEF_FINZ_PAIR
#undef QUILLON_SLEEF_FINZ_U05
#undef QUILLON_SLEEF_CINZ_U35
#undef QUILLON_SIMD_HAS_MASK_BANDS
#undef QUILLON_SIMD_HAS_GATHER
