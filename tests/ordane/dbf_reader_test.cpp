// ordane_read_dbf and ordane_read_prj on tables built byte by byte: values of
// every kind, the order in which the text's encoding is chosen, and every
// malformed header, which must fail before anything is allocated for it.

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dbf_builder.h"
#if !defined(_WIN32)
#include "fifo_feed.h"
#endif
#include "ordane.h"
#include "shp_builder.h"

namespace {

using quillon_test::Bytes;
using quillon_test::Companion;
using quillon_test::DbfBuilder;
using quillon_test::DbfTablePtr;
#if !defined(_WIN32)
using quillon_test::FifoFeed;
#endif
using quillon_test::TempFile;
using quillon_test::text_at;
using quillon_test::text_bytes;

// Reads "b" as a .dbf; the result code, and the table when it is 0.
int32_t read(const Bytes& b, DbfTablePtr* out, const char* encoding = nullptr,
             int64_t expected = -1) {
  TempFile f(b, ".dbf");
  DbfTable* t = reinterpret_cast<DbfTable*>(0x1);  // must stay as it is on failure
  const int32_t rc = ordane_read_dbf(f.path(), encoding, expected, &t);
  if (rc == ORDANE_OK) {
    out->reset(t);
  } else {
    EXPECT_EQ(t, reinterpret_cast<DbfTable*>(0x1)) << "written on failure";
  }
  return rc;
}

TEST(ordane_read_dbf, ValuesOfEveryKind) {
  const Bytes b = DbfBuilder()
                      .field("NAME", 'C', 12)
                      .field("POP", 'N', 10, 0)
                      .field("AREA", 'N', 12, 3)
                      .field("RATIO", 'F', 14, 6)
                      .field("OK", 'L', 1)
                      .field("DAY", 'D', 8)
                      .field("MEMO", 'M', 10)
                      .record({"Oslo", "    709037", "     454.031", "  1.500000e-03", "T",
                               "20240229", "0000000012"})
                      .record({"  lead", "", "   -12.50   ", "+3", "n", "19700101", ""}, true)
                      .record({"x", "**********", "1.2.3", "1e", "?", "20230229", "abc"})
                      .record({"", " 1e3", "abc", "  -0.0", " ", "        ", ""})
                      .bytes();
  DbfTablePtr t;
  ASSERT_EQ(read(b, &t), ORDANE_OK);
  ASSERT_EQ(t->num_records, 4);
  ASSERT_EQ(t->num_columns, 7);
  EXPECT_EQ(t->version, 3);
  EXPECT_EQ(t->last_update, 20240517);
  EXPECT_EQ(std::vector<uint8_t>(t->deleted, t->deleted + 4), (std::vector<uint8_t>{0, 1, 0, 0}));

  const DbfColumn* c = t->columns;
  EXPECT_STREQ(c[0].name, "NAME");
  EXPECT_EQ(c[0].type, 'C');
  EXPECT_EQ(c[0].kind, ORDANE_DBF_KIND_TEXT);
  EXPECT_EQ(c[0].length, 12);
  EXPECT_EQ(c[0].field_offset, 1);
  EXPECT_EQ(c[1].field_offset, 13);
  EXPECT_EQ(c[2].decimals, 3);
  // Text: trailing padding goes, leading blanks stay.
  EXPECT_EQ(text_at(c[0], 0), "Oslo");
  EXPECT_EQ(text_at(c[0], 1), "  lead");
  EXPECT_EQ(text_at(c[0], 3), "");
  EXPECT_EQ(c[0].numbers, nullptr);

  const auto number = [&](int col, int row) { return c[col].numbers[row]; };
  const auto valid = [&](int col, int row) { return c[col].valid[row]; };
  EXPECT_EQ(number(1, 0), 709037.0);
  EXPECT_FALSE(valid(1, 1));  // blank
  EXPECT_TRUE(std::isnan(number(1, 1)));
  EXPECT_FALSE(valid(1, 2));  // overflow stars
  EXPECT_EQ(number(1, 3), 1000.0);
  EXPECT_EQ(number(2, 0), 454.031);
  EXPECT_EQ(number(2, 1), -12.5);
  EXPECT_FALSE(valid(2, 2));  // two points
  EXPECT_FALSE(valid(2, 3));  // letters
  EXPECT_EQ(number(3, 0), 1.5e-3);
  EXPECT_EQ(number(3, 1), 3.0);
  EXPECT_FALSE(valid(3, 2));  // exponent without digits
  EXPECT_TRUE(valid(3, 3));
  EXPECT_TRUE(std::signbit(number(3, 3)));

  EXPECT_EQ(c[4].kind, ORDANE_DBF_KIND_LOGICAL);
  EXPECT_EQ(std::vector<uint8_t>(c[4].booleans, c[4].booleans + 4), (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(c[4].valid, c[4].valid + 4), (std::vector<uint8_t>{1, 1, 0, 0}));

  EXPECT_EQ(c[5].kind, ORDANE_DBF_KIND_DATE);
  EXPECT_EQ(c[5].days[0], 19782);  // 2024-02-29, a leap day
  EXPECT_EQ(c[5].days[1], 0);
  EXPECT_TRUE(valid(5, 1));
  EXPECT_FALSE(valid(5, 2));  // 2023 has no 29 February
  EXPECT_FALSE(valid(5, 3));  // blank

  // Other types: the stored bytes, padding included.
  EXPECT_EQ(c[6].kind, ORDANE_DBF_KIND_RAW);
  EXPECT_EQ(text_at(c[6], 0), "0000000012");
  EXPECT_EQ(text_at(c[6], 2), "abc       ");
}

TEST(ordane_read_dbf, FieldsOfLengthZero) {
  const Bytes b = DbfBuilder()
                      .field("M", 'M', 0)
                      .field("C", 'C', 0)
                      .field("N", 'N', 0)
                      .field("L", 'L', 0)
                      .record({})
                      .record({})
                      .bytes();
  DbfTablePtr t;
  ASSERT_EQ(read(b, &t), ORDANE_OK);
  ASSERT_EQ(t->num_records, 2);
  EXPECT_EQ(text_at(t->columns[0], 1), "");
  EXPECT_EQ(text_at(t->columns[1], 1), "");
  EXPECT_FALSE(t->columns[2].valid[1]);
  EXPECT_FALSE(t->columns[3].valid[1]);
}

TEST(ordane_read_dbf, NumbersAreCorrectlyRounded) {
  // Beyond 15 digits and with exponents the general parser takes over; the
  // results must still be the nearest doubles.
  const std::vector<std::string> texts = {"0.1", "123456789012345678", "9007199254740993",
                                          "2.2250738585072014e-308", "1.7976931348623157e308",
                                          "0.30000000000000004", "-7.0e-10", "4.35"};
  DbfBuilder b;
  b.field("V", 'N', 24, 10);
  for (const std::string& s : texts) b.record({s});
  DbfTablePtr t;
  ASSERT_EQ(read(b.bytes(), &t), ORDANE_OK);
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_TRUE(t->columns[0].valid[i]);
    EXPECT_EQ(t->columns[0].numbers[i], std::strtod(texts[i].c_str(), nullptr)) << texts[i];
  }
}

// ---------------------------------------------------------------------------
// Encodings
// ---------------------------------------------------------------------------

Bytes one_text(const std::string& stored, unsigned char ldid = 0) {
  return DbfBuilder().field("T", 'C', 20).record({stored}).language_driver(ldid).bytes();
}

std::string read_text(const Bytes& b, const char* cpg, const char* encoding, int32_t* source,
                      std::string* used, bool* clean) {
  TempFile f(b, ".dbf");
  std::unique_ptr<Companion> c;
  if (cpg) c = std::make_unique<Companion>(f, ".cpg", text_bytes(cpg));
  DbfTable* raw = nullptr;
  EXPECT_EQ(ordane_read_dbf(f.path(), encoding, -1, &raw), ORDANE_OK);
  DbfTablePtr t(raw);
  if (!t) return "<failed>";
  *source = t->encoding_source;
  *used = t->encoding;
  *clean = t->columns[0].valid[0];
  return text_at(t->columns[0], 0);
}

TEST(ordane_read_dbf, TheEncodingComesFromTheArgumentTheCpgTheDriverByteOrTheText) {
  struct Case {
    const char* what;
    Bytes dbf;
    const char* cpg;
    const char* encoding;
    std::string text;
    int32_t source;
    const char* used;
  };
  const std::string e_acute_1252 = "caf\xE9";
  const std::string cyrillic_1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";  // "Привет"
  const std::string gbk = "\xD6\xD0\xCE\xC4";                       // "中文"
  const Case cases[] = {
      {"cpg code page", one_text(e_acute_1252), "1252\r\n", nullptr, "café", ORDANE_DBF_ENCODING_CPG, "CP1252"},
      {"cpg ANSI form", one_text(cyrillic_1251), "ANSI 1251", nullptr, "Привет", ORDANE_DBF_ENCODING_CPG, "CP1251"},
      {"cpg name", one_text(cyrillic_1251), "cp1251", nullptr, "Привет", ORDANE_DBF_ENCODING_CPG, "cp1251"},
      {"cpg ESRI 8859", one_text(e_acute_1252), "88591", nullptr, "café", ORDANE_DBF_ENCODING_CPG, "ISO-8859-1"},
      {"cpg GBK", one_text(gbk), "GBK", nullptr, "中文", ORDANE_DBF_ENCODING_CPG, "GBK"},
      {"cpg UTF-8", one_text("café"), "utf8", nullptr, "café", ORDANE_DBF_ENCODING_CPG, "UTF-8"},
      {"argument over cpg", one_text(cyrillic_1251), "1252", "1251", "Привет", ORDANE_DBF_ENCODING_ARGUMENT, "CP1251"},
      {"cpg over driver byte", one_text(e_acute_1252, 0xC9), "1252", nullptr, "café", ORDANE_DBF_ENCODING_CPG, "CP1252"},
      {"unknown cpg passed over", one_text(cyrillic_1251, 0xC9), "NO-SUCH-CODE", nullptr, "Привет", ORDANE_DBF_ENCODING_LDID, "CP1251"},
      {"driver byte", one_text(cyrillic_1251, 0xC9), nullptr, nullptr, "Привет", ORDANE_DBF_ENCODING_LDID, "CP1251"},
      {"driver byte 0x57 states none", one_text("café", 0x57), nullptr, nullptr, "café", ORDANE_DBF_ENCODING_DEFAULT, "UTF-8"},
      {"driver byte 0x57, other text", one_text(e_acute_1252, 0x57), nullptr, nullptr, "café", ORDANE_DBF_ENCODING_DEFAULT, "ISO-8859-1"},
      {"default, UTF-8 text", one_text("café"), nullptr, nullptr, "café", ORDANE_DBF_ENCODING_DEFAULT, "UTF-8"},
      {"default, other text", one_text(e_acute_1252), nullptr, nullptr, "café", ORDANE_DBF_ENCODING_DEFAULT, "ISO-8859-1"},
  };
  for (const Case& c : cases) {
    int32_t source = 0;
    std::string used;
    bool clean = false;
    EXPECT_EQ(read_text(c.dbf, c.cpg, c.encoding, &source, &used, &clean), c.text) << c.what;
    EXPECT_EQ(source, c.source) << c.what;
    EXPECT_EQ(used, c.used) << c.what;
    EXPECT_TRUE(clean) << c.what;
  }
}

TEST(ordane_read_dbf, InvalidBytesBecomeReplacementCharacters) {
  int32_t source = 0;
  std::string used;
  bool clean = true;
  // "caf" then a lone Latin-1 byte in a file declared UTF-8, and a cut-off
  // multi-byte sequence in GBK.
  EXPECT_EQ(read_text(one_text("caf\xE9!"), "UTF-8", nullptr, &source, &used, &clean), "caf\uFFFD!");
  EXPECT_FALSE(clean);
  clean = true;
  EXPECT_EQ(read_text(one_text("ab\xD6"), "GBK", nullptr, &source, &used, &clean), "ab\uFFFD");
  EXPECT_FALSE(clean);
}

TEST(ordane_read_dbf, AnUnknownEncodingArgumentIsRefusedFirst) {
  DbfTable* t = nullptr;
  EXPECT_EQ(ordane_read_dbf("/no/such/file.dbf", "NO-SUCH-CODE", -1, &t), ORDANE_DBF_ERR_ENCODING);
  EXPECT_EQ(ordane_read_dbf("/no/such/file.dbf", "", -1, &t), ORDANE_DBF_ERR_ENCODING);
  EXPECT_EQ(ordane_read_dbf("/no/such/file.dbf", std::string(40, 'A').c_str(), -1, &t),
            ORDANE_DBF_ERR_ENCODING);
  EXPECT_EQ(t, nullptr);
}

// ---------------------------------------------------------------------------
// Malformed files
// ---------------------------------------------------------------------------

DbfBuilder small() {
  return DbfBuilder().field("A", 'N', 5).field("B", 'C', 3).record({"1", "x"}).record({"2", "y"});
}

TEST(ordane_read_dbf, MalformedHeadersFailBeforeAnyAllocation) {
  DbfTablePtr t;
  EXPECT_EQ(ordane_read_dbf(nullptr, nullptr, -1, nullptr), ORDANE_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(read(Bytes(31, 0), &t), ORDANE_DBF_ERR_TOO_SHORT);
  EXPECT_EQ(read(small().header_length(32).bytes(), &t), ORDANE_DBF_ERR_HEADER);
  EXPECT_EQ(read(small().header_length(60000).bytes(), &t), ORDANE_DBF_ERR_HEADER);
  EXPECT_EQ(read(small().header_length(32 + 32 + 10).bytes(), &t), ORDANE_DBF_ERR_HEADER)
      << "descriptor cut by the header's end";
  EXPECT_EQ(read(DbfBuilder().bytes(), &t), ORDANE_DBF_ERR_HEADER) << "no field";
  EXPECT_EQ(read(small().record_length(8).bytes(), &t), ORDANE_DBF_ERR_HEADER);
  EXPECT_EQ(read(small().record_length(0).bytes(), &t), ORDANE_DBF_ERR_HEADER);
  // Counts beyond the file: 4 Gi records of 65535 bytes in a file of 100.
  EXPECT_EQ(read(small().record_count(0xFFFFFFFFu).record_length(65535).bytes(), &t),
            ORDANE_DBF_ERR_TRUNCATED);
  EXPECT_EQ(read(small().record_count(3).bytes(), &t), ORDANE_DBF_ERR_TRUNCATED);
  Bytes cut = small().no_end_mark().bytes();
  cut.pop_back();
  EXPECT_EQ(read(cut, &t), ORDANE_DBF_ERR_TRUNCATED);
  EXPECT_EQ(t, nullptr);
}

TEST(ordane_read_dbf, LooseButReadableLayouts) {
  DbfTablePtr t;
  // No end mark, a longer record than the fields need, a header with room
  // after the descriptors (as Visual FoxPro leaves), a count below the file's.
  EXPECT_EQ(read(small().no_end_mark().bytes(), &t), ORDANE_OK);
  EXPECT_EQ(t->num_records, 2);
  Bytes wide = DbfBuilder().field("A", 'N', 5).record_length(10).bytes();
  EXPECT_EQ(read(wide, &t), ORDANE_OK);
  EXPECT_EQ(t->num_records, 0);
  EXPECT_EQ(t->columns[0].numbers, nullptr);
  EXPECT_EQ(read(small().record_count(1).bytes(), &t), ORDANE_OK);
  EXPECT_EQ(t->num_records, 1);
  EXPECT_EQ(t->columns[0].numbers[0], 1.0);
}

TEST(ordane_read_dbf, TheRecordCountMustMatchTheShapes) {
  DbfTablePtr t;
  EXPECT_EQ(read(small().bytes(), &t, nullptr, 2), ORDANE_OK);
  EXPECT_EQ(read(small().bytes(), &t, nullptr, 3), ORDANE_DBF_ERR_RECORD_COUNT);
  EXPECT_EQ(read(small().bytes(), &t, nullptr, 0), ORDANE_DBF_ERR_RECORD_COUNT);

  // The sample countries: one row per shape.
  const std::string dir = QUILLON_SOURCE_DIR "/data/countries_110m";
  quillon_test::ShpDataPtr shp(ordane_parse_shp((dir + ".shp").c_str()));
  ASSERT_NE(shp, nullptr);
  DbfTable* raw = nullptr;
  ASSERT_EQ(ordane_read_dbf((dir + ".dbf").c_str(), nullptr, shp->num_shapes, &raw), ORDANE_OK);
  DbfTablePtr countries(raw);
  EXPECT_EQ(countries->num_records, shp->num_shapes);
  ASSERT_EQ(countries->num_columns, 2);
  EXPECT_STREQ(countries->columns[1].name, "name");
  EXPECT_EQ(text_at(countries->columns[1], 0), "Fiji");
}

// Devices, /proc files and FIFOs: POSIX systems only.
#if !defined(_WIN32)
TEST(ordane_read_dbf, DevicesAndPipes) {
  DbfTable* t = nullptr;
  EXPECT_EQ(ordane_read_dbf("/dev/zero", nullptr, -1, &t), ORDANE_DBF_ERR_OPEN);
  EXPECT_EQ(ordane_read_dbf("/tmp", nullptr, -1, &t), ORDANE_DBF_ERR_OPEN);
  EXPECT_EQ(ordane_read_dbf("/no/such.dbf", nullptr, -1, &t), ORDANE_DBF_ERR_OPEN);
  // /proc files state a size of 0: read as a stream, bounded by the header.
  EXPECT_EQ(ordane_read_dbf("/proc/self/pagemap", nullptr, -1, &t), ORDANE_DBF_ERR_HEADER);

  const Bytes b = small().bytes();
  {
    FifoFeed fifo;
    ASSERT_TRUE(fifo.ok());
    fifo.start([&](int fd) { FifoFeed::write_all(fd, b.data(), b.size()); });
    EXPECT_EQ(ordane_read_dbf(fifo.path(), nullptr, 2, &t), ORDANE_OK);
    fifo.join();
    DbfTablePtr piped(t);
    ASSERT_NE(piped, nullptr);
    EXPECT_EQ(piped->columns[0].numbers[1], 2.0);
    EXPECT_EQ(text_at(piped->columns[1], 1), "y");
  }
  // A pipe that claims 4 Gi records and sends two: truncated, after holding
  // no more than what arrived.
  const Bytes claim = small().record_count(0xFFFFFFFFu).bytes();
  FifoFeed fifo;
  ASSERT_TRUE(fifo.ok());
  fifo.start([&](int fd) { FifoFeed::write_all(fd, claim.data(), claim.size()); });
  t = nullptr;
  EXPECT_EQ(ordane_read_dbf(fifo.path(), nullptr, -1, &t), ORDANE_DBF_ERR_TRUNCATED);
  fifo.join();
  EXPECT_EQ(t, nullptr);
  ordane_free_dbf_table(nullptr);
}
#endif

// ---------------------------------------------------------------------------
// .prj
// ---------------------------------------------------------------------------

int32_t read_prj(const Bytes& b, std::string* out) {
  TempFile f(b, ".prj");
  char* wkt = nullptr;
  const int32_t rc = ordane_read_prj(f.path(), &wkt);
  if (rc == ORDANE_OK) *out = wkt;
  ordane_free_prj_text(wkt);
  return rc;
}

TEST(ordane_read_prj, TextIsCheckedAndTrimmed) {
  std::string wkt;
  const std::string geog = "GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\"]]";
  EXPECT_EQ(read_prj(text_bytes(geog), &wkt), ORDANE_OK);
  EXPECT_EQ(wkt, geog);
  EXPECT_EQ(read_prj(text_bytes("\xEF\xBB\xBF" + geog + "\r\n\n"), &wkt), ORDANE_OK);
  EXPECT_EQ(wkt, geog);
  EXPECT_EQ(read_prj(text_bytes("PROJCS[\"Réseau\"]"), &wkt), ORDANE_OK);
  EXPECT_EQ(wkt, "PROJCS[\"Réseau\"]");
  EXPECT_EQ(read_prj(Bytes(), &wkt), ORDANE_OK);
  EXPECT_EQ(wkt, "");
  EXPECT_EQ(read_prj(Bytes(ORDANE_PRJ_MAX_BYTES, 'A'), &wkt), ORDANE_OK);
  EXPECT_EQ(wkt.size(), static_cast<size_t>(ORDANE_PRJ_MAX_BYTES));

  EXPECT_EQ(read_prj(Bytes(ORDANE_PRJ_MAX_BYTES + 1, 'A'), &wkt), ORDANE_PRJ_ERR_TOO_LARGE);
  EXPECT_EQ(read_prj(text_bytes("PROJCS[\"R\xE9seau\"]"), &wkt), ORDANE_PRJ_ERR_TEXT);
  Bytes nul = text_bytes(geog);
  nul[5] = 0;
  EXPECT_EQ(read_prj(nul, &wkt), ORDANE_PRJ_ERR_TEXT);

  char* out = reinterpret_cast<char*>(0x1);
  EXPECT_EQ(ordane_read_prj(nullptr, &out), ORDANE_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(ordane_read_prj("/x.prj", nullptr), ORDANE_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(ordane_read_prj("/no/such.prj", &out), ORDANE_PRJ_ERR_OPEN);
#if !defined(_WIN32)
  EXPECT_EQ(ordane_read_prj("/dev/zero", &out), ORDANE_PRJ_ERR_OPEN);
  EXPECT_EQ(out, reinterpret_cast<char*>(0x1));

  // An endless stream is cut at the limit.
  FifoFeed fifo;
  ASSERT_TRUE(fifo.ok());
  fifo.start([](int fd) {
    const Bytes chunk(4096, 'A');
    while (FifoFeed::write_all(fd, chunk.data(), chunk.size())) {
    }
  });
  EXPECT_EQ(ordane_read_prj(fifo.path(), &out), ORDANE_PRJ_ERR_TOO_LARGE);
  fifo.join();
#endif

  EXPECT_EQ(read_prj(Bytes(), &wkt), ORDANE_OK);
  ASSERT_EQ(ordane_read_prj(QUILLON_SOURCE_DIR "/data/countries_110m.prj", &out), ORDANE_OK);
  EXPECT_EQ(std::string(out).rfind("GEOGCS[", 0), 0u);
  ordane_free_prj_text(out);
}

}  // namespace
