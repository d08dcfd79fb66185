// A continent laid out on a flat sheet and looked at through a tilted
// PerspectiveCamera: every path is bent by torvik_transform_path.
#ifndef QUILLON_POSTER_TILTED_MAP_H
#define QUILLON_POSTER_TILTED_MAP_H

#include <torvik.h>

#include <cstdint>
#include <deque>
#include <vector>

#include "bl_objects.h"
#include "map_view.h"

namespace poster {

struct TiltedStyle {
  uint32_t shadow, sheet, graticule, border;
  std::vector<uint32_t> land;
  uint32_t point;  // dots of a point file
};

class TiltedMap {
 public:
  // Lays out the part of "map" inside "settings.window" on a sheet of
  // settings.width x settings.height plane units (y up).
  TiltedMap(const MapData& map, const Topology& topo, const ViewSettings& settings);

  // Draws the sheet into the panel at ("x", "y") of "w" x "h" pixels, seen
  // with "pitch" and "bearing" degrees; "k" scales line widths.
  void draw(Canvas* canvas, double x, double y, double w, double h, double pitch, double bearing,
            double k, const TiltedStyle& style) const;

  // The camera draw() uses: the sheet fills the panel as far as it can.
  PerspectiveCamera camera_for(double w, double h, double pitch, double bearing) const;

  bool empty() const { return view_.empty(); }

 private:
  MapView view_;
  double sheet_w_, sheet_h_;
  Path sheet_, outlines_, graticule_;
  std::deque<Path> fills_;
  std::vector<double> points_;  // point files: sheet positions
};

}  // namespace poster

#endif  // QUILLON_POSTER_TILTED_MAP_H
