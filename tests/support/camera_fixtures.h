// Cameras shared by the camera tests and benchmarks.
#ifndef QUILLON_TESTS_SUPPORT_CAMERA_FIXTURES_H
#define QUILLON_TESTS_SUPPORT_CAMERA_FIXTURES_H

#include <torvik.h>

namespace quillon_test {

// A street-level view: tilted, turned and rolled, so that no sine or cosine
// is trivially 0 or 1, and with a share of the plane behind the near distance.
inline PerspectiveCamera street_camera() {
  PerspectiveCamera c{};
  c.viewport_width = 1920;
  c.viewport_height = 1080;
  c.fov = 50;
  c.pitch = 55;
  c.bearing = 30;
  c.roll = 5;
  c.distance = 800;
  c.center_x = 1000;
  c.center_y = 1000;
  c.near_plane = 10;
  return c;
}

}  // namespace quillon_test

#endif  // QUILLON_TESTS_SUPPORT_CAMERA_FIXTURES_H
