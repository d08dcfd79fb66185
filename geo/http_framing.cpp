// The body framing of a response, judged from its header fields the same
// way on every platform (libcurl hands the lines over one by one; WinHTTP
// gives the final response's raw header block, split into lines by the
// caller).

#include "http_download.h"

namespace ordane {
namespace http {

namespace {

// Calls f(element) for each non-empty element of a comma-separated list.
template <typename F>
void for_each_element(std::string_view list, F f) {
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    const std::string_view element = trim(list.substr(0, comma));
    if (!element.empty()) f(element);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
}

}  // namespace

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_ows(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_ows(s.back())) s.remove_suffix(1);
  return s;
}

void Framing::field(std::string_view name, std::string_view value) {
  last_ = Field::other;
  const std::string_view bare = trim(name);
  const bool length = equals_nocase(bare, "Content-Length");
  const bool coding = equals_nocase(bare, "Transfer-Encoding");
  if (!length && !coding) return;
  if (bare.size() != name.size()) malformed_ = true;
  if (length) {
    last_ = Field::length;
    add_lengths(value);
  } else {
    last_ = Field::coding;
    add_codings(value);
  }
}

void Framing::continuation() {
  if (last_ != Field::other) malformed_ = true;
}

void Framing::add_lengths(std::string_view value) {
  bool any = false;
  for_each_element(value, [this, &any](std::string_view element) {
    any = true;
    uint64_t n = 0;
    for (char c : element) {
      if (!is_digit(c) || n > (uint64_t{INT64_MAX} - 9) / 10) {
        malformed_ = true;
        return;
      }
      n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    if (has_length_ && n != length_) malformed_ = true;
    has_length_ = true;
    length_ = n;
  });
  if (!any) malformed_ = true;
}

void Framing::add_codings(std::string_view value) {
  for_each_element(value, [this](std::string_view element) {
    if (!equals_nocase(element, "chunked") || chunked_) malformed_ = true;
    chunked_ = true;
  });
}

}  // namespace http
}  // namespace ordane
