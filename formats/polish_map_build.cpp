// What a read Polish map file becomes at its end: the file's folder, a sub-folder per
// main type of the main features (named after the main feature), and under each the
// display folders of its features made by the rendering calculation.
//
// The main-type folders are kept by main type in a map, so that any main type a
// feature or a main feature names finds its folder (or none), whatever its value.
#include <map>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "formats/polish_map.h"
#include "formats/polish_map_internal.h"
#include "map/file_object.h"
#include "map/repr.h"

namespace {

void free_display_index(container_t** index) {
  if (!*index) return;
  const int pending = get_gblerr();
  set_gblerr(0);
  obj_list_free_elements(*index);
  free_obj(index);
  set_gblerr(pending);
}

}  // namespace

int mp_build_folders(obj_t* file, container_t* list) {
  folder_t* top = nullptr;
  folder_get_or_create(file, list, 0, &top);
  if (!top) folder_get_or_create(nullptr, list, 0, &top);
  if (!top || get_gblerr()) return get_gblerr();
  std::lock_guard<std::recursive_mutex> lock(mp_tables_mutex());
  // A folder per main type, in key order, the first main feature of a type naming it.
  std::map<int, folder_t*> mains;
  const container_t* main_features = mp_main_features();
  const int nm = obj_list_count(main_features);
  for (int i = 0; i < nm && !get_gblerr(); ++i) {
    const auto* m = static_cast<const feature_t*>(main_features->elems[i]);
    if (!m || m->maintype == 0 || mains.count(m->maintype)) continue;
    folder_t* sub = nullptr;
    folder_get_or_create(top, nullptr, 0, &sub);
    if (!sub) break;
    folder_set_name(sub, m->name ? m->name : "");
    mains[m->maintype] = sub;
  }
  if (get_gblerr()) return get_gblerr();
  container_t* features = mp_features();
  container_t* index = nullptr;
  repr_render_calc(list, top, features, &index);
  // Each feature's display folder goes under the folder of its main type.
  const int nf = obj_list_count(features);
  for (int i = 0; i < nf && !get_gblerr(); ++i) {
    const auto* f = static_cast<const feature_t*>(features->elems[i]);
    folder_t* shown = f ? repr_folder_of(index, f) : nullptr;
    if (!shown) continue;
    auto it = mains.find(f->maintype);
    if (it == mains.end() || !it->second) continue;
    obj_detach(shown);
    obj_set_father(it->second, shown);
  }
  free_display_index(&index);
  return get_gblerr();
}
