// Clipping to a panel: rings stay closed and inside, lines split where they
// leave and re-enter.
#include "clip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using poster::Rect;

double ring_area(const std::vector<double>& r) {
  double a = 0.0;
  for (size_t i = 0; i + 3 < r.size(); i += 2) a += r[i] * r[i + 3] - r[i + 2] * r[i + 1];
  return std::fabs(a) * 0.5;
}

TEST(clip_ring, KeepsARingInsideAndClosesIt) {
  const double square[] = {1, 1, 4, 1, 4, 4, 1, 4};
  std::vector<double> out;
  ASSERT_EQ(poster::clip_ring(square, 4, Rect{0, 0, 10, 10}, out), 5u);
  EXPECT_EQ(std::vector<double>(out.begin(), out.begin() + 8),
            std::vector<double>(square, square + 8));
  EXPECT_EQ(out[8], 1.0);
  EXPECT_EQ(out[9], 1.0);
}

TEST(clip_ring, CutsARingToTheRectangle) {
  // A square 0..10 against 5..15: the quarter 5..10 is left, and a closing
  // point that repeats the first (as in shapefiles) changes nothing.
  const double square[] = {0, 0, 0, 10, 10, 10, 10, 0, 0, 0};
  std::vector<double> out{42.0, 42.0};  // appended to, never overwritten
  const size_t n = poster::clip_ring(square, 5, Rect{5, 5, 15, 15}, out);
  ASSERT_GE(n, 5u);
  EXPECT_EQ(out[0], 42.0);
  const std::vector<double> ring(out.begin() + 2, out.end());
  for (size_t i = 0; i < ring.size(); i += 2) {
    EXPECT_GE(ring[i], 5.0);
    EXPECT_LE(ring[i], 10.0);
    EXPECT_GE(ring[i + 1], 5.0);
    EXPECT_LE(ring[i + 1], 10.0);
  }
  EXPECT_DOUBLE_EQ(ring_area(ring), 25.0);
}

TEST(clip_ring, LeavesNothingOfRingsOutsideOrTooSmall) {
  const double far[] = {20, 20, 30, 20, 30, 30};
  const double two[] = {1, 1, 2, 2};
  const double nan_corner[] = {1, 1, std::nan(""), 2, 2, 2};  // two finite points remain
  std::vector<double> out;
  EXPECT_EQ(poster::clip_ring(far, 3, Rect{0, 0, 10, 10}, out), 0u);
  EXPECT_EQ(poster::clip_ring(two, 2, Rect{0, 0, 10, 10}, out), 0u);
  EXPECT_EQ(poster::clip_ring(nan_corner, 3, Rect{0, 0, 10, 10}, out), 0u);
  EXPECT_TRUE(out.empty());
}

TEST(clip_line, SplitsALineThatLeavesAndReenters) {
  // Along y = 5 from x = 0 to 30, out at x = 10 ... up and back in.
  const double line[] = {2, 5, 8, 5, 14, 20, 16, 20, 18, 5, 25, 5};
  std::vector<double> out;
  std::vector<int64_t> ends{0};
  poster::clip_line(line, 6, Rect{0, 0, 20, 10}, out, ends);
  ASSERT_EQ(ends.size(), 3u);  // two pieces
  // First piece: 2,5 -> 8,5 -> exit on y = 10.
  EXPECT_EQ(ends[1], 3);
  EXPECT_EQ(out[0], 2.0);
  EXPECT_EQ(out[2], 8.0);
  EXPECT_DOUBLE_EQ(out[5], 10.0);
  // Second piece: enters on y = 10, runs down to 18,5 and leaves at x = 20.
  EXPECT_EQ(ends[2], 6);
  EXPECT_DOUBLE_EQ(out[7], 10.0);
  EXPECT_EQ(out[8], 18.0);
  EXPECT_DOUBLE_EQ(out[10], 20.0);
  EXPECT_DOUBLE_EQ(out[11], 5.0);
}

TEST(clip_line, BreaksAtNonFinitePointsAndSkipsLinesOutside) {
  const double line[] = {1, 1, 2, 2, std::nan(""), 3, 4, 4, 5, 5};
  const double outside[] = {-5, -5, -1, -1};
  std::vector<double> out;
  std::vector<int64_t> ends{0};
  poster::clip_line(outside, 2, Rect{0, 0, 10, 10}, out, ends);
  EXPECT_TRUE(out.empty());
  poster::clip_line(line, 5, Rect{0, 0, 10, 10}, out, ends);
  EXPECT_EQ(ends, (std::vector<int64_t>{0, 2, 4}));
  EXPECT_EQ(out, (std::vector<double>{1, 1, 2, 2, 4, 4, 5, 5}));
}

}  // namespace
