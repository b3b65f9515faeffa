// The NMEA log into replay points: a pre-scan tells whether the fix times advance, then
// every line goes through the NMEA parser and the lines of one fix time form one point.
//
// Times: a fix time is a time of day; the reader keeps a day count beside it so that
// times grow across midnight (a time more than half a day before the previous one, when
// the fix has no date) and across dates (the day count follows the date's distance from
// the first date, taken back by the midnights already passed when that date came). Times
// within 0.1 s of the current point's are that time.
//
// A point is kept when it got a position, has a speed (recorded, or computed from the
// distance to the last kept position; the first position of the track stands still at
// speed 0) and no speed computed in it reached 2000 km/h (a jump of the receiver). Times
// count from the first kept point. A STOP marker ends its point (the line is the point's
// last); a marker met with no point open is held and put at the head of the next point's
// text, whose marker kind then says so.
//
// A log whose times never advance is read in no-time mode: each position advances a
// clock by its distance at about 50 km/h, twenty times faster for the first position
// after a START marker (the jump between two recorded runs).
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "geodesy/xform_records.h"
#include "gps/chunk_lines.h"
#include "gps/nmea_import_internal.h"
#include "gps/nmea_parser.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "quellix/qx_builders.h"
#include "quellix/replay_point.h"

namespace {

constexpr int kEventStart = 1;
constexpr int kEventStop = 2;
// Points made between two looks at the memory budget, and the room kept free.
constexpr int kBudgetStride = 4096;
constexpr double kBudgetMargin = 16.0 * 1024 * 1024;
// The packed date and time of day of a log without fix times: 1 January 2000, noon.
constexpr double kNoTimeDate = 20000101.0;
constexpr double kNoTimeDay = 0.5;

// ---- Lines -----------------------------------------------------------------------------

// The line with CR LF through the parser, after clearing the fix's per-read state.
void feed_line(nmea_parser* parser, const char* line, int length, int max) {
  char text[kQxLineMax + 2];
  if (length > max) length = max;
  std::memcpy(text, line, size_t(length));
  text[length] = '\r';
  text[length + 1] = '\n';
  nmea_fix_clear(parser->fix);
  parser->fix->route_complete = 0;
  parser->fix->waypoint_given = 0;
  nmea_feed(reinterpret_cast<const uint8_t*>(text), length + 2, parser);
}

// ---- Fix times as a running day count --------------------------------------------------
bool has_calendar_date(double packed) {
  int year = 0, month = 0;
  date_split(packed, &year, &month, nullptr);
  return year > 0 && month > 0;
}

struct day_clock {
  double day = 0;        // whole days passed since the first fix
  double base = 0;       // packed date of day 0 (0 until a date came)
  double previous = 0;   // time of day of the previous timed fix
  bool any = false;

  // The fix's time on the running count (days).
  double at(const nmea_fix* fix) {
    const double date = std::floor(fix->date);
    const bool dated = fix->valid.date && has_calendar_date(date);
    // Midnight passed: told by the time of day, unless a date after the first says it.
    if (any && fix->time < previous - 0.5 && !(dated && base != 0)) day += 1;
    if (dated) {
      if (base == 0) {
        date_rec r{};
        date_rec_from_packed(&r, date);
        date_add_days(&r, -day);
        base = r.date;
      } else {
        const double d = std::nearbyint(date_diff(base, date));
        if (std::isfinite(d)) day = d;
      }
    }
    previous = fix->time;
    any = true;
    return day + fix->time;
  }
  // The start date: day 0's date plus the time of day of the first fix.
  double start_date(double first_time) const {
    if (base == 0) return first_time;
    return base + first_time;
  }
};

// ---- The reading ---------------------------------------------------------------------
struct log_state {
  nmea_import_context ctx;
  const geodatum_t* ref_datum = nullptr;
  int ref_unit = ANG_DEGREE;
  bool no_time = false;
  day_clock days;
  // The point being built.
  replay_point* cur = nullptr;
  double cur_time = 0;  // its fix time on the running count
  bool cur_position = false;
  bool cur_speed = false;
  double cur_max_speed = 0;
  // The first fix time, and the last kept position (reference unit) with its time.
  bool have_first = false;
  double first_time = 0;
  double first_of_day = 0;  // time of day of the first timed fix
  bool have_previous = false;
  double prev_x = 0, prev_y = 0, prev_time = 0;
  double cumulative = 0;
  // A marker line met while no point was open.
  std::string held;
  int held_kind = QX_MARKER_NONE;
  // No-time mode: the clock and the START marker's effect on the next position.
  double clock = 0;
  bool after_start = false;
  std::vector<replay_point*> kept;
  int64_t made = 0;
};

int begin(log_state* s) {
  nmea_import_context* c = &s->ctx;
  // The standard tables are built once; building them again would pull them from under
  // a live reader's parser.
  if (!nmea_std_dict() && nmea_module_init() != 0)
    return get_gblerr() ? get_gblerr() : set_gblerr(ERR_INIT);
  qx_replay_point_register();
  if (nmea_reader_create(nullptr, nullptr, &c->parser) != 0 || !c->parser)
    return get_gblerr() ? get_gblerr() : set_gblerr(ERR_MEMORY);
  georef_create(nullptr, &c->georef);
  if (!c->georef) return get_gblerr() ? get_gblerr() : set_gblerr(ERR_MEMORY);
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
  if (!c->chain) return get_gblerr() ? get_gblerr() : set_gblerr(ERR_GEOGRAPHIC);
  s->ref_datum = geo_get_ref_datum(nullptr);
  if (!s->ref_datum) return set_gblerr(ERR_GEOGRAPHIC);
  s->ref_unit = s->ref_datum->unit;
  return get_gblerr();
}

void free_chain(xform_chain_t** chain) {
  if (!*chain) return;
  obj_t* o = *chain;
  free_obj(&o);
  *chain = nullptr;
}

void end(log_state* s) {
  const int err = get_gblerr();
  set_gblerr(0);
  nmea_reader_free(&s->ctx.parser);
  free_chain(&s->ctx.chain);
  if (s->ctx.georef) {
    obj_t* g = s->ctx.georef;
    free_obj(&g);
    s->ctx.georef = nullptr;
  }
  if (s->cur) {
    obj_t* o = s->cur;
    free_obj(&o);
    s->cur = nullptr;
  }
  set_gblerr(err);
}

void free_point(replay_point* p) {
  obj_t* o = p;
  free_obj(&o);
}

// The current point kept, or dropped (no position, no speed, or a jump).
void close_point(log_state* s) {
  replay_point* p = s->cur;
  if (!p) return;
  s->cur = nullptr;
  if (s->cur_position && s->cur_speed && s->cur_max_speed < kQxJumpSpeed)
    s->kept.push_back(p);
  else
    free_point(p);
}

// A line of the log into a point's text, ended by CR LF as it was fed.
void append_line(replay_point* p, const char* line, int length) {
  qx_point_append_text(p, line, length);
  qx_point_append_text(p, "\r\n", 2);
}

void open_point(log_state* s, double time, const char* line, int length) {
  close_point(s);
  replay_point* p = nullptr;
  qx_replay_point_new(&p);
  if (!p) return;
  if (++s->made % kBudgetStride == 0 && compute_mem_budget() < kBudgetMargin) {
    free_point(p);
    set_gblerr(ERR_MEMORY);
    return;
  }
  s->cur = p;
  s->cur_time = time;
  s->cur_position = s->cur_speed = false;
  s->cur_max_speed = 0;
  p->time = time - s->first_time;
  p->distance = s->cumulative;
  if (s->held_kind != QX_MARKER_NONE) {
    qx_point_append_text(p, s->held.data(), int(s->held.size()));
    p->marker = s->held_kind;
    s->held.clear();
    s->held_kind = QX_MARKER_NONE;
  }
  append_line(p, line, length);
}

// The fix's position in the reference coordinates (the unit of the reference datum);
// false when it does not carry to a finite place.
bool carry_position(log_state* s, const nmea_fix* fix, double* x, double* y) {
  xform_chain_t* old = nullptr;
  nmea_datum_update(&s->ctx, &old);
  free_chain(&old);
  if (get_gblerr() != 0) return false;
  double z = 0;
  *x = fix->longitude;
  *y = fix->latitude;
  xform_chain_forward(s->ctx.chain, x, y, &z);
  return std::isfinite(*x) && std::isfinite(*y);
}

double distance_from_previous(const log_state* s, double x, double y) {
  if (!s->have_previous) return 0;
  double d = 0;
  georef_distance(s->ref_datum, s->prev_x, s->prev_y, x, y, &d);
  set_gblerr(0);
  d = std::fabs(d);
  return std::isfinite(d) ? d : 0;
}

// A position of the current point: the place, the distance from the last kept position
// and the speed it gives.
void take_position(log_state* s, const nmea_fix* fix, double x, double y, double distance,
                   double time) {
  replay_point* p = s->cur;
  double lon = x, lat = y;
  angle_unit_convert(s->ref_unit, ANG_DEGREE, &lon, &lat);
  p->longitude = lon;
  p->latitude = lat;
  s->cur_position = true;
  if (!s->have_previous) {
    // The first position of the track: nothing before it to measure a speed against, so
    // it stands still; the track starts there and its first fix is replayed too.
    s->have_previous = true;
    s->prev_x = x, s->prev_y = y, s->prev_time = time;
    p->distance = s->cumulative;
    if (!fix->valid.speed) p->speed = 0;
    s->cur_speed = true;
    return;
  }
  if (time <= s->prev_time) return;
  const double speed = distance * 0.001 / (time - s->prev_time) * 0.041666666666666664;
  if (!fix->valid.speed) {
    p->speed = speed;
    s->cur_speed = true;
  }
  if (speed > s->cur_max_speed) s->cur_max_speed = speed;
  if (speed < kQxJumpSpeed) {
    s->cumulative += distance;
    p->distance = s->cumulative;
    s->prev_x = x, s->prev_y = y, s->prev_time = time;
  }
}

void read_one_line(log_state* s, const char* line, int length) {
  nmea_fix* fix = s->ctx.parser->fix;
  feed_line(s->ctx.parser, line, length, kQxLineMax);
  if (get_gblerr() != 0) return;
  if (fix->event == kEventStart) s->after_start = true;

  double x = 0, y = 0, distance = 0;
  const bool position = fix->valid.position && carry_position(s, fix, &x, &y);
  if (get_gblerr() != 0) return;
  if (position) distance = distance_from_previous(s, x, y);

  bool timed = false;
  double time = 0;
  if (s->no_time) {
    if (position) {
      s->clock += distance * kQxNoTimeStep / (s->after_start ? 20.0 : 1.0);
      s->after_start = false;
    }
    timed = position || fix->valid.time;
    time = kNoTimeDay + s->clock;
  } else if (fix->valid.time && std::isfinite(fix->time)) {
    timed = true;
    time = s->days.at(fix);
  }
  if (timed && !s->have_first) {
    s->have_first = true;
    s->first_time = time;
    s->first_of_day = s->no_time ? kNoTimeDay : fix->time;
  }

  if (!s->cur) {
    if (timed) {
      open_point(s, time, line, length);
    } else if (fix->event != 0) {
      s->held.assign(line, size_t(length));
      s->held.append("\r\n");
      s->held_kind = fix->event == kEventStart ? QX_MARKER_START : QX_MARKER_STOP;
      return;
    } else {
      return;
    }
  } else {
    if (timed && std::fabs(time - s->cur_time) < kQxSameTime) time = s->cur_time;
    if (timed && time != s->cur_time) {
      open_point(s, time, line, length);
    } else if (s->cur->length < kQxTextCap) {
      append_line(s->cur, line, length);
    }
  }
  replay_point* p = s->cur;
  if (!p || get_gblerr() != 0) return;
  // A STOP marker ends the recorded run and its point: the next START is held for the
  // first point of the next run.
  if (fix->event == kEventStop) {
    close_point(s);
    return;
  }
  if (!timed) time = s->cur_time;
  if (position) {
    qx_point_set_fix(p, fix);
    take_position(s, fix, x, y, distance, time);
  } else if (fix->valid.altitude) {
    qx_point_set_fix(p, fix);
  }
  qx_point_set_motion(p, fix);
  if (fix->valid.speed) s->cur_speed = true;
}

// The kept points as sons of a new track segment of the list, in the list, with their
// dates.
void place_points(log_state* s, container_t* list, double start_date) {
  trackseg_t* segment = nullptr;
  trackseg_create(nullptr, list, &segment);
  if (!segment || get_gblerr() != 0) {
    for (replay_point* p : s->kept) free_point(p);
    s->kept.clear();
    return;
  }
  container_t* sons = obj_create_sons_list(segment, 0, 0, 0);
  date_rec start{};
  if (has_calendar_date(start_date)) date_rec_from_packed(&start, start_date);
  // The replay starts at time 0: when the first groups of the log were dropped (no
  // position, a jump), the kept track starts at its first kept point, not after a silence.
  double shift = s->kept.front()->time;
  for (const replay_point* p : s->kept) shift = std::fmin(shift, p->time);
  if (!(shift > 0)) shift = 0;
  for (replay_point* p : s->kept) {
    date_rec when{};
    if (has_calendar_date(start_date)) {
      when = start;
      date_add_days(&when, p->time);
    } else {
      when.date = when.day = start_date + p->time;
    }
    std::memcpy(&p->date_time, &when, sizeof when);
    p->time -= shift;
    obj_list_append(sons, p);
    const int n = obj_list_count(list);
    if (n > 0 && list->elems[n - 1]->id < p->id)
      obj_list_append(list, p);
    else
      id_list_insert(list, p);
  }
  s->kept.clear();
}

}  // namespace

int qx_prescan_nmea_log(obj_t* file, double* start_date) {
  if (start_date) *start_date = 0;
  if (rd_open(file, kQxReadBuffer, 1) != 0) {
    set_gblerr(0);
    return 0;
  }
  if (!nmea_std_dict() && nmea_module_init() != 0) return 0;
  nmea_parser* parser = nullptr;
  if (nmea_reader_create(nullptr, nullptr, &parser) != 0 || !parser) return 0;
  auto lines = std::make_unique<chunk_lines>();
  char line[kQxLineMax + 2];
  int length = 0;
  day_clock days;
  bool have_first = false;
  double first = 0, first_tod = 0, previous = 0;
  int advances = 0;
  while (get_gblerr() == 0 && chunk_lines_next(lines.get(), kQxPrescanLineMax, line, &length)) {
    feed_line(parser, line, length, kQxPrescanLineMax);
    const nmea_fix* fix = parser->fix;
    if (get_gblerr() != 0 || !fix->valid.time || !std::isfinite(fix->time)) continue;
    double t = days.at(fix);
    if (!have_first) {
      have_first = true;
      first = t;
      first_tod = fix->time;
    } else if (std::fabs(t - previous) < kQxSameTime) {
      t = previous;
    }
    previous = t;
    if (t > first + kQxSameTime) {
      advances = 1;
      break;
    }
  }
  set_gblerr(0);
  if (start_date) *start_date = days.start_date(first_tod);
  nmea_reader_free(&parser);
  return advances;
}

int qx_read_nmea_log(obj_t* file) {
  fileatt_t* f = file_of(file);
  if (!f) return set_gblerr(ERR_PARAMETERS);
  if (rd_open(file, kQxReadBuffer, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  double start_date = 0;
  auto s = std::make_unique<log_state>();
  if (!qx_prescan_nmea_log(file, &start_date)) {
    s->no_time = true;
    start_date = kNoTimeDate + kNoTimeDay;
  }
  if (rd_open(file, kQxReadBuffer, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  if (!f->sot) obj_list_new(&f->sot);
  if (begin(s.get()) == 0) {
    auto lines = std::make_unique<chunk_lines>();
    char line[kQxLineMax + 2];
    int length = 0;
    while (get_gblerr() == 0 && chunk_lines_next(lines.get(), kQxLineMax, line, &length))
      read_one_line(s.get(), line, length);
    if (get_gblerr() == 0) close_point(s.get());
  }
  const int err = get_gblerr();
  set_gblerr(0);
  // A date met after the pre-scan stopped still dates the log, from its first day.
  if (!s->no_time && s->days.base != 0) start_date = s->days.start_date(s->first_of_day);
  // What was built before an error stays.
  if (!s->kept.empty()) place_points(s.get(), f->sot, start_date);
  end(s.get());
  set_gblerr(0);
  return err;
}
