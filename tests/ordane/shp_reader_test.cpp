// ordane_parse_shp / ordane_free_shp_data: the flat arrays, the record loop,
// and records that lie about their size.

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "ordane.h"
#include "shp_builder.h"

namespace {

using quillon_test::ByteWriter;
using quillon_test::Bytes;
using quillon_test::ShpBuilder;
using quillon_test::TempFile;
using quillon_test::XY;
namespace content = quillon_test::shp_content;

using Data = quillon_test::ShpDataPtr;

Data parse(const Bytes& b) {
  TempFile f(b);
  EXPECT_TRUE(f.ok());
  return Data(ordane_parse_shp(f.path()));
}

// Everything a ShpData says, in vectors, after checking the invariants that
// every result must keep.
struct Flat {
  int32_t shape_type;
  std::vector<double> points;
  std::vector<int32_t> parts, shape_parts;
  std::vector<uint64_t> shape_points;
  std::vector<double> boxes;
};

Flat flatten(const ShpData& d) {
  Flat f;
  f.shape_type = d.shape_type;
  f.points.assign(d.points, d.points + 2 * d.num_points);
  f.parts.assign(d.parts, d.parts + d.num_parts);
  f.shape_parts.assign(d.shape_part_offsets, d.shape_part_offsets + d.num_shapes + 1);
  f.shape_points.assign(d.shape_point_offsets, d.shape_point_offsets + d.num_shapes + 1);
  f.boxes.assign(d.bboxes, d.bboxes + 4 * size_t(d.num_shapes));
  EXPECT_EQ(f.shape_parts.front(), 0);
  EXPECT_EQ(f.shape_points.front(), 0u);
  EXPECT_EQ(uint64_t(f.shape_parts.back()), d.num_parts);
  EXPECT_EQ(f.shape_points.back(), d.num_points);
  for (size_t k = 1; k < f.shape_parts.size(); ++k) {
    EXPECT_LE(f.shape_parts[k - 1], f.shape_parts[k]);
    EXPECT_LE(f.shape_points[k - 1], f.shape_points[k]);
  }
  for (int32_t p : f.parts) {
    EXPECT_GE(p, 0);
    EXPECT_LE(uint64_t(p), d.num_points);
  }
  return f;
}

Flat parse_flat(const Bytes& b) {
  Data d = parse(b);
  EXPECT_NE(d, nullptr);
  return d ? flatten(*d) : Flat{};
}

const std::vector<XY> kSquare = {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}};
const std::vector<XY> kTriangle = {{5, 5}, {6, 7}, {7, 5}, {5, 5}};

TEST(ordane_parse_shp, FailsOnlyBeforeTheHeaderIsRead) {
  EXPECT_EQ(ordane_parse_shp(nullptr), nullptr);
  EXPECT_EQ(ordane_parse_shp("/nonexistent/dir/x.shp"), nullptr);
  Bytes b = ShpBuilder().bytes();
  b.resize(99);
  EXPECT_EQ(parse(b), nullptr);

  // Exactly 100 bytes, with a File Code that is not 9994: read anyway.
  Data d = parse(ShpBuilder(8).file_code(1234).bytes());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->shape_type, 8);
  EXPECT_EQ(d->num_shapes, 0);
  EXPECT_EQ(d->num_parts, 0u);
  EXPECT_EQ(d->num_points, 0u);
  ASSERT_NE(d->shape_part_offsets, nullptr);
  ASSERT_NE(d->shape_point_offsets, nullptr);
  EXPECT_EQ(d->shape_part_offsets[0], 0);
  EXPECT_EQ(d->shape_point_offsets[0], 0u);
}

TEST(ordane_free_shp_data, AcceptsNullAndEmptyRecords) {
  ordane_free_shp_data(nullptr);
  ordane_free_shp_data(ordane_parse_shp(TempFile(ShpBuilder().bytes()).path()));
}

TEST(ordane_parse_shp, WorkedExamples) {
  // Two PolyLines: parts {0, 3} over five points, then {0} over four.
  const std::vector<XY> five = {{0, 0}, {1, 0}, {2, 0}, {3, 3}, {4, 4}};
  const Flat lines = parse_flat(ShpBuilder(3)
                                    .record(content::poly(3, {0, 3}, five))
                                    .record(content::poly(3, {0}, kTriangle))
                                    .bytes());
  EXPECT_EQ(lines.shape_type, 3);
  EXPECT_EQ(lines.parts, (std::vector<int32_t>{0, 3, 5}));
  EXPECT_EQ(lines.shape_parts, (std::vector<int32_t>{0, 2, 3}));
  EXPECT_EQ(lines.shape_points, (std::vector<uint64_t>{0, 5, 9}));
  EXPECT_EQ(lines.points, (std::vector<double>{0, 0, 1, 0, 2, 0, 3, 3, 4, 4, 5, 5, 6, 7, 7, 5, 5, 5}));
  EXPECT_EQ(lines.boxes, (std::vector<double>{0, 0, 4, 4, 5, 5, 7, 7}));

  // Three Points: one part each, boxes (x, y, x, y).
  const Flat points = parse_flat(ShpBuilder(1)
                                     .record(content::point(1, 2))
                                     .record(content::point(-3, 4))
                                     .record(content::point(5, -6))
                                     .bytes());
  EXPECT_EQ(points.parts, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(points.shape_parts, (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_EQ(points.shape_points, (std::vector<uint64_t>{0, 1, 2, 3}));
  EXPECT_EQ(points.points, (std::vector<double>{1, 2, -3, 4, 5, -6}));
  EXPECT_EQ(points.boxes, (std::vector<double>{1, 2, 1, 2, -3, 4, -3, 4, 5, -6, 5, -6}));
}

TEST(ordane_parse_shp, BoxIsCopiedAsStoredNotRecomputed) {
  ByteWriter w;
  w.le32(5).f64(-10).f64(-20).f64(30).f64(40).le32(1).le32(1).le32(0).f64(0.5).f64(0.25);
  const Flat f = parse_flat(ShpBuilder().record(w.get()).bytes());
  EXPECT_EQ(f.boxes, (std::vector<double>{-10, -20, 30, 40}));
  EXPECT_EQ(f.points, (std::vector<double>{0.5, 0.25}));
}

TEST(ordane_parse_shp, EveryRecordAddsOneShapeWithABox) {
  // Null between polygons, then types outside the table: MultiPoint, the
  // M line and polygon types, MultiPatch, a negative and an unknown type.
  ShpBuilder b(5);
  b.record(content::poly(5, {0}, kSquare)).record(content::type_only(0));
  b.record(content::poly(5, {0}, kTriangle));
  ByteWriter multipoint;
  multipoint.le32(8).f64(0).f64(0).f64(1).f64(1).le32(2).f64(0).f64(0).f64(1).f64(1);
  b.record(multipoint.get());
  b.record(content::poly(23, {0}, kSquare)).record(content::poly(25, {0}, kSquare));
  b.record(content::poly(31, {0}, kSquare)).record(content::type_only(-5));
  b.record(content::type_only(99));
  const Flat f = parse_flat(b.bytes());
  ASSERT_EQ(f.shape_points.size(), 10u);
  EXPECT_EQ(f.shape_points, (std::vector<uint64_t>{0, 5, 5, 9, 9, 9, 9, 9, 9, 9}));
  EXPECT_EQ(f.shape_parts, (std::vector<int32_t>{0, 1, 1, 2, 2, 2, 2, 2, 2, 2}));
  EXPECT_EQ(f.parts, (std::vector<int32_t>{0, 5}));
  std::vector<double> boxes = {0, 0, 1, 1, 0, 0, 0, 0, 5, 5, 7, 7};
  boxes.resize(4 * 9, 0.0);
  EXPECT_EQ(f.boxes, boxes);
}

TEST(ordane_parse_shp, ZAndMFormsGiveTheShapesOfThePlainTypes) {
  const Flat plain = parse_flat(ShpBuilder(5)
                                    .record(content::poly(5, {0, 2}, kSquare))
                                    .record(content::poly(3, {0}, kTriangle))
                                    .record(content::point(1, 2))
                                    .bytes());
  const Flat z = parse_flat(ShpBuilder(15)
                                .record(content::poly(15, {0, 2}, kSquare))
                                .record(content::poly(13, {0}, kTriangle))
                                .record(content::point(1, 2, 11, 7.0, 8.0))
                                .bytes());
  const Flat m = parse_flat(ShpBuilder(21).record(content::point(1, 2, 21, 0, 8.0)).bytes());
  EXPECT_EQ(z.points, plain.points);
  EXPECT_EQ(z.parts, plain.parts);
  EXPECT_EQ(z.shape_parts, plain.shape_parts);
  EXPECT_EQ(z.shape_points, plain.shape_points);
  EXPECT_EQ(z.boxes, plain.boxes);
  EXPECT_EQ(z.shape_type, 15);
  EXPECT_EQ(m.points, (std::vector<double>{1, 2}));
  EXPECT_EQ(m.boxes, (std::vector<double>{1, 2, 1, 2}));
}

TEST(ordane_parse_shp, PartsAndPointsCountsOfZero) {
  // No parts: the points are kept. No points: the box and the parts
  // (starting at the end of the points so far) are kept.
  const Flat f = parse_flat(ShpBuilder(3)
                                .record(content::poly(3, {}, kTriangle))
                                .record(content::poly(3, {0, 0}, {}))
                                .bytes());
  EXPECT_EQ(f.points.size(), 8u);
  EXPECT_EQ(f.parts, (std::vector<int32_t>{4, 4}));
  EXPECT_EQ(f.shape_parts, (std::vector<int32_t>{0, 0, 2}));
  EXPECT_EQ(f.shape_points, (std::vector<uint64_t>{0, 4, 4}));
  EXPECT_EQ(f.boxes, (std::vector<double>{5, 5, 7, 7, 0, 0, 0, 0}));
}

TEST(ordane_parse_shp, PartStartsInRangeArePassedThrough) {
  // Decreasing starts and a start equal to NumPoints (an empty trailing
  // part) are taken as stored, offset by the points before the record.
  const Flat f = parse_flat(ShpBuilder(3)
                                .record(content::poly(3, {0}, kTriangle))
                                .record(content::poly(3, {3, 0, 5}, kSquare))
                                .bytes());
  EXPECT_EQ(f.parts, (std::vector<int32_t>{0, 7, 4, 9}));
}

TEST(ordane_parse_shp, RecordLoopFollowsTheWalk) {
  const Bytes point = content::point(1, 2);
  // Content Length 0 and negative: no shape, the next 8 bytes are a header.
  const Flat skipped = parse_flat(ShpBuilder(1)
                                      .raw(ByteWriter().be32(1).be32(0).get())
                                      .record(point)
                                      .raw(ByteWriter().be32(2).be32(-8).get())
                                      .record(point)
                                      .bytes());
  EXPECT_EQ(skipped.shape_points.size(), 3u);

  // Stray bytes after the last record change nothing.
  for (size_t stray = 1; stray <= 7; ++stray) {
    const Flat f = parse_flat(ShpBuilder(1).record(point).raw(Bytes(stray, 0x7F)).bytes());
    EXPECT_EQ(f.shape_points.size(), 2u) << stray;
  }

  // A last record cut short is dropped, while the header walk counts it.
  Bytes cut = ShpBuilder(1).record(point).record(content::point(3, 4)).bytes();
  cut.resize(cut.size() - 3);
  TempFile file(cut);
  Data d(ordane_parse_shp(file.path()));
  ShpHeader h;
  ASSERT_EQ(ordane_read_shp_header(file.path(), &h), ORDANE_OK);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->num_shapes, 1);
  EXPECT_EQ(h.record_count, 2);
  EXPECT_EQ(flatten(*d).points, (std::vector<double>{1, 2}));
}

TEST(ordane_parse_shp, ContentClaimingMoreThanTheFileEndsTheReading) {
  // A file whose second record claims 4 GiB: the first shape comes back.
  // (That no buffer of that size is asked for is checked by the test
  // program with the wrapped allocator, ordane_parse_shp_limits.)
  const Bytes b = ShpBuilder(1).record(content::point(1, 2)).record(content::point(3, 4), INT32_MAX).bytes();
  const Flat f = parse_flat(b);
  EXPECT_EQ(f.points, (std::vector<double>{1, 2}));
}

// Each row is a record that claims more than it holds or holds impossible
// counts. Between two good polygons it must add one empty shape and leave
// its neighbours intact.
struct Malformed {
  const char* name;
  Bytes content;
};

Bytes poly_with(int32_t num_parts, int32_t num_points, const std::vector<int32_t>& parts,
                const std::vector<XY>& pts) {
  return content::poly(5, parts, pts, num_parts, num_points);
}

Bytes cut(Bytes b, size_t n) {
  b.resize(n);
  return b;
}

std::vector<Malformed> malformed_records() {
  const Bytes ring = content::poly(5, {0}, kSquare);
  return {
      {"content of 2 bytes", Bytes{5, 0}},
      {"point cut inside y", cut(content::point(1, 2), 18)},
      {"poly cut inside its counts", cut(ring, 42)},
      {"poly cut inside its points", cut(ring, ring.size() - 2)},
      {"NumParts negative", poly_with(-1, 5, {0}, kSquare)},
      {"NumPoints negative", poly_with(1, -5, {0}, kSquare)},
      {"NumParts past the content", poly_with(2, 5, {0}, kSquare)},
      {"NumPoints past the content", poly_with(1, 6, {0}, kSquare)},
      {"NumPoints whose size overflows 32 bits", poly_with(1, INT32_MAX, {0}, kSquare)},
      {"NumParts whose size overflows 32 bits", poly_with(0x40000001, 5, {0}, kSquare)},
      {"part start negative", content::poly(5, {0, -1}, kSquare)},
      {"part start past the points", content::poly(5, {0, 6}, kSquare)},
      {"part start far past the points", content::poly(5, {INT32_MAX}, kSquare)},
  };
}

TEST(ordane_parse_shp, MalformedRecordsAddOneEmptyShape) {
  for (const Malformed& m : malformed_records()) {
    SCOPED_TRACE(m.name);
    const Flat f = parse_flat(ShpBuilder(5)
                                  .record(content::poly(5, {0}, kTriangle))
                                  .record(m.content)
                                  .record(content::poly(5, {0, 2}, kSquare))
                                  .bytes());
    EXPECT_EQ(f.shape_points, (std::vector<uint64_t>{0, 4, 4, 9}));
    EXPECT_EQ(f.shape_parts, (std::vector<int32_t>{0, 1, 1, 3}));
    EXPECT_EQ(f.parts, (std::vector<int32_t>{0, 4, 6}));
    EXPECT_EQ(f.boxes, (std::vector<double>{5, 5, 7, 7, 0, 0, 0, 0, 0, 0, 1, 1}));
    ASSERT_EQ(f.points.size(), 18u);
    EXPECT_EQ(f.points[8], 0.0);
    EXPECT_EQ(f.points[17], 0.0);
  }
}

// FIFOs are POSIX; Windows has no named pipe in the file system.
#if !defined(_WIN32)
TEST(ordane_parse_shp, APipeGivesTheSameShapesAsTheFile) {
  // Through a pipe the file size is unknown and records are read as their
  // bytes arrive.
  ::signal(SIGPIPE, SIG_IGN);
  ShpBuilder b(5);
  std::vector<XY> big(20000, XY{1, 2});  // records larger than the first pipe chunk
  for (int i = 0; i < 3; ++i) b.record(content::poly(5, {0}, big)).record(content::poly(5, {0}, kTriangle));
  const Bytes bytes = b.bytes();
  const std::string fifo = std::string(TempFile(Bytes()).path()) + ".fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    if (fd >= 0) {
      (void)!::write(fd, bytes.data(), bytes.size());
      ::close(fd);
    }
  });
  Data piped(ordane_parse_shp(fifo.c_str()));
  writer.join();
  ::unlink(fifo.c_str());
  TempFile file(bytes);
  Data direct(ordane_parse_shp(file.path()));
  ASSERT_NE(piped, nullptr);
  ASSERT_NE(direct, nullptr);
  ASSERT_EQ(piped->num_shapes, 6);
  ASSERT_EQ(piped->num_points, direct->num_points);
  EXPECT_EQ(std::memcmp(piped->points, direct->points, 16 * direct->num_points), 0);
  EXPECT_EQ(std::memcmp(piped->shape_point_offsets, direct->shape_point_offsets, 8 * 7), 0);
}
#endif

}  // namespace
