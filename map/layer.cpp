// Layers: creation from a folder, the update of one layer (graphic index, display scale,
// quadtree, extent), the destructor, the folders of loaded files, and the removal of
// one image object from the image layer.
#include <cmath>
#include <unordered_map>
#include <vector>

#include "core/error.h"
#include "core/index.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"
#include "map/graphspace_internal.h"
#include "map/quadtree.h"

namespace {

// The share of the larger side of a layer's data that one pixel covers when the view
// is fitted to it (a view of 1000 pixels, as the styles of layers without georeference
// assume).
constexpr double kFitPixelShare = 0.001;

// The layer's data measured without margins, and the spread of the data it is shown
// with (below, with the margin pixel sizes).
void remember_data_extent(const layer_t* layer, extent_t data);
double shown_with_spread(const layer_t* layer);

// The free routine does nothing while an error is set: put it aside for the release.
void free_despite_error(layer_t** layer) {
  const int saved = get_gblerr();
  set_gblerr(0);
  free_obj(layer);
  set_gblerr(saved);
}

}  // namespace

layer_t* layer_create(obj_t* folder, graphspace_t* gs, int force_tree, int use_fixed_extent,
                      layer_t** out) {
  if (out) *out = nullptr;
  gs = graphspace_or_current(gs);
  if (!gs || !folder || folder->cls != kFolderClass) return nullptr;
  graphspace_lock lock(graphspace_mutex());
  georef_t* georef = nullptr;
  obj_list_first_of_class(static_cast<folder_t*>(folder)->sot, CLS_GEOREF, reinterpret_cast<obj_t**>(&georef));
  layer_t* layer = layer_insert_new(gs, folder);
  if (!layer) return nullptr;
  layer->use_fixed_extent = use_fixed_extent;
  if (layer->movobj) force_tree = 0;
  xform_chain_t* old = layer->cs_link;
  free_obj(&old);
  layer->georef = georef;
  xform_chain_t* link = nullptr;
  objcs_link(gs, georef, &link);
  layer->cs_link = link;
  if (out) *out = layer;
  // Without a link to the space nothing of the layer can be placed: the caller sees
  // the error and frees it.
  if (get_gblerr() != 0) return layer;
  layer_collect_styles(layer);
  graphspace_update_layer(gs, layer, force_tree);
  return layer;
}

void graphspace_update_layer(graphspace_t* gs, layer_t* layer, int force_tree) {
  gs = graphspace_or_current(gs);
  if (!gs || !layer) return;
  graphspace_lock lock(graphspace_mutex());
  // What the update does to this layer's extent is accounted for below; the union of
  // the other layers stays as it was.
  const extent_t before = layer->extent;
  const int32_t union_valid = gs->layers_union_valid;
  container_t* sorted = layer->gindex_sorted;
  gindex_free(&sorted);
  layer->gindex_sorted = sorted;
  // The first pass measures the data itself, its symbols and labels as points; their
  // pixel sizes then widen the entries at the pixel size of a view fitted to that data.
  // Data all at one place (a lone point) has no spread of its own: the spread of the
  // data it is shown with, when known (layer_size_by_file), stands for it.
  layer_set_margin_pixel(layer, 0.0);
  gindex_compute(layer, 0);
  remember_data_extent(layer, layer->extent);
  layer_compute_scale(layer);
  double side = extent_max_side(layer->extent);
  if (!(side > 0.0)) side = shown_with_spread(layer);
  layer_set_margin_pixel(layer, std::isfinite(side) && side > 0.0 ? side * kFitPixelShare : -1.0);
  gindex_compute(layer, 1);
  if (layer->use_fixed_extent) layer->extent = gs->fixed_extent;
  if (force_tree || layer->qtree) {
    if (layer->priority != 0)
      qtree_rebuild(layer);
    else
      qtree_build_images(layer);
  }
  view_redraw_rect(gs, layer->extent);
  graphspace_update_domain(gs);
  gs->layers_union_valid = union_valid;
  extent_t e{};
  graphspace_grow_extent(gs, before, layer->extent, &e);
  graphspace_set_extent(gs, e);
  if (layer->use_fixed_extent) layer->extent = gs->fixed_extent;
}

layer_t* graphspace_add_folder(obj_t* folder, graphspace_t* gs, int use_fixed_extent,
                               layer_t** out) {
  layer_t* layer = layer_create(folder, gs, 0, use_fixed_extent, out);
  if (layer) layer->movobj = 1;
  return layer;
}

namespace {

// The folder's list holds something besides the image it shows.
bool holds_more_than_its_image(const folder_t* f) {
  const int n = obj_list_count(f->sot);
  for (int i = 0; i < n; ++i) {
    obj_t* o = nullptr;
    obj_list_get(f->sot, i, &o);
    if (o && o != f->image) return true;
  }
  return false;
}

// The image a folder shows joins the image layer: a link in the drawing order of the
// folder's priority, shown while the folder is, then the layer's index and tree again.
void add_image_link(graphspace_t* gs, folder_t* f) {
  layer_t* images = nullptr;
  graphspace_layer_of_priority(gs, 0, &images);
  if (!images || !f->image) return;
  const int n = obj_list_count(images->objects);
  for (int i = 0; i < n; ++i) {
    obj_t* o = nullptr;
    obj_list_get(images->objects, i, &o);
    if (o && o->cls == CLS_LAYER_LINK && static_cast<layer_link_t*>(o)->object == f->image) return;
  }
  layer_link_t* link = nullptr;
  obj_new(0, CLS_LAYER_LINK, reinterpret_cast<obj_t**>(&link));
  if (!link) return;
  link->order = f->layer;
  link->object = f->image;
  link->folder = f;
  link->value = f->displayed ? 0 : 1;
  obj_list_append(images->objects, link);
  obj_list_append(images->objects, f->image);
  graphspace_update_layer(gs, images, 1);
}

}  // namespace

int graphspace_add_file(graphspace_t* gs, obj_t* folder, int* counter) {
  gs = graphspace_or_current(gs);
  if (!gs || !folder || folder->cls != kFolderClass || !counter) return 0;
  folder_t* f = static_cast<folder_t*>(folder);
  if (obj_list_count(f->sot) == 0 && !f->image) return 0;
  graphspace_lock lock(graphspace_mutex());
  if (f->layer == 0) {
    int p = kFileLayerPriorityBase + *counter;
    while (graphspace_layer_of_priority(gs, p, nullptr)) {
      ++p;
      ++*counter;
    }
    f->layer = p;
  }
  if (f->image) {
    add_image_link(gs, f);
    if (!holds_more_than_its_image(f)) {
      ++*counter;
      return 1;
    }
  }
  layer_t* layer = nullptr;
  layer_create(folder, gs, 1, 0, &layer);
  if (get_gblerr() != 0) {
    // A failed layer leaves nothing behind: out of the index, then freed.
    if (layer) layer_remove_and_free(layer);
    return 0;
  }
  if (!layer) return 0;
  const graphspace_view_hooks& hooks = graphspace_get_view_hooks();
  if (hooks.mapwin_add_layer) hooks.mapwin_add_layer(get_current_mapwin(), layer, folder);
  ++*counter;
  return 1;
}

void layer_remove_and_free(layer_t* layer) {
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  if (graphspace_t* gs = layer->graphspace) index_remove(gs->layers, layer);
  free_despite_error(&layer);
}

// ---- Margin pixel size ---------------------------------------------------------------------
namespace {
struct layer_margins {
  double pixel = -1.0;  // the margin pixel size; negative: none set
  extent_t data{};      // the data measured without margins (null: none)
  double spread = 0.0;  // the spread of the data the layer is shown with; 0: none
};
std::unordered_map<const layer_t*, layer_margins>& margins() {
  static std::unordered_map<const layer_t*, layer_margins> all;
  return all;
}

void remember_data_extent(const layer_t* layer, extent_t data) {
  graphspace_lock lock(graphspace_mutex());
  margins()[layer].data = data;
}

double shown_with_spread(const layer_t* layer) {
  graphspace_lock lock(graphspace_mutex());
  const auto it = margins().find(layer);
  return it == margins().end() ? 0.0 : it->second.spread;
}

}  // namespace

void layer_set_margin_pixel(const layer_t* layer, double size) {
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  margins()[layer].pixel = size;
}

double layer_margin_pixel(const layer_t* layer) {
  if (!layer) return -1.0;
  graphspace_lock lock(graphspace_mutex());
  const auto it = margins().find(layer);
  return it == margins().end() ? -1.0 : it->second.pixel;
}

void layer_forget_margin_pixel(const layer_t* layer) {
  graphspace_lock lock(graphspace_mutex());
  margins().erase(layer);
}

void layer_size_by_file(graphspace_t* gs, const fileatt_t* file) {
  gs = graphspace_or_current(gs);
  if (!gs || !file) return;
  graphspace_lock lock(graphspace_mutex());
  std::vector<layer_t*> layers;
  extent_t all{};
  bool any = false;
  folder_t* it = nullptr;
  while (file_next_folder(file, &it)) {
    layer_t* layer = nullptr;
    mapwin_find_layer(gs, it, &layer);
    const auto found = layer ? margins().find(layer) : margins().end();
    if (found == margins().end() || extent_is_null(found->second.data)) continue;
    const extent_t d = found->second.data;
    layers.push_back(layer);
    // The spread is that of the data the fit shows: the displayed folders that are not
    // reloaded periodically (a hidden folder far away must not shrink the others).
    if (!it->displayed || it->refreshintrv != 0) continue;
    if (!any) {
      all = d;
      any = true;
    } else {
      all.xmin = std::fmin(all.xmin, d.xmin), all.xmax = std::fmax(all.xmax, d.xmax);
      all.ymin = std::fmin(all.ymin, d.ymin), all.ymax = std::fmax(all.ymax, d.ymax);
    }
  }
  const double side = extent_max_side(all);
  if (!any || !std::isfinite(side) || !(side > 0.0)) return;
  for (layer_t* layer : layers) {
    layer_margins& m = margins()[layer];
    if (extent_max_side(m.data) > 0.0 || m.spread == side) continue;
    m.spread = side;
    graphspace_update_layer(gs, layer, 0);
  }
}

// ---- Destructor ------------------------------------------------------------------------------
void layer_destroy(obj_t* obj) {
  if (!obj || obj->cls != CLS_LAYER) return;
  layer_t* layer = static_cast<layer_t*>(obj);
  graphspace_lock lock(graphspace_mutex());
  layer_forget_margin_pixel(layer);
  graphspace_t* gs = layer->graphspace;
  if (gs) {
    view_redraw_rect(gs, layer->extent);
    index_remove(gs->layers, layer);
    gs->layers_union_valid = 0;
  }
  const graphspace_view_hooks& hooks = graphspace_get_view_hooks();
  if (hooks.drop_layer_everywhere) hooks.drop_layer_everywhere(layer);
  if (get_current_layer() == layer) set_current_layer(nullptr);
  // An interrupted drawing of this layer cannot be resumed once it is gone.
  layer_t* resume_layer = nullptr;
  redraw_resume_point(nullptr, &resume_layer);
  if (resume_layer == layer) visible_list_reset();
  // The list and the sorted index may share their entries: free them once.
  container_t* sorted = layer->gindex_sorted;
  container_t* list = layer->gindex_list;
  if (sorted) {
    gindex_free(&sorted);
    if (list) obj_list_clear(list);
  }
  gindex_free(&list);
  layer->gindex_sorted = nullptr;
  layer->gindex_list = nullptr;
  qtree_free(layer);
  container_t* styles = layer->styles;
  free_obj(&styles);
  layer->styles = nullptr;
  xform_chain_t* link = layer->cs_link;
  free_obj(&link);
  layer->cs_link = nullptr;
}

// ---- The image layer -------------------------------------------------------------------------
void graphspace_remove_object(graphspace_t* gs, obj_t* object) {
  gs = graphspace_or_current(gs);
  if (!gs || !object) return;
  graphspace_lock lock(graphspace_mutex());
  layer_t* layer = graphspace_layer_of_priority(gs, 0, nullptr);
  if (!layer) return;
  extent_t e{};
  gindex_object_extent(&e, layer, object);
  view_redraw_rect(gs, e);
  qtree_remove_object(layer, object->id);
  container_t* objects = layer->objects;
  for (int i = obj_list_count(objects) - 1; i >= 0; --i) {
    obj_t* o = nullptr;
    obj_list_get(objects, i, &o);
    if (o == object) obj_list_remove_at(objects, i);
  }
  gindex_remove_object(layer, object);
  // Its layer links leave the list before they are freed: no pointer to them remains.
  for (int i = obj_list_count(objects) - 1; i >= 0; --i) {
    obj_t* o = nullptr;
    obj_list_get(objects, i, &o);
    if (!o || o->cls != CLS_LAYER_LINK || static_cast<layer_link_t*>(o)->object != object)
      continue;
    obj_list_remove_at(objects, i);
    free_obj(&o);
  }
}

namespace {

layer_link_t* find_link(graphspace_t* gs, const obj_t* object) {
  layer_t* layer = graphspace_layer_of_priority(gs, 0, nullptr);
  if (!layer || !object) return nullptr;
  const int n = obj_list_count(layer->objects);
  for (int i = 0; i < n; ++i) {
    obj_t* o = nullptr;
    obj_list_get(layer->objects, i, &o);
    if (o && o->cls == CLS_LAYER_LINK && static_cast<layer_link_t*>(o)->object == object)
      return static_cast<layer_link_t*>(o);
  }
  return nullptr;
}

}  // namespace

int layer_link_get_value(graphspace_t* gs, const obj_t* object, int* out) {
  graphspace_lock lock(graphspace_mutex());
  const layer_link_t* link = find_link(graphspace_or_current(gs), object);
  const int v = link ? link->value : 0;
  if (out) *out = v;
  return v;
}

void layer_link_set_value(graphspace_t* gs, const obj_t* object, int value) {
  graphspace_lock lock(graphspace_mutex());
  if (layer_link_t* link = find_link(graphspace_or_current(gs), object)) link->value = value;
}

// ---- Extents -----------------------------------------------------------------------------------
void extent_of_entry(const gindex_entry_t* entry, extent_t* out) {
  if (!out) return;
  *out = entry ? entry->extent : extent_t{};
}

void layer_extend_extent(layer_t* layer, extent_t e) {
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  extent_t x = layer->extent;
  extent_union(&x, e);
  layer->extent = x;
  graphspace_layer_extent_changed(layer);
}

void layer_clear_extent(layer_t* layer) {
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  layer->extent = extent_t{};
  graphspace_layer_extent_changed(layer);
}

// Drawn through a style: an entry of the graphic index made by a style (the entries of
// images, class 1, are not), or a drawing object (classes 2..9) in the object list when
// the index is not computed.
int layer_has_drawable(const layer_t* layer) {
  if (!layer) return 0;
  graphspace_lock lock(graphspace_mutex());
  if (const container_t* index = layer->gindex_sorted) {
    const int n = obj_list_count(index);
    for (int i = 0; i < n; ++i) {
      gindex_entry_t* entry = nullptr;
      obj_list_get(index, i, &entry);
      if (entry && entry->object && entry->object->cls != CLS_BITMAP) return 1;
    }
    return 0;
  }
  const int m = obj_list_count(layer->objects);
  for (int i = 0; i < m; ++i) {
    obj_t* o = nullptr;
    obj_list_get(layer->objects, i, &o);
    if (o && is_drawable_type(o->cls)) return 1;
  }
  return 0;
}

void layer_display_extent(extent_t* out, const pane_t* pane, const layer_t* layer) {
  if (!out) return;
  *out = extent_t{};
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  extent_t e = layer->extent;
  if (pane && layer->movobj) {
    const screen_mapping m = pane->map;
    const double s = std::fmax(std::fabs(m.scale_x), std::fabs(m.scale_y));
    if (s > 0.0 && std::isfinite(s) && std::isfinite(e.step)) extent_inflate(&e, e.step / s);
  }
  *out = e;
}

void graphspace_free_entry(gindex_entry_t* entry) {
  if (!entry) return;
  obj_t* object = entry->object;
  free_obj(&object);
  free_obj(&entry);
}
