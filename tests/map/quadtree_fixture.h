// Small records for the graphic index and quadtree tests: a run-time "box" class whose
// objects carry their own rectangle, an extent routine that reads it, and a layer
// record built by hand (no graph space, no file), so that the index and the tree are
// exercised on their own.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "core/error.h"
#include "core/obj_layout.h"
#include "core/obj_list.h"
#include "map/draw_styles.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"
#include "map/quadtree.h"
#include "tests/support/object_env.h"

namespace qt_test {

inline const attr_desc kBoxAttrs[] = {{"id", AT_ID},      {"type", AT_INT}, {"x", AT_DOUBLE},
                                      {"y", AT_DOUBLE},   {"w", AT_DOUBLE}, {"h", AT_DOUBLE},
                                      {"margin", AT_DOUBLE}};
inline const objdesc kBoxDesc = {"testbox", 7, kBoxAttrs};
constexpr int kX = attr_offset_in(kBoxAttrs, 2);
constexpr int kY = attr_offset_in(kBoxAttrs, 3);
constexpr int kW = attr_offset_in(kBoxAttrs, 4);
constexpr int kH = attr_offset_in(kBoxAttrs, 5);
constexpr int kMargin = attr_offset_in(kBoxAttrs, 6);

inline int& box_class() {
  static int cls = 0;
  return cls;
}

// The box's rectangle; its margin goes to the step (pixels), as on a moving-object layer.
inline int box_extent(obj_t*, obj_t* obj, obj_t*, gindex_entry_t* out) {
  const double x = field_load<double>(obj, kX), y = field_load<double>(obj, kY);
  const double w = field_load<double>(obj, kW), h = field_load<double>(obj, kH);
  out->extent = extent_t{x, x + w, y, y + h, field_load<double>(obj, kMargin)};
  out->cx = out->cy = 127;
  out->weight = 1;
  return w >= 0 ? 1 : 0;  // a negative width: nothing to draw
}

inline void start_store() {
  tm_test::reset_object_store();
  view_types_register();
  drawobj_types_register();
  gindex_init();
  qtree_init();
  obj_register_user_class(&kBoxDesc, &box_class());
  gindex_set_extent_routine(CLS_DPOINT, box_extent);
  gindex_set_extent_routine(CLS_DSEGPOINT, box_extent);
  visible_set_hooks(nullptr);
}

inline obj_t* new_box(double x, double y, double w, double h, double margin = 0) {
  obj_t* o = nullptr;
  obj_new(0, box_class(), &o);
  field_store(o, kX, x);
  field_store(o, kY, y);
  field_store(o, kW, w);
  field_store(o, kH, h);
  field_store(o, kMargin, margin);
  return o;
}

inline void move_box(obj_t* o, double x, double y) {
  field_store(o, kX, x);
  field_store(o, kY, y);
}

// A style of a drawing class over a source list of boxes.
inline drawstyle_t* new_style(int cls, container_t* source) {
  obj_t* o = nullptr;
  obj_new(0, cls, &o);
  auto* s = static_cast<drawstyle_t*>(o);
  s->typesrc = box_class();
  s->contsrc = source;
  return s;
}

// A layer record made by hand: objects (the styles) and the boxes they draw.
struct test_layer {
  layer_t* layer = nullptr;
  container_t* objects = nullptr;  // the layer's object list
  container_t* boxes = nullptr;    // the styles' source list
  std::vector<obj_t*> owned;

  explicit test_layer(int priority = 20000) {
    static_assert(sizeof(layer_t) > sizeof(obj_t));
    layer = new layer_t{};
    layer->cls = CLS_LAYER;
    layer->priority = priority;
    obj_list_new(&objects);
    obj_list_new(&boxes);
    layer->objects = objects;
  }
  ~test_layer() {
    qtree_free(layer);
    container_t* idx = layer->gindex_sorted;
    gindex_free(&idx);
    container_t* list = layer->gindex_list;
    gindex_free(&list);
    set_gblerr(0);
    for (obj_t* o : owned) free_obj(&o);
    obj_t* a = objects;
    free_obj(&a);
    obj_t* b = boxes;
    free_obj(&b);
    delete layer;
  }
  obj_t* add_box(double x, double y, double w, double h, double margin = 0) {
    obj_t* o = new_box(x, y, w, h, margin);
    obj_list_append(boxes, o);
    owned.push_back(o);
    return o;
  }
  drawstyle_t* add_style(int cls, container_t* source = nullptr) {
    drawstyle_t* s = new_style(cls, source ? source : boxes);
    obj_list_append(objects, s);
    owned.push_back(s);
    return s;
  }
  int entry_count() const { return obj_list_count(layer->gindex_sorted); }
  gindex_entry_t* entry_of(const obj_t* o) const {
    gindex_entry_t* e = nullptr;
    return gindex_find(layer, o, &e);
  }
};

}  // namespace qt_test
