// The NMEA import's track points: a fix into a point (position, heights, speed, course,
// the navigation record, satellites, time), the datum of the fix's positions, and the
// reprojection of what was read before an early datum change.
//
// A point filled by several sentences of one fix (GGA, GSV in parts, RMC) keeps one set
// of satellite objects: each fill with satellites updates those the point has, makes the
// missing ones and drops those no longer in view, so a GSV series never doubles them.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/dates.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "geodesy/georef.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/xform.h"
#include "geodesy/xform_records.h"
#include "gps/nmea_import_internal.h"
#include "gps/nmea_parser.h"
#include "map/gps_classes.h"

namespace {

navigation_t* navigation_of(gpspos_t* p) {
  obj_t* n = p->navig;
  if (!n) {
    alloc_obj(CLS_NAVIGATION, &n);
    p->navig = n;
  }
  return static_cast<navigation_t*>(n);
}

// The fix's date and time of day as a date record; without a date, year and month 0:
// both values are the time of day.
// The fix's date and time of day as a date record; without a date, year and month 0:
// both values are the time of day. The calendar fields of the last date split are kept
// in `cache`: one date serves many fixes.
date_rec time_record(const nmea_fix* fix, nmea_date_cache* cache) {
  date_rec r{fix->time, fix->time};
  if (fix->date == 0.0 || !std::isfinite(fix->date)) return r;
  if (cache->packed != fix->date) {
    cache->packed = fix->date;
    date_split(fix->date, &cache->year, &cache->month, &cache->day);
  }
  if (cache->month < 1) return r;
  const double day = std::floor(cache->day);
  const double time = fix->time;
  // A day every month has and a time within the day: the record date_normalize makes,
  // without its calendar walk.
  if (time >= 0.0 && time < 1.0 && day >= 1.0 && day <= 28.0) {
    const double days = (day - 1.0) + time;
    r.date = double(int64_t(cache->year) * 10000 + cache->month * 100 + 1) + days;
    r.day = days + 1;
    return r;
  }
  date_normalize(&r, cache->year, cache->month, day - 1.0 + time);
  return r;
}

void remove_from_list(container_t* list, obj_t* obj) {
  int pos = 0;
  if (list && id_list_find(list, obj->id, &pos) && list->elems[pos] == obj)
    obj_list_remove_at(list, pos);
}

// The point's satellites from the fix's table: at most 12, updated in place.
void fill_satellites(const nmea_fix* fix, gpspos_t* p, container_t* sat_list) {
  int n = fix->satellites;
  if (n > kNmeaSatellites) n = kNmeaSatellites;
  container_t* ids = p->idsats;
  if (!ids) {
    obj_list_new(&ids);
    if (!ids) return;
    p->idsats = ids;
  }
  while (obj_list_count(ids) > n) {
    obj_t* s = nullptr;
    obj_list_pop(ids, &s);
    if (!s) break;
    remove_from_list(sat_list, s);
    free_obj(&s);
  }
  for (int i = 0; i < n && get_gblerr() == 0; ++i) {
    satellite_t* s = nullptr;
    if (i < obj_list_count(ids)) {
      s = static_cast<satellite_t*>(ids->elems[i]);
    } else {
      obj_new_in_list(sat_list, CLS_SATELLITE, reinterpret_cast<obj_t**>(&s));
      if (!s) return;
      obj_list_append(ids, s);
    }
    const nmea_satellite& t = fix->sat[i];
    s->prn = t.prn;
    s->elevation = t.elevation;
    s->azimuth = t.azimuth;
    s->snr = t.snr;
    s->used = t.used;
  }
}

// A point's coordinates and heights back through one chain and forward through another.
void carry(obj_t* o, xform_chain_t* old_chain, xform_chain_t* new_chain) {
  gps_point_t c;
  char* at = reinterpret_cast<char*>(o) + kPointCoordsOffset;
  std::memcpy(&c, at, sizeof c);
  double x = c.x, y = c.y, z = c.z;
  if (old_chain) xform_chain_inverse(old_chain, &x, &y, &z);
  c = gps_point_t{x, y, float(z)};
  std::memcpy(at, &c, sizeof c);
  gpsobj_project_point(new_chain, o);
}

}  // namespace

void nmea_fix_to_point(const nmea_fix* fix, gpspos_t* p, container_t* sat_list, bool with_sats,
                       nmea_import_context* c) {
  const nmea_valid& v = fix->valid;
  if (v.position) {
    // The point is projected after each fill: its coordinates start again from the fix.
    const float z = c && c->point_height ? float(fix->ell_height) : 0.0f;
    p->coords = gps_point_t{fix->longitude, fix->latitude, z};
  }
  if (v.altitude) {
    gps_point_t pc = p->coords;
    pc.z = float(fix->ell_height);
    p->coords = pc;
    p->altitude = float(fix->altitude);
    p->geoidh = float(fix->altitude - fix->ell_height);
    if (c) c->point_height = true;
  }
  if (v.speed) p->speed = fix->speed;
  if (v.course) p->direction = fix->course;
  if (v.satellites) {
    navigation_t* n = navigation_of(p);
    if (!n) return;
    if (fix->satellites != NULL_INT) n->nbsatsinvue = fix->satellites;
    if (fix->satellites_used != NULL_INT) n->nbsatsused = fix->satellites_used;
    if (with_sats && sat_list && v.sat_table && fix->satellites != NULL_INT && fix->satellites > 0)
      fill_satellites(fix, p, sat_list);
  }
  if (v.quality) {
    navigation_t* n = navigation_of(p);
    if (!n) return;
    if (fix->fix != NULL_INT) n->fix = fix->fix;
    if (fix->differential != NULL_INT) n->dgps = fix->differential;
    if (fix->hdop != NULL_DOUBLE) n->hdop = fix->hdop;
    if (fix->vdop != NULL_DOUBLE) n->vdop = fix->vdop;
    if (fix->pdop != NULL_DOUBLE) n->pdop = fix->pdop;
    if (fix->satellites_used != NULL_INT) n->nbsatsused = fix->satellites_used;
  }
  nmea_date_cache local;
  const date_rec t = time_record(fix, c ? &c->dates : &local);
  std::memcpy(&p->time, &t, sizeof t);
}

void nmea_datum_update(nmea_import_context* c, xform_chain_t** old) {
  *old = nullptr;
  const nmea_fix* fix = c->parser->fix;
  // The same name as last time (the usual case): its bytes and the terminator compared,
  // without measuring the fix's name first.
  const std::string& last = c->datum_text;
  if (last.size() < sizeof fix->datum_name &&
      std::memcmp(last.c_str(), fix->datum_name, last.size() + 1) == 0)
    return;
  c->datum_text = fix->datum_name;
  geodatum_t* datum = nullptr;
  geo_find_by_alias(CLS_GEODATUM, fix->datum_scheme, fix->datum_name, &datum);
  if (!datum || datum == c->georef->datum) return;
  c->georef->datum = datum;
  xform_chain_t* chain = nullptr;
  georef_chain_to_ref(c->georef, &chain);
  if (!chain) {
    if (get_gblerr() == 0) set_gblerr(ERR_GEOGRAPHIC);
    return;
  }
  *old = c->chain;
  c->chain = chain;
}

void nmea_reproject_all(container_t* list, xform_chain_t* old_chain, xform_chain_t* new_chain) {
  for (int i = 0; i < obj_list_count(list) && get_gblerr() == 0; ++i) {
    obj_t* o = list->elems[i];
    if (!o) continue;
    if (o->cls == CLS_WAYPOINT) {
      carry(o, old_chain, new_chain);
    } else if (o->cls == CLS_TRACKLOG) {
      const container_t* segments = static_cast<tracklog_t*>(o)->sons;
      for (int k = 0; k < obj_list_count(segments); ++k) {
        const obj_t* s = segments->elems[k];
        if (!s || s->cls != CLS_TRACKSEG) continue;
        const container_t* points = static_cast<const trackseg_t*>(s)->sons;
        for (int j = 0; j < obj_list_count(points); ++j)
          if (points->elems[j] && points->elems[j]->cls == CLS_GPSPOS)
            carry(points->elems[j], old_chain, new_chain);
      }
    }
  }
}
