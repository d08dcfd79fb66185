// Clipping rings and lines of (lon, lat) degrees to the hemisphere seen by
// an orthographic view centred on (lon0, lat0): ordane_cut_parts() with
// ORDANE_CUT_HORIZON.
//
// Edges are the straight (lon, lat) segments taken the short way round in
// longitude, as everywhere in the cartography exports. Visibility along an
// edge, cos c(t), is not monotonic, so each edge is walked in sub-steps of at
// most max_step degrees and every change of side is located by bisection on
// the segment (to the last bits of t). Rings are then put back together as
// in the antimeridian cut, with the horizon circle in the role of the cut
// line: a piece follows a visible arc to where it leaves, runs along the
// horizon, in the ring's own turning sense, to the next place where the
// ring comes back, and goes on from there. The ring's turning sense (the
// sign of its area in the (lon, lat) plane, which the orthographic view
// keeps) fixes which way round the horizon to go.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "carto_cut.h"
#include "carto_projections.h"
#include "geo_parts.h"
#include "ordane.h"

namespace ordane {
namespace carto {

namespace {

constexpr double kTwoPi = 6.283185307179586;

double wrap180(double x) {
  double r = std::fmod(x, 360.0);
  if (r > 180.0) {
    r -= 360.0;
  } else if (r < -180.0) {
    r += 360.0;
  }
  return r;
}

struct Pt {
  double lon, lat;  // lon unrolled along the part
};

// One point of the walked part: a vertex or a horizon crossing.
struct Ev {
  Pt p;
  bool visible;
  int cross;     // 0 vertex, +1 entering the visible side, -1 leaving it
  double angle;  // crossings: azimuth on the horizon circle, radians
};

class HorizonClipper {
 public:
  HorizonClipper(const GeoCutOptions& o, PartsBuilder& out)
      : o_(o), out_(out), c_(ortho_setup(o.lon0, o.lat0)) {}

  void part(const std::vector<Pt>& pts, bool ring, int64_t source);

 private:
  bool vis(const Pt& p) const { return ortho_cos_c(c_, p.lon, p.lat) >= 0.0; }
  double azimuth(const Pt& p) const {
    double x, y;
    ortho_forward(c_, p.lon, p.lat, &x, &y);
    return std::atan2(y, x);
  }
  void walk(const std::vector<Pt>& pts, bool ring, std::vector<Ev>& ev);
  void emit(double lon, double lat) {
    const int64_t n = out_.part_points();
    if (n > 0) {
      const double* last = out_.part_data() + 2 * (n - 1);
      lon = last[0] + wrap180(lon - last[0]);
      if (last[0] == lon && last[1] == lat) return;
    } else {
      lon = o_.lon0 + wrap180(lon - o_.lon0);
    }
    out_.add(lon, lat);
  }
  // Points on the horizon from azimuth a to b, turning by "sweep" radians.
  void along_horizon(double a, double sweep) {
    const double step = o_.max_step * kD2R;
    const double n = std::ceil(std::fabs(sweep) / step);
    out_.reserve_check(n);
    const int64_t k = static_cast<int64_t>(n);
    for (int64_t j = 1; j < k; ++j) {
      const double t = a + sweep * (static_cast<double>(j) / n);
      // The point at azimuth t on the horizon, 90 degrees from the centre
      // (the plane inverse is ill-conditioned right at the rim).
      const double ct = std::cos(t), st = std::sin(t);
      double s = st * c_.cos_phi0;
      if (s > 1.0) s = 1.0;
      if (s < -1.0) s = -1.0;
      const double lon = o_.lon0 + std::atan2(ct, -st * c_.sin_phi0) * kR2D;
      emit(lon, std::asin(s) * kR2D);
    }
  }
  void end_piece(bool ring, int64_t source, int32_t flags);
  bool encloses_centre(const std::vector<Pt>& pts) const;

  const GeoCutOptions& o_;
  PartsBuilder& out_;
  Ortho c_;
};

void HorizonClipper::walk(const std::vector<Pt>& pts, bool ring, std::vector<Ev>& ev) {
  const size_t n = pts.size();
  const size_t edges = ring ? n : n - 1;
  ev.push_back(Ev{pts[0], vis(pts[0]), 0, 0.0});
  for (size_t i = 0; i < edges; ++i) {
    const Pt a = pts[i];
    Pt b = pts[(i + 1) % n];
    if (i + 1 == n) b.lon = a.lon + wrap180(b.lon - a.lon);  // the closing edge
    const double dlon = b.lon - a.lon, dlat = b.lat - a.lat;
    const double m = std::max(1.0, std::ceil(std::max(std::fabs(dlon), std::fabs(dlat)) /
                                             o_.max_step));
    out_.reserve_check(m);
    const int64_t mm = static_cast<int64_t>(m);
    double t0 = 0.0;
    bool v0 = vis(a);
    for (int64_t j = 1; j <= mm; ++j) {
      const double t1 = j == mm ? 1.0 : static_cast<double>(j) / m;
      const Pt q1{a.lon + dlon * t1, a.lat + dlat * t1};
      const bool v1 = j == mm ? vis(b) : vis(q1);
      if (v1 != v0) {
        double lo = t0, hi = t1;  // vis(lo) == v0
        for (int it = 0; it < 64 && hi - lo > 0; ++it) {
          const double mid = lo + (hi - lo) * 0.5;
          if (mid <= lo || mid >= hi) break;
          const Pt q{a.lon + dlon * mid, a.lat + dlat * mid};
          if (vis(q) == v0) {
            lo = mid;
          } else {
            hi = mid;
          }
        }
        // The crossing is taken on the visible side of the bracket.
        const double tc = v0 ? lo : hi;
        const Pt q{a.lon + dlon * tc, a.lat + dlat * tc};
        ev.push_back(Ev{q, true, v1 ? 1 : -1, azimuth(q)});
      }
      t0 = t1;
      v0 = v1;
    }
    if (!ring || i + 1 < n) ev.push_back(Ev{b, vis(b), 0, 0.0});
  }
}

void HorizonClipper::end_piece(bool ring, int64_t source, int32_t flags) {
  int64_t n = out_.part_points();
  if (!ring) {
    if (n >= 2) {
      out_.end_part(source, flags);
    } else {
      out_.drop_part();
    }
    return;
  }
  const double* p = out_.part_data();
  if (n >= 2 && p[0] == p[2 * n - 2] && p[1] == p[2 * n - 1]) {
    out_.drop_last();  // already back at its first point
    --n;
  }
  if (n >= 3) {
    p = out_.part_data();
    const double x0 = p[0], y0 = p[1];
    double a = 0.0;
    for (int64_t i = 1; i + 1 < n; ++i) {
      a += (p[2 * i] - x0) * (p[2 * i + 3] - y0) - (p[2 * i + 2] - x0) * (p[2 * i + 1] - y0);
    }
    if (a != 0.0 && std::isfinite(a)) {
      out_.add(x0, y0);
      out_.end_part(source, flags | ORDANE_PART_RING | (a > 0 ? ORDANE_PART_HOLE : 0));
      return;
    }
  }
  out_.drop_part();
}

// Winding of the ring around the centre (and its copies a turn away) in the
// (lon, lat) plane.
bool HorizonClipper::encloses_centre(const std::vector<Pt>& pts) const {
  const size_t n = pts.size();
  int64_t wind = 0;
  for (int j = -2; j <= 2; ++j) {
    const double cx = o_.lon0 + 360.0 * j, cy = o_.lat0;
    for (size_t i = 0; i < n; ++i) {
      const Pt& a = pts[i];
      const Pt& b = pts[(i + 1) % n];
      if ((a.lat <= cy) != (b.lat <= cy)) {
        const double t = (cy - a.lat) / (b.lat - a.lat);
        const double x = a.lon + t * (b.lon - a.lon);
        if (x > cx) wind += b.lat > a.lat ? 1 : -1;
      }
    }
  }
  return wind != 0;
}

void HorizonClipper::part(const std::vector<Pt>& pts, bool ring, int64_t source) {
  std::vector<Ev> ev;
  walk(pts, ring, ev);
  size_t crossings = 0;
  for (const Ev& e : ev) crossings += e.cross != 0;

  if (!ring) {
    bool open = false;
    const int32_t flags = crossings ? ORDANE_PART_SPLIT : 0;
    for (const Ev& e : ev) {
      if (e.cross == -1) {
        emit(e.p.lon, e.p.lat);
        end_piece(false, source, flags);
        open = false;
      } else if (e.cross == 1) {
        emit(e.p.lon, e.p.lat);
        open = true;
      } else if (e.visible) {
        emit(e.p.lon, e.p.lat);
        open = true;
      }
    }
    if (open) end_piece(false, source, flags);
    out_.drop_part();
    return;
  }

  // Turning sense of the ring in the (lon, lat) plane; a ring around a pole
  // turns the way that keeps the smaller cap inside.
  double area = 0.0, turn = 0.0, integral = 0.0;
  for (size_t i = 0; i < pts.size(); ++i) {
    const Pt& a = pts[i];
    Pt b = pts[(i + 1) % pts.size()];
    if (i + 1 == pts.size()) b.lon = a.lon + wrap180(b.lon - a.lon);
    const double du = b.lon - a.lon;
    turn += du;
    area += (a.lon - pts[0].lon) * (b.lat - pts[0].lat) - (b.lon - pts[0].lon) * (a.lat - pts[0].lat);
    integral += du * std::sin((a.lat + b.lat) * 0.5 * kD2R);
  }
  bool ccw = area > 0;
  int32_t flags = 0;
  if (std::fabs(turn) > 180.0) {
    const bool north = integral / turn > 0;
    ccw = (turn > 0) == north;
    flags |= ORDANE_PART_POLAR;
  }

  if (crossings == 0) {
    if (ev[0].visible) {
      for (const Ev& e : ev) emit(e.p.lon, e.p.lat);
      end_piece(true, source, flags);
    } else if (encloses_centre(pts) || (flags & ORDANE_PART_POLAR)) {
      bool inside = encloses_centre(pts);
      if (flags & ORDANE_PART_POLAR) {
        // The smaller cap holds the centre when the centre lies beyond the
        // ring on the pole's side; the ring is wholly hidden, so the pole
        // side is the centre's side exactly when the hidden pole is not.
        const bool north = integral / turn > 0;
        inside = north ? o_.lat0 > 0 : o_.lat0 < 0;
      }
      if (inside) {
        along_horizon(0.0, ccw ? kTwoPi : -kTwoPi);
        end_piece(true, source, flags | ORDANE_PART_SPLIT);
      }
    }
    return;
  }
  flags |= ORDANE_PART_SPLIT;

  // Crossing indices in ring order, and for each the next crossing around
  // the horizon in the ring's turning sense.
  std::vector<size_t> cx;
  for (size_t i = 0; i < ev.size(); ++i)
    if (ev[i].cross != 0) cx.push_back(i);
  const size_t m = cx.size();
  std::vector<size_t> by_angle(m);
  for (size_t j = 0; j < m; ++j) by_angle[j] = j;
  std::sort(by_angle.begin(), by_angle.end(), [&](size_t a, size_t b) {
    if (ev[cx[a]].angle != ev[cx[b]].angle) return ev[cx[a]].angle < ev[cx[b]].angle;
    return a < b;
  });
  std::vector<size_t> rank(m), next_round(m);
  for (size_t j = 0; j < m; ++j) rank[by_angle[j]] = j;
  for (size_t j = 0; j < m; ++j) {
    const size_t r = rank[j];
    next_round[j] = by_angle[ccw ? (r + 1) % m : (r + m - 1) % m];
  }

  std::vector<char> used(m, 0);
  for (size_t start = 0; start < m; ++start) {
    if (ev[cx[start]].cross != 1 || used[start]) continue;
    size_t j = start;
    for (;;) {
      used[j] = 1;
      // The visible arc from entry j to the next crossing in ring order.
      size_t i = cx[j];
      emit(ev[i].p.lon, ev[i].p.lat);
      const size_t e = (j + 1) % m;
      for (i = (i + 1) % ev.size(); i != cx[e]; i = (i + 1) % ev.size())
        emit(ev[i].p.lon, ev[i].p.lat);
      emit(ev[cx[e]].p.lon, ev[cx[e]].p.lat);
      used[e] = 1;
      const size_t nx = next_round[e];
      double sweep = ev[cx[nx]].angle - ev[cx[e]].angle;
      if (ccw) {
        if (sweep <= 0) sweep += kTwoPi;
      } else if (sweep >= 0) {
        sweep -= kTwoPi;
      }
      if (nx == e) sweep = ccw ? kTwoPi : -kTwoPi;
      along_horizon(ev[cx[e]].angle, sweep);
      if (nx == start || used[nx] || ev[cx[nx]].cross != 1) break;
      j = nx;
    }
    end_piece(true, source, flags);
  }
}

}  // namespace

int32_t clip_horizon(const double* points, const int64_t* part_offsets, int64_t part_count,
                     bool rings, const GeoCutOptions& o, PartsBuilder& out) {
  HorizonClipper clipper(o, out);
  std::vector<Pt> pts;
  for (int64_t i = 0; i < part_count; ++i) {
    int64_t s, e;
    if (!part_bounds(part_offsets, i, &s, &e)) continue;
    pts.clear();
    for (int64_t j = s; j < e; ++j) {
      double lon = points[2 * j];
      double lat = points[2 * j + 1];
      if (!std::isfinite(lon) || !std::isfinite(lat)) continue;
      if (lat > 90.0) lat = 90.0;
      if (lat < -90.0) lat = -90.0;
      // Unrolled: each step the short way round.
      lon = pts.empty() ? o.lon0 + wrap180(lon - o.lon0)
                        : pts.back().lon + wrap180(lon - pts.back().lon);
      if (!std::isfinite(lon)) continue;  // lon - lon0 overflowed
      if (!pts.empty() && pts.back().lon == lon && pts.back().lat == lat) continue;
      pts.push_back(Pt{lon, lat});
    }
    if (rings) {
      while (pts.size() >= 2 && pts.back().lat == pts.front().lat &&
             std::fmod(std::fabs(pts.back().lon - pts.front().lon), 360.0) == 0.0) {
        pts.pop_back();
      }
      if (pts.size() < 3) continue;
    } else if (pts.size() < 2) {
      continue;
    }
    clipper.part(pts, rings, i);
  }
  return ORDANE_OK;
}

}  // namespace carto
}  // namespace ordane
