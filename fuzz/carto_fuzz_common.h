// Shared by the cutting and densifying fuzz targets: decoding (lon, lat)
// parts whose arrays are allocated at exactly the size the call is told,
// and checking a GeoParts for the layout its contract promises.
#ifndef QUILLON_FUZZ_CARTO_FUZZ_COMMON_H
#define QUILLON_FUZZ_CARTO_FUZZ_COMMON_H

#include <ordane.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fuzz_input.h"

namespace quillon_fuzz {

inline void require(bool ok) {
  if (!ok) std::abort();
}

struct Parts {
  int64_t npoints = 0;
  int64_t part_count = 0;
  std::unique_ptr<double[]> points;
  std::unique_ptr<int64_t[]> offsets;
};

// Points are mostly coordinates near the globe's range (a 16-bit integer in
// 1/16 units: +-2048 degrees), sometimes any bit pattern (NaN, infinities,
// 1e308). Offsets lie inside the points, or are values no array reaches
// (negative, beyond INT64_MAX / 16), which must be skipped or rejected.
inline Parts read_parts(Input& in) {
  Parts p;
  p.npoints = in.byte();
  p.part_count = static_cast<int64_t>(in.take<int8_t>()) % 9;
  p.points.reset(new double[static_cast<size_t>(2 * p.npoints)]);
  for (int64_t i = 0; i < 2 * p.npoints; ++i) p.points[static_cast<size_t>(i)] = in.number();
  const int64_t noffsets = p.part_count > 0 ? p.part_count + 1 : 0;
  p.offsets.reset(new int64_t[static_cast<size_t>(noffsets > 0 ? noffsets : 1)]);
  for (int64_t i = 0; i < noffsets; ++i) {
    const uint8_t mode = in.byte();
    int64_t v = static_cast<int64_t>(mode % (p.npoints + 1));
    if (mode < 16) {
      v = in.take<int64_t>();
      if (v > p.npoints && v <= INT64_MAX / 16) v = -v;
    } else if (mode < 128 && i > 0) {
      v = p.offsets[static_cast<size_t>(i - 1)] + (mode % 16);  // mostly ordered
      if (v > p.npoints) v = p.npoints;
    }
    p.offsets[static_cast<size_t>(i)] = v;
  }
  return p;
}

// The record's layout: offsets from 0 to num_points, non-decreasing, one
// source and flag per part, sources in range and in input order.
inline void check_parts(const GeoParts* g, int64_t part_count) {
  require(g != nullptr);
  require(g->num_points >= 0 && g->num_parts >= 0);
  if (g->num_parts == 0) return;
  require(g->part_offsets[0] == 0);
  require(g->part_offsets[g->num_parts] == g->num_points);
  for (int64_t i = 0; i < g->num_parts; ++i) {
    require(g->part_offsets[i] <= g->part_offsets[i + 1]);
    require(g->source_parts[i] >= 0 && g->source_parts[i] < part_count);
    if (i > 0) require(g->source_parts[i] >= g->source_parts[i - 1]);
  }
  // Touch every point so that ASan sees the whole array.
  volatile double sink = 0;
  for (int64_t i = 0; i < 2 * g->num_points; ++i) sink = sink + g->points[i];
  (void)sink;
}

}  // namespace quillon_fuzz

#endif  // QUILLON_FUZZ_CARTO_FUZZ_COMMON_H
