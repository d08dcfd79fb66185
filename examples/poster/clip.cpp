// Sutherland-Hodgman for rings (the rectangle is convex, so four passes, one
// per edge, are exact; pieces of a concave ring that leave and re-enter are
// joined along the edge, which a filled path does not show) and Liang-Barsky
// for line segments.
#include "clip.h"

#include <cmath>

namespace poster {

namespace {

struct Pt {
  double x, y;
};

// One Sutherland-Hodgman pass against the half plane "coord(axis) side limit".
template <typename Inside, typename Cross>
void clip_pass(const std::vector<Pt>& in, std::vector<Pt>& out, Inside inside, Cross cross) {
  out.clear();
  if (in.empty()) return;
  Pt prev = in.back();
  bool prev_in = inside(prev);
  for (const Pt& cur : in) {
    const bool cur_in = inside(cur);
    if (cur_in != prev_in) out.push_back(cross(prev, cur));
    if (cur_in) out.push_back(cur);
    prev = cur;
    prev_in = cur_in;
  }
}

Pt at_x(const Pt& a, const Pt& b, double x) {
  const double t = (x - a.x) / (b.x - a.x);
  return Pt{x, (b.y - a.y) * t + a.y};
}

Pt at_y(const Pt& a, const Pt& b, double y) {
  const double t = (y - a.y) / (b.y - a.y);
  return Pt{(b.x - a.x) * t + a.x, y};
}

}  // namespace

size_t clip_ring(const double* pts, size_t n, const Rect& r, std::vector<double>& out) {
  std::vector<Pt> a, b;
  a.reserve(n + 4);
  for (size_t i = 0; i < n; ++i) {
    const Pt p{pts[2 * i], pts[2 * i + 1]};
    if (std::isfinite(p.x) && std::isfinite(p.y)) a.push_back(p);
  }
  // A repeated closing point adds nothing to the ring itself.
  if (a.size() > 1 && a.front().x == a.back().x && a.front().y == a.back().y) a.pop_back();
  if (a.size() < 3) return 0;

  clip_pass(
      a, b, [&](const Pt& p) { return p.x >= r.x0; },
      [&](const Pt& p, const Pt& q) { return at_x(p, q, r.x0); });
  clip_pass(
      b, a, [&](const Pt& p) { return p.x <= r.x1; },
      [&](const Pt& p, const Pt& q) { return at_x(p, q, r.x1); });
  clip_pass(
      a, b, [&](const Pt& p) { return p.y >= r.y0; },
      [&](const Pt& p, const Pt& q) { return at_y(p, q, r.y0); });
  clip_pass(
      b, a, [&](const Pt& p) { return p.y <= r.y1; },
      [&](const Pt& p, const Pt& q) { return at_y(p, q, r.y1); });
  if (a.size() < 3) return 0;

  for (const Pt& p : a) {
    out.push_back(p.x);
    out.push_back(p.y);
  }
  out.push_back(a.front().x);
  out.push_back(a.front().y);
  return a.size() + 1;
}

void clip_line(const double* pts, size_t n, const Rect& r, std::vector<double>& out,
               std::vector<int64_t>& ends) {
  bool open = false;  // a piece is being appended
  auto pairs = [&]() { return static_cast<int64_t>(out.size() / 2); };
  auto finish = [&]() {
    if (open) ends.push_back(pairs());
    open = false;
  };
  for (size_t i = 1; i < n; ++i) {
    const double x0 = pts[2 * i - 2], y0 = pts[2 * i - 1];
    const double x1 = pts[2 * i], y1 = pts[2 * i + 1];
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) {
      finish();
      continue;
    }
    // Liang-Barsky: the part t in [t0, t1] of the segment lies inside.
    const double dx = x1 - x0, dy = y1 - y0;
    double t0 = 0.0, t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - r.x0, r.x1 - x0, y0 - r.y0, r.y1 - y0};
    bool visible = true;
    for (int k = 0; k < 4 && visible; ++k) {
      if (p[k] == 0.0) {
        if (q[k] < 0.0) visible = false;
      } else {
        const double t = q[k] / p[k];
        if (p[k] < 0.0) {
          if (t > t1)
            visible = false;
          else if (t > t0)
            t0 = t;
        } else {
          if (t < t0)
            visible = false;
          else if (t < t1)
            t1 = t;
        }
      }
    }
    if (!visible) {
      finish();
      continue;
    }
    if (t0 > 0.0) finish();  // the segment enters from outside: a new piece
    if (!open) {
      out.push_back(dx * t0 + x0);
      out.push_back(dy * t0 + y0);
      open = true;
    }
    // Whole segments end exactly on their vertex, so pieces join seamlessly.
    out.push_back(t1 < 1.0 ? dx * t1 + x0 : x1);
    out.push_back(t1 < 1.0 ? dy * t1 + y0 : y1);
    if (t1 < 1.0) finish();  // it leaves again
  }
  finish();
}

}  // namespace poster
