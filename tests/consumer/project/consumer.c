/* A program outside the project that uses the installed libraries: one call
 * into each, checked. Built once through the CMake packages (with Blend2D,
 * building a real path) and once with pkg-config flags only. */
#include <math.h>
#include <ordane.h>
#include <stdio.h>
#include <torvik.h>
#include <velket.h>

#ifdef CONSUMER_WITH_BLEND2D
#include <blend2d/blend2d.h>
#endif

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

#ifdef CONSUMER_WITH_BLEND2D
  {
    BLPathCore path;
    const double tri[6] = {0, 0, 10, 0, 0, 10};
    const int64_t offsets[2] = {0, 3};
    bl_path_init(&path);
    check(ordane_build_polygon(&path, tri, offsets, 1, NULL) == 0, "ordane_build_polygon");
    check(bl_path_get_size(&path) == 4, "triangle path: move, line, line, close");
    bl_path_destroy(&path);
  }
#endif

  if (failures == 0) printf("consumer ok\n");
  return failures == 0 ? 0 : 1;
}
