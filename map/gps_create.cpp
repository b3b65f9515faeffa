// Constructors of the geographic and GPS objects that readers and receivers make.
//
// Each makes its object in the given list (an id-ordered list, where ids follow the
// order of creation) and hands it back in *out; when the error code is set after the
// allocation nothing more is done to the object.
#include <cstring>

#include "core/error.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/wstring.h"
#include "map/gps_classes.h"

namespace {

bool is_point_with_symbol(int cls) {
  return cls == CLS_WAYPOINT || cls == CLS_POI || cls == CLS_COURSEPOINT;
}

template <class T> T* new_in(container_t* list, int cls, T** out) {
  obj_t* o = nullptr;
  obj_new_in_list(list, cls, &o);
  T* t = static_cast<T*>(o);
  if (out) *out = t;
  return t;
}

void set_text(const void* text, int wide, char16_t** owner) {
  if (!text) return;
  if (wide)
    wstr_set(static_cast<const char16_t*>(text), owner);
  else
    mbs_to_wcs(static_cast<const char*>(text), owner);
}

}  // namespace

obj_t* gpsobj_new_point(int cls, container_t* list, obj_t** out) {
  if (out) *out = nullptr;
  if (!is_point_with_symbol(cls)) {
    set_gblerr(ERR_PARAMETERS);
    return nullptr;
  }
  waypoint_t* p = new_in<waypoint_t>(list, cls, nullptr);
  if (out) *out = p;
  if (!p || get_gblerr()) return p;
  // The three point classes share the head of the record up to `icon`.
  p->display = 0;
  p->symbol = 0;
  p->colour = cls == CLS_COURSEPOINT ? gps_rgb(255, 0, 0) : gpsobj_default_colour(cls);
  return p;
}

waypoint_t* waypoint_create(double x, double y, const void* name, const void* comment, int wide,
                            int symbol, int display, double altitude, container_t* list,
                            waypoint_t** out) {
  obj_t* o = nullptr;
  gpsobj_new_point(CLS_WAYPOINT, list, &o);
  waypoint_t* w = static_cast<waypoint_t*>(o);
  if (out) *out = w;
  if (!w || get_gblerr()) return w;
  w->coords = gps_point_t{x, y, float(altitude)};
  w->altitude = float(altitude);
  w->symbol = symbol;
  w->display = display;
  set_text(name, wide, &w->name);
  set_text(comment, wide, &w->comment);
  return w;
}

gpspos_t* gpspos_create(double x, double y, const date_rec* time, double altitude,
                        trackseg_t* segment, container_t* list, gpspos_t** out) {
  gpspos_t* p = new_in<gpspos_t>(list, CLS_GPSPOS, out);
  if (!p || get_gblerr()) return p;
  p->coords = gps_point_t{x, y, float(altitude)};
  p->altitude = float(altitude);
  if (time) std::memcpy(&p->time, time, sizeof *time);
  if (segment) {
    container_t* points = obj_create_sons_list(segment, 0, 0, 0);
    if (points) obj_list_append(points, p);
    p->father = segment->father;
  }
  return p;
}

trackseg_t* trackseg_create(tracklog_t* tracklog, container_t* list, trackseg_t** out) {
  trackseg_t* s = new_in<trackseg_t>(list, CLS_TRACKSEG, out);
  if (!s || get_gblerr()) return s;
  obj_create_sons_list(s, 0, 0, 0);
  if (tracklog) obj_add_son(tracklog, s);
  return s;
}

route_t* route_create(container_t* list, route_t** out) {
  route_t* r = new_in<route_t>(list, CLS_ROUTE, out);
  if (!r || get_gblerr()) return r;
  r->colour = gpsobj_default_colour(CLS_ROUTE);
  obj_create_sons_list(r, 0, 0, 0);
  return r;
}

tracklog_t* tracklog_create(container_t* list, tracklog_t** out) {
  tracklog_t* t = new_in<tracklog_t>(list, CLS_TRACKLOG, out);
  if (!t || get_gblerr()) return t;
  t->colour = gpsobj_default_colour(CLS_TRACKLOG);
  t->thickness = 2;
  return t;
}

waypoint_t* push_to_log_point(container_t* list, const gpspos_t* position, waypoint_t** out) {
  waypoint_t* w = nullptr;
  waypoint_create(0, 0, "Push-to-log point", nullptr, 0, 0, 0, 0.0, list, &w);
  if (out) *out = w;
  if (!w || get_gblerr() || !position) return w;
  w->coords = position->coords;
  std::memcpy(&w->time, &position->time, sizeof w->time);
  w->altitude = position->altitude;
  w->geoidh = position->geoidh;
  w->tpre = position->tpre;
  w->colour = gpsobj_default_colour(CLS_WAYPOINT);
  return w;
}

namespace {

// Name, x, y and symbol of a point, for the duplicate test.
bool same_point(const obj_t* a, const obj_t* b) {
  if (a->cls != b->cls) return false;
  gps_point_t pa, pb;
  std::memcpy(&pa, reinterpret_cast<const char*>(a) + kPointCoordsOffset, sizeof pa);
  std::memcpy(&pb, reinterpret_cast<const char*>(b) + kPointCoordsOffset, sizeof pb);
  if (pa.x != pb.x || pa.y != pb.y) return false;
  if (!is_point_with_symbol(a->cls)) return true;
  return static_cast<const waypoint_t*>(a)->symbol == static_cast<const waypoint_t*>(b)->symbol;
}

void list_insert(container_t* list, obj_t* obj) {
  if (!list) return;
  int pos = 0;
  if (id_list_find(list, obj->id, &pos) && list->elems[pos] == obj) return;
  id_list_insert(list, obj);
}

void list_remove(container_t* list, obj_t* obj) {
  if (!list) return;
  for (int i = obj_list_count(list) - 1; i >= 0; --i)
    if (list->elems[i] == obj) obj_list_remove_at(list, i);
}

// An element of the index with the same key as obj that is the same point, or null.
// Equal keys stand together from the first one on.
obj_t* find_duplicate(container_t* index, obj_t* obj) {
  const void* key = nullptr;
  index_key_of(index, obj, &key);
  int pos = 0;
  if (index_find_exact(index, key, &pos) != 1 || pos < 0) return nullptr;
  for (int i = pos; i < obj_list_count(index); ++i) {
    obj_t* e = index->elems[i];
    if (index_compare_elements(index, obj, e) != 0) break;
    if (e != obj && same_point(e, obj)) return e;
  }
  return nullptr;
}

}  // namespace

obj_t* gpsobj_add_unique(container_t* index, obj_t* obj, container_t* list, obj_t** out) {
  if (out) *out = obj;
  if (!obj) return nullptr;
  if (!index) {
    list_insert(list, obj);
    return obj;
  }
  if (obj_t* existing = find_duplicate(index, obj)) {
    list_remove(list, obj);
    free_obj(&obj);
    if (out) *out = existing;
    return existing;
  }
  index_insert(index, obj);
  list_insert(list, obj);
  return obj;
}
