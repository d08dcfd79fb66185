// Equal Earth projection on the sphere of radius 6378137, forward and
// inverse (the polynomial in the parametric latitude psi = asin(sqrt(3)/2
// sin phi); the inverse solves it for psi by Newton's method).

#include <cstdint>

#include "carto_projections.h"
#include "ordane.h"

extern "C" ORDANE_API int32_t ordane_proj_eqearth_forward(double lon0, const double* lonlat,
                                                          double* xy, int64_t count) {
  if (lonlat == nullptr || xy == nullptr || count <= 0) return ORDANE_ERR_INVALID_ARGUMENT;
  for (int64_t i = 0; i < count; ++i) {
    const double lon = lonlat[2 * i], lat = lonlat[2 * i + 1];
    ordane::carto::eqearth_forward(lon0, 0.0, 0.0, lon, lat, &xy[2 * i], &xy[2 * i + 1]);
  }
  return ORDANE_OK;
}

extern "C" ORDANE_API int32_t ordane_proj_eqearth_inverse(double lon0, const double* xy,
                                                          double* lonlat, int64_t count) {
  if (xy == nullptr || lonlat == nullptr || count <= 0) return ORDANE_ERR_INVALID_ARGUMENT;
  for (int64_t i = 0; i < count; ++i) {
    const double x = xy[2 * i], y = xy[2 * i + 1];
    ordane::carto::eqearth_inverse(lon0, x, y, &lonlat[2 * i], &lonlat[2 * i + 1]);
  }
  return ORDANE_OK;
}
