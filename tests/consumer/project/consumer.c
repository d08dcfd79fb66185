/* A program outside the project that uses the installed libraries: one call
 * into each, checked, and Blend2D itself beside them (a path built by libordane
 * is filled into an image). Built once through the CMake packages and once
 * with nothing but the flags from pkg-config. */
#include <math.h>
#include <ordane.h>
#include <stdio.h>
#include <torvik.h>
#include <velket.h>

#include <blend2d/blend2d.h>
#include <string.h>

static int failures = 0;

static void check(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "consumer: FAILED %s\n", what);
    ++failures;
  }
}

int main(void) {
  double xy[2];
  const double lonlat[2] = {180.0, 0.0};
  check(ordane_proj_3857_forward(lonlat, xy, 1) == 0, "ordane_proj_3857_forward result");
  check(fabs(xy[0] - 20037508.342789244) < 1e-6 && fabs(xy[1]) < 1e-6, "Mercator of (180, 0)");
  check(ordane_parse_shp(NULL) == NULL, "ordane_parse_shp(NULL)");

  check(fabs(velket_cubic_bezier_evaluate(0.5, 0.42, 0.0, 0.58, 1.0) - 0.5) < 1e-6,
        "velket_cubic_bezier_evaluate");
  ParticleSystem* ps = velket_ps_create(4);
  velket_ps_emit(ps, 9, 0.0, 0.0, 1.0, 1.0, 0.0, 0.0, 1.0, 1.0, 1.0, 1.0, 0xFFFFFFFFu, 0u);
  check(velket_ps_get_count(ps) == 4, "velket_ps_get_count after emit");
  velket_ps_destroy(ps);

  PerspectiveCamera cam = {800, 600, 90, 0, 0, 0, 300, 0, 0, 0};
  double sx = 0, sy = 0, scale = 0;
  check(torvik_project_point(100.0, 50.0, &cam, &sx, &sy, &scale) == 1, "torvik_project_point");
  check(fabs(sx - 500.0) < 1e-9 && fabs(sy - 250.0) < 1e-9 && fabs(scale - 1.0) < 1e-12,
        "camera position");

  {
    BLPathCore path;
    BLImageCore image;
    BLContextCore ctx;
    BLImageData data;
    const BLPoint origin = {0.0, 0.0};
    const double square[8] = {2, 2, 14, 2, 14, 14, 2, 14};
    const int64_t offsets[2] = {0, 4};
    uint32_t inside = 0, outside = 0;
    bl_path_init(&path);
    check(ordane_build_polygon(&path, square, offsets, 1, NULL) == 0, "ordane_build_polygon");
    check(bl_path_get_size(&path) == 5, "square path: move, three lines, close");
    check(bl_image_init_as(&image, 16, 16, BL_FORMAT_PRGB32) == BL_SUCCESS, "bl_image_init_as");
    check(bl_context_init_as(&ctx, &image, NULL) == BL_SUCCESS, "bl_context_init_as");
    bl_context_clear_all(&ctx);
    check(bl_context_fill_path_d_rgba32(&ctx, &origin, &path, 0xFF336699u) == BL_SUCCESS,
          "bl_context_fill_path_d_rgba32");
    bl_context_end(&ctx);
    memset(&data, 0, sizeof data);
    check(bl_image_get_data(&image, &data) == BL_SUCCESS, "bl_image_get_data");
    memcpy(&inside, (const unsigned char*)data.pixel_data + 8 * data.stride + 8 * 4, 4);
    memcpy(&outside, (const unsigned char*)data.pixel_data + 0 * data.stride + 0 * 4, 4);
    check(inside == 0xFF336699u && outside == 0u, "the filled square's pixels");
    bl_context_destroy(&ctx);
    bl_image_destroy(&image);
    bl_path_destroy(&path);
  }

  if (failures == 0) printf("consumer ok\n");
  return failures == 0 ? 0 : 1;
}
