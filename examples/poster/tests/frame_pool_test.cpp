// Frames drawn by several workers at once are the frames one worker draws,
// bit for bit, in order; a failing consumer stops the run with its reason.
#include "frame_pool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "animation.h"
#include "map_data.h"
#include "png_encoder.h"
#include "scene.h"

namespace {

std::vector<std::vector<uint8_t>> draw(const poster::Scene& scene, int count, int threads,
                                       int* workers) {
  std::vector<std::vector<uint8_t>> frames;
  std::string error;
  const bool ok = poster::draw_frames(
      scene, count, threads,
      [](const poster::Image& image, std::vector<uint8_t>* bytes, std::string*) {
        int channels = 0;
        poster::straight_pixels(image, false, bytes, &channels);
        return true;
      },
      [&](int i, std::vector<uint8_t>& bytes, std::string*) {
        EXPECT_EQ(i, static_cast<int>(frames.size()));
        frames.push_back(std::move(bytes));
        return true;
      },
      &error, workers);
  EXPECT_TRUE(ok) << error;
  return frames;
}

TEST(draw_frames, ManyWorkersDrawTheFramesOfOne) {
  poster::MapData map;
  std::string error;
  ASSERT_TRUE(poster::load_shapefile(QUILLON_SAMPLE_SHP, &map, &error)) << error;
  // Around Greenwich, and around the Pacific (the globe's borders cut at
  // another horizon in every frame).
  for (const double lon0 : {0.0, 150.0}) {
    poster::SceneOptions options;
    options.width = 320;
    options.lon0 = lon0;
    options.lon0_given = lon0 != 0.0;
    const poster::Scene scene(map, options);
    ASSERT_TRUE(poster::Sparks::private_streams());
    // Someone else drawing from rand() meanwhile changes nothing.
    std::srand(1);
    const int count = 30;  // the finale's burst comes at frame 26
    int one = 0, three = 0;
    const auto alone = draw(scene, count, 1, &one);
    std::srand(99);
    const auto pooled = draw(scene, count, 3, &three);
    EXPECT_EQ(one, 1);
    EXPECT_EQ(three, 3);
    ASSERT_EQ(alone.size(), static_cast<size_t>(count));
    ASSERT_EQ(pooled.size(), static_cast<size_t>(count));
    for (size_t i = 0; i < alone.size(); ++i) EXPECT_TRUE(alone[i] == pooled[i]) << "frame " << i;
    // The sparks do move: consecutive frames differ.
    EXPECT_FALSE(alone[10] == alone[11]);
  }
}

TEST(draw_frames, StopsAtTheFirstFailureWithItsCause) {
  poster::MapData map;
  std::string error;
  ASSERT_TRUE(poster::load_shapefile(QUILLON_SAMPLE_SHP, &map, &error)) << error;
  poster::SceneOptions options;
  options.width = 320;
  const poster::Scene scene(map, options);
  int consumed = 0;
  const bool ok = poster::draw_frames(
      scene, 40, 2,
      [](const poster::Image&, std::vector<uint8_t>* bytes, std::string*) {
        bytes->assign(1, 0);
        return true;
      },
      [&](int i, std::vector<uint8_t>&, std::string* e) {
        ++consumed;
        if (i < 3) return true;
        *e = "no space left on device";
        return false;
      },
      &error);
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, "no space left on device");
  EXPECT_EQ(consumed, 4);
}

// An animated PNG of two frames: the chunks a viewer needs, in order, with
// the frame data of the second frame moved into fdAT chunks.
TEST(ApngWriter, WritesTheAnimationChunksInOrder) {
  poster::Image a(40, 20), b(40, 20);
  for (poster::Image* image : {&a, &b}) {
    poster::Canvas canvas(*image);
    bl_context_fill_all_rgba32(canvas.ctx(), image == &a ? 0xFF102030u : 0xFF405060u);
  }
  std::vector<uint8_t> pa, pb;
  std::string error;
  ASSERT_TRUE(poster::encode_png(a, poster::PngEffort::kFast, false, &pa, &error)) << error;
  ASSERT_TRUE(poster::encode_png(b, poster::PngEffort::kFast, false, &pb, &error)) << error;
  const std::string path = ::testing::TempDir() + "anim.png";
  poster::ApngWriter apng;
  ASSERT_TRUE(apng.open(path, 2, &error)) << error;
  ASSERT_TRUE(apng.add(pa, &error)) << error;
  ASSERT_TRUE(apng.add(pb, &error)) << error;
  ASSERT_TRUE(apng.finish(&error)) << error;

  std::FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_TRUE(f);
  std::vector<uint8_t> bytes;
  for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
  std::fclose(f);
  std::vector<std::string> types;
  size_t at = 8;
  while (at + 12 <= bytes.size()) {
    const uint32_t size = static_cast<uint32_t>(bytes[at]) << 24 |
                          static_cast<uint32_t>(bytes[at + 1]) << 16 |
                          static_cast<uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
    types.emplace_back(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
    at += 12 + size;
  }
  EXPECT_EQ(at, bytes.size());
  ASSERT_GE(types.size(), 7u);
  EXPECT_EQ(types[0], "IHDR");
  EXPECT_EQ(types[1], "acTL");
  EXPECT_EQ(types[2], "fcTL");
  EXPECT_EQ(types[3], "IDAT");
  EXPECT_EQ(types[types.size() - 3], "fcTL");
  EXPECT_EQ(types[types.size() - 2], "fdAT");
  EXPECT_EQ(types.back(), "IEND");
}

}  // namespace
