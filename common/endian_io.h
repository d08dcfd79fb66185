// Byte-order readers for file formats. Integers are assembled byte by byte,
// so results do not depend on the host's byte order or on the alignment of
// the buffer, and no cast into the buffer ever happens.
#ifndef QUILLON_COMMON_ENDIAN_IO_H
#define QUILLON_COMMON_ENDIAN_IO_H

#include <cstdint>
#include <cstring>

namespace quillon {

inline uint32_t load_u32_be(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline uint32_t load_u32_le(const unsigned char* p) {
  return (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | uint32_t(p[0]);
}

inline uint64_t load_u64_le(const unsigned char* p) {
  return uint64_t(load_u32_le(p)) | (uint64_t(load_u32_le(p + 4)) << 32);
}

// Two's-complement reinterpretation without implementation-defined casts.
inline int32_t as_i32(uint32_t v) {
  int32_t r;
  std::memcpy(&r, &v, sizeof r);
  return r;
}

inline int32_t load_i32_be(const unsigned char* p) { return as_i32(load_u32_be(p)); }
inline int32_t load_i32_le(const unsigned char* p) { return as_i32(load_u32_le(p)); }

inline double load_f64_le(const unsigned char* p) {
  uint64_t bits = load_u64_le(p);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

}  // namespace quillon

#endif  // QUILLON_COMMON_ENDIAN_IO_H
