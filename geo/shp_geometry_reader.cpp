// shp_geometry_reader.cpp - ordane_read_shp_geometry /
// ordane_free_shp_geometry: every geometry type of a shapefile with points
// (MultiPoint and the Z and M types included), as the flat arrays of ShpData
// plus the Z and M value of every point and each record's own type.
//
// The record walk, the stream bounds and the size checks are those of
// ordane_parse_shp; every count in a record is checked against the record's
// content before anything is read or allocated for it.

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#include "ordane.h"
#include "shp_format.h"

namespace {

using namespace ordane::shp;
using quillon::load_f64_le;
using quillon::load_i32_le;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

enum class Kind { kNull, kPoint, kMultiPoint, kPoly, kOther };

struct TypeInfo {
  Kind kind;
  bool z;  // a Z block follows the points (and an M block may follow it)
  bool m;  // an M block follows the points (M types)
};

TypeInfo type_info(int32_t t) {
  switch (t) {
    case 0:
      return {Kind::kNull, false, false};
    case 1:
      return {Kind::kPoint, false, false};
    case 11:
      return {Kind::kPoint, true, false};
    case 21:
      return {Kind::kPoint, false, true};
    case 8:
      return {Kind::kMultiPoint, false, false};
    case 18:
      return {Kind::kMultiPoint, true, false};
    case 28:
      return {Kind::kMultiPoint, false, true};
    case 3:
    case 5:
      return {Kind::kPoly, false, false};
    case 13:
    case 15:
      return {Kind::kPoly, true, false};
    case 23:
    case 25:
      return {Kind::kPoly, false, true};
    default:  // MultiPatch (31) and unknown types
      return {Kind::kOther, false, false};
  }
}

class Collector {
 public:
  void start() {
    shape_parts_.push_back(0);
    shape_points_.push_back(0);
  }

  int64_t shapes() const { return static_cast<int64_t>(types_.size()); }

  // Adds the shape of one complete record; false when a count would pass
  // the 32-bit limit (nothing added).
  bool add(const unsigned char* c, std::size_t n) {
    const int32_t type = n >= kShapeTypeSize ? load_i32_le(c) : 0;
    malformed_ = n < kShapeTypeSize;
    double box[4] = {0.0, 0.0, 0.0, 0.0};
    const std::size_t points_before = xy_.size() / 2;
    const std::size_t parts_before = parts_.size();
    bool ok = true;
    if (n >= kShapeTypeSize) {
      const TypeInfo info = type_info(type);
      switch (info.kind) {
        case Kind::kPoint:
          ok = add_point(c, n, info, box);
          break;
        case Kind::kMultiPoint:
          ok = add_multipoint(c, n, info, box);
          break;
        case Kind::kPoly:
          ok = add_poly(c, n, info, box);
          break;
        case Kind::kNull:
        case Kind::kOther:
          break;
      }
    }
    if (!ok) {
      // The limit: undo this record's points and parts.
      xy_.resize(2 * points_before);
      z_.resize(points_before);
      m_.resize(points_before);
      parts_.resize(parts_before);
      return false;
    }
    for (double v : box) boxes_.push_back(v);
    types_.push_back(type);
    status_.push_back(malformed_ ? ORDANE_SHP_RECORD_MALFORMED : ORDANE_SHP_RECORD_OK);
    shape_parts_.push_back(static_cast<int32_t>(parts_.size()));
    shape_points_.push_back(static_cast<uint64_t>(xy_.size() / 2));
    return true;
  }

  // A record the index locates but whose header in the .shp disagrees.
  void add_unreadable() {
    for (int i = 0; i < 4; ++i) boxes_.push_back(0.0);
    types_.push_back(0);
    status_.push_back(ORDANE_SHP_RECORD_UNREADABLE);
    shape_parts_.push_back(static_cast<int32_t>(parts_.size()));
    shape_points_.push_back(static_cast<uint64_t>(xy_.size() / 2));
  }

  ShpGeometry* finish(int32_t shape_type, int32_t index_state, int32_t index_records);

 private:
  int64_t points() const { return static_cast<int64_t>(xy_.size() / 2); }

  bool malformed() {
    malformed_ = true;
    return true;
  }

  bool room(int64_t more_points, int64_t more_parts) const {
    return points() + more_points <= kMaxCount &&
           static_cast<int64_t>(parts_.size()) + more_parts <= kMaxCount;
  }

  // The Z and M values of "count" points: the block at "z_at" / "m_at" (an
  // offset into the content) when the content holds it, else NaN.
  void add_zm(const unsigned char* c, std::size_t n, int64_t count, int64_t z_at, int64_t m_at) {
    const bool has_z = z_at >= 0 && z_at + 8 * count <= static_cast<int64_t>(n);
    const bool has_m = m_at >= 0 && m_at + 8 * count <= static_cast<int64_t>(n);
    any_z_ = any_z_ || has_z;
    any_m_ = any_m_ || has_m;
    for (int64_t i = 0; i < count; ++i) {
      z_.push_back(has_z ? load_f64_le(c + z_at + 8 * i) : kNaN);
      m_.push_back(has_m ? load_f64_le(c + m_at + 8 * i) : kNaN);
    }
  }

  bool add_point(const unsigned char* c, std::size_t n, TypeInfo info, double* box) {
    if (n < kPointMinContent) return malformed();  // an empty shape
    if (!room(1, 1)) return false;
    const double x = load_f64_le(c + kPointXOffset);
    const double y = load_f64_le(c + kPointYOffset);
    parts_.push_back(static_cast<int32_t>(points()));
    xy_.push_back(x);
    xy_.push_back(y);
    // PointZ: X Y Z [M]; PointM: X Y M.
    add_zm(c, n, 1, info.z ? 20 : -1, info.z ? 28 : info.m ? 20 : -1);
    box[0] = x;
    box[1] = y;
    box[2] = x;
    box[3] = y;
    return true;
  }

  // Box, NumPoints, points; then for Z types the Z range and values (and
  // optionally the M range and values), for M types the M range and values.
  bool add_multipoint(const unsigned char* c, std::size_t n, TypeInfo info, double* box) {
    constexpr int64_t kNumPointsOffset = 36;
    constexpr int64_t kPointsOffset = 40;
    if (n < static_cast<std::size_t>(kPointsOffset)) return malformed();
    const int32_t count = load_i32_le(c + kNumPointsOffset);
    if (count < 0 || kPointsOffset + 16 * int64_t{count} > static_cast<int64_t>(n)) {
      return malformed();
    }
    if (!room(count, count)) return false;
    const int64_t after = kPointsOffset + 16 * int64_t{count};
    for (int32_t i = 0; i < count; ++i) {
      parts_.push_back(static_cast<int32_t>(points()));
      xy_.push_back(load_f64_le(c + kPointsOffset + 16 * i));
      xy_.push_back(load_f64_le(c + kPointsOffset + 16 * i + 8));
    }
    const int64_t z_at = info.z ? after + 16 : -1;
    const int64_t m_at = info.z ? after + 16 + 8 * int64_t{count} + 16 : info.m ? after + 16 : -1;
    add_zm(c, n, count, z_at, m_at);
    for (int i = 0; i < 4; ++i) box[i] = load_f64_le(c + kPolyBoxOffset + 8 * i);
    return true;
  }

  // As ordane_parse_shp reads them, plus the Z / M blocks after the points.
  bool add_poly(const unsigned char* c, std::size_t n, TypeInfo info, double* box) {
    if (n < kPolyMinContent) return malformed();
    const int32_t record_parts = load_i32_le(c + kPolyNumPartsOffset);
    const int32_t record_points = load_i32_le(c + kPolyNumPointsOffset);
    if (record_parts < 0 || record_points < 0) return malformed();
    const int64_t points_at = int64_t{kPolyPartsOffset} + 4 * int64_t{record_parts};
    const int64_t after = points_at + 16 * int64_t{record_points};
    if (after > static_cast<int64_t>(n)) return malformed();
    const unsigned char* starts = c + kPolyPartsOffset;
    for (int32_t i = 0; i < record_parts; ++i) {
      const int32_t s = load_i32_le(starts + 4 * static_cast<std::size_t>(i));
      if (s < 0 || s > record_points) return malformed();
    }
    if (!room(record_points, record_parts)) return false;
    const int32_t base = static_cast<int32_t>(points());
    for (int32_t i = 0; i < record_parts; ++i) {
      parts_.push_back(base + load_i32_le(starts + 4 * static_cast<std::size_t>(i)));
    }
    for (int64_t i = 0; i < 2 * int64_t{record_points}; ++i) {
      xy_.push_back(load_f64_le(c + points_at + 8 * i));
    }
    const int64_t z_at = info.z ? after + 16 : -1;
    const int64_t m_at =
        info.z ? after + 16 + 8 * int64_t{record_points} + 16 : info.m ? after + 16 : -1;
    add_zm(c, n, record_points, z_at, m_at);
    for (int i = 0; i < 4; ++i) box[i] = load_f64_le(c + kPolyBoxOffset + 8 * i);
    return true;
  }

  std::vector<double> xy_, z_, m_, boxes_;
  std::vector<int32_t> parts_, shape_parts_, types_;
  std::vector<uint64_t> shape_points_;
  std::vector<uint8_t> status_;
  bool malformed_ = false;
  bool any_z_ = false;
  bool any_m_ = false;
};

template <typename T>
bool copy_out(const std::vector<T>& v, T** out) {
  *out = nullptr;
  if (v.empty()) return true;
  *out = static_cast<T*>(std::malloc(v.size() * sizeof(T)));
  if (!*out) return false;
  std::memcpy(*out, v.data(), v.size() * sizeof(T));
  return true;
}

void free_geometry(ShpGeometry* g) {
  if (!g) return;
  std::free(g->xy.points);
  std::free(g->xy.parts);
  std::free(g->xy.shape_part_offsets);
  std::free(g->xy.shape_point_offsets);
  std::free(g->xy.bboxes);
  std::free(g->z);
  std::free(g->m);
  std::free(g->shape_types);
  std::free(g->record_status);
  std::free(g);
}

ShpGeometry* Collector::finish(int32_t shape_type, int32_t index_state, int32_t index_records) {
  ShpGeometry* g = static_cast<ShpGeometry*>(std::calloc(1, sizeof(ShpGeometry)));
  if (!g) return nullptr;
  g->index_state = index_state;
  g->index_records = index_records;
  g->xy.shape_type = shape_type;
  g->xy.num_shapes = static_cast<int32_t>(types_.size());
  g->xy.num_parts = parts_.size();
  g->xy.num_points = xy_.size() / 2;
  const bool ok = copy_out(xy_, &g->xy.points) && copy_out(parts_, &g->xy.parts) &&
                  copy_out(shape_parts_, &g->xy.shape_part_offsets) &&
                  copy_out(shape_points_, &g->xy.shape_point_offsets) &&
                  copy_out(boxes_, &g->xy.bboxes) && copy_out(types_, &g->shape_types) &&
                  copy_out(status_, &g->record_status) &&
                  (!any_z_ || copy_out(z_, &g->z)) && (!any_m_ || copy_out(m_, &g->m));
  if (!ok) {
    free_geometry(g);
    return nullptr;
  }
  return g;
}

// Where a record is: the offset of its 8-byte header and its content's size.
struct Located {
  int64_t offset;
  int64_t bytes;
  bool operator==(const Located& o) const { return offset == o.offset && bytes == o.bytes; }
};

// Reads a record's content of "bytes" bytes into "buf"; false when the
// stream ends first. A Content Length is checked against what the stream may
// still deliver before anything is allocated for it; a pipe's content grows
// with the bytes that really arrive.
bool read_content(InputStream& in, int64_t bytes, std::vector<unsigned char>& buf) {
  const int64_t left = in.remaining();
  if (left >= 0 && bytes > left) return false;
  const std::size_t n = static_cast<std::size_t>(bytes);
  std::size_t got = 0;
  while (got < n) {
    const std::size_t step = n - got < (std::size_t{1} << 20) ? n - got : std::size_t{1} << 20;
    buf.resize(got + step);
    const std::size_t r = in.read(buf.data() + got, step);
    got += r;
    if (r < step) return false;
  }
  return true;
}

// The entries of the .shx beside "shp_path": ORDANE_SHX_NONE when there is
// no regular file to read, ORDANE_SHX_DISAGREES when it is malformed for a
// .shp of "shp_size" bytes, else ORDANE_SHX_USED with "entries" filled.
int32_t read_index(const char* shp_path, int64_t shp_size, std::vector<Located>* entries) {
  std::vector<char> path(std::strlen(shp_path) + 8);
  bool opened = false;
  for (const char* ext : {".shx", ".SHX"}) {
    if (opened || !companion_path(shp_path, ext, path.data(), path.size())) continue;
    InputStream shx(path.data());
    if (!shx.is_open()) continue;
    if (shx.size() < 0) return ORDANE_SHX_NONE;
    opened = true;
    const int64_t size = shx.size();
    unsigned char h[kFileHeaderSize];
    if (!read_file_header(shx, h) || !has_file_code(h) || (size - 100) % 8 != 0 ||
        (size - 100) / 8 > kMaxCount) {
      return ORDANE_SHX_DISAGREES;
    }
    const std::size_t n = static_cast<std::size_t>((size - 100) / 8);
    std::vector<unsigned char> raw(8 * n);
    if (shx.read(raw.data(), raw.size()) != raw.size()) return ORDANE_SHX_DISAGREES;
    entries->resize(n);
    int64_t end = static_cast<int64_t>(kFileHeaderSize);
    for (std::size_t k = 0; k < n; ++k) {
      const int64_t offset = 2 * int64_t{quillon::load_i32_be(raw.data() + 8 * k)};
      const int64_t bytes = 2 * int64_t{quillon::load_i32_be(raw.data() + 8 * k + 4)};
      if (offset < end || bytes < 0 || offset + 8 + bytes > shp_size) return ORDANE_SHX_DISAGREES;
      (*entries)[k] = {offset, bytes};
      end = offset + 8 + bytes;
    }
  }
  return opened ? ORDANE_SHX_USED : ORDANE_SHX_NONE;
}

// Reads the records the index locates into "shapes"; false when the .shp has
// no record header with Record Number k + 1 at the offset of entry k.
bool read_by_index(InputStream& in, const std::vector<Located>& entries, Collector* shapes,
                   std::vector<unsigned char>& buf) {
  shapes->start();
  for (std::size_t k = 0; k < entries.size(); ++k) {
    unsigned char rh[kRecordHeaderSize];
    if (!in.rewind_to(entries[k].offset) || in.read(rh, sizeof rh) != sizeof rh) return false;
    if (int64_t{quillon::load_i32_be(rh + kRecordNumberOffset)} != static_cast<int64_t>(k) + 1) {
      return false;
    }
    if (2 * int64_t{quillon::load_i32_be(rh + kContentLengthOffset)} != entries[k].bytes) {
      shapes->add_unreadable();
      continue;
    }
    if (!read_content(in, entries[k].bytes, buf)) return false;
    if (!shapes->add(buf.data(), static_cast<std::size_t>(entries[k].bytes))) break;
  }
  return true;
}

int32_t read_geometry(const char* path, ShpGeometry** out) {
  Collector shapes;
  int32_t shape_type = 0;
  int32_t index_state = ORDANE_SHX_NONE;
  int32_t index_records = -1;
  {
    InputStream in(path);
    if (in.out_of_memory()) return ORDANE_ERR_OUT_OF_MEMORY;
    if (!in.is_open()) return ORDANE_SHP_ERR_OPEN;
    unsigned char h[kFileHeaderSize];
    if (!read_file_header(in, h)) return ORDANE_SHP_ERR_TOO_SHORT;
    shape_type = load_i32_le(h + kShapeTypeOffset);
    shapes.start();
    std::vector<unsigned char> buf;
    std::vector<Located> walk;
    int64_t bytes = 0;
    int64_t headers = 0;
    while (shapes.shapes() < kMaxCount && next_record(in, &bytes, &headers)) {
      const int64_t offset = in.position() - static_cast<int64_t>(kRecordHeaderSize);
      if (!read_content(in, bytes, buf)) break;  // an incomplete last record adds nothing
      if (!shapes.add(buf.data(), static_cast<std::size_t>(bytes))) break;
      walk.push_back({offset, bytes});
    }

    if (in.size() >= 0) {
      std::vector<Located> entries;
      index_state = read_index(path, in.size(), &entries);
      if (index_state == ORDANE_SHX_USED) {
        index_records = static_cast<int32_t>(entries.size());
        if (entries == walk) {
          index_state = ORDANE_SHX_AGREES;
        } else {
          Collector by_index;
          if (read_by_index(in, entries, &by_index, buf)) {
            shapes = std::move(by_index);
          } else {
            index_state = ORDANE_SHX_DISAGREES;
          }
        }
      }
    }
  }
  ShpGeometry* g = shapes.finish(shape_type, index_state, index_records);
  if (!g) return ORDANE_ERR_OUT_OF_MEMORY;
  *out = g;
  return ORDANE_OK;
}

}  // namespace

extern "C" ORDANE_API int32_t ordane_read_shp_geometry(const char* file_path,
                                                       ShpGeometry** geometry) {
  if (!file_path || !geometry) return ORDANE_ERR_INVALID_ARGUMENT;
  try {
    return read_geometry(file_path, geometry);
  } catch (const std::bad_alloc&) {
    return ORDANE_ERR_OUT_OF_MEMORY;
  }
}

extern "C" ORDANE_API void ordane_free_shp_geometry(ShpGeometry* geometry) {
  free_geometry(geometry);
}
