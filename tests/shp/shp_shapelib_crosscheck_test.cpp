// ordane_parse_shp against shapelib's reader (SHPOpen / SHPReadObject, which
// finds records through the .shx index) on files written by other software:
// the Natural Earth sample converted by GDAL, files written by shapelib's
// shpcreate/shpadd, and a few from the tests' own builder. Same shapes, parts,
// points and boxes.

#include <shapefil.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
