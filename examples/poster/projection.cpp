// Projection choice and parameters; the arithmetic is libordane's.
#include "projection.h"

#include <ordane.h>

#include <algorithm>

namespace poster {

bool parse_projection(const std::string& name, Projection* out) {
  if (name == "mercator")
    *out = Projection::kMercator;
  else if (name == "lcc")
    *out = Projection::kLcc;
  else if (name == "albers")
    *out = Projection::kAlbers;
  else if (name == "none")
    *out = Projection::kNone;
  else
    return false;
  return true;
}

const char* projection_names() { return "mercator, lcc, albers or none"; }

Conic conic_for(const Box& r) {
  const double span = r.max_y - r.min_y;
  Conic c;
  c.lat1 = r.min_y + span / 6.0;
  c.lat2 = r.max_y - span / 6.0;
  c.lat0 = (r.min_y + r.max_y) * 0.5;
  c.lon0 = (r.min_x + r.max_x) * 0.5;
  // A region straddling the equator would give a cone constant near zero;
  // keep both parallels on the side of the region's middle.
  if (c.lat1 < 0.0 && c.lat2 > 0.0) {
    if (c.lat0 >= 0.0)
      c.lat1 = std::max(c.lat0 * 0.5, 5.0);
    else
      c.lat2 = std::min(c.lat0 * 0.5, -5.0);
  }
  return c;
}

Conic world_conic() { return Conic{20.0, 60.0, 40.0, 0.0}; }

void MapProjection::forward(const double* lonlat, double* xy, int64_t count) const {
  if (count <= 0) return;
  switch (kind) {
    case Projection::kMercator:
      ordane_proj_3857_forward(lonlat, xy, count);
      break;
    case Projection::kLcc:
      ordane_proj_lcc_forward(conic.lat1, conic.lat2, conic.lat0, conic.lon0, 0.0, 0.0, lonlat, xy,
                              count);
      break;
    case Projection::kAlbers:
      ordane_proj_albers_forward(conic.lat1, conic.lat2, conic.lat0, conic.lon0, 0.0, 0.0, lonlat,
                                 xy, count);
      break;
    case Projection::kNone:
      if (xy != lonlat) std::copy(lonlat, lonlat + 2 * count, xy);
      break;
  }
}

std::vector<double> MapProjection::forward(const std::vector<double>& lonlat) const {
  std::vector<double> xy(lonlat.size());
  forward(lonlat.data(), xy.data(), static_cast<int64_t>(lonlat.size() / 2));
  return xy;
}

}  // namespace poster
