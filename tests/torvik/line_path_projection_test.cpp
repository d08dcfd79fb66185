// Segment and path projection: mean scales with hidden ends, and the path walk
// that breaks figures at hidden vertices, drops non-finite entries, flattens
// curves to polylines and closes only the run still open.
#include <torvik.h>

#include <blend2d/blend2d.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "bl_holders.h"

namespace {

using quillon_test::Path;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr uint8_t kMove = BL_PATH_CMD_MOVE;
constexpr uint8_t kOn = BL_PATH_CMD_ON;
constexpr uint8_t kClose = BL_PATH_CMD_CLOSE;

// Pitch 30 degrees at distance 300: depth = 0.5 * y + 300, so every point
// with y <= -580 lies within the near distance of 10 and is hidden.
PerspectiveCamera tilted_camera() {
  PerspectiveCamera c{};
  c.viewport_width = 800;
  c.viewport_height = 600;
  c.fov = 60;
  c.pitch = 30;
  c.distance = 300;
  c.near_plane = 0;
  return c;
}

constexpr double kHiddenY = -1000;

BLPoint projected(double x, double y, const PerspectiveCamera& c, double* scale = nullptr) {
  BLPoint p{};
  EXPECT_EQ(torvik_project_point(x, y, &c, &p.x, &p.y, scale), 1) << x << ", " << y;
  return p;
}

void expect_vertex(const BLPoint& got, const BLPoint& want) {
  EXPECT_EQ(got.x, want.x);
  EXPECT_EQ(got.y, want.y);
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

// ----------------------------------------------------------------------------
// torvik_transform_lines
// ----------------------------------------------------------------------------

TEST(torvik_transform_lines, HiddenEndsHalveOrZeroTheMeanScale) {
  const PerspectiveCamera c = tilted_camera();
  const double seg[] = {
      0, 100, 0, -100,         // both visible: depths 350 and 250
      0, 100, 0, kHiddenY,     // end hidden
      0, kHiddenY, 0, kHiddenY // both hidden
  };
  double out[12], scales[3];
  uint8_t vis[3];
  EXPECT_EQ(torvik_transform_lines(seg, out, scales, vis, 3, &c), 1);

  double s0, s1;
  const BLPoint a = projected(0, 100, c, &s0);
  const BLPoint b = projected(0, -100, c, &s1);
  EXPECT_EQ(out[0], a.x);
  EXPECT_EQ(out[1], a.y);
  EXPECT_EQ(out[2], b.x);
  EXPECT_EQ(out[3], b.y);
  EXPECT_EQ(scales[0], (s0 + s1) * 0.5);
  EXPECT_EQ(vis[0], 1);

  EXPECT_EQ(out[4], a.x);  // the visible start is kept, the hidden end is (0, 0)
  EXPECT_EQ(out[5], a.y);
  EXPECT_EQ(out[6], 0.0);
  EXPECT_EQ(out[7], 0.0);
  EXPECT_EQ(scales[1], s0 * 0.5);
  EXPECT_EQ(vis[1], 0);

  for (int i = 8; i < 12; ++i) EXPECT_EQ(out[i], 0.0);
  EXPECT_EQ(scales[2], 0.0);
  EXPECT_EQ(vis[2], 0);
}

TEST(torvik_transform_lines, InPlaceAndWithoutOptionalOutputs) {
  const PerspectiveCamera c = tilted_camera();
  const double seg[] = {10, 20, -30, 40, 5, kHiddenY, 7, 8};
  double separate[8];
  ASSERT_EQ(torvik_transform_lines(seg, separate, nullptr, nullptr, 2, &c), 1);
  double inplace[8];
  std::memcpy(inplace, seg, sizeof seg);
  ASSERT_EQ(torvik_transform_lines(inplace, inplace, nullptr, nullptr, 2, &c), 1);
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(same_bits(inplace[i], separate[i])) << i;
}

TEST(torvik_transform_lines, FlatViewHasUnitMeanScale) {
  PerspectiveCamera c = tilted_camera();
  c.pitch = 0;
  c.bearing = 33;
  c.roll = -12;
  const double seg[] = {-200, 50, 300, -80, 1e3, 1e3, -1e3, 7};
  double out[8], scales[2];
  EXPECT_EQ(torvik_transform_lines(seg, out, scales, nullptr, 2, &c), 2);
  EXPECT_EQ(scales[0], 1.0);
  EXPECT_EQ(scales[1], 1.0);
}

TEST(torvik_transform_lines, RejectedArgumentsWriteNothing) {
  const PerspectiveCamera c = tilted_camera();
  const double seg[] = {1, 2, 3, 4};
  double out[4] = {7, 7, 7, 7}, scale = 7;
  uint8_t vis = 7;
  EXPECT_EQ(torvik_transform_lines(seg, out, &scale, &vis, 0, &c), 0);
  EXPECT_EQ(torvik_transform_lines(nullptr, out, &scale, &vis, 1, &c), 0);
  EXPECT_EQ(torvik_transform_lines(seg, nullptr, &scale, &vis, 1, &c), 0);
  EXPECT_EQ(torvik_transform_lines(seg, out, &scale, &vis, 1, nullptr), 0);
  for (double v : out) EXPECT_EQ(v, 7.0);
  EXPECT_EQ(scale, 7.0);
  EXPECT_EQ(vis, 7);
}

// ----------------------------------------------------------------------------
// torvik_transform_path
// ----------------------------------------------------------------------------

TEST(torvik_transform_path, HiddenVertexSplitsAndCloseEndsTheLastRun) {
  const PerspectiveCamera c = tilted_camera();
  Path src, dst;
  bl_path_move_to(src.get(), 0, 0);             // P
  bl_path_line_to(src.get(), 50, kHiddenY);     // Q, hidden
  bl_path_line_to(src.get(), 100, 0);           // R
  bl_path_line_to(src.get(), 100, 100);         // S
  bl_path_close(src.get());
  bl_path_close(src.get());  // no run open any more: emits nothing
  double mean = 0;
  ASSERT_EQ(torvik_transform_path(src.get(), dst.get(), &mean, &c), 0);

  EXPECT_EQ(dst.commands(), (std::vector<uint8_t>{kMove, kMove, kOn, kClose}));
  const std::vector<BLPoint> v = dst.vertices();
  ASSERT_EQ(v.size(), 4u);
  double sp, sr, ss;
  expect_vertex(v[0], projected(0, 0, c, &sp));
  expect_vertex(v[1], projected(100, 0, c, &sr));
  expect_vertex(v[2], projected(100, 100, c, &ss));
  EXPECT_EQ(mean, (sp + sr + ss) / 3.0);
}

TEST(torvik_transform_path, LeadingHiddenVerticesStartTheFigureLater) {
  const PerspectiveCamera c = tilted_camera();
  Path src, dst;
  bl_path_move_to(src.get(), 0, kHiddenY);
  bl_path_line_to(src.get(), 10, kHiddenY);
  bl_path_line_to(src.get(), 20, 0);
  bl_path_line_to(src.get(), 30, 0);
  ASSERT_EQ(torvik_transform_path(src.get(), dst.get(), nullptr, &c), 0);
  EXPECT_EQ(dst.commands(), (std::vector<uint8_t>{kMove, kOn}));
  expect_vertex(dst.vertices()[0], projected(20, 0, c));
}

TEST(torvik_transform_path, CurvesBecomePolylinesAndWeightsDropOut) {
  const PerspectiveCamera c = tilted_camera();
  Path src, dst;
  bl_path_move_to(src.get(), 0, 0);
  bl_path_cubic_to(src.get(), 10, 40, 30, 40, 40, 0);
  bl_path_quad_to(src.get(), 50, 20, 60, 0);
  bl_path_conic_to(src.get(), 70, 20, 80, 0, 0.7);  // its weight entry is (w, NaN)
  ASSERT_EQ(torvik_transform_path(src.get(), dst.get(), nullptr, &c), 0);

  EXPECT_EQ(dst.commands(), (std::vector<uint8_t>{kMove, kOn, kOn, kOn, kOn, kOn, kOn, kOn}));
  const double expected[][2] = {{0, 0},  {10, 40}, {30, 40}, {40, 0},
                                {50, 20}, {60, 0},  {70, 20}, {80, 0}};
  const std::vector<BLPoint> v = dst.vertices();
  ASSERT_EQ(v.size(), 8u);
  for (size_t i = 0; i < 8; ++i) expect_vertex(v[i], projected(expected[i][0], expected[i][1], c));
}

TEST(torvik_transform_path, NonFiniteVertexIsSkippedWithoutSplitting) {
  const PerspectiveCamera c = tilted_camera();
  Path src, dst;
  bl_path_move_to(src.get(), 0, 0);
  bl_path_line_to(src.get(), 10, kNaN);
  bl_path_line_to(src.get(), std::numeric_limits<double>::infinity(), 5);
  bl_path_line_to(src.get(), 20, 0);
  double mean = 0;
  ASSERT_EQ(torvik_transform_path(src.get(), dst.get(), &mean, &c), 0);
  EXPECT_EQ(dst.commands(), (std::vector<uint8_t>{kMove, kOn}));
  expect_vertex(dst.vertices()[1], projected(20, 0, c));
  EXPECT_TRUE(std::isfinite(mean));
}

TEST(torvik_transform_path, EverythingHiddenClearsDestinationAndReportsOne) {
  const PerspectiveCamera c = tilted_camera();
  Path src, dst;
  bl_path_move_to(src.get(), 0, kHiddenY);
  bl_path_line_to(src.get(), 10, kHiddenY);
  bl_path_close(src.get());
  bl_path_move_to(dst.get(), 1, 1);
  bl_path_line_to(dst.get(), 2, 2);
  double mean = 0;
  EXPECT_EQ(torvik_transform_path(src.get(), dst.get(), &mean, &c), 0);
  EXPECT_EQ(dst.size(), 0u);
  EXPECT_EQ(mean, 1.0);
}

TEST(torvik_transform_path, EmptySourceLeavesDestinationAndMeanAlone) {
  const PerspectiveCamera c = tilted_camera();
  Path src, dst;
  bl_path_move_to(dst.get(), 1, 2);
  double mean = 7;
  EXPECT_EQ(torvik_transform_path(src.get(), dst.get(), &mean, &c), 0);
  EXPECT_EQ(dst.size(), 1u);
  EXPECT_EQ(mean, 7.0);
}

TEST(torvik_transform_path, FlatViewHasUnitMeanScale) {
  PerspectiveCamera c = tilted_camera();
  c.pitch = 0;
  c.bearing = 71;
  Path src, dst;
  bl_path_move_to(src.get(), -300, 20);
  bl_path_line_to(src.get(), 400, -250);
  bl_path_line_to(src.get(), 12, 900);
  double mean = 0;
  ASSERT_EQ(torvik_transform_path(src.get(), dst.get(), &mean, &c), 0);
  EXPECT_EQ(mean, 1.0);
}

TEST(torvik_transform_path, SameSourceAndDestinationMatchSeparatePaths) {
  const PerspectiveCamera c = tilted_camera();
  Path path, copy, separate;
  for (BLPathCore* p : {path.get(), copy.get()}) {
    bl_path_move_to(p, 0, 0);
    bl_path_line_to(p, 50, kHiddenY);
    bl_path_cubic_to(p, 60, 10, 70, 20, 80, 0);
    bl_path_line_to(p, 90, kNaN);
    bl_path_line_to(p, 100, 30);
    bl_path_close(p);
    bl_path_move_to(p, -40, -40);
    bl_path_line_to(p, -60, 10);
  }
  double mean_separate = 0, mean_same = 0;
  ASSERT_EQ(torvik_transform_path(copy.get(), separate.get(), &mean_separate, &c), 0);
  ASSERT_EQ(torvik_transform_path(path.get(), path.get(), &mean_same, &c), 0);

  EXPECT_EQ(path.commands(), separate.commands());
  const std::vector<BLPoint> a = path.vertices(), b = separate.vertices();
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_TRUE(same_bits(a[i].x, b[i].x) && same_bits(a[i].y, b[i].y)) << i;
  }
  EXPECT_EQ(mean_same, mean_separate);
}

TEST(torvik_transform_path, NullArgumentsAreRejected) {
  const PerspectiveCamera c = tilted_camera();
  Path src, dst;
  bl_path_move_to(src.get(), 0, 0);
  bl_path_move_to(dst.get(), 5, 5);
  double mean = 7;
  EXPECT_EQ(torvik_transform_path(nullptr, dst.get(), &mean, &c), -1);
  EXPECT_EQ(torvik_transform_path(src.get(), nullptr, &mean, &c), -1);
  EXPECT_EQ(torvik_transform_path(src.get(), dst.get(), &mean, nullptr), -1);
  EXPECT_EQ(dst.size(), 1u);
  EXPECT_EQ(mean, 7.0);
}
