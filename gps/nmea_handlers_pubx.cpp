// Handler 18, PUBX: the first two characters of the first field choose the message -
// "01" position, "03" satellites, "04" time; any other is ignored.
#include <cstring>

#include "core/object.h"
#include "gps/nmea_handlers_internal.h"
#include "gps/nmea_parser.h"

namespace {

using namespace nmea_detail;

void pubx_position(nmea_parser* p, nmea_fix* f) {
  char time[kNmeaFieldSize], status[kNmeaFieldSize];
  nmea_next_field(p, time);
  double lat = 0, lon = 0;
  const bool placed = read_position(p, &lat, &lon);
  const double altitude = nmea_next_double(p, nullptr);
  nmea_next_field(p, status);
  if (!placed || (status[0] != 'D' && status[0] != 'G')) return;
  if (time[0] && !nmea_number_ok(time)) return;
  f->latitude = lat;
  f->longitude = lon;
  f->time = field_time(time);
  f->ell_height = altitude;
  f->valid.position = 1;
  f->valid.time = 1;
  f->valid.quality = 1;
  const int32_t kind = field_int(status + 1);
  f->fix = kind == NULL_INT ? 0 : (kind >= 1 ? 1 : kind);
  f->differential = 0;
  f->dead_reckoning = std::strcmp(status, "DR") == 0 ? 1 : 0;
  f->h_accuracy = nmea_next_double(p, nullptr);
  f->v_accuracy = nmea_next_double(p, nullptr);
  const double kmh = nmea_next_double(p, nullptr);
  f->speed = kmh;
  f->speed_knots = kmh / kNmeaKmPerNm;
  f->valid.speed = 1;
  f->course = nmea_next_double(p, nullptr);
  f->valid.course = 1;
  skip_fields(p, 2);
  int present = 0;
  double v = nmea_next_double(p, &present);
  f->hdop = present ? v : NULL_DOUBLE;
  v = nmea_next_double(p, &present);
  f->vdop = present ? v : NULL_DOUBLE;
  skip_fields(p, 1);
  const int32_t used = nmea_next_int(p, &present);
  if (present) {
    f->satellites_used = used;
    f->valid.satellites = 1;
  }
  skip_fields(p, 1);
  f->dead_reckoning = nmea_next_int(p, nullptr);
}

void pubx_satellites(nmea_parser* p, nmea_fix* f) {
  int present = 0;
  const int32_t count = nmea_next_int(p, &present);
  if (!present) return;
  f->satellites = count;
  f->valid.sat_table = 1;
  f->valid.satellites = 1;
  const int n = count < 0 ? 0 : (count > kNmeaSatellites ? kNmeaSatellites : count);
  char status[kNmeaFieldSize];
  for (int i = 0; i < n; ++i) {
    nmea_satellite& s = f->sat[i];
    s.prn = nmea_next_int(p, nullptr);
    nmea_next_field(p, status);
    s.used = status[0] == 'U' ? 1 : 0;
    s.azimuth = nmea_next_int(p, nullptr);
    s.elevation = nmea_next_int(p, nullptr);
    s.snr = nmea_next_int(p, nullptr);
  }
}

void pubx_time(nmea_parser* p, nmea_fix* f) {
  char text[kNmeaFieldSize];
  f->time = field_time(nmea_next_field(p, text));
  f->valid.time = 1;
  f->date = field_date(nmea_next_field(p, text));
  f->valid.date = 1;
}

}  // namespace

void nmea_handle_pubx(nmea_parser* p) {
  nmea_fix* f = p->fix;
  if (!f) return;
  char id[kNmeaFieldSize];
  nmea_next_field(p, id);
  if (id[0] != '0' || id[1] == '\0') return;
  if (id[1] == '1') pubx_position(p, f);
  else if (id[1] == '3') pubx_satellites(p, f);
  else if (id[1] == '4') pubx_time(p, f);
}
