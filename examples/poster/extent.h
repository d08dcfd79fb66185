// The part of the globe a file covers, and the windows the panels show.
#ifndef QUILLON_POSTER_EXTENT_H
#define QUILLON_POSTER_EXTENT_H

#include <string>

#include "map_data.h"

namespace poster {

// Longitudes run from "west" eastwards to "east", which may exceed 180 when
// the data crosses the antimeridian (a Pacific file: 160 to 200).
struct Extent {
  double west = -180.0, east = 180.0, south = -90.0, north = 90.0;
  bool full_circle = false;  // the data goes all the way round
  double width() const { return east - west; }
  double height() const { return north - south; }
  double centre_lon() const { return (west + east) * 0.5; }
  double centre_lat() const { return (south + north) * 0.5; }
};

// The smallest band of longitudes holding every point (the complement of
// the widest gap between them, so that data across the antimeridian is
// one piece) and the latitudes of "map", which must be geographic.
Extent data_extent(const MapData& map);

// What kind of view the extent calls for.
enum class Coverage {
  kWorld,    // all the way round, and over the tropics and mid-latitudes
  kPolar,    // all the way round a pole, beyond 45 degrees (Antarctica)
  kRegion,   // anything smaller
};
Coverage coverage_of(const Extent& e);

// The window a regional panel shows: the extent grown by a margin and to a
// sensible least size, so that a point, a short line or a line along the
// equator get a window with room around them. "what" receives a sentence
// when the extent was grown noticeably (a point, a line), else stays empty.
Box region_window(const Extent& e, std::string* what);

}  // namespace poster

#endif  // QUILLON_POSTER_EXTENT_H
