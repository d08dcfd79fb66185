// Flattening and clipping of geometry that reaches far outside the image.
//
// Coordinates may be anywhere in the finite double range, so differences of
// two coordinates are formed from halves (a * 0.5 - b * 0.5 cannot overflow)
// and interpolation starts from the endpoint nearer the result, which keeps
// the result accurate when the other endpoint is very far away.

#include "far_geometry.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>

namespace bl2d {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Curves are flattened to within this many pixels.
constexpr double kFlattenTolerance = 0.01;
// Deep enough for a curve spanning the whole double range to come within
// the tolerance near the box (the error shrinks fourfold per level).
constexpr int kFlattenMaxDepth = 1100;
// For strokes, the pieces at the ends of a curve are split until their chords
// run within this tangent (about 0.1 degree) of the curve's end tangents,
// which set the caps and the joins with the neighbouring segments.
constexpr double kEndTangent = 2e-3;
// Upper bound on the arc steps of one circle polygon.
constexpr double kMaxArcSteps = 1 << 20;

inline Pt mid(Pt a, Pt b) { return {a.x * 0.5 + b.x * 0.5, a.y * 0.5 + b.y * 0.5}; }
inline bool finite(Pt p) { return __builtin_isfinite(p.x) && __builtin_isfinite(p.y); }
inline double clamp_finite(double v) { return v > DBL_MAX ? DBL_MAX : v < -DBL_MAX ? -DBL_MAX : v; }

// True when the bounding box of pts[0..n) meets the box.
bool hull_meets(const Pt* pts, int n, const Box& box) {
  double x0 = pts[0].x, x1 = pts[0].x, y0 = pts[0].y, y1 = pts[0].y;
  for (int i = 1; i < n; i++) {
    x0 = std::min(x0, pts[i].x);
    x1 = std::max(x1, pts[i].x);
    y0 = std::min(y0, pts[i].y);
    y1 = std::max(y1, pts[i].y);
  }
  return x0 <= box.x1 && x1 >= box.x0 && y0 <= box.y1 && y1 >= box.y0;
}

// True when the chord pts[0]-pts[n-1] runs along the curve's tangent at the
// ends flagged in `ends` (1 start, 2 end).  The tangent at an end points to
// the nearest control point distinct from it.
bool chord_follows_end_tangents(const Pt* pts, int n, unsigned ends) {
  Pt chord = pts[n - 1] - pts[0];
  auto along = [&](Pt t) {
    double cross = std::fabs(t.x * chord.y - t.y * chord.x), dot = t.x * chord.x + t.y * chord.y;
    return (t.x == 0.0 && t.y == 0.0) || (dot > 0.0 && cross <= kEndTangent * dot);
  };
  Pt t0{0.0, 0.0}, t1{0.0, 0.0};
  for (int i = 1; i < n && t0.x == 0.0 && t0.y == 0.0; i++) t0 = pts[i] - pts[0];
  for (int i = n - 2; i >= 0 && t1.x == 0.0 && t1.y == 0.0; i--) t1 = pts[n - 1] - pts[i];
  return (!(ends & 1u) || along(t0)) && (!(ends & 2u) || along(t1));
}

// Distance from p to the segment a-b; infinite or NaN when the numbers
// overflow, which callers treat as "too far".
double segment_distance(Pt p, Pt a, Pt b) {
  Pt d = b - a, e = p - a;
  double len2 = d.x * d.x + d.y * d.y;
  double t = len2 > 0.0 ? (e.x * d.x + e.y * d.y) / len2 : 0.0;
  if (!(t > 0.0)) t = 0.0;
  else if (t > 1.0) t = 1.0;
  Pt q = e - d * t;
  return std::sqrt(q.x * q.x + q.y * q.y);
}

// Point where the segment a-b crosses the vertical line x = X (a and b lie
// on different sides of it).
Pt cross_x(Pt a, Pt b, double X) {
  if (std::fabs(X - b.x) < std::fabs(X - a.x)) std::swap(a, b);
  double t = ((X - a.x) * 0.5) / (b.x * 0.5 - a.x * 0.5);
  double y = a.y + (t * 2.0) * (b.y * 0.5 - a.y * 0.5);
  return {X, clamp_finite(y)};
}

Pt cross_y(Pt a, Pt b, double Y) {
  Pt s = cross_x({a.y, a.x}, {b.y, b.x}, Y);
  return {s.y, s.x};
}

// The four half-planes of the box: 0 x >= x0, 1 x <= x1, 2 y >= y0, 3 y <= y1.
inline bool inside(int edge, Pt p, const Box& box) {
  switch (edge) {
    case 0: return p.x >= box.x0;
    case 1: return p.x <= box.x1;
    case 2: return p.y >= box.y0;
    default: return p.y <= box.y1;
  }
}

inline Pt cross_edge(int edge, Pt a, Pt b, const Box& box) {
  switch (edge) {
    case 0: return cross_x(a, b, box.x0);
    case 1: return cross_x(a, b, box.x1);
    case 2: return cross_y(a, b, box.y0);
    default: return cross_y(a, b, box.y1);
  }
}

}  // namespace

// ---- Flattener -----------------------------------------------------------

void Flattener::end_figure(bool closed) {
  if (pts_.size() - fig_begin_ >= 2) {
    figs_.push_back({fig_begin_, pts_.size(), closed});
  } else {
    pts_.resize(fig_begin_);
    smooth_.resize(fig_begin_);
  }
  fig_begin_ = pts_.size();
}

void Flattener::move(Pt p) {
  end_figure(false);
  add(p, false);
  start_ = p;
}

void Flattener::line(Pt p) { add(p, false); }

void Flattener::close() {
  end_figure(true);
  add(start_, false);  // drawing continues from the start point
}

void Flattener::finish() { end_figure(false); }

void Flattener::cubic(Pt p0, Pt c1, Pt c2, Pt p3) {
  cubic_stack_.clear();
  cubic_stack_.push_back({{p0, c1, c2, p3}, 0, 3});
  while (!cubic_stack_.empty()) {
    CubicPiece c = cubic_stack_.back();
    cubic_stack_.pop_back();
    const Pt* p = c.p;
    bool split = c.depth < kFlattenMaxDepth && budget_ > 0 && hull_meets(p, 4, cull_) &&
                 (!(std::max(segment_distance(p[1], p[0], p[3]), segment_distance(p[2], p[0], p[3])) <=
                    kFlattenTolerance) ||
                  (exact_ends_ && c.ends != 0 && !chord_follows_end_tangents(p, 4, c.ends)));
    if (!split) {
      add(p[3], !cubic_stack_.empty());  // the last piece ends the curve
      continue;
    }
    budget_--;
    // de Casteljau at t = 1/2; midpoints of finite points stay finite.
    Pt a = mid(p[0], p[1]), b = mid(p[1], p[2]), d = mid(p[2], p[3]);
    Pt ab = mid(a, b), bd = mid(b, d);
    Pt m = mid(ab, bd);
    cubic_stack_.push_back({{m, bd, d, p[3]}, c.depth + 1, c.ends & 2u});
    cubic_stack_.push_back({{p[0], a, ab, m}, c.depth + 1, c.ends & 1u});
  }
}

void Flattener::conic(Pt p0, Pt c, Pt p2, double w) {
  conic_stack_.clear();
  conic_stack_.push_back({{p0, c, p2}, w, 0, 3});
  while (!conic_stack_.empty()) {
    ConicPiece k = conic_stack_.back();
    conic_stack_.pop_back();
    const Pt* p = k.p;
    // With w > 0 the curve lies in the triangle of its control points.
    bool split = k.depth < kFlattenMaxDepth && budget_ > 0 && hull_meets(p, 3, cull_) &&
                 (!(segment_distance(p[1], p[0], p[2]) <= kFlattenTolerance) ||
                  (exact_ends_ && k.ends != 0 && !chord_follows_end_tangents(p, 3, k.ends)));
    Pt q1{0, 0}, r1{0, 0}, m{0, 0};
    if (split) {
      // Split at t = 1/2 into two conics with the same, smaller weight;
      // q1 and r1 are convex combinations, so they stay in range.
      double s = 1.0 / (1.0 + k.w), ws = k.w * s;
      q1 = p[0] * s + p[1] * ws;
      r1 = p[1] * ws + p[2] * s;
      m = mid(q1, r1);
      split = finite(q1) && finite(r1) && finite(m);
    }
    if (!split) {
      add(p[2], !conic_stack_.empty());
      continue;
    }
    budget_--;
    double w2 = std::sqrt((1.0 + k.w) * 0.5);
    conic_stack_.push_back({{m, r1, p[2]}, w2, k.depth + 1, k.ends & 2u});
    conic_stack_.push_back({{p[0], q1, m}, w2, k.depth + 1, k.ends & 1u});
  }
}

// ---- Clipping ------------------------------------------------------------

void clip_polygon(const Pt* in, size_t n, const Box& box, std::vector<Pt>* out, std::vector<Pt>* scratch) {
  out->assign(in, in + n);
  for (int edge = 0; edge < 4; edge++) {
    scratch->clear();
    size_t m = out->size();
    for (size_t i = 0; i < m; i++) {
      Pt cur = (*out)[i], prev = (*out)[i == 0 ? m - 1 : i - 1];
      bool cur_in = inside(edge, cur, box), prev_in = inside(edge, prev, box);
      if (cur_in != prev_in) scratch->push_back(cross_edge(edge, prev, cur, box));
      if (cur_in) scratch->push_back(cur);
    }
    out->swap(*scratch);
    if (out->size() < 3) {
      out->clear();
      return;
    }
  }
}

// ---- Strokes -------------------------------------------------------------

namespace {

// The half-plane {p : (p - q) . m <= c}, m a unit vector.
struct HalfPlane {
  Pt q, m;
  double c;
};

// Cuts the convex polygon *poly by the half-plane.  Values are scaled by
// 1/8 so that neither the side values nor their differences can overflow.
void cut(std::vector<Pt>* poly, const HalfPlane& hp, std::vector<Pt>* scratch) {
  const double mx = hp.m.x * 0.125, my = hp.m.y * 0.125, c = hp.c * 0.125;
  auto side = [&](Pt p) { return (p.x - hp.q.x) * mx + (p.y - hp.q.y) * my - c; };
  scratch->clear();
  size_t n = poly->size();
  for (size_t i = 0; i < n; i++) {
    Pt a = (*poly)[i == 0 ? n - 1 : i - 1], b = (*poly)[i];
    double fa = side(a), fb = side(b);
    if ((fa <= 0.0) != (fb <= 0.0)) scratch->push_back(a + (b - a) * (fa / (fa - fb)));
    if (fb <= 0.0) scratch->push_back(b);
  }
  poly->swap(*scratch);
}

// Appends the box cut by the half-planes, unless nothing is left.  Returns
// true when nothing was cut off: the part is the whole box.
bool add_part(const Box& box, const std::vector<HalfPlane>& hps, std::vector<Pt>* poly, std::vector<Pt>* scratch,
              std::vector<Pt>* out, std::vector<size_t>* sizes) {
  poly->assign({{box.x0, box.y0}, {box.x1, box.y0}, {box.x1, box.y1}, {box.x0, box.y1}});
  bool whole = true;
  for (size_t i = 0; i < hps.size() && poly->size() >= 3; i++) {
    cut(poly, hps[i], scratch);
    whole = whole && poly->size() == 4 && (*poly)[0].x == box.x0 && (*poly)[0].y == box.y0 &&
            (*poly)[2].x == box.x1 && (*poly)[2].y == box.y1 && (*poly)[1].x == box.x1 && (*poly)[3].y == box.y1;
  }
  if (poly->size() < 3) return false;
  out->insert(out->end(), poly->begin(), poly->end());
  sizes->push_back(poly->size());
  return whole;
}

// True when p lies within `reach` of the box (per axis).
inline bool near_box(Pt p, double reach, const Box& box) {
  return p.x >= box.x0 - reach && p.x <= box.x1 + reach && p.y >= box.y0 - reach && p.y <= box.y1 + reach;
}

}  // namespace

bool stroke_polyline(const Pt* pts, const uint8_t* smooth, size_t n, bool closed, double half_width,
                     double miter_limit, const Box& box, std::vector<Pt>* out, std::vector<size_t>* sizes) {
  // Zero-length segments neither draw nor bend the stroke; a point repeated
  // is smooth only if every copy is.
  std::vector<Pt> p;
  std::vector<uint8_t> round;
  p.reserve(n);
  round.reserve(n);
  for (size_t i = 0; i < n; i++) {
    if (!p.empty() && pts[i].x == p.back().x && pts[i].y == p.back().y) {
      round.back() = round.back() && smooth[i];
    } else {
      p.push_back(pts[i]);
      round.push_back(smooth[i]);
    }
  }
  while (closed && p.size() > 1 && p.back().x == p[0].x && p.back().y == p[0].y) {
    p.pop_back();
    round.pop_back();  // the start point is a corner
  }
  const size_t m = p.size();
  if (m < 2 || !(half_width > 0.0)) return false;
  const size_t segments = closed ? m : m - 1;
  const double h = half_width;
  const Pt centre = mid({box.x0, box.y0}, {box.x1, box.y1});

  // Unit directions from halved differences (no overflow); a zero direction
  // marks a segment too short to have one.
  std::vector<Pt> dir(segments);
  for (size_t i = 0; i < segments; i++) {
    Pt a = p[i], b = p[(i + 1) % m];
    Pt d = b * 0.5 - a * 0.5;
    double len = std::hypot(d.x, d.y);
    dir[i] = len > 0.0 ? Pt{d.x / len, d.y / len} : Pt{0.0, 0.0};
  }
  auto valid = [](Pt d) { return d.x != 0.0 || d.y != 0.0; };

  std::vector<Pt> poly, scratch;
  std::vector<HalfPlane> hps;
  for (size_t i = 0; i < segments; i++) {
    Pt a = p[i], b = p[(i + 1) % m], d = dir[i];
    if (!valid(d)) continue;
    if (std::max(a.x, b.x) < box.x0 - h || std::min(a.x, b.x) > box.x1 + h || std::max(a.y, b.y) < box.y0 - h ||
        std::min(a.y, b.y) > box.y1 + h)
      continue;
    Pt nrm = {-d.y, d.x};
    // The sides are measured from the endpoint nearer the box: fewer digits lost.
    Pt q = std::hypot(a.x - centre.x, a.y - centre.y) <= std::hypot(b.x - centre.x, b.y - centre.y) ? a : b;
    hps.assign({{a, {-d.x, -d.y}, 0.0}, {b, d, 0.0}, {q, nrm, h}, {q, {-nrm.x, -nrm.y}, h}});
    if (add_part(box, hps, &poly, &scratch, out, sizes)) return true;
  }

  // Joins fill the wedge on the outer side of each corner, between the end
  // of one segment's band and the start of the next.
  const double miter_reach = h * std::max(miter_limit, 1.0);
  // A round join's chords stay within kFlattenTolerance of its arc.
  const double round_step = 2.0 * std::sqrt(2.0 * kFlattenTolerance / h);
  const size_t first = closed ? 0 : 1, last = closed ? m : m - 1;
  for (size_t i = first; i < last; i++) {
    Pt v = p[i], d1 = dir[(i + segments - 1) % segments], d2 = dir[i % segments];
    if (!valid(d1) || !valid(d2) || !near_box(v, miter_reach, box)) continue;
    double cross = d1.x * d2.y - d1.y * d2.x, dot = d1.x * d2.x + d1.y * d2.y;
    // Straight on needs no join; an exact reversal has no outer side at a
    // corner, while a smooth curve turning back sweeps the half disc ahead.
    if (cross == 0.0 && (dot > 0.0 || !round[i])) continue;
    double s = cross > 0.0 ? -1.0 : 1.0;
    Pt n1 = {-d1.y * s, d1.x * s}, n2 = {-d2.y * s, d2.x * s};  // outer normals
    hps.assign({{v, {-d1.x, -d1.y}, 0.0}, {v, d2, 0.0}});
    if (round[i]) {
      // Chords of the arc from n1 to n2, turning the way the path turns.
      double turn = std::atan2(std::fabs(cross), dot);
      double steps = std::ceil(turn / round_step);
      int k = steps >= 1.0 ? (steps < 64.0 ? static_cast<int>(steps) : 64) : 1;
      Pt side = {n1.y * s, -n1.x * s};  // n1 turned a quarter towards n2
      for (int j = 0; j < k; j++) {
        double a = (j + 0.5) * turn / k;
        hps.push_back({v, n1 * std::cos(a) + side * std::sin(a), h * std::cos(0.5 * turn / k)});
      }
    } else if (miter_limit * miter_limit * (1.0 + dot) >= 2.0) {
      // Miter while 1 / sin(half the corner angle) stays within the limit.
      hps.push_back({v, n1, h});
      hps.push_back({v, n2, h});
    } else {
      Pt u = n1 + n2;
      double len = std::hypot(u.x, u.y);  // 2 cos(turn / 2)
      if (!(len > 0.0)) continue;
      hps.push_back({v, {u.x / len, u.y / len}, h * (len * 0.5)});
    }
    if (add_part(box, hps, &poly, &scratch, out, sizes)) return true;
  }
  return false;
}

// ---- Circles -------------------------------------------------------------

CircleCover circle_polygon(Pt c, double r, const Box& box, double tolerance, std::vector<Pt>* out) {
  out->clear();
  const Pt corners[4] = {{box.x0, box.y0}, {box.x1, box.y0}, {box.x1, box.y1}, {box.x0, box.y1}};

  bool whole = true;
  for (Pt k : corners) whole = whole && std::hypot(k.x - c.x, k.y - c.y) <= r;
  if (whole) return CircleCover::kWhole;
  Pt nearest = {std::min(std::max(c.x, box.x0), box.x1), std::min(std::max(c.y, box.y0), box.y1)};
  if (!(std::hypot(nearest.x - c.x, nearest.y - c.y) < r)) return CircleCover::kNone;

  // Arc angles phi are measured from the direction u, so that the arc points
  // near the box keep their precision even when the centre is very far away.
  Pt u = {1.0, 0.0};
  double phi0 = -kPi, phi1 = kPi;
  if (!box.contains(c)) {
    // Seen from outside, the box spans less than half a turn around the
    // direction to its centre; its corners give the extreme angles.
    Pt v = mid({box.x0, box.y0}, {box.x1, box.y1}) * 0.5 - c * 0.5;  // halved: hypot stays finite
    double len = std::hypot(v.x, v.y);
    u = {v.x / len, v.y / len};
    phi0 = kPi;
    phi1 = -kPi;
    for (Pt k : corners) {
      Pt h = k * 0.5 - c * 0.5;
      double phi = std::atan2(u.x * h.y - u.y * h.x, u.x * h.x + u.y * h.y);
      phi0 = std::min(phi0, phi);
      phi1 = std::max(phi1, phi);
    }
  }

  // A chord over the angle step deviates r * (1 - cos(step / 2)) <= r * step^2 / 8.
  double step = std::min(2.0 * std::sqrt(2.0 * tolerance / r), kPi / 8.0);
  double steps = std::ceil((phi1 - phi0) / step);
  if (!(steps >= 1.0)) steps = 1.0;
  if (steps > kMaxArcSteps) steps = kMaxArcSteps;
  const int n = static_cast<int>(steps);

  out->reserve(static_cast<size_t>(n) + 2);
  out->push_back(c);
  for (int i = 0; i <= n; i++) {
    double phi = i == n ? phi1 : phi0 + (phi1 - phi0) * (static_cast<double>(i) / n);
    double along = r * std::cos(phi), across = r * std::sin(phi);
    out->push_back({clamp_finite(c.x + along * u.x - across * u.y), clamp_finite(c.y + along * u.y + across * u.x)});
  }
  return CircleCover::kPartial;
}

}  // namespace bl2d
