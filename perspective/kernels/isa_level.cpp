#include "isa_level.h"

namespace torvik {

bool isa_available(Isa isa) {
  switch (isa) {
    case Isa::kScalar:
      return true;
#if defined(TORVIK_HAVE_X86_KERNELS)
    case Isa::kSse2:
      return true;  // part of x86-64 itself
    case Isa::kAvx2:
      return __builtin_cpu_supports("avx2");
    case Isa::kAvx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
#else
    case Isa::kSse2:
    case Isa::kAvx2:
    case Isa::kAvx512:
      return false;
#endif
  }
  return false;
}

Isa best_isa() {
  if (isa_available(Isa::kAvx512)) return Isa::kAvx512;
  if (isa_available(Isa::kAvx2)) return Isa::kAvx2;
  if (isa_available(Isa::kSse2)) return Isa::kSse2;
  return Isa::kScalar;
}

}  // namespace torvik
