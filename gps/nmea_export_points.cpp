// The sentences of one exported track point, and the coordinate and time texts they
// share with the waypoint sentence.
//
// GLL, GGA and RMC always (GGA with quality 1 for a point that has no navigation record); GSA when the point's navigation record has a PDOP or a VDOP;
// GSV when the point has satellites; VTG when it has a speed; ZDA when its time has a
// date. A value the point lacks leaves its field empty. The GGA geoidal separation is
// the point's `geoidh` (altitude minus ellipsoidal height, as the import keeps it), so
// heights survive a write and a read.
//
// Rounded texts never read as an impossible value: minutes that round to 60.0000 are
// carried into the degrees, and seconds that round to 60.000 into the minutes (and on
// to the date).
#include <cmath>
#include <cstring>

#include "core/dates.h"
#include "core/error.h"
#include "core/object.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "gps/nmea_export_internal.h"
#include "map/gps_classes.h"

namespace {

constexpr double kKmPerNauticalMile = 1.852;
constexpr int kGsaSatellites = 12;
constexpr int kGsvPerSentence = 4;

// Minutes in units of 1e-4 minute per degree.
constexpr double kTenThousandthsPerDegree = 600000.0;
// The largest absolute angle written: anything beyond is no coordinate (a point read
// from bad data) and is written as this, not as an overflowing integer.
constexpr double kMaxDegrees = 1.0e6;

bool has_value(double v) { return v != NULL_DOUBLE && std::isfinite(v); }
bool has_value(int32_t v) { return v != NULL_INT; }

// A point's time of day and date, the time rounded to the millisecond with its carry.
struct point_time {
  bool has_time = false;
  int hours = 0, minutes = 0;
  double seconds = 0;
  int year = 0, month = 0, day = 0;
};

point_time time_of(const gpspos_t* p) {
  point_time t;
  date_rec rec;
  std::memcpy(&rec, &p->time, sizeof rec);
  if (rec.date == 0.0 || !std::isfinite(rec.date) || !std::isfinite(rec.day)) return t;
  t.has_time = true;
  const double fraction = rec.day - std::floor(rec.day);
  long long ms = std::llround(fraction * 86400000.0);
  if (rec.date >= 10000.0) {
    // A dated record: its calendar fields, moved to the next day when the time rounds
    // up to midnight.
    date_rec day_start{std::floor(rec.date), std::floor(rec.day)};
    if (ms >= 86400000) {
      ms = 0;
      date_add_days(&day_start, 1.0);
    }
    double d = 0;
    date_rec_split(&day_start, &t.year, &t.month, &d);
    t.day = int(std::floor(d + 1e-9));
  } else if (ms >= 86400000) {
    ms = 0;
  }
  t.hours = int(ms / 3600000);
  t.minutes = int(ms / 60000 % 60);
  t.seconds = double(ms % 60000) / 1000.0;
  return t;
}

std::string time_text(const point_time& t) {
  return t.has_time ? nmea_format("%02d%02d%06.3lf", t.hours, t.minutes, t.seconds) : "";
}

std::string int_text(int32_t v) { return has_value(v) ? nmea_format("%d", v) : ""; }

const navigation_t* navigation_of(const gpspos_t* p) {
  const obj_t* n = p->navig;
  return n && n->cls == CLS_NAVIGATION ? static_cast<const navigation_t*>(n) : nullptr;
}

// The satellites of the point's idsats list, in order.
std::vector<const satellite_t*> satellites_of(const gpspos_t* p) {
  std::vector<const satellite_t*> out;
  const container_t* list = p->idsats;
  for (int i = 0; i < obj_list_count(list); ++i) {
    const obj_t* s = list->elems[i];
    if (s && s->cls == CLS_SATELLITE) out.push_back(static_cast<const satellite_t*>(s));
  }
  return out;
}

std::string gll(const std::string& position, const point_time& t) {
  return "$GPGLL," + position + "," + time_text(t) + ",A";
}

std::string gga(const gpspos_t* p, const navigation_t* nav, const std::string& position,
                const point_time& t) {
  std::string s = "$GPGGA," + time_text(t) + "," + position + ",";
  // A point without navigation record is a position fix of unknown quality: "1", as an
  // empty quality reads as "no fix" to other NMEA readers, which then drop the point.
  if (nav && has_value(nav->dgps) && nav->dgps != 0)
    s += "2";
  else if (!nav || nav->fix != 0)
    s += "1";
  s += ",";
  if (nav && has_value(nav->nbsatsinvue) && nav->nbsatsinvue != 0)
    s += nmea_format("%d", nav->nbsatsinvue);
  s += ",";
  if (nav && has_value(nav->hdop)) s += nmea_format("%.2lf", nav->hdop);
  s += ",";
  s += p->altitude != 0.0f ? nmea_format("%.2lf,M", double(p->altitude)) : ",";
  s += ",";
  s += p->geoidh != 0.0f ? nmea_format("%.2lf,M", double(p->geoidh)) : ",";
  s += ",";
  const obj_t* d = p->dgps;
  if (d && d->cls == CLS_DGPS) {
    const auto* dg = static_cast<const dgps_t*>(d);
    if (has_value(dg->ageofdgpsdata)) s += nmea_format("%.0lf", dg->ageofdgpsdata);
    s += ",";
    if (has_value(dg->dgpsstation) && dg->dgpsstation != 0) s += nmea_format("%d", dg->dgpsstation);
  } else {
    s += ",";
  }
  return s;
}

std::string gsa(const navigation_t* nav, const std::vector<const satellite_t*>& sats) {
  std::string s = "$GPGSA,,";
  if (has_value(nav->fix)) s += nmea_format("%d", nav->fix < 1 ? 1 : nav->fix <= 2 ? 2 : 3);
  s += ",";
  int places = 0;
  for (const satellite_t* sat : sats) {
    if (places == kGsaSatellites) break;
    s += int_text(sat->prn) + ",";
    ++places;
  }
  for (; places < kGsaSatellites; ++places) s += ",";
  if (has_value(nav->pdop)) s += nmea_format("%.2lf", nav->pdop);
  s += ",";
  if (has_value(nav->hdop)) s += nmea_format("%.2lf", nav->hdop);
  s += ",";
  if (has_value(nav->vdop)) s += nmea_format("%.2lf", nav->vdop);
  return s;
}

void gsv(const std::vector<const satellite_t*>& sats, std::vector<std::string>* out) {
  const int n = int(sats.size());
  const int m = n / kGsvPerSentence + (n % kGsvPerSentence ? 1 : 0);
  for (int k = 1; k <= m; ++k) {
    std::string s = nmea_format("$GPGSV,%d,%d,%d", m, k, n);
    for (int i = (k - 1) * kGsvPerSentence; i < n && i < k * kGsvPerSentence; ++i) {
      const satellite_t* sat = sats[size_t(i)];
      for (int32_t v : {sat->prn, sat->elevation, sat->azimuth, sat->snr}) {
        s += ',';
        s += int_text(v);
      }
    }
    out->push_back(s);
  }
}

std::string rmc(const gpspos_t* p, const navigation_t* nav, const std::string& position,
                const point_time& t) {
  std::string s = "$GPRMC," + time_text(t) + ",A," + position + ",";
  if (has_value(p->speed)) s += nmea_format("%.4lf", p->speed / kKmPerNauticalMile);
  s += ",";
  if (has_value(p->direction)) s += nmea_format("%.4lf", p->direction);
  s += ",";
  if (t.year > 0) s += nmea_format("%02d%02d%02d", t.day, t.month, t.year % 100);
  s += ",";
  if (nav && has_value(nav->magvar)) s += nmea_format("%05.1lf", nav->magvar);
  return s;
}

std::string vtg(const gpspos_t* p) {
  const double knots = p->speed / kKmPerNauticalMile;
  if (has_value(p->direction) && p->direction > 0)
    return nmea_format("$GPVTG,%.4lf,T,,,%.4lf,N,%.4lf,K", p->direction, knots, p->speed);
  return nmea_format("$GPVTG,,,,,%.4lf,N,%.4lf,K", knots, p->speed);
}

std::string zda(const point_time& t) {
  return nmea_format("$GPZDA,%02d%02d%06.3lf,%02d,%02d,%04d,,", t.hours, t.minutes, t.seconds,
                     t.day, t.month, t.year);
}

}  // namespace

void nmea_split_degrees(double degrees, int* whole, double* minutes) {
  double a = std::fabs(degrees);
  if (!std::isfinite(a) || a > kMaxDegrees) a = std::isfinite(a) ? kMaxDegrees : 0.0;
  const long long units = std::llround(a * kTenThousandthsPerDegree);
  *whole = int(units / 600000);
  *minutes = double(units % 600000) / 10000.0;
}

std::string nmea_latitude_text(double latitude) {
  int d = 0;
  double m = 0;
  nmea_split_degrees(latitude, &d, &m);
  return nmea_format("%02d%07.4lf,%c", d, m, latitude < 0 ? 'S' : 'N');
}

std::string nmea_longitude_text(double longitude) {
  int d = 0;
  double m = 0;
  nmea_split_degrees(longitude, &d, &m);
  return nmea_format("%03d%07.4lf,%c", d, m, longitude < 0 ? 'W' : 'E');
}

std::string nmea_position_text(double x, double y) {
  return nmea_latitude_text(y) + "," + nmea_longitude_text(x);
}

void nmea_point_degrees(const nmea_output* out, xform_chain_t* chain, const obj_t* point,
                        double* x, double* y) {
  gps_point_t c;
  std::memcpy(&c, reinterpret_cast<const char*>(point) + kPointCoordsOffset, sizeof c);
  double z = c.z;
  *x = c.x;
  *y = c.y;
  if (chain) xform_chain_forward(chain, x, y, &z);
  angle_unit_convert(out->ref_unit, ANG_DEGREE, x, y);
}

std::vector<std::string> nmea_point_sentences(const obj_t* point, xform_chain_t* chain,
                                              const nmea_output& out) {
  std::vector<std::string> lines;
  if (!point || point->cls != CLS_GPSPOS) return lines;
  const auto* p = static_cast<const gpspos_t*>(point);
  double x = 0, y = 0;
  nmea_point_degrees(&out, chain, p, &x, &y);
  const std::string position = nmea_position_text(x, y);
  const point_time t = time_of(p);
  const navigation_t* nav = navigation_of(p);
  const std::vector<const satellite_t*> sats = satellites_of(p);
  lines.push_back(gll(position, t));
  lines.push_back(gga(p, nav, position, t));
  if (nav && (has_value(nav->pdop) || has_value(nav->vdop))) lines.push_back(gsa(nav, sats));
  if (!sats.empty()) gsv(sats, &lines);
  lines.push_back(rmc(p, nav, position, t));
  if (has_value(p->speed)) lines.push_back(vtg(p));
  if (t.year > 0) lines.push_back(zda(t));
  return lines;
}

void nmea_write_point(const obj_t* point, xform_chain_t* chain, nmea_output* out) {
  for (const std::string& s : nmea_point_sentences(point, chain, *out)) nmea_out_sentence(out, s);
}
