// Cutting at the antimeridian and at the orthographic horizon, and adaptive
// densification, checked by what a map needs: pieces that never cross the
// cut, the same spherical area as the input, closed rings, points on the
// original segments, chords within the tolerance.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>
#include <limits>

#include "ordane.h"

namespace {

constexpr double kD2R = 0.017453292519943295;

struct Piece {
  std::vector<double> pts;
  int64_t source;
  int32_t flags;
};

struct Holder {
  GeoParts* p = nullptr;
  ~Holder() { ordane_free_parts(p); }
};

GeoCutOptions options(double lon0, double pole = 90, double step = 1) {
  GeoCutOptions o{};
  o.mode = ORDANE_CUT_ANTIMERIDIAN;
  o.lon0 = lon0;
  o.pole_lat = pole;
  o.max_step = step;
  return o;
}

std::vector<Piece> cut(const std::vector<std::vector<double>>& parts, bool rings,
                       const GeoCutOptions& o) {
  std::vector<double> pts;
  std::vector<int64_t> offs{0};
  for (const auto& p : parts) {
    pts.insert(pts.end(), p.begin(), p.end());
    offs.push_back(static_cast<int64_t>(pts.size() / 2));
  }
  Holder h;
  const int32_t rc = ordane_cut_parts(pts.data(), offs.data(), static_cast<int64_t>(parts.size()),
                                      rings ? 1 : 0, &o, &h.p);
  EXPECT_EQ(rc, 0);
  std::vector<Piece> out;
  if (rc != 0) return out;
  EXPECT_EQ(h.p->part_offsets[0], 0);
  EXPECT_EQ(h.p->part_offsets[h.p->num_parts], h.p->num_points);
  for (int64_t i = 0; i < h.p->num_parts; ++i) {
    Piece pc;
    pc.pts.assign(h.p->points + 2 * h.p->part_offsets[i],
                  h.p->points + 2 * h.p->part_offsets[i + 1]);
    pc.source = h.p->source_parts[i];
    pc.flags = h.p->part_flags[i];
    out.push_back(pc);
  }
  return out;
}

// Signed area on the unit sphere of a region bounded by straight (lon, lat)
// segments (counter-clockwise positive): -integral of sin(lat) dlon, exact
// for each segment. "pts" is closed (last = first) and continuous in lon.
double area_closed(const std::vector<double>& pts) {
  double a = 0;
  for (size_t i = 0; i + 3 < pts.size(); i += 2) {
    const double dl = (pts[i + 2] - pts[i]) * kD2R;
    const double pa = pts[i + 1] * kD2R, pb = pts[i + 3] * kD2R;
    const double dp = pb - pa;
    a -= std::fabs(dp) > 1e-9 ? dl * (std::cos(pa) - std::cos(pb)) / dp
                              : dl * std::sin((pa + pb) / 2);
  }
  return a;
}

double wrap(double d) {
  d = std::fmod(d, 360.0);
  if (d > 180) d -= 360;
  if (d < -180) d += 360;
  return d;
}

// Area of an input ring, each step taken the short way round; a ring that
// turns around a pole is closed along that pole's parallel (the pole whose
// cap it bounds is the smaller).
double area_input(std::vector<double> pts, double pole_lat) {
  if (pts[0] != pts[pts.size() - 2] || pts[1] != pts.back()) {
    pts.push_back(pts[0]);
    pts.push_back(pts[1]);
  }
  for (size_t i = 2; i < pts.size(); i += 2) pts[i] = pts[i - 2] + wrap(pts[i] - pts[i - 2]);
  const double turn = pts[pts.size() - 2] - pts[0];
  if (std::fabs(turn) < 180) return area_closed(pts);
  double mean = -area_closed(pts);  // integral of sin(lat) dlon along the ring
  const double pole = mean / (turn * kD2R) > 0 ? pole_lat : -pole_lat;
  const double x1 = pts[pts.size() - 2], x0 = pts[0];
  pts.push_back(x1);
  pts.push_back(pole);
  pts.push_back(x0);
  pts.push_back(pole);
  pts.push_back(pts[0]);
  pts.push_back(pts[1]);
  return area_closed(pts);
}

double area_pieces(const std::vector<Piece>& pieces, int64_t source) {
  double a = 0;
  for (const Piece& p : pieces)
    if (p.source == source) a += area_closed(p.pts);
  return a;
}

// Every piece within lon0 +- 180, no step across the map, rings closed.
void expect_inside_cut(const std::vector<Piece>& pieces, double lon0) {
  for (const Piece& p : pieces) {
    for (size_t i = 0; i < p.pts.size(); i += 2) {
      ASSERT_GE(p.pts[i], lon0 - 180 - 1e-9);
      ASSERT_LE(p.pts[i], lon0 + 180 + 1e-9);
      ASSERT_LE(std::fabs(p.pts[i + 1]), 90);
      if (i >= 2) {
        ASSERT_LE(std::fabs(p.pts[i] - p.pts[i - 2]), 180);
      }
    }
    if (p.flags & ORDANE_PART_RING) {
      ASSERT_GE(p.pts.size(), 8u);
      ASSERT_EQ(p.pts[0], p.pts[p.pts.size() - 2]);
      ASSERT_EQ(p.pts[1], p.pts.back());
    }
  }
}

std::vector<double> box(double w, double s, double e, double n) {  // clockwise
  return {w, s, w, n, e, n, e, s, w, s};
}

std::vector<double> reversed(const std::vector<double>& r) {
  std::vector<double> o;
  for (size_t i = r.size(); i >= 2; i -= 2) {
    o.push_back(r[i - 2]);
    o.push_back(r[i - 1]);
  }
  return o;
}

// ---------------------------------------------------------------------------

TEST(CutAntimeridian, RingCrossingOnceBecomesTwoClosedPieces) {
  const auto ring = box(170, -10, 190, 10);
  const auto pieces = cut({ring}, true, options(0));
  ASSERT_EQ(pieces.size(), 2u);
  expect_inside_cut(pieces, 0);
  for (const Piece& p : pieces) {
    EXPECT_EQ(p.flags, ORDANE_PART_RING | ORDANE_PART_SPLIT);  // clockwise: not a hole
    // The cut edge carries points every degree: 21 on it.
    int on_cut = 0;
    for (size_t i = 0; i + 2 < p.pts.size(); i += 2) on_cut += std::fabs(p.pts[i]) == 180;
    EXPECT_EQ(on_cut, 21);
  }
  EXPECT_NEAR(area_pieces(pieces, 0), area_input(ring, 90), 1e-12);
}

TEST(CutAntimeridian, RingCrossingFourTimesGivesThreePieces) {
  // A "C" whose two arms reach across the cut.
  const std::vector<double> ring = {170, -10, 170, 10, 190, 10, 190, 5, 175, 5,
                                    175, -5, 190, -5, 190, -10, 170, -10};
  const auto pieces = cut({ring}, true, options(0));
  ASSERT_EQ(pieces.size(), 3u);
  expect_inside_cut(pieces, 0);
  EXPECT_NEAR(area_pieces(pieces, 0) / area_input(ring, 90), 1.0, 1e-9);
  // The same ring given anticlockwise: holes' winding, same pieces flagged.
  const auto back = cut({reversed(ring)}, true, options(0));
  ASSERT_EQ(back.size(), 3u);
  for (const Piece& p : back) EXPECT_TRUE(p.flags & ORDANE_PART_HOLE);
  EXPECT_NEAR(area_pieces(back, 0), -area_pieces(pieces, 0), 1e-12);
}

TEST(CutAntimeridian, PointsOnTheCutStayOnTheirSide) {
  // Touching the cut with an edge along it, and with a single vertex.
  const auto along = box(170, 0, 180, 10);
  const std::vector<double> touch = {170, 0, 180, 5, 170, 10, 170, 0};
  const auto from_east = box(-180, 0, -170, 10);
  const auto pieces = cut({along, touch, from_east}, true, options(0));
  ASSERT_EQ(pieces.size(), 3u);
  expect_inside_cut(pieces, 0);
  for (const Piece& p : pieces) EXPECT_FALSE(p.flags & ORDANE_PART_SPLIT);
  for (size_t i = 0; i < pieces[0].pts.size(); i += 2) EXPECT_GE(pieces[0].pts[i], 170);
  for (size_t i = 0; i < pieces[2].pts.size(); i += 2) EXPECT_LE(pieces[2].pts[i], -170);
  for (int64_t k = 0; k < 3; ++k)
    EXPECT_NEAR(area_pieces(pieces, k), area_input(k == 0 ? along : k == 1 ? touch : from_east, 90),
                1e-12);
}

TEST(CutAntimeridian, PolarRingsOfBothWindingsCloseAtTheirPole) {
  std::vector<double> south, north;
  for (int lon = -180; lon <= 180; lon += 15) {
    south.push_back(lon);
    south.push_back(-70 + 5 * std::sin(lon * kD2R * 3));
  }
  for (int lon = 180; lon >= -180; lon -= 20) {
    north.push_back(lon);
    north.push_back(75);
  }
  for (const double lon0 : {0.0, 90.0, -150.0, 180.0}) {
    for (const double pole : {90.0, 85.0511287798}) {
      SCOPED_TRACE(std::to_string(lon0) + " " + std::to_string(pole));
      for (const auto& ring : {south, reversed(south), north, reversed(north)}) {
        const auto pieces = cut({ring}, true, options(lon0, pole));
        ASSERT_GE(pieces.size(), 1u);
        expect_inside_cut(pieces, lon0);
        double min_lat = 90, max_lat = -90;
        for (const Piece& p : pieces) {
          EXPECT_TRUE(p.flags & ORDANE_PART_POLAR);
          for (size_t i = 1; i < p.pts.size(); i += 2) {
            min_lat = std::min(min_lat, p.pts[i]);
            max_lat = std::max(max_lat, p.pts[i]);
          }
        }
        if (ring[1] < 0) {
          EXPECT_EQ(min_lat, -pole);
        } else {
          EXPECT_EQ(max_lat, pole);
        }
        EXPECT_NEAR(area_pieces(pieces, 0) / area_input(ring, pole), 1.0, 1e-9);
      }
      // The cap south of -70 has area 2 pi (1 - sin 70) on the unit sphere.
      if (pole == 90.0) {
        std::vector<double> circle;
        for (int lon = 0; lon <= 360; lon += 10) {
          circle.push_back(lon);
          circle.push_back(-70);
        }
        const auto pieces = cut({circle}, true, options(lon0, pole));
        EXPECT_NEAR(std::fabs(area_pieces(pieces, 0)),
                    2 * 3.141592653589793 * (1 - std::sin(70 * kD2R)), 1e-12);
      }
    }
  }
}

TEST(CutAntimeridian, HolesAreCutWithTheirOuterRing) {
  const auto outer = box(160, -20, 200, 20);
  const auto hole = reversed(box(170, -10, 190, 10));
  const auto pieces = cut({outer, hole}, true, options(0));
  ASSERT_EQ(pieces.size(), 4u);
  expect_inside_cut(pieces, 0);
  for (const Piece& p : pieces) EXPECT_EQ((p.flags & ORDANE_PART_HOLE) != 0, p.source == 1);
  const double total = area_pieces(pieces, 0) + area_pieces(pieces, 1);
  EXPECT_NEAR(total / (area_input(outer, 90) + area_input(hole, 90)), 1.0, 1e-9);
}

TEST(CutAntimeridian, LinesAreSplitNotClosed) {
  const std::vector<double> line = {170, 0, 179, 1, -179, 3, -170, 4, 175, 6};
  const std::vector<double> touching = {170, 0, 180, 1, 170, 2};
  const std::vector<double> with_nan = {10, 0, std::numeric_limits<double>::quiet_NaN(), 5, 20, 0, std::numeric_limits<double>::infinity(), 1, 30, 0};
  const auto pieces = cut({line, touching, with_nan}, false, options(0));
  ASSERT_EQ(pieces.size(), 5u);
  expect_inside_cut(pieces, 0);
  // 170 -> 179 -> |cut at lat 2| -> -179 -> -170 -> |cut| -> 175
  EXPECT_EQ(pieces[0].pts, (std::vector<double>{170, 0, 179, 1, 180, 2}));
  EXPECT_EQ(pieces[1].pts.front(), -180);
  EXPECT_EQ(pieces[1].pts[1], 2);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(pieces[i].flags, ORDANE_PART_SPLIT);
  EXPECT_EQ(pieces[3].pts, touching);
  EXPECT_EQ(pieces[3].flags, 0);
  EXPECT_EQ(pieces[4].pts, (std::vector<double>{10, 0, 20, 0, 30, 0}));
  EXPECT_EQ(pieces[4].source, 2);
}

TEST(CutAntimeridian, CrossingLatitudeIsTheSameFromBothEnds) {
  const std::vector<double> a = {175.3, 12.7, -171.9, -3.1};
  const auto p1 = cut({a}, false, options(0));
  const auto p2 = cut({reversed(a)}, false, options(0));
  ASSERT_EQ(p1.size(), 2u);
  ASSERT_EQ(p2.size(), 2u);
  EXPECT_EQ(p1[0].pts[3], p2[1].pts[1]);
  // On the straight (lon, lat) segment.
  const double t = (180 - 175.3) / (188.1 - 175.3);
  EXPECT_NEAR(p1[0].pts[3], 12.7 + t * (-3.1 - 12.7), 1e-12);
}

// Star-shaped rings around random centres, some crossing the cut once or
// more: the pieces keep the area, for any central meridian.
TEST(CutAntimeridian, RandomRingsKeepTheirAreaForAnyCentralMeridian) {
  std::mt19937_64 rng(22);
  std::uniform_real_distribution<double> lon(-180, 180), lat(-60, 60), rad(1, 25), jit(0.5, 1);
  std::vector<std::vector<double>> rings;
  for (int r = 0; r < 200; ++r) {
    const double cx = lon(rng), cy = lat(rng), rr = rad(rng);
    std::vector<double> ring;
    const int n = 5 + r % 40;
    for (int i = 0; i < n; ++i) {
      const double a = -6.283185307179586 * i / n;  // clockwise
      const double k = jit(rng) * rr;
      ring.push_back(cx + k * std::cos(a));
      ring.push_back(cy + k * std::sin(a));
    }
    rings.push_back(ring);
  }
  for (const double lon0 : {0.0, 90.0, -150.0, 180.0, 33.3}) {
    SCOPED_TRACE(lon0);
    const auto pieces = cut(rings, true, options(lon0, 90, 0.5));
    expect_inside_cut(pieces, lon0);
    for (size_t r = 0; r < rings.size(); ++r) {
      const double want = area_input(rings[r], 90);
      ASSERT_NEAR(area_pieces(pieces, static_cast<int64_t>(r)) / want, 1.0, 1e-9) << r;
    }
  }
}

TEST(CutAntimeridian, CountriesKeepTheirAreaAndCloseAntarctica) {
  ShpData* shp = ordane_parse_shp(QUILLON_DATA_DIR "/countries_110m.shp");
  ASSERT_NE(shp, nullptr);
  std::vector<int64_t> offs;
  for (uint64_t i = 0; i < shp->num_parts; ++i) offs.push_back(shp->parts[i]);
  offs.push_back(static_cast<int64_t>(shp->num_points));
  const int64_t parts = static_cast<int64_t>(shp->num_parts);
  for (const double lon0 : {0.0, 150.0}) {
    const GeoCutOptions o = options(lon0, 85.0511287798);
    Holder h;
    ASSERT_EQ(ordane_cut_parts(shp->points, offs.data(), parts, 1, &o, &h.p), 0);
    std::vector<double> got(static_cast<size_t>(parts), 0.0);
    int polar = 0;
    for (int64_t i = 0; i < h.p->num_parts; ++i) {
      const int64_t s = h.p->part_offsets[i], e = h.p->part_offsets[i + 1];
      std::vector<double> pts(h.p->points + 2 * s, h.p->points + 2 * e);
      for (size_t j = 0; j < pts.size(); j += 2) {
        ASSERT_GE(pts[j], lon0 - 180);
        ASSERT_LE(pts[j], lon0 + 180);
      }
      got[static_cast<size_t>(h.p->source_parts[i])] += area_closed(pts);
      polar += (h.p->part_flags[i] & ORDANE_PART_POLAR) != 0;
    }
    EXPECT_GE(polar, 1);  // Antarctica
    for (int64_t k = 0; k < parts; ++k) {
      const std::vector<double> ring(shp->points + 2 * offs[static_cast<size_t>(k)],
                                     shp->points + 2 * offs[static_cast<size_t>(k) + 1]);
      const double want = area_input(ring, 85.0511287798);
      if (want == 0) {  // the file holds a ring of one repeated point
        ASSERT_EQ(got[static_cast<size_t>(k)], 0) << "part " << k;
        continue;
      }
      ASSERT_NEAR(got[static_cast<size_t>(k)] / want, 1.0, 1e-9) << "part " << k;
    }
  }
  ordane_free_shp_data(shp);
}

TEST(CutParts, ArgumentChecksLeaveTheOutputAlone) {
  const double pts[] = {0, 0, 1, 0, 1, 1};
  const int64_t offs[] = {0, 3};
  GeoParts* sentinel = reinterpret_cast<GeoParts*>(&sentinel);
  GeoParts* out = sentinel;
  GeoCutOptions o = options(0);
  EXPECT_EQ(ordane_cut_parts(nullptr, offs, 1, 1, &o, &out), -1);
  EXPECT_EQ(ordane_cut_parts(pts, nullptr, 1, 1, &o, &out), -1);
  EXPECT_EQ(ordane_cut_parts(pts, offs, 1, 1, nullptr, &out), -1);
  EXPECT_EQ(ordane_cut_parts(pts, offs, 1, 1, &o, nullptr), -1);
  EXPECT_EQ(ordane_cut_parts(pts, offs, 0, 1, &o, &out), -1);
  for (int which = 0; which < 7; ++which) {
    GeoCutOptions b = options(0);
    if (which == 0) b.mode = 2;
    if (which == 1) b.pole_lat = 0;
    if (which == 2) b.pole_lat = 90.5;
    if (which == 3) b.max_step = std::numeric_limits<double>::quiet_NaN();
    if (which == 4) b.max_step = 0;
    if (which == 5) b.lon0 = std::numeric_limits<double>::infinity();
    if (which == 6) b.lat0 = 91;
    EXPECT_EQ(ordane_cut_parts(pts, offs, 1, 1, &b, &out), ORDANE_CARTO_ERR_OPTION) << which;
  }
  GeoCutOptions tiny = options(0, 90, 0.00099);
  EXPECT_EQ(ordane_cut_parts(pts, offs, 1, 1, &tiny, &out), ORDANE_CARTO_ERR_OPTION);
  EXPECT_EQ(out, sentinel);
  ordane_free_parts(nullptr);
  // Degenerate and malformed parts are dropped, not failed.
  const int64_t bad[] = {0, 2, 1, -4, 3};
  Holder h;
  ASSERT_EQ(ordane_cut_parts(pts, bad, 4, 1, &o, &h.p), 0);
  EXPECT_EQ(h.p->num_parts, 0);
}

// ---------------------------------------------------------------------------
// Horizon
// ---------------------------------------------------------------------------

GeoCutOptions horizon(double lon0, double lat0) {
  GeoCutOptions o = options(lon0);
  o.mode = ORDANE_CUT_HORIZON;
  o.lat0 = lat0;
  return o;
}

double cos_c(double lon0, double lat0, double lon, double lat) {
  return std::sin(lat0 * kD2R) * std::sin(lat * kD2R) +
         std::cos(lat0 * kD2R) * std::cos(lat * kD2R) * std::cos((lon - lon0) * kD2R);
}

TEST(CutHorizon, KeepsTheVisibleSideClosedAlongTheHorizon) {
  // Seen from (90, 0) the horizon is the meridian 0: the visible half of a
  // box across it is the box's eastern half.
  const auto ring = box(-10, -10, 10, 10);
  const auto pieces = cut({ring}, true, horizon(90, 0));
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].flags, ORDANE_PART_RING | ORDANE_PART_SPLIT);
  EXPECT_NEAR(area_closed(pieces[0].pts) / area_input(box(0, -10, 10, 10), 90), 1.0, 1e-9);
  // From elsewhere, every point kept is visible.
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> lon(-180, 180), lat(-60, 60);
  std::vector<std::vector<double>> rings;
  for (int r = 0; r < 100; ++r) {
    const double cx = lon(rng), cy = lat(rng);
    std::vector<double> rr;
    for (int i = 0; i < 12; ++i) {
      rr.push_back(cx + 20 * std::cos(-i * 0.5235987755982988));
      rr.push_back(cy + 20 * std::sin(-i * 0.5235987755982988));
    }
    rings.push_back(rr);
  }
  for (const double lat0 : {0.0, 40.0, -75.0}) {
    const auto vis = cut(rings, true, horizon(-20, lat0));
    EXPECT_GT(vis.size(), 10u);
    for (const Piece& p : vis) {
      ASSERT_TRUE(p.flags & ORDANE_PART_RING);
      ASSERT_EQ(p.pts[0], p.pts[p.pts.size() - 2]);
      for (size_t i = 0; i < p.pts.size(); i += 2)
        ASSERT_GE(cos_c(-20, lat0, p.pts[i], p.pts[i + 1]), -1e-9);
    }
  }
}

TEST(CutHorizon, LinesSplitAndHiddenPartsDropped) {
  const std::vector<double> line = {-100, 0, 0, 0, 100, 0};
  const auto hidden = box(170, -5, 175, 5);
  const auto lines = cut({line}, false, horizon(0, 0));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NEAR(lines[0].pts.front(), -90, 1e-9);
  EXPECT_NEAR(lines[0].pts[lines[0].pts.size() - 2], 90, 1e-9);
  EXPECT_TRUE(cut({hidden}, true, horizon(0, 0)).empty());
  // A ring around the far side that holds the centre: the whole disc.
  std::vector<double> around;
  for (int a = 0; a <= 360; a += 10) {
    around.push_back(0 + 170 * std::cos(-a * kD2R));
    around.push_back(0 + 89 * std::sin(-a * kD2R));
  }
  const auto disc = cut({around}, true, horizon(0, 0));
  ASSERT_GE(disc.size(), 1u);
}

TEST(CutHorizon, CountriesSeenFromAnywhereKeepOnlyTheNearSide) {
  ShpData* shp = ordane_parse_shp(QUILLON_DATA_DIR "/countries_110m.shp");
  ASSERT_NE(shp, nullptr);
  struct Free {
    ShpData* d;
    ~Free() { ordane_free_shp_data(d); }
  } free_shp{shp};
  std::vector<int64_t> offs;
  for (uint64_t i = 0; i < shp->num_parts; ++i) offs.push_back(shp->parts[i]);
  offs.push_back(static_cast<int64_t>(shp->num_points));
  for (const double lat0 : {-70.0, 0.0, 45.0, 90.0}) {
    SCOPED_TRACE(lat0);
    const GeoCutOptions o = horizon(150, lat0);
    Holder h;
    ASSERT_EQ(ordane_cut_parts(shp->points, offs.data(), static_cast<int64_t>(shp->num_parts), 1,
                               &o, &h.p),
              0);
    ASSERT_GT(h.p->num_parts, 5);
    int split = 0;
    for (int64_t i = 0; i < h.p->num_parts; ++i) {
      const int64_t s = h.p->part_offsets[i], e = h.p->part_offsets[i + 1];
      ASSERT_GE(e - s, 4);
      // Closed: the same point, a whole number of turns away around a pole.
      const double turns = (h.p->points[2 * e - 2] - h.p->points[2 * s]) / 360.0;
      ASSERT_NEAR(turns, std::round(turns), 1e-9);
      ASSERT_EQ(h.p->points[2 * s + 1], h.p->points[2 * e - 1]);
      for (int64_t j = s; j < e; ++j) {
        ASSERT_GE(cos_c(150, lat0, h.p->points[2 * j], h.p->points[2 * j + 1]), -1e-9);
        if (j > s) {
          ASSERT_LE(std::fabs(h.p->points[2 * j] - h.p->points[2 * j - 2]), 180);
        }
      }
      split += (h.p->part_flags[i] & ORDANE_PART_SPLIT) != 0;
    }
    EXPECT_GT(split, 0);
  }
}

// ---------------------------------------------------------------------------
// Densify
// ---------------------------------------------------------------------------

struct Dense {
  std::vector<double> pts;
  std::vector<int64_t> offs;
};

Dense densify(const std::vector<double>& pts, const std::vector<int64_t>& offs, bool rings,
              const GeoProjection& p, const GeoTransform* t, double tol, int depth) {
  Holder h;
  Dense d;
  const int32_t rc = ordane_densify_parts(pts.data(), offs.data(),
                                          static_cast<int64_t>(offs.size() - 1), rings ? 1 : 0,
                                          &p, t, tol, depth, &h.p);
  EXPECT_EQ(rc, 0);
  if (rc != 0) return d;
  d.pts.assign(h.p->points, h.p->points + 2 * h.p->num_points);
  d.offs.assign(h.p->part_offsets, h.p->part_offsets + h.p->num_parts + 1);
  for (int64_t i = 0; i < h.p->num_parts; ++i) EXPECT_EQ(h.p->source_parts[i], i);
  return d;
}

GeoProjection lcc_us() {
  GeoProjection p{};
  p.kind = ORDANE_PROJECTION_LCC;
  p.lat1 = 33;
  p.lat2 = 45;
  p.lat0 = 39;
  p.lon0 = -96;
  return p;
}

TEST(Densify, PointsComeBackOnTheOriginalSegments) {
  // The 49th parallel and a long diagonal, in Lambert, fitted to 1000 px.
  const std::vector<double> ll = {-123, 49, -95, 49, -80, 25, -120, 30};
  const GeoProjection p = lcc_us();
  std::vector<double> xy(ll.size());
  ASSERT_EQ(ordane_proj_lcc_forward(33, 45, 39, -96, 0, 0, ll.data(), xy.data(), 4), 0);
  GeoTransform t;
  ordane_init_transform(&t, -3e6, -2e6, 3e6, 2e6, 1000, 700, 0.05, 1, 1);
  const Dense d = densify(ll, {0, 4}, false, p, &t, 0.25, 16);
  ASSERT_GT(d.pts.size(), 30u);
  // Back to metres, then to (lon, lat), through the inverse export.
  std::vector<double> back = d.pts;
  for (size_t i = 0; i < back.size(); i += 2) {
    back[i] = (back[i] - t.offset_x) / t.scale + t.min_x;
    back[i + 1] = (t.height - back[i + 1] - t.offset_y) / t.scale + t.min_y;
  }
  const int64_t n = static_cast<int64_t>(back.size() / 2);
  ASSERT_EQ(ordane_proj_lcc_inverse(33, 45, 39, -96, 0, 0, back.data(), back.data(), n), 0);
  size_t seg = 0;
  for (size_t i = 0; i < back.size(); i += 2) {
    // Advance to the segment this point lies on (points come in order).
    for (;;) {
      const double ax = ll[2 * seg], ay = ll[2 * seg + 1];
      const double bx = ll[2 * seg + 2], by = ll[2 * seg + 3];
      const double cross = (bx - ax) * (back[i + 1] - ay) - (by - ay) * (back[i] - ax);
      const double len = std::hypot(bx - ax, by - ay);
      const double along = ((bx - ax) * (back[i] - ax) + (by - ay) * (back[i + 1] - ay)) / len;
      if (std::fabs(cross / len) < 1e-7 && along >= -1e-7 && along <= len + 1e-7) break;
      ++seg;
      ASSERT_LT(seg, 3u) << "point " << i / 2 << " off every segment";
    }
  }
  EXPECT_EQ(seg, 2u);
  // The 49th parallel bends in Lambert: points in the middle of it sit off
  // its chord by many pixels.
  const double sag = std::fabs(d.pts[d.pts.size() / 2]);
  EXPECT_TRUE(std::isfinite(sag));
}

TEST(Densify, ChordsStayWithinTheTolerance) {
  const std::vector<double> ll = {-170, -60, 170, 70, 0, 80, -100, -80};
  for (int kind = ORDANE_PROJECTION_MERCATOR; kind <= ORDANE_PROJECTION_EQUAL_EARTH; ++kind) {
    SCOPED_TRACE(kind);
    GeoProjection p{};
    p.kind = kind;
    p.lat1 = 20;
    p.lat2 = 60;
    p.lat0 = 10;
    p.lon0 = 5;
    GeoTransform t;
    ordane_init_transform(&t, -2e7, -2e7, 2e7, 2e7, 800, 800, 0, 1, 0);
    const double tol = 0.5;
    const Dense d = densify(ll, {0, 4}, false, p, &t, tol, 20);
    // Sample the true image between consecutive output points: their
    // (lon, lat) are found on the input segments by matching fractions.
    GeoTransform inv = t;
    (void)inv;
    // Reproject a fine sampling of each input segment and measure its
    // distance to the output polyline.
    double worst = 0;
    for (size_t s = 0; s < 3; ++s) {
      for (int k = 0; k <= 400; ++k) {
        const double f = k / 400.0;
        const GeoProjection q = p;
        const std::vector<double> one = {ll[2 * s] + (ll[2 * s + 2] - ll[2 * s]) * f,
                                         ll[2 * s + 1] + (ll[2 * s + 3] - ll[2 * s + 1]) * f};
        const Dense pt = densify(one, {0, 1}, false, q, &t, tol, 0);
        double best = 1e300;
        for (size_t i = 0; i + 3 < d.pts.size(); i += 2) {
          const double ax = d.pts[i], ay = d.pts[i + 1], bx = d.pts[i + 2], by = d.pts[i + 3];
          const double dx = bx - ax, dy = by - ay, l2 = dx * dx + dy * dy;
          double u = l2 > 0 ? ((pt.pts[0] - ax) * dx + (pt.pts[1] - ay) * dy) / l2 : 0;
          u = std::max(0.0, std::min(1.0, u));
          best = std::min(best, std::hypot(pt.pts[0] - ax - u * dx, pt.pts[1] - ay - u * dy));
        }
        worst = std::max(worst, best);
      }
    }
    EXPECT_LE(worst, 2 * tol);
  }
}

TEST(Densify, DepthZeroIsThePlainProjection) {
  const std::vector<double> ll = {-10, 20, 30, 40, 100, -5};
  GeoProjection p{};
  p.kind = ORDANE_PROJECTION_MERCATOR;
  const Dense d = densify(ll, {0, 3}, false, p, nullptr, 1, 0);
  std::vector<double> xy(ll.size());
  ASSERT_EQ(ordane_proj_3857_forward(ll.data(), xy.data(), 3), 0);
  ASSERT_EQ(d.pts.size(), xy.size());
  for (size_t i = 0; i < xy.size(); ++i) EXPECT_NEAR(d.pts[i], xy[i], 1e-6);
  // A parallel is straight in Mercator: nothing is added to a short one.
  const Dense flat = densify({0, 45, 8, 45}, {0, 2}, false, p, nullptr, 1e-3, 20);
  EXPECT_EQ(flat.pts.size(), 4u);
  // ... and bends in Albers.
  GeoProjection a = lcc_us();
  a.kind = ORDANE_PROJECTION_ALBERS;
  const Dense bent = densify({0, 45, 8, 45}, {0, 2}, false, a, nullptr, 1, 20);
  EXPECT_GT(bent.pts.size(), 8u);
  // A ring that does not repeat its first point is closed.
  const Dense ring = densify({0, 0, 1, 0, 1, 1}, {0, 3}, true, p, nullptr, 1e9, 4);
  EXPECT_EQ(ring.pts.size(), 8u);
  EXPECT_EQ(ring.pts[0], ring.pts[6]);
}

TEST(Densify, ArgumentChecksAndNaN) {
  const std::vector<double> ll = {0, 0, 10, std::numeric_limits<double>::quiet_NaN(), 20, 0};
  const int64_t offs[] = {0, 3};
  GeoProjection p{};
  p.kind = ORDANE_PROJECTION_EQUAL_EARTH;
  GeoParts* sentinel = reinterpret_cast<GeoParts*>(&sentinel);
  GeoParts* out = sentinel;
  EXPECT_EQ(ordane_densify_parts(nullptr, offs, 1, 0, &p, nullptr, 1, 8, &out), -1);
  EXPECT_EQ(ordane_densify_parts(ll.data(), nullptr, 1, 0, &p, nullptr, 1, 8, &out), -1);
  EXPECT_EQ(ordane_densify_parts(ll.data(), offs, 1, 0, nullptr, nullptr, 1, 8, &out), -1);
  EXPECT_EQ(ordane_densify_parts(ll.data(), offs, 1, 0, &p, nullptr, 1, 8, nullptr), -1);
  EXPECT_EQ(ordane_densify_parts(ll.data(), offs, 0, 0, &p, nullptr, 1, 8, &out), -1);
  GeoProjection bad = p;
  bad.kind = 0;
  EXPECT_EQ(ordane_densify_parts(ll.data(), offs, 1, 0, &bad, nullptr, 1, 8, &out), -20);
  bad.kind = 99;
  EXPECT_EQ(ordane_densify_parts(ll.data(), offs, 1, 0, &bad, nullptr, 1, 8, &out), -20);
  EXPECT_EQ(ordane_densify_parts(ll.data(), offs, 1, 0, &p, nullptr, 0, 8, &out), -21);
  EXPECT_EQ(ordane_densify_parts(ll.data(), offs, 1, 0, &p, nullptr, std::numeric_limits<double>::quiet_NaN(), 8, &out), -21);
  EXPECT_EQ(ordane_densify_parts(ll.data(), offs, 1, 0, &p, nullptr, 1, 31, &out), -21);
  EXPECT_EQ(ordane_densify_parts(ll.data(), offs, 1, 0, &p, nullptr, 1, -1, &out), -21);
  const int64_t neg[] = {-1, 3};
  EXPECT_EQ(ordane_densify_parts(ll.data(), neg, 1, 0, &p, nullptr, 1, 8, &out), -22);
  EXPECT_EQ(out, sentinel);
  // The NaN point stays, its segments are not split.
  const Dense d = densify(ll, {0, 3}, false, p, nullptr, 1e-3, 10);
  ASSERT_EQ(d.pts.size(), 6u);
  EXPECT_TRUE(std::isnan(d.pts[3]));
}

}  // namespace
