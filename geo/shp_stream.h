// shp_stream.h - the input stream every shapefile reader (.shp, .shx, .dbf,
// .cpg, .prj) reads through: what may be opened, reading that survives
// signals, skipping forward and a bound on the bytes read.
//
// The operating system's side lives in shp_stream.cpp alone; the format code
// sees only this interface.
#ifndef ORDANE_GEO_SHP_STREAM_H
#define ORDANE_GEO_SHP_STREAM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace ordane {
namespace shp {

// A read stream on a regular file or a pipe (FIFO), closed when it goes out
// of scope. Anything else cannot be opened: directories, devices (endless
// ones such as /dev/zero among them) and sockets are refused before a byte
// is read, and a device is not even opened.
//
// A FIFO is opened without waiting (a plain open would block until a writer
// comes, for ever if none does). If no writer has it, the constructor waits
// up to ORDANE_SHP_PIPE_WAIT_MS for one and otherwise refuses it; a writer
// that came and went leaves an empty stream.
//
// Every read stops at the stream's limit: the size of a regular file as it
// was when opened, or for a stream of unknown size (a pipe, or a file that
// states a size of 0 as /proc files do) no limit until the reader sets one
// from what the file's own header allows (limit_to). So a source that never
// ends costs at most what its header claims.
class InputStream {
 public:
  explicit InputStream(const char* path);
  ~InputStream();
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;

  bool is_open() const { return f_ != nullptr; }

  // The size of a regular file that states one, or -1 for a stream of
  // unknown size.
  int64_t size() const { return size_; }

  // Bytes read or skipped so far.
  int64_t position() const { return pos_; }

  // Bytes still allowed before the limit, or -1 when there is none.
  int64_t remaining() const { return limit_ < 0 ? -1 : limit_ - pos_; }

  // Caps the stream at "total" bytes from its start (a smaller limit only;
  // negative values are ignored).
  void limit_to(int64_t total);

  // Reads up to "n" bytes: fewer only at the end of the stream, at its
  // limit or on a read error. A signal interrupting a wait for data is not
  // an error (a handler installed without SA_RESTART, as scripting
  // languages install theirs, makes reads from a pipe fail with EINTR).
  std::size_t read(void* buf, std::size_t n);

  // Moves forward by "bytes" (0 to 2 x (2^31 - 1)) without reading. False,
  // without moving, when the skip would pass the limit (the end of a regular
  // file) or the stream cannot seek (a pipe).
  bool skip(int64_t bytes);

 private:
  std::FILE* f_ = nullptr;
  int64_t size_ = -1;
  int64_t limit_ = -1;
  int64_t pos_ = 0;
};

}  // namespace shp
}  // namespace ordane

#endif  // ORDANE_GEO_SHP_STREAM_H
