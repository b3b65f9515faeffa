// The NMEA import's read loop and the steps each line goes through: the parser fills the
// fix, then the fix's time is snapped to the last one, a track point is made or filled,
// a position stores it in the open segment, a WPL or RMB sentence makes a waypoint and a
// finished RTE or R00 series a route. "$PTMQT,STOP" cleans up and ends the open segment.
//
// Lines are read through the buffered reader in chunks; a line holds at most 200
// characters (a longer one is fed in pieces, losing its sentence), carriage returns are
// dropped and CR LF is put back before the line is fed. The parser never reads past what
// it is given, so a cut or hostile file only loses its sentences; the objects read
// before an error stay in the list.
#include <cmath>
#include <cstring>
#include <memory>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/wstring.h"
#include "formats/file_load.h"
#include "geodesy/georef.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "geodesy/xform_records.h"
#include "gps/chunk_lines.h"
#include "gps/nmea_files.h"
#include "gps/nmea_import_internal.h"
#include "gps/nmea_parser.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

// Objects made between two looks at the memory budget, and the room kept free.
constexpr int kBudgetStride = 4096;
constexpr double kBudgetMargin = 16.0 * 1024 * 1024;
// The fix's event for "$PTMQT,STOP".
constexpr int kEventStop = 2;

void count_made(nmea_import_context* c) {
  if (++c->made % kBudgetStride == 0 && compute_mem_budget() < kBudgetMargin)
    set_gblerr(ERR_MEMORY);
}

void free_chain(xform_chain_t** chain) {
  if (!*chain) return;
  obj_t* o = *chain;
  free_obj(&o);
  *chain = nullptr;
}

// The segment's clean-up and end: the next position opens a new one.
void end_segment(nmea_import_context* c) {
  if (!c->segment) return;
  nmea_track_cleanup(c->segment, &c->removed);
  c->segment = nullptr;
}

// The fix's datum applied, and what was read so far carried along when the datum
// changed while the list was still small.
void apply_datum(nmea_import_context* c) {
  const bool early = obj_list_count(c->list) <= kNmeaEarlyObjects;
  xform_chain_t* old = nullptr;
  nmea_datum_update(c, &old);
  if (!old) return;
  if (early && get_gblerr() == 0) nmea_reproject_all(c->list, old, c->chain);
  const int err = get_gblerr();
  set_gblerr(0);
  free_chain(&old);
  set_gblerr(err);
}

// The current point when it was never stored: it and its satellites (which are in the
// list) are freed.
void discard_unstored(nmea_import_context* c) {
  if (!c->point || c->stored) return;
  container_t* sats = c->point->idsats;
  for (int i = 0; i < obj_list_count(sats); ++i) {
    obj_t* s = sats->elems[i];
    int pos = 0;
    if (!s) continue;
    if (id_list_find(c->list, s->id, &pos) && c->list->elems[pos] == s)
      obj_list_remove_at(c->list, pos);
    free_obj(&s);
  }
  obj_t* o = c->point;
  free_obj(&o);
  c->point = nullptr;
}

void project(nmea_import_context* c, obj_t* point) { gpsobj_project_point(c->chain, point); }

// A time close to the last one is that time.
void snap_time(nmea_import_context* c, nmea_fix* fix) {
  const double d = fix->time - c->last_time;
  if (d > kNmeaSnapBefore && d < kNmeaSnapAfter) fix->time = c->last_time;
  if (fix->valid.time && fix->time != c->last_time) c->new_time = true;
}

// A new point when there is none, or when the current one is stored and the line starts
// a new fix: a new time, or a position that no time came with and that differs from the
// current point's. The sentences of one untimed fix (GLL, GGA, RMC at one position)
// fill one point, and untimed fixes at new positions are points of their own; a fix at
// 00:00:00.000 (time 0, the time at the start) is no reason for a second point.
void next_point(nmea_import_context* c, const nmea_fix* fix) {
  const bool new_time = fix->valid.time && fix->time != c->last_time;
  if (!c->point || c->stored) {
    const bool moved = !c->has_position || fix->latitude != c->latitude ||
                       fix->longitude != c->longitude;
    const bool untimed_position =
        fix->valid.position && !fix->valid.time && !c->new_time && moved;
    if (!c->point || new_time || untimed_position) {
      // An id of its own: the list it joins is ordered by id.
      obj_t* o = nullptr;
      obj_new(0, CLS_GPSPOS, &o);
      gpspos_t* p = static_cast<gpspos_t*>(o);
      if (!p) {
        if (get_gblerr() == 0) set_gblerr(ERR_MEMORY);
        return;
      }
      // A point that was never stored goes with the one that replaces it.
      discard_unstored(c);
      c->point = p;
      c->stored = false;
      c->point_height = false;
      count_made(c);
    }
  }
  if (new_time) c->last_time = fix->time;
}

// The point filled from the fix, and stored with its first position.
void fill_point(nmea_import_context* c, const nmea_fix* fix) {
  gpspos_t* p = c->point;
  if (!p) return;
  // The datum first: a reprojection of what was read carries the stored points, and
  // this point then takes its new position from the fix.
  if (fix->valid.position) apply_datum(c);
  if (get_gblerr() != 0) return;
  nmea_fix_to_point(fix, p, c->list, true, c);
  if (!fix->valid.position || get_gblerr() != 0) return;
  c->has_position = true;
  c->latitude = fix->latitude;
  c->longitude = fix->longitude;
  project(c, p);
  if (!c->segment) {
    trackseg_create(c->tracklog, c->list, &c->segment);
    if (!c->segment || get_gblerr() != 0) return;
    count_made(c);
  }
  if (!c->stored) {
    container_t* points = obj_create_sons_list(c->segment, 0, 0, 0);
    if (!points) {
      if (get_gblerr() == 0) set_gblerr(ERR_MEMORY);
      return;
    }
    obj_list_append(points, p);
    // Points come in id order: at the end of the list, found without a search.
    const int n = obj_list_count(c->list);
    if (n > 0 && c->list->elems[n - 1]->id < p->id)
      obj_list_append(c->list, p);
    else
      id_list_insert(c->list, p);
    p->father = c->tracklog;
    c->stored = true;
    c->new_time = false;
  }
}

// A waypoint of a WPL or RMB sentence; the same waypoint given again is kept once.
void add_waypoint(nmea_import_context* c, const nmea_fix* fix) {
  apply_datum(c);
  if (get_gblerr() != 0) return;
  waypoint_t* w = nullptr;
  waypoint_create(fix->wpt_longitude, fix->wpt_latitude, fix->waypoint_name, nullptr, 0, 0, 0,
                  0.0, c->list, &w);
  if (!w || get_gblerr() != 0) return;
  count_made(c);
  project(c, w);
  nmea_waypoint_unique(&c->waypoints, &w, c->list);
}

// A route of a finished RTE or R00 series.
void add_route(nmea_import_context* c, const nmea_fix* fix) {
  route_t* r = nullptr;
  route_create(nullptr, &r);
  if (!r || get_gblerr() != 0) return;
  r->id = obj_new_id();  // made outside the list: the list it may join is ordered by id
  count_made(c);
  mbs_to_wcs(fix->route_name ? fix->route_name : "", &r->name);
  nmea_route_from_names(&c->routes, &r, c->list, &c->waypoints, fix->route_waypoints);
}

// Each chunk read tells the progress display how far into the file the import is.
void report_position() { core_progress_file_position("NMEA"); }

void place_objects(obj_t* file, container_t* list) {
  if (!file_of(file)) return;
  folder_get_or_create(file, list, 0, nullptr);
  if (get_gblerr() != 0) return;
  if (obj_list_has_class(list, CLS_GPSPOS)) file_default_track_styles(file, 0, 1000.0);
  if (get_gblerr() != 0) return;
  file_default_point_styles(file, CLS_WAYPOINT, 4, 10, 400.0);
  if (get_gblerr() != 0) return;
  file_default_route_styles(file, CLS_ROUTE, 1, 1000.0);
}

}  // namespace

int nmea_import_begin(nmea_import_context* c) {
  // The sentence dictionary is built once at start-up and shared with live readers on
  // other threads: an import only builds it when nothing did yet.
  if (!nmea_std_dict() && nmea_module_init() != 0)
    return get_gblerr() ? get_gblerr() : set_gblerr(ERR_INIT);
  if (nmea_reader_create(nullptr, nullptr, &c->parser) != 0 || !c->parser) {
    if (get_gblerr() == 0) set_gblerr(ERR_MEMORY);
    return get_gblerr();
  }
  georef_create(nullptr, &c->georef);
  if (!c->georef) {
    if (get_gblerr() == 0) set_gblerr(ERR_MEMORY);
    return get_gblerr();
  }
  // The fix's positions are seconds of arc on its datum, WGS 84 at the start.
  const nmea_fix* fix = c->parser->fix;
  geodatum_t* datum = nullptr;
  geo_find_by_alias(CLS_GEODATUM, fix->datum_scheme, fix->datum_name, &datum);
  if (datum) c->georef->datum = datum;
  c->datum_text = fix->datum_name;
  if (!c->georef->datum) return set_gblerr(ERR_GEOGRAPHIC);
  c->georef->refertype = GEOREF_GEOGRAPHIC;
  c->georef->unit = ANG_SECOND;
  if (georef_unit_step(c->georef) != 0) return get_gblerr();
  georef_chain_to_ref(c->georef, &c->chain);
  return get_gblerr();
}

void nmea_import_end(nmea_import_context* c) {
  const int err = get_gblerr();
  set_gblerr(0);
  discard_unstored(c);
  c->point = nullptr;
  nmea_drop_removed(c->list, &c->removed);
  nmea_reader_free(&c->parser);
  free_chain(&c->chain);
  if (c->georef) {
    obj_t* g = c->georef;
    free_obj(&g);
    c->georef = nullptr;
  }
  c->waypoints.by_name.clear();
  c->routes.by_name.clear();
  set_gblerr(err);
}

namespace {

// One line and its CR LF (`count` bytes in all) through the parser and the steps.
void import_sentence_bytes(nmea_import_context* c, const uint8_t* bytes, int count) {
  nmea_fix* fix = c->parser->fix;
  nmea_fix_clear(fix);
  fix->route_complete = 0;
  fix->waypoint_given = 0;
  nmea_feed(bytes, count, c->parser);
  if (fix->event == kEventStop) end_segment(c);
  if (get_gblerr() != 0) return;
  snap_time(c, fix);
  next_point(c, fix);
  if (get_gblerr() != 0) return;
  fill_point(c, fix);
  if (get_gblerr() != 0) return;
  if (fix->waypoint_given) add_waypoint(c, fix);
  if (get_gblerr() != 0) return;
  if (fix->route_complete) add_route(c, fix);
}

// The common line, read in place: it ends inside the chunk with CR LF, holds no other
// carriage return and is shorter than the longest line (a line of exactly the longest
// length is cut before its CR, which then makes an empty line of its own). Its bytes, CR LF included,
// are then exactly what the line reader would hand out with CR LF put back. Returns
// false (nothing read) for any other line.
bool import_line_in_place(nmea_import_context* c, chunk_lines* chunk) {
  const char* from = chunk->bytes + chunk->at;
  const size_t avail = static_cast<size_t>(chunk->have - chunk->at);
  const void* lf = std::memchr(from, '\n', avail);
  if (!lf) return false;
  const size_t span = static_cast<size_t>(static_cast<const char*>(lf) - from);
  if (span < 1 || from[span - 1] != '\r' || span - 1 >= size_t(kNmeaImportLineMax) ||
      std::memchr(from, '\r', span - 1))
    return false;
  chunk->at += static_cast<int>(span + 1);
  import_sentence_bytes(c, reinterpret_cast<const uint8_t*>(from), static_cast<int>(span + 1));
  return true;
}

}  // namespace

void nmea_import_line(nmea_import_context* c, const char* line, int length) {
  char text[kNmeaImportLineMax + 2];
  if (length > kNmeaImportLineMax) length = kNmeaImportLineMax;
  std::memcpy(text, line, size_t(length));
  text[length] = '\r';
  text[length + 1] = '\n';
  import_sentence_bytes(c, reinterpret_cast<const uint8_t*>(text), length + 2);
}

int read_nmea_file(obj_t* file, container_t* list) {
  if (!list) return set_gblerr(ERR_PARAMETERS);
  if (rd_open(file, kNmeaImportBuffer, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  nmea_import_context c;
  c.list = list;
  if (!obj_list_has_class(list, CLS_GEOREF)) georef_create(list, nullptr);
  if (get_gblerr() == 0) nmea_import_begin(&c);
  if (get_gblerr() == 0) tracklog_create(list, &c.tracklog);
  // The indexes start with what the list already holds.
  for (int i = 0; i < obj_list_count(list); ++i) {
    obj_t* o = list->elems[i];
    if (o && o->cls == CLS_WAYPOINT) c.waypoints.add(o, static_cast<waypoint_t*>(o)->name);
    if (o && o->cls == CLS_ROUTE) c.routes.add(o, static_cast<route_t*>(o)->name);
  }
  if (get_gblerr() == 0) {
    auto chunk = std::make_unique<chunk_lines>();
    chunk->on_refill = report_position;
    char line[kNmeaImportLineMax + 2];
    int length = 0;
    while (get_gblerr() == 0) {
      if (import_line_in_place(&c, chunk.get())) continue;
      if (!chunk_lines_next(chunk.get(), kNmeaImportLineMax, line, &length)) break;
      nmea_import_line(&c, line, length);
    }
  }
  // The end of the data reads as error 2 only when a read fell short of what the file
  // said it held: the lines read so far stay.
  if (get_gblerr() == 0) end_segment(&c);
  nmea_import_end(&c);
  int err = get_gblerr();
  if (err == 0) {
    place_objects(file, list);
    err = get_gblerr();
  }
  set_gblerr(0);
  return err;
}

void nmea_files_init() { register_format_reader(kNmeaFileFormat, read_nmea_file); }
