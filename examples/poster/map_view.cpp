// Building a map panel. Everything is projected once; the panel then shows
// the box around the part of the map inside the window, grown to the panel's
// own proportions, and all geometry is clipped to that box before the
// builders map it into pixels.
#include "map_view.h"

#include <algorithm>
#include <cmath>

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
    x0 = std::min(x0, map.lonlat[2 * i]);
    x1 = std::max(x1, map.lonlat[2 * i]);
    y0 = std::min(y0, map.lonlat[2 * i + 1]);
    y1 = std::max(y1, map.lonlat[2 * i + 1]);
  }
  return x1 >= window.min_x - gx && x0 <= window.max_x + gx && y1 >= window.min_y - gy &&
         y0 <= window.max_y + gy;
}

bool is_conic(Projection kind) { return kind == Projection::kLcc || kind == Projection::kAlbers; }

// A conic shows the longitudes within half a turn of its central meridian;
// beyond them the projection wraps on around the apex, into the gap of the
// cone, where rings that were made continuous across the antimeridian would
// overlap the other edge of the map. Rings and lines are cut along those two
// meridians, which a conic draws as straight lines, so the cut needs no
// extra points. Points beyond them are left out.
MapData cut_to_cone(const MapData& map, double lon0) {
  MapData out = map;
  out.lonlat.clear();
  out.parts.clear();
  const Rect band{lon0 - 180.0, -HUGE_VAL, lon0 + 180.0, HUGE_VAL};
  for (const Part& p : map.parts) {
    const double* pts = map.lonlat.data() + 2 * p.start;
    const size_t n = static_cast<size_t>(p.end - p.start);
    const int64_t start = static_cast<int64_t>(out.lonlat.size() / 2);
    if (map.kind == GeometryKind::kPolygon) {
      if (clip_ring(pts, n, band, out.lonlat) > 0)
        out.parts.push_back(Part{start, static_cast<int64_t>(out.lonlat.size() / 2), p.shape});
    } else if (map.kind == GeometryKind::kLine) {
      std::vector<int64_t> ends{start};
      clip_line(pts, n, band, out.lonlat, ends);
      for (size_t i = 1; i < ends.size(); ++i)
        out.parts.push_back(Part{ends[i - 1], ends[i], p.shape});
    } else {
      for (size_t i = 0; i < n; ++i) {
        if (!(pts[2 * i] >= band.x0 && pts[2 * i] <= band.x1)) continue;
        const int64_t at = static_cast<int64_t>(out.lonlat.size() / 2);
        out.lonlat.push_back(pts[2 * i]);
        out.lonlat.push_back(pts[2 * i + 1]);
        out.parts.push_back(Part{at, at + 1, p.shape});
      }
    }
  }
  return out;
}

// A regional window may lie across the antimeridian (160 to 200 for a
// Pacific file): every part is moved by whole turns to lie within half a
// turn of the window's middle, and the copies that made rings across the
// antimeridian show on both edges of a world map are left out.
MapData recentre(const MapData& map, const Box& window) {
  const double mid = (window.min_x + window.max_x) * 0.5;
  MapData out = map;
  out.parts.clear();
  for (const Part& p : map.parts) {
    if (p.copy) continue;
    double sum = 0.0;
    int64_t n = 0;
    for (int64_t i = p.start; i < p.end; ++i) {
      if (!std::isfinite(map.lonlat[2 * i])) continue;
      sum += map.lonlat[2 * i];
      ++n;
    }
    const double mean = n > 0 ? sum / static_cast<double>(n) : mid;
    const double turns = std::round((mid - mean) / 360.0);
    if (turns != 0.0 && std::isfinite(turns))
      for (int64_t i = p.start; i < p.end; ++i) out.lonlat[2 * i] += 360.0 * turns;
    out.parts.push_back(p);
  }
  return out;
}

MapData prepared(const MapData& map, const ViewSettings& settings) {
  if (!map.geographic) return map;
  const bool whole_circle = settings.window.max_x - settings.window.min_x >= 359.0;
  const MapData m = whole_circle ? map : recentre(map, settings.window);
  return is_conic(settings.projection.kind) ? cut_to_cone(m, settings.projection.conic.lon0) : m;
}

// The window's outline in lon/lat, in short steps.
std::vector<double> window_outline(const Box& w) {
  std::vector<double> out;
  const int steps = 90;
  append_densified(w.min_x, w.min_y, w.max_x, w.min_y, steps, &out);
  append_densified(w.max_x, w.min_y, w.max_x, w.max_y, steps, &out);
  append_densified(w.max_x, w.max_y, w.min_x, w.max_y, steps, &out);
  append_densified(w.min_x, w.max_y, w.min_x, w.min_y, steps, &out);
  return out;
}

}  // namespace

bool MapView::empty() const {
  if (transform_.scale == 0.0) return true;
  for (size_t k = 0; k < map_.parts.size(); ++k) {
    if (!shown_[k]) continue;
    const Part& p = map_.parts[k];
    for (int64_t i = p.start; i < p.end; ++i) {
      const double x = xy_[2 * i], y = xy_[2 * i + 1];
      if (x >= extent_.x0 && x <= extent_.x1 && y >= extent_.y0 && y <= extent_.y1) return false;
    }
  }
  // Rings larger than the panel show even with no point inside it.
  return ring_shape_.empty();
}

void append_densified(double lon0, double lat0, double lon1, double lat1, int steps,
                      std::vector<double>* out) {
  for (int i = 0; i <= steps; ++i) {
    const double t = static_cast<double>(i) / steps;
    out->push_back((lon1 - lon0) * t + lon0);
    out->push_back((lat1 - lat0) * t + lat0);
  }
}

MapView::MapView(const MapData& map, const Topology& topo, const ViewSettings& settings)
    : map_(prepared(map, settings)),
      topo_(topo),
      settings_(settings) {
  xy_ = settings.projection.forward(map_.lonlat);
  shown_.reserve(map_.parts.size());
  for (const Part& p : map_.parts)
    shown_.push_back(!settings.regional || near_window(map_, p, settings.window));

  // Projected box of the points inside the window.
  bool any = false;
  double bx0 = 0, by0 = 0, bx1 = 0, by1 = 0;
  for (const Part& p : map_.parts) {
    for (int64_t i = p.start; i < p.end; ++i) {
      if (!inside(settings.window, map_.lonlat[2 * i], map_.lonlat[2 * i + 1])) continue;
      const double x = xy_[2 * i], y = xy_[2 * i + 1];
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

  if (map_.kind != GeometryKind::kPolygon) return;
  ring_offsets_.push_back(0);
  for (size_t k = 0; k < map_.parts.size(); ++k) {
    const Part& p = map_.parts[k];
    if (!shown_[k]) continue;
    const size_t added =
        clip_ring(xy_.data() + 2 * p.start, static_cast<size_t>(p.end - p.start), extent_, rings_);
    if (added == 0) continue;
    ring_offsets_.push_back(static_cast<int64_t>(rings_.size() / 2));
    ring_shape_.push_back(p.shape);
  }
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
                         &transform_);
    a = b;
  }
}

void MapView::build_outlines(Path* path) const {
  if (transform_.scale == 0.0) return;
  if (map_.kind == GeometryKind::kPolygon) {
    const int64_t rings = static_cast<int64_t>(ring_shape_.size());
    if (rings > 0)
      ordane_build_multilinestring(path->get(), rings_.data(), ring_offsets_.data(), rings,
                                   &transform_);
    return;
  }
  if (map_.kind == GeometryKind::kLine) {
    std::vector<double> pts;
    std::vector<int64_t> offsets{0};
    for (size_t k = 0; k < map_.parts.size(); ++k) {
      const Part& p = map_.parts[k];
      if (shown_[k])
        clip_line(xy_.data() + 2 * p.start, static_cast<size_t>(p.end - p.start), extent_, pts,
                  offsets);
    }
    const int64_t count = static_cast<int64_t>(offsets.size()) - 1;
    if (count > 0)
      ordane_build_multilinestring(path->get(), pts.data(), offsets.data(), count, &transform_);
  }
}

void MapView::add_lines(const std::vector<double>& lonlat, const std::vector<int64_t>& ends,
                        std::vector<double>* pts, std::vector<int64_t>* offsets) const {
  const std::vector<double>* src = &lonlat;
  const std::vector<int64_t>* src_ends = &ends;
  std::vector<double> cut;
  std::vector<int64_t> cut_ends;
  if (map_.geographic && is_conic(settings_.projection.kind)) {
    // Cut along the cone's edge meridians first, as the rings are.
    const double lon0 = settings_.projection.conic.lon0;
    const Rect band{lon0 - 180.0, -HUGE_VAL, lon0 + 180.0, HUGE_VAL};
    int64_t from = 0;
    for (int64_t end : ends) {
      clip_line(lonlat.data() + 2 * from, static_cast<size_t>(end - from), band, cut, cut_ends);
      from = end;
    }
    src = &cut;
    src_ends = &cut_ends;
  }
  const std::vector<double> xy = settings_.projection.forward(*src);
  int64_t begin = 0;
  for (int64_t end : *src_ends) {
    clip_line(xy.data() + 2 * begin, static_cast<size_t>(end - begin), extent_, *pts, *offsets);
    begin = end;
  }
}

void MapView::build_graticule(double step, Path* path) const {
  if (transform_.scale == 0.0 || !map_.geographic) return;
  // Latitudes stop short of the poles, where Mercator and the conics blow up.
  // The whole globe for a world map; around a region, the lines within a
  // window's size of it (on its side of the antimeridian), in steps that
  // bend smoothly at that scale.
  const Box& w = settings_.window;
  double lon0 = -180.0, lon1 = 180.0, lat0 = -80.0, lat1 = 80.0;
  if (w.max_x - w.min_x < 359.0) {
    const double gx = std::max(w.max_x - w.min_x, step), gy = std::max(w.max_y - w.min_y, step);
    lon0 = std::floor((w.min_x - gx) / step) * step;
    lon1 = std::ceil((w.max_x + gx) / step) * step;
    lat0 = std::max(-80.0, std::floor((w.min_y - gy) / step) * step);
    lat1 = std::min(80.0, std::ceil((w.max_y + gy) / step) * step);
  }
  const int lon_steps = std::max(8, std::min(180, static_cast<int>((lon1 - lon0) / 2.0)));
  const int lat_steps = std::max(8, std::min(64, static_cast<int>((lat1 - lat0) / 2.5)));
  std::vector<double> lonlat;
  std::vector<int64_t> ends;
  const int meridians = static_cast<int>(std::lround((lon1 - lon0) / step));
  for (int i = 0; i <= meridians; ++i) {
    append_densified(lon0 + i * step, lat0, lon0 + i * step, lat1, lat_steps, &lonlat);
    ends.push_back(static_cast<int64_t>(lonlat.size() / 2));
  }
  for (double lat = -90.0 + step; lat < 90.0; lat += step) {
    if (std::fabs(lat) > 80.0 || lat < lat0 || lat > lat1) continue;
    append_densified(lon0, lat, lon1, lat, lon_steps, &lonlat);
    ends.push_back(static_cast<int64_t>(lonlat.size() / 2));
  }
  std::vector<double> pts;
  std::vector<int64_t> offsets{0};
  add_lines(lonlat, ends, &pts, &offsets);
  const int64_t count = static_cast<int64_t>(offsets.size()) - 1;
  if (count > 0)
    ordane_build_multilinestring(path->get(), pts.data(), offsets.data(), count, &transform_);
}

void MapView::build_coast(std::deque<Path>* lines, std::vector<double>* lengths) const {
  if (transform_.scale == 0.0 || topo_.coast_ends.empty()) return;
  std::vector<double> pts;
  std::vector<int64_t> offsets{0};
  add_lines(topo_.coast, topo_.coast_ends, &pts, &offsets);
  for (size_t i = 0; i + 1 < offsets.size(); ++i) {
    const int64_t count = offsets[i + 1] - offsets[i];
    if (count < 2) continue;
    lines->emplace_back();
    ordane_build_linestring(lines->back().get(), pts.data() + 2 * offsets[i], count, &transform_);
    double len = 0.0;
    for (int64_t k = offsets[i] + 1; k < offsets[i + 1]; ++k)
      len += std::hypot(pts[2 * k] - pts[2 * k - 2], pts[2 * k + 1] - pts[2 * k - 1]);
    lengths->push_back(len * transform_.scale);
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
      const double x = xy_[2 * i], y = xy_[2 * i + 1];
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
