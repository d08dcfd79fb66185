// libFuzzer target for the attribute-table and coordinate-system exports.
// The input becomes the whole .dbf (in an in-memory file named through
// /proc/self/fd), its last byte choosing the encoding argument; the table is
// checked against the invariants every DbfTable keeps, and the same bytes
// are read as a .prj. Any violation traps, so the fuzzer reports it.

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ordane.h"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

bool valid_utf8(const unsigned char* s, uint64_t n) {
  uint64_t i = 0;
  while (i < n) {
    const unsigned char c = s[i];
    uint64_t len = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3
                 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (len == 0 || i + len > n) return false;
    for (uint64_t k = 1; k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
    }
    i += len;
  }
  return true;
}

// Reads every element the counts promise (so ASan sees any array too short).
void check_table(const DbfTable& t) {
  check(t.num_records >= 0 && t.num_columns > 0);
  check(std::memchr(t.encoding, 0, sizeof t.encoding) != nullptr);
  const uint64_t n = static_cast<uint64_t>(t.num_records);
  volatile unsigned sink = 0;
  for (uint64_t r = 0; r < n; ++r) sink = sink + t.deleted[r];
  for (int32_t i = 0; i < t.num_columns; ++i) {
    const DbfColumn& c = t.columns[i];
    check(std::memchr(c.name, 0, sizeof c.name) != nullptr);
    check(valid_utf8(reinterpret_cast<const unsigned char*>(c.name), std::strlen(c.name)));
    for (uint64_t r = 0; r < n; ++r) {
      check(c.valid[r] <= 1);
      switch (c.kind) {
        case ORDANE_DBF_KIND_NUMBER:
          check(c.valid[r] ? !std::isnan(c.numbers[r]) : std::isnan(c.numbers[r]));
          break;
        case ORDANE_DBF_KIND_DATE:
          check(c.valid[r] || c.days[r] == 0);
          break;
        case ORDANE_DBF_KIND_LOGICAL:
          check(c.booleans[r] <= 1);
          break;
        default:
          break;
      }
    }
    if (c.kind == ORDANE_DBF_KIND_TEXT || c.kind == ORDANE_DBF_KIND_RAW) {
      check(c.text_offsets[0] == 0);
      for (uint64_t r = 0; r < n; ++r) check(c.text_offsets[r] <= c.text_offsets[r + 1]);
      const uint64_t size = c.text_offsets[n];
      for (uint64_t k = 0; k < size; ++k) sink = sink + static_cast<unsigned char>(c.text[k]);
      if (c.kind == ORDANE_DBF_KIND_TEXT) {
        check(valid_utf8(reinterpret_cast<const unsigned char*>(c.text), size));
      } else {
        check(size == n * c.length);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("ordane_dbf_fuzz", 0);
  static char path[64];
  if (fd < 0) __builtin_trap();
  if (!path[0]) std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  if (ftruncate(fd, 0) != 0) __builtin_trap();
  if (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) __builtin_trap();

  static const char* const kEncodings[] = {nullptr, "CP1252", "GBK", "UTF-8", "SHIFT_JIS"};
  const char* encoding = size ? kEncodings[data[size - 1] % 5] : nullptr;
  DbfTable* t = nullptr;
  const int32_t rc = ordane_read_dbf(path, encoding, -1, &t);
  check((rc == ORDANE_OK) == (t != nullptr));
  check(rc == ORDANE_OK || (rc <= ORDANE_DBF_ERR_TOO_SHORT && rc >= ORDANE_DBF_ERR_RECORD_COUNT) ||
        rc == ORDANE_ERR_OUT_OF_MEMORY);
  if (size < 32) check(rc == ORDANE_DBF_ERR_TOO_SHORT);
  if (t) check_table(*t);
  ordane_free_dbf_table(t);

  char* wkt = nullptr;
  const int32_t prc = ordane_read_prj(path, &wkt);
  check((prc == ORDANE_OK) == (wkt != nullptr));
  if (wkt) {
    check(valid_utf8(reinterpret_cast<const unsigned char*>(wkt), std::strlen(wkt)));
  } else {
    check(prc == ORDANE_PRJ_ERR_TOO_LARGE || prc == ORDANE_PRJ_ERR_TEXT);
  }
  ordane_free_prj_text(wkt);
  return 0;
}
