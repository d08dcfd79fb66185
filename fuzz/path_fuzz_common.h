// path_fuzz_common.h - builds a Blend2D path from fuzzer input, for the
// targets that walk paths.
#ifndef QUILLON_FUZZ_PATH_FUZZ_COMMON_H
#define QUILLON_FUZZ_PATH_FUZZ_COMMON_H

#include <blend2d/blend2d.h>

#include <cstdint>

#include "bl_holders.h"
#include "fuzz_input.h"

namespace quillon_fuzz {

inline void check(bool ok) {
  if (!ok) __builtin_trap();
}

// A path owned by the target: the tests' holder.
using quillon_test::Path;

// Appends up to max_ops path operations: moves, lines, quads, cubics,
// conics (with their NaN weight entries) and closes.
inline void build_path(Input& in, BLPathCore* p, size_t max_ops) {
  for (size_t i = 0; i < max_ops && in.left() > 0; ++i) {
    switch (in.byte() % 6) {
      case 0: bl_path_move_to(p, in.number(), in.number()); break;
      case 1: bl_path_line_to(p, in.number(), in.number()); break;
      case 2: bl_path_quad_to(p, in.number(), in.number(), in.number(), in.number()); break;
      case 3:
        bl_path_cubic_to(p, in.number(), in.number(), in.number(), in.number(), in.number(),
                         in.number());
        break;
      case 4:
        bl_path_conic_to(p, in.number(), in.number(), in.number(), in.number(), in.number());
        break;
      default: bl_path_close(p); break;
    }
  }
}

}  // namespace quillon_fuzz

#endif  // QUILLON_FUZZ_PATH_FUZZ_COMMON_H
