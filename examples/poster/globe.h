// The globe: an equirectangular picture of the map, drawn with Blend2D, then
// wrapped onto a sphere by torvik_render_globe.
#ifndef QUILLON_POSTER_GLOBE_H
#define QUILLON_POSTER_GLOBE_H

#include <cstdint>
#include <vector>

#include "bl_objects.h"
#include "cartography.h"
#include "map_data.h"
#include "topology.h"

namespace poster {

struct GlobeStyle {
  uint32_t ocean;
  uint32_t graticule;
  uint32_t border;
  std::vector<uint32_t> land;  // palette, indexed by Topology::colour
  uint32_t point;              // dots of a point file
};

// Draws "map" into "texture" as an equirectangular picture: longitude -180 at
// the first column and +180 at the last, latitude +90 at the top row and -90
// at the bottom, as the globe samples it. Data that is not longitude/latitude
// leaves only the ocean and the graticule.
void draw_globe_texture(const MapData& map, const Topology& topo, const GlobeStyle& style,
                        Image* texture);

struct GlobeView {
  double center_x, center_y, radius;  // pixels
  double rotation;                    // longitude at the centre, degrees
  double tilt;                        // latitude at the centre, degrees
  uint32_t atmosphere;                // rim tint and glow, 0 for none
};

// Paints the globe straight into the pixels of "target", which must not have
// a rendering context attached. Returns the export's result code.
int32_t paint_globe(Image* target, const Image& texture, const GlobeView& view);

// What is drawn over the globe as vectors: the rings of a polygon map as
// lines, or the lines of a polyline map, in lon/lat. Empty for other maps.
PartList globe_lines(const MapData& map);

// Strokes "lines" over the globe of "view" on "canvas" (whose image is
// "image_height" pixels high): cut at the horizon of the hemisphere the
// globe shows, so that the far side stays hidden, and projected with the
// orthographic projection torvik_render_globe samples its texture through,
// so that every border lies on its coast in the picture.
void stroke_on_globe(Canvas* canvas, const PartList& lines, const GlobeView& view,
                     double image_height, uint32_t argb, double width);

}  // namespace poster

#endif  // QUILLON_POSTER_GLOBE_H
