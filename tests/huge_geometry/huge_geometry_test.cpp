// Coordinates and sizes near the limits of double precision (1e306 and up),
// handed to Blend2D fills through the exports: each call must return (the
// program's CTest time limit fails a hang) and draw what the figure covers.
#include <ordane.h>
#include <torvik.h>
#include <velket.h>

#include <blend2d/blend2d.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "bl_holders.h"

namespace {

using quillon_test::Canvas;
using quillon_test::Path;

constexpr int kSize = 64;
constexpr uint32_t kRed = 0xFFFF0000u;
constexpr double kInf = std::numeric_limits<double>::infinity();

struct PsDeleter {
  void operator()(ParticleSystem* ps) const { velket_ps_destroy(ps); }
};
using PsPtr = std::unique_ptr<ParticleSystem, PsDeleter>;

// Pixels of the canvas that are not transparent.
int covered(const Canvas& canvas) {
  int n = 0;
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) n += canvas.pixel(x, y) != 0;
  }
  return n;
}

// One red particle at rest at (x, y) of size r, drawn on a clear canvas.
void render_one(Canvas* canvas, double x, double y, double r) {
  PsPtr ps(velket_ps_create(0));
  velket_ps_emit(ps.get(), 1, x, y, 0, 0, 0, 0, 1, 1, r, r, kRed, kRed);
  bl_context_clear_all(canvas->ctx());
  velket_ps_render(ps.get(), canvas->ctx());
  canvas->end();
}

TEST(velket_ps_render_huge, CirclesBeyondTheRasterisersRangeDrawWhatTheyCover) {
  struct Circle {
    double x, y, r;
    int covered;  // pixels of the 64 x 64 target
  };
  const Circle cases[] = {
      // Edge through the target's left side, centre far right: the whole
      // target is inside to within 1e-300 px.
      {1e306, 16, 1e306, kSize * kSize},
      {32, 1e306, 1e306, kSize * kSize},
      {1e306, 16, 2e306, kSize * kSize},
      {-1e308, -1e308, 1.7e308, kSize * kSize},
      {1e308, 16, 1e308, kSize * kSize},
      // Wholly outside.
      {1e306, 16, 5e305, 0},
      {-1e306, 16, 1e306 - 1e291, 0},
      // Not finite.
      {1e308, 16, kInf, 0},
      {32, 32, kInf, 0},
      {kInf, 32, 10, 0},
      {32, std::nan(""), 10, 0},
  };
  for (const Circle& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << ", " << c.y << ", r " << c.r);
    Canvas canvas(kSize, kSize);
    render_one(&canvas, c.x, c.y, c.r);
    EXPECT_EQ(covered(canvas), c.covered);
    if (c.covered == kSize * kSize) {
      EXPECT_EQ(canvas.pixel(0, 0), kRed);
    }
  }
}

// A huge circle whose edge crosses the target is drawn as a smaller circle
// with the same edge there: an edge along x = 32 leaves the left half clear.
TEST(velket_ps_render_huge, AHugeCircleCrossingTheTargetKeepsItsEdge) {
  for (double r : {1e12, 1e200, 1e300}) {
    SCOPED_TRACE(r);
    Canvas canvas(kSize, kSize);
    // For r = 1e300 the centre's spacing (1e284) leaves the edge wherever
    // rounding puts it; only returning is asked of it.
    render_one(&canvas, r + 32, 32, r);
    if (r > 1e15) continue;
    for (int y = 0; y < kSize; y += 9) {
      EXPECT_EQ(canvas.pixel(31, y), 0u) << y;
      EXPECT_EQ(canvas.pixel(32, y), kRed) << y;
    }
  }
}

// Sizes and positions grown to the limits by forces, as a user's update loop
// may leave them: drawing them returns.
TEST(velket_ps_render_huge, ParticlesBlownUpByForcesStillRender) {
  PsPtr ps(velket_ps_create(0));
  velket_ps_add_gravity(ps.get(), 0, 1e308);
  velket_ps_emit(ps.get(), 4, 32, 32, 0, 1e308, 0, 6.3, 10, 10, 1e308, 1e308, kRed, kRed);
  velket_ps_emit(ps.get(), 1, 1e308, 16, 0, 0, 0, 0, 10, 10, 1e308, kInf, kRed, kRed);
  for (int i = 0; i < 3; ++i) {
    Canvas canvas(kSize, kSize);
    velket_ps_render(ps.get(), canvas.ctx());
    canvas.end();
    velket_ps_update(ps.get(), 1.0);
  }
}

// The path exports only pass the caller's coordinates on; Blend2D's own fill
// and stroke of what they build must return all the same.
TEST(huge_paths, BuiltTransformedAndTrimmedPathsWithHugeCoordinatesFillAndStroke) {
  const double big[] = {1e306, 16, -1e306, 1e306, 1e308, -1e308, 0, 1e306, 1e306, 16};
  const int64_t offsets[] = {0, 5};
  std::vector<std::unique_ptr<Path>> paths;
  auto add = [&paths]() -> BLPathCore* {
    paths.push_back(std::make_unique<Path>());
    return paths.back()->get();
  };
  ASSERT_EQ(ordane_build_polygon(add(), big, offsets, 1, nullptr), 0);
  ASSERT_EQ(ordane_build_linestring(add(), big, 5, nullptr), 0);
  ASSERT_EQ(ordane_build_multilinestring(add(), big, offsets, 1, nullptr), 0);
  const PerspectiveCamera camera{kSize, kSize, 0.8, 0.6, 0.3, 0.0, 100, 0, 0, 10};
  ASSERT_EQ(torvik_transform_path(paths[0]->get(), add(), nullptr, &camera), 0);
  ASSERT_EQ(velket_trim_path(paths[0]->get(), add(), 0.1, 0.9, 0.0), 0);
  const BLPoint origin{0, 0};
  for (const auto& path : paths) {
    Canvas canvas(kSize, kSize);
    bl_context_fill_path_d_rgba32(canvas.ctx(), &origin, path->get(), kRed);
    bl_context_set_stroke_width(canvas.ctx(), 3.0);
    bl_context_stroke_path_d_rgba32(canvas.ctx(), &origin, path->get(), kRed);
    canvas.end();
  }
}

}  // namespace
