// What the frame does to the current map window: zoom in and out by the keys' factors,
// fit to the data, pan with the keys, print, and the frame title that the redraw
// command refreshes first.
#include <cstdio>

#include "geodesy/geodesy_records.h"
#include "geodesy/xform_records.h"
#include "gps/navig.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/view_records.h"
#include "map/view_set.h"
#include "shell/frame.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"

namespace {
constexpr int kBarVertical = 1;
constexpr int kBarHorizontal = 2;

void zoom_by(double factor) {
  mapwin_t* win = get_current_mapwin();
  view_set_image_scale(win, factor, factor, 1);
  mapwin_request_redraw(win);
}

void pan(int bar, int code) { mapwin_scroll_cmd(get_current_mapwin(), bar, code); }
}  // namespace

void zoom_in() { zoom_by(kZoomInFactor); }
void zoom_out() { zoom_by(kZoomOutFactor); }

void zoom_global() {
  mapwin_t* win = get_current_mapwin();
  view_fit_all(win, 0.0);
  mapwin_request_redraw(win);
}

void pan_up() { pan(kBarVertical, 1); }
void pan_down() { pan(kBarVertical, 2); }
void pan_page_up() { pan(kBarVertical, 5); }
void pan_page_down() { pan(kBarVertical, 6); }
void pan_home() { pan(kBarVertical, 9); }
void pan_end() { pan(kBarVertical, 10); }
void pan_left() { pan(kBarHorizontal, 3); }
void pan_right() { pan(kBarHorizontal, 4); }

void post_print_command(bool /*shift*/, bool ctrl) {
  if (!ctrl) return;
  mapwin_t* win = get_current_mapwin();
  char text[32];
  std::snprintf(text, sizeof text, "%d 0", win ? win->id : 0);
  post_command(8, 0, text);
}

const char* georef_system_name(const georef_t* g) {
  if (!g) return "";
  const char* name = nullptr;
  if (g->refertype == GEOREF_GEOGRAPHIC && g->datum)
    name = g->datum->name;
  else if (g->refertype == GEOREF_PROJECTED && g->projection)
    name = g->projection->name;
  return name ? name : "";
}

void update_main_title() {
  if (!navig_title_active()) {
    main_set_title_text(app_name);
    graphspace_t* gs = get_current_graphspace();
    main_set_status_part(georef_system_name(gs ? gs->georef : nullptr));
  }
  busy_reset();
}
