// The camera's array kernels on AVX-512 (F, DQ and VL): 8 lanes of double. The bodies are
// in camera_kernels.inc, written once over the vocabulary header.
#include "simd_avx512.h"

#include <cstdint>

#include "camera_kernels.h"
#include "camera_kernels.inc"

// The level's kernels, declared in camera_kernels.h.
int64_t torvik::transform_points_avx512(const CameraCall& call) { return points_kernel(call); }
int64_t torvik::transform_lines_avx512(const CameraCall& call) { return lines_kernel(call); }
