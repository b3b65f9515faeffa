// The NMEA import's routes and the clean-up of finished track segments.
//
// Routes: a finished RTE or R00 series names its waypoints; those the WPL sentences
// defined make the route, a route that names none is not made and the same route given
// twice is kept once.
//
// Segment clean-up: the points read before the first dated sentence (GGA before the
// first RMC) take the date of the first dated point with their own time of day, on the
// day before when their time is later than its time (the change of day carried through
// the calendar, so a first day of a month gives the last day of the month before); and a
// receiver standing still leaves only the first and last point of each run of equal
// positions (only the last when both have the same time).
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/wstring.h"
#include "gps/nmea_import_internal.h"
#include "map/gps_classes.h"

namespace {

constexpr int kCleanupMinPoints = 4;
constexpr int kDateRepairPoints = 10;

date_rec time_of(const obj_t* p) {
  date_rec r;
  std::memcpy(&r, &static_cast<const gpspos_t*>(p)->time, sizeof r);
  return r;
}

void set_time(obj_t* p, const date_rec& r) {
  std::memcpy(&static_cast<gpspos_t*>(p)->time, &r, sizeof r);
}

gps_point_t coords_of(const obj_t* p) {
  gps_point_t c;
  std::memcpy(&c, reinterpret_cast<const char*>(p) + kPointCoordsOffset, sizeof c);
  return c;
}

void repair_dates(container_t* points) {
  const int n = obj_list_count(points) < kDateRepairPoints ? obj_list_count(points)
                                                            : kDateRepairPoints;
  bool undated = false;
  int dated = -1;
  for (int i = 0; i < n; ++i) {
    const date_rec t = time_of(points->elems[i]);
    if (t.day == 0.0) break;
    if (t.date == t.day) undated = true;
    if (t.date > t.day) {
      dated = i;
      break;
    }
  }
  if (!undated || dated < 0) return;
  const date_rec ref = time_of(points->elems[dated]);
  for (int i = 0; i < n; ++i) {
    obj_t* p = points->elems[i];
    const date_rec t = time_of(p);
    if (t.day == 0.0 || t.day != t.date) continue;
    const double d = ref.day - t.day;
    const double f = d - std::trunc(d);
    date_rec r = ref;
    date_add_days(&r, -f);
    set_time(p, r);
  }
}

bool same_time(const obj_t* a, const obj_t* b) {
  const date_rec ta = time_of(a), tb = time_of(b);
  return date_time_diff(ta.date, ta.day, tb.date, tb.day) == 0.0;
}

// Marks the inside of each run of equal positions (and its first point when its time is
// the last one's) in `drop`.
void mark_runs(const container_t* points, std::vector<bool>* drop) {
  const int n = obj_list_count(points);
  int start = 0;
  while (start < n) {
    const gps_point_t first = coords_of(points->elems[start]);
    int end = start;
    while (end + 1 < n) {
      const gps_point_t next = coords_of(points->elems[end + 1]);
      if (next.x != first.x || next.y != first.y) break;
      ++end;
    }
    const int length = end - start + 1;
    for (int i = start + 1; i < end; ++i) (*drop)[size_t(i)] = true;
    if (length >= 2 && same_time(points->elems[start], points->elems[end]))
      (*drop)[size_t(start)] = true;
    start = end + 1;
  }
}

bool route_holds_same(const nmea_name_index* route_index, const route_t* r) {
  const std::vector<obj_t*>* same = route_index->find(r->name);
  if (!same) return false;
  for (const obj_t* e : *same)
    if (obj_list_equal(static_cast<const route_t*>(e)->sons, r->sons)) return true;
  return false;
}

// Name, x, y and symbol: the same waypoint given again.
bool same_waypoint(const waypoint_t* a, const waypoint_t* b) {
  return a->coords.x == b->coords.x && a->coords.y == b->coords.y && a->symbol == b->symbol;
}

}  // namespace

void nmea_route_from_names(nmea_name_index* route_index, route_t** route, container_t* list,
                           const nmea_name_index* waypoint_index, const char* names) {
  route_t* r = *route;
  if (!r) return;
  container_t* sons = r->sons;
  for (const char* name = names; name && *name && get_gblerr() == 0;
       name += std::strlen(name) + 1) {
    char16_t* wide = nullptr;
    mbs_to_wcs(name, &wide);
    const std::vector<obj_t*>* found = wide ? waypoint_index->find(wide) : nullptr;
    free_mem(&wide);
    if (found && !found->empty() && sons) obj_list_append(sons, found->front());
  }
  const int err = get_gblerr();
  if (err == 0 && obj_list_count(r->sons) > 0 && !route_holds_same(route_index, r)) {
    id_list_insert(list, r);
    route_index->add(r, r->name);
    return;
  }
  set_gblerr(0);
  obj_t* o = r;
  free_obj(&o);
  *route = nullptr;
  set_gblerr(err);
}

void nmea_waypoint_unique(nmea_name_index* index, waypoint_t** waypoint, container_t* list) {
  waypoint_t* w = *waypoint;
  if (!w) return;
  if (const std::vector<obj_t*>* same = index->find(w->name)) {
    for (obj_t* e : *same) {
      if (!same_waypoint(static_cast<const waypoint_t*>(e), w)) continue;
      // The new waypoint was made at the end of the list.
      const int n = obj_list_count(list);
      for (int i = n - 1; i >= 0; --i) {
        if (list->elems[i] != w) continue;
        obj_list_remove_at(list, i);
        break;
      }
      obj_t* o = w;
      free_obj(&o);
      *waypoint = static_cast<waypoint_t*>(e);
      return;
    }
  }
  index->add(w, w->name);
}

void nmea_track_cleanup(trackseg_t* segment, std::vector<obj_t*>* removed) {
  if (!segment) return;
  container_t* points = segment->sons;
  if (obj_list_count(points) < kCleanupMinPoints) return;
  repair_dates(points);
  std::vector<bool> drop(size_t(obj_list_count(points)), false);
  mark_runs(points, &drop);
  int kept = 0;
  for (int i = 0; i < obj_list_count(points); ++i) {
    obj_t* p = points->elems[i];
    if (!drop[size_t(i)]) {
      points->elems[kept++] = p;
    } else if (removed) {
      removed->push_back(p);
    } else {
      free_obj(&p);
    }
  }
  obj_list_set_count(points, kept);
}

void nmea_drop_removed(container_t* list, std::vector<obj_t*>* removed) {
  if (removed->empty()) return;
  std::unordered_set<const obj_t*> gone;
  for (obj_t* p : *removed) {
    gone.insert(p);
    const container_t* sats = p->cls == CLS_GPSPOS ? static_cast<gpspos_t*>(p)->idsats : nullptr;
    for (int i = 0; i < obj_list_count(sats); ++i) gone.insert(sats->elems[i]);
  }
  for (int i = 0; i < obj_list_count(list); ++i)
    if (gone.count(list->elems[i])) list->elems[i] = nullptr;
  obj_list_compact(list);
  for (const obj_t* o : gone) {
    obj_t* p = const_cast<obj_t*>(o);
    free_obj(&p);
  }
  removed->clear();
}
