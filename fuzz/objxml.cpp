// The native object XML reader on arbitrary bytes, through repr_load_named_list as the
// representation, OpenStreetMap and Polish map tables load their lists at start-up: the
// file is read, the list named "x" is kept, the file's other lists go with what only they
// hold, and the kept list is freed with its elements as its owners free it. The classes
// of the representation rules and the map model are registered, so that inputs can name
// representations, features, lists and file objects.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/xml.h"
#include "fuzz/support/reader_fuzz.h"
#include "map/repr.h"
#include "map/repr_lists.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  xml_init();
  repr_register_classes();
  set_gblerr(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::keep_budget();
  const std::string path = tm_fuzz::write_scratch(data, size, ".xml");
  container_t* list = nullptr;
  repr_load_named_list(path.c_str(), "x", &list);
  set_gblerr(0);
  repr_free_list_deep(&list);
  rd_close_all();
  tm_fuzz::free_file_objects();
  set_gblerr(0);
  return 0;
}

// The records are packed: the leak checker must follow pointers at any address (objects
// of a read that no list holds stay in their class lists, their strings at odd offsets).
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }
