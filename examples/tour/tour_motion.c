/* The README's libvelket tour as a whole program: the two easing curves the
 * poster animates with, plotted, and a burst of sparks stepped for a third
 * of a second, written as one 400 x 300 PNG.
 *
 *   tour_motion [out.png]   (default out/tour_motion.png)
 *
 * The part between the "tour" markers is quoted in README.md word for word. */
#define _POSIX_C_SOURCE 200809L /* mkdir() under strict C11 */
#include <blend2d/blend2d.h>
#include <stdio.h>
#include <velket.h>

#include "out_folder.h"

int main(int argc, char** argv) {
  const char* out = argc > 1 ? argv[1] : "out/tour_motion.png";
  if (argc <= 1) tour_make_out_folder();
  const double x = 300.0, y = 120.0; /* where the sparks start */
  BLImageCore image;
  BLContextCore ctx;
  bl_image_init_as(&image, 400, 300, BL_FORMAT_PRGB32);
  bl_context_init_as(&ctx, &image, NULL);
  bl_context_fill_all_rgba32(&ctx, 0xFF0A1420);
  BLPathCore ease, spring;
  bl_path_init(&ease);
  bl_path_init(&spring);

  /* tour: begin */
  for (int i = 0; i <= 100; ++i) {
    const double t = i / 100.0;
    double eased = velket_cubic_bezier_evaluate(t, 0.42, 0.0, 0.58, 1.0); /* ease-in-out */
    double sprung = velket_spring_evaluate(t, 90.0, 11.0, 1.0, 0.0);      /* overshoots, settles */
    if (i == 0) {
      bl_path_move_to(&ease, 20.0 + 200.0 * t, 260.0 - 200.0 * eased);
      bl_path_move_to(&spring, 20.0 + 200.0 * t, 260.0 - 200.0 * sprung);
    } else {
      bl_path_line_to(&ease, 20.0 + 200.0 * t, 260.0 - 200.0 * eased);
      bl_path_line_to(&spring, 20.0 + 200.0 * t, 260.0 - 200.0 * sprung);
    }
  }

  ParticleSystem* ps = velket_ps_create(2000);
  velket_ps_add_gravity(ps, 0.0, 55.0);
  velket_ps_add_drag(ps, 1.6);
  velket_ps_emit(ps, 300, x, y, 50.0, 190.0, 0.0, 6.283185307179586, 0.7, 1.8, /* speed, angle, life */
                 3.4, 0.5, 0xFFFFFFFF, 0x20FF7A2E);                       /* size, colour start -> end */
  for (int step = 0; step < 8; ++step) velket_ps_update(ps, 1.0 / 24.0);
  velket_ps_render(ps, &ctx); /* one circle per particle */
  velket_ps_destroy(ps);
  /* tour: end */

  BLPoint origin = {0.0, 0.0};
  bl_context_set_stroke_width(&ctx, 2.0);
  bl_context_stroke_path_d_rgba32(&ctx, &origin, &ease, 0xFFFFC46B);
  bl_context_stroke_path_d_rgba32(&ctx, &origin, &spring, 0xFF6BD4FF);
  bl_path_destroy(&ease);
  bl_path_destroy(&spring);
  bl_context_end(&ctx);
  const BLResult written = bl_image_write_to_file(&image, out, NULL);
  bl_context_destroy(&ctx);
  bl_image_destroy(&image);
  if (written != BL_SUCCESS) {
    fprintf(stderr, "tour_motion: cannot write %s\n", out);
    return 1;
  }
  printf("wrote %s\n", out);
  return 0;
}
