// Writes small polygon and multipoint shapefiles for the renderer's tests.
#ifndef QUILLON_POSTER_TESTS_SHP_WRITER_H
#define QUILLON_POSTER_TESTS_SHP_WRITER_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace poster_test {

using Ring = std::vector<double>;  // interleaved x, y

struct Record {
  std::vector<Ring> rings;
  std::vector<int32_t> parts_override;  // when set, written instead of the true part starts
};

inline void put_be32(std::vector<uint8_t>& b, size_t at, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(u >> (24 - 8 * i));
}
inline void add_le32(std::vector<uint8_t>& b, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(u >> (8 * i)));
}
inline void add_le64(std::vector<uint8_t>& b, double d) {
  uint64_t u;
  std::memcpy(&u, &d, 8);
  for (int i = 0; i < 8; ++i) b.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

// A shapefile of "shape_type" whose records hold the given rings (records
// are written as Polygon/PolyLine records whatever the header says).
inline std::vector<uint8_t> shapefile_bytes(int32_t shape_type, const std::vector<Record>& recs) {
  std::vector<uint8_t> b(100, 0);
  put_be32(b, 0, 9994);
  b[28] = 0xE8;  // version 1000, little-endian
  b[29] = 0x03;
  b[32] = static_cast<uint8_t>(shape_type);
  int32_t number = 1;
  if (shape_type == 1) {
    // Point files: one record per point of every ring given.
    for (const Record& r : recs)
      for (const Ring& ring : r.rings)
        for (size_t i = 0; i + 1 < ring.size(); i += 2) {
          std::vector<uint8_t> c;
          add_le32(c, 1);
          add_le64(c, ring[i]);
          add_le64(c, ring[i + 1]);
          const size_t at = b.size();
          b.resize(at + 8);
          put_be32(b, at, number++);
          put_be32(b, at + 4, static_cast<int32_t>(c.size() / 2));
          b.insert(b.end(), c.begin(), c.end());
        }
    put_be32(b, 24, static_cast<int32_t>(b.size() / 2));
    return b;
  }
  for (const Record& r : recs) {
    std::vector<uint8_t> c;
    add_le32(c, shape_type == 3 ? 3 : 5);
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    int32_t points = 0;
    for (const Ring& ring : r.rings) {
      for (size_t i = 0; i + 1 < ring.size(); i += 2) {
        x0 = std::min(x0, ring[i]);
        x1 = std::max(x1, ring[i]);
        y0 = std::min(y0, ring[i + 1]);
        y1 = std::max(y1, ring[i + 1]);
      }
      points += static_cast<int32_t>(ring.size() / 2);
    }
    for (double v : {x0, y0, x1, y1}) add_le64(c, v);
    add_le32(c, static_cast<int32_t>(r.rings.size()));
    add_le32(c, points);
    int32_t start = 0;
    for (size_t k = 0; k < r.rings.size(); ++k) {
      add_le32(c, r.parts_override.empty() ? start : r.parts_override[k]);
      start += static_cast<int32_t>(r.rings[k].size() / 2);
    }
    for (const Ring& ring : r.rings)
      for (double v : ring) add_le64(c, v);
    const size_t at = b.size();
    b.resize(at + 8);
    put_be32(b, at, number++);
    put_be32(b, at + 4, static_cast<int32_t>(c.size() / 2));
    b.insert(b.end(), c.begin(), c.end());
  }
  put_be32(b, 24, static_cast<int32_t>(b.size() / 2));
  return b;
}

inline std::string write_temp(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = ::testing::TempDir() + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

}  // namespace poster_test

#endif  // QUILLON_POSTER_TESTS_SHP_WRITER_H
