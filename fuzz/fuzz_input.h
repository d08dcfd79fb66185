// fuzz_input.h - reads typed values off the front of a fuzzer's input. Past
// the end every read gives zero, so any input decodes to some call.
#ifndef QUILLON_FUZZ_FUZZ_INPUT_H
#define QUILLON_FUZZ_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quillon_fuzz {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : p_(data), left_(size) {}

  size_t left() const { return left_; }

  template <typename T>
  T take() {
    T v{};
    const size_t n = left_ < sizeof v ? left_ : sizeof v;
    if (n) std::memcpy(&v, p_, n);
    p_ += n;
    left_ -= n;
    return v;
  }

  uint8_t byte() { return take<uint8_t>(); }

  // A double that is either the raw 8 bytes (any bit pattern, NaN and
  // infinities included) or, more often, a small value that makes sense as
  // a coordinate: a 16-bit integer scaled by 1/16.
  double number() {
    const uint8_t mode = byte();
    if (mode < 64) return take<double>();
    return static_cast<double>(take<int16_t>()) / 16.0;
  }

 private:
  const uint8_t* p_;
  size_t left_;
};

}  // namespace quillon_fuzz

#endif  // QUILLON_FUZZ_FUZZ_INPUT_H
