// Test support for graph spaces, layers and drawing styles: the real geodesy tables and
// every class of the map model registered once per object store, and small builders of
// folders holding GPS objects with their georef and a point style.
#pragma once
#include <gtest/gtest.h>

#include "core/error.h"
#include "geodesy/georef.h"
#include "geodesy/projection.h"
#include "map/bitmap_record.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"
#include "map/quadtree.h"
#include "map/view_records.h"
#include "tests/geodesy/geodesy_fixture.h"
#include "tests/map/file_types_env.h"
#include "tests/support/object_env.h"

namespace tm_test {

namespace map_model_detail {
inline bool& registered() {
  static bool done = false;
  return done;
}
inline void forget_registration() { registered() = false; }
inline const bool kCleanupAdded = (add_store_cleanup(forget_registration), true);
}  // namespace map_model_detail

// The geodesy tables and the map model's classes (once per object store; later calls
// keep them).
inline void map_model_env() {
  ASSERT_EQ(load_real_geodesy_tables(), 0);
  if (!map_model_detail::registered()) {
    view_types_register();
    bitmap_module_init();
    qtree_init();
    drawobj_types_register();
    register_file_types_once();
    drawobj_init_table();
    gindex_init();
    // The GPS classes without the waypoint icons (which would live until exit).
    int n = 0;
    const gps_class_entry* table = gps_class_table(&n);
    for (int i = 0; i < n; ++i) {
      obj_register_class(table[i].cls, table[i].size, table[i].desc);
      obj_set_free_callback(table[i].cls, table[i].free_fn);
    }
    map_model_detail::registered() = true;
  }
  set_gblerr(0);
}

// A new empty object list; free_list frees it with its objects; free_one frees one object.
inline container_t* empty_list() {
  container_t* list = nullptr;
  obj_list_new(&list);
  return list;
}
inline void free_list(container_t* list) {
  obj_list_free_elements(list);
  free_obj(&list);
}
inline void free_one(obj_t* o) { free_obj(&o); }

// A georef: geographic degrees on a datum of the tables (by code), or a UTM zone on it.
inline georef_t* make_georef(int datum_code, int utm_zone) {
  geodatum_t* d = nullptr;
  geo_find_by_code(CLS_GEODATUM, datum_code, &d);
  EXPECT_NE(d, nullptr) << datum_code;
  georef_t* g = nullptr;
  georef_create(nullptr, &g);
  g->datum = d;
  if (utm_zone == 0) return g;
  cartproj_t* p = nullptr;
  crs_name_utm(d, utm_zone, 0, &p);
  EXPECT_NE(p, nullptr);
  g->refertype = GEOREF_PROJECTED;
  g->projection = p;
  g->unit = val(p->unit);
  return g;
}

// A dpoint style drawing the waypoints of its list at their coordinates, no margin.
inline dpoint_t* make_point_style(container_t* list) {
  dpoint_t* s = nullptr;
  obj_new(0, CLS_DPOINT, reinterpret_cast<obj_t**>(&s));
  s->typesrc = CLS_WAYPOINT;
  s->pptcoord = kPointCoordsOffset;
  s->vthickness = 0;
  s->meterpixsize = 1.0;
  obj_list_append(list, s);
  return s;
}

// A folder (of `file` when given) holding a georef, the waypoints and a point style.
struct point_xy {
  double x, y;
};
inline folder_t* make_point_folder(obj_t* file, georef_t* georef,
                                   std::initializer_list<point_xy> points) {
  container_t* list = nullptr;
  obj_list_new(&list);
  if (georef) obj_list_append(list, georef);
  for (const point_xy& p : points) {
    waypoint_t* w = nullptr;
    waypoint_create(p.x, p.y, u"p", nullptr, 1, 0, 0, 0.0, list, &w);
  }
  make_point_style(list);
  folder_t* f = nullptr;
  folder_get_or_create(file, list, 0, &f);
  return f;
}

// Frees a folder made by make_point_folder with its list and every object in it.
inline void free_point_folder(folder_t* f) {
  if (!f) return;
  container_t* list = f->sot;
  obj_list_free_elements(list);
  free_obj(&list);
  f->sot = nullptr;
  obj_t* fo = f;
  free_obj(&fo);
}

}  // namespace tm_test
