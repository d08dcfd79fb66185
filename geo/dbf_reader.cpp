// dbf_reader.cpp - ordane_read_dbf / ordane_free_dbf_table: a shapefile's
// attribute table (dBASE III/IV .dbf) read into columns.
//
// The file's header states a record count, a header length and a record
// length; all three are checked against each other and against the file's
// size before any array is allocated, so a false claim allocates nothing.
// Records are then decoded a chunk at a time, column by column, into arrays
// allocated once at their final size (text grows as it is converted).

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <new>

#include "ordane.h"

#include "dbf_encoding.h"
#include "endian_io.h"
#include "shp_stream.h"

namespace {

using namespace ordane::shp;

// =============================================================================
// The file
// =============================================================================

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kRecordCountOffset = 4;   // unsigned 32-bit, little-endian
constexpr std::size_t kHeaderLengthOffset = 8;  // unsigned 16-bit: header + descriptors + 0x0D
constexpr std::size_t kRecordLengthOffset = 10; // unsigned 16-bit: deletion flag + fields
constexpr std::size_t kLanguageDriverOffset = 29;
constexpr std::size_t kDescriptorSize = 32;     // name[11], type, 4 reserved, length, decimals
constexpr unsigned char kHeaderEnd = 0x0D;
constexpr unsigned char kDeletedFlag = '*';
constexpr std::size_t kMaxCpgBytes = 255;
// Records decoded at a time: a chunk stays in the cache while every column
// takes its values from it.
constexpr std::size_t kChunkBytes = 256 * 1024;

struct Field {
  unsigned char name[11];
  std::size_t name_len;
  char type;
  uint8_t kind;
  uint8_t length;
  uint8_t decimals;
  int32_t offset;
};

uint8_t kind_of(char type) {
  switch (type) {
    case 'C':
      return ORDANE_DBF_KIND_TEXT;
    case 'N':
    case 'F':
      return ORDANE_DBF_KIND_NUMBER;
    case 'L':
      return ORDANE_DBF_KIND_LOGICAL;
    case 'D':
      return ORDANE_DBF_KIND_DATE;
    default:
      return ORDANE_DBF_KIND_RAW;
  }
}

// The encoding named by the .cpg beside "dbf_path", if there is a usable one:
// 1 found, 0 none, -1 out of memory.
int cpg_encoding(const char* dbf_path, char (&name)[kEncodingNameSize]) {
  const std::size_t room = std::strlen(dbf_path) + 8;
  char* path = static_cast<char*>(std::malloc(room));
  if (!path) return -1;
  int found = 0;
  for (const char* ext : {".cpg", ".CPG"}) {
    if (found != 0 || !companion_path(dbf_path, ext, path, room)) continue;
    InputStream in(path);
    if (in.out_of_memory()) found = -1;
    if (!in.is_open()) continue;
    char text[kMaxCpgBytes + 1];
    const std::size_t n = in.read(text, sizeof text);
    if (n <= kMaxCpgBytes && normalize_encoding_name(text, n, name)) {
      Utf8Converter probe;
      const Utf8Converter::Open r = probe.open(name);
      found = r == Utf8Converter::Open::kOk ? 1 : r == Utf8Converter::Open::kOutOfMemory ? -1 : 0;
    }
  }
  std::free(path);
  return found;
}

// =============================================================================
// Values
// =============================================================================

uint32_t load_u16_le(const unsigned char* p) { return p[0] | (uint32_t{p[1]} << 8); }

bool is_blank(unsigned char c) { return c == ' ' || c == '\t'; }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

// Powers of ten that a double holds exactly.
constexpr double kExactPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// A number as N and F fields store it: blanks around it, an optional sign,
// digits with at most one '.', an optional exponent. A NUL ends the value.
bool parse_number(const unsigned char* s, std::size_t n, double* out) {
  const void* nul = std::memchr(s, 0, n);
  if (nul) n = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - s);
  while (n > 0 && is_blank(s[0])) {
    ++s;
    --n;
  }
  while (n > 0 && is_blank(s[n - 1])) --n;
  if (n == 0) return false;

  std::size_t i = 0;
  const bool negative = s[0] == '-';
  if (s[0] == '-' || s[0] == '+') ++i;
  const std::size_t body = i;
  uint64_t mantissa = 0;
  int significant = 0;  // digits in "mantissa" after leading zeros
  int fraction = 0;     // digits after the point
  int digits = 0;
  bool point = false;
  for (; i < n; ++i) {
    const unsigned char c = s[i];
    if (is_digit(c)) {
      ++digits;
      if (point) ++fraction;
      if (mantissa != 0 || c != '0') {
        if (++significant <= 19) mantissa = mantissa * 10 + (c - '0');
      }
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  if (i == n) {
    // Exact operands and one correctly rounded division: the nearest double.
    if (significant <= 15 && fraction <= 22) {
      const double v = static_cast<double>(mantissa) / kExactPow10[fraction];
      *out = negative ? -v : v;
      return true;
    }
  } else {
    // An exponent: e or E, an optional sign, at least one digit.
    if (s[i] != 'e' && s[i] != 'E') return false;
    std::size_t j = i + 1;
    if (j < n && (s[j] == '+' || s[j] == '-')) ++j;
    if (j == n) return false;
    for (; j < n; ++j) {
      if (!is_digit(s[j])) return false;
    }
  }
  // The general case, correctly rounded and independent of the locale.
  // from_chars takes no '+'; the grammar above has been checked.
  const char* first = reinterpret_cast<const char*>(s + body);
  const char* last = reinterpret_cast<const char*>(s + n);
  double v = 0.0;
  const std::from_chars_result r = std::from_chars(first, last, v);
  if (r.ec != std::errc() || r.ptr != last) return false;
  *out = negative ? -v : v;
  return true;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t days_from_civil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool parse_date(const unsigned char* s, std::size_t n, int64_t* out) {
  if (n < 8) return false;
  int64_t v[8];
  for (int i = 0; i < 8; ++i) {
    if (!is_digit(s[i])) return false;
    v[i] = s[i] - '0';
  }
  for (std::size_t i = 8; i < n; ++i) {
    if (!is_blank(s[i]) && s[i] != 0) return false;
  }
  const int64_t y = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
  const int64_t m = v[4] * 10 + v[5];
  const int64_t d = v[6] * 10 + v[7];
  if (m < 1 || m > 12 || d < 1) return false;
  static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  const int64_t month_days = kMonthDays[m - 1] + (m == 2 && leap ? 1 : 0);
  if (d > month_days) return false;
  *out = days_from_civil(y, m, d);
  return true;
}

// =============================================================================
// The table under construction
// =============================================================================

void free_table(DbfTable* t) {
  if (!t) return;
  if (t->columns) {
    for (int32_t i = 0; i < t->num_columns; ++i) {
      DbfColumn& c = t->columns[i];
      std::free(c.numbers);
      std::free(c.days);
      std::free(c.booleans);
      std::free(c.valid);
      std::free(c.text_offsets);
      std::free(c.text);
    }
  }
  std::free(t->columns);
  std::free(t->deleted);
  std::free(t);
}

// Text of one column, grown as values are converted.
struct TextSink {
  char* data = nullptr;
  std::size_t size = 0;
  std::size_t capacity = 0;

  // Always leaves a block, even for no extra bytes: values are copied to
  // data + size, which must point somewhere.
  bool reserve_extra(std::size_t extra) {
    if (data && extra <= capacity - size) return true;
    std::size_t want = capacity < SIZE_MAX / 2 ? capacity * 2 : SIZE_MAX;
    if (want - size < extra) want = size + extra;
    if (want < 256) want = 256;
    void* p = std::realloc(data, want);
    if (!p) return false;
    data = static_cast<char*>(p);
    capacity = want;
    return true;
  }
};

class Decoder {
 public:
  Decoder(const Field* fields, int32_t count, DbfTable* t) : fields_(fields), count_(count), t_(t) {}

  ~Decoder() {
    for (int32_t i = 0; i < count_ && sinks_; ++i) std::free(sinks_[i].data);
    std::free(sinks_);
  }

  // Allocates every column's arrays for "records" rows.
  bool allocate(int64_t records) {
    const std::size_t n = static_cast<std::size_t>(records);
    sinks_ = static_cast<TextSink*>(std::calloc(static_cast<std::size_t>(count_), sizeof(TextSink)));
    if (!sinks_) return false;
    if (n > 0) {
      t_->deleted = static_cast<uint8_t*>(std::malloc(n));
      if (!t_->deleted) return false;
    }
    for (int32_t i = 0; i < count_; ++i) {
      DbfColumn& c = t_->columns[i];
      if (n > 0) {
        c.valid = static_cast<uint8_t*>(std::malloc(n));
        if (!c.valid) return false;
      }
      switch (c.kind) {
        case ORDANE_DBF_KIND_NUMBER:
          if (n > 0 && !(c.numbers = static_cast<double*>(std::malloc(n * sizeof(double))))) {
            return false;
          }
          break;
        case ORDANE_DBF_KIND_DATE:
          if (n > 0 && !(c.days = static_cast<int64_t*>(std::malloc(n * sizeof(int64_t))))) {
            return false;
          }
          break;
        case ORDANE_DBF_KIND_LOGICAL:
          if (n > 0 && !(c.booleans = static_cast<uint8_t*>(std::malloc(n)))) return false;
          break;
        default:
          c.text_offsets = static_cast<uint64_t*>(std::malloc((n + 1) * sizeof(uint64_t)));
          if (!c.text_offsets) return false;
          c.text_offsets[0] = 0;
          break;
      }
    }
    return true;
  }

  // Starts (or starts again) with the text read through "text"; the text
  // blocks keep their memory.
  void start(Utf8Converter* text) {
    text_ = text;
    clean_ = true;
    for (int32_t i = 0; i < count_; ++i) sinks_[i].size = 0;
  }

  // False once a text value had bytes invalid in the encoding.
  bool text_clean() const { return clean_; }

  // Decodes records [first, first + n) from "data" (n x record_length bytes).
  bool decode(const unsigned char* data, std::size_t record_length, std::size_t first,
              std::size_t n) {
    for (std::size_t r = 0; r < n; ++r) {
      t_->deleted[first + r] = data[r * record_length] == kDeletedFlag;
    }
    for (int32_t i = 0; i < count_; ++i) {
      const Field& f = fields_[i];
      DbfColumn& c = t_->columns[i];
      const unsigned char* v = data + f.offset;
      switch (f.kind) {
        case ORDANE_DBF_KIND_NUMBER:
          for (std::size_t r = 0; r < n; ++r, v += record_length) {
            double x = 0.0;
            const bool ok = parse_number(v, f.length, &x);
            c.numbers[first + r] = ok ? x : std::numeric_limits<double>::quiet_NaN();
            c.valid[first + r] = ok;
          }
          break;
        case ORDANE_DBF_KIND_DATE:
          for (std::size_t r = 0; r < n; ++r, v += record_length) {
            int64_t d = 0;
            const bool ok = parse_date(v, f.length, &d);
            c.days[first + r] = ok ? d : 0;
            c.valid[first + r] = ok;
          }
          break;
        case ORDANE_DBF_KIND_LOGICAL:
          for (std::size_t r = 0; r < n; ++r, v += record_length) {
            const unsigned char b = f.length > 0 ? v[0] : ' ';
            const bool yes = b == 'T' || b == 't' || b == 'Y' || b == 'y' || b == '1';
            const bool no = b == 'F' || b == 'f' || b == 'N' || b == 'n' || b == '0';
            c.booleans[first + r] = yes;
            c.valid[first + r] = yes || no;
          }
          break;
        case ORDANE_DBF_KIND_TEXT: {
          TextSink& s = sinks_[i];
          for (std::size_t r = 0; r < n; ++r, v += record_length) {
            std::size_t len = f.length;
            while (len > 0 && (v[len - 1] == ' ' || v[len - 1] == 0)) --len;
            if (!s.reserve_extra(4 * len)) return false;
            bool clean = true;
            s.size += text_->convert(v, len, s.data + s.size, &clean);
            c.valid[first + r] = clean;
            clean_ = clean_ && clean;
            c.text_offsets[first + r + 1] = s.size;
          }
          break;
        }
        default: {
          TextSink& s = sinks_[i];
          if (!s.reserve_extra(n * f.length)) return false;
          for (std::size_t r = 0; r < n; ++r, v += record_length) {
            std::memcpy(s.data + s.size, v, f.length);
            s.size += f.length;
            c.valid[first + r] = 1;
            c.text_offsets[first + r + 1] = s.size;
          }
          break;
        }
      }
    }
    return true;
  }

  // Hands each column's text over, cut to its size.
  bool finish() {
    for (int32_t i = 0; i < count_; ++i) {
      TextSink& s = sinks_[i];
      if (!s.data) continue;
      if (s.size == 0) {
        std::free(s.data);
      } else {
        void* p = std::realloc(s.data, s.size);
        if (!p) return false;
        t_->columns[i].text = static_cast<char*>(p);
      }
      s.data = nullptr;
    }
    return true;
  }

 private:
  const Field* fields_;
  int32_t count_;
  DbfTable* t_;
  Utf8Converter* text_ = nullptr;
  TextSink* sinks_ = nullptr;
  bool clean_ = true;
};

// Reads "bytes" from a stream of unknown size into a buffer that grows with
// the bytes that really arrive. Null when fewer arrive ("*short_read" set) or
// memory runs out.
unsigned char* read_growing(InputStream& in, std::size_t bytes, bool* short_read) {
  unsigned char* buf = nullptr;
  std::size_t got = 0;
  std::size_t cap = 0;
  while (got < bytes) {
    std::size_t want = cap < 64 * 1024 ? 64 * 1024 : (cap < SIZE_MAX / 2 ? cap * 2 : SIZE_MAX);
    if (want > bytes) want = bytes;
    void* p = std::realloc(buf, want);
    if (!p) {
      std::free(buf);
      return nullptr;
    }
    buf = static_cast<unsigned char*>(p);
    cap = want;
    const std::size_t r = in.read(buf + got, want - got);
    got += r;
    if (got < want) {
      std::free(buf);
      *short_read = true;
      return nullptr;
    }
  }
  if (!buf) buf = static_cast<unsigned char*>(std::malloc(1));
  return buf;
}

int32_t read_dbf(const char* dbf_path, const char* encoding, int64_t expected_records,
                 DbfTable** table) {
  char chosen[kEncodingNameSize] = "";
  int32_t source = 0;
  if (encoding) {
    Utf8Converter probe;
    if (!normalize_encoding_name(encoding, std::strlen(encoding), chosen)) {
      return ORDANE_DBF_ERR_ENCODING;
    }
    const Utf8Converter::Open r = probe.open(chosen);
    if (r == Utf8Converter::Open::kOutOfMemory) return ORDANE_ERR_OUT_OF_MEMORY;
    if (r != Utf8Converter::Open::kOk) return ORDANE_DBF_ERR_ENCODING;
    source = ORDANE_DBF_ENCODING_ARGUMENT;
  }

  InputStream in(dbf_path);
  if (in.out_of_memory()) return ORDANE_ERR_OUT_OF_MEMORY;
  if (!in.is_open()) return ORDANE_DBF_ERR_OPEN;

  unsigned char fixed[kHeaderSize];
  if (in.read(fixed, kHeaderSize) != kHeaderSize) return ORDANE_DBF_ERR_TOO_SHORT;
  const uint32_t records32 = quillon::load_u32_le(fixed + kRecordCountOffset);
  const std::size_t header_length = load_u16_le(fixed + kHeaderLengthOffset);
  const std::size_t record_length = load_u16_le(fixed + kRecordLengthOffset);
  if (header_length < kHeaderSize + 1) return ORDANE_DBF_ERR_HEADER;
  if (in.size() >= 0 && static_cast<int64_t>(header_length) > in.size()) return ORDANE_DBF_ERR_HEADER;
  // The whole header (at most 64 KiB, the length is 16-bit), descriptors
  // included.
  unsigned char* header = static_cast<unsigned char*>(std::malloc(header_length));
  if (!header) return ORDANE_ERR_OUT_OF_MEMORY;
  struct FreeHeader {
    unsigned char* p;
    ~FreeHeader() { std::free(p); }
  } free_header{header};
  std::memcpy(header, fixed, kHeaderSize);
  if (in.read(header + kHeaderSize, header_length - kHeaderSize) != header_length - kHeaderSize) {
    return ORDANE_DBF_ERR_HEADER;
  }

  // Field descriptors up to the 0x0D that ends them (or the header's end).
  const std::size_t max_fields = (header_length - kHeaderSize) / kDescriptorSize;
  Field* fields = static_cast<Field*>(std::malloc((max_fields ? max_fields : 1) * sizeof(Field)));
  if (!fields) return ORDANE_ERR_OUT_OF_MEMORY;
  struct FreeFields {
    Field* p;
    ~FreeFields() { std::free(p); }
  } free_fields{fields};
  int32_t count = 0;
  std::size_t offset = 1;  // the deletion flag
  for (std::size_t pos = kHeaderSize; pos < header_length && header[pos] != kHeaderEnd;
       pos += kDescriptorSize) {
    if (pos + kDescriptorSize > header_length) return ORDANE_DBF_ERR_HEADER;
    const unsigned char* d = header + pos;
    Field& f = fields[count++];
    std::memcpy(f.name, d, sizeof f.name);
    f.name_len = 0;
    while (f.name_len < sizeof f.name && f.name[f.name_len] != 0) ++f.name_len;
    f.type = static_cast<char>(d[11]);
    f.kind = kind_of(f.type);
    f.length = d[16];
    f.decimals = d[17];
    f.offset = static_cast<int32_t>(offset);
    offset += f.length;
  }
  if (count == 0 || offset > record_length) return ORDANE_DBF_ERR_HEADER;

  // The records must be in the file before anything is allocated for them.
  const int64_t records = records32;
  const int64_t data_bytes = records * static_cast<int64_t>(record_length);
  if (in.size() >= 0) {
    if (data_bytes > in.size() - static_cast<int64_t>(header_length)) {
      return ORDANE_DBF_ERR_TRUNCATED;
    }
    if (expected_records >= 0 && records != expected_records) return ORDANE_DBF_ERR_RECORD_COUNT;
  }
  if (static_cast<uint64_t>(data_bytes) > SIZE_MAX / 2) return ORDANE_ERR_OUT_OF_MEMORY;
  in.limit_to(static_cast<int64_t>(header_length) + data_bytes);

  const uint8_t ldid = header[kLanguageDriverOffset];
  if (source == 0) {
    const int cpg = cpg_encoding(dbf_path, chosen);
    if (cpg < 0) return ORDANE_ERR_OUT_OF_MEMORY;
    if (cpg > 0) source = ORDANE_DBF_ENCODING_CPG;
  }
  if (source == 0 && ldid_encoding(ldid)) {
    std::strcpy(chosen, ldid_encoding(ldid));
    source = ORDANE_DBF_ENCODING_LDID;
  }

  // A stream of unknown size is read whole first: its claims are checked
  // against the bytes that arrive before anything is allocated for them.
  unsigned char* all = nullptr;
  struct FreeAll {
    unsigned char** p;
    ~FreeAll() { std::free(*p); }
  } free_all{&all};
  if (in.size() < 0) {
    bool short_read = false;
    all = read_growing(in, static_cast<std::size_t>(data_bytes), &short_read);
    if (short_read) return ORDANE_DBF_ERR_TRUNCATED;
    if (!all) return ORDANE_ERR_OUT_OF_MEMORY;
    if (expected_records >= 0 && records != expected_records) return ORDANE_DBF_ERR_RECORD_COUNT;
  }

  // No encoding stated: the text is read as UTF-8, and read again as
  // ISO-8859-1 if some of it is not valid UTF-8.
  const bool guess = source == 0;
  if (guess) {
    std::strcpy(chosen, "UTF-8");
    source = ORDANE_DBF_ENCODING_DEFAULT;
  }

  DbfTable* t = static_cast<DbfTable*>(std::calloc(1, sizeof(DbfTable)));
  if (!t) return ORDANE_ERR_OUT_OF_MEMORY;
  struct FreeTable {
    DbfTable* p;
    ~FreeTable() { free_table(p); }
  } free_t{t};
  t->columns = static_cast<DbfColumn*>(std::calloc(static_cast<std::size_t>(count), sizeof(DbfColumn)));
  if (!t->columns) return ORDANE_ERR_OUT_OF_MEMORY;
  t->num_columns = count;
  t->num_records = records;
  t->encoding_source = source;
  t->last_update = (1900 + header[1]) * 10000 + header[2] * 100 + header[3];
  t->version = header[0];
  t->language_driver = ldid;
  for (int32_t i = 0; i < count; ++i) {
    const Field& f = fields[i];
    DbfColumn& c = t->columns[i];
    c.type = f.type;
    c.kind = f.kind;
    c.length = f.length;
    c.decimals = f.decimals;
    c.field_offset = f.offset;
  }

  Decoder decoder(fields, count, t);
  if (!decoder.allocate(records)) return ORDANE_ERR_OUT_OF_MEMORY;
  const std::size_t per_chunk = record_length < kChunkBytes ? kChunkBytes / record_length : 1;
  unsigned char* chunk = nullptr;
  struct FreeChunk {
    unsigned char** p;
    ~FreeChunk() { std::free(*p); }
  } free_chunk{&chunk};
  for (int pass = 0;; ++pass) {
    Utf8Converter text;
    const Utf8Converter::Open opened = text.open(chosen);
    if (opened == Utf8Converter::Open::kOutOfMemory) return ORDANE_ERR_OUT_OF_MEMORY;
    if (opened != Utf8Converter::Open::kOk) return ORDANE_DBF_ERR_ENCODING;
    decoder.start(&text);
    if (all) {
      if (!decoder.decode(all, record_length, 0, static_cast<std::size_t>(records))) {
        return ORDANE_ERR_OUT_OF_MEMORY;
      }
    } else if (records > 0) {
      if (pass > 0 && !in.rewind_to(static_cast<int64_t>(header_length))) {
        return ORDANE_DBF_ERR_TRUNCATED;
      }
      if (!chunk && !(chunk = static_cast<unsigned char*>(std::malloc(per_chunk * record_length)))) {
        return ORDANE_ERR_OUT_OF_MEMORY;
      }
      for (std::size_t first = 0; first < static_cast<std::size_t>(records); first += per_chunk) {
        const std::size_t left = static_cast<std::size_t>(records) - first;
        const std::size_t n = left < per_chunk ? left : per_chunk;
        // The size was checked, but a file cut short while it is read ends here.
        if (in.read(chunk, n * record_length) != n * record_length) return ORDANE_DBF_ERR_TRUNCATED;
        if (!decoder.decode(chunk, record_length, first, n)) return ORDANE_ERR_OUT_OF_MEMORY;
      }
    }
    bool names_clean = true;
    for (int32_t i = 0; i < count; ++i) {
      const Field& f = fields[i];
      DbfColumn& c = t->columns[i];
      char name[4 * sizeof f.name];
      const std::size_t n = text.convert(f.name, f.name_len, name, &names_clean);
      const std::size_t keep = n < sizeof c.name - 1 ? n : sizeof c.name - 1;
      std::memcpy(c.name, name, keep);
      c.name[keep] = '\0';
    }
    if (!guess || pass > 0 || (decoder.text_clean() && names_clean)) break;
    std::strcpy(chosen, "ISO-8859-1");
  }
  std::memcpy(t->encoding, chosen, sizeof t->encoding);
  if (!decoder.finish()) return ORDANE_ERR_OUT_OF_MEMORY;

  free_t.p = nullptr;
  *table = t;
  return ORDANE_OK;
}

}  // namespace

extern "C" ORDANE_API int32_t ordane_read_dbf(const char* dbf_path, const char* encoding,
                                              int64_t expected_records, DbfTable** table) {
  if (!dbf_path || !table) return ORDANE_ERR_INVALID_ARGUMENT;
  try {
    return read_dbf(dbf_path, encoding, expected_records, table);
  } catch (const std::bad_alloc&) {
    return ORDANE_ERR_OUT_OF_MEMORY;
  }
}

extern "C" ORDANE_API void ordane_free_dbf_table(DbfTable* table) { free_table(table); }
