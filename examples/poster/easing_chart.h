// A small chart of the two easing curves that drive the animation.
#ifndef QUILLON_POSTER_EASING_CHART_H
#define QUILLON_POSTER_EASING_CHART_H

#include <cstdint>

#include "bl_objects.h"

namespace poster {

struct ChartStyle {
  uint32_t axis, grid, bezier, spring, marker;
};

// Draws the curves in the panel at ("x", "y") of "w" x "h" pixels, with a
// marker on each at time "t" (0 to 1); "k" scales line widths.
void draw_easing_chart(Canvas* canvas, double x, double y, double w, double h, double t, double k,
                       const ChartStyle& style);

}  // namespace poster

#endif  // QUILLON_POSTER_EASING_CHART_H
