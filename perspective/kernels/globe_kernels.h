// The globe's per-pixel kernels: the set-up of one call as plain records,
// and one row kernel per instruction-set level.
//
// Included by the per-ISA files, which are built with their own target
// flags: only records and declarations here, no inline code (see
// cpu_dispatch.h for why).
#ifndef TORVIK_PERSPECTIVE_KERNELS_GLOBE_KERNELS_H
#define TORVIK_PERSPECTIVE_KERNELS_GLOBE_KERNELS_H

#include <cstdint>

#include "simd_level.h"

namespace torvik {

// The texture as the kernels address it.
struct GlobeTexture {
  const uint32_t* texels;
  int64_t row_words;  // texture_stride / 4, negative for bottom-up storage
  int64_t last_column;
  int64_t last_row;
};

// Everything that depends on the call's arguments alone.
struct GlobeTerms {
  double center_x, center_y;
  double radius;
  double cos_tilt, sin_tilt;
  double rotation;    // radians
  double inv;         // 1 / radius
  double r2;          // radius * radius
  double halo;        // 1.15 * radius: outer edge of the glow ring
  double glow_width;  // 0.15 * radius
  bool atmosphere_on;
  uint32_t atmosphere;
  double atmo_a, atmo_r, atmo_g, atmo_b;  // the atmosphere's channels
};

// The clipped square of one call: rows y0..y1 and columns x0..x1 of the
// buffer, all inside it; row y starts at pixels + y * row_words.
struct GlobeSquare {
  uint32_t* pixels;
  int64_t row_words;
  int64_t x0, x1, y0, y1;
};

struct GlobeCall {
  GlobeTerms terms;
  GlobeTexture texture;
  GlobeSquare square;
};

// Digests the arguments of a call whose checks have passed. Returns false
// when nothing is to be drawn: a centre or radius that cannot be placed, or
// a glow square that misses the buffer.
bool globe_setup(uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                 const uint32_t* texture, int32_t texture_width, int32_t texture_height,
                 int32_t texture_stride, double center_x, double center_y, double radius,
                 double rotation, double tilt, uint32_t atmosphere, GlobeCall& call);

// Paints the globe and its glow into the square, row by row; one definition
// per level. The vector levels give the same bits as each other.
void render_globe_scalar(const GlobeCall& call);
void render_globe_sse2(const GlobeCall& call);
void render_globe_avx2(const GlobeCall& call);
void render_globe_avx512(const GlobeCall& call);

// One level's kernels (see KernelTables in cpu_dispatch.h).
struct GlobeKernels {
  void (*render_globe)(const GlobeCall& call);
};

const GlobeKernels& globe_kernels(quillon::SimdLevel level);

// The export's entry point: runs the kernel of `level` (which the CPU must
// support).
void render_globe(quillon::SimdLevel level, const GlobeCall& call);

}  // namespace torvik

#endif  // TORVIK_PERSPECTIVE_KERNELS_GLOBE_KERNELS_H
