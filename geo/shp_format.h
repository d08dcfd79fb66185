// shp_format.h - the ESRI Shapefile main file (.shp) as both shapefile
// exports read it: the 100-byte file header, the 8-byte record header, the
// record contents and the record walk that steps from one record to the next.
//
// Every multi-byte field is decoded byte by byte through endian_io.h, so the
// host's byte order never matters. A shapefile is untrusted input: nothing
// here trusts a length or a count from the file before it has been checked
// against what is really there.
#ifndef ORDANE_GEO_SHP_FORMAT_H
#define ORDANE_GEO_SHP_FORMAT_H

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <sys/stat.h>
#if defined(_WIN32)
#  include <io.h>
#else
#  include <ctime>
#  include <fcntl.h>
#  include <poll.h>
#  include <unistd.h>
#endif

#include "ordane.h"

#include "endian_io.h"

namespace ordane {
namespace shp {

// =============================================================================
// File header (the first 100 bytes)
// =============================================================================

constexpr std::size_t kFileHeaderSize = 100;

// Big-endian fields.
constexpr std::size_t kFileCodeOffset = 0;     // 9994, stored as 00 00 27 0A
constexpr std::size_t kFileLengthOffset = 24;  // signed, in 16-bit words
// Little-endian fields.
constexpr std::size_t kVersionOffset = 28;     // signed, any value accepted
constexpr std::size_t kShapeTypeOffset = 32;   // signed, ESRI numbering
constexpr std::size_t kRangesOffset = 36;      // eight doubles: x, y, x, y, z, z, m, m

constexpr int32_t kFileCode = 9994;

inline bool has_file_code(const unsigned char* header) {
  return quillon::load_i32_be(header + kFileCodeOffset) == kFileCode;
}

// File Length doubled into bytes. The doubling of a signed 32-bit word count
// leaves 32 bits from 2^30 words on, so it saturates there instead of
// overflowing; -2^30 words is still exact (INT32_MIN bytes).
inline int32_t file_length_bytes(const unsigned char* header) {
  const int32_t words = quillon::load_i32_be(header + kFileLengthOffset);
  if (words >= (INT32_C(1) << 30)) return INT32_MAX;
  if (words < -(INT32_C(1) << 30)) return INT32_MIN;
  return words * 2;
}

// =============================================================================
// Record header (8 bytes in front of every record, the first at offset 100)
// =============================================================================

constexpr std::size_t kRecordHeaderSize = 8;
constexpr std::size_t kRecordNumberOffset = 0;   // big-endian, ignored
constexpr std::size_t kContentLengthOffset = 4;  // big-endian, signed, 16-bit words

// Upper bound for every count the exports hand out (shapes, parts, points,
// records): they cross the boundary in signed 32-bit fields. Tests build the
// reader with a small value to reach the limit with small files.
#ifndef ORDANE_SHP_MAX_COUNT
#  define ORDANE_SHP_MAX_COUNT INT32_MAX
#endif
constexpr int64_t kMaxCount = ORDANE_SHP_MAX_COUNT;

// =============================================================================
// Record contents (offsets from the start of the content, all little-endian)
// =============================================================================

constexpr std::size_t kShapeTypeSize = 4;

// Point, PointZ, PointM: X and Y follow the Shape Type; Z and M are ignored.
constexpr std::size_t kPointXOffset = 4;
constexpr std::size_t kPointYOffset = 12;
constexpr std::size_t kPointMinContent = 20;

// PolyLine, Polygon, PolyLineZ, PolygonZ: box, counts, part starts, points;
// the Z and M blocks after the points are ignored.
constexpr std::size_t kPolyBoxOffset = 4;  // four doubles: xmin, ymin, xmax, ymax
constexpr std::size_t kPolyNumPartsOffset = 36;
constexpr std::size_t kPolyNumPointsOffset = 40;
constexpr std::size_t kPolyPartsOffset = 44;  // NumParts int32, then NumPoints (x, y) doubles
constexpr std::size_t kPolyMinContent = 44;

// How a record's Shape Type is read. Types outside the table (MultiPoint,
// the M line and polygon types, MultiPatch, negative or unknown values) add
// an empty shape, like a Null record.
enum class RecordKind { kNull, kPoint, kPoly, kOther };

inline RecordKind record_kind(int32_t shape_type) {
  switch (shape_type) {
    case 0:
      return RecordKind::kNull;
    case 1:   // Point
    case 11:  // PointZ
    case 21:  // PointM
      return RecordKind::kPoint;
    case 3:   // PolyLine
    case 5:   // Polygon
    case 13:  // PolyLineZ
    case 15:  // PolygonZ
      return RecordKind::kPoly;
    default:
      return RecordKind::kOther;
  }
}

// =============================================================================
// Files
// =============================================================================

#if !defined(_WIN32)
inline bool is_regular_or_fifo(mode_t mode) { return S_ISREG(mode) || S_ISFIFO(mode); }

inline int64_t monotonic_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000;
}

// Reads one byte without waiting: 1 with the byte, 0 when the pipe has no
// writer (and no data), -1 when a writer has it but sent nothing yet, -2 on
// an error.
inline int probe_fifo(int fd, unsigned char* byte) {
  for (;;) {
    const ssize_t r = ::read(fd, byte, 1);
    if (r == 1) return 1;
    if (r == 0) return 0;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : -2;
  }
}

// Waits up to ORDANE_SHP_PIPE_WAIT_MS for a FIFO without a writer to get
// one. Returns the probe after the wait: 1 (a byte), -1 (a writer), 0 with
// came = true (a writer came and went: the end of the stream), 0 with
// came = false (no writer came), -2 (an error).
inline int wait_for_writer(int fd, unsigned char* byte, bool* came) {
  *came = false;
  const int64_t deadline = monotonic_ms() + ORDANE_SHP_PIPE_WAIT_MS;
  for (;;) {
    const int64_t left = deadline - monotonic_ms();
    if (left <= 0) return probe_fifo(fd, byte);
    // Neither an open nor the lack of a writer wakes poll: data does, and
    // so does a writer closing (POLLHUP).
    pollfd p{fd, POLLIN, 0};
    const int n = ::poll(&p, 1, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -2;
    if (n == 0) continue;  // the deadline check above decides
    *came = true;
    return probe_fifo(fd, byte);
  }
}
#endif

// Opens "path" as a read stream, or returns null when it cannot be opened or
// is neither a regular file nor a pipe: directories, devices (endless ones
// such as /dev/zero among them) and sockets are refused before a byte is
// read, and a device is not even opened.
//
// A FIFO is opened without waiting (a plain open would block until a writer
// comes, for ever if none does). If no writer has it, the call waits up to
// ORDANE_SHP_PIPE_WAIT_MS for one and otherwise refuses it; a writer that
// came and went leaves an empty stream. The byte read to find out is pushed
// back, and reading then blocks as usual.
inline std::FILE* open_input(const char* path) {
#if defined(_WIN32)
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return nullptr;
  struct _stat64 st;
  const int type = _fstat64(_fileno(f), &st) == 0 ? (st.st_mode & _S_IFMT) : 0;
  if (type != _S_IFREG && type != _S_IFIFO) {
    std::fclose(f);
    return nullptr;
  }
  return f;
#else
  struct stat st;
  if (::stat(path, &st) != 0 || !is_regular_or_fifo(st.st_mode)) return nullptr;
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  // The name may have changed hands since the stat: the open file decides.
  bool ok = ::fstat(fd, &st) == 0 && is_regular_or_fifo(st.st_mode);
  int pushback = EOF;
  if (ok && S_ISFIFO(st.st_mode)) {
    unsigned char byte = 0;
    int r = probe_fifo(fd, &byte);
    bool came = true;
    if (r == 0) r = wait_for_writer(fd, &byte, &came);
    if (r == 1) pushback = byte;
    ok = r == 1 || r == -1 || (r == 0 && came);
  }
  if (ok) {
    const int flags = ::fcntl(fd, F_GETFL);
    ok = flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
  }
  std::FILE* f = ok ? ::fdopen(fd, "rb") : nullptr;
  if (!f) {
    ::close(fd);
    return nullptr;
  }
  if (pushback != EOF && std::ungetc(pushback, f) == EOF) {
    std::fclose(f);
    return nullptr;
  }
  return f;
#endif
}

// Closes the stream on every path out of an export.
class File {
 public:
  explicit File(const char* path) : f_(open_input(path)) {}
  ~File() {
    if (f_) std::fclose(f_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  std::FILE* get() const { return f_; }

 private:
  std::FILE* f_;
};

// fread of n bytes that carries on when a signal interrupts a wait for data:
// a handler installed without SA_RESTART (scripting languages install theirs
// so, and profilers and timers signal often) makes the read from a pipe fail
// with EINTR, which stdio reports as an error after a short count. Returns
// the bytes read, fewer than n only at the end of the stream or on a real
// error.
inline std::size_t read_bytes(std::FILE* f, void* buf, std::size_t n) {
  unsigned char* p = static_cast<unsigned char*>(buf);
  std::size_t got = 0;
  while (got < n) {
    errno = 0;
    got += std::fread(p + got, 1, n - got, f);
    if (got == n || !std::ferror(f) || errno != EINTR) break;
    std::clearerr(f);
  }
  return got;
}

// Reads the 100-byte file header; false when the file is shorter.
inline bool read_file_header(std::FILE* f, unsigned char (&header)[kFileHeaderSize]) {
  return read_bytes(f, header, kFileHeaderSize) == kFileHeaderSize;
}

// Size in bytes of a regular file, or -1 when the stream is not one (a pipe or
// a device), so that only regular files bound the reads by their size.
inline int64_t regular_file_size(std::FILE* f) {
#if defined(_WIN32)
  struct _stat64 st;
  if (_fstat64(_fileno(f), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) return -1;
#else
  struct stat st;
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
#endif
  return static_cast<int64_t>(st.st_size);
}

// Moves forward by "bytes" (up to 2 x (2^31 - 1)) in steps that a long holds
// on every platform, so that records of 2 GiB or more are skipped exactly.
// Seeking past the end succeeds on a regular file; the next read then ends the
// walk. False when the stream cannot seek at all.
inline bool skip_forward(std::FILE* f, int64_t bytes) {
  constexpr int64_t kStep = INT32_C(0x40000000);
  while (bytes > 0) {
    const int64_t step = bytes < kStep ? bytes : kStep;
    if (std::fseek(f, static_cast<long>(step), SEEK_CUR) != 0) return false;
    bytes -= step;
  }
  return true;
}

// =============================================================================
// The record walk
// =============================================================================

// Reads record headers until one announces content: returns true with the
// content's size in bytes (1 to 2 x (2^31 - 1)), or false at the end of the
// file (fewer than 8 bytes left) or once "headers" has reached kMaxCount. A
// header whose Content Length is 0 or negative is empty: its 8 bytes are
// consumed and the next 8 are read as the next header. Empty headers count
// in "headers" like the others, so that a stream of them (a pipe fed zeros)
// ends at the same limit as records do. The stream is left at the first byte
// of the content; the caller either reads the content or skips it.
// "consumed" grows by the bytes of every header read.
inline bool next_record(std::FILE* f, int64_t* content_bytes, int64_t* consumed,
                        int64_t* headers) {
  for (;;) {
    if (*headers >= kMaxCount) return false;
    unsigned char rh[kRecordHeaderSize];
    if (read_bytes(f, rh, sizeof rh) != sizeof rh) return false;
    ++*headers;
    *consumed += static_cast<int64_t>(kRecordHeaderSize);
    const int32_t words = quillon::load_i32_be(rh + kContentLengthOffset);
    if (words > 0) {
      *content_bytes = int64_t{words} * 2;
      return true;
    }
  }
}

}  // namespace shp
}  // namespace ordane

#endif  // ORDANE_GEO_SHP_FORMAT_H
