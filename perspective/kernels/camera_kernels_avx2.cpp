// The camera's array kernels on AVX2 (compiled with -mavx2 -mfma; the build
// keeps every multiply and add separate, never fused): 4 lanes of double. The bodies are
// in camera_kernels.inc, written once over the vocabulary header.
#include "simd_avx2.h"

#include <cstdint>

#include "camera_kernels.h"
#include "camera_kernels.inc"

// The level's kernels, declared in camera_kernels.h.
int64_t torvik::transform_points_avx2(const CameraCall& call) { return points_kernel(call); }
int64_t torvik::transform_lines_avx2(const CameraCall& call) { return lines_kernel(call); }
