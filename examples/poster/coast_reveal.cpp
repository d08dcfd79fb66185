#include "coast_reveal.h"

#include <velket.h>

#include <algorithm>
#include <numeric>

namespace poster {

CoastReveal::CoastReveal(std::deque<Path>* lines, std::vector<double> lengths)
    : lines_(lines), by_length_(lines->size()) {
  std::iota(by_length_.begin(), by_length_.end(), size_t{0});
  std::stable_sort(by_length_.begin(), by_length_.end(),
                   [&](size_t a, size_t b) { return lengths[a] > lengths[b]; });
}

void CoastReveal::trim(double fraction, Path* out, std::vector<BLPoint>* tips,
                       size_t max_tips) const {
  if (!(fraction > 0.0)) return;
  for (size_t rank = 0; rank < by_length_.size(); ++rank) {
    const Path& line = (*lines_)[by_length_[rank]];
    const size_t before = out->size();
    velket_trim_path(line.get(), out->get(), 0.0, std::min(fraction, 1.0), 0.0);
    // The pen sits on the last vertex appended, unless the line is complete.
    if (tips && rank < max_tips && fraction < 1.0 && out->size() > before)
      tips->push_back(bl_path_get_vertex_data(out->get())[out->size() - 1]);
  }
}

void CoastReveal::tips(double fraction, std::vector<BLPoint>* tips, size_t max_tips) const {
  if (!(fraction > 0.0) || !(fraction < 1.0)) return;
  Path piece;
  for (size_t rank = 0; rank < by_length_.size() && rank < max_tips; ++rank) {
    piece.clear();
    velket_trim_path((*lines_)[by_length_[rank]].get(), piece.get(), 0.0, fraction, 0.0);
    if (piece.size() > 0) tips->push_back(bl_path_get_vertex_data(piece.get())[piece.size() - 1]);
  }
}

}  // namespace poster
