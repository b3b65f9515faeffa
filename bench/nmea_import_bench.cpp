// Importing a large NMEA log.
//
// Figure guarded (Release, one core):
//   NmeaImport/1000000 - milliseconds per import of an NMEA file of 1,000,000 sentences
//                        (500,000 fixes, each a GGA and an RMC sentence): the file object
//                        made and read_nmea_file run (lines, parser, track points with
//                        their navigation records, folder and default styles); freeing it
//                        is not timed. Target: at least 15 times faster than `gpsbabel -i
//                        nmea -f x -o unicsv -F /dev/null` on the same file
//                        (scripts/bench/outside_nmea.py), peak resident size in counter
//                        peak_rss_mb.
//   NmeaFeedOnly/1000000 - the parser alone on the same bytes in memory (its share).
//
// The file is written by the benchmark before timing, beside the benchmark program's
// folder (build/<tree>/tm_nmea_import_bench.nmea; TM_BENCH_DATA names another folder);
// the outside script writes the same bytes from the same closed forms. Fix i (time
// 2020-01-01 00:00:00 + i s):
//   lat = 45 + 0.5 sin(0.0137 i), lon = 6 + 0.5 sin(0.0219 i + 0.5), as ddmm.mmmm with
//   the minutes floor(|v| * 600000 + 0.5) / 10000 carried into the degrees;
//   GGA "$GPGGA,hhmmss.00,lat,N,lon,E,1,08,0.9,%.1f,M,47.0,M,," altitude
//   1000 + 500 sin(0.001 i);
//   RMC "$GPRMC,hhmmss.00,A,lat,N,lon,E,%.1f,%.1f,ddmmyy,," speed 10 + 5 sin(0.01 i)
//   knots, course fmod(0.37 i, 360);
//   each sentence followed by "*" and its checksum in two upper-case hexadecimal digits,
//   CR and LF.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/file_load_bench.h"
#include "core/config.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "gps/nmea_files.h"
#include "gps/nmea_parser.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

constexpr int kFixes = 500000;

std::string bench_path() {
  const char* dir = std::getenv("TM_BENCH_DATA");
  if (dir && *dir) return std::string(dir) + "/tm_nmea_import_bench.nmea";
  char exe[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string folder = n > 0 ? std::string(exe, size_t(n)) : std::string("./x");
  folder = folder.substr(0, folder.rfind('/'));     // build/<tree>/bin
  folder = folder.substr(0, folder.rfind('/'));     // build/<tree>
  return folder + "/tm_nmea_import_bench.nmea";
}

void put_sentence(FILE* f, const char* body) {
  int sum = 0;
  for (const char* p = body + 1; *p; ++p) sum ^= static_cast<unsigned char>(*p);
  std::fprintf(f, "%s*%02X\r\n", body, sum);
}

void put_angle(char* out, size_t size, double v, bool longitude) {
  const long long units = static_cast<long long>(std::floor(std::fabs(v) * 600000.0 + 0.5));
  const int degrees = int(units / 600000);
  const double minutes = double(units % 600000) / 10000.0;
  std::snprintf(out, size, longitude ? "%03d%07.4f" : "%02d%07.4f", degrees, minutes);
}

void write_document(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  char lat[32], lon[32], body[160];
  for (int i = 0; i < kFixes; ++i) {
    const int s = i % 86400, d = i / 86400;
    put_angle(lat, sizeof lat, 45.0 + 0.5 * std::sin(0.0137 * i), false);
    put_angle(lon, sizeof lon, 6.0 + 0.5 * std::sin(0.0219 * i + 0.5), true);
    std::snprintf(body, sizeof body, "$GPGGA,%02d%02d%02d.00,%s,N,%s,E,1,08,0.9,%.1f,M,47.0,M,,",
                  s / 3600, s / 60 % 60, s % 60, lat, lon, 1000.0 + 500.0 * std::sin(0.001 * i));
    put_sentence(f, body);
    std::snprintf(body, sizeof body, "$GPRMC,%02d%02d%02d.00,A,%s,N,%s,E,%.1f,%.1f,%02d0120,,",
                  s / 3600, s / 60 % 60, s % 60, lat, lon, 10.0 + 5.0 * std::sin(0.01 * i),
                  std::fmod(0.37 * i, 360.0), 1 + d);
    put_sentence(f, body);
  }
  std::fclose(f);
}

void register_model() {
  bench_load::register_map_model();
  nmea_module_init();
}

void NmeaImport(benchmark::State& state) {
  static const bool ready = (register_model(), write_document(bench_path()), true);
  (void)ready;
  const std::string path = bench_path();
  int64_t points = 0;
  for (auto _ : state)
    bench_load::timed_load(
        state, path, "the import failed",
        [](fileatt_t* f) { return read_nmea_file(f, f->sot) == 0; },
        [&](fileatt_t* f) { points = obj_list_count_of_class(f->sot, CLS_GPSPOS); });
  state.counters["points"] = double(points);
  state.counters["peak_rss_mb"] = bench_load::peak_rss_mb();
}
BENCHMARK(NmeaImport)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The parser's share of the import: the same bytes, already in memory, fed at once to
// a parser on the standard tables (the handlers fill its fix; nothing else is made).
void NmeaFeedOnly(benchmark::State& state) {
  static const bool ready = (register_model(), write_document(bench_path()), true);
  (void)ready;
  std::string bytes;
  if (FILE* f = std::fopen(bench_path().c_str(), "rb")) {
    char block[1 << 16];
    for (size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) bytes.append(block, n);
    std::fclose(f);
  }
  for (auto _ : state) {
    nmea_parser* parser = nullptr;
    nmea_reader_create(nullptr, nullptr, &parser);
    if (!parser) state.SkipWithError("no parser");
    nmea_feed(reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()), parser);
    nmea_reader_free(&parser);
  }
}
BENCHMARK(NmeaFeedOnly)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
