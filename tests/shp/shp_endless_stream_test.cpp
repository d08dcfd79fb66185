// Sources that never end: a pipe that keeps sending zeros after a valid
// header, and a /proc file that states a size of 0 but reads without end.
// Both readers stop where the file's own header says the file ends. Run
// under a CTest timeout, so that a reader that reads on fails instead of
// holding the suite up (they used to take over a minute each).

#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "fifo_feed.h"
#include "ordane.h"
#include "shp_builder.h"

namespace {

using quillon_test::Bytes;
using quillon_test::FifoFeed;
using quillon_test::ShpBuilder;
using quillon_test::ShpDataPtr;
namespace content = quillon_test::shp_content;

// Writes "head" and then zeros until the reader goes away.
void feed_then_zeros(int fd, const Bytes& head) {
  if (!FifoFeed::write_all(fd, head.data(), head.size())) return;
  const std::vector<unsigned char> zeros(1 << 16, 0);
  while (FifoFeed::write_all(fd, zeros.data(), zeros.size())) {
  }
}

Bytes points_file(int n) {
  ShpBuilder b(1);
  for (int i = 0; i < n; ++i) b.record(content::point(i, -i));
  return b.bytes();
}

TEST(ordane_shp_endless_streams, APipeIsReadUpToItsFileLength) {
  // Three points as the header's File Length states, then endless zeros:
  // zeros read as record headers would be empty records without end.
  const Bytes head = points_file(3);
  {
    FifoFeed fifo;
    ASSERT_TRUE(fifo.ok());
    fifo.start([&](int fd) { feed_then_zeros(fd, head); });
    ShpHeader h;
    ASSERT_EQ(ordane_read_shp_header(fifo.path(), &h), ORDANE_OK);
    fifo.join();
    EXPECT_EQ(h.file_length, static_cast<int32_t>(head.size()));
    EXPECT_EQ(h.record_count, 1);  // a pipe cannot skip a record's content
  }
  {
    FifoFeed fifo;
    ASSERT_TRUE(fifo.ok());
    fifo.start([&](int fd) { feed_then_zeros(fd, head); });
    ShpDataPtr d(ordane_parse_shp(fifo.path()));
    fifo.join();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->num_shapes, 3);
    EXPECT_EQ(d->points[4], 2.0);
  }
  // A header alone (File Length 50 words) followed by zeros: no record.
  const Bytes bare = points_file(0);
  FifoFeed fifo;
  ASSERT_TRUE(fifo.ok());
  fifo.start([&](int fd) { feed_then_zeros(fd, bare); });
  ShpHeader h;
  ASSERT_EQ(ordane_read_shp_header(fifo.path(), &h), ORDANE_OK);
  fifo.join();
  EXPECT_EQ(h.record_count, 0);
}

TEST(ordane_shp_endless_streams, AProcFileOfStatedSizeZeroEndsAtItsHeader) {
  // pagemap reads as zeros for pages never touched, for 16 GiB and more:
  // a header of zeros states a File Length of 0, so no record is read.
  ShpDataPtr d(ordane_parse_shp("/proc/self/pagemap"));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->num_shapes, 0);
  ShpHeader h;
  EXPECT_EQ(ordane_read_shp_header("/proc/self/pagemap", &h), ORDANE_SHP_ERR_FILE_CODE);
}

}  // namespace
