// Run-time choice of the vector instruction set for the array kernels, and
// the one way the kernels are dispatched.
//
// One binary runs on any x86-64: the kernels for each instruction set live in
// their own source file, compiled with that set's flags only (see
// cmake/simd_kernels.cmake), and written over that set's vocabulary header
// (common/simd_<isa>.h). The vector kernels use elementary functions whose
// results are the same bits on every level that runs them (SLEEF's
// deterministic variants, or lane-wise code of our own), so the level
// changes the speed, never the numbers. Elsewhere (non-x86 builds) only the
// scalar code exists.
//
// Dispatch. Each kernel family declares a record of function pointers, one
// per kernel (ordane::proj::ProjectionKernels, torvik::CameraKernels, ...),
// and its baseline source defines one constant record per level in a
// KernelTables, every entry naming the definition that level runs
// (lcc_forward_avx2, or lcc_forward_scalar where a level has no vector code
// for a kernel). The tables are filled at compile time, so they are no
// mutable state; the CPU's level is resolved once (best_simd_level) and a
// call goes through its level's table. Kernels take the level as an
// argument rather than reading a global switch: the libraries read no
// configuration, and tests and benchmarks, which link the kernels' static
// library (<lib>_kernels) directly, pass each level in turn to compare them.
//
// Include this header only from baseline sources (the exports and the
// dispatchers). The per-ISA files must not share inline code with the rest
// of the program: the linker keeps one copy of an inline function, and it
// could be the one compiled for AVX-512. The build defines
// QUILLON_SIMD_ISA_SOURCE for them, which turns such an include into an error.
#ifndef QUILLON_COMMON_CPU_DISPATCH_H
#define QUILLON_COMMON_CPU_DISPATCH_H

#ifdef QUILLON_SIMD_ISA_SOURCE
#error "cpu_dispatch.h holds inline code: per-ISA sources include simd_level.h instead"
#endif

#include "simd_level.h"

#ifndef QUILLON_SIMD_X86
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUILLON_SIMD_X86 1
#else
#define QUILLON_SIMD_X86 0
#endif
#endif

namespace quillon {

// Whether this CPU (and its operating system, which must save the wider
// registers) can run the level's kernels, and whether the build has them.
// The AVX-512 kernels are built with F, DQ and VL, so all three are asked
// for (every CPU with DQ has VL, but the flags are what the compiler used).
inline bool simd_level_supported(SimdLevel level) noexcept {
  switch (level) {
    case SimdLevel::kScalar:
      return true;
#if QUILLON_SIMD_X86
    case SimdLevel::kSse2:
      return true;
    case SimdLevel::kAvx2:
      // __builtin_cpu_supports consults the OS-enabled register state too.
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case SimdLevel::kAvx512:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
             __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx2") &&
             __builtin_cpu_supports("fma");
#else
    default:
      return false;
#endif
  }
  return false;
}

// The fastest level this CPU runs, found on the first call and kept (a
// function-local static: initialised once, safely under threads).
inline SimdLevel best_simd_level() noexcept {
  static const SimdLevel best = [] {
    if (simd_level_supported(SimdLevel::kAvx512)) return SimdLevel::kAvx512;
    if (simd_level_supported(SimdLevel::kAvx2)) return SimdLevel::kAvx2;
    if (simd_level_supported(SimdLevel::kSse2)) return SimdLevel::kSse2;
    return SimdLevel::kScalar;
  }();
  return best;
}

inline const char* simd_level_name(SimdLevel level) noexcept {
  switch (level) {
    case SimdLevel::kScalar:
      return "scalar";
    case SimdLevel::kSse2:
      return "sse2";
    case SimdLevel::kAvx2:
      return "avx2";
    case SimdLevel::kAvx512:
      return "avx512";
  }
  return "unknown";
}

// One kernel family's tables, one per level, in level order. On builds
// without the vector kernels every entry of every table is a scalar one.
template <typename Table>
struct KernelTables {
  Table scalar;
  Table sse2;
  Table avx2;
  Table avx512;

  constexpr const Table& at(SimdLevel level) const noexcept {
    switch (level) {
      case SimdLevel::kSse2:
        return sse2;
      case SimdLevel::kAvx2:
        return avx2;
      case SimdLevel::kAvx512:
        return avx512;
      case SimdLevel::kScalar:
        break;
    }
    return scalar;
  }
};

}  // namespace quillon

#endif  // QUILLON_COMMON_CPU_DISPATCH_H
