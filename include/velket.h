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

/* Version of this header and of the library built from it. The major number
 * is the library's SONAME version (libvelket.so.{MAJOR}): it changes only when
 * an export or a record changes incompatibly. VELKET_VERSION packs the three
 * numbers for comparisons: VELKET_VERSION >= VELKET_MAKE_VERSION(1, 0, 0). */
#define VELKET_VERSION_MAJOR 1
#define VELKET_VERSION_MINOR 0
#define VELKET_VERSION_PATCH 0
#define VELKET_MAKE_VERSION(major, minor, patch) (((major) << 16) | ((minor) << 8) | (patch))
#define VELKET_VERSION \
  VELKET_MAKE_VERSION(VELKET_VERSION_MAJOR, VELKET_VERSION_MINOR, VELKET_VERSION_PATCH)

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

/* Result codes of the exports that return int32_t. No export lets an
 * exception or any other error escape: every failure, running out of memory
 * included, is reported through the export's own result. */
#define VELKET_OK                     0  /* success */
#define VELKET_ERR_INVALID_ARGUMENT (-1) /* a required pointer is null */
#define VELKET_ERR_OUT_OF_MEMORY    (-2) /* memory ran out; see each export */

/* Blend2D objects owned by the caller (see <blend2d/blend2d.h>). */
struct BLPathCore;
struct BLContextCore;

/* ========================================================================
 * Easing curves
 *
 * Pure functions: no state, no allocation, no argument checks, any number of
 * threads at once. Results are exact for a given input (the evaluation order
 * is fixed), so they may be compared bit for bit.
 * ======================================================================== */

/* velket_cubic_bezier_evaluate(): y of the timing curve through (0, 0),
 * ("x1", "y1"), ("x2", "y2"), (1, 1) at progress "x".
 *
 * Returns exactly 0.0 for x <= 0 and exactly 1.0 for x >= 1, whatever the
 * control points. Otherwise the curve parameter for "x" is found by Newton's
 * method from the guess x, stopping when x(s) is within 1e-6 of "x" or the
 * slope is below 1e-6 in magnitude, after at most 8 updates (each clamped to
 * [0, 1]); y at the last parameter is returned. There is no fallback when
 * Newton's method has not converged. Control-point x values outside [0, 1]
 * are accepted. A NaN "x" gives NaN. */
VELKET_API double velket_cubic_bezier_evaluate(double x, double x1, double y1, double x2,
                                               double y2);

/* velket_spring_evaluate(): position at time "t" of a mass-spring-damper
 * released at distance 1 from its target, 0 at the start and 1 at the
 * target, with initial slope -"velocity" (a positive velocity first moves
 * away from the target).
 *
 * Returns exactly 0.0 for t <= 0. A "mass" <= 0 counts as 1. With the damping
 * ratio z = damping / (2 sqrt(stiffness mass)): z < 1 is underdamped (the
 * result overshoots above 1; it is never clamped), 1 <= z < 1 + 1e-5 is
 * critically damped, anything else overdamped. A "stiffness" <= 0 or a NaN
 * "t" gives NaN. */
VELKET_API double velket_spring_evaluate(double t, double stiffness, double damping, double mass,
                                         double velocity);

/* ========================================================================
 * Particle system
 *
 * A ParticleSystem holds its particles in emission order (oldest first) and
 * its forces in the order they were added. Units are the caller's: time for
 * "dt", lifetimes and spin; length for positions and sizes (normally the
 * user space of the context the system is drawn into).
 *
 * Every export accepts a null handle and then does nothing (get_count
 * returns 0). No argument is validated: NaN, infinite, reversed or negative
 * values are used as given. Running out of memory is reported by the
 * export's result (create returns null, add_* VELKET_ERR_OUT_OF_MEMORY,
 * emit a count short of the request); the failed append leaves the system
 * as it was.
 *
 * Threads: a handle must not be used by two threads at once; distinct
 * handles are independent, except that velket_ps_emit() on any handle draws
 * from the C runtime's shared rand() generator.
 * ======================================================================== */

/* Opaque handle. */
typedef struct ParticleSystem ParticleSystem;

/* velket_ps_create(): a new, empty system (no particles, no forces) that
 * emits while fewer than "max_particles" particles live; 0 means 10000.
 * Room for min(max_particles, 10000) particles is reserved, so emission up
 * to that number never reallocates; larger limits grow the storage as
 * needed. Returns null only when memory runs out (nothing is then held).
 * Release with velket_ps_destroy(). */
VELKET_API ParticleSystem* velket_ps_create(uint64_t max_particles);

/* velket_ps_destroy(): releases "ps" and everything it holds; null does
 * nothing. */
VELKET_API void velket_ps_destroy(ParticleSystem* ps);

/* velket_ps_clear(): removes every particle and every force (forces must be
 * added again). The limit and the reserved storage stay. */
VELKET_API void velket_ps_clear(ParticleSystem* ps);

/* velket_ps_add_gravity(), velket_ps_add_drag(), velket_ps_add_attractor():
 * append one force. In each update the forces change every surviving
 * particle's velocity in the order they were added (duplicates each act):
 *   gravity:   v += (gx, gy) * dt
 *   drag:      v *= max(1 - drag * dt, 0)   (a strong drag stops the
 *              particle; forces added later still act in the same step)
 *   attractor: v += d / |d| * strength / (|d|^2 + 100) * dt, d = centre -
 *              position; softened by 100 so a particle at the centre gets
 *              no pull; a negative strength repels.
 * Forces cannot be removed one by one; see velket_ps_clear().
 * Each returns VELKET_OK when the force was appended,
 * VELKET_ERR_INVALID_ARGUMENT for a null "ps" and VELKET_ERR_OUT_OF_MEMORY
 * when the force list could not grow (the list is then unchanged). */
VELKET_API int32_t velket_ps_add_gravity(ParticleSystem* ps, double gx, double gy);
VELKET_API int32_t velket_ps_add_drag(ParticleSystem* ps, double drag);
VELKET_API int32_t velket_ps_add_attractor(ParticleSystem* ps, double x, double y,
                                           double strength);

/* velket_ps_emit(): appends up to "count" particles at ("x", "y"), stopping
 * as soon as max_particles live (tested before each particle, so a full
 * system draws nothing). Each particle draws exactly four values from
 * rand(), in this order: speed in [speed_min, speed_max], angle in
 * [angle_min, angle_max] (radians from +x towards +y), life in [life_min,
 * life_max], spin in [-5, 5]. A draw is r / 32767 * (hi - lo) + lo with r
 * uniform in 0..32767 (the top 15 bits of one rand() result); both ends
 * occur and hi < lo reverses the range. The library never seeds rand().
 * The particle starts with velocity speed * (cos angle, sin angle), life
 * and max_life the drawn life (even 0 or less: such a particle is counted
 * until the next update removes it), size "size_start", rotation 0.
 * Colours are 0xAARRGGBB, not premultiplied.
 *
 * Returns the number of particles appended: "count", or fewer when the
 * system filled up or memory ran out (0 for a null "ps"). Room for each
 * particle is made before its draws, so a particle that cannot be stored
 * draws nothing; the particles appended before it stay. */
VELKET_API uint64_t velket_ps_emit(ParticleSystem* ps, uint64_t count, double x, double y,
                                   double speed_min, double speed_max, double angle_min,
                                   double angle_max, double life_min, double life_max,
                                   double size_start, double size_end, uint32_t color_start,
                                   uint32_t color_end);

/* velket_ps_update(): advances every particle by "dt". Nothing at all
 * changes when dt <= 0 (a NaN dt is not rejected: every life becomes NaN
 * and, since only life <= 0 removes a particle, those particles are never
 * removed). Per particle: life -= dt; if life <= 0 the particle is removed;
 * otherwise the forces act on its velocity, then position += velocity * dt,
 * rotation += spin * dt and size moves from size_start towards size_end by
 * the fraction 1 - life / max_life. Survivors keep their order. Allocates
 * nothing. */
VELKET_API void velket_ps_update(ParticleSystem* ps, double dt);

/* velket_ps_get_count(): number of live particles; 0 for null. */
VELKET_API uint64_t velket_ps_get_count(const ParticleSystem* ps);

/* velket_ps_render(): fills one circle per particle of size above 0.2 into
 * the Blend2D rendering context "ctx" (centre at the particle, radius its
 * size), in array order, so younger particles paint over older ones. The
 * colour blends each 8-bit channel, alpha included, from color_start to
 * color_end by u = 1 - life / max_life, truncated toward zero; a channel
 * that is not a finite number becomes 0 (a zero-lifetime particle drawn
 * before its first update is fully transparent). The context's own
 * transform, clip and composition apply; fill errors are ignored. A
 * particle whose position or size is not finite, or whose circle lies
 * wholly outside the context's target image, is not drawn. A circle more
 * than 2^24 times the target's diagonal across is drawn as what it covers
 * of the target, its edge there being straight to within 1/2^27 of the
 * diagonal: the whole target (filled as by bl_context_fill_all_rgba32) when
 * every corner is inside, nothing when none is, else the half-plane the edge
 * bounds; so the call returns promptly for any size. Only reads "ps";
 * allocates nothing. Null "ps" or "ctx" does nothing. Neither may be
 * changed by another thread during the call. */
VELKET_API void velket_ps_render(const ParticleSystem* ps, struct BLContextCore* ctx);

/* ========================================================================
 * Path trimming
 * ======================================================================== */

/* velket_trim_path(): appends to "dst" the part of "src" between the
 * fractions "start" and "end" of its length, both shifted by "offset" and
 * wrapped into [0, 1) with fmod (so 1.0 wraps to 0).
 *
 * The finite vertices of "src" are measured as one polyline, whatever their
 * commands: curve control points are corners, the jump between figures
 * counts, close entries and conic weights add nothing. The piece is appended
 * as one move and straight lines, starting and ending exactly at the
 * fractions; a range that wraps past the end gives two such figures (from
 * start to the end of the path, then from its beginning to end). When
 * |start - end| >= 1 the whole of "src" is appended unchanged instead
 * (curves and closes kept).
 *
 * "src" is only read; "dst" is appended to, not cleared; they may be the
 * same path. Returns VELKET_ERR_INVALID_ARGUMENT (-1) when either is null
 * (nothing touched), VELKET_ERR_OUT_OF_MEMORY (-2) when memory runs out
 * ("dst" is then exactly as it was: the piece is appended whole or not at
 * all), otherwise VELKET_OK (0), also when nothing was appended: an empty
 * source, fewer than two finite vertices or a length of at most 1e-6 append
 * nothing, even for the whole range. No working array is allocated per
 * source vertex. NaN fractions are not caught. Re-entrant; nothing is
 * cached. */
VELKET_API int32_t velket_trim_path(const struct BLPathCore* src, struct BLPathCore* dst,
                                    double start, double end, double offset);

/* ========================================================================
 * Extensions
 *
 * Exports beyond the core set above, with the same conventions.
 * ======================================================================== */

/* ---- Easing over arrays ------------------------------------------------- */

/* velket_cubic_bezier_evaluate_array(): out[i] = velket_cubic_bezier_evaluate(
 * x[i], x1, y1, x2, y2) for i in [0, count), the same bits per element as the
 * scalar export, in index order.
 *
 * Returns VELKET_OK, or VELKET_ERR_INVALID_ARGUMENT when "x" is null or "out"
 * is null (checked in that order; nothing is written). A "count" of 0 writes
 * nothing and returns VELKET_OK. "out" may be "x" itself (each element is
 * read before it is written) but must not overlap it otherwise. Both arrays
 * hold "count" doubles, owned by the caller. No allocation; any number of
 * threads at once on distinct outputs. */
VELKET_API int32_t velket_cubic_bezier_evaluate_array(const double* x, double* out,
                                                     uint64_t count, double x1, double y1,
                                                     double x2, double y2);

/* velket_spring_evaluate_array(): out[i] = velket_spring_evaluate(t[i],
 * stiffness, damping, mass, velocity) for i in [0, count), the same bits per
 * element as the scalar export. Arguments, result codes and aliasing as for
 * velket_cubic_bezier_evaluate_array(). */
VELKET_API int32_t velket_spring_evaluate_array(const double* t, double* out, uint64_t count,
                                               double stiffness, double damping, double mass,
                                               double velocity);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VELKET_H */
