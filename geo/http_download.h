// http_download.h - what the platforms' downloads share: the checks of a URL
// and of a response's body framing made before either is trusted, and the
// one entry point behind both download exports. Each platform's download
// (http_download.cpp on libcurl, http_download_winhttp.cpp on WinHTTP)
// defines download_file(); http_download_exports.cpp holds the exports.
#ifndef ORDANE_GEO_HTTP_DOWNLOAD_H
#define ORDANE_GEO_HTTP_DOWNLOAD_H

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ordane {
namespace http {

// Downloads "url" into "dest_path" (both non-null) as the exports'
// contract says; stores the status of the response it ended on in
// *"http_status" (non-null), 0 when none arrived. Never throws.
int32_t download_file(const char* url, const char* dest_path, int32_t* http_status) noexcept;

// ---------------------------------------------------------------------------
// URL checks (http_url_checks.cpp)
// ---------------------------------------------------------------------------

inline bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// ASCII letters compared without case; other bytes as they are.
bool equals_nocase(std::string_view a, std::string_view b);

// Strict UTF-8 up to the NUL: no stray continuation bytes, no overlong
// forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(const char* s);

// The length of the scheme of "scheme:...", or 0 when "url" does not start
// with a scheme followed by a colon.
std::size_t scheme_length(std::string_view url);

// An absolute URL ("scheme:...") must go on with "//" and a non-empty
// authority; text without a scheme (a relative redirect target) passes.
bool authority_is_present(const char* url);

// ---------------------------------------------------------------------------
// Header fields and body framing (http_framing.cpp)
// ---------------------------------------------------------------------------

inline bool is_ows(char c) { return c == ' ' || c == '\t'; }

// "s" without white space (spaces and tabs) at either end.
std::string_view trim(std::string_view s);

// How a response frames its body, from its Content-Length and
// Transfer-Encoding fields, fed one header line at a time. Anything two
// careful readers could disagree on makes the response malformed: several
// different lengths (in repeated fields or in one list), a length that is
// not a plain decimal number within 63 bits, a transfer coding other than
// one "chunked" (no coding was asked for with a TE field, and a body must be
// saved as sent), either name with white space before its colon, or either
// field continued on a folded line.
class Framing {
 public:
  void reset() { *this = Framing(); }

  // One field: "name" as it stands before the colon (the whole line when it
  // has none), "value" trimmed.
  void field(std::string_view name, std::string_view value);
  // A line starting with white space continues the previous field.
  void continuation();

  bool malformed() const { return malformed_; }
  bool has_length() const { return has_length_; }
  uint64_t length() const { return length_; }
  bool chunked() const { return chunked_; }

 private:
  enum class Field { other, length, coding };

  void add_lengths(std::string_view value);
  void add_codings(std::string_view value);

  bool malformed_ = false;
  bool has_length_ = false;
  uint64_t length_ = 0;
  bool chunked_ = false;
  Field last_ = Field::other;
};

}  // namespace http
}  // namespace ordane

#endif  // ORDANE_GEO_HTTP_DOWNLOAD_H
