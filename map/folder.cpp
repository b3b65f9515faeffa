// Folders: made for a file or under another folder, their accessors, the walk over the
// folders of a file, and the class routine of `folder`.
//
// The first folder of a file is reached through the file's `folder` word and shares the
// file's object list; further folders are sons of folders. Walks over a folder tree are
// iterative (a tree read from a file may be deep).
#include <vector>

#include "core/memory.h"
#include "core/obj_list.h"
#include "core/wstring.h"
#include "map/file_internal.h"
#include "map/file_object.h"

constexpr int kBitmapClass = 1;
constexpr int kGeorefClass = 46;

namespace file_detail {

void folder_collect_tree(folder_t* root, std::vector<folder_t*>* out) {
  if (!root) return;
  std::vector<folder_t*> stack{root};
  while (!stack.empty()) {
    folder_t* d = stack.back();
    stack.pop_back();
    out->push_back(d);
    const int n = obj_list_count(d->sons);
    for (int i = n - 1; i >= 0; --i)  // sons in list order
      if (folder_t* son = folder_of(d->sons->elems[i])) stack.push_back(son);
  }
}

}  // namespace file_detail

using namespace file_detail;

folder_t* folder_get_or_create(obj_t* parent, obj_t* content, int layer, folder_t** out) {
  if (out) *out = nullptr;
  fileatt_t* file = file_of(parent);
  folder_t* parent_folder = folder_of(parent);
  if (!file && parent_folder) file = file_of(parent_folder->file);
  folder_t* d = file && parent == file ? folder_of(file->folder) : nullptr;
  if (!d) {
    obj_new_registered(kFolderClass, &d);
    if (!d) return nullptr;
    d->displayed = 1;
    d->userdisplay = 1;
    d->layer = layer;
    if (parent_folder) obj_set_father(parent_folder, d);
  }
  if (parent && parent == file) {
    file->folder = d;
    wstr_cat_mbs(file->name ? file->name : "", &d->name);
  }
  d->file = file;
  if (content && content->cls == CLS_CONTAINER)
    d->sot = static_cast<container_t*>(content);
  else if (content && content->cls == kBitmapClass)
    d->image = content;
  if (out) *out = d;
  return d;
}

container_t* folder_get_objects(const folder_t* d, container_t** out) {
  container_t* l = d ? d->sot : nullptr;
  if (out) *out = l;
  return l;
}

obj_t* folder_get_link(const folder_t* d) { return d ? d->image : nullptr; }

void folder_set_name(folder_t* d, const char* text) {
  if (d) mbs_to_wcs(text ? text : "", &d->name);
}

int folder_visible(const folder_t* d) {
  for (int guard = 0; d && guard < 100000; ++guard) {
    if (!d->displayed) return 0;
    d = folder_of(d->father);
  }
  return 1;
}

// The first folder among the sons of `d` after position `after` (-1: from the start).
static folder_t* folder_son_after(const folder_t* d, int after) {
  const int n = obj_list_count(d->sons);
  for (int i = after + 1; i < n; ++i)
    if (folder_t* son = folder_of(d->sons->elems[i])) return son;
  return nullptr;
}

static int son_position(const folder_t* father, const folder_t* son) {
  const int n = obj_list_count(father->sons);
  for (int i = 0; i < n; ++i)
    if (father->sons->elems[i] == son) return i;
  return -1;
}

// The walk's order is folder_collect_tree's (parents before sons, sons in list order),
// found from the current folder's links alone instead of gathering the whole tree again
// at every step.
folder_t* file_next_folder(const fileatt_t* f, folder_t** it) {
  if (!it) return nullptr;
  folder_t* first = f ? folder_of(f->folder) : nullptr;
  if (!*it) return *it = first;
  folder_t* d = *it;
  if (!first) return *it = nullptr;
  if (folder_t* son = folder_son_after(d, -1)) return *it = son;
  for (; d != first; d = folder_of(d->father)) {
    folder_t* father = folder_of(d->father);
    const int at = father ? son_position(father, d) : -1;
    if (at < 0) break;  // not under the file's first folder
    if (folder_t* next = folder_son_after(father, at)) return *it = next;
  }
  return *it = nullptr;
}

container_t* file_list_folder_items(const fileatt_t* f, container_t** out) {
  container_t* list = nullptr;
  obj_list_new(&list);
  std::vector<folder_t*> all;
  folder_collect_tree(f ? folder_of(f->folder) : nullptr, &all);
  for (folder_t* d : all) {
    obj_t* georef = nullptr;
    if (list && obj_list_first_of_class(d->sot, kGeorefClass, &georef)) obj_list_append(list, georef);
  }
  if (out) *out = list;
  return list;
}

// The first folder shares the file's list, which the file frees; any other folder owns
// its list (the objects stay: they belong to the file's content). Sons are not freed
// here: whoever frees a tree frees each folder.
void folder_destroy(obj_t* obj) {
  folder_t* d = folder_of(obj);
  if (!d) return;
  const fileatt_t* file = file_of(d->file);
  if (file && file->folder == d) const_cast<fileatt_t*>(file)->folder = nullptr;
  container_t* sot = d->sot;
  d->sot = nullptr;
  if (sot && !(file && file->sot == sot)) free_obj(&sot);
  container_t* sons = d->sons;
  d->sons = nullptr;
  if (sons) {
    for (int i = 0; i < sons->count; ++i) obj_set_father_link(sons->elems[i], nullptr);
    sons->count = 0;
    free_obj(&sons);
  }
  if (folder_of(d->father)) obj_detach(d);
  free_mem(&d->name);
}
