// The installed file-object routines, and the defaults that stand in before the map
// model installs its own: every file object reads as absent.
#include "core/file_ops.h"

#include <atomic>

namespace {

int64_t none_get(obj_t*, file_field field) {
  return field == FF_TYPE || field == FF_FORMAT ? 125 : 0;
}
void none_set(obj_t*, file_field, int64_t) {}
const char* none_name(obj_t*) { return ""; }
double none_date(obj_t*) { return 0; }
obj_t* none_obj(obj_t*) { return nullptr; }
void none_link(obj_t*, obj_t*) {}
obj_t* none_new() { return nullptr; }
obj_t* none_open(obj_t*, const char*) { return nullptr; }
obj_t* none_find(const char*) { return nullptr; }
int none_load(obj_t*, obj_t*, int) { return 1; }
void none_free(obj_t*) {}

const file_ops kNoFiles = {none_get,  none_set,  none_name, none_date, none_obj,
                           none_link, none_obj,  none_link, none_new,  none_open,
                           none_find, none_load, none_free, none_obj,  none_link};

// Written once by the registering subsystem, read by every reader.
std::atomic<const file_ops*> g_ops{&kNoFiles};

}  // namespace

void file_ops_install(const file_ops* ops) {
  g_ops.store(ops ? ops : &kNoFiles, std::memory_order_release);
}

const file_ops& get_file_ops() { return *g_ops.load(std::memory_order_acquire); }
