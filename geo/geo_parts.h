// Building the library-owned GeoParts of the cutting and densifying
// exports: points and parts are gathered in malloc'ed buffers that grow
// with realloc, and the finished buffers become the GeoParts' arrays as
// they are (shrunk to their exact size), so that a result is never held
// twice and ordane_free_parts() releases it with free().
#ifndef ORDANE_GEO_GEO_PARTS_H
#define ORDANE_GEO_GEO_PARTS_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <type_traits>

#include "ordane.h"

namespace ordane {
namespace carto {

// The most points a result may hold: INT64_MAX / 16, so that every byte
// size and index computed from it fits in 64 bits.
constexpr int64_t kMaxPoints = INT64_MAX / 16;

// Thrown (and caught in the export) when a result would pass kMaxPoints.
struct TooLarge {};

// A growable array of plain values in one malloc'ed block, which release()
// hands over to its caller. Growing goes through realloc, which for large
// blocks moves pages rather than copying them, and a failed growth throws
// std::bad_alloc with the buffer left as it was.
template <typename T>
class Buffer {
  static_assert(std::is_trivially_copyable<T>::value, "a Buffer holds plain values");

 public:
  Buffer() = default;
  ~Buffer() { std::free(data_); }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  const T& back() const { return data_[size_ - 1]; }

  void push_back(T v) {
    if (size_ == capacity_) grow(1);
    data_[size_++] = v;
  }
  void push_back(T a, T b) {
    if (capacity_ - size_ < 2) grow(2);
    data_[size_] = a;
    data_[size_ + 1] = b;
    size_ += 2;
  }
  void pop_back() { --size_; }
  // Drops the values from n on; n <= size().
  void truncate(size_t n) { size_ = n; }

  // Room for "n" values in all; false (and nothing changed) when it cannot
  // be had.
  bool try_reserve(size_t n) {
    if (n <= capacity_) return true;
    if (n > kMax) return false;
    return adopt(std::realloc(data_, n * sizeof(T)), n);
  }

  // Gives the block, shrunk to size() values, to the caller, who frees it
  // with free(); null when empty. The buffer is empty afterwards.
  T* release() {
    T* p = data_;
    if (size_ == 0) {
      std::free(p);
      p = nullptr;
    } else if (size_ < capacity_) {
      // A failed shrink leaves the larger block, which is as good.
      void* q = std::realloc(p, size_ * sizeof(T));
      if (q != nullptr) p = static_cast<T*>(q);
    }
    data_ = nullptr;
    size_ = capacity_ = 0;
    return p;
  }

 private:
  // No size in bytes may pass PTRDIFF_MAX.
  static constexpr size_t kMax = static_cast<size_t>(PTRDIFF_MAX) / sizeof(T);

  // Makes room for "more" values beyond size(), at least doubling the
  // capacity so that adding n values costs O(n).
  void grow(size_t more) {
    if (more > kMax - size_) throw std::bad_alloc();
    const size_t need = size_ + more;
    size_t cap = capacity_ < 16 ? 16 : capacity_;
    cap = cap > kMax / 2 ? kMax : cap * 2;
    if (cap < need) cap = need;
    if (!adopt(std::realloc(data_, cap * sizeof(T)), cap)) throw std::bad_alloc();
  }
  bool adopt(void* p, size_t cap) {
    if (p == nullptr) return false;
    data_ = static_cast<T*>(p);
    capacity_ = cap;
    return true;
  }

  T* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

class PartsBuilder {
 public:
  PartsBuilder() { offsets_.push_back(0); }

  // Room for about "n" points, so that growing does not copy them again
  // and again; a hint only.
  // Only a hint: when the room cannot be had, the points are added one by one.
  void expect(int64_t n) {
    if (n <= 0 || n > kMaxPoints) return;
    (void)points_.try_reserve(static_cast<size_t>(n) * 2 + 64);
  }
  void add(double x, double y) {
    if (static_cast<int64_t>(points_.size() / 2) >= kMaxPoints) throw TooLarge{};
    points_.push_back(x, y);
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
  void drop_part() { points_.truncate(static_cast<size_t>(offsets_.back()) * 2); }
  void end_part(int64_t source, int32_t flags) {
    offsets_.push_back(static_cast<int64_t>(points_.size() / 2));
    sources_.push_back(source);
    flags_.push_back(flags);
  }
  double* part_data() { return points_.data() + offsets_.back() * 2; }

  // Hands the buffers over to a new GeoParts written to *out; false (the
  // builder and *out unchanged) when its record cannot be allocated.
  bool finish(GeoParts** out);

 private:
  Buffer<double> points_;
  Buffer<int64_t> offsets_;
  Buffer<int64_t> sources_;
  Buffer<int32_t> flags_;
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
