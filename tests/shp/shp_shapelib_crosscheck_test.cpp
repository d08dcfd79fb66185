// ordane_parse_shp against shapelib's reader (SHPOpen / SHPReadObject, which
// finds records through the .shx index) on files written by other software:
// the Natural Earth sample converted by GDAL, files written by shapelib's
// shpcreate/shpadd, and a few from the tests' own builder. Same shapes, parts,
// points and boxes.

#include <shapefil.h>

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <limits>

#include <gtest/gtest.h>

#include "ordane.h"
#include "shp_builder.h"

namespace {

using quillon_test::Bytes;
using quillon_test::ShpBuilder;
using quillon_test::TempFile;
using quillon_test::XY;
namespace content = quillon_test::shp_content;


struct CloseShp {
  void operator()(SHPInfo* h) const { SHPClose(h); }
};

struct DestroyObject {
  void operator()(SHPObject* o) const { SHPDestroyObject(o); }
};

// Compares every shape of "shp_path" (with its .shx beside it).
void expect_same_as_shapelib(const std::string& shp_path) {
  SCOPED_TRACE(shp_path);
  std::unique_ptr<SHPInfo, CloseShp> h(SHPOpen(shp_path.c_str(), "rb"));
  ASSERT_NE(h, nullptr);
  quillon_test::ShpDataPtr d(ordane_parse_shp(shp_path.c_str()));
  ASSERT_NE(d, nullptr);

  int entities = 0;
  int type = 0;
  double lo[4], hi[4];
  SHPGetInfo(h.get(), &entities, &type, lo, hi);
  ASSERT_EQ(d->num_shapes, entities);
  EXPECT_EQ(d->shape_type, type);

  ShpHeader header;
  ASSERT_EQ(ordane_read_shp_header(shp_path.c_str(), &header), ORDANE_OK);
  EXPECT_EQ(header.record_count, entities);
  EXPECT_EQ(header.shape_type, type);
  EXPECT_EQ(header.min_x, lo[0]);
  EXPECT_EQ(header.max_y, hi[1]);

  uint64_t point_base = 0;
  int32_t part_base = 0;
  for (int k = 0; k < entities; ++k) {
    SCOPED_TRACE("shape " + std::to_string(k));
    std::unique_ptr<SHPObject, DestroyObject> o(SHPReadObject(h.get(), k));
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(d->shape_point_offsets[k], point_base);
    ASSERT_EQ(d->shape_part_offsets[k], part_base);
    const double* box = d->bboxes + 4 * k;
    std::vector<double> want_points;
    std::vector<int32_t> want_parts;
    std::vector<double> want_box = {0, 0, 0, 0};
    switch (o->nSHPType) {
      case SHPT_POINT:
      case SHPT_POINTZ:
      case SHPT_POINTM:
        want_points = {o->padfX[0], o->padfY[0]};
        want_parts = {static_cast<int32_t>(point_base)};
        want_box = {o->padfX[0], o->padfY[0], o->padfX[0], o->padfY[0]};
        break;
      case SHPT_ARC:
      case SHPT_POLYGON:
      case SHPT_ARCZ:
      case SHPT_POLYGONZ:
        for (int i = 0; i < o->nVertices; ++i) {
          want_points.push_back(o->padfX[i]);
          want_points.push_back(o->padfY[i]);
        }
        for (int i = 0; i < o->nParts; ++i) {
          want_parts.push_back(static_cast<int32_t>(point_base) + o->panPartStart[i]);
        }
        want_box = {o->dfXMin, o->dfYMin, o->dfXMax, o->dfYMax};
        break;
      default:  // Null, MultiPoint, M lines and polygons, MultiPatch: empty
        break;
    }
    const uint64_t n = d->shape_point_offsets[k + 1] - point_base;
    const int32_t parts = d->shape_part_offsets[k + 1] - part_base;
    EXPECT_EQ(std::vector<double>(d->points + 2 * point_base, d->points + 2 * (point_base + n)), want_points);
    EXPECT_EQ(std::vector<int32_t>(d->parts + part_base, d->parts + part_base + parts), want_parts);
    EXPECT_EQ(std::vector<double>(box, box + 4), want_box);
    point_base += n;
    part_base += parts;
  }
}

const std::string kSource = QUILLON_SOURCE_DIR;

TEST(ordane_parse_shp_vs_shapelib, NaturalEarthCountriesConvertedByGdal) {
  expect_same_as_shapelib(kSource + "/data/countries_110m.shp");
}

TEST(ordane_parse_shp_vs_shapelib, FilesWrittenByShapelib) {
  for (const char* name : {"polygon", "arcz", "pointm", "multipoint", "polygonm"}) {
    expect_same_as_shapelib(kSource + "/tests/shp/fixtures/shapelib_" + name + ".shp");
  }
}

TEST(ordane_parse_shp_vs_shapelib, BuilderFilesWithNullAndZRecords) {
  const std::vector<XY> ring = {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}};
  ShpBuilder b(15);
  b.record(content::poly(15, {0, 2}, ring)).record(content::type_only(0));
  b.record(content::poly(15, {0}, {{2, 2}, {3, 2}, {3, 3}, {2, 2}}));
  const Bytes shx = b.shx();
  TempFile shp(b.bytes(), ".shp");
  // shapelib finds the index by replacing the extension.
  const std::string shx_path = std::string(shp.path()).substr(0, std::string(shp.path()).size() - 4) + ".shx";
  ASSERT_TRUE(quillon_test::write_file(shx_path, shx));
  expect_same_as_shapelib(shp.path());
  std::remove(shx_path.c_str());
}

}  // namespace

namespace {

struct GeometryFree {
  void operator()(ShpGeometry* g) const { ordane_free_shp_geometry(g); }
};

// ordane_read_shp_geometry against SHPReadObject: every point's x, y and, for
// the types that carry them, Z and M, and each record's own type. shapelib
// gives 0 where a record has no block; the library gives NaN.
void expect_geometry_as_shapelib(const std::string& shp_path) {
  SCOPED_TRACE(shp_path);
  std::unique_ptr<SHPInfo, CloseShp> h(SHPOpen(shp_path.c_str(), "rb"));
  ASSERT_NE(h, nullptr);
  ShpGeometry* raw = nullptr;
  ASSERT_EQ(ordane_read_shp_geometry(shp_path.c_str(), &raw), ORDANE_OK);
  std::unique_ptr<ShpGeometry, GeometryFree> g(raw);
  int entities = 0;
  int type = 0;
  SHPGetInfo(h.get(), &entities, &type, nullptr, nullptr);
  ASSERT_EQ(g->xy.num_shapes, entities);
  const bool z_type = type == 11 || type == 13 || type == 15 || type == 18;
  const bool m_type = type == 21 || type == 23 || type == 25 || type == 28;
  EXPECT_EQ(g->z != nullptr, z_type);
  if (m_type) {
    EXPECT_NE(g->m, nullptr);
  }
  for (int k = 0; k < entities; ++k) {
    std::unique_ptr<SHPObject, DestroyObject> o(SHPReadObject(h.get(), k));
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(g->shape_types[k], o->nSHPType) << "shape " << k;
    const uint64_t first = g->xy.shape_point_offsets[k];
    ASSERT_EQ(g->xy.shape_point_offsets[k + 1] - first, static_cast<uint64_t>(o->nVertices));
    for (int i = 0; i < o->nVertices; ++i) {
      const uint64_t p = first + static_cast<uint64_t>(i);
      EXPECT_EQ(g->xy.points[2 * p], o->padfX[i]);
      EXPECT_EQ(g->xy.points[2 * p + 1], o->padfY[i]);
      if (z_type) {
        EXPECT_EQ(g->z[p], o->padfZ[i]) << "shape " << k << " point " << i;
      }
      if ((m_type || z_type) && g->m && !std::isnan(g->m[p])) {
        EXPECT_EQ(g->m[p], o->padfM[i]) << "shape " << k << " point " << i;
      }
    }
    if (o->nSHPType == 8 || o->nSHPType == 18 || o->nSHPType == 28) {
      // Each point of a MultiPoint is its own part.
      EXPECT_EQ(g->xy.shape_part_offsets[k + 1] - g->xy.shape_part_offsets[k], o->nVertices);
    } else if (o->nSHPType != 1 && o->nSHPType != 11 && o->nSHPType != 21) {
      EXPECT_EQ(g->xy.shape_part_offsets[k + 1] - g->xy.shape_part_offsets[k], o->nParts);
    }
  }
  // The types ordane_parse_shp reads come out the same as from it.
  quillon_test::ShpDataPtr d(ordane_parse_shp(shp_path.c_str()));
  ASSERT_NE(d, nullptr);
  if (type == 1 || type == 3 || type == 5 || type == 11 || type == 13 || type == 15) {
    ASSERT_EQ(d->num_points, g->xy.num_points);
    for (uint64_t i = 0; i < 2 * d->num_points; ++i) ASSERT_EQ(d->points[i], g->xy.points[i]);
    for (uint64_t i = 0; i < 4 * static_cast<uint64_t>(d->num_shapes); ++i) {
      ASSERT_EQ(d->bboxes[i], g->xy.bboxes[i]);
    }
  }
}

TEST(ordane_read_shp_geometry_vs_shapelib, EveryTypeWrittenByShapelibAndGdal) {
  expect_geometry_as_shapelib(kSource + "/data/countries_110m.shp");
  for (const char* name : {"polygon", "arcz", "pointm", "multipoint", "polygonm"}) {
    expect_geometry_as_shapelib(kSource + "/tests/shp/fixtures/shapelib_" + name + ".shp");
  }
  expect_geometry_as_shapelib(kSource + "/tests/shp/writers/pyshp_utf8.shp");
}

TEST(ordane_read_shp_geometry, ZAndMOfEveryKindOfRecord) {
  // A MultiPointZ record with M, one without (M is optional after Z), a
  // PointZ and a PointM, all in one file; then a malformed MultiPoint.
  using quillon_test::ByteWriter;
  const auto multipoint_z = [](bool with_m) {
    ByteWriter w;
    w.le32(18).f64(0).f64(0).f64(2).f64(2).le32(2);  // type, box, NumPoints
    w.f64(0).f64(0).f64(2).f64(2);                   // points
    w.f64(5).f64(6).f64(5).f64(6);                   // Z range, Z values
    if (with_m) w.f64(7).f64(8).f64(7).f64(8);       // M range, M values
    return w.get();
  };
  ShpBuilder b(18);
  b.record(multipoint_z(true)).record(multipoint_z(false));
  b.record(content::point(1, 2, 11, 3, 4)).record(content::point(1, 2, 21, 0, 9));
  b.record(ByteWriter().le32(8).f64(0).f64(0).f64(1).f64(1).le32(1000).get());  // claims 1000
  TempFile f(b.bytes(), ".shp");
  ShpGeometry* raw = nullptr;
  ASSERT_EQ(ordane_read_shp_geometry(f.path(), &raw), ORDANE_OK);
  std::unique_ptr<ShpGeometry, GeometryFree> g(raw);
  ASSERT_EQ(g->xy.num_shapes, 5);
  ASSERT_EQ(g->xy.num_points, 6u);
  ASSERT_NE(g->z, nullptr);
  ASSERT_NE(g->m, nullptr);
  const double z[] = {5, 6, 5, 6, 3, std::numeric_limits<double>::quiet_NaN()};
  const double m[] = {7, 8, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN(), 4, 9};
  for (int i = 0; i < 6; ++i) {
    EXPECT_TRUE(std::isnan(z[i]) ? std::isnan(g->z[i]) : g->z[i] == z[i]) << i;
    EXPECT_TRUE(std::isnan(m[i]) ? std::isnan(g->m[i]) : g->m[i] == m[i]) << i;
  }
  EXPECT_EQ(g->shape_types[4], 8);
  EXPECT_EQ(g->xy.shape_point_offsets[5], g->xy.shape_point_offsets[4]);  // malformed: empty
  EXPECT_EQ(g->xy.bboxes[4 * 4 + 2], 0.0);
  EXPECT_EQ(g->xy.num_parts, 6u);  // one part per point

  ShpGeometry* untouched = reinterpret_cast<ShpGeometry*>(0x1);
  EXPECT_EQ(ordane_read_shp_geometry(nullptr, &untouched), ORDANE_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(ordane_read_shp_geometry(f.path(), nullptr), ORDANE_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(ordane_read_shp_geometry("/dev/zero", &untouched), ORDANE_SHP_ERR_OPEN);
  TempFile tiny(Bytes(99, 0), ".shp");
  EXPECT_EQ(ordane_read_shp_geometry(tiny.path(), &untouched), ORDANE_SHP_ERR_TOO_SHORT);
  EXPECT_EQ(untouched, reinterpret_cast<ShpGeometry*>(0x1));
  ordane_free_shp_geometry(nullptr);
}

}  // namespace

namespace {

// A .shp with its .shx beside it (both removed at the end).
struct WithIndex {
  TempFile shp;
  std::string shx_path;
  WithIndex(const Bytes& shp_bytes, const Bytes* shx_bytes) : shp(shp_bytes, ".shp") {
    shx_path = std::string(shp.path()).substr(0, std::string(shp.path()).size() - 4) + ".shx";
    if (shx_bytes) quillon_test::write_file(shx_path, *shx_bytes);
  }
  ~WithIndex() { std::remove(shx_path.c_str()); }
  std::unique_ptr<ShpGeometry, GeometryFree> read() const {
    ShpGeometry* g = nullptr;
    EXPECT_EQ(ordane_read_shp_geometry(shp.path(), &g), ORDANE_OK);
    return std::unique_ptr<ShpGeometry, GeometryFree>(g);
  }
};

const std::vector<XY> kSquare = {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}};
const std::vector<XY> kTriangle = {{5, 5}, {6, 5}, {5, 6}, {5, 5}};

// Three polygons; "second_words" overrides the second record's Content
// Length (in words) as the .shp states it.
ShpBuilder three_polygons(std::optional<int32_t> second_words = {}) {
  ShpBuilder b(5);
  const Bytes second = content::poly(5, {0}, kTriangle);
  b.record(content::poly(5, {0}, kSquare));
  b.record(second, second_words.value_or(static_cast<int32_t>(second.size() / 2)));
  b.record(content::poly(5, {0}, kSquare));
  return b;
}

TEST(ordane_read_shp_geometry_index, AnAgreeingIndexChangesNothing) {
  const ShpBuilder b = three_polygons();
  const Bytes shx = b.shx();
  const WithIndex f(b.bytes(), &shx);
  auto g = f.read();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->index_state, ORDANE_SHX_AGREES);
  EXPECT_EQ(g->index_records, 3);
  EXPECT_EQ(g->xy.num_shapes, 3);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(g->record_status[k], ORDANE_SHP_RECORD_OK);

  const WithIndex none(b.bytes(), nullptr);
  auto h = none.read();
  EXPECT_EQ(h->index_state, ORDANE_SHX_NONE);
  EXPECT_EQ(h->index_records, -1);
}

TEST(ordane_read_shp_geometry_index, TheIndexFindsRecordsAfterADamagedLength) {
  // The second record claims 20 words more than it holds: the walk reads
  // into the third record and loses it. The index still locates all three.
  const Bytes shx = three_polygons().shx();
  const Bytes second = content::poly(5, {0}, kTriangle);
  const Bytes damaged = three_polygons(static_cast<int32_t>(second.size() / 2) + 20).bytes();
  const WithIndex f(damaged, &shx);
  auto g = f.read();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->index_state, ORDANE_SHX_USED);
  ASSERT_EQ(g->xy.num_shapes, 3);
  EXPECT_EQ(g->record_status[0], ORDANE_SHP_RECORD_OK);
  EXPECT_EQ(g->record_status[1], ORDANE_SHP_RECORD_UNREADABLE);
  EXPECT_EQ(g->record_status[2], ORDANE_SHP_RECORD_OK);
  EXPECT_EQ(g->xy.shape_point_offsets[2] - g->xy.shape_point_offsets[1], 0u);
  EXPECT_EQ(g->xy.shape_point_offsets[3] - g->xy.shape_point_offsets[2], kSquare.size());
  EXPECT_EQ(g->shape_types[2], 5);

  // Without the index the walk keeps what it could read.
  const WithIndex walk_only(damaged, nullptr);
  auto w = walk_only.read();
  EXPECT_EQ(w->index_state, ORDANE_SHX_NONE);
  EXPECT_LT(w->xy.num_shapes, 3);
}

TEST(ordane_read_shp_geometry_index, ADisagreeingIndexLosesToTheWalk) {
  const ShpBuilder b = three_polygons();
  // The index of another file: its offsets find no record headers numbered
  // in order here.
  ShpBuilder other(1);
  other.record(content::point(1, 2)).record(content::point(3, 4)).record(content::point(5, 6));
  const Bytes foreign = other.shx();
  // A truncated index, and one whose offsets go backwards.
  Bytes cut = b.shx();
  cut.resize(cut.size() - 3);
  Bytes backwards = b.shx();
  std::swap_ranges(backwards.begin() + 100, backwards.begin() + 108, backwards.begin() + 108);
  for (const Bytes* shx : {&foreign, static_cast<const Bytes*>(&cut), static_cast<const Bytes*>(&backwards)}) {
    const WithIndex f(b.bytes(), shx);
    auto g = f.read();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->index_state, ORDANE_SHX_DISAGREES);
    EXPECT_EQ(g->xy.num_shapes, 3);
    EXPECT_EQ(g->xy.num_points, 2 * kSquare.size() + kTriangle.size());
  }
}

TEST(ordane_read_shp_geometry_index, MalformedRecordsAreReportedAsSuch) {
  ShpBuilder b(5);
  b.record(content::poly(5, {0}, kSquare));
  b.record(content::poly(5, {0}, kSquare, -1));  // NumParts negative
  b.record(content::type_only(0));               // Null: not malformed
  b.record(Bytes{1, 0});                         // too short for a Shape Type
  const WithIndex f(b.bytes(), nullptr);
  auto g = f.read();
  ASSERT_EQ(g->xy.num_shapes, 4);
  EXPECT_EQ(g->record_status[0], ORDANE_SHP_RECORD_OK);
  EXPECT_EQ(g->record_status[1], ORDANE_SHP_RECORD_MALFORMED);
  EXPECT_EQ(g->record_status[2], ORDANE_SHP_RECORD_OK);
  EXPECT_EQ(g->record_status[3], ORDANE_SHP_RECORD_MALFORMED);
}

}  // namespace
