// What a read OpenStreetMap file becomes after the parse: ways holding their nodes, way
// lines drawn from the ways, and the folder tree the display shows (the file's folder, a
// sub-folder per feature main type, and under each the display folders of its features
// made by the rendering calculation).
#include <cstring>
#include <map>
#include <vector>

#include "core/command_hooks.h"
#include "core/config.h"
#include "core/core_classes.h"
#include "core/error.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/wstring.h"
#include "formats/osm.h"
#include "formats/osm_internal.h"
#include "geodesy/xform_records.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "map/repr.h"

namespace {

const char* progress_text() { return is_french() ? "Calcul de rendu" : "Rendering calculation"; }

// Label of a node or way line: its name, else its reference.
void set_label(const char16_t* name, const char16_t* ref, char16_t** label) {
  const char16_t* from = name ? name : ref;
  if (from) wstr_set(from, label);
}

template <class T> T* load_ptr(T* const* field) { return owner_get(field); }

// A way line drawn from a way: its name, reference, feature and the coordinates of its
// nodes; its label at the centroid of the nodes.
void make_wayline(container_t* list, way_t* w) {
  feature_t* f = load_ptr(&w->feature);
  container_t* nodes = load_ptr(&w->sons);
  const int n = obj_list_count(nodes);
  if (!f || n < 1) return;
  wayline_t* l = nullptr;
  obj_new_in_list(list, CLS_WAYLINE, reinterpret_cast<obj_t**>(&l));
  if (!l) return;
  coord_list c{};
  c.count = n;
  alloc_mem(&c.pts, size_t(n) * 2 * sizeof(double));
  for (int i = 0; i < n; ++i) {
    const auto* node = static_cast<const node_t*>(nodes->elems[i]);
    gps_point_t p;
    std::memcpy(&p, &node->coords, sizeof p);
    c.pts[2 * i] = p.x;
    c.pts[2 * i + 1] = p.y;
  }
  std::memcpy(&l->loicoord, &c, sizeof c);
  way_set_centroid(w);
  gps_textpos_t t;
  std::memcpy(&t, &w->txtcoord, sizeof t);
  std::memcpy(&l->txtcoord, &t, sizeof t);
  if (const char16_t* s = load_ptr(&w->name)) wstr_set(s, &l->name);
  if (const char16_t* s = load_ptr(&w->ref)) wstr_set(s, &l->ref);
  set_label(load_ptr(&w->name), load_ptr(&w->ref), &w->label);
  set_label(load_ptr(&w->name), load_ptr(&w->ref), &l->label);
  std::memcpy(&l->feature, &f, sizeof f);
}

}  // namespace

void osm_resolve_ways(osm_reader* st) {
  const char* text = progress_text();
  st->nodes.finish();
  for (const osm_way_refs& r : st->ways) {
    if (get_gblerr()) return;
    core_progress_file_position(text);
    size_t found = 0;
    for (size_t i = r.first; i < r.last; ++i) found += st->nodes.find(st->refs[i]) ? 1 : 0;
    container_t* sons = nullptr;
    obj_list_new_with_capacity(int(found), &sons);
    if (!sons) return;
    for (size_t i = r.first; i < r.last; ++i) {
      if (node_t* n = st->nodes.find(st->refs[i])) obj_list_append(sons, n);
    }
    sons->father = r.way;
    container_t* old = load_ptr(&r.way->sons);
    if (old) free_obj(&old);
    std::memcpy(&r.way->sons, &sons, sizeof sons);
  }
}

int osm_build_folders(obj_t* file, container_t* list) {
  const char* text = progress_text();
  folder_t* top = nullptr;
  folder_get_or_create(file ? file : nullptr, list, 0, &top);
  if (!top) {
    // No file object (a read from memory): a folder of its own holds the tree.
    folder_get_or_create(nullptr, list, 0, &top);
  }
  if (!top || get_gblerr()) return get_gblerr();
  // Labels of the nodes, way lines of the ways; the display sees nodes and way lines.
  container_t* view = nullptr;
  obj_list_new_with_capacity(obj_list_count(list), &view);
  if (!view) return get_gblerr();
  const int n = obj_list_count(list);
  std::vector<way_t*> ways;
  for (int i = 0; i < n; ++i) {
    obj_t* o = list->elems[i];
    if (!o) continue;
    if (o->cls == CLS_GEOREF) {
      obj_list_append(view, o);
    } else if (o->cls == CLS_NODE) {
      auto* node = static_cast<node_t*>(o);
      set_label(load_ptr(&node->name), load_ptr(&node->ref), &node->label);
      obj_list_append(view, o);
    } else if (o->cls == CLS_WAY) {
      ways.push_back(static_cast<way_t*>(o));
    }
  }
  core_progress_file_position(text);
  for (way_t* w : ways) {
    if (get_gblerr()) break;
    const int before = obj_list_count(list);
    make_wayline(list, w);
    if (obj_list_count(list) > before) obj_list_append(view, list->elems[list->count - 1]);
  }
  container_t* index = nullptr;
  std::map<int, folder_t*> mains;
  if (!get_gblerr()) {
    std::lock_guard<std::recursive_mutex> lock(osm_tables_mutex());
    container_t* features = osm_features();
    repr_render_calc(view, top, features, &index);
    // The icon copies the styles draw were added to the view: the file's list owns them.
    for (int i = obj_list_count(view) - 1; i >= 0; --i) {
      obj_t* o = view->elems[i];
      if (o && o->cls == CLS_BITMAP) obj_list_append(list, o);
    }
    // A sub-folder per main type met, holding the display folders of its features.
    const int nf = obj_list_count(features);
    for (int i = 0; i < nf && !get_gblerr(); ++i) {
      const auto* f = static_cast<const feature_t*>(features->elems[i]);
      folder_t* shown = f ? repr_folder_of(index, f) : nullptr;
      if (!shown) continue;
      folder_t*& main = mains[f->maintype];
      if (!main) {
        folder_get_or_create(top, nullptr, 0, &main);
        if (!main) break;
        const char* key = osm_key_name(f->maintype);
        folder_set_name(main, key ? key : "");
      }
      obj_detach(shown);
      obj_set_father(main, shown);
    }
  }
  if (index) {
    const int pending = get_gblerr();
    set_gblerr(0);
    obj_list_free_elements(index);
    free_obj(&index);
    set_gblerr(pending);
  }
  {
    const int pending = get_gblerr();
    set_gblerr(0);
    free_obj(&view);
    set_gblerr(pending);
  }
  return get_gblerr();
}
