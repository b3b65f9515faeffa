// A fresh object store for tests (see object_env.h).
#include "tests/support/object_env.h"

#include <mutex>
#include <vector>

#include "core/config.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/object.h"

namespace tm_test {
namespace {

// Built on first use: fixture headers add their cleanups from static initialisers.
std::vector<void (*)()>& store_cleanups() {
  static std::vector<void (*)()> cleanups;
  return cleanups;
}

std::mutex& cleanups_mutex() {
  static std::mutex m;
  return m;
}

}  // namespace

void add_store_cleanup(void (*cleanup)()) {
  std::lock_guard<std::mutex> lock(cleanups_mutex());
  store_cleanups().push_back(cleanup);
}

void reset_object_store() {
  set_gblerr(0);
  std::vector<void (*)()> cleanups;
  {
    std::lock_guard<std::mutex> lock(cleanups_mutex());
    cleanups = store_cleanups();
  }
  for (auto it = cleanups.rbegin(); it != cleanups.rend(); ++it) (*it)();
  set_gblerr(0);
  // The configuration cache is an index held in the store: forget it first.
  config_reset();
  obj_store_init();
  obj_register_core_classes();
  dict_register_type();
}

}  // namespace tm_test
