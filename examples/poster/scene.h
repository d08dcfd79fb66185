// The poster: every panel laid out, built once, and rendered for any moment
// of the animation.
#ifndef QUILLON_POSTER_SCENE_H
#define QUILLON_POSTER_SCENE_H

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "bl_objects.h"
#include "coast_reveal.h"
#include "globe.h"
#include "map_data.h"
#include "map_view.h"
#include "projection.h"
#include "sparks.h"
#include "tilted_map.h"
#include "timeline.h"
#include "topology.h"

namespace poster {

struct SceneOptions {
  Projection world = Projection::kMercator;  // the large map
  Projection conic = Projection::kLcc;       // the tilted continent
  int width = 1600;                          // poster width; the height is 5/8 of it
  bool world_given = false;                  // "world" was asked for, not the default
  double lon0 = 0.0;                         // central meridian of a world map
  bool lon0_given = false;                   // "lon0" was asked for: the globe faces it too
};

class Scene {
 public:
  Scene(const MapData& map, const SceneOptions& options);

  int width() const { return width_; }
  int height() const { return height_; }

  // Moves the sparks on by "dt", throwing new ones from the pen tips.
  void advance(const SceneState& state, Sparks* sparks, double dt) const;
  // A burst where the longest coastlines end, for the moment they are complete.
  void finale(Sparks* sparks) const;
  // The sparks of the still poster: the pen run up to "state" for a moment.
  void warm_up(const SceneState& state, Sparks* sparks) const;
  // Draws the whole poster into "image" (width() x height()).
  void render(const SceneState& state, const Sparks& sparks, Image* image) const;

  double pixel_scale() const { return k_; }

  // What the user should know about the panels (one with nothing to show,
  // a fallback extent), one sentence each.
  const std::vector<std::string>& notes() const { return notes_; }
  // True when no panel shows any of the data.
  bool empty() const { return empty_; }

 private:
  struct Panel {
    double x, y, w, h;
  };
  Panel scaled(double x, double y, double w, double h) const;
  void draw_world(Canvas* canvas, const SceneState& state, const Sparks& sparks) const;
  void draw_flat(Canvas* canvas) const;

  const MapData& map_;
  Topology topo_;
  std::vector<uint32_t> land_, globe_land_;  // palettes, by Topology::colour
  int width_, height_;
  double k_;
  Panel world_panel_, flat_panel_, tilted_panel_, chart_panel_;
  GlobeView globe_;
  // The globe's centre against the timeline's (15 E, 28 N, the world's).
  double globe_shift_lon_ = 0.0, globe_shift_lat_ = 0.0;

  std::unique_ptr<MapView> world_;
  std::deque<Path> world_fills_;
  Path world_outlines_, world_graticule_;
  std::vector<double> world_points_;
  std::deque<Path> coast_lines_;
  std::unique_ptr<CoastReveal> reveal_;

  std::unique_ptr<MapView> flat_;
  std::deque<Path> flat_fills_;
  Path flat_outlines_, flat_graticule_;
  std::vector<double> flat_points_;

  std::unique_ptr<TiltedMap> tilted_;
  std::unique_ptr<Image> texture_;
  PartList globe_lines_;  // drawn over the globe as vectors

  std::vector<std::string> notes_;
  bool empty_ = false;
};

}  // namespace poster

#endif  // QUILLON_POSTER_SCENE_H
