// Tests of path trimming, read back from the destination path's commands and
// vertices.

#include <velket.h>

#include "bl_holders.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using quillon_test::Path;

struct Entry {
  uint8_t cmd;
  double x;
  double y;
};

std::vector<Entry> entries(const Path& p) {
  const std::vector<uint8_t> c = p.commands();
  const std::vector<BLPoint> v = p.vertices();
  std::vector<Entry> out;
  for (size_t i = 0; i < c.size(); ++i) out.push_back(Entry{c[i], v[i].x, v[i].y});
  return out;
}

Entry M(double x, double y) { return Entry{BL_PATH_CMD_MOVE, x, y}; }
Entry L(double x, double y) { return Entry{BL_PATH_CMD_ON, x, y}; }

// Compares entries; coordinates to a tolerance (pieces end at interpolated
// points), NaN matching NaN.
void expect_entries(const Path& p, const std::vector<Entry>& want, double tol = 1e-9) {
  const std::vector<Entry> got = entries(p);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].cmd, want[i].cmd) << "entry " << i;
    if (std::isnan(want[i].x)) {
      EXPECT_TRUE(std::isnan(got[i].x)) << "entry " << i;
    } else {
      EXPECT_NEAR(got[i].x, want[i].x, tol) << "entry " << i;
    }
    if (std::isnan(want[i].y)) {
      EXPECT_TRUE(std::isnan(got[i].y)) << "entry " << i;
    } else {
      EXPECT_NEAR(got[i].y, want[i].y, tol) << "entry " << i;
    }
  }
}

// A straight line from (0, 0) to (100, 0).
void line100(Path& p) {
  bl_path_move_to(p.get(), 0, 0);
  bl_path_line_to(p.get(), 100, 0);
}

}  // namespace

TEST(velket_trim_path, NullPathsReturnMinusOne) {
  Path src;
  Path dst;
  line100(src);
  EXPECT_EQ(velket_trim_path(nullptr, dst.get(), 0, 1, 0), -1);
  EXPECT_EQ(velket_trim_path(src.get(), nullptr, 0, 1, 0), -1);
  EXPECT_EQ(dst.size(), 0u);
  EXPECT_EQ(src.size(), 2u);
}

TEST(velket_trim_path, DegenerateSourcesAppendNothingEvenForTheWholeRange) {
  Path empty;
  Path one;  // one finite vertex: a move and a close
  bl_path_move_to(one.get(), 5, 5);
  bl_path_close(one.get());
  Path dot;  // zero length
  bl_path_move_to(dot.get(), 5, 5);
  bl_path_line_to(dot.get(), 5, 5);
  bl_path_line_to(dot.get(), 5 + 1e-7, 5);
  Path nonfinite;
  bl_path_move_to(nonfinite.get(), 0, 0);
  bl_path_line_to(nonfinite.get(), HUGE_VAL, 0);
  bl_path_line_to(nonfinite.get(), 1, std::nan(""));
  for (Path* src : {&empty, &one, &dot, &nonfinite}) {
    Path dst;
    EXPECT_EQ(velket_trim_path(src->get(), dst.get(), 0, 1, 0), 0);
    EXPECT_EQ(velket_trim_path(src->get(), dst.get(), 0.2, 0.6, 0), 0);
    EXPECT_EQ(dst.size(), 0u);
  }
}

TEST(velket_trim_path, FullTurnCopiesTheWholeSourceWithItsCommands) {
  Path src;
  bl_path_move_to(src.get(), 0, 0);
  bl_path_cubic_to(src.get(), 0, 50, 50, 50, 50, 0);
  bl_path_conic_to(src.get(), 60, -10, 70, 0, 0.5);
  bl_path_close(src.get());
  const double ranges[][2] = {{0.0, 1.0}, {1.25, 0.25}, {-2.0, -1.0}, {0.5, 3.0}};
  for (const auto& r : ranges) {
    Path dst;
    bl_path_move_to(dst.get(), -1, -1);  // earlier content stays
    EXPECT_EQ(velket_trim_path(src.get(), dst.get(), r[0], r[1], 0.37), 0);
    std::vector<Entry> want = {M(-1, -1)};
    for (const Entry& e : entries(src)) want.push_back(e);
    expect_entries(dst, want, 0.0);
  }
}

TEST(velket_trim_path, MiddleOfALine) {
  Path src;
  Path dst;
  line100(src);
  EXPECT_EQ(velket_trim_path(src.get(), dst.get(), 0.25, 0.75, 0), 0);
  expect_entries(dst, {M(25, 0), L(75, 0)});
}

TEST(velket_trim_path, WrappingRangesGiveTwoFigures) {
  Path src;
  line100(src);
  {
    Path dst;
    velket_trim_path(src.get(), dst.get(), 0.8, 0.2, 0);
    expect_entries(dst, {M(80, 0), L(100, 0), M(0, 0), L(20, 0)});
  }
  {
    // A negative offset: 0 and 0.5 become 0.75 and 0.25.
    Path dst;
    velket_trim_path(src.get(), dst.get(), 0, 0.5, -0.25);
    expect_entries(dst, {M(75, 0), L(100, 0), M(0, 0), L(25, 0)});
  }
  {
    // An end of 1.0 wraps to 0: half to the end, then a zero-length figure.
    Path dst;
    velket_trim_path(src.get(), dst.get(), 0.5, 1.0, 0);
    expect_entries(dst, {M(50, 0), L(100, 0), M(0, 0), L(0, 0)});
  }
  {
    // An offset moves a range past the end.
    Path dst;
    velket_trim_path(src.get(), dst.get(), 0.1, 0.3, 1.8);
    expect_entries(dst, {M(90, 0), L(100, 0), M(0, 0), L(10, 0)});
  }
}

TEST(velket_trim_path, EqualFractionsGiveAZeroLengthFigure) {
  Path src;
  Path dst;
  line100(src);
  velket_trim_path(src.get(), dst.get(), 0.3, 0.3, 0);
  expect_entries(dst, {M(30, 0), L(30, 0)});
}

TEST(velket_trim_path, PassesThroughInnerVerticesAndTouchesOnesOnTheEnds) {
  {
    Path src;
    Path dst;  // lengths 30 .. 120
    bl_path_move_to(src.get(), 0, 0);
    bl_path_line_to(src.get(), 50, 0);
    bl_path_line_to(src.get(), 50, 50);
    bl_path_line_to(src.get(), 100, 50);
    velket_trim_path(src.get(), dst.get(), 0.2, 0.8, 0);
    expect_entries(dst, {M(30, 0), L(50, 0), L(50, 50), L(70, 50)});
  }
  // A range ending or starting exactly on an inner vertex: the segment that
  // only touches the range adds a zero-length line there.
  Path src;
  bl_path_move_to(src.get(), 0, 0);
  bl_path_line_to(src.get(), 50, 0);
  bl_path_line_to(src.get(), 100, 0);
  {
    Path dst;
    velket_trim_path(src.get(), dst.get(), 0.0, 0.5, 0);
    expect_entries(dst, {M(0, 0), L(50, 0), L(50, 0)});
  }
  {
    Path dst;
    velket_trim_path(src.get(), dst.get(), 0.5, 0.75, 0);
    expect_entries(dst, {M(50, 0), L(50, 0), L(75, 0)});
  }
}

TEST(velket_trim_path, MeasuresAllFiguresAndControlPointsAsOnePolyline) {
  {
    // The jump between two figures counts and is drawn inside the range.
    Path src;
    Path dst;
    bl_path_move_to(src.get(), 0, 0);
    bl_path_line_to(src.get(), 10, 0);
    bl_path_move_to(src.get(), 10, 10);
    bl_path_line_to(src.get(), 20, 10);
    velket_trim_path(src.get(), dst.get(), 0.1, 0.9, 0);  // lengths 3 .. 27
    expect_entries(dst, {M(3, 0), L(10, 0), L(10, 10), L(17, 10)});
  }
  {
    // A cubic is followed along its control polygon (length 300).
    Path src;
    Path dst;
    bl_path_move_to(src.get(), 0, 0);
    bl_path_cubic_to(src.get(), 0, 100, 100, 100, 100, 0);
    velket_trim_path(src.get(), dst.get(), 0.1, 0.9, 0);
    expect_entries(dst, {M(0, 30), L(0, 100), L(100, 100), L(100, 30)});
  }
  {
    // Close entries and conic weights hold no point: a closed triangle is
    // measured without its closing edge, a conic through its control point.
    Path src;
    Path dst;
    bl_path_move_to(src.get(), 0, 0);
    bl_path_conic_to(src.get(), 30, 40, 60, 0, 2.0);
    bl_path_close(src.get());
    velket_trim_path(src.get(), dst.get(), 0.0, 1.0 - 1e-12, 0);
    expect_entries(dst, {M(0, 0), L(30, 40), L(60, 0)});
  }
}

TEST(velket_trim_path, SourceAndDestinationMayBeTheSamePath) {
  Path p;
  line100(p);
  EXPECT_EQ(velket_trim_path(p.get(), p.get(), 0.25, 0.75, 0), 0);
  expect_entries(p, {M(0, 0), L(100, 0), M(25, 0), L(75, 0)});
  // The whole-path copy doubles it; the earlier trimmed piece counts too.
  EXPECT_EQ(velket_trim_path(p.get(), p.get(), 0, 1, 0), 0);
  expect_entries(p, {M(0, 0), L(100, 0), M(25, 0), L(75, 0), M(0, 0), L(100, 0), M(25, 0),
                     L(75, 0)},
                 0.0);
}

TEST(velket_trim_path, LongPathEndsExactlyAtTheFractions) {
  // A zigzag of 1000 segments of length 5 (steps of 3 by 4): the piece
  // starts and ends inside the right segments and keeps every vertex between.
  Path src;
  bl_path_move_to(src.get(), 0, 0);
  for (int i = 1; i <= 1000; ++i) bl_path_line_to(src.get(), 3.0 * i, (i % 2) ? 4.0 : 0.0);
  Path dst;
  velket_trim_path(src.get(), dst.get(), 0.5003, 0.7503, 0);  // lengths 2501.5 .. 3751.5
  const std::vector<Entry> got = entries(dst);
  ASSERT_EQ(got.size(), 252u);  // start, vertices 501..750, end
  EXPECT_EQ(got.front().cmd, BL_PATH_CMD_MOVE);
  EXPECT_NEAR(got.front().x, 1500.9, 1e-6);
  EXPECT_NEAR(got.front().y, 1.2, 1e-6);
  EXPECT_EQ(got[1].x, 1503.0);
  EXPECT_NEAR(got.back().x, 2250.9, 1e-6);
  EXPECT_NEAR(got.back().y, 1.2, 1e-6);
  for (size_t i = 1; i < got.size(); ++i) EXPECT_EQ(got[i].cmd, BL_PATH_CMD_ON);
}

TEST(velket_trim_path, LongPathsKeepEveryInnerVertexAndEndExactly) {
  // 1000 unit segments along x, with NaN entries and closes sprinkled in:
  // the piece from 30.05 % to 70.05 % passes through every vertex between.
  Path src;
  bl_path_move_to(src.get(), 0, 0);
  for (int i = 1; i <= 1000; ++i) {
    if (i % 97 == 0) bl_path_close(src.get());
    bl_path_line_to(src.get(), i, 0);
  }
  for (double offset : {0.0, 0.5}) {
    Path dst;
    ASSERT_EQ(velket_trim_path(src.get(), dst.get(), 0.3005 - offset, 0.7005 - offset, offset), 0);
    std::vector<Entry> want{M(300.5, 0)};
    for (int i = 301; i <= 700; ++i) want.push_back(L(i, 0));
    want.push_back(L(700.5, 0));
    expect_entries(dst, want, 1e-9);
  }
  // A wrapping range over the same path: two figures.
  Path dst;
  ASSERT_EQ(velket_trim_path(src.get(), dst.get(), 0.9995, 0.0015, 0), 0);
  expect_entries(dst, {M(999.5, 0), L(1000, 0), M(0, 0), L(1, 0), L(1.5, 0)}, 1e-9);
}
