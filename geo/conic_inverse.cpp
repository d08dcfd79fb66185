// Inverse Lambert conformal conic (ellipsoid) and inverse Albers equal-area
// conic (sphere), with the forward exports' parameters.
//
// Each export checks its arguments, builds the same set-up record as the
// forward projection (cone constant, radii, false offsets) and runs the
// per-point inverse of carto_projections.h over the array. Each pair is
// read before it is written, so the conversion may run in place.

#include <cstdint>

#include "carto_projections.h"
#include "ordane.h"

extern "C" ORDANE_API int32_t ordane_proj_lcc_inverse(double lat1, double lat2, double lat0,
                                                      double lon0, double false_easting,
                                                      double false_northing, const double* xy,
                                                      double* lonlat, int64_t count) {
  if (xy == nullptr || lonlat == nullptr || count <= 0) return ORDANE_ERR_INVALID_ARGUMENT;
  const ordane::carto::Lcc c =
      ordane::carto::lcc_setup(lat1, lat2, lat0, lon0, false_easting, false_northing);
  for (int64_t i = 0; i < count; ++i) {
    const double x = xy[2 * i], y = xy[2 * i + 1];
    ordane::carto::lcc_inverse(c, x, y, &lonlat[2 * i], &lonlat[2 * i + 1]);
  }
  return ORDANE_OK;
}

extern "C" ORDANE_API int32_t ordane_proj_albers_inverse(double lat1, double lat2, double lat0,
                                                         double lon0, double false_easting,
                                                         double false_northing, const double* xy,
                                                         double* lonlat, int64_t count) {
  if (xy == nullptr || lonlat == nullptr || count <= 0) return ORDANE_ERR_INVALID_ARGUMENT;
  const ordane::carto::Aea c =
      ordane::carto::aea_setup(lat1, lat2, lat0, lon0, false_easting, false_northing);
  for (int64_t i = 0; i < count; ++i) {
    const double x = xy[2 * i], y = xy[2 * i + 1];
    ordane::carto::aea_inverse(c, x, y, &lonlat[2 * i], &lonlat[2 * i + 1]);
  }
  return ORDANE_OK;
}
