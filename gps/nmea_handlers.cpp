// The standard sentence handlers: what each recognised sentence writes into the parser's
// fix record, and the 21-entry handler table indexed by the standard sentence indexes.
// PUBX lives in nmea_handlers_pubx.cpp.
//
// Every handler reads the sentence's fields in order with nmea_next_field (at most 80
// characters each); a field's first character decides every letter test. Handlers run
// only when the parser has a fix record. Names are cut to their field's size, GSV never
// writes past the 12-entry satellite table, and the route waypoint list stays below
// kNmeaRouteMax bytes, so a hostile stream cannot grow the fix.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "core/dates.h"
#include "core/memory.h"
#include "core/object.h"
#include "core/scanner.h"
#include "core/strutil.h"
#include "gps/nmea_handlers_internal.h"
#include "gps/nmea_parser.h"

namespace nmea_detail {

double field_time(const char* text) {
  return hhmmss_to_day_fraction(str_to_double(text), nullptr);
}

double field_date(const char* text) {
  double d = 0.0;
  parse_date_ddmmyy(text, &d);
  return d;
}

int32_t field_int(const char* text) {
  if (!text[0]) return NULL_INT;
  int32_t v = 0;
  parse_int(text, &v);
  return v;
}

bool read_position(nmea_parser* p, double* latitude, double* longitude) {
  *latitude = nmea_next_position(p);
  *longitude = nmea_next_position(p);
  return !std::isnan(*latitude) && !std::isnan(*longitude);
}

void skip_fields(nmea_parser* p, int n) { nmea_skip_fields(p, n); }

// Bytes of a string list up to (not including) its final empty string.
size_t list_used(const char* list) {
  size_t used = 0;
  if (list)
    while (list[used]) used += std::strlen(list + used) + 1;
  return used;
}

void route_append(nmea_fix* f, const std::string& names) {
  if (names.empty()) return;
  const size_t used = list_used(f->route_waypoints);
  size_t add = names.size();
  if (used + add > kNmeaRouteMax) {
    // Whole names only: cut after the last terminator that fits.
    const size_t room = used < kNmeaRouteMax ? kNmeaRouteMax - used : 0;
    add = 0;
    for (size_t i = 0; i < room && i < names.size(); ++i)
      if (names[i] == '\0') add = i + 1;
    if (add == 0) return;
  }
  char* list = realloc_mem(&f->route_waypoints, used + add + 1);
  std::memcpy(list + used, names.data(), add);
  list[used + add] = '\0';
}

// Every non-empty field left in the sentence, each followed by a terminator.
std::string remaining_names(nmea_parser* p) {
  std::string names;
  char buf[kNmeaFieldSize];
  while (p->field_cursor && *p->field_cursor) {
    nmea_next_field(p, buf);
    if (buf[0]) {
      names += buf;
      names += '\0';
    }
  }
  return names;
}

}  // namespace nmea_detail

namespace {

using namespace nmea_detail;

// ---- 1 GLL ---------------------------------------------------------------------------
void h_gll(nmea_parser* p, nmea_fix* f) {
  const int64_t filled = count_field_chars(0, ',', p->fields, nullptr);
  double lat = 0, lon = 0;
  if (!read_position(p, &lat, &lon)) return;
  if (filled > 4) {
    char time[kNmeaFieldSize], status[kNmeaFieldSize];
    nmea_next_field(p, time);
    nmea_next_field(p, status);
    if (status[0] != 'A') return;
    // An empty time field is no time: the fix is untimed, not at midnight. A malformed
    // one drops the sentence.
    if (time[0] && !nmea_number_ok(time)) return;
    if (time[0]) {
      f->time = field_time(time);
      f->valid.time = 1;
    }
  }
  f->latitude = lat;
  f->longitude = lon;
  f->valid.position = 1;
}

// ---- 2 GGA ---------------------------------------------------------------------------
void h_gga(nmea_parser* p, nmea_fix* f) {
  int timed = 0;
  const double time = nmea_next_time(p, &timed);
  double lat = 0, lon = 0;
  const bool placed = read_position(p, &lat, &lon) && !std::isnan(time);
  int has_quality = 0;
  const int32_t q = nmea_next_int(p, &has_quality);
  if (placed && (!has_quality || q != 0)) {
    f->latitude = lat;
    f->longitude = lon;
    f->valid.position = 1;
    if (timed) {
      f->time = time;
      f->valid.time = 1;
    }
    f->fix = has_quality && q > 0 ? 1 : 0;
    f->differential = has_quality && q >= 2 ? 1 : 0;
    if (has_quality) f->valid.quality = 1;
  }
  int present = 0;
  const int32_t sats = nmea_next_int(p, &present);
  if (present) {
    f->satellites = sats;
    f->valid.satellites = 1;
  }
  const double hdop = nmea_next_double(p, &present);
  f->hdop = present ? hdop : NULL_DOUBLE;
  int has_altitude = 0;
  const double altitude = nmea_next_double(p, &has_altitude);
  if (nmea_next_letter(p) == 'M' && has_altitude) {
    f->valid.altitude = 1;
    f->altitude = altitude;
    f->ell_height = altitude;
  }
  int has_separation = 0;
  const double separation = nmea_next_double(p, &has_separation);
  if (nmea_next_letter(p) == 'M' && has_separation) f->ell_height = f->altitude - separation;
}

// ---- 3 RMC ---------------------------------------------------------------------------
void h_rmc(nmea_parser* p, nmea_fix* f) {
  int timed = 0;
  const double time = nmea_next_time(p, &timed);
  if (nmea_next_letter(p) != 'A' || std::isnan(time)) return;
  double lat = 0, lon = 0;
  if (!read_position(p, &lat, &lon)) return;
  if (timed) {
    f->time = time;
    f->valid.time = 1;
  }
  f->latitude = lat;
  f->longitude = lon;
  f->valid.position = 1;
  int present = 0;
  const double knots = nmea_next_double(p, &present);
  if (present) {
    f->speed_knots = knots;
    f->speed = knots * kNmeaKmPerNm;
    f->valid.speed = 1;
  }
  const double course = nmea_next_double(p, &present);
  if (present) {
    f->course = course;
    f->valid.course = 1;
  }
  const double date = nmea_next_date(p, &present);
  if (present) {
    f->date = date;
    f->valid.date = 1;
  }
  const double variation = nmea_next_double(p, nullptr);
  f->mag_course = nmea_next_letter(p) == 'W' ? f->course + variation : f->course - variation;
}

// ---- 4 GSV ---------------------------------------------------------------------------
void h_gsv(nmea_parser* p, nmea_fix* f) {
  const int32_t messages = nmea_next_int(p, nullptr);
  const int32_t number = nmea_next_int(p, nullptr);
  if (messages == NULL_INT || number == NULL_INT || number < 1 || number > messages) return;
  const int32_t in_view = nmea_next_int(p, nullptr);
  f->satellites = in_view;
  f->valid.satellites = 1;
  // Four per message; the last message carries those left, never more than four.
  int here = 4;
  if (number == messages) {
    const int64_t left = in_view == NULL_INT ? 0 : int64_t(in_view) - 4 * int64_t(number - 1);
    here = static_cast<int>(std::clamp<int64_t>(left, 0, 4));
  }
  if (number > kNmeaSatellites / 4) return;
  f->valid.sat_table = 1;
  for (int i = 0; i < here; ++i) {
    const int entry = 4 * (number - 1) + i;
    if (entry >= kNmeaSatellites) break;
    nmea_satellite& s = f->sat[entry];
    s.prn = nmea_next_int(p, nullptr);
    s.elevation = nmea_next_int(p, nullptr);
    s.azimuth = nmea_next_int(p, nullptr);
    s.snr = nmea_next_int(p, nullptr);
  }
}

// ---- 5 RMB ---------------------------------------------------------------------------
void h_rmb(nmea_parser* p, nmea_fix* f) {
  char status[kNmeaFieldSize], text[kNmeaFieldSize], hemi[kNmeaFieldSize];
  nmea_next_field(p, status);
  if (status[0] != 'A') return;
  f->waypoint_given = 0;
  skip_fields(p, 2);
  nmea_fix_set_text(f->origin_name, sizeof f->origin_name, nmea_next_field(p, text));
  nmea_next_field(p, text);
  nmea_fix_set_text(f->waypoint_name, sizeof f->waypoint_name, text[0] ? text : " ");
  nmea_next_field(p, text);
  nmea_next_field(p, hemi);
  if (hemi[0] != 'N' && hemi[0] != 'S') return;
  const double latitude = nmea_position_seconds(text, hemi);
  nmea_next_field(p, text);
  nmea_next_field(p, hemi);
  if (hemi[0] != 'E' && hemi[0] != 'W') return;
  const double longitude = nmea_position_seconds(text, hemi);
  // A malformed number is no position: no waypoint.
  if (std::isnan(latitude) || std::isnan(longitude)) return;
  f->wpt_latitude = latitude;
  f->wpt_longitude = longitude;
  f->range = nmea_next_double(p, nullptr);
  f->bearing = nmea_next_double(p, nullptr);
  f->closing_velocity = nmea_next_double(p, nullptr);
  nmea_next_field(p, text);
  f->arrival = text[0] == 'A' ? 1 : 0;
  f->waypoint_given = 1;
}

// ---- 6 VTG ---------------------------------------------------------------------------
void h_vtg(nmea_parser* p, nmea_fix* f) {
  for (int pair = 0; pair < 4; ++pair) {
    int present = 0;
    const double value = nmea_next_double(p, &present);
    char unit[kNmeaFieldSize];
    nmea_next_field(p, unit);
    if (!present) continue;
    const char u = unit[0];
    switch (pair) {
      case 0: (u == 'T' ? f->course : f->mag_course) = value; break;
      case 1: (u == 'M' ? f->mag_course : f->course) = value; break;
      case 2: (u == 'N' ? f->speed_knots : f->speed) = value; break;
      default: (u == 'K' ? f->speed : f->speed_knots) = value; break;
    }
    (pair < 2 ? f->valid.course : f->valid.speed) = 1;
  }
}

// ---- 7 BOD ---------------------------------------------------------------------------
void h_bod(nmea_parser* p, nmea_fix* f) {
  char unit[kNmeaFieldSize], text[kNmeaFieldSize];
  double value = nmea_next_double(p, nullptr);
  nmea_next_field(p, unit);
  (unit[0] == 'T' ? f->bearing : f->mag_bearing) = value;
  value = nmea_next_double(p, nullptr);
  nmea_next_field(p, unit);
  (unit[0] == 'M' ? f->mag_bearing : f->bearing) = value;
  nmea_fix_set_text(f->waypoint_name, sizeof f->waypoint_name, nmea_next_field(p, text));
  nmea_fix_set_text(f->origin_name, sizeof f->origin_name, nmea_next_field(p, text));
  f->waypoint_given = 0;
}

// ---- 8 PGRMM -------------------------------------------------------------------------
void h_pgrmm(nmea_parser* p, nmea_fix* f) {
  char text[kNmeaFieldSize];
  nmea_fix_set_text(f->datum_name, sizeof f->datum_name, nmea_next_field(p, text));
  f->datum_scheme = 4;
}

// ---- 9 PGRME -------------------------------------------------------------------------
void h_pgrme(nmea_parser* p, nmea_fix* f) {
  char unit[kNmeaFieldSize];
  double value = nmea_next_double(p, nullptr);
  nmea_next_field(p, unit);
  if (unit[0] == 'M') f->h_error = value;
  value = nmea_next_double(p, nullptr);
  nmea_next_field(p, unit);
  if (unit[0] == 'M') f->v_error = value;
}

// ---- 10 ZDA --------------------------------------------------------------------------
void h_zda(nmea_parser* p, nmea_fix* f) {
  char time[kNmeaFieldSize];
  nmea_next_field(p, time);
  if (time[0] && !nmea_number_ok(time)) return;
  f->time = field_time(time);
  f->valid.time = 1;
  const int32_t day = nmea_next_int(p, nullptr);
  const int32_t month = nmea_next_int(p, nullptr);
  const int32_t year = nmea_next_int(p, nullptr);
  const auto plain = [](int32_t v) { return v == NULL_INT ? 0 : v; };
  f->date = date_from_ymd(plain(year), plain(month), double(plain(day)) - 1.0);
  f->valid.date = 1;
}

// ---- 11 WPL --------------------------------------------------------------------------
void h_wpl(nmea_parser* p, nmea_fix* f) {
  char text[kNmeaFieldSize];
  double lat = 0, lon = 0;
  if (!read_position(p, &lat, &lon)) return;
  f->wpt_latitude = lat;
  f->wpt_longitude = lon;
  nmea_fix_set_text(f->waypoint_name, sizeof f->waypoint_name, nmea_next_field(p, text));
  f->waypoint_given = 1;
}

// ---- 12 RTE --------------------------------------------------------------------------
void h_rte(nmea_parser* p, nmea_fix* f) {
  const int32_t total = nmea_next_int(p, nullptr);
  const int32_t number = nmea_next_int(p, nullptr);
  if (total != p->route_total && number != 1) return;
  p->route_total = total;
  if (number == 1) free_mem(&f->route_waypoints);
  if (number == total) f->route_complete = 1;
  char text[kNmeaFieldSize];
  nmea_next_field(p, text);
  if (text[0] != 'c') return;
  str_set(nmea_next_field(p, text), &f->route_name);
  route_append(f, remaining_names(p));
}

// ---- 13 R00 --------------------------------------------------------------------------
void h_r00(nmea_parser* p, nmea_fix* f) {
  free_mem(&f->route_waypoints);
  route_append(f, remaining_names(p));
  f->route_complete = 1;
}

// ---- 14 PGRMF ------------------------------------------------------------------------
void h_pgrmf(nmea_parser* p, nmea_fix* f) {
  char text[kNmeaFieldSize];
  const int32_t week = nmea_next_int(p, nullptr);
  const double seconds = nmea_next_double(p, nullptr);
  f->date = date_from_gps_week(week == NULL_INT ? 0 : week, seconds);
  f->valid.date = 1;
  nmea_next_field(p, text);
  if (std::strlen(text) >= 6) f->date = field_date(text);
  nmea_next_field(p, text);
  if (std::strlen(text) >= 6 && nmea_number_ok(text)) {
    f->time = field_time(text);
    f->valid.time = 1;
  }
  skip_fields(p, 1);
  double lat = 0, lon = 0;
  const bool placed = read_position(p, &lat, &lon);
  if (placed) {
    f->latitude = lat;
    f->longitude = lon;
  }
  skip_fields(p, 1);
  const int32_t type = nmea_next_int(p, nullptr);
  if (placed && type != NULL_INT && type > 0) f->valid.position = 1;
  const double kmh = nmea_next_double(p, nullptr);
  f->speed = kmh;
  f->speed_knots = kmh / kNmeaKmPerNm;
  f->valid.speed = 1;
  f->course = nmea_next_double(p, nullptr);
  f->valid.course = 1;
}

// ---- 15 PTMQT ------------------------------------------------------------------------
void h_ptmqt(nmea_parser* p, nmea_fix* f) {
  char text[kNmeaFieldSize];
  nmea_next_field(p, text);
  if (std::strcmp(text, "START") == 0) f->event = 1;
  else if (std::strcmp(text, "STOP") == 0) f->event = 2;
}

// ---- 16 PGRMV ------------------------------------------------------------------------
void h_pgrmv(nmea_parser* p, nmea_fix* f) {
  const double east = nmea_next_double(p, nullptr);
  const double north = nmea_next_double(p, nullptr);
  const double up = nmea_next_double(p, nullptr);
  f->speed = std::sqrt(east * east + north * north + up * up) * 3.6;
  f->valid.speed = 1;
}

// ---- 17 DTM --------------------------------------------------------------------------
void h_dtm(nmea_parser* p, nmea_fix* f) {
  char text[kNmeaFieldSize];
  nmea_next_field(p, text);
  if (std::strcmp(text, "999") == 0) nmea_next_field(p, text);
  nmea_fix_set_text(f->datum_name, sizeof f->datum_name, text);
  f->datum_scheme = 7;
}

// ---- 19 GSA --------------------------------------------------------------------------
void h_gsa(nmea_parser* p, nmea_fix* f) {
  skip_fields(p, 1);
  int present = 0;
  const int32_t type = nmea_next_int(p, &present);
  if (present) {
    f->fix = type >= 2 ? std::min(type, 3) : 0;
    f->valid.quality = 1;
  }
  int used = 0;
  for (int i = 0; i < kNmeaSatellites; ++i) {
    const int32_t prn = nmea_next_int(p, nullptr);
    if (prn != NULL_INT && prn > 0) ++used;
  }
  f->satellites_used = used;
  f->valid.satellites = 1;
  f->satellites = std::max(f->satellites, used);
  double v = nmea_next_double(p, &present);
  f->pdop = present ? v : NULL_DOUBLE;
  v = nmea_next_double(p, &present);
  f->hdop = present ? v : NULL_DOUBLE;
  v = nmea_next_double(p, &present);
  f->vdop = present ? v : NULL_DOUBLE;
}

// ---- 20 PTMQB ------------------------------------------------------------------------
void h_ptmqb(nmea_parser* p, nmea_fix* f) {
  char time[kNmeaFieldSize], date[kNmeaFieldSize];
  nmea_next_field(p, time);
  nmea_next_field(p, date);
  f->time_stamp = field_date(date) + field_time(time);
}

// Handlers write the parser's fix; a parser without one ignores the sentence.
template <void (*H)(nmea_parser*, nmea_fix*)> void with_fix(nmea_parser* p) {
  if (p->fix) H(p, p->fix);
}

}  // namespace

const nmea_handler kNmeaStdHandlers[kNmeaHandlerCount] = {
    nullptr,             with_fix<h_gll>,   with_fix<h_gga>,   with_fix<h_rmc>,
    with_fix<h_gsv>,     with_fix<h_rmb>,   with_fix<h_vtg>,   with_fix<h_bod>,
    with_fix<h_pgrmm>,   with_fix<h_pgrme>, with_fix<h_zda>,   with_fix<h_wpl>,
    with_fix<h_rte>,     with_fix<h_r00>,   with_fix<h_pgrmf>, with_fix<h_ptmqt>,
    with_fix<h_pgrmv>,   with_fix<h_dtm>,   nmea_handle_pubx,  with_fix<h_gsa>,
    with_fix<h_ptmqb>,
};
