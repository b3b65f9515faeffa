// Peak memory of reading one huge text field.
//
// Figure guarded (Release):
//   HugeFieldPeak - the peak resident size of a fresh process that loads a GPX 1.1 file
//       holding one waypoint whose name is 50 MiB of text (the file object made, read_gpx
//       run: parse, objects, labels and default styles) and measures the waypoint's
//       label, less the peak of the same process loading nothing, divided by the file's
//       size (counter "ratio"). Target: a ratio of at most 4 (a UTF-16 name is twice its
//       ASCII text, the parser's text buffer once more); `gpsbabel -i gpx -f huge.gpx -o
//       unicsv -F /dev/null` peaks near 270 MB on the same file. The counters also give
//       the file's size, both peaks (MB) and the name's length as loaded, which must be
//       the whole text.
//
// Each measure runs in a child process (fork), whose peak comes from wait4, so the
// benchmark's own allocations never count. The file is written before timing, at
// $TMPDIR/tm_huge_field_bench.gpx (default /tmp).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/file_load_bench.h"
#include "core/wstring.h"
#include "core/xml.h"
#include "formats/gpx.h"
#include "map/draw_gdi.h"

namespace {

constexpr size_t kNameBytes = size_t(50) << 20;

std::string bench_path() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/tm_huge_field_bench.gpx";
}

// The file's size, or 0 when it cannot be written.
long write_document(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<gpx version=\"1.1\" creator=\"bench\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
             "  <wpt lat=\"45.5\" lon=\"6.5\"><name>",
             f);
  std::string block(1 << 20, 'N');
  for (size_t done = 0; done < kNameBytes; done += block.size())
    std::fwrite(block.data(), 1, block.size(), f);
  std::fputs("</name></wpt>\n</gpx>\n", f);
  const long size = std::ftell(f);
  std::fclose(f);
  return size;
}

// In the child: the map model, then (with `load`) the file read and the label measured.
// Exit status: 0 when the whole name was loaded (or nothing was asked), 1 otherwise.
[[noreturn]] void child(const std::string& path, bool load) {
  bench_load::register_map_model();
  xml_init();
  gpx_register_tables();
  int status = 0;
  if (load) {
    fileatt_t* f = nullptr;
    file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &f);
    obj_list_new(&f->sot);
    status = 1;
    if (read_gpx(f, f->sot) == 0) {
      for (int i = 0; i < obj_list_count(f->sot); ++i) {
        obj_t* o = f->sot->elems[i];
        if (!o || o->cls != CLS_WAYPOINT) continue;
        auto* w = static_cast<waypoint_t*>(o);
        int width = 0, height = 0;
        text_extent(0, 12, 400, 0, w->label, &width, &height);
        if (w->name && wstr_len(w->name) == kNameBytes) status = 0;
      }
    }
  }
  std::fflush(nullptr);
  _exit(status);
}

// The child's peak resident size in MB, or a negative value when it failed.
double child_peak_mb(const std::string& path, bool load) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) child(path, load);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -2;
  return usage.ru_maxrss / 1024.0;
}

void HugeFieldPeak(benchmark::State& state) {
  const std::string path = bench_path();
  const long size = write_document(path);
  if (size <= 0) {
    state.SkipWithError("the file cannot be written");
    return;
  }
  double base = 0, peak = 0;
  for (auto _ : state) {
    base = child_peak_mb(path, false);
    peak = child_peak_mb(path, true);
  }
  if (base < 0 || peak < 0) {
    state.SkipWithError(peak == -2 ? "the name was not loaded whole" : "the child failed");
    return;
  }
  const double file_mb = size / 1048576.0;
  state.counters["file_mb"] = file_mb;
  state.counters["baseline_mb"] = base;
  state.counters["peak_mb"] = peak;
  state.counters["ratio"] = (peak - base) / file_mb;
  std::remove(path.c_str());
}

BENCHMARK(HugeFieldPeak)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
