// Identification on arbitrary bytes: the bytes become the in-memory content of a file
// object, identified once as a first call with no list (heads of archives only) and once
// nested with a destination list (archives listed and unpacked, pages' links and file
// lists expanded); every file object made on the way is freed after each input.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/html.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/reader.h"
#include "core/xml.h"
#include "formats/file_load.h"
#include "fuzz/support/fuzz_env.h"
#include "fuzz/support/reader_fuzz.h"
#include "map/file_object.h"

namespace {

fileatt_t* memory_file(const uint8_t* data, size_t size) {
  fileatt_t* f = nullptr;
  if (!file_new_in_memory(&f)) return nullptr;
  str_set("fuzzinput", &f->name);
  if (size > 0 && filemobj_append(f->store, data, int64_t(size)) != 0) {
    free_obj(&f);
    return nullptr;
  }
  file_set_size(f, int64_t(size));
  return f;
}

void free_all_files() {
  rd_close_all();
  tm_fuzz::free_file_objects();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  tm_fuzz::init(false);
  if (!ready) {
    fileobj_types_register();
    xml_init();
    html_init();
    file_load_module_init();
    set_gblerr(0);
    ready = true;
  }
  tm_fuzz::keep_budget();
  if (fileatt_t* first = memory_file(data, size)) file_identify_and_load_default(first);
  set_gblerr(0);
  container_t* list = nullptr;
  obj_list_new(&list);
  if (fileatt_t* nested = memory_file(data, size))
    file_identify_and_load(nested, reinterpret_cast<obj_t*>(list), 1);
  set_gblerr(0);
  obj_list_clear(list);
  free_obj(&list);
  free_all_files();
  set_gblerr(0);
  return 0;
}
