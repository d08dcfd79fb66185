// libFuzzer target for the index (.shx) side of ordane_read_shp_geometry.
// The input is a .shp and a .shx: its first two bytes (little-endian) give
// the .shp's length, the rest after the .shp is the .shx. Both are written
// beside each other in a temporary folder (the reader finds the index by
// its name). The result is checked against the invariants of ShpGeometry;
// any violation traps, so the fuzzer reports it.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ordane.h"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

void write_file(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) __builtin_trap();
  if (size && std::fwrite(data, 1, size, f) != size) __builtin_trap();
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string dir;
  if (dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/ordane_shx_fuzz_XXXXXX";
    if (!mkdtemp(&tmpl[0])) __builtin_trap();
    dir = tmpl;
  }
  const size_t shp_len = size >= 2 ? (data[0] | (size_t{data[1]} << 8)) : 0;
  const uint8_t* rest = data + (size >= 2 ? 2 : size);
  const size_t rest_len = size >= 2 ? size - 2 : 0;
  const size_t n = shp_len < rest_len ? shp_len : rest_len;
  const std::string shp = dir + "/f.shp";
  write_file(shp, rest, n);
  write_file(dir + "/f.shx", rest + n, rest_len - n);

  ShpGeometry* g = nullptr;
  const int32_t rc = ordane_read_shp_geometry(shp.c_str(), &g);
  if (n < 100) {
    check(rc == ORDANE_SHP_ERR_TOO_SHORT && g == nullptr);
    return 0;
  }
  check(rc == ORDANE_OK && g != nullptr);
  const ShpData& d = g->xy;
  check(d.num_shapes >= 0);
  const uint64_t shapes = static_cast<uint64_t>(d.num_shapes);
  check(d.shape_part_offsets[0] == 0 && d.shape_point_offsets[0] == 0);
  check(static_cast<uint64_t>(d.shape_part_offsets[shapes]) == d.num_parts);
  check(d.shape_point_offsets[shapes] == d.num_points);
  for (uint64_t k = 0; k < shapes; ++k) {
    check(d.shape_part_offsets[k] <= d.shape_part_offsets[k + 1]);
    check(d.shape_point_offsets[k] <= d.shape_point_offsets[k + 1]);
    check(g->record_status[k] <= ORDANE_SHP_RECORD_UNREADABLE);
  }
  for (uint64_t i = 0; i < d.num_parts; ++i) {
    check(d.parts[i] >= 0 && static_cast<uint64_t>(d.parts[i]) <= d.num_points);
  }
  volatile double sink = 0.0;
  for (uint64_t i = 0; i < 2 * d.num_points; ++i) sink = d.points[i];
  for (uint64_t i = 0; i < 4 * shapes; ++i) sink = d.bboxes[i];
  for (uint64_t i = 0; i < d.num_points; ++i) {
    if (g->z) sink = g->z[i];
    if (g->m) sink = g->m[i];
  }
  (void)sink;
  check(g->index_state >= ORDANE_SHX_NONE && g->index_state <= ORDANE_SHX_DISAGREES);
  if (g->index_state == ORDANE_SHX_USED) {
    check(g->index_records == d.num_shapes || g->index_records > d.num_shapes);
  }
  ordane_free_shp_geometry(g);
  return 0;
}
