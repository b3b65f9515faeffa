// Graph spaces: creation, the current graph space and layer, the hooks to the map
// windows, the extent of a space and its rebuild, and the redraw requests.
//
// Fields of the packed records are read and written by value (a packed extent may be
// misaligned, so no pointer to one is ever taken).
#include <atomic>
#include <cmath>
#include <cstring>

#include "core/error.h"
#include "core/index.h"
#include "geodesy/domain.h"
#include "geodesy/georef.h"
#include "map/file_object.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"
#include "map/graphspace_internal.h"
#include "map/quadtree.h"

namespace {

std::atomic<graphspace_t*> g_current{nullptr};
thread_local layer_t* t_current_layer = nullptr;
graphspace_view_hooks g_hooks{};  // written and read under graphspace_mutex()

int extent_source(const obj_t* gs, extent_t* out) {
  if (!gs || gs->cls != CLS_GRAPHSPACE) return 0;
  graphspace_lock lock(graphspace_mutex());
  *out = static_cast<const graphspace_t*>(gs)->extent;
  return 1;
}

// The layer of a new graph space that shows its images (priority 0, no file).
void make_image_layer(graphspace_t* gs) {
  container_t* list = nullptr;
  obj_list_new(&list);
  folder_t* folder = nullptr;
  folder_get_or_create(nullptr, list, 0, &folder);
  if (!folder) {
    free_obj(&list);
    return;
  }
  layer_t* layer = layer_insert_new(gs, folder);
  if (!layer) return;
  gindex_create(layer);
  qtree_build(layer);
}

// The image layer's links are the space's own records (the images they show belong to
// their files): they go with the space.
void free_layer_links(container_t* list) {
  for (int i = obj_list_count(list) - 1; i >= 0; --i) {
    obj_t* o = nullptr;
    obj_list_get(list, i, &o);
    if (!o || o->cls != CLS_LAYER_LINK) continue;
    obj_list_remove_at(list, i);
    free_obj(&o);
  }
}

}  // namespace

std::recursive_mutex& graphspace_mutex() {
  static std::recursive_mutex m;
  return m;
}

void graphspace_set_current(graphspace_t* gs) { g_current.store(gs); }
graphspace_t* graphspace_current() { return g_current.load(); }
graphspace_t* graphspace_or_current(graphspace_t* gs) { return gs ? gs : graphspace_current(); }

void set_current_layer(layer_t* layer) { t_current_layer = layer; }
layer_t* get_current_layer() { return t_current_layer; }

void graphspace_set_view_hooks(const graphspace_view_hooks* hooks) {
  graphspace_lock lock(graphspace_mutex());
  g_hooks = hooks ? *hooks : graphspace_view_hooks{};
}

const graphspace_view_hooks& graphspace_get_view_hooks() { return g_hooks; }

// ---- Creation and release ------------------------------------------------------------------
layer_t* layer_insert_new(graphspace_t* gs, obj_t* folder) {
  layer_t* layer = nullptr;
  obj_new_registered(CLS_LAYER, &layer);
  if (!layer) return nullptr;
  const folder_t* f = static_cast<const folder_t*>(folder);
  layer->priority = f->layer;
  layer->movobj = f->movobj;
  layer->objects = f->sot;
  layer->graphspace = gs;
  layer->folder = folder;
  index_insert(gs->layers, layer);
  return layer;
}

graphspace_t* graphspace_new(georef_t* georef, graphspace_t** out) {
  graphspace_set_extent_source(extent_source);
  graphspace_t* gs = nullptr;
  obj_new_registered(CLS_GRAPHSPACE, &gs);
  if (out) *out = gs;
  if (!gs) return nullptr;
  graphspace_lock lock(graphspace_mutex());
  gs->georef = georef;
  gs->georef_changed = 1;
  gs->unit_scale = 1.0;
  container_t* layers = nullptr;
  index_create(CLS_LAYER, AT_INT, offsetof(layer_t, priority), &layers);
  gs->layers = layers;
  make_image_layer(gs);
  graphspace_rebuild(gs);
  return gs;
}

void graphspace_free(graphspace_t** p) {
  if (!p || !*p) return;
  graphspace_t* gs = *p;
  {
    graphspace_lock lock(graphspace_mutex());
    if (graphspace_current() == gs) graphspace_set_current(nullptr);
    obj_t* image_folder = nullptr;
    while (obj_list_count(gs->layers) > 0) {
      layer_t* layer = nullptr;
      obj_list_get(gs->layers, 0, &layer);
      obj_list_remove_at(gs->layers, 0);
      if (layer && layer->priority == 0 && layer->folder &&
          !static_cast<folder_t*>(layer->folder)->file)
        image_folder = layer->folder;
      free_obj(&layer);
    }
    container_t* layers = gs->layers;
    free_obj(&layers);
    gs->layers = nullptr;
    if (image_folder) free_layer_links(static_cast<folder_t*>(image_folder)->sot);
    free_obj(&image_folder);
  }
  free_obj(p);
}

// ---- Extent ---------------------------------------------------------------------------------
namespace {

// The extent of the space given the union of its layers: with nothing shown the previous
// extent stays, or a 2 x 2 extent around the origin.
extent_t extent_from_union(const graphspace_t* gs, extent_t u) {
  if (!extent_is_empty(u)) return u;
  if (!extent_is_empty(gs->extent)) return gs->extent;
  extent_inflate(&u, 1.0);
  return u;
}

}  // namespace

void graphspace_compute_extent(graphspace_t* gs, extent_t* out) {
  if (!out) return;
  *out = extent_t{};
  gs = graphspace_or_current(gs);
  if (!gs) return;
  graphspace_lock lock(graphspace_mutex());
  extent_t u{};
  for_each_layer(gs, [&u](layer_t* layer) { extent_union(&u, layer->extent); });
  gs->layers_union = u;
  gs->layers_union_valid = 1;
  *out = extent_from_union(gs, u);
}

void graphspace_grow_extent(graphspace_t* gs, extent_t before, extent_t after, extent_t* out) {
  // `after` holds `before` when their union is `after` itself: the union of the layers
  // then grows by `after` and nothing else.
  extent_t joined = after;
  extent_union(&joined, before);
  if (!gs->layers_union_valid || std::memcmp(&joined, &after, sizeof after) != 0) {
    graphspace_compute_extent(gs, out);
    return;
  }
  extent_t u = gs->layers_union;
  extent_union(&u, after);
  gs->layers_union = u;
  *out = extent_from_union(gs, u);
}

void graphspace_layer_extent_changed(const layer_t* layer) {
  if (layer && layer->graphspace) layer->graphspace->layers_union_valid = 0;
}

void graphspace_set_extent(graphspace_t* gs, extent_t extent) {
  gs = graphspace_or_current(gs);
  if (!gs) return;
  graphspace_lock lock(graphspace_mutex());
  gs->extent = extent;
  gs->max_side = extent_max_side(extent);
  double scale = 1.0;
  if (const georef_t* g = gs->georef) {
    // Size in graph units of a 100-unit cell of the equirectangular view at the centre.
    extent_t c{extent_center_x(extent), extent_center_x(extent), extent_center_y(extent),
               extent_center_y(extent), 0.0};
    cartproj_t* proj = nullptr;
    graph_project_extent(g, &c, &proj);
    c.xmax += 100.0;
    c.ymax += 100.0;
    graph_extent_to_system(proj, &c);
    const double side = std::fmin(std::fabs(c.xmax - c.xmin), std::fabs(c.ymax - c.ymin));
    scale = (side > 0.0 && std::isfinite(side)) ? 1.0 / side : 1.0;
  }
  gs->unit_scale = scale;
}

// The domain of the space's georef; a system without a known domain keeps none, and
// that is no error of the caller's.
void graphspace_update_domain(graphspace_t* gs) {
  extent_t d{};
  const georef_t* g = gs->georef;
  if (g && georef_is_complete(g)) {
    const int saved = get_gblerr();
    georef_domain_extent(g, &d);
    set_gblerr(saved);
  }
  gs->domain = d;
}

void graphspace_rebuild(graphspace_t* gs) {
  gs = graphspace_or_current(gs);
  if (!gs) return;
  graphspace_lock lock(graphspace_mutex());
  const int changed = gs->georef_changed;
  if (changed) {
    graphspace_refresh_georef(gs);
    objcs_relink_all(gs);
  }
  graphspace_update_domain(gs);
  if (changed || gs->rebuild_layers) {
    for_each_layer(gs, [gs](layer_t* layer) {
      if (layer->gindex_sorted) graphspace_update_layer(gs, layer, 0);
    });
  }
  extent_t e{};
  graphspace_compute_extent(gs, &e);
  graphspace_set_extent(gs, e);
  if (g_hooks.mapwin_sync_scrollbars) {
    obj_t* cursor = nullptr;
    while (obj_class_next(CLS_MAPWIN, &cursor))
      if (static_cast<mapwin_t*>(cursor)->graphspace == gs)
        g_hooks.mapwin_sync_scrollbars(static_cast<mapwin_t*>(cursor));
  }
  gs->georef_changed = 0;
}

// ---- Redraw requests --------------------------------------------------------------------------
void pane_redraw_rect(pane_t* pane, extent_t e) {
  if (!pane) return;
  graphspace_lock lock(graphspace_mutex());
  if (g_hooks.pane_redraw) g_hooks.pane_redraw(pane, e);
}

void view_redraw_rect(graphspace_t* gs, extent_t e) {
  gs = graphspace_or_current(gs);
  if (!gs) return;
  graphspace_lock lock(graphspace_mutex());
  if (!g_hooks.pane_redraw) return;
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_PANE, &cursor))
    if (static_cast<pane_t*>(cursor)->graphspace == gs)
      g_hooks.pane_redraw(static_cast<pane_t*>(cursor), e);
}

void view_redraw_object(layer_t* layer, obj_t* object) {
  if (!layer) return;
  extent_t e{};
  gindex_object_extent(&e, layer, object);
  view_redraw_rect(layer->graphspace, e);
}

void layer_redraw_all(layer_t* layer) {
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  const container_t* index = layer->gindex_sorted;
  const int n = obj_list_count(index);
  for (int i = 0; i < n; ++i) {
    gindex_entry_t* entry = nullptr;
    obj_list_get(index, i, &entry);
    extent_t e{};
    extent_of_entry(entry, &e);
    view_redraw_rect(layer->graphspace, e);
  }
}

// ---- Lookups ----------------------------------------------------------------------------------
layer_t* graphspace_layer_of_priority(graphspace_t* gs, int priority, layer_t** out) {
  layer_t* found = nullptr;
  gs = graphspace_or_current(gs);
  if (gs) {
    graphspace_lock lock(graphspace_mutex());
    int pos = -1;
    const int32_t key = priority;
    if (index_find_exact(gs->layers, &key, &pos) == 1) obj_list_get(gs->layers, pos, &found);
  }
  if (out) *out = found;
  return found;
}

layer_t* mapwin_find_layer(graphspace_t* gs, obj_t* folder, layer_t** out) {
  layer_t* found = nullptr;
  gs = graphspace_or_current(gs);
  if (gs && folder) {
    graphspace_lock lock(graphspace_mutex());
    const int n = obj_list_count(gs->layers);
    for (int i = 0; i < n && !found; ++i) {
      layer_t* layer = nullptr;
      obj_list_get(gs->layers, i, &layer);
      if (layer && layer->folder == folder) found = layer;
    }
  }
  if (out) *out = found;
  return found;
}

container_t* graphspace_next_layer(graphspace_t* gs, int* position, container_t** out) {
  container_t* found = nullptr;
  gs = graphspace_or_current(gs);
  if (gs && position) {
    graphspace_lock lock(graphspace_mutex());
    const int n = obj_list_count(gs->layers);
    while (!found && *position >= 0 && *position < n) {
      layer_t* layer = nullptr;
      obj_list_get(gs->layers, (*position)++, &layer);
      if (layer && layer->priority != 0 && obj_list_count(layer->objects) > 0)
        found = layer->objects;
    }
  }
  if (out) *out = found;
  return found;
}
