// Point projection through the perspective camera: the worked camera
// examples, the near distance, hidden and NaN points, optional outputs, and a
// bit-for-bit comparison with a literal per-point evaluation of the formula.
#include <torvik.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "units.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

PerspectiveCamera base_camera() {
  PerspectiveCamera c{};
  c.viewport_width = 800;
  c.viewport_height = 600;
  c.fov = 90;
  c.distance = 300;
  c.near_plane = 0;
  return c;
}

// The projection evaluated literally, every camera term recomputed for each
// point. The library computes the camera terms once per call; the results
// must not differ in a single bit.
struct Reference {
  double x, y, scale;
  bool visible;
};

Reference reference_project(double x, double y, const PerspectiveCamera& c) {
  const double k = 0.017453292519943295;
  const double b = c.bearing * k, p = c.pitch * k, q = c.roll * k;
  const double dx = x - c.center_x, dy = y - c.center_y;
  const double side = dx * std::cos(b) - dy * std::sin(b);
  const double forward = dx * std::sin(b) + dy * std::cos(b);
  const double depth = std::sin(p) * forward + c.distance;
  const double near = c.near_plane > 1 ? c.near_plane : 10;
  if (near >= depth) return {0, 0, 0, false};
  const double up = forward * std::cos(p);
  const double f = (1 / std::tan(c.fov * k * 0.5)) * c.viewport_height * 0.5 / depth;
  return {c.viewport_width * 0.5 + f * (side * std::cos(q) - up * std::sin(q)),
          c.viewport_height * 0.5 - f * (side * std::sin(q) + up * std::cos(q)),
          c.distance / depth, true};
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

PerspectiveCamera random_camera(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> angle(-180, 180), unit(0, 1);
  PerspectiveCamera c{};
  c.viewport_width = 100 + 1900 * unit(rng);
  c.viewport_height = 100 + 1900 * unit(rng);
  c.fov = 10 + 110 * unit(rng);
  c.pitch = 85 * unit(rng);
  c.bearing = angle(rng);
  c.roll = angle(rng);
  c.distance = 50 + 5000 * unit(rng);
  c.center_x = 1000 * angle(rng);
  c.center_y = 1000 * angle(rng);
  c.near_plane = 20 * unit(rng) - 5;  // both sides of the "not above 1" rule
  return c;
}

}  // namespace

// ----------------------------------------------------------------------------
// torvik_project_point
// ----------------------------------------------------------------------------

TEST(torvik_project_point, StraightDownViewMapsByUniformZoom) {
  const PerspectiveCamera c = base_camera();
  double x = -1, y = -1, s = -1;
  EXPECT_EQ(torvik_project_point(100, 50, &c, &x, &y, &s), 1);
  // tan(45 degrees) rounds just below 1, hence the last-bit tolerance.
  EXPECT_NEAR(x, 500, 1e-12);
  EXPECT_NEAR(y, 250, 1e-12);
  EXPECT_EQ(s, 1.0);
}

TEST(torvik_project_point, PitchSetsDepthAndScale) {
  PerspectiveCamera c = base_camera();
  c.fov = 60;
  c.pitch = 30;
  double x, y, s;
  ASSERT_EQ(torvik_project_point(0, 100, &c, &x, &y, &s), 1);  // depth 350
  EXPECT_NEAR(x, 400, 1e-9);
  EXPECT_NEAR(y, 1200.0 / 7.0, 1e-9);
  EXPECT_NEAR(s, 6.0 / 7.0, 1e-15);
  ASSERT_EQ(torvik_project_point(0, -100, &c, &x, &y, &s), 1);  // depth 250
  EXPECT_NEAR(x, 400, 1e-9);
  EXPECT_NEAR(y, 480, 1e-9);
  EXPECT_NEAR(s, 1.2, 1e-15);
}

TEST(torvik_project_point, BearingAndRollTurnThePicture) {
  PerspectiveCamera c = base_camera();
  c.fov = 60;
  c.bearing = 90;  // +x shown straight up
  double bx, by, rx, ry;
  ASSERT_EQ(torvik_project_point(100, 0, &c, &bx, &by, nullptr), 1);
  EXPECT_NEAR(bx, 400, 1e-9);
  EXPECT_NEAR(by, 300 - 100 * std::sqrt(3.0), 1e-9);

  c.bearing = 0;
  c.roll = 90;  // counter-clockwise on screen: +x (right) turns to the top
  ASSERT_EQ(torvik_project_point(100, 0, &c, &rx, &ry, nullptr), 1);
  EXPECT_NEAR(rx, bx, 1e-9);
  EXPECT_NEAR(ry, by, 1e-9);
}

TEST(torvik_project_point, NearPlaneNotAboveOneStandsForTen) {
  PerspectiveCamera c = base_camera();
  c.distance = 5;  // every point at depth 5 with pitch 0
  for (double near : {1.0, 0.0, -4.0, kNaN}) {
    c.near_plane = near;
    double x = -1, y = -1, s = -1;
    EXPECT_EQ(torvik_project_point(3, 4, &c, &x, &y, &s), 0) << near;
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 0.0);
    EXPECT_EQ(s, 0.0);
  }
  c.near_plane = 4.5;  // a real near distance below the depth shows the point
  EXPECT_EQ(torvik_project_point(3, 4, &c, nullptr, nullptr, nullptr), 1);
}

TEST(torvik_project_point, DepthEqualToNearIsHidden) {
  PerspectiveCamera c = base_camera();
  c.near_plane = 2;
  c.distance = 2;
  EXPECT_EQ(torvik_project_point(7, 7, &c, nullptr, nullptr, nullptr), 0);
  c.distance = std::nextafter(2.0, 3.0);
  double s = 0;
  EXPECT_EQ(torvik_project_point(7, 7, &c, nullptr, nullptr, &s), 1);
  EXPECT_EQ(s, 1.0);
}

TEST(torvik_project_point, NaNCoordinateCountsAsVisible) {
  const PerspectiveCamera c = base_camera();
  double x = 0, y = 0, s = 0;
  // Even with pitch 0 the depth is NaN: 0 * NaN is NaN.
  EXPECT_EQ(torvik_project_point(kNaN, 1, &c, &x, &y, &s), 1);
  EXPECT_TRUE(std::isnan(x));
  EXPECT_TRUE(std::isnan(y));
  EXPECT_TRUE(std::isnan(s));
}

TEST(torvik_project_point, NullOutputsAndNullCamera) {
  PerspectiveCamera c = base_camera();
  EXPECT_EQ(torvik_project_point(1, 2, &c, nullptr, nullptr, nullptr), 1);
  double y = 0;
  EXPECT_EQ(torvik_project_point(0, 0, &c, nullptr, &y, nullptr), 1);
  EXPECT_NEAR(y, 300, 1e-12);

  double x = 7, s = 7;
  y = 7;
  EXPECT_EQ(torvik_project_point(1, 2, nullptr, &x, &y, &s), 0);
  EXPECT_EQ(x, 7.0);
  EXPECT_EQ(y, 7.0);
  EXPECT_EQ(s, 7.0);
}

TEST(torvik_project_point, MatchesLiteralFormulaBitForBit) {
  std::mt19937_64 rng(6);
  std::uniform_real_distribution<double> coord(-5000, 5000);
  int hidden = 0;
  for (int cam = 0; cam < 200; ++cam) {
    const PerspectiveCamera c = random_camera(rng);
    for (int i = 0; i < 50; ++i) {
      const double px = coord(rng), py = coord(rng);
      const Reference r = reference_project(px, py, c);
      double x, y, s;
      const int32_t vis = torvik_project_point(px, py, &c, &x, &y, &s);
      ASSERT_EQ(vis, r.visible ? 1 : 0);
      ASSERT_TRUE(same_bits(x, r.x) && same_bits(y, r.y) && same_bits(s, r.scale))
          << "camera " << cam << " point " << i;
      hidden += vis ? 0 : 1;
    }
  }
  EXPECT_GT(hidden, 0);  // the sample must exercise both branches
}

// ----------------------------------------------------------------------------
// torvik_transform_points
// ----------------------------------------------------------------------------

TEST(torvik_transform_points, MatchesSinglePointsWithEveryOutputCombination) {
  std::mt19937_64 rng(61);
  std::uniform_real_distribution<double> coord(-3000, 3000);
  PerspectiveCamera c = random_camera(rng);
  c.pitch = 60;  // steep enough to hide a good share of the points
  c.distance = 400;
  c.center_x = 100;
  c.center_y = -200;
  const size_t n = 500;
  std::vector<double> in(2 * n);
  for (double& v : in) v = coord(rng);
  in[6] = kNaN;  // counted as visible, NaN outputs

  std::vector<double> ex(2 * n), es(n);
  std::vector<uint8_t> ev(n);
  int64_t expected_count = 0;
  for (size_t i = 0; i < n; ++i) {
    ev[i] = static_cast<uint8_t>(
        torvik_project_point(in[2 * i], in[2 * i + 1], &c, &ex[2 * i], &ex[2 * i + 1], &es[i]));
    expected_count += ev[i];
  }
  ASSERT_GT(expected_count, 0);
  ASSERT_LT(expected_count, static_cast<int64_t>(n));

  for (int mask = 0; mask < 4; ++mask) {
    std::vector<double> out(2 * n, -1), scales(n, -1);
    std::vector<uint8_t> vis(n, 9);
    double* sp = (mask & 1) ? scales.data() : nullptr;
    uint8_t* vp = (mask & 2) ? vis.data() : nullptr;
    EXPECT_EQ(torvik_transform_points(in.data(), out.data(), sp, vp, n, &c), expected_count);
    for (size_t i = 0; i < 2 * n; ++i) ASSERT_TRUE(same_bits(out[i], ex[i])) << i;
    for (size_t i = 0; i < n; ++i) {
      if (sp) ASSERT_TRUE(same_bits(scales[i], es[i]));
      else ASSERT_EQ(scales[i], -1.0);
      ASSERT_EQ(vis[i], vp ? ev[i] : 9);
    }
  }

  // In place: the output array is the input array.
  std::vector<double> inplace = in;
  EXPECT_EQ(torvik_transform_points(inplace.data(), inplace.data(), nullptr, nullptr, n, &c),
            expected_count);
  for (size_t i = 0; i < 2 * n; ++i) ASSERT_TRUE(same_bits(inplace[i], ex[i])) << i;
}

TEST(torvik_transform_points, HiddenPointWritesZerosAndIsNotCounted) {
  PerspectiveCamera c = base_camera();
  c.pitch = 30;  // sin 30 = 0.5: y = -700 lies at depth -50, behind the camera
  const double in[] = {100, 50, 0, -700, -20, 10};
  double out[6], scales[3];
  uint8_t vis[3];
  EXPECT_EQ(torvik_transform_points(in, out, scales, vis, 3, &c), 2);
  EXPECT_EQ(out[2], 0.0);
  EXPECT_EQ(out[3], 0.0);
  EXPECT_EQ(scales[1], 0.0);
  EXPECT_EQ(vis[0], 1);
  EXPECT_EQ(vis[1], 0);
  EXPECT_EQ(vis[2], 1);
  double x, y;
  torvik_project_point(-20, 10, &c, &x, &y, nullptr);
  EXPECT_EQ(out[4], x);
  EXPECT_EQ(out[5], y);
}

TEST(torvik_transform_points, RejectedArgumentsWriteNothing) {
  const PerspectiveCamera c = base_camera();
  const double in[] = {1, 2};
  double out[2] = {7, 7}, scale = 7;
  uint8_t vis = 7;
  EXPECT_EQ(torvik_transform_points(in, out, &scale, &vis, 0, &c), 0);
  EXPECT_EQ(torvik_transform_points(nullptr, out, &scale, &vis, 1, &c), 0);
  EXPECT_EQ(torvik_transform_points(in, nullptr, &scale, &vis, 1, &c), 0);
  EXPECT_EQ(torvik_transform_points(in, out, &scale, &vis, 1, nullptr), 0);
  EXPECT_EQ(out[0], 7.0);
  EXPECT_EQ(out[1], 7.0);
  EXPECT_EQ(scale, 7.0);
  EXPECT_EQ(vis, 7);
}
