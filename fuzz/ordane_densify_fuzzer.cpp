// libFuzzer target for ordane_densify_parts(): any projection record and
// transform, tolerances and depths. Accepted calls must give a GeoParts
// with the input's part layout: one output part per input part, each
// holding at least its input's points.

#include <ordane.h>

#include "carto_fuzz_common.h"

using quillon_fuzz::Input;
using quillon_fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t flags = in.byte();
  GeoProjection proj{};
  proj.kind = (flags & 1) ? static_cast<int32_t>(in.take<int8_t>()) : 1 + in.byte() % 6;
  double* fields[] = {&proj.lat1, &proj.lat2, &proj.lat0, &proj.lon0, &proj.false_easting,
                      &proj.false_northing};
  for (double* f : fields) *f = in.number();
  GeoTransform t;
  double* tf[] = {&t.min_x, &t.min_y, &t.max_x, &t.max_y, &t.width,
                  &t.height, &t.offset_x, &t.offset_y, &t.scale};
  for (double* f : tf) *f = in.number();
  t.flip_y = in.byte() & 1;
  const double tolerance = (flags & 2) ? in.number() : 0.05 + in.byte() / 16.0;
  // Depths beyond 12 are valid but can ask for 2^depth points per segment.
  const int32_t depth = (flags & 4) ? static_cast<int32_t>(in.take<int8_t>()) : in.byte() % 13;
  const bool rings = (flags & 8) != 0;
  quillon_fuzz::Parts p = quillon_fuzz::read_parts(in);
  if (depth > 12) return 0;

  GeoParts* out = nullptr;
  const int32_t rc = ordane_densify_parts(p.points.get(), p.offsets.get(), p.part_count,
                                          rings ? 1 : 0, &proj, (flags & 16) ? nullptr : &t,
                                          tolerance, depth, &out);
  if (rc != 0) {
    require(out == nullptr);
    require(rc == ORDANE_ERR_INVALID_ARGUMENT || rc == ORDANE_CARTO_ERR_PROJECTION ||
            rc == ORDANE_CARTO_ERR_OPTION || rc == ORDANE_CARTO_ERR_TOO_LARGE ||
            rc == ORDANE_ERR_OUT_OF_MEMORY);
    return 0;
  }
  quillon_fuzz::check_parts(out, p.part_count);
  require(out->num_parts == p.part_count);
  for (int64_t i = 0; i < out->num_parts; ++i) {
    require(out->source_parts[i] == i);
    const int64_t in_n = p.offsets[static_cast<size_t>(i + 1)] - p.offsets[static_cast<size_t>(i)];
    require(out->part_offsets[i + 1] - out->part_offsets[i] >= in_n);
  }
  ordane_free_parts(out);
  return 0;
}
