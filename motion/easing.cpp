// easing.cpp - easing curves of libvelket: the cubic Bezier timing function
// and the step response of a damped spring.
//
// Both exports are pure functions of their arguments: no state, no
// allocation, safe on any number of threads at once. The evaluation order of
// every formula is fixed (the build turns floating-point contraction off), so
// callers may compare results bit for bit across platforms.

#include "velket.h"

#include <cmath>

namespace {

// ============================================================================
// Cubic Bezier: P0 = (0, 0), P1 = (x1, y1), P2 = (x2, y2), P3 = (1, 1)
// ============================================================================

// Newton's method stops after this many parameter updates; the last clamped
// parameter is then used as it is (there is no bisection fallback).
constexpr int kBezierMaxUpdates = 8;
constexpr double kBezierEpsilon = 1e-6;

// One coordinate of the curve at parameter s, with u = 1 - s:
// 3u^2 s c1 + 3u s^2 c2 + s^3.
inline double bezier_coord(double s, double c1, double c2) {
  const double u = 1.0 - s;
  return 3.0 * u * u * s * c1 + 3.0 * u * s * s * c2 + s * s * s;
}

// dX/ds = 3u^2 c1 + 6us (c2 - c1) + 3s^2 (1 - c2).
inline double bezier_slope(double s, double c1, double c2) {
  const double u = 1.0 - s;
  return 3.0 * u * u * c1 + 6.0 * u * s * (c2 - c1) + 3.0 * s * s * (1.0 - c2);
}

double bezier_y_at_x(double x, double x1, double y1, double x2, double y2) {
  double s = x;  // For a timing curve, x is a good first guess for s.
  for (int i = 0; i < kBezierMaxUpdates; ++i) {
    const double f = bezier_coord(s, x1, x2) - x;
    if (std::fabs(f) < kBezierEpsilon) break;
    const double d = bezier_slope(s, x1, x2);
    if (std::fabs(d) < kBezierEpsilon) break;
    s = s - f / d;
    // Raise to 0 first, then lower to 1; written as comparisons so that a
    // NaN parameter stays NaN instead of being clamped to a number.
    if (s < 0.0) s = 0.0;
    if (s > 1.0) s = 1.0;
  }
  return bezier_coord(s, y1, y2);
}

// ============================================================================
// Damped spring: 1 - D(t), D the displacement of a mass-spring-damper
// released at distance 1 from its target with D'(0) = velocity
// ============================================================================

// Damping ratios in [1, 1 + kCriticalBand) take the critically damped
// formula. The band lies above 1 only: a ratio just below 1 is underdamped.
constexpr double kCriticalBand = 1e-5;

double spring_position(double t, double stiffness, double damping, double mass,
                       double velocity) {
  const double m = mass <= 0.0 ? 1.0 : mass;
  const double w0 = std::sqrt(stiffness / m);
  const double zeta = damping / (2.0 * std::sqrt(stiffness * m));

  if (zeta < 1.0) {
    // Underdamped (and undamped, and negative damping): a decaying sine.
    const double wd = std::sqrt(1.0 - zeta * zeta) * w0;
    const double b = wd > 0.0 ? (velocity + zeta * w0) / wd : 0.0;
    return 1.0 - (b * std::sin(wd * t) + std::cos(wd * t)) * std::exp(-(zeta * w0) * t);
  }
  if (std::fabs(zeta - 1.0) < kCriticalBand) {
    return 1.0 - std::exp(-w0 * t) * ((velocity + w0) * t + 1.0);
  }
  // Overdamped; a NaN ratio lands here too and yields NaN.
  const double q = std::sqrt(zeta * zeta - 1.0);
  const double r1 = -zeta * w0 + q * w0;
  const double r2 = -zeta * w0 - q * w0;
  const double c2 = (velocity - r1) / (r2 - r1);
  const double c1 = 1.0 - c2;
  return 1.0 - (c1 * std::exp(r1 * t) + c2 * std::exp(r2 * t));
}

}  // namespace

// ============================================================================
// Exports
// ============================================================================

extern "C" VELKET_API double velket_cubic_bezier_evaluate(double x, double x1, double y1,
                                                          double x2, double y2) {
  // NaN fails both tests and runs through to a NaN result.
  if (x <= 0.0) return 0.0;
  if (x >= 1.0) return 1.0;
  return bezier_y_at_x(x, x1, y1, x2, y2);
}

extern "C" VELKET_API double velket_spring_evaluate(double t, double stiffness, double damping,
                                                    double mass, double velocity) {
  if (t <= 0.0) return 0.0;
  return spring_position(t, stiffness, damping, mass, velocity);
}

// ---- Easing over arrays -----------------------------------------------------
// The scalar exports' own code per element, so every element has the bits the
// scalar call would give.

extern "C" VELKET_API int32_t velket_cubic_bezier_evaluate_array(const double* x, double* out,
                                                                uint64_t count, double x1,
                                                                double y1, double x2,
                                                                double y2) {
  if (x == nullptr || out == nullptr) return VELKET_ERR_INVALID_ARGUMENT;
  for (uint64_t i = 0; i < count; ++i) {
    out[i] = velket_cubic_bezier_evaluate(x[i], x1, y1, x2, y2);
  }
  return VELKET_OK;
}

extern "C" VELKET_API int32_t velket_spring_evaluate_array(const double* t, double* out,
                                                          uint64_t count, double stiffness,
                                                          double damping, double mass,
                                                          double velocity) {
  if (t == nullptr || out == nullptr) return VELKET_ERR_INVALID_ARGUMENT;
  for (uint64_t i = 0; i < count; ++i) {
    out[i] = velket_spring_evaluate(t[i], stiffness, damping, mass, velocity);
  }
  return VELKET_OK;
}
