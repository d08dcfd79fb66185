// prj_reader.cpp - ordane_read_prj / ordane_free_prj_text: the coordinate
// system text (WKT) of a shapefile's .prj, checked to be UTF-8 text of a
// bounded size. What the text says is for a coordinate library to read.

#include <cstdlib>
#include <cstring>

#include "ordane.h"

#include "dbf_encoding.h"
#include "shp_stream.h"

namespace {

using namespace ordane::shp;

bool is_trailing(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0';
}

}  // namespace

extern "C" ORDANE_API int32_t ordane_read_prj(const char* prj_path, char** wkt) {
  if (!prj_path || !wkt) return ORDANE_ERR_INVALID_ARGUMENT;
  InputStream in(prj_path);
  if (in.out_of_memory()) return ORDANE_ERR_OUT_OF_MEMORY;
  if (!in.is_open()) return ORDANE_PRJ_ERR_OPEN;
  if (in.size() > ORDANE_PRJ_MAX_BYTES) return ORDANE_PRJ_ERR_TOO_LARGE;

  // One byte more than allowed tells a file that is too large (a pipe, or a
  // file that grew) from one that is just at the limit.
  unsigned char* buf = static_cast<unsigned char*>(std::malloc(ORDANE_PRJ_MAX_BYTES + 1));
  if (!buf) return ORDANE_ERR_OUT_OF_MEMORY;
  const std::size_t got = in.read(buf, ORDANE_PRJ_MAX_BYTES + 1);
  if (got > ORDANE_PRJ_MAX_BYTES) {
    std::free(buf);
    return ORDANE_PRJ_ERR_TOO_LARGE;
  }
  std::size_t start = 0;
  std::size_t end = got;
  if (end >= 3 && buf[0] == 0xEF && buf[1] == 0xBB && buf[2] == 0xBF) start = 3;
  while (end > start && is_trailing(buf[end - 1])) --end;
  const std::size_t n = end - start;
  if (std::memchr(buf + start, 0, n) || !is_valid_utf8(buf + start, n)) {
    std::free(buf);
    return ORDANE_PRJ_ERR_TEXT;
  }
  char* out = static_cast<char*>(std::malloc(n + 1));
  if (!out) {
    std::free(buf);
    return ORDANE_ERR_OUT_OF_MEMORY;
  }
  std::memcpy(out, buf + start, n);
  out[n] = '\0';
  std::free(buf);
  *wkt = out;
  return ORDANE_OK;
}

extern "C" ORDANE_API void ordane_free_prj_text(char* wkt) { std::free(wkt); }
