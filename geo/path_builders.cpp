// Geometry-to-path builders: polygon rings, one polyline and sets of
// polylines appended to a caller's Blend2D path, every vertex passing through
// the viewport mapping on the way so that no transformed copy is needed.
//
// The builders only append (move, line, close); they never clear or inspect
// the path. A failed append (Blend2D out of memory) ends the build and is
// reported: the figures appended before it stay, the one under way stays
// incomplete.

#include <blend2d/blend2d.h>

#include <cstdint>

#include "ordane.h"
#include "viewport_mapping.h"

namespace {

using ordane::MappedPoint;
using ordane::ViewportMapping;

// No array of (x, y) doubles can hold more pairs than this, so a part index
// above it cannot address caller memory; keeping indices below it also keeps
// the index arithmetic free of overflow.
constexpr int64_t kMaxPairIndex = INT64_MAX / 16;

// Appends one figure through pts[0 .. n-1] (n >= 1): a move, then lines.
// False when an append fails.
bool append_figure(BLPathCore* path, const double* pts, int64_t n, const ViewportMapping& map) {
  MappedPoint p = map(pts[0], pts[1]);
  if (bl_path_move_to(path, p.x, p.y) != BL_SUCCESS) return false;
  for (int64_t i = 1; i < n; ++i) {
    pts += 2;
    p = map(pts[0], pts[1]);
    if (bl_path_line_to(path, p.x, p.y) != BL_SUCCESS) return false;
  }
  return true;
}

// Builds one figure per part of at least min_points points; closes each when
// asked. Parts that are too short, inverted, or whose indices cannot lie in
// any array (negative, or past kMaxPairIndex) are skipped.
int32_t build_parts(BLPathCore* path, const double* points, const int64_t* part_offsets,
                    int64_t part_count, const GeoTransform* transform, int64_t min_points,
                    bool close) {
  if (part_count <= 0 || path == nullptr || points == nullptr || part_offsets == nullptr) {
    return ORDANE_ERR_INVALID_ARGUMENT;
  }
  const ViewportMapping map(transform);
  for (int64_t i = 0; i < part_count; ++i) {
    const int64_t s = part_offsets[i];
    const int64_t e = part_offsets[i + 1];
    if (s < 0 || e < s || e > kMaxPairIndex || e - s < min_points) continue;
    if (!append_figure(path, points + 2 * s, e - s, map) ||
        (close && bl_path_close(path) != BL_SUCCESS)) {
      return ORDANE_BUILD_ERR_OUT_OF_MEMORY;
    }
  }
  return ORDANE_OK;
}

}  // namespace

extern "C" ORDANE_API int32_t ordane_build_polygon(BLPathCore* path, const double* points,
                                                   const int64_t* part_offsets, int64_t part_count,
                                                   const GeoTransform* transform) {
  // A ring needs three points. Its vertices go in unchanged order, so a ring
  // that repeats its first point (as shapefile rings do) gets an explicit
  // segment back to the start before the close.
  return build_parts(path, points, part_offsets, part_count, transform, 3, true);
}

extern "C" ORDANE_API int32_t ordane_build_multilinestring(BLPathCore* path, const double* points,
                                                           const int64_t* part_offsets,
                                                           int64_t part_count,
                                                           const GeoTransform* transform) {
  return build_parts(path, points, part_offsets, part_count, transform, 2, false);
}

extern "C" ORDANE_API int32_t ordane_build_linestring(BLPathCore* path, const double* points,
                                                      int64_t count,
                                                      const GeoTransform* transform) {
  if (path == nullptr || points == nullptr || count < 2) return ORDANE_ERR_INVALID_ARGUMENT;
  return append_figure(path, points, count, ViewportMapping(transform))
             ? ORDANE_OK
             : ORDANE_BUILD_ERR_OUT_OF_MEMORY;
}
