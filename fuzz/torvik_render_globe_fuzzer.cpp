// libFuzzer target for torvik_render_globe: arbitrary geometry, sizes and
// strides (negative ones addressing bottom-up buffers) on small pixel and
// texture buffers. Each buffer is allocated at exactly the span its rows
// address, inside guard bytes; after the call the guards, the bytes between
// rows and the whole texture must be as they were.

#include <torvik.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_input.h"

namespace {

inline void check(bool ok) {
  if (!ok) __builtin_trap();
}

constexpr size_t kGuardWords = 16;
constexpr uint32_t kGuard = 0xA5C3E1F7u;
constexpr uint32_t kGap = 0x5A3C1E7Fu;

// A buffer of "rows" rows of "row_words" words whose starts are "step"
// words apart (negative: upwards in memory from the first row).
struct Rows {
  std::vector<uint32_t> mem;
  size_t top = 0;  // index in mem of row 0
  int64_t step = 0;
  int64_t rows = 0, row_words = 0;

  Rows(int64_t nrows, int64_t words, int64_t step_words) : step(step_words), rows(nrows),
                                                           row_words(words) {
    const int64_t mag = step < 0 ? -step : step;
    const int64_t span = (rows - 1) * mag + row_words;
    mem.assign(static_cast<size_t>(span) + 2 * kGuardWords, kGap);
    top = kGuardWords + static_cast<size_t>(step < 0 ? (rows - 1) * mag : 0);
    for (size_t i = 0; i < kGuardWords; ++i) {
      mem[i] = kGuard;
      mem[mem.size() - 1 - i] = kGuard;
    }
  }
  uint32_t* row0() { return mem.data() + top; }
  bool in_row(size_t i) const {
    for (int64_t y = 0; y < rows; ++y) {
      const int64_t start = static_cast<int64_t>(top) + y * step;
      const int64_t k = static_cast<int64_t>(i);
      if (k >= start && k < start + row_words) return true;
    }
    return false;
  }
};

// A stride in bytes for rows of "words" words: at least 4 * words in
// magnitude (plus a few spare words, and not always a multiple of 4), or,
// when the input asks, too short (the call must then refuse and write
// nothing).
int64_t pick_stride(quillon_fuzz::Input& in, int64_t words, bool* valid) {
  const uint8_t b = in.byte();
  const int64_t extra = b & 0x1F;  // bytes beyond the row
  int64_t stride = 4 * words + extra;
  *valid = true;
  if (b & 0x40) {
    stride = (b & 0x1F) % (4 * words);  // shorter than a row
    *valid = false;
  }
  return (b & 0x80) ? -stride : stride;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quillon_fuzz::Input in(data, size);
  // Sizes 0..32 (0 is refused).
  const int32_t width = in.byte() % 33;
  const int32_t height = in.byte() % 33;
  const int32_t tw = in.byte() % 17;
  const int32_t th = in.byte() % 17;
  bool stride_ok = true, tstride_ok = true;
  const int64_t stride = pick_stride(in, width > 0 ? width : 1, &stride_ok);
  const int64_t tstride = pick_stride(in, tw > 0 ? tw : 1, &tstride_ok);
  const double cx = in.number();
  const double cy = in.number();
  const double radius = in.number();
  const double rotation = in.number();
  const double tilt = in.number();
  const uint32_t atmosphere = in.take<uint32_t>();

  // The words between row starts are stride / 4, truncated toward zero.
  Rows px(height > 0 ? height : 1, width > 0 ? width : 1, stride / 4 != 0 ? stride / 4 : 1);
  Rows tex(th > 0 ? th : 1, tw > 0 ? tw : 1, tstride / 4 != 0 ? tstride / 4 : 1);
  for (int64_t y = 0; y < tex.rows; ++y) {
    for (int64_t x = 0; x < tex.row_words; ++x) {
      tex.mem[static_cast<size_t>(static_cast<int64_t>(tex.top) + y * tex.step + x)] =
          in.take<uint32_t>();
    }
  }
  const std::vector<uint32_t> px_before = px.mem;
  const std::vector<uint32_t> tex_before = tex.mem;

  const int32_t r = torvik_render_globe(px.row0(), width, height, static_cast<int32_t>(stride),
                                        tex.row0(), tw, th, static_cast<int32_t>(tstride), cx, cy,
                                        radius, rotation, tilt, atmosphere);
  // A NaN radius is not refused: like an infinite one it draws nothing.
  const bool valid = width > 0 && height > 0 && tw > 0 && th > 0 && stride_ok && tstride_ok &&
                     !(radius <= 0.0);
  check(r == (valid ? 0 : -1));
  check(tex.mem == tex_before);
  if (!valid) {
    check(px.mem == px_before);
    return 0;
  }
  // Only the addressed rows may change.
  for (size_t i = 0; i < px.mem.size(); ++i) {
    if (px.mem[i] != px_before[i]) check(px.in_row(i));
  }
  return 0;
}
