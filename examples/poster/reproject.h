// Coordinates in a projected system (metres of Web Mercator, of a Lambert
// azimuthal grid...) brought to longitude/latitude with PROJ, from the
// coordinate system the shapefile's .prj describes.
#ifndef QUILLON_POSTER_REPROJECT_H
#define QUILLON_POSTER_REPROJECT_H

#include <string>
#include <vector>

namespace poster {

// The text of the .prj beside "shp_file" (same name, .prj or .PRJ), read
// with ordane_read_prj(); an empty string when there is none, or when it
// cannot be used ("problem", when given, then says why).
std::string prj_text_for(const std::string& shp_file, std::string* problem = nullptr);

enum class PrjKind { kNone, kGeographic, kProjected, kUnusable };

struct PrjInfo {
  PrjKind kind = PrjKind::kNone;
  std::string name;   // the system's name, for messages
  std::string error;  // kUnusable: why PROJ cannot use it
};

// What "wkt" describes (kNone for an empty text).
PrjInfo describe_prj(const std::string& wkt);

// Turns the interleaved x, y pairs of "xy" from the system of "wkt" into
// longitude, latitude in degrees (WGS 84), in place. Points PROJ cannot
// transform become NaN (left out of the drawing). False, with "error" set,
// when no transformation can be set up.
bool reproject_to_lonlat(const std::string& wkt, std::vector<double>* xy, std::string* error);

}  // namespace poster

#endif  // QUILLON_POSTER_REPROJECT_H
