// Loading a ZIP archive of many small members, as the load command does.
//
// Figure guarded (Release, one core):
//   ZipMembersLoad/4000, ZipMembersLoad/16000 - seconds to list an archive of 4,000 and
//       of 16,000 stored GPX members of one waypoint each (identification of every
//       member) and to load each member and add its folder as a layer of the graph
//       space. Target: linear time: the run of 16,000 takes about 4 times the run of
//       4,000 (printed as "ratio 16000/4000" after the table; a quadratic load gives 16).
//
// The archives are written by the benchmark before timing, at
// $TMPDIR/tm_zip_members_<n>.zip (default /tmp): member k is "w<k>.gpx", a GPX 1.1
// document with one waypoint at lat = 40 + (k mod 100) / 10, lon = (k / 100) / 20.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "bench/file_load_bench.h"
#include "core/checksum.h"
#include "core/command_hooks.h"
#include "core/xml.h"
#include "formats/file_load.h"
#include "formats/gpx.h"
#include "geodesy/georef.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"
#include "map/quadtree.h"
#include "map/view_records.h"

namespace {

std::map<int64_t, double> g_seconds;

std::string bench_path(int n) {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/tm_zip_members_" + std::to_string(n) + ".zip";
}

void put16(std::string* s, unsigned v) {
  s->push_back(char(v & 255));
  s->push_back(char(v >> 8 & 255));
}
void put32(std::string* s, uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}

// Local headers of stored members, then the data: all the listing reads.
void write_archive(const std::string& path, int n) {
  std::string out;
  for (int k = 0; k < n; ++k) {
    char doc[256];
    std::snprintf(doc, sizeof doc,
                  "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"bench\">"
                  "<wpt lat=\"%.3f\" lon=\"%.3f\"><name>W%d</name></wpt></gpx>\n",
                  40.0 + (k % 100) / 10.0, (k / 100) / 20.0, k);
    const std::string data = doc;
    std::string name = "w";
    name += std::to_string(k);
    name += ".gpx";
    put32(&out, 0x04034b50);
    put16(&out, 20);
    put16(&out, 0);
    put16(&out, 0);
    put32(&out, 0);
    put32(&out, crc32_update(kCrc32Init, data.data(), data.size()));
    put32(&out, uint32_t(data.size()));
    put32(&out, uint32_t(data.size()));
    put16(&out, unsigned(name.size()));
    put16(&out, 0);
    out += name;
    out += data;
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(out.data(), 1, out.size(), f);
  std::fclose(f);
}

int drop_post(int, int64_t, const char*) { return 0; }

void register_model() {
  bench_load::register_map_model();
  view_types_register();
  qtree_init();
  drawobj_init_table();
  gindex_init();
  xml_init();
  gpx_register_tables();
  file_load_module_init();
  get_command_hooks().post_command = drop_post;
}

graphspace_t* new_space() {
  geodatum_t* wgs84 = nullptr;
  geo_find_by_code(CLS_GEODATUM, 214, &wgs84);
  georef_t* georef = nullptr;
  georef_create(nullptr, &georef);
  georef->datum = wgs84;
  graphspace_t* gs = nullptr;
  graphspace_new(georef, &gs);
  graphspace_set_current(gs);
  return gs;
}

// Lists the archive, then loads every member and shows its folders; the number of
// layers of the space (a member may show more than one folder).
int load_archive(const std::string& path, graphspace_t* gs) {
  fileatt_t* archive = nullptr;
  file_open(nullptr, nullptr, path.c_str(), &archive);
  container_t* members = nullptr;
  obj_list_new(&members);
  file_identify_and_load(archive, reinterpret_cast<obj_t*>(members), 1);
  int counter = 0;
  for (int i = 0; i < obj_list_count(members); ++i) {
    fileatt_t* m = file_of(members->elems[i]);
    if (!m || file_load(m, nullptr, 0) != 0) continue;
    folder_t* it = nullptr;
    while (folder_t* d = file_next_folder(m, &it)) graphspace_add_file(gs, d, &counter);
  }
  obj_list_clear(members);
  free_obj(&members);
  return obj_list_count(gs->layers) - 1;  // without the image layer
}

// Everything a run made: the space (its layers) first, then the file objects.
void free_run(graphspace_t* gs) {
  graphspace_set_current(nullptr);
  graphspace_free(&gs);
  for (;;) {
    obj_t* f = nullptr;
    if (!obj_class_next(kFileClass, &f) || !f) break;
    free_obj(&f);
  }
}

void ZipMembersLoad(benchmark::State& state) {
  static const bool ready = (register_model(), true);
  (void)ready;
  const int n = int(state.range(0));
  const std::string path = bench_path(n);
  write_archive(path, n);
  double seconds = 0;
  int layers = 0;
  for (auto _ : state) {
    state.PauseTiming();
    graphspace_t* gs = new_space();
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    layers = load_archive(path, gs);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.PauseTiming();
    free_run(gs);
    set_gblerr(0);
    state.ResumeTiming();
  }
  if (layers < n) state.SkipWithError("not every member became a layer");
  g_seconds[n] = seconds / double(state.iterations());
  state.counters["layers"] = layers;
  state.counters["peak_rss_mb"] = bench_load::peak_rss_mb();
}
BENCHMARK(ZipMembersLoad)->Arg(4000)->Arg(16000)->Unit(benchmark::kSecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_seconds.count(4000) && g_seconds.count(16000) && g_seconds[4000] > 0)
    std::printf("ZipMembersLoad ratio 16000/4000: %.2f (linear: about 4, quadratic: 16)\n",
                g_seconds[16000] / g_seconds[4000]);
  return 0;
}
