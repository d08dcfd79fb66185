// libFuzzer target for the shapefile exports. The input becomes the whole
// file (the exports take a path, so the bytes go to an in-memory file named
// through /proc/self/fd); both exports read it, and the result is checked
// against the invariants every ShpData keeps and against the header walk.
// Any violation traps, so the fuzzer reports it as a crash.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ordane.h"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

// Reads every element the counts promise (so ASan sees any array too short)
// and checks the offsets.
void check_data(const ShpData& d) {
  check(d.num_shapes >= 0);
  const uint64_t shapes = static_cast<uint64_t>(d.num_shapes);
  check(d.shape_part_offsets[0] == 0 && d.shape_point_offsets[0] == 0);
  check(static_cast<uint64_t>(d.shape_part_offsets[shapes]) == d.num_parts);
  check(d.shape_point_offsets[shapes] == d.num_points);
  for (uint64_t k = 0; k < shapes; ++k) {
    check(d.shape_part_offsets[k] <= d.shape_part_offsets[k + 1]);
    check(d.shape_point_offsets[k] <= d.shape_point_offsets[k + 1]);
  }
  for (uint64_t i = 0; i < d.num_parts; ++i) {
    check(d.parts[i] >= 0 && static_cast<uint64_t>(d.parts[i]) <= d.num_points);
  }
  volatile double sink = 0.0;
  for (uint64_t i = 0; i < 2 * d.num_points; ++i) sink = d.points[i];
  for (uint64_t i = 0; i < 4 * shapes; ++i) sink = d.bboxes[i];
  (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("ordane_shp_fuzz", 0);
  static char path[64];
  if (fd < 0) __builtin_trap();
  if (!path[0]) std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  if (ftruncate(fd, 0) != 0) __builtin_trap();
  if (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) __builtin_trap();

  ShpHeader h;
  const int32_t rc = ordane_read_shp_header(path, &h);
  ShpData* d = ordane_parse_shp(path);

  static const unsigned char kFileCode[4] = {0x00, 0x00, 0x27, 0x0A};
  if (size < 100) {
    check(rc == ORDANE_SHP_ERR_TOO_SHORT && d == nullptr);
    return 0;
  }
  check(d != nullptr);
  check(rc == (std::memcmp(data, kFileCode, 4) == 0 ? ORDANE_OK : ORDANE_SHP_ERR_FILE_CODE));
  check_data(*d);
  // The walk counts what the reader reads, plus a last record cut short.
  if (rc == ORDANE_OK) {
    check(h.record_count == d->num_shapes || h.record_count == d->num_shapes + 1);
  }
  // The reader of every type: the same invariants, Z and M sized by the
  // points, and one more shape only where the plain reader has one.
  ShpGeometry* g = nullptr;
  check(ordane_read_shp_geometry(path, &g) == ORDANE_OK && g != nullptr);
  check_data(g->xy);
  check(g->xy.num_shapes == d->num_shapes);
  volatile double zm = 0.0;
  for (uint64_t i = 0; i < g->xy.num_points; ++i) {
    if (g->z) zm = g->z[i];
    if (g->m) zm = g->m[i];
  }
  (void)zm;
  for (int32_t k = 0; k < g->xy.num_shapes; ++k) {
    volatile int32_t type = g->shape_types[k];
    (void)type;
  }
  ordane_free_shp_geometry(g);
  ordane_free_shp_data(d);
  return 0;
}
