// The sheet is built once in plane units; each draw picks a camera distance
// that keeps the sheet's four corners inside the panel and then projects the
// sheet, the land, the borders and the graticule through that camera.
#include "tilted_map.h"

#include <cmath>

namespace poster {

TiltedMap::TiltedMap(const MapData& map, const Topology& topo, const ViewSettings& settings)
    : view_(map, topo, settings), sheet_w_(settings.width), sheet_h_(settings.height) {
  bl_path_move_to(sheet_.get(), 0.0, 0.0);
  bl_path_line_to(sheet_.get(), sheet_w_, 0.0);
  bl_path_line_to(sheet_.get(), sheet_w_, sheet_h_);
  bl_path_line_to(sheet_.get(), 0.0, sheet_h_);
  bl_path_close(sheet_.get());
  fills_.resize(topo.colour.empty() ? 1 : 8);
  if (map.kind == GeometryKind::kPolygon) view_.build_fills(&fills_);
  view_.build_outlines(&outlines_);
  view_.build_graticule(settings.graticule_step, &graticule_);
  if (map.kind == GeometryKind::kPoint) points_ = view_.point_positions();
}

PerspectiveCamera TiltedMap::camera_for(double w, double h, double pitch, double bearing) const {
  PerspectiveCamera cam{};
  cam.viewport_width = w;
  cam.viewport_height = h;
  cam.fov = 38.0;
  cam.pitch = pitch;
  cam.bearing = bearing;
  cam.roll = 0.0;
  cam.center_x = sheet_w_ * 0.5;
  cam.center_y = sheet_h_ * 0.5;
  cam.near_plane = 0.0;  // the library's default near distance

  // Bisect on the distance: nearer makes the sheet larger. The sheet must
  // fit inside the panel less a small margin.
  const double corners[8] = {0, 0, sheet_w_, 0, sheet_w_, sheet_h_, 0, sheet_h_};
  const double m = 0.04 * std::min(w, h);
  auto fits = [&](double distance) {
    cam.distance = distance;
    double out[8];
    uint8_t visible[4];
    if (torvik_transform_points(corners, out, nullptr, visible, 4, &cam) != 4) return false;
    for (int i = 0; i < 4; ++i) {
      const double x = out[2 * i], y = out[2 * i + 1];
      if (!(x >= m && x <= w - m && y >= m && y <= h - m)) return false;
    }
    return true;
  };
  const double size = std::max(sheet_w_, sheet_h_);
  double lo = size * 0.05, hi = size * 50.0;
  for (int i = 0; i < 48; ++i) {
    const double mid = std::sqrt(lo * hi);
    if (fits(mid))
      hi = mid;
    else
      lo = mid;
  }
  cam.distance = hi;
  return cam;
}

void TiltedMap::draw(Canvas* canvas, double x, double y, double w, double h, double pitch,
                     double bearing, double k, const TiltedStyle& style) const {
  const PerspectiveCamera cam = camera_for(w, h, pitch, bearing);
  Path out;
  double mean_scale = 1.0;

  torvik_transform_path(sheet_.get(), out.get(), &mean_scale, &cam);
  canvas->fill(out, style.shadow, x + 3.0 * k, y + 9.0 * k);  // the sheet's shadow
  canvas->fill(out, style.sheet, x, y);

  // torvik_transform_path leaves its output as it was for an empty path
  // (the graticule of a panel with nothing to show): each call gets an
  // empty output, so that nothing is drawn twice.
  out.clear();
  torvik_transform_path(graticule_.get(), out.get(), &mean_scale, &cam);
  canvas->stroke(out, style.graticule, 0.8 * k * mean_scale, x, y);

  for (size_t c = 0; c < fills_.size(); ++c) {
    if (fills_[c].size() == 0) continue;
    out.clear();
    torvik_transform_path(fills_[c].get(), out.get(), nullptr, &cam);
    canvas->fill(out, style.land[c % style.land.size()], x, y);
  }

  // Lines thin out with distance: the mean scale says how far away they are.
  out.clear();
  torvik_transform_path(outlines_.get(), out.get(), &mean_scale, &cam);
  canvas->stroke(out, style.border, 0.9 * k * mean_scale, x, y);

  // Dots shrink with distance as the lines do, each by its own scale.
  const size_t n = points_.size() / 2;
  if (n == 0) return;
  std::vector<double> screen(points_.size()), scales(n);
  std::vector<uint8_t> visible(n);
  torvik_transform_points(points_.data(), screen.data(), scales.data(), visible.data(), n, &cam);
  for (size_t i = 0; i < n; ++i) {
    if (!visible[i]) continue;
    const double r = 2.2 * k * scales[i];
    canvas->fill_circle(x + screen[2 * i], y + screen[2 * i + 1], r * 2.0, 0x40FFC46Bu);
    canvas->fill_circle(x + screen[2 * i], y + screen[2 * i + 1], r, style.point);
  }
}

}  // namespace poster
