// Computation of a layer's graphic index and its updates object by object.
//
// A computation appends one entry per contribution to the layer's plain list and sorts
// the list once at the end (a million objects are never inserted one by one into a sorted
// array); entries of the same object (a symbol and a label of one waypoint) are then
// merged in one linear pass over the sorted index.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/index.h"
#include "map/draw_styles.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"
#include "map/quadtree_internal.h"

namespace gindex_detail {

void fill_extent_table(gindex_extent_fn* table, gindex_image_extent_fn* image) {
  table[CLS_DIMAGE] = extent_dimage;
  table[CLS_DSEGMENT] = extent_dsegment;
  table[CLS_DPOINT] = extent_dpoint;
  table[CLS_DTEXT] = extent_dtext;
  table[CLS_DSEGPOINT] = extent_dsegpoint;
  table[CLS_DPOLYCURVE] = extent_dpolycurve;
  table[CLS_DRECTANGLE] = extent_drectangle;
  table[CLS_DARCELLIP] = extent_darcellip;
  *image = image_extent_update;
}

void style_point(obj_t* style, int index) { drawobj_style_point(style, index); }

}  // namespace gindex_detail

namespace {

constexpr int kProgressEvery = 1000;

bool is_style_class(int cls) { return cls >= CLS_DIMAGE && cls <= CLS_DARCELLIP; }

const drawstyle_t* as_style(const obj_t* o) {
  return o && is_style_class(o->cls) ? static_cast<const drawstyle_t*>(o) : nullptr;
}

obj_t* father_for(const drawstyle_t* style, const obj_t* object) {
  if (!style->typeperesrc) return nullptr;
  obj_t* father = nullptr;
  obj_get_father(object, &father);
  return father;
}

extent_t fixed_extent_of(const layer_t* layer) {
  return layer && layer->graphspace ? layer->graphspace->fixed_extent : extent_t{};
}

// One segment (point i to point i + 1) of a segment-point style, as a contribution with
// its point in the middle and weight 1.
bool segment_contribution(obj_t* style, int i, gindex_entry_t* out) {
  const drawstyle_t* s = as_style(style);
  gindex_extent_fn fn = gindex_extent_routine(style->cls);
  obj_t* elem = nullptr;
  obj_list_get(s->contsrc, i, &elem);
  if (!fn || !elem) return false;
  gindex_detail::style_point(style, i);
  gindex_entry_t c{};
  if (!fn(style, elem, father_for(s, elem), &c)) return false;
  c.cx = c.cy = 127;
  c.weight = 1;
  *out = c;
  return true;
}

void add_segpoint_style(extent_t clip, obj_t* style) {
  const drawstyle_t* s = as_style(style);
  const int n = obj_list_count(s->contsrc);
  gindex_entry_t acc{};
  bool any = false;
  for (int i = n - 2; i >= 0; --i) {
    gindex_entry_t c;
    if (!segment_contribution(style, i, &c)) continue;
    gindex_merge(&acc, &c);
    any = true;
  }
  if (any) gindex_add_extent(clip, style, &acc);
}

// The contributions of every object of the source list. The caller holds the graph-space
// lock, so the million additions of a large layer do not each take it again.
void add_plain_style(extent_t clip, obj_t* style) {
  const drawstyle_t* s = as_style(style);
  gindex_extent_fn fn = gindex_extent_routine(style->cls);
  layer_t* layer = get_current_layer();
  if (!fn || !layer) return;
  const container_t* src = s->contsrc;
  const int n = obj_list_count(src);
  for (int i = 0; i < n; ++i) {
    if (i % kProgressEvery == 0) gindex_detail::progress();
    obj_t* obj = src->elems[i];
    if (!obj || obj->cls != s->typesrc) continue;
    gindex_entry_t c{};
    if (fn(style, obj, father_for(s, obj), &c)) gindex_detail::add_extent(layer, clip, obj, &c);
  }
}

void free_all_entries(layer_t* layer) {
  container_t* sorted = layer->gindex_sorted;
  container_t* list = layer->gindex_list;
  // While a computation runs the entries are in the list, otherwise in the index.
  container_t* holder = list ? list : sorted;
  const int n = obj_list_count(holder);
  for (int i = 0; i < n; ++i)
    gindex_detail::release_entry(static_cast<gindex_entry_t*>(holder->elems[i]));
  if (list) list->count = 0;
  if (sorted) sorted->count = 0;
}

// The index's order: object (compared by id, a null object first), then the entry's
// own id, then the list's order. Kept as one comparable key per entry so that the sort
// reads no record.
struct sort_key {
  int64_t object;  // the object's id; INT64_MIN for none
  int32_t id;
  int32_t pos;
  obj_t* entry;
  bool operator<(const sort_key& o) const {
    if (object != o.object) return object < o.object;
    if (id != o.id) return id < o.id;
    return pos < o.pos;
  }
};

// The entries of the list in the index's order. As the index's own build, the walk takes
// entries only and stops at the first null slot. A list already in order (one style over
// objects made in order, the usual case) is not sorted again.
std::vector<sort_key> sorted_entries(const container_t* list) {
  std::vector<sort_key> keys;
  const int n = obj_list_count(list);
  keys.reserve(size_t(n));
  constexpr int kAhead = 16;
  for (int i = 0; i < n; ++i) {
    if (i + kAhead < n && list->elems[i + kAhead]) __builtin_prefetch(list->elems[i + kAhead]);
    obj_t* e = list->elems[i];
    if (!e) break;
    if (e->cls != CLS_GINDEX_ENTRY) continue;
    const obj_t* object = static_cast<const gindex_entry_t*>(e)->object;
    keys.push_back(sort_key{object ? int64_t(object->id) : INT64_MIN, e->id, i, e});
  }
  if (!std::is_sorted(keys.begin(), keys.end())) std::sort(keys.begin(), keys.end());
  return keys;
}

// Sorts the list into the index (by object), frees the list, and merges the entries of
// one object into the first of them.
void sort_and_merge(layer_t* layer) {
  container_t* sorted = layer->gindex_sorted;
  container_t* list = layer->gindex_list;
  if (list) {
    const std::vector<sort_key> keys = sorted_entries(list);
    obj_list_set_count(sorted, 0);
    obj_list_set_count(sorted, int(keys.size()));
    for (size_t i = 0; i < keys.size(); ++i) sorted->elems[i] = keys[i].entry;
    list->count = 0;
    gindex_free(&list);  // the record only: its entries now live in the index
    layer->gindex_list = nullptr;
  }
  const int n = obj_list_count(sorted);
  int kept = 0;
  for (int i = 0; i < n; ++i) {
    auto* e = static_cast<gindex_entry_t*>(sorted->elems[i]);
    auto* prev = kept ? static_cast<gindex_entry_t*>(sorted->elems[kept - 1]) : nullptr;
    if (prev && prev->object == e->object) {
      gindex_merge(prev, e);
      gindex_detail::release_entry(e);
      continue;
    }
    sorted->elems[kept++] = e;
  }
  sorted->count = kept;
}

}  // namespace

void gindex_add_style_objects(extent_t clip, obj_t* style) {
  if (!as_style(style)) return;
  graphspace_lock lock(graphspace_mutex());
  if (style->cls == CLS_DSEGPOINT)
    add_segpoint_style(clip, style);
  else
    add_plain_style(clip, style);
}

void gindex_compute(layer_t* layer, int recreate) {
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  layer_t* previous = get_current_layer();
  set_current_layer(layer);
  if (recreate) {
    gindex_create(layer);
  } else {
    free_all_entries(layer);
  }
  layer->extent = extent_t{};
  graphspace_layer_extent_changed(layer);
  const extent_t clip = fixed_extent_of(layer);
  const container_t* objects = layer->objects;
  const int n = obj_list_count(objects);
  for (int i = 0; i < n; ++i) {
    obj_t* obj = objects->elems[i];
    if (!obj) continue;
    gindex_detail::progress();
    if (obj->cls == view_access::kLayerLinkClass)
      gindex_detail::image_extent(clip, view_access::link_object(obj));
    else if (is_style_class(obj->cls))
      gindex_add_style_objects(clip, obj);
  }
  if (layer->gindex_sorted) sort_and_merge(layer);
  set_current_layer(previous);
}

void gindex_update_object(layer_t* layer, obj_t* object) {
  if (!layer || !object) return;
  graphspace_lock lock(graphspace_mutex());
  layer_t* previous = get_current_layer();
  set_current_layer(layer);
  const extent_t clip = fixed_extent_of(layer);
  if (is_style_class(object->cls)) {
    gindex_add_style_objects(clip, object);
  } else if (object->cls > CLS_DARCELLIP || object->cls < CLS_BITMAP) {
    gindex_entry_t acc{};
    bool any = false;
    const container_t* styles = layer->styles;
    const int n = obj_list_count(styles);
    for (int i = 0; i < n; ++i) {
      obj_t* style = styles->elems[i];
      const drawstyle_t* s = as_style(style);
      if (!s || s->typesrc != object->cls) continue;
      gindex_extent_fn fn = gindex_extent_routine(style->cls);
      if (!fn) continue;
      if (style->cls == CLS_DSEGPOINT) {
        // The object's place in the point list selects its segment (the last point
        // closes the segment that ends on it).
        int pos = -1;
        for (int k = 0; k < obj_list_count(s->contsrc); ++k)
          if (s->contsrc->elems[k] == object) { pos = k; break; }
        if (pos < 0) continue;
        const int seg = pos <= obj_list_count(s->contsrc) - 2 ? pos : pos - 1;
        if (seg < 0) continue;
        gindex_detail::style_point(style, seg);
      }
      gindex_entry_t c{};
      if (!fn(style, object, father_for(s, object), &c)) continue;
      gindex_merge(&acc, &c);
      any = true;
    }
    if (any) gindex_add_extent(clip, object, &acc);
  }
  set_current_layer(previous);
}

void gindex_remove_object(layer_t* layer, const obj_t* object) {
  if (!layer || !object) return;
  graphspace_lock lock(graphspace_mutex());
  gindex_entry_t* entry = nullptr;
  gindex_find(layer, object, &entry);
  if (!entry) return;
  index_remove(layer->gindex_sorted, entry);
  gindex_detail::release_entry(entry);
  layer_recompute_extent(layer);
}
