// A map panel: shapes projected, fitted into the panel with a GeoTransform,
// cut to what the panel shows and turned into Blend2D paths by the libordane
// builders.
#ifndef QUILLON_POSTER_MAP_VIEW_H
#define QUILLON_POSTER_MAP_VIEW_H

#include <ordane.h>

#include <cstdint>
#include <deque>
#include <vector>

#include "bl_objects.h"
#include "cartography.h"
#include "clip.h"
#include "map_data.h"
#include "projection.h"
#include "topology.h"

namespace poster {

struct ViewSettings {
  MapProjection projection;
  Box window;    // longitude/latitude (or file) box that must be visible
  double width;  // panel size in pixels
  double height;
  double margin;  // fraction of the panel kept free around the window
  bool flip_y;    // true on screen (north up), false for a y-up plane
  // Leave out parts far from the window. A regional conic must: a ring around
  // the pole, or one on the far side of the cone, turns inside out there and
  // would cover the whole panel.
  bool regional = false;
  // Fit the whole window into the panel (a region, grown around the data),
  // rather than the data inside it (the world, whose window is only a cut).
  bool fit_window = false;
  double graticule_step = 10.0;  // degrees, for panels that draw their own
};

class MapView {
 public:
  MapView(const MapData& map, const Topology& topo, const ViewSettings& settings);

  const GeoTransform& transform() const { return transform_; }
  const Rect& extent() const { return extent_; }  // projected box the panel shows
  // Whether any of the map lies in the panel.
  bool empty() const;

  // One path per palette colour with every ring of that colour (polygon maps).
  void build_fills(std::deque<Path>* by_colour) const;
  // Ring outlines as open lines (ordane_build_multilinestring), or the lines
  // of a polyline map.
  void build_outlines(Path* path) const;
  // Meridians and parallels every "step" degrees (geographic maps only).
  void build_graticule(double step, Path* path) const;
  // One path per coastline piece, for trimming each on its own.
  void build_coast(std::deque<Path>* lines, std::vector<double>* lengths) const;
  // Point maps: the panel positions of the points.
  std::vector<double> point_positions() const;

 private:
  // Lon/lat lines (cut at the panel's seam when geographic) in panel
  // pixels, clipped to the panel; the result's sources index "lines".
  PartList pixel_lines(const PartList& lines) const;
  // Parts of the map in panel pixels, densified along the projection.
  PartList to_pixels(const PartList& parts, bool rings) const;

  MapData map_;  // the map as this panel draws it: cut at its seam
  const Topology& topo_;
  ViewSettings settings_;
  GeoTransform transform_{};
  Rect extent_{0, 0, 0, 0};
  std::vector<double> xy_;             // every point of the map, projected
  std::vector<double> rings_;          // clipped rings, in panel pixels
  std::vector<int64_t> ring_offsets_;  // ring_count + 1 boundaries into rings_
  std::vector<int32_t> ring_shape_;
  std::vector<char> shown_;  // per part of the map: near the window
};

// The meridian a panel is cut at, half a turn from the map's middle: the
// cone's central meridian for a conic, the window's middle otherwise.
double central_meridian(const ViewSettings& settings);

}  // namespace poster

#endif  // QUILLON_POSTER_MAP_VIEW_H
