// Drawing the coastline on: every coastline piece trimmed to the same
// fraction of its length with velket_trim_path.
#ifndef QUILLON_POSTER_COAST_REVEAL_H
#define QUILLON_POSTER_COAST_REVEAL_H

#include <deque>
#include <vector>

#include "bl_objects.h"

namespace poster {

class CoastReveal {
 public:
  // "lines" in panel pixels; "lengths" their lengths, to pick the long ones.
  CoastReveal(std::deque<Path>* lines, std::vector<double> lengths);

  // Appends the first "fraction" of every piece to "out"; "tips" receives
  // where the pen is on the "max_tips" longest pieces.
  void trim(double fraction, Path* out, std::vector<BLPoint>* tips, size_t max_tips) const;

  // Only the pen positions that trim() gives, without building the path:
  // the sparks need them for every frame, the picture only for its own.
  void tips(double fraction, std::vector<BLPoint>* tips, size_t max_tips) const;

  const std::deque<Path>& lines() const { return *lines_; }

 private:
  std::deque<Path>* lines_;
  std::vector<size_t> by_length_;  // indices, longest first
};

}  // namespace poster

#endif  // QUILLON_POSTER_COAST_REVEAL_H
