// Projection of single plane points and of Point arrays through the
// perspective camera.
#include <torvik.h>

#include <cstdint>

#include "kernels/camera_projection.h"
#include "kernels/camera_kernels.h"

// ============================================================================
// Exports
// ============================================================================

extern "C" TORVIK_API int32_t torvik_project_point(double x, double y,
                                                   const PerspectiveCamera* camera, double* out_x,
                                                   double* out_y, double* out_scale) {
  if (!camera) return 0;
  const torvik::Projected p = torvik::project(torvik::camera_terms(*camera), x, y);
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
  const torvik::CameraTerms terms = torvik::camera_terms(*camera);
  const torvik::CameraOutputs out{out_points, out_scales, out_visible};
  return torvik::transform_points(torvik::camera_level_for(count), terms, points, out, count);
}
