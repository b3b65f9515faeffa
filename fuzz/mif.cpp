// The MIF reader on arbitrary bytes: a disk file of the map model read into a fresh file
// object's content list with the geodesy tables of the source tree (so that CoordSys
// clauses reach the datum, ellipsoid and projection lookups and the custom datums), then
// written again by the MIF writer, and everything freed with the file. The module's
// transformation steps go after each input with the file that used them.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "formats/mif.h"
#include "fuzz/support/reader_fuzz.h"
#include "geodesy/xform_records.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  tm_fuzz::load_geodesy(tm_fuzz::source_data_dir());
  mif_module_init();
  set_gblerr(0);
  tm_fuzz::written_path(".out.mif");
  return 0;
}

// The geodesy records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_scratch_file(data, size, ".mif", [](fileatt_t* file) {
    if (mif_read(file, file->sot) != 0) return false;
    set_gblerr(0);
    obj_t* georef = nullptr;
    obj_list_first_of_class(file->sot, CLS_GEOREF, &georef);
    tm_fuzz::write_first_folder(file, mif_write, ".out.mif", georef);
    return false;
  });
  set_gblerr(0);
  mif_free_tables();
  mif_module_init();
  return 0;
}
