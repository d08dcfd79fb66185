// libFuzzer target for velket_trim_path: an arbitrary path and fractions,
// trimmed into a separate path or onto itself. The appended entries must
// equal, bit for bit, those of a plain reference walk that keeps a table of
// running lengths, and the earlier content of the destination must stay.

#include <velket.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "path_fuzz_common.h"

using quillon_fuzz::check;
using quillon_fuzz::Input;
using quillon_fuzz::Path;

namespace {

struct Entry {
  uint8_t cmd;
  BLPoint p;
};

// The trimming rules, written as directly as possible: the finite vertices
// with their running lengths in a table, each piece found by a full scan.
void reference_piece(const std::vector<BLPoint>& v, const std::vector<double>& len, double a,
                     double b, std::vector<Entry>* out) {
  bool started = false;
  for (size_t i = 1; i < v.size(); ++i) {
    const double l0 = len[i - 1];
    const double l1 = len[i];
    if (a > l1) continue;
    if (l0 > b) break;
    const double seg = l1 - l0;
    auto at = [&](double t) {
      if (t < 0.0) t = 0.0;
      if (t > 1.0) t = 1.0;
      return BLPoint{(v[i].x - v[i - 1].x) * t + v[i - 1].x, (v[i].y - v[i - 1].y) * t + v[i - 1].y};
    };
    if (!started) {
      out->push_back(Entry{BL_PATH_CMD_MOVE, at(seg > 0.0 && l0 < a ? (a - l0) / seg : 0.0)});
      started = true;
    }
    out->push_back(Entry{BL_PATH_CMD_ON, at(b < l1 && seg > 0.0 ? (b - l0) / seg : 1.0)});
  }
}

// The entries velket_trim_path should append; whole = the source as it is.
std::vector<Entry> reference(const BLPathCore* src, double start, double end, double offset,
                             bool* whole) {
  *whole = false;
  std::vector<Entry> out;
  const size_t n = bl_path_get_size(src);
  const BLPoint* pts = bl_path_get_vertex_data(src);
  std::vector<BLPoint> v;
  std::vector<double> len;
  double total = 0.0;
  for (size_t i = 0; i < n; ++i) {
    if (!std::isfinite(pts[i].x) || !std::isfinite(pts[i].y)) continue;
    if (!v.empty()) total += std::hypot(pts[i].x - v.back().x, pts[i].y - v.back().y);
    v.push_back(pts[i]);
    len.push_back(total);
  }
  if (v.size() < 2 || total <= 1e-6) return out;
  if (std::fabs(start - end) >= 1.0) {
    *whole = true;
    return out;
  }
  double s = std::fmod(start + offset, 1.0);
  double e = std::fmod(end + offset, 1.0);
  if (s < 0.0) s += 1.0;
  if (e < 0.0) e += 1.0;
  if (s > e) {
    reference_piece(v, len, s * total, total, &out);
    reference_piece(v, len, 0.0, e * total, &out);
  } else {
    reference_piece(v, len, s * total, e * total, &out);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const double start = in.number();
  const double end = in.number();
  const double offset = in.number();
  const uint8_t flags = in.byte();

  Path src, dst;
  quillon_fuzz::build_path(in, &src.core, 512);
  if (flags & 1) bl_path_line_to(&dst.core, 5, 6);
  BLPathCore* out = (flags & 2) ? &src.core : &dst.core;

  // What the destination holds before, and what should follow it.
  const size_t before = bl_path_get_size(out);
  std::vector<Entry> earlier;
  for (size_t i = 0; i < before; ++i) {
    earlier.push_back(Entry{bl_path_get_command_data(out)[i], bl_path_get_vertex_data(out)[i]});
  }
  bool whole = false;
  const std::vector<Entry> want = reference(&src.core, start, end, offset, &whole);
  const size_t src_size = src.size();

  check(velket_trim_path(&src.core, out, start, end, offset) == VELKET_OK);

  const size_t after = bl_path_get_size(out);
  const uint8_t* cmd = bl_path_get_command_data(out);
  const BLPoint* vtx = bl_path_get_vertex_data(out);
  for (size_t i = 0; i < before; ++i) {
    check(cmd[i] == earlier[i].cmd);
    check(std::memcmp(&vtx[i], &earlier[i].p, sizeof(BLPoint)) == 0);
  }
  if (whole) {
    // The source appended unchanged (for src == dst, a copy of itself).
    check(after == before + src_size);
    const uint8_t* scmd = bl_path_get_command_data(&src.core);
    const BLPoint* svtx = bl_path_get_vertex_data(&src.core);
    for (size_t i = 0; i < src_size; ++i) {
      check(cmd[before + i] == scmd[i]);
      check(std::memcmp(&vtx[before + i], &svtx[i], sizeof(BLPoint)) == 0);
    }
    return 0;
  }
  check(after == before + want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    check(cmd[before + i] == want[i].cmd);
    check(std::memcmp(&vtx[before + i], &want[i].p, sizeof(BLPoint)) == 0);
  }
  return 0;
}
