// Projection of single plane points and of Point arrays through the
// perspective camera.
#include <torvik.h>

#include <cstdint>

#include "camera_projection.h"

namespace {

using torvik::CameraTerms;
using torvik::Projected;

// One loop per combination of optional outputs, so that the per-point work
// carries no null checks.
template <bool kScales, bool kVisible>
int64_t transform_points(const CameraTerms& terms, const double* points, double* out_points,
                         double* out_scales, uint8_t* out_visible, uint64_t count) {
  int64_t visible = 0;
  for (uint64_t i = 0; i < count; ++i) {
    // Both numbers are read before anything is written: out_points may be points.
    const double x = points[2 * i];
    const double y = points[2 * i + 1];
    const Projected p = torvik::project(terms, x, y);
    out_points[2 * i] = p.x;
    out_points[2 * i + 1] = p.y;
    if (kScales) out_scales[i] = p.scale;
    if (kVisible) out_visible[i] = p.visible ? 1 : 0;
    visible += p.visible ? 1 : 0;
  }
  return visible;
}

}  // namespace

// ============================================================================
// Exports
// ============================================================================

extern "C" TORVIK_API int32_t torvik_project_point(double x, double y,
                                                   const PerspectiveCamera* camera, double* out_x,
                                                   double* out_y, double* out_scale) {
  if (!camera) return 0;
  const Projected p = torvik::project(torvik::camera_terms(*camera), x, y);
  if (out_x) *out_x = p.x;
  if (out_y) *out_y = p.y;
  if (out_scale) *out_scale = p.scale;
  return p.visible ? 1 : 0;
}

extern "C" TORVIK_API int64_t torvik_transform_points(const double* points, double* out_points,
                                                      double* out_scales, uint8_t* out_visible,
                                                      uint64_t count,
                                                      const PerspectiveCamera* camera) {
  if (!points || !out_points || count == 0 || !camera) return 0;
  const CameraTerms terms = torvik::camera_terms(*camera);
  if (out_scales) {
    return out_visible
               ? transform_points<true, true>(terms, points, out_points, out_scales, out_visible,
                                              count)
               : transform_points<true, false>(terms, points, out_points, out_scales, nullptr,
                                               count);
  }
  return out_visible
             ? transform_points<false, true>(terms, points, out_points, nullptr, out_visible,
                                             count)
             : transform_points<false, false>(terms, points, out_points, nullptr, nullptr, count);
}
