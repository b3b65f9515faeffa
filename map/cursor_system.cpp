// The cursor system's chain from the display system, and the compatibility test of a
// system with a graph space (see cursor_system.h).
#include "map/cursor_system.h"

#include <algorithm>

#include "core/error.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "map/graphspace.h"

namespace {

constexpr int kChainKind = 6;
constexpr int kScaleKind = 2;

cartproj_t* projection_of(const georef_t* g) {
  return g->refertype == GEOREF_PROJECTED ? g->projection : nullptr;
}

// Every field after the id and the class, the transfo left to the caller.
void copy_system(georef_t* to, const georef_t* from) {
  to->refertype = from->refertype;
  to->datum = from->datum;
  to->projection = from->projection;
  to->unit = from->unit;
  to->transfo = nullptr;
  to->transfotype = 0;
}

void set_chain(georef_t* g, xform_chain_t* chain) {
  g->transfo = chain;
  g->transfotype = kChainKind;
}

// The display georef's unit step, then the conversion steps. n is the room needed.
xform_chain_t* build_conversion(const georef_t* display, const georef_t* cursor, int n) {
  xform_chain_t* chain = nullptr;
  if (!xform_chain_create(n, &chain)) return nullptr;
  int first = 0;
  if (display->transfo) {
    chain->kinds[0] = display->transfotype;
    chain->steps[0] = display->transfo;
    first = 1;
  }
  int kinds[kMaxConversionSteps] = {};
  obj_t* steps[kMaxConversionSteps] = {};
  int built = 0;
  georef_chain_build(display->datum, cursor->datum, projection_of(display), projection_of(cursor),
                     kinds, steps, &built);
  built = std::min(built, n - first);
  for (int i = 0; i < built; ++i) {
    chain->kinds[first + i] = kinds[i];
    chain->steps[first + i] = steps[i];
  }
  chain->count = first + built;
  return chain;
}

// The step from the datum's (projection's) unit to the cursor georef's unit, owned by
// the chain; nothing when the units agree.
void append_unit_step(georef_t* cursor, xform_chain_t* chain) {
  const bool geographic = cursor->refertype == GEOREF_GEOGRAPHIC;
  if (geographic && !cursor->datum) {
    set_gblerr(ERR_GEOGRAPHIC);
    return;
  }
  if (cursor->refertype == GEOREF_PROJECTED && !cursor->projection) {
    set_gblerr(ERR_GEOGRAPHIC);
    return;
  }
  if (!geographic && cursor->refertype != GEOREF_PROJECTED) return;
  const int from = geographic ? cursor->datum->unit : cursor->projection->unit;
  if (from == cursor->unit) return;
  double r = 1.0;
  if (geographic)
    angle_unit_ratio(from, cursor->unit, &r);
  else
    length_unit_ratio(from, cursor->unit, &r);
  xform_scale_t* scale = nullptr;
  if (!xform_make_scale(r, r, 1.0, &scale)) return;
  xform_chain_append(chain, scale, kScaleKind);
  xform_chain_own(chain, scale, kScaleKind);
}

// Whether the space shows anything: a layer with objects (the image layer, which
// every space has, counts only when it holds images).
bool shows_data(graphspace_t* gs) {
  graphspace_lock lock(graphspace_mutex());
  for (int i = 0, n = obj_list_count(gs->layers); i < n; ++i) {
    layer_t* layer = nullptr;
    obj_list_get(gs->layers, i, &layer);
    if (layer && obj_list_count(layer->objects) > 0) return true;
  }
  return false;
}

}  // namespace

void cursor_georef_release_chain(georef_t* cursor) {
  if (!cursor || !cursor->transfo) return;
  obj_t* step = cursor->transfo;
  cursor->transfo = nullptr;
  cursor->transfotype = 0;
  // Chains and unit steps of a cursor georef are its own; a free routine does
  // nothing while gblerr is set, and the chain must go all the same.
  const int saved = get_gblerr();
  set_gblerr(0);
  if (step->cls == CLS_XFORM_CHAIN || step->cls == CLS_XFORM_SCALE) free_obj(&step);
  set_gblerr(saved);
}

void cursor_set_transform(mapwin_t* win, const georef_t* display) {
  pane_t* pane = win ? win->pane : nullptr;
  georef_t* cursor = pane ? pane->georef : nullptr;
  if (!cursor || !display || display->refertype == GEOREF_NONE) return;
  cursor_georef_release_chain(cursor);
  if (cursor->refertype == GEOREF_NONE) {
    copy_system(cursor, display);
    xform_chain_t* empty = nullptr;
    if (xform_chain_create(0, &empty)) set_chain(cursor, empty);
    return;
  }
  if (!georef_convertible(display, cursor)) {
    set_gblerr(ERR_GEOGRAPHIC);
    return;
  }
  int n = 0;
  georef_chain_class(display->datum, cursor->datum, projection_of(display), projection_of(cursor), &n);
  if (display->transfo) ++n;
  // A chain is made even without any step, so that the window always has one to
  // carry the position through (the unit step alone may follow).
  xform_chain_t* chain = build_conversion(display, cursor, n);
  if (!chain) return;
  set_chain(cursor, chain);
  append_unit_step(cursor, chain);
}

int system_compat_check(graphspace_t* gs, const georef_t* georef, int check_layers, int* result) {
  int r = 1;
  if (!gs) gs = graphspace_current();
  if (!georef || georef->refertype == GEOREF_NONE) {
    r = 0;
  } else {
    geodatum_t* datum = nullptr;
    cartproj_t* projection = nullptr;
    graph_system_of(gs, &datum, &projection, nullptr);
    if (gs && (datum || projection)) {
      const georef_t* own = graph_get_georef(gs, nullptr);
      r = georef_convertible(georef, own) ? 1 : 0;
      if (r == 1 && check_layers && shows_data(gs) && georef_same_system(georef, own) != 0) r = -1;
    }
  }
  if (result) *result = r;
  return r;
}
