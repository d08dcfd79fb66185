// ordane_read_shp_header: header fields, result codes and the record walk.

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

#include "ordane.h"
#include "shp_builder.h"

namespace {

using quillon_test::ByteWriter;
using quillon_test::Bytes;
using quillon_test::ShpBuilder;
using quillon_test::TempFile;
namespace content = quillon_test::shp_content;

ShpHeader sentinel_header() {
  ShpHeader h;
  std::memset(&h, 0x5A, sizeof h);
  return h;
}

bool untouched(const ShpHeader& h) {
  const ShpHeader s = sentinel_header();
  return std::memcmp(&h, &s, sizeof h) == 0;
}

int32_t read_header(const Bytes& b, ShpHeader* h) {
  TempFile f(b);
  EXPECT_TRUE(f.ok());
  return ordane_read_shp_header(f.path(), h);
}

int32_t record_count(const Bytes& b) {
  ShpHeader h = sentinel_header();
  EXPECT_EQ(read_header(b, &h), ORDANE_OK);
  return h.record_count;
}

TEST(ordane_read_shp_header, FailuresReturnTheirCodeAndLeaveTheHeaderAlone) {
  ShpHeader h = sentinel_header();
  TempFile good(ShpBuilder().bytes());
  EXPECT_EQ(ordane_read_shp_header(nullptr, &h), ORDANE_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(ordane_read_shp_header(good.path(), nullptr), ORDANE_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(ordane_read_shp_header("/nonexistent/dir/x.shp", &h), ORDANE_SHP_ERR_OPEN);

  Bytes short_file = ShpBuilder().bytes();
  short_file.resize(99);
  EXPECT_EQ(read_header(short_file, &h), ORDANE_SHP_ERR_TOO_SHORT);
  EXPECT_EQ(read_header(Bytes(), &h), ORDANE_SHP_ERR_TOO_SHORT);

  // 9994 in little-endian order is not the File Code.
  Bytes swapped = ShpBuilder().bytes();
  const unsigned char le[4] = {0x0A, 0x27, 0x00, 0x00};
  std::memcpy(swapped.data(), le, 4);
  EXPECT_EQ(read_header(swapped, &h), ORDANE_SHP_ERR_FILE_CODE);
  EXPECT_EQ(read_header(ShpBuilder().file_code(9995).bytes(), &h), ORDANE_SHP_ERR_FILE_CODE);
  EXPECT_TRUE(untouched(h));
}

TEST(ordane_read_shp_header, DecodesEachFieldInItsOwnByteOrder) {
  // Values whose four bytes all differ catch a field decoded in the wrong
  // order, whatever the host's.
  const double r[8] = {-180.5, -90.25, 179.75, 89.125, -1e3, 2e3, -0.5, 1e300};
  const Bytes b = ShpBuilder(0x0102030F)
                      .version(0x0A0B0C0D)
                      .file_length_words(0x01020304)
                      .ranges(r)
                      .bytes();
  ShpHeader h = sentinel_header();
  ASSERT_EQ(b.size(), 100u);
  ASSERT_EQ(read_header(b, &h), ORDANE_OK);
  EXPECT_EQ(h.file_code, 9994);
  EXPECT_EQ(h.file_length, 0x01020304 * 2);
  EXPECT_EQ(h.version, 0x0A0B0C0D);
  EXPECT_EQ(h.shape_type, 0x0102030F);
  EXPECT_EQ(h.min_x, r[0]);
  EXPECT_EQ(h.min_y, r[1]);
  EXPECT_EQ(h.max_x, r[2]);
  EXPECT_EQ(h.max_y, r[3]);
  EXPECT_EQ(h.min_z, r[4]);
  EXPECT_EQ(h.max_z, r[5]);
  EXPECT_EQ(h.min_m, r[6]);
  EXPECT_EQ(h.max_m, r[7]);
  EXPECT_EQ(h.record_count, 0);
}

TEST(ordane_read_shp_header, FileLengthIsTheClaimSaturatedTo32Bits) {
  struct Row {
    int32_t words;
    int32_t bytes;
  } rows[] = {
      {0, 0},
      {50, 100},
      {(1 << 30) - 1, INT32_MAX - 1},
      {1 << 30, INT32_MAX},
      {INT32_MAX, INT32_MAX},
      {-(1 << 30), INT32_MIN},
      {-(1 << 30) - 1, INT32_MIN},
      {INT32_MIN, INT32_MIN},
      {-7, -14},
  };
  for (const Row& row : rows) {
    ShpHeader h = sentinel_header();
    // The claim is reported even though the file is 100 or 112 bytes long.
    ASSERT_EQ(read_header(ShpBuilder().file_length_words(row.words)
                              .record(content::type_only(0))
                              .bytes(),
                          &h),
              ORDANE_OK);
    EXPECT_EQ(h.file_length, row.bytes) << row.words;
  }
}

TEST(ordane_read_shp_header, WalkSkipsEmptyHeadersAndCountsACutLastRecord) {
  const Bytes point = content::point(1, 2);
  // Content Length 0 and -3: their 8 bytes alone are consumed, and the
  // record header right after them is found.
  const Bytes empty_headers = ShpBuilder(1)
                                  .record(point)
                                  .raw(ByteWriter().be32(2).be32(0).get())
                                  .raw(ByteWriter().be32(3).be32(-3).get())
                                  .record(point)
                                  .bytes();
  EXPECT_EQ(record_count(empty_headers), 2);

  // A last record cut short is counted; so is one claiming more than the
  // whole file.
  Bytes cut = ShpBuilder(1).record(point).record(point).bytes();
  cut.pop_back();
  EXPECT_EQ(record_count(cut), 2);
  EXPECT_EQ(record_count(ShpBuilder(1).record(point, INT32_MAX).bytes()), 1);

  // Up to 7 stray bytes after the last record change nothing.
  for (size_t stray = 1; stray <= 7; ++stray) {
    EXPECT_EQ(record_count(ShpBuilder(1).record(point).raw(Bytes(stray, 0xFF)).bytes()), 1) << stray;
  }
}

TEST(ordane_read_shp_header, SkipsRecordsOfTwoGibibytesAndMore) {
  // A sparse file: a record of 2^30 words (2^31 bytes, past a 32-bit seek)
  // followed by a real record header 2 GiB further on.
  ShpBuilder b(1);
  b.raw(ByteWriter().be32(1).be32(1 << 30).get());
  TempFile f(b.bytes());
  ASSERT_TRUE(f.ok());
  const Bytes second = ByteWriter().be32(2).be32(10).bytes(content::point(3, 4)).get();
#if defined(_WIN32)
  std::FILE* out = std::fopen(f.path(), "r+b");
  ASSERT_NE(out, nullptr);
  const bool written = _fseeki64(out, 108 + (int64_t{1} << 31), SEEK_SET) == 0 &&
                       std::fwrite(second.data(), 1, second.size(), out) == second.size();
  std::fclose(out);
#else
  const int fd = ::open(f.path(), O_WRONLY);
  ASSERT_GE(fd, 0);
  const off_t at = 108 + (off_t{1} << 31);
  const bool written = ::pwrite(fd, second.data(), second.size(), at) == ssize_t(second.size());
  ::close(fd);
#endif
  if (!written) GTEST_SKIP() << "no room for a sparse 2 GiB file";

  ShpHeader h = sentinel_header();
  ASSERT_EQ(ordane_read_shp_header(f.path(), &h), ORDANE_OK);
  EXPECT_EQ(h.record_count, 2);
}

}  // namespace
