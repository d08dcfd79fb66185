// Both shapefile readers on files that are not plain files: devices,
// directories and sockets are refused before a byte is read, and a FIFO is
// read whether its writer comes before or after the call, but not waited for
// for ever.

#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <thread>

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

// A signal handler installed without SA_RESTART (as scripting languages
// install theirs) makes a read that waits on a pipe fail with EINTR. Such a
// read is retried: a timer firing every millisecond while the writer sends
// its records in pieces, with pauses, must not cut the stream short.
std::atomic<int> g_ticks{0};
void count_tick(int) { g_ticks.fetch_add(1, std::memory_order_relaxed); }

TEST(ordane_shp_special_files, ReadsFromAPipeSurviveInterruptingSignals) {
  struct sigaction action {};
  action.sa_handler = count_tick;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART
  struct sigaction previous {};
  ASSERT_EQ(::sigaction(SIGALRM, &action, &previous), 0);
  itimerval every_ms{{0, 1000}, {0, 1000}};
  ASSERT_EQ(::setitimer(ITIMER_REAL, &every_ms, nullptr), 0);

  ShpBuilder builder(5);
  for (int i = 0; i < 40; ++i) {
    builder.record(content::poly(5, {0}, {{0, 0}, {double(i), 1}, {2, double(i)}, {0, 0}}));
  }
  const Bytes b = builder.bytes();
  const auto slowly = [&](int fd) {
    for (size_t off = 0; off < b.size(); off += 97) {
      FifoFeed::write_all(fd, b.data() + off, std::min<size_t>(97, b.size() - off));
      std::this_thread::sleep_for(milliseconds(3));
    }
  };
  g_ticks = 0;
  FifoFeed fifo;
  ASSERT_TRUE(fifo.ok());
  fifo.start(slowly, milliseconds(20));
  ShpHeader h;
  const int32_t header_rc = ordane_read_shp_header(fifo.path(), &h);
  fifo.join();
  FifoFeed fifo2;
  ASSERT_TRUE(fifo2.ok());
  fifo2.start(slowly, milliseconds(20));
  ShpDataPtr d(ordane_parse_shp(fifo2.path()));
  fifo2.join();

  // Stop the timer and let a tick still pending arrive (valgrind, for one,
  // delivers signals late), then drop any left (ignoring a signal discards
  // it) before the previous action, which may end the process, comes back.
  const itimerval off{};
  ::setitimer(ITIMER_REAL, &off, nullptr);
  std::this_thread::sleep_for(milliseconds(50));
  ::signal(SIGALRM, SIG_IGN);
  ::sigaction(SIGALRM, &previous, nullptr);
  EXPECT_GT(g_ticks.load(), 20) << "the timer hardly fired";
  EXPECT_EQ(header_rc, ORDANE_OK);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->num_shapes, 40);
  EXPECT_EQ(d->num_points, 160);
}

}  // namespace
