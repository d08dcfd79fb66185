/* velket.h - libvelket, the motion library.
 *
 * Easing curves (cubic Bezier timing function, damped spring), a 2D particle
 * system with gravity, drag and attractor forces that draws into a Blend2D
 * rendering context, and trimming a Blend2D path to a fraction of its length.
 *
 * Handles: a ParticleSystem is created by velket_ps_create() and released by
 * velket_ps_destroy(). Every export accepts a null handle and then does
 * nothing. One handle must not be used by two threads at once; emission on
 * all handles shares the C runtime's rand() generator, which the library
 * never seeds.
 *
 * Colours are 0xAARRGGBB, not premultiplied, as Blend2D's *_rgba32 calls take
 * them. This header is valid C (C99 and later) and C++.
 */
#ifndef VELKET_H
#define VELKET_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(VELKET_BUILDING)
#    define VELKET_API __declspec(dllexport)
#  else
#    define VELKET_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define VELKET_API __attribute__((visibility("default")))
#else
#  define VELKET_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Blend2D objects owned by the caller (see <blend2d/blend2d.h>). */
struct BLPathCore;
struct BLContextCore;

/* ========================================================================
 * Easing curves
 * ======================================================================== */

/* velket_cubic_bezier_evaluate(): y of the timing curve through (0, 0),
 * ("x1", "y1"), ("x2", "y2"), (1, 1) at progress "x". Exactly 0.0 for
 * x <= 0 and 1.0 for x >= 1. */
VELKET_API double velket_cubic_bezier_evaluate(double x, double x1, double y1, double x2,
                                               double y2);

/* velket_spring_evaluate(): position (0 at rest, 1 at the target) at time "t"
 * of a mass-spring-damper released with initial velocity "velocity". Exactly
 * 0.0 for t <= 0; a "mass" <= 0 counts as 1. Not clamped: overshoots. */
VELKET_API double velket_spring_evaluate(double t, double stiffness, double damping, double mass,
                                         double velocity);

/* ========================================================================
 * Particle system
 * ======================================================================== */

/* Opaque handle. */
typedef struct ParticleSystem ParticleSystem;

/* velket_ps_create(): a new, empty system. "max_particles" 0 means 10000.
 * Never returns null (running out of memory ends the process). */
VELKET_API ParticleSystem* velket_ps_create(uint64_t max_particles);

/* velket_ps_destroy(): releases "ps"; null does nothing. */
VELKET_API void velket_ps_destroy(ParticleSystem* ps);

/* velket_ps_clear(): removes every particle and every force. */
VELKET_API void velket_ps_clear(ParticleSystem* ps);

/* Forces act in the order they were added; duplicates each act. */
VELKET_API void velket_ps_add_gravity(ParticleSystem* ps, double gx, double gy);
VELKET_API void velket_ps_add_drag(ParticleSystem* ps, double drag);
VELKET_API void velket_ps_add_attractor(ParticleSystem* ps, double x, double y, double strength);

/* velket_ps_emit(): appends up to "count" particles at ("x", "y") while fewer
 * than max_particles live. Speed, angle (radians from +x towards +y), life
 * and spin are drawn from rand() in that order, four draws per particle. */
VELKET_API void velket_ps_emit(ParticleSystem* ps, uint64_t count, double x, double y,
                               double speed_min, double speed_max, double angle_min,
                               double angle_max, double life_min, double life_max,
                               double size_start, double size_end, uint32_t color_start,
                               uint32_t color_end);

/* velket_ps_update(): advances every particle by "dt" (> 0; otherwise
 * nothing changes) and removes those whose life falls to 0 or below, keeping
 * the order of the survivors. Allocates nothing. */
VELKET_API void velket_ps_update(ParticleSystem* ps, double dt);

/* velket_ps_get_count(): number of live particles; 0 for null. */
VELKET_API uint64_t velket_ps_get_count(const ParticleSystem* ps);

/* velket_ps_render(): fills one circle per particle larger than 0.2 into the
 * Blend2D context "ctx", oldest first, its colour blended from the start to
 * the end colour by the fraction of life spent. */
VELKET_API void velket_ps_render(const ParticleSystem* ps, struct BLContextCore* ctx);

/* ========================================================================
 * Path trimming
 * ======================================================================== */

/* velket_trim_path(): appends to "dst" the part of "src" between the
 * fractions "start" and "end" of its length, both shifted by "offset" and
 * wrapped into one turn. The vertices of "src" are measured as one polyline.
 * "src" and "dst" may be the same path. Returns -1 when either is null,
 * otherwise 0 (also when nothing was appended). */
VELKET_API int32_t velket_trim_path(const struct BLPathCore* src, struct BLPathCore* dst,
                                    double start, double end, double offset);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VELKET_H */
