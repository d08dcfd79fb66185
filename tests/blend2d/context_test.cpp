// Rendering: what fills and strokes do to pixels, composition, context
// lifetime.  Pixel centres lie at (x + 0.5, y + 0.5); PRGB32 is premultiplied.
#include <gtest/gtest.h>

#include "bl_holders.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

using quillon_test::Context;
using quillon_test::Image;
using quillon_test::Path;

constexpr uint32_t kBackground = 0xFF204060u;

// Pixel square [x, x+1) x [y, y+1) relative to a disc.
double farthest_corner(int x, int y, double cx, double cy) {
  double dx = std::max(std::abs(x - cx), std::abs(x + 1 - cx));
  double dy = std::max(std::abs(y - cy), std::abs(y + 1 - cy));
  return std::hypot(dx, dy);
}
double nearest_point(int x, int y, double cx, double cy) {
  double dx = std::max({x - cx, 0.0, cx - (x + 1)});
  double dy = std::max({y - cy, 0.0, cy - (y + 1)});
  return std::hypot(dx, dy);
}

// Every pixel well inside the disc of radius r_in has `color`; every pixel
// well outside the disc of radius r_out still has `background`; pixels along
// the edge, and between the two radii, are not checked.
void expect_disc(const Image& img, double cx, double cy, double r_in, double r_out, uint32_t color,
                 uint32_t background) {
  BLImageData d = img.data();
  int inside = 0, outside = 0;
  for (int y = 0; y < d.size.h; y++) {
    for (int x = 0; x < d.size.w; x++) {
      if (farthest_corner(x, y, cx, cy) < r_in - 0.5) {
        ASSERT_EQ(img.pixel32(x, y), color) << "inside at " << x << "," << y;
        inside++;
      } else if (nearest_point(x, y, cx, cy) > r_out + 0.5) {
        ASSERT_EQ(img.pixel32(x, y), background) << "outside at " << x << "," << y;
        outside++;
      }
    }
  }
  EXPECT_GT(inside, 0);
  EXPECT_GT(outside, 0);
}

void expect_disc(const Image& img, double cx, double cy, double r, uint32_t color, uint32_t background) {
  expect_disc(img, cx, cy, r, r, color, background);
}

// Pixels inside [x0, x1) x [y0, y1) have `inside`, all others `outside`.
void expect_box(const Image& img, int x0, int y0, int x1, int y1, uint32_t inside, uint32_t outside) {
  BLImageData d = img.data();
  for (int y = 0; y < d.size.h; y++)
    for (int x = 0; x < d.size.w; x++) {
      bool in = x >= x0 && x < x1 && y >= y0 && y < y1;
      ASSERT_EQ(img.pixel32(x, y), in ? inside : outside) << "at " << x << "," << y;
    }
}

// ---- Fills ---------------------------------------------------------------

TEST(ContextFill, OpaqueCircleCoversInsideExactlyAndLeavesOutside) {
  Image img(64, 64, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
  const BLCircle circle = {31.0, 33.5, 20.0};
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_CIRCLE, &circle, 0xFF3366CCu), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  expect_disc(img, 31.0, 33.5, 20.0, 0xFF3366CCu, kBackground);
}

TEST(ContextFill, PixelAlignedBoxAndRectCoverExactlyTheirPixels) {
  Image img(24, 20, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
  const double box[4] = {2, 3, 10, 12};  // x0, y0, x1, y1
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_BOXD, box, 0xFFFF0000u), BL_SUCCESS);
  expect_box(img, 2, 3, 10, 12, 0xFFFF0000u, kBackground);

  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
  const double rect[4] = {5, 1, 7, 4};  // x, y, w, h
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_RECTD, rect, 0xFF00FF00u), BL_SUCCESS);
  expect_box(img, 5, 1, 12, 5, 0xFF00FF00u, kBackground);
}

TEST(ContextFill, TranslucentColourIsPremultiplied) {
  Image img(8, 8, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_clear_all(&ctx.core), BL_SUCCESS);
  const double box[4] = {0, 0, 4, 8};
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_BOXD, box, 0x7F0000FFu), BL_SUCCESS);
  const double box2[4] = {4, 0, 8, 8};
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_BOXD, box2, 0x40C86432u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  EXPECT_PRED3(quillon_test::channels_near, img.pixel32(1, 1), 0x7F00007Fu, 1);
  EXPECT_PRED3(quillon_test::channels_near, img.pixel32(6, 6), 0x4032190Du, 1);
}

TEST(ContextFill, PathWithOriginTouchesExpectedPixels) {
  Path p;
  ASSERT_EQ(bl_path_move_to(&p.core, 0, 0), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 10, 0), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 10, 6), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 0, 6), BL_SUCCESS);
  ASSERT_EQ(bl_path_close(&p.core), BL_SUCCESS);

  Image img(24, 20, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
  const BLPoint origin = {5, 7};
  ASSERT_EQ(bl_context_fill_path_d_rgba32(&ctx.core, &origin, &p.core, 0xFFFFFF00u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  expect_box(img, 5, 7, 15, 13, 0xFFFFFF00u, kBackground);
}

// POLYGOND's data is a view { const BLPoint* data; size_t size; } (the real
// library's BLArrayView<BLPoint>), filled as one closed figure.
TEST(ContextFill, PolygonGeometryFillsItsClosedFigure) {
  Image img(8, 8, BL_FORMAT_PRGB32);
  Context ctx(img);
  bl_context_fill_all_rgba32(&ctx.core, kBackground);
  struct PointView {
    const BLPoint* data;
    size_t size;
  };
  const BLPoint square[] = {{2, 1}, {6, 1}, {6, 5}, {2, 5}};
  const PointView view{square, 4};
  EXPECT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_POLYGOND, &view, 0xFFFF0000u),
            BL_SUCCESS);
  bl_context_end(&ctx.core);
  expect_box(img, 2, 1, 6, 5, 0xFFFF0000u, kBackground);
}

// The target's size while attached, {0, 0} once detached; the final transform
// of a fresh context is the identity.
TEST(ContextState, TargetSizeAndFinalTransform) {
  Image img(24, 10, BL_FORMAT_PRGB32);
  Context ctx(img);
  BLSize size{-1, -1};
  ASSERT_EQ(bl_context_get_target_size(&ctx.core, &size), BL_SUCCESS);
  EXPECT_EQ(size.w, 24.0);
  EXPECT_EQ(size.h, 10.0);
  BLMatrix2D m;
  ASSERT_EQ(bl_context_get_final_transform(&ctx.core, &m), BL_SUCCESS);
  const double identity[6] = {1, 0, 0, 1, 0, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(m.m[i], identity[i]) << i;
  bl_context_end(&ctx.core);
  ASSERT_EQ(bl_context_get_target_size(&ctx.core, &size), BL_SUCCESS);
  EXPECT_EQ(size.w, 0.0);
  EXPECT_EQ(size.h, 0.0);
}

TEST(ContextFill, PathGeometryFillsLikeFillPath) {
  Path p;
  ASSERT_EQ(bl_path_move_to(&p.core, 3, 2), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 9, 2), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 9, 5), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 3, 5), BL_SUCCESS);
  Image img(12, 8, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_PATH, &p.core, 0xFF112233u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  expect_box(img, 3, 2, 9, 5, 0xFF112233u, kBackground);  // open subpath is closed for filling
}

TEST(ContextFill, CurvedPathsFollowTheirCurves) {
  // The same disc three ways: four conics (w = sqrt(1/2)), four cubics and
  // eight quads, each fitted to the circle.  A curve type drawn as its control
  // polygon, or a conic drawn as a plain quad, misses by more than a pixel.
  const double cx = 32, cy = 32, r = 24;
  const double w = std::sqrt(0.5);
  const double k = 0.5522847498 * r;

  Path conics, cubics, quads;
  ASSERT_EQ(bl_path_move_to(&conics.core, cx + r, cy), BL_SUCCESS);
  ASSERT_EQ(bl_path_conic_to(&conics.core, cx + r, cy + r, cx, cy + r, w), BL_SUCCESS);
  ASSERT_EQ(bl_path_conic_to(&conics.core, cx - r, cy + r, cx - r, cy, w), BL_SUCCESS);
  ASSERT_EQ(bl_path_conic_to(&conics.core, cx - r, cy - r, cx, cy - r, w), BL_SUCCESS);
  ASSERT_EQ(bl_path_conic_to(&conics.core, cx + r, cy - r, cx + r, cy, w), BL_SUCCESS);
  ASSERT_EQ(bl_path_close(&conics.core), BL_SUCCESS);

  ASSERT_EQ(bl_path_move_to(&cubics.core, cx + r, cy), BL_SUCCESS);
  ASSERT_EQ(bl_path_cubic_to(&cubics.core, cx + r, cy + k, cx + k, cy + r, cx, cy + r), BL_SUCCESS);
  ASSERT_EQ(bl_path_cubic_to(&cubics.core, cx - k, cy + r, cx - r, cy + k, cx - r, cy), BL_SUCCESS);
  ASSERT_EQ(bl_path_cubic_to(&cubics.core, cx - r, cy - k, cx - k, cy - r, cx, cy - r), BL_SUCCESS);
  ASSERT_EQ(bl_path_cubic_to(&cubics.core, cx + k, cy - r, cx + r, cy - k, cx + r, cy), BL_SUCCESS);
  ASSERT_EQ(bl_path_close(&cubics.core), BL_SUCCESS);

  // Quads over 45 degree steps: control point at r / cos(22.5 deg).
  const double pi = 3.14159265358979323846;
  const double rc = r / std::cos(pi / 8);
  ASSERT_EQ(bl_path_move_to(&quads.core, cx + r, cy), BL_SUCCESS);
  for (int i = 0; i < 8; i++) {
    double a_mid = (i + 0.5) * pi / 4, a_end = (i + 1) * pi / 4;
    ASSERT_EQ(bl_path_quad_to(&quads.core, cx + rc * std::cos(a_mid), cy + rc * std::sin(a_mid),
                              cx + r * std::cos(a_end), cy + r * std::sin(a_end)),
              BL_SUCCESS);
  }
  ASSERT_EQ(bl_path_close(&quads.core), BL_SUCCESS);

  // Quads deviate from the circle by up to r * 0.0082 = 0.2 px.  Blend2D
  // flattens conics more loosely than cubics: its fill reaches up to 0.75 px
  // (measured at pixel centres) beyond this circle.
  struct Case { const char* name; const Path* path; double slack; };
  for (Case c : {Case{"conics", &conics, 0.8}, Case{"cubics", &cubics, 0.0}, Case{"quads", &quads, 0.25}}) {
    SCOPED_TRACE(c.name);
    Image img(64, 64, BL_FORMAT_PRGB32);
    Context ctx(img);
    ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
    const BLPoint origin = {0, 0};
    ASSERT_EQ(bl_context_fill_path_d_rgba32(&ctx.core, &origin, &c.path->core, 0xFFFFFFFFu), BL_SUCCESS);
    ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
    expect_disc(img, cx, cy, r - c.slack, r + c.slack, 0xFFFFFFFFu, kBackground);
  }
}

TEST(ContextFill, OverlappingSubpathsUseNonZeroRule) {
  // Two same-direction squares overlapping: the overlap stays filled.
  Path p;
  for (double off : {0.0, 4.0}) {
    ASSERT_EQ(bl_path_move_to(&p.core, 2 + off, 2), BL_SUCCESS);
    ASSERT_EQ(bl_path_line_to(&p.core, 10 + off, 2), BL_SUCCESS);
    ASSERT_EQ(bl_path_line_to(&p.core, 10 + off, 10), BL_SUCCESS);
    ASSERT_EQ(bl_path_line_to(&p.core, 2 + off, 10), BL_SUCCESS);
    ASSERT_EQ(bl_path_close(&p.core), BL_SUCCESS);
  }
  Image img(16, 12, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
  const BLPoint origin = {0, 0};
  ASSERT_EQ(bl_context_fill_path_d_rgba32(&ctx.core, &origin, &p.core, 0xFF0000FFu), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  expect_box(img, 2, 2, 14, 10, 0xFF0000FFu, kBackground);
}

// ---- Strokes -------------------------------------------------------------

TEST(ContextStroke, DefaultWidthIsOnePixelWithButtCaps) {
  Path p;
  ASSERT_EQ(bl_path_move_to(&p.core, 2, 10), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 30, 10), BL_SUCCESS);
  Image img(32, 20, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
  const BLPoint origin = {0, 0.5};  // the line runs along the centres of row 10
  ASSERT_EQ(bl_context_stroke_path_d_rgba32(&ctx.core, &origin, &p.core, 0xFFFF8000u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  expect_box(img, 2, 10, 30, 11, 0xFFFF8000u, kBackground);
}

TEST(ContextStroke, WidthAndMiterCornersOfClosedRectangle) {
  Path p;
  ASSERT_EQ(bl_path_move_to(&p.core, 10, 10), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 30, 10), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 30, 24), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 10, 24), BL_SUCCESS);
  ASSERT_EQ(bl_path_close(&p.core), BL_SUCCESS);

  Image img(40, 34, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
  ASSERT_EQ(bl_context_set_stroke_width(&ctx.core, 4.0), BL_SUCCESS);
  const BLPoint origin = {0, 0};
  ASSERT_EQ(bl_context_stroke_path_d_rgba32(&ctx.core, &origin, &p.core, 0xFF00FF00u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);

  const uint32_t g = 0xFF00FF00u;
  BLImageData d = img.data();
  for (int y = 0; y < d.size.h; y++)
    for (int x = 0; x < d.size.w; x++) {
      bool in_outer = x >= 8 && x < 32 && y >= 8 && y < 26;
      bool in_inner = x >= 12 && x < 28 && y >= 12 && y < 22;
      ASSERT_EQ(img.pixel32(x, y), in_outer && !in_inner ? g : kBackground) << "at " << x << "," << y;
    }
}

// ---- Geometry reaching far outside the image ------------------------------
// Coordinates far beyond any fixed-point device range; the pixels must come
// out as if the geometry had been drawn exactly.

TEST(ContextFarGeometry, HugeCircleAroundTheImageFillsEveryPixel) {
  for (double r : {1e7, 1e12, 1e300}) {
    SCOPED_TRACE(r);
    Image img(64, 64, BL_FORMAT_PRGB32);
    Context ctx(img);
    ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
    const BLCircle circle = {32, 32, r};
    ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_CIRCLE, &circle, 0xFF3366CCu), BL_SUCCESS);
    ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
    expect_box(img, 0, 0, 64, 64, 0xFF3366CCu, 0xFF3366CCu);
  }
}

TEST(ContextFarGeometry, HugeCircleAwayFromTheImageLeavesEveryPixel) {
  const BLCircle circles[] = {
      {1e300, 1e300, 1e299},
      {-3e12, 32, 2e12},
      {32, 1e9, 1e9 - 100},  // nearest edge at y = 100, below the image
      {5e6, 5e6, 10},
  };
  for (const BLCircle& c : circles) {
    SCOPED_TRACE(c.cx);
    Image img(64, 64, BL_FORMAT_PRGB32);
    Context ctx(img);
    ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
    ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_CIRCLE, &c, 0xFF3366CCu), BL_SUCCESS);
    ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
    expect_box(img, 0, 0, 0, 0, 0, kBackground);
  }
}

TEST(ContextFarGeometry, HugeCircleEdgeThroughTheImage) {
  // Blend2D draws a circle as four cubics, which bulge out by up to 0.027 %
  // of the radius between the points where they touch it (at multiples of
  // 45 degrees): exact there, and within that bound at a slant.
  const double s = std::sqrt(0.5);
  struct Case { BLCircle c; double slack; };
  const Case cases[] = {
      {{32, 1e9 + 20, 1e9}, 0.0},           // edge along y = 20, inside below
      {{-1e12, 32, 1e12 + 40}, 0.0},        // edge along x = 40, inside to the left
      {{32 + 1e9 * s, 32 + 1e9 * s, 1e9}, 0.0},  // edge through the centre, diagonal
      {{2e4, -3e4, 3.6055512754639894e4}, 3.6055512754639894e4 * 3e-4},  // edge near (0, 0) at a slant
  };
  for (const Case& cs : cases) {
    const BLCircle& c = cs.c;
    SCOPED_TRACE(c.cx);
    Image img(64, 64, BL_FORMAT_PRGB32);
    Context ctx(img);
    ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
    ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_CIRCLE, &c, 0xFF3366CCu), BL_SUCCESS);
    ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
    expect_disc(img, c.cx, c.cy, c.r - cs.slack, c.r + cs.slack, 0xFF3366CCu, kBackground);
  }
}

TEST(ContextFarGeometry, HugeCurvesFinishAndKeepTheirInside) {
  // Curves reaching 1e7 to 1e9 pixels away: a disc of radius 1e9 as four
  // conic quarters whose top edge runs along y = 20, and the parabola
  // y = 20 + (x - 32)^2 / 64 over x = 32 -+ 1e7 as a quad and as a cubic,
  // closed along its far chord.  How closely the edge is followed that far
  // out is the rasteriser's affair (the stand-in clamps far control points);
  // every fill must finish, succeed and cover the inside deep below the edge.
  // Strokes must finish too; Blend2D 0.21 refuses the conic one with an
  // invalid-geometry error, so their results are not compared.
  const double cx = 32, cy = 1e9 + 20, r = 1e9, w = std::sqrt(0.5);
  Path conics;
  ASSERT_EQ(bl_path_move_to(&conics.core, cx + r, cy), BL_SUCCESS);
  ASSERT_EQ(bl_path_conic_to(&conics.core, cx + r, cy + r, cx, cy + r, w), BL_SUCCESS);
  ASSERT_EQ(bl_path_conic_to(&conics.core, cx - r, cy + r, cx - r, cy, w), BL_SUCCESS);
  ASSERT_EQ(bl_path_conic_to(&conics.core, cx - r, cy - r, cx, cy - r, w), BL_SUCCESS);
  ASSERT_EQ(bl_path_conic_to(&conics.core, cx + r, cy - r, cx + r, cy, w), BL_SUCCESS);
  ASSERT_EQ(bl_path_close(&conics.core), BL_SUCCESS);

  const double a = 1e7, k = 1.0 / 64;
  const BLPoint p0 = {32 - a, 20 + k * a * a}, c = {32, 20 - k * a * a}, p2 = {32 + a, 20 + k * a * a};
  Path quad, cubic;
  ASSERT_EQ(bl_path_move_to(&quad.core, p0.x, p0.y), BL_SUCCESS);
  ASSERT_EQ(bl_path_quad_to(&quad.core, c.x, c.y, p2.x, p2.y), BL_SUCCESS);
  ASSERT_EQ(bl_path_close(&quad.core), BL_SUCCESS);
  ASSERT_EQ(bl_path_move_to(&cubic.core, p0.x, p0.y), BL_SUCCESS);
  ASSERT_EQ(bl_path_cubic_to(&cubic.core, p0.x + (c.x - p0.x) * 2 / 3, p0.y + (c.y - p0.y) * 2 / 3,
                             p2.x + (c.x - p2.x) * 2 / 3, p2.y + (c.y - p2.y) * 2 / 3, p2.x, p2.y),
            BL_SUCCESS);
  ASSERT_EQ(bl_path_close(&cubic.core), BL_SUCCESS);

  struct Case { const char* name; const Path* path; };
  for (const Case& cs : {Case{"conics", &conics}, Case{"quad", &quad}, Case{"cubic", &cubic}}) {
    SCOPED_TRACE(cs.name);
    Image img(64, 64, BL_FORMAT_PRGB32);
    Context ctx(img);
    ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
    const BLPoint origin = {0, 0};
    ASSERT_EQ(bl_context_fill_path_d_rgba32(&ctx.core, &origin, &cs.path->core, 0xFFFFFFFFu), BL_SUCCESS);
    ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
    EXPECT_EQ(img.pixel32(32, 60), 0xFFFFFFFFu);

    Context stroker(img);
    (void)bl_context_stroke_path_d_rgba32(&stroker.core, &origin, &cs.path->core, 0xFFFFFFFFu);
  }
}

TEST(ContextFarGeometry, HugeTriangleFillsItsInside) {
  // The edge from (-1e9, 10) to (1e9, 50) crosses the image at y = 30; the
  // triangle lies above it.
  Path p;
  ASSERT_EQ(bl_path_move_to(&p.core, -1e9, 10), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 1e9, 50), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 30, -1e9), BL_SUCCESS);
  ASSERT_EQ(bl_path_close(&p.core), BL_SUCCESS);
  // The same triangle again, placed by a huge origin.
  Path shifted;
  ASSERT_EQ(bl_path_move_to(&shifted.core, -2e9, 10), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&shifted.core, 0, 50), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&shifted.core, 30 - 1e9, -1e9), BL_SUCCESS);
  ASSERT_EQ(bl_path_close(&shifted.core), BL_SUCCESS);

  struct Case { const char* name; const Path* path; BLPoint origin; };
  for (const Case& c : {Case{"plain", &p, {0, 0}}, Case{"origin", &shifted, {1e9, 0}}}) {
    SCOPED_TRACE(c.name);
    Image img(64, 64, BL_FORMAT_PRGB32);
    Context ctx(img);
    ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
    ASSERT_EQ(bl_context_fill_path_d_rgba32(&ctx.core, &c.origin, &c.path->core, 0xFF00FF00u), BL_SUCCESS);
    ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
    EXPECT_EQ(img.pixel32(32, 16), 0xFF00FF00u);
    EXPECT_EQ(img.pixel32(32, 40), kBackground);
    for (int y = 0; y < 64; y++) {
      if (y == 29 || y == 30) continue;  // along the edge
      for (int x = 0; x < 64; x++)
        ASSERT_EQ(img.pixel32(x, y), y < 29 ? 0xFF00FF00u : kBackground) << "at " << x << "," << y;
    }
  }
}

TEST(ContextFarGeometry, HugeDiagonalEdgeSplitsTheImage) {
  // The edge y = x + 0.5 runs corner to corner; the triangle lies above it.
  // Long slanted edges are where coverage goes wrong if the rasteriser's
  // intermediate products overflow.
  for (double far : {2e5, 1e9, 1e15}) {
    SCOPED_TRACE(far);
    Path p;
    ASSERT_EQ(bl_path_move_to(&p.core, -far, -far + 0.5), BL_SUCCESS);
    ASSERT_EQ(bl_path_line_to(&p.core, far, far + 0.5), BL_SUCCESS);
    ASSERT_EQ(bl_path_line_to(&p.core, far, -far), BL_SUCCESS);
    ASSERT_EQ(bl_path_close(&p.core), BL_SUCCESS);
    Image img(64, 64, BL_FORMAT_PRGB32);
    Context ctx(img);
    ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
    const BLPoint origin = {0, 0};
    ASSERT_EQ(bl_context_fill_path_d_rgba32(&ctx.core, &origin, &p.core, 0xFF00FF00u), BL_SUCCESS);
    ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
    for (int y = 0; y < 64; y++)
      for (int x = 0; x < 64; x++) {
        if (y + 0.5 <= x) {
          ASSERT_EQ(img.pixel32(x, y), 0xFF00FF00u) << "inside at " << x << "," << y;
        } else if (y >= x + 1.5) {
          ASSERT_EQ(img.pixel32(x, y), kBackground) << "outside at " << x << "," << y;
        }
      }
  }
}

TEST(ContextFarGeometry, HugeFigureKeepsNonZeroWindingAroundAHole) {
  // A huge square with a small square inside: wound the other way the small
  // one is a hole, wound the same way it stays filled.
  for (bool reversed : {true, false}) {
    SCOPED_TRACE(reversed);
    Path p;
    ASSERT_EQ(bl_path_move_to(&p.core, -1e9, -1e9), BL_SUCCESS);
    ASSERT_EQ(bl_path_line_to(&p.core, 1e9, -1e9), BL_SUCCESS);
    ASSERT_EQ(bl_path_line_to(&p.core, 1e9, 1e9), BL_SUCCESS);
    ASSERT_EQ(bl_path_line_to(&p.core, -1e9, 1e9), BL_SUCCESS);
    ASSERT_EQ(bl_path_close(&p.core), BL_SUCCESS);
    const double ys[2] = {16, 48};
    ASSERT_EQ(bl_path_move_to(&p.core, 16, ys[reversed ? 1 : 0]), BL_SUCCESS);
    ASSERT_EQ(bl_path_line_to(&p.core, 48, ys[reversed ? 1 : 0]), BL_SUCCESS);
    ASSERT_EQ(bl_path_line_to(&p.core, 48, ys[reversed ? 0 : 1]), BL_SUCCESS);
    ASSERT_EQ(bl_path_line_to(&p.core, 16, ys[reversed ? 0 : 1]), BL_SUCCESS);
    ASSERT_EQ(bl_path_close(&p.core), BL_SUCCESS);
    Image img(64, 64, BL_FORMAT_PRGB32);
    Context ctx(img);
    ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
    const BLPoint origin = {0, 0};
    ASSERT_EQ(bl_context_fill_path_d_rgba32(&ctx.core, &origin, &p.core, 0xFF00FF00u), BL_SUCCESS);
    ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
    if (reversed) expect_box(img, 16, 16, 48, 48, kBackground, 0xFF00FF00u);
    else expect_box(img, 0, 0, 64, 64, 0xFF00FF00u, 0xFF00FF00u);
  }
}

TEST(ContextFarGeometry, OrdinaryPathMovedFarAwayByOriginDrawsNothing) {
  Path p;
  ASSERT_EQ(bl_path_move_to(&p.core, 0, 0), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 64, 0), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 64, 64), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 0, 64), BL_SUCCESS);
  ASSERT_EQ(bl_path_close(&p.core), BL_SUCCESS);
  for (BLPoint origin : {BLPoint{1e9, 0}, BLPoint{0, -(4294967296.0 / 256)}, BLPoint{1e300, 1e300}}) {
    SCOPED_TRACE(origin.x);
    Image img(64, 64, BL_FORMAT_PRGB32);
    Context ctx(img);
    ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
    ASSERT_EQ(bl_context_fill_path_d_rgba32(&ctx.core, &origin, &p.core, 0xFF00FF00u), BL_SUCCESS);
    ASSERT_EQ(bl_context_stroke_path_d_rgba32(&ctx.core, &origin, &p.core, 0xFF00FF00u), BL_SUCCESS);
    ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
    expect_box(img, 0, 0, 0, 0, 0, kBackground);
  }
}

TEST(ContextFarGeometry, HugeBoxesAndRectsCoverExactlyTheirPixels) {
  Image img(64, 64, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
  const double all[4] = {-1e300, -1e300, 1e300, 1e300};
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_BOXD, all, 0xFF0000FFu), BL_SUCCESS);
  expect_box(img, 0, 0, 64, 64, 0xFF0000FFu, 0xFF0000FFu);

  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
  const double band[4] = {-1e12, 10, 2e12, 20};  // x, y, w, h
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_RECTD, band, 0xFF0000FFu), BL_SUCCESS);
  expect_box(img, 0, 10, 64, 30, 0xFF0000FFu, kBackground);

  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
  const double column[4] = {5, -1e15, 9, 1e15};
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_BOXD, column, 0xFF0000FFu), BL_SUCCESS);
  const double away[4] = {1e12, 0, 2e12, 64};
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_BOXD, away, 0xFFFF0000u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  expect_box(img, 5, 0, 9, 64, 0xFF0000FFu, kBackground);
}

TEST(ContextFarGeometry, HugeLineStrokeCoversItsRows) {
  // Width 3 around y = 32.5 covers rows 31 to 33 exactly.
  Path p;
  ASSERT_EQ(bl_path_move_to(&p.core, -1e12, 32.5), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 1e12, 32.5), BL_SUCCESS);
  Image img(64, 64, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
  ASSERT_EQ(bl_context_set_stroke_width(&ctx.core, 3.0), BL_SUCCESS);
  const BLPoint origin = {0, 0};
  ASSERT_EQ(bl_context_stroke_path_d_rgba32(&ctx.core, &origin, &p.core, 0xFFFF8000u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  EXPECT_EQ(img.pixel32(0, 32), 0xFFFF8000u);
  EXPECT_EQ(img.pixel32(40, 10), kBackground);
  EXPECT_EQ(img.pixel32(40, 50), kBackground);
  expect_box(img, 0, 31, 64, 34, 0xFFFF8000u, kBackground);
}

TEST(ContextFarGeometry, HugeClosedFigureStrokeKeepsItsVisibleEdgeAndCorner) {
  // A rectangle whose left and top edges cross the image and whose other
  // corners lie far away: width 4 covers columns 8-11 and rows 6-9, with a
  // square miter corner at the top left.
  Path p;
  ASSERT_EQ(bl_path_move_to(&p.core, 10, 8), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 1e12, 8), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 1e12, 1e12), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 10, 1e12), BL_SUCCESS);
  ASSERT_EQ(bl_path_close(&p.core), BL_SUCCESS);
  Image img(64, 64, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
  ASSERT_EQ(bl_context_set_stroke_width(&ctx.core, 4.0), BL_SUCCESS);
  const BLPoint origin = {0, 0};
  ASSERT_EQ(bl_context_stroke_path_d_rgba32(&ctx.core, &origin, &p.core, 0xFF00FF00u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 64; x++) {
      bool left = x >= 8 && x < 12 && y >= 6;
      bool top = y >= 6 && y < 10 && x >= 8;
      ASSERT_EQ(img.pixel32(x, y), left || top ? 0xFF00FF00u : kBackground) << "at " << x << "," << y;
    }
}

TEST(ContextFarGeometry, HugeStrokeWidthCoversTheImage) {
  Path line;  // short, through the image
  ASSERT_EQ(bl_path_move_to(&line.core, -8, 32), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&line.core, 72, 32), BL_SUCCESS);
  Path triangle;  // one edge crosses the image near y = 30, the rest is far away
  ASSERT_EQ(bl_path_move_to(&triangle.core, -1e9, 10), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&triangle.core, 1e9, 50), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&triangle.core, 30, -1e9), BL_SUCCESS);
  ASSERT_EQ(bl_path_close(&triangle.core), BL_SUCCESS);

  struct Case { const char* name; const Path* path; double width; };
  for (const Case& c : {Case{"line", &line, 1e9}, Case{"line", &line, 1e6}, Case{"triangle", &triangle, 1e6},
                        Case{"triangle", &triangle, 1e300}}) {
    SCOPED_TRACE(c.name);
    SCOPED_TRACE(c.width);
    Image img(64, 64, BL_FORMAT_PRGB32);
    Context ctx(img);
    ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
    ASSERT_EQ(bl_context_set_stroke_width(&ctx.core, c.width), BL_SUCCESS);
    const BLPoint origin = {0, 0};
    ASSERT_EQ(bl_context_stroke_path_d_rgba32(&ctx.core, &origin, &c.path->core, 0xFFFF8000u), BL_SUCCESS);
    ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
    expect_box(img, 0, 0, 64, 64, 0xFFFF8000u, kBackground);
  }
}

// ---- Clipping --------------------------------------------------------------

TEST(ContextClip, ClipToRectLimitsEveryDrawingCallUntilRestored) {
  Image img(24, 20, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
  const BLRect clip = {4, 3, 10, 8};
  ASSERT_EQ(bl_context_clip_to_rect_d(&ctx.core, &clip), BL_SUCCESS);
  // A fill of everything, a circle and a path all stay inside [4, 14) x [3, 11).
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0xFFFF0000u), BL_SUCCESS);
  const BLCircle circle = {12, 10, 30};
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_CIRCLE, &circle, 0xFF00FF00u), BL_SUCCESS);
  Path p;
  ASSERT_EQ(bl_path_move_to(&p.core, -5, -5), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 30, -5), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 30, 30), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, -5, 30), BL_SUCCESS);
  const BLPoint origin = {0, 0};
  ASSERT_EQ(bl_context_fill_path_d_rgba32(&ctx.core, &origin, &p.core, 0xFF0000FFu), BL_SUCCESS);
  expect_box(img, 4, 3, 14, 11, 0xFF0000FFu, kBackground);

  // Restored, the whole image is drawable again.
  ASSERT_EQ(bl_context_restore_clipping(&ctx.core), BL_SUCCESS);
  const double box[4] = {0, 0, 24, 20};
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_BOXD, box, 0xFF112233u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  expect_box(img, 0, 0, 24, 20, 0xFF112233u, 0xFF112233u);
}

TEST(ContextClip, ClipsIntersectAndRectsOutsideLeaveNothing) {
  Image img(20, 20, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
  const BLRect a = {2, 2, 10, 10}, b = {6, 0, 100, 8};
  ASSERT_EQ(bl_context_clip_to_rect_d(&ctx.core, &a), BL_SUCCESS);
  ASSERT_EQ(bl_context_clip_to_rect_d(&ctx.core, &b), BL_SUCCESS);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0xFFFF0000u), BL_SUCCESS);
  expect_box(img, 6, 2, 12, 8, 0xFFFF0000u, kBackground);

  // A clip beside the current one leaves nothing to draw into.
  const BLRect away = {15, 15, 3, 3};
  ASSERT_EQ(bl_context_clip_to_rect_d(&ctx.core, &away), BL_SUCCESS);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0xFF00FF00u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  expect_box(img, 6, 2, 12, 8, 0xFFFF0000u, kBackground);
}

// ---- Composition and whole-image operations ------------------------------

TEST(ContextCompOp, SrcOverBlendsAndSrcCopyReplaces) {
  Image img(8, 4, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0xFF0000FFu), BL_SUCCESS);
  const double left[4] = {0, 0, 4, 4}, right[4] = {4, 0, 8, 4};
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_BOXD, left, 0x80FF0000u), BL_SUCCESS);
  ASSERT_EQ(bl_context_set_comp_op(&ctx.core, BL_COMP_OP_SRC_COPY), BL_SUCCESS);
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_BOXD, right, 0x80FF0000u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  EXPECT_PRED3(quillon_test::channels_near, img.pixel32(1, 1), 0xFF80007Fu, 1);
  EXPECT_PRED3(quillon_test::channels_near, img.pixel32(6, 1), 0x80800000u, 1);
}

TEST(ContextCompOp, SrcCopyFillAllReplacesEveryPixel) {
  Image img(6, 6, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, kBackground), BL_SUCCESS);
  ASSERT_EQ(bl_context_set_comp_op(&ctx.core, BL_COMP_OP_SRC_COPY), BL_SUCCESS);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0x00000000u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  expect_box(img, 0, 0, 6, 6, 0u, 0u);
}

TEST(ContextWhole, FillAllSetsEveryPixel) {
  Image img(7, 5, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0xFF123456u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  expect_box(img, 0, 0, 7, 5, 0xFF123456u, 0xFF123456u);
}

TEST(ContextWhole, FillAllTranslucentBlendsOverExisting) {
  Image img(4, 4, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0xFFFFFFFFu), BL_SUCCESS);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0x80000000u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  EXPECT_PRED3(quillon_test::channels_near, img.pixel32(2, 2), 0xFF7F7F7Fu, 1);
}

TEST(ContextWhole, ClearAllMakesTransparentBlackWhateverTheCompOp) {
  Image img(5, 5, BL_FORMAT_PRGB32);
  Context ctx(img);
  for (BLCompOp op : {BL_COMP_OP_SRC_OVER, BL_COMP_OP_SRC_COPY}) {
    ASSERT_EQ(bl_context_set_comp_op(&ctx.core, BL_COMP_OP_SRC_OVER), BL_SUCCESS);
    ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0xFFABCDEFu), BL_SUCCESS);
    ASSERT_EQ(bl_context_set_comp_op(&ctx.core, op), BL_SUCCESS);
    ASSERT_EQ(bl_context_clear_all(&ctx.core), BL_SUCCESS);
    expect_box(img, 0, 0, 5, 5, 0u, 0u);
  }
}

TEST(ContextFormats, A8StoresCoverageTimesAlpha) {
  Image img(16, 16, BL_FORMAT_A8);
  Context ctx(img);
  // A new image's pixels are undefined in Blend2D: clear before blending.
  ASSERT_EQ(bl_context_clear_all(&ctx.core), BL_SUCCESS);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0x80FFFFFFu), BL_SUCCESS);
  EXPECT_NEAR(img.pixel8(3, 3), 0x80, 1);
  ASSERT_EQ(bl_context_clear_all(&ctx.core), BL_SUCCESS);
  const BLCircle circle = {8, 8, 6};
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_CIRCLE, &circle, 0xFF000000u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  EXPECT_EQ(img.pixel8(8, 8), 0xFF);
  EXPECT_EQ(img.pixel8(0, 0), 0x00);
}

TEST(ContextFormats, Xrgb32KeepsColourChannels) {
  Image img(4, 4, BL_FORMAT_XRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0xFF336699u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  EXPECT_EQ(img.pixel32(1, 2) & 0x00FFFFFFu, 0x00336699u);  // the X byte is not pinned
}

// ---- Lifetime and state --------------------------------------------------

TEST(ContextState, DetachedContextRefusesDrawing) {
  Context ctx;
  EXPECT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0xFFFFFFFFu), BL_ERROR_INVALID_STATE);
  EXPECT_EQ(bl_context_clear_all(&ctx.core), BL_ERROR_INVALID_STATE);
  const BLCircle circle = {1, 1, 1};
  EXPECT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_CIRCLE, &circle, 0xFFFFFFFFu),
            BL_ERROR_INVALID_STATE);
}

TEST(ContextState, EndDetaches) {
  Image img(4, 4, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0xFF00FF00u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
  EXPECT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0xFFFF0000u), BL_ERROR_INVALID_STATE);
  EXPECT_EQ(img.pixel32(0, 0), 0xFF00FF00u);
}

TEST(ContextState, CannotAttachToEmptyImage) {
  Image empty;
  BLContextCore ctx;
  EXPECT_NE(bl_context_init_as(&ctx, &empty.core, nullptr), BL_SUCCESS);
  bl_context_destroy(&ctx);
}

TEST(ContextState, AttachedContextKeepsImageAlive) {
  BLImageCore img;
  ASSERT_EQ(bl_image_init_as(&img, 16, 16, BL_FORMAT_PRGB32), BL_SUCCESS);
  BLContextCore ctx;
  ASSERT_EQ(bl_context_init_as(&ctx, &img, nullptr), BL_SUCCESS);
  ASSERT_EQ(bl_image_destroy(&img), BL_SUCCESS);
  EXPECT_EQ(bl_context_fill_all_rgba32(&ctx, 0xFF00FF00u), BL_SUCCESS);
  const BLCircle circle = {8, 8, 5};
  EXPECT_EQ(bl_context_fill_geometry_rgba32(&ctx, BL_GEOMETRY_TYPE_CIRCLE, &circle, 0xFFFF0000u), BL_SUCCESS);
  EXPECT_EQ(bl_context_end(&ctx), BL_SUCCESS);
  EXPECT_EQ(bl_context_destroy(&ctx), BL_SUCCESS);
}

TEST(ContextState, TwoContextsOnOneImageInTurn) {
  Image img(4, 4, BL_FORMAT_PRGB32);
  {
    Context a(img);
    ASSERT_EQ(bl_context_fill_all_rgba32(&a.core, 0xFF0000FFu), BL_SUCCESS);
  }
  {
    Context b(img);
    const double box[4] = {0, 0, 2, 4};
    ASSERT_EQ(bl_context_fill_geometry_rgba32(&b.core, BL_GEOMETRY_TYPE_BOXD, box, 0xFFFF0000u), BL_SUCCESS);
  }
  expect_box(img, 0, 0, 2, 4, 0xFFFF0000u, 0xFF0000FFu);
}

}  // namespace
