#include "extent.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace poster {

namespace {

constexpr double kLeastSpan = 4.0;  // degrees of latitude a window shows at least

double wrap180(double lon) {
  double l = std::fmod(lon + 180.0, 360.0);
  if (l < 0.0) l += 360.0;
  return l - 180.0;
}

}  // namespace

Extent data_extent(const MapData& map) {
  std::vector<double> lons;
  Extent e;
  e.south = HUGE_VAL;
  e.north = -HUGE_VAL;
  for (const Part& p : map.parts) {
    for (int64_t i = p.start; i < p.end; ++i) {
      const double x = map.lonlat.data()[2 * i], y = map.lonlat.data()[2 * i + 1];
      if (!std::isfinite(x) || !std::isfinite(y)) continue;
      lons.push_back(wrap180(x));
      e.south = std::min(e.south, y);
      e.north = std::max(e.north, y);
    }
  }
  if (lons.empty()) return Extent{};
  e.south = std::max(e.south, -90.0);
  e.north = std::min(e.north, 90.0);
  std::sort(lons.begin(), lons.end());
  lons.erase(std::unique(lons.begin(), lons.end()), lons.end());
  // The widest gap between neighbouring longitudes, the one across the
  // antimeridian (last to first, a turn later) included.
  double gap = lons.front() + 360.0 - lons.back();
  size_t after = 0;  // index of the longitude that ends the widest gap
  for (size_t i = 1; i < lons.size(); ++i) {
    if (lons[i] - lons[i - 1] > gap) {
      gap = lons[i] - lons[i - 1];
      after = i;
    }
  }
  e.west = lons[after];
  e.east = after == 0 ? lons.back() : lons[after - 1] + 360.0;
  // Rings around a pole are closed along the pole, which a gap-based band
  // takes for data all the way round anyway; 60 degrees of gap or less is
  // taken as the whole circle.
  e.full_circle = gap <= 60.0;
  if (e.full_circle) {
    e.west = -180.0;
    e.east = 180.0;
  } else if (e.west > e.east) {
    e.east += 360.0;
  }
  // A band entirely west of -180 or east of 180 reads better the other way.
  if (e.west >= 180.0) {
    e.west -= 360.0;
    e.east -= 360.0;
  }
  return e;
}

Coverage coverage_of(const Extent& e) {
  if (!e.full_circle) return Coverage::kRegion;
  if (e.south >= 45.0 || e.north <= -45.0) return Coverage::kPolar;
  return Coverage::kWorld;
}

Box region_window(const Extent& e, std::string* what) {
  double w = e.width(), h = e.height();
  const double lat = std::min(std::fabs(e.centre_lat()), 80.0);
  const double squeeze = std::cos(lat * 3.14159265358979323846 / 180.0);
  // A point or a tiny extent: a window of about kLeastSpan degrees around
  // it. A line (one of the sizes near zero): the other side grown to a
  // quarter of the long one, so that a line along the equator or a meridian
  // has land around it and a conic has parallels to work with.
  const double least_h = std::max(kLeastSpan, 0.25 * w * squeeze);
  const double least_w = std::max(kLeastSpan / squeeze, 0.25 * h / squeeze);
  if (what) {
    if (w < 1e-9 && h < 1e-9)
      *what = "the data is a single point; the regional panels show the " +
              std::to_string(static_cast<int>(kLeastSpan)) + " degrees around it";
    else if (h < 1e-9 || w < 1e-9)
      *what = "the data lies on one line of " + std::string(h < 1e-9 ? "latitude" : "longitude") +
              "; the regional panels show a band around it";
  }
  const double mid_x = e.centre_lon(), mid_y = e.centre_lat();
  w = std::max(w * 1.1, least_w);
  h = std::max(h * 1.1, least_h);
  Box b{mid_x - w * 0.5, mid_y - h * 0.5, mid_x + w * 0.5, mid_y + h * 0.5};
  // Inside the globe's latitudes: slide the window rather than cut it.
  if (b.max_y > 90.0) {
    b.min_y = std::max(-90.0, b.min_y - (b.max_y - 90.0));
    b.max_y = 90.0;
  }
  if (b.min_y < -90.0) {
    b.max_y = std::min(90.0, b.max_y + (-90.0 - b.min_y));
    b.min_y = -90.0;
  }
  return b;
}

}  // namespace poster
