// The dispatch levels of the vector kernels, as a plain enumeration.
//
// Kernel family headers include this one: it holds no inline code, so the
// per-ISA sources may include it too (see cpu_dispatch.h for why they must
// not include anything with inline code of their own).
#ifndef QUILLON_COMMON_SIMD_LEVEL_H
#define QUILLON_COMMON_SIMD_LEVEL_H

namespace quillon {

// Ordered from the slowest to the fastest.
enum class SimdLevel : int {
  kScalar = 0,  // the scalar transcription with the platform's libm
  kSse2 = 1,    // 2 doubles per vector (every x86-64)
  kAvx2 = 2,    // 4 doubles; AVX2 and FMA
  kAvx512 = 3,  // 8 doubles; AVX-512 F, DQ and VL, with AVX2 and FMA
};

}  // namespace quillon

#endif  // QUILLON_COMMON_SIMD_LEVEL_H
