// shp_reader.cpp - ordane_parse_shp / ordane_free_shp_data: the geometry of a
// whole shapefile as flat arrays, read in one sequential pass.
//
// Memory is the cost that matters here: the output is about as large as the
// file, and touching fresh pages dominates the reading time. So the working
// arrays live in malloc'd blocks that grow with realloc (large blocks move
// without copying), the point array starts at the size the file can at most
// fill, one record buffer serves every record and grows only when a record
// needs more, and the results are the working blocks cut to their exact size
// with realloc instead of fresh copies. Nothing here throws: running out of
// memory releases everything and returns null.

#include <cstdlib>
#include <cstring>

#include "ordane.h"
#include "shp_format.h"

namespace {

using namespace ordane::shp;
using quillon::load_f64_le;
using quillon::load_i32_le;

// =============================================================================
// Working storage
// =============================================================================

// A growable array of a trivially copyable type in a malloc'd block.
template <typename T>
class WorkArray {
 public:
  WorkArray() = default;
  ~WorkArray() { std::free(data_); }
  WorkArray(const WorkArray&) = delete;
  WorkArray& operator=(const WorkArray&) = delete;

  std::size_t size() const { return size_; }
  T* end() { return data_ + size_; }

  // Makes room for "extra" more elements, at least doubling the capacity when
  // it grows. False when memory runs out (the contents are kept).
  bool reserve_extra(std::size_t extra) {
    if (extra <= capacity_ - size_) return true;
    constexpr std::size_t kMaxElements = SIZE_MAX / sizeof(T);
    if (extra > kMaxElements - size_) return false;
    std::size_t want = capacity_ < kMaxElements / 2 ? capacity_ * 2 : kMaxElements;
    if (want < size_ + extra) want = size_ + extra;
    if (want < 16) want = 16;
    return grow_to(want);
  }

  // A capacity guess that may be refused: the array then grows from its
  // current size.
  void try_reserve(std::size_t capacity) {
    if (capacity > capacity_ && capacity <= SIZE_MAX / sizeof(T)) grow_to(capacity);
  }

  // Call only after reserve_extra() made room.
  void push(T v) { data_[size_++] = v; }
  void commit(std::size_t n) { size_ += n; }

  // Hands the block over, cut to exactly size() elements (null when empty).
  // False when the block cannot be cut; the array then still owns it.
  bool release_exact(T** out) {
    if (size_ == 0) {
      std::free(data_);
      *out = nullptr;
    } else if (size_ == capacity_) {
      *out = data_;
    } else {
      // Shrinking a large block in place: no copy, no new pages.
      void* p = std::realloc(data_, size_ * sizeof(T));
      if (!p) return false;
      *out = static_cast<T*>(p);
    }
    data_ = nullptr;
    size_ = capacity_ = 0;
    return true;
  }

 private:
  bool grow_to(std::size_t capacity) {
    void* p = std::realloc(data_, capacity * sizeof(T));
    if (!p) return false;
    data_ = static_cast<T*>(p);
    capacity_ = capacity;
    return true;
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// The one buffer that every record's content is read into.
class RecordBuffer {
 public:
  RecordBuffer() = default;
  ~RecordBuffer() { std::free(data_); }
  RecordBuffer(const RecordBuffer&) = delete;
  RecordBuffer& operator=(const RecordBuffer&) = delete;

  unsigned char* data() { return data_; }

  // Room for "bytes" without keeping the old contents; grows at least twofold
  // so that slowly growing records do not reallocate every time.
  bool ensure(std::size_t bytes) {
    if (bytes <= capacity_) return true;
    std::size_t want = capacity_ < SIZE_MAX / 2 ? capacity_ * 2 : SIZE_MAX;
    if (want < bytes) want = bytes;
    std::free(data_);
    data_ = static_cast<unsigned char*>(std::malloc(want));
    capacity_ = data_ ? want : 0;
    if (data_ || want == bytes) return data_ != nullptr;
    // The doubled size may be what failed; the exact size may still fit.
    data_ = static_cast<unsigned char*>(std::malloc(bytes));
    capacity_ = data_ ? bytes : 0;
    return data_ != nullptr;
  }

  // Room for "bytes" keeping the first "used" bytes.
  bool grow_keep(std::size_t bytes) {
    if (bytes <= capacity_) return true;
    void* p = std::realloc(data_, bytes);
    if (!p) return false;
    data_ = static_cast<unsigned char*>(p);
    capacity_ = bytes;
    return true;
  }

  std::size_t capacity() const { return capacity_; }

 private:
  unsigned char* data_ = nullptr;
  std::size_t capacity_ = 0;
};

enum class ReadResult { kComplete, kShort, kOutOfMemory };

// Reads one record's content of "bytes" bytes. A Content Length is a claim
// from the file, so it is checked against what the stream may still deliver
// before anything is allocated for it.
ReadResult read_content(InputStream& in, int64_t bytes, RecordBuffer& buf) {
  if (static_cast<uint64_t>(bytes) > SIZE_MAX) return ReadResult::kOutOfMemory;
  const std::size_t n = static_cast<std::size_t>(bytes);
  const int64_t available = in.remaining();
  if (available >= 0 && bytes > available) return ReadResult::kShort;
  if (in.size() >= 0) {
    if (!buf.ensure(n)) return ReadResult::kOutOfMemory;
    return in.read(buf.data(), n) == n ? ReadResult::kComplete : ReadResult::kShort;
  }
  // A pipe or device: grow with the bytes that really arrive, so that a false
  // claim costs at most twice what was sent.
  constexpr std::size_t kFirstChunk = 64 * 1024;
  std::size_t got = 0;
  while (got < n) {
    std::size_t want = buf.capacity() > got ? buf.capacity() : got * 2;
    if (want < kFirstChunk) want = kFirstChunk;
    if (want > n) want = n;
    if (!buf.grow_keep(want)) return ReadResult::kOutOfMemory;
    const std::size_t r = in.read(buf.data() + got, want - got);
    got += r;
    if (got < want) return ReadResult::kShort;
  }
  return ReadResult::kComplete;
}

// =============================================================================
// Decoding records
// =============================================================================

enum class AddResult { kAdded, kLimit, kOutOfMemory };

class Collector {
 public:
  // Starts both offset arrays with their leading 0. "file_size" (or -1)
  // sizes the point array: each point takes 16 bytes of the file, so the
  // file cannot hold more than that many.
  bool start(int64_t file_size) {
    if (file_size > 0) points_.try_reserve(static_cast<uint64_t>(file_size) / 8);
    if (!shape_parts_.reserve_extra(1) || !shape_points_.reserve_extra(1)) return false;
    shape_parts_.push(0);
    shape_points_.push(0);
    return true;
  }

  int64_t num_shapes() const { return static_cast<int64_t>(shape_points_.size()) - 1; }
  int64_t num_points() const { return static_cast<int64_t>(points_.size() / 2); }
  int64_t num_parts() const { return static_cast<int64_t>(parts_.size()); }

  // Adds the shape of one complete record of "n" bytes. kLimit: the record
  // would take a count past the 32-bit limit and was not added.
  AddResult add(const unsigned char* c, std::size_t n) {
    if (num_shapes() >= kMaxCount) return AddResult::kLimit;
    if (!boxes_.reserve_extra(4) || !shape_parts_.reserve_extra(1) ||
        !shape_points_.reserve_extra(1)) {
      return AddResult::kOutOfMemory;
    }
    double box[4] = {0.0, 0.0, 0.0, 0.0};
    if (n >= kShapeTypeSize) {
      switch (record_kind(load_i32_le(c))) {
        case RecordKind::kPoint:
          if (n >= kPointMinContent) {
            const AddResult r = add_point(c, box);
            if (r != AddResult::kAdded) return r;
          }
          break;
        case RecordKind::kPoly:
          if (n >= kPolyMinContent) {
            const AddResult r = add_poly(c, n, box);
            if (r != AddResult::kAdded) return r;
          }
          break;
        case RecordKind::kNull:
        case RecordKind::kOther:
          break;
      }
    }
    // A malformed record arrives here having added nothing, with a zero box:
    // an empty shape that keeps shape k in step with row k of the attributes.
    for (double v : box) boxes_.push(v);
    shape_parts_.push(static_cast<int32_t>(parts_.size()));
    shape_points_.push(static_cast<uint64_t>(num_points()));
    return AddResult::kAdded;
  }

  ShpData* finish(int32_t shape_type);

 private:
  AddResult add_point(const unsigned char* c, double* box) {
    if (num_points() + 1 > kMaxCount || num_parts() + 1 > kMaxCount) return AddResult::kLimit;
    if (!points_.reserve_extra(2) || !parts_.reserve_extra(1)) return AddResult::kOutOfMemory;
    const double x = load_f64_le(c + kPointXOffset);
    const double y = load_f64_le(c + kPointYOffset);
    parts_.push(static_cast<int32_t>(num_points()));
    points_.push(x);
    points_.push(y);
    box[0] = x;
    box[1] = y;
    box[2] = x;
    box[3] = y;
    return AddResult::kAdded;
  }

  // A poly record that is too short for its counts, or has a negative count,
  // or a part start outside [0, NumPoints], adds nothing (kAdded with the
  // box left at zero). Part starts inside that range are taken as they are,
  // increasing or not.
  AddResult add_poly(const unsigned char* c, std::size_t n, double* box) {
    const int32_t record_parts = load_i32_le(c + kPolyNumPartsOffset);
    const int32_t record_points = load_i32_le(c + kPolyNumPointsOffset);
    if (record_parts < 0 || record_points < 0) return AddResult::kAdded;
    const int64_t points_offset = int64_t{kPolyPartsOffset} + 4 * int64_t{record_parts};
    if (points_offset + 16 * int64_t{record_points} > static_cast<int64_t>(n)) {
      return AddResult::kAdded;
    }
    const unsigned char* starts = c + kPolyPartsOffset;
    for (int32_t i = 0; i < record_parts; ++i) {
      const int32_t start = load_i32_le(starts + 4 * static_cast<std::size_t>(i));
      if (start < 0 || start > record_points) return AddResult::kAdded;
    }

    if (num_points() + record_points > kMaxCount || num_parts() + record_parts > kMaxCount) {
      return AddResult::kLimit;
    }
    if (!parts_.reserve_extra(static_cast<std::size_t>(record_parts)) ||
        !points_.reserve_extra(2 * static_cast<std::size_t>(record_points))) {
      return AddResult::kOutOfMemory;
    }

    // base + start stays within the 32-bit limit: start <= NumPoints and the
    // point count after this record was checked above.
    const int32_t base = static_cast<int32_t>(num_points());
    int32_t* parts = parts_.end();
    for (int32_t i = 0; i < record_parts; ++i) {
      parts[i] = base + load_i32_le(starts + 4 * static_cast<std::size_t>(i));
    }
    parts_.commit(static_cast<std::size_t>(record_parts));

    double* out = points_.end();
    const unsigned char* src = c + points_offset;
    const std::size_t count = 2 * static_cast<std::size_t>(record_points);
    for (std::size_t i = 0; i < count; ++i) out[i] = load_f64_le(src + 8 * i);
    points_.commit(count);

    for (std::size_t i = 0; i < 4; ++i) box[i] = load_f64_le(c + kPolyBoxOffset + 8 * i);
    return AddResult::kAdded;
  }

  WorkArray<double> points_;
  WorkArray<int32_t> parts_;
  WorkArray<int32_t> shape_parts_;
  WorkArray<uint64_t> shape_points_;
  WorkArray<double> boxes_;
};

void free_data(ShpData* data) {
  std::free(data->points);
  std::free(data->parts);
  std::free(data->shape_part_offsets);
  std::free(data->shape_point_offsets);
  std::free(data->bboxes);
  std::free(data);
}

ShpData* Collector::finish(int32_t shape_type) {
  ShpData* d = static_cast<ShpData*>(std::malloc(sizeof(ShpData)));
  if (!d) return nullptr;
  d->shape_type = shape_type;
  d->num_shapes = static_cast<int32_t>(num_shapes());
  d->num_parts = static_cast<uint64_t>(num_parts());
  d->num_points = static_cast<uint64_t>(num_points());
  d->points = nullptr;
  d->parts = nullptr;
  d->shape_part_offsets = nullptr;
  d->shape_point_offsets = nullptr;
  d->bboxes = nullptr;
  if (!points_.release_exact(&d->points) || !parts_.release_exact(&d->parts) ||
      !shape_parts_.release_exact(&d->shape_part_offsets) ||
      !shape_points_.release_exact(&d->shape_point_offsets) ||
      !boxes_.release_exact(&d->bboxes)) {
    free_data(d);
    return nullptr;
  }
  return d;
}

}  // namespace

// =============================================================================
// Exports
// =============================================================================

extern "C" ORDANE_API ShpData* ordane_parse_shp(const char* file_path) {
  if (!file_path) return nullptr;
  int32_t shape_type = 0;
  Collector shapes;
  {
    InputStream in(file_path);
    if (!in.is_open()) return nullptr;

    unsigned char h[kFileHeaderSize];
    if (!read_file_header(in, h)) return nullptr;
    // Only the Shape Type is taken from the header; a wrong File Code is
    // not detected here, the records are read all the same.
    shape_type = load_i32_le(h + kShapeTypeOffset);

    if (!shapes.start(in.size())) return nullptr;

    RecordBuffer buf;
    int64_t bytes = 0;
    int64_t headers = 0;
    while (shapes.num_shapes() < kMaxCount && next_record(in, &bytes, &headers)) {
      const ReadResult r = read_content(in, bytes, buf);
      if (r == ReadResult::kOutOfMemory) return nullptr;
      if (r == ReadResult::kShort) break;  // an incomplete last record adds nothing
      const AddResult a = shapes.add(buf.data(), static_cast<std::size_t>(bytes));
      if (a == AddResult::kOutOfMemory) return nullptr;
      if (a == AddResult::kLimit) break;
    }
  }  // the file is closed before the result is built
  return shapes.finish(shape_type);
}

extern "C" ORDANE_API void ordane_free_shp_data(ShpData* data) {
  if (data) free_data(data);
}
