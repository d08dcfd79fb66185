// libFuzzer target for torvik_transform_path: an arbitrary camera and path,
// projected into a separate path or onto itself. The result must use only
// move, line and close, have no more entries than the source, and be the
// same whether or not source and destination are one path.

#include <torvik.h>

#include <cstring>

#include "path_fuzz_common.h"

using quillon_fuzz::check;
using quillon_fuzz::Input;
using quillon_fuzz::Path;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  PerspectiveCamera cam;
  double* fields[] = {&cam.viewport_width, &cam.viewport_height, &cam.fov, &cam.pitch,
                      &cam.bearing, &cam.roll, &cam.distance, &cam.center_x, &cam.center_y,
                      &cam.near_plane};
  for (double* f : fields) *f = in.number();
  const uint8_t flags = in.byte();

  Path src, dst, same;
  quillon_fuzz::build_path(in, &src.core, 512);
  if (flags & 1) bl_path_move_to(&dst.core, 1, 2);  // dst is cleared first
  bl_path_add_path(&same.core, &src.core, nullptr);
  const size_t n = src.size();

  double mean = -1.0;
  const int32_t r = torvik_transform_path(&src.core, &dst.core, (flags & 2) ? nullptr : &mean,
                                          &cam);
  check(r == TORVIK_OK);
  if (n == 0) return 0;
  const size_t m = dst.size();
  check(m <= n);
  const uint8_t* cmd = bl_path_get_command_data(&dst.core);
  for (size_t i = 0; i < m; ++i) {
    check(cmd[i] == BL_PATH_CMD_MOVE || cmd[i] == BL_PATH_CMD_ON || cmd[i] == BL_PATH_CMD_CLOSE);
  }

  // In place: the same entries, bit for bit (a close's vertex aside).
  double mean_same = -1.0;
  check(torvik_transform_path(&same.core, &same.core, (flags & 2) ? nullptr : &mean_same,
                              &cam) == TORVIK_OK);
  check(same.size() == m);
  const uint8_t* cmd2 = bl_path_get_command_data(&same.core);
  const BLPoint* v1 = bl_path_get_vertex_data(&dst.core);
  const BLPoint* v2 = bl_path_get_vertex_data(&same.core);
  for (size_t i = 0; i < m; ++i) {
    check(cmd2[i] == cmd[i]);
    if (cmd[i] != BL_PATH_CMD_CLOSE) check(std::memcmp(&v1[i], &v2[i], sizeof(BLPoint)) == 0);
  }
  check(std::memcmp(&mean, &mean_same, sizeof mean) == 0);
  return 0;
}
