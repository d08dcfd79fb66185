// Cutting rings and lines of (lon, lat) degrees at the antimeridian of a
// central meridian, and closing rings that wind around a pole along the
// pole's parallel; the export ordane_cut_parts() (its horizon mode is in
// horizon_clip.cpp).
//
// Longitudes are unrolled along each part: with u = lon - lon0 wrapped into
// [-180, 180], every point gets a strip number s (how many turns east of the
// first point's turn it lies) and a local longitude v in [-180, 180], so
// that v + 360 s is continuous along the part; an edge never moves more
// than 180 degrees, so it passes at most one strip boundary. A strip
// boundary is the cut: local +180 of strip s is local -180 of strip s + 1.
// Keeping the strip as an integer and the local longitude exact means every
// output longitude is lon0 + v for a v computed from one input longitude,
// with no drift from summing steps.
//
// A point exactly on the cut belongs to both strips; it is given the strip
// of the point before it, so a part touching or running along the cut stays
// on its side and is not split into slivers.
//
// Rings: the ring is split at its crossings into arcs, each inside one
// strip. On each boundary line the crossings, sorted by latitude, pair up
// into the chords (1, 2), (3, 4), ... that lie inside the ring (this holds
// for any simple ring, whatever its winding); a piece follows an arc to its
// end crossing, runs along the cut to that crossing's partner and goes on
// with the arc that starts there, until it is back at its first arc. A ring
// that turns around a pole (its strips end k != 0 turns from where they
// began) is first made an ordinary closed ring: it is started at its first
// crossing and closed along the pole's parallel, at strips chosen so that
// the closing runs along the cut edges of the map.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

#include "carto_cut.h"
#include "carto_projections.h"
#include "geo_parts.h"
#include "ordane.h"

namespace ordane {
namespace carto {

namespace {

struct Vtx {
  int64_t s;   // strip
  double v;    // local longitude in [-180, 180]
  double lat;  // degrees
};

double wrap180(double x) {
  double r = std::fmod(x, 360.0);
  if (r > 180.0) {
    r -= 360.0;
  } else if (r < -180.0) {
    r += 360.0;
  }
  return r;
}

bool on_boundary(const Vtx& p) { return p.v == 180.0 || p.v == -180.0; }

// Unrolls raw local longitudes "r" (wrapped lon - lon0) into strips: the
// step from one point to the next is taken the short way (exactly 180 does
// not wrap).
void unroll(std::vector<Vtx>& pts) {
  for (size_t i = 1; i < pts.size(); ++i) {
    const double d = pts[i].v - pts[i - 1].v;
    int64_t s = pts[i - 1].s;
    if (d > 180.0) {
      s -= 1;
    } else if (d < -180.0) {
      s += 1;
    }
    pts[i].s = s;
  }
}

// Re-expresses a point on a boundary in the strip of "prev" when it lies on
// that strip's edge.
void stick_to(Vtx& p, int64_t prev_strip) {
  if (!on_boundary(p)) return;
  // The boundary between strips lo and lo + 1.
  const int64_t lo = p.v > 0 ? p.s : p.s - 1;
  if (prev_strip == lo) {
    p.s = lo;
    p.v = 180.0;
  } else if (prev_strip == lo + 1) {
    p.s = lo + 1;
    p.v = -180.0;
  }
}

// Crossing of the edge a -> b, whose strips differ by one, with the
// boundary between them, computed from the west end of the edge so both
// directions give the same latitude.
double crossing_lat(const Vtx& a, const Vtx& b) {
  const Vtx& w = a.s < b.s ? a : b;
  const Vtx& e = a.s < b.s ? b : a;
  const double ev = e.v + 360.0;
  const double den = ev - w.v;
  double t = den > 0 ? (180.0 - w.v) / den : 0.0;
  if (!(t >= 0.0)) t = 0.0;
  if (t > 1.0) t = 1.0;
  // Rounding may carry the sum a last bit past the edge's own latitudes
  // (90 + 1 ulp at a pole): keep it between them.
  const double lat = w.lat + t * (e.lat - w.lat);
  const double lo = std::min(w.lat, e.lat), hi = std::max(w.lat, e.lat);
  return lat < lo ? lo : (lat > hi ? hi : lat);
}

double shoelace(const double* p, int64_t n) {
  // Twice the signed area of the closed polygon of n points (the last may
  // repeat the first), relative to the first point for precision.
  double a = 0.0;
  const double x0 = p[0], y0 = p[1];
  for (int64_t i = 1; i + 1 < n; ++i) {
    const double x1 = p[2 * i] - x0, y1 = p[2 * i + 1] - y0;
    const double x2 = p[2 * i + 2] - x0, y2 = p[2 * i + 3] - y0;
    a += x1 * y2 - x2 * y1;
  }
  return a;
}

class Cutter {
 public:
  Cutter(const GeoCutOptions& o, PartsBuilder& out) : o_(o), out_(out) {
    step_ = o.max_step;
  }

  void line(const std::vector<Vtx>& raw, int64_t source);
  void ring(std::vector<Vtx> raw, int64_t source);

 private:
  void emit(double v, double lat) {
    const double x = o_.lon0 + v;
    const int64_t n = out_.part_points();
    if (n > 0) {
      const double* last = out_.part_data() + 2 * (n - 1);
      if (last[0] == x && last[1] == lat) return;
    }
    out_.add(x, lat);
  }
  // Points along the meridian at local v from lat a to lat b, b included.
  void along_meridian(double v, double a, double b) {
    const double n = std::ceil(std::fabs(b - a) / step_);
    out_.reserve_check(n);
    const int64_t k = static_cast<int64_t>(n);
    for (int64_t j = 1; j < k; ++j) emit(v, a + (b - a) * (static_cast<double>(j) / n));
    emit(v, b);
  }
  void end_line(int64_t source, int32_t flags) {
    if (out_.part_points() >= 2) {
      out_.end_part(source, flags);
    } else {
      out_.drop_part();
    }
  }
  void end_ring(int64_t source, int32_t flags) {
    int64_t n = out_.part_points();
    const double* p = out_.part_data();
    if (n >= 2 && p[0] == p[2 * n - 2] && p[1] == p[2 * n - 1]) {
      --n;  // already back at its first point
      out_.drop_last();
    }
    if (n >= 3) {
      p = out_.part_data();
      out_.add(p[0], p[1]);  // close
      const double a = shoelace(out_.part_data(), n + 1);
      if (a != 0.0 && std::isfinite(a)) {
        out_.end_part(source, flags | ORDANE_PART_RING | (a > 0 ? ORDANE_PART_HOLE : 0));
        return;
      }
    }
    out_.drop_part();
  }
  void normalize_ring(std::vector<Vtx>& p);
  void cut_ring(const std::vector<Vtx>& p, int64_t source, int32_t flags);
  std::vector<Vtx> close_polar(const std::vector<Vtx>& p, int64_t k);

  const GeoCutOptions& o_;
  PartsBuilder& out_;
  double step_;
};

void Cutter::line(const std::vector<Vtx>& raw, int64_t source) {
  std::vector<Vtx> p = raw;
  unroll(p);
  // Points on the cut take the strip of the point before them; those before
  // the first point off the cut take the strip of the one after.
  size_t first = 0;
  while (first < p.size() && on_boundary(p[first])) ++first;
  if (first == p.size()) first = 0;
  for (size_t i = first + 1; i < p.size(); ++i) stick_to(p[i], p[i - 1].s);
  for (size_t i = first; i-- > 0;) stick_to(p[i], p[i + 1].s);

  bool split = false;
  for (size_t i = 1; i < p.size(); ++i) split = split || p[i].s != p[i - 1].s;
  const int32_t flags = split ? ORDANE_PART_SPLIT : 0;
  emit(p[0].v, p[0].lat);
  for (size_t i = 1; i < p.size(); ++i) {
    const Vtx& a = p[i - 1];
    const Vtx& b = p[i];
    if (b.s != a.s) {
      const double lat = crossing_lat(a, b);
      const bool east = b.s > a.s;
      emit(east ? 180.0 : -180.0, lat);
      end_line(source, flags);
      emit(east ? -180.0 : 180.0, lat);
    }
    emit(b.v, b.lat);
  }
  end_line(source, flags);
}

void Cutter::normalize_ring(std::vector<Vtx>& p) {
  size_t first = 0;
  while (first < p.size() && on_boundary(p[first])) ++first;
  if (first == p.size()) return;
  const size_t n = p.size();
  for (size_t j = 1; j < n; ++j) {
    const size_t i = (first + j) % n;
    stick_to(p[i], p[(i + n - 1) % n].s);
  }
}

// Makes the ring that turns k times around a pole a closed ring: it starts
// at its first crossing X (on the edge of the strip it enters) and ends at
// the same point k strips on, then runs along the cut to the pole's
// parallel, along the parallel back by k turns, and along the cut to X.
std::vector<Vtx> Cutter::close_polar(const std::vector<Vtx>& p, int64_t k) {
  const size_t n = p.size();
  size_t i = 0;
  while (i + 1 < n && p[i + 1].s == p[i].s) ++i;
  // i + 1 < n: an edge inside the ring crosses. Otherwise the closing edge.
  const Vtx a = p[i];
  Vtx b = i + 1 < n ? p[i + 1] : p[0];
  if (i + 1 >= n) b.s += k;
  const int64_t d = b.s - a.s;  // +1 or -1
  const double lat_x = crossing_lat(a, b);

  // The pole whose cap the ring bounds is the smaller: the sign of the mean
  // of sin(lat) along the ring, weighted by longitude, picks it.
  double integral = 0.0;
  for (size_t j = 0; j < n; ++j) {
    const Vtx& u = p[j];
    Vtx w = p[(j + 1) % n];
    if (j + 1 == n) w.s += k;
    const double du = (w.v + 360.0 * static_cast<double>(w.s - u.s)) - u.v;
    const double pa = u.lat * kD2R, pb = w.lat * kD2R;
    const double dp = pb - pa;
    integral += std::fabs(dp) > 1e-12 ? du * (std::cos(pa) - std::cos(pb)) / dp
                                      : du * std::sin((pa + pb) * 0.5);
  }
  const double mean = integral / (360.0 * static_cast<double>(k));
  const double pole = mean > 0 ? o_.pole_lat : -o_.pole_lat;

  std::vector<Vtx> q;
  q.reserve(n + 8);
  const Vtx x{b.s, d > 0 ? -180.0 : 180.0, lat_x};
  q.push_back(x);
  for (size_t j = i + 1; j < n; ++j) q.push_back(p[j]);
  for (size_t j = 0; j <= i; ++j) q.push_back(Vtx{p[j].s + k, p[j].v, p[j].lat});
  const Vtx x2{a.s + k, d > 0 ? 180.0 : -180.0, lat_x};
  q.push_back(x2);
  // Along the cut down (or up) to the pole's parallel.
  {
    const double m = std::ceil(std::fabs(pole - lat_x) / step_);
    out_.reserve_check(m);
    const int64_t mm = static_cast<int64_t>(m);
    for (int64_t j = 1; j < mm; ++j)
      q.push_back(Vtx{x2.s, x2.v, lat_x + (pole - lat_x) * (static_cast<double>(j) / m)});
  }
  q.push_back(Vtx{x2.s, x2.v, pole});
  // Along the parallel, k turns back, in steps of at most 90 degrees.
  {
    const double u0 = x2.v + 360.0 * static_cast<double>(x2.s);
    const double u1 = x.v + 360.0 * static_cast<double>(x.s);
    const double m = std::ceil(std::fabs(u1 - u0) / std::min(step_, 90.0));
    out_.reserve_check(m);
    const int64_t mm = static_cast<int64_t>(m);
    for (int64_t j = 1; j < mm; ++j) {
      const double u = u0 + (u1 - u0) * (static_cast<double>(j) / m);
      const double s = std::floor((u + 180.0) / 360.0);
      q.push_back(Vtx{static_cast<int64_t>(s), u - 360.0 * s, pole});
    }
  }
  q.push_back(Vtx{x.s, x.v, pole});
  {
    const double m = std::ceil(std::fabs(pole - lat_x) / step_);
    const int64_t mm = static_cast<int64_t>(m);
    for (int64_t j = 1; j < mm; ++j)
      q.push_back(Vtx{x.s, x.v, pole + (lat_x - pole) * (static_cast<double>(j) / m)});
  }
  return q;
}

void Cutter::ring(std::vector<Vtx> p, int64_t source) {
  // A repeated first point at the end is the closing edge, already implied.
  while (p.size() >= 2 && p.back().v == p.front().v && p.back().lat == p.front().lat) p.pop_back();
  if (p.size() < 3) return;
  unroll(p);
  // Turns: the strip of the first point reached again by the closing edge.
  Vtx again = p.front();
  {
    const double d = again.v - p.back().v;
    again.s = p.back().s + (d > 180.0 ? -1 : d < -180.0 ? 1 : 0);
  }
  const int64_t k = again.s - p.front().s;
  int32_t flags = 0;
  if (k != 0) {
    p = close_polar(p, k);
    flags = ORDANE_PART_POLAR;
  }
  normalize_ring(p);
  cut_ring(p, source, flags);
}

void Cutter::cut_ring(const std::vector<Vtx>& p, int64_t source, int32_t flags) {
  const size_t n = p.size();
  struct Crossing {
    size_t edge;    // edge from point edge to point edge + 1 (cyclic)
    int64_t line;   // boundary between strips line - 1 and line
    double lat;
    int64_t strip;  // strip entered
    size_t partner;
  };
  std::vector<Crossing> cr;
  for (size_t i = 0; i < n; ++i) {
    const Vtx& a = p[i];
    const Vtx& b = p[(i + 1) % n];
    if (a.s == b.s) continue;
    if (b.s - a.s != 1 && a.s - b.s != 1) continue;  // cannot happen: steps are <= 180
    cr.push_back(Crossing{i, std::max(a.s, b.s), crossing_lat(a, b), b.s, 0});
  }
  if (cr.empty()) {
    for (const Vtx& q : p) emit(q.v, q.lat);
    end_ring(source, flags);
    return;
  }
  flags |= ORDANE_PART_SPLIT;
  // Pair the crossings on each line in latitude order.
  {
    std::vector<size_t> order(cr.size());
    for (size_t j = 0; j < order.size(); ++j) order[j] = j;
    std::sort(order.begin(), order.end(), [&](size_t x, size_t y) {
      if (cr[x].line != cr[y].line) return cr[x].line < cr[y].line;
      if (cr[x].lat != cr[y].lat) return cr[x].lat < cr[y].lat;
      return x < y;
    });
    for (size_t j = 0; j < order.size(); ++j) {
      const bool pairs = j + 1 < order.size() && cr[order[j + 1]].line == cr[order[j]].line;
      if (pairs) {
        cr[order[j]].partner = order[j + 1];
        cr[order[j + 1]].partner = order[j];
        ++j;
      } else {
        cr[order[j]].partner = order[j];
      }
    }
  }
  // Arc j runs from crossing j to crossing j + 1, inside cr[j].strip.
  const size_t m = cr.size();
  std::vector<char> used(m, 0);
  for (size_t start = 0; start < m; ++start) {
    if (used[start]) continue;
    const int64_t strip = cr[start].strip;
    size_t arc = start;
    for (;;) {
      used[arc] = 1;
      const Crossing& c0 = cr[arc];
      const size_t next = (arc + 1) % m;
      const Crossing& c1 = cr[next];
      emit(c0.line == strip ? -180.0 : 180.0, c0.lat);
      for (size_t i = (c0.edge + 1) % n;; i = (i + 1) % n) {
        emit(p[i].v, p[i].lat);
        if (i == c1.edge) break;
      }
      // c1 leaves this strip; along the cut to its partner.
      const double edge_v = c1.line == strip ? -180.0 : 180.0;
      emit(edge_v, c1.lat);
      const size_t partner = c1.partner;
      along_meridian(edge_v, c1.lat, cr[partner].lat);
      if (partner == start || used[partner] || cr[partner].strip != strip) break;
      arc = partner;
    }
    end_ring(source, flags);
  }
}

}  // namespace

int32_t cut_antimeridian(const double* points, const int64_t* part_offsets, int64_t part_count,
                         bool rings, const GeoCutOptions& o, PartsBuilder& out) {
  Cutter cutter(o, out);
  std::vector<Vtx> raw;
  for (int64_t i = 0; i < part_count; ++i) {
    int64_t s, e;
    if (!part_bounds(part_offsets, i, &s, &e)) continue;
    raw.clear();
    for (int64_t j = s; j < e; ++j) {
      const double lon = points[2 * j];
      double lat = points[2 * j + 1];
      if (!std::isfinite(lon) || !std::isfinite(lat)) continue;
      if (lat > 90.0) lat = 90.0;
      if (lat < -90.0) lat = -90.0;
      // lon - lon0 can overflow to infinity for longitudes near the double
      // range; such a point has no place on the map and is dropped too.
      const Vtx q{0, wrap180(lon - o.lon0), lat};
      if (!std::isfinite(q.v)) continue;
      if (!raw.empty() && raw.back().v == q.v && raw.back().lat == q.lat) continue;
      raw.push_back(q);
    }
    if (rings) {
      cutter.ring(raw, i);
    } else if (raw.size() >= 2) {
      cutter.line(raw, i);
    }
  }
  return ORDANE_OK;
}

}  // namespace carto
}  // namespace ordane

namespace {
// The finest step along cut edges, parallels and the horizon (about 100 m),
// which bounds the points a cut can add: a pole's parallel gets at most
// 360000 per turn.
constexpr double kMinStep = 0.001;
}  // namespace

extern "C" ORDANE_API int32_t ordane_cut_parts(const double* points, const int64_t* part_offsets,
                                               int64_t part_count, int32_t rings,
                                               const GeoCutOptions* options, GeoParts** out) {
  if (points == nullptr || part_offsets == nullptr || options == nullptr || out == nullptr ||
      part_count <= 0) {
    return ORDANE_ERR_INVALID_ARGUMENT;
  }
  const GeoCutOptions o = *options;
  if ((o.mode != ORDANE_CUT_ANTIMERIDIAN && o.mode != ORDANE_CUT_HORIZON) ||
      !(o.pole_lat > 0.0 && o.pole_lat <= 90.0) || !(o.max_step >= kMinStep) ||
      !std::isfinite(o.max_step) || !std::isfinite(o.lon0) || !(o.lat0 >= -90.0 && o.lat0 <= 90.0)) {
    return ORDANE_CARTO_ERR_OPTION;
  }
  if (part_count > ordane::carto::kMaxPoints) return ORDANE_CARTO_ERR_TOO_LARGE;
  try {
    ordane::carto::PartsBuilder builder;
    builder.expect(ordane::carto::span_hint(part_offsets, part_count) + part_count * 4);
    if (o.mode == ORDANE_CUT_ANTIMERIDIAN) {
      ordane::carto::cut_antimeridian(points, part_offsets, part_count, rings != 0, o, builder);
    } else {
      ordane::carto::clip_horizon(points, part_offsets, part_count, rings != 0, o, builder);
    }
    if (!builder.finish(out)) return ORDANE_ERR_OUT_OF_MEMORY;
    return ORDANE_OK;
  } catch (const ordane::carto::TooLarge&) {
    return ORDANE_CARTO_ERR_TOO_LARGE;
  } catch (const std::bad_alloc&) {
    return ORDANE_ERR_OUT_OF_MEMORY;
  } catch (const std::length_error&) {
    return ORDANE_ERR_OUT_OF_MEMORY;
  }
}
