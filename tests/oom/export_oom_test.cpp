// Running out of memory inside the exports that allocate or grow a path: each
// allocation an export makes is failed in turn, and the export must report
// it through its own result, leave its outputs as its contract says and
// release what it took. No exception may reach the caller.
#include <ordane.h>
#include <torvik.h>
#include <velket.h>

#include <blend2d/blend2d.h>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../../motion/particle_system_p.h"
#include "bl_holders.h"
#include "dbf_builder.h"
#include "velket_holders.h"
#include "failing_alloc.h"

namespace {

using quillon_test::FailingAlloc;
using quillon_test::Path;
using quillon_test::PsPtr;


uint64_t emit_still(ParticleSystem* ps, uint64_t count) {
  return velket_ps_emit(ps, count, 0, 0, 1, 2, 0, 6, 5, 5, 1, 1, 0xFFFFFFFFu, 0u);
}

// The rand() results consumed since srand(seed), found by replaying.
long draws_since(unsigned seed, int next) {
  std::srand(seed);
  for (long k = 0; k < 1000000; ++k) {
    if (std::rand() == next) return k;
  }
  return -1;
}

TEST(velket_ps_create_oom, EveryFailureGivesNullAndLeavesNothing) {
  if (!quillon_test::new_failures_available()) GTEST_SKIP() << "operator new is not ours";
  long total = 0;
  {
    FailingAlloc a;
    velket_ps_destroy(velket_ps_create(20000));
    total = a.attempts();
    EXPECT_EQ(a.live(), 0);
  }
  ASSERT_GE(total, 2);  // the handle and the reservation
  for (long i = 0; i < total; ++i) {
    FailingAlloc a(i);
    ParticleSystem* ps = velket_ps_create(20000);
    EXPECT_EQ(ps, nullptr) << "allocation " << i;
    velket_ps_destroy(ps);
    EXPECT_EQ(a.live(), 0) << "allocation " << i;
  }
}

TEST(velket_ps_emit_oom, ReturnsTheCountKeptAndDrawsNothingForTheRest) {
  if (!quillon_test::new_failures_available()) GTEST_SKIP() << "operator new is not ours";
  // 10000 are reserved; the growth beyond fails.
  PsPtr ps(velket_ps_create(1000000));
  ASSERT_NE(ps.get(), nullptr);
  constexpr unsigned kSeed = 777u;
  std::srand(kSeed);
  uint64_t got = 0;
  {
    FailingAlloc a(0, true);
    got = emit_still(ps.get(), 25000);
    EXPECT_GE(a.failures(), 1);
  }
  EXPECT_EQ(got, 10000u);
  EXPECT_EQ(velket_ps_get_count(ps.get()), 10000u);
  // Exactly four draws per particle kept, none for the one refused.
  EXPECT_EQ(draws_since(kSeed, std::rand()), 4 * 10000);

  // With memory back, emission grows the storage and goes on.
  EXPECT_EQ(emit_still(ps.get(), 5000), 5000u);
  EXPECT_EQ(velket_ps_get_count(ps.get()), 15000u);
  // And the limit still ends it; a null handle emits nothing.
  PsPtr small(velket_ps_create(3));
  EXPECT_EQ(emit_still(small.get(), 9), 3u);
  EXPECT_EQ(emit_still(small.get(), 9), 0u);
  EXPECT_EQ(emit_still(nullptr, 9), 0u);
}

TEST(velket_ps_add_oom, AFailedForceIsReportedAndNotAdded) {
  if (!quillon_test::new_failures_available()) GTEST_SKIP() << "operator new is not ours";
  PsPtr ps(velket_ps_create(0));
  ASSERT_NE(ps.get(), nullptr);
  {
    FailingAlloc a(0, true);
    EXPECT_EQ(velket_ps_add_gravity(ps.get(), 0, 10), VELKET_ERR_OUT_OF_MEMORY);
    EXPECT_EQ(velket_ps_add_drag(ps.get(), 0.5), VELKET_ERR_OUT_OF_MEMORY);
    EXPECT_EQ(velket_ps_add_attractor(ps.get(), 1, 1, 5), VELKET_ERR_OUT_OF_MEMORY);
  }
  EXPECT_TRUE(ps.get()->forces.empty());
  EXPECT_EQ(velket_ps_add_gravity(nullptr, 0, 10), VELKET_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(velket_ps_add_drag(ps.get(), 0.5), VELKET_OK);
  EXPECT_EQ(ps.get()->forces.size(), 1u);
}

// A path with curves, closes, a hidden vertex and a NaN, repeated.
void fill_source(BLPathCore* p, int repeats) {
  for (int i = 0; i < repeats; ++i) {
    const double o = i * 3.0;
    bl_path_move_to(p, o, 0);
    bl_path_line_to(p, o + 1, 5);
    bl_path_line_to(p, o + 2, -1000);  // hidden
    bl_path_cubic_to(p, o, 1, o + 1, 2, o + 2, 3);
    bl_path_line_to(p, o, std::nan(""));
    bl_path_close(p);
  }
}

PerspectiveCamera tilted() {
  PerspectiveCamera c{};
  c.viewport_width = 800;
  c.viewport_height = 600;
  c.fov = 60;
  c.pitch = 30;
  c.distance = 300;
  return c;
}

bool same_path(const Path& a, const Path& b) {
  if (a.commands() != b.commands()) return false;
  const std::vector<BLPoint> va = a.vertices(), vb = b.vertices();
  for (size_t i = 0; i < va.size(); ++i) {
    const bool close = a.cmd(i) == BL_PATH_CMD_CLOSE;
    if (!close && (va[i].x != vb[i].x || va[i].y != vb[i].y)) return false;
  }
  return true;
}

TEST(torvik_transform_path_oom, InPlaceNeedsNoAllocation) {
  if (!quillon_test::new_failures_available()) GTEST_SKIP() << "operator new is not ours";
  const PerspectiveCamera cam = tilted();
  Path src, want;
  fill_source(src.get(), 200);
  double want_mean = 0;
  ASSERT_EQ(torvik_transform_path(src.get(), want.get(), &want_mean, &cam), TORVIK_OK);

  Path same;
  fill_source(same.get(), 200);
  double mean = 0;
  {
    // Every allocation fails, yet the path is rebuilt in its own storage.
    FailingAlloc a(0, true);
    EXPECT_EQ(torvik_transform_path(same.get(), same.get(), &mean, &cam), TORVIK_OK);
    EXPECT_EQ(a.attempts(), 0);
  }
  EXPECT_TRUE(same_path(same, want));
  EXPECT_EQ(mean, want_mean);
}

TEST(torvik_transform_path_oom, AFailedGrowthLeavesDstEmptyAndTheScaleUnwritten) {
  if (!quillon_test::malloc_failures_available()) GTEST_SKIP() << "malloc is the sanitizer's";
  const PerspectiveCamera cam = tilted();
  Path src;
  fill_source(src.get(), 2000);
  long total = 0;
  {
    Path dst;
    bl_path_move_to(dst.get(), 1, 2);
    FailingAlloc a;
    ASSERT_EQ(torvik_transform_path(src.get(), dst.get(), nullptr, &cam), TORVIK_OK);
    total = a.attempts();
  }
  ASSERT_GE(total, 1);
  for (long i = 0; i < total; ++i) {
    Path dst;
    bl_path_move_to(dst.get(), 1, 2);
    double mean = -7;
    int32_t r = 0;
    {
      FailingAlloc a(i);
      r = torvik_transform_path(src.get(), dst.get(), &mean, &cam);
    }
    EXPECT_EQ(r, TORVIK_ERR_OUT_OF_MEMORY) << "allocation " << i;
    EXPECT_EQ(dst.size(), 0u) << "allocation " << i;
    EXPECT_EQ(mean, -7);
  }
}

// A zigzag of n vertices, 1 unit per segment along x.
void fill_zigzag(BLPathCore* p, size_t n) {
  bl_path_move_to(p, 0, 0);
  for (size_t i = 1; i < n; ++i) bl_path_line_to(p, static_cast<double>(i), (i & 1) ? 0.5 : 0.0);
}

TEST(velket_trim_path_oom, MeasuringTakesNoWorkingArray) {
  if (!quillon_test::new_failures_available()) GTEST_SKIP() << "operator new is not ours";
  Path src, dst;
  fill_zigzag(src.get(), 100000);
  {
    FailingAlloc a;
    EXPECT_EQ(velket_trim_path(src.get(), dst.get(), 0.5, 0.5001, 0.0), VELKET_OK);
    // Only the short piece is stored, never a block per source vertex.
    EXPECT_LT(a.largest(), size_t{4096});
  }
  EXPECT_GE(dst.size(), 2u);
  // The offset walk gives the same piece as a direct range.
  Path direct;
  EXPECT_EQ(velket_trim_path(src.get(), direct.get(), 0.25, 0.2501, 0.25), VELKET_OK);
  EXPECT_TRUE(same_path(direct, dst));
}

TEST(velket_trim_path_oom, AFailedAppendLeavesDstAsItWas) {
  if (!quillon_test::malloc_failures_available()) GTEST_SKIP() << "malloc is the sanitizer's";
  struct Case {
    double start, end, offset;
    bool same;  // src is dst
  };
  const Case cases[] = {{0.1, 0.9, 0, false}, {0.8, 0.2, 0, false}, {0, 1, 0, false},
                        {0.1, 0.9, 0, true},  {0.8, 0.2, 0, true},  {0, 1, 0, true}};
  for (const Case& c : cases) {
    Path src, dst;
    fill_zigzag(src.get(), 3000);
    bl_path_move_to(dst.get(), 7, 7);
    BLPathCore* out = c.same ? src.get() : dst.get();
    long total = 0;
    {
      Path probe;
      fill_zigzag(probe.get(), 3000);
      Path probe_dst;
      bl_path_move_to(probe_dst.get(), 7, 7);
      FailingAlloc a;
      ASSERT_EQ(velket_trim_path(probe.get(), c.same ? probe.get() : probe_dst.get(), c.start,
                                 c.end, c.offset),
                VELKET_OK);
      total = a.attempts();
    }
    ASSERT_GE(total, 1);
    const std::vector<uint8_t> cmds_before = (c.same ? src : dst).commands();
    for (long i = 0; i < total; ++i) {
      int32_t r = 0;
      {
        FailingAlloc a(i);
        r = velket_trim_path(src.get(), out, c.start, c.end, c.offset);
      }
      EXPECT_EQ(r, VELKET_ERR_OUT_OF_MEMORY) << "allocation " << i;
      EXPECT_EQ((c.same ? src : dst).commands(), cmds_before) << "allocation " << i;
    }
  }
}

TEST(ordane_build_oom, AFailedAppendStopsTheBuildAndIsReported) {
  if (!quillon_test::malloc_failures_available()) GTEST_SKIP() << "malloc is the sanitizer's";
  // Three rings of 400 points each.
  std::vector<double> pts;
  for (int r = 0; r < 3; ++r) {
    for (int i = 0; i < 400; ++i) {
      pts.push_back(r * 10 + std::cos(i * 0.0157));
      pts.push_back(std::sin(i * 0.0157));
    }
  }
  const int64_t offsets[] = {0, 400, 800, 1200};
  using Build = int32_t (*)(BLPathCore*, const std::vector<double>&, const int64_t*);
  const Build builds[] = {
      [](BLPathCore* p, const std::vector<double>& v, const int64_t* o) {
        return ordane_build_polygon(p, v.data(), o, 3, nullptr);
      },
      [](BLPathCore* p, const std::vector<double>& v, const int64_t* o) {
        return ordane_build_multilinestring(p, v.data(), o, 3, nullptr);
      },
      [](BLPathCore* p, const std::vector<double>& v, const int64_t*) {
        return ordane_build_linestring(p, v.data(), 1200, nullptr);
      }};
  for (Build build : builds) {
    Path whole;
    long total = 0;
    {
      FailingAlloc a;
      ASSERT_EQ(build(whole.get(), pts, offsets), ORDANE_OK);
      total = a.attempts();
    }
    ASSERT_GE(total, 2);
    for (long i = 0; i < total; ++i) {
      Path dst;
      int32_t r = 0;
      {
        FailingAlloc a(i);
        r = build(dst.get(), pts, offsets);
      }
      EXPECT_EQ(r, ORDANE_BUILD_ERR_OUT_OF_MEMORY) << "allocation " << i;
      // What was appended is the start of the whole result.
      const std::vector<uint8_t> got = dst.commands(), want = whole.commands();
      ASSERT_LT(got.size(), want.size());
      EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin())) << "allocation " << i;
    }
  }
}

// The download fails each allocation of its own, libcurl's and libidn2's in
// turn, for a valid URL whose port refuses connections (-7 when nothing
// fails). Memory running out before the transfer is -4 and during it -7;
// never a bad URL (-3) or any other code, and the destination is never made.
TEST(ordane_http_download_oom, RunningOutIsReportedAsSuchAndNeverAsABadUrl) {
  if (!quillon_test::malloc_failures_available()) GTEST_SKIP() << "malloc is the sanitizer's";
  // A socket bound to a port but not listening: connections are refused.
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length), 0);
  const std::string url =
      "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/a/b?c=d#part";
  const std::string dest =
      (std::filesystem::temp_directory_path() /
       ("ordane-oom-" + std::to_string(static_cast<long>(getpid())) + ".bin"))
          .string();
  setenv("no_proxy", "127.0.0.1", 1);
  setenv("NO_PROXY", "127.0.0.1", 1);

  // libcurl's process-wide set-up happens once, on the first call.
  ASSERT_EQ(ordane_http_download_file(url.c_str(), dest.c_str()), ORDANE_HTTP_ERR_SEND);
  long total = 0;
  {
    FailingAlloc a;
    ASSERT_EQ(ordane_http_download_file(url.c_str(), dest.c_str()), ORDANE_HTTP_ERR_SEND);
    total = a.attempts();
  }
  ASSERT_GE(total, 5);
  bool saw_before = false;
  for (long i = 0; i < total; ++i) {
    int32_t r = 0;
    {
      FailingAlloc a(i);
      r = ordane_http_download_file(url.c_str(), dest.c_str());
    }
    EXPECT_TRUE(r == ORDANE_HTTP_ERR_SESSION || r == ORDANE_HTTP_ERR_SEND)
        << "allocation " << i << " of " << total << ": " << r;
    if (r == ORDANE_HTTP_ERR_SESSION) saw_before = true;
  }
  EXPECT_TRUE(saw_before);
  EXPECT_FALSE(std::filesystem::exists(dest));
  close(fd);
}

}  // namespace

namespace {

// Each allocation of ordane_read_dbf (and of the C library's streams and
// iconv under it) failed in turn: the result is ORDANE_ERR_OUT_OF_MEMORY
// and "*table" is untouched, never another code, and the full read still
// matches once nothing fails.
int32_t read_dbf_failing_at(const char* path, long i, DbfTable** t, long* attempts) {
  FailingAlloc a(i);
  const int32_t r = ordane_read_dbf(path, nullptr, -1, t);
  *attempts = a.attempts();
  return r;
}

}  // namespace

TEST(ordane_read_dbf_oom, EveryFailedAllocationIsReportedAsOutOfMemory) {
  if (!quillon_test::malloc_failures_available()) GTEST_SKIP() << "malloc is the sanitizer's";
  const quillon_test::Bytes b = quillon_test::DbfBuilder()
                                    .field("NAME", 'C', 10)
                                    .field("V", 'N', 8, 2)
                                    .field("D", 'D', 8)
                                    .field("L", 'L', 1)
                                    .field("M", 'M', 4)
                                    .record({"caf\xE9", "1.25", "20000101", "T", "0001"})
                                    .record({"x", "", "", "?", ""}, true)
                                    .bytes();
  for (const char* cpg : {static_cast<const char*>(nullptr), "1252"}) {
    quillon_test::TempFile f(b, ".dbf");
    std::unique_ptr<quillon_test::Companion> c;
    if (cpg) c = std::make_unique<quillon_test::Companion>(f, ".cpg", quillon_test::text_bytes(cpg));
    long total = 0;
    DbfTable* whole = nullptr;
    ASSERT_EQ(read_dbf_failing_at(f.path(), -1, &whole, &total), ORDANE_OK);
    quillon_test::DbfTablePtr keep(whole);
    ASSERT_GT(total, 5);
    for (long i = 0; i < total; ++i) {
      DbfTable* t = reinterpret_cast<DbfTable*>(0x1);
      long unused = 0;
      const int32_t r = read_dbf_failing_at(f.path(), i, &t, &unused);
      if (r == ORDANE_OK) {
        // An allocation whose failure the C library absorbs (iconv's cache).
        ASSERT_STREQ(t->encoding, whole->encoding) << "allocation " << i;
        ordane_free_dbf_table(t);
        continue;
      }
      EXPECT_EQ(r, ORDANE_ERR_OUT_OF_MEMORY) << "allocation " << i << (cpg ? " with .cpg" : "");
      EXPECT_EQ(t, reinterpret_cast<DbfTable*>(0x1));
    }
  }
}

namespace {

// A ring crossing the antimeridian twice, with a hole, and a line: enough
// points that the result's buffers grow several times from a small hint.
struct CutInput {
  std::vector<double> pts;
  std::vector<int64_t> offs{0};
  CutInput() {
    ring(170.0, 10.0, 20.0, 400);
    ring(175.0, 10.0, 5.0, 50);
    for (int i = 0; i < 300; ++i) add(160.0 + i * 0.2, -40.0 + i * 0.01);
    offs.push_back(static_cast<int64_t>(pts.size() / 2));
  }
  void ring(double cx, double cy, double r, int n) {
    for (int i = 0; i <= n; ++i) {
      const double a = 6.283185307179586 * (i % n) / n;
      add(cx + r * std::cos(a), cy + r * std::sin(a));
    }
    offs.push_back(static_cast<int64_t>(pts.size() / 2));
  }
  void add(double x, double y) {
    pts.push_back(x);
    pts.push_back(y);
  }
};

struct PartsPtr {
  GeoParts* p = nullptr;
  ~PartsPtr() { ordane_free_parts(p); }
};

bool same_parts(const GeoParts* a, const GeoParts* b) {
  if (a->num_points != b->num_points || a->num_parts != b->num_parts) return false;
  const auto n = static_cast<size_t>(a->num_points), m = static_cast<size_t>(a->num_parts);
  return std::memcmp(a->points, b->points, 16 * n) == 0 &&
         std::memcmp(a->part_offsets, b->part_offsets, 8 * (m + 1)) == 0 &&
         std::memcmp(a->source_parts, b->source_parts, 8 * m) == 0 &&
         std::memcmp(a->part_flags, b->part_flags, 4 * m) == 0;
}

}  // namespace

// Each allocation of the cutting and densifying exports failed in turn: the
// result is ORDANE_ERR_OUT_OF_MEMORY with "*out" untouched, or, when only a
// size hint or the final shrink failed, the same bits as an unhindered run.
TEST(ordane_cut_parts_oom, EveryFailureIsReportedOrAbsorbedWithTheSameResult) {
  if (!quillon_test::malloc_failures_available()) GTEST_SKIP() << "malloc is the sanitizer's";
  const CutInput in;
  GeoCutOptions am{};
  am.mode = ORDANE_CUT_ANTIMERIDIAN;
  am.pole_lat = 90.0;
  am.max_step = 0.5;
  GeoCutOptions hz = am;
  hz.mode = ORDANE_CUT_HORIZON;
  hz.lon0 = 175.0;
  hz.lat0 = 10.0;
  GeoProjection merc{};
  merc.kind = ORDANE_PROJECTION_MERCATOR;
  const auto run = [&](int which, GeoParts** out) {
    const int64_t count = static_cast<int64_t>(in.offs.size()) - 1;
    if (which == 2) {
      return ordane_densify_parts(in.pts.data(), in.offs.data(), count, 1, &merc, nullptr,
                                  1e3, 8, out);
    }
    return ordane_cut_parts(in.pts.data(), in.offs.data(), count, 1, which == 0 ? &am : &hz,
                            out);
  };
  for (int which = 0; which < 3; ++which) {
    PartsPtr whole;
    long total = 0;
    {
      FailingAlloc a;
      ASSERT_EQ(run(which, &whole.p), ORDANE_OK);
      total = a.attempts();
    }
    ASSERT_GT(whole.p->num_parts, 1);
    ASSERT_GT(total, 4);
    long absorbed = 0;
    for (long i = 0; i < total; ++i) {
      GeoParts* out = reinterpret_cast<GeoParts*>(0x1);
      int32_t r;
      {
        FailingAlloc a(i);
        r = run(which, &out);
      }
      if (r == ORDANE_OK) {
        PartsPtr got{out};
        EXPECT_TRUE(same_parts(got.p, whole.p)) << "export " << which << ", allocation " << i;
        ++absorbed;
        continue;
      }
      EXPECT_EQ(r, ORDANE_ERR_OUT_OF_MEMORY) << "export " << which << ", allocation " << i;
      EXPECT_EQ(out, reinterpret_cast<GeoParts*>(0x1));
    }
    // The hint and the shrinks may fail harmlessly; the growths may not.
    EXPECT_LT(absorbed, total) << "export " << which;
  }
}
