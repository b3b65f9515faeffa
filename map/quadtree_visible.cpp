// The visible list and the drawing of a layer's pending rectangles.
//
// The redraw task fills the visible list from a query and draws it object by object,
// from its end, asking after each object whether a command waits; when one does, the
// pane and layer are kept as the resume point and the rest of the list waits for the
// next pass. The state is one per process; its lock is never held while an object is
// drawn, so a drawing routine may wait for the user-interface thread.
#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "core/error.h"
#include "map/draw_styles.h"
#include "map/graphspace.h"
#include "map/quadtree.h"
#include "map/quadtree_internal.h"
#include "map/raster_display.h"

namespace {

struct visible_state {
  std::recursive_mutex mu;
  container_t* visible = nullptr;
  container_t* drawn = nullptr;
  pairlist* pairs = nullptr;
  obj_t* resume_pane = nullptr;
  layer_t* resume_layer = nullptr;
  extent_t resume_rect{};   // the current rectangle (world) of the layer being drawn
  extent_t current_rect{};
  extent_t screen_rect{};   // the rectangle being drawn, when there is no pane
  extent_t query{};
};

visible_state& state() {
  static visible_state s;
  return s;
}
using state_lock = std::lock_guard<std::recursive_mutex>;

visible_hooks default_hooks() {
  visible_hooks h{};
  h.draw_object = drawobj_draw;
  h.pane_raster_rects = view_access::pane_raster_rects;
  h.world_to_screen = view_access::pane_world_to_screen;
  h.screen_to_world = view_access::pane_screen_to_world;
  h.pane_rect = view_access::pane_current_rect;
  h.pane_page = view_access::pane_page_extent;
  h.pane_printing = view_access::pane_printing;
  h.image_pixels = view_access::image_pixels;
  h.raster_begin = raster_display_begin;
  h.raster_draw = raster_display_draw;
  h.raster_end = raster_display_end;
  return h;
}

visible_hooks& hooks_slot() {
  static visible_hooks h = default_hooks();
  return h;
}

obj_t* current_pane() {
  const auto& h = visible_get_hooks();
  return h.current_pane ? h.current_pane() : nullptr;
}

void free_list(container_t** list) {
  if (!*list) return;
  obj_t* rec = *list;
  free_obj(&rec);
  *list = nullptr;
}

// The screen rectangle being drawn: the pane's, or the module's own without a pane.
extent_t get_screen_rect(obj_t* pane) {
  const auto& h = visible_get_hooks();
  extent_t* p = pane && h.pane_rect ? h.pane_rect(pane) : nullptr;
  return p ? extent_load(p) : state().screen_rect;
}
void set_screen_rect(obj_t* pane, extent_t e) {
  const auto& h = visible_get_hooks();
  extent_t* p = pane && h.pane_rect ? h.pane_rect(pane) : nullptr;
  if (p)
    extent_store(p, e);
  else
    state().screen_rect = e;
}

// The pane is ready when its rectangle, clipped to its page, is not empty.
int pane_is_ready(obj_t* pane) {
  const auto& h = visible_get_hooks();
  if (h.pane_ready) return h.pane_ready(pane);
  extent_t r = get_screen_rect(pane);
  extent_t page{};
  if (pane && h.pane_page && h.pane_page(pane, &page) && !extent_intersect(&r, page)) return 0;
  set_screen_rect(pane, r);
  return extent_is_empty(r) ? 0 : 1;
}

// A world rectangle to screen pixels, grown by a pixel on every side.
extent_t to_screen_grown(obj_t* pane, extent_t world) {
  const auto& h = visible_get_hooks();
  extent_t s = world;
  if (h.world_to_screen) h.world_to_screen(pane, world, &s);
  extent_inflate(&s, 1.0);
  return s;
}

extent_t to_world(obj_t* pane, extent_t screen) {
  const auto& h = visible_get_hooks();
  extent_t w = screen;
  if (h.screen_to_world) h.screen_to_world(pane, screen, &w);
  return w;
}

void set_resume(obj_t* pane, layer_t* layer) {
  visible_state& s = state();
  s.resume_pane = pane;
  s.resume_layer = layer;
  s.resume_rect = s.current_rect;
}

void clear_lists() {
  visible_state& s = state();
  if (s.visible) s.visible->count = 0;
  pairlist_free(&s.pairs);
}

int draw_vector_objects(obj_t* pane, layer_t* layer) {
  visible_state& s = state();
  const auto& h = visible_get_hooks();
  for (;;) {
    obj_t* obj = nullptr;
    {
      state_lock lock(s.mu);
      if (!obj_list_pop(s.visible, &obj)) return 0;
      if (obj_list_add_unique_front(s.drawn, obj) == 1) continue;
    }
    const int r = h.draw_object ? h.draw_object(obj) : 0;
    state_lock lock(s.mu);
    if (r != 0) {
      obj_list_append(s.visible, obj);
      set_resume(pane, layer);
      return 1;
    }
    if (h.work_pending && h.work_pending()) {
      set_resume(pane, layer);
      return 1;
    }
  }
}

int draw_images(obj_t* pane, layer_t* layer) {
  visible_state& s = state();
  const auto& h = visible_get_hooks();
  std::vector<obj_t*> images;
  {
    state_lock lock(s.mu);
    const int n = pairlist_count(s.pairs);
    for (int i = 0; i < n; ++i) {
      std::intptr_t order = 0, image = 0;
      pairlist_get_raw(s.pairs, i, &order, &image);
      images.push_back(reinterpret_cast<obj_t*>(image));
    }
  }
  if (h.raster_begin) h.raster_begin();
  for (size_t i = 0; i < images.size(); ++i) {
    if (h.raster_draw && h.raster_draw(images[i]) != 0) {
      if (h.raster_end) h.raster_end();
      state_lock lock(s.mu);
      // The images drawn before the interrupted one are done: the resume starts there.
      const int n = pairlist_count(s.pairs);
      for (int k = int(i); k < n; ++k) {
        std::intptr_t a = 0, b = 0;
        pairlist_get_raw(s.pairs, k, &a, &b);
        pairlist_set_raw(s.pairs, k - int(i), a, b);
      }
      pairlist_set_count(s.pairs, n - int(i));
      set_resume(pane, layer);
      return 1;
    }
  }
  if (h.raster_end) h.raster_end();
  return 0;
}

}  // namespace

namespace visible_detail {
std::recursive_mutex& lock() { return state().mu; }
void collect_image(int order, obj_t* image) {
  state_lock lock(state().mu);
  pairlist_insert_sorted(&state().pairs, order, reinterpret_cast<std::intptr_t>(image));
}
}  // namespace visible_detail

// ---- Start-up, hooks, state -----------------------------------------------------------------

void qtree_init() {
  obj_register_class(CLS_QTREE, int(sizeof(qtree_t)), nullptr);
  visible_state& s = state();
  state_lock lock(s.mu);
  free_list(&s.visible);
  free_list(&s.drawn);
  pairlist_free(&s.pairs);
  obj_list_new_with_capacity(kDrawnSetCapacity, &s.drawn);
  obj_list_new(&s.visible);
  s.resume_pane = nullptr;
  s.resume_layer = nullptr;
}

void visible_set_hooks(const visible_hooks* hooks) { hooks_slot() = hooks ? *hooks : default_hooks(); }
const visible_hooks& visible_get_hooks() { return hooks_slot(); }

void visible_set_query(extent_t q) {
  state_lock lock(state().mu);
  state().query = q;
}
extent_t visible_query() {
  state_lock lock(state().mu);
  return state().query;
}

container_t* visible_list() { return state().visible; }
container_t* drawn_set() { return state().drawn; }
pairlist* image_pairs() { return state().pairs; }

void redraw_resume_point(obj_t** pane, layer_t** layer) {
  state_lock lock(state().mu);
  if (pane) *pane = state().resume_pane;
  if (layer) *layer = state().resume_layer;
}

void visible_list_reset() {
  state_lock lock(state().mu);
  state().resume_pane = nullptr;
  state().resume_layer = nullptr;
  clear_lists();
}

// ---- Drawing ----------------------------------------------------------------------------------

int draw_visible_objects() {
  visible_state& s = state();
  {
    state_lock lock(s.mu);
    if (s.drawn) s.drawn->count = 0;
  }
  obj_t* pane = current_pane();
  layer_t* layer = get_current_layer();
  const int r = layer && layer->priority == 0 ? draw_images(pane, layer)
                                              : draw_vector_objects(pane, layer);
  if (r) return 1;
  visible_list_reset();
  return 0;
}

int layer_draw_invalid_rects() {
  const auto& h = visible_get_hooks();
  obj_t* pane = current_pane();
  layer_t* layer = get_current_layer();
  extent_list_t* rects = h.current_rects ? h.current_rects() : nullptr;
  if (!layer || !rects) return 0;
  const obj_t* grid = layer->graphspace;
  extent_t* first = nullptr;
  while (extent_list_next(grid, rects, &first)) {
    const extent_t r = extent_load(first);
    state().current_rect = r;
    extent_list_subtract(grid, rects, r);
    if (layer->priority == 0 && h.pane_raster_rects)
      extent_list_subtract(grid, h.pane_raster_rects(pane), r);
    const extent_t screen = to_screen_grown(pane, r);
    if (extent_is_empty(screen)) continue;
    set_screen_rect(pane, screen);
    if (!pane_is_ready(pane)) continue;
    visible_set_query(to_world(pane, get_screen_rect(pane)));
    {
      state_lock lock(state().mu);
      clear_lists();
    }
    if (layer->priority == 0 && h.pane_printing && h.pane_printing(pane)) {
      layer_print_images_banded();
      continue;
    }
    {
      // The load task may rebuild or free the tree meanwhile: it is read, and walked,
      // under the graph-space lock.
      graphspace_lock lock(graphspace_mutex());
      if (layer->qtree && layer->qtree->root)
        qtree_query(layer->qtree->root);
      else
        layer_query_all(layer);
    }
    if (draw_visible_objects()) return 1;
  }
  return 0;
}

int redraw_resume() {
  visible_state& s = state();
  obj_t* pane = nullptr;
  layer_t* layer = nullptr;
  extent_t rect{};
  {
    state_lock lock(s.mu);
    pane = s.resume_pane;
    layer = s.resume_layer;
    rect = s.resume_rect;
  }
  if (!pane && !layer) return 0;
  if (!layer) {
    set_gblerr(0);
    visible_list_reset();
    return 0;
  }
  const auto& h = visible_get_hooks();
  if (h.set_current_pane) h.set_current_pane(pane);
  set_current_layer(layer);
  s.current_rect = rect;
  const extent_t screen = to_screen_grown(pane, rect);
  set_screen_rect(pane, screen);
  if (extent_is_empty(screen) || !pane_is_ready(pane)) {
    // Nothing of the rectangle can be drawn any more: the pending drawing is dropped
    // rather than resumed again and again.
    visible_list_reset();
    return 0;
  }
  if (h.begin_drawing) h.begin_drawing(pane);
  const int r = draw_visible_objects();
  if (h.end_drawing) h.end_drawing();
  return r;
}

void layer_print_images_banded() {
  const auto& h = visible_get_hooks();
  obj_t* pane = current_pane();
  layer_t* layer = get_current_layer();
  if (!layer) return;
  std::vector<obj_t*> links;
  const int n = obj_list_count(layer->objects);
  for (int i = 0; i < n; ++i) {
    obj_t* o = layer->objects->elems[i];
    if (o && o->cls == view_access::kLayerLinkClass) links.push_back(o);
  }
  std::stable_sort(links.begin(), links.end(), [](const obj_t* a, const obj_t* b) {
    return view_access::link_order(a) < view_access::link_order(b);
  });
  const extent_t whole = get_screen_rect(pane);
  bool interrupted = false;
  double start = whole.ymin;
  while (!interrupted && start < whole.ymax) {
    const double end = std::min(std::trunc(start + 200.1), whole.ymax);
    // A band that does not advance (coordinates beyond the precision of a double)
    // would never end the banding.
    if (!(end > start)) break;
    set_screen_rect(pane, extent_t{whole.xmin, whole.xmax, start, end, whole.step});
    if (pane_is_ready(pane)) {
      if (h.raster_begin) h.raster_begin();
      for (obj_t* link : links) {
        if (view_access::link_value(link) != 0) continue;
        if (h.raster_draw && h.raster_draw(view_access::link_object(link)) != 0) {
          interrupted = true;
          break;
        }
      }
      if (h.raster_end) h.raster_end();
    }
    start = end;
  }
  set_screen_rect(pane, whole);
}
