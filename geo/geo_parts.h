// Building the library-owned GeoParts of the cutting and densifying
// exports: points and parts are gathered in vectors, then copied into
// malloc'ed arrays of the exact size, so that ordane_free_parts() can
// release them with free() whatever built them.
#ifndef ORDANE_GEO_GEO_PARTS_H
#define ORDANE_GEO_GEO_PARTS_H

#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

#include "ordane.h"

namespace ordane {
namespace carto {

// The most points a result may hold: INT64_MAX / 16, so that every byte
// size and index computed from it fits in 64 bits.
constexpr int64_t kMaxPoints = INT64_MAX / 16;

// Thrown (and caught in the export) when a result would pass kMaxPoints.
struct TooLarge {};

class PartsBuilder {
 public:
  PartsBuilder() { offsets_.push_back(0); }

  // Room for about "n" points, so that growing does not copy them again
  // and again; a hint only.
  void expect(int64_t n) {
    if (n <= 0 || n > kMaxPoints) return;
    try {
      points_.reserve(static_cast<size_t>(n) * 2 + 64);
    } catch (const std::bad_alloc&) {
      // Only a hint: the points will be added one by one.
    } catch (const std::length_error&) {
    }
  }
  void add(double x, double y) {
    if (static_cast<int64_t>(points_.size() / 2) >= kMaxPoints) throw TooLarge{};
    points_.push_back(x);
    points_.push_back(y);
  }
  // Makes sure "n" more points fit under kMaxPoints before they are made
  // one by one (n may be a huge double from a tiny step).
  void reserve_check(double n) const {
    const double have = static_cast<double>(points_.size() / 2);
    if (!(n >= 0) || n + have > static_cast<double>(kMaxPoints)) throw TooLarge{};
  }
  int64_t part_points() const {
    return static_cast<int64_t>(points_.size() / 2) - offsets_.back();
  }
  void drop_last() {
    points_.pop_back();
    points_.pop_back();
  }
  // Removes the points added since the last end_part().
  void drop_part() { points_.resize(static_cast<size_t>(offsets_.back()) * 2); }
  void end_part(int64_t source, int32_t flags) {
    offsets_.push_back(static_cast<int64_t>(points_.size() / 2));
    sources_.push_back(source);
    flags_.push_back(flags);
  }
  double* part_data() { return points_.data() + offsets_.back() * 2; }

  // Moves the result into a new GeoParts; false when malloc fails.
  bool finish(GeoParts** out);

 private:
  std::vector<double> points_;
  std::vector<int64_t> offsets_;
  std::vector<int64_t> sources_;
  std::vector<int32_t> flags_;
};

// The number of points the parts span, when their first and last offsets
// are usable (0 otherwise): a size hint.
inline int64_t span_hint(const int64_t* offsets, int64_t part_count) {
  const int64_t a = offsets[0], b = offsets[part_count];
  return (a >= 0 && b >= a && b <= kMaxPoints) ? b - a : 0;
}

// Part i's bounds when they are usable: 0 <= start <= end <= kMaxPoints.
inline bool part_bounds(const int64_t* offsets, int64_t i, int64_t* start, int64_t* end) {
  const int64_t s = offsets[i], e = offsets[i + 1];
  if (s < 0 || e < s || e > kMaxPoints) return false;
  *start = s;
  *end = e;
  return true;
}

}  // namespace carto
}  // namespace ordane

#endif  // ORDANE_GEO_GEO_PARTS_H
