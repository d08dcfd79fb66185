// The globe's row kernel on SSE2, the x86-64 baseline: 2 pixels per step. The body is in
// globe_kernels.inc, written once over the vocabulary header.
#include "simd_sse2.h"

#include <cstdint>

#include "globe_kernels.h"
#include "globe_kernels.inc"

// The level's kernel, declared in globe_kernels.h.
void torvik::render_globe_sse2(const GlobeCall& call) { render(call); }
