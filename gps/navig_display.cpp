// The navigation display: the position markers on two layers of their own, a navigation
// track per display start on the track layer, the status line and the view that follows
// the position. Runs on the user-interface thread (the display step of command 10), except
// navig_display_start and navig_title, which the live reader calls when it connects.
//
// The display's objects (the navigation list with its tracks, the marker list, the layers)
// are made once and kept while the program runs. The display state is kept under one
// recursive lock, since display starts come from the reader thread while the display step
// runs on the user-interface thread; the running flag and the title flag are atomics that
// any thread may read.
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <algorithm>

#include "core/error.h"
#include "core/object.h"
#include "core/obj_list.h"
#include "core/socket.h"
#include "geodesy/georef.h"
#include "geodesy/geodesy_records.h"
#include "gps/navig.h"
#include "gps/navig_internal.h"
#include "gps/nmea_import_internal.h"
#include "map/cursor_system.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/view_set.h"

namespace {

struct marker_look {
  uint32_t colour;
  int32_t thickness;
};
constexpr marker_look kMarkers[kNavigMarkerCount] = {
    {gps_rgb(250, 250, 250), 7}, {gps_rgb(250, 250, 250), 6}, {gps_rgb(250, 0, 0), 5},
    {gps_rgb(250, 0, 0), 4},     {gps_rgb(250, 0, 0), 3},     {gps_rgb(250, 0, 0), 2},
    {gps_rgb(250, 0, 0), 1}};

std::atomic<int> g_running{0};
std::atomic<int> g_title_active{0};

// The display's objects; under g_state.
struct display_state {
  container_t* list = nullptr;          // navigation list
  folder_t* track_folder = nullptr;
  layer_t* track_layer = nullptr;
  navseg_t* track = nullptr;            // the current navigation track
  dsegpoint_t* track_style = nullptr;   // null: no navigation track
  gpspos_t* last = nullptr;             // last point appended
  container_t* marker_list = nullptr;
  folder_t* marker_folders[2] = {nullptr, nullptr};
  layer_t* marker_layers[2] = {nullptr, nullptr};
  geopoint_t* markers[kNavigMarkerCount] = {};
  int last_event = 2;
};
display_state g_d;
std::recursive_mutex g_state;

void menu_enable_all(int enabled) {
  navig_ui_hooks& ui = get_navig_ui_hooks();
  if (!ui.menu_enable) return;
  for (unsigned id = kNavigGpsMenuFirst; id <= kNavigGpsMenuLast; ++id) ui.menu_enable(id, enabled);
  ui.menu_enable(kNavigLocaliseMenuItem, enabled);
}

void cursor_reset() {
  if (get_navig_ui_hooks().cursor_reset) get_navig_ui_hooks().cursor_reset();
}

int track_option_on() {
  navig_ui_hooks& ui = get_navig_ui_hooks();
  return ui.track_option ? ui.track_option() : 1;
}

graphspace_t* window_space(mapwin_t* win) {
  graphspace_t* gs = nullptr;
  if (win) mapwin_get_graphspace(win, &gs);
  return gs ? gs : graphspace_current();
}

// A folder on `list` at `priority`, made a layer of the graph space and of the window.
folder_t* folder_layer(container_t* list, int priority, graphspace_t* gs, mapwin_t* win,
                       layer_t** layer) {
  folder_t* folder = nullptr;
  folder_get_or_create(nullptr, list, priority, &folder);
  if (!folder) return nullptr;
  folder->layer = priority;
  if (gs) {
    graphspace_add_folder(folder, gs, 0, layer);
    if (*layer && win) mapwin_add_layer(win, *layer);
  }
  return folder;
}

// The track-point style of a navigation track: the default style of a track segment
// whose points are the track's points.
dsegpoint_t* track_style_for(navseg_t* track) {
  trackseg_t seg{};
  seg.cls = CLS_TRACKSEG;
  seg.sons = track->sons;
  obj_t* style = nullptr;
  gpspos_style_create(g_d.list, &seg, &style, 1.0);
  if (!style) {
    set_gblerr(0);
    return nullptr;
  }
  dsegpoint_t* s = static_cast<dsegpoint_t*>(style);
  s->vlinkthick = 6;
  s->contsrc = track->sons;
  return s;
}

void extent_at(double x, double y, extent_t* e) { *e = extent_t{x, x, y, y, 10.0}; }

// (x, y) of the markers' georeference in graph units.
void to_view(double* x, double* y) {
  if (g_d.marker_layers[1]) layer_to_graph(g_d.marker_layers[1], x, y);
}

void marker_indexes(graphspace_t* gs) {
  if (!gs) return;
  for (layer_t* l : g_d.marker_layers)
    if (l) graphspace_update_layer(gs, l, 0);
}

int first_markers(graphspace_t* gs, mapwin_t* win, georef_t* georef, double x, double y) {
  obj_list_create(&g_d.marker_list);
  if (!g_d.marker_list) return 0;
  if (georef) {
    georef_t* copy = nullptr;
    georef_create(g_d.marker_list, &copy);
    if (copy) obj_copy(georef, copy);
  }
  g_d.marker_folders[0] =
      folder_layer(g_d.marker_list, kNavigMarkerPriorityLow, gs, win, &g_d.marker_layers[0]);
  g_d.marker_folders[1] =
      folder_layer(g_d.marker_list, kNavigMarkerPriorityHigh, gs, win, &g_d.marker_layers[1]);
  obj_t* style = nullptr;
  // Each marker is a filled disc (shape 1, solid motif 1) of its own colour and thickness.
  geopoint_style_create(g_d.marker_list, &style, nullptr, NULL_INT, 1, 1, 1.0);
  for (int i = 0; i < kNavigMarkerCount; ++i) {
    obj_t* o = nullptr;
    alloc_obj(CLS_GEOPOINT, &o);
    if (!o) return 0;
    geopoint_t* m = static_cast<geopoint_t*>(o);
    m->coords = gps_point_t{x, y, 0.0f};
    m->colour = kMarkers[i].colour;
    m->thickness = kMarkers[i].thickness;
    obj_list_append(g_d.marker_list, m);
    g_d.markers[i] = m;
  }
  set_gblerr(0);
  // The layers were made before their style and objects: their lists of drawn objects
  // are prepared now, then their graphic indexes. They show the positions in the port's
  // georeference (a datum change of the port reaches them later through the same call).
  for (layer_t* l : g_d.marker_layers) {
    if (!l) continue;
    if (gs && georef) view_set_georef(gs, l, georef);
    layer_collect_styles(l);
  }
  set_gblerr(0);
  marker_indexes(gs);
  double vx = x, vy = y;
  to_view(&vx, &vy);
  if (win) view_set(win, vx, vy, 1.0, 1.0, 1);
  if (gs && g_d.marker_layers[1]) view_redraw_object(g_d.marker_layers[1], g_d.markers[0]);
  if (win) mapwin_request_redraw(win);
  return 1;
}

const char* space_system_name(graphspace_t* gs) {
  if (!gs || !gs->georef) return nullptr;
  const georef_t* g = gs->georef;
  if (g->refertype == GEOREF_GEOGRAPHIC && g->datum) return g->datum->name;
  if (g->refertype == GEOREF_PROJECTED && g->projection) return g->projection->name;
  return nullptr;
}

// Metres truncated toward zero; a value beyond the integers (a sentence may carry any
// number of digits) is held at the nearest end, no value at all reads 0.
int whole_metres(double metres) {
  if (std::isnan(metres)) return 0;
  if (metres >= 2147483647.0) return 2147483647;
  if (metres <= -2147483647.0) return -2147483647;
  return int(std::trunc(metres));
}

}  // namespace

// ---- State ----------------------------------------------------------------------------------
void navig_state_on() {
  g_running.store(1, std::memory_order_release);
  menu_enable_all(0);
}

void navig_display_stop() {
  main_set_status_text(nullptr, "", 0);
  cursor_reset();
  g_title_active.store(0, std::memory_order_release);
  g_running.store(0, std::memory_order_release);
  menu_enable_all(1);
}

int navig_is_running() { return g_running.load(std::memory_order_acquire); }
int navig_title_active() { return g_title_active.load(std::memory_order_acquire); }

void navig_layer_get(layer_t** out) {
  std::lock_guard<std::recursive_mutex> lock(g_state);
  *out = g_d.track_layer;
}

void navig_track_folder(obj_t** out) {
  std::lock_guard<std::recursive_mutex> lock(g_state);
  *out = g_d.track_folder;
}

container_t* navig_list() {
  std::lock_guard<std::recursive_mutex> lock(g_state);
  return g_d.list;
}
container_t* navig_marker_list() {
  std::lock_guard<std::recursive_mutex> lock(g_state);
  return g_d.marker_list;
}
obj_t* navig_current_track() {
  std::lock_guard<std::recursive_mutex> lock(g_state);
  return g_d.track_style ? g_d.track : nullptr;
}

int navig_track_points() {
  std::lock_guard<std::recursive_mutex> lock(g_state);
  return g_d.track_style && g_d.track ? obj_list_count(g_d.track->sons) : 0;
}
int navig_track_count() {
  std::lock_guard<std::recursive_mutex> lock(g_state);
  return g_d.list ? obj_list_count_of_class(g_d.list, CLS_NAVSEG) : 0;
}

void navig_title(const char* text) {
  g_title_active.store(1, std::memory_order_release);
  main_set_title_text("Navigation");
  main_set_status_part("");
  main_set_status_text(nullptr, text ? text : "", 0);
  cursor_reset();
}

// ---- Display start and events --------------------------------------------------------------
int navig_display_start(gpsport_t* port, mapwin_t* win) {
  std::lock_guard<std::recursive_mutex> lock(g_state);
  if (!win) win = get_current_mapwin();
  graphspace_t* gs = window_space(win);
  if (gs && port && port->georef) {
    int result = 1;
    system_compat_check(gs, port->georef, 0, &result);
    set_gblerr(0);
    if (result == 0) return 0;
  }
  if (!g_d.list) {
    obj_list_create(&g_d.list);
    if (!g_d.list) return 0;
    if (port && port->georef) {
      georef_t* copy = nullptr;
      georef_create(g_d.list, &copy);
      if (copy) obj_copy(port->georef, copy);
    }
    g_d.track_folder = folder_layer(g_d.list, kNavigTrackPriority, gs, win, &g_d.track_layer);
    set_gblerr(0);
  }
  obj_t* o = nullptr;
  alloc_obj(CLS_NAVSEG, &o);
  if (o) {
    navseg_t* track = static_cast<navseg_t*>(o);
    container_t* sons = nullptr;
    obj_list_create(&sons);
    track->sons = sons;
    obj_list_append(g_d.list, track);
    g_d.track = track;
    g_d.track_style = track->sons ? track_style_for(track) : nullptr;
  }
  set_gblerr(0);
  navig_title(port ? (port->kind == GPSPORT_USB ? "Garmin USB" : port->display_name) : "");
  g_d.last = nullptr;
  return 1;
}

void navig_event(mapwin_t* win, gpsport_t* port, int event) {
  std::lock_guard<std::recursive_mutex> lock(g_state);
  if (event == 1) navig_display_start(port, win);
  if (event == 2) g_d.track_style = nullptr;
}

void navig_display_step(void*) {
  std::lock_guard<std::mutex> hold(navig_display_lock());
  std::lock_guard<std::recursive_mutex> lock(g_state);
  gpsport_t* port = navig_current_port();
  nmea_fix* fix = navig_take_handed();
  mapwin_t* win = get_current_mapwin();
  if (port) {
    const int event = navig_take_event();
    if (event) {
      if (event == 2) {
        g_d.last_event = 2;
        // The reader owns the socket: it forgets the sender itself before its next read.
        if (port->kind == GPSPORT_UDP) navig_request_forget_sender();
      }
      navig_event(win, port, event);
    }
  }
  if (port && fix && fix->valid.position) {
    if (g_d.last_event == 2) {
      navig_event(win, port, 1);
      g_d.last_event = 1;
    }
    navig_show_fix(win, port, fix);
  }
  navig_give_back();
}

void navig_display_task() { navig_display_step(nullptr); }

// ---- Markers --------------------------------------------------------------------------------
int navig_marker_update(extent_t* e, mapwin_t* win, graphspace_t* gs, georef_t* georef,
                        double x, double y) {
  if (!g_d.marker_list) return first_markers(gs, win, georef, x, y);
  double vx = x, vy = y;
  to_view(&vx, &vy);
  const int moved = win ? view_set(win, vx, vy, 1.0, 1.0, 1) : 0;
  double ox = g_d.markers[0] ? g_d.markers[0]->coords.x : x;
  double oy = g_d.markers[0] ? g_d.markers[0]->coords.y : y;
  to_view(&ox, &oy);
  if (moved) {
    extent_at(ox, oy, e);
    if (gs) view_redraw_rect(gs, *e);
  }
  for (geopoint_t* m : g_d.markers)
    if (m) m->coords = gps_point_t{x, y, m->coords.z};
  marker_indexes(gs);
  if (!moved) return 0;
  extent_at(vx, vy, e);
  if (gs) view_redraw_rect(gs, *e);
  *e = extent_t{std::fmin(vx, ox), std::fmax(vx, ox), std::fmin(vy, oy), std::fmax(vy, oy), 10.0};
  return 1;
}

// ---- Status text ----------------------------------------------------------------------------
void navig_status_text(const nmea_fix* fix, double speed, double altitude, int32_t used,
                       int32_t in_view, const char* system, char* out, int size) {
  if (size <= 0) return;
  out[0] = 0;
  int n = 0;
  auto add = [&](const char* fmt, auto value) {
    if (n >= size - 1) return;
    const int w = std::snprintf(out + n, size_t(size - n), fmt, value);
    if (w > 0) n = std::min(size - 1, n + w);
  };
  if (fix->valid.speed) add("%.2f km/h", speed);
  if (fix->valid.altitude) add("  alt %d m  sat ", whole_metres(altitude));
  if (!fix->valid.satellites) in_view = 0;
  if (in_view != NULL_INT && used != NULL_INT) add("%d", used);
  if (used != NULL_INT && in_view != NULL_INT) add("/%d", in_view);
  if (system && *system) add("  %s", system);
}

// ---- One fix --------------------------------------------------------------------------------
void navig_show_fix(mapwin_t* win, gpsport_t* port, const nmea_fix* fix) {
  std::lock_guard<std::recursive_mutex> lock(g_state);
  if (!win) win = get_current_mapwin();
  graphspace_t* gs = window_space(win);
  gpspos_t point{};
  point.cls = CLS_GPSPOS;
  nmea_fix_to_point(fix, &point, nullptr, false, nullptr);
  int32_t in_view = NULL_INT, used = NULL_INT;
  if (point.navig) {
    const navigation_t* nav = static_cast<const navigation_t*>(point.navig);
    if (fix->valid.satellites) {
      in_view = nav->nbsatsinvue;
      used = nav->nbsatsused;
    }
  }
  if (fix->valid.satellites) {
    if (fix->satellites != NULL_INT) in_view = fix->satellites;
    if (fix->satellites_used != NULL_INT) used = fix->satellites_used;
  }
  navig_datum_update(port, fix);
  if (port->datum_changed.exchange(0, std::memory_order_acq_rel)) {
    layer_t* order[3] = {g_d.marker_layers[0], g_d.track_layer, g_d.marker_layers[1]};
    for (layer_t* l : order)
      if (l && gs) view_set_georef(gs, l, port->georef);
    set_gblerr(0);
  }
  const double x = point.coords.x, y = point.coords.y;
  extent_t e{};
  const int moved = navig_marker_update(&e, win, gs, port->georef, x, y);

  char text[200];
  navig_status_text(fix, point.speed, point.altitude, used, in_view, space_system_name(gs), text,
                    int(sizeof text));
  main_set_title_text("Navigation");
  main_set_status_part(text);
  main_set_status_text(nullptr, port->display_name ? port->display_name : "", 0);
  g_title_active.store(1, std::memory_order_release);
  cursor_reset();

  gpspos_t* made = nullptr;
  if (g_d.track_style && g_d.track &&
      (!g_d.last || g_d.last->coords.x != x || g_d.last->coords.y != y)) {
    obj_t* o = nullptr;
    alloc_obj(CLS_GPSPOS, &o);
    if (o) {
      made = static_cast<gpspos_t*>(o);
      const int32_t id = made->id;
      const int32_t cls = made->cls;
      gpspos_t copy = point;
      copy.navig = nullptr;
      copy.idsats = nullptr;
      copy.dgps = nullptr;
      copy.raw = nullptr;
      std::memcpy(static_cast<void*>(made), &copy, sizeof copy);
      made->id = id;
      made->cls = cls;
      made->father = g_d.track;
      obj_list_append(g_d.list, made);
      obj_list_append(g_d.track->sons, made);
      if (g_d.last && gs && g_d.track_layer) graphspace_update_layer(gs, g_d.track_layer, 0);
    }
    set_gblerr(0);
  }
  if (g_d.last && track_option_on() && g_d.track_style) {
    const uint32_t colour = gpsobj_default_colour(CLS_GPSPOS);
    if (g_d.track_style->vcolour != colour) {
      g_d.track_style->vcolour = colour;
      if (gs && g_d.track_layer) view_redraw_object(g_d.track_layer, g_d.track_style);
      if (!moved) {
        if (win) mapwin_request_redraw(win);
      } else if (gs) {
        view_redraw_rect(gs, e);
      }
    } else if (moved && gs) {
      view_redraw_rect(gs, e);
    } else if (win) {
      mapwin_request_redraw(win);
    }
  }
  obj_t* nav = point.navig;  // the record is packed: free through a local
  if (nav) free_obj(&nav);
  if (made) g_d.last = made;
}

void navig_display_reset() {
  std::lock_guard<std::recursive_mutex> lock(g_state);
  // The folders share the lists (both marker folders show the marker list): the lists
  // are freed once, here, not by the folders.
  for (folder_t* f : {g_d.track_folder, g_d.marker_folders[0], g_d.marker_folders[1]}) {
    if (!f) continue;
    f->sot = nullptr;
    obj_t* o = f;
    free_obj(&o);
  }
  for (container_t** list : {&g_d.list, &g_d.marker_list}) {
    if (!*list) continue;
    obj_list_free_elements(*list);
    free_obj(list);
  }
  g_d = display_state{};
  g_running.store(0, std::memory_order_release);
  g_title_active.store(0, std::memory_order_release);
}
