// Stand-in file objects (see file_stub.h). The record is a bare run-time class; the
// fields the core reads live beside it in a table keyed by the record's address.
#include "tests/support/file_stub.h"

#include <sys/stat.h>

#include <map>
#include <mutex>
#include <string>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/line_store.h"
#include "core/object.h"

namespace tm_test {
namespace {

struct stub_data {
  std::string name;
  int64_t fields[FF_FIELD_COUNT] = {};
  double date = 0;
  obj_t* store = nullptr;
  obj_t* container = nullptr;
};

std::mutex g_mutex;
std::map<obj_t*, stub_data> g_files;
int g_class = 0;

const attr_desc kAttrs[] = {{"id", AT_ID}, {"type", AT_INT}};
const objdesc kDesc = {"stubfile", 2, kAttrs};

stub_data* find(obj_t* f) {
  auto it = g_files.find(f);
  return it == g_files.end() ? nullptr : &it->second;
}

int64_t get(obj_t* f, file_field field) {
  std::lock_guard<std::mutex> lock(g_mutex);
  stub_data* d = find(f);
  if (!d) return field == FF_TYPE || field == FF_FORMAT ? 125 : 0;
  return d->fields[field];
}
void set(obj_t* f, file_field field, int64_t v) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (stub_data* d = find(f)) d->fields[field] = v;
}
const char* name(obj_t* f) {
  std::lock_guard<std::mutex> lock(g_mutex);
  stub_data* d = find(f);
  return d ? d->name.c_str() : "";
}
double date(obj_t* f) {
  std::lock_guard<std::mutex> lock(g_mutex);
  stub_data* d = find(f);
  return d ? d->date : 0;
}
obj_t* store(obj_t* f) {
  std::lock_guard<std::mutex> lock(g_mutex);
  stub_data* d = find(f);
  return d ? d->store : nullptr;
}
bool store_shared(obj_t* store, obj_t* except) {
  for (auto& [file, d] : g_files)
    if (file != except && d.store == store) return true;
  return false;
}
void set_store(obj_t* f, obj_t* s) {
  obj_t* old = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    stub_data* d = find(f);
    if (!d || d->store == s) return;
    if (d->store && !store_shared(d->store, f)) old = d->store;
    d->store = s;
  }
  if (old) free_obj(&old);
}
obj_t* container(obj_t* f) {
  std::lock_guard<std::mutex> lock(g_mutex);
  stub_data* d = find(f);
  return d ? d->container : nullptr;
}
void set_container(obj_t* f, obj_t* archive) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (stub_data* d = find(f)) d->container = archive;
}

obj_t* make_record(const char* path, int64_t type) {
  obj_t* f = nullptr;
  alloc_obj(g_class, &f);
  if (!f) return nullptr;
  std::lock_guard<std::mutex> lock(g_mutex);
  stub_data& d = g_files[f];
  d.name = path ? path : "";
  d.fields[FF_TYPE] = type;
  return f;
}

obj_t* new_in_memory() {
  obj_t* f = make_record("", 7);
  filemobj_t* s = nullptr;
  if (!f || filemobj_create(f, f, 0, 32768, 0, &s) != 0) return f;
  set_store(f, reinterpret_cast<obj_t*>(s));
  return f;
}

obj_t* find_by_name(const char* path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (auto& [file, d] : g_files)
    if (path && d.name == path) return file;
  return nullptr;
}

obj_t* open(obj_t*, const char* path) {
  if (!path || !*path) return nullptr;
  return stub_file(path);
}

int identify_and_load(obj_t*, obj_t*, int) { return 0; }

void free_file(obj_t* f) {
  if (!f) return;
  set_store(f, nullptr);
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_files.erase(f)) return;
  }
  free_obj(&f);
}

const file_ops kStubOps = {get,      set,          name,          date,
                           store,    set_store,    container,     set_container,
                           new_in_memory, open,    find_by_name,  identify_and_load,
                           free_file};

}  // namespace

void install_file_stub() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_files.clear();  // records of an earlier object store are already gone
  }
  line_store_register();
  obj_register_user_class(&kDesc, &g_class);
  file_ops_install(&kStubOps);
}

obj_t* stub_file(const char* path) {
  obj_t* f = make_record(path, 7);
  struct stat st;
  if (f && path && ::stat(path, &st) == 0) set(f, FF_SIZE, int64_t(st.st_size));
  return f;
}

obj_t* stub_memory_file(const void* bytes, int64_t n, int32_t line_size) {
  obj_t* f = make_record("", 7);
  filemobj_t* s = nullptr;
  if (!f || filemobj_create(f, f, 0, line_size, 0, &s) != 0) return f;
  filemobj_append(s, bytes, n);
  set_store(f, reinterpret_cast<obj_t*>(s));
  set(f, FF_SIZE, n);
  return f;
}

void free_stub_file(obj_t* file) {
  // Freeing is refused while an error is pending: the caller may hold one set.
  const int pending = get_gblerr();
  set_gblerr(0);
  free_file(file);
  set_gblerr(pending);
}

void free_stub_files() {
  // Freeing is refused while an error is pending: a test may end with one set.
  const int pending = get_gblerr();
  set_gblerr(0);
  for (;;) {
    obj_t* f = nullptr;
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      if (g_files.empty()) break;
      f = g_files.begin()->first;
    }
    free_file(f);
  }
  set_gblerr(pending);
}

}  // namespace tm_test
