// The map model's file classes in the test programs that keep them across tests: they
// are registered once per object store (registering again would drop the file table and
// list of the first time), and the table and list are freed when a test resets the store.
#pragma once
#include "map/file_object.h"
#include "tests/support/object_env.h"

namespace tm_test {

namespace file_types_detail {
inline bool& registered() {
  static bool done = false;
  return done;
}

inline void free_file_tables() {
  fileobj_tables_free();
  registered() = false;
}
inline const bool kFileTablesCleanupAdded = (add_store_cleanup(free_file_tables), true);
}  // namespace file_types_detail

// Registers the file classes with their table and list, unless done in this store.
inline void register_file_types_once() {
  if (file_types_detail::registered()) return;
  fileobj_types_register();
  file_types_detail::registered() = true;
}

}  // namespace tm_test
