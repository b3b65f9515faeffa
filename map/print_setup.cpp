// The print command: the printer chosen through the set-up dialog, the printed area
// measured on the screen window, and the printer page window set up to show what the
// screen shows, drawn by one redraw pass that does not give way.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>

#include "core/command_hooks.h"
#include "core/index.h"
#include "map/bitmap_record.h"
#include "map/draw_gdi.h"
#include "map/extent_map.h"
#include "map/mapwin.h"
#include "map/print.h"
#include "map/raster_display.h"
#include "map/redraw.h"
#include "map/view_set.h"

namespace {

std::mutex g_hooks_mutex;
print_dialog_hooks g_hooks;

// The document of the page being printed: one print at a time, and the page's pass
// reads it until the document ends.
print_doc_info g_doc{nullptr, nullptr};
std::string g_doc_name;

print_dialog_hooks dialog_hooks() {
  std::lock_guard<std::mutex> lock(g_hooks_mutex);
  return g_hooks;
}

// The area the window shows of the data, in screen pixels: (0, 0) when it shows none.
void printed_area(mapwin_t* win, graphspace_t* gs, extent_t* world, double* w, double* h) {
  *w = *h = 0;
  extent_t shown{};
  screen_to_world_extent(mapwin_mapping(win), win->pane->page, &shown);
  extent_t data = gs->extent;
  if (!extent_intersect(&shown, data)) return;
  extent_t screen{};
  world_to_screen_extent(mapwin_mapping(win), shown, &screen);
  *world = shown;
  *w = extent_width(screen);
  *h = extent_height(screen);
}

// The page pane shows the screen pane's layers, colours and axis direction, with its
// text and symbol sizes scaled to the printer's resolution and the dialog's factors.
void dress_page(mapwin_t* page, mapwin_t* win, const printer_entry_t* entry,
                const double factors[2]) {
  pane_t* screen = win->pane;
  for (int i = 0; i < obj_list_count(screen->layer_index); ++i) {
    layer_t* layer = nullptr;
    obj_list_get(screen->layer_index, i, &layer);
    if (layer && pane_layer_position(page->pane, layer) < 0) mapwin_add_layer(page, layer);
  }
  page->monochrome = win->monochrome;
  page->mono_colour = win->mono_colour;
  page->inverse = win->inverse;
  page->pane->printing = 1;
  page->pane->resolution = entry->quality;
  mapwin_set_orientation(page, mapwin_get_orientation(win));
  const double q = entry->quality < 1 ? -entry->quality : entry->quality * 0.01;
  page->pane->text_scale = q * factors[0];
  page->pane->symbol_scale = q * factors[1];
}

// Resolution assumed for an image that gives none.
constexpr int kDefaultImageDpi = 72;

// The image of the pane's first layer when that is the image layer, else null.
bitmap_t* first_layer_image(const pane_t* pane) {
  graphspace_lock lock(graphspace_mutex());
  layer_t* layer = nullptr;
  obj_list_get(pane->layer_index, 0, &layer);
  if (!layer || layer->priority != 0 || !layer->objects) return nullptr;
  for (int i = 0; i < obj_list_count(layer->objects); ++i) {
    obj_t* o = nullptr;
    obj_list_get(layer->objects, i, &o);
    if (o && o->cls == CLS_LAYER_LINK) o = static_cast<layer_link_t*>(o)->object;
    if (o && o->cls == CLS_BITMAP) return static_cast<bitmap_t*>(o);
  }
  return nullptr;
}

// The image's size in inches: its pixels over the resolutions the dialog confirmed
// (which open at the image's own).
void nominal_size(const bitmap_t* image, const int res[2], double* width, double* height) {
  extent_t pixels{};
  bitmap_extent(image, &pixels);
  const int xres = res[0] > 0 ? res[0] : kDefaultImageDpi;
  const int yres = res[1] > 0 ? res[1] : kDefaultImageDpi;
  *width = extent_width(pixels) / xres;
  *height = extent_height(pixels) / yres;
}

// The dialog, for an image print when asked and the window shows an image first; the
// nominal size (0 when none) of an image printed at a resolution without full page.
int choose_for(mapwin_t* win, int image_option, double factors[2], printer_entry_t** entry,
               double* nominal_w, double* nominal_h) {
  *nominal_w = *nominal_h = 0;
  bitmap_t* image = image_option ? first_layer_image(win->pane) : nullptr;
  if (!image) return print_choose_printer(win, factors, nullptr, nullptr, entry);
  int res[2] = {image->xres, image->yres};
  int full_page = 0;
  if (!print_choose_printer(win, factors, res, &full_page, entry)) return 0;
  if ((*entry)->quality > 0 && !full_page) nominal_size(image, res, nominal_w, nominal_h);
  return 1;
}

void set_document(mapwin_t* page, const mapwin_t* win) {
  g_doc_name = win->title && *win->title ? win->title : "Map";
  g_doc = print_doc_info{g_doc_name.c_str(), nullptr};
  page->doc_info = &g_doc;
}

}  // namespace

void print_set_dialog_hooks(const print_dialog_hooks* hooks) {
  std::lock_guard<std::mutex> lock(g_hooks_mutex);
  g_hooks = hooks ? *hooks : print_dialog_hooks{};
}

void print_install_page_offsets() { get_raster_display_hooks().page_offsets = draw_page_offsets; }

int print_choose_printer(mapwin_t* win, double factors[2], int* image_res, int* full_page,
                         printer_entry_t** printer) {
  *printer = nullptr;
  printer_list_load();
  const print_dialog_hooks hooks = dialog_hooks();
  if (!hooks.run) return 0;
  container_t* index = nullptr;
  printer_index_default_first(&index);
  if (!index) return 0;
  printer_entry_t* chosen = nullptr;
  quality_entry_t* quality = nullptr;
  int ok = obj_list_count(index) > 0 &&
           hooks.run(win, index, &chosen, &quality, &factors[0], &factors[1],
                     image_res ? &image_res[0] : nullptr, image_res ? &image_res[1] : nullptr,
                     full_page);
  free_obj(reinterpret_cast<obj_t**>(&index));
  if (!ok || !chosen) return 0;
  // No resolution chosen keeps the printer's own.
  if (quality) chosen->quality = quality->value;
  *printer = chosen;
  return 1;
}

int print_setup() {
  const char* text = core_current_task_text();
  long id = 0;
  int image_option = 0;
  if (!text || std::sscanf(text, "%ld %d", &id, &image_option) < 1) return 0;
  mapwin_t* win = nullptr;
  obj_find_in_class(CLS_MAPWIN, int(id), reinterpret_cast<obj_t**>(&win));
  graphspace_t* gs = nullptr;
  if (!win || !win->pane || !mapwin_get_graphspace(win, &gs)) return 0;
  double factors[2] = {1.0, 1.0};
  printer_entry_t* entry = nullptr;
  double nominal_w = 0, nominal_h = 0;
  if (!choose_for(win, image_option, factors, &entry, &nominal_w, &nominal_h)) return 0;
  extent_t world{};
  double w = 0, h = 0;
  printed_area(win, gs, &world, &w, &h);
  mapwin_t* page = nullptr;
  if (print_page_create(&page, entry, w, h, nominal_w, nominal_h) != 0) return 0;
  if (!mapwin_attach_graphspace(page, gs)) {
    plat::delete_dc(page->dc);
    page->dc = nullptr;
    obj_t* o = page;
    free_obj(&o);
    set_current_mapwin(win);
    return 0;
  }
  dress_page(page, win, entry, factors);
  set_document(page, win);
  view_zoom_extent(page, world);
  // The page is current only while the pass draws it.
  set_current_mapwin(win);
  mapwin_request_redraw_now(page);
  return 1;
}
