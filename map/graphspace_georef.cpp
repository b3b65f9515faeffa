// Georef services of graph spaces: the link chain of each layer (from the layer's georef
// to the graph space's), the adoption of a system by a space that has none, the small
// queries the dialogs and the title use, and the visible area in another system.
//
// The space's georef pointer and record change under graphspace_mutex() (a space without
// a system takes the first one shown in it, on the load task), so every reader here
// takes the lock too.
#include "core/error.h"
#include "geodesy/domain.h"
#include "geodesy/georef.h"
#include "geodesy/xform.h"
#include "map/extent_map.h"
#include "map/graphspace.h"
#include "map/graphspace_internal.h"

namespace {

bool has_system(const georef_t* g) { return g && (g->datum || g->projection); }

// The datum and (for a projected georef) the projection its coordinates are based on.
geodatum_t* datum_of(const georef_t* g) { return g->datum; }
cartproj_t* projection_of(const georef_t* g) {
  return g->refertype == GEOREF_PROJECTED ? g->projection : nullptr;
}

// Both corners through a georef's unit step: forward (own units to its datum's or
// projection's) or inverse; sorted afterwards, since a step may flip an axis.
void through_unit_step(const georef_t* g, bool inverse, extent_t* e) {
  if (!g->transfo) return;
  if (inverse) {
    xform_inverse_2d(g->transfo, g->transfotype, &e->xmin, &e->ymin);
    xform_inverse_2d(g->transfo, g->transfotype, &e->xmax, &e->ymax);
  } else {
    xform_forward_2d(g->transfo, g->transfotype, &e->xmin, &e->ymin);
    xform_forward_2d(g->transfo, g->transfotype, &e->xmax, &e->ymax);
  }
  extent_normalize(e);
}

// The world rectangle the map window shows: its client area through its mapping.
bool window_world_area(const mapwin_t* win, extent_t* world) {
  const extent_t client{0.0, double(win->width), 0.0, double(win->height), 0.0};
  screen_to_world_extent(win->map, client, world);
  return !extent_is_empty(*world);
}

// The visible area of a space, already known to be georeferenced, in other's system;
// false when there is none or the conversion fails.
bool carry_visible_area(const georef_t* g, const georef_t* other, const mapwin_t* win,
                        extent_t bounds, extent_t* e) {
  if (!window_world_area(win, e) || !extent_intersect(e, bounds) || extent_is_empty(*e))
    return false;
  through_unit_step(g, false, e);
  const int saved = get_gblerr();
  set_gblerr(0);
  const int err = crs_transform_extent(datum_of(g), datum_of(other), projection_of(g),
                                       projection_of(other), e);
  const bool failed = err != 0 || get_gblerr() != 0;
  set_gblerr(saved);
  if (failed) return false;
  through_unit_step(other, true, e);
  return !extent_is_empty(*e);
}

}  // namespace

void graphspace_take_system(graphspace_t* gs, const georef_t* georef) {
  gs = graphspace_or_current(gs);
  if (!gs || !georef) return;
  graphspace_lock lock(graphspace_mutex());
  georef_t* own = gs->georef;
  if (!own) {
    georef_create(nullptr, &own);
    gs->georef = own;
  }
  if (!own || own == georef) return;
  obj_copy(georef, own);
  // The space takes the system, never the step of the georef it was shown: an image's
  // georef carries its pixel step there (image pixels to the system's coordinates),
  // which the copy would share, and which the space would then take for its unit step
  // (the cursor chain and the conversions start with it). The space's coordinates are
  // in the system's own unit.
  if (own->transfo && own->transfo->cls != CLS_XFORM_SCALE) {
    own->transfo = nullptr;
    own->transfotype = 0;
    georef_reset_unit(own);
  }
  gs->georef_changed = 1;
}

xform_chain_t* objcs_link(graphspace_t* gs, const georef_t* georef, xform_chain_t** chain) {
  if (chain) *chain = nullptr;
  if (!georef || !gs || !gs->georef) return nullptr;
  graphspace_lock lock(graphspace_mutex());
  if (!has_system(gs->georef)) {
    // A space without a system takes the first one shown in it.
    graphspace_take_system(gs, georef);
    return nullptr;
  }
  return georef_link_chain(gs->georef, georef, chain);
}

void objcs_relink_all(graphspace_t* gs) {
  gs = graphspace_or_current(gs);
  if (!gs) return;
  graphspace_lock lock(graphspace_mutex());
  for_each_layer(gs, [gs](layer_t* layer) {
    if (!layer->georef) return;
    xform_chain_t* old = layer->cs_link;
    free_obj(&old);
    xform_chain_t* link = nullptr;
    objcs_link(gs, layer->georef, &link);
    layer->cs_link = link;
  });
}

int view_set_georef(graphspace_t* gs, layer_t* layer, georef_t* georef) {
  gs = graphspace_or_current(gs);
  if (!gs || !layer) return 0;
  graphspace_lock lock(graphspace_mutex());
  layer->georef = georef;
  xform_chain_t* old = layer->cs_link;
  free_obj(&old);
  xform_chain_t* link = nullptr;
  objcs_link(gs, georef, &link);
  layer->cs_link = link;
  return 1;
}

georef_t* graph_get_georef(graphspace_t* gs, georef_t** out) {
  gs = graphspace_or_current(gs);
  graphspace_lock lock(graphspace_mutex());
  georef_t* g = gs ? gs->georef : nullptr;
  if (out) *out = g;
  return g;
}

// The georef an object carries: itself (class 46), a layer's or a graph space's.
const char* object_get_system(const obj_t* object, const char** name) {
  const georef_t* g = nullptr;
  if (object && object->cls == CLS_GEOREF) g = static_cast<const georef_t*>(object);
  if (object && object->cls == CLS_LAYER) g = static_cast<const layer_t*>(object)->georef;
  if (object && object->cls == CLS_GRAPHSPACE) g = static_cast<const graphspace_t*>(object)->georef;
  const char* text = nullptr;
  if (g && g->refertype == GEOREF_GEOGRAPHIC && g->datum) text = g->datum->name;
  if (g && g->refertype == GEOREF_PROJECTED && g->projection) text = g->projection->name;
  if (name) *name = text;
  return text;
}

void graph_system_of(graphspace_t* gs, geodatum_t** datum, cartproj_t** projection,
                     int* has_layers) {
  gs = graphspace_or_current(gs);
  graphspace_lock lock(graphspace_mutex());
  const georef_t* g = gs ? gs->georef : nullptr;
  if (datum) *datum = (g && g->refertype != 0) ? g->datum : nullptr;
  if (projection) *projection = (g && g->refertype == GEOREF_PROJECTED) ? g->projection : nullptr;
  if (has_layers) *has_layers = gs && obj_list_count(gs->layers) > 0 ? 1 : 0;
}

// Applies the space's georef again: its unit step is made anew from its unit.
void graphspace_refresh_georef(graphspace_t* gs) {
  gs = graphspace_or_current(gs);
  if (!gs) return;
  graphspace_lock lock(graphspace_mutex());
  georef_t* g = gs->georef;
  if (!g || g->refertype == 0 || !georef_is_complete(g)) return;
  const int saved = get_gblerr();
  georef_unit_step(g);
  set_gblerr(saved);
}

int graphspace_visible_extent(graphspace_t* gs, const georef_t* other, extent_t bounds,
                              extent_t* out, int* flag) {
  extent_t e{};
  bool visible = false;
  gs = graphspace_or_current(gs);
  const mapwin_t* win = get_current_mapwin();
  if (gs && win && georef_is_complete(other)) {
    graphspace_lock lock(graphspace_mutex());
    const georef_t* g = gs->georef;
    const bool shows_space = !win->graphspace || win->graphspace == gs;
    if (shows_space && georef_is_complete(g)) visible = carry_visible_area(g, other, win, bounds, &e);
  }
  if (!visible) e = extent_t{};
  if (out) *out = e;
  if (flag) *flag = visible ? 1 : 0;
  return visible ? 1 : 0;
}
