// Loading shapefiles: precise messages for files that cannot be drawn, rings
// across the antimeridian split into two halves, and damaged part offsets
// kept inside the point array.
#include "map_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "shp_builder.h"

namespace {

using poster::GeometryKind;
using poster::MapData;
using quillon_test::Record;

testing::AssertionResult fails_with(const std::string& path, const std::string& text) {
  MapData map;
  std::string error;
  if (poster::load_shapefile(path, &map, &error)) return testing::AssertionFailure() << "loaded";
  if (error.find(text) == std::string::npos)
    return testing::AssertionFailure() << "message: " << error;
  return testing::AssertionSuccess();
}

TEST(load_shapefile, NamesWhatIsWrongWithAFile) {
  EXPECT_TRUE(fails_with(testing::TempDir() + "does-not-exist.shp",
                         "does-not-exist.shp': No such file or directory"));
  EXPECT_TRUE(fails_with(quillon_test::write_temp("short.shp", std::vector<uint8_t>(60, 0)),
                         "shorter than the 100-byte header"));
  EXPECT_TRUE(fails_with(quillon_test::write_temp("zeros.shp", std::vector<uint8_t>(200, 0)),
                         "does not start with the file code 9994"));
  std::vector<uint8_t> multipoint = quillon_test::shapefile_bytes(8, {});
  EXPECT_TRUE(fails_with(quillon_test::write_temp("mp.shp", multipoint),
                         "holds MultiPoint shapes (type 8)"));
  EXPECT_TRUE(fails_with(quillon_test::write_temp("empty.shp", quillon_test::shapefile_bytes(5, {})),
                         "holds no drawable geometry"));
  // The M line and polygon types are read as empty shapes: say so, rather
  // than that the file holds nothing.
  const Record square{{{0, 0, 0, 10, 10, 10, 10, 0, 0, 0}}, {}};
  EXPECT_TRUE(fails_with(quillon_test::write_temp("pm.shp", quillon_test::shapefile_bytes(25, {square})),
                         "holds PolygonM shapes (type 25), which the library reads without"));
  EXPECT_TRUE(fails_with(quillon_test::write_temp("lm.shp", quillon_test::shapefile_bytes(23, {square})),
                         "holds PolyLineM shapes (type 23), which the library reads without"));
}

TEST(load_shapefile, NamesWhatAFileCutShortIsMissing) {
  const Record square{{{0, 0, 0, 10, 10, 10, 10, 0, 0, 0}}, {}};
  std::vector<uint8_t> bytes = quillon_test::shapefile_bytes(5, {square, square, square});
  MapData map;
  std::string error;
  ASSERT_TRUE(poster::load_shapefile(quillon_test::write_temp("whole.shp", bytes), &map, &error));
  EXPECT_EQ(map.damage, "");

  // Cut inside the third record: two shapes are left, and the message says
  // how long the file should be.
  const size_t full = bytes.size();
  bytes.resize(full - 20);
  const std::string path = quillon_test::write_temp("cut.shp", bytes);
  ASSERT_TRUE(poster::load_shapefile(path, &map, &error)) << error;
  EXPECT_EQ(map.num_shapes, 2);
  EXPECT_EQ(map.damage, "'" + path + "' is cut short: its header gives a length of " +
                            std::to_string(full) + " bytes, the file holds " +
                            std::to_string(full - 20) +
                            ", and its last record is incomplete; only the 2 shapes before the "
                            "break can be drawn");
}

TEST(load_shapefile, LeavesOutAFewStrayPointsOfAPointFile) {
  quillon_test::Ring points;
  for (int i = 0; i < 150; ++i) {
    points.push_back(-170.0 + 2.0 * i);
    points.push_back(-60.0 + 0.8 * i);
  }
  points[20] = 228.3;  // one longitude out of range
  MapData map;
  std::string error;
  ASSERT_TRUE(poster::load_shapefile(
      quillon_test::write_temp("stray.shp", quillon_test::shapefile_bytes(1, {Record{{points}, {}}})),
      &map, &error));
  EXPECT_TRUE(map.geographic);
  EXPECT_EQ(map.stray_points, 1);
  EXPECT_EQ(map.parts.size(), 149u);
  EXPECT_LE(map.bounds.max_x, 180.0);

  // Many points out of range: the file is in some other unit, drawn as it is.
  for (size_t i = 0; i < 40; ++i) points[4 * i] = 1000.0 + static_cast<double>(i);
  ASSERT_TRUE(poster::load_shapefile(
      quillon_test::write_temp("planar.shp", quillon_test::shapefile_bytes(1, {Record{{points}, {}}})),
      &map, &error));
  EXPECT_FALSE(map.geographic);
  EXPECT_EQ(map.stray_points, 0);
  EXPECT_EQ(map.parts.size(), 150u);
}

TEST(load_shapefile, ReadsPolygonsAndPolylines) {
  const Record square{{{0, 0, 0, 10, 10, 10, 10, 0, 0, 0}}, {}};
  const Record two_rings{{{20, 0, 20, 5, 25, 5, 20, 0}, {30, 0, 30, 5, 35, 5, 30, 0}}, {}};
  MapData map;
  std::string error;
  ASSERT_TRUE(poster::load_shapefile(
      quillon_test::write_temp("poly.shp", quillon_test::shapefile_bytes(5, {square, two_rings})),
      &map, &error))
      << error;
  EXPECT_EQ(map.kind, GeometryKind::kPolygon);
  EXPECT_EQ(map.num_shapes, 2);
  ASSERT_EQ(map.parts.size(), 3u);
  EXPECT_EQ(map.parts[1].start, 5);
  EXPECT_EQ(map.parts[1].end, 9);
  EXPECT_EQ(map.parts[2].shape, 1);
  EXPECT_TRUE(map.geographic);
  EXPECT_EQ(map.bounds.max_x, 35.0);

  ASSERT_TRUE(poster::load_shapefile(
      quillon_test::write_temp("line.shp", quillon_test::shapefile_bytes(3, {square})), &map,
      &error));
  EXPECT_EQ(map.kind, GeometryKind::kLine);
}

TEST(load_shapefile, KeepsRingsAcrossTheAntimeridianAsStored) {
  // An island from 170 E to 170 W with the usual jump at 180, and a ring
  // around the pole: each panel cuts them at its own seam, so the loader
  // keeps them point for point.
  const Record island{{{170, -10, 179, -5, -179, -5, -170, -10, 170, -10}}, {}};
  const Record polar{{{10, -80, 180, -80, -180, -80, -90, -75, 0, -78, 10, -80}}, {}};
  MapData map;
  std::string error;
  ASSERT_TRUE(poster::load_shapefile(
      quillon_test::write_temp("fiji.shp", quillon_test::shapefile_bytes(5, {island, polar})),
      &map, &error));
  ASSERT_EQ(map.parts.size(), 2u);
  EXPECT_EQ(map.parts[0].end - map.parts[0].start, 5);
  EXPECT_EQ(map.parts[1].end - map.parts[1].start, 6);
  EXPECT_EQ(map.lonlat[2 * 2], -179.0);
  EXPECT_EQ(map.lonlat[2 * (5 + 2)], -180.0);
}

TEST(load_shapefile, KeepsDamagedPartOffsetsInsideThePoints) {
  // Part starts that point far past the record's points, or backwards.
  Record bad{{{0, 0, 1, 0, 1, 1, 0, 0}, {5, 5, 6, 5, 6, 6, 5, 5}}, {}};
  bad.parts_override = {1000, -7};
  MapData map;
  std::string error;
  const std::string path =
      quillon_test::write_temp("bad.shp", quillon_test::shapefile_bytes(5, {bad}));
  if (!poster::load_shapefile(path, &map, &error)) {
    SUCCEED() << "rejected: " << error;
    return;
  }
  const int64_t pairs = static_cast<int64_t>(map.lonlat.size() / 2);
  for (const poster::Part& p : map.parts) {
    EXPECT_GE(p.start, 0);
    EXPECT_LT(p.start, p.end);
    EXPECT_LE(p.end, pairs);
  }
}

}  // namespace
