// The map projections the renderer offers, all computed by libordane.
#ifndef QUILLON_POSTER_PROJECTION_H
#define QUILLON_POSTER_PROJECTION_H

#include <cstdint>
#include <string>
#include <vector>

#include "map_data.h"

namespace poster {

enum class Projection { kMercator, kLcc, kAlbers, kNone };

// Accepts "mercator", "lcc", "albers" and "none"; false for anything else.
bool parse_projection(const std::string& name, Projection* out);
const char* projection_names();  // the accepted names, for messages

// Standard parallels, origin latitude and central meridian of a conic.
struct Conic {
  double lat1, lat2, lat0, lon0;
};

// A conic for a region: standard parallels one sixth of the latitude span
// inside its edges (the usual rule of thumb), origin and central meridian at
// its middle.
Conic conic_for(const Box& lonlat_region);

// A conic for the whole world: a cone over the northern hemisphere, where
// most land lies, touching the globe along 20 N and 60 N, central meridian 0.
Conic world_conic();

// A projection together with the parameters it needs.
struct MapProjection {
  Projection kind = Projection::kMercator;
  Conic conic{0, 0, 0, 0};

  // Projects "count" pairs of "lonlat" into "xy" (which may be "lonlat").
  void forward(const double* lonlat, double* xy, int64_t count) const;
  std::vector<double> forward(const std::vector<double>& lonlat) const;
};

}  // namespace poster

#endif  // QUILLON_POSTER_PROJECTION_H
