// Poster layout, on a 1600 x 1000 grid scaled to the requested width:
//
//   +-------------------------------+  globe  +
//   |  world map: land, borders,    |         |
//   |  coast drawn on, sparks       +---------+
//   +--------+----------------------+ tilted  |
//   | easing | flat conic map       | conic   |
//   +--------+----------------------+---------+
//
// A world-wide file shows the world, Europe tilted and North America flat;
// any other file shows its own extent in all three map panels.
#include "scene.h"

#include <algorithm>
#include <cmath>

#include "easing_chart.h"
#include "extent.h"

namespace poster {

namespace {

constexpr uint32_t kBackground = 0xFF0A1420u;
constexpr uint32_t kOcean = 0xFF0F2A40u;
constexpr uint32_t kFrame = 0x40FFFFFFu;
constexpr uint32_t kGraticule = 0x22D0E8FFu;
constexpr uint32_t kBorder = 0x99E9F1F7u;
constexpr uint32_t kCoastDim = 0x5590C8E8u;
constexpr uint32_t kRevealGlow = 0x38FFC46Bu;
constexpr uint32_t kRevealCore = 0xFFFFE2A8u;
constexpr uint32_t kPointColour = 0xFFFFC46Bu;

// Land colours: muted, distinct in hue and lightness, so neighbours differ.
const std::vector<uint32_t> kLand = {0xFF3E7D68u, 0xFF6C8F4Eu, 0xFFA49A5Du, 0xFFB07E58u,
                                     0xFF7A6A9Au, 0xFF4F7FA0u, 0xFF93A86Au, 0xFFC29A6Eu};
const std::vector<uint32_t> kGlobeLand = {0xFF4C9A7Eu, 0xFF86AE5Fu, 0xFFC6B46Du, 0xFFCB9365u,
                                          0xFF9483B8u, 0xFF5F98BEu, 0xFFB0C57Eu, 0xFFDDB27Fu};

constexpr size_t kPenTips = 14;

// Meridians and parallels about four to eight times across a region.
double graticule_step(const Box& region) {
  const double span = std::max(region.max_x - region.min_x, region.max_y - region.min_y);
  for (double step : {0.5, 1.0, 2.0, 5.0, 10.0, 15.0, 30.0})
    if (span / step <= 8.0) return step;
  return 30.0;
}

// A point of a point file: a soft halo around a bright dot, so that single
// points stand out at any poster size.
void draw_dot(Canvas* canvas, double x, double y, double radius) {
  canvas->fill_circle(x, y, radius * 2.0, 0x40FFC46Bu);
  canvas->fill_circle(x, y, radius, kPointColour);
}

void frame_rect(Canvas* canvas, double x, double y, double w, double h, uint32_t colour,
                double width) {
  Path p;
  bl_path_move_to(p.get(), x, y);
  bl_path_line_to(p.get(), x + w, y);
  bl_path_line_to(p.get(), x + w, y + h);
  bl_path_line_to(p.get(), x, y + h);
  bl_path_close(p.get());
  canvas->stroke(p, colour, width);
}

void fill_rect(Canvas* canvas, double x, double y, double w, double h, uint32_t colour) {
  Path p;
  bl_path_move_to(p.get(), x, y);
  bl_path_line_to(p.get(), x + w, y);
  bl_path_line_to(p.get(), x + w, y + h);
  bl_path_line_to(p.get(), x, y + h);
  bl_path_close(p.get());
  canvas->fill(p, colour);
}

}  // namespace

Scene::Panel Scene::scaled(double x, double y, double w, double h) const {
  return Panel{x * k_, y * k_, w * k_, h * k_};
}

namespace {

// A ramp for numeric --color-by: dark teal to warm sand, even steps of
// lightness; the globe's a little lighter, as its land palette is.
const std::vector<uint32_t> kRamp = {0xFF1F4E5Fu, 0xFF2A6B6Au, 0xFF3F8770u, 0xFF63A06Du,
                                     0xFF90B566u, 0xFFBEC46Au, 0xFFDDC27Au, 0xFFF0C98Fu};
const std::vector<uint32_t> kGlobeRamp = {0xFF2B6478u, 0xFF378484u, 0xFF4FA088u, 0xFF78B884u,
                                          0xFFA6CB7Cu, 0xFFD2D882u, 0xFFEDD493u, 0xFFFAD9A8u};

Topology coloured(const MapData& map) {
  Topology topo = analyse_topology(map, static_cast<int>(kLand.size()));
  if (map.colour_class.empty()) return topo;
  // --color-by: the attribute's class instead of the neighbourhood colour;
  // shapes without a value keep theirs.
  for (size_t k = 0; k < topo.colour.size() && k < map.colour_class.size(); ++k)
    if (map.colour_class[k] >= 0)
      topo.colour[k] = map.colour_class[k] % static_cast<int>(kLand.size());
  return topo;
}

}  // namespace

Scene::Scene(const MapData& map, const SceneOptions& options)
    : map_(map),
      topo_(coloured(map)),
      land_(map.colour_ramp ? kRamp : kLand),
      globe_land_(map.colour_ramp ? kGlobeRamp : kGlobeLand) {
  width_ = options.width;
  height_ = static_cast<int>(std::lround(options.width * 0.625));
  k_ = options.width / 1600.0;
  world_panel_ = scaled(40, 40, 1000, 580);
  chart_panel_ = scaled(40, 650, 330, 310);
  flat_panel_ = scaled(400, 650, 640, 310);
  tilted_panel_ = scaled(1080, 520, 480, 440);
  const bool geo = map.geographic;
  const Extent extent = geo ? data_extent(map) : Extent{};
  const Coverage coverage = geo ? coverage_of(extent) : Coverage::kRegion;
  const bool world = coverage == Coverage::kWorld;
  std::string grown;
  Box region;
  if (geo) {
    region = region_window(extent, &grown);
    if (coverage == Coverage::kPolar) {
      region.min_x = options.lon0 - 180.0;
      region.max_x = options.lon0 + 180.0;
    }
  } else {
    // Planar data: its bounds, grown a little (and to one unit for a point).
    const Box& b = map.bounds;
    const double gx = std::max((b.max_x - b.min_x) * 0.05, 0.5);
    const double gy = std::max((b.max_y - b.min_y) * 0.05, 0.5);
    region = Box{b.min_x - gx, b.min_y - gy, b.max_x + gx, b.max_y + gy};
  }
  if (!grown.empty()) notes_.push_back(grown);
  if (options.lon0_given && coverage == Coverage::kRegion)
    notes_.push_back(
        "--lon0 sets the central meridian of a map of the whole world; this data "
        "covers a region, which every panel shows around its own middle");

  // The globe looks at the middle of the data; for the world, at Europe and
  // Africa, or at the central meridian asked for.
  const double globe_lon = world ? (options.lon0_given ? options.lon0 : 15.0) : extent.centre_lon();
  const double globe_lat = world ? 28.0 : std::min(std::max(extent.centre_lat(), -75.0), 75.0);
  globe_ = GlobeView{1320 * k_, 272 * k_, 196 * k_, globe_lon, globe_lat, 0xFF5CB8FFu};
  globe_shift_lon_ = globe_lon - 15.0;
  globe_shift_lat_ = globe_lat - 28.0;

  // The world map. For the world, without Antarctica's empty south,
  // Mercator is the usual view; a polar cap is drawn in a conic around its
  // pole, where Mercator would stretch it into a band, unless a projection
  // was asked for; a region shows the data's own window. Data that is not
  // in degrees is drawn as it is.
  ViewSettings ws;
  ws.projection.kind = geo ? options.world : Projection::kNone;
  if (coverage == Coverage::kPolar && options.world == Projection::kMercator &&
      !options.world_given) {
    ws.projection.kind = options.conic;
    notes_.push_back(std::string("the data lies around the ") +
                     (extent.north <= 0.0 ? "south" : "north") +
                     " pole; the world map is drawn in a conic centred on it, where Mercator "
                     "would stretch it across the map");
  }
  if (world) {
    const double w = options.lon0 - 180.0, e = options.lon0 + 180.0;
    ws.window = Box{w, std::max(extent.south, -58.0), e, std::min(extent.north, 84.0)};
    if (ws.window.max_y - ws.window.min_y < 20.0) ws.window = Box{w, -58.0, e, 84.0};
    ws.projection.conic = world_conic();
    ws.projection.conic.lon0 = options.lon0;
  } else {
    ws.window = region;
    ws.projection.conic = conic_for(region);
    ws.fit_window = true;
  }
  ws.width = world_panel_.w;
  ws.height = world_panel_.h;
  ws.margin = 0.02;
  ws.flip_y = true;
  world_.reset(new MapView(map, topo_, ws));
  world_fills_.resize(kLand.size());
  world_->build_fills(&world_fills_);
  world_->build_outlines(&world_outlines_);
  world_->build_graticule(world ? 30.0 : graticule_step(region), &world_graticule_);
  if (map.kind == GeometryKind::kPoint) world_points_ = world_->point_positions();
  std::vector<double> lengths;
  world_->build_coast(&coast_lines_, &lengths);
  reveal_.reset(new CoastReveal(&coast_lines_, std::move(lengths)));

  // A continent flat in the other conic (Albers when the tilted one is the
  // Lambert conic, and the reverse): North America for the world, else the
  // data's own window.
  ViewSettings fs = ws;
  fs.window = world ? Box{-168.0, 12.0, -52.0, 72.0} : region;
  fs.projection.kind =
      !geo ? Projection::kNone
           : (options.conic == Projection::kAlbers ? Projection::kLcc : Projection::kAlbers);
  fs.projection.conic = conic_for(fs.window);
  fs.width = flat_panel_.w;
  fs.height = flat_panel_.h;
  fs.margin = 0.03;
  fs.regional = world || coverage == Coverage::kRegion;
  fs.fit_window = !world;
  flat_.reset(new MapView(map, topo_, fs));
  flat_fills_.resize(kLand.size());
  flat_->build_fills(&flat_fills_);
  flat_->build_outlines(&flat_outlines_);
  flat_->build_graticule(world ? 10.0 : graticule_step(region), &flat_graticule_);
  if (map.kind == GeometryKind::kPoint) flat_points_ = flat_->point_positions();

  // On a sheet with y up, in plane units of about a pixel: Europe for the
  // world, else the data's own window.
  ViewSettings ts;
  ts.window = world ? Box{-11.0, 35.0, 40.0, 70.0} : region;
  ts.projection.kind = geo ? options.conic : Projection::kNone;
  ts.projection.conic = conic_for(ts.window);
  ts.width = 1000.0;
  ts.height = 1250.0;
  ts.margin = 0.03;
  ts.flip_y = false;
  ts.regional = world || coverage == Coverage::kRegion;
  ts.fit_window = !world;
  ts.graticule_step = world ? 10.0 : graticule_step(region);
  tilted_.reset(new TiltedMap(map, topo_, ts));

  // A panel with nothing to show says so.
  const bool world_empty = world_->empty(), flat_empty = flat_->empty(),
             tilted_empty = tilted_->empty();
  if (world_empty) notes_.push_back("the world map shows none of the data");
  if (flat_empty) notes_.push_back("the flat conic map shows none of the data");
  if (tilted_empty) notes_.push_back("the tilted map shows none of the data");
  if (!geo) notes_.push_back("the globe shows none of the data: it is not in longitude/latitude");
  empty_ = world_empty && flat_empty && tilted_empty;

  // The globe's texture: 4 pixels per degree.
  texture_.reset(new Image(1441, 721));
  draw_globe_texture(map, topo_,
                     GlobeStyle{0xFF1A4E78u, 0x40FFFFFFu, 0x80FFFFFFu, globe_land_, kPointColour},
                     texture_.get());
  globe_lines_ = globe_lines(map);
}

void Scene::advance(const SceneState& state, Sparks* sparks, double dt) const {
  std::vector<BLPoint> tips;
  reveal_->tips(state.reveal, &tips, kPenTips);
  for (BLPoint& p : tips) {
    p.x += world_panel_.x;
    p.y += world_panel_.y;
  }
  sparks->trail(tips, 3);
  sparks->step(dt);
}

void Scene::finale(Sparks* sparks) const {
  Path whole;
  std::vector<BLPoint> ends;
  // Just short of complete, so that the pen positions are reported: the
  // ends of the three longest lines.
  reveal_->trim(1.0 - 1e-9, &whole, &ends, 3);
  for (const BLPoint& p : ends) sparks->burst(p.x + world_panel_.x, p.y + world_panel_.y, 90);
}

void Scene::warm_up(const SceneState& state, Sparks* sparks) const {
  // The pen runs the last stretch up to the poster's reveal, throwing
  // sparks as it goes; one burst marks where the longest coast began.
  const int steps = 36;
  for (int i = 0; i < steps; ++i) {
    SceneState s = state;
    s.reveal = state.reveal * (0.8 + 0.2 * (i + 1) / steps);
    if (i == steps / 2 && !coast_lines_.empty()) {
      Path first;
      std::vector<BLPoint> tips;
      reveal_->trim(1e-9, &first, &tips, 1);
      if (!tips.empty()) sparks->burst(tips[0].x + world_panel_.x, tips[0].y + world_panel_.y, 260);
    }
    advance(s, sparks, 1.0 / 24.0);
  }
}

void Scene::draw_world(Canvas* canvas, const SceneState& state, const Sparks& sparks) const {
  const Panel& p = world_panel_;
  fill_rect(canvas, p.x, p.y, p.w, p.h, kOcean);
  canvas->stroke(world_graticule_, kGraticule, 0.8 * k_, p.x, p.y);
  for (size_t c = 0; c < world_fills_.size(); ++c)
    canvas->fill(world_fills_[c], land_[c], p.x, p.y);
  if (map_.kind == GeometryKind::kPolygon) {
    canvas->stroke(world_outlines_, kBorder, 0.55 * k_, p.x, p.y);
  }
  for (const Path& line : coast_lines_) canvas->stroke(line, kCoastDim, 0.9 * k_, p.x, p.y);
  for (size_t i = 0; i + 1 < world_points_.size(); i += 2)
    draw_dot(canvas, p.x + world_points_[i], p.y + world_points_[i + 1], 2.6 * k_);

  Path revealed;
  std::vector<BLPoint> tips;
  reveal_->trim(state.reveal, &revealed, &tips, kPenTips);
  // The glow, the sparks and the pen heads reach past the coast; they stay
  // inside the panel, as the map does.
  canvas->clip(p.x, p.y, p.w, p.h);
  canvas->stroke(revealed, kRevealGlow, 5.0 * k_, p.x, p.y);
  canvas->stroke(revealed, kRevealCore, 1.4 * k_, p.x, p.y);
  sparks.render(canvas);
  // The pen heads: a soft halo and a white-hot point.
  for (const BLPoint& tip : tips) {
    canvas->fill_circle(p.x + tip.x, p.y + tip.y, 9.0 * k_, 0x30FFD27Au);
    canvas->fill_circle(p.x + tip.x, p.y + tip.y, 4.5 * k_, 0x70FFE2A8u);
    canvas->fill_circle(p.x + tip.x, p.y + tip.y, 2.0 * k_, 0xFFFFFFFFu);
  }
  canvas->unclip();
  frame_rect(canvas, p.x, p.y, p.w, p.h, kFrame, 1.0 * k_);
}

void Scene::draw_flat(Canvas* canvas) const {
  const Panel& p = flat_panel_;
  fill_rect(canvas, p.x, p.y, p.w, p.h, kOcean);
  canvas->stroke(flat_graticule_, kGraticule, 0.8 * k_, p.x, p.y);
  for (size_t c = 0; c < flat_fills_.size(); ++c) canvas->fill(flat_fills_[c], land_[c], p.x, p.y);
  canvas->stroke(flat_outlines_, map_.kind == GeometryKind::kLine ? kRevealCore : kBorder, 0.6 * k_,
                 p.x, p.y);
  for (size_t i = 0; i + 1 < flat_points_.size(); i += 2)
    draw_dot(canvas, p.x + flat_points_[i], p.y + flat_points_[i + 1], 2.2 * k_);
  frame_rect(canvas, p.x, p.y, p.w, p.h, kFrame, 1.0 * k_);
}

void Scene::render(const SceneState& state, const Sparks& sparks, Image* image) const {
  Canvas canvas(*image);
  bl_context_fill_all_rgba32(canvas.ctx(), kBackground);

  // The globe is painted straight into the pixels, so the context lets go
  // of the image meanwhile.
  canvas.detach();
  GlobeView globe = globe_;
  globe.rotation = state.globe_rotation + globe_shift_lon_;
  globe.tilt = std::min(std::max(state.globe_tilt + globe_shift_lat_, -90.0), 90.0);
  paint_globe(image, *texture_, globe);
  canvas.attach();
  // Borders (or the lines of a line map) over the globe, the far side hidden.
  if (map_.kind == GeometryKind::kLine)
    stroke_on_globe(&canvas, globe_lines_, globe, height_, kPointColour, 1.6 * k_);
  else
    stroke_on_globe(&canvas, globe_lines_, globe, height_, 0x80FFFFFFu, 0.6 * k_);

  draw_flat(&canvas);

  const Panel& t = tilted_panel_;
  tilted_->draw(&canvas, t.x, t.y, t.w, t.h, state.pitch, state.bearing, k_,
                TiltedStyle{0x70000000u, kOcean, 0x30D0E8FFu, kBorder, land_, kPointColour});

  const Panel& c = chart_panel_;
  fill_rect(&canvas, c.x, c.y, c.w, c.h, 0xFF0E1B28u);
  draw_easing_chart(&canvas, c.x, c.y, c.w, c.h, state.t, k_,
                    ChartStyle{kFrame, 0x30FFFFFFu, 0xFFFFC46Bu, 0xFF6BD4FFu, 0x50FFFFFFu});
  frame_rect(&canvas, c.x, c.y, c.w, c.h, kFrame, 1.0 * k_);

  draw_world(&canvas, state, sparks);
}

}  // namespace poster
