// Reading attribute tables (.dbf), libordane beside shapelib's DBF reader:
//  - countries: data/countries_110m.dbf, 177 records of two text fields;
//  - numeric_1m: 1,000,000 records of four number fields (N and F);
//  - mixed_1m: 1,000,000 records of the four numbers plus a 24-byte name.
// BM_ordane_read_dbf reads the whole table into columns (ordane_read_dbf);
// BM_shapelib_DBFRead reads every field of every record the way a caller of
// shapelib does, numbers with DBFReadDoubleAttribute and text with
// DBFReadStringAttribute, into the same kind of columns. Both report the
// file's bytes per second and records per second. The synthetic files are
// generated once, deterministically, in the current working directory (run
// from the build directory) and reused by later runs; bench/dbf_pyshp_timing.py
// times pyshp on the same files.

#include <shapefil.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ordane.h"

namespace {

constexpr int kRecords = 1000000;

struct FieldSpec {
  const char* name;
  char type;
  int length;
  int decimals;
};

int64_t file_size(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return -1;
  std::fseek(f, 0, SEEK_END);
  const int64_t n = std::ftell(f);
  std::fclose(f);
  return n;
}

// A dBASE III table of kRecords records with "fields", values from a fixed
// pseudo-random sequence: integers, decimals of several widths, blanks now
// and then, and names.
std::string make_table(const char* path, const std::vector<FieldSpec>& fields) {
  int record_length = 1;
  for (const FieldSpec& f : fields) record_length += f.length;
  const int64_t want = 32 + 32 * static_cast<int64_t>(fields.size()) + 1 +
                       int64_t{kRecords} * record_length + 1;
  if (file_size(path) == want) return path;

  std::FILE* out = std::fopen(path, "wb");
  if (!out) std::abort();
  unsigned char h[32] = {0x03, 124, 5, 17};
  for (int i = 0; i < 4; ++i) h[4 + i] = static_cast<unsigned char>(kRecords >> (8 * i));
  const int header_length = 32 + 32 * static_cast<int>(fields.size()) + 1;
  h[8] = static_cast<unsigned char>(header_length);
  h[9] = static_cast<unsigned char>(header_length >> 8);
  h[10] = static_cast<unsigned char>(record_length);
  h[11] = static_cast<unsigned char>(record_length >> 8);
  std::fwrite(h, 1, sizeof h, out);
  for (const FieldSpec& f : fields) {
    unsigned char d[32] = {};
    std::memcpy(d, f.name, std::strlen(f.name));
    d[11] = static_cast<unsigned char>(f.type);
    d[16] = static_cast<unsigned char>(f.length);
    d[17] = static_cast<unsigned char>(f.decimals);
    std::fwrite(d, 1, sizeof d, out);
  }
  std::fputc(0x0D, out);
  uint64_t state = 0x9E3779B97F4A7C15u;
  auto next = [&state](uint32_t n) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<uint32_t>(state >> 33) % n;
  };
  std::string rec;
  char buf[64];
  for (int r = 0; r < kRecords; ++r) {
    rec.assign(1, ' ');
    for (const FieldSpec& f : fields) {
      if (f.type == 'C') {
        std::snprintf(buf, sizeof buf, "Place %u-%u", next(100000), next(1000));
        std::string v(buf);
        v.resize(static_cast<size_t>(f.length), ' ');
        rec += v;
        continue;
      }
      if (next(50) == 0) {
        rec.append(static_cast<size_t>(f.length), ' ');  // an empty value
        continue;
      }
      const double v = f.decimals == 0 ? static_cast<double>(next(2000000000)) - 1e9
                                       : (static_cast<double>(next(2000000000)) - 1e9) / 1e5;
      std::snprintf(buf, sizeof buf, "%*.*f", f.length, f.decimals, v);
      rec += std::string(buf).substr(0, static_cast<size_t>(f.length));
    }
    std::fwrite(rec.data(), 1, rec.size(), out);
  }
  std::fputc(0x1A, out);
  std::fclose(out);
  return path;
}

const std::vector<FieldSpec> kNumeric = {
    {"ID", 'N', 11, 0}, {"VALUE", 'N', 19, 5}, {"RATIO", 'F', 16, 5}, {"POP", 'N', 12, 0}};

std::string table_path(int which) {
  switch (which) {
    case 0:
      return QUILLON_SOURCE_DIR "/data/countries_110m.dbf";
    case 1: {
      static const std::string p = make_table("ordane_bench_numeric_1m.dbf", kNumeric);
      return p;
    }
    default: {
      std::vector<FieldSpec> mixed = kNumeric;
      mixed.push_back({"NAME", 'C', 24, 0});
      static const std::string p = make_table("ordane_bench_mixed_1m.dbf", mixed);
      return p;
    }
  }
}

const char* const kNames[] = {"countries", "numeric_1m", "mixed_1m"};

void report(benchmark::State& state, const std::string& path, int64_t records) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * file_size(path));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * records);
  state.SetLabel(kNames[state.range(0)]);
}

void BM_ordane_read_dbf(benchmark::State& state) {
  const std::string path = table_path(static_cast<int>(state.range(0)));
  int64_t records = 0;
  for (auto _ : state) {
    DbfTable* t = nullptr;
    if (ordane_read_dbf(path.c_str(), nullptr, -1, &t) != ORDANE_OK) {
      state.SkipWithError("ordane_read_dbf failed");
      return;
    }
    records = t->num_records;
    benchmark::DoNotOptimize(t->columns[0].valid);
    ordane_free_dbf_table(t);
  }
  report(state, path, records);
}

// What a shapelib caller does to get the same columns: open, read every
// field of every record (numbers as doubles, with DBFIsAttributeNULL for the
// empty ones; text as strings), close.
void BM_shapelib_DBFRead(benchmark::State& state) {
  const std::string path = table_path(static_cast<int>(state.range(0)));
  int64_t records = 0;
  for (auto _ : state) {
    DBFHandle h = DBFOpen(path.c_str(), "rb");
    if (!h) {
      state.SkipWithError("DBFOpen failed");
      return;
    }
    const int n = DBFGetRecordCount(h);
    const int fields = DBFGetFieldCount(h);
    std::vector<std::vector<double>> numbers(static_cast<size_t>(fields));
    std::vector<std::vector<uint8_t>> valid(static_cast<size_t>(fields));
    std::vector<std::string> text(static_cast<size_t>(fields));
    std::vector<DBFFieldType> types(static_cast<size_t>(fields));
    for (int i = 0; i < fields; ++i) {
      types[static_cast<size_t>(i)] = DBFGetFieldInfo(h, i, nullptr, nullptr, nullptr);
      if (types[static_cast<size_t>(i)] != FTString) {
        numbers[static_cast<size_t>(i)].resize(static_cast<size_t>(n));
        valid[static_cast<size_t>(i)].resize(static_cast<size_t>(n));
      }
    }
    for (int r = 0; r < n; ++r) {
      for (int i = 0; i < fields; ++i) {
        const size_t c = static_cast<size_t>(i);
        if (types[c] == FTString) {
          text[c] += DBFReadStringAttribute(h, r, i);
        } else {
          const bool null = DBFIsAttributeNULL(h, r, i);
          numbers[c][static_cast<size_t>(r)] = null ? 0.0 : DBFReadDoubleAttribute(h, r, i);
          valid[c][static_cast<size_t>(r)] = !null;
        }
      }
    }
    DBFClose(h);
    records = n;
    benchmark::DoNotOptimize(numbers.data());
    benchmark::DoNotOptimize(text.data());
  }
  report(state, path, records);
}

BENCHMARK(BM_ordane_read_dbf)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_shapelib_DBFRead)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace
