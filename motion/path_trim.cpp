// path_trim.cpp - trims a Blend2D path to the part between two fractions of
// its length, for draw-on and marching-segment animations.
//
// The source is measured as one polyline through all of its finite vertices,
// whatever their commands: curve control points count as polyline corners,
// and close entries and conic weights (stored with NaN coordinates) drop out.
// The trimmed piece is appended to the destination as a move followed by
// straight lines. Nothing is cached: every call measures the path again.
//
// No per-vertex working array is built: one pass sums the length, and each
// piece walks the source again, forming the running lengths with the same
// additions in the same order, so they are bit for bit the lengths of the
// measuring pass. Up to 64 checkpoints taken while measuring (running
// lengths at evenly spaced vertices) let a piece start its walk near where it
// begins, and spare it the lengths of the stretches that lie wholly inside.

#include "velket.h"

#include <blend2d/blend2d.h>

#include <cmath>
#include <cstddef>

namespace {

// Paths not longer than this are treated as having no length.
constexpr double kMinTotalLength = 1e-6;

// A finite vertex and the running length through it: 0 at the first finite
// vertex, the total length at the last.
struct Checkpoint {
  size_t index;  // entry of the source path
  double len;
};

// Checkpoints are taken every `stride` entries, so at most this many exist.
constexpr size_t kMaxCheckpoints = 64;

struct Measure {
  size_t finite = 0;  // number of finite vertices
  double total = 0.0;
  Checkpoint cp[kMaxCheckpoints];
  size_t ncp = 0;
};

// Sums the straight distances between consecutive finite vertices.
void measure_path(const BLPoint* pts, size_t size, Measure* m) {
  const size_t stride = size / kMaxCheckpoints + 1;
  size_t next_cp = 0;
  size_t n = 0;
  double total = 0.0;
  double px = 0.0;
  double py = 0.0;
  for (size_t i = 0; i < size; ++i) {
    const double x = pts[i].x;
    const double y = pts[i].y;
    if (!(std::isfinite(x) && std::isfinite(y))) continue;
    if (n != 0) total += std::hypot(x - px, y - py);
    if (i >= next_cp && m->ncp < kMaxCheckpoints) {
      m->cp[m->ncp++] = Checkpoint{i, total};
      next_cp = i + stride;
    }
    ++n;
    px = x;
    py = y;
  }
  m->finite = n;
  m->total = total;
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
// range ending on an inner vertex adds a zero-length line there. Returns the
// first failure of a call on out.
BLResult emit_piece(const BLPoint* pts, size_t size, const Measure& m, double a, double b,
                    BLPathCore* out) {
  // Every segment up to a checkpoint whose length is below a ends before a,
  // so the walk may start at the last such checkpoint (running lengths never
  // decrease). A NaN a starts at the first vertex and skips nothing.
  size_t k = 0;
  while (k + 1 < m.ncp && m.cp[k + 1].len < a) ++k;

  bool started = false;
  double px = pts[m.cp[k].index].x;
  double py = pts[m.cp[k].index].y;
  double l0 = m.cp[k].len;
  for (size_t j = k; j < m.ncp; ++j) {
    const bool last = j + 1 == m.ncp;
    const size_t to = last ? size : m.cp[j + 1].index + 1;
    // Between two checkpoints that both lie within [a, b] every segment is
    // kept whole (t0 0, t1 1), so its length is not needed; the running
    // length resumes from the next checkpoint.
    const bool inside = !last && a <= m.cp[j].len && m.cp[j + 1].len <= b;
    for (size_t i = m.cp[j].index + 1; i < to; ++i) {
      const double x = pts[i].x;
      const double y = pts[i].y;
      if (!(std::isfinite(x) && std::isfinite(y))) continue;
      double l1 = l0;
      double t0 = 0.0;
      double t1 = 1.0;
      if (!inside) {
        l1 = l0 + std::hypot(x - px, y - py);
        if (l0 > b) return BL_SUCCESS;
        if (a > l1) {
          px = x;
          py = y;
          l0 = l1;
          continue;
        }
        const double seg = l1 - l0;
        t0 = clamp01(seg > 0.0 && l0 < a ? (a - l0) / seg : 0.0);
        t1 = clamp01(b < l1 && seg > 0.0 ? (b - l0) / seg : 1.0);
      }
      if (!started) {
        const BLResult r = bl_path_move_to(out, lerp(px, x, t0), lerp(py, y, t0));
        if (r != BL_SUCCESS) return r;
        started = true;
      }
      const BLResult r = bl_path_line_to(out, lerp(px, x, t1), lerp(py, y, t1));
      if (r != BL_SUCCESS) return r;
      px = x;
      py = y;
      l0 = l1;
    }
    if (inside) l0 = m.cp[j + 1].len;
  }
  return BL_SUCCESS;
}

// A path of this call's own, released on every way out.
struct LocalPath {
  BLPathCore core;
  LocalPath() { bl_path_init(&core); }
  ~LocalPath() { bl_path_destroy(&core); }
  LocalPath(const LocalPath&) = delete;
  LocalPath& operator=(const LocalPath&) = delete;
};

}  // namespace

// ============================================================================
// Export
// ============================================================================

extern "C" VELKET_API int32_t velket_trim_path(const BLPathCore* src, BLPathCore* dst,
                                               double start, double end, double offset) {
  if (!src || !dst) return VELKET_ERR_INVALID_ARGUMENT;
  const size_t size = bl_path_get_size(src);
  if (size == 0) return VELKET_OK;

  const BLPoint* pts = bl_path_get_vertex_data(src);
  Measure m;
  measure_path(pts, size, &m);
  if (m.finite < 2) return VELKET_OK;
  const double total = m.total;
  if (total <= kMinTotalLength) return VELKET_OK;  // also no whole-path copy

  // fmod keeps the sign of the dividend; negative fractions are lifted below.
  const double s = std::fmod(start + offset, 1.0);
  const double e = std::fmod(end + offset, 1.0);

  // A range of a full turn or more is the whole path, with its own commands,
  // curves and closes. Decided on the raw arguments. Appending a path either
  // adds all of it or, out of memory, nothing.
  if (std::fabs(start - end) >= 1.0) {
    return bl_path_add_path(dst, src, nullptr) == BL_SUCCESS ? VELKET_OK
                                                              : VELKET_ERR_OUT_OF_MEMORY;
  }

  // The piece is built apart and appended in one step: the source is read
  // while nothing is appended (dst may be src, whose storage an append may
  // move), and out of memory leaves dst as it was.
  LocalPath piece;
  const double s1 = s < 0.0 ? s + 1.0 : s;
  const double e1 = e < 0.0 ? e + 1.0 : e;
  BLResult r;
  if (s1 > e1) {
    // The range crosses the start of the path: two figures.
    r = emit_piece(pts, size, m, s1 * total, total, &piece.core);
    if (r == BL_SUCCESS) r = emit_piece(pts, size, m, 0.0, e1 * total, &piece.core);
  } else {
    r = emit_piece(pts, size, m, s1 * total, e1 * total, &piece.core);
  }
  if (r == BL_SUCCESS) r = bl_path_add_path(dst, &piece.core, nullptr);
  return r == BL_SUCCESS ? VELKET_OK : VELKET_ERR_OUT_OF_MEMORY;
}
