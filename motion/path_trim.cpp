// path_trim.cpp - trims a Blend2D path to the part between two fractions of
// its length, for draw-on and marching-segment animations.
//
// The source is measured as one polyline through all of its finite vertices,
// whatever their commands: curve control points count as polyline corners,
// and close entries and conic weights (stored with NaN coordinates) drop out.
// The trimmed piece is appended to the destination as a move followed by
// straight lines. Nothing is cached: every call measures the path again.

#include "velket.h"

#include <blend2d/blend2d.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>

namespace {

// Paths not longer than this are treated as having no length.
constexpr double kMinTotalLength = 1e-6;

// One finite vertex of the source and the running length through it: len is
// 0 at the first vertex and the total length T at the last. Vertices and
// lengths share one working array (one allocation, one stream to read).
struct Node {
  double x;
  double y;
  double len;
};

// The finite vertices of a path with their running lengths.
struct Polyline {
  std::unique_ptr<Node[]> v;  // left uninitialised beyond n
  size_t n = 0;
};

// Copies the finite vertices of `path` and sums the straight distances
// between consecutive ones, in one pass. Copying first is what lets the
// source and destination be the same path: appending may move its storage.
void measure_path(const BLPathCore* path, size_t size, Polyline* pl) {
  const BLPoint* pts = bl_path_get_vertex_data(path);
  pl->v.reset(new Node[size]);
  Node* out = pl->v.get();
  size_t n = 0;
  double total = 0.0;
  double px = 0.0;
  double py = 0.0;
  for (size_t i = 0; i < size; ++i) {
    const double x = pts[i].x;
    const double y = pts[i].y;
    if (!(std::isfinite(x) && std::isfinite(y))) continue;
    if (n != 0) total += std::hypot(x - px, y - py);
    out[n++] = Node{x, y, total};
    px = x;
    py = y;
  }
  pl->n = n;
}

// Per coordinate: (difference * t) + start, in this order.
inline double lerp(double a, double b, double t) { return (b - a) * t + a; }

inline double clamp01(double t) {
  if (t < 0.0) t = 0.0;
  if (t > 1.0) t = 1.0;
  return t;
}

// Appends the piece from length a to length b as one figure: it starts
// exactly at a, passes through every vertex strictly inside (a, b) and ends
// exactly at b. A segment that only touches the range is not skipped, so a
// range ending on an inner vertex adds a zero-length line there.
void emit_piece(const Polyline& pl, double a, double b, BLPathCore* dst) {
  const Node* v = pl.v.get();
  // Running lengths never decrease, so the segments skipped for ending
  // before a form a prefix (found by bisection) and those starting after b
  // a suffix (the loop stops at the first). A NaN a or b skips nothing.
  const Node* first =
      std::partition_point(v + 1, v + pl.n, [a](const Node& node) { return a > node.len; });
  bool started = false;
  for (size_t i = static_cast<size_t>(first - v); i < pl.n; ++i) {
    const Node& p0 = v[i - 1];
    const Node& p1 = v[i];
    const double l0 = p0.len;
    const double l1 = p1.len;
    if (l0 > b) break;
    const double seg = l1 - l0;
    if (!started) {
      const double t0 = clamp01(seg > 0.0 && l0 < a ? (a - l0) / seg : 0.0);
      bl_path_move_to(dst, lerp(p0.x, p1.x, t0), lerp(p0.y, p1.y, t0));
      started = true;
    }
    const double t1 = clamp01(b < l1 && seg > 0.0 ? (b - l0) / seg : 1.0);
    bl_path_line_to(dst, lerp(p0.x, p1.x, t1), lerp(p0.y, p1.y, t1));
  }
}

}  // namespace

// ============================================================================
// Export
// ============================================================================

extern "C" VELKET_API int32_t velket_trim_path(const BLPathCore* src, BLPathCore* dst,
                                               double start, double end, double offset) {
  if (!src || !dst) return -1;
  const size_t size = bl_path_get_size(src);
  if (size == 0) return 0;

  // The working array is released on every way out, exceptions included.
  Polyline pl;
  measure_path(src, size, &pl);
  if (pl.n < 2) return 0;
  const double total = pl.v[pl.n - 1].len;
  if (total <= kMinTotalLength) return 0;  // also no whole-path copy

  // fmod keeps the sign of the dividend; negative fractions are lifted below.
  const double s = std::fmod(start + offset, 1.0);
  const double e = std::fmod(end + offset, 1.0);

  // A range of a full turn or more is the whole path, with its own commands,
  // curves and closes. Decided on the raw arguments.
  if (std::fabs(start - end) >= 1.0) {
    bl_path_add_path(dst, src, nullptr);
    return 0;
  }

  const double s1 = s < 0.0 ? s + 1.0 : s;
  const double e1 = e < 0.0 ? e + 1.0 : e;
  if (s1 > e1) {
    // The range crosses the start of the path: two figures.
    emit_piece(pl, s1 * total, total, dst);
    emit_piece(pl, 0.0, e1 * total, dst);
  } else {
    emit_piece(pl, s1 * total, e1 * total, dst);
  }
  return 0;
}
