// Map projections, AVX2 + FMA kernels: 4 doubles per vector. The bodies are in
// projection_kernels_simd.inc, written once over the vocabulary header.
#include "simd_avx2.h"

#include <cstdint>

#include "projection_kernels.h"
#include "projection_kernels_simd.inc"

// The level's kernels, declared in projection_kernels.h.
void ordane::proj::merc_forward_avx2(const Pairs& a) { merc_forward_body(a); }
void ordane::proj::merc_inverse_avx2(const Pairs& a) { merc_inverse_body(a); }
void ordane::proj::lcc_forward_avx2(const LccParams& p, const Pairs& a) { lcc_body(p, a); }
void ordane::proj::aea_forward_avx2(const AeaParams& p, const Pairs& a) { aea_body(p, a); }
void ordane::proj::lcc_inverse_avx2(const LccParams& p, const Pairs& a) { lcc_inverse_body(p, a); }
void ordane::proj::aea_inverse_avx2(const AeaParams& p, const Pairs& a) { aea_inverse_body(p, a); }
void ordane::proj::ortho_forward_avx2(const OrthoParams& p, const FlaggedPairs& a) {
  ortho_forward_body(p, a);
}
void ordane::proj::ortho_inverse_avx2(const OrthoParams& p, const Pairs& a) {
  ortho_inverse_body(p, a);
}
void ordane::proj::eqearth_forward_avx2(const EqEarthParams& p, const Pairs& a) {
  eqearth_forward_body(p, a);
}
void ordane::proj::eqearth_inverse_avx2(const EqEarthParams& p, const Pairs& a) {
  eqearth_inverse_body(p, a);
}
