// The poster's use of libordane's cartography exports: parts cut at a
// central meridian or at the globe's horizon, and densified into pixels
// along the projected curve of each segment.
#ifndef QUILLON_POSTER_CARTOGRAPHY_H
#define QUILLON_POSTER_CARTOGRAPHY_H

#include <ordane.h>

#include <cstdint>
#include <vector>

#include "map_data.h"
#include "projection.h"

namespace poster {

// Parts laid out as the path builders take them: part i is the pairs
// [offsets[i], offsets[i + 1]) of "points".
struct PartList {
  std::vector<double> points;
  std::vector<int64_t> offsets{0};
  std::vector<int64_t> source;  // per part: the input part it came from
  std::vector<int32_t> flags;   // per part: ORDANE_PART_* bits

  int64_t count() const { return static_cast<int64_t>(offsets.size()) - 1; }
  void clear();
  // Appends "n" pairs at "pts" as one part from input part "from".
  void add(const double* pts, int64_t n, int64_t from, int32_t part_flags = 0);
};

// The parts of "map" (every one, or those whose entry in "keep" is nonzero).
PartList parts_of(const MapData& map, const std::vector<char>* keep = nullptr);

// Web Mercator's latitude limit, where the Mercator map closes polar rings.
constexpr double kMercatorLimit = 85.0511287798;

// Cuts "in" with ordane_cut_parts: at lon0 +- 180 (rings closed along the
// cut and at "pole_lat"), or at the horizon of the hemisphere centred on
// (lon0, lat0). Returns the export's result code; "out" is replaced on
// success only.
int32_t cut_at_antimeridian(const PartList& in, bool rings, double lon0, double pole_lat,
                            PartList* out);
int32_t cut_at_horizon(const PartList& in, bool rings, double lon0, double lat0, PartList* out);

// The GeoProjection record of "p" (whose longitudes the caller has already
// cut around the central meridian the record gives).
GeoProjection geo_projection(const MapProjection& p);

// Projects "in" through "projection" and "transform" into pixels with
// ordane_densify_parts, within "tolerance" pixels of the true curves.
// Returns the export's result code; "out" is replaced on success only.
int32_t densify_to_pixels(const PartList& in, bool rings, const GeoProjection& projection,
                          const GeoTransform& transform, double tolerance, PartList* out);

// The outlines of "rings" as lines, without the edges that are seams rather
// than borders: along the cut meridian lon0 +- 180 or the antimeridian, and
// along a parallel at or beyond +-pole_lat (where polar rings are closed).
PartList outlines_without_seams(const PartList& rings, double lon0, double pole_lat);

// A straight lon/lat polyline in "steps" equal steps, from (lon0, lat0) to
// (lon1, lat1), appended to "out".
void append_steps(double lon0, double lat0, double lon1, double lat1, int steps,
                  std::vector<double>* out);

}  // namespace poster

#endif  // QUILLON_POSTER_CARTOGRAPHY_H
