// Layout and enum values that are part of the ABI shared with Blend2D.
#include <gtest/gtest.h>

#include "bl_holders.h"

#include <cstddef>
#include <type_traits>

#if defined(BLT_HAVE_C_CHECK)
extern "C" {
size_t blt_c_sizeof(int which);
size_t blt_c_alignof_cores(void);
int blt_c_build_path(void);
}
#endif

namespace {

static_assert(std::is_same<BLResult, uint32_t>::value, "BLResult is uint32_t");

TEST(Abi, ObjectCoresAre16BytesAnd8Aligned) {
  EXPECT_EQ(sizeof(BLPathCore), 16u);
  EXPECT_EQ(sizeof(BLImageCore), 16u);
  EXPECT_EQ(sizeof(BLContextCore), 16u);
  EXPECT_EQ(alignof(BLPathCore), 8u);
  EXPECT_EQ(alignof(BLImageCore), 8u);
  EXPECT_EQ(alignof(BLContextCore), 8u);
}

TEST(Abi, ValueTypeLayouts) {
  EXPECT_EQ(sizeof(BLPoint), 2 * sizeof(double));
  EXPECT_EQ(sizeof(BLCircle), 3 * sizeof(double));
  EXPECT_EQ(sizeof(BLRange), 2 * sizeof(size_t));
  EXPECT_EQ(sizeof(BLSizeI), 2 * sizeof(int));
  EXPECT_EQ(offsetof(BLImageData, pixel_data), 0u);
  EXPECT_EQ(offsetof(BLImageData, stride), sizeof(void*));
  EXPECT_EQ(offsetof(BLImageData, size), 2 * sizeof(void*));
  EXPECT_EQ(offsetof(BLImageData, format), 2 * sizeof(void*) + sizeof(BLSizeI));
  EXPECT_EQ(offsetof(BLImageData, flags), 2 * sizeof(void*) + sizeof(BLSizeI) + 4);
}

TEST(Abi, EnumValues) {
  EXPECT_EQ(BL_SUCCESS, 0u);
  EXPECT_EQ(BL_ERROR_START_INDEX, 0x00010000u);
  EXPECT_EQ(BL_ERROR_OUT_OF_MEMORY, 0x00010000u);
  EXPECT_EQ(BL_ERROR_INVALID_VALUE, 0x00010001u);
  EXPECT_EQ(BL_ERROR_INVALID_STATE, 0x00010002u);

  EXPECT_EQ(BL_PATH_CMD_MOVE, 0u);
  EXPECT_EQ(BL_PATH_CMD_ON, 1u);
  EXPECT_EQ(BL_PATH_CMD_QUAD, 2u);
  EXPECT_EQ(BL_PATH_CMD_CONIC, 3u);
  EXPECT_EQ(BL_PATH_CMD_CUBIC, 4u);
  EXPECT_EQ(BL_PATH_CMD_CLOSE, 5u);
  EXPECT_EQ(BL_PATH_CMD_WEIGHT, 6u);

  EXPECT_EQ(BL_GEOMETRY_TYPE_NONE, 0u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_BOXI, 1u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_BOXD, 2u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_RECTI, 3u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_RECTD, 4u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_CIRCLE, 5u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_ELLIPSE, 6u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_ROUND_RECT, 7u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_ARC, 8u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_CHORD, 9u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_PIE, 10u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_LINE, 11u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_TRIANGLE, 12u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_POLYLINEI, 13u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_POLYLINED, 14u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_POLYGONI, 15u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_POLYGOND, 16u);
  EXPECT_EQ(BL_GEOMETRY_TYPE_PATH, 21u);

  EXPECT_EQ(BL_FORMAT_NONE, 0u);
  EXPECT_EQ(BL_FORMAT_PRGB32, 1u);
  EXPECT_EQ(BL_FORMAT_XRGB32, 2u);
  EXPECT_EQ(BL_FORMAT_A8, 3u);

  EXPECT_EQ(BL_COMP_OP_SRC_OVER, 0u);
  EXPECT_EQ(BL_COMP_OP_SRC_COPY, 1u);
}

#if defined(BLT_HAVE_C_CHECK)
TEST(Abi, HeaderCompiledAsC99AgreesWithCxx) {
  EXPECT_EQ(blt_c_sizeof(0), sizeof(BLPathCore));
  EXPECT_EQ(blt_c_sizeof(1), sizeof(BLImageCore));
  EXPECT_EQ(blt_c_sizeof(2), sizeof(BLContextCore));
  EXPECT_EQ(blt_c_sizeof(3), sizeof(BLImageData));
  EXPECT_EQ(blt_c_sizeof(4), sizeof(BLFormat));
  EXPECT_EQ(blt_c_sizeof(5), sizeof(BLPathCmd));
  EXPECT_EQ(blt_c_alignof_cores(), 8u);
  EXPECT_EQ(blt_c_build_path(), 1);
}
#endif

}  // namespace
