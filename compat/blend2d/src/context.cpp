// Rendering context: a cairo_t drawing into an image's Cairo surface.
//
// BLContextCore::_impl is null for a detached context.  The context holds a
// reference to the image storage, so the image stays alive while attached.
// The composition operator, stroke width and clip live here and are applied to
// the cairo_t before each operation; if the cairo_t ever enters an error state
// it is replaced by a fresh one on the next call.
//
// Cairo keeps device coordinates in 24.8 fixed point (about +-8.3e6) and its
// rasteriser spoils the coverage of long slanted edges well inside that, so
// geometry reaches Cairo only within the drawable range: the image grown by
// kMargin pixels on every side.  Beyond it the stand-in stays cheap and
// bounded rather than exact:
//  - geometry whose bounds (grown by a stroke's reach) miss the image is
//    culled, and boxes and rectangles are cut to the range: both exact;
//  - a circle holding the whole image fills it (exact); one whose edge
//    crosses the image is drawn from the arc near the image (chords within
//    0.01 px of the circle);
//  - in a path, every vertex and control point beyond the range is clamped
//    into it.  Edges parallel to an axis keep their place; slanted edges and
//    curves that leave the range change their course inside the image;
//  - stroke widths are clamped to kMaxStrokeWidth.
// The real Blend2D draws such geometry differently again; nothing in the
// libraries or the poster comes near these ranges.

#include "bl2d_internal.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Conics are emitted as cubics; pieces are split until the estimated distance
// to the exact curve is below this many pixels.
constexpr double kConicTolerance = 0.01;
constexpr int kConicMaxDepth = 10;

constexpr double kMiterLimit = 4.0;  // Blend2D's default miter limit

struct Pt {
  double x, y;
};

inline Pt operator+(Pt a, Pt b) { return {a.x + b.x, a.y + b.y}; }
inline Pt operator-(Pt a, Pt b) { return {a.x - b.x, a.y - b.y}; }
inline Pt operator*(Pt a, double s) { return {a.x * s, a.y * s}; }

struct ContextImpl {
  bl2d::ImageImpl* image = nullptr;  // one reference held
  cairo_t* cr = nullptr;
  BLCompOp comp_op = BL_COMP_OP_SRC_OVER;
  double stroke_width = 1.0;
  // Clip rectangle, x0 <= x1 and y0 <= y1 (empty when equal), within the
  // drawable range; unset means the whole image.
  bool clipped = false;
  double clip_x0 = 0.0, clip_y0 = 0.0, clip_x1 = 0.0, clip_y1 = 0.0;
};
// Builtins rather than std::isfinite / std::isinf: with clang and libstdc++
// those std inline functions would otherwise be exported from the library.
inline bool is_finite(double v) { return __builtin_isfinite(v); }
inline bool is_inf(double v) { return __builtin_isinf(v); }
inline bool finite(Pt p) { return is_finite(p.x) && is_finite(p.y); }

inline ContextImpl* impl_of(const BLContextCore* self) {
  return static_cast<ContextImpl*>(self->_impl);
}

// Every call but the _init calls requires a live context.
inline void check(const BLContextCore* self, const char* call) noexcept {
  bl2d::check_tag(self, bl2d::kContextTag, call, "BLContextCore");
}

BLResult result_of(cairo_status_t status) {
  if (status == CAIRO_STATUS_SUCCESS) return BL_SUCCESS;
  return status == CAIRO_STATUS_NO_MEMORY ? BL_ERROR_OUT_OF_MEMORY : BL_ERROR_INVALID_VALUE;
}

cairo_t* create_cairo(cairo_surface_t* surface) {
  cairo_t* cr = cairo_create(surface);
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) return cr;
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_GRAY);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  cairo_set_miter_limit(cr, kMiterLimit);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  return cr;
}

// Checks the context is live and attached and its cairo_t usable, then
// applies the stored state and the colour.  Returns the cairo_t or sets *err.
cairo_t* begin(BLContextCore* self, uint32_t rgba32, const char* call, BLResult* err) {
  if (!self) {
    *err = BL_ERROR_INVALID_VALUE;
    return nullptr;
  }
  check(self, call);
  ContextImpl* impl = impl_of(self);
  if (!impl) {
    *err = BL_ERROR_INVALID_STATE;
    return nullptr;
  }
  if (cairo_status(impl->cr) != CAIRO_STATUS_SUCCESS) {
    cairo_t* fresh = create_cairo(impl->image->surface);
    if (cairo_status(fresh) != CAIRO_STATUS_SUCCESS) {
      *err = result_of(cairo_status(fresh));
      cairo_destroy(fresh);
      return nullptr;
    }
    cairo_destroy(impl->cr);
    impl->cr = fresh;
  }
  cairo_t* cr = impl->cr;
  cairo_reset_clip(cr);
  if (impl->clipped) {
    cairo_new_path(cr);
    cairo_rectangle(cr, impl->clip_x0, impl->clip_y0, impl->clip_x1 - impl->clip_x0, impl->clip_y1 - impl->clip_y0);
    cairo_clip(cr);
  }
  cairo_set_operator(cr, impl->comp_op == BL_COMP_OP_SRC_COPY ? CAIRO_OPERATOR_SOURCE : CAIRO_OPERATOR_OVER);
  cairo_set_line_width(cr, impl->stroke_width);
  cairo_set_source_rgba(cr,
                        ((rgba32 >> 16) & 0xFFu) / 255.0,
                        ((rgba32 >> 8) & 0xFFu) / 255.0,
                        (rgba32 & 0xFFu) / 255.0,
                        ((rgba32 >> 24) & 0xFFu) / 255.0);
  cairo_new_path(cr);
  return cr;
}

BLResult finish(cairo_t* cr) {
  cairo_new_path(cr);
  return result_of(cairo_status(cr));
}

// ---- Path conversion -------------------------------------------------------

inline Pt conic_at(Pt p0, Pt p1, Pt p2, double w, double t) {
  double a = (1 - t) * (1 - t), b = 2 * t * (1 - t) * w, c = t * t;
  double d = a + b + c;
  return {(a * p0.x + b * p1.x + c * p2.x) / d, (a * p0.y + b * p1.y + c * p2.y) / d};
}

inline Pt cubic_at(Pt p0, Pt p1, Pt p2, Pt p3, double t) {
  double u = 1 - t;
  double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
  return {a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y};
}

// Cubic that matches the conic's ends, end tangents and midpoint (exact
// shape for w == 1; the usual circular-arc cubic when w = cos(angle/2)).
inline void conic_to_cubic(Pt p0, Pt p1, Pt p2, double w, Pt* c1, Pt* c2) {
  double k = 4.0 * w / (3.0 * (1.0 + w));
  *c1 = p0 + (p1 - p0) * k;
  *c2 = p2 + (p1 - p2) * k;
}

// Upper estimate of the distance between the conic and its cubic: compares
// points at equal parameters (always at least the true distance there).
double conic_cubic_error(Pt p0, Pt p1, Pt p2, double w) {
  Pt c1, c2;
  conic_to_cubic(p0, p1, p2, w, &c1, &c2);
  double worst = 0.0;
  for (int i = 1; i < 8; i++) {
    double t = i / 8.0;
    Pt d = conic_at(p0, p1, p2, w, t) - cubic_at(p0, c1, c2, p2, t);
    double e = std::sqrt(d.x * d.x + d.y * d.y);
    if (!(e <= worst)) worst = e;  // NaN propagates as "large"
  }
  return worst;
}

void emit_conic(cairo_t* cr, Pt p0, Pt p1, Pt p2, double w, int depth) {
  if (depth < kConicMaxDepth && !(conic_cubic_error(p0, p1, p2, w) <= kConicTolerance)) {
    // Split at t = 0.5 into two conics with the same, smaller weight.
    double s = 1.0 / (1.0 + w);
    Pt q1 = (p0 + p1 * w) * s;
    Pt r1 = (p1 * w + p2) * s;
    Pt m = (q1 + r1) * 0.5;
    double w2 = std::sqrt((1.0 + w) * 0.5);
    emit_conic(cr, p0, q1, m, w2, depth + 1);
    emit_conic(cr, m, r1, p2, w2, depth + 1);
    return;
  }
  Pt c1, c2;
  conic_to_cubic(p0, p1, p2, w, &c1, &c2);
  cairo_curve_to(cr, c1.x, c1.y, c2.x, c2.y, p2.x, p2.y);
}

// Walks a BLPath offset by `origin`, handing its pieces to the sink:
// move(p), line(p), cubic(p0, c1, c2, p3), conic(p0, c, p2, w), close().
// Quads are passed on as cubics.  Entries with non-finite coordinates are
// skipped; malformed curve groups are skipped one entry at a time.
template <class Sink>
void walk_path(const BLPathCore* path, Pt origin, Sink& sink) {
  size_t n = bl_path_get_size(path);
  if (n == 0) return;
  const uint8_t* cmd = bl_path_get_command_data(path);
  const BLPoint* vtx = bl_path_get_vertex_data(path);
  auto at = [&](size_t i) { return Pt{vtx[i].x + origin.x, vtx[i].y + origin.y}; };

  bool has_cur = false;
  Pt cur{0, 0};
  Pt start{0, 0};
  auto move = [&](Pt p) {
    sink.move(p);
    cur = start = p;
    has_cur = true;
  };
  // Line to p, or start a subpath at p when there is no current point.
  auto line = [&](Pt p) {
    if (has_cur) {
      sink.line(p);
      cur = p;
    } else {
      move(p);
    }
  };

  size_t i = 0;
  while (i < n) {
    switch (cmd[i]) {
      case BL_PATH_CMD_MOVE: {
        Pt p = at(i);
        if (finite(p)) move(p);
        else has_cur = false;
        i += 1;
        break;
      }
      case BL_PATH_CMD_ON: {
        Pt p = at(i);
        if (finite(p)) line(p);
        i += 1;
        break;
      }
      case BL_PATH_CMD_QUAD: {
        if (i + 1 >= n || cmd[i + 1] != BL_PATH_CMD_ON) {
          i += 1;
          break;
        }
        Pt c = at(i), p = at(i + 1);
        if (finite(p)) {
          if (!finite(c)) {
            line(p);
          } else {
            if (!has_cur) move(c);
            Pt c1 = cur + (c - cur) * (2.0 / 3.0);
            Pt c2 = p + (c - p) * (2.0 / 3.0);
            sink.cubic(cur, c1, c2, p);
            cur = p;
          }
        }
        i += 2;
        break;
      }
      case BL_PATH_CMD_CUBIC: {
        if (i + 2 >= n || cmd[i + 1] != BL_PATH_CMD_CUBIC || cmd[i + 2] != BL_PATH_CMD_ON) {
          i += 1;
          break;
        }
        Pt c1 = at(i), c2 = at(i + 1), p = at(i + 2);
        if (finite(p)) {
          if (!finite(c1) || !finite(c2)) {
            line(p);
          } else {
            if (!has_cur) move(c1);
            sink.cubic(cur, c1, c2, p);
            cur = p;
          }
        }
        i += 3;
        break;
      }
      case BL_PATH_CMD_CONIC: {
        if (i + 2 >= n || cmd[i + 1] != BL_PATH_CMD_WEIGHT || cmd[i + 2] != BL_PATH_CMD_ON) {
          i += 1;
          break;
        }
        Pt c = at(i), p = at(i + 2);
        double w = vtx[i + 1].x;
        if (finite(p)) {
          if (!finite(c) || !(w > 0.0)) {
            line(p);  // no usable control point: w <= 0 degenerates to the chord
          } else {
            if (!has_cur) move(c);
            if (is_inf(w) || w > 1e8) {
              line(c);  // the conic tends to the control polygon
              line(p);
            } else {
              sink.conic(cur, c, p, w);
              cur = p;
            }
          }
        }
        i += 3;
        break;
      }
      case BL_PATH_CMD_CLOSE:
        if (has_cur) {
          sink.close();
          cur = start;
        }
        i += 1;
        break;
      default:  // stray WEIGHT or unknown command
        i += 1;
        break;
    }
  }
}

// Replays the path into the cairo_t's current path.
struct CairoSink {
  cairo_t* cr;
  void move(Pt p) { cairo_move_to(cr, p.x, p.y); }
  void line(Pt p) { cairo_line_to(cr, p.x, p.y); }
  void cubic(Pt, Pt c1, Pt c2, Pt p) { cairo_curve_to(cr, c1.x, c1.y, c2.x, c2.y, p.x, p.y); }
  void conic(Pt p0, Pt c, Pt p, double w) { emit_conic(cr, p0, c, p, w, 0); }
  void close() { cairo_close_path(cr); }
};

// ---- Geometry beyond the drawable range -------------------------------------

// Within these bounds no edge that Cairo rasterises, miter joins included,
// has x and y extents whose product comes near the 3.6e10 px^2 where its
// coverage goes wrong, for images up to a few thousand pixels.
constexpr double kMargin = 2e4;
constexpr double kMaxStrokeWidth = 1e4;

// Closed box [x0, x1] x [y0, y1].
struct Box {
  double x0, y0, x1, y1;
};

Box image_box(const ContextImpl* impl) {
  return {0.0, 0.0, static_cast<double>(impl->image->w), static_cast<double>(impl->image->h)};
}

Box range_box(const ContextImpl* impl) {
  return {-kMargin, -kMargin, impl->image->w + kMargin, impl->image->h + kMargin};
}

inline bool within(const Box& inner, const Box& outer) {
  return inner.x0 >= outer.x0 && inner.y0 >= outer.y0 && inner.x1 <= outer.x1 && inner.y1 <= outer.y1;
}

// True when `b` grown by `grow` on every side still misses `img`.
inline bool misses(const Box& b, double grow, const Box& img) {
  return b.x1 + grow < img.x0 || b.x0 - grow > img.x1 || b.y1 + grow < img.y0 || b.y0 - grow > img.y1;
}

// Bounds of a path's points and control points: curves stay within them.
struct BoundsSink {
  Box box{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  void add(Pt p) {
    box.x0 = std::min(box.x0, p.x);
    box.y0 = std::min(box.y0, p.y);
    box.x1 = std::max(box.x1, p.x);
    box.y1 = std::max(box.y1, p.y);
  }
  void move(Pt p) { add(p); }
  void line(Pt p) { add(p); }
  void cubic(Pt, Pt c1, Pt c2, Pt p) {
    add(c1);
    add(c2);
    add(p);
  }
  void conic(Pt, Pt c, Pt p, double) {
    add(c);
    add(p);
  }
  void close() {}
  bool empty() const { return !(box.x0 <= box.x1); }
};

// Replays a path into Cairo with every point clamped into `range`.
struct ClampingSink {
  cairo_t* cr;
  Box range;
  Pt clamp(Pt p) const {
    return {std::min(std::max(p.x, range.x0), range.x1), std::min(std::max(p.y, range.y0), range.y1)};
  }
  void move(Pt p) {
    p = clamp(p);
    cairo_move_to(cr, p.x, p.y);
  }
  void line(Pt p) {
    p = clamp(p);
    cairo_line_to(cr, p.x, p.y);
  }
  void cubic(Pt, Pt c1, Pt c2, Pt p) {
    c1 = clamp(c1);
    c2 = clamp(c2);
    p = clamp(p);
    cairo_curve_to(cr, c1.x, c1.y, c2.x, c2.y, p.x, p.y);
  }
  void conic(Pt p0, Pt c, Pt p, double w) { emit_conic(cr, clamp(p0), clamp(c), clamp(p), w, 0); }
  void close() { cairo_close_path(cr); }
};

// Adds to the Cairo path the part of a circle beyond the drawable range that
// can touch the image (whose bounds are `img`), or reports that the circle
// misses the image or holds all of it.
enum class CircleCover { kNone, kWhole, kPartial };

CircleCover add_far_circle(cairo_t* cr, Pt c, double r, const Box& img) {
  // Nearest and farthest image points from the centre decide the easy cases.
  const double nx = std::min(std::max(c.x, img.x0), img.x1) - c.x;
  const double ny = std::min(std::max(c.y, img.y0), img.y1) - c.y;
  if (std::hypot(nx, ny) > r) return CircleCover::kNone;
  const double fx = std::max(std::fabs(c.x - img.x0), std::fabs(c.x - img.x1));
  const double fy = std::max(std::fabs(c.y - img.y0), std::fabs(c.y - img.y1));
  if (std::hypot(fx, fy) <= r) return CircleCover::kWhole;

  // The edge crosses the image. Q, the image centre, and R, the radius of a
  // disc around it holding the image, bound what is drawn: the sector of the
  // circle's ring over the angles under which that disc is seen from the
  // centre, between the circle and a chord deeper than the disc reaches.
  const Pt q{(img.x0 + img.x1) * 0.5, (img.y0 + img.y1) * 0.5};
  const double radius_q = 0.5 * std::hypot(img.x1 - img.x0, img.y1 - img.y0) + 2.0;
  const double dq = std::hypot(q.x - c.x, q.y - c.y);
  const double theta0 = std::atan2(q.y - c.y, q.x - c.x);
  const double half_angle = dq > radius_q ? std::asin(radius_q / dq) : kPi;
  // Depth below the circle down to the far side of the disc.
  const double depth = std::min(r, (r - dq) + radius_q + 1.0);
  // Chords of angle a lie r * a^2 / 8 inside the circle: keep that below the
  // flattening tolerance.
  const double step = std::sqrt(8.0 * kConicTolerance / r);
  const double pieces = std::ceil(2.0 * half_angle / step);
  const int n = pieces < 16.0 ? 16 : pieces > 8192.0 ? 8192 : static_cast<int>(pieces);
  auto on_circle = [&](double a, double rr) { return Pt{c.x + rr * std::cos(a), c.y + rr * std::sin(a)}; };
  for (int i = 0; i <= n; i++) {
    const Pt p = on_circle(theta0 - half_angle + 2.0 * half_angle * i / n, r);
    if (i == 0) cairo_move_to(cr, p.x, p.y);
    else cairo_line_to(cr, p.x, p.y);
  }
  const Pt end = on_circle(theta0 + half_angle, r - depth);
  const Pt begin = on_circle(theta0 - half_angle, r - depth);
  cairo_line_to(cr, end.x, end.y);
  cairo_line_to(cr, begin.x, begin.y);
  cairo_close_path(cr);
  return CircleCover::kPartial;
}

// Shared start of the path fill and stroke: checks the context, origin and
// path, begins drawing and measures the offset path's bounds.
cairo_t* begin_path(BLContextCore* self, const BLPoint* origin, const BLPathCore* path,
                    uint32_t rgba32, const char* call, Pt* o, BoundsSink* bounds, BLResult* err) {
  if (!self) {
    *err = BL_ERROR_INVALID_VALUE;
    return nullptr;
  }
  check(self, call);
  if (!impl_of(self)) {
    *err = BL_ERROR_INVALID_STATE;
    return nullptr;
  }
  if (!origin || !path || !is_finite(origin->x) || !is_finite(origin->y)) {
    *err = BL_ERROR_INVALID_VALUE;
    return nullptr;
  }
  bl2d::check_tag(path, bl2d::kPathTag, call, "BLPathCore");
  cairo_t* cr = begin(self, rgba32, call, err);
  if (!cr) return nullptr;
  *o = Pt{origin->x, origin->y};
  walk_path(path, *o, *bounds);
  return cr;
}

// Replays the path into Cairo, clamped when it leaves the drawable range.
void add_path(cairo_t* cr, const BLPathCore* path, Pt o, const Box& bounds, const Box& range) {
  if (within(bounds, range)) {
    CairoSink sink{cr};
    walk_path(path, o, sink);
  } else {
    ClampingSink sink{cr, range};
    walk_path(path, o, sink);
  }
}

}  // namespace

extern "C" {

BL_API BLResult bl_context_init(BLContextCore* self) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  self->_impl = nullptr;
  bl2d::set_tag(self, bl2d::kContextTag);
  return BL_SUCCESS;
}

BL_API BLResult bl_context_init_as(BLContextCore* self, BLImageCore* image, const BLContextCreateInfo* cci) {
  (void)cci;  // no options are supported; null and non-null behave alike
  if (!self) return BL_ERROR_INVALID_VALUE;
  // Even when it fails, the context is left initialised and detached.
  self->_impl = nullptr;
  bl2d::set_tag(self, bl2d::kContextTag);
  if (!image) return BL_ERROR_INVALID_VALUE;
  bl2d::check_tag(image, bl2d::kImageTag, "bl_context_init_as", "BLImageCore");
  if (!bl2d::image_impl(image)) return BL_ERROR_INVALID_VALUE;

  bl2d::ImageImpl* img = bl2d::image_impl(image);
  ContextImpl* impl = new (std::nothrow) ContextImpl();
  if (!impl) return BL_ERROR_OUT_OF_MEMORY;

  cairo_t* cr = create_cairo(img->surface);
  cairo_status_t status = cairo_status(cr);
  if (status != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(cr);
    delete impl;
    return result_of(status);
  }

  bl2d::image_impl_add_ref(img);
  impl->image = img;
  impl->cr = cr;
  self->_impl = impl;
  return BL_SUCCESS;
}

BL_API BLResult bl_context_end(BLContextCore* self) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  check(self, "bl_context_end");
  ContextImpl* impl = impl_of(self);
  if (!impl) return BL_ERROR_INVALID_STATE;
  cairo_surface_flush(impl->image->surface);
  cairo_destroy(impl->cr);
  bl2d::image_impl_release(impl->image);
  delete impl;
  self->_impl = nullptr;
  return BL_SUCCESS;
}

BL_API BLResult bl_context_destroy(BLContextCore* self) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  check(self, "bl_context_destroy");
  if (impl_of(self)) bl_context_end(self);
  self->_impl = nullptr;
  bl2d::set_tag(self, bl2d::kDeadTag);
  return BL_SUCCESS;
}

BL_API BLResult bl_context_set_comp_op(BLContextCore* self, BLCompOp comp_op) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  check(self, "bl_context_set_comp_op");
  ContextImpl* impl = impl_of(self);
  if (!impl) return BL_ERROR_INVALID_STATE;
  if (comp_op != BL_COMP_OP_SRC_OVER && comp_op != BL_COMP_OP_SRC_COPY) return BL_ERROR_INVALID_VALUE;
  impl->comp_op = comp_op;
  return BL_SUCCESS;
}

BL_API BLResult bl_context_set_stroke_width(BLContextCore* self, double width) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  check(self, "bl_context_set_stroke_width");
  ContextImpl* impl = impl_of(self);
  if (!impl) return BL_ERROR_INVALID_STATE;
  if (!is_finite(width)) return BL_ERROR_INVALID_VALUE;
  impl->stroke_width = width < 0.0 ? 0.0 : width;
  return BL_SUCCESS;
}

BL_API BLResult bl_context_clip_to_rect_d(BLContextCore* self, const BLRect* rect) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  check(self, "bl_context_clip_to_rect_d");
  ContextImpl* impl = impl_of(self);
  if (!impl) return BL_ERROR_INVALID_STATE;
  if (!rect) return BL_ERROR_INVALID_VALUE;
  // The clip only ever narrows: intersect with the current clip, or with the
  // drawable range (which holds the whole image) when there is none yet.  A
  // rectangle that is not a finite, non-empty area leaves nothing to draw.
  const Box range = range_box(impl);
  double x0 = impl->clipped ? impl->clip_x0 : range.x0, y0 = impl->clipped ? impl->clip_y0 : range.y0;
  double x1 = impl->clipped ? impl->clip_x1 : range.x1, y1 = impl->clipped ? impl->clip_y1 : range.y1;
  const double rx1 = rect->x + rect->w, ry1 = rect->y + rect->h;
  if (is_finite(rect->x) && is_finite(rect->y) && is_finite(rx1) && is_finite(ry1) && rect->w > 0.0 && rect->h > 0.0) {
    x0 = std::max(x0, rect->x);
    y0 = std::max(y0, rect->y);
    x1 = std::min(x1, rx1);
    y1 = std::min(y1, ry1);
  } else {
    x1 = x0;
  }
  if (!(x1 > x0) || !(y1 > y0)) {
    x1 = x0;
    y1 = y0;
  }
  impl->clipped = true;
  impl->clip_x0 = x0;
  impl->clip_y0 = y0;
  impl->clip_x1 = x1;
  impl->clip_y1 = y1;
  return BL_SUCCESS;
}

BL_API BLResult bl_context_restore_clipping(BLContextCore* self) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  check(self, "bl_context_restore_clipping");
  ContextImpl* impl = impl_of(self);
  if (!impl) return BL_ERROR_INVALID_STATE;
  impl->clipped = false;
  return BL_SUCCESS;
}

BL_API BLResult bl_context_get_target_size(const BLContextCore* self, BLSize* target_size_out) {
  if (!self || !target_size_out) return BL_ERROR_INVALID_VALUE;
  check(self, "bl_context_get_target_size");
  const ContextImpl* impl = impl_of(self);
  *target_size_out = impl ? BLSize{static_cast<double>(impl->image->w), static_cast<double>(impl->image->h)}
                          : BLSize{0.0, 0.0};
  return BL_SUCCESS;
}

BL_API BLResult bl_context_get_final_transform(const BLContextCore* self, BLMatrix2D* transform_out) {
  if (!self || !transform_out) return BL_ERROR_INVALID_VALUE;
  check(self, "bl_context_get_final_transform");
  *transform_out = BLMatrix2D{{1.0, 0.0, 0.0, 1.0, 0.0, 0.0}};
  return BL_SUCCESS;
}

BL_API BLResult bl_context_clear_all(BLContextCore* self) {
  BLResult err = BL_SUCCESS;
  cairo_t* cr = begin(self, 0, "bl_context_clear_all", &err);
  if (!cr) return err;
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  return finish(cr);
}

BL_API BLResult bl_context_fill_all_rgba32(BLContextCore* self, uint32_t rgba32) {
  BLResult err = BL_SUCCESS;
  cairo_t* cr = begin(self, rgba32, "bl_context_fill_all_rgba32", &err);
  if (!cr) return err;
  cairo_paint(cr);
  return finish(cr);
}

BL_API BLResult bl_context_fill_geometry_rgba32(BLContextCore* self, BLGeometryType type, const void* data, uint32_t rgba32) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  check(self, "bl_context_fill_geometry_rgba32");
  if (!impl_of(self)) return BL_ERROR_INVALID_STATE;
  if (!data) return BL_ERROR_INVALID_VALUE;

  if (type == BL_GEOMETRY_TYPE_PATH) {
    const BLPoint origin = {0.0, 0.0};
    return bl_context_fill_path_d_rgba32(self, &origin, static_cast<const BLPathCore*>(data), rgba32);
  }
  if (type == BL_GEOMETRY_TYPE_POLYGOND) {
    // A view of the vertices, as the real library's BLArrayView<BLPoint>:
    // one closed figure, filled as the same path would be.
    struct PointView {
      const BLPoint* data;
      size_t size;
    };
    const PointView* view = static_cast<const PointView*>(data);
    if (view->size == 0) return BL_SUCCESS;
    if (!view->data) return BL_ERROR_INVALID_VALUE;
    BLPathCore path;
    bl_path_init(&path);
    BLResult err = bl_path_move_to(&path, view->data[0].x, view->data[0].y);
    for (size_t i = 1; i < view->size && err == BL_SUCCESS; ++i) {
      err = bl_path_line_to(&path, view->data[i].x, view->data[i].y);
    }
    if (err == BL_SUCCESS) err = bl_path_close(&path);
    const BLPoint origin = {0.0, 0.0};
    if (err == BL_SUCCESS) err = bl_context_fill_path_d_rgba32(self, &origin, &path, rgba32);
    bl_path_destroy(&path);
    return err;
  }
  if (type != BL_GEOMETRY_TYPE_CIRCLE && type != BL_GEOMETRY_TYPE_BOXD && type != BL_GEOMETRY_TYPE_RECTD)
    return BL_ERROR_INVALID_VALUE;

  BLResult err = BL_SUCCESS;
  cairo_t* cr = begin(self, rgba32, "bl_context_fill_geometry_rgba32", &err);
  if (!cr) return err;
  const ContextImpl* impl = impl_of(self);
  const Box img = image_box(impl), range = range_box(impl);

  if (type == BL_GEOMETRY_TYPE_CIRCLE) {
    const BLCircle* c = static_cast<const BLCircle*>(data);
    if (is_finite(c->cx) && is_finite(c->cy) && is_finite(c->r) && c->r > 0.0) {
      const Box bounds{c->cx - c->r, c->cy - c->r, c->cx + c->r, c->cy + c->r};
      if (within(bounds, range)) {
        cairo_arc(cr, c->cx, c->cy, c->r, 0.0, 2.0 * kPi);
        cairo_close_path(cr);
        cairo_fill(cr);
      } else if (!misses(bounds, 1.0, img)) {
        switch (add_far_circle(cr, Pt{c->cx, c->cy}, c->r, img)) {
          case CircleCover::kNone: break;
          case CircleCover::kWhole:
            cairo_rectangle(cr, img.x0, img.y0, img.x1 - img.x0, img.y1 - img.y0);
            cairo_fill(cr);
            break;
          case CircleCover::kPartial: cairo_fill(cr); break;
        }
      }
    }
  } else {
    // Boxes are x0, y0, x1, y1; rectangles x, y, w, h.  Empty, inverted or
    // non-finite ones draw nothing.  The far edge of a huge rectangle may
    // overflow to infinity, which is cut to the range like any far edge.
    const double* v = static_cast<const double*>(data);
    const double x0 = v[0], y0 = v[1];
    const double x1 = type == BL_GEOMETRY_TYPE_BOXD ? v[2] : v[0] + v[2];
    const double y1 = type == BL_GEOMETRY_TYPE_BOXD ? v[3] : v[1] + v[3];
    if (is_finite(x0) && is_finite(y0) && is_finite(v[2]) && is_finite(v[3]) && x1 > x0 && y1 > y0) {
      const double cx0 = std::max(x0, range.x0), cy0 = std::max(y0, range.y0);
      const double cx1 = std::min(x1, range.x1), cy1 = std::min(y1, range.y1);
      if (cx1 > cx0 && cy1 > cy0) {
        cairo_rectangle(cr, cx0, cy0, cx1 - cx0, cy1 - cy0);
        cairo_fill(cr);
      }
    }
  }
  return finish(cr);
}

BL_API BLResult bl_context_fill_path_d_rgba32(BLContextCore* self, const BLPoint* origin, const BLPathCore* path, uint32_t rgba32) {
  Pt o;
  BoundsSink bounds;
  BLResult err = BL_SUCCESS;
  cairo_t* cr = begin_path(self, origin, path, rgba32, "bl_context_fill_path_d_rgba32", &o, &bounds, &err);
  if (!cr) return err;
  const ContextImpl* impl = impl_of(self);
  if (!bounds.empty() && !misses(bounds.box, 1.0, image_box(impl))) {
    add_path(cr, path, o, bounds.box, range_box(impl));
    cairo_fill(cr);
  }
  return finish(cr);
}

BL_API BLResult bl_context_stroke_path_d_rgba32(BLContextCore* self, const BLPoint* origin, const BLPathCore* path, uint32_t rgba32) {
  Pt o;
  BoundsSink bounds;
  BLResult err = BL_SUCCESS;
  cairo_t* cr = begin_path(self, origin, path, rgba32, "bl_context_stroke_path_d_rgba32", &o, &bounds, &err);
  if (!cr) return err;
  const ContextImpl* impl = impl_of(self);
  const double width = std::min(impl->stroke_width, kMaxStrokeWidth);
  // A miter join reaches at most miter-limit half widths from its vertex.
  const double reach = 0.5 * width * kMiterLimit + 1.0;
  if (!bounds.empty() && !misses(bounds.box, reach, image_box(impl))) {
    cairo_set_line_width(cr, width);
    add_path(cr, path, o, bounds.box, range_box(impl));
    cairo_stroke(cr);
  }
  return finish(cr);
}

}  // extern "C"
