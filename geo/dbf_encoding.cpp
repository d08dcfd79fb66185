// dbf_encoding.cpp - encoding names, language-driver code pages and the
// conversion of .dbf text to UTF-8: through iconv, or on Windows through the
// system's code pages (MultiByteToWideChar).

#include "dbf_encoding.h"

#include <cerrno>
#include <cstring>
#include <initializer_list>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace ordane {
namespace shp {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool all_digits(const char* s, std::size_t n) {
  if (n == 0) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (!is_digit(s[i])) return false;
  }
  return true;
}

bool equals_upper(const char* s, std::size_t n, const char* word) {
  const std::size_t m = std::strlen(word);
  if (n != m) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (upper(s[i]) != word[i]) return false;
  }
  return true;
}

bool put(char (&out)[kEncodingNameSize], const char* prefix, const char* s, std::size_t n) {
  const std::size_t p = std::strlen(prefix);
  if (p + n + 1 > kEncodingNameSize || p + n == 0) return false;
  std::memcpy(out, prefix, p);
  std::memcpy(out + p, s, n);
  out[p + n] = '\0';
  return true;
}

}  // namespace

bool normalize_encoding_name(const char* name, std::size_t n, char (&out)[kEncodingNameSize]) {
  while (n > 0 && is_space(name[0])) {
    ++name;
    --n;
  }
  while (n > 0 && is_space(name[n - 1])) --n;
  // "ANSI 1252" and "OEM 850" as Windows tools write them: the number is
  // the code page.
  for (const char* word : {"ANSI ", "OEM "}) {
    const std::size_t w = std::strlen(word);
    if (n > w && equals_upper(name, w, word) && all_digits(name + w, n - w)) {
      name += w;
      n -= w;
    }
  }
  if (all_digits(name, n)) {
    // 8859x: ISO-8859-x, as ESRI writes them; any other number a code page.
    if (n >= 5 && std::memcmp(name, "8859", 4) == 0) return put(out, "ISO-8859-", name + 4, n - 4);
    return put(out, "CP", name, n);
  }
  if (equals_upper(name, n, "UTF8") || equals_upper(name, n, "UTF-8")) return put(out, "", "UTF-8", 5);
  for (std::size_t i = 0; i < n; ++i) {
    // A name is letters, digits and - _ . : ; no space, no control bytes.
    const char c = name[i];
    const bool ok = is_digit(c) || (upper(c) >= 'A' && upper(c) <= 'Z') || c == '-' ||
                    c == '_' || c == '.' || c == ':';
    if (!ok) return false;
  }
  return put(out, "", name, n);
}

const char* ldid_encoding(uint8_t ldid) {
  // dBASE and ESRI language-driver identifiers and the code page each one
  // stands for; identifiers that name no code page iconv has are left out.
  // So is 0x57, ESRI's "ANSI" (whatever the writing system used): GDAL
  // writes it under every encoding, UTF-8 included, so it states none.
  switch (ldid) {
    case 0x01: case 0x09: case 0x0B: case 0x0D: case 0x0F: case 0x11: case 0x15:
    case 0x18: case 0x19: case 0x1B:
      return "CP437";
    case 0x02: case 0x0A: case 0x0E: case 0x10: case 0x12: case 0x14: case 0x16:
    case 0x1A: case 0x1D: case 0x25: case 0x37:
      return "CP850";
    case 0x03: case 0x58: case 0x59:
      return "CP1252";
    case 0x04:
      return "MACINTOSH";
    case 0x08: case 0x17: case 0x66:
      return "CP865";
    case 0x13: case 0x7B:
      return "CP932";
    case 0x1C: case 0x6C:
      return "CP863";
    case 0x1F: case 0x22: case 0x23: case 0x40: case 0x64: case 0x87:
      return "CP852";
    case 0x24:
      return "CP860";
    case 0x26: case 0x65:
      return "CP866";
    case 0x4D: case 0x7A:
      return "CP936";
    case 0x4E: case 0x79:
      return "CP949";
    case 0x4F: case 0x78:
      return "CP950";
    case 0x50: case 0x7C:
      return "CP874";
    case 0x67:
      return "CP861";
    case 0x6A: case 0x86:
      return "CP737";
    case 0x6B: case 0x88:
      return "CP857";
    case 0x7D:
      return "CP1255";
    case 0x7E:
      return "CP1256";
    case 0xC8:
      return "CP1250";
    case 0xC9:
      return "CP1251";
    case 0xCA:
      return "CP1254";
    case 0xCB:
      return "CP1253";
    case 0xCC:
      return "CP1257";
    default:
      return nullptr;
  }
}

namespace {

// Length of the valid UTF-8 sequence at s (n bytes left), or 0 when the
// bytes there are not one.
std::size_t utf8_sequence(const unsigned char* s, std::size_t n) {
  const unsigned char c = s[0];
  if (c < 0x80) return 1;
  std::size_t len;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;   // no overlong forms
    if (c == 0xED) hi = 0x9F;   // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;   // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (n < len || s[1] < lo || s[1] > hi) return 0;
  for (std::size_t i = 2; i < len; ++i) {
    if (s[i] < 0x80 || s[i] > 0xBF) return 0;
  }
  return len;
}

constexpr char kReplacement[3] = {'\xEF', '\xBF', '\xBD'};  // U+FFFD

}  // namespace

bool is_valid_utf8(const unsigned char* s, std::size_t n) {
  std::size_t i = 0;
  while (i < n) {
    if (s[i] < 0x80) {
      ++i;
      continue;
    }
    const std::size_t len = utf8_sequence(s + i, n - i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

#if defined(_WIN32)

namespace {

// The Windows code page for an encoding name as normalize_encoding_name()
// gives it, or 0 when the name is not one the system's code pages cover.
unsigned int code_page_of(const char* name) {
  struct Alias {
    const char* name;
    unsigned int code_page;
  };
  static const Alias kAliases[] = {
      {"LATIN1", 28591},    {"GBK", 936},         {"GB2312", 936},   {"BIG5", 950},
      {"SHIFT_JIS", 932},   {"SJIS", 932},        {"EUC-KR", 51949}, {"KOI8-R", 20866},
      {"KOI8-U", 21866},    {"MACINTOSH", 10000}, {"ASCII", 20127},  {"US-ASCII", 20127}};
  const std::size_t n = std::strlen(name);
  for (const Alias& a : kAliases) {
    if (equals_upper(name, n, a.name)) return a.code_page;
  }
  // CPnnn, WINDOWS-nnnn and IBMnnn name the code page by number;
  // ISO-8859-n is code page 28590 + n.
  struct Numbered {
    const char* prefix;
    unsigned int base;
    std::size_t max_digits;
  };
  static const Numbered kNumbered[] = {{"CP", 0, 5},        {"WINDOWS-", 0, 5},
                                       {"IBM", 0, 5},       {"ISO-8859-", 28590, 2},
                                       {"ISO8859-", 28590, 2}, {"ISO_8859-", 28590, 2}};
  for (const Numbered& f : kNumbered) {
    const std::size_t p = std::strlen(f.prefix);
    if (n <= p || n - p > f.max_digits || !equals_upper(name, p, f.prefix) ||
        !all_digits(name + p, n - p)) {
      continue;
    }
    unsigned int number = 0;
    for (std::size_t i = p; i < n; ++i) number = number * 10 + static_cast<unsigned int>(name[i] - '0');
    if (f.base != 0 && (number < 1 || number > 15)) return 0;
    return f.base + number;
  }
  return 0;
}

// Converts "n" bytes of code page "code_page" to UTF-8 at "out", where
// "room" bytes are free; one character (one byte, or a lead and a trail
// byte) at a time, so that an invalid one becomes one U+FFFD for its first
// byte, as the iconv conversion does.
std::size_t code_page_to_utf8(unsigned int code_page, const unsigned char* in, std::size_t n,
                              char* out, std::size_t room, bool* clean) {
  char* o = out;
  std::size_t i = 0;
  while (i < n) {
    const int len = i + 1 < n && IsDBCSLeadByteEx(code_page, in[i]) ? 2 : 1;
    wchar_t wide[2];
    const int wn = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS,
                                       reinterpret_cast<const char*>(in + i), len, wide, 2);
    const std::size_t left = room - static_cast<std::size_t>(o - out);
    int u = 0;
    if (wn > 0) {
      u = WideCharToMultiByte(CP_UTF8, 0, wide, wn, o, static_cast<int>(left < 8 ? left : 8),
                              nullptr, nullptr);
    }
    if (u > 0) {
      o += u;
      i += static_cast<std::size_t>(len);
      continue;
    }
    if (left < 3) {
      *clean = false;
      break;
    }
    std::memcpy(o, kReplacement, 3);
    o += 3;
    ++i;
    *clean = false;
  }
  return static_cast<std::size_t>(o - out);
}

}  // namespace

Utf8Converter::~Utf8Converter() {}

Utf8Converter::Open Utf8Converter::open(const char* encoding) {
  char name[kEncodingNameSize];
  if (!normalize_encoding_name(encoding, std::strlen(encoding), name)) return Open::kUnknown;
  utf8_ = std::strcmp(name, "UTF-8") == 0;
  ascii_identity_ = utf8_;
  if (utf8_) return Open::kOk;
  // Code pages of one or two bytes a character only: the conversion splits
  // the text into characters itself.
  const unsigned int cp = code_page_of(name);
  CPINFO info;
  if (cp == 0 || !GetCPInfo(cp, &info) || info.MaxCharSize > 2) return Open::kUnknown;
  // Printable ASCII copied as it is where the code page maps it to itself;
  // a code page that refuses the strict conversion is not one to use.
  char probe[0x7F - 0x20];
  for (std::size_t i = 0; i < sizeof probe; ++i) probe[i] = static_cast<char>(0x20 + i);
  wchar_t wide[sizeof probe];
  const int got = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, probe, static_cast<int>(sizeof probe),
                                      wide, static_cast<int>(sizeof probe));
  if (got <= 0) return Open::kUnknown;
  code_page_ = cp;
  ascii_identity_ = got == static_cast<int>(sizeof probe);
  for (std::size_t i = 0; ascii_identity_ && i < sizeof probe; ++i) {
    ascii_identity_ = wide[i] == static_cast<wchar_t>(probe[i]);
  }
  return Open::kOk;
}

#else

Utf8Converter::~Utf8Converter() {
  if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
}

Utf8Converter::Open Utf8Converter::open(const char* encoding) {
  char name[kEncodingNameSize];
  if (!normalize_encoding_name(encoding, std::strlen(encoding), name)) return Open::kUnknown;
  utf8_ = std::strcmp(name, "UTF-8") == 0;
  ascii_identity_ = utf8_;
  if (utf8_) return Open::kOk;
  errno = 0;
  cd_ = iconv_open("UTF-8", name);
  if (cd_ == reinterpret_cast<iconv_t>(-1)) {
    return errno == ENOMEM ? Open::kOutOfMemory : Open::kUnknown;
  }
  // Values are mostly ASCII, copied as they are where the encoding maps the
  // printable ASCII bytes to themselves. Not all do (SHIFT_JIS reads 0x5C as
  // the yen sign), so iconv itself says.
  char probe[0x7F - 0x20];
  for (std::size_t i = 0; i < sizeof probe; ++i) probe[i] = static_cast<char>(0x20 + i);
  char back[4 * sizeof probe];
  char* src = probe;
  std::size_t src_left = sizeof probe;
  char* dst = back;
  std::size_t dst_left = sizeof back;
  const std::size_t r = iconv(cd_, &src, &src_left, &dst, &dst_left);
  ascii_identity_ = r != static_cast<std::size_t>(-1) && src_left == 0 &&
                    dst == back + sizeof probe && std::memcmp(back, probe, sizeof probe) == 0;
  iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  return Open::kOk;
}

#endif  // _WIN32

std::size_t Utf8Converter::convert(const unsigned char* in, std::size_t n, char* out,
                                   bool* clean) {
  // Printable ASCII first, copied when the encoding maps it to itself.
  std::size_t ascii = 0;
  if (ascii_identity_) {
    while (ascii < n && in[ascii] >= 0x20 && in[ascii] < 0x7F) ++ascii;
  }
  std::memcpy(out, in, ascii);
  if (ascii == n) return n;

  char* o = out + ascii;
  if (utf8_) {
    std::size_t i = ascii;
    while (i < n) {
      const std::size_t len = utf8_sequence(in + i, n - i);
      if (len == 0) {
        std::memcpy(o, kReplacement, 3);
        o += 3;
        ++i;
        *clean = false;
      } else {
        std::memcpy(o, in + i, len);
        o += len;
        i += len;
      }
    }
    return static_cast<std::size_t>(o - out);
  }

#if defined(_WIN32)
  return ascii + code_page_to_utf8(code_page_, in + ascii, n - ascii, o, 4 * n - ascii, clean);
#else
  iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  char* src = const_cast<char*>(reinterpret_cast<const char*>(in + ascii));
  std::size_t src_left = n - ascii;
  // Room: 4 x n in all, of which "ascii" bytes are used; each further input
  // byte yields at most one character of at most 4 bytes.
  std::size_t dst_left = 4 * n - ascii;
  while (src_left > 0) {
    const std::size_t r = iconv(cd_, &src, &src_left, &o, &dst_left);
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno != EILSEQ && errno != EINVAL) {
      // E2BIG: an encoding that makes more than one character of a byte
      // filled the room; the rest of the value is lost, and said so.
      *clean = false;
      break;
    }
    // An invalid or incomplete sequence: one replacement for its first byte.
    if (dst_left < 3) break;
    std::memcpy(o, kReplacement, 3);
    o += 3;
    dst_left -= 3;
    ++src;
    --src_left;
    *clean = false;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  }
  // Stateful encodings may owe a final shift sequence.
  iconv(cd_, nullptr, nullptr, &o, &dst_left);
  return static_cast<std::size_t>(o - out);
#endif
}

}  // namespace shp
}  // namespace ordane
