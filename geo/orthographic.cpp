// Orthographic (globe) projection of the sphere of radius 6378137, forward
// with optional visibility flags and inverse on the visible hemisphere.
//
// The far hemisphere is not clipped here: its points are written as the
// formulas give them and flagged hidden, as the camera exports do; cutting
// outlines at the horizon is ordane_cut_parts()'s ORDANE_CUT_HORIZON.

#include <cstdint>

#include "carto_projections.h"
#include "ordane.h"

extern "C" ORDANE_API int32_t ordane_proj_ortho_forward(double lon0, double lat0,
                                                        const double* lonlat, double* xy,
                                                        int64_t count, uint8_t* visible) {
  if (lonlat == nullptr || xy == nullptr || count <= 0) return ORDANE_ERR_INVALID_ARGUMENT;
  const ordane::carto::Ortho c = ordane::carto::ortho_setup(lon0, lat0);
  for (int64_t i = 0; i < count; ++i) {
    const double lon = lonlat[2 * i], lat = lonlat[2 * i + 1];
    const bool v = ordane::carto::ortho_forward(c, lon, lat, &xy[2 * i], &xy[2 * i + 1]);
    if (visible != nullptr) visible[i] = v ? 1 : 0;
  }
  return ORDANE_OK;
}

extern "C" ORDANE_API int32_t ordane_proj_ortho_inverse(double lon0, double lat0, const double* xy,
                                                        double* lonlat, int64_t count) {
  if (xy == nullptr || lonlat == nullptr || count <= 0) return ORDANE_ERR_INVALID_ARGUMENT;
  const ordane::carto::Ortho c = ordane::carto::ortho_setup(lon0, lat0);
  for (int64_t i = 0; i < count; ++i) {
    const double x = xy[2 * i], y = xy[2 * i + 1];
    ordane::carto::ortho_inverse(c, x, y, &lonlat[2 * i], &lonlat[2 * i + 1]);
  }
  return ORDANE_OK;
}
