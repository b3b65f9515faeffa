// The view records as the quadtree and the graphic index read them: layer links, the
// pane's mapping and rectangles, and the pixels of a bitmap. Only the view headers are
// in sight here (see quadtree_internal.h).
#include <cstddef>

#include "map/bitmap_record.h"
#include "map/extent_map.h"
#include "map/quadtree_internal.h"
#include "map/view_records.h"

namespace view_access {
namespace {

const layer_link_t* as_link(const obj_t* o) {
  return o && o->cls == CLS_LAYER_LINK ? static_cast<const layer_link_t*>(o) : nullptr;
}
pane_t* as_pane(obj_t* o) { return o && o->cls == CLS_PANE ? static_cast<pane_t*>(o) : nullptr; }

}  // namespace

int link_order(const obj_t* link) {
  const layer_link_t* l = as_link(link);
  return l ? l->order : 0;
}
obj_t* link_object(const obj_t* link) {
  const layer_link_t* l = as_link(link);
  return l ? l->object : nullptr;
}
int link_value(const obj_t* link) {
  const layer_link_t* l = as_link(link);
  return l ? l->value : 0;
}

void pane_world_to_screen(obj_t* pane, extent_t world, extent_t* out) {
  pane_t* p = as_pane(pane);
  if (!p) {
    *out = world;
    out->step = 0;
    return;
  }
  world_to_screen_extent(pane_mapping(p), world, out);
}

void pane_screen_to_world(obj_t* pane, extent_t screen, extent_t* out) {
  pane_t* p = as_pane(pane);
  if (!p) {
    *out = screen;
    out->step = 0;
    return;
  }
  screen_to_world_extent(pane_mapping(p), screen, out);
}

extent_t* pane_current_rect(obj_t* pane) {
  pane_t* p = as_pane(pane);
  return p ? reinterpret_cast<extent_t*>(reinterpret_cast<char*>(p) + offsetof(pane_t, current))
           : nullptr;
}

int pane_page_extent(obj_t* pane, extent_t* out) {
  pane_t* p = as_pane(pane);
  if (!p) return 0;
  *out = pane_page(p);
  return 1;
}

int pane_printing(obj_t* pane) {
  pane_t* p = as_pane(pane);
  return p ? p->printing : 0;
}

extent_list_t* pane_raster_rects(obj_t* pane) {
  pane_t* p = as_pane(pane);
  return p ? p->raster_rects : nullptr;
}

int image_pixels(obj_t* image, extent_t world, extent_t* out, int* width, int* height) {
  if (!image || image->cls != CLS_BITMAP) return 0;
  const bitmap_t* bm = static_cast<const bitmap_t*>(image);
  georef_world_to_image(bm, world, out);
  *width = bm->width;
  *height = bm->height;
  return 1;
}

}  // namespace view_access
