// shp_stream.cpp - the operating system's side of the shapefile readers'
// input stream: which files may be opened, waiting for a FIFO's writer,
// reads retried after signals, seeking forward in steps a long holds.

#include "shp_stream.h"

#include <cerrno>

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

namespace ordane {
namespace shp {

namespace {

#if defined(_WIN32)

std::FILE* open_input(const char* path, int64_t* size) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return nullptr;
  struct _stat64 st;
  const int type = _fstat64(_fileno(f), &st) == 0 ? (st.st_mode & _S_IFMT) : 0;
  if (type != _S_IFREG && type != _S_IFIFO) {
    std::fclose(f);
    return nullptr;
  }
  *size = type == _S_IFREG && st.st_size > 0 ? static_cast<int64_t>(st.st_size) : -1;
  return f;
}

#else

bool is_regular_or_fifo(mode_t mode) { return S_ISREG(mode) || S_ISFIFO(mode); }

int64_t monotonic_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000;
}

// Reads one byte without waiting: 1 with the byte, 0 when the pipe has no
// writer (and no data), -1 when a writer has it but sent nothing yet, -2 on
// an error.
int probe_fifo(int fd, unsigned char* byte) {
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
int wait_for_writer(int fd, unsigned char* byte, bool* came) {
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

// The byte read to find out whether a FIFO has a writer is pushed back, and
// reading then blocks as usual.
std::FILE* open_input(const char* path, int64_t* size) {
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
  // A regular file that states a size of 0 may still deliver bytes (/proc
  // files do, some without end): its size is unknown, not 0.
  *size = S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<int64_t>(st.st_size) : -1;
  return f;
}

#endif

}  // namespace

InputStream::InputStream(const char* path) {
  f_ = open_input(path, &size_);
  limit_ = size_;
}

InputStream::~InputStream() {
  if (f_) std::fclose(f_);
}

void InputStream::limit_to(int64_t total) {
  if (total < 0) return;
  if (limit_ < 0 || total < limit_) limit_ = total;
}

std::size_t InputStream::read(void* buf, std::size_t n) {
  if (limit_ >= 0) {
    const int64_t left = limit_ > pos_ ? limit_ - pos_ : 0;
    if (static_cast<uint64_t>(left) < n) n = static_cast<std::size_t>(left);
  }
  unsigned char* p = static_cast<unsigned char*>(buf);
  std::size_t got = 0;
  while (got < n) {
    errno = 0;
    got += std::fread(p + got, 1, n - got, f_);
    if (got == n || !std::ferror(f_) || errno != EINTR) break;
    std::clearerr(f_);
  }
  pos_ += static_cast<int64_t>(got);
  return got;
}

bool InputStream::skip(int64_t bytes) {
  if (bytes < 0 || (limit_ >= 0 && bytes > limit_ - pos_)) return false;
  // Steps that a long holds on every platform, so that records of 2 GiB or
  // more are skipped exactly.
  constexpr int64_t kStep = INT32_C(0x40000000);
  int64_t left = bytes;
  while (left > 0) {
    const int64_t step = left < kStep ? left : kStep;
    if (std::fseek(f_, static_cast<long>(step), SEEK_CUR) != 0) return false;
    left -= step;
    pos_ += step;
  }
  return true;
}

}  // namespace shp
}  // namespace ordane
