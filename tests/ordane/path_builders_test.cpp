// Path builders: command sequences and vertices read back from a real path,
// skipped parts, accumulation, the vertex mapping, and a whole map frame from
// geographic rings through projection and viewport fit to pixels.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bl_holders.h"
#include "ordane.h"

namespace {

using quillon_test::Path;
using Commands = std::vector<uint8_t>;

constexpr uint8_t M = BL_PATH_CMD_MOVE;
constexpr uint8_t L = BL_PATH_CMD_ON;
constexpr uint8_t Z = BL_PATH_CMD_CLOSE;

// Vertices that are not close entries, flattened to x, y, x, y...
std::vector<double> coords(const Path& p) {
  std::vector<double> out;
  const Commands cmds = p.commands();
  const std::vector<BLPoint> v = p.vertices();
  for (size_t i = 0; i < cmds.size(); ++i) {
    if (cmds[i] == Z) continue;
    out.push_back(v[i].x);
    out.push_back(v[i].y);
  }
  return out;
}

// ---------------------------------------------------------------------------
// Command sequences
// ---------------------------------------------------------------------------

TEST(ordane_build_polygon, RingsOfThreeOrMorePointsAreClosedShorterOnesSkipped) {
  const double pts[] = {0,  0,  10, 0,  10, 10,               // triangle
                        20, 20, 30, 20,                       // 2 points: too short
                        0,  0,  5,  0,  5,  5,  0, 5, 0, 0};  // ring repeating its first point
  const int64_t offsets[] = {0, 3, 5, 5, 10};                 // includes an empty part
  Path path;
  ASSERT_EQ(ordane_build_polygon(path.get(), pts, offsets, 4, nullptr), 0);
  EXPECT_EQ(path.commands(), (Commands{M, L, L, Z, M, L, L, L, L, Z}));
  EXPECT_EQ(coords(path), (std::vector<double>{0, 0, 10, 0, 10, 10, 0, 0, 5, 0, 5, 5, 0, 5, 0, 0}));
}

TEST(ordane_build_multilinestring, PartsOfTwoOrMorePointsStayOpen) {
  const double pts[] = {0, 0, 1, 1, 2, 2, 3, 3, 4, 4};
  const int64_t offsets[] = {0, 2, 3, 3, 5};  // 2 points, 1 point, empty, 2 points
  Path path;
  ASSERT_EQ(ordane_build_multilinestring(path.get(), pts, offsets, 4, nullptr), 0);
  EXPECT_EQ(path.commands(), (Commands{M, L, M, L}));
  EXPECT_EQ(coords(path), (std::vector<double>{0, 0, 1, 1, 3, 3, 4, 4}));
}

TEST(ordane_build_linestring, OneOpenFigureThroughEveryPoint) {
  const double pts[] = {1, 2, 3, 4, 5, 6};
  Path path;
  ASSERT_EQ(ordane_build_linestring(path.get(), pts, 2, nullptr), 0);
  EXPECT_EQ(path.commands(), (Commands{M, L}));
  ASSERT_EQ(ordane_build_linestring(path.get(), pts, 3, nullptr), 0);
  EXPECT_EQ(path.commands(), (Commands{M, L, M, L, L}));
  EXPECT_EQ(coords(path), (std::vector<double>{1, 2, 3, 4, 1, 2, 3, 4, 5, 6}));
}

TEST(ordane_build, CallsAppendToExistingContent) {
  const double pts[] = {0, 0, 4, 0, 4, 4, 9, 9};
  const int64_t ring[] = {0, 3};
  const int64_t line[] = {2, 4};
  Path path;
  bl_path_move_to(path.get(), -1, -1);
  ASSERT_EQ(ordane_build_polygon(path.get(), pts, ring, 1, nullptr), 0);
  ASSERT_EQ(ordane_build_multilinestring(path.get(), pts, line, 1, nullptr), 0);
  ASSERT_EQ(ordane_build_polygon(path.get(), pts, ring, 1, nullptr), 0);
  EXPECT_EQ(path.commands(), (Commands{M, M, L, L, Z, M, L, M, L, L, Z}));
  EXPECT_EQ(path.vertices()[0].x, -1);
}

// ---------------------------------------------------------------------------
// Arguments and offsets
// ---------------------------------------------------------------------------

TEST(ordane_build, BadArgumentsReturnMinusOneAndAppendNothing) {
  const double pts[] = {0, 0, 1, 0, 1, 1};
  const int64_t offsets[] = {0, 3};
  Path path;
  for (auto build : {ordane_build_polygon, ordane_build_multilinestring}) {
    EXPECT_EQ(build(path.get(), pts, offsets, 0, nullptr), -1);
    EXPECT_EQ(build(path.get(), pts, offsets, -1, nullptr), -1);
    EXPECT_EQ(build(nullptr, pts, offsets, 1, nullptr), -1);
    EXPECT_EQ(build(path.get(), nullptr, offsets, 1, nullptr), -1);
    EXPECT_EQ(build(path.get(), pts, nullptr, 1, nullptr), -1);
    // part_count is tested first, so its failure does not need the pointers.
    EXPECT_EQ(build(nullptr, nullptr, nullptr, 0, nullptr), -1);
  }
  EXPECT_EQ(ordane_build_linestring(nullptr, pts, 3, nullptr), -1);
  EXPECT_EQ(ordane_build_linestring(path.get(), nullptr, 3, nullptr), -1);
  EXPECT_EQ(ordane_build_linestring(path.get(), pts, 1, nullptr), -1);
  EXPECT_EQ(ordane_build_linestring(path.get(), pts, 0, nullptr), -1);
  EXPECT_EQ(ordane_build_linestring(path.get(), pts, INT64_MIN, nullptr), -1);
  EXPECT_EQ(path.size(), 0u);
}

TEST(ordane_build, OffsetsThatCannotAddressThePointsAreSkipped) {
  // Inverted, negative and absurdly large offsets name no points of any
  // array: those parts are skipped like short ones (and their index
  // arithmetic must not overflow), while valid parts still build.
  const double pts[] = {0, 0, 1, 0, 1, 1, 0, 1};
  const int64_t offsets[] = {0, 4, 1, -2, 3, INT64_MIN, INT64_MAX, 0, INT64_MAX - 1, INT64_MAX};
  Path poly, lines;
  ASSERT_EQ(ordane_build_polygon(poly.get(), pts, offsets, 9, nullptr), 0);
  ASSERT_EQ(ordane_build_multilinestring(lines.get(), pts, offsets, 9, nullptr), 0);
  EXPECT_EQ(poly.commands(), (Commands{M, L, L, L, Z}));
  EXPECT_EQ(lines.commands(), (Commands{M, L, L, L}));
}

// ---------------------------------------------------------------------------
// Vertex mapping
// ---------------------------------------------------------------------------

TEST(ordane_build, VerticesGoThroughTheSameMappingAsTransformCoords) {
  GeoTransform t;
  ordane_init_transform(&t, -3.3, 1.7, 12.9, 8.1, 333, 222, 0.07, 1, 1);
  const double pts[] = {-3.3, 1.7, 12.9, 8.1, 0.123, 4.567, 7.7, 2.2};
  const int64_t offsets[] = {0, 4};
  double expected[8];
  ASSERT_EQ(ordane_transform_coords(pts, expected, 4, &t), 0);
  Path poly, lines, line;
  ASSERT_EQ(ordane_build_polygon(poly.get(), pts, offsets, 1, &t), 0);
  ASSERT_EQ(ordane_build_multilinestring(lines.get(), pts, offsets, 1, &t), 0);
  ASSERT_EQ(ordane_build_linestring(line.get(), pts, 4, &t), 0);
  const std::vector<double> want(expected, expected + 8);
  EXPECT_EQ(coords(poly), want);  // exact: one mapping function for all
  EXPECT_EQ(coords(lines), want);
  EXPECT_EQ(coords(line), want);
}

TEST(ordane_build, NullOrZeroScaleTransformLeavesCoordinatesUnflipped) {
  const double pts[] = {10, 20, 30, 40, 50, 60};
  const int64_t offsets[] = {0, 3};
  GeoTransform zero;
  ordane_init_transform(&zero, 0, 0, 100, 100, 0, 500, 0, 1, 1);  // width 0: scale 0
  ASSERT_EQ(zero.scale, 0.0);
  const GeoTransform* const records[] = {nullptr, &zero};
  for (const GeoTransform* t : records) {
    Path poly, line;
    ASSERT_EQ(ordane_build_polygon(poly.get(), pts, offsets, 1, t), 0);
    ASSERT_EQ(ordane_build_linestring(line.get(), pts, 3, t), 0);
    EXPECT_EQ(coords(poly), (std::vector<double>{10, 20, 30, 40, 50, 60}));
    EXPECT_EQ(coords(line), (std::vector<double>{10, 20, 30, 40, 50, 60}));
  }
}

// ---------------------------------------------------------------------------
// End to end: geographic rings -> Web Mercator -> viewport fit -> path
// ---------------------------------------------------------------------------

TEST(ordane_build_polygon, MapFrameLandsOnTheExpectedPixels) {
  // A small Natural-Earth-like layer: the world's outline at the Mercator
  // limit, an island of several rings (shapefile style: first point
  // repeated, clockwise outer ring, counter-clockwise hole) and a sliver ring
  // of two points that must be dropped.
  const double lim = 85.0511287798;
  const std::vector<double> lonlat = {
      -180, -lim, -180, lim,  180,  lim,   180,  -lim, -180, -lim,  // world, 5 points
      -20,  -10,  -20,  30,   40,   30,    40,   -10,  -20,  -10,   // island, 5 points
      0,    0,    20,   0,    20,   20,    0,    20,   0,    0,     // lake in the island
      100,  60,   120,  61,                                         // sliver
      -150, 60.5, -120, 60.5, -135, 70.25, -150, 60.5,              // northern island
  };
  const std::vector<int64_t> offsets = {0, 5, 10, 15, 17, 21};
  const int64_t n = static_cast<int64_t>(lonlat.size() / 2);

  std::vector<double> xy(lonlat.size());
  ASSERT_EQ(ordane_proj_3857_forward(lonlat.data(), xy.data(), n), 0);
  double min_x = HUGE_VAL, min_y = HUGE_VAL, max_x = -HUGE_VAL, max_y = -HUGE_VAL;
  for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
    min_x = std::fmin(min_x, xy[2 * i]);
    max_x = std::fmax(max_x, xy[2 * i]);
    min_y = std::fmin(min_y, xy[2 * i + 1]);
    max_y = std::fmax(max_y, xy[2 * i + 1]);
  }
  GeoTransform t;
  ordane_init_transform(&t, min_x, min_y, max_x, max_y, 800, 600, 0.05, 1, 1);
  Path path;
  ASSERT_EQ(ordane_build_polygon(path.get(), xy.data(), offsets.data(), 5, &t), 0);

  // Expected pixels from the geometry alone: the square world (2 pi R on a
  // side) fits the 540-pixel available height, centred in the 720-pixel
  // available width, so x = 130 + (lon + 180) * 1.5 and, north up,
  // y = 300 - 270 * asinh(tan(lat)) / pi.
  const double pi = 3.141592653589793;
  auto px = [](double lon) { return 130 + (lon + 180) * 1.5; };
  auto py = [pi](double lat) { return 300 - 270 * std::asinh(std::tan(lat * pi / 180)) / pi; };
  std::vector<double> want;
  for (size_t k = 0; k < 5; ++k) {
    if (offsets[k + 1] - offsets[k] < 3) continue;
    for (auto i = static_cast<size_t>(offsets[k]); i < static_cast<size_t>(offsets[k + 1]); ++i) {
      want.push_back(px(lonlat[2 * i]));
      want.push_back(py(lonlat[2 * i + 1]));
    }
  }
  EXPECT_EQ(path.commands(),
            (Commands{M, L, L, L, L, Z, M, L, L, L, L, Z, M, L, L, L, L, Z, M, L, L, L, Z}));
  const std::vector<double> got = coords(path);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-6) << "value " << i;
  // The frame's corners sit on the margins of the height and are centred
  // across the width.
  EXPECT_NEAR(got[0], 130, 1e-9);
  EXPECT_NEAR(got[1], 570, 1e-6);
  EXPECT_NEAR(got[4], 670, 1e-9);
  EXPECT_NEAR(got[5], 30, 1e-6);

  // And back: undoing the fit and the projection recovers the drawn rings'
  // longitudes and latitudes.
  std::vector<double> back;
  for (size_t i = 0; i < got.size(); i += 2) {
    back.push_back((got[i] - t.offset_x) / t.scale + t.min_x);
    back.push_back((t.height - got[i + 1] - t.offset_y) / t.scale + t.min_y);
  }
  ASSERT_EQ(
      ordane_proj_3857_inverse(back.data(), back.data(), static_cast<int64_t>(back.size() / 2)), 0);
  std::vector<double> drawn;
  for (size_t k = 0; k < 5; ++k) {
    if (offsets[k + 1] - offsets[k] < 3) continue;
    drawn.insert(drawn.end(), lonlat.begin() + 2 * offsets[k], lonlat.begin() + 2 * offsets[k + 1]);
  }
  ASSERT_EQ(back.size(), drawn.size());
  for (size_t i = 0; i < back.size(); ++i) EXPECT_NEAR(back[i], drawn[i], 1e-9) << "value " << i;
}

#if defined(BL2DCOMPAT_BLEND2D_H)
// A path that was never bl_path_init'ed crashes the real Blend2D inside the
// builder; the stand-in aborts there too, so tests catch the caller's bug.
TEST(ordane_build_polygonDeathTest, UninitialisedPathAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  BLPathCore raw;
  std::memset(&raw, 0, sizeof raw);
  const double tri[6] = {0, 0, 10, 0, 0, 10};
  const int64_t offsets[2] = {0, 3};
  EXPECT_DEATH(ordane_build_polygon(&raw, tri, offsets, 1, nullptr), "bl_path_move_to\\(\\): the BLPathCore");
}
#endif

}  // namespace
