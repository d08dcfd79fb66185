// HTTP/HTTPS download of one URL into one local file, on libcurl's easy
// interface.
//
// Each hop of a redirect chain is its own transfer: the response's header
// block is read line by line, and at its end the download decides what the
// response is. An interim (1xx) response is skipped; a 3xx with a Location is
// followed by a new transfer to the resolved URL (credentials, fragment and
// any scheme but http and https refused as for the caller's URL); anything
// else is the final response. Only then, and only if the final response
// frames its body unambiguously (one Content-Length value, no transfer coding
// but chunked), is the destination opened. Every failure before that point
// leaves an existing file as it was. From then on the body is streamed
// through libcurl's 65,536-byte receive buffer straight into the file, saved
// exactly as sent; a body that breaks off, stalls or cannot be written is
// reported, and the file keeps what was received.
//
// No call can block forever: a connection (TCP and TLS set-up) gets a fixed
// time, and once connected the transfer is abandoned when too few bytes
// arrive over a sliding window, so a server that says nothing and one that
// drips a byte now and then are both cut off. The bytes counted are those
// that reach the socket, read from the kernel's own count where it keeps
// one, so a slow TLS record or header line counts while it is still coming
// in. The destination is opened without waiting for a FIFO's reader.

#include "ordane.h"
#include "http_download.h"
#include "http_stall_watch.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <idn2.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace {

constexpr const char* kUserAgent = "Quillon-ZazAreror/1.0";
constexpr long kTransferBufferSize = 65536;
constexpr int kMaxRedirects = ORDANE_HTTP_MAX_REDIRECTS;
constexpr long kConnectLimitMs = ORDANE_HTTP_CONNECT_LIMIT_S * 1000L;
using ordane::StallWatch;
using ordane::http::authority_is_present;
using ordane::http::equals_nocase;
using ordane::http::Framing;
using ordane::http::is_ows;
using ordane::http::is_valid_utf8;
using ordane::http::trim;

using Clock = std::chrono::steady_clock;

// ============================================================================
// URL checks
// ============================================================================

struct UrlDeleter {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

struct CurlStringDeleter {
  void operator()(char* p) const { curl_free(p); }
};
using CurlString = std::unique_ptr<char, CurlStringDeleter>;

struct IdnStringDeleter {
  void operator()(uint8_t* p) const { idn2_free(p); }
};
using IdnString = std::unique_ptr<uint8_t, IdnStringDeleter>;

int32_t url_failure(CURLUcode rc) {
  return rc == CURLUE_OUT_OF_MEMORY ? ORDANE_HTTP_ERR_SESSION : ORDANE_HTTP_ERR_CRACK_URL;
}

// One part of a parsed URL. Returns 0, ORDANE_HTTP_ERR_CRACK_URL when the URL
// has no such part, or ORDANE_HTTP_ERR_SESSION when memory ran out.
int32_t url_part(CURLU* u, CURLUPart part, CurlString* out) {
  char* value = nullptr;
  const CURLUcode rc = curl_url_get(u, part, &value, 0);
  out->reset(value);
  if (rc != CURLUE_OK) return url_failure(rc);
  return *out ? 0 : ORDANE_HTTP_ERR_CRACK_URL;
}

// A host name with letters beyond ASCII becomes its ASCII (punycode) form
// through libidn2's UTF-8 entry point, so the result never depends on the
// process's locale. UTS #46 non-transitional processing is tried first, as
// current browsers do, then transitional for names that only it allows.
int32_t make_host_ascii(CURLU* u) {
  CurlString host;
  if (const int32_t rc = url_part(u, CURLUPART_HOST, &host); rc != 0) return rc;
  if (host.get()[0] == '\0') return ORDANE_HTTP_ERR_CRACK_URL;
  bool ascii = true;
  for (const char* p = host.get(); *p != 0; ++p) {
    if (static_cast<unsigned char>(*p) >= 0x80) ascii = false;
  }
  if (ascii) return 0;
  const uint8_t* name = reinterpret_cast<const uint8_t*>(host.get());
  uint8_t* converted = nullptr;
  int rc = idn2_lookup_u8(name, &converted, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
  if (rc == IDN2_DISALLOWED) {
    rc = idn2_lookup_u8(name, &converted, IDN2_NFC_INPUT | IDN2_TRANSITIONAL);
  }
  IdnString owned(converted);
  if (rc == IDN2_MALLOC) return ORDANE_HTTP_ERR_SESSION;
  if (rc != IDN2_OK || !owned) return ORDANE_HTTP_ERR_CRACK_URL;
  const CURLUcode set = curl_url_set(u, CURLUPART_HOST, reinterpret_cast<const char*>(owned.get()), 0);
  return set == CURLUE_OK ? 0 : url_failure(set);
}

// Turns "text" into the URL to request: the caller's URL when "base" is null,
// else a redirect's Location resolved against the URL that gave it. Returns 0,
// ORDANE_HTTP_ERR_CRACK_URL when it is not an http or https URL with a host,
// or ORDANE_HTTP_ERR_SESSION when memory ran out.
//
// The path and query are kept exactly as written (no dot-segment removal).
// Dropped: user name and password, since the download never sends
// credentials (libcurl would turn them into an Authorization header), and the
// fragment, which only has a meaning inside the client and is never part of
// an HTTP request; sending it would ask the server for a different resource.
int32_t make_request_url(const char* text, const char* base, CurlString* out) {
  if (!authority_is_present(text)) return ORDANE_HTTP_ERR_CRACK_URL;
  UrlHandle u(curl_url());
  if (!u) return ORDANE_HTTP_ERR_SESSION;
  const unsigned int flags = CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS;
  CURLUcode rc = CURLUE_OK;
  if (base == nullptr) {
    rc = curl_url_set(u.get(), CURLUPART_URL, text, flags);
  } else {
    // Servers put spaces and raw UTF-8 into Location; they are escaped as a
    // browser would.
    rc = curl_url_set(u.get(), CURLUPART_URL, base, flags);
    if (rc == CURLUE_OK) {
      rc = curl_url_set(u.get(), CURLUPART_URL, text,
                        flags | CURLU_URLENCODE | CURLU_ALLOW_SPACE);
    }
  }
  if (rc != CURLUE_OK) return url_failure(rc);

  CurlString scheme;
  if (const int32_t part = url_part(u.get(), CURLUPART_SCHEME, &scheme); part != 0) return part;
  if (!curl_strequal(scheme.get(), "http") && !curl_strequal(scheme.get(), "https")) {
    return ORDANE_HTTP_ERR_CRACK_URL;
  }
  if (const int32_t host = make_host_ascii(u.get()); host != 0) return host;

  for (CURLUPart part : {CURLUPART_USER, CURLUPART_PASSWORD, CURLUPART_OPTIONS,
                         CURLUPART_FRAGMENT}) {
    rc = curl_url_set(u.get(), part, nullptr, 0);
    if (rc != CURLUE_OK) return url_failure(rc);
  }
  char* value = nullptr;
  rc = curl_url_get(u.get(), CURLUPART_URL, &value, 0);
  if (rc != CURLUE_OK) return url_failure(rc);
  out->reset(value);
  return 0;
}

// ============================================================================
// Stall rule
// ============================================================================

// Bytes that arrived from the server, counted from the creation of the
// download's sockets. Where the system counts the payload bytes its TCP layer
// received on a socket (Linux's TCP_INFO), that count is read: every byte the
// server sent counts as soon as it is in, whether libcurl could hand it over
// yet or not (a TLS record still coming in, chunk framing, a header line
// without its end), TLS record overhead included. Otherwise the header and
// body bytes libcurl handed to the callbacks are counted.
//
// The sockets are those libcurl creates and closes through the socket
// callbacks below: libcurl 7.88 names a transfer's socket
// (CURLINFO_ACTIVESOCKET) only once the transfer is over. A connection has
// one socket, more only while its addresses are being tried.
class ArrivalCount {
 public:
  void opened(curl_socket_t sock) {
    for (Socket& s : sockets_) {
      if (s.fd == CURL_SOCKET_BAD) {
        s = Socket{sock, 0};
        return;
      }
    }
  }

  void closed(curl_socket_t sock) {
    for (Socket& s : sockets_) {
      if (s.fd == sock) s = Socket{};
    }
  }

  // The count so far, given the bytes handed to the callbacks so far.
  uint64_t update(curl_off_t handed_over) {
    bool any = false;
    for (Socket& s : sockets_) {
      uint64_t bytes = 0;
      if (s.fd == CURL_SOCKET_BAD || !socket_bytes(s.fd, &bytes)) continue;
      any = true;
      if (bytes > s.bytes) total_ += bytes - s.bytes;
      s.bytes = bytes;
    }
    if (!any && handed_over > handed_) total_ += static_cast<uint64_t>(handed_over - handed_);
    handed_ = handed_over;
    return total_;
  }

 private:
  struct Socket {
    curl_socket_t fd = CURL_SOCKET_BAD;
    uint64_t bytes = 0;  // received by the time of the last look
  };

  static bool socket_bytes(curl_socket_t sock, uint64_t* bytes) {
#if defined(__linux__)
    struct tcp_info info;
    std::memset(&info, 0, sizeof info);
    socklen_t length = sizeof info;
    if (getsockopt(sock, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return false;
    // Kernels before 4.1 fill a shorter record without the field.
    if (length < offsetof(struct tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received) {
      return false;
    }
    *bytes = info.tcpi_bytes_received;
    return true;
#else
    (void)sock;
    (void)bytes;
    return false;
#endif
  }

  std::array<Socket, 8> sockets_{};
  curl_off_t handed_ = 0;
  uint64_t total_ = 0;
};

int on_socket_opened(void* user, curl_socket_t sock, curlsocktype purpose) {
  if (purpose == CURLSOCKTYPE_IPCXN) static_cast<ArrivalCount*>(user)->opened(sock);
  return CURL_SOCKOPT_OK;
}

int on_socket_close(void* user, curl_socket_t sock) {
  static_cast<ArrivalCount*>(user)->closed(sock);
  return close(sock);
}

// ============================================================================
// One hop: transfer state and libcurl callbacks
// ============================================================================

// Opens "path" as fopen(path, "wb") would (created with mode 0666 less the
// umask, or truncated), except that a FIFO without a reader fails at once:
// fopen would wait for one for ever, out of reach of the stall rule. The
// open itself is non-blocking; writes afterwards block as usual.
std::FILE* open_destination(const char* path) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  const int flags = fcntl(fd, F_GETFL);
  std::FILE* file = nullptr;
  if (flags != -1 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
  return file;
}

struct Transfer {
  CURL* easy = nullptr;
  const char* dest_path = nullptr;
  std::FILE* file = nullptr;

  bool open_failed = false;
  bool write_failed = false;
  bool malformed = false;
  bool out_of_memory = false;
  bool stalled = false;

  // The header block being received.
  bool block_start = true;
  bool final_headers = false;
  Framing framing;
  bool has_location = false;
  std::string location;
  // Set when the block was a redirect: the transfer stops and "location" is
  // the next hop.
  bool redirect = false;
  // The status of this hop's response once its header block is complete
  // (interim responses aside); 0 until then.
  int32_t http_status = 0;

  // Stall rule, from the moment the connection is set up. "received" counts
  // the header and body bytes handed to the callbacks.
  bool connected = false;
  curl_off_t received = 0;
  ArrivalCount* arrived = nullptr;
  StallWatch watch;

  // Called with one header line without its line end.
  bool header_line(std::string_view line) {
    if (line.empty()) return end_of_block();
    if (block_start) {
      // The status line; libcurl has parsed it into CURLINFO_RESPONSE_CODE.
      // Later lines starting with "HTTP/" are ordinary fields.
      block_start = false;
      framing.reset();
      has_location = false;
      location.clear();
      return true;
    }
    if (is_ows(line.front())) {
      framing.continuation();
      return true;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      framing.field(line, std::string_view());
      return true;
    }
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = trim(line.substr(colon + 1));
    framing.field(name, value);
    // The first Location counts, as for libcurl itself. A value with a NUL
    // could not be passed on whole.
    if (!has_location && !value.empty() && equals_nocase(name, "Location")) {
      if (value.find('\0') != std::string_view::npos) {
        malformed = true;
        return false;
      }
      location.assign(value.data(), value.size());
      has_location = true;
    }
    return true;
  }

  // The empty line after a header block: decides what the response is.
  bool end_of_block() {
    block_start = true;
    long status = 0;
    if (curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) status = 0;
    // libcurl takes three digits, never more; anything else is no status.
    if (status == 101 || (status >= 200 && status <= 999)) http_status = static_cast<int32_t>(status);
    if (status == 101) {
      // A protocol switch that was never asked for.
      malformed = true;
      return false;
    }
    if (status >= 100 && status < 200) return true;
    if (status >= 300 && status < 400 && has_location) {
      redirect = true;
      return false;
    }
    if (framing.malformed()) {
      malformed = true;
      return false;
    }
    final_headers = true;
    file = open_destination(dest_path);
    if (file == nullptr) {
      open_failed = true;
      return false;
    }
    return true;
  }
};

// Every header line of every response of the hop, trailers of a chunked body
// included. Returning anything but the size aborts the transfer. No exception
// may unwind through libcurl: the only one possible, running out of memory
// while keeping a Location, is turned into an abort.
size_t on_header(char* data, size_t size, size_t count, void* user) {
  Transfer* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  t->received += static_cast<curl_off_t>(n);
  if (t->final_headers) return n;
  std::string_view line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  try {
    return t->header_line(line) ? n : 0;
  } catch (...) {
    t->out_of_memory = true;
    return 0;
  }
}

// Body bytes of the final response. A failed write aborts the transfer.
size_t on_body(char* data, size_t size, size_t count, void* user) {
  Transfer* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  t->received += static_cast<curl_off_t>(n);
  if (t->file == nullptr) {
    // Body bytes before the end of a final header block: not a response.
    t->malformed = true;
    return 0;
  }
  if (n > 0 && std::fwrite(data, 1, n, t->file) != n) {
    t->write_failed = true;
    return 0;
  }
  return n;
}

// The connection is set up (TCP, and TLS for https): the connection limit no
// longer applies and the stall rule starts.
int on_connected(void* user, char*, char*, int, int) {
  Transfer* t = static_cast<Transfer*>(user);
  t->connected = true;
  t->watch.start(Clock::now(), t->arrived->update(t->received));
  return CURL_PREREQFUNC_OK;
}

int on_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  Transfer* t = static_cast<Transfer*>(user);
  if (!t->connected) return 0;
  if (!t->watch.stalled(Clock::now(), t->arrived->update(t->received))) return 0;
  t->stalled = true;
  return 1;
}

// ============================================================================
// libcurl session
// ============================================================================

// libcurl's process-wide set-up, done once. A function-local static is
// initialised exactly once even when several threads arrive together, which
// also covers libcurl versions whose curl_global_init is not thread-safe.
CURLcode global_init() {
  static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
  return result;
}

struct EasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

// The allowed schemes and the connection limit. Redirects are followed hop by
// hop by the download itself, never by libcurl. Returns the first failure.
CURLcode set_connection_options(CURL* h) {
  CURLcode rc = curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L);
  // Name resolution, TCP and TLS set-up together.
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, kConnectLimitMs);
  // A proxy tunnel's CONNECT reply is not a response of the server: keep it
  // away from the header callback.
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  return rc;
}

// The request itself: a plain GET with the user agent and no other field of
// ours ("Accept" and a plain proxy's "Proxy-Connection" are libcurl's
// additions, removed here), no signals, and the callbacks that open and fill
// the destination and watch for stalls. Returns the first failure.
CURLcode set_request_options(CURL* h, curl_slist* removed_fields, Transfer* t) {
  CURLcode rc = curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_HTTPHEADER, removed_fields);
  // Downloads run on the caller's threads: libcurl must not use signals (for
  // DNS time-outs) nor change the process's signal handlers.
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kTransferBufferSize);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, on_header);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_HEADERDATA, t);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, on_body);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_WRITEDATA, t);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, on_connected);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_PREREQDATA, t);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, on_progress);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_XFERINFODATA, t);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_SOCKOPTFUNCTION, on_socket_opened);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_SOCKOPTDATA, t->arrived);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_CLOSESOCKETFUNCTION, on_socket_close);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_CLOSESOCKETDATA, t->arrived);
  return rc;
}

// One call of the export. "stage" records how far it got, so that running
// out of memory anywhere can still be reported with the documented code and
// the file in the documented state.
class Download {
 public:
  explicit Download(const char* dest_path) {
    transfer_.dest_path = dest_path;
    transfer_.arrived = &arrived_;
  }
  ~Download() { close_file(); }

  int32_t run(const char* url) {
    if (!is_valid_utf8(url)) {
      return ORDANE_HTTP_ERR_URL_TEXT;
    }
    CurlString target;
    if (const int32_t rc = make_request_url(url, nullptr, &target); rc != 0) return rc;

    if (global_init() != CURLE_OK) return ORDANE_HTTP_ERR_SESSION;
    easy_.reset(curl_easy_init());
    if (!easy_) return ORDANE_HTTP_ERR_SESSION;
    // An option refused for want of memory is memory running out before
    // the transfer, not an option the handle cannot take.
    if (const CURLcode rc = set_connection_options(easy_.get()); rc != CURLE_OK) {
      return rc == CURLE_OUT_OF_MEMORY ? ORDANE_HTTP_ERR_SESSION : ORDANE_HTTP_ERR_CONNECT;
    }
    // curl_slist_append fails only when memory runs out.
    Slist removed(curl_slist_append(nullptr, "Accept:"));
    curl_slist* more = removed ? curl_slist_append(removed.get(), "Proxy-Connection:") : nullptr;
    if (more == nullptr) return ORDANE_HTTP_ERR_SESSION;
    if (const CURLcode rc = set_request_options(easy_.get(), removed.get(), &transfer_);
        rc != CURLE_OK) {
      return rc == CURLE_OUT_OF_MEMORY ? ORDANE_HTTP_ERR_SESSION : ORDANE_HTTP_ERR_REQUEST;
    }

    started_ = true;
    for (int redirects = 0;; ++redirects) {
      reset_transfer();
      if (curl_easy_setopt(easy_.get(), CURLOPT_URL, target.get()) != CURLE_OK) {
        return ORDANE_HTTP_ERR_SEND;
      }
      const CURLcode rc = curl_easy_perform(easy_.get());
      if (transfer_.open_failed) return ORDANE_HTTP_ERR_OPEN_DEST;
      if (transfer_.file == nullptr) {
        // No final response: a failure, or a redirect to follow.
        if (!transfer_.redirect || redirects == kMaxRedirects) return ORDANE_HTTP_ERR_SEND;
        if (!is_valid_utf8(transfer_.location.c_str())) {
          return ORDANE_HTTP_ERR_SEND;
        }
        CurlString next;
        if (make_request_url(transfer_.location.c_str(), target.get(), &next) != 0) {
          return ORDANE_HTTP_ERR_SEND;
        }
        target = std::move(next);
        continue;
      }
      // The file keeps the bytes received so far whatever happened; a
      // broken-off or stalled body, a failed write or a failed final flush
      // makes it incomplete.
      easy_.reset();
      const bool complete = rc == CURLE_OK && !transfer_.write_failed;
      return close_file() && complete ? 0 : ORDANE_HTTP_ERR_TRANSFER;
    }
  }

  // The status of the last complete response of the last hop, 0 if none.
  int32_t status() const { return transfer_.http_status; }

  // The code for a failure thrown out of run(): nothing is known about the
  // transfer but how far it got.
  int32_t failure_code() {
    easy_.reset();
    if (transfer_.file != nullptr) {
      close_file();
      return ORDANE_HTTP_ERR_TRANSFER;
    }
    return started_ ? ORDANE_HTTP_ERR_SEND : ORDANE_HTTP_ERR_SESSION;
  }

 private:
  // A fresh state for the next hop; the file is never open here.
  void reset_transfer() {
    Transfer fresh;
    fresh.easy = easy_.get();
    fresh.dest_path = transfer_.dest_path;
    fresh.arrived = &arrived_;
    transfer_ = std::move(fresh);
  }

  bool close_file() {
    if (transfer_.file == nullptr) return true;
    const bool ok = std::fclose(transfer_.file) == 0;
    transfer_.file = nullptr;
    return ok;
  }

  Transfer transfer_;
  // Outlives the handle, which reports the closing of its sockets to it.
  ArrivalCount arrived_;
  EasyHandle easy_;
  bool started_ = false;
};

// A write to a FIFO whose reader has gone raises SIGPIPE, whose default
// action ends the process. While a guard lives, SIGPIPE is blocked in the
// calling thread (the signal a write raises goes to the thread that wrote)
// and one raised meanwhile is taken off again, so the write just fails with
// EPIPE. The process's signal actions are not touched.
class SigpipeGuard {
 public:
  SigpipeGuard() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    blocked_ = pthread_sigmask(SIG_BLOCK, &pipe_, &old_) == 0;
    if (blocked_) was_pending_ = pending();
  }
  ~SigpipeGuard() {
    if (!blocked_) return;
    if (!was_pending_ && pending()) {
      const timespec zero{0, 0};
      sigtimedwait(&pipe_, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  static bool pending() {
    sigset_t set;
    return sigpending(&set) == 0 && sigismember(&set, SIGPIPE) == 1;
  }

  sigset_t pipe_;
  sigset_t old_;
  bool blocked_ = false;
  bool was_pending_ = false;
};

}  // namespace

// ============================================================================
// Entry point of the exports (http_download_exports.cpp)
// ============================================================================

int32_t ordane::http::download_file(const char* url, const char* dest_path,
                                    int32_t* http_status) noexcept {
  const SigpipeGuard no_sigpipe;
  Download download(dest_path);
  int32_t rc = 0;
  try {
    rc = download.run(url);
  } catch (...) {
    rc = download.failure_code();
  }
  *http_status = download.status();
  return rc;
}
