// File objects: the classes, the file table and the file list, opening a path as a file
// object, finding one by name and re-keying it, and the class routines of `fileatt`.
//
// The file table is a sorted index on the key name. Key names keep the path's case
// (two files that differ only by case are two objects on Linux); only '\' is read as
// '/', and for a web address the scheme and host are lower-cased, since those compare
// without case by the URL rules. A file object is in at most one sons list (its
// father's, sorted by key name too), so re-keying takes it out of both before the key
// changes and puts it back after.
#include <mutex>
#include <string>

#include "core/error.h"
#include "core/file_info.h"
#include "core/index.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/memory.h"
#include "core/reader.h"
#include "core/strutil.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/saved_tables.h"

namespace file_detail {

std::recursive_mutex& table_mutex() {
  static std::recursive_mutex m;
  return m;
}

namespace {
container_t* g_table = nullptr;
container_t* g_file_list = nullptr;
}  // namespace

container_t* file_table() { return g_table; }

// Takes the file out of the table and out of its father's sons list (under the lock).
void unkey(fileatt_t* f) {
  if (f->in_table && g_table) index_remove(g_table, f);
  f->in_table = 0;
  container_t* sons = nullptr;
  if (fileatt_t* father = file_of(f->father)) sons = father->sons;
  if (sons) index_remove(sons, f);
}

void rekey(fileatt_t* f, int enter) {
  if (enter && g_table) {
    index_insert(g_table, f);
    f->in_table = 1;
  }
  if (fileatt_t* father = file_of(f->father))
    if (father->sons) index_insert(father->sons, f);
}

bool has_scheme(const char* s) {
  if (!s) return false;
  const char* p = s;
  while ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z')) ++p;
  return p - s >= 2 && p[0] == ':' && (p[1] == '/' || p[1] == '\\') && (p[2] == '/' || p[2] == '\\');
}

container_t* file_list() { return g_file_list; }

}  // namespace file_detail

using namespace file_detail;

fileatt_t* file_of(obj_t* obj) {
  return obj && obj->cls == kFileClass ? static_cast<fileatt_t*>(obj) : nullptr;
}

folder_t* folder_of(obj_t* obj) {
  return obj && obj->cls == kFolderClass ? static_cast<folder_t*>(obj) : nullptr;
}

char* file_key_name(const char* name, int url_mode, char** owner) {
  str_set(name ? name : "", owner);
  char* key = owner_get(owner);  // the owner may be a packed record field
  for (char* p = key; *p; ++p)
    if (*p == '\\') *p = '/';
  if (!url_mode || !has_scheme(key)) return key;
  // The scheme, "://" and the host up to the next '/' compare without case.
  char* p = key;
  for (; *p && *p != ':'; ++p) *p = ascii_lower(*p);
  p += 3;
  for (; *p && *p != '/'; ++p) *p = ascii_lower(*p);
  return key;
}

fileatt_t* file_find_by_name(const char* name, fileatt_t** out) {
  if (out) *out = nullptr;
  if (!name || !*name) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(table_mutex());
  if (!g_table) return nullptr;
  fileatt_t* found = nullptr;
  for (int url_mode = 0; url_mode < 2 && !found; ++url_mode) {
    char* key = nullptr;
    file_key_name(name, url_mode, &key);
    int pos = -1;
    if (index_find_exact(g_table, key, &pos) == 1) found = file_of(g_table->elems[pos]);
    free_mem(&key);
  }
  if (out) *out = found;
  return found;
}

void file_rename(fileatt_t* f) {
  if (!f) return;
  std::lock_guard<std::recursive_mutex> lock(table_mutex());
  unkey(f);
  const int url_mode = f->filetype == kFileKindHttp || f->filetype == kFileKindEcwp ||
                       has_scheme(f->name);
  file_key_name(f->name, url_mode, &f->keyname);
  rekey(f, 1);
}

void file_add_child(obj_t* father, fileatt_t* child) {
  if (!father || !child || father == child) return;
  std::lock_guard<std::recursive_mutex> lock(table_mutex());
  if (child->father) {
    const int was_in_table = child->in_table;
    unkey(child);
    obj_set_father_link(child, nullptr);
    rekey(child, was_in_table);
  }
  if (file_of(father))
    obj_create_sons_list(father, kFileClass, AT_STRING, int(offsetof(fileatt_t, keyname)));
  obj_set_father(father, child);
}

// The kind of a path: a web address by its scheme, anything else by the file system.
static void take_file_info(fileatt_t* f, const char* path) {
  char* copy = nullptr;
  str_set(path, &copy);
  const int web = url_scheme(copy);
  free_mem(&copy);
  int kind = 0;
  int64_t size = 0;
  double date = 0;
  if (web) {
    kind = web;
  } else {
    file_info(path, &kind, &size, &date);
  }
  f->filetype = kind;
  file_set_size(f, size);
  f->lastupdatedate = date;
}

fileatt_t* file_open_object(obj_t* parent, const char* directory, const char* name, int lookup,
                            int link, fileatt_t** out) {
  if (out) *out = nullptr;
  std::string path = std::string(directory ? directory : "") + (name ? name : "");
  if (path.empty()) return nullptr;
  // Looking a path up and entering the new object in the table is one step, so that
  // two threads opening the same new path make one file object.
  std::unique_lock<std::recursive_mutex> lock(table_mutex(), std::defer_lock);
  if (lookup && link) lock.lock();
  fileatt_t* f = nullptr;
  if (lookup) {
    file_find_by_name(path.c_str(), &f);
    if (f && f->filetype != 0) {
      if (out) *out = f;
      return f;
    }
  }
  if (!f) obj_new_registered(kFileClass, &f);
  if (get_gblerr() != 0 || !f) return nullptr;
  str_set(path.c_str(), &f->name);
  take_file_info(f, path.c_str());
  if (link) {
    file_rename(f);
    if (parent) file_add_child(parent, f);
  }
  if (out) *out = f;
  return f;
}

fileatt_t* file_open(obj_t* parent, const char* directory, const char* name, fileatt_t** out) {
  return file_open_object(parent, directory, name, 1, 1, out);
}

container_t* get_file_list() {
  std::lock_guard<std::recursive_mutex> lock(table_mutex());
  return g_file_list;
}

// ---- Class routines --------------------------------------------------------------------

namespace {

// Sons lose their father (they live on as files of their own); the list is freed.
void release_sons(fileatt_t* f) {
  container_t* sons = f->sons;
  if (!sons) return;
  for (int i = 0; i < sons->count; ++i) obj_set_father_link(sons->elems[i], nullptr);
  sons->count = 0;
  f->sons = nullptr;
  free_obj(&sons);
}

}  // namespace

void fileatt_destroy(obj_t* obj) {
  fileatt_t* f = file_of(obj);
  if (!f) return;
  {
    std::lock_guard<std::recursive_mutex> lock(table_mutex());
    unkey(f);
    if (g_file_list) obj_list_remove_id(g_file_list, f->id);
    obj_set_father_link(f, nullptr);
    release_sons(f);
  }
  rd_close_file(f);
  // The memory copy goes first (freed unless another file object shares it): releasing
  // the content of a file that is going would otherwise write the copy to swap, only to
  // delete it the moment after.
  file_set_store(f, nullptr);
  file_release_content(f, 1);
  file_set_packed(f, nullptr);
  free_mem(&f->name);
  free_mem(&f->keyname);
  free_mem(&f->web_root);
}

// The byte copy shares every pointer of the source: the copy keeps its own strings and
// nothing else (no tree, no content, no private words).
void fileatt_copy(const obj_t* src, obj_t* dst) {
  const fileatt_t* s = static_cast<const fileatt_t*>(src);
  fileatt_t* d = static_cast<fileatt_t*>(dst);
  d->father = nullptr;
  d->sons = nullptr;
  d->sot = nullptr;
  d->folder = nullptr;
  d->name = d->keyname = d->web_root = nullptr;
  str_set(s->name, &d->name);
  if (s->keyname) str_set(s->keyname, &d->keyname);
  d->store = nullptr;
  d->packed = nullptr;
  d->size2 = 0;
  d->use_size2 = 0;
  d->container = nullptr;
  d->data_offset = d->content_state = d->packed_size = d->pack_kind = d->source_size = 0;
  d->from_url = 0;
  d->in_table = 0;
}

void fileobj_types_register() {
  static const objdesc file_desc = {"fileatt", kFileattAttrCount, kFileattAttrs};
  static const objdesc folder_desc = {"folder", kFolderAttrCount, kFolderAttrs};
  obj_register_class(kFileClass, int(sizeof(fileatt_t)), &file_desc);
  obj_set_free_callback(kFileClass, fileatt_destroy);
  obj_set_copy_callback(kFileClass, fileatt_copy);
  line_store_register();  // classes 25 and 28: the in-memory content of a file
  obj_register_class(kFolderClass, int(sizeof(folder_t)), &folder_desc);
  obj_set_free_callback(kFolderClass, folder_destroy);
  {
    std::lock_guard<std::recursive_mutex> lock(table_mutex());
    // Tables of an earlier object store are gone with it (tests reset the store).
    g_table = nullptr;
    g_file_list = nullptr;
    index_create(kFileClass, AT_STRING, int(offsetof(fileatt_t, keyname)), &g_table);
    obj_list_new(&g_file_list);
  }
  file_ops_table_install();
  savfile_install_hooks();
}

void fileobj_tables_free() {
  std::lock_guard<std::recursive_mutex> lock(table_mutex());
  free_obj(&g_table);
  free_obj(&g_file_list);
}
