// Globe texture and painting. The texture is opaque, so its premultiplied
// pixels equal the plain 0xAARRGGBB words torvik_render_globe reads; the
// globe is painted over an opaque background for the same reason.
#include "globe.h"

#include <ordane.h>
#include <torvik.h>

#include <cstdint>
#include <deque>
#include <limits>
#include <new>

namespace poster {

namespace {

// Longitude/latitude to texture pixels. The globe takes column c at
// longitude c / (w - 1) * 360 - 180, and Blend2D puts the centre of pixel c
// at c + 0.5, hence the half-pixel offsets. One scale serves both axes
// because the texture is 2:1 plus one pixel in each direction.
GeoTransform texture_transform(const Image& texture) {
  GeoTransform t{};
  t.min_x = -180.0;
  t.min_y = -90.0;
  t.max_x = 180.0;
  t.max_y = 90.0;
  t.width = texture.width();
  t.height = texture.height();
  t.scale = (texture.width() - 1) / 360.0;
  t.offset_x = 0.5;
  t.offset_y = 0.5;
  t.flip_y = 1;
  return t;
}

}  // namespace

void draw_globe_texture(const MapData& map, const Topology& topo, const GlobeStyle& style,
                        Image* texture) {
  Canvas canvas(*texture);
  bl_context_fill_all_rgba32(canvas.ctx(), style.ocean);
  const GeoTransform t = texture_transform(*texture);

  // Graticule every 30 degrees under the land.
  {
    std::vector<double> pts;
    std::vector<int64_t> offsets{0};
    for (int lon = -180; lon <= 180; lon += 30) {
      append_steps(lon, -90, lon, 90, 1, &pts);
      offsets.push_back(static_cast<int64_t>(pts.size() / 2));
    }
    for (int lat = -60; lat <= 60; lat += 30) {
      append_steps(-180, lat, 180, lat, 4, &pts);
      offsets.push_back(static_cast<int64_t>(pts.size() / 2));
    }
    Path grid;
    ordane_build_multilinestring(grid.get(), pts.data(), offsets.data(),
                                 static_cast<int64_t>(offsets.size()) - 1, &t);
    canvas.stroke(grid, style.graticule, texture->width() / 1200.0);
  }
  if (!map.geographic || style.land.empty()) return;

  if (map.kind == GeometryKind::kPolygon) {
    // Cut at the texture's seam, +-180, and closed along it and the poles;
    // the borders are drawn over the globe as vectors (stroke_on_globe).
    PartList rings;
    if (cut_at_antimeridian(parts_of(map), true, 0.0, 90.0, &rings) != 0) throw std::bad_alloc();
    std::deque<Path> by_colour(style.land.size());
    for (int64_t i = 0; i < rings.count(); ++i) {
      const size_t k = static_cast<size_t>(i);
      const Part& p = map.parts[static_cast<size_t>(rings.source[k])];
      const size_t colour = static_cast<size_t>(topo.colour.at(static_cast<size_t>(p.shape)));
      ordane_build_polygon(by_colour[colour % by_colour.size()].get(), rings.points.data(),
                           rings.offsets.data() + i, 1, &t);
    }
    for (size_t c = 0; c < by_colour.size(); ++c) canvas.fill(by_colour[c], style.land[c]);
  } else if (map.kind == GeometryKind::kPoint) {
    // Dots of about half a degree, large enough to show on the globe; a
    // few points get dots of a degree and a half, so that a single one is
    // seen.
    int64_t points = 0;
    for (const Part& p : map.parts) points += p.end - p.start;
    const double r = texture->width() / (points < 100 ? 240.0 : 720.0);
    for (const Part& p : map.parts) {
      if (p.end - p.start < 1) continue;
      std::vector<double> px(static_cast<size_t>(2 * (p.end - p.start)));
      ordane_transform_coords(map.lonlat.data() + 2 * p.start, px.data(), p.end - p.start, &t);
      for (size_t i = 0; i + 1 < px.size(); i += 2)
        canvas.fill_circle(px[i], px[i + 1], r, style.point);
    }
  }
  // Lines are drawn over the globe as vectors.
}

int32_t paint_globe(Image* target, const Image& texture, const GlobeView& view) {
  const BLImageData dst = target->data();
  const BLImageData src = texture.data();
  // The export takes 32-bit strides; images this program makes always fit.
  if (dst.stride > std::numeric_limits<int32_t>::max() ||
      dst.stride < std::numeric_limits<int32_t>::min() ||
      src.stride > std::numeric_limits<int32_t>::max() ||
      src.stride < std::numeric_limits<int32_t>::min())
    return -1;
  return torvik_render_globe(static_cast<uint32_t*>(dst.pixel_data), dst.size.w, dst.size.h,
                             static_cast<int32_t>(dst.stride),
                             static_cast<const uint32_t*>(src.pixel_data), src.size.w, src.size.h,
                             static_cast<int32_t>(src.stride), view.center_x, view.center_y,
                             view.radius, view.rotation, view.tilt, view.atmosphere);
}

PartList globe_lines(const MapData& map) {
  if (!map.geographic || map.kind == GeometryKind::kPoint) return PartList();
  PartList lines = parts_of(map);
  if (map.kind == GeometryKind::kPolygon) {
    // A ring as a line must end where it began.
    PartList closed;
    std::vector<double> ring;
    for (int64_t i = 0; i < lines.count(); ++i) {
      const size_t k = static_cast<size_t>(i);
      ring.assign(lines.points.begin() + 2 * lines.offsets[k],
                  lines.points.begin() + 2 * lines.offsets[k + 1]);
      if (ring.size() >= 4 && (ring[0] != ring[ring.size() - 2] || ring[1] != ring.back())) {
        ring.push_back(ring[0]);
        ring.push_back(ring[1]);
      }
      closed.add(ring.data(), static_cast<int64_t>(ring.size() / 2), lines.source[k]);
    }
    // Without the edges along the antimeridian and the poles, where the
    // data was cut rather than a border runs.
    lines = outlines_without_seams(closed, 0.0, 90.0);
  }
  return lines;
}

void stroke_on_globe(Canvas* canvas, const PartList& lines, const GlobeView& view,
                     double image_height, uint32_t argb, double width) {
  if (lines.count() <= 0 || !(view.radius > 0.0)) return;
  PartList front;
  if (cut_at_horizon(lines, false, view.rotation, view.tilt, &front) != 0) throw std::bad_alloc();
  if (front.count() <= 0) return;
  // The globe's metres to pixels: its centre at (center_x, center_y), north
  // up, the sphere's radius 6378137 m on "radius" pixels.
  GeoTransform t{};
  t.scale = view.radius / 6378137.0;
  t.offset_x = view.center_x;
  t.offset_y = image_height - view.center_y;
  t.height = image_height;
  t.flip_y = 1;
  GeoProjection ortho{};
  ortho.kind = ORDANE_PROJECTION_ORTHOGRAPHIC;
  ortho.lon0 = view.rotation;
  ortho.lat0 = view.tilt;
  PartList px;
  if (densify_to_pixels(front, false, ortho, t, 0.25, &px) != 0) throw std::bad_alloc();
  Path path;
  ordane_build_multilinestring(path.get(), px.points.data(), px.offsets.data(), px.count(),
                               nullptr);
  canvas->stroke(path, argb, width);
}

}  // namespace poster
