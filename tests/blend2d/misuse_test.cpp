// Misuse that the real library answers with a crash or memory corruption:
// objects that were never initialised, or are used after their _destroy.  The
// stand-in must fail as loudly (abort with a message naming the call) so that
// such code fails in tests rather than in production.  Against the real
// library these cases are undefined behaviour and are not run.
#include <gtest/gtest.h>

#include <blend2d/blend2d.h>

#include <cstring>

namespace {

#if defined(BL2DCOMPAT_BLEND2D_H)

class MisuseDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(MisuseDeathTest, ZeroFilledCoresAbortOnFirstUse) {
  BLPathCore path;
  std::memset(&path, 0, sizeof path);
  EXPECT_DEATH(bl_path_move_to(&path, 1, 2), "bl_path_move_to\\(\\): the BLPathCore passed was never initialised");
  EXPECT_DEATH(bl_path_get_size(&path), "bl_path_get_size");
  EXPECT_DEATH(bl_path_destroy(&path), "bl_path_destroy");

  BLImageCore image;
  std::memset(&image, 0, sizeof image);
  EXPECT_DEATH(bl_image_destroy(&image), "bl_image_destroy\\(\\): the BLImageCore passed was never initialised");
  BLContextCore ctx;
  std::memset(&ctx, 0, sizeof ctx);
  EXPECT_DEATH(bl_context_init_as(&ctx, &image, nullptr), "bl_context_init_as\\(\\): the BLImageCore");
  EXPECT_DEATH(bl_context_fill_all_rgba32(&ctx, 0xFFFFFFFFu), "bl_context_fill_all_rgba32\\(\\): the BLContextCore");
}

TEST_F(MisuseDeathTest, UseAfterDestroyAborts) {
  BLPathCore path;
  ASSERT_EQ(bl_path_init(&path), BL_SUCCESS);
  ASSERT_EQ(bl_path_move_to(&path, 1, 2), BL_SUCCESS);
  ASSERT_EQ(bl_path_destroy(&path), BL_SUCCESS);
  EXPECT_DEATH(bl_path_line_to(&path, 3, 4), "bl_path_line_to\\(\\): the BLPathCore passed was used after it was destroyed");
  EXPECT_DEATH(bl_path_destroy(&path), "used after it was destroyed");

  BLImageCore image;
  ASSERT_EQ(bl_image_init_as(&image, 4, 4, BL_FORMAT_PRGB32), BL_SUCCESS);
  BLContextCore ctx;
  ASSERT_EQ(bl_context_init_as(&ctx, &image, nullptr), BL_SUCCESS);
  ASSERT_EQ(bl_context_destroy(&ctx), BL_SUCCESS);
  EXPECT_DEATH(bl_context_fill_all_rgba32(&ctx, 0xFFFFFFFFu), "used after it was destroyed");
  ASSERT_EQ(bl_image_destroy(&image), BL_SUCCESS);
  EXPECT_DEATH(bl_context_init_as(&ctx, &image, nullptr), "bl_context_init_as\\(\\): the BLImageCore passed was used after");

  // A path of one type passed as another is caught the same way.
  BLPathCore p2;
  ASSERT_EQ(bl_path_init(&p2), BL_SUCCESS);
  EXPECT_DEATH(bl_context_fill_all_rgba32(reinterpret_cast<BLContextCore*>(&p2), 0u), "BLContextCore");
  ASSERT_EQ(bl_path_destroy(&p2), BL_SUCCESS);
}

TEST_F(MisuseDeathTest, InitialisedObjectsStayUsableAcrossEndAndFailedInit) {
  // What the real library allows must keep working: a context after
  // bl_context_end, and objects whose _init_as failed, are destroyed cleanly.
  BLImageCore bad;
  EXPECT_NE(bl_image_init_as(&bad, 0, 0, BL_FORMAT_PRGB32), BL_SUCCESS);
  BLContextCore ctx;
  EXPECT_NE(bl_context_init_as(&ctx, &bad, nullptr), BL_SUCCESS);
  EXPECT_EQ(bl_context_fill_all_rgba32(&ctx, 0u), BL_ERROR_INVALID_STATE);
  EXPECT_EQ(bl_context_destroy(&ctx), BL_SUCCESS);
  EXPECT_EQ(bl_image_destroy(&bad), BL_SUCCESS);
}

#endif  // BL2DCOMPAT_BLEND2D_H

}  // namespace
