// The globe's row kernel on AVX-512 (F, DQ and VL): 8 pixels per step. The body is in
// globe_kernels.inc, written once over the vocabulary header.
#include "simd_avx512.h"

#include <cstdint>

#include "globe_kernels.h"
#include "globe_kernels.inc"

// The level's kernel, declared in globe_kernels.h.
void torvik::render_globe_avx512(const GlobeCall& call) { render(call); }
