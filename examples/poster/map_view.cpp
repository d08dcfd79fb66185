// Building a map panel. Everything is projected once; the panel then shows
// the box around the part of the map inside the window, grown to the panel's
// own proportions, and all geometry is clipped to that box before the
// builders map it into pixels.
#include "map_view.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace poster {

namespace {

// The projected rectangle that the whole panel shows under "t".
Rect panel_extent(const GeoTransform& t, double width, double height) {
  const double x0 = t.min_x - t.offset_x / t.scale;
  const double x1 = t.min_x + (width - t.offset_x) / t.scale;
  const double y0 = t.min_y - t.offset_y / t.scale;
  const double y1 = t.min_y + (height - t.offset_y) / t.scale;
  return Rect{std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
}

// How far a drawn segment may stray from the projected curve, in pixels.
constexpr double kTolerance = 0.2;

// The panel in pixels: fills and lines end at its edges.
Rect pixel_box(const ViewSettings& s) { return Rect{0.0, 0.0, s.width, s.height}; }

bool inside(const Box& b, double x, double y) {
  return x >= b.min_x && x <= b.max_x && y >= b.min_y && y <= b.max_y;
}

// Whether part "p" comes near "window": its box meets the window grown by
// half its size on every side.
bool near_window(const MapData& map, const Part& p, const Box& window) {
  const double gx = (window.max_x - window.min_x) * 0.5;
  const double gy = (window.max_y - window.min_y) * 0.5;
  double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
  for (int64_t i = p.start; i < p.end; ++i) {
    x0 = std::min(x0, map.lonlat.data()[2 * i]);
    x1 = std::max(x1, map.lonlat.data()[2 * i]);
    y0 = std::min(y0, map.lonlat.data()[2 * i + 1]);
    y1 = std::max(y1, map.lonlat.data()[2 * i + 1]);
  }
  return x1 >= window.min_x - gx && x0 <= window.max_x + gx && y1 >= window.min_y - gy &&
         y0 <= window.max_y + gy;
}

bool is_conic(Projection kind) { return kind == Projection::kLcc || kind == Projection::kAlbers; }

// Longitude "lon" moved by whole turns into [lon0 - 180, lon0 + 180].
double wrap_around(double lon, double lon0) {
  const double u = std::remainder(lon - lon0, 360.0);  // exact, within +-180
  return lon0 + u;
}

// Where rings around a pole are closed: at Mercator's limit, the edge of a
// Mercator map, or at the pole itself.
double pole_latitude(const ViewSettings& settings) {
  return settings.projection.kind == Projection::kMercator ? kMercatorLimit : 90.0;
}

// The map as the panel draws it: every ring and line cut at the seam half a
// turn from the panel's central meridian by ordane_cut_parts, rings closed
// along the cut and, around a pole, along the pole's parallel (Mercator's
// limit for a Mercator map, whose edge it then is). A conic must be cut at
// its own central meridian: beyond half a turn from it the cone wraps on
// around the apex. Points are moved to the same side of the seam.
MapData prepared(const MapData& map, const ViewSettings& settings) {
  if (!map.geographic) return map;
  const double lon0 = central_meridian(settings);
  MapData out = map;
  if (map.kind == GeometryKind::kPoint) {
    for (const Part& p : map.parts)
      for (int64_t i = p.start; i < p.end; ++i)
        out.lonlat.data()[2 * i] = wrap_around(map.lonlat.data()[2 * i], lon0);
    return out;
  }
  PartList cut;
  if (cut_at_antimeridian(parts_of(map), map.kind == GeometryKind::kPolygon, lon0,
                          pole_latitude(settings), &cut) != 0)
    throw std::bad_alloc();
  out.lonlat = std::move(cut.points);
  out.parts.clear();
  for (int64_t i = 0; i < cut.count(); ++i) {
    const size_t k = static_cast<size_t>(i);
    const int32_t shape = map.parts[static_cast<size_t>(cut.source[k])].shape;
    out.parts.push_back(Part{cut.offsets[k], cut.offsets[k + 1], shape});
  }
  return out;
}

// The window's outline in lon/lat, in short steps.
std::vector<double> window_outline(const Box& w) {
  std::vector<double> out;
  const int steps = 90;
  append_steps(w.min_x, w.min_y, w.max_x, w.min_y, steps, &out);
  append_steps(w.max_x, w.min_y, w.max_x, w.max_y, steps, &out);
  append_steps(w.max_x, w.max_y, w.min_x, w.max_y, steps, &out);
  append_steps(w.min_x, w.max_y, w.min_x, w.min_y, steps, &out);
  return out;
}

}  // namespace

bool MapView::empty() const {
  if (transform_.scale == 0.0) return true;
  for (size_t k = 0; k < map_.parts.size(); ++k) {
    if (!shown_[k]) continue;
    const Part& p = map_.parts[k];
    for (int64_t i = p.start; i < p.end; ++i) {
      const double x = xy_.data()[2 * i], y = xy_.data()[2 * i + 1];
      if (x >= extent_.x0 && x <= extent_.x1 && y >= extent_.y0 && y <= extent_.y1) return false;
    }
  }
  // Rings larger than the panel show even with no point inside it.
  return ring_shape_.empty();
}

double central_meridian(const ViewSettings& settings) {
  if (is_conic(settings.projection.kind)) return settings.projection.conic.lon0;
  return (settings.window.min_x + settings.window.max_x) * 0.5;
}

MapView::MapView(const MapData& map, const Topology& topo, const ViewSettings& settings)
    : map_(prepared(map, settings)), topo_(topo), settings_(settings) {
  xy_ = settings.projection.forward(map_.lonlat);
  shown_.reserve(map_.parts.size());
  for (const Part& p : map_.parts)
    shown_.push_back(!settings.regional || near_window(map_, p, settings.window));

  // Projected box of the points inside the window.
  bool any = false;
  double bx0 = 0, by0 = 0, bx1 = 0, by1 = 0;
  for (const Part& p : map_.parts) {
    for (int64_t i = p.start; i < p.end; ++i) {
      if (!inside(settings.window, map_.lonlat.data()[2 * i], map_.lonlat.data()[2 * i + 1]))
        continue;
      const double x = xy_.data()[2 * i], y = xy_.data()[2 * i + 1];
      if (!std::isfinite(x) || !std::isfinite(y)) continue;
      if (!any) {
        bx0 = bx1 = x;
        by0 = by1 = y;
        any = true;
      }
      bx0 = std::min(bx0, x);
      by0 = std::min(by0, y);
      bx1 = std::max(bx1, x);
      by1 = std::max(by1, y);
    }
  }
  if (settings.fit_window) {
    // The window's outline, projected (a conic bends its edges), is what
    // the panel must show.
    const std::vector<double> outline = settings.projection.forward(
        map_.geographic ? window_outline(settings.window)
                        : std::vector<double>{settings.window.min_x, settings.window.min_y,
                                              settings.window.max_x, settings.window.max_y});
    any = false;
    for (size_t i = 0; i + 1 < outline.size(); i += 2) {
      const double x = outline[i], y = outline[i + 1];
      if (!std::isfinite(x) || !std::isfinite(y)) continue;
      if (!any) {
        bx0 = bx1 = x;
        by0 = by1 = y;
        any = true;
      }
      bx0 = std::min(bx0, x);
      by0 = std::min(by0, y);
      bx1 = std::max(bx1, x);
      by1 = std::max(by1, y);
    }
  }
  ordane_init_transform(&transform_, bx0, by0, bx1, by1, settings.width, settings.height,
                        settings.margin, 1, settings.flip_y ? 1 : 0);
  if (!any || !(transform_.scale > 0.0) || !std::isfinite(transform_.scale)) {
    transform_.scale = 0.0;  // nothing to show: the builders then map nothing
    return;
  }
  extent_ = panel_extent(transform_, settings.width, settings.height);
  if (map_.geographic && settings.projection.kind == Projection::kMercator) {
    // Mercator ends at its latitude limit: a panel taller than the map's
    // window is moved so that it does not show beyond it (a polar ring closed
    // there then fills to the panel's edge), as long as the map is taller
    // than the panel.
    const double limit = 20037508.342789244;  // y of the latitude limit
    double shift = 0.0;
    if (extent_.y0 < -limit) shift = -limit - extent_.y0;
    if (extent_.y1 > limit) shift = limit - extent_.y1;
    if (shift != 0.0 && extent_.y1 - extent_.y0 <= 2.0 * limit) {
      transform_.min_y += shift;
      transform_.max_y += shift;
      extent_ = panel_extent(transform_, settings.width, settings.height);
    }
  }

  if (map_.kind != GeometryKind::kPolygon) return;
  const PartList px = to_pixels(parts_of(map_, &shown_), true);
  const Rect panel = pixel_box(settings_);
  ring_offsets_.push_back(0);
  for (int64_t i = 0; i < px.count(); ++i) {
    const size_t k = static_cast<size_t>(i);
    const size_t added =
        clip_ring(px.points.data() + 2 * px.offsets[k],
                  static_cast<size_t>(px.offsets[k + 1] - px.offsets[k]), panel, rings_);
    if (added == 0) continue;
    ring_offsets_.push_back(static_cast<int64_t>(rings_.size() / 2));
    ring_shape_.push_back(map_.parts[static_cast<size_t>(px.source[k])].shape);
  }
}

PartList MapView::to_pixels(const PartList& parts, bool rings) const {
  PartList out;
  if (map_.geographic) {
    if (densify_to_pixels(parts, rings, geo_projection(settings_.projection), transform_,
                          kTolerance, &out) != 0)
      throw std::bad_alloc();
    return out;
  }
  // A plane in file units: its straight segments stay straight.
  out = parts;
  if (!out.points.empty())
    ordane_transform_coords(out.points.data(), out.points.data(),
                            static_cast<int64_t>(out.points.size() / 2), &transform_);
  return out;
}

PartList MapView::pixel_lines(const PartList& lines) const {
  PartList cut;
  if (map_.geographic) {
    if (cut_at_antimeridian(lines, false, central_meridian(settings_), 90.0, &cut) != 0)
      throw std::bad_alloc();
  } else {
    cut = lines;
  }
  const PartList px = to_pixels(cut, false);
  const Rect panel = pixel_box(settings_);
  PartList out;
  std::vector<int64_t> ends;
  for (int64_t i = 0; i < px.count(); ++i) {
    const size_t k = static_cast<size_t>(i);
    ends.clear();
    clip_line(px.points.data() + 2 * px.offsets[k],
              static_cast<size_t>(px.offsets[k + 1] - px.offsets[k]), panel, out.points, ends);
    for (int64_t end : ends) {
      out.offsets.push_back(end);
      out.source.push_back(px.source[k]);
      out.flags.push_back(0);
    }
  }
  return out;
}

void MapView::build_fills(std::deque<Path>* by_colour) const {
  const int64_t rings = static_cast<int64_t>(ring_shape_.size());
  for (int64_t a = 0; a < rings;) {
    // A run of rings of one shape: one builder call with its offsets.
    const int32_t shape = ring_shape_[static_cast<size_t>(a)];
    int64_t b = a + 1;
    while (b < rings && ring_shape_[static_cast<size_t>(b)] == shape) ++b;
    const size_t colour =
        static_cast<size_t>(topo_.colour.at(static_cast<size_t>(shape))) % by_colour->size();
    ordane_build_polygon((*by_colour)[colour].get(), rings_.data(), ring_offsets_.data() + a, b - a,
                         nullptr);
    a = b;
  }
}

void MapView::build_outlines(Path* path) const {
  if (transform_.scale == 0.0 || map_.kind == GeometryKind::kPoint) return;
  // Ring outlines without the edges along the seam and the poles, which are
  // where the map was cut, not borders; lines were cut at the seam already.
  const PartList lines =
      map_.kind == GeometryKind::kPolygon
          ? outlines_without_seams(parts_of(map_, &shown_), central_meridian(settings_),
                                   pole_latitude(settings_))
          : parts_of(map_, &shown_);
  const PartList px = to_pixels(lines, false);
  const Rect panel = pixel_box(settings_);
  std::vector<double> pts;
  std::vector<int64_t> offsets{0};
  for (int64_t i = 0; i < px.count(); ++i) {
    const size_t k = static_cast<size_t>(i);
    clip_line(px.points.data() + 2 * px.offsets[k],
              static_cast<size_t>(px.offsets[k + 1] - px.offsets[k]), panel, pts, offsets);
  }
  const int64_t count = static_cast<int64_t>(offsets.size()) - 1;
  if (count > 0)
    ordane_build_multilinestring(path->get(), pts.data(), offsets.data(), count, nullptr);
}

void MapView::build_graticule(double step, Path* path) const {
  if (transform_.scale == 0.0 || !map_.geographic) return;
  // Latitudes stop short of the poles, where Mercator and the conics blow up.
  // The whole globe for a world map, half a turn either side of its central
  // meridian; around a region, the lines within a window's size of it, cut
  // at the seam as the map is.
  const Box& w = settings_.window;
  const double mid = central_meridian(settings_);
  double lon0 = mid - 180.0, lon1 = mid + 180.0, lat0 = -80.0, lat1 = 80.0;
  if (w.max_x - w.min_x < 359.0) {
    const double gx = std::max(w.max_x - w.min_x, step), gy = std::max(w.max_y - w.min_y, step);
    lon0 = std::max(lon0, w.min_x - gx);
    lon1 = std::min(lon1, w.max_x + gx);
    lat0 = std::max(-80.0, std::floor((w.min_y - gy) / step) * step);
    lat1 = std::min(80.0, std::ceil((w.max_y + gy) / step) * step);
  }
  // Points every few degrees; densifying bends them as the projection needs.
  const int lon_steps = std::max(2, static_cast<int>(std::ceil((lon1 - lon0) / 5.0)));
  const int lat_steps = std::max(2, static_cast<int>(std::ceil((lat1 - lat0) / 5.0)));
  PartList lines;
  std::vector<double> pts;
  // Counted in whole steps, so that no sum of steps drifts off a meridian.
  const double first = std::ceil(lon0 / step);
  const int meridians = static_cast<int>(std::floor(lon1 / step) - first) + 1;
  for (int i = 0; i < meridians; ++i) {
    const double lon = (first + i) * step;
    pts.clear();
    append_steps(lon, lat0, lon, lat1, lat_steps, &pts);
    lines.add(pts.data(), static_cast<int64_t>(pts.size() / 2), lines.count());
  }
  for (double lat = -90.0 + step; lat < 90.0; lat += step) {
    if (std::fabs(lat) > 80.0 || lat < lat0 || lat > lat1) continue;
    pts.clear();
    append_steps(lon0, lat, lon1, lat, lon_steps, &pts);
    lines.add(pts.data(), static_cast<int64_t>(pts.size() / 2), lines.count());
  }
  const PartList px = pixel_lines(lines);
  if (px.count() > 0)
    ordane_build_multilinestring(path->get(), px.points.data(), px.offsets.data(), px.count(),
                                 nullptr);
}

void MapView::build_coast(std::deque<Path>* lines, std::vector<double>* lengths) const {
  if (transform_.scale == 0.0 || topo_.coast_ends.empty()) return;
  PartList coast;
  int64_t from = 0;
  for (int64_t end : topo_.coast_ends) {
    coast.add(topo_.coast.data() + 2 * from, end - from, coast.count());
    from = end;
  }
  const PartList px = pixel_lines(coast);
  for (int64_t i = 0; i < px.count(); ++i) {
    const int64_t a = px.offsets[static_cast<size_t>(i)],
                  b = px.offsets[static_cast<size_t>(i) + 1];
    if (b - a < 2) continue;
    lines->emplace_back();
    ordane_build_linestring(lines->back().get(), px.points.data() + 2 * a, b - a, nullptr);
    double len = 0.0;
    for (int64_t k = a + 1; k < b; ++k)
      len += std::hypot(px.points.data()[2 * k] - px.points.data()[2 * k - 2],
                        px.points.data()[2 * k + 1] - px.points.data()[2 * k - 1]);
    lengths->push_back(len);
  }
}

std::vector<double> MapView::point_positions() const {
  std::vector<double> out;
  if (transform_.scale == 0.0) return out;
  std::vector<double> inside_pts;
  for (size_t k = 0; k < map_.parts.size(); ++k) {
    const Part& p = map_.parts[k];
    if (!shown_[k]) continue;
    for (int64_t i = p.start; i < p.end; ++i) {
      const double x = xy_.data()[2 * i], y = xy_.data()[2 * i + 1];
      if (x >= extent_.x0 && x <= extent_.x1 && y >= extent_.y0 && y <= extent_.y1) {
        inside_pts.push_back(x);
        inside_pts.push_back(y);
      }
    }
  }
  if (inside_pts.empty()) return out;
  out.resize(inside_pts.size());
  ordane_transform_coords(inside_pts.data(), out.data(),
                          static_cast<int64_t>(inside_pts.size() / 2), &transform_);
  return out;
}

}  // namespace poster
