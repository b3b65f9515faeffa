// Loading large Shapefiles.
//
// Figures guarded (Release, one core):
//   ShpLoad/line_z  - milliseconds per load of a Shapefile holding one polyline Z record of
//                     1,000,000 vertices in 4 parts: the file object made and shp_read
//                     run (records, lines with their z values, styles, folder); freeing it
//                     is not timed. Target: at least as fast as `ogr2ogr -f Memory` on the
//                     same file (scripts/bench/outside_shp.py), about 0.1 s here.
//   ShpLoad/points  - the same for a Shapefile of 1,000,000 point records. Target: at
//                     least as fast as ogr2ogr, about 0.9 s here.
// Counters: vertices or points read, peak resident size (peak_rss_mb).
//
// The files are written by the benchmark before timing, when missing, into
// <source>/build/shp_bench/ (line_z.shp, points.shp, each with its .shx and a .dbf of
// one numeric field "ID", so that outside readers open them too); the outside script
// writes the same bytes from the same closed forms when it runs first:
//   line vertex i (0..999999, part k = i / 250000): x = 600000 + 0.5 i,
//     y = 6000000 + 1000 sin(0.001 i), z = 100 + 50 sin(0.01 i);
//   point i (0..999999): x = 2 + 0.001 (i mod 1000), y = 45 + 0.001 floor(i / 1000).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/file_load_bench.h"
#include "core/config.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "formats/shapefile.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

constexpr int kVertices = 1000000;
constexpr int kParts = 4;
constexpr int kPoints = 1000000;

std::string bench_dir() { return std::string(TM_SOURCE_DIR) + "/build/shp_bench/"; }

// ---- Writing the files ------------------------------------------------------------------

struct bytes {
  std::vector<unsigned char> b;
  void be32(uint32_t v) {
    for (int i = 3; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
  }
  void le32(uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
  }
  void le16(uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
  }
  void f64(double v) {
    unsigned char t[8];
    std::memcpy(t, &v, 8);
    b.insert(b.end(), t, t + 8);
  }
  void pad(size_t n, unsigned char c = 0) { b.insert(b.end(), n, c); }
};

// The 100-byte header of a .shp or .shx file of `total` bytes.
void header(bytes* out, size_t total, int type, const double box[6]) {
  out->be32(9994);
  out->pad(20);
  out->be32(uint32_t(total / 2));
  out->le32(1000);
  out->le32(uint32_t(type));
  for (int i = 0; i < 4; ++i) out->f64(box[i]);
  out->f64(box[4]);
  out->f64(box[5]);
  out->f64(0);
  out->f64(0);
}

void write_bytes(const std::string& path, const bytes& data) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(data.b.data(), 1, data.b.size(), f);
  std::fclose(f);
}

// A .dbf of `n` records with one numeric field "ID" of 10 digits.
void write_dbf(const std::string& path, int n) {
  bytes d;
  d.b.push_back(3);
  d.b.push_back(124);
  d.b.push_back(1);
  d.b.push_back(1);
  d.le32(uint32_t(n));
  d.le16(32 + 32 + 1);
  d.le16(1 + 10);
  d.pad(20);
  const char name[11] = "ID";
  d.b.insert(d.b.end(), name, name + 11);
  d.b.push_back('N');
  d.pad(4);
  d.b.push_back(10);
  d.b.push_back(0);
  d.pad(14);
  d.b.push_back(0x0D);
  char rec[16];
  for (int i = 0; i < n; ++i) {
    std::snprintf(rec, sizeof rec, " %10d", i + 1);
    d.b.insert(d.b.end(), rec, rec + 11);
  }
  d.b.push_back(0x1A);
  write_bytes(path, d);
}

void write_line_z(const std::string& base) {
  std::vector<double> x(kVertices), y(kVertices), z(kVertices);
  double box[6] = {1e300, 1e300, -1e300, -1e300, 1e300, -1e300};
  for (int i = 0; i < kVertices; ++i) {
    x[i] = 600000.0 + 0.5 * i;
    y[i] = 6000000.0 + 1000.0 * std::sin(0.001 * i);
    z[i] = 100.0 + 50.0 * std::sin(0.01 * i);
    box[0] = std::min(box[0], x[i]), box[1] = std::min(box[1], y[i]);
    box[2] = std::max(box[2], x[i]), box[3] = std::max(box[3], y[i]);
    box[4] = std::min(box[4], z[i]), box[5] = std::max(box[5], z[i]);
  }
  const size_t content = 44 + 4 * kParts + 16 * size_t(kVertices) + 16 + 8 * size_t(kVertices);
  bytes s;
  header(&s, 100 + 8 + content, SHP_POLYLINE_Z, box);
  s.be32(1);
  s.be32(uint32_t(content / 2));
  s.le32(SHP_POLYLINE_Z);
  for (int i = 0; i < 4; ++i) s.f64(box[i]);
  s.le32(kParts);
  s.le32(kVertices);
  for (int k = 0; k < kParts; ++k) s.le32(uint32_t(k * (kVertices / kParts)));
  for (int i = 0; i < kVertices; ++i) {
    s.f64(x[i]);
    s.f64(y[i]);
  }
  s.f64(box[4]);
  s.f64(box[5]);
  for (int i = 0; i < kVertices; ++i) s.f64(z[i]);
  write_bytes(base + ".shp", s);
  bytes x_index;
  header(&x_index, 100 + 8, SHP_POLYLINE_Z, box);
  x_index.be32(50);
  x_index.be32(uint32_t(content / 2));
  write_bytes(base + ".shx", x_index);
  write_dbf(base + ".dbf", 1);
}

void write_points(const std::string& base) {
  const double box[6] = {2.0, 45.0, 2.999, 45.999, 0, 0};
  bytes s;
  header(&s, 100 + size_t(kPoints) * 28, SHP_POINT, box);
  bytes x_index;
  header(&x_index, 100 + size_t(kPoints) * 8, SHP_POINT, box);
  for (int i = 0; i < kPoints; ++i) {
    x_index.be32(uint32_t((100 + size_t(i) * 28) / 2));
    x_index.be32(10);
    s.be32(uint32_t(i + 1));
    s.be32(10);
    s.le32(SHP_POINT);
    s.f64(2.0 + 0.001 * (i % 1000));
    s.f64(45.0 + 0.001 * (i / 1000));
  }
  write_bytes(base + ".shp", s);
  write_bytes(base + ".shx", x_index);
  write_dbf(base + ".dbf", kPoints);
}

void make_files() {
  std::filesystem::create_directories(bench_dir());
  if (!std::filesystem::exists(bench_dir() + "line_z.shp")) write_line_z(bench_dir() + "line_z");
  if (!std::filesystem::exists(bench_dir() + "points.shp")) write_points(bench_dir() + "points");
}

// ---- The benchmark ------------------------------------------------------------------------

// What a load made: line vertices, or points.
int64_t shapes_read(const container_t* list) {
  int64_t n = 0;
  for (int i = 0; i < obj_list_count(list); ++i) {
    const obj_t* o = list->elems[i];
    if (o->cls == CLS_GEOPOINT) ++n;
    if (o->cls == CLS_LOIL) {
      coord_list c;
      std::memcpy(&c, &static_cast<const loil_t*>(o)->loicoord, sizeof c);
      n += c.count;
    }
  }
  return n;
}

void ShpLoad(benchmark::State& state, const char* name) {
  static const bool ready = (bench_load::register_map_model(), make_files(), true);
  (void)ready;
  const std::string path = bench_dir() + name + ".shp";
  int64_t read = 0;
  for (auto _ : state)
    bench_load::timed_load(
        state, path, "the load failed", [](fileatt_t* f) { return shp_read(f, f->sot) == 0; },
        [&](fileatt_t* f) { read = shapes_read(f->sot); });
  state.counters["read"] = double(read);
  state.counters["peak_rss_mb"] = bench_load::peak_rss_mb();
}
BENCHMARK_CAPTURE(ShpLoad, line_z, "line_z")->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK_CAPTURE(ShpLoad, points, "points")->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
