// The GPX reader: the parse of one file, the routines run at the start of the elements
// that make objects, the "lat" and "lon" attributes, and what a successful read gives
// the objects (folder, icons, default styles).
//
// Every element of the dictionary has a routine of its own (a thin entry that passes its
// code on), so the start tag of any known element clears the object slot of its stack
// position before its start routine may fill it. Elements outside the dictionary get the
// engine's do-nothing ids; they never hold an object, and the colour and extension
// routines pass over them when they look for the element that names their object.
#include <array>
#include <cstring>
#include <utility>

#include "core/error.h"
#include "core/memory.h"
#include "core/strutil.h"
#include "formats/gpx_read_internal.h"
#include "geodesy/georef.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

using gpx_start_fn = void (*)(xml_parser_t* ctx, int top);

int parent_code(const xml_parser_t* ctx, int top) { return gpx_code_at(ctx, top - 1); }

// Objects made between two looks at the memory budget, and the room kept free: a file of
// tiny elements makes many objects per byte, so the budget is watched while it reads.
constexpr int kBudgetStride = 4096;
constexpr double kBudgetMargin = 16.0 * 1024 * 1024;

void keep(xml_parser_t* ctx, int top, obj_t* obj) {
  gpx_reader* st = gpx_state(ctx);
  st->owner[top] = obj;
  if (obj && ++st->made % kBudgetStride == 0 && compute_mem_budget() < kBudgetMargin)
    set_gblerr(ERR_MEMORY);
}

void start_wpt(xml_parser_t* ctx, int top) {
  if (parent_code(ctx, top) != GPX_GPX) return;
  waypoint_t* w = nullptr;
  waypoint_create(0.0, 0.0, nullptr, nullptr, 0, 0, 0, 0.0, gpx_state(ctx)->list, &w);
  keep(ctx, top, w);
}

void start_rte(xml_parser_t* ctx, int top) {
  if (parent_code(ctx, top) != GPX_GPX) return;
  route_t* r = nullptr;
  route_create(gpx_state(ctx)->list, &r);
  if (r) ++gpx_state(ctx)->routes;
  keep(ctx, top, r);
}

// A route point belongs to the route its "rte" made; without one it makes nothing.
void start_rtept(xml_parser_t* ctx, int top) {
  if (parent_code(ctx, top) != GPX_RTE) return;
  auto* r = static_cast<route_t*>(gpx_owner_of(ctx, top - 1, CLS_ROUTE));
  if (!r) return;
  waypoint_t* w = nullptr;
  waypoint_create(0.0, 0.0, nullptr, nullptr, 0, 0, 0, 0.0, gpx_state(ctx)->list, &w);
  if (!w || get_gblerr()) return;
  container_t* points = obj_create_sons_list(r, 0, 0, 0);
  if (points) obj_list_append(points, w);
  keep(ctx, top, w);
}

void start_trk(xml_parser_t* ctx, int top) {
  if (parent_code(ctx, top) != GPX_GPX) return;
  tracklog_t* t = nullptr;
  tracklog_create(gpx_state(ctx)->list, &t);
  keep(ctx, top, t);
}

// A segment belongs to the tracklog its "trk" made; without one it makes nothing.
void start_trkseg(xml_parser_t* ctx, int top) {
  if (parent_code(ctx, top) != GPX_TRK) return;
  auto* t = static_cast<tracklog_t*>(gpx_owner_of(ctx, top - 1, CLS_TRACKLOG));
  if (!t) return;
  trackseg_t* s = nullptr;
  trackseg_create(t, gpx_state(ctx)->list, &s);
  keep(ctx, top, s);
}

// A track point belongs to the segment its "trkseg" made; without one it makes nothing.
void start_trkpt(xml_parser_t* ctx, int top) {
  if (parent_code(ctx, top) != GPX_TRKSEG) return;
  auto* s = static_cast<trackseg_t*>(gpx_owner_of(ctx, top - 1, CLS_TRACKSEG));
  if (!s) return;
  gpspos_t* p = nullptr;
  gpspos_create(0.0, 0.0, nullptr, 0.0, s, gpx_state(ctx)->list, &p);
  keep(ctx, top, p);
}

constexpr gpx_start_fn kStartRoutines[kGpxElementRoutines] = {
    nullptr, nullptr, start_wpt, start_rte, start_rtept, start_trk, start_trkseg, start_trkpt};

// Start tag: the slot is cleared, then the start routine may fill it. Text: the text
// routine. End tag: nothing.
void on_element(xml_parser_t* ctx, int code, const char* text) {
  const int top = gpx_top(ctx);
  if (top < 0) return;
  if (!text) {
    if (ctx->end_tag) return;
    gpx_state(ctx)->owner[top] = nullptr;
    if (top >= 1 && kStartRoutines[code]) kStartRoutines[code](ctx, top);
    return;
  }
  if (top >= 1 && gpx_text_routines[code]) gpx_text_routines[code](ctx, top, text);
}

template <int Code> void element_entry(xml_parser_t* ctx, const char* text) {
  on_element(ctx, Code, text);
}

template <int... Codes>
constexpr auto make_element_table(std::integer_sequence<int, Codes...>) {
  return std::array<xml_element_handler, sizeof...(Codes)>{
      (Codes == 0 ? nullptr : element_entry<Codes>)...};
}
constexpr auto kElementHandlers =
    make_element_table(std::make_integer_sequence<int, kGpxElementRoutines>{});

// "lat" and "lon" on a "wpt", "rtept" or "trkpt" that made a point.
void set_coordinate(xml_parser_t* ctx, int element_id, const char* value, bool latitude) {
  if (!value) return;
  if (element_id != GPX_WPT && element_id != GPX_RTEPT && element_id != GPX_TRKPT) return;
  const int top = gpx_top(ctx);
  obj_t* o = top >= 0 ? gpx_state(ctx)->owner[top] : nullptr;
  if (!o || (o->cls != CLS_WAYPOINT && o->cls != CLS_GPSPOS)) return;
  double v = 0.0;
  parse_number(value, &v);
  gps_point_t c;
  char* at = reinterpret_cast<char*>(o) + kPointCoordsOffset;
  std::memcpy(&c, at, sizeof c);
  (latitude ? c.y : c.x) = v;
  std::memcpy(at, &c, sizeof c);
}

void on_lat(xml_parser_t* ctx, int element_id, const char* value) {
  set_coordinate(ctx, element_id, value, true);
}
void on_lon(xml_parser_t* ctx, int element_id, const char* value) {
  set_coordinate(ctx, element_id, value, false);
}

constexpr xml_attr_handler kAttributeHandlers[kGpxAttributeRoutines] = {
    nullptr, nullptr, on_lat, on_lon, nullptr, nullptr, nullptr, nullptr};

// A route in the list of a folder of the file other than `list`.
bool other_folder_has_route(obj_t* file, const container_t* list) {
  const fileatt_t* f = file_of(file);
  folder_t* it = nullptr;
  for (folder_t* d = file_next_folder(f, &it); d; d = file_next_folder(f, &it))
    if (d->sot != list && obj_list_has_class(d->sot, CLS_ROUTE)) return true;
  return false;
}

// What a loaded file's objects get: the file's folder, the waypoint icons and the
// default label, track and route styles. `no_route` says the list holds no route (it
// was empty and the read made none): the route passes, which would each read the whole
// list (a million track points) to find none, are then left out.
void place_objects(obj_t* file, container_t* list, bool was_empty, bool no_route) {
  if (!no_route) gpsobj_remove_empty_routes(list);
  if (!file_of(file)) return;
  folder_get_or_create(file, list, 0, nullptr);
  // A list that was empty holds every object of the read, the points of the routes and
  // segments included: the walk need not go into the sons lists.
  gpsobj_attach_icons(list, CLS_WAYPOINT, !was_empty);
  file_default_label_styles(file, CLS_WAYPOINT, 0, 30000, 2000.0, 400.0, 0);
  file_default_track_styles(file, 1, 1000.0);
  if (!no_route || other_folder_has_route(file, list))
    file_default_route_styles(file, CLS_ROUTE, 1, 1000.0);
}

}  // namespace

obj_t* gpx_owner_of(xml_parser_t* ctx, int k, int cls, bool strict) {
  if (k < 0 || k >= kXmlMaxDepth) return nullptr;
  obj_t* o = gpx_state(ctx)->owner[k];
  if (!o) return nullptr;
  if (o->cls == cls) return o;
  if (strict) set_gblerr(kGpxBadData);
  return nullptr;
}

int read_gpx(obj_t* file, container_t* list) {
  xml_parser_t* ctx = nullptr;
  gpx_reader state{};
  state.list = list;
  const bool was_empty = obj_list_count(list) == 0;
  xml_parser_create(&state, gpx_element_dict(), gpx_attribute_dict(), nullptr, 0,
                    kGpxElementRoutines, kElementHandlers.data(), kAttributeHandlers, &ctx);
  if (!ctx) return get_gblerr();
  georef_create(list, nullptr);
  if (get_gblerr() == 0) xml_read_file(file, ctx);
  xml_parser_free(&ctx);
  const int err = get_gblerr();
  if (err != 0) return err;
  place_objects(file, list, was_empty, was_empty && state.routes == 0);
  return get_gblerr();
}
