// dbf_builder.h - builds dBASE attribute tables (.dbf) byte by byte, so tests
// can state every header field, including wrong ones, and files beside them
// (.cpg, .prj).
#ifndef QUILLON_TEST_DBF_BUILDER_H
#define QUILLON_TEST_DBF_BUILDER_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ordane.h"
#include "shp_builder.h"

namespace quillon_test {

class DbfBuilder {
 public:
  struct FieldSpec {
    std::string name;
    char type;
    int length;
    int decimals;
  };

  DbfBuilder& field(const std::string& name, char type, int length, int decimals = 0) {
    fields_.push_back({name, type, length, decimals});
    return *this;
  }
  // One record: the values as stored, each padded with blanks to its field's
  // length (or cut to it); "deleted" sets the '*' flag.
  DbfBuilder& record(const std::vector<std::string>& values, bool deleted = false) {
    std::string r(1, deleted ? '*' : ' ');
    for (size_t i = 0; i < fields_.size(); ++i) {
      std::string v = i < values.size() ? values[i] : std::string();
      v.resize(static_cast<size_t>(fields_[i].length), ' ');
      r += v;
    }
    records_.push_back(r);
    return *this;
  }
  DbfBuilder& language_driver(unsigned char v) { ldid_ = v; return *this; }
  DbfBuilder& record_count(uint32_t v) { count_ = v; return *this; }
  DbfBuilder& header_length(uint16_t v) { header_length_ = v; return *this; }
  DbfBuilder& record_length(uint16_t v) { record_length_ = v; return *this; }
  DbfBuilder& no_end_mark() { end_mark_ = false; return *this; }

  Bytes bytes() const {
    int rl = 1;
    for (const FieldSpec& f : fields_) rl += f.length;
    const int hl = 32 + 32 * static_cast<int>(fields_.size()) + 1;
    Bytes b;
    const auto le = [&](uint32_t v, int n) {
      for (int i = 0; i < n; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    b.push_back(0x03);                                  // version: dBASE III
    b.push_back(124); b.push_back(5); b.push_back(17);  // last update 2024-05-17
    le(count_ ? *count_ : static_cast<uint32_t>(records_.size()), 4);  // record count
    le(header_length_ ? *header_length_ : static_cast<uint32_t>(hl), 2);
    le(record_length_ ? *record_length_ : static_cast<uint32_t>(rl), 2);
    for (int i = 12; i < 29; ++i) b.push_back(0);       // reserved
    b.push_back(ldid_);                                 // language driver
    b.push_back(0); b.push_back(0);                     // reserved
    for (const FieldSpec& f : fields_) {
      std::string name = f.name;
      name.resize(11, '\0');                            // name, NUL-padded
      b.insert(b.end(), name.begin(), name.end());
      b.push_back(static_cast<unsigned char>(f.type));  // type letter
      for (int i = 0; i < 4; ++i) b.push_back(0);       // field address (unused)
      b.push_back(static_cast<unsigned char>(f.length));
      b.push_back(static_cast<unsigned char>(f.decimals));
      for (int i = 0; i < 14; ++i) b.push_back(0);      // reserved
    }
    b.push_back(0x0D);                                  // end of the descriptors
    for (const std::string& r : records_) b.insert(b.end(), r.begin(), r.end());
    if (end_mark_) b.push_back(0x1A);                   // end of file mark
    return b;
  }

 private:
  std::vector<FieldSpec> fields_;
  std::vector<std::string> records_;
  unsigned char ldid_ = 0;
  std::optional<uint32_t> count_;
  std::optional<uint16_t> header_length_;
  std::optional<uint16_t> record_length_;
  bool end_mark_ = true;
};

inline Bytes text_bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A file beside "file" with another extension (".cpg"), removed when the
// holder goes.
class Companion {
 public:
  Companion(const TempFile& file, const char* ext, const Bytes& b) {
    path_ = file.path();
    path_ = path_.substr(0, path_.rfind('.')) + ext;
    ok_ = write_file(path_, b);
  }
  ~Companion() { std::remove(path_.c_str()); }
  Companion(const Companion&) = delete;
  Companion& operator=(const Companion&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string path_;
  bool ok_ = false;
};

struct DbfTableFree {
  void operator()(DbfTable* t) const { ordane_free_dbf_table(t); }
};
using DbfTablePtr = std::unique_ptr<DbfTable, DbfTableFree>;

// Value k of a TEXT or RAW column.
inline std::string text_at(const DbfColumn& c, int64_t k) {
  return std::string(c.text + c.text_offsets[k],
                     static_cast<size_t>(c.text_offsets[k + 1] - c.text_offsets[k]));
}

}  // namespace quillon_test

#endif  // QUILLON_TEST_DBF_BUILDER_H
