// Graphic index records: the entry class, the extent routine table, lookups, the merge
// of contributions and the extents read from the index.
//
// Entries are made with alloc_obj and never enter the class list of class 33 (an index
// can hold a million of them); they own nothing, so they are released with their record.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/config.h"
#include "core/index.h"
#include "core/memory.h"
#include "map/graphic_index.h"
#include "map/graphic_index_merge.h"
#include "map/graphspace.h"
#include "map/quadtree_internal.h"

namespace {

gindex_extent_fn g_extent_table[kGindexExtentSlots] = {};
gindex_image_extent_fn g_image_extent = nullptr;
gindex_progress_fn g_progress = nullptr;

using gindex_detail::four_bounds_zero;
using gindex_detail::fraction_of;
using gindex_detail::point_on;

// Pixels per graph unit of a pane: the larger of its |x scale| and |y scale|.
double pane_pixel_scale(const obj_t* pane) {
  if (!pane || pane->cls != CLS_PANE) return 0.0;
  const screen_mapping m = pane_mapping(static_cast<const pane_t*>(pane));
  return std::max(std::fabs(m.scale_x), std::fabs(m.scale_y));
}

}  // namespace

// ---- Routine tables -----------------------------------------------------------------------

gindex_extent_fn gindex_extent_routine(int cls) {
  return cls >= 0 && cls < kGindexExtentSlots ? g_extent_table[cls] : nullptr;
}

gindex_extent_fn gindex_set_extent_routine(int cls, gindex_extent_fn fn) {
  if (cls < 0 || cls >= kGindexExtentSlots) return nullptr;
  gindex_extent_fn old = g_extent_table[cls];
  g_extent_table[cls] = fn;
  return old;
}

gindex_image_extent_fn gindex_set_image_extent_routine(gindex_image_extent_fn fn) {
  gindex_image_extent_fn old = g_image_extent;
  g_image_extent = fn;
  return old;
}

void gindex_set_progress_hook(gindex_progress_fn fn) { g_progress = fn; }

const char* gindex_progress_text() {
  return is_french() ? "Calcul de l'index graphique " : "Graphic index calculation ";
}

namespace gindex_detail {
void progress() {
  if (g_progress) g_progress(gindex_progress_text());
}
void image_extent(extent_t clip, obj_t* image) {
  if (g_image_extent && image) g_image_extent(clip, image);
}
gindex_entry_t* new_entry(obj_t* object) {
  obj_t* rec = nullptr;
  alloc_obj(CLS_GINDEX_ENTRY, &rec);
  gindex_entry_t* entry = static_cast<gindex_entry_t*>(rec);
  if (entry) entry->object = object;
  return entry;
}
void release_entry(gindex_entry_t* entry) {
  char* rec = reinterpret_cast<char*>(entry);
  free_mem(&rec);
}
}  // namespace gindex_detail

void gindex_init() {
  obj_register_class(CLS_GINDEX_ENTRY, int(sizeof(gindex_entry_t)), nullptr);
  for (auto& slot : g_extent_table) slot = nullptr;
  gindex_detail::fill_extent_table(g_extent_table, &g_image_extent);
}

// ---- Entries ------------------------------------------------------------------------------

void gindex_free(container_t** index) {
  if (!index || !*index) return;
  container_t* list = *index;
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i)
    gindex_detail::release_entry(static_cast<gindex_entry_t*>(list->elems[i]));
  list->count = 0;
  list->source = nullptr;
  obj_t* rec = list;
  free_obj(&rec);
  if (rec) {  // the store keeps records while an error is pending: release it anyway
    obj_list_destroy(rec);
    char* raw = reinterpret_cast<char*>(rec);
    free_mem(&raw);
  }
  *index = nullptr;
}

void gindex_create(layer_t* layer) {
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  container_t* list = layer->gindex_list;
  container_t* sorted = layer->gindex_sorted;
  gindex_free(&sorted);
  if (list) {
    gindex_free(&list);
  }
  obj_list_new(&list);
  // The index is filled from the list at the end of a computation (sort_and_merge);
  // until then it stays empty and is not tied to the list.
  index_create(CLS_GINDEX_ENTRY, AT_REF, int(offsetof(gindex_entry_t, object)), &sorted);
  layer->gindex_list = list;
  layer->gindex_sorted = sorted;
}

gindex_entry_t* gindex_get_entry(obj_t* object, gindex_entry_t** out) {
  gindex_entry_t* entry = nullptr;
  layer_t* layer = get_current_layer();
  if (object && layer && (layer->gindex_list || layer->gindex_sorted)) {
    entry = gindex_detail::new_entry(object);
    if (entry && layer->gindex_list)
      obj_list_append(layer->gindex_list, entry);
    else if (entry)
      index_insert(layer->gindex_sorted, entry);
  }
  if (out) *out = entry;
  return entry;
}

gindex_entry_t* gindex_find(const layer_t* layer, const obj_t* object, gindex_entry_t** out) {
  gindex_entry_t* entry = nullptr;
  if (layer && object) {
    graphspace_lock lock(graphspace_mutex());
    const container_t* index = layer->gindex_sorted;
    int pos = -1;
    if (index && index_find_exact(index, object, &pos) == 1 && pos >= 0) {
      // Several objects may share an id (objects never entered in a class list):
      // the entry must be this very object's.
      for (int i = pos; i < index->count; ++i) {
        auto* e = static_cast<gindex_entry_t*>(index->elems[i]);
        if (e->object == object) { entry = e; break; }
        if (!e->object || e->object->id != object->id) break;
      }
    }
  }
  if (out) *out = entry;
  return entry;
}

void gindex_object_extent(extent_t* out, const layer_t* layer, const obj_t* object) {
  if (!out) return;
  gindex_entry_t* entry = nullptr;
  gindex_find(layer, object, &entry);
  *out = entry ? entry->extent : extent_t{};
}

void gindex_display_extent(extent_t* out, obj_t* pane, const gindex_entry_t* entry) {
  if (!out) return;
  if (!entry) {
    *out = extent_t{};
    return;
  }
  extent_t e = entry->extent;
  const double margin = e.step;
  if (margin != 0.0 && !std::isnan(margin) && pane) {
    const double scale = pane_pixel_scale(pane);
    // A pane without scale has no pixel size: the margin cannot be turned into graph
    // units, and the extent is left as it is rather than divided by zero.
    if (scale > 0.0 && std::isfinite(scale)) extent_inflate(&e, margin / scale);
  }
  *out = e;
}

void layer_get_extent(const layer_t* layer, extent_t* out) {
  if (!out) return;
  if (!layer) {
    *out = extent_t{};
    return;
  }
  graphspace_lock lock(graphspace_mutex());
  *out = layer->extent;
}

void layer_recompute_extent(layer_t* layer) {
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  extent_t e{};
  const container_t* index = layer->gindex_sorted;
  const int n = obj_list_count(index);
  for (int i = 0; i < n; ++i)
    extent_union(&e, static_cast<const gindex_entry_t*>(index->elems[i])->extent);
  layer->extent = e;
  graphspace_layer_extent_changed(layer);
}

// ---- Merge --------------------------------------------------------------------------------

void gindex_merge(gindex_entry_t* entry, const gindex_entry_t* contribution) {
  if (!entry || !contribution) return;
  gindex_detail::merge_entry(entry, *contribution,
                             [](double lo, double hi, uint8_t frac, int) { return point_on(lo, hi, frac); });
}

namespace gindex_detail {
// gindex_add_extent for a caller that holds the graph-space lock (a computation adds a
// million contributions under one lock).
void add_extent(layer_t* layer, extent_t clip, obj_t* object, const gindex_entry_t* contribution) {
  gindex_entry_t c = *contribution;
  if (!extent_is_empty(clip)) {
    extent_t e = c.extent;
    // The contribution keeps its own pixel margin: the clip only bounds its area.
    if (!extent_intersect4(&e, clip.xmin, clip.xmax, clip.ymin, clip.ymax)) return;
    c.extent = e;
  }
  extent_t le = layer->extent;
  extent_union(&le, c.extent);
  layer->extent = le;
  graphspace_layer_extent_changed(layer);
  if (!layer->gindex_sorted) return;
  gindex_entry_t* entry = nullptr;
  if (!layer->gindex_list) gindex_find(layer, object, &entry);
  if (!entry) gindex_get_entry(object, &entry);
  gindex_merge(entry, &c);
}
}  // namespace gindex_detail

void gindex_add_extent(extent_t clip, obj_t* object, const gindex_entry_t* contribution) {
  if (!contribution) return;
  layer_t* layer = get_current_layer();
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  gindex_detail::add_extent(layer, clip, object, contribution);
}
