// The checks of a URL's text that both platforms' downloads make before
// their HTTP client sees it: libcurl's parser and WinHttpCrackUrl are both
// lenient where the download must not be ("http:/x/y" read as host "x",
// invalid UTF-8 replaced silently).

#include "http_download.h"

namespace ordane {
namespace http {

bool equals_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// A continuation byte is never NUL, so the inner loop stops at the
// terminator of a truncated sequence and never reads past it.
bool is_valid_utf8(const char* text) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
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

// scheme = ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ), then ":".
std::size_t scheme_length(std::string_view url) {
  if (url.empty() || !is_alpha(url[0])) return 0;
  std::size_t i = 1;
  while (i < url.size() && (is_alpha(url[i]) || is_digit(url[i]) || url[i] == '+' ||
                            url[i] == '-' || url[i] == '.')) {
    ++i;
  }
  return i < url.size() && url[i] == ':' ? i : 0;
}

bool authority_is_present(const char* url) {
  const std::string_view text(url);
  const std::size_t scheme = scheme_length(text);
  if (scheme == 0) return true;
  const std::string_view rest = text.substr(scheme + 1);
  if (rest.substr(0, 2) != "//") return false;
  if (rest.size() == 2) return false;
  const char first = rest[2];
  return first != '/' && first != '\\' && first != '?' && first != '#';
}

}  // namespace http
}  // namespace ordane
