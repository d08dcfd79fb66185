// libFuzzer target for the shapefile exports reading a pipe: the input is
// fed through a pipe (whose size is unknown, so records are read as their
// bytes arrive) and through an in-memory file; both readings must agree
// shape for shape and bit for bit. The header walk through the pipe cannot
// skip a record, so it counts at most one.

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>

#include "ordane.h"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

// Runs fn on the path of a pipe that delivers data and then ends.
template <typename Fn>
void through_pipe(const uint8_t* data, size_t size, Fn fn) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) __builtin_trap();
  char path[64];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", fds[0]);
  // A writer thread: inputs may exceed what the pipe buffers.
  std::thread writer([&] {
    size_t off = 0;
    while (off < size) {
      const ssize_t w = write(fds[1], data + off, size - off);
      if (w <= 0) break;  // the reader stopped early
      off += static_cast<size_t>(w);
    }
    close(fds[1]);
  });
  fn(path);
  close(fds[0]);  // unblocks a writer the reader left behind
  writer.join();
}

bool same(const void* a, const void* b, size_t n) { return n == 0 || std::memcmp(a, b, n) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An empty pipe whose writer has already gone looks like one without a
  // writer, which the readers wait for; nothing to fuzz there.
  if (size == 0) return 0;
  // A reader that stops early closes the pipe under its writer.
  static const bool no_sigpipe = signal(SIGPIPE, SIG_IGN) != SIG_ERR;
  (void)no_sigpipe;
  static const int fd = memfd_create("ordane_shp_pipe_fuzz", 0);
  static char file[64];
  if (fd < 0) __builtin_trap();
  if (!file[0]) std::snprintf(file, sizeof file, "/proc/self/fd/%d", fd);
  // A pipe is read no further than the File Length its header states (at
  // least the 100-byte header); a regular file to its end. The file copy
  // holds what the pipe's reader may see, so both must read the same.
  size_t seen = size;
  if (size >= 100) {
    const int32_t words = static_cast<int32_t>((uint32_t{data[24]} << 24) | (uint32_t{data[25]} << 16) |
                                               (uint32_t{data[26]} << 8) | uint32_t{data[27]});
    const int64_t stated = int64_t{words} * 2;
    const int64_t limit = stated > 100 ? stated : 100;
    if (limit < static_cast<int64_t>(size)) seen = static_cast<size_t>(limit);
  }
  if (ftruncate(fd, 0) != 0) __builtin_trap();
  if (pwrite(fd, data, seen, 0) != static_cast<ssize_t>(seen)) __builtin_trap();

  ShpHeader h;
  int32_t rc = 0;
  through_pipe(data, size, [&](const char* p) { rc = ordane_read_shp_header(p, &h); });
  ShpHeader hf;
  check(rc == ordane_read_shp_header(file, &hf));
  if (rc == ORDANE_OK) {
    check(h.record_count <= 1 && h.record_count <= hf.record_count);
    check(h.shape_type == hf.shape_type && h.file_length == hf.file_length);
  }

  ShpData* d = nullptr;
  through_pipe(data, size, [&](const char* p) { d = ordane_parse_shp(p); });
  ShpData* e = ordane_parse_shp(file);
  check((d == nullptr) == (e == nullptr));
  if (d) {
    check(d->shape_type == e->shape_type && d->num_shapes == e->num_shapes);
    check(d->num_parts == e->num_parts && d->num_points == e->num_points);
    const size_t shapes = static_cast<size_t>(d->num_shapes);
    check(same(d->points, e->points, 16 * d->num_points));
    check(same(d->parts, e->parts, 4 * d->num_parts));
    check(same(d->shape_part_offsets, e->shape_part_offsets, 4 * (shapes + 1)));
    check(same(d->shape_point_offsets, e->shape_point_offsets, 8 * (shapes + 1)));
    check(same(d->bboxes, e->bboxes, 32 * shapes));
  }
  ordane_free_shp_data(d);
  ordane_free_shp_data(e);
  return 0;
}
