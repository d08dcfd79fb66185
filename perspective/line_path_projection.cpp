// Projection of line-segment lists and of whole Blend2D paths through the
// perspective camera. Nothing is clipped against the near distance: segments
// report hidden ends, and paths break their figures at hidden vertices.
#include <torvik.h>

#include <blend2d/blend2d.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "kernels/camera_projection.h"
#include "kernels/camera_kernels.h"

namespace {

using torvik::CameraTerms;
using torvik::Projected;

// ============================================================================
// Paths
// ============================================================================

// Walks n source entries and rebuilds them in screen space in dst, which the
// caller has cleared. Stores the mean scale of the emitted vertices in *mean.
// Returns BL_SUCCESS, or the first failure of a call on dst (out of memory).
//
// Every source entry yields at most one destination entry, so the write
// position never passes the read position: dst may be the source path
// itself, rebuilt in its own storage (see torvik_transform_path).
BLResult walk_path(const CameraTerms& terms, const BLPoint* vertices, const uint8_t* commands,
                   size_t n, BLPathCore* dst, double* mean) {
  bool open = false;
  double sum = 0.0;
  uint64_t emitted = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = commands[i];
    if (c == BL_PATH_CMD_CLOSE) {
      // Closes only the run still open: after a split that is the last run,
      // and with no run open there is nothing to close.
      if (open) {
        const BLResult r = bl_path_close(dst);
        if (r != BL_SUCCESS) return r;
        open = false;
      }
      continue;
    }
    const double x = vertices[i].x;
    const double y = vertices[i].y;
    // Non-finite entries (conic weights among them) drop out without
    // splitting the figure.
    if (!std::isfinite(x) || !std::isfinite(y)) continue;

    const Projected p = torvik::project(terms, x, y);
    if (!p.visible) {
      open = false;
      continue;
    }
    sum += p.scale;
    ++emitted;
    // Curve control points arrive here too and become polyline corners.
    BLResult r;
    if (c != BL_PATH_CMD_MOVE && open) {
      r = bl_path_line_to(dst, p.x, p.y);
    } else {
      r = bl_path_move_to(dst, p.x, p.y);
      open = true;
    }
    if (r != BL_SUCCESS) return r;
  }
  *mean = emitted == 0 ? 1.0 : sum / static_cast<double>(emitted);
  return BL_SUCCESS;
}

}  // namespace

// ============================================================================
// Exports
// ============================================================================

extern "C" TORVIK_API int64_t torvik_transform_lines(const double* segments,
                                                     double* out_segments, double* out_scales,
                                                     uint8_t* out_visible, uint64_t count,
                                                     const PerspectiveCamera* camera) {
  if (!segments || !out_segments || count == 0 || !camera) return 0;
  const CameraTerms terms = torvik::camera_terms(*camera);
  const torvik::CameraOutputs out{out_segments, out_scales, out_visible};
  return torvik::transform_lines(torvik::camera_level_for(count), terms, segments, out, count);
}

extern "C" TORVIK_API int32_t torvik_transform_path(const BLPathCore* src, BLPathCore* dst,
                                                    double* out_mean_scale,
                                                    const PerspectiveCamera* camera) {
  if (!src || !dst || !camera) return TORVIK_ERR_INVALID_ARGUMENT;
  const size_t n = bl_path_get_size(src);
  if (n == 0) return TORVIK_OK;

  const BLPoint* vertices = bl_path_get_vertex_data(src);
  const uint8_t* commands = bl_path_get_command_data(src);

  // When src and dst are one path, the walk reads the entries that clearing
  // has dropped: clearing keeps the storage (or, when the storage is shared
  // with another path, leaves it with that one), so they stay readable, and
  // the rebuilt path never outgrows the capacity, so they do not move. No
  // copy of the source is needed.
  bl_path_clear(dst);

  double mean = 1.0;
  if (walk_path(torvik::camera_terms(*camera), vertices, commands, n, dst, &mean) != BL_SUCCESS) {
    // A half-built path is no result: dst is left empty.
    bl_path_clear(dst);
    return TORVIK_ERR_OUT_OF_MEMORY;
  }
  if (out_mean_scale) *out_mean_scale = mean;
  return TORVIK_OK;
}
