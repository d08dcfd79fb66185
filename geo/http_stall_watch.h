// http_stall_watch.h - the download's stall rule, shared by the platforms'
// downloads: a transfer is abandoned once fewer than
// ORDANE_HTTP_STALL_MIN_BYTES bytes arrived over the last
// ORDANE_HTTP_STALL_WINDOW_S seconds.
#ifndef ORDANE_GEO_HTTP_STALL_WATCH_H
#define ORDANE_GEO_HTTP_STALL_WATCH_H

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "ordane.h"

namespace ordane {

// Samples of the byte count are kept at most once a second, in a ring long
// enough to reach one whole window back; the caller asks at least that often
// (libcurl's progress callback runs about once a second even when nothing
// arrives, and each WinHTTP read waits at most one window).
class StallWatch {
 public:
  using Clock = std::chrono::steady_clock;

  void start(Clock::time_point now, uint64_t arrived) {
    count_ = 0;
    next_ = 0;
    add(now, arrived);
  }

  // True once fewer than the minimum arrived over the last window;
  // "arrived" is the count of bytes so far, never decreasing.
  bool stalled(Clock::time_point now, uint64_t arrived) {
    const Sample& newest = samples_[(next_ + samples_.size() - 1) % samples_.size()];
    if (now - newest.time >= std::chrono::seconds(1)) add(now, arrived);
    // The most recent sample that is at least one window old.
    const Sample* base = nullptr;
    for (std::size_t i = 0; i < count_; ++i) {
      const Sample& s = samples_[i];
      if (now - s.time >= kWindow && (base == nullptr || s.time > base->time)) base = &s;
    }
    return base != nullptr && arrived - base->bytes < kMinBytes;
  }

 private:
  static constexpr std::chrono::seconds kWindow{ORDANE_HTTP_STALL_WINDOW_S};
  static constexpr uint64_t kMinBytes = ORDANE_HTTP_STALL_MIN_BYTES;

  struct Sample {
    Clock::time_point time;
    uint64_t bytes = 0;
  };

  void add(Clock::time_point now, uint64_t arrived) {
    samples_[next_] = Sample{now, arrived};
    next_ = (next_ + 1) % samples_.size();
    if (count_ < samples_.size()) ++count_;
  }

  // One sample a second at most: 32 of them always span more than a window.
  static_assert(ORDANE_HTTP_STALL_WINDOW_S < 31, "the ring must reach one window back");
  std::array<Sample, 32> samples_{};
  std::size_t count_ = 0;
  std::size_t next_ = 0;
};

}  // namespace ordane

#endif  // ORDANE_GEO_HTTP_STALL_WATCH_H
