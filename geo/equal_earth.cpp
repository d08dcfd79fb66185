// Equal Earth projection on the sphere of radius 6378137, forward and
// inverse (the polynomial in the parametric latitude psi = asin(sqrt(3)/2
// sin phi); the inverse solves it for psi by Newton's method).

#include <cstdint>

#include "ordane.h"

#include "cpu_dispatch.h"
#include "kernels/projection_kernels.h"

extern "C" ORDANE_API int32_t ordane_proj_eqearth_forward(double lon0, const double* lonlat,
                                                          double* xy, int64_t count) {
  if (lonlat == nullptr || xy == nullptr || count <= 0) return ORDANE_ERR_INVALID_ARGUMENT;
  const ordane::proj::EqEarthParams p = ordane::proj::eqearth_setup(lon0, 0.0, 0.0);
  ordane::proj::eqearth_forward(quillon::best_simd_level(), p, lonlat, xy, count);
  return ORDANE_OK;
}

extern "C" ORDANE_API int32_t ordane_proj_eqearth_inverse(double lon0, const double* xy,
                                                          double* lonlat, int64_t count) {
  if (xy == nullptr || lonlat == nullptr || count <= 0) return ORDANE_ERR_INVALID_ARGUMENT;
  const ordane::proj::EqEarthParams p = ordane::proj::eqearth_setup(lon0, 0.0, 0.0);
  ordane::proj::eqearth_inverse(quillon::best_simd_level(), p, xy, lonlat, count);
  return ORDANE_OK;
}
