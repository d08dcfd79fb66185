// Both shapefile readers on files that are not plain files: devices,
// directories and sockets are refused before a byte is read, and a FIFO is
// read whether its writer comes before or after the call, but not waited for
// for ever.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>

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
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Both exports on one path: the header's result and whether parsing gave
// data.
void expect_unopenable(const char* path) {
  ShpHeader h;
  std::memset(&h, 0x5A, sizeof h);
  EXPECT_EQ(ordane_read_shp_header(path, &h), ORDANE_SHP_ERR_OPEN) << path;
  EXPECT_EQ(h.file_code, 0x5A5A5A5A) << path;
  ShpDataPtr d(ordane_parse_shp(path));
  EXPECT_EQ(d, nullptr) << path;
}

TEST(ordane_shp_special_files, DevicesDirectoriesAndSocketsCannotBeOpened) {
  // Endless devices used to be read for ever (or until memory ran out).
  expect_unopenable("/dev/zero");
  expect_unopenable("/dev/urandom");
  expect_unopenable("/dev/null");
  expect_unopenable("/tmp");

  const std::string sock = std::string(quillon_test::TempFile(Bytes()).path()) + ".sock";
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(sock.size(), sizeof addr.sun_path);
  std::memcpy(addr.sun_path, sock.c_str(), sock.size() + 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(fd, 1), 0);
  expect_unopenable(sock.c_str());
  ::close(fd);
  ::unlink(sock.c_str());
}

Bytes two_points() {
  return ShpBuilder(1).record(content::point(1, 2)).record(content::point(3, 4)).bytes();
}

TEST(ordane_shp_special_files, AFifoIsReadWhetherItsWriterComesFirstOrLater) {
  const Bytes b = two_points();
  for (const int delay_ms : {0, 300}) {
    FifoFeed fifo;
    ASSERT_TRUE(fifo.ok());
    fifo.start([&](int fd) { FifoFeed::write_all(fd, b.data(), b.size()); },
               milliseconds(delay_ms));
    ShpDataPtr d(ordane_parse_shp(fifo.path()));
    fifo.join();
    ASSERT_NE(d, nullptr) << "writer after " << delay_ms << " ms";
    EXPECT_EQ(d->num_shapes, 2);
    EXPECT_EQ(d->points[2], 3.0);
  }
  // The header through a pipe: it cannot skip a record, so it counts one.
  FifoFeed fifo;
  fifo.start([&](int fd) { FifoFeed::write_all(fd, b.data(), b.size()); }, milliseconds(100));
  ShpHeader h;
  EXPECT_EQ(ordane_read_shp_header(fifo.path(), &h), ORDANE_OK);
  fifo.join();
  EXPECT_EQ(h.shape_type, 1);
  EXPECT_EQ(h.record_count, 1);
}

TEST(ordane_shp_special_files, AFifoWithoutAWriterIsNotWaitedForForEver) {
  FifoFeed fifo;
  ASSERT_TRUE(fifo.ok());
  const Clock::time_point t0 = Clock::now();
  ShpHeader h;
  EXPECT_EQ(ordane_read_shp_header(fifo.path(), &h), ORDANE_SHP_ERR_OPEN);
  const auto waited = std::chrono::duration_cast<milliseconds>(Clock::now() - t0).count();
  EXPECT_GE(waited, ORDANE_SHP_PIPE_WAIT_MS - 50);

  // A writer that opens and closes without writing leaves an empty stream.
  FifoFeed empty;
  empty.start([](int) {}, milliseconds(50));
  EXPECT_EQ(ordane_read_shp_header(empty.path(), &h), ORDANE_SHP_ERR_TOO_SHORT);
  empty.join();
}

}  // namespace
