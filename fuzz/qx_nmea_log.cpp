// The diffusion program's NMEA log reader on arbitrary bytes: each input is a disk file
// (in /dev/shm) read into replay points and resampled, with the geodesy tables of the
// source tree so that datum sentences reach the lookups. The points and the segment go
// with the file's content list.
//
// The harnesses link the GPS library only: the builders it needs (which use nothing
// above it) are compiled into this harness.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/error.h"
#include "fuzz/support/reader_fuzz.h"
#include "gps/nmea_parser.h"
#include "quellix/qx_builders.h"
#include "quellix/qx_builders_log.cpp"
#include "quellix/qx_builders_point.cpp"
#include "quellix/qx_builders_resample.cpp"
#include "quellix/replay_point.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  tm_fuzz::load_geodesy(tm_fuzz::source_data_dir());
  nmea_module_init();
  qx_replay_point_register();
  set_gblerr(0);
  return 0;
}

extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_scratch_file(data, size, ".nmea", [](fileatt_t* file) {
    qx_read_nmea_log(file);
    qx_resample_track(file);
    // Every point's text is as long as it says.
    for (int i = 0; i < obj_list_count(file->sot); ++i) {
      const obj_t* o = file->sot->elems[i];
      if (!o || o->cls != CLS_REPLAY_POINT) continue;
      const auto* p = static_cast<const replay_point*>(o);
      const char* text = owner_get(&p->text);
      if (p->length < 0 || (p->length > 0 && (!text || text[p->length] != '\0'))) __builtin_trap();
    }
    // The content list is freed with every object in it.
    return true;
  });
  return 0;
}
