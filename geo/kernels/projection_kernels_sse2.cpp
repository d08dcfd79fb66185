// Map projections, SSE2 kernels: 2 doubles per vector. Only the Mercator
// inverse, whose elementary functions are written lane-wise: the other
// projections take SLEEF's FMA functions, so a CPU without AVX2 and FMA runs
// their scalar code. The bodies are in
// projection_kernels_simd.inc, written once over the vocabulary header.
#include "simd_sse2.h"

#include <cstdint>

#include "projection_kernels.h"
#include "projection_kernels_simd.inc"

// The level's kernels, declared in projection_kernels.h.
void ordane::proj::merc_inverse_sse2(const Pairs& a) { merc_inverse_body(a); }
