// Map projections: spherical Web Mercator (forward and inverse), Lambert
// conformal conic on the WGS 84 ellipsoid and Albers equal-area conic on the
// sphere, each applied to a whole Point array.
//
// Each export checks its arguments, computes the quantities that depend only
// on the projection parameters once into a small record, and hands the array
// to the kernels in kernels/projection_kernels.*, which run the vector code
// for the best instruction set this CPU offers (chosen on every call). Every
// constant is a fixed literal and every expression keeps the order of the
// formulas (floating-point contraction is off). The vector elementary
// functions give the same bits on every instruction set and wherever a point
// sits in the array; they may differ from the platform's scalar libm in the
// last bits (at most 2 ulp; see projection_kernels.h). Input and output may
// be the same array: each pair is read before it is written.

#include <cstdint>

#include <ordane.h>

#include "cpu_dispatch.h"
#include "kernels/projection_kernels.h"

namespace {

bool bad_arrays(const double* in, const double* out, int64_t count) {
  return in == nullptr || out == nullptr || count <= 0;
}

}  // namespace

// ============================================================================
// Exports
// ============================================================================

extern "C" ORDANE_API int32_t ordane_proj_3857_forward(const double* lonlat, double* xy,
                                                       int64_t count) {
  if (bad_arrays(lonlat, xy, count)) return ORDANE_ERR_INVALID_ARGUMENT;
  ordane::proj::merc_forward(quillon::best_simd_level(), lonlat, xy, count);
  return ORDANE_OK;
}

extern "C" ORDANE_API int32_t ordane_proj_3857_inverse(const double* xy, double* lonlat,
                                                       int64_t count) {
  if (bad_arrays(xy, lonlat, count)) return ORDANE_ERR_INVALID_ARGUMENT;
  ordane::proj::merc_inverse(quillon::best_simd_level(), xy, lonlat, count);
  return ORDANE_OK;
}

extern "C" ORDANE_API int32_t ordane_proj_lcc_forward(double lat1, double lat2, double lat0,
                                                      double lon0, double false_easting,
                                                      double false_northing, const double* lonlat,
                                                      double* xy, int64_t count) {
  if (bad_arrays(lonlat, xy, count)) return ORDANE_ERR_INVALID_ARGUMENT;
  const ordane::proj::LccParams p =
      ordane::proj::lcc_setup(lat1, lat2, lat0, lon0, false_easting, false_northing);
  ordane::proj::lcc_forward(quillon::best_simd_level(), p, lonlat, xy, count);
  return ORDANE_OK;
}

extern "C" ORDANE_API int32_t ordane_proj_albers_forward(double lat1, double lat2, double lat0,
                                                         double lon0, double false_easting,
                                                         double false_northing,
                                                         const double* lonlat, double* xy,
                                                         int64_t count) {
  if (bad_arrays(lonlat, xy, count)) return ORDANE_ERR_INVALID_ARGUMENT;
  const ordane::proj::AeaParams p =
      ordane::proj::aea_setup(lat1, lat2, lat0, lon0, false_easting, false_northing);
  ordane::proj::aea_forward(quillon::best_simd_level(), p, lonlat, xy, count);
  return ORDANE_OK;
}
