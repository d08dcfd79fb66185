// The whole poster for files other than the sample: polylines and points in
// degrees, and polygons in metres (drawn as they are). Each must paint its
// geometry into the world panel.
#include "scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "shp_builder.h"

namespace {

using quillon_test::Record;
using quillon_test::Ring;

// Pixels inside the world panel (40..1040 x 40..620 at width 1600, scaled)
// that stand out from its ocean 0x0F2A40: channel differences summing to
// more than 0x70, which the faint graticule (about 0x4B) never reaches while
// land, lines and points do.
int painted_in(const poster::Image& image, double k, int x0, int y0, int x1, int y1) {
  const BLImageData d = image.data();
  int count = 0;
  for (int y = static_cast<int>(y0 * k); y < static_cast<int>(y1 * k); ++y) {
    const auto* row =
        reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(d.pixel_data) + d.stride * y);
    for (int x = static_cast<int>(x0 * k); x < static_cast<int>(x1 * k); ++x) {
      const int r = (row[x] >> 16) & 0xFF, g = (row[x] >> 8) & 0xFF, b = row[x] & 0xFF;
      if (std::abs(r - 0x0F) + std::abs(g - 0x2A) + std::abs(b - 0x40) > 0x70) ++count;
    }
  }
  return count;
}

int painted_in_world_panel(const poster::Image& image, double k) {
  return painted_in(image, k, 60, 60, 1020, 600);
}

// Share of the world panel's pixels that show the plain ocean (the faint
// graticule included).
double ocean_share(const poster::Image& image, double k) {
  const BLImageData d = image.data();
  int ocean = 0, all = 0;
  for (int y = static_cast<int>(45 * k); y < static_cast<int>(615 * k); ++y) {
    const auto* row =
        reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(d.pixel_data) + d.stride * y);
    for (int x = static_cast<int>(45 * k); x < static_cast<int>(1035 * k); ++x) {
      const int r = (row[x] >> 16) & 0xFF, g = (row[x] >> 8) & 0xFF, b = row[x] & 0xFF;
      ++all;
      if (std::abs(r - 0x0F) + std::abs(g - 0x2A) + std::abs(b - 0x40) < 0x30) ++ocean;
    }
  }
  return static_cast<double>(ocean) / all;
}

// Renders the poster of a file at width 480; "image" receives it.
void render_to(int32_t shape_type, const std::vector<Record>& records, const std::string& name,
               std::unique_ptr<poster::Image>* image, double* k) {
  poster::MapData map;
  std::string error;
  const std::string path =
      quillon_test::write_temp(name, quillon_test::shapefile_bytes(shape_type, records));
  if (!poster::load_shapefile(path, &map, &error)) {
    ADD_FAILURE() << error;
    return;
  }
  poster::SceneOptions options;
  options.width = 480;
  const poster::Scene scene(map, options);
  poster::Sparks sparks(scene.pixel_scale());
  image->reset(new poster::Image(scene.width(), scene.height()));
  const poster::SceneState state = poster::poster_state();
  scene.warm_up(state, &sparks);
  scene.render(state, sparks, image->get());
  EXPECT_EQ((*image)->width(), 480);
  EXPECT_EQ((*image)->height(), 300);
  *k = scene.pixel_scale();
}

int render(int32_t shape_type, const std::vector<Record>& records, const std::string& name) {
  std::unique_ptr<poster::Image> image;
  double k = 0.0;
  render_to(shape_type, records, name, &image, &k);
  return image ? painted_in_world_panel(*image, k) : 0;
}

Ring spiral(double cx, double cy) {
  Ring r;
  for (int t = 0; t < 120; ++t) {
    r.push_back(cx + (1 + t / 30.0) * 4 * std::cos(t / 6.0));
    r.push_back(cy + (1 + t / 30.0) * 3 * std::sin(t / 6.0));
  }
  return r;
}

TEST(Scene, DrawsPolylinesPointsAndPlanarPolygons) {
  EXPECT_GT(render(3, {Record{{spiral(10, 50)}, {}}, Record{{spiral(-60, 10)}, {}}}, "lines.shp"),
            400);
  EXPECT_GT(render(1, {Record{{spiral(0, 0)}, {}}}, "points.shp"), 100);
  const Ring square_m{500000, 500000, 500000, 900000, 900000,
                      900000, 900000, 500000, 500000, 500000};
  EXPECT_GT(render(5, {Record{{square_m}, {}}}, "metres.shp"), 20000);
}

// Antarctica's ring runs around the pole. Unless it is closed along the
// pole, a conic turns it inside out and the whole world panel becomes one
// land fill with the countries as holes in it.
TEST(Scene, WorldMapsInEveryProjectionShowOceanAroundTheLand) {
  poster::MapData map;
  std::string error;
  ASSERT_TRUE(poster::load_shapefile(QUILLON_SAMPLE_SHP, &map, &error)) << error;
  for (poster::Projection world :
       {poster::Projection::kMercator, poster::Projection::kAlbers, poster::Projection::kLcc}) {
    poster::SceneOptions options;
    options.width = 480;
    options.world = world;
    options.conic = world == poster::Projection::kAlbers ? world : poster::Projection::kLcc;
    const poster::Scene scene(map, options);
    poster::Sparks sparks(scene.pixel_scale());
    poster::Image image(scene.width(), scene.height());
    scene.render(poster::poster_state(), sparks, &image);
    const double share = ocean_share(image, scene.pixel_scale());
    EXPECT_GT(share, 0.45) << static_cast<int>(world);
    EXPECT_LT(share, 0.85) << static_cast<int>(world);
  }
}

TEST(Scene, DrawsPointFilesInEveryMapPanel) {
  // Points over Europe, one of them a slip far outside longitude.
  Ring points = spiral(10, 50);
  points[0] = 228.3;
  std::unique_ptr<poster::Image> image;
  double k = 0.0;
  render_to(1, {Record{{points}, {}}}, "europe_points.shp", &image, &k);
  ASSERT_TRUE(image);
  EXPECT_GT(painted_in_world_panel(*image, k), 100);
  EXPECT_GT(painted_in(*image, k, 410, 660, 1030, 950), 100);   // flat conic
  EXPECT_GT(painted_in(*image, k, 1090, 530, 1550, 950), 100);  // tilted conic
}

// The burst thrown when the coast is complete must read as sparks flying
// apart, not as a solid white blob, in the frames that follow it.
TEST(Scene, FinaleSparksDoNotMergeIntoWhiteBlobs) {
  poster::MapData map;
  std::string error;
  ASSERT_TRUE(poster::load_shapefile(QUILLON_SAMPLE_SHP, &map, &error)) << error;
  poster::SceneOptions options;
  options.width = 800;
  const poster::Scene scene(map, options);
  std::srand(20240611u);
  poster::Sparks sparks(scene.pixel_scale());
  poster::Image image(scene.width(), scene.height());
  const int frames = 48;
  double previous = 0.0;
  int after_finale = -1, worst = 0;
  for (int i = 0; i < frames; ++i) {
    const poster::SceneState state = poster::frame_state(i, frames);
    if (previous < 1.0 && state.reveal >= 1.0) {
      scene.finale(&sparks);
      after_finale = 0;
    }
    previous = state.reveal;
    scene.advance(state, &sparks, 1.0 / 24.0);
    if (after_finale < 0 || ++after_finale > 6) continue;
    scene.render(state, sparks, &image);
    const BLImageData d = image.data();
    int white = 0;
    for (int y = 0; y < d.size.h; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(d.pixel_data) +
                                                          d.stride * y);
      for (int x = 0; x < d.size.w; ++x)
        if (((row[x] >> 16) & 0xFF) > 0xF0 && ((row[x] >> 8) & 0xFF) > 0xF0 && (row[x] & 0xFF) > 0xE0)
          ++white;
    }
    worst = std::max(worst, white);
  }
  ASSERT_GE(after_finale, 1);
  EXPECT_LT(worst, 150);
}

// Sparks thrown at the corner of the world panel stay inside it: the
// margin to its left and the gap below it keep the plain background.
TEST(Scene, SparksStayInsideTheWorldPanel) {
  poster::MapData map;
  std::string error;
  ASSERT_TRUE(poster::load_shapefile(QUILLON_SAMPLE_SHP, &map, &error)) << error;
  poster::SceneOptions options;
  options.width = 800;  // k = 0.5: the world panel spans 20..520 x 20..310
  const poster::Scene scene(map, options);
  poster::Sparks sparks(scene.pixel_scale());
  sparks.burst(22.0, 308.0, 400);
  sparks.step(1.0 / 8.0);
  poster::Image image(scene.width(), scene.height());
  scene.render(poster::poster_state(), sparks, &image);

  const BLImageData d = image.data();
  auto pixel = [&](int x, int y) {
    return reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(d.pixel_data) +
                                             d.stride * y)[x];
  };
  int outside = 0;
  for (int y = 0; y < 320; ++y)
    for (int x = 0; x < 18; ++x) outside += pixel(x, y) != 0xFF0A1420u;
  for (int y = 312; y < 323; ++y)
    for (int x = 0; x < 520; ++x) outside += pixel(x, y) != 0xFF0A1420u;
  EXPECT_EQ(outside, 0);
}

TEST(Scene, AnimationFramesFollowTheTimeline) {
  const poster::SceneState first = poster::frame_state(0, 48);
  const poster::SceneState last = poster::frame_state(47, 48);
  EXPECT_EQ(first.t, 0.0);
  EXPECT_EQ(first.reveal, 0.0);
  EXPECT_EQ(first.pitch, 0.0);
  EXPECT_EQ(last.t, 1.0);
  EXPECT_EQ(last.reveal, 1.0);   // the coast is complete before the end
  EXPECT_EQ(last.bearing, 0.0);  // north up at the end
  EXPECT_NEAR(last.pitch, 55.0, 1.0);
  // The spring overshoots on the way: the tilt passes its resting value.
  double highest = 0.0;
  for (int i = 0; i < 48; ++i) highest = std::max(highest, poster::frame_state(i, 48).pitch);
  EXPECT_GT(highest, 56.0);
}

}  // namespace

namespace {

// A tilted panel with nothing in its window has an empty graticule and no
// borders; the camera leaves the output of an empty path as it was, which
// once drew the sheet's outline again in the graticule's and the borders'
// colours.
TEST(TiltedMap, DrawsNoGraticuleWhenThereIsNone) {
  poster::MapData map;
  map.kind = poster::GeometryKind::kPoint;
  map.geographic = true;
  map.lonlat = {100.0, -40.0};
  map.parts = {poster::Part{0, 1, 0}};
  map.num_shapes = 1;
  const poster::Topology topo = poster::analyse_topology(map, 8);
  poster::ViewSettings ts;
  ts.window = poster::Box{-11.0, 35.0, 40.0, 70.0};  // far from the point
  ts.projection.kind = poster::Projection::kLcc;
  ts.projection.conic = poster::conic_for(ts.window);
  ts.width = 1000.0;
  ts.height = 1250.0;
  ts.margin = 0.03;
  ts.flip_y = false;
  ts.regional = true;
  const poster::TiltedMap tilted(map, topo, ts);
  EXPECT_TRUE(tilted.empty());
  poster::Image image(240, 220);
  {
    poster::Canvas canvas(image);
    bl_context_fill_all_rgba32(canvas.ctx(), 0xFF000000u);
    tilted.draw(&canvas, 0, 0, 240, 220, 55.0, 0.0, 20.0,  // lines of a few pixels
                poster::TiltedStyle{0xFF000000u, 0xFF0000FFu, 0xFFFF0000u, 0xFF00FF00u,
                                    {0xFF00FF00u}, 0xFF00FF00u});
  }
  const BLImageData d = image.data();
  int lines = 0;  // red (graticule) or green (borders) pixels
  for (int y = 0; y < d.size.h; ++y)
    for (int x = 0; x < d.size.w; ++x) {
      const uint32_t c = reinterpret_cast<const uint32_t*>(
          static_cast<const uint8_t*>(d.pixel_data) + d.stride * y)[x];
      lines += ((c >> 16) & 0xFF) > 0x40 || ((c >> 8) & 0xFF) > 0x40;
    }
  EXPECT_EQ(lines, 0);
}

}  // namespace
