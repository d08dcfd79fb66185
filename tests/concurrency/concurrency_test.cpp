// The exports without a handle are re-entrant: eight threads run all of them
// at once, each on its own outputs and its own particle systems, and all
// parse the same shapefile. Every thread must get, call after call, exactly
// what one thread alone gets; ThreadSanitizer builds also check that no two
// calls touch shared memory unsynchronised.

#include <ordane.h>
#include <torvik.h>
#include <velket.h>

#include <blend2d/blend2d.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "bl_holders.h"
#include "shp_builder.h"

namespace {

using quillon_test::Canvas;
using quillon_test::Path;

// FNV-1a over the bytes of everything a round produced.
struct Digest {
  uint64_t h = 1469598103934665603ull;
  void bytes(const void* p, size_t n) {
    const unsigned char* c = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i) h = (h ^ c[i]) * 1099511628211ull;
  }
  template <typename T>
  void add(const T& v) {
    bytes(&v, sizeof v);
  }
  template <typename T>
  void add(const std::vector<T>& v) {
    bytes(v.data(), v.size() * sizeof(T));
  }
  void add(const Path& p) {
    add(p.commands());
    add(p.vertices());
  }
};

std::vector<double> lonlat_grid() {
  std::vector<double> v;
  for (int i = 0; i < 200; ++i) {
    v.push_back(-179.0 + 1.79 * i);
    v.push_back(-80.0 + 0.8 * i);
  }
  return v;
}

PerspectiveCamera camera() {
  PerspectiveCamera c{};
  c.viewport_width = 320;
  c.viewport_height = 240;
  c.fov = 50;
  c.pitch = 40;
  c.bearing = 20;
  c.roll = 5;
  c.distance = 400;
  return c;
}

// One round over every handle-free export (the download aside, which needs a
// server and has tests of its own). Returns the digest of all outputs.
uint64_t one_round(const char* shp_path, const Path& shared_src) {
  Digest d;
  const std::vector<double> in = lonlat_grid();
  const int64_t n = static_cast<int64_t>(in.size() / 2);

  // Projections, the viewport and the builders.
  std::vector<double> xy(in.size());
  d.add(ordane_proj_3857_forward(in.data(), xy.data(), n));
  std::vector<double> back(in.size());
  d.add(ordane_proj_3857_inverse(xy.data(), back.data(), n));
  d.add(xy);
  d.add(back);
  std::vector<double> lcc(in.size()), aea(in.size());
  d.add(ordane_proj_lcc_forward(33, 45, 23, -96, 0, 0, in.data(), lcc.data(), n));
  d.add(ordane_proj_albers_forward(29.5, 45.5, 23, -96, 0, 0, in.data(), aea.data(), n));
  d.add(lcc);
  d.add(aea);
  GeoTransform t;
  ordane_init_transform(&t, -2e7, -2e7, 2e7, 2e7, 640, 480, 0.05, 1, 1);
  std::vector<double> px(in.size());
  d.add(ordane_transform_coords(xy.data(), px.data(), n, &t));
  d.add(px);
  Path built;
  const int64_t offsets[] = {0, 50, 120, n};
  d.add(ordane_build_polygon(built.get(), xy.data(), offsets, 3, &t));
  d.add(ordane_build_multilinestring(built.get(), xy.data(), offsets, 3, &t));
  d.add(ordane_build_linestring(built.get(), xy.data(), n, &t));
  d.add(built);

  // The same shapefile, read by every thread.
  ShpHeader h;
  d.add(ordane_read_shp_header(shp_path, &h));
  d.add(h.file_length);
  d.add(h.shape_type);
  d.add(h.record_count);
  d.add(h.min_x + h.max_y);
  ShpData* shp = ordane_parse_shp(shp_path);
  d.add(shp != nullptr);
  if (shp) {
    d.bytes(shp->points, 16 * shp->num_points);
    d.bytes(shp->bboxes, 32 * static_cast<size_t>(shp->num_shapes));
    ordane_free_shp_data(shp);
  }

  // Easing and trimming (the source path is shared and only read).
  for (int i = 0; i <= 20; ++i) {
    d.add(velket_cubic_bezier_evaluate(i / 20.0, 0.25, 0.1, 0.25, 1.0));
    d.add(velket_spring_evaluate(i / 10.0, 170, 26, 1, 0));
  }
  Path trimmed;
  d.add(velket_trim_path(shared_src.get(), trimmed.get(), 0.2, 0.7, 0.05));
  d.add(velket_trim_path(shared_src.get(), trimmed.get(), 0.9, 0.1, 0.0));
  d.add(trimmed);

  // A particle system of this thread's own. Zero-width ranges make every
  // particle the same whatever rand() gives, since other threads draw too.
  ParticleSystem* ps = velket_ps_create(500);
  velket_ps_add_gravity(ps, 0, 30);
  velket_ps_add_drag(ps, 0.2);
  velket_ps_add_attractor(ps, 40, 40, 500);
  d.add(velket_ps_emit(ps, 300, 32, 32, 20, 20, 1, 1, 2, 2, 3, 1, 0xFF3080FFu, 0x80FF0000u));
  for (int i = 0; i < 5; ++i) velket_ps_update(ps, 0.1);
  d.add(velket_ps_get_count(ps));
  {
    Canvas canvas(64, 64);
    bl_context_clear_all(canvas.ctx());
    velket_ps_render(ps, canvas.ctx());
    canvas.end();
    for (int y = 0; y < 64; y += 3) {
      for (int x = 0; x < 64; x += 3) d.add(canvas.pixel(x, y));
    }
  }
  velket_ps_destroy(ps);

  // The camera: points, segments, paths (shared source, own destination,
  // and one in place) and the globe into this thread's buffer.
  const PerspectiveCamera cam = camera();
  std::vector<double> pts(px.size());
  std::vector<double> scales(static_cast<size_t>(n));
  std::vector<uint8_t> vis(static_cast<size_t>(n));
  d.add(torvik_transform_points(px.data(), pts.data(), scales.data(), vis.data(),
                                static_cast<uint64_t>(n), &cam));
  d.add(torvik_transform_lines(px.data(), pts.data(), nullptr, nullptr,
                               static_cast<uint64_t>(n / 2), &cam));
  d.add(pts);
  d.add(scales);
  d.add(vis);
  double x = 0, y = 0, s = 0;
  d.add(torvik_project_point(10, 20, &cam, &x, &y, &s));
  d.add(x + y + s);
  Path projected;
  double mean = 0;
  d.add(torvik_transform_path(shared_src.get(), projected.get(), &mean, &cam));
  d.add(torvik_transform_path(built.get(), built.get(), nullptr, &cam));
  d.add(projected);
  d.add(built);
  d.add(mean);
  std::vector<uint32_t> texture(64 * 32);
  for (size_t i = 0; i < texture.size(); ++i) texture[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
  std::vector<uint32_t> globe(96 * 96, 0xFF101020u);
  d.add(torvik_render_globe(globe.data(), 96, 96, 96 * 4, texture.data(), 64, 32, 64 * 4, 48, 48,
                            40, 30, 20, 0x8040A0FFu));
  d.add(globe);
  return d.h;
}

TEST(quillon_concurrency, EightThreadsGetWhatOneThreadGets) {
  // A shapefile of polygons and points, written once and read by all.
  quillon_test::ShpBuilder b(5);
  for (int i = 0; i < 40; ++i) {
    std::vector<quillon_test::XY> ring;
    for (int k = 0; k < 12; ++k) ring.push_back({i + std::cos(k * 0.5), std::sin(k * 0.5)});
    ring.push_back(ring.front());
    b.record(quillon_test::shp_content::poly(5, {0}, ring));
  }
  quillon_test::TempFile shp(b.bytes());
  ASSERT_TRUE(shp.ok());

  Path src;
  bl_path_move_to(src.get(), 0, 0);
  for (int i = 1; i < 300; ++i) bl_path_line_to(src.get(), i * 1.5, std::sin(i * 0.1) * 50);
  bl_path_cubic_to(src.get(), 10, 10, 20, -20, 30, 0);
  bl_path_close(src.get());

  const uint64_t want = one_round(shp.path(), src);
  ASSERT_EQ(one_round(shp.path(), src), want);
  constexpr int kThreads = 8;
  constexpr int kRounds = 6;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int r = 0; r < kRounds; ++r) {
        if (one_round(shp.path(), src) != want) ++mismatches[static_cast<size_t>(t)];
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[static_cast<size_t>(t)], 0) << "thread " << t;
}

}  // namespace
