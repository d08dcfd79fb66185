// HTTP/HTTPS download of one URL into one local file, on libcurl's easy
// interface.
//
// The destination is opened only once the headers of the final response have
// arrived (after any 1xx interim responses and followed redirects), so every
// failure before that point leaves an existing file as it was. From then on
// the body is streamed through libcurl's 65,536-byte receive buffer straight
// into the file; a body that breaks off or cannot be written is reported, and
// the file keeps what was received.

#include "ordane.h"

#include <curl/curl.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr const char* kUserAgent = "Quillon-ZazAreror/1.0";
constexpr long kTransferBufferSize = 65536;
constexpr long kMaxRedirects = 10;

// ============================================================================
// URL checks
// ============================================================================

// Strict UTF-8: no stray continuation bytes, no overlong forms, no surrogates,
// nothing above U+10FFFF. A continuation byte is never NUL, so the inner loop
// stops at the terminator of a truncated sequence and never reads past it.
bool is_valid_utf8(const unsigned char* s) {
  while (*s != 0) {
    const unsigned lead = *s;
    if (lead < 0x80) {
      ++s;
      continue;
    }
    int length;
    unsigned long cp;
    unsigned long smallest;
    if ((lead & 0xE0) == 0xC0) {
      length = 2;
      cp = lead & 0x1F;
      smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      cp = lead & 0x0F;
      smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      cp = lead & 0x07;
      smallest = 0x10000;
    } else {
      return false;
    }
    for (int i = 1; i < length; ++i) {
      const unsigned next = s[i];
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < smallest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    s += length;
  }
  return true;
}

struct UrlDeleter {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

struct CurlStringDeleter {
  void operator()(char* p) const { curl_free(p); }
};
using CurlString = std::unique_ptr<char, CurlStringDeleter>;

CurlString url_part(CURLU* u, CURLUPart part) {
  char* value = nullptr;
  if (curl_url_get(u, part, &value, 0) != CURLUE_OK) return CurlString();
  return CurlString(value);
}

// Parses "url" and returns the URL to request, or null when it is not an
// http or https URL with a host. The path and query are kept exactly as
// written (no dot-segment removal). Dropped: user name and password, since the
// download never sends credentials (libcurl would turn them into an
// Authorization header), and the fragment, which only has a meaning inside the
// client and is never part of an HTTP request; sending it would ask the server
// for a different resource.
CurlString request_url(const char* url) {
  UrlHandle u(curl_url());
  if (!u) return CurlString();
  if (curl_url_set(u.get(), CURLUPART_URL, url, CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS) !=
      CURLUE_OK) {
    return CurlString();
  }
  CurlString scheme = url_part(u.get(), CURLUPART_SCHEME);
  if (!scheme || (!curl_strequal(scheme.get(), "http") && !curl_strequal(scheme.get(), "https"))) {
    return CurlString();
  }
  CurlString host = url_part(u.get(), CURLUPART_HOST);
  if (!host || host.get()[0] == '\0') return CurlString();

  if (curl_url_set(u.get(), CURLUPART_USER, nullptr, 0) != CURLUE_OK ||
      curl_url_set(u.get(), CURLUPART_PASSWORD, nullptr, 0) != CURLUE_OK ||
      curl_url_set(u.get(), CURLUPART_OPTIONS, nullptr, 0) != CURLUE_OK ||
      curl_url_set(u.get(), CURLUPART_FRAGMENT, nullptr, 0) != CURLUE_OK) {
    return CurlString();
  }
  return url_part(u.get(), CURLUPART_URL);
}

// ============================================================================
// Transfer state and libcurl callbacks
// ============================================================================

struct Transfer {
  const char* dest_path = nullptr;
  std::FILE* file = nullptr;
  bool open_failed = false;
  bool write_failed = false;
  bool final_headers = false;
  // The header block being received: its status code and whether it carries
  // a non-empty Location header.
  long block_status = 0;
  bool block_has_location = false;

  bool open_destination() {
    file = std::fopen(dest_path, "wb");
    if (file == nullptr) open_failed = true;
    return file != nullptr;
  }
};

bool starts_with_nocase(const char* data, size_t size, const char* prefix) {
  const size_t n = std::strlen(prefix);
  return size >= n && curl_strnequal(data, prefix, n);
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// "HTTP/1.1 302 Found" -> 302; 0 when the line holds no three-digit code.
long status_of(const char* line, size_t size) {
  size_t i = 0;
  while (i < size && line[i] != ' ') ++i;
  while (i < size && line[i] == ' ') ++i;
  if (size - i < 3) return 0;
  long code = 0;
  for (size_t k = i; k < i + 3; ++k) {
    if (line[k] < '0' || line[k] > '9') return 0;
    code = code * 10 + (line[k] - '0');
  }
  return code;
}

// libcurl hands every header line here, those of interim (1xx) and redirect
// responses included, each block ending with an empty line. A block is the
// final one unless it is interim or a redirect with a Location, which libcurl
// follows (it skips the body of such a response). At the end of the final
// block the destination is opened; if that fails the transfer is aborted
// before any body is read.
size_t on_header(char* data, size_t size, size_t count, void* user) {
  Transfer* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  if (t->final_headers) return n;  // trailers after a chunked body

  if (starts_with_nocase(data, n, "HTTP/")) {
    t->block_status = status_of(data, n);
    t->block_has_location = false;
    return n;
  }
  if (starts_with_nocase(data, n, "Location:")) {
    for (size_t i = 9; i < n; ++i) {
      if (!is_space(data[i])) {
        t->block_has_location = true;
        break;
      }
    }
    return n;
  }
  size_t i = 0;
  while (i < n && (data[i] == '\r' || data[i] == '\n')) ++i;
  if (n > 0 && i == n) {
    const long status = t->block_status;
    const bool interim = status >= 100 && status < 200;
    // libcurl follows a Location on these codes only (not on 304, 305, 306).
    const bool follows = status == 300 || status == 301 || status == 302 || status == 303 ||
                         status == 307 || status == 308;
    const bool redirect = follows && t->block_has_location;
    if (!interim && !redirect) {
      t->final_headers = true;
      if (t->file == nullptr && !t->open_destination()) return 0;
    }
  }
  return n;
}

// Body bytes of the final response. A failed write aborts the transfer.
size_t on_body(char* data, size_t size, size_t count, void* user) {
  Transfer* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  // Only reached without an open file if a response's headers did not end as
  // expected; the body still belongs in the destination.
  if (t->file == nullptr && !t->open_destination()) return 0;
  if (n > 0 && std::fwrite(data, 1, n, t->file) != n) {
    t->write_failed = true;
    return 0;
  }
  return n;
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

// Where to connect: the URL, the allowed schemes and the redirect policy.
bool set_connection_options(CURL* h, const char* url) {
  bool ok = curl_easy_setopt(h, CURLOPT_URL, url) == CURLE_OK;
#if LIBCURL_VERSION_NUM >= 0x075500
  ok = ok && curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
#else
  ok = ok && curl_easy_setopt(h, CURLOPT_PROTOCOLS, long{CURLPROTO_HTTP | CURLPROTO_HTTPS}) ==
                 CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS,
                              long{CURLPROTO_HTTP | CURLPROTO_HTTPS}) == CURLE_OK;
#endif
  ok = ok && curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L) == CURLE_OK;
  // A proxy tunnel's CONNECT reply is not a response of the server: keep it
  // away from the header callback.
  ok = ok && curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK;
  return ok;
}

// The request itself: a plain GET with the user agent, no signals, and the
// callbacks that open and fill the destination.
bool set_request_options(CURL* h, Transfer* t) {
  bool ok = curl_easy_setopt(h, CURLOPT_HTTPGET, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent) == CURLE_OK;
  // Downloads run on the caller's threads: libcurl must not use signals (for
  // DNS time-outs) nor change the process's signal handlers.
  ok = ok && curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kTransferBufferSize) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, on_header) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_HEADERDATA, t) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, on_body) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_WRITEDATA, t) == CURLE_OK;
  return ok;
}

}  // namespace

// ============================================================================
// Export
// ============================================================================

extern "C" ORDANE_API int32_t ordane_http_download_file(const char* url, const char* dest_path) {
  if (url == nullptr || dest_path == nullptr) return -1;
  if (!is_valid_utf8(reinterpret_cast<const unsigned char*>(url))) return ORDANE_HTTP_ERR_URL_TEXT;

  CurlString target = request_url(url);
  if (!target) return ORDANE_HTTP_ERR_CRACK_URL;

  if (global_init() != CURLE_OK) return ORDANE_HTTP_ERR_SESSION;
  EasyHandle easy(curl_easy_init());
  if (!easy) return ORDANE_HTTP_ERR_SESSION;

  Transfer transfer;
  transfer.dest_path = dest_path;
  if (!set_connection_options(easy.get(), target.get())) return ORDANE_HTTP_ERR_CONNECT;
  if (!set_request_options(easy.get(), &transfer)) return ORDANE_HTTP_ERR_REQUEST;

  const CURLcode rc = curl_easy_perform(easy.get());
  easy.reset();

  if (transfer.open_failed) {
    return ORDANE_HTTP_ERR_OPEN_DEST;
  }
  if (transfer.file == nullptr) {
    // No final response reached the callbacks: the request failed before its
    // headers arrived, and nothing was created.
    if (rc != CURLE_OK) return ORDANE_HTTP_ERR_SEND;
    // A successful transfer always ends a header block; opening here only
    // guards against a response that somehow did not.
    if (!transfer.open_destination()) return ORDANE_HTTP_ERR_OPEN_DEST;
  }

  // The file keeps the bytes received so far whatever happened; a broken-off
  // body, a failed write or a failed final flush makes it incomplete.
  bool complete = rc == CURLE_OK && !transfer.write_failed;
  if (std::fclose(transfer.file) != 0) complete = false;
  return complete ? 0 : ORDANE_HTTP_ERR_TRANSFER;
}
