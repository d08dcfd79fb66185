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

bool in_degrees(double x, double y) {
  return x >= -180.5 && x <= 180.5 && y >= -90.5 && y <= 90.5;
}

// Bounds of the finite points that belong to some part; false when none is.
bool bounds_of(const MapData& data, Box* out) {
  bool any = false;
  Box b{0, 0, 0, 0};
  for (const Part& p : data.parts) {
    for (int64_t i = p.start; i < p.end; ++i) {
      const double x = data.lonlat[2 * i], y = data.lonlat[2 * i + 1];
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
      const double x = data->lonlat[2 * i], y = data->lonlat[2 * i + 1];
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
      if (in_degrees(data->lonlat[2 * i], data->lonlat[2 * i + 1])) continue;
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

// A ring around a pole (Antarctica) crosses the antimeridian once: it runs
// from one side of the map to the other, and the edge that closes it jumps
// back by a full turn. Drawn as stored, that edge is a straight chord, which
// Mercator happens to draw as the bottom of the map but which a conic draws
// across the cone, turning the ring inside out over the whole map. The ring
// is started just after its jump and closed instead along the antimeridian
// down to the pole, along the pole (in short steps, since a conic bends it
// into an arc) and back up the other side.
void close_around_pole(MapData* map, size_t k) {
  const Part p = map->parts[k];
  std::vector<double> ring(map->lonlat.begin() + 2 * p.start, map->lonlat.begin() + 2 * p.end);
  size_t n = ring.size() / 2;
  if (n >= 2 && ring[0] == ring[2 * n - 2] && ring[1] == ring[2 * n - 1]) --n;
  if (n < 3) return;
  size_t jump = n;
  double mean_lat = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const size_t prev = (i + n - 1) % n;
    if (jump == n && std::fabs(ring[2 * i] - ring[2 * prev]) > 180.0) jump = i;
    mean_lat += ring[2 * i + 1] / static_cast<double>(n);
  }
  if (jump == n) return;

  std::vector<double> out;
  out.reserve(2 * n + 2 * 190);
  for (size_t s = 0; s < n; ++s) {
    const size_t i = (jump + s) % n;
    out.push_back(ring[2 * i]);
    out.push_back(ring[2 * i + 1]);
  }
  auto add = [&out](double x, double y) {
    if (out[out.size() - 2] != x || out[out.size() - 1] != y) {
      out.push_back(x);
      out.push_back(y);
    }
  };
  // The closing edge from a (last) to b (first), taken the short way round,
  // crosses the antimeridian at "edge".
  const double a_lon = out[2 * n - 2], a_lat = out[2 * n - 1];
  const double b_lon = out[0], b_lat = out[1];
  const double edge = b_lon < a_lon ? 180.0 : -180.0;
  const double b_near = b_lon + 2.0 * edge;
  double t = b_near != a_lon ? (edge - a_lon) / (b_near - a_lon) : 0.0;
  t = std::min(std::max(t, 0.0), 1.0);
  const double cross_lat = (b_lat - a_lat) * t + a_lat;
  const double pole = mean_lat < 0.0 ? -90.0 : 90.0;
  const int steps = 180;  // two degrees each
  add(edge, cross_lat);
  for (int s = 0; s <= steps; ++s) add(edge - 2.0 * edge * s / steps, pole);
  add(-edge, cross_lat);
  add(b_lon, b_lat);

  const int64_t start = static_cast<int64_t>(map->lonlat.size() / 2);
  map->lonlat.insert(map->lonlat.end(), out.begin(), out.end());
  map->parts[k] = Part{start, static_cast<int64_t>(map->lonlat.size() / 2), p.shape};
}

// Rings that cross the antimeridian are stored with a jump of nearly 360
// degrees between neighbouring points (Fiji, the tip of Siberia). Drawn as
// they are, those edges run across the whole map. Such a ring is made
// continuous (longitudes past 180 allowed) and a copy shifted by a full
// turn is added, so that each side of the map shows its half. Rings around
// a pole turn once in all and are closed along the pole instead.
void unwrap_rings(MapData* map) {
  const size_t original = map->parts.size();
  for (size_t k = 0; k < original; ++k) {
    const Part p = map->parts[k];
    double* lon = map->lonlat.data() + 2 * p.start;
    const int64_t n = p.end - p.start;
    double shift = 0.0;
    bool jumped = false;
    for (int64_t i = 1; i < n; ++i) {
      const double d = lon[2 * i] - lon[2 * i - 2];
      if (d > 180.0) {
        shift -= 360.0;
        jumped = true;
      } else if (d < -180.0) {
        shift += 360.0;
        jumped = true;
      }
    }
    if (!jumped) continue;
    if (shift != 0.0) {
      close_around_pole(map, k);
      continue;
    }
    double min_lon = lon[0], max_lon = lon[0];
    shift = 0.0;
    for (int64_t i = 1; i < n; ++i) {
      const double d = lon[2 * i] + shift - lon[2 * i - 2];
      if (d > 180.0)
        shift -= 360.0;
      else if (d < -180.0)
        shift += 360.0;
      lon[2 * i] += shift;
      min_lon = std::min(min_lon, lon[2 * i]);
      max_lon = std::max(max_lon, lon[2 * i]);
    }
    for (double turn : {max_lon > 180.0 ? -360.0 : 0.0, min_lon < -180.0 ? 360.0 : 0.0}) {
      if (turn == 0.0) continue;
      const int64_t start = static_cast<int64_t>(map->lonlat.size() / 2);
      for (int64_t i = 0; i < n; ++i) {
        // Copied out first: push_back may move the array being read.
        const double x = map->lonlat[2 * (p.start + i)] + turn;
        const double y = map->lonlat[2 * (p.start + i) + 1];
        map->lonlat.push_back(x);
        map->lonlat.push_back(y);
      }
      map->parts.push_back(Part{start, start + n, p.shape, true});
    }
  }
}

// Lines that cross the antimeridian are split there instead.
void split_lines(MapData* map) {
  std::vector<Part> split;
  for (const Part& p : map->parts) {
    int64_t start = p.start;
    for (int64_t i = p.start + 1; i < p.end; ++i) {
      if (std::fabs(map->lonlat[2 * i] - map->lonlat[2 * i - 2]) > 180.0) {
        split.push_back(Part{start, i, p.shape});
        start = i;
      }
    }
    split.push_back(Part{start, p.end, p.shape});
  }
  map->parts = std::move(split);
}

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
    const int64_t s0 =
        clamp_index(static_cast<int64_t>(std::min<uint64_t>(shp->shape_point_offsets[k], n)), 0, n);
    const int64_t s1 = clamp_index(
        static_cast<int64_t>(std::min<uint64_t>(shp->shape_point_offsets[k + 1], n)), s0, n);
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
  if (data.geographic && data.kind == GeometryKind::kPolygon) unwrap_rings(&data);
  if (data.geographic && data.kind == GeometryKind::kLine) split_lines(&data);
  *out = std::move(data);
  return true;
}

}  // namespace poster
