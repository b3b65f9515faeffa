// The swap index: its records (class 28), its two indexes, the saved table it is read
// from, and the lookup of the record of one source file (see swap_index.h). Naming and
// rotation of the cache are in swap_index_names.cpp.
//
// The indexes and records are line-store state and are reached under its lock. The
// saved table is read through a hook, outside that lock; a separate lock keeps two
// threads from building the indexes at once.
#include <cstring>
#include <mutex>
#include <string>

#include "core/config.h"
#include "core/file_ops.h"
#include "core/index.h"
#include "core/line_store.h"
#include "core/line_store_state.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/swap_index.h"

const objdesc memobjfile_desc = {"memobjfile", kMemobjfileAttrCount, kMemobjfileAttrs};

namespace ls_detail {
namespace {

std::mutex g_init_mutex;

constexpr int kPathOffset = int(offsetof(memobjfile_t, perename));
constexpr int kNameOffset = int(offsetof(memobjfile_t, name));

bool same_source(const memobjfile_t* r, const source_key& key) {
  return r->perename && key.path == r->perename && r->pdate == key.date &&
         r->psize == key.size && r->pstart == key.start;
}

memobjfile_t* find_record(const source_key& key) {
  container_t* index = st().by_path;
  int pos = -1;
  // index_find_exact answers -1 for an empty index, 1 only for a key it holds.
  if (!index || index_find_exact(index, key.path.c_str(), &pos) != 1) return nullptr;
  for (; pos < index->count; ++pos) {
    auto* r = reinterpret_cast<memobjfile_t*>(index->elems[pos]);
    if (!r->perename || key.path != r->perename) break;
    if (same_source(r, key)) return r;
  }
  return nullptr;
}

void set_full_path(memobjfile_t* r, const char* folder) {
  str_set(folder, &r->full_path);
  str_cat(r->name ? r->name : "", &r->full_path);
}

}  // namespace

bool record_in_use(const memobjfile_t* r) {
  obj_t* cursor = nullptr;
  while (obj_class_next(kLineStoreClass, &cursor))
    if (reinterpret_cast<filemobj_t*>(cursor)->swap_record == r) return true;
  return false;
}

source_key source_key_of(obj_t* file) {
  source_key key;
  key.path = file_name_of(file);
  key.start = double(file_get(file, FF_START));
  key.size = double(file_get(file, FF_SIZE));
  key.date = get_file_ops().date(file);
  // A member of an archive without a date of its own is dated by its archive.
  if (key.date == 0) {
    if (obj_t* archive = get_file_ops().container(file)) key.date = get_file_ops().date(archive);
  }
  return key;
}

std::string swap_index_path() {
  const char* folder = get_reduce_image_dir();
  return folder ? std::string(folder) + kSwapIndexFile : std::string();
}

memobjfile_t* create_record(const char* name, const source_key& key) {
  state& g = st();
  if (!g.by_path || !g.by_name || !name) return nullptr;
  memobjfile_t* r = nullptr;
  obj_new_registered(kSwapRecordClass, &r);
  if (!r) return nullptr;
  str_set(key.path.c_str(), &r->perename);
  str_set(name, &r->name);
  r->pstart = key.start;
  r->psize = key.size;
  r->pdate = key.date;
  index_insert(g.by_path, r);
  index_insert(g.by_name, r);
  return r;
}

void reset_swap_index() {
  state& g = st();
  container_t* by_path = g.by_path;
  container_t* by_name = g.by_name;
  g.by_path = g.by_name = nullptr;
  const int n = obj_list_count(by_path);
  for (int i = 0; i < n; ++i) {
    obj_t* r = by_path->elems[i];
    free_obj(&r);
  }
  obj_t* list = reinterpret_cast<obj_t*>(by_name);
  free_obj(&list);
  list = reinterpret_cast<obj_t*>(by_path);
  free_obj(&list);
}

}  // namespace ls_detail

using namespace ls_detail;

void memobjfile_free(obj_t* obj) {
  auto* r = reinterpret_cast<memobjfile_t*>(obj);
  free_mem(&r->perename);
  free_mem(&r->name);
  free_mem(&r->full_path);
}

// Another part may have registered the class with its descriptor; the record must in
// any case be large enough for the full path.
void swap_index_register() {
  const objdesc* desc = obj_class_descriptor(kSwapRecordClass, nullptr);
  if (!desc || obj_class_size(kSwapRecordClass) < int(sizeof(memobjfile_t)))
    obj_register_class(kSwapRecordClass, int(sizeof(memobjfile_t)), desc ? desc : &memobjfile_desc);
  obj_set_free_callback(kSwapRecordClass, memobjfile_free);
}

void swap_index_init() {
  std::lock_guard<std::mutex> init(g_init_mutex);
  container_t* by_path = nullptr;
  {
    guard g;
    if (!get_reduce_image_dir() || st().by_path) return;
    index_create(kSwapRecordClass, AT_STRING, kPathOffset, &by_path);
  }
  if (!by_path) return;
  const std::string path = swap_index_path();
  const line_store_hooks& hooks = get_line_store_hooks();
  if (hooks.savfile_read) hooks.savfile_read(path.c_str(), reinterpret_cast<obj_t*>(by_path));
  guard g;
  container_t* by_name = nullptr;
  index_create_over(by_path, kSwapRecordClass, AT_STRING, kNameOffset, &by_name);
  st().by_path = by_path;
  st().by_name = by_name;
}

memobjfile_t* swap_record_for(memobjfile_t** out, obj_t* file) {
  if (out) *out = nullptr;
  if (!get_reduce_image_dir()) return nullptr;
  swap_index_init();
  const source_key key = source_key_of(file);
  if (key.path.empty()) return nullptr;  // no source to tell one image from another
  guard g;
  const char* folder = get_reduce_image_dir();
  if (!folder || !st().by_path) return nullptr;
  memobjfile_t* r = find_record(key);
  if (!r) r = next_name_record(key);
  if (!r) return nullptr;
  set_full_path(r, folder);
  // A file being written by a live store of the same source is not a leftover.
  if (!r->ondisk && !record_in_use(r) && file_exists(r->full_path)) path_remove(r->full_path);
  if (out) *out = r;
  return r;
}

memobjfile_t* swap_record_new(const char* name, obj_t* file) {
  swap_index_init();
  const source_key key = source_key_of(file);
  guard g;
  return create_record(name, key);
}

container_t* swap_index_by_path() {
  guard g;
  return st().by_path;
}

container_t* swap_index_by_name() {
  guard g;
  return st().by_name;
}
