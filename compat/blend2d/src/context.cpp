// Rendering context: a cairo_t drawing into an image's Cairo surface.
//
// BLContextCore::_impl is null for a detached context.  The context holds a
// reference to the image storage, so the image stays alive while attached.
// The composition operator and stroke width live here and are applied to the
// cairo_t before each operation; if the cairo_t ever enters an error state it
// is replaced by a fresh one on the next call.
//
// Geometry is handed to Cairo as it is unless it reaches beyond what Cairo's
// fixed-point coordinates hold; such geometry is first flattened and clipped
// in double precision (far_geometry.h).

#include "bl2d_internal.h"
#include "far_geometry.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Conics are emitted as cubics; pieces are split until the estimated distance
// to the exact curve is below this many pixels.
constexpr double kConicTolerance = 0.01;
constexpr int kConicMaxDepth = 10;

constexpr double kMiterLimit = 4.0;  // Blend2D's default miter limit

struct ContextImpl {
  bl2d::ImageImpl* image = nullptr;  // one reference held
  cairo_t* cr = nullptr;
  BLCompOp comp_op = BL_COMP_OP_SRC_OVER;
  double stroke_width = 1.0;
};

using bl2d::Box;
using bl2d::Pt;
// Builtins rather than std::isfinite / std::isinf: with clang and libstdc++
// those std inline functions would otherwise be exported from the library.
inline bool is_finite(double v) { return __builtin_isfinite(v); }
inline bool is_inf(double v) { return __builtin_isinf(v); }
inline bool finite(Pt p) { return is_finite(p.x) && is_finite(p.y); }

inline ContextImpl* impl_of(const BLContextCore* self) {
  return static_cast<ContextImpl*>(self->_impl);
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

// Checks the context is attached and its cairo_t usable, then applies the
// stored state and the colour.  Returns the cairo_t or sets *err.
cairo_t* begin(BLContextCore* self, uint32_t rgba32, BLResult* err) {
  if (!self) {
    *err = BL_ERROR_INVALID_VALUE;
    return nullptr;
  }
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

// Largest absolute coordinate among the points and control points of a path.
struct ExtentSink {
  double max_abs = 0.0;
  void add(Pt p) { max_abs = std::max({max_abs, std::fabs(p.x), std::fabs(p.y)}); }
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
};

// ---- Geometry reaching far outside the image --------------------------------

// Coordinates within this bound (after the origin) and stroke widths up to
// kMaxStrokeWidth go to Cairo unchanged; anything larger takes the route
// below.  Besides the 24.8 fixed-point range, Cairo's rasteriser has a
// second limit: it spoils the coverage of an edge crossing the image once
// the product of the edge's x and y extents passes about 3.6e10 px^2.  Within
// these bounds no edge, miter joins included, comes near 2e10.
constexpr double kSafeCoord = 5e4;
constexpr double kMaxStrokeWidth = 1e4;
// Far geometry is clipped to the image grown by this margin on every side:
// far enough that the clip edges stay away from every pixel, near enough that
// any edge inside stays within Cairo's limits even for the largest image.
constexpr double kFarMargin = 1e4;

Box far_box(const ContextImpl* impl, double margin) {
  return {-margin, -margin, impl->image->w + margin, impl->image->h + margin};
}

void add_polygon(cairo_t* cr, const std::vector<Pt>& poly) {
  cairo_move_to(cr, poly[0].x, poly[0].y);
  for (size_t i = 1; i < poly.size(); i++) cairo_line_to(cr, poly[i].x, poly[i].y);
  cairo_close_path(cr);
}

// Fill: every figure is closed and clipped on its own, which keeps the
// non-zero winding numbers inside the box.
void fill_far_path(cairo_t* cr, const BLPathCore* path, Pt origin, const Box& box) {
  bl2d::Flattener flat(box, false);
  walk_path(path, origin, flat);
  flat.finish();
  std::vector<Pt> clipped, scratch;
  for (const bl2d::Flattener::Figure& fig : flat.figures()) {
    bl2d::clip_polygon(flat.points().data() + fig.begin, fig.end - fig.begin, box, &clipped, &scratch);
    if (!clipped.empty()) add_polygon(cr, clipped);
  }
  cairo_fill(cr);
}

// Stroke: the parts of the stroke within the box are built in double
// precision and filled together.  Curve pieces farther from the box than a
// miter can reach are replaced by their chords.
void stroke_far_path(cairo_t* cr, const BLPathCore* path, Pt origin, double width, const Box& box) {
  const double half = width * 0.5, reach = half * kMiterLimit + 1.0;
  bl2d::Flattener flat(Box{box.x0 - reach, box.y0 - reach, box.x1 + reach, box.y1 + reach}, true);
  walk_path(path, origin, flat);
  flat.finish();
  std::vector<Pt> parts;
  std::vector<size_t> sizes;
  for (const bl2d::Flattener::Figure& fig : flat.figures()) {
    parts.clear();
    sizes.clear();
    if (bl2d::stroke_polyline(flat.points().data() + fig.begin, flat.smooth().data() + fig.begin,
                              fig.end - fig.begin, fig.closed, half, kMiterLimit, box, &parts, &sizes)) {
      // One part covers the whole box, so the stroke covers the image.
      cairo_new_path(cr);
      cairo_rectangle(cr, box.x0, box.y0, box.x1 - box.x0, box.y1 - box.y0);
      break;
    }
    size_t at = 0;
    for (size_t size : sizes) {
      cairo_move_to(cr, parts[at].x, parts[at].y);
      for (size_t i = 1; i < size; i++) cairo_line_to(cr, parts[at + i].x, parts[at + i].y);
      cairo_close_path(cr);
      at += size;
    }
  }
  cairo_fill(cr);
}

void fill_far_circle(cairo_t* cr, Pt centre, double r, const Box& box) {
  std::vector<Pt> poly, clipped, scratch;
  switch (bl2d::circle_polygon(centre, r, box, kConicTolerance, &poly)) {
    case bl2d::CircleCover::kNone:
      break;
    case bl2d::CircleCover::kWhole:
      cairo_rectangle(cr, box.x0, box.y0, box.x1 - box.x0, box.y1 - box.y0);
      cairo_fill(cr);
      break;
    case bl2d::CircleCover::kPartial:
      bl2d::clip_polygon(poly.data(), poly.size(), box, &clipped, &scratch);
      if (!clipped.empty()) {
        add_polygon(cr, clipped);
        cairo_fill(cr);
      }
      break;
  }
}

// Runs a far-route drawing step; the clipping storage may run out of memory.
template <class Draw>
BLResult draw_far(cairo_t* cr, Draw draw) {
  try {
    draw();
  } catch (const std::bad_alloc&) {
    cairo_new_path(cr);
    return BL_ERROR_OUT_OF_MEMORY;
  }
  return finish(cr);
}

// Shared start of the path fill and stroke: checks the context, origin and
// path, begins drawing, and measures how far the offset path reaches, which
// decides whether Cairo can take it directly.
cairo_t* begin_path(BLContextCore* self, const BLPoint* origin, const BLPathCore* path,
                    uint32_t rgba32, Pt* o, double* reach, BLResult* err) {
  if (!self) {
    *err = BL_ERROR_INVALID_VALUE;
    return nullptr;
  }
  if (!impl_of(self)) {
    *err = BL_ERROR_INVALID_STATE;
    return nullptr;
  }
  if (!origin || !path || !is_finite(origin->x) || !is_finite(origin->y)) {
    *err = BL_ERROR_INVALID_VALUE;
    return nullptr;
  }
  cairo_t* cr = begin(self, rgba32, err);
  if (!cr) return nullptr;
  *o = Pt{origin->x, origin->y};
  ExtentSink extent;
  walk_path(path, *o, extent);
  *reach = extent.max_abs;
  return cr;
}

}  // namespace

extern "C" {

BL_API BLResult bl_context_init(BLContextCore* self) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  self->_impl = nullptr;
  self->_reserved = nullptr;
  return BL_SUCCESS;
}

BL_API BLResult bl_context_init_as(BLContextCore* self, BLImageCore* image, const BLContextCreateInfo* cci) {
  (void)cci;  // no options are supported; null and non-null behave alike
  if (!self) return BL_ERROR_INVALID_VALUE;
  self->_impl = nullptr;
  self->_reserved = nullptr;
  if (!image || !bl2d::image_impl(image)) return BL_ERROR_INVALID_VALUE;

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
  if (impl_of(self)) bl_context_end(self);
  self->_impl = nullptr;
  self->_reserved = nullptr;
  return BL_SUCCESS;
}

BL_API BLResult bl_context_set_comp_op(BLContextCore* self, BLCompOp comp_op) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  ContextImpl* impl = impl_of(self);
  if (!impl) return BL_ERROR_INVALID_STATE;
  if (comp_op != BL_COMP_OP_SRC_OVER && comp_op != BL_COMP_OP_SRC_COPY) return BL_ERROR_INVALID_VALUE;
  impl->comp_op = comp_op;
  return BL_SUCCESS;
}

BL_API BLResult bl_context_set_stroke_width(BLContextCore* self, double width) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  ContextImpl* impl = impl_of(self);
  if (!impl) return BL_ERROR_INVALID_STATE;
  if (!is_finite(width)) return BL_ERROR_INVALID_VALUE;
  impl->stroke_width = width < 0.0 ? 0.0 : width;
  return BL_SUCCESS;
}

BL_API BLResult bl_context_clear_all(BLContextCore* self) {
  BLResult err = BL_SUCCESS;
  cairo_t* cr = begin(self, 0, &err);
  if (!cr) return err;
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  return finish(cr);
}

BL_API BLResult bl_context_fill_all_rgba32(BLContextCore* self, uint32_t rgba32) {
  BLResult err = BL_SUCCESS;
  cairo_t* cr = begin(self, rgba32, &err);
  if (!cr) return err;
  cairo_paint(cr);
  return finish(cr);
}

BL_API BLResult bl_context_fill_geometry_rgba32(BLContextCore* self, BLGeometryType type, const void* data, uint32_t rgba32) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  if (!impl_of(self)) return BL_ERROR_INVALID_STATE;
  if (!data) return BL_ERROR_INVALID_VALUE;

  if (type == BL_GEOMETRY_TYPE_PATH) {
    const BLPoint origin = {0.0, 0.0};
    return bl_context_fill_path_d_rgba32(self, &origin, static_cast<const BLPathCore*>(data), rgba32);
  }
  if (type != BL_GEOMETRY_TYPE_CIRCLE && type != BL_GEOMETRY_TYPE_BOXD && type != BL_GEOMETRY_TYPE_RECTD)
    return BL_ERROR_INVALID_VALUE;

  BLResult err = BL_SUCCESS;
  cairo_t* cr = begin(self, rgba32, &err);
  if (!cr) return err;

  if (type == BL_GEOMETRY_TYPE_CIRCLE) {
    const BLCircle* c = static_cast<const BLCircle*>(data);
    if (is_finite(c->cx) && is_finite(c->cy) && is_finite(c->r) && c->r > 0.0) {
      if (std::fabs(c->cx) > kSafeCoord || std::fabs(c->cy) > kSafeCoord || c->r > kSafeCoord) {
        const Box box = far_box(impl_of(self), kFarMargin);
        return draw_far(cr, [&] { fill_far_circle(cr, Pt{c->cx, c->cy}, c->r, box); });
      }
      cairo_arc(cr, c->cx, c->cy, c->r, 0.0, 2.0 * kPi);
      cairo_close_path(cr);
      cairo_fill(cr);
    }
  } else {
    const double* v = static_cast<const double*>(data);
    double x = v[0], y = v[1], w = v[2], h = v[3];
    if (type == BL_GEOMETRY_TYPE_BOXD) {  // x0, y0, x1, y1
      w = v[2] - v[0];
      h = v[3] - v[1];
    }
    // Empty or inverted boxes and rectangles draw nothing.
    const double x1 = type == BL_GEOMETRY_TYPE_BOXD ? v[2] : x + w;
    const double y1 = type == BL_GEOMETRY_TYPE_BOXD ? v[3] : y + h;
    if (std::fabs(x) > kSafeCoord || std::fabs(y) > kSafeCoord || std::fabs(x1) > kSafeCoord ||
        std::fabs(y1) > kSafeCoord) {
      // Far edges are clipped first.  The far edge of a rectangle may have
      // overflowed to infinity, which clips like any other far edge.
      const Box box = far_box(impl_of(self), kFarMargin);
      if (is_finite(x) && is_finite(y) && is_finite(v[2]) && is_finite(v[3]) && x1 > x && y1 > y) {
        double cx0 = std::max(x, box.x0), cy0 = std::max(y, box.y0);
        double cx1 = std::min(x1, box.x1), cy1 = std::min(y1, box.y1);
        if (cx1 > cx0 && cy1 > cy0) {
          cairo_rectangle(cr, cx0, cy0, cx1 - cx0, cy1 - cy0);
          cairo_fill(cr);
        }
      }
    } else if (is_finite(x) && is_finite(y) && is_finite(w) && is_finite(h) && w > 0.0 && h > 0.0) {
      cairo_rectangle(cr, x, y, w, h);
      cairo_fill(cr);
    }
  }
  return finish(cr);
}

BL_API BLResult bl_context_fill_path_d_rgba32(BLContextCore* self, const BLPoint* origin, const BLPathCore* path, uint32_t rgba32) {
  Pt o;
  double reach = 0.0;
  BLResult err = BL_SUCCESS;
  cairo_t* cr = begin_path(self, origin, path, rgba32, &o, &reach, &err);
  if (!cr) return err;
  if (reach > kSafeCoord) {
    const Box box = far_box(impl_of(self), kFarMargin);
    return draw_far(cr, [&] { fill_far_path(cr, path, o, box); });
  }
  CairoSink sink{cr};
  walk_path(path, o, sink);
  cairo_fill(cr);
  return finish(cr);
}

BL_API BLResult bl_context_stroke_path_d_rgba32(BLContextCore* self, const BLPoint* origin, const BLPathCore* path, uint32_t rgba32) {
  Pt o;
  double reach = 0.0;
  BLResult err = BL_SUCCESS;
  cairo_t* cr = begin_path(self, origin, path, rgba32, &o, &reach, &err);
  if (!cr) return err;
  const double width = impl_of(self)->stroke_width;
  if (reach > kSafeCoord || width > kMaxStrokeWidth) {
    const Box box = far_box(impl_of(self), kFarMargin);
    return draw_far(cr, [&] { stroke_far_path(cr, path, o, width, box); });
  }
  CairoSink sink{cr};
  walk_path(path, o, sink);
  cairo_stroke(cr);
  return finish(cr);
}

}  // extern "C"
