// The view records: map windows (class 20), panes (class 21) and layer links (class
// 10), the registration of the view classes, and the current map window.
//
// A map window is one drawing surface (the scrolled map child window of the frame, a
// printer page, or any window object the framework manages). A pane maps one map
// window onto one graph space: the world-to-screen origin and scales, the page
// rectangle, the layers shown and the rectangles still to redraw. The screen mapping
// of both is screen = (world + origin) * scale, axis by axis (extent_map.h).
//
// The records are packed object-store records without attribute descriptors; pointer
// fields are 8 bytes. view_types.cpp registers the classes and creates map windows;
// view_current.cpp keeps the current map window.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/core_classes.h"
#include "core/object.h"
#include "geodesy/extent.h"
#include "platform/gdi/gdi.h"
#include "platform/ui/types.h"

struct georef_t;
struct pane_t;

constexpr int CLS_LAYER_LINK = 10;
constexpr int CLS_MAPWIN = 20;
constexpr int CLS_PANE = 21;
constexpr int CLS_GRAPHSPACE = 22;
constexpr int CLS_LAYER = 23;

#pragma pack(push, 1)
// The four numbers of a screen mapping: screen = (world + origin) * scale; a negative
// scale flips its axis. Packed, so it can be read out of any record.
struct screen_mapping {
  double origin_x, origin_y;
  double scale_x, scale_y;  // pixels per world unit
};

// Class 10: ties one displayed image object to its layer's folder.
struct layer_link_t : obj_t {
  int32_t word;             // not used by the view routines
  int32_t order;            // the image's drawing order
  obj_t* object;
  obj_t* folder;
  int32_t value;            // 1 hides the image, 0 shows it
  int32_t display_words[10];  // words of the raster display
};

// Class 20: a map window.
struct mapwin_t : obj_t {
  plat::Wnd wnd;            // window of the surface (null for a printer page)
  plat::Palette palette;    // null when the surface needs none
  plat::Dc dc;              // device context being drawn into
  plat::Dc back_dc;         // back buffer of a screen window, or null
  void* doc_info;           // document information while printing
  plat::Brush brush;        // background brush
  plat::Brush inverse_brush;
  int32_t depth;            // colour depth, bits per pixel
  int32_t x, y;             // position
  int32_t width, height;    // pixels
  int32_t fill_first;       // clear an invalid rectangle before redrawing it
  uint32_t background;      // colour word of the two brushes
  int32_t monochrome;       // images in shades of `mono_colour`
  uint32_t mono_colour;     // colour word (white at creation)
  int32_t inverse;          // inverse display
  int32_t brush_org_x, brush_org_y;  // each in 0..7
  pane_t* pane;             // null until a graph space is attached
  int32_t print_error;
  char* title;              // owned strings: title, status part, status text
  char* status_part;
  char* status_text;
  int32_t timed_status;
  int32_t texts_changed;
  int32_t scroll_dx, scroll_dy;  // pending scroll in pixels
  screen_mapping map;       // origin and scales; scale y carries the axis direction
  int32_t redraw_needed;
  int32_t axis_down;        // 1: y grows downwards
  obj_t* graphspace;        // the graph space shown
  extent_list_t* invalid;   // invalid rectangles, world coordinates
  int32_t scrollbars;       // the window has scroll bars to keep in step
  double status_start;      // start time of a timed status text (packed date), 0 none
};

// Class 21: a pane.
struct pane_t : obj_t {
  screen_mapping map;       // copy of the window's mapping while drawing
  mapwin_t* mapwin;
  double page_width, page_height;  // pixels
  extent_t current;         // screen rectangle being drawn now
  int32_t printing;
  int32_t resolution;       // dots per inch (0: default)
  extent_t page;            // 0..width, 0..height
  container_t* layers;      // layer list
  obj_t* graphspace;
  container_t* layer_index; // sorted index of class 23 by priority
  container_t* layer_rects; // per-layer extent lists, parallel to the index
  extent_list_t* background_rects;
  extent_list_t* raster_rects;
  georef_t* georef;
  double text_scale;        // 1.0 at creation
  double symbol_scale;
};
#pragma pack(pop)

static_assert(sizeof(screen_mapping) == 32);
static_assert(sizeof(layer_link_t) == 76);
static_assert(offsetof(mapwin_t, wnd) == 8 && offsetof(mapwin_t, depth) == 64);
static_assert(offsetof(mapwin_t, pane) == 112 && offsetof(mapwin_t, map) == 164);
static_assert(sizeof(mapwin_t) == 232);
static_assert(offsetof(pane_t, mapwin) == 40 && offsetof(pane_t, page) == 112);
static_assert(sizeof(pane_t) == 224);

// A colour word: red, green, blue and a fourth byte 1 meaning "set".
constexpr uint32_t colour_word(int r, int g, int b) {
  return uint32_t(r & 255) | uint32_t(g & 255) << 8 | uint32_t(b & 255) << 16 | 1u << 24;
}

// ---- Registration ---------------------------------------------------------------------
// Registers class 20 (no free routine).
void mapwin_type_register();
// Registers classes 20, 21, 22, 23 (at the size of the records of map/graphspace.h,
// the layer with its destructor) and 10.
void view_types_register();

// ---- Map windows --------------------------------------------------------------------------
// A new map window with these values and a white monochrome-image colour, stored at
// *out (null when it could not be made). Returns it.
mapwin_t* mapwin_new(mapwin_t** out, int x, int y, int width, int height,
                     uint32_t background, int depth, int scrollbars);
// The window's mapping (all zero for null).
screen_mapping mapwin_mapping(const mapwin_t* win);
screen_mapping pane_mapping(const pane_t* pane);
// The pane's page extent (all zero for null). On the thread running a redraw pass, the
// copy that pass took at its start (pane_page_copies, redraw.h); elsewhere the page read
// under the lock that a resize takes to change it.
extent_t pane_page(const pane_t* pane);

// ---- The current map window ---------------------------------------------------------------
// Read by the user-interface thread and the redraw task: an atomic hand-over.
mapwin_t* get_current_mapwin();
void set_current_mapwin(mapwin_t* win);
