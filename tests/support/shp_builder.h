// shp_builder.h - builds shapefile main files (.shp) and their index (.shx)
// byte by byte, so tests can state every field, including wrong ones.
#ifndef QUILLON_TESTS_SUPPORT_SHP_BUILDER_H
#define QUILLON_TESTS_SUPPORT_SHP_BUILDER_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "ordane.h"

namespace quillon_test {

using Bytes = std::vector<unsigned char>;

// Appends fixed-width fields in a stated byte order.
class ByteWriter {
 public:
  ByteWriter& be32(int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int s = 24; s >= 0; s -= 8) out_.push_back(static_cast<unsigned char>(u >> s));
    return *this;
  }
  ByteWriter& le32(int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int s = 0; s <= 24; s += 8) out_.push_back(static_cast<unsigned char>(u >> s));
    return *this;
  }
  ByteWriter& f64(double d) {  // little-endian IEEE double
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    for (int s = 0; s <= 56; s += 8) out_.push_back(static_cast<unsigned char>(u >> s));
    return *this;
  }
  ByteWriter& bytes(const Bytes& b) {
    out_.insert(out_.end(), b.begin(), b.end());
    return *this;
  }
  const Bytes& get() const { return out_; }
  Bytes& get() { return out_; }

 private:
  Bytes out_;
};

struct XY {
  double x, y;
};

// Record contents (what follows the 8-byte record header).
namespace shp_content {

// Shape Type only: a Null record, or any type whose body a test leaves out.
inline Bytes type_only(int32_t shape_type) { return ByteWriter().le32(shape_type).get(); }

// Point (1), PointZ (11) or PointM (21): type, X, Y, then Z and/or M.
inline Bytes point(double x, double y, int32_t shape_type = 1, double z = 0.0, double m = 0.0) {
  ByteWriter w;
  w.le32(shape_type).f64(x).f64(y);
  if (shape_type == 11) w.f64(z).f64(m);
  if (shape_type == 21) w.f64(m);
  return w.get();
}

// PolyLine (3), Polygon (5) and their Z (13, 15) and M (23, 25) forms:
// type, box, NumParts, NumPoints, Parts, Points, then for Z types the Z range
// and array followed by the M range and array, for M types the M range and
// array. NumParts and NumPoints are the sizes of the vectors unless a test
// gives a claim that disagrees with them.
inline Bytes poly(int32_t shape_type, const std::vector<int32_t>& parts, const std::vector<XY>& pts,
                  std::optional<int32_t> num_parts = {}, std::optional<int32_t> num_points = {}) {
  double box[4] = {0, 0, 0, 0};
  if (!pts.empty()) {
    box[0] = box[2] = pts[0].x;
    box[1] = box[3] = pts[0].y;
    for (const XY& p : pts) {
      if (p.x < box[0]) box[0] = p.x;
      if (p.y < box[1]) box[1] = p.y;
      if (p.x > box[2]) box[2] = p.x;
      if (p.y > box[3]) box[3] = p.y;
    }
  }
  ByteWriter w;
  w.le32(shape_type);
  for (double v : box) w.f64(v);                                        // Xmin Ymin Xmax Ymax
  w.le32(num_parts.value_or(static_cast<int32_t>(parts.size())));      // NumParts
  w.le32(num_points.value_or(static_cast<int32_t>(pts.size())));       // NumPoints
  for (int32_t p : parts) w.le32(p);                                    // Parts
  for (const XY& p : pts) w.f64(p.x).f64(p.y);                          // Points
  const bool z = shape_type == 13 || shape_type == 15;
  const bool m = z || shape_type == 23 || shape_type == 25;
  if (z) {
    w.f64(-1.0).f64(1.0);                                               // Zmin Zmax
    for (size_t i = 0; i < pts.size(); ++i) w.f64(static_cast<double>(i));  // Z array
  }
  if (m) {
    w.f64(0.0).f64(9.0);                                                // Mmin Mmax
    for (size_t i = 0; i < pts.size(); ++i) w.f64(static_cast<double>(i) * 0.5);  // M array
  }
  return w.get();
}

}  // namespace shp_content

// A whole main file: 100-byte header, then records. File Length is filled in
// from the bytes unless a test sets it.
class ShpBuilder {
 public:
  explicit ShpBuilder(int32_t shape_type = 5) : shape_type_(shape_type) {}

  ShpBuilder& file_code(int32_t v) { file_code_ = v; return *this; }
  ShpBuilder& file_length_words(int32_t v) { file_length_ = v; has_file_length_ = true; return *this; }
  ShpBuilder& version(int32_t v) { version_ = v; return *this; }
  ShpBuilder& ranges(const double (&r)[8]) { std::memcpy(ranges_, r, sizeof ranges_); return *this; }

  // A record: header (Record Number, Content Length) then the content. The
  // Content Length is the content's size in words unless given.
  ShpBuilder& record(const Bytes& content) {
    return record(content, static_cast<int32_t>(content.size() / 2));
  }
  ShpBuilder& record(const Bytes& content, int32_t content_length_words) {
    offsets_.push_back(static_cast<int32_t>(body_.get().size() + 100));
    lengths_.push_back(content_length_words);
    body_.be32(++record_number_)         // Record Number, from 1
        .be32(content_length_words)      // Content Length, 16-bit words
        .bytes(content);
    return *this;
  }
  // Bytes outside any record (an empty record header, stray bytes, a cut).
  ShpBuilder& raw(const Bytes& b) { body_.bytes(b); return *this; }

  Bytes bytes() const {
    ByteWriter w;
    w.be32(file_code_);                                 // File Code
    for (int i = 0; i < 5; ++i) w.be32(0);              // unused
    w.be32(has_file_length_ ? file_length_
                            : static_cast<int32_t>((100 + body_.get().size()) / 2));  // File Length
    w.le32(version_);                                   // Version
    w.le32(shape_type_);                                // Shape Type
    for (double r : ranges_) w.f64(r);                  // Xmin Ymin Xmax Ymax Zmin Zmax Mmin Mmax
    w.bytes(body_.get());
    return w.get();
  }

  // The index file: the same header with its own File Length, then per
  // record its offset and Content Length in words (both big-endian).
  Bytes shx() const {
    Bytes b = bytes();
    b.resize(100);
    ByteWriter w;
    w.bytes(b);
    for (size_t i = 0; i < offsets_.size(); ++i) w.be32(offsets_[i] / 2).be32(lengths_[i]);
    const int32_t words = static_cast<int32_t>(w.get().size() / 2);
    for (size_t s = 0; s < 4; ++s) w.get()[24 + s] = static_cast<unsigned char>(static_cast<uint32_t>(words) >> (24 - 8 * s));
    return w.get();
  }

 private:
  int32_t shape_type_;
  int32_t file_code_ = 9994;
  int32_t file_length_ = 0;
  bool has_file_length_ = false;
  int32_t version_ = 1000;
  double ranges_[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  int32_t record_number_ = 0;
  ByteWriter body_;
  std::vector<int32_t> offsets_;
  std::vector<int32_t> lengths_;
};

inline bool write_file(const std::string& path, const Bytes& b) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = b.empty() || std::fwrite(b.data(), 1, b.size(), f) == b.size();
  return std::fclose(f) == 0 && ok;
}

// A file in the temporary directory, removed when the holder goes.
class TempFile {
 public:
  explicit TempFile(const Bytes& b, const char* suffix = ".shp") {
    static int counter = 0;
    const char* dir = std::getenv("TMPDIR");
#if defined(_WIN32)
    if (!dir || !*dir) dir = std::getenv("TEMP");
#endif
    path_ = std::string(dir && *dir ? dir : "/tmp") + "/ordane_shp_" +
            std::to_string(static_cast<long>(getpid())) + "_" + std::to_string(++counter) + suffix;
    ok_ = write_file(path_, b);
  }
  ~TempFile() { std::remove(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const char* path() const { return path_.c_str(); }
  bool ok() const { return ok_; }

 private:
  std::string path_;
  bool ok_ = false;
};

// Whole files from rings, for tests that only need some geometry on disk
// (the poster's tests among them).
using Ring = std::vector<double>;  // interleaved x, y

struct Record {
  std::vector<Ring> rings;
  std::vector<int32_t> parts_override;  // when set, written instead of the true part starts
};

// A shapefile of `shape_type` whose records hold the given rings: for type 1
// one Point record per point of every ring, for any other type one PolyLine
// (type 3) or Polygon record (every other type) per Record, whatever the
// header says.
inline Bytes shapefile_bytes(int32_t shape_type, const std::vector<Record>& records) {
  ShpBuilder b(shape_type);
  for (const Record& r : records) {
    if (shape_type == 1) {
      for (const Ring& ring : r.rings)
        for (size_t i = 0; i + 1 < ring.size(); i += 2) b.record(shp_content::point(ring[i], ring[i + 1]));
      continue;
    }
    std::vector<int32_t> parts;
    std::vector<XY> pts;
    for (const Ring& ring : r.rings) {
      parts.push_back(static_cast<int32_t>(pts.size()));
      for (size_t i = 0; i + 1 < ring.size(); i += 2) pts.push_back(XY{ring[i], ring[i + 1]});
    }
    if (!r.parts_override.empty()) parts = r.parts_override;
    b.record(shp_content::poly(shape_type == 3 ? 3 : 5, parts, pts));
  }
  return b.bytes();
}

// Writes `bytes` to a file named for `name` and this process in the
// temporary directory and returns its path; the caller's test leaves it.
inline std::string write_temp(const std::string& name, const Bytes& bytes) {
  const char* dir = std::getenv("TMPDIR");
  const std::string path = std::string(dir && *dir ? dir : "/tmp") + "/quillon_" +
                           std::to_string(static_cast<long>(getpid())) + "_" + name;
  write_file(path, bytes);
  return path;
}

// Owns a ShpData from ordane_parse_shp, so a failed assertion does not leak.
struct ShpDataFree {
  void operator()(ShpData* d) const { ordane_free_shp_data(d); }
};
using ShpDataPtr = std::unique_ptr<ShpData, ShpDataFree>;

}  // namespace quillon_test

#endif  // QUILLON_TESTS_SUPPORT_SHP_BUILDER_H
