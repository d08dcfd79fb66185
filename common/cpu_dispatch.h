// Run-time choice of the vector instruction set for the array kernels.
//
// One binary runs on any x86-64: the kernels for each instruction set live in
// their own source file, compiled with that set's flags only (see
// cmake/simd_kernels.cmake), and an export picks the best level the CPU
// offers once per call. The vector kernels use elementary functions whose
// results are the same bits on every level that runs them (SLEEF's
// deterministic variants, or lane-wise code of our own), so the level
// changes the speed, never the numbers. Kernels built on SLEEF's FMA
// variants start at AVX2 (which requires FMA here); below it they run the
// scalar code. Elsewhere (non-x86 builds) only the scalar code exists.
//
// Kernels take the level as an argument instead of reading a global switch:
// the libraries read no configuration, and tests and benchmarks, which link
// the kernels' static library (<lib>_kernels) directly, pass each level in
// turn to compare them.
//
// Include this header only from baseline sources (the exports and the
// dispatchers). The per-ISA files must not share inline code with the rest
// of the program: the linker keeps one copy of an inline function, and it
// could be the one compiled for AVX-512.
#ifndef QUILLON_COMMON_CPU_DISPATCH_H
#define QUILLON_COMMON_CPU_DISPATCH_H

#ifndef QUILLON_SIMD_X86
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUILLON_SIMD_X86 1
#else
#define QUILLON_SIMD_X86 0
#endif
#endif

namespace quillon {

// Ordered from the slowest to the fastest.
enum class SimdLevel : int {
  kScalar = 0,  // the scalar transcription with the platform's libm
  kSse2 = 1,    // 2 doubles per vector (every x86-64)
  kAvx2 = 2,    // 4 doubles; AVX2 and FMA (used inside SLEEF's FMA variants only)
  kAvx512 = 3,  // 8 doubles; AVX-512 F and DQ
};

// Whether this CPU (and its operating system, which must save the wider
// registers) can run the level's kernels, and whether the build has them.
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
             __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    default:
      return false;
#endif
  }
  return false;
}

// The fastest level this CPU runs. Cheap (a few loads and tests), so an
// export calls it once per call rather than caching a global.
inline SimdLevel best_simd_level() noexcept {
  if (simd_level_supported(SimdLevel::kAvx512)) return SimdLevel::kAvx512;
  if (simd_level_supported(SimdLevel::kAvx2)) return SimdLevel::kAvx2;
  if (simd_level_supported(SimdLevel::kSse2)) return SimdLevel::kSse2;
  return SimdLevel::kScalar;
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

}  // namespace quillon

#endif  // QUILLON_COMMON_CPU_DISPATCH_H
