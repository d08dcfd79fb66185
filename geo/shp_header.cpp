// shp_header.cpp - ordane_read_shp_header: the 100-byte header of a shapefile
// and the number of its records, found by walking the record headers and
// seeking over each record's content.

#include "ordane.h"
#include "shp_format.h"

namespace {

using namespace ordane::shp;

// Counts the records after the file header. A content that reaches past the
// end of the file is still counted; the read of the next header then fails
// and ends the walk. A stream that cannot seek ends the walk after counting
// the record it could not skip. At most kMaxCount record headers are read,
// empty ones included, so the count stops at the 32-bit limit and a pipe of
// endless empty headers ends too.
int32_t count_records(InputStream& in) {
  int64_t count = 0;
  int64_t headers = 0;
  int64_t content_bytes = 0;
  while (next_record(in, &content_bytes, &headers)) {
    ++count;
    if (!in.skip(content_bytes)) break;
  }
  return static_cast<int32_t>(count);
}

}  // namespace

extern "C" ORDANE_API int32_t ordane_read_shp_header(const char* file_path, ShpHeader* header) {
  if (!file_path || !header) return ORDANE_ERR_INVALID_ARGUMENT;

  InputStream in(file_path);
  if (!in.is_open()) return ORDANE_SHP_ERR_OPEN;

  unsigned char h[kFileHeaderSize];
  if (!read_file_header(in, h)) return ORDANE_SHP_ERR_TOO_SHORT;
  if (!has_file_code(h)) return ORDANE_SHP_ERR_FILE_CODE;

  // Filled in a local record so that the caller's is written once, complete.
  ShpHeader out;
  out.file_code = kFileCode;
  out.file_length = file_length_bytes(h);
  out.version = quillon::load_i32_le(h + kVersionOffset);
  out.shape_type = quillon::load_i32_le(h + kShapeTypeOffset);
  double* ranges[8] = {&out.min_x, &out.min_y, &out.max_x, &out.max_y,
                       &out.min_z, &out.max_z, &out.min_m, &out.max_m};
  for (int i = 0; i < 8; ++i) *ranges[i] = quillon::load_f64_le(h + kRangesOffset + 8 * i);
  out.record_count = count_records(in);

  *header = out;
  return ORDANE_OK;
}
