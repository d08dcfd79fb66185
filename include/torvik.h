/* torvik.h - libtorvik, the perspective library.
 *
 * Projects points of a flat plane (x right, y up) through a tilted, turned
 * and rolled pinhole camera onto a screen (origin top left, y down): single
 * points, Point arrays, line segments and whole Blend2D paths. Hidden points
 * are flagged and written as (0, 0) with scale 0; nothing is clipped
 * geometrically. Also paints a textured, shaded globe into a 32-bit pixel
 * buffer.
 *
 * Every export is re-entrant. This header is valid C (C99 and later) and C++.
 */
#ifndef TORVIK_H
#define TORVIK_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(TORVIK_BUILDING)
#    define TORVIK_API __declspec(dllexport)
#  else
#    define TORVIK_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define TORVIK_API __attribute__((visibility("default")))
#else
#  define TORVIK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A Blend2D path owned by the caller (BLPathCore of <blend2d/blend2d.h>). */
struct BLPathCore;

/* The camera, owned by the caller and only read. Angles in degrees. */
typedef struct PerspectiveCamera {
  double viewport_width;  /* pixels; the centre point lands at width / 2 */
  double viewport_height; /* pixels; with fov it sets the focal length */
  double fov;             /* vertical field of view */
  double pitch;           /* 0 looks straight down; more tips the far side away */
  double bearing;         /* plane direction shown straight up, from +y towards +x */
  double roll;            /* picture rotation, positive counter-clockwise on screen */
  double distance;        /* depth of the centre point; scale 1 there */
  double center_x;        /* plane point shown at the viewport centre */
  double center_y;
  double near_plane;      /* smallest visible depth; <= 1 or NaN stands for 10 */
} PerspectiveCamera;

/* torvik_project_point(): projects the plane point ("x", "y"). Returns 1 when
 * it is visible, 0 when it is hidden or "camera" is null. Each non-null
 * output is written (0 for a hidden point); a null camera writes nothing. */
TORVIK_API int32_t torvik_project_point(double x, double y, const PerspectiveCamera* camera,
                                        double* out_x, double* out_y, double* out_scale);

/* torvik_transform_points(): projects "count" pairs of "points" into
 * "out_points" (which may be "points"); "out_scales" and "out_visible" may be
 * null. Returns the number of visible points; 0 and nothing written when
 * count is 0 or points, out_points or camera is null. */
TORVIK_API int64_t torvik_transform_points(const double* points, double* out_points,
                                           double* out_scales, uint8_t* out_visible,
                                           uint64_t count, const PerspectiveCamera* camera);

/* torvik_transform_lines(): projects "count" segments (x0, y0, x1, y1) of
 * "segments" into "out_segments" (which may be "segments"). "out_scales"
 * receives each segment's mean end scale and "out_visible" 1 when both ends
 * are visible; both may be null. Returns the number of segments with both
 * ends visible; 0 and nothing written when count is 0 or segments,
 * out_segments or camera is null. */
TORVIK_API int64_t torvik_transform_lines(const double* segments, double* out_segments,
                                          double* out_scales, uint8_t* out_visible,
                                          uint64_t count, const PerspectiveCamera* camera);

/* torvik_transform_path(): clears "dst" and fills it with "src" projected
 * through "camera", breaking figures at hidden vertices and turning curves
 * into polylines through their control points. "out_mean_scale" (may be
 * null) receives the mean scale of the emitted vertices, 1.0 when none was
 * emitted. An empty "src" returns 0 and leaves "dst" and "out_mean_scale"
 * untouched. "src" and "dst" may be the same path. Returns -1 when src, dst
 * or camera is null, otherwise 0. */
TORVIK_API int32_t torvik_transform_path(const struct BLPathCore* src, struct BLPathCore* dst,
                                         double* out_mean_scale,
                                         const PerspectiveCamera* camera);

/* torvik_render_globe(): paints an orthographic, shaded globe textured with
 * the equirectangular "texture" into "pixels" (0xAARRGGBB words, rows
 * "stride" bytes apart), centred at ("center_x", "center_y") with "radius"
 * pixels, spun by "rotation" and tilted by "tilt" degrees. An "atmosphere"
 * colour with nonzero alpha tints the rim and adds a glow ring out to 1.15 x
 * radius. Returns 0, or -1 (nothing written) for a null buffer or texture, a
 * non-positive size or radius, or a stride smaller in magnitude than four
 * bytes per pixel. */
TORVIK_API int32_t torvik_render_globe(uint32_t* pixels, int32_t width, int32_t height,
                                       int32_t stride, const uint32_t* texture,
                                       int32_t texture_width, int32_t texture_height,
                                       int32_t texture_stride, double center_x,
                                       double center_y, double radius, double rotation,
                                       double tilt, uint32_t atmosphere);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* Record layouts are part of the ABI: binding layers mirror them by hand. */
#if defined(__cplusplus)
static_assert(sizeof(PerspectiveCamera) == 80, "PerspectiveCamera layout");
static_assert(offsetof(PerspectiveCamera, distance) == 48, "PerspectiveCamera.distance");
static_assert(offsetof(PerspectiveCamera, near_plane) == 72, "PerspectiveCamera.near_plane");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(PerspectiveCamera) == 80, "PerspectiveCamera layout");
_Static_assert(offsetof(PerspectiveCamera, distance) == 48, "PerspectiveCamera.distance");
_Static_assert(offsetof(PerspectiveCamera, near_plane) == 72, "PerspectiveCamera.near_plane");
#endif

#endif /* TORVIK_H */
