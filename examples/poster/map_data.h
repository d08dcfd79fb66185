// Reading a shapefile into the renderer's own copy of its geometry.
#ifndef QUILLON_POSTER_MAP_DATA_H
#define QUILLON_POSTER_MAP_DATA_H

#include <cstdint>
#include <string>
#include <vector>

namespace poster {

enum class GeometryKind { kPolygon, kLine, kPoint };

// One ring, line or point run: pairs [start, end) of MapData::lonlat.
struct Part {
  int64_t start;
  int64_t end;
  int32_t shape;
};

struct Box {
  double min_x, min_y, max_x, max_y;
};

struct MapData {
  GeometryKind kind = GeometryKind::kPolygon;
  int32_t shape_type = 0;
  int32_t num_shapes = 0;
  std::vector<double> lonlat;  // interleaved pairs, file coordinates
  std::vector<Part> parts;     // validated: every index lies inside lonlat;
                               // as stored (each panel cuts them at its
                               // own seam)
  Box bounds{0, 0, 0, 0};      // of the finite points
  bool geographic = false;     // bounds lie within longitude/latitude limits
  int64_t stray_points = 0;    // points outside longitude/latitude left out
                               // of a point file that is otherwise in degrees
  std::string damage;          // empty, or what a file cut short is missing
  bool has_prj = false;        // a .prj lies beside the file
  std::string crs_name;        // the coordinate system it names
  bool reprojected = false;    // the points were projected, now lon/lat
  std::string prj_problem;     // why the .prj could not be used, if so
  std::vector<int> colour_class;  // --color-by: per shape, a palette class
                                  // (-1: no value); empty: by neighbours
  bool colour_ramp = false;       // the classes are steps of a numeric ramp
};

// Reads "file" with the shapefile exports. On failure returns false and sets
// "error" to a sentence that names the file and says what is wrong with it.
bool load_shapefile(const std::string& file, MapData* out, std::string* error);

// The ESRI name of a shape type, for messages.
const char* shape_type_name(int32_t shape_type);

}  // namespace poster

#endif  // QUILLON_POSTER_MAP_DATA_H
