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

#include <cstddef>
#include <cstdint>

#include "ordane.h"

#include "endian_io.h"
#include "shp_stream.h"

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
// The record walk
// =============================================================================

// Reads the 100-byte file header; false when the stream is shorter. A
// stream of unknown size (a pipe, a /proc file) is then limited to the File
// Length its header states, so that a source without end is read no further
// than the header allows (a File Length below 100 bytes leaves no record).
// A regular file keeps its real size as the limit: writers that state a
// wrong File Length exist, and the size is known.
inline bool read_file_header(InputStream& in, unsigned char (&header)[kFileHeaderSize]) {
  if (in.read(header, kFileHeaderSize) != kFileHeaderSize) return false;
  if (in.size() < 0) {
    const int64_t stated = file_length_bytes(header);
    in.limit_to(stated > int64_t{kFileHeaderSize} ? stated : int64_t{kFileHeaderSize});
  }
  return true;
}

// Reads record headers until one announces content: returns true with the
// content's size in bytes (1 to 2 x (2^31 - 1)), or false at the end of the
// stream (fewer than 8 bytes left before it or its limit) or once "headers"
// has reached kMaxCount. A header whose Content Length is 0 or negative is
// empty: its 8 bytes are consumed and the next 8 are read as the next header.
// Empty headers count in "headers" like the others. The stream is left at the
// first byte of the content; the caller either reads the content or skips it.
inline bool next_record(InputStream& in, int64_t* content_bytes, int64_t* headers) {
  for (;;) {
    if (*headers >= kMaxCount) return false;
    unsigned char rh[kRecordHeaderSize];
    if (in.read(rh, sizeof rh) != sizeof rh) return false;
    ++*headers;
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
