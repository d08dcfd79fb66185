// Encoding to memory: the PNG codec found by name and bl_image_write_to_data,
// checked against the file bl_image_write_to_file writes for the same image.
#include <gtest/gtest.h>

#include "bl_holders.h"

#include <cstdint>
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

struct Array {
  BLArrayCore core;
  Array() { bl_array_init(&core, BL_OBJECT_TYPE_ARRAY_UINT8); }
  ~Array() { bl_array_destroy(&core); }
  Array(const Array&) = delete;
  Array& operator=(const Array&) = delete;
  std::vector<uint8_t> bytes() const {
    const uint8_t* p = static_cast<const uint8_t*>(bl_array_get_data(&core));
    return p ? std::vector<uint8_t>(p, p + bl_array_get_size(&core)) : std::vector<uint8_t>();
  }
};

struct Codec {
  BLImageCodecCore core;
  Codec() { bl_image_codec_init(&core); }
  ~Codec() { bl_image_codec_destroy(&core); }
  Codec(const Codec&) = delete;
  Codec& operator=(const Codec&) = delete;
};

void draw(Image& img) {
  Context ctx(img);
  ASSERT_EQ(bl_context_fill_all_rgba32(&ctx.core, 0x00000000u), BL_SUCCESS);
  const double box[4] = {2, 3, 11, 7};
  ASSERT_EQ(bl_context_fill_geometry_rgba32(&ctx.core, BL_GEOMETRY_TYPE_BOXD, box, 0x80FF8000u), BL_SUCCESS);
  ASSERT_EQ(bl_context_end(&ctx.core), BL_SUCCESS);
}

TEST(ImageCodec, PngFoundByExactNameOnly) {
  Codec png;
  EXPECT_EQ(bl_image_codec_find_by_name(&png.core, "PNG", SIZE_MAX, nullptr), BL_SUCCESS);
  Codec sized;
  EXPECT_EQ(bl_image_codec_find_by_name(&sized.core, "PNGX", 3, nullptr), BL_SUCCESS);
  Codec other;
  EXPECT_EQ(bl_image_codec_find_by_name(&other.core, "png", SIZE_MAX, nullptr), BL_ERROR_IMAGE_NO_MATCHING_CODEC);
  EXPECT_EQ(bl_image_codec_find_by_name(&other.core, "XYZ", SIZE_MAX, nullptr), BL_ERROR_IMAGE_NO_MATCHING_CODEC);
}

TEST(ImageCodec, WriteToDataMatchesTheFileAndAppends) {
  Image img(13, 9, BL_FORMAT_PRGB32);
  draw(img);
  Codec png;
  ASSERT_EQ(bl_image_codec_find_by_name(&png.core, "PNG", SIZE_MAX, nullptr), BL_SUCCESS);

  Array out;
  EXPECT_EQ(bl_array_get_size(&out.core), 0u);
  ASSERT_EQ(bl_image_write_to_data(&img.core, &out.core, &png.core), BL_SUCCESS);
  std::vector<uint8_t> once = out.bytes();
  ASSERT_GT(once.size(), 8u);
  const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  EXPECT_TRUE(std::equal(signature, signature + 8, once.begin()));

  fs::path file = fs::temp_directory_path() / ("bl_codec_" + std::to_string(getpid()) + ".png");
  ASSERT_EQ(bl_image_write_to_file(&img.core, file.string().c_str(), nullptr), BL_SUCCESS);
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> from_file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  fs::remove(file);
  EXPECT_EQ(once, from_file);

  // A second call appends a second copy after the first.
  ASSERT_EQ(bl_image_write_to_data(&img.core, &out.core, &png.core), BL_SUCCESS);
  std::vector<uint8_t> twice = out.bytes();
  ASSERT_EQ(twice.size(), 2 * once.size());
  EXPECT_TRUE(std::equal(once.begin(), once.end(), twice.begin() + static_cast<std::ptrdiff_t>(once.size())));
}

TEST(ImageCodec, FailuresLeaveTheArrayAsItWas) {
  Image img(4, 4, BL_FORMAT_PRGB32);
  draw(img);
  Codec png;
  ASSERT_EQ(bl_image_codec_find_by_name(&png.core, "PNG", SIZE_MAX, nullptr), BL_SUCCESS);
  Array out;
  ASSERT_EQ(bl_image_write_to_data(&img.core, &out.core, &png.core), BL_SUCCESS);
  const std::vector<uint8_t> before = out.bytes();

  Codec none;  // initialised, no codec behind it
  EXPECT_EQ(bl_image_write_to_data(&img.core, &out.core, &none.core), BL_ERROR_IMAGE_ENCODER_NOT_PROVIDED);
  Image empty;
  EXPECT_EQ(bl_image_write_to_data(&empty.core, &out.core, &png.core), BL_ERROR_INVALID_VALUE);
  EXPECT_EQ(out.bytes(), before);

  EXPECT_EQ(bl_array_reset(&out.core), BL_SUCCESS);
  EXPECT_EQ(bl_array_get_size(&out.core), 0u);
}

}  // namespace
