// The camera projection's array kernels: the camera record digested once per
// call into CameraTerms, and one kernel per array shape and instruction-set
// level.
//
// This header is included by the per-ISA files, which are built with their
// own target flags. It therefore holds only plain records and declarations:
// an inline function or template defined here would be compiled once per ISA
// file, and the linker could keep the AVX-512 copy for every caller.
#ifndef TORVIK_PERSPECTIVE_KERNELS_CAMERA_KERNELS_H
#define TORVIK_PERSPECTIVE_KERNELS_CAMERA_KERNELS_H

#include <cstdint>

#include "simd_level.h"

namespace torvik {

// Everything that depends on the camera alone.
struct CameraTerms {
  double cos_bearing, sin_bearing;
  double cos_pitch, sin_pitch;
  double cos_roll, sin_roll;
  // Half the viewport height over the tangent of half the field of view (in
  // radians): the focal scale, divided per point by that point's depth.
  double focal;
  double half_width;   // viewport_width * 0.5
  double half_height;  // viewport_height * 0.5
  double distance;
  double center_x, center_y;
  double near_depth;  // near_plane, or 10 when it is not above 1 (NaN included)
};

// The outputs of one array call. `points` is required; `scales` and
// `visible` may be null and are then skipped.
struct CameraOutputs {
  double* points;
  double* scales;
  uint8_t* visible;
};

// ============================================================================
// Kernels, one definition per level
// ============================================================================

// One kernel call: `count` points (or segments) read from `in` and written
// to `out`. `in` may be out.points itself; any other overlap goes to the
// scalar kernel (see transform_points below).
struct CameraCall {
  const CameraTerms& terms;
  const double* in;
  CameraOutputs out;
  uint64_t count;
};

// transform_points_*: projects `count` interleaved (x, y) pairs; returns how
// many are visible. transform_lines_*: projects `count` segments (x0, y0, x1,
// y1); out.scales receives the mean of both ends' scales and out.visible
// whether both ends are visible; returns the number of segments with both
// ends visible. Every level gives the scalar kernel's bits.
int64_t transform_points_scalar(const CameraCall& call);
int64_t transform_lines_scalar(const CameraCall& call);
int64_t transform_points_sse2(const CameraCall& call);
int64_t transform_lines_sse2(const CameraCall& call);
int64_t transform_points_avx2(const CameraCall& call);
int64_t transform_lines_avx2(const CameraCall& call);
int64_t transform_points_avx512(const CameraCall& call);
int64_t transform_lines_avx512(const CameraCall& call);

// One level's kernels (see KernelTables in cpu_dispatch.h).
struct CameraKernels {
  int64_t (*transform_points)(const CameraCall& call);
  int64_t (*transform_lines)(const CameraCall& call);
};

const CameraKernels& camera_kernels(quillon::SimdLevel level);

// ============================================================================
// Dispatching kernels
// ============================================================================

// The level an array export runs for `count` elements: the best this CPU
// has, or the scalar kernel for a single element, which no vector helps
// (every level gives the same bits, so this changes only the speed).
quillon::SimdLevel camera_level_for(uint64_t count);

// The array exports' entry points: run the kernels of `level` (which the CPU
// must support). Arrays that overlap other than by being the very same array
// take the scalar kernel, which reads each element right before writing it.
int64_t transform_points(quillon::SimdLevel level, const CameraTerms& t, const double* in,
                         const CameraOutputs& out, uint64_t count);
int64_t transform_lines(quillon::SimdLevel level, const CameraTerms& t, const double* in,
                        const CameraOutputs& out, uint64_t count);

}  // namespace torvik

#endif  // TORVIK_PERSPECTIVE_KERNELS_CAMERA_KERNELS_H
