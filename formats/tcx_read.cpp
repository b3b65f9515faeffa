// The Training Center reader (see tcx.h): the parse of one file, one routine per element
// code, and what a successful read gives the objects (folder, icons, styles, labels and
// the lap marker sub-folder).
//
// Reader state: the root element's code, the current track segment (of a "Track"), the
// current lap segment (of a "Lap"), the current object (the segment a "Track" or "Lap"
// made, the track point or course point of a "Position", or a lap marker), the last time
// and the last altitude read. Routines look only at the directly enclosing element and
// at the class of the current object, so an element in the wrong place is passed over.
//
// Element order: a point is made at the start of its "Position" with the time and
// altitude read before it in its "Trackpoint" or "CoursePoint" (none read: none), and a
// "Time" or altitude after the position still goes to the point, so a point keeps its
// values whichever order the file uses. Likewise a course point's "Name" read before its
// "Position" (the order of the current schema) waits in the state and is given to the
// course point its "Position" makes.
#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/strutil.h"
#include "core/wstring.h"
#include "core/xml.h"
#include "formats/tcx.h"
#include "geodesy/georef.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

constexpr int kBudgetStride = 4096;
constexpr double kBudgetMargin = 16.0 * 1024 * 1024;
constexpr size_t kPendingNameMax = 500;

struct tcx_reader {
  container_t* list = nullptr;
  trackseg_t* track = nullptr;  // the segment of the "Track" being read
  trackseg_t* lap = nullptr;    // the segment of the "Lap" being read
  obj_t* current = nullptr;
  date_rec last_time{};
  float last_altitude = 0.0f;
  std::string pending_name;     // a course point's name read before its position
  int64_t made = 0;
};

tcx_reader* state(xml_parser_t* ctx) { return static_cast<tcx_reader*>(ctx->user); }

// Position of the element on top of the stack (-1 when none is stacked).
int top_of(const xml_parser_t* ctx) {
  return (ctx->depth < kXmlMaxDepth ? ctx->depth : kXmlMaxDepth) - 1;
}
int code_at(const xml_parser_t* ctx, int k) {
  if (k < 0) return TCX_NONE;
  const int id = ctx->stack[k];
  return id >= 1 && id <= kTcxElementCodes ? id : TCX_NONE;
}
int parent_of(const xml_parser_t* ctx) { return code_at(ctx, top_of(ctx) - 1); }
int root_of(const xml_parser_t* ctx) { return code_at(ctx, 0); }
int depth_of(const xml_parser_t* ctx) { return ctx->depth; }

bool is_class(const obj_t* o, int cls) { return o && o->cls == cls; }

// Every object made is counted; the memory budget is looked at now and then.
void made(xml_parser_t* ctx, obj_t* o) {
  tcx_reader* st = state(ctx);
  if (o && ++st->made % kBudgetStride == 0 && compute_mem_budget() < kBudgetMargin)
    set_gblerr(ERR_MEMORY);
}

double number(const char* text) {
  double v = 0.0;
  parse_number(text, &v);
  return v;
}

// An altitude as the float a point keeps: beyond the float range it becomes an infinity.
float altitude_of(const char* text) {
  const double v = number(text);
  if (v > double(FLT_MAX)) return HUGE_VALF;
  if (v < -double(FLT_MAX)) return -HUGE_VALF;
  return float(v);
}

// ---- Tracklogs ------------------------------------------------------------------------

trackseg_t* new_tracklog(xml_parser_t* ctx) {
  tcx_reader* st = state(ctx);
  tracklog_t* t = nullptr;
  tracklog_create(st->list, &t);
  if (!t || get_gblerr()) return nullptr;
  made(ctx, t);
  trackseg_t* s = nullptr;
  trackseg_create(t, st->list, &s);
  if (!s || get_gblerr()) return nullptr;
  made(ctx, s);
  st->current = s;
  return s;
}

// Where a "Track" may start, by root: under "Run" (History), "Lap" (HistoryDatabase),
// "Lap", "Transition" or "Course" (TrainingCenterDatabase).
bool track_allowed(const xml_parser_t* ctx) {
  if (depth_of(ctx) < 3) return false;
  const int parent = parent_of(ctx);
  switch (root_of(ctx)) {
    case TCX_HISTORY: return parent == TCX_RUN;
    case TCX_HISTORY_DATABASE: return parent == TCX_LAP;
    case TCX_TRAINING_CENTER:
      return parent == TCX_LAP || parent == TCX_TRANSITION || parent == TCX_COURSE;
    default: return false;
  }
}

void on_track(xml_parser_t* ctx, const char* text) {
  if (text) return;
  tcx_reader* st = state(ctx);
  if (ctx->end_tag) {
    st->track = nullptr;
    return;
  }
  if (track_allowed(ctx)) st->track = new_tracklog(ctx);
}

void on_lap(xml_parser_t* ctx, const char* text) {
  if (text) return;
  tcx_reader* st = state(ctx);
  if (ctx->end_tag) {
    st->lap = nullptr;
    return;
  }
  if (depth_of(ctx) < 3) return;
  const int parent = parent_of(ctx);
  if ((parent == TCX_RUN && root_of(ctx) == TCX_HISTORY) || parent == TCX_COURSE)
    st->lap = new_tracklog(ctx);
}

// ---- Points -----------------------------------------------------------------------------

// "Trackpoint", "CoursePoint": no current object; the last altitude and time are
// cleared, so that a point whose element gives none does not take its neighbour's.
void on_point_start(xml_parser_t* ctx, const char* text) {
  if (text || ctx->end_tag) return;
  tcx_reader* st = state(ctx);
  st->current = nullptr;
  st->last_altitude = 0.0f;
  st->last_time = date_rec{};
  st->pending_name.clear();
}

void set_name(xml_parser_t* ctx, coursepoint_t* c, const char* text) {
  tcx_reader* st = state(ctx);
  xml_text_to_wcs(ctx, text, &c->name);
  std::memcpy(&c->time, &st->last_time, sizeof st->last_time);
  c->altitude = st->last_altitude;
  c->coords.z = st->last_altitude;
}

void on_position(xml_parser_t* ctx, const char* text) {
  if (text || ctx->end_tag) return;
  tcx_reader* st = state(ctx);
  const int parent = parent_of(ctx);
  if (parent == TCX_TRACKPOINT) {
    if (depth_of(ctx) < 5 || !st->track) return;
    gpspos_t* p = nullptr;
    const date_rec when = st->last_time;
    gpspos_create(0.0, 0.0, &when, st->last_altitude, st->track, st->list, &p);
    if (!p || get_gblerr()) return;
    st->current = p;
    made(ctx, p);
    return;
  }
  if (parent != TCX_COURSE_POINT) return;
  bool in_course = false;
  for (int k = top_of(ctx) - 2; k >= 0 && !in_course; --k) in_course = code_at(ctx, k) == TCX_COURSE;
  if (!in_course) return;
  obj_t* o = nullptr;
  gpsobj_new_point(CLS_COURSEPOINT, st->list, &o);
  if (!o || get_gblerr()) return;
  st->current = o;
  made(ctx, o);
  auto* c = static_cast<coursepoint_t*>(o);
  std::memcpy(&c->time, &st->last_time, sizeof st->last_time);
  c->altitude = st->last_altitude;
  c->coords.z = st->last_altitude;
  if (!st->pending_name.empty()) set_name(ctx, c, st->pending_name.c_str());
}

// The time of a track point or course point: the last time, and the current point's.
void on_time(xml_parser_t* ctx, const char* text) {
  if (!text) return;
  const int parent = parent_of(ctx);
  if (parent != TCX_TRACKPOINT && parent != TCX_COURSE_POINT) return;
  tcx_reader* st = state(ctx);
  date_rec d;
  parse_date_iso_rec(&d, text);
  st->last_time = d;
  if (is_class(st->current, CLS_GPSPOS))
    std::memcpy(&static_cast<gpspos_t*>(st->current)->time, &d, sizeof d);
  else if (is_class(st->current, CLS_COURSEPOINT))
    std::memcpy(&static_cast<coursepoint_t*>(st->current)->time, &d, sizeof d);
}

// The point whose coordinates a "Latitude"/"Longitude" element sets: the current track
// or course point inside "Position", the current marker inside its own element.
obj_t* coordinate_target(xml_parser_t* ctx) {
  obj_t* o = state(ctx)->current;
  switch (parent_of(ctx)) {
    case TCX_POSITION:
      return is_class(o, CLS_GPSPOS) || is_class(o, CLS_COURSEPOINT) ? o : nullptr;
    case TCX_BEGIN_POSITION: return is_class(o, CLS_LAP_BEGIN) ? o : nullptr;
    case TCX_END_POSITION: return is_class(o, CLS_LAP_END) ? o : nullptr;
    default: return nullptr;
  }
}

void set_coordinate(xml_parser_t* ctx, const char* text, bool latitude) {
  if (!text) return;
  obj_t* o = coordinate_target(ctx);
  if (!o) return;
  gps_point_t c;
  char* at = reinterpret_cast<char*>(o) + kPointCoordsOffset;
  std::memcpy(&c, at, sizeof c);
  (latitude ? c.y : c.x) = number(text);
  std::memcpy(at, &c, sizeof c);
}

void on_latitude(xml_parser_t* ctx, const char* text) { set_coordinate(ctx, text, true); }
void on_longitude(xml_parser_t* ctx, const char* text) { set_coordinate(ctx, text, false); }

// A new altitude: the last altitude, the point's altitude and its third coordinate.
void set_altitude(xml_parser_t* ctx, obj_t* o, const char* text) {
  const float v = altitude_of(text);
  state(ctx)->last_altitude = v;
  if (is_class(o, CLS_GPSPOS)) {
    auto* p = static_cast<gpspos_t*>(o);
    p->altitude = v;
    p->coords.z = v;
  } else if (is_class(o, CLS_COURSEPOINT)) {
    auto* p = static_cast<coursepoint_t*>(o);
    p->altitude = v;
    p->coords.z = v;
  } else if (is_class(o, CLS_LAP_BEGIN) || is_class(o, CLS_LAP_END)) {
    auto* p = static_cast<lap_t*>(o);
    p->altitude = v;
    p->coords.z = v;
  }
}

void on_altitude(xml_parser_t* ctx, const char* text) {
  if (!text || root_of(ctx) != TCX_HISTORY || parent_of(ctx) != TCX_POSITION) return;
  obj_t* o = state(ctx)->current;
  if (is_class(o, CLS_GPSPOS)) set_altitude(ctx, o, text);
}

void on_altitude_meters(xml_parser_t* ctx, const char* text) {
  if (!text) return;
  obj_t* o = state(ctx)->current;
  const int parent = parent_of(ctx);
  switch (root_of(ctx)) {
    case TCX_HISTORY_DATABASE:
      if (parent == TCX_POSITION && is_class(o, CLS_GPSPOS)) set_altitude(ctx, o, text);
      break;
    case TCX_TRAINING_CENTER:
      if (parent == TCX_TRACKPOINT || parent == TCX_COURSE_POINT) {
        const bool point = is_class(o, CLS_GPSPOS) || is_class(o, CLS_COURSEPOINT);
        set_altitude(ctx, point ? o : nullptr, text);
      }
      break;
    default: break;
  }
}

// ---- Lap markers ----------------------------------------------------------------------

// Start: a new marker under a "Lap". End: the lap's segment gets a point at the marker,
// with its altitude.
void on_marker(xml_parser_t* ctx, const char* text, int cls) {
  if (text) return;
  tcx_reader* st = state(ctx);
  if (!ctx->end_tag) {
    if (parent_of(ctx) != TCX_LAP) return;
    obj_t* o = nullptr;
    obj_new_in_list(st->list, cls, &o);
    if (!o || get_gblerr()) return;
    st->current = o;
    made(ctx, o);
    return;
  }
  if (!st->lap || !is_class(st->current, cls)) return;
  // A marker has no time of its own: the point has none either (the last time read
  // belongs to another element, often the previous lap's last point).
  const auto* m = static_cast<lap_t*>(st->current);
  const date_rec when{};
  gpspos_t* p = nullptr;
  gpspos_create(m->coords.x, m->coords.y, &when, m->altitude, st->lap, st->list, &p);
  if (p) made(ctx, p);
}

void on_begin_position(xml_parser_t* ctx, const char* text) {
  on_marker(ctx, text, CLS_LAP_BEGIN);
}
void on_end_position(xml_parser_t* ctx, const char* text) { on_marker(ctx, text, CLS_LAP_END); }

void on_marker_altitude(xml_parser_t* ctx, const char* text) {
  if (!text || root_of(ctx) != TCX_TRAINING_CENTER || parent_of(ctx) != TCX_LAP) return;
  obj_t* o = state(ctx)->current;
  if (is_class(o, CLS_LAP_BEGIN) || is_class(o, CLS_LAP_END)) set_altitude(ctx, o, text);
}

// ---- Course points ------------------------------------------------------------------------

void on_name(xml_parser_t* ctx, const char* text) {
  if (!text || parent_of(ctx) != TCX_COURSE_POINT) return;
  tcx_reader* st = state(ctx);
  if (is_class(st->current, CLS_COURSEPOINT))
    set_name(ctx, static_cast<coursepoint_t*>(st->current), text);
  else if (!st->current && std::strlen(text) < kPendingNameMax)
    st->pending_name = text;
}

void on_point_type(xml_parser_t* ctx, const char* text) {
  if (!text || parent_of(ctx) != TCX_COURSE_POINT) return;
  obj_t* o = state(ctx)->current;
  if (is_class(o, CLS_COURSEPOINT)) static_cast<coursepoint_t*>(o)->symbol = tcx_point_type_symbol(text);
}

// ---- Routine table -------------------------------------------------------------------------

constexpr std::array<xml_element_handler, kTcxElementRoutines> kElementHandlers = {
    nullptr,              // 0: names outside the dictionary
    nullptr,              // History
    nullptr,              // HistoryDatabase
    nullptr,              // TrainingCenterDatabase
    nullptr,              // Run
    on_lap,               // Lap
    on_track,             // Track
    on_point_start,       // Trackpoint
    on_position,          // Position
    on_time,              // Time
    on_latitude,          // Latitude
    on_longitude,         // Longitude
    on_altitude,          // Altitude
    on_latitude,          // LatitudeDegrees
    on_longitude,         // LongitudeDegrees
    on_altitude_meters,   // AltitudeMeters
    on_begin_position,    // BeginPosition
    on_end_position,      // EndPosition
    nullptr,              // Running, Biking, Other, FirstSport
    nullptr,              // Transition
    nullptr,              // Course
    on_name,              // Name
    nullptr,              // CourseFolder, Folder
    on_point_type,        // PointType
    on_marker_altitude,   // BeginAltitudeMeters
    on_marker_altitude,   // EndAltitudeMeters
    nullptr,              // NextSport
    on_point_start,       // CoursePoint
};

// What a loaded file's objects get.
void place_objects(obj_t* file, container_t* list) {
  if (!file_of(file)) return;
  folder_t* folder = folder_get_or_create(file, list, 0, nullptr);
  if (!folder || get_gblerr()) return;
  gpsobj_attach_icons(list, CLS_COURSEPOINT);
  file_default_label_styles(file, CLS_COURSEPOINT, 0, 30000, 2000.0, 400.0, 0);
  if (get_gblerr()) return;
  file_default_track_styles(file, 1, 1000.0);
  if (get_gblerr()) return;
  file_set_point_labels(file, CLS_LAP_BEGIN);
  file_set_point_labels(file, CLS_LAP_END);
  folder_add_lap_markers(folder, 1.0);
}

}  // namespace

int read_tcx(obj_t* file, container_t* list) {
  tcx_reader st;
  st.list = list;
  xml_parser_t* ctx = nullptr;
  xml_parser_create(&st, tcx_element_dict(), tcx_attribute_dict(), nullptr, 0,
                    kTcxElementRoutines, kElementHandlers.data(), nullptr, &ctx);
  if (!ctx) return get_gblerr();
  georef_create(list, nullptr);
  if (get_gblerr() == 0) xml_read_file(file, ctx);
  xml_parser_free(&ctx);
  if (const int err = get_gblerr()) return err;
  place_objects(file, list);
  return get_gblerr();
}
