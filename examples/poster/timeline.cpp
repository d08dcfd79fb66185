// Camera moves ease in and out with the cubic Bezier; the tilt settles with
// the spring, which gives it a small, physical overshoot.
#include "timeline.h"

#include <velket.h>

namespace poster {

double ease_in_out(double t) { return velket_cubic_bezier_evaluate(t, 0.42, 0.0, 0.58, 1.0); }

// Stiffness 90, damping 11, mass 1: underdamped (damping ratio about 0.58),
// within a percent of rest after 1.1 time units.
double settle(double t) { return velket_spring_evaluate(t * 1.1, 90.0, 11.0, 1.0, 0.0); }

namespace {

// Reveal timing: the familiar "ease" curve (0.25, 0.1, 0.25, 1) over the
// first 85 % of the run, so the finished coast stays on screen for a while.
double reveal_at(double t) { return velket_cubic_bezier_evaluate(t / 0.85, 0.25, 0.1, 0.25, 1.0); }

}  // namespace

SceneState frame_state(int index, int count) {
  const double t = count > 1 ? static_cast<double>(index) / (count - 1) : 1.0;
  SceneState s;
  s.t = t;
  s.reveal = reveal_at(t);
  s.pitch = 55.0 * settle(t);
  s.bearing = -30.0 * (1.0 - ease_in_out(t));  // turns to north up
  s.globe_rotation = -100.0 + 115.0 * ease_in_out(t);
  s.globe_tilt = 10.0 + 18.0 * ease_in_out(t);
  return s;
}

SceneState poster_state() {
  SceneState s = frame_state(0, 1);
  s.t = 0.62;
  s.reveal = 0.66;
  s.pitch = 55.0;
  s.bearing = 0.0;
  return s;
}

}  // namespace poster
