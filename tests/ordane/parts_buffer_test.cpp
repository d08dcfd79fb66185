// The growable buffers behind the cutting and densifying results: values
// survive every growth, a request no size can hold fails without touching
// the buffer, and release() hands over exactly the values kept.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>

#include "../../geo/geo_parts.h"

namespace {

using ordane::carto::Buffer;

TEST(PartsBuffer, ValuesSurviveGrowthAndReleaseHandsOverExactlyThem) {
  Buffer<int64_t> b;
  EXPECT_EQ(b.release(), nullptr);  // empty: nothing to free
  for (int64_t i = 0; i < 300000; ++i) b.push_back(i * 3);
  b.truncate(200001);
  b.pop_back();
  b.push_back(-1, -2);
  ASSERT_EQ(b.size(), 200002u);
  int64_t* p = b.release();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(b.size(), 0u);
  bool same = true;
  for (int64_t i = 0; i < 200000; ++i) same = same && p[i] == i * 3;
  EXPECT_TRUE(same);
  EXPECT_EQ(p[200000], -1);
  EXPECT_EQ(p[200001], -2);
  std::free(p);
  // Usable again after the hand-over.
  b.push_back(7);
  EXPECT_EQ(b.back(), 7);
}

TEST(PartsBuffer, ImpossibleSizesFailAndLeaveTheValues) {
  Buffer<double> b;
  b.push_back(1.5, 2.5);
  const double* before = b.data();
  EXPECT_FALSE(b.try_reserve(std::numeric_limits<size_t>::max()));
  EXPECT_FALSE(b.try_reserve(std::numeric_limits<size_t>::max() / 8 + 1));
  EXPECT_EQ(b.data(), before);
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b.data()[1], 2.5);
  EXPECT_TRUE(b.try_reserve(1));  // already there
}

}  // namespace
