// The central load dispatch on arbitrary bytes, as the map program opens a file: the first
// byte picks the file's extension (what identification falls back on), the rest is the
// file. Its file object is made in the table of files, identified (archives, gzip files,
// file lists and pages unpacked into further file objects), loaded by the reader of its
// format or the image loading (tracks filtered), unloaded, and freed with every file
// object the load made.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "core/reader.h"
#include "formats/file_load.h"
#include "fuzz/support/program_env.h"
#include "map/file_object.h"

namespace {

constexpr const char* kSuffixes[] = {
    ".gpx", ".kml", ".zip", ".gz",  ".mp",  ".osm", ".mif", ".shp", ".txt", ".lst",
    ".htm", ".tcx", ".gtm", ".plt", ".wpt", ".rte", ".map", ".tif", ".jpg", ".png",
    ".bmp", ".gif", ".nmea", ".log", ".usr", ".ovl", ".xml", ".tmw", ".wpr", ".dat",
};

void free_every_file() {
  for (;;) {
    obj_t* f = nullptr;
    if (!obj_class_next(kFileClass, &f) || !f) break;
    rd_close_file(f);
    free_obj(&f);
    if (f) break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init_program();
  return 0;
}

// The geodesy records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  tm_fuzz::keep_budget();
  const char* suffix = kSuffixes[data[0] % (sizeof kSuffixes / sizeof *kSuffixes)];
  const std::string path = tm_fuzz::write_scratch(data + 1, size - 1, suffix);
  fileatt_t* file = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 1, 1, &file);
  set_gblerr(0);
  if (file) {
    file_load(file, nullptr, 0);
    set_gblerr(0);
    file_unload(file, 0);
    set_gblerr(0);
  }
  rd_close_all();
  free_every_file();
  set_gblerr(0);
  return 0;
}
