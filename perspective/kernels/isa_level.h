// The instruction-set levels that the vector kernels are built for, and the
// choice among them for the CPU at hand.
//
// Every level computes the same bits: the kernels keep the order of each
// formula, use no fused multiply-add (every file is built with
// -ffp-contract=off), and take their elementary functions from SLEEF's
// deterministic variants, whose results do not depend on the vector width.
// Only speed differs from level to level.
#ifndef TORVIK_KERNELS_ISA_LEVEL_H
#define TORVIK_KERNELS_ISA_LEVEL_H

namespace torvik {

enum class Isa : int {
  kScalar = 0,  // the per-element transcription of the formulas
  kSse2 = 1,    // 2 lanes of double
  kAvx2 = 2,    // 4 lanes
  kAvx512 = 3,  // 8 lanes (AVX-512 F and VL)
};

// The widest level this CPU runs and this build contains. Asked once per
// export call; the answer is a few loads from the runtime's CPU model.
Isa best_isa();

// True when this build contains the kernels of `isa` and the CPU runs them.
bool isa_available(Isa isa);

}  // namespace torvik

#endif  // TORVIK_KERNELS_ISA_LEVEL_H
