// Images: creation, pixel data description, direct pixel access and PNG
// output.
#include <gtest/gtest.h>

#include "bl_holders.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

using quillon_test::Context;
using quillon_test::Image;
namespace fs = std::filesystem;

TEST(ImageCreate, EmptyImageDescribesNoPixels) {
  Image img;
  BLImageData d = img.data();
  EXPECT_EQ(d.size.w, 0);
  EXPECT_EQ(d.size.h, 0);
  EXPECT_EQ(d.format, static_cast<uint32_t>(BL_FORMAT_NONE));
}

TEST(ImageCreate, DataDescribesSizeFormatAndStride) {
  struct Case { BLFormat format; int bytes_per_pixel; };
  for (Case c : {Case{BL_FORMAT_PRGB32, 4}, Case{BL_FORMAT_XRGB32, 4}, Case{BL_FORMAT_A8, 1}}) {
    SCOPED_TRACE(testing::Message() << "format " << c.format);
    Image img(37, 5, c.format);
    BLImageData d = img.data();
    EXPECT_NE(d.pixel_data, nullptr);
    EXPECT_EQ(d.size.w, 37);
    EXPECT_EQ(d.size.h, 5);
    EXPECT_EQ(d.format, static_cast<uint32_t>(c.format));
    EXPECT_GE(d.stride, 37 * c.bytes_per_pixel);
  }
}

TEST(ImageCreate, RejectsNonPositiveSizeAndNoFormat) {
  BLImageCore img;
  EXPECT_EQ(bl_image_init_as(&img, 0, 10, BL_FORMAT_PRGB32), BL_ERROR_INVALID_VALUE);
  bl_image_destroy(&img);
  EXPECT_EQ(bl_image_init_as(&img, 10, -1, BL_FORMAT_PRGB32), BL_ERROR_INVALID_VALUE);
  bl_image_destroy(&img);
  EXPECT_EQ(bl_image_init_as(&img, 10, 10, BL_FORMAT_NONE), BL_ERROR_INVALID_VALUE);
  bl_image_destroy(&img);
}

TEST(ImagePixels, DirectWritesAndDrawingInterleave) {
  Image img(8, 8, BL_FORMAT_PRGB32);
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0xFF000000u), BL_SUCCESS);
  EXPECT_EQ(img.pixel32(3, 3), 0xFF000000u);

  img.set_pixel32(3, 3, 0xFF0000FFu);  // written behind the context's back
  const double box[4] = {0, 0, 8, 8};
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_BOXD, box, 0x80FF0000u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);

  // Half-transparent red over the written blue vs. over the black elsewhere.
  EXPECT_PRED3(quillon_test::channels_near, img.pixel32(3, 3), 0xFF80007Fu, 1);
  EXPECT_PRED3(quillon_test::channels_near, img.pixel32(4, 3), 0xFF800000u, 1);
}

// ---- PNG output ----------------------------------------------------------

class ImagePng : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("blend2d_tests_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  static std::vector<unsigned char> read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
  }
  static uint32_t be32(const std::vector<unsigned char>& b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | uint32_t(b[at + 3]);
  }

  // Checks signature, a leading IHDR with the given size, and a final IEND.
  static void expect_png(const fs::path& p, uint32_t w, uint32_t h) {
    std::vector<unsigned char> b = read_file(p);
    ASSERT_GE(b.size(), 8u + 25u + 12u) << p;
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    EXPECT_TRUE(std::equal(signature, signature + 8, b.begin()));
    EXPECT_EQ(be32(b, 8), 13u);  // IHDR data length
    EXPECT_EQ(std::string(b.begin() + 12, b.begin() + 16), "IHDR");
    EXPECT_EQ(be32(b, 16), w);
    EXPECT_EQ(be32(b, 20), h);
    EXPECT_EQ(b[24], 8);  // bit depth
    EXPECT_EQ(std::string(b.end() - 8, b.end() - 4), "IEND");
  }

  fs::path dir_;
};

TEST_F(ImagePng, WritesPrgb32ByExtension) {
  Image img(23, 11, BL_FORMAT_PRGB32);
  {
    Context ctx(img);
    ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0x80336699u), BL_SUCCESS);
  }
  fs::path file = dir_ / "out.png";
  ASSERT_EQ(bl_image_write_to_file(&img.core, file.string().c_str(), nullptr), BL_SUCCESS);
  expect_png(file, 23, 11);
}

TEST_F(ImagePng, WritesXrgb32AndA8) {
  Image rgb(5, 7, BL_FORMAT_XRGB32);
  Image a8(9, 3, BL_FORMAT_A8);
  ASSERT_EQ(bl_image_write_to_file(&rgb.core, (dir_ / "rgb.png").string().c_str(), nullptr), BL_SUCCESS);
  ASSERT_EQ(bl_image_write_to_file(&a8.core, (dir_ / "a8.png").string().c_str(), nullptr), BL_SUCCESS);
  expect_png(dir_ / "rgb.png", 5, 7);
  expect_png(dir_ / "a8.png", 9, 3);
}

TEST_F(ImagePng, UnknownExtensionFails) {
  Image img(4, 4, BL_FORMAT_PRGB32);
  fs::path file = dir_ / "out.unknownext";
  EXPECT_NE(bl_image_write_to_file(&img.core, file.string().c_str(), nullptr), BL_SUCCESS);
}

TEST_F(ImagePng, UnwritableLocationFails) {
  Image img(4, 4, BL_FORMAT_PRGB32);
  fs::path file = dir_ / "no_such_dir" / "out.png";
  EXPECT_NE(bl_image_write_to_file(&img.core, file.string().c_str(), nullptr), BL_SUCCESS);
}

}  // namespace
