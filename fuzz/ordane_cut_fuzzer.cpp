// libFuzzer target for ordane_cut_parts(): rings or lines, either mode, any
// options. Accepted calls must give a well-formed GeoParts whose pieces keep
// to the promises: antimeridian pieces within lon0 +- 180 and the latitudes
// within +-90, rings closed.

#include <ordane.h>

#include <cmath>

#include "carto_fuzz_common.h"

using quillon_fuzz::Input;
using quillon_fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t flags = in.byte();
  GeoCutOptions o{};
  o.mode = (flags & 1) ? ORDANE_CUT_HORIZON : ORDANE_CUT_ANTIMERIDIAN;
  if (flags & 2) o.mode = static_cast<int32_t>(in.byte());
  o.lon0 = in.number();
  o.lat0 = in.number();
  o.pole_lat = (flags & 4) ? in.number() : 90.0;
  // Mostly coarse steps, so a run stays fast; sometimes anything.
  o.max_step = (flags & 8) ? in.number() : 0.5 + in.byte() / 8.0;
  const bool rings = (flags & 16) != 0;
  quillon_fuzz::Parts p = quillon_fuzz::read_parts(in);

  GeoParts* out = nullptr;
  const int32_t rc = ordane_cut_parts(p.points.get(), p.offsets.get(), p.part_count,
                                      rings ? 1 : 0, &o, &out);
  if (rc != 0) {
    require(out == nullptr);
    require(rc == ORDANE_ERR_INVALID_ARGUMENT || rc == ORDANE_CARTO_ERR_OPTION ||
            rc == ORDANE_CARTO_ERR_TOO_LARGE || rc == ORDANE_ERR_OUT_OF_MEMORY);
    return 0;
  }
  quillon_fuzz::check_parts(out, p.part_count);
  for (int64_t i = 0; i < out->num_parts; ++i) {
    const int64_t s = out->part_offsets[i], e = out->part_offsets[i + 1];
    const bool ring = (out->part_flags[i] & ORDANE_PART_RING) != 0;
    require(ring == rings);
    require(e - s >= (ring ? 4 : 2));
    if (ring) {
      require(out->points[2 * s] == out->points[2 * e - 2]);
      require(out->points[2 * s + 1] == out->points[2 * e - 1]);
    }
    for (int64_t j = s; j < e; ++j) {
      const double lon = out->points[2 * j], lat = out->points[2 * j + 1];
      require(std::isfinite(lon) && lat >= -90.0 && lat <= 90.0);
      if (o.mode == ORDANE_CUT_ANTIMERIDIAN) {
        const double slack = 1e-9 * (1.0 + std::fabs(o.lon0));
        require(lon >= o.lon0 - 180.0 - slack && lon <= o.lon0 + 180.0 + slack);
      }
    }
  }
  ordane_free_parts(out);
  return 0;
}
