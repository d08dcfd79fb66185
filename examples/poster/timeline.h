// The animation: what every panel shows at a moment of the fly-over.
#ifndef QUILLON_POSTER_TIMELINE_H
#define QUILLON_POSTER_TIMELINE_H

namespace poster {

// Ease-in-out cubic Bezier (0.42, 0, 0.58, 1) of progress "t" in [0, 1].
double ease_in_out(double t);
// A lightly damped spring released at t = 0 and settling by t = 1 (it
// overshoots a little on the way).
double settle(double t);

struct SceneState {
  double t;       // progress, 0 to 1
  double reveal;  // fraction of the coastline drawn on
  double pitch;   // tilted panel's camera, degrees
  double bearing;
  double globe_rotation;  // longitude at the globe's centre
  double globe_tilt;      // latitude at the globe's centre
};

// The state of frame "index" of "count" (count >= 1).
SceneState frame_state(int index, int count);
// The still poster: a moment late in the fly-over with the coast mostly
// drawn and the camera tilted.
SceneState poster_state();

}  // namespace poster

#endif  // QUILLON_POSTER_TIMELINE_H
