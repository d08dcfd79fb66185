// Temporary files are named ".NAME.XXXXXX.part" in the destination's folder
// (a rename only replaces atomically within one file system), created with
// mkstemp and given the permissions an ordinary new file would get.
#include "safe_file.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace poster {

namespace {

// Temporaries the signal handler removes: fixed storage, since the handler
// may only read memory and call async-signal-safe functions (unlink).
constexpr int kSlots = 16;
char g_temp_names[kSlots][PATH_MAX];
std::atomic<int> g_slot_used[kSlots];
std::atomic<mode_t> g_umask{022};

int claim_slot(const std::string& name) {
  if (name.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = 0;
    if (g_slot_used[i].compare_exchange_strong(expected, 1)) {
      std::memcpy(g_temp_names[i], name.c_str(), name.size() + 1);
      g_slot_used[i].store(2);  // the name is complete: the handler may use it
      return i;
    }
  }
  return -1;
}

void release_slot(int slot) {
  if (slot >= 0) g_slot_used[slot].store(0);
}

extern "C" void remove_temporaries_and_die(int sig) {
  for (int i = 0; i < kSlots; ++i)
    if (g_slot_used[i].load() == 2) unlink(g_temp_names[i]);
  signal(sig, SIG_DFL);
  raise(sig);
}

std::string cause(int err) { return std::strerror(err); }

}  // namespace

SafeFile::~SafeFile() { discard(); }

bool SafeFile::open(const std::string& path, std::string* error) {
  discard();
  path_ = path;
  if (path == "-") {
    to_stdout_ = true;
    fd_ = STDOUT_FILENO;
    return true;
  }
  const std::filesystem::path p(path);
  std::filesystem::path folder = p.parent_path();
  std::string templ = (folder / ("." + p.filename().string() + ".XXXXXX.part")).string();
  std::vector<char> name(templ.begin(), templ.end());
  name.push_back('\0');
  const int fd = mkstemps(name.data(), 5);
  if (fd < 0) {
    *error = "cannot write '" + path + "': " + cause(errno);
    return false;
  }
  fd_ = fd;
  temp_ = name.data();
  slot_ = claim_slot(temp_);
  // mkstemp makes the file private (0600); the poster gets what any new file
  // would.
  fchmod(fd_, 0666 & ~g_umask.load());
  return true;
}

bool SafeFile::write(const void* data, size_t size, std::string* error) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd_, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = "cannot write '" + (to_stdout_ ? std::string("standard output") : path_) +
               "': " + cause(errno);
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool SafeFile::commit(std::string* error, bool sync) {
  if (to_stdout_) {
    fd_ = -1;
    to_stdout_ = false;
    return true;
  }
  const int fd = fd_;
  fd_ = -1;
  // Some file systems (NFS, a quota) report a full disk only when the data
  // is flushed or the file is closed.
  if (sync && fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
    *error = "cannot write '" + path_ + "': " + cause(errno);
    close(fd);
    discard();
    return false;
  }
  if (close(fd) != 0) {
    *error = "cannot write '" + path_ + "': " + cause(errno);
    discard();
    return false;
  }
  if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
    *error = "cannot write '" + path_ + "': " + cause(errno);
    discard();
    return false;
  }
  release_slot(slot_);
  slot_ = -1;
  temp_.clear();
  return true;
}

void SafeFile::discard() {
  if (fd_ >= 0 && !to_stdout_) close(fd_);
  fd_ = -1;
  to_stdout_ = false;
  if (!temp_.empty()) unlink(temp_.c_str());
  release_slot(slot_);
  slot_ = -1;
  temp_.clear();
}

bool write_file_safely(const std::string& path, const std::vector<uint8_t>& bytes,
                       std::string* error) {
  SafeFile file;
  return file.open(path, error) && file.write(bytes.data(), bytes.size(), error) &&
         file.commit(error);
}

void install_interrupt_cleanup() {
  const mode_t mask = umask(022);
  umask(mask);
  g_umask.store(mask);
  struct sigaction sa {};
  sa.sa_handler = remove_temporaries_and_die;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

bool is_temporary_name(const std::string& name) {
  return name.size() > 13 && name[0] == '.' && name.compare(name.size() - 5, 5, ".part") == 0;
}

}  // namespace poster
