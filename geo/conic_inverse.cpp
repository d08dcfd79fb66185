// Inverse Lambert conformal conic (ellipsoid) and inverse Albers equal-area
// conic (sphere), with the forward exports' parameters.
//
// Each export checks its arguments, builds the forward projection's set-up
// record (cone constant, radii, false offsets) and runs the inverse kernel
// of the best dispatch level over the array (kernels/projection_kernels.h).
// The conversion may run in place.

#include <cstdint>

#include "ordane.h"

#include "cpu_dispatch.h"
#include "kernels/projection_kernels.h"

extern "C" ORDANE_API int32_t ordane_proj_lcc_inverse(double lat1, double lat2, double lat0,
                                                      double lon0, double false_easting,
                                                      double false_northing, const double* xy,
                                                      double* lonlat, int64_t count) {
  if (xy == nullptr || lonlat == nullptr || count <= 0) return ORDANE_ERR_INVALID_ARGUMENT;
  const ordane::proj::LccParams p =
      ordane::proj::lcc_setup(lat1, lat2, lat0, lon0, false_easting, false_northing);
  ordane::proj::lcc_inverse(quillon::best_simd_level(), p, xy, lonlat, count);
  return ORDANE_OK;
}

extern "C" ORDANE_API int32_t ordane_proj_albers_inverse(double lat1, double lat2, double lat0,
                                                         double lon0, double false_easting,
                                                         double false_northing, const double* xy,
                                                         double* lonlat, int64_t count) {
  if (xy == nullptr || lonlat == nullptr || count <= 0) return ORDANE_ERR_INVALID_ARGUMENT;
  const ordane::proj::AeaParams p =
      ordane::proj::aea_setup(lat1, lat2, lat0, lon0, false_easting, false_northing);
  ordane::proj::aea_inverse(quillon::best_simd_level(), p, xy, lonlat, count);
  return ORDANE_OK;
}
