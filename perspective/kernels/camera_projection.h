// The per-point camera projection: the camera record is digested once per
// call into CameraTerms, and project() then takes one plane point to the
// screen. This is the scalar form, used by the single-point and path exports
// and by the scalar array kernels; the vector kernels repeat it operation for
// operation.
//
// Callers compare screen positions bit for bit, so every operation below keeps
// the order of the projection formula. Only values that do not depend on the
// point are taken out of the per-point work, and each hoisted value is a
// leading sub-expression of the formula, so the result cannot change.
#ifndef TORVIK_PERSPECTIVE_KERNELS_CAMERA_PROJECTION_H
#define TORVIK_PERSPECTIVE_KERNELS_CAMERA_PROJECTION_H

#ifdef QUILLON_SIMD_ISA_SOURCE
#error "camera_projection.h holds inline code: per-ISA sources include camera_kernels.h only"
#endif

#include <torvik.h>

#include <cmath>

#include "camera_kernels.h"
#include "units.h"

namespace torvik {

// ============================================================================
// Camera terms
// ============================================================================

inline CameraTerms camera_terms(const PerspectiveCamera& camera) {
  constexpr double k = quillon::kDegToRad;
  const double b = camera.bearing * k;
  const double p = camera.pitch * k;
  const double q = camera.roll * k;

  CameraTerms t;
  t.cos_bearing = std::cos(b);
  t.sin_bearing = std::sin(b);
  t.cos_pitch = std::cos(p);
  t.sin_pitch = std::sin(p);
  t.cos_roll = std::cos(q);
  t.sin_roll = std::sin(q);
  t.focal = (1.0 / std::tan(camera.fov * k * 0.5)) * camera.viewport_height * 0.5;
  t.half_width = camera.viewport_width * 0.5;
  t.half_height = camera.viewport_height * 0.5;
  t.distance = camera.distance;
  t.center_x = camera.center_x;
  t.center_y = camera.center_y;
  // Written as "not greater than 1" so that NaN falls back to 10 as well.
  t.near_depth = camera.near_plane > 1.0 ? camera.near_plane : 10.0;
  return t;
}

// ============================================================================
// Projection of one point
// ============================================================================

// Screen position and scale of one plane point; (0, 0) and 0 when hidden.
struct Projected {
  double x;
  double y;
  double scale;
  bool visible;
};

inline Projected project(const CameraTerms& t, double x, double y) {
  const double dx = x - t.center_x;
  const double dy = y - t.center_y;
  const double side = dx * t.cos_bearing - dy * t.sin_bearing;
  const double forward = dx * t.sin_bearing + dy * t.cos_bearing;
  const double depth = t.sin_pitch * forward + t.distance;

  // A NaN depth fails this comparison and so counts as visible: callers rely
  // on NaN input coming out as NaN positions rather than as hidden points.
  if (t.near_depth >= depth) {
    return Projected{0.0, 0.0, 0.0, false};
  }
  const double up = forward * t.cos_pitch;
  const double f = t.focal / depth;
  Projected r;
  r.x = t.half_width + f * (side * t.cos_roll - up * t.sin_roll);
  r.y = t.half_height - f * (side * t.sin_roll + up * t.cos_roll);
  r.scale = t.distance / depth;
  r.visible = true;
  return r;
}

}  // namespace torvik

#endif  // TORVIK_PERSPECTIVE_KERNELS_CAMERA_PROJECTION_H
