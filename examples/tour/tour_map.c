/* The README's libordane tour as a whole program: the bundled countries read,
 * projected to Web Mercator, fitted into 800 x 500 pixels, filled, and their
 * outlines drawn on to half their length with velket_trim_path.
 *
 *   tour_map [countries.shp] [out.png]   (default out/tour_map.png)
 *
 * The part between the "tour" markers is quoted in README.md word for word;
 * the test tour.readme_quotes keeps the two the same. */
#define _POSIX_C_SOURCE 200809L /* mkdir() under strict C11 */
#include <blend2d/blend2d.h>
#include <ordane.h>
#include <stdio.h>
#include <stdlib.h>
#include <velket.h>

#include "out_folder.h"

/* Makes a ring that crosses the antimeridian continuous (longitudes beyond
 * 180 allowed) and returns 1; returns 0 and leaves the ring as it is when it
 * does not cross, or when it runs around a pole and so turns once in all. */
static int unwrap_ring(double* lonlat, int64_t n) {
  double shift = 0.0;
  int jumps = 0;
  for (int64_t i = 1; i < n; ++i) {
    const double d = lonlat[2 * i] - lonlat[2 * i - 2];
    if (d > 180.0 || d < -180.0) {
      shift += d > 180.0 ? -360.0 : 360.0;
      ++jumps;
    }
  }
  if (jumps == 0 || shift != 0.0) return 0;
  shift = 0.0;
  for (int64_t i = 1; i < n; ++i) {
    const double d = lonlat[2 * i] + shift - lonlat[2 * i - 2];
    if (d > 180.0) shift -= 360.0;
    if (d < -180.0) shift += 360.0;
    lonlat[2 * i] += shift;
  }
  return 1;
}

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "data/countries_110m.shp";
  const char* out = argc > 2 ? argv[2] : "out/tour_map.png";
  if (argc <= 2) tour_make_out_folder();
  const double progress = 0.5;
  BLImageCore image;
  BLContextCore ctx;
  bl_image_init_as(&image, 800, 500, BL_FORMAT_PRGB32);
  bl_context_init_as(&ctx, &image, NULL);
  bl_context_fill_all_rgba32(&ctx, 0xFF0F2A40);

  /* tour: begin */
  ShpHeader header;
  if (ordane_read_shp_header(path, &header) != ORDANE_OK) return 1; /* -2 open, -3 short, -4 not a shapefile */
  ShpData* shp = ordane_parse_shp(path);                            /* library-owned */
  if (!shp) return 1;

  /* One figure per ring: the part starts, then the end of the last part. */
  int64_t* offsets = malloc((shp->num_parts + 1) * sizeof *offsets);
  for (uint64_t i = 0; i < shp->num_parts; ++i) offsets[i] = shp->parts[i];
  offsets[shp->num_parts] = (int64_t)shp->num_points;

  /* Rings across the antimeridian (Fiji, Chukotka) are stored with a jump of
   * about 360 degrees; built as they are, that edge streaks across the map.
   * unwrap_ring() (in examples/tour/tour_map.c) makes them continuous, and
   * they are built twice below, a turn apart, so each side shows its half. */
  uint8_t* crosses = malloc(shp->num_parts + 1);
  for (uint64_t r = 0; r < shp->num_parts; ++r)
    crosses[r] = (uint8_t)unwrap_ring(shp->points + 2 * offsets[r], offsets[r + 1] - offsets[r]);

  /* Web Mercator in place (the conics take lat1, lat2, lat0, lon0, false easting and northing first). */
  ordane_proj_3857_forward(shp->points, shp->points, (int64_t)shp->num_points);

  /* Fit 180 W 58 S .. 180 E 84 N into 800 x 500 pixels, 2 % margin, centred, north up. */
  double box[4] = {-180.0, -58.0, 180.0, 84.0};
  ordane_proj_3857_forward(box, box, 2);
  GeoTransform fit, west, east;
  ordane_init_transform(&fit, box[0], box[1], box[2], box[3], 800.0, 500.0, 0.02, 1, 1);
  west = east = fit;
  west.min_x += 360.0 * 111319.49079327357; /* the same map a full turn (in metres) west */
  east.min_x -= 360.0 * 111319.49079327357;

  BLPathCore land;
  bl_path_init(&land);
  ordane_build_polygon(&land, shp->points, offsets, (int64_t)shp->num_parts, &fit);
  for (uint64_t r = 0; r < shp->num_parts; ++r) {
    if (!crosses[r]) continue;
    ordane_build_polygon(&land, shp->points, offsets + r, 1, &west);
    ordane_build_polygon(&land, shp->points, offsets + r, 1, &east);
  }
  BLPoint origin = {0.0, 0.0};
  bl_context_fill_path_d_rgba32(&ctx, &origin, &land, 0xFF4C9A7E);

  /* Draw-on: velket_trim_path measures its source as one polyline, so the
   * jumps between figures would count and be drawn. Trim each ring on its own. */
  BLPathCore ring, visible;
  bl_path_init(&ring);
  bl_path_init(&visible);
  for (uint64_t r = 0; r < shp->num_parts; ++r) {
    bl_path_clear(&ring);
    ordane_build_linestring(&ring, shp->points + 2 * offsets[r], offsets[r + 1] - offsets[r], &fit);
    velket_trim_path(&ring, &visible, 0.0, progress, 0.0); /* appends to "visible" */
  }
  bl_context_set_stroke_width(&ctx, 1.2);
  bl_context_stroke_path_d_rgba32(&ctx, &origin, &visible, 0xFFFFE2A8);

  bl_path_destroy(&ring);
  bl_path_destroy(&visible);
  bl_path_destroy(&land);
  free(crosses);
  free(offsets);
  ordane_free_shp_data(shp);

  /* tour: end */

  bl_context_end(&ctx);
  const BLResult written = bl_image_write_to_file(&image, out, NULL);
  bl_context_destroy(&ctx);
  bl_image_destroy(&image);
  if (written != BL_SUCCESS) {
    fprintf(stderr, "tour_map: cannot write %s\n", out);
    return 1;
  }
  printf("wrote %s\n", out);
  return 0;
}
