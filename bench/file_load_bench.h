// What the file-load benchmarks share: the map model registered as the program starts
// it (object store and core classes, the geodesy tables of the source tree, bitmaps,
// drawing, file and GPS classes), the process's peak resident size, and the timed load
// of one file: a fresh file object with a content list read by the reader each
// iteration, what it made counted and the file freed with the timing paused, since
// unloading is not part of a load (the file stays loaded until the user closes it).
#pragma once
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "geodesy/geodesy_tables.h"
#include "map/bitmap_record.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace bench_load {

// The geodesy tables of the source tree, with the reference datum.
inline void load_geodesy() {
  set_program_dir(TM_SOURCE_DIR "/data/");
  geo_load_tables();
  geo_init_ref_datum();
}

// The classes and tables every file reader needs; a benchmark adds its reader's own.
inline void register_map_model() {
  obj_store_init();
  obj_register_core_classes();
  load_geodesy();
  bitmap_module_init();
  drawobj_types_register();
  fileobj_types_register();
  gpsobj_types_register();
}

inline double peak_rss_mb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024.0;
}

// One iteration's load of `path`: `read(file)` runs timed and returns whether the load
// succeeded (else the benchmark stops with `failure`); gblerr is cleared; then, with the
// timing paused, `count(file)` looks at what was made and the file is freed.
template <class Read, class Count>
void timed_load(benchmark::State& state, const std::string& path, const char* failure, Read read,
                Count count) {
  fileatt_t* f = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &f);
  obj_list_new(&f->sot);
  if (!read(f)) state.SkipWithError(failure);
  set_gblerr(0);
  state.PauseTiming();
  count(f);
  free_obj(&f);
  state.ResumeTiming();
}

}  // namespace bench_load
