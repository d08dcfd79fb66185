// Wrappers that move parts in and out of the library-owned GeoParts records.
#include "cartography.h"

#include <cmath>
#include <memory>

namespace poster {

namespace {

struct GeoPartsDeleter {
  void operator()(GeoParts* p) const { ordane_free_parts(p); }
};
using GeoPartsPtr = std::unique_ptr<GeoParts, GeoPartsDeleter>;

// Copies a GeoParts record, mapping its source parts through "in.source" so
// that they keep naming the caller's original parts.
void take(const GeoParts& g, const PartList& in, PartList* out) {
  PartList r;
  const int64_t n = g.num_points > 0 && g.points ? g.num_points : 0;
  r.points.assign(g.points, g.points + 2 * n);
  r.offsets.clear();
  if (g.num_parts > 0 && g.part_offsets) {
    r.offsets.assign(g.part_offsets, g.part_offsets + g.num_parts + 1);
    for (int64_t i = 0; i < g.num_parts; ++i) {
      const int64_t s = g.source_parts[i];
      r.source.push_back(s >= 0 && s < in.count() ? in.source[static_cast<size_t>(s)] : s);
      r.flags.push_back(g.part_flags[i]);
    }
  } else {
    r.offsets.push_back(0);
  }
  *out = std::move(r);
}

}  // namespace

void PartList::clear() {
  points.clear();
  offsets.assign(1, 0);
  source.clear();
  flags.clear();
}

void PartList::add(const double* pts, int64_t n, int64_t from, int32_t part_flags) {
  if (n <= 0) return;
  points.insert(points.end(), pts, pts + 2 * n);
  offsets.push_back(static_cast<int64_t>(points.size() / 2));
  source.push_back(from);
  flags.push_back(part_flags);
}

PartList parts_of(const MapData& map, const std::vector<char>* keep) {
  PartList out;
  for (size_t k = 0; k < map.parts.size(); ++k) {
    if (keep && !(*keep)[k]) continue;
    const Part& p = map.parts[k];
    out.add(map.lonlat.data() + 2 * p.start, p.end - p.start, static_cast<int64_t>(k));
  }
  return out;
}

static int32_t cut(const PartList& in, bool rings, const GeoCutOptions& options, PartList* out) {
  if (in.count() <= 0) {
    out->clear();
    return 0;
  }
  GeoParts* raw = nullptr;
  const int32_t rc = ordane_cut_parts(in.points.data(), in.offsets.data(), in.count(),
                                      rings ? 1 : 0, &options, &raw);
  GeoPartsPtr parts(raw);
  if (rc != 0) return rc;
  take(*parts, in, out);
  return 0;
}

int32_t cut_at_antimeridian(const PartList& in, bool rings, double lon0, double pole_lat,
                            PartList* out) {
  // One degree between the points put along the cut and the poles: a conic
  // bends them smoothly, and densifying adds more where needed.
  const GeoCutOptions options{ORDANE_CUT_ANTIMERIDIAN, 0, lon0, 0.0, pole_lat, 1.0};
  return cut(in, rings, options, out);
}

int32_t cut_at_horizon(const PartList& in, bool rings, double lon0, double lat0, PartList* out) {
  const GeoCutOptions options{ORDANE_CUT_HORIZON, 0, lon0, lat0, 90.0, 1.0};
  return cut(in, rings, options, out);
}

GeoProjection geo_projection(const MapProjection& p) {
  GeoProjection g{};
  switch (p.kind) {
    case Projection::kMercator:
      // x = lon * 111319.49..., as ordane_proj_3857_forward: longitudes cut
      // around any central meridian stay continuous.
      g.kind = ORDANE_PROJECTION_MERCATOR;
      break;
    case Projection::kLcc:
    case Projection::kAlbers:
      g.kind = p.kind == Projection::kLcc ? ORDANE_PROJECTION_LCC : ORDANE_PROJECTION_ALBERS;
      g.lat1 = p.conic.lat1;
      g.lat2 = p.conic.lat2;
      g.lat0 = p.conic.lat0;
      g.lon0 = p.conic.lon0;
      break;
    case Projection::kNone:
      g.kind = ORDANE_PROJECTION_LONLAT;
      break;
  }
  return g;
}

int32_t densify_to_pixels(const PartList& in, bool rings, const GeoProjection& projection,
                          const GeoTransform& transform, double tolerance, PartList* out) {
  if (in.count() <= 0) {
    out->clear();
    return 0;
  }
  GeoParts* raw = nullptr;
  // Twelve levels: a segment gains at most 4095 points, far more than a
  // curve of a poster's size needs.
  const int32_t rc =
      ordane_densify_parts(in.points.data(), in.offsets.data(), in.count(), rings ? 1 : 0,
                           &projection, &transform, tolerance, 12, &raw);
  GeoPartsPtr parts(raw);
  if (rc != 0) return rc;
  PartList r;
  take(*parts, in, &r);
  r.flags = in.flags;  // densifying keeps the parts one for one
  *out = std::move(r);
  return 0;
}

namespace {

// Whether longitude "lon" is, to rounding, half a turn from "lon0".
bool on_meridian_opposite(double lon, double lon0) {
  return std::fabs(std::fabs(std::remainder(lon - lon0, 360.0)) - 180.0) <= 1e-9;
}

bool seam_edge(const double* a, const double* b, double lon0, double pole_lat) {
  if (a[0] == b[0] && (on_meridian_opposite(a[0], lon0) || on_meridian_opposite(a[0], 0.0)))
    return true;
  return a[1] == b[1] && (std::fabs(a[1]) >= pole_lat - 1e-9 || std::fabs(a[1]) == 90.0);
}

}  // namespace

PartList outlines_without_seams(const PartList& rings, double lon0, double pole_lat) {
  PartList out;
  for (int64_t i = 0; i < rings.count(); ++i) {
    const size_t k = static_cast<size_t>(i);
    const double* p = rings.points.data() + 2 * rings.offsets[k];
    const int64_t n = rings.offsets[k + 1] - rings.offsets[k];
    if (n < 2) continue;
    std::vector<char> seam(static_cast<size_t>(n - 1));
    int64_t first_seam = -1;
    for (int64_t e = 0; e + 1 < n; ++e) {
      seam[static_cast<size_t>(e)] = seam_edge(p + 2 * e, p + 2 * e + 2, lon0, pole_lat);
      if (seam[static_cast<size_t>(e)] && first_seam < 0) first_seam = e;
    }
    if (first_seam < 0) {  // no seam: the whole ring
      out.add(p, n, rings.source[k]);
      continue;
    }
    // Runs of border edges, walked from just after a seam edge so that a run
    // passing the ring's first point stays whole.
    const int64_t edges = n - 1;
    std::vector<double> run;
    for (int64_t s = 1; s <= edges; ++s) {
      const int64_t e = (first_seam + s) % edges;
      if (seam[static_cast<size_t>(e)]) {
        if (run.size() >= 4)
          out.add(run.data(), static_cast<int64_t>(run.size() / 2), rings.source[k]);
        run.clear();
        continue;
      }
      if (run.empty()) run.insert(run.end(), p + 2 * e, p + 2 * e + 2);
      run.insert(run.end(), p + 2 * e + 2, p + 2 * e + 4);
    }
    if (run.size() >= 4) out.add(run.data(), static_cast<int64_t>(run.size() / 2), rings.source[k]);
  }
  return out;
}

void append_steps(double lon0, double lat0, double lon1, double lat1, int steps,
                  std::vector<double>* out) {
  for (int i = 0; i <= steps; ++i) {
    const double t = static_cast<double>(i) / steps;
    out->push_back((lon1 - lon0) * t + lon0);
    out->push_back((lat1 - lat0) * t + lat0);
  }
}

}  // namespace poster
