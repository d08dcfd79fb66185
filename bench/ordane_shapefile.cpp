// Reading a ~150 MB polygon shapefile into flat arrays, three ways:
//  - BM_ordane_parse_shp: the library's reader;
//  - BM_shapelib_SHPReadObject: shapelib's per-object reader, copied into the
//    same flat arrays (growing vectors, as a caller without counts would);
//  - BM_fresh_memory_floor: allocating and writing as many fresh output bytes
//    as the reader returns, the cost no reader can avoid.
// All three report the file's bytes per second. The file (and its .shx) is
// generated once, deterministically, in the current working directory (run
// the program from the build directory) and reused by later runs.

#include <shapefil.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ordane.h"
#include "shp_builder.h"

namespace {

using quillon_test::ByteWriter;

constexpr int64_t kTargetBytes = 150 * 1000 * 1000;

struct BenchFile {
  std::string shp;
  int64_t size = 0;
};

// Polygons of 1 to 3 rings of 16 to 1000 points each, from a fixed
// pseudo-random sequence; the .shx index is written alongside for shapelib.
BenchFile make_file() {
  BenchFile out;
  out.shp = "ordane_bench_polygons.shp";
  const std::string shx = "ordane_bench_polygons.shx";
  if (std::FILE* f = std::fopen(out.shp.c_str(), "rb")) {
    std::fseek(f, 0, SEEK_END);
    out.size = std::ftell(f);
    std::fclose(f);
    std::FILE* g = std::fopen(shx.c_str(), "rb");
    if (g) std::fclose(g);
    if (out.size >= kTargetBytes && g) return out;
  }

  uint64_t state = 0x9E3779B97F4A7C15u;
  auto next = [&state](uint32_t n) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<uint32_t>(state >> 33) % n;
  };
  std::FILE* f = std::fopen(out.shp.c_str(), "wb");
  std::FILE* x = std::fopen(shx.c_str(), "wb");
  if (!f || !x) std::abort();
  std::fseek(f, 100, SEEK_SET);
  std::fseek(x, 100, SEEK_SET);
  int64_t pos = 100;
  int32_t number = 0;
  double box_all[4] = {1e300, 1e300, -1e300, -1e300};
  while (pos < kTargetBytes) {
    const int rings = 1 + static_cast<int>(next(3));
    std::vector<int32_t> parts;
    std::vector<double> xy;
    const double cx = next(36000) / 100.0 - 180.0, cy = next(18000) / 100.0 - 90.0;
    for (int r = 0; r < rings; ++r) {
      parts.push_back(static_cast<int32_t>(xy.size() / 2));
      const int n = 16 + static_cast<int>(next(985));
      for (int i = 0; i < n; ++i) {
        xy.push_back(cx + (next(1000) / 1000.0) * (r + 1));
        xy.push_back(cy + (next(1000) / 1000.0) * (r + 1));
      }
    }
    double box[4] = {xy[0], xy[1], xy[0], xy[1]};
    for (size_t i = 0; i < xy.size(); i += 2) {
      box[0] = std::min(box[0], xy[i]);
      box[1] = std::min(box[1], xy[i + 1]);
      box[2] = std::max(box[2], xy[i]);
      box[3] = std::max(box[3], xy[i + 1]);
    }
    for (int i = 0; i < 2; ++i) {
      box_all[i] = std::min(box_all[i], box[i]);
      box_all[i + 2] = std::max(box_all[i + 2], box[i + 2]);
    }
    ByteWriter c;
    c.le32(5);
    for (double v : box) c.f64(v);
    c.le32(static_cast<int32_t>(parts.size())).le32(static_cast<int32_t>(xy.size() / 2));
    for (int32_t p : parts) c.le32(p);
    for (double v : xy) c.f64(v);
    const int32_t words = static_cast<int32_t>(c.get().size() / 2);
    ByteWriter rh;
    rh.be32(++number).be32(words);
    ByteWriter ix;
    ix.be32(static_cast<int32_t>(pos / 2)).be32(words);
    std::fwrite(rh.get().data(), 1, 8, f);
    std::fwrite(c.get().data(), 1, c.get().size(), f);
    std::fwrite(ix.get().data(), 1, 8, x);
    pos += 8 + static_cast<int64_t>(c.get().size());
  }
  auto write_header = [&](std::FILE* file, int64_t bytes) {
    ByteWriter h;
    h.be32(9994);
    for (int i = 0; i < 5; ++i) h.be32(0);
    h.be32(static_cast<int32_t>(bytes / 2)).le32(1000).le32(5);
    for (double v : box_all) h.f64(v);
    for (int i = 0; i < 4; ++i) h.f64(0);
    std::fseek(file, 0, SEEK_SET);
    std::fwrite(h.get().data(), 1, 100, file);
  };
  write_header(f, pos);
  write_header(x, 100 + 8 * int64_t{number});
  std::fclose(f);
  std::fclose(x);
  out.size = pos;
  return out;
}

const BenchFile& bench_file() {
  static const BenchFile file = make_file();
  return file;
}

void BM_ordane_parse_shp(benchmark::State& state) {
  const BenchFile& file = bench_file();
  for (auto _ : state) {
    ShpData* d = ordane_parse_shp(file.shp.c_str());
    if (!d) {
      state.SkipWithError("ordane_parse_shp failed");
      break;
    }
    benchmark::DoNotOptimize(d->points);
    ordane_free_shp_data(d);
  }
  state.SetBytesProcessed(state.iterations() * file.size);
}

void BM_shapelib_SHPReadObject(benchmark::State& state) {
  const BenchFile& file = bench_file();
  for (auto _ : state) {
    SHPHandle h = SHPOpen(file.shp.c_str(), "rb");
    if (!h) {
      state.SkipWithError("SHPOpen failed");
      break;
    }
    int entities = 0, type = 0;
    SHPGetInfo(h, &entities, &type, nullptr, nullptr);
    std::vector<double> points, boxes;
    std::vector<int32_t> parts, shape_parts{0};
    std::vector<uint64_t> shape_points{0};
    for (int k = 0; k < entities; ++k) {
      SHPObject* o = SHPReadObject(h, k);
      if (!o) continue;
      const int32_t base = static_cast<int32_t>(points.size() / 2);
      for (int i = 0; i < o->nParts; ++i) parts.push_back(base + o->panPartStart[i]);
      for (int i = 0; i < o->nVertices; ++i) {
        points.push_back(o->padfX[i]);
        points.push_back(o->padfY[i]);
      }
      boxes.insert(boxes.end(), {o->dfXMin, o->dfYMin, o->dfXMax, o->dfYMax});
      shape_parts.push_back(static_cast<int32_t>(parts.size()));
      shape_points.push_back(points.size() / 2);
      SHPDestroyObject(o);
    }
    SHPClose(h);
    benchmark::DoNotOptimize(points.data());
    benchmark::DoNotOptimize(boxes.data());
  }
  state.SetBytesProcessed(state.iterations() * file.size);
}

void BM_fresh_memory_floor(benchmark::State& state) {
  const BenchFile& file = bench_file();
  ShpData* d = ordane_parse_shp(file.shp.c_str());
  if (!d) {
    state.SkipWithError("ordane_parse_shp failed");
    return;
  }
  const size_t shapes = static_cast<size_t>(d->num_shapes);
  const size_t sizes[5] = {16 * d->num_points, 4 * d->num_parts, 4 * (shapes + 1), 8 * (shapes + 1),
                           32 * shapes};
  ordane_free_shp_data(d);
  for (auto _ : state) {
    void* blocks[5];
    for (int i = 0; i < 5; ++i) {
      blocks[i] = std::malloc(sizes[i]);
      std::memset(blocks[i], 0x3C, sizes[i]);
      benchmark::DoNotOptimize(blocks[i]);
    }
    benchmark::ClobberMemory();
    for (void* b : blocks) std::free(b);
  }
  state.SetBytesProcessed(state.iterations() * file.size);
}

BENCHMARK(BM_ordane_parse_shp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_shapelib_SHPReadObject)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_fresh_memory_floor)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
