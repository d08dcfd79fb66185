// The camera's scalar array kernels (what the vector ones are tested against,
// and what runs on CPUs without them) and the choice of kernel per call.
#include "camera_kernels.h"

#include <cstdint>

#include "camera_projection.h"
#include "cpu_dispatch.h"

namespace torvik {

using quillon::SimdLevel;

// ============================================================================
// Scalar kernels
// ============================================================================

int64_t transform_points_scalar(const CameraCall& call) {
  const double* in = call.in;
  const CameraOutputs& out = call.out;
  int64_t visible = 0;
  for (uint64_t i = 0; i < call.count; ++i) {
    // Both numbers are read before anything is written: out.points may be in.
    const double x = in[2 * i];
    const double y = in[2 * i + 1];
    const Projected p = project(call.terms, x, y);
    out.points[2 * i] = p.x;
    out.points[2 * i + 1] = p.y;
    if (out.scales) out.scales[i] = p.scale;
    if (out.visible) out.visible[i] = p.visible ? 1 : 0;
    visible += p.visible ? 1 : 0;
  }
  return visible;
}

int64_t transform_lines_scalar(const CameraCall& call) {
  const double* in = call.in;
  const CameraOutputs& out = call.out;
  int64_t visible = 0;
  for (uint64_t i = 0; i < call.count; ++i) {
    // All four numbers are read first: out.points may be in.
    const double x0 = in[4 * i];
    const double y0 = in[4 * i + 1];
    const double x1 = in[4 * i + 2];
    const double y1 = in[4 * i + 3];
    const Projected a = project(call.terms, x0, y0);
    const Projected b = project(call.terms, x1, y1);
    out.points[4 * i] = a.x;
    out.points[4 * i + 1] = a.y;
    out.points[4 * i + 2] = b.x;
    out.points[4 * i + 3] = b.y;
    const bool both = a.visible && b.visible;
    // A hidden end has scale 0, so it halves the mean of the other end.
    if (out.scales) out.scales[i] = (a.scale + b.scale) * 0.5;
    if (out.visible) out.visible[i] = both ? 1 : 0;
    visible += both ? 1 : 0;
  }
  return visible;
}

// ============================================================================
// Dispatch
// ============================================================================

namespace {

// True when the input and output coordinate arrays share memory without
// being the same array. The vector kernels read a whole block before writing
// it, which equals the element-by-element order only for identical or
// disjoint arrays.
bool overlaps_partly(const double* in, const double* out, uint64_t doubles) {
  if (in == out) return false;
  const auto a = reinterpret_cast<uintptr_t>(in);
  const auto b = reinterpret_cast<uintptr_t>(out);
  const uintptr_t bytes = static_cast<uintptr_t>(doubles) * sizeof(double);
  return a < b ? b - a < bytes : a - b < bytes;
}

#if QUILLON_SIMD_X86
constexpr quillon::KernelTables<CameraKernels> kTables = {
    {transform_points_scalar, transform_lines_scalar},
    {transform_points_sse2, transform_lines_sse2},
    {transform_points_avx2, transform_lines_avx2},
    {transform_points_avx512, transform_lines_avx512},
};
#else
constexpr CameraKernels kScalar = {transform_points_scalar, transform_lines_scalar};
constexpr quillon::KernelTables<CameraKernels> kTables = {kScalar, kScalar, kScalar, kScalar};
#endif

}  // namespace

const CameraKernels& camera_kernels(SimdLevel level) { return kTables.at(level); }

SimdLevel camera_level_for(uint64_t count) {
  return count < 2 ? SimdLevel::kScalar : quillon::best_simd_level();
}

int64_t transform_points(SimdLevel level, const CameraTerms& t, const double* in,
                         const CameraOutputs& out, uint64_t count) {
  if (overlaps_partly(in, out.points, 2 * count)) level = SimdLevel::kScalar;
  return kTables.at(level).transform_points(CameraCall{t, in, out, count});
}

int64_t transform_lines(SimdLevel level, const CameraTerms& t, const double* in,
                        const CameraOutputs& out, uint64_t count) {
  if (overlaps_partly(in, out.points, 4 * count)) level = SimdLevel::kScalar;
  return kTables.at(level).transform_lines(CameraCall{t, in, out, count});
}

}  // namespace torvik
