// The saved tables reader on arbitrary bytes: the file is read into a table of the line
// store's swap index records, as at start-up.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/index.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/object.h"
#include "fuzz/support/fuzz_env.h"
#include "map/file_object.h"
#include "map/saved_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  if (!ready) line_store_reset();
  tm_fuzz::init(false);
  if (!ready) {
    savfile_reset();
    fileobj_types_register();
    ready = true;
  }
  const std::string path = tm_fuzz::write_scratch(data, size, ".sot");
  container_t* table = nullptr;
  index_create(kMemFileClass, AT_STRING, int(offsetof(memobjfile_t, perename)), &table);
  savfile_read(path.c_str(), table, nullptr);
  set_gblerr(0);
  obj_list_free_elements(table);
  free_obj(&table);
  return 0;
}
