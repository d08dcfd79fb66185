// The files map makers bring, each drawn as a whole poster and looked at as
// they would look at it: every map panel shows the data, no row of a panel
// is land from edge to edge (the mark of a ring turned inside out), the
// globe shows the data, and what needed a fallback is said.
#include <gtest/gtest.h>
#include <ordane.h>
#include <proj.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "extent.h"
#include "map_data.h"
#include "scene.h"
#include "shp_builder.h"

namespace {

using quillon_test::Record;
using quillon_test::Ring;

// A rough outline around (cx, cy), "rx" by "ry" degrees, closed.
Ring blob(double cx, double cy, double rx, double ry) {
  Ring r;
  for (int i = 0; i <= 36; ++i) {
    const double a = i % 36 * 6.283185307179586 / 36;
    const double wobble = 1.0 + 0.15 * std::sin(5 * a);
    r.push_back(cx + rx * wobble * std::cos(a));
    r.push_back(cy - ry * wobble * std::sin(a));  // clockwise: an outer ring
  }
  return r;
}

// An island group across the antimeridian, stored as shapefiles store it:
// longitudes jump from 179 to -179 inside the ring.
Ring across_antimeridian() {
  Ring r = blob(180.0, -17.0, 6.0, 4.0);
  for (size_t i = 0; i < r.size(); i += 2)
    if (r[i] > 180.0) r[i] -= 360.0;
  return r;
}

// Antarctica-like: one ring around the south pole, from -180 eastwards to
// 180 along a wavy coast, as Natural Earth stores it.
Ring around_south_pole() {
  Ring r;
  for (int lon = -180; lon <= 180; lon += 5) {
    r.push_back(lon);
    r.push_back(-70.0 + 4.0 * std::sin(lon * 0.05));
  }
  r.push_back(180.0);
  r.push_back(-90.0);
  r.push_back(-180.0);
  r.push_back(-90.0);
  r.push_back(-180.0);
  r.push_back(-70.0 + 4.0 * std::sin(-180 * 0.05));
  return r;
}

struct Poster {
  poster::MapData map;
  std::unique_ptr<poster::Scene> scene;
  std::unique_ptr<poster::Image> image;
  std::string error;
};

// The .prj files ogr2ogr writes for Web Mercator and for the Lambert
// azimuthal equal-area grid of Europe.
const char kMercatorPrj[] =
    "PROJCS[\"WGS_1984_Web_Mercator_Auxiliary_Sphere\",GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_"
    "1984\",SPHEROID[\"WGS_1984\",6378137.0,298.257223563]],PRIMEM[\"Greenwich\",0.0],UNIT["
    "\"Degree\",0.0174532925199433]],PROJECTION[\"Mercator_Auxiliary_Sphere\"],PARAMETER["
    "\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\","
    "0.0],PARAMETER[\"Standard_Parallel_1\",0.0],PARAMETER[\"Auxiliary_Sphere_Type\",0.0],UNIT["
    "\"Meter\",1.0]]";
const char kLaeaEuropePrj[] =
    "PROJCS[\"ETRS_1989_LAEA\",GEOGCS[\"GCS_ETRS_1989\",DATUM[\"D_ETRS_1989\",SPHEROID["
    "\"GRS_1980\",6378137.0,298.257222101]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\","
    "0.0174532925199433]],PROJECTION[\"Lambert_Azimuthal_Equal_Area\"],PARAMETER["
    "\"False_Easting\",4321000.0],PARAMETER[\"False_Northing\",3210000.0],PARAMETER["
    "\"Central_Meridian\",10.0],PARAMETER[\"Latitude_Of_Origin\",52.0],UNIT[\"Meter\",1.0]]";

// "rings" in lon/lat moved into the system of "prj" with PROJ.
std::vector<Record> projected(const std::vector<Ring>& rings, const char* prj) {
  PJ_CONTEXT* ctx = proj_context_create();
  PJ* raw = proj_create_crs_to_crs(ctx, "EPSG:4326", prj, nullptr);
  PJ* op = proj_normalize_for_visualization(ctx, raw);
  std::vector<Record> out;
  for (Ring r : rings) {
    proj_trans_generic(op, PJ_FWD, r.data(), 2 * sizeof(double), r.size() / 2, r.data() + 1,
                       2 * sizeof(double), r.size() / 2, nullptr, 0, 0, nullptr, 0, 0);
    out.push_back(Record{{r}, {}});
  }
  proj_destroy(op);
  proj_destroy(raw);
  proj_context_destroy(ctx);
  return out;
}

std::unique_ptr<Poster> draw(int32_t shape_type, const std::vector<Record>& records,
                             const std::string& name, const char* prj = nullptr,
                             poster::SceneOptions options = poster::SceneOptions()) {
  std::unique_ptr<Poster> p(new Poster);
  const std::string path =
      quillon_test::write_temp(name, quillon_test::shapefile_bytes(shape_type, records));
  const std::string prj_path = path.substr(0, path.size() - 4) + ".prj";
  std::remove(prj_path.c_str());
  if (prj)
    quillon_test::write_temp(name.substr(0, name.size() - 4) + ".prj",
                             std::vector<uint8_t>(prj, prj + std::strlen(prj)));
  if (!poster::load_shapefile(path, &p->map, &p->error)) return p;
  options.width = 800;
  p->scene.reset(new poster::Scene(p->map, options));
  poster::Sparks sparks(p->scene->pixel_scale());
  p->image.reset(new poster::Image(p->scene->width(), p->scene->height()));
  p->scene->render(poster::poster_state(), sparks, p->image.get());
  return p;
}

uint32_t pixel(const poster::Image& image, int x, int y) {
  const BLImageData d = image.data();
  return reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(d.pixel_data) +
                                           d.stride * y)[x];
}

int channel_distance(uint32_t a, uint32_t b) {
  int sum = 0;
  for (int shift : {16, 8, 0})
    sum += std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
  return sum;
}

// A panel of the 1600 x 1000 layout, its frame left out.
struct Panel {
  int x0, y0, x1, y1;
};
const Panel kWorld{44, 44, 1036, 616}, kFlat{404, 654, 1036, 956}, kTilted{1084, 524, 1556, 956};

// Pixels of a panel that stand out from its ocean: land, lines, points.
int painted(const poster::Image& image, const Panel& p) {
  const double k = image.width() / 1600.0;
  int n = 0;
  for (int y = static_cast<int>(p.y0 * k); y < static_cast<int>(p.y1 * k); ++y)
    for (int x = static_cast<int>(p.x0 * k); x < static_cast<int>(p.x1 * k); ++x)
      n += channel_distance(pixel(image, x, y), 0xFF0F2A40u) > 0x70;
  return n;
}

// Rows of the world panel that are land (not ocean) from edge to edge.
int land_bands(const poster::Image& image) {
  const double k = image.width() / 1600.0;
  int bands = 0;
  for (int y = static_cast<int>(kWorld.y0 * k); y < static_cast<int>(kWorld.y1 * k); ++y) {
    int land = 0, all = 0;
    for (int x = static_cast<int>(kWorld.x0 * k); x < static_cast<int>(kWorld.x1 * k); ++x, ++all)
      land += channel_distance(pixel(image, x, y), 0xFF0F2A40u) > 0x50;
    bands += land > all * 0.98;
  }
  return bands;
}

// Pixels of the globe's disc in the land or point colours (green, ochre,
// orange) rather than the blues of its ocean and rim.
int globe_data(const poster::Image& image) {
  const double k = image.width() / 1600.0;
  const double cx = 1320 * k, cy = 272 * k, r = 190 * k;
  int n = 0;
  for (int y = static_cast<int>(cy - r); y < static_cast<int>(cy + r); ++y)
    for (int x = static_cast<int>(cx - r); x < static_cast<int>(cx + r); ++x) {
      if (std::hypot(x - cx, y - cy) > r) continue;
      const uint32_t c = pixel(image, x, y);
      const int red = (c >> 16) & 0xFF, green = (c >> 8) & 0xFF, blue = c & 0xFF;
      n += green > blue + 10 || red > blue + 40;
    }
  return n;
}

bool said(const poster::Scene& scene, const std::string& what) {
  for (const std::string& note : scene.notes())
    if (note.find(what) != std::string::npos) return true;
  return false;
}

void expect_drawn_right(const Poster& p, const char* name, int least_globe) {
  ASSERT_TRUE(p.scene) << name << ": " << p.error;
  EXPECT_FALSE(p.scene->empty()) << name;
  EXPECT_GT(painted(*p.image, kWorld), 40) << name;
  EXPECT_GT(painted(*p.image, kFlat), 20) << name;
  EXPECT_GT(painted(*p.image, kTilted), 10) << name;
  EXPECT_EQ(land_bands(*p.image), 0) << name;
  EXPECT_GE(globe_data(*p.image), least_globe) << name;
  for (const char* panel : {"world map", "flat conic", "tilted map"})
    EXPECT_FALSE(said(*p.scene, std::string("the ") + panel + " shows none")) << name;
}

TEST(MapMakersFiles, APacificFileIsCentredOnThePacific) {
  const auto p = draw(5, {Record{{across_antimeridian()}, {}}, Record{{blob(172, -14, 2, 2)}, {}}},
                      "pacific.shp");
  expect_drawn_right(*p, "pacific", 200);
  const poster::Extent e = poster::data_extent(p->map);
  EXPECT_FALSE(e.full_circle);
  EXPECT_NEAR(e.west, 170.0, 0.5);
  EXPECT_GT(e.east, 185.0);
  EXPECT_LT(e.east, 188.0);
  // The islands fill the world panel instead of lying in slivers at both
  // edges of a whole world.
  const double k = p->image->width() / 1600.0;
  EXPECT_GT(painted(*p->image, kWorld), 0.3 * (992 * k) * (572 * k));
}

TEST(MapMakersFiles, AntarcticaAloneIsDrawnAroundItsPole) {
  const auto p = draw(5, {Record{{around_south_pole()}, {}}}, "antarctica.shp");
  expect_drawn_right(*p, "antarctica", 2000);
  EXPECT_TRUE(said(*p->scene, "south pole"));
  EXPECT_EQ(poster::coverage_of(poster::data_extent(p->map)), poster::Coverage::kPolar);
}

TEST(MapMakersFiles, AustraliaAndNewZealandGetTheirOwnGlobe) {
  const auto p = draw(5, {Record{{blob(134, -25, 18, 12)}, {}}, Record{{blob(172, -41, 3, 5)}, {}}},
                      "ausnz.shp");
  expect_drawn_right(*p, "ausnz", 1000);
  EXPECT_TRUE(p->scene->notes().empty());
}

TEST(MapMakersFiles, OnePointGetsAWindowAroundIt) {
  const auto p = draw(1, {Record{{Ring{2.35, 48.85}}, {}}}, "one_point.shp");
  ASSERT_TRUE(p->scene) << p->error;
  EXPECT_GT(painted(*p->image, kWorld), 5);
  EXPECT_GT(painted(*p->image, kFlat), 5);
  EXPECT_GT(painted(*p->image, kTilted), 2);
  EXPECT_GT(globe_data(*p->image), 5);
  EXPECT_TRUE(said(*p->scene, "single point"));
  EXPECT_FALSE(p->scene->empty());
}

// Both conics keep their parallels off the equator: the line is drawn in
// every panel instead of collapsing to nothing.
TEST(MapMakersFiles, ALineOnTheEquatorKeepsTheConicsOpen) {
  const auto p = draw(3, {Record{{Ring{-30, 0, 0, 0, 40, 0}}, {}}}, "equator.shp");
  ASSERT_TRUE(p->scene) << p->error;
  EXPECT_GT(painted(*p->image, kWorld), 100);
  EXPECT_GT(painted(*p->image, kFlat), 100);
  EXPECT_GT(painted(*p->image, kTilted), 30);
  EXPECT_GT(globe_data(*p->image), 20);
  EXPECT_TRUE(said(*p->scene, "one line of latitude"));
}

TEST(MapMakersFiles, AnEmptyFileIsAnErrorThatSaysSo) {
  const auto p = draw(5, {}, "empty.shp");
  EXPECT_FALSE(p->scene);
  EXPECT_NE(p->error.find("holds no drawable geometry"), std::string::npos) << p->error;
}

// Files in metres with their .prj: brought to longitude/latitude, drawn in
// every panel and on the globe.
TEST(MapMakersFiles, ProjectedFilesAreReprojectedFromTheirPrj) {
  const std::vector<Ring> europe = {blob(10, 50, 12, 8), blob(-4, 54, 3, 4)};
  double west = 180, north = -90;
  for (const Ring& r : europe)
    for (size_t i = 0; i < r.size(); i += 2) {
      west = std::min(west, r[i]);
      north = std::max(north, r[i + 1]);
    }
  for (const char* prj : {kMercatorPrj, kLaeaEuropePrj}) {
    const auto p = draw(5, projected(europe, prj), "projected.shp", prj);
    expect_drawn_right(*p, prj, 300);
    EXPECT_TRUE(p->map.reprojected);
    EXPECT_TRUE(p->map.geographic);
    EXPECT_NEAR(p->map.bounds.min_x, west, 1e-6);
    EXPECT_NEAR(p->map.bounds.max_y, north, 1e-6);
  }
  // Without its .prj the same file is recognised as not in degrees.
  const auto bare = draw(5, projected(europe, kLaeaEuropePrj), "bare.shp");
  ASSERT_TRUE(bare->scene) << bare->error;
  EXPECT_FALSE(bare->map.has_prj);
  EXPECT_FALSE(bare->map.geographic);
  EXPECT_FALSE(bare->map.reprojected);
}

// The longest run of painted pixels in any row of the world panel, as a
// fraction of the panel's width: a ring drawn the long way round the map
// leaves a streak across it.
double longest_run(const poster::Image& image) {
  const double k = image.width() / 1600.0;
  const int x0 = static_cast<int>(kWorld.x0 * k), x1 = static_cast<int>(kWorld.x1 * k);
  int longest = 0;
  for (int y = static_cast<int>(kWorld.y0 * k); y < static_cast<int>(kWorld.y1 * k); ++y) {
    int run = 0;
    for (int x = x0; x < x1; ++x) {
      run = channel_distance(pixel(image, x, y), 0xFF0F2A40u) > 0x50 ? run + 1 : 0;
      longest = std::max(longest, run);
    }
  }
  return static_cast<double>(longest) / (x1 - x0);
}

// The share of a row of the world panel that is painted.
double row_share(const poster::Image& image, int row) {
  const double k = image.width() / 1600.0;
  const int x0 = static_cast<int>(kWorld.x0 * k), x1 = static_cast<int>(kWorld.x1 * k);
  int n = 0;
  for (int x = x0; x < x1; ++x) n += channel_distance(pixel(image, x, row), 0xFF0F2A40u) > 0x50;
  return static_cast<double>(n) / (x1 - x0);
}

std::unique_ptr<Poster> draw_sample(const poster::SceneOptions& given) {
  std::unique_ptr<Poster> p(new Poster);
  if (!poster::load_shapefile(QUILLON_SAMPLE_SHP, &p->map, &p->error)) return p;
  poster::SceneOptions options = given;
  options.width = 800;
  p->scene.reset(new poster::Scene(p->map, options));
  poster::Sparks sparks(p->scene->pixel_scale());
  p->image.reset(new poster::Image(p->scene->width(), p->scene->height()));
  p->scene->render(poster::poster_state(), sparks, p->image.get());
  return p;
}

// The bundled world around Greenwich and around the Pacific: Eurasia, the
// widest land, spans a little over half the panel; nothing is drawn across
// it, around Greenwich, around 150 E, or in the Lambert conic whose cone
// opens at the seam.
TEST(WorldSeam, TheWorldIsCutAtItsCentralMeridianWithoutAStreak) {
  poster::SceneOptions greenwich;
  const auto a = draw_sample(greenwich);
  ASSERT_TRUE(a->scene) << a->error;
  EXPECT_LT(longest_run(*a->image), 0.7);
  EXPECT_EQ(land_bands(*a->image), 0);

  poster::SceneOptions pacific;
  pacific.lon0 = 150.0;
  pacific.lon0_given = true;
  const auto b = draw_sample(pacific);
  ASSERT_TRUE(b->scene) << b->error;
  EXPECT_LT(longest_run(*b->image), 0.7);
  EXPECT_EQ(land_bands(*b->image), 0);
  EXPECT_TRUE(b->scene->notes().empty());
  EXPECT_GE(globe_data(*b->image), 2000);  // the globe faces Asia and Australia

  poster::SceneOptions conic = pacific;
  conic.world = poster::Projection::kLcc;
  conic.world_given = true;
  const auto c = draw_sample(conic);
  ASSERT_TRUE(c->scene) << c->error;
  EXPECT_LT(longest_run(*c->image), 0.7);
  EXPECT_EQ(land_bands(*c->image), 0);
}

// Antarctica alone in Mercator: closed along Mercator's limit, the bottom
// edge of the map and of the panel, so its fill reaches the panel's bottom
// edge all the way across; the top of the panel is sea.
TEST(WorldSeam, AntarcticaInMercatorIsClosedAlongTheBottomEdge) {
  poster::SceneOptions mercator;
  mercator.world = poster::Projection::kMercator;
  mercator.world_given = true;
  const auto p =
      draw(5, {Record{{around_south_pole()}, {}}}, "antarctica_merc.shp", nullptr, mercator);
  ASSERT_TRUE(p->scene) << p->error;
  const double k = p->image->width() / 1600.0;
  const int top = static_cast<int>(kWorld.y0 * k), bottom = static_cast<int>(kWorld.y1 * k) - 1;
  // The map keeps a margin of 2 % of the width left and right.
  for (int y = bottom - 20; y <= bottom; ++y) EXPECT_GT(row_share(*p->image, y), 0.95) << y;
  EXPECT_LT(row_share(*p->image, top + 2), 0.05);
  EXPECT_GT(painted(*p->image, kFlat), 20);
  EXPECT_GE(globe_data(*p->image), 2000);
}

TEST(data_extent, FindsTheBandAcrossTheAntimeridian) {
  poster::MapData map;
  map.geographic = true;
  map.lonlat = {175, 0, -175, 5, 179, 1};
  map.parts = {poster::Part{0, 3, 0}};
  poster::Extent e = poster::data_extent(map);
  EXPECT_EQ(e.west, 175.0);
  EXPECT_EQ(e.east, 185.0);
  EXPECT_EQ(e.south, 0.0);
  EXPECT_EQ(e.north, 5.0);
  map.lonlat = {-175, 0, -170, 5, -172, 1};
  e = poster::data_extent(map);
  EXPECT_EQ(e.west, -175.0);
  EXPECT_EQ(e.east, -170.0);
  // A point: a window of a few degrees around it.
  map.lonlat = {10, 50};
  map.parts = {poster::Part{0, 1, 0}};
  std::string what;
  const poster::Box w = poster::region_window(poster::data_extent(map), &what);
  EXPECT_NEAR(w.max_y - w.min_y, 4.0, 1e-9);
  EXPECT_GT(w.max_x - w.min_x, 4.0);
  EXPECT_NEAR((w.min_x + w.max_x) / 2, 10.0, 1e-9);
  EXPECT_FALSE(what.empty());
  // Near a pole the window slides inside the latitudes instead of passing 90.
  map.lonlat = {10, 89.5};
  const poster::Box n = poster::region_window(poster::data_extent(map), &what);
  EXPECT_EQ(n.max_y, 90.0);
  EXPECT_NEAR(n.min_y, 86.0, 1e-9);
}

}  // namespace
