// Path storage: parallel arrays of command bytes and BLPoint vertices.
//
// BLPathCore::_impl is null for an empty path that never held storage;
// otherwise it points to a PathImpl whose single heap block holds the
// vertices followed by the command bytes.  Every growth allocates a new block
// and copies, so a source range inside the old block stays readable until the
// copy is done (which is what makes add_path onto itself safe).

#include "bl2d_internal.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

struct PathImpl {
  void* block;       // capacity * sizeof(BLPoint) vertices, then capacity command bytes
  size_t size;
  size_t capacity;
};

constexpr size_t kEntryBytes = sizeof(BLPoint) + 1;
constexpr size_t kMinCapacity = 8;
constexpr size_t kMaxCapacity = std::numeric_limits<size_t>::max() / kEntryBytes;

// Returned for a path without storage, so callers never get a null pointer.
const uint8_t kNoCommands[1] = {0};
const BLPoint kNoVertices[1] = {{0.0, 0.0}};

// Every call but bl_path_init requires a live path.
inline void check(const BLPathCore* self, const char* call) noexcept {
  bl2d::check_tag(self, bl2d::kPathTag, call, "BLPathCore");
}

inline PathImpl* impl_of(const BLPathCore* self) noexcept {
  return static_cast<PathImpl*>(self->_impl);
}

inline BLPoint* vertices(PathImpl* impl) noexcept {
  return static_cast<BLPoint*>(impl->block);
}

inline uint8_t* commands(PathImpl* impl) noexcept {
  return static_cast<uint8_t*>(impl->block) + impl->capacity * sizeof(BLPoint);
}

void free_impl(BLPathCore* self) noexcept {
  PathImpl* impl = impl_of(self);
  if (impl) {
    std::free(impl->block);
    std::free(impl);
  }
  self->_impl = nullptr;
}

// Makes room for `n` more entries.  On failure the path is left unchanged.
BLResult reserve_more(BLPathCore* self, size_t n) noexcept {
  PathImpl* impl = impl_of(self);
  size_t size = impl ? impl->size : 0;
  size_t capacity = impl ? impl->capacity : 0;

  if (n > kMaxCapacity - size) return BL_ERROR_OUT_OF_MEMORY;
  size_t needed = size + n;
  if (needed <= capacity) return BL_SUCCESS;

  size_t new_capacity = capacity < kMinCapacity ? kMinCapacity : capacity;
  while (new_capacity < needed)
    new_capacity = new_capacity > kMaxCapacity / 2 ? kMaxCapacity : new_capacity * 2;

  void* block = std::malloc(new_capacity * kEntryBytes);
  if (!block) return BL_ERROR_OUT_OF_MEMORY;

  bool fresh_impl = false;
  if (!impl) {
    impl = static_cast<PathImpl*>(std::malloc(sizeof(PathImpl)));
    if (!impl) {
      std::free(block);
      return BL_ERROR_OUT_OF_MEMORY;
    }
    impl->block = nullptr;
    impl->size = 0;
    impl->capacity = 0;
    fresh_impl = true;
  }

  BLPoint* new_vertices = static_cast<BLPoint*>(block);
  uint8_t* new_commands = static_cast<uint8_t*>(block) + new_capacity * sizeof(BLPoint);
  if (size) {
    std::memcpy(new_vertices, vertices(impl), size * sizeof(BLPoint));
    std::memcpy(new_commands, commands(impl), size);
  }
  std::free(impl->block);
  impl->block = block;
  impl->capacity = new_capacity;
  if (fresh_impl) self->_impl = impl;
  return BL_SUCCESS;
}

struct Entry {
  uint8_t cmd;
  double x, y;
};

template <size_t N>
BLResult append(BLPathCore* self, const Entry (&entries)[N], const char* call) noexcept {
  if (!self) return BL_ERROR_INVALID_VALUE;
  check(self, call);
  BLResult r = reserve_more(self, N);
  if (r != BL_SUCCESS) return r;
  PathImpl* impl = impl_of(self);
  BLPoint* v = vertices(impl) + impl->size;
  uint8_t* c = commands(impl) + impl->size;
  for (size_t i = 0; i < N; i++) {
    c[i] = entries[i].cmd;
    v[i].x = entries[i].x;
    v[i].y = entries[i].y;
  }
  impl->size += N;
  return BL_SUCCESS;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

extern "C" {

BL_API BLResult bl_path_init(BLPathCore* self) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  self->_impl = nullptr;
  bl2d::set_tag(self, bl2d::kPathTag);
  return BL_SUCCESS;
}

BL_API BLResult bl_path_destroy(BLPathCore* self) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  check(self, "bl_path_destroy");
  free_impl(self);
  bl2d::set_tag(self, bl2d::kDeadTag);
  return BL_SUCCESS;
}

BL_API BLResult bl_path_reset(BLPathCore* self) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  check(self, "bl_path_reset");
  free_impl(self);
  return BL_SUCCESS;
}

BL_API BLResult bl_path_clear(BLPathCore* self) {
  if (!self) return BL_ERROR_INVALID_VALUE;
  check(self, "bl_path_clear");
  if (PathImpl* impl = impl_of(self)) impl->size = 0;
  return BL_SUCCESS;
}

BL_API size_t bl_path_get_size(const BLPathCore* self) {
  if (!self) return 0;
  check(self, "bl_path_get_size");
  const PathImpl* impl = impl_of(self);
  return impl ? impl->size : 0;
}

BL_API const uint8_t* bl_path_get_command_data(const BLPathCore* self) {
  if (!self) return kNoCommands;
  check(self, "bl_path_get_command_data");
  if (!impl_of(self)) return kNoCommands;
  return commands(impl_of(self));
}

BL_API const BLPoint* bl_path_get_vertex_data(const BLPathCore* self) {
  if (!self) return kNoVertices;
  check(self, "bl_path_get_vertex_data");
  if (!impl_of(self)) return kNoVertices;
  return vertices(impl_of(self));
}

BL_API BLResult bl_path_move_to(BLPathCore* self, double x, double y) {
  const Entry e[] = {{BL_PATH_CMD_MOVE, x, y}};
  return append(self, e, "bl_path_move_to");
}

BL_API BLResult bl_path_line_to(BLPathCore* self, double x, double y) {
  const Entry e[] = {{BL_PATH_CMD_ON, x, y}};
  return append(self, e, "bl_path_line_to");
}

BL_API BLResult bl_path_quad_to(BLPathCore* self, double x1, double y1, double x2, double y2) {
  const Entry e[] = {{BL_PATH_CMD_QUAD, x1, y1}, {BL_PATH_CMD_ON, x2, y2}};
  return append(self, e, "bl_path_quad_to");
}

BL_API BLResult bl_path_cubic_to(BLPathCore* self, double x1, double y1, double x2, double y2, double x3, double y3) {
  const Entry e[] = {{BL_PATH_CMD_CUBIC, x1, y1}, {BL_PATH_CMD_CUBIC, x2, y2}, {BL_PATH_CMD_ON, x3, y3}};
  return append(self, e, "bl_path_cubic_to");
}

BL_API BLResult bl_path_conic_to(BLPathCore* self, double x1, double y1, double x2, double y2, double w) {
  const Entry e[] = {{BL_PATH_CMD_CONIC, x1, y1}, {BL_PATH_CMD_WEIGHT, w, kNaN}, {BL_PATH_CMD_ON, x2, y2}};
  return append(self, e, "bl_path_conic_to");
}

BL_API BLResult bl_path_close(BLPathCore* self) {
  const Entry e[] = {{BL_PATH_CMD_CLOSE, kNaN, kNaN}};
  return append(self, e, "bl_path_close");
}

BL_API BLResult bl_path_add_path(BLPathCore* self, const BLPathCore* other, const BLRange* range) {
  if (!self || !other) return BL_ERROR_INVALID_VALUE;
  check(self, "bl_path_add_path");
  check(other, "bl_path_add_path");

  size_t other_size = bl_path_get_size(other);
  size_t start = 0;
  size_t end = other_size;
  if (range) {
    start = range->start;
    end = range->end < other_size ? range->end : other_size;
  }
  if (start >= end) return BL_SUCCESS;
  size_t n = end - start;

  BLResult r = reserve_more(self, n);
  if (r != BL_SUCCESS) return r;

  // Read the source only now: when self == other the storage may have moved.
  PathImpl* dst = impl_of(self);
  PathImpl* src = impl_of(other);
  std::memcpy(vertices(dst) + dst->size, vertices(src) + start, n * sizeof(BLPoint));
  std::memcpy(commands(dst) + dst->size, commands(src) + start, n);
  dst->size += n;
  return BL_SUCCESS;
}

}  // extern "C"
