// Viewport transform: fitting a source box into a pixel viewport with one
// scale for both axes (ordane_init_transform) and applying that fit to a
// Point array (ordane_transform_coords).

#include <cstdint>

#include "ordane.h"
#include "viewport_mapping.h"

namespace {

// Stand-in extent for an empty or inverted box, giving a very large scale
// rather than a division by zero or a negative scale.
constexpr double kMinExtent = 1e-6;

double positive_extent(double lo, double hi) {
  double d = hi - lo;
  if (d <= 0.0) d = kMinExtent;  // a NaN difference fails the test and stays NaN
  return d;
}

}  // namespace

extern "C" ORDANE_API void ordane_init_transform(GeoTransform* transform, double min_x,
                                                 double min_y, double max_x, double max_y,
                                                 double width, double height, double margin,
                                                 int32_t fit_both_axes, int32_t flip_y) {
  if (transform == nullptr) return;
  GeoTransform t;
  t.min_x = min_x;
  t.min_y = min_y;
  t.max_x = max_x;
  t.max_y = max_y;
  t.width = width;
  t.height = height;
  t.flip_y = flip_y;

  const double dx = positive_extent(min_x, max_x);
  // The margin is a fraction of each viewport side, applied on both sides.
  const double mx = width * margin;
  const double my = margin * height;
  const double aw = width - 2.0 * mx;
  const double sx = aw / dx;

  if (fit_both_axes == 0) {
    // Width only: the box's minimum corner sits on the margins; its height is
    // not considered.
    t.scale = sx;
    t.offset_x = mx;
    t.offset_y = my;
  } else {
    const double dy = positive_extent(min_y, max_y);
    const double ah = height - 2.0 * my;
    const double sy = ah / dy;
    // Written so that a NaN on either side selects sy.
    const double s = sx < sy ? sx : sy;
    t.scale = s;
    // Centre the scaled box inside the margins along both axes.
    t.offset_x = (aw - dx * s) * 0.5 + mx;
    t.offset_y = my + (ah - s * dy) * 0.5;
  }
  *transform = t;
}

extern "C" ORDANE_API int32_t ordane_transform_coords(const double* in, double* out, int64_t count,
                                                      const GeoTransform* transform) {
  if (in == nullptr || out == nullptr || count <= 0) return ORDANE_ERR_INVALID_ARGUMENT;
  const ordane::ViewportMapping map(transform);
  // Both numbers of a pair are read before it is written, so in may be out.
  for (int64_t i = 0; i < count; ++i, in += 2, out += 2) {
    const ordane::MappedPoint p = map(in[0], in[1]);
    out[0] = p.x;
    out[1] = p.y;
  }
  return ORDANE_OK;
}
