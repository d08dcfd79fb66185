// The camera projection's array kernels: the camera record digested once per
// call into CameraTerms, and one kernel per array shape and instruction-set
// level.
//
// This header is included by the per-ISA files, which are built with their
// own target flags. It therefore holds only plain records and declarations:
// an inline function or template defined here would be compiled once per ISA
// file, and the linker could keep the AVX-512 copy for every caller.
#ifndef TORVIK_KERNELS_CAMERA_KERNELS_H
#define TORVIK_KERNELS_CAMERA_KERNELS_H

#include <stdint.h>

// The dispatch level of cpu_dispatch.h, whose inline code must stay out of
// the per-ISA files.
namespace quillon {
enum class SimdLevel : int;
}

namespace torvik {

// Everything that depends on the camera alone.
struct CameraTerms {
  double cos_bearing, sin_bearing;
  double cos_pitch, sin_pitch;
  double cos_roll, sin_roll;
  // (1 / tan(fov * k * 0.5)) * viewport_height * 0.5: the focal scale before
  // its final division by the point's depth, which comes last in the formula.
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

// Projects `count` interleaved (x, y) pairs; returns how many are visible.
// `in` may be out.points itself.
int64_t transform_points_scalar(const CameraTerms& t, const double* in, const CameraOutputs& out,
                                uint64_t count);
// Projects `count` segments (x0, y0, x1, y1); out.scales receives the mean of
// both ends' scales and out.visible whether both ends are visible. Returns
// the number of segments with both ends visible. `in` may be out.points.
int64_t transform_lines_scalar(const CameraTerms& t, const double* in, const CameraOutputs& out,
                               uint64_t count);

#if QUILLON_SIMD_X86
int64_t transform_points_sse2(const CameraTerms& t, const double* in, const CameraOutputs& out,
                              uint64_t count);
int64_t transform_points_avx2(const CameraTerms& t, const double* in, const CameraOutputs& out,
                              uint64_t count);
int64_t transform_points_avx512(const CameraTerms& t, const double* in,
                                const CameraOutputs& out, uint64_t count);
int64_t transform_lines_sse2(const CameraTerms& t, const double* in, const CameraOutputs& out,
                             uint64_t count);
int64_t transform_lines_avx2(const CameraTerms& t, const double* in, const CameraOutputs& out,
                             uint64_t count);
int64_t transform_lines_avx512(const CameraTerms& t, const double* in, const CameraOutputs& out,
                               uint64_t count);
#endif

// The level an array export runs for `count` elements: the best this CPU
// has, or the scalar kernel for a single element, which no vector helps
// (every level gives the same bits, so this changes only the speed).
quillon::SimdLevel camera_level_for(uint64_t count);

// The array exports' entry points: run the kernel of `isa` (which must be
// available). Arrays that overlap other than by being the very same array
// take the scalar kernel, which reads each element right before writing it.
int64_t transform_points_on(quillon::SimdLevel isa, const CameraTerms& t, const double* in,
                            const CameraOutputs& out, uint64_t count);
int64_t transform_lines_on(quillon::SimdLevel isa, const CameraTerms& t, const double* in,
                           const CameraOutputs& out, uint64_t count);

}  // namespace torvik

#endif  // TORVIK_KERNELS_CAMERA_KERNELS_H
