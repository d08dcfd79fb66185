// Path storage: the command/vertex entries each call appends, add_path,
// clear and reset.
#include <gtest/gtest.h>

#include "bl_holders.h"

#include <cmath>
#include <vector>

namespace {

using quillon_test::Path;

void expect_entry(const Path& p, size_t i, uint8_t cmd, double x, double y) {
  SCOPED_TRACE(testing::Message() << "entry " << i);
  ASSERT_LT(i, p.size());
  EXPECT_EQ(p.cmd(i), cmd);
  EXPECT_EQ(p.vtx(i).x, x);
  EXPECT_EQ(p.vtx(i).y, y);
}

void expect_nan_vertex(const Path& p, size_t i) {
  SCOPED_TRACE(testing::Message() << "entry " << i);
  EXPECT_TRUE(std::isnan(p.vtx(i).x));
  EXPECT_TRUE(std::isnan(p.vtx(i).y));
}

// Two paths hold the same entries (NaN equal to NaN).
void expect_same_entries(const Path& a, size_t a_first, const Path& b, size_t b_first, size_t count) {
  for (size_t k = 0; k < count; k++) {
    SCOPED_TRACE(testing::Message() << "entries " << a_first + k << " / " << b_first + k);
    EXPECT_EQ(a.cmd(a_first + k), b.cmd(b_first + k));
    BLPoint va = a.vtx(a_first + k), vb = b.vtx(b_first + k);
    EXPECT_TRUE(va.x == vb.x || (std::isnan(va.x) && std::isnan(vb.x)));
    EXPECT_TRUE(va.y == vb.y || (std::isnan(va.y) && std::isnan(vb.y)));
  }
}

// MOVE, ON, QUAD+ON, CUBIC+CUBIC+ON, CONIC+WEIGHT+ON, CLOSE: 11 entries.
void build_every_kind(Path& p) {
  ASSERT_EQ(bl_path_move_to(&p.core, 1, 2), BL_SUCCESS);
  ASSERT_EQ(bl_path_line_to(&p.core, 3, 4), BL_SUCCESS);
  ASSERT_EQ(bl_path_quad_to(&p.core, 5, 6, 7, 8), BL_SUCCESS);
  ASSERT_EQ(bl_path_cubic_to(&p.core, 9, 10, 11, 12, 13, 14), BL_SUCCESS);
  ASSERT_EQ(bl_path_conic_to(&p.core, 15, 16, 17, 18, 0.5), BL_SUCCESS);
  ASSERT_EQ(bl_path_close(&p.core), BL_SUCCESS);
}

TEST(PathEntries, NewPathIsEmpty) {
  Path p;
  EXPECT_EQ(p.size(), 0u);
}

TEST(PathEntries, EachCallAppendsItsCommandsAndVertices) {
  Path p;
  build_every_kind(p);
  ASSERT_EQ(p.size(), 11u);
  expect_entry(p, 0, BL_PATH_CMD_MOVE, 1, 2);
  expect_entry(p, 1, BL_PATH_CMD_ON, 3, 4);
  expect_entry(p, 2, BL_PATH_CMD_QUAD, 5, 6);
  expect_entry(p, 3, BL_PATH_CMD_ON, 7, 8);
  expect_entry(p, 4, BL_PATH_CMD_CUBIC, 9, 10);
  expect_entry(p, 5, BL_PATH_CMD_CUBIC, 11, 12);
  expect_entry(p, 6, BL_PATH_CMD_ON, 13, 14);
  expect_entry(p, 7, BL_PATH_CMD_CONIC, 15, 16);
  EXPECT_EQ(p.cmd(8), BL_PATH_CMD_WEIGHT);
  EXPECT_EQ(p.vtx(8).x, 0.5);
  EXPECT_TRUE(std::isnan(p.vtx(8).y));
  expect_entry(p, 9, BL_PATH_CMD_ON, 17, 18);
  EXPECT_EQ(p.cmd(10), BL_PATH_CMD_CLOSE);
  expect_nan_vertex(p, 10);
}

TEST(PathEntries, LineToOnEmptyPathAddsNoImplicitMove) {
  Path p;
  ASSERT_EQ(bl_path_line_to(&p.core, 5, 6), BL_SUCCESS);
  ASSERT_EQ(p.size(), 1u);
  expect_entry(p, 0, BL_PATH_CMD_ON, 5, 6);
}

TEST(PathEntries, ManyEntriesSurviveGrowth) {
  Path p;
  ASSERT_EQ(bl_path_move_to(&p.core, 0, 0), BL_SUCCESS);
  for (int i = 1; i < 5000; i++) ASSERT_EQ(bl_path_line_to(&p.core, i, -i), BL_SUCCESS);
  ASSERT_EQ(p.size(), 5000u);
  expect_entry(p, 0, BL_PATH_CMD_MOVE, 0, 0);
  for (size_t i = 1; i < 5000; i++) {
    ASSERT_EQ(p.cmd(i), BL_PATH_CMD_ON);
    ASSERT_EQ(p.vtx(i).x, static_cast<double>(i));
    ASSERT_EQ(p.vtx(i).y, -static_cast<double>(i));
  }
}

TEST(PathAddPath, WithoutRangeAppendsEverything) {
  Path src, dst;
  build_every_kind(src);
  ASSERT_EQ(bl_path_move_to(&dst.core, -1, -1), BL_SUCCESS);
  ASSERT_EQ(bl_path_add_path(&dst.core, &src.core, nullptr), BL_SUCCESS);
  ASSERT_EQ(dst.size(), 12u);
  expect_entry(dst, 0, BL_PATH_CMD_MOVE, -1, -1);
  expect_same_entries(dst, 1, src, 0, 11);
  EXPECT_EQ(src.size(), 11u);
}

TEST(PathAddPath, RangeSelectsHalfOpenSlice) {
  Path src, dst;
  build_every_kind(src);
  const BLRange range = {4, 7};  // the cubic's three entries
  ASSERT_EQ(bl_path_add_path(&dst.core, &src.core, &range), BL_SUCCESS);
  ASSERT_EQ(dst.size(), 3u);
  expect_same_entries(dst, 0, src, 4, 3);
}

TEST(PathAddPath, RangeEndIsClampedToSourceSize) {
  Path src, dst;
  build_every_kind(src);
  const BLRange range = {7, 1000};
  ASSERT_EQ(bl_path_add_path(&dst.core, &src.core, &range), BL_SUCCESS);
  ASSERT_EQ(dst.size(), 4u);
  expect_same_entries(dst, 0, src, 7, 4);
}

TEST(PathAddPath, EmptyRangeAppendsNothing) {
  Path src, dst;
  build_every_kind(src);
  ASSERT_EQ(bl_path_move_to(&dst.core, 1, 1), BL_SUCCESS);
  const BLRange empty = {3, 3};
  EXPECT_EQ(bl_path_add_path(&dst.core, &src.core, &empty), BL_SUCCESS);
  const BLRange past_end = {20, 30};
  EXPECT_EQ(bl_path_add_path(&dst.core, &src.core, &past_end), BL_SUCCESS);
  EXPECT_EQ(dst.size(), 1u);
}

TEST(PathAddPath, EmptySourceAppendsNothing) {
  Path src, dst;
  ASSERT_EQ(bl_path_move_to(&dst.core, 1, 1), BL_SUCCESS);
  EXPECT_EQ(bl_path_add_path(&dst.core, &src.core, nullptr), BL_SUCCESS);
  EXPECT_EQ(dst.size(), 1u);
}

TEST(PathAddPath, OntoItselfDoublesThePath) {
  Path p;
  build_every_kind(p);
  ASSERT_EQ(bl_path_add_path(&p.core, &p.core, nullptr), BL_SUCCESS);
  ASSERT_EQ(p.size(), 22u);
  expect_same_entries(p, 11, p, 0, 11);
}

TEST(PathAddPath, OntoItselfWhileStorageGrows) {
  // Large enough that appending to itself must move the storage.
  Path p;
  ASSERT_EQ(bl_path_move_to(&p.core, 0, 0), BL_SUCCESS);
  for (int i = 1; i < 3000; i++) ASSERT_EQ(bl_path_line_to(&p.core, i, 2 * i), BL_SUCCESS);
  for (int round = 0; round < 3; round++) {
    size_t n = p.size();
    ASSERT_EQ(bl_path_add_path(&p.core, &p.core, nullptr), BL_SUCCESS);
    ASSERT_EQ(p.size(), 2 * n);
    expect_same_entries(p, n, p, 0, n);
  }
  const BLRange tail = {p.size() - 2, p.size()};
  ASSERT_EQ(bl_path_add_path(&p.core, &p.core, &tail), BL_SUCCESS);
  expect_entry(p, p.size() - 1, BL_PATH_CMD_ON, 2999, 5998);
}

TEST(PathClearReset, ClearEmptiesAndKeepsStorage) {
  Path p;
  build_every_kind(p);
  const uint8_t* cmd_before = bl_path_get_command_data(&p.core);
  ASSERT_EQ(bl_path_clear(&p.core), BL_SUCCESS);
  EXPECT_EQ(p.size(), 0u);
  ASSERT_EQ(bl_path_move_to(&p.core, 7, 8), BL_SUCCESS);
  ASSERT_EQ(p.size(), 1u);
  expect_entry(p, 0, BL_PATH_CMD_MOVE, 7, 8);
  EXPECT_EQ(bl_path_get_command_data(&p.core), cmd_before);
}

TEST(PathClearReset, ResetEmptiesAndPathStaysUsable) {
  Path p;
  build_every_kind(p);
  ASSERT_EQ(bl_path_reset(&p.core), BL_SUCCESS);
  EXPECT_EQ(p.size(), 0u);
  build_every_kind(p);
  EXPECT_EQ(p.size(), 11u);
  expect_entry(p, 0, BL_PATH_CMD_MOVE, 1, 2);
}

TEST(PathClearReset, EmptyPathStillAllowsResetAndClear) {
  Path p;
  EXPECT_EQ(bl_path_clear(&p.core), BL_SUCCESS);
  EXPECT_EQ(bl_path_reset(&p.core), BL_SUCCESS);
  EXPECT_EQ(p.size(), 0u);
}

}  // namespace
