// The globe's row kernel on AVX2 (built with -mavx2 -mfma;
// contraction is off, so nothing is fused): 4 pixels per step. The body is in
// globe_kernels.inc, written once over the vocabulary header.
#include "simd_avx2.h"

#include <cstdint>

#include "globe_kernels.h"
#include "globe_kernels.inc"

// The level's kernel, declared in globe_kernels.h.
void torvik::render_globe_avx2(const GlobeCall& call) { render(call); }
