// HTTP/HTTPS download of one URL into one local file, on Windows' WinHTTP
// (synchronous mode). The Linux build's counterpart is http_download.cpp;
// both keep the contract of ordane_http_download_file in ordane.h, and the
// paragraph "On Windows" there lists where WinHTTP makes them differ.
//
// The URL is checked before WinHTTP sees it: WinHttpCrackUrl accepts an
// empty host ("http:///x") and mis-cracks bracketed IPv6 literals, and it
// would send a fragment to the server as "%23...". So the scheme, the "//"
// and a host are required here, the fragment is cut off, and the host and
// port are taken from this check; WinHttpCrackUrl then splits off the
// request object (path and query, as written).
//
// WinHTTP follows the redirects itself (https to http included) and parses
// the response. Once the final response's headers are in, its raw header
// block is read back: a body framed ambiguously (different lengths, a
// transfer coding other than chunked) is refused before the destination is
// opened, as is a protocol switch. The body is then streamed through one
// 65,536-byte buffer into the file. WinHTTP ends a body that is shorter than
// its Content-Length as if it were complete, so the bytes are counted
// against that length here.
//
// No call can block forever: name resolution and the connection get the
// connection limit, the wait for the response headers gets one stall window
// (WinHTTP's receive timeout does not cover that wait, its receive-response
// timeout does), each read waits at most one stall window, and the stall
// rule of ordane.h (too few bytes over a sliding window) is applied to the
// body here, since a server dripping a byte now and then never trips
// WinHTTP's per-read timeout.

#include "ordane.h"
#include "http_download.h"
#include "http_stall_watch.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winhttp.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const wchar_t* kUserAgent = L"Quillon-ZazAreror/1.0";
constexpr DWORD kTransferBufferSize = 65536;
constexpr DWORD kMaxRedirects = ORDANE_HTTP_MAX_REDIRECTS;
constexpr int kConnectLimitMs = ORDANE_HTTP_CONNECT_LIMIT_S * 1000;
constexpr int kStallWindowMs = ORDANE_HTTP_STALL_WINDOW_S * 1000;
using ordane::StallWatch;
using ordane::http::equals_nocase;
using ordane::http::Framing;
using ordane::http::is_alpha;
using ordane::http::is_digit;
using ordane::http::is_ows;
using ordane::http::is_valid_utf8;
using ordane::http::scheme_length;
using ordane::http::trim;

using Clock = std::chrono::steady_clock;

// ============================================================================
// URL checks
// ============================================================================

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// What the check of the caller's URL finds.
struct Target {
  bool secure = false;
  std::string url;   // the URL without its fragment, as WinHttpCrackUrl gets it
  std::string host;  // as written (brackets of an IPv6 literal kept)
  INTERNET_PORT port = 0;
};

// A host character of a registered name or an IPv4 address; anything
// outside, a space or a percent escape included, makes the URL unusable.
bool is_host_char(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 0x80 || is_alpha(c) || is_digit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

// "http" or "https" (any case), "//", an authority with a host, then the
// rest. User name and password are skipped: no credentials are ever sent.
bool check_url(const char* url, Target* out) {
  const std::string_view text(url);
  const size_t i = scheme_length(text);
  if (i == 0) return false;
  const std::string_view scheme = text.substr(0, i);
  if (equals_nocase(scheme, "https")) {
    out->secure = true;
  } else if (!equals_nocase(scheme, "http")) {
    return false;
  }
  if (text.substr(i + 1, 2) != "//") return false;
  const size_t start = i + 3;
  size_t end = start;
  while (end < text.size() && text[end] != '/' && text[end] != '?' && text[end] != '#' &&
         text[end] != '\\') {
    ++end;
  }
  std::string_view authority = text.substr(start, end - start);
  const size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority.remove_prefix(at + 1);

  std::string_view host;
  std::string_view port;
  if (!authority.empty() && authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos || close < 2) return false;
    for (char c : authority.substr(1, close - 1)) {
      if (!is_digit(c) && !(lower(c) >= 'a' && lower(c) <= 'f') && c != ':' && c != '.') {
        return false;
      }
    }
    host = authority.substr(0, close + 1);
    const std::string_view rest = authority.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      port = rest.substr(1);
    }
  } else {
    const size_t colon = authority.find(':');
    host = authority.substr(0, colon);
    if (colon != std::string_view::npos) port = authority.substr(colon + 1);
    for (char c : host) {
      if (!is_host_char(c)) return false;
    }
  }
  if (host.empty()) return false;
  unsigned long number = out->secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  if (!port.empty()) {
    if (port.size() > 5) return false;
    number = 0;
    for (char c : port) {
      if (!is_digit(c)) return false;
      number = number * 10 + static_cast<unsigned long>(c - '0');
    }
    if (number == 0 || number > 65535) return false;
  }
  out->host.assign(host.data(), host.size());
  out->port = static_cast<INTERNET_PORT>(number);
  // The fragment stays with the client.
  const std::string_view before_fragment = text.substr(0, text.find('#'));
  out->url.assign(before_fragment.data(), before_fragment.size());
  return true;
}

// UTF-8 to UTF-16, refusing invalid UTF-8 (flags 0 would replace it
// silently). Returns false for text that is not UTF-8.
bool to_utf16(const std::string& s, std::wstring* out) {
  if (s.empty()) {
    out->clear();
    return true;
  }
  if (s.size() > static_cast<size_t>(INT32_MAX)) return false;
  const int length = static_cast<int>(s.size());
  const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), length, nullptr, 0);
  if (units <= 0) return false;
  out->assign(static_cast<size_t>(units), L'\0');
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), length, out->data(), units) ==
         units;
}

// WinHTTP takes host names in ASCII only: a name beyond ASCII is converted
// to its ASCII (punycode) form by the system's IDNA conversion.
bool host_to_ascii(const std::wstring& host, std::wstring* out) {
  bool ascii = true;
  for (wchar_t c : host) {
    if (c >= 0x80) ascii = false;
  }
  if (ascii) {
    *out = host;
    return true;
  }
  const int length = static_cast<int>(host.size());
  const int units = IdnToAscii(0, host.data(), length, nullptr, 0);
  if (units <= 0) return false;
  out->assign(static_cast<size_t>(units), L'\0');
  return IdnToAscii(0, host.data(), length, out->data(), units) == units;
}

// ============================================================================
// WinHTTP handles, errors and header fields
// ============================================================================

struct InternetDeleter {
  void operator()(void* h) const { WinHttpCloseHandle(h); }
};
using Handle = std::unique_ptr<void, InternetDeleter>;

// The final response's body framing, judged from its raw header block (the
// status line first, then one field a line) with the Linux build's rules, as
// far as the block that WinHTTP keeps shows them.
void check_framing(std::string_view block, Framing* framing) {
  bool first = true;
  while (!block.empty()) {
    const size_t eol = block.find('\n');
    std::string_view line = block.substr(0, eol);
    block.remove_prefix(eol == std::string_view::npos ? block.size() : eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {  // the status line
      first = false;
      continue;
    }
    if (line.empty()) continue;
    if (is_ows(line.front())) {
      framing->continuation();
      continue;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      framing->field(line, std::string_view());
    } else {
      framing->field(line.substr(0, colon), trim(line.substr(colon + 1)));
    }
  }
}

// The raw header block of the final response, as WinHTTP keeps it, in
// UTF-16 narrowed to bytes (field values outside Latin-1 do not matter to
// the framing fields, which are ASCII).
bool raw_headers(HINTERNET request, std::string* out) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                      WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return false;
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                           buffer.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
    return false;
  }
  out->clear();
  for (size_t i = 0; i < size / sizeof(wchar_t); ++i) {
    const wchar_t c = buffer[i];
    out->push_back(c < 0x100 ? static_cast<char>(c) : '?');
  }
  return true;
}

DWORD status_code(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return 0;
  }
  return status;
}

// ============================================================================
// The download
// ============================================================================

class Download {
 public:
  explicit Download(const char* dest_path) : dest_path_(dest_path) {}
  ~Download() { close_file(); }

  int32_t run(const char* url) {
    // -2 before -3 as on Linux: text that is not UTF-8 is refused first,
    // by the same strict check (the system's conversion may let through
    // what it should not, such as encoded surrogates).
    if (!is_valid_utf8(url)) return ORDANE_HTTP_ERR_URL_TEXT;
    Target target;
    if (!check_url(url, &target)) return ORDANE_HTTP_ERR_CRACK_URL;
    std::wstring wide_url;
    std::wstring wide_host;
    std::wstring ascii_host;
    if (!to_utf16(target.url, &wide_url) || !to_utf16(target.host, &wide_host)) {
      return ORDANE_HTTP_ERR_URL_TEXT;
    }
    if (!host_to_ascii(wide_host, &ascii_host)) return ORDANE_HTTP_ERR_CRACK_URL;

    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wide_url.c_str(), static_cast<DWORD>(wide_url.size()), 0, &parts)) {
      return ORDANE_HTTP_ERR_CRACK_URL;
    }
    const bool https = parts.nScheme == INTERNET_SCHEME_HTTPS;
    if (https != target.secure || (!https && parts.nScheme != INTERNET_SCHEME_HTTP)) {
      return ORDANE_HTTP_ERR_CRACK_URL;
    }
    // The path followed by the query, exactly as they stand in the URL.
    std::wstring object;
    if (parts.lpszUrlPath != nullptr) {
      object.assign(parts.lpszUrlPath, parts.dwUrlPathLength + parts.dwExtraInfoLength);
    } else if (parts.lpszExtraInfo != nullptr) {
      object.assign(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    }
    if (object.empty() || object.front() != L'/') object.insert(object.begin(), L'/');

    session_.reset(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                               WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session_) return ORDANE_HTTP_ERR_SESSION;
    // Resolution and connection: the connection limit; sending and each
    // read: one stall window.
    if (!WinHttpSetTimeouts(session_.get(), kConnectLimitMs, kConnectLimitMs, kStallWindowMs,
                            kStallWindowMs)) {
      return ORDANE_HTTP_ERR_SESSION;
    }
    connection_.reset(WinHttpConnect(session_.get(), ascii_host.c_str(), target.port, 0));
    if (!connection_) return ORDANE_HTTP_ERR_CONNECT;
    request_.reset(WinHttpOpenRequest(connection_.get(), L"GET", object.c_str(), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      https ? WINHTTP_FLAG_SECURE : 0));
    if (!request_) return ORDANE_HTTP_ERR_REQUEST;
    HINTERNET request = request_.get();
    // Every redirect is followed, https to http included, at most ten; no
    // cookie is kept between them and no credentials are ever offered.
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS;
    DWORD redirects = kMaxRedirects;
    DWORD disabled = WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_AUTHENTICATION;
    DWORD logon = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
    DWORD wait = static_cast<DWORD>(kStallWindowMs);
    if (!WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy) ||
        !WinHttpSetOption(request, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects,
                          sizeof redirects) ||
        !WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled) ||
        !WinHttpSetOption(request, WINHTTP_OPTION_AUTOLOGON_POLICY, &logon, sizeof logon) ||
        !WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &wait, sizeof wait)) {
      return ORDANE_HTTP_ERR_REQUEST;
    }

    started_ = true;
    // Any failure of either call, whichever form its error code takes (the
    // WinHTTP timeout 12002 or the Winsock one 10060, a secure-channel
    // failure as 12175 or 12157...), means no final response: -7.
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                            0, 0) ||
        !WinHttpReceiveResponse(request, nullptr)) {
      return ORDANE_HTTP_ERR_SEND;
    }
    // A protocol switch was never asked for.
    const DWORD status = status_code(request);
    if (status >= 100 && status <= 999) status_ = static_cast<int32_t>(status);
    if (status == 0 || status == 101) return ORDANE_HTTP_ERR_SEND;
    std::string block;
    if (!raw_headers(request, &block)) return ORDANE_HTTP_ERR_SEND;
    Framing framing;
    check_framing(block, &framing);
    if (framing.malformed()) return ORDANE_HTTP_ERR_SEND;

    file_ = std::fopen(dest_path_, "wb");
    if (file_ == nullptr) return ORDANE_HTTP_ERR_OPEN_DEST;
    const bool complete = receive_body(request, framing);
    request_.reset();
    connection_.reset();
    session_.reset();
    return close_file() && complete ? 0 : ORDANE_HTTP_ERR_TRANSFER;
  }

  // The status of the final response, 0 if none arrived.
  int32_t status() const { return status_; }

  // The code for a failure thrown out of run(): nothing is known but how far
  // it got.
  int32_t failure_code() {
    request_.reset();
    connection_.reset();
    session_.reset();
    if (file_ != nullptr) {
      close_file();
      return ORDANE_HTTP_ERR_TRANSFER;
    }
    return started_ ? ORDANE_HTTP_ERR_SEND : ORDANE_HTTP_ERR_SESSION;
  }

 private:
  // The read loop. Returns true when the body ended where its framing says
  // (a chunked one cannot be checked: WinHTTP ends a cut-off chunked body
  // cleanly), every byte was written, and no stall cut it off.
  bool receive_body(HINTERNET request, const Framing& framing) {
    std::vector<unsigned char> buffer(kTransferBufferSize, 0);
    uint64_t received = 0;
    StallWatch watch;
    watch.start(Clock::now(), 0);
    for (;;) {
      DWORD available = 0;
      if (!WinHttpQueryDataAvailable(request, &available)) return false;
      if (available == 0) break;
      const DWORD wanted = available < kTransferBufferSize ? available : kTransferBufferSize;
      DWORD read = 0;
      if (!WinHttpReadData(request, buffer.data(), wanted, &read)) return false;
      if (read == 0) break;
      if (std::fwrite(buffer.data(), 1, read, file_) != read) return false;
      received += read;
      if (watch.stalled(Clock::now(), received)) return false;
    }
    return !framing.has_length() || framing.chunked() || received == framing.length();
  }

  bool close_file() {
    if (file_ == nullptr) return true;
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
  }

  const char* dest_path_;
  std::FILE* file_ = nullptr;
  Handle session_;
  Handle connection_;
  Handle request_;
  bool started_ = false;
  int32_t status_ = 0;
};

}  // namespace

// ============================================================================
// Entry point of the exports (http_download_exports.cpp)
// ============================================================================

int32_t ordane::http::download_file(const char* url, const char* dest_path,
                                    int32_t* http_status) noexcept {
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
