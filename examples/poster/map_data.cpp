// Reading a shapefile: the header first (for precise error messages), then
// every record through ordane_parse_shp. The flat ShpData arrays are copied
// into parts whose offsets are checked here, because the path builders trust
// the offsets they are given and a damaged file must not make them read past
// the point array.
#include "map_data.h"

#include <ordane.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "reproject.h"

namespace poster {

namespace {

struct ShpDataDeleter {
  void operator()(ShpData* d) const { ordane_free_shp_data(d); }
};

bool kind_of(int32_t shape_type, GeometryKind* kind) {
  switch (shape_type) {
    case 5:
    case 15:
      *kind = GeometryKind::kPolygon;
      return true;
    case 3:
    case 13:
      *kind = GeometryKind::kLine;
      return true;
    case 1:
    case 11:
    case 21:
      *kind = GeometryKind::kPoint;
      return true;
    default:
      return false;
  }
}

std::string open_failure(const std::string& file) {
  // Open it again ourselves only to name the reason (missing, permissions...).
  errno = 0;
  std::FILE* f = std::fopen(file.c_str(), "rb");
  const int err = errno;
  if (f) {
    std::fclose(f);
    return "cannot open '" + file + "'";
  }
  return "cannot open '" + file + "': " + (err ? std::strerror(err) : "unknown reason");
}

bool in_degrees(double x, double y) { return x >= -180.5 && x <= 180.5 && y >= -90.5 && y <= 90.5; }

// Bounds of the finite points that belong to some part; false when none is.
bool bounds_of(const MapData& data, Box* out) {
  bool any = false;
  Box b{0, 0, 0, 0};
  for (const Part& p : data.parts) {
    for (int64_t i = p.start; i < p.end; ++i) {
      const double x = data.lonlat.data()[2 * i], y = data.lonlat.data()[2 * i + 1];
      if (!std::isfinite(x) || !std::isfinite(y)) continue;
      if (!any) {
        b = Box{x, y, x, y};
        any = true;
      } else {
        b.min_x = std::min(b.min_x, x);
        b.min_y = std::min(b.min_y, y);
        b.max_x = std::max(b.max_x, x);
        b.max_y = std::max(b.max_y, y);
      }
    }
  }
  *out = b;
  return any;
}

// A point file in degrees with a few bad points (a typing slip such as a
// longitude of 228.3) would otherwise be taken as not geographic as a whole
// and leave every panel but the world map empty. When at most one point in a
// hundred (and at least three may always be) lies outside longitude and
// latitude, those points are left out and counted.
void drop_stray_points(MapData* data) {
  int64_t total = 0, stray = 0;
  for (const Part& p : data->parts) {
    for (int64_t i = p.start; i < p.end; ++i) {
      const double x = data->lonlat.data()[2 * i], y = data->lonlat.data()[2 * i + 1];
      if (!std::isfinite(x) || !std::isfinite(y)) continue;
      ++total;
      if (!in_degrees(x, y)) ++stray;
    }
  }
  if (stray == 0 || stray > std::max<int64_t>(3, total / 100) || 2 * stray >= total) return;
  std::vector<Part> kept;
  for (const Part& p : data->parts) {
    // Point parts hold one point each; a run is cut into the points kept.
    int64_t start = p.start;
    for (int64_t i = p.start; i < p.end; ++i) {
      if (in_degrees(data->lonlat.data()[2 * i], data->lonlat.data()[2 * i + 1])) continue;
      if (i > start) kept.push_back(Part{start, i, p.shape});
      start = i + 1;
    }
    if (p.end > start) kept.push_back(Part{start, p.end, p.shape});
  }
  data->parts = std::move(kept);
  data->stray_points = stray;
}

// The header states the file's length: a file that ends before it has lost
// its last records, which ordane_parse_shp cannot tell apart from the end.
std::string damage_of(const std::string& file, const ShpHeader& header, int32_t shapes_read) {
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec) return std::string();
  const int64_t stated = header.file_length;
  std::string what;
  if (stated > 0 && static_cast<uintmax_t>(stated) > size)
    what = "is cut short: its header gives a length of " + std::to_string(stated) +
           " bytes, the file holds " + std::to_string(size);
  if (header.record_count > shapes_read)
    what += what.empty() ? "has an incomplete last record" : ", and its last record is incomplete";
  if (what.empty()) return what;
  return "'" + file + "' " + what + "; only the " + std::to_string(shapes_read) +
         (shapes_read == 1 ? " shape" : " shapes") + " before the break can be drawn";
}

int64_t clamp_index(int64_t v, int64_t lo, int64_t hi) { return std::min(std::max(v, lo), hi); }

}  // namespace

const char* shape_type_name(int32_t shape_type) {
  switch (shape_type) {
    case 0:
      return "Null";
    case 1:
      return "Point";
    case 3:
      return "PolyLine";
    case 5:
      return "Polygon";
    case 8:
      return "MultiPoint";
    case 11:
      return "PointZ";
    case 13:
      return "PolyLineZ";
    case 15:
      return "PolygonZ";
    case 18:
      return "MultiPointZ";
    case 21:
      return "PointM";
    case 23:
      return "PolyLineM";
    case 25:
      return "PolygonM";
    case 28:
      return "MultiPointM";
    case 31:
      return "MultiPatch";
    default:
      return "unknown";
  }
}

bool load_shapefile(const std::string& file, MapData* out, std::string* error) {
  ShpHeader header;
  switch (ordane_read_shp_header(file.c_str(), &header)) {
    case ORDANE_OK:
      break;
    case ORDANE_SHP_ERR_OPEN:
      *error = open_failure(file);
      return false;
    case ORDANE_SHP_ERR_TOO_SHORT:
      *error = "'" + file + "' is not a shapefile: it is shorter than the 100-byte header";
      return false;
    case ORDANE_SHP_ERR_FILE_CODE:
      *error = "'" + file + "' is not a shapefile: it does not start with the file code 9994";
      return false;
    default:
      *error = "cannot read the header of '" + file + "'";
      return false;
  }

  MapData data;
  data.shape_type = header.shape_type;
  if (header.shape_type == 23 || header.shape_type == 25) {
    *error = "'" + file + "' holds " + shape_type_name(header.shape_type) + " shapes (type " +
             std::to_string(header.shape_type) +
             "), which the library reads without their geometry; only polygon, polyline and "
             "point shapefiles without M values (and their Z forms) can be drawn";
    return false;
  }
  if (!kind_of(header.shape_type, &data.kind)) {
    *error = "'" + file + "' holds " + shape_type_name(header.shape_type) + " shapes (type " +
             std::to_string(header.shape_type) +
             "); only polygon, polyline and point shapefiles can be drawn";
    return false;
  }

  std::unique_ptr<ShpData, ShpDataDeleter> shp(ordane_parse_shp(file.c_str()));
  if (!shp) {
    *error = "cannot read the records of '" + file + "'";
    return false;
  }

  // Copy the points; an array without elements may be null.
  const uint64_t num_points = shp->points ? shp->num_points : 0;
  if (num_points > static_cast<uint64_t>(INT64_MAX / 2)) {
    *error = "'" + file + "' holds more points than can be drawn";
    return false;
  }
  data.lonlat.assign(shp->points, shp->points + 2 * num_points);
  const int64_t n = static_cast<int64_t>(num_points);
  const int64_t num_parts = shp->parts ? static_cast<int64_t>(shp->num_parts) : 0;
  const int32_t num_shapes =
      (shp->shape_part_offsets && shp->shape_point_offsets) ? std::max(shp->num_shapes, 0) : 0;
  data.num_shapes = num_shapes;

  // Shape k owns parts [shape_part_offsets[k], shape_part_offsets[k+1]); each
  // part runs to the next part's first point or to the end of its shape.
  for (int32_t k = 0; k < num_shapes; ++k) {
    const int64_t p0 = clamp_index(shp->shape_part_offsets[k], 0, num_parts);
    const int64_t p1 = clamp_index(shp->shape_part_offsets[k + 1], p0, num_parts);
    const int64_t s0 = clamp_index(static_cast<int64_t>(std::min<uint64_t>(
                                       shp->shape_point_offsets[k], static_cast<uint64_t>(n))),
                                   0, n);
    const int64_t s1 = clamp_index(static_cast<int64_t>(std::min<uint64_t>(
                                       shp->shape_point_offsets[k + 1], static_cast<uint64_t>(n))),
                                   s0, n);
    for (int64_t j = p0; j < p1; ++j) {
      const int64_t start = clamp_index(shp->parts[j], s0, s1);
      const int64_t end = j + 1 < p1 ? clamp_index(shp->parts[j + 1], start, s1) : s1;
      if (end > start) data.parts.push_back(Part{start, end, k});
    }
  }

  // A projected file is brought to longitude/latitude first, from the
  // coordinate system its .prj names.
  std::string unreadable;
  const std::string wkt = prj_text_for(file, &unreadable);
  const PrjInfo prj = describe_prj(wkt);
  data.has_prj = prj.kind != PrjKind::kNone || !unreadable.empty();
  data.crs_name = prj.name;
  if (prj.kind == PrjKind::kUnusable) data.prj_problem = prj.error;
  if (!unreadable.empty()) data.prj_problem = unreadable;
  if (prj.kind == PrjKind::kProjected) {
    std::string why;
    if (!reproject_to_lonlat(wkt, &data.lonlat, &why)) {
      *error = "'" + file + "' is in " + prj.name +
               " (its .prj), which PROJ cannot turn into longitude/latitude: " + why;
      return false;
    }
    data.reprojected = true;
  }

  Box b;
  if (!bounds_of(data, &b)) {
    *error = "'" + file + "' holds no drawable geometry";
    return false;
  }
  if (data.kind == GeometryKind::kPoint &&
      (!in_degrees(b.min_x, b.min_y) || !in_degrees(b.max_x, b.max_y))) {
    drop_stray_points(&data);
    if (data.stray_points > 0) bounds_of(data, &b);
  }
  data.bounds = b;
  data.geographic = in_degrees(b.min_x, b.min_y) && in_degrees(b.max_x, b.max_y);
  data.damage = damage_of(file, header, num_shapes);
  *out = std::move(data);
  return true;
}

}  // namespace poster
