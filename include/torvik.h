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

/* Version of this header and of the library built from it. The major number
 * is the library's SONAME version (libtorvik.so.{MAJOR}): it changes only when
 * an export or a record changes incompatibly. TORVIK_VERSION packs the three
 * numbers for comparisons: TORVIK_VERSION >= TORVIK_MAKE_VERSION(1, 0, 0). */
#define TORVIK_VERSION_MAJOR 1
#define TORVIK_VERSION_MINOR 0
#define TORVIK_VERSION_PATCH 0
#define TORVIK_MAKE_VERSION(major, minor, patch) (((major) << 16) | ((minor) << 8) | (patch))
#define TORVIK_VERSION \
  TORVIK_MAKE_VERSION(TORVIK_VERSION_MAJOR, TORVIK_VERSION_MINOR, TORVIK_VERSION_PATCH)

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

/* Result codes of the exports that return int32_t. No export lets an
 * exception or any other error escape: every failure, running out of memory
 * included, is reported through the export's own result. */
#define TORVIK_OK                     0  /* success */
#define TORVIK_ERR_INVALID_ARGUMENT (-1) /* a required pointer is null, or a bad size */
#define TORVIK_ERR_OUT_OF_MEMORY    (-2) /* memory ran out; see each export */

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

/* torvik_project_point(): projects the plane point ("x", "y") through
 * "camera". Returns 1 when the point is visible (its depth is greater than
 * the near distance), 0 when it is hidden or "camera" is null.
 *
 * Each non-null output receives screen x, screen y (pixels, origin top left,
 * y down) and the scale (distance / depth); a hidden point writes 0 to each.
 * A null output is skipped; a null camera writes nothing. A NaN coordinate
 * yields a NaN depth, which counts as visible: the result is 1 and the
 * outputs are NaN. Other camera fields are used as given (fov 0 gives
 * infinite positions). */
TORVIK_API int32_t torvik_project_point(double x, double y, const PerspectiveCamera* camera,
                                        double* out_x, double* out_y, double* out_scale);

/* torvik_transform_points(): projects "count" (x, y) pairs of "points" into
 * the "count" pairs of "out_points"; "out_scales" (count doubles) and
 * "out_visible" (count bytes, 1 visible, 0 hidden) may be null and are then
 * skipped. Each point is projected as by torvik_project_point(); a hidden
 * point writes (0, 0), scale 0 and flag 0.
 *
 * Returns the number of visible points. Returns 0 and writes nothing when
 * "count" is 0 or "points", "out_points" or "camera" is null. Each pair is
 * read before it is written, so "out_points" may be the same array as
 * "points" (other overlaps are not supported). */
TORVIK_API int64_t torvik_transform_points(const double* points, double* out_points,
                                           double* out_scales, uint8_t* out_visible,
                                           uint64_t count, const PerspectiveCamera* camera);

/* torvik_transform_lines(): projects "count" segments (x0, y0, x1, y1) of
 * "segments" into "out_segments", each end as by torvik_project_point(); a
 * hidden end is written as (0, 0) and the segment is not shortened.
 * "out_scales" (may be null) receives (start scale + end scale) * 0.5, a
 * hidden end contributing 0; "out_visible" (may be null) receives 1 when
 * both ends are visible, else 0.
 *
 * Returns the number of segments with both ends visible. Returns 0 and
 * writes nothing when "count" is 0 or "segments", "out_segments" or "camera"
 * is null. All four numbers of a segment are read before it is written, so
 * "out_segments" may be the same array as "segments". */
TORVIK_API int64_t torvik_transform_lines(const double* segments, double* out_segments,
                                          double* out_scales, uint8_t* out_visible,
                                          uint64_t count, const PerspectiveCamera* camera);

/* torvik_transform_path(): clears "dst" and fills it with "src" projected
 * through "camera", using only move, line and close commands:
 *  - a hidden vertex ends the open figure; the next visible vertex starts a
 *    new one with a move;
 *  - a close command closes the figure still open (after a split, only the
 *    last run) and does nothing when none is open;
 *  - curve control points become corners of a polyline through them;
 *  - entries with a non-finite coordinate (conic weights among them) are
 *    skipped without splitting the figure.
 * "out_mean_scale" (may be null) receives the mean scale of the emitted
 * vertices, or 1.0 when none was emitted.
 *
 * Returns TORVIK_ERR_INVALID_ARGUMENT (-1) when "src", "dst" or "camera" is
 * null (nothing read or written), otherwise TORVIK_OK (0). An empty "src"
 * returns 0 at once and leaves "dst" and "out_mean_scale" untouched. When
 * "dst" cannot grow (out of memory) the result is TORVIK_ERR_OUT_OF_MEMORY
 * (-2), "dst" is left empty and "out_mean_scale" is not written.
 *
 * "src" and "dst" may be the same path; the result is then what a separate
 * "dst" would have received, built in the path's own storage without a copy
 * of the source (so it cannot run out of memory unless that storage is
 * shared with another path). The caller must not use either path, or a path
 * sharing its data, from another thread during the call. */
TORVIK_API int32_t torvik_transform_path(const struct BLPathCore* src, struct BLPathCore* dst,
                                         double* out_mean_scale,
                                         const PerspectiveCamera* camera);

/* torvik_render_globe(): paints an orthographic, shaded globe textured with
 * the equirectangular "texture" (longitude -180..180 across, latitude 90..-90
 * down; "texture_width" x "texture_height" texels, rows "texture_stride"
 * bytes apart) into "pixels" ("width" x "height" 0xAARRGGBB words, rows
 * "stride" bytes apart). Row y starts at word y * (stride / 4), so a
 * negative stride addresses a bottom-up buffer through a pointer to its
 * top row. The disc is centred at ("center_x", "center_y") with "radius"
 * pixels, spun by "rotation" degrees of longitude and tilted by "tilt"
 * degrees (positive brings the north pole toward the viewer).
 *
 * Globe pixels replace the destination (texture alpha included, shaded
 * channels truncated). An "atmosphere" colour with nonzero alpha tints the
 * rim and adds a saturating glow ring out to 1.15 x radius to the pixels
 * already there. Only the square around the ring, clipped to the buffer, is
 * read or written.
 *
 * Returns TORVIK_ERR_INVALID_ARGUMENT and writes nothing when "pixels" or
 * "texture" is null, "width", "height", "texture_width" or "texture_height"
 * is below 1, the magnitude of "stride" is below 4 * width or that of
 * "texture_stride" below 4 * texture_width, or "radius" is not positive.
 * Returns TORVIK_OK otherwise; a centre or radius that is NaN or infinite, a
 * radius whose square or reciprocal overflows, and a disc that misses the
 * buffer all draw nothing. A NaN or infinite "rotation" samples the first
 * texture column, and such a "tilt" the first texel, rather than reading
 * outside the texture. Calls on separate destination buffers may run at the
 * same time. */
TORVIK_API int32_t torvik_render_globe(uint32_t* pixels, int32_t width, int32_t height,
                                       int32_t stride, const uint32_t* texture,
                                       int32_t texture_width, int32_t texture_height,
                                       int32_t texture_stride, double center_x,
                                       double center_y, double radius, double rotation,
                                       double tilt, uint32_t atmosphere);

/* ========================================================================
 * Extensions
 *
 * Exports beyond the core set above, with the same conventions.
 * ======================================================================== */

#ifdef __cplusplus
} /* extern "C" */
#endif

/* Record layouts are part of the ABI: binding layers mirror them by hand. */
#if defined(__cplusplus)
#  define TORVIK_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#  define TORVIK_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
#ifdef TORVIK_STATIC_ASSERT
TORVIK_STATIC_ASSERT(sizeof(PerspectiveCamera) == 80, "PerspectiveCamera layout");
TORVIK_STATIC_ASSERT(offsetof(PerspectiveCamera, distance) == 48, "PerspectiveCamera.distance");
TORVIK_STATIC_ASSERT(offsetof(PerspectiveCamera, near_plane) == 72, "PerspectiveCamera.near_plane");
#  undef TORVIK_STATIC_ASSERT
#endif

#endif /* TORVIK_H */
