// Adaptive densification: ordane_densify_parts() projects (lon, lat) parts
// to pixels and inserts points wherever the straight drawn chord of an
// edge would stray from the projected image of that edge by more than a
// tolerance.
//
// Each edge is the straight (lon, lat) segment between its ends (the model
// the cutting export uses). It is split at its (lon, lat) midpoint, and the
// halves in turn, while one of these holds, up to the depth limit:
//  - the projected midpoint lies farther than the tolerance from the chord;
//  - the projected midpoint sits off the middle of the chord (its position
//    along it is outside 0.2 to 0.8): the image bends back or speeds up, so
//    the halves must be looked at;
//  - the edge spans more than 10 degrees of longitude or latitude: a long
//    edge can bend into an S whose midpoint lies on the chord.
// Distances are measured in pixels, after the GeoTransform.

#include <cmath>
#include <cstdint>
#include <new>
#include <stdexcept>

#include "carto_projections.h"
#include "geo_parts.h"
#include "ordane.h"
#include "viewport_mapping.h"

namespace ordane {
namespace carto {

namespace {

class Projector {
 public:
  Projector(const GeoProjection& p, const GeoTransform* t) : p_(p), map_(t) {
    if (p.kind == ORDANE_PROJECTION_LCC) {
      lcc_ = lcc_setup(p.lat1, p.lat2, p.lat0, p.lon0, p.false_easting, p.false_northing);
    } else if (p.kind == ORDANE_PROJECTION_ALBERS) {
      aea_ = aea_setup(p.lat1, p.lat2, p.lat0, p.lon0, p.false_easting, p.false_northing);
    } else if (p.kind == ORDANE_PROJECTION_ORTHOGRAPHIC) {
      ortho_ = ortho_setup(p.lon0, p.lat0);
    }
  }

  void operator()(double lon, double lat, double* px, double* py) const {
    double x = 0, y = 0;
    switch (p_.kind) {
      case ORDANE_PROJECTION_MERCATOR:
        merc_forward(p_.lon0, p_.false_easting, p_.false_northing, lon, lat, &x, &y);
        break;
      case ORDANE_PROJECTION_LCC:
        lcc_forward(lcc_, lon, lat, &x, &y);
        break;
      case ORDANE_PROJECTION_ALBERS:
        aea_forward(aea_, lon, lat, &x, &y);
        break;
      case ORDANE_PROJECTION_ORTHOGRAPHIC:
        ortho_forward(ortho_, lon, lat, &x, &y);
        x += p_.false_easting;
        y += p_.false_northing;
        break;
      case ORDANE_PROJECTION_EQUAL_EARTH:
        eqearth_forward(p_.lon0, p_.false_easting, p_.false_northing, lon, lat, &x, &y);
        break;
      default:  // ORDANE_PROJECTION_LONLAT
        x = lon - p_.lon0 + p_.false_easting;
        y = lat + p_.false_northing;
        break;
    }
    const ordane_detail::MappedPoint m = map_(x, y);
    *px = m.x;
    *py = m.y;
  }

 private:
  GeoProjection p_;
  ordane_detail::ViewportMapping map_;
  Lcc lcc_{};
  Aea aea_{};
  Ortho ortho_{};
};

struct Node {
  double lon, lat, x, y;
};

class Densifier {
 public:
  Densifier(const Projector& proj, double tol, int32_t depth, PartsBuilder& out)
      : proj_(proj), tol_(tol), depth_(depth), out_(out) {}

  Node node(double lon, double lat) const {
    Node n{lon, lat, 0, 0};
    proj_(lon, lat, &n.x, &n.y);
    return n;
  }

  // Emits the points strictly between a and b.
  void split(const Node& a, const Node& b, int32_t depth) {
    if (depth >= depth_) return;
    if (!std::isfinite(a.x + a.y + b.x + b.y + a.lon + a.lat + b.lon + b.lat)) return;
    const Node m = node(a.lon + (b.lon - a.lon) * 0.5, a.lat + (b.lat - a.lat) * 0.5);
    if (!std::isfinite(m.x + m.y)) return;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double mx = m.x - a.x, my = m.y - a.y;
    const double d2 = dx * dx + dy * dy;
    bool more = std::fabs(b.lon - a.lon) > 10.0 || std::fabs(b.lat - a.lat) > 10.0;
    if (!more) {
      if (d2 > 0) {
        const double cross = dx * my - dy * mx;
        const double along = (dx * mx + dy * my) / d2;
        more = cross * cross > tol_ * tol_ * d2 || std::fabs(along - 0.5) > 0.3;
      } else {
        more = mx * mx + my * my > tol_ * tol_;
      }
    }
    if (!more) return;
    split(a, m, depth + 1);
    out_.add(m.x, m.y);
    split(m, b, depth + 1);
  }

  void part(const double* pts, int64_t s, int64_t e, bool ring, int64_t source) {
    if (e <= s) {
      out_.end_part(source, ring ? ORDANE_PART_RING : 0);
      return;
    }
    Node a = node(pts[2 * s], pts[2 * s + 1]);
    const Node first = a;
    out_.add(a.x, a.y);
    for (int64_t j = s + 1; j < e; ++j) {
      const Node b = node(pts[2 * j], pts[2 * j + 1]);
      split(a, b, 0);
      out_.add(b.x, b.y);
      a = b;
    }
    if (ring && e - s >= 2 && (a.lon != first.lon || a.lat != first.lat)) {
      split(a, first, 0);
      out_.add(first.x, first.y);
    }
    out_.end_part(source, ring ? ORDANE_PART_RING : 0);
  }

 private:
  const Projector& proj_;
  double tol_;
  int32_t depth_;
  PartsBuilder& out_;
};

}  // namespace

}  // namespace carto
}  // namespace ordane

extern "C" ORDANE_API int32_t ordane_densify_parts(const double* points,
                                                   const int64_t* part_offsets,
                                                   int64_t part_count, int32_t rings,
                                                   const GeoProjection* projection,
                                                   const GeoTransform* transform,
                                                   double tolerance, int32_t max_depth,
                                                   GeoParts** out) {
  if (points == nullptr || part_offsets == nullptr || projection == nullptr || out == nullptr ||
      part_count <= 0) {
    return ORDANE_ERR_INVALID_ARGUMENT;
  }
  if (projection->kind < ORDANE_PROJECTION_MERCATOR ||
      projection->kind > ORDANE_PROJECTION_LONLAT) {
    return ORDANE_CARTO_ERR_PROJECTION;
  }
  if (!(tolerance > 0.0) || max_depth < 0 || max_depth > 30) return ORDANE_CARTO_ERR_OPTION;
  if (part_count > ordane::carto::kMaxPoints) return ORDANE_CARTO_ERR_TOO_LARGE;
  for (int64_t i = 0; i < part_count; ++i) {
    int64_t s, e;
    if (!ordane::carto::part_bounds(part_offsets, i, &s, &e)) return ORDANE_CARTO_ERR_TOO_LARGE;
  }
  try {
    const ordane::carto::Projector proj(*projection, transform);
    ordane::carto::PartsBuilder builder;
    builder.expect(ordane::carto::span_hint(part_offsets, part_count) + part_count);
    ordane::carto::Densifier d(proj, tolerance, max_depth, builder);
    for (int64_t i = 0; i < part_count; ++i) {
      d.part(points, part_offsets[i], part_offsets[i + 1], rings != 0, i);
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
