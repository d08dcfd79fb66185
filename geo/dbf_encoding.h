// dbf_encoding.h - the encoding of a .dbf's text: names as .cpg files and
// callers write them, the code page of a language-driver byte, and the
// conversion to UTF-8 through the C library's iconv (on Windows, through
// the system's code pages: dbf_encoding_win32.cpp).
#ifndef ORDANE_GEO_DBF_ENCODING_H
#define ORDANE_GEO_DBF_ENCODING_H

#include <cstddef>
#include <cstdint>

#if !defined(_WIN32)
#include <iconv.h>
#endif

namespace ordane {
namespace shp {

constexpr std::size_t kEncodingNameSize = 32;  // DbfTable.encoding

// Turns an encoding name as .cpg files hold it ("1252", "ANSI 1251",
// "88591", "utf8", "GBK") into the name iconv knows ("CP1252", "CP1251",
// "ISO-8859-1", "UTF-8", "GBK"). Surrounding white space is ignored. False
// when the result is empty or does not fit "out" with its NUL.
bool normalize_encoding_name(const char* name, std::size_t n, char (&out)[kEncodingNameSize]);

// The code page that a dBASE language-driver byte stands for, as an iconv
// name, or null when the byte names none (0, or a value without a code page
// iconv has).
const char* ldid_encoding(uint8_t ldid);

// True when "n" bytes are valid UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool is_valid_utf8(const unsigned char* s, std::size_t n);

// Converts text to UTF-8. UTF-8 input is checked and copied; other
// encodings go through iconv (on Windows, MultiByteToWideChar). At most 4 x n bytes are written for n bytes
// of input (a replaced byte takes 3).
class Utf8Converter {
 public:
  Utf8Converter() = default;
  ~Utf8Converter();
  Utf8Converter(const Utf8Converter&) = delete;
  Utf8Converter& operator=(const Utf8Converter&) = delete;

  enum class Open { kOk, kUnknown, kOutOfMemory };

  // kUnknown when iconv does not know "encoding".
  Open open(const char* encoding);

  // Converts "n" bytes into "out" (room for 4 x n bytes) and returns the
  // bytes written; "*clean" becomes false when a byte sequence invalid in
  // the encoding was replaced by U+FFFD.
  std::size_t convert(const unsigned char* in, std::size_t n, char* out, bool* clean);

 private:
#if defined(_WIN32)
  unsigned int code_page_ = 0;
#else
  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
#endif
  bool utf8_ = false;
  bool ascii_identity_ = false;
};

}  // namespace shp
}  // namespace ordane

#endif  // ORDANE_GEO_DBF_ENCODING_H
