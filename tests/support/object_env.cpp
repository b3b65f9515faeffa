// A fresh object store for tests (see object_env.h).
#include "tests/support/object_env.h"

#include "core/config.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/object.h"

namespace tm_test {

void reset_object_store() {
  set_gblerr(0);
  // The configuration cache is an index held in the store: forget it first.
  config_reset();
  obj_store_init();
  obj_register_core_classes();
  dict_register_type();
}

}  // namespace tm_test
