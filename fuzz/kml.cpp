// The KML reader on arbitrary bytes: a disk file of the map model read into a fresh file
// object's content list (folders, styles, image requests and links included), with every
// reader of the load dispatch installed as at the program's start-up, so that the icons,
// ground overlays and network links kml_resolve names are identified and loaded (from
// files beside the scratch file; downloads are switched off, so no input reaches the
// network), then written again by the KML writer, and everything freed with the file
// objects the read made.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/xml.h"
#include "formats/kml.h"
#include "fuzz/support/program_env.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init_program();
  tm_fuzz::written_path(".out.kml");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_and_write_back(data, size, ".kml", read_kml, write_kml, ".out.kml");
  tm_fuzz::free_file_objects();
  set_gblerr(0);
  return 0;
}

// The geodesy records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }
