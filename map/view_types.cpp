// Registration of the view classes and the creation of map windows.
//
// The graph space and layer classes are registered here with the rest of the view
// classes, at the size of their records (map/graphspace.h) and with the layer's
// destructor.
#include "core/error.h"
#include "map/graphspace.h"
#include "map/view_records.h"

static_assert(sizeof(graphspace_t) >= 8 && sizeof(layer_t) >= 8);

void mapwin_type_register() { obj_register_class(CLS_MAPWIN, int(sizeof(mapwin_t)), nullptr); }

void view_types_register() {
  mapwin_type_register();
  obj_register_class(CLS_PANE, int(sizeof(pane_t)), nullptr);
  obj_register_class(CLS_GRAPHSPACE, int(sizeof(graphspace_t)), nullptr);
  obj_register_class(CLS_LAYER, int(sizeof(layer_t)), nullptr);
  obj_set_free_callback(CLS_LAYER, layer_destroy);
  obj_register_class(CLS_LAYER_LINK, int(sizeof(layer_link_t)), nullptr);
}

mapwin_t* mapwin_new(mapwin_t** out, int x, int y, int width, int height,
                     uint32_t background, int depth, int scrollbars) {
  mapwin_t* win = nullptr;
  obj_new_registered(CLS_MAPWIN, &win);
  if (out) *out = win;
  if (!win || get_gblerr() != 0) return win;
  win->x = x;
  win->y = y;
  win->width = width;
  win->height = height;
  win->background = background;
  win->depth = depth;
  win->scrollbars = scrollbars;
  win->mono_colour = colour_word(255, 255, 255);
  return win;
}

screen_mapping mapwin_mapping(const mapwin_t* win) { return win ? win->map : screen_mapping{}; }

screen_mapping pane_mapping(const pane_t* pane) { return pane ? pane->map : screen_mapping{}; }
