// File objects seen from outside: their accessors, sizes, in-memory content, the
// release of what was loaded from them, reopening their path, the web root of a
// followed link, and the name routine exported to the image plug-in.
#include <climits>
#include <vector>

#include "core/error.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/memory.h"
#include "core/reader.h"
#include "map/file_internal.h"
#include "map/file_object.h"

using namespace file_detail;

fileobj_hooks& get_fileobj_hooks() {
  static fileobj_hooks hooks;
  return hooks;
}

const char* file_get_name(const fileatt_t* f) { return f && f->name ? f->name : ""; }
int file_get_type(const fileatt_t* f) { return f ? f->filetype : kFileKindNone; }
uint32_t file_get_format(const fileatt_t* f) { return f ? f->fileformat : kFileKindNone; }

container_t* file_get_objects(const fileatt_t* f, container_t** out) {
  container_t* l = f ? f->sot : nullptr;
  if (out) *out = l;
  return l;
}

int file_has_objects(const fileatt_t* f) { return f && obj_list_count(f->sot) > 0; }

folder_t* file_get_first_folder(const fileatt_t* f, folder_t** out) {
  folder_t* d = f ? folder_of(f->folder) : nullptr;
  if (out) *out = d;
  return d;
}

int64_t file_get_size(const fileatt_t* f) {
  if (!f) return 0;
  if (f->use_size2 && !f->store) return f->size2;
  return f->size64;
}

// The record's 32-bit words show the size and offset saturated; the private 64-bit
// words hold them whole, so files beyond 4 GiB keep their true size.
void file_set_size(fileatt_t* f, int64_t size) {
  if (!f) return;
  f->size64 = size < 0 ? 0 : size;
  f->filesize = f->size64 > int64_t(UINT32_MAX) ? UINT32_MAX : uint32_t(f->size64);
}

const char* file_get_web_root(const fileatt_t* f) { return f ? f->web_root : nullptr; }

void file_set_web_root(fileatt_t* f, const char* url) {
  if (!f) return;
  if (url)
    str_set(url, &f->web_root);
  else
    free_mem(&f->web_root);
}

// ---- In-memory content -----------------------------------------------------------------

namespace {

// A store is freed when the last file object holding it lets it go.
void hold_store(filemobj_t* store) {
  if (store) ++store->file_users;
}

void release_store(filemobj_t* store) {
  if (store && --store->file_users <= 0) free_obj(&store);
}

}  // namespace

void file_set_store(fileatt_t* f, filemobj_t* store) {
  if (!f || f->store == store) return;
  filemobj_t* old = f->store;
  rd_close_file(f);  // its reader entry reads the old store
  hold_store(store);
  f->store = store;
  release_store(old);
}

void file_set_packed(fileatt_t* f, filemobj_t* store) {
  if (!f || f->packed == store) return;
  filemobj_t* old = f->packed;
  rd_close_file(f);  // its reader entry may read the old bytes
  hold_store(store);
  f->packed = store;
  release_store(old);
}

int file_new_line_store(fileatt_t* f) {
  if (!f) return -1;
  filemobj_t* s = nullptr;
  if (filemobj_create(f, f, 0, 32768, 0, &s) != 0 || !s) return -1;
  file_set_store(f, s);
  f->filetype = kFileKindLocal;
  file_set_size(f, 0);
  return 0;
}

fileatt_t* file_new_in_memory(fileatt_t** out) {
  if (out) *out = nullptr;
  fileatt_t* f = nullptr;
  obj_new_registered(kFileClass, &f);
  if (!f) return nullptr;
  str_set("", &f->name);
  if (file_new_line_store(f) != 0) {
    free_obj(&f);
    return nullptr;
  }
  if (out) *out = f;
  return f;
}

// ---- Content ----------------------------------------------------------------------------

void file_detach_content(fileatt_t* f) {
  if (!f || !f->sot) return;
  container_t* list = f->sot;
  f->sot = nullptr;
  if (folder_t* first = folder_of(f->folder))
    if (first->sot == list) first->sot = nullptr;
  obj_list_free_elements(list);
  free_obj(&list);
}

namespace file_detail {

// Classes of the drawing styles.
constexpr int kFirstStyleClass = 2;
constexpr int kLastStyleClass = 9;

static void default_unload(fileatt_t* f, int reload) {
  (void)reload;
  std::vector<folder_t*> folders;
  folder_collect_tree(folder_of(f->folder), &folders);
  // Sub-folders hold drawing styles of their own (the icons and labels of the file's
  // points) beside references to what other lists own (the shared georeference, lists
  // of other folders, linked files): the styles (classes 2 to 9) of every list are
  // freed, each exactly once, and the references are left to their owners.
  std::vector<container_t*> lists;
  if (f->sot) lists.push_back(f->sot);
  for (folder_t* d : folders)
    if (d->sot && d->sot != f->sot) lists.push_back(d->sot);
  for (int cls = kFirstStyleClass; cls <= kLastStyleClass; ++cls)
    obj_lists_free_type(lists.data(), int(lists.size()), cls);
  f->folder = nullptr;
  for (folder_t* d : folders) free_obj(&d);  // each frees its own sons list
  file_detach_content(f);
}

void file_release_content(fileatt_t* f, int reload) {
  if (!f) return;
  if (auto fn = get_fileobj_hooks().unload)
    fn(f, reload);
  else
    default_unload(f, reload);
}

}  // namespace file_detail

// ---- Files on disk ----------------------------------------------------------------------

FILE* file_reopen(fileatt_t* f, const char* mode, FILE** out) {
  if (out) *out = nullptr;
  if (!f || !f->name || !*f->name || !mode) return nullptr;
  rd_close_file(f);
  const bool writing = mode[0] == 'w' || mode[0] == 'a';
  FILE* file = writing ? open_file_msg(f->name, mode, nullptr) : open_file_resolved(f->name, mode);
  if (out) *out = file;
  return file;
}

extern "C" char* get_filemobj_name(obj_t* obj) {
  fileatt_t* f = file_of(obj);
  if (!f) return nullptr;
  if (f->store) return filemobj_flush_named(f->store);
  char* copy = nullptr;
  str_set(f->name ? f->name : "", &copy);
  return copy;
}
