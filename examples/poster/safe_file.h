// Output that never leaves a broken file: everything is written to a
// temporary file beside the destination and renamed into place once it is
// complete, so an interrupted run, a full disk or an encoder failure leaves
// the destination as it was (missing, or the previous complete file).
#ifndef QUILLON_POSTER_SAFE_FILE_H
#define QUILLON_POSTER_SAFE_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace poster {

class SafeFile {
 public:
  SafeFile() = default;
  ~SafeFile();  // removes the temporary file unless commit() succeeded
  SafeFile(const SafeFile&) = delete;
  SafeFile& operator=(const SafeFile&) = delete;

  // Creates the temporary file for "path" ("-": standard output, written
  // directly). On failure "error" names the cause.
  bool open(const std::string& path, std::string* error);
  bool write(const void* data, size_t size, std::string* error);
  // Closes the temporary file and renames it to the destination; "sync"
  // flushes it to the disk first (file systems that report a full disk
  // only then, and a power cut after the rename).
  bool commit(std::string* error, bool sync = true);
  // Removes the temporary file; the destination stays as it was.
  void discard();

  const std::string& path() const { return path_; }
  // The temporary file's name while it is open (empty for standard output).
  const std::string& temp_path() const { return temp_; }

 private:
  std::string path_;
  std::string temp_;
  int fd_ = -1;
  int slot_ = -1;  // in the list of temporaries removed on a signal
  bool to_stdout_ = false;
};

// The whole of "bytes" to "path" through a SafeFile.
bool write_file_safely(const std::string& path, const std::vector<uint8_t>& bytes,
                       std::string* error);

// Ctrl-C (SIGINT), SIGTERM and SIGHUP remove the temporary files of every
// open SafeFile, then end the program by the same signal. SIGPIPE is
// ignored, so a closed pipe is a write error (EPIPE) that is reported.
void install_interrupt_cleanup();

// A temporary file name of this program, for tests: ".NAME.*.part".
bool is_temporary_name(const std::string& file_name);

}  // namespace poster

#endif  // QUILLON_POSTER_SAFE_FILE_H
