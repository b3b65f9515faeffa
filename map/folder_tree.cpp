// Operations over whole folder trees: the detached copy made for export, and the
// display switches of the layers window, which post the layer toggles to the map
// window.
#include <cstdio>
#include <unordered_map>
#include <vector>

#include "core/command_hooks.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/pairlist.h"
#include "core/wstring.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/graphspace.h"

using namespace file_detail;

namespace {

constexpr int kGeorefClass = 46;
constexpr int kLayerToggleCommand = 21;

// A copy with its own name and list (the objects themselves are shared, not owned).
folder_t* copy_folder(const folder_t* d) {
  folder_t* c = nullptr;
  obj_new_registered(kFolderClass, &c);
  if (!c) return nullptr;
  c->file = d->file;
  c->image = d->image;
  c->movobj = d->movobj;
  c->layer = d->layer;
  c->userdisplay = d->userdisplay;
  c->refreshintrv = d->refreshintrv;
  c->displayed = d->displayed;
  c->pagenumber = d->pagenumber;
  wstr_set(d->name, &c->name);
  if (d->sot) {
    container_t* list = nullptr;
    obj_list_new(&list);
    obj_list_append_all(d->sot, list);
    c->sot = list;
  }
  return c;
}

// Nothing worth exporting: only georeferences, file objects and active styles.
bool holds_only_support(const container_t* list) {
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i) {
    const obj_t* o = list->elems[i];
    if (!o || o->cls == kGeorefClass || o->cls == kFileClass) continue;
    if (!style_is_active(o)) return false;
  }
  return true;
}

}  // namespace

container_t* folder_rebuild(folder_t* root, container_t** out) {
  container_t* list = out ? *out : nullptr;
  if (!list) obj_list_new(&list);
  if (out) *out = list;
  std::vector<folder_t*> all;
  folder_collect_tree(root, &all);
  std::unordered_map<const folder_t*, folder_t*> copy_of;
  std::vector<folder_t*> copies;
  for (folder_t* d : all) {
    folder_t* c = copy_folder(d);
    if (!c) break;
    copy_of[d] = c;
    copies.push_back(c);
  }
  // Each copy goes under the copy of its nearest collected ancestor.
  for (folder_t* d : all) {
    auto self = copy_of.find(d);
    if (self == copy_of.end()) continue;
    for (folder_t* a = folder_of(d->father); a; a = folder_of(a->father)) {
      auto up = copy_of.find(a);
      if (up != copy_of.end()) {
        obj_set_father(up->second, self->second);
        break;
      }
    }
  }
  // Sons before fathers, so that a folder left empty by its dropped sons goes too.
  for (auto it = copies.rbegin(); it != copies.rend(); ++it) {
    folder_t* c = *it;
    if (c->father && !c->image && obj_list_count(c->sons) == 0 && holds_only_support(c->sot)) {
      *it = nullptr;
      free_obj(&c);
    }
  }
  for (folder_t* c : copies)
    if (c && !c->father) obj_list_append(list, c);
  return list;
}

// ---- Display switches --------------------------------------------------------------------

namespace {

void post_text(int a, int b, int c) {
  char text[48];
  std::snprintf(text, sizeof text, "%d %d %d", a, b, c);
  core_post_command(kLayerToggleCommand, 0, text);
}

void switch_folder(mapwin_t* win, folder_t* d, int flag) {
  graphspace_t* gs = win ? static_cast<graphspace_t*>(win->graphspace) : nullptr;
  const int win_id = win ? win->id : 0;
  if (obj_list_count(d->sot) > 0 && (d->displayed != 0) != (flag != 0)) {
    layer_t* layer = nullptr;
    if (gs) mapwin_find_layer(gs, d, &layer);
    if (layer) post_text(win_id, layer->id, flag);
  }
  if (d->image && gs) {
    const int wanted = flag ? 0 : 1;  // 1 hides the image
    int value = 0;
    if (layer_link_get_value(gs, d->image, &value) && value != wanted) {
      layer_link_set_value(gs, d->image, wanted);
      post_text(win_id, 0, 0);  // layer 0: the image layer is redrawn
    }
  }
  d->displayed = flag;
}

}  // namespace

void folders_set_displayed(obj_t* window, const pairlist* pairs) {
  mapwin_t* win = window ? static_cast<mapwin_t*>(window) : get_current_mapwin();
  const int n = pairlist_count(pairs);
  for (int i = 0; i < n; ++i) {
    std::intptr_t flag = 0, folder = 0;
    if (!pairlist_get(pairs, i, &flag, &folder)) continue;
    folder_t* d = folder_of(reinterpret_cast<obj_t*>(folder));
    if (!d || !d->userdisplay) continue;
    std::vector<folder_t*> tree;
    folder_collect_tree(d, &tree);
    for (size_t k = 0; k < tree.size(); ++k) {
      if (k > 0 && tree[k]->userdisplay) break;  // that one has a switch of its own
      switch_folder(win, tree[k], int(flag));
    }
  }
}
