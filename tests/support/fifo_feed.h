// fifo_feed.h - a named pipe fed by a writer thread, for reading shapefiles
// through a FIFO in tests.
#ifndef QUILLON_TESTS_SUPPORT_FIFO_FEED_H
#define QUILLON_TESTS_SUPPORT_FIFO_FEED_H

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>

namespace quillon_test {

// Creates a FIFO next to the temporary files. The writer thread, if started,
// opens it for writing (after "delay"), calls "feed" with the descriptor and
// closes it. Writes after the reader has gone fail instead of raising
// SIGPIPE.
class FifoFeed {
 public:
  FifoFeed() {
    static int counter = 0;
    ::signal(SIGPIPE, SIG_IGN);
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir && *dir ? dir : "/tmp") + "/ordane_fifo_" +
            std::to_string(static_cast<long>(getpid())) + "_" + std::to_string(++counter);
    ok_ = ::mkfifo(path_.c_str(), 0600) == 0;
  }
  ~FifoFeed() {
    if (writer_.joinable()) writer_.join();
    ::unlink(path_.c_str());
  }
  FifoFeed(const FifoFeed&) = delete;
  FifoFeed& operator=(const FifoFeed&) = delete;

  const char* path() const { return path_.c_str(); }
  bool ok() const { return ok_; }

  void start(std::function<void(int)> feed,
             std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
    writer_ = std::thread([this, feed, delay] {
      std::this_thread::sleep_for(delay);
      const int fd = ::open(path_.c_str(), O_WRONLY);
      if (fd < 0) return;
      feed(fd);
      ::close(fd);
    });
  }

  // Writes all of b (false once the reader has gone).
  static bool write_all(int fd, const unsigned char* b, size_t n) {
    while (n > 0) {
      const ssize_t w = ::write(fd, b, n);
      if (w <= 0) return false;
      b += w;
      n -= static_cast<size_t>(w);
    }
    return true;
  }

  void join() {
    if (writer_.joinable()) writer_.join();
  }

 private:
  std::string path_;
  bool ok_ = false;
  std::thread writer_;
};

}  // namespace quillon_test

#endif  // QUILLON_TESTS_SUPPORT_FIFO_FEED_H
