// The live navigation reader's byte path on arbitrary bytes: the input is cut into reads
// (its first byte picks the read size), which go through the protocol detection of a raw
// serial reader until it finds NMEA text, then through the live read step; every fix with
// a position or an event is shown by the navigation display (track points, markers,
// status text) on a port with its georeference, with the next-day rule applied as the
// reader does.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/object.h"
#include "fuzz/support/fuzz_env.h"
#include "geodesy/geodesy_tables.h"
#include "gps/gpsport.h"
#include "gps/navig.h"
#include "gps/nmea_parser.h"
#include "gps/port_io.h"
#include "map/draw_styles.h"
#include "map/file_internal.h"
#include "map/gps_classes.h"

namespace {

std::string source_dir() {
  return std::filesystem::path(__FILE__).parent_path().parent_path().string();
}

struct source {
  const uint8_t* data;
  size_t size;
  size_t at;
  int chunk;
};

int source_read(void* device, int max, uint8_t* buf) {
  source* s = static_cast<source*>(device);
  if (s->at >= s->size) return -1;  // the end of the input is a read error
  size_t n = std::min(size_t(max), std::min(size_t(s->chunk), s->size - s->at));
  std::memcpy(buf, s->data + s->at, n);
  s->at += n;
  return int(n);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  fileobj_types_register();
  gpsobj_types_register();
  drawobj_types_register();
  file_detail::file_ops_table_install();
  geo_register_classes();
  const std::string data = source_dir() + "/data/";
  set_program_dir(data.c_str());
  geo_load_tables();
  geo_init_ref_datum();
  nmea_module_init();
  gpsport_register();
  set_gblerr(0);
  return 0;
}

extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::keep_budget();
  if (size < 1) return 0;
  source src{data + 1, size - 1, 0, 1 + data[0] * 8};
  gpsport_t* port = nullptr;
  gpsport_create(1, GPSPORT_SERIAL, 4800, GPS_FAMILY_NONE, "", &port);
  if (!port) {
    set_gblerr(0);
    return 0;
  }
  navig_georef_new(4, &port->georef);
  nmea_fix* fix = nullptr;
  nmea_fix_new(&fix);
  port_reader* raw = nullptr;
  alloc_mem_zero(&raw, sizeof *raw);
  void* reader = raw;
  if (raw && fix && port->georef) {
    raw->device = &src;
    raw->read = source_read;
    navig_display_start(port, nullptr);
    // Detection: reads until the text is NMEA or the input ends.
    while (src.at < src.size && port->family == GPS_FAMILY_NONE) {
      nmea_detect(&reader, &port->family);
      if (src.at >= src.size) break;
    }
    double kept = 0.0;
    if (port->family == GPS_MAGELLAN) {
      nmea_parser* parser = static_cast<nmea_parser*>(reader);
      while (nmea_live_step(parser, fix) >= 0) {
        if (fix->event) navig_event(nullptr, port, fix->event);
        if (fix->valid.time) {
          if (!navig_time_keeps(fix->time, kept)) fix->valid.time = 0;
          kept = fix->time;
        }
        if (fix->valid.position) navig_show_fix(nullptr, port, fix);
        set_gblerr(0);
      }
      nmea_reader_free(&parser);
    } else {
      free_mem(&raw);
    }
  } else {
    free_mem(&raw);
  }
  set_gblerr(0);
  nmea_fix_free(&fix);
  obj_t* o = port;
  free_obj(&o);
  navig_display_reset();
  set_gblerr(0);
  return 0;
}
