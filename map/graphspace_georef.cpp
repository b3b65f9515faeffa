// Georef services of graph spaces: the link chain of each layer (from the layer's georef
// to the graph space's), the adoption of a system by a space that has none, and the
// small queries the dialogs and the title use.
#include "core/error.h"
#include "geodesy/georef.h"
#include "map/graphspace.h"
#include "map/graphspace_internal.h"

namespace {

bool has_system(const georef_t* g) { return g && (g->datum || g->projection); }

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
  const int n = obj_list_count(gs->layers);
  for (int i = 0; i < n; ++i) {
    layer_t* layer = nullptr;
    obj_list_get(gs->layers, i, &layer);
    if (!layer || !layer->georef) continue;
    xform_chain_t* old = layer->cs_link;
    free_obj(&old);
    xform_chain_t* link = nullptr;
    objcs_link(gs, layer->georef, &link);
    layer->cs_link = link;
  }
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
  const georef_t* g = gs ? gs->georef : nullptr;
  if (datum) *datum = (g && g->refertype != 0) ? g->datum : nullptr;
  if (projection) *projection = (g && g->refertype == GEOREF_PROJECTED) ? g->projection : nullptr;
  if (has_layers) {
    graphspace_lock lock(graphspace_mutex());
    *has_layers = gs && obj_list_count(gs->layers) > 0 ? 1 : 0;
  }
}

// Applies the space's georef again: its unit step is made anew from its unit.
void graphspace_refresh_georef(graphspace_t* gs) {
  gs = graphspace_or_current(gs);
  if (!gs || !gs->georef || gs->georef->refertype == 0) return;
  graphspace_lock lock(graphspace_mutex());
  georef_t* g = gs->georef;
  if (!georef_is_complete(g)) return;
  const int saved = get_gblerr();
  georef_unit_step(g);
  set_gblerr(saved);
}
