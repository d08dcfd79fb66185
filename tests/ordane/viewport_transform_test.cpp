// Viewport transform: the fit of a box into a viewport (both modes, margins,
// degenerate boxes, NaN) and the mapping of Point arrays through it.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "ordane.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

GeoTransform garbage_record() {
  GeoTransform t;
  std::memset(&t, 0x5A, sizeof t);
  return t;
}

GeoTransform fit(double min_x, double min_y, double max_x, double max_y, double width,
                 double height, double margin, int32_t both, int32_t flip) {
  GeoTransform t = garbage_record();
  ordane_init_transform(&t, min_x, min_y, max_x, max_y, width, height, margin, both, flip);
  return t;
}

std::vector<double> map(const std::vector<double>& in, const GeoTransform* t) {
  std::vector<double> out(in.size(), -1);
  EXPECT_EQ(ordane_transform_coords(in.data(), out.data(), static_cast<int64_t>(in.size() / 2), t),
            0);
  return out;
}

// ---------------------------------------------------------------------------
// ordane_init_transform
// ---------------------------------------------------------------------------

struct FitCase {
  int32_t both;
  int32_t flip;
  double scale, offset_x, offset_y;
  double corner_min[2];  // where (0, 0) lands
  double corner_max[2];  // where (200, 100) lands
};

// Box (0, 0)-(200, 100) in a 400 x 400 viewport with a 10 % margin.
const FitCase kWorkedExample[] = {
    {1, 1, 1.6, 40, 120, {40, 280}, {360, 120}},
    {1, 0, 1.6, 40, 120, {40, 120}, {360, 280}},
    {0, 1, 1.6, 40, 40, {40, 360}, {360, 200}},
    {0, 0, 1.6, 40, 40, {40, 40}, {360, 200}},
};

TEST(ordane_init_transform, WorkedExampleInBothModesWithAndWithoutFlip) {
  for (const FitCase& c : kWorkedExample) {
    SCOPED_TRACE(testing::Message() << "fit_both_axes " << c.both << " flip_y " << c.flip);
    const GeoTransform t = fit(0, 0, 200, 100, 400, 400, 0.1, c.both, c.flip);
    EXPECT_EQ(t.min_x, 0);
    EXPECT_EQ(t.min_y, 0);
    EXPECT_EQ(t.max_x, 200);
    EXPECT_EQ(t.max_y, 100);
    EXPECT_EQ(t.width, 400);
    EXPECT_EQ(t.height, 400);
    EXPECT_EQ(t.flip_y, c.flip);
    EXPECT_DOUBLE_EQ(t.scale, c.scale);
    EXPECT_DOUBLE_EQ(t.offset_x, c.offset_x);
    EXPECT_DOUBLE_EQ(t.offset_y, c.offset_y);
    const std::vector<double> px = map({0, 0, 200, 100}, &t);
    EXPECT_NEAR(px[0], c.corner_min[0], 1e-12);
    EXPECT_NEAR(px[1], c.corner_min[1], 1e-12);
    EXPECT_NEAR(px[2], c.corner_max[0], 1e-12);
    EXPECT_NEAR(px[3], c.corner_max[1], 1e-12);
  }
}

TEST(ordane_init_transform, FlipStoresTheFlagUnchangedAndNullRecordIsIgnored) {
  EXPECT_EQ(fit(0, 0, 1, 1, 10, 10, 0, 1, -7).flip_y, -7);
  ordane_init_transform(nullptr, 0, 0, 1, 1, 10, 10, 0, 1, 1);  // must simply return
}

TEST(ordane_init_transform, TallBoxIsLimitedByHeightAndCentredHorizontally) {
  const GeoTransform t = fit(10, 20, 30, 120, 300, 200, 0, 1, 0);
  EXPECT_EQ(t.scale, 2.0);       // 200 / 100 beats 300 / 20
  EXPECT_EQ(t.offset_x, 130.0);  // (300 - 40) / 2
  EXPECT_EQ(t.offset_y, 0.0);
}

TEST(ordane_init_transform, DegenerateExtentsUseOneMillionth) {
  // Zero width: dx = 1e-6.
  GeoTransform t = fit(5, 0, 5, 10, 100, 100, 0, 0, 0);
  EXPECT_EQ(t.scale, 100 / 1e-6);
  // Inverted box likewise.
  t = fit(5, 0, 4, 10, 100, 100, 0, 0, 0);
  EXPECT_EQ(t.scale, 100 / 1e-6);
  // Zero height while fitting both axes: sy is huge, sx wins, centring
  // puts the flat box on the vertical middle.
  t = fit(0, 7, 50, 7, 100, 100, 0, 1, 0);
  EXPECT_EQ(t.scale, 2.0);
  EXPECT_NEAR(t.offset_y, 50.0, 1e-5);
}

TEST(ordane_init_transform, EmptyAvailableAreaGivesTheIdentity) {
  // Width 0 or a margin of one half leaves no room: scale 0, and a scale of
  // 0 maps nothing and does not flip.
  for (const GeoTransform& t :
       {fit(0, 0, 10, 10, 0, 100, 0.1, 0, 1), fit(0, 0, 10, 10, 100, 100, 0.5, 1, 1)}) {
    EXPECT_EQ(t.scale, 0.0);
    EXPECT_EQ(map({3, 4, -1e9, 1e9}, &t), (std::vector<double>{3, 4, -1e9, 1e9}));
  }
}

TEST(ordane_init_transform, MarginAboveOneHalfMirrorsWithoutClamping) {
  const GeoTransform t = fit(0, 0, 10, 10, 100, 100, 0.6, 0, 0);
  EXPECT_DOUBLE_EQ(t.scale, -2.0);  // (100 - 120) / 10
  const std::vector<double> px = map({0, 0, 10, 10}, &t);
  EXPECT_GT(px[0], px[2]);
}

TEST(ordane_init_transform, NanSelectsTheHeightScale) {
  // NaN width extent: sx is NaN, the comparison fails and sy is taken.
  GeoTransform t = fit(kNaN, 0, 10, 10, 100, 100, 0, 1, 0);
  EXPECT_EQ(t.scale, 10.0);
  // NaN height extent: sy is NaN and is taken.
  t = fit(0, 0, 10, kNaN, 100, 100, 0, 1, 0);
  EXPECT_TRUE(std::isnan(t.scale));
  // A NaN scale is not 0: the mapping applies and yields NaN.
  const std::vector<double> px = map({1, 1}, &t);
  EXPECT_TRUE(std::isnan(px[0]) && std::isnan(px[1]));
}

// ---------------------------------------------------------------------------
// ordane_transform_coords
// ---------------------------------------------------------------------------

TEST(ordane_transform_coords, BadArgumentsReturnMinusOneAndWriteNothing) {
  const GeoTransform t = fit(0, 0, 1, 1, 10, 10, 0, 1, 1);
  const double in[2] = {0.5, 0.5};
  double out[2] = {-7, -7};
  EXPECT_EQ(ordane_transform_coords(nullptr, out, 1, &t), -1);
  EXPECT_EQ(ordane_transform_coords(in, nullptr, 1, &t), -1);
  EXPECT_EQ(ordane_transform_coords(in, out, 0, &t), -1);
  EXPECT_EQ(ordane_transform_coords(in, out, -3, nullptr), -1);
  EXPECT_EQ(out[0], -7);
  EXPECT_EQ(out[1], -7);
}

TEST(ordane_transform_coords, NullRecordCopiesAndZeroScaleNeitherMapsNorFlips) {
  const std::vector<double> in = {1.5, -2.5, kNaN, 1e300};
  std::vector<double> out = map(in, nullptr);
  EXPECT_EQ(out[0], 1.5);
  EXPECT_EQ(out[1], -2.5);
  EXPECT_TRUE(std::isnan(out[2]));
  EXPECT_EQ(out[3], 1e300);
  GeoTransform t = fit(0, 0, 1, 1, 10, 10, 0, 1, 1);
  t.scale = 0.0;
  out = map(in, &t);
  EXPECT_EQ(out[0], 1.5);
  EXPECT_EQ(out[1], -2.5);
}

TEST(ordane_transform_coords, MatchesTheFormulaInPlaceOrNot) {
  // Values where (x - min) * s + o differs in its last bits from other
  // arrangements such as x * s + (o - min * s).
  GeoTransform t{};
  t.min_x = -13.71;
  t.min_y = 1e6 / 3;
  t.height = 777.77;
  t.offset_x = 0.1;
  t.offset_y = 0.3;
  t.scale = 1.0 / 7;
  std::vector<double> in;
  for (int i = 0; i < 500; ++i) {
    in.push_back(i * 1.37 - 300);
    in.push_back(1e6 / 3 + i * 0.913);
  }
  for (int32_t flip : {0, 1}) {
    t.flip_y = flip;
    const std::vector<double> out = map(in, &t);
    std::vector<double> inplace = in;
    ASSERT_EQ(ordane_transform_coords(inplace.data(), inplace.data(), 500, &t), 0);
    for (size_t i = 0; i < in.size(); i += 2) {
      const double x = (in[i] - t.min_x) * t.scale + t.offset_x;
      double y = (in[i + 1] - t.min_y) * t.scale + t.offset_y;
      if (flip) y = t.height - y;
      ASSERT_EQ(out[i], x) << i;
      ASSERT_EQ(out[i + 1], y) << i;
      ASSERT_EQ(inplace[i], x) << i;
      ASSERT_EQ(inplace[i + 1], y) << i;
    }
  }
}

TEST(ordane_transform_coords, FlipPutsNorthUp) {
  const GeoTransform t = fit(-50, -20, 50, 80, 640, 480, 0.05, 1, 1);
  const std::vector<double> px = map({0, -20, 0, 80}, &t);
  EXPECT_GT(px[1], px[3]);  // min_y on the lower row, max_y on the upper
  EXPECT_NEAR(px[1], 480 - 24, 1e-9);
  EXPECT_NEAR(px[3], 24, 1e-9);
}

}  // namespace
