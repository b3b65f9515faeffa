// The version-2 readers: waypoint, tracklog and route files. Each has a header line, a
// device line, presence lines for its field tables, then records until the end; the
// tracklogs and routes each come as a header record and the point records it counts.
#include <cmath>

#include "core/dates.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/reader.h"
#include "core/wstring.h"
#include "formats/gpstext.h"
#include "formats/gpstext_internal.h"
#include "map/gps_classes.h"

namespace {

using gpstext::field_type;
using gpstext::kIntField;
using gpstext::kRealField;
using gpstext::kStringField;
using gpstext::record_fields;

constexpr field_type kTrackHeaderTypes[] = {kStringField, kIntField, kIntField,  kIntField,
                                            kIntField,    kRealField, kIntField, kIntField};
constexpr field_type kTrackPointTypes[] = {kRealField, kRealField, kStringField, kIntField,
                                           kRealField, kRealField, kRealField};
constexpr field_type kRouteHeaderTypes[] = {kIntField, kStringField, kStringField, kIntField,
                                            kIntField, kIntField,    kIntField};
constexpr int kWaypointRequired[] = {2, 3, 0};
constexpr int kTrackHeaderRequired[] = {8, 0};
constexpr int kTrackPointRequired[] = {1, 2, 0};
constexpr int kRouteHeaderRequired[] = {7, 0};

// The field tables of one read, their texts freed with it.
struct tables {
  record_fields head;
  record_fields point;
  ~tables() {
    gpstext::clear_fields(&head);
    gpstext::clear_fields(&point);
  }
};

bool more_records() {
  tm_skip_blanks();
  return !gpstext::at_end();
}

// Opens the file and takes its header and device lines.
int open_with_lines(obj_t* file) {
  if (gpstext::open(file) != 0) return ERR_FILE_ACCESS;
  char line[kTmLineBuffer];
  if (tm_read_line_field(line) != 0 || tm_read_line_field(line) != 0) return ERR_BAD_FILE;
  tm_skip_blanks();
  return 0;
}

// The colour from three rows (red, green, blue), when all three are given.
void set_colour(const record_fields& f, int red_row, uint32_t* colour) {
  if (!gpstext::given(f, red_row) || !gpstext::given(f, red_row + 1) || !gpstext::given(f, red_row + 2))
    return;
  *colour = gps_rgb(f.ints[red_row - 1], f.ints[red_row], f.ints[red_row + 1]);
}

void set_name(const char* text, char16_t** owner) {
  if (text) mbs_to_wcs(text, owner);
}

// The point count of a header row: given and not negative.
int point_count(const record_fields& f, int row, int32_t* out) {
  *out = gpstext::int_of(f, row, -1);
  return *out < 0 ? ERR_BAD_FILE : 0;
}

int read_waypoints(container_t* list) {
  tables t{gpstext::make_fields(gpstext::kWaypointTypes, gpstext::kWaypointRows),
           gpstext::make_fields(nullptr, 0)};
  if (gpstext::read_presence(&t.head, kWaypointRequired) != 0) return ERR_BAD_FILE;
  while (more_records())
    if (gpstext::read_record(&t.head) != 0 || gpstext::waypoint_of(t.head, list, nullptr) != 0)
      return ERR_BAD_FILE;
  return 0;
}

// ---- Tracklogs --------------------------------------------------------------------------

int track_header(const record_fields& h, container_t* list, tracklog_t** out) {
  tracklog_t* t = nullptr;
  tracklog_create(list, &t);
  *out = t;
  if (!t || get_gblerr()) return get_gblerr();
  set_name(gpstext::text_of(h, 1), &t->name);
  if (gpstext::given(h, 2)) t->number = h.ints[1];
  set_colour(h, 3, &t->colour);
  if (gpstext::given(h, 6)) {
    const double thickness = std::trunc(h.reals[5]);
    if (!(std::fabs(thickness) < 2147483647.0)) return ERR_BAD_FILE;
    t->thickness = int32_t(thickness);
  }
  return 0;
}

int track_point(const record_fields& p, tracklog_t* t, trackseg_t** segment, container_t* list) {
  if (!gpstext::given(p, 1) || !gpstext::given(p, 2)) return ERR_BAD_FILE;
  if (!*segment || (gpstext::int_of(p, 4, 0) & 1)) trackseg_create(t, list, segment);
  date_rec time = kNoDate;
  if (const char* text = gpstext::text_of(p, 3)) parse_date_iso_rec(&time, text);
  gpspos_t* pos = nullptr;
  gpspos_create(p.reals[0], p.reals[1], &time, gpstext::real_of(p, 5, 0.0), *segment, list, &pos);
  if (!pos || get_gblerr()) return get_gblerr();
  if (p.present[6]) pos->tpre = p.reals[6];
  return 0;
}

int read_tracklogs(container_t* list) {
  tables t{gpstext::make_fields(kTrackHeaderTypes, 8), gpstext::make_fields(kTrackPointTypes, 7)};
  if (gpstext::read_presence(&t.head, kTrackHeaderRequired) != 0 ||
      gpstext::read_presence(&t.point, kTrackPointRequired) != 0)
    return ERR_BAD_FILE;
  while (more_records()) {
    tracklog_t* log = nullptr;
    trackseg_t* segment = nullptr;
    int32_t count = 0;
    if (gpstext::read_record(&t.head) != 0 || point_count(t.head, 8, &count) != 0 ||
        track_header(t.head, list, &log) != 0)
      return ERR_BAD_FILE;
    for (int32_t k = 0; k < count && more_records(); ++k)
      if (gpstext::read_record(&t.point) != 0 || track_point(t.point, log, &segment, list) != 0)
        return ERR_BAD_FILE;
  }
  return 0;
}

// ---- Routes -------------------------------------------------------------------------------

int route_header(const record_fields& h, container_t* list, route_t** out) {
  route_t* r = nullptr;
  route_create(list, &r);
  *out = r;
  if (!r || get_gblerr()) return get_gblerr();
  obj_create_sons_list(r, 0, 0, 0);
  if (gpstext::given(h, 1)) r->number = h.ints[0];
  set_name(gpstext::text_of(h, 2), &r->name);
  set_name(gpstext::text_of(h, 3), &r->comment);
  set_colour(h, 4, &r->colour);
  return get_gblerr();
}

int route_point(const record_fields& p, route_t* r, container_t* list) {
  obj_t* w = nullptr;
  if (gpstext::waypoint_of(p, list, &w) != 0 || !w) return ERR_BAD_FILE;
  container_t* points = obj_create_sons_list(r, 0, 0, 0);
  if (points) obj_list_append(points, w);
  return get_gblerr();
}

int read_routes(container_t* list) {
  tables t{gpstext::make_fields(kRouteHeaderTypes, 7),
           gpstext::make_fields(gpstext::kWaypointTypes, gpstext::kWaypointRows)};
  if (gpstext::read_presence(&t.head, kRouteHeaderRequired) != 0 ||
      gpstext::read_presence(&t.point, kWaypointRequired) != 0)
    return ERR_BAD_FILE;
  while (more_records()) {
    route_t* route = nullptr;
    int32_t count = 0;
    if (gpstext::read_record(&t.head) != 0 || point_count(t.head, 7, &count) != 0 ||
        route_header(t.head, list, &route) != 0)
      return ERR_BAD_FILE;
    for (int32_t k = 0; k < count && more_records(); ++k)
      if (gpstext::read_record(&t.point) != 0 || route_point(t.point, route, list) != 0)
        return ERR_BAD_FILE;
  }
  return 0;
}

// Opens, reads the body, and frees what a failed read made or places what it read.
int read_v2(obj_t* file, container_t* list, int (*body)(container_t*), gpstext::content kind) {
  const int first = obj_list_count(list);
  const int opened = open_with_lines(file);
  if (opened == ERR_FILE_ACCESS) return opened;
  if (opened != 0 || body(list) != 0) return gpstext::fail(list, first);
  return gpstext::place(file, list, kind);
}

}  // namespace

int read_tmw_v2(obj_t* file, container_t* list) {
  return read_v2(file, list, read_waypoints, gpstext::content::waypoints);
}

int read_tmt_v2(obj_t* file, container_t* list) {
  return read_v2(file, list, read_tracklogs, gpstext::content::tracklogs);
}

int read_tmr_v2(obj_t* file, container_t* list) {
  return read_v2(file, list, read_routes, gpstext::content::routes);
}
