// The chart plots the two easing curves of the timeline in panel pixels; the
// curves go through ordane_build_linestring like any other line.
#include "easing_chart.h"

#include <ordane.h>

#include <vector>

#include "timeline.h"

namespace poster {

void draw_easing_chart(Canvas* canvas, double x, double y, double w, double h, double t, double k,
                       const ChartStyle& style) {
  // Time runs across the inner 84 % of the panel; values from -0.1 at the
  // bottom to 1.3 at the top, so that the spring's overshoot shows.
  const double left = w * 0.08, right = w * 0.92, top = h * 0.08, bottom = h * 0.92;
  auto px = [&](double s) { return (right - left) * s + left; };
  auto py = [&](double v) { return bottom - (bottom - top) * ((v + 0.1) / 1.4); };

  Path grid;
  for (double v : {0.0, 1.0}) {
    bl_path_move_to(grid.get(), left, py(v));
    bl_path_line_to(grid.get(), right, py(v));
  }
  canvas->stroke(grid, style.grid, 1.0 * k, x, y);

  const int n = 160;
  std::vector<double> bezier, spring;
  for (int i = 0; i <= n; ++i) {
    const double s = static_cast<double>(i) / n;
    bezier.push_back(px(s));
    bezier.push_back(py(ease_in_out(s)));
    spring.push_back(px(s));
    spring.push_back(py(settle(s)));
  }
  Path curve;
  ordane_build_linestring(curve.get(), bezier.data(), n + 1, nullptr);
  canvas->stroke(curve, style.bezier, 2.2 * k, x, y);
  curve.clear();
  ordane_build_linestring(curve.get(), spring.data(), n + 1, nullptr);
  canvas->stroke(curve, style.spring, 2.2 * k, x, y);

  Path cursor;
  bl_path_move_to(cursor.get(), px(t), top - h * 0.03);
  bl_path_line_to(cursor.get(), px(t), bottom + h * 0.03);
  canvas->stroke(cursor, style.marker, 1.0 * k, x, y);
  canvas->fill_circle(x + px(t), y + py(ease_in_out(t)), 4.5 * k, style.bezier);
  canvas->fill_circle(x + px(t), y + py(settle(t)), 4.5 * k, style.spring);
}

}  // namespace poster
