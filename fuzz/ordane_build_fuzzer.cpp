// libFuzzer target for the three path builders: an arbitrary transform (or
// none), points and part offsets, each array allocated at exactly the size
// the call is told, so that any read past its end is caught. The path must
// receive exactly the figures the offsets describe.

#include <ordane.h>

#include <memory>

#include "path_fuzz_common.h"

using quillon_fuzz::check;
using quillon_fuzz::Input;
using quillon_fuzz::Path;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t which = in.byte() % 3;
  const uint8_t flags = in.byte();

  GeoTransform t;
  double* fields[] = {&t.min_x, &t.min_y, &t.max_x, &t.max_y, &t.width,
                      &t.height, &t.offset_x, &t.offset_y, &t.scale};
  for (double* f : fields) *f = in.number();
  t.flip_y = in.byte() & 1;
  const GeoTransform* transform = (flags & 1) ? nullptr : &t;

  // Counts may be anything, also zero or negative: the arrays hold exactly
  // max(count, 0) entries (pairs for points).
  const int64_t count = static_cast<int64_t>(in.take<int8_t>());
  const int64_t part_count = static_cast<int64_t>(in.take<int8_t>()) % 17;
  const int64_t npoints = count > 0 ? count : 0;
  std::unique_ptr<double[]> points(new double[static_cast<size_t>(2 * npoints)]);
  for (int64_t i = 0; i < 2 * npoints; ++i) points[static_cast<size_t>(i)] = in.number();
  const int64_t noffsets = part_count > 0 ? part_count + 1 : 0;
  std::unique_ptr<int64_t[]> offsets(new int64_t[static_cast<size_t>(noffsets)]);
  // Offsets are mostly inside the points. Sometimes they are any 64-bit
  // value that no array of pairs can reach (negative, or beyond
  // INT64_MAX / 16), which the builders must skip; offsets past these
  // arrays that an array could reach break the caller's side of the
  // contract and are not fed.
  constexpr int64_t kUnreachable = INT64_MAX / 16;
  for (int64_t i = 0; i < noffsets; ++i) {
    const uint8_t mode = in.byte();
    int64_t v = static_cast<int64_t>(mode % (npoints + 1));
    if (mode < 32) {
      v = in.take<int64_t>();
      if (v > npoints && v <= kUnreachable) v = -v;
    }
    offsets[static_cast<size_t>(i)] = v;
  }

  Path path;
  int32_t r = 0;
  int64_t want = 0;  // entries the path should receive
  const double* pts = (flags & 2) ? nullptr : points.get();
  switch (which) {
    case 0:
    case 2: {
      const int64_t min_points = which == 0 ? 3 : 2;
      r = which == 0 ? ordane_build_polygon(&path.core, pts, offsets.get(), part_count, transform)
                     : ordane_build_multilinestring(&path.core, pts, offsets.get(), part_count,
                                                    transform);
      if (part_count <= 0 || !pts) {
        check(r == ORDANE_ERR_INVALID_ARGUMENT && path.size() == 0);
        return 0;
      }
      check(r == ORDANE_OK);
      // A part is drawn only when its offsets lie within the points given
      // to this call; callers own that promise, so only such parts are fed.
      for (int64_t i = 0; i < part_count; ++i) {
        const int64_t s = offsets[static_cast<size_t>(i)];
        const int64_t e = offsets[static_cast<size_t>(i) + 1];
        if (s < 0 || e < s || e > kUnreachable || e - s < min_points) continue;
        want += (e - s) + (which == 0 ? 1 : 0);
      }
      break;
    }
    default:
      r = ordane_build_linestring(&path.core, pts, count, transform);
      if (!pts || count < 2) {
        check(r == ORDANE_ERR_INVALID_ARGUMENT && path.size() == 0);
        return 0;
      }
      check(r == ORDANE_OK);
      want = count;
      break;
  }
  check(static_cast<int64_t>(path.size()) == want);
  return 0;
}
