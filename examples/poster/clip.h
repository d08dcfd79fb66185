// Clipping projected rings and lines to a rectangle, in map coordinates.
// The context's clip rectangle keeps pixels inside a panel (the sparks use
// it); this cuts the geometry itself: rings at a cone's edge and the tilted
// sheet's outline, before they are built into paths and bent by the camera.
#ifndef QUILLON_POSTER_CLIP_H
#define QUILLON_POSTER_CLIP_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace poster {

struct Rect {
  double x0, y0, x1, y1;  // x0 <= x1, y0 <= y1
};

// Clips the ring of "n" pairs at "pts" to "r" and appends the result to
// "out", closed by repeating its first point. Non-finite points are dropped.
// Returns the number of pairs appended (0 when nothing of the ring is left).
size_t clip_ring(const double* pts, size_t n, const Rect& r, std::vector<double>& out);

// Clips the line of "n" pairs at "pts" to "r". Every piece left inside is
// appended to "out" with its end offset (in pairs) pushed to "ends".
void clip_line(const double* pts, size_t n, const Rect& r, std::vector<double>& out,
               std::vector<int64_t>& ends);

}  // namespace poster

#endif  // QUILLON_POSTER_CLIP_H
