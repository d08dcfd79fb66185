/* The README's libtorvik tour as a whole program: a sheet with a grid of
 * squares seen through a tilted camera on the left, a globe on the right,
 * written as one 960 x 440 PNG.
 *
 *   tour_camera [out.png]   (default out/tour_camera.png)
 *
 * The part between the "tour" markers is quoted in README.md word for word. */
#define _POSIX_C_SOURCE 200809L /* mkdir() under strict C11 */
#include <blend2d/blend2d.h>
#include <stdint.h>
#include <stdio.h>
#include <torvik.h>

#include "out_folder.h"

/* An equirectangular texture of 30-degree squares, 4 texels per degree. */
enum { tex_w = 1441, tex_h = 721, tex_stride = tex_w * 4 };
static uint32_t texture[tex_h * tex_w];

int main(int argc, char** argv) {
  const char* out = argc > 1 ? argv[1] : "out/tour_camera.png";
  if (argc <= 1) tour_make_out_folder();
  for (int row = 0; row < tex_h; ++row)
    for (int col = 0; col < tex_w; ++col)
      texture[row * tex_w + col] = ((row / 120 + col / 120) % 2) ? 0xFF4C9A7E : 0xFF1A4E78;
  const double cx = 720.0, cy = 220.0, radius = 180.0; /* the globe's disc */

  BLImageCore image;
  BLContextCore ctx;
  bl_image_init_as(&image, 960, 440, BL_FORMAT_PRGB32);
  bl_context_init_as(&ctx, &image, NULL);
  bl_context_fill_all_rgba32(&ctx, 0xFF0A1420);
  BLPoint origin = {0.0, 0.0};

  /* The flat map: a sheet of 1000 x 1250 plane units, every other square filled. */
  BLPathCore flat_map, tilted_map;
  bl_path_init(&flat_map);
  bl_path_init(&tilted_map);
  for (int i = 0; i < 10; ++i)
    for (int j = 0; j < 10; ++j) {
      if ((i + j) % 2) continue;
      bl_path_move_to(&flat_map, i * 100.0, j * 125.0);
      bl_path_line_to(&flat_map, i * 100.0 + 100.0, j * 125.0);
      bl_path_line_to(&flat_map, i * 100.0 + 100.0, j * 125.0 + 125.0);
      bl_path_line_to(&flat_map, i * 100.0, j * 125.0 + 125.0);
      bl_path_close(&flat_map);
    }

  /* tour: begin */
  PerspectiveCamera cam = {
    .viewport_width = 480, .viewport_height = 440, .fov = 38, .pitch = 55, .bearing = 0,
    .roll = 0, .distance = 2600, .center_x = 500, .center_y = 625, .near_plane = 0,
  };
  double mean_scale; /* how far away the path is on average: thin its strokes with it */
  torvik_transform_path(&flat_map, &tilted_map, &mean_scale, &cam);
  bl_context_fill_path_d_rgba32(&ctx, &origin, &tilted_map, 0xFF4C9A7E);

  double sx, sy, scale;
  if (torvik_project_point(500, 900, &cam, &sx, &sy, &scale)) { /* visible at (sx, sy) */
    BLCircle dot = {sx, sy, 8.0 * scale};
    bl_context_fill_geometry_rgba32(&ctx, BL_GEOMETRY_TYPE_CIRCLE, &dot, 0xFFFFC46B);
  }

  /* A globe straight into 32-bit pixels, textured with an equirectangular map
   * (longitude -180..180 across, latitude 90..-90 down), centred on 15 E 28 N.
   * The context lets go of the image first, so that its pixels can be written. */
  bl_context_end(&ctx);
  BLImageData pixels;
  bl_image_get_data(&image, &pixels);
  torvik_render_globe((uint32_t*)pixels.pixel_data, pixels.size.w, pixels.size.h,
                      (int32_t)pixels.stride, texture, tex_w, tex_h, tex_stride,
                      cx, cy, radius, 15.0, 28.0, 0xFF5CB8FF /* atmosphere */);
  /* tour: end */

  printf("mean scale %.3f\n", mean_scale);
  bl_path_destroy(&flat_map);
  bl_path_destroy(&tilted_map);
  const BLResult written = bl_image_write_to_file(&image, out, NULL);
  bl_context_destroy(&ctx);
  bl_image_destroy(&image);
  if (written != BL_SUCCESS) {
    fprintf(stderr, "tour_camera: cannot write %s\n", out);
    return 1;
  }
  printf("wrote %s\n", out);
  return 0;
}
