// Running out of memory inside the exports that allocate or grow a path: each
// allocation an export makes is failed in turn, and the export must report
// it through its own result, leave its outputs as its contract says and
// release what it took. No exception may reach the caller.
#include <ordane.h>
#include <torvik.h>
#include <velket.h>

#include <blend2d/blend2d.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "../../motion/particle_system_p.h"
#include "bl_holders.h"
#include "dbf_builder.h"
#include "failing_alloc.h"

namespace {

using quillon_test::FailingAlloc;
using quillon_test::PathHolder;

struct Ps {
  ParticleSystem* p;
  explicit Ps(ParticleSystem* ps) : p(ps) {}
  ~Ps() { velket_ps_destroy(p); }
};

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
  Ps ps(velket_ps_create(1000000));
  ASSERT_NE(ps.p, nullptr);
  constexpr unsigned kSeed = 777u;
  std::srand(kSeed);
  uint64_t got = 0;
  {
    FailingAlloc a(0, true);
    got = emit_still(ps.p, 25000);
    EXPECT_GE(a.failures(), 1);
  }
  EXPECT_EQ(got, 10000u);
  EXPECT_EQ(velket_ps_get_count(ps.p), 10000u);
  // Exactly four draws per particle kept, none for the one refused.
  EXPECT_EQ(draws_since(kSeed, std::rand()), 4 * 10000);

  // With memory back, emission grows the storage and goes on.
  EXPECT_EQ(emit_still(ps.p, 5000), 5000u);
  EXPECT_EQ(velket_ps_get_count(ps.p), 15000u);
  // And the limit still ends it; a null handle emits nothing.
  Ps small(velket_ps_create(3));
  EXPECT_EQ(emit_still(small.p, 9), 3u);
  EXPECT_EQ(emit_still(small.p, 9), 0u);
  EXPECT_EQ(emit_still(nullptr, 9), 0u);
}

TEST(velket_ps_add_oom, AFailedForceIsReportedAndNotAdded) {
  if (!quillon_test::new_failures_available()) GTEST_SKIP() << "operator new is not ours";
  Ps ps(velket_ps_create(0));
  ASSERT_NE(ps.p, nullptr);
  {
    FailingAlloc a(0, true);
    EXPECT_EQ(velket_ps_add_gravity(ps.p, 0, 10), VELKET_ERR_OUT_OF_MEMORY);
    EXPECT_EQ(velket_ps_add_drag(ps.p, 0.5), VELKET_ERR_OUT_OF_MEMORY);
    EXPECT_EQ(velket_ps_add_attractor(ps.p, 1, 1, 5), VELKET_ERR_OUT_OF_MEMORY);
  }
  EXPECT_TRUE(ps.p->forces.empty());
  EXPECT_EQ(velket_ps_add_gravity(nullptr, 0, 10), VELKET_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(velket_ps_add_drag(ps.p, 0.5), VELKET_OK);
  EXPECT_EQ(ps.p->forces.size(), 1u);
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

bool same_path(const PathHolder& a, const PathHolder& b) {
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
  PathHolder src, want;
  fill_source(src.get(), 200);
  double want_mean = 0;
  ASSERT_EQ(torvik_transform_path(src.get(), want.get(), &want_mean, &cam), TORVIK_OK);

  PathHolder same;
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
  PathHolder src;
  fill_source(src.get(), 2000);
  long total = 0;
  {
    PathHolder dst;
    bl_path_move_to(dst.get(), 1, 2);
    FailingAlloc a;
    ASSERT_EQ(torvik_transform_path(src.get(), dst.get(), nullptr, &cam), TORVIK_OK);
    total = a.attempts();
  }
  ASSERT_GE(total, 1);
  for (long i = 0; i < total; ++i) {
    PathHolder dst;
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
  PathHolder src, dst;
  fill_zigzag(src.get(), 100000);
  {
    FailingAlloc a;
    EXPECT_EQ(velket_trim_path(src.get(), dst.get(), 0.5, 0.5001, 0.0), VELKET_OK);
    // Only the short piece is stored, never a block per source vertex.
    EXPECT_LT(a.largest(), size_t{4096});
  }
  EXPECT_GE(dst.size(), 2u);
  // The offset walk gives the same piece as a direct range.
  PathHolder direct;
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
    PathHolder src, dst;
    fill_zigzag(src.get(), 3000);
    bl_path_move_to(dst.get(), 7, 7);
    BLPathCore* out = c.same ? src.get() : dst.get();
    long total = 0;
    {
      PathHolder probe;
      fill_zigzag(probe.get(), 3000);
      PathHolder probe_dst;
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
    PathHolder whole;
    long total = 0;
    {
      FailingAlloc a;
      ASSERT_EQ(build(whole.get(), pts, offsets), ORDANE_OK);
      total = a.attempts();
    }
    ASSERT_GE(total, 2);
    for (long i = 0; i < total; ++i) {
      PathHolder dst;
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
