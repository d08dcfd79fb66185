// Globe texture and painting. The texture is opaque, so its premultiplied
// pixels equal the plain 0xAARRGGBB words torvik_render_globe reads; the
// globe is painted over an opaque background for the same reason.
#include "globe.h"

#include <ordane.h>
#include <torvik.h>

#include <cstdint>
#include <deque>
#include <limits>

#include "map_view.h"

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
      append_densified(lon, -90, lon, 90, 1, &pts);
      offsets.push_back(static_cast<int64_t>(pts.size() / 2));
    }
    for (int lat = -60; lat <= 60; lat += 30) {
      append_densified(-180, lat, 180, lat, 1, &pts);
      offsets.push_back(static_cast<int64_t>(pts.size() / 2));
    }
    Path grid;
    ordane_build_multilinestring(grid.get(), pts.data(), offsets.data(),
                                 static_cast<int64_t>(offsets.size()) - 1, &t);
    canvas.stroke(grid, style.graticule, texture->width() / 1200.0);
  }
  if (!map.geographic || style.land.empty()) return;

  std::vector<int64_t> offsets;
  if (map.kind == GeometryKind::kPolygon) {
    std::deque<Path> by_colour(style.land.size());
    Path outlines;
    for (const Part& p : map.parts) {
      const int64_t part[2] = {p.start, p.end};
      const size_t colour = static_cast<size_t>(topo.colour.at(static_cast<size_t>(p.shape)));
      ordane_build_polygon(by_colour[colour % by_colour.size()].get(), map.lonlat.data(), part, 1,
                           &t);
      ordane_build_multilinestring(outlines.get(), map.lonlat.data(), part, 1, &t);
    }
    for (size_t c = 0; c < by_colour.size(); ++c) canvas.fill(by_colour[c], style.land[c]);
    canvas.stroke(outlines, style.border, texture->width() / 1400.0);
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
      for (size_t i = 0; i + 1 < px.size(); i += 2) canvas.fill_circle(px[i], px[i + 1], r, style.point);
    }
  } else {
    Path lines;
    for (const Part& p : map.parts) {
      const int64_t part[2] = {p.start, p.end};
      ordane_build_multilinestring(lines.get(), map.lonlat.data(), part, 1, &t);
    }
    canvas.stroke(lines, style.point, texture->width() / 480.0);
  }
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

}  // namespace poster
