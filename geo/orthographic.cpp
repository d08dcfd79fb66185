// Orthographic (globe) projection of the sphere of radius 6378137, forward
// with optional visibility flags and inverse on the visible hemisphere.
//
// The far hemisphere is not clipped here: its points are written as the
// formulas give them and flagged hidden, as the camera exports do; cutting
// outlines at the horizon is ordane_cut_parts()'s ORDANE_CUT_HORIZON.

#include <cstdint>

#include "ordane.h"

#include "cpu_dispatch.h"
#include "kernels/projection_kernels.h"

extern "C" ORDANE_API int32_t ordane_proj_ortho_forward(double lon0, double lat0,
                                                        const double* lonlat, double* xy,
                                                        int64_t count, uint8_t* visible) {
  if (lonlat == nullptr || xy == nullptr || count <= 0) return ORDANE_ERR_INVALID_ARGUMENT;
  const ordane::proj::OrthoParams p = ordane::proj::ortho_setup(lon0, lat0);
  ordane::proj::ortho_forward(quillon::best_simd_level(), p, lonlat, xy, count, visible);
  return ORDANE_OK;
}

extern "C" ORDANE_API int32_t ordane_proj_ortho_inverse(double lon0, double lat0, const double* xy,
                                                        double* lonlat, int64_t count) {
  if (xy == nullptr || lonlat == nullptr || count <= 0) return ORDANE_ERR_INVALID_ARGUMENT;
  const ordane::proj::OrthoParams p = ordane::proj::ortho_setup(lon0, lat0);
  ordane::proj::ortho_inverse(quillon::best_simd_level(), p, xy, lonlat, count);
  return ORDANE_OK;
}
