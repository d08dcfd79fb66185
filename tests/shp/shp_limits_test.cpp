// The shapefile reader's limits, with its sources built into this program:
//  - the count limit lowered to 5 (ORDANE_SHP_MAX_COUNT), so that the end of
//    reading at the 32-bit limit can be reached with small files;
//  - malloc, realloc and free wrapped by the linker (--wrap), so that every
//    allocation can be made to fail in turn, live blocks counted, and the
//    largest request seen.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "ordane.h"
#include "fifo_feed.h"
#include "shp_builder.h"

// ----------------------------------------------------------------------------
// Allocation wrappers
// ----------------------------------------------------------------------------

namespace {
bool g_tracking = false;
long g_fail_at = -1;     // index of the allocation to fail; -1 none
long g_allocations = 0;  // allocations attempted while tracking
long g_live = 0;         // blocks allocated minus blocks freed while tracking
size_t g_largest = 0;    // largest request while tracking

bool fail_this_one(size_t n) {
  if (!g_tracking) return false;
  if (n > g_largest) g_largest = n;
  return g_allocations++ == g_fail_at;
}
}  // namespace

extern "C" {
void* __real_malloc(size_t);
void* __real_realloc(void*, size_t);
void __real_free(void*);

void* __wrap_malloc(size_t n) {
  if (fail_this_one(n)) return nullptr;
  void* p = __real_malloc(n);
  if (p && g_tracking) ++g_live;
  return p;
}

void* __wrap_realloc(void* old, size_t n) {
  if (fail_this_one(n)) return nullptr;
  void* p = __real_realloc(old, n);
  if (p && !old && g_tracking) ++g_live;
  return p;
}

void __wrap_free(void* p) {
  if (p && g_tracking) --g_live;
  __real_free(p);
}
}

namespace {

using quillon_test::Bytes;
using quillon_test::ShpBuilder;
using quillon_test::TempFile;
using quillon_test::XY;
namespace content = quillon_test::shp_content;

struct Tracking {
  explicit Tracking(long fail_at = -1) {
    g_fail_at = fail_at;
    g_allocations = 0;
    g_live = 0;
    g_largest = 0;
    g_tracking = true;
  }
  ~Tracking() { g_tracking = false; }
};

using Data = quillon_test::ShpDataPtr;

const std::vector<XY> kTriangle = {{0, 0}, {1, 1}, {2, 0}, {0, 0}};

TEST(ordane_parse_shp_limits, CountsStopAtTheLimitAndTheShapesBeforeAreKept) {
  ASSERT_EQ(ORDANE_SHP_MAX_COUNT, 5);
  // Shapes: the sixth record is not read.
  ShpBuilder shapes(0);
  for (int i = 0; i < 7; ++i) shapes.record(content::type_only(0));
  TempFile f1(shapes.bytes());
  Data d(ordane_parse_shp(f1.path()));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->num_shapes, 5);
  ShpHeader h;
  ASSERT_EQ(ordane_read_shp_header(f1.path(), &h), ORDANE_OK);
  EXPECT_EQ(h.record_count, 5);

  // Points: 4 + 4 would pass 5, so reading ends after the first polygon.
  TempFile f2(ShpBuilder(5)
                  .record(content::poly(5, {0}, kTriangle))
                  .record(content::poly(5, {0}, kTriangle))
                  .bytes());
  d.reset(ordane_parse_shp(f2.path()));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->num_shapes, 1);
  EXPECT_EQ(d->num_points, 4u);

  // Parts: 3 + 3 would pass 5; Points: 5 fit exactly, a sixth does not.
  TempFile f3(ShpBuilder(3)
                  .record(content::poly(3, {0, 0, 0}, {}))
                  .record(content::poly(3, {0, 0, 0}, {}))
                  .bytes());
  d.reset(ordane_parse_shp(f3.path()));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->num_shapes, 1);
  EXPECT_EQ(d->num_parts, 3u);
  ShpBuilder points(1);
  for (int i = 0; i < 4; ++i) points.record(content::point(i, i));
  points.record(content::poly(3, {0}, {{9, 9}, {8, 8}}));
  TempFile f4(points.bytes());
  d.reset(ordane_parse_shp(f4.path()));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->num_shapes, 4);
  EXPECT_EQ(d->num_points, 4u);
}

TEST(ordane_parse_shp_limits, RunningOutOfMemoryAnywhereReturnsNullAndReleasesAll) {
  // Within the limit of 5, with records that make the record buffer grow.
  ShpBuilder b(5);
  b.record(content::type_only(0)).record(content::point(3, 4)).record(content::poly(5, {0}, kTriangle));
  b.record(content::type_only(0));
  TempFile f(b.bytes());

  long total = 0;
  {
    Tracking t;
    Data d(ordane_parse_shp(f.path()));
    ASSERT_NE(d, nullptr);
    total = g_allocations;
    d.reset();
    EXPECT_EQ(g_live, 0);
  }
  ASSERT_GE(total, 5);
  long nulls = 0;
  for (long fail_at = 0; fail_at < total; ++fail_at) {
    Tracking t(fail_at);
    ShpData* d = ordane_parse_shp(f.path());
    // A refused size guess, or a refused twofold growth of the record
    // buffer that the exact size then satisfies, is no failure; the result
    // is then whole.
    if (d) {
      EXPECT_EQ(d->num_shapes, 4);
      ordane_free_shp_data(d);
    } else {
      ++nulls;
    }
    EXPECT_EQ(g_live, 0) << "allocation " << fail_at;
  }
  EXPECT_GT(nulls, total / 2);
}

TEST(ordane_parse_shp_limits, AFalseContentLengthCostsNoLargeAllocation) {
  // 120 bytes of file, a record claiming 2 x (2^31 - 1) bytes.
  const Bytes b = ShpBuilder(1).record(content::point(1, 2), INT32_MAX).bytes();
  TempFile f(b);
  {
    Tracking t;
    Data d(ordane_parse_shp(f.path()));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->num_shapes, 0);
    EXPECT_LT(g_largest, size_t{4096});
  }

  // Through a pipe the size is unknown: the buffer grows only with the bytes
  // that really arrive.
  ::signal(SIGPIPE, SIG_IGN);
  const std::string fifo = std::string(f.path()) + ".fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    if (fd >= 0) {
      (void)!::write(fd, b.data(), b.size());
      ::close(fd);
    }
  });
  {
    Tracking t;
    Data d(ordane_parse_shp(fifo.c_str()));
    writer.join();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->num_shapes, 0);
    EXPECT_LE(g_largest, size_t{64 * 1024});
  }
  ::unlink(fifo.c_str());
}

TEST(ordane_shp_limits, EmptyRecordHeadersCountAgainstTheRecordLimit) {
  // Six empty headers and then a point: the limit of 5 headers ends the walk
  // before the point.
  ShpBuilder b(1);
  for (int i = 0; i < 6; ++i) b.raw(Bytes(8, 0));
  b.record(content::point(1, 2));
  TempFile f(b.bytes());
  ShpHeader h;
  ASSERT_EQ(ordane_read_shp_header(f.path(), &h), ORDANE_OK);
  EXPECT_EQ(h.record_count, 0);
  Data d(ordane_parse_shp(f.path()));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->num_shapes, 0);

  // A header and then zeros without end through a pipe: both readers stop
  // at the limit instead of reading for ever.
  const Bytes header = ShpBuilder(1).bytes();
  for (int which = 0; which < 2; ++which) {
    quillon_test::FifoFeed fifo;
    ASSERT_TRUE(fifo.ok());
    fifo.start([&](int fd) {
      if (!quillon_test::FifoFeed::write_all(fd, header.data(), header.size())) return;
      const Bytes zeros(4096, 0);
      while (quillon_test::FifoFeed::write_all(fd, zeros.data(), zeros.size())) {
      }
    });
    if (which == 0) {
      ASSERT_EQ(ordane_read_shp_header(fifo.path(), &h), ORDANE_OK);
      EXPECT_EQ(h.record_count, 0);
    } else {
      Data p(ordane_parse_shp(fifo.path()));
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(p->num_shapes, 0);
    }
  }
}

}  // namespace
