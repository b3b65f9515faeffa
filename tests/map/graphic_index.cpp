// The graphic index: merging contributions, computing a layer's entries (one per drawn
// object, merged across styles), clipping to a fixed extent, segment-point tracks, and
// the updates object by object (insert, move, remove).
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "core/core_classes.h"
#include "tests/map/quadtree_fixture.h"

using namespace qt_test;

namespace {

class GraphicIndex : public ::testing::Test {
 protected:
  void SetUp() override { start_store(); }
};

gindex_entry_t contribution(extent_t e, uint8_t cx, uint8_t cy, uint32_t w) {
  gindex_entry_t c{};
  c.extent = e;
  c.cx = cx;
  c.cy = cy;
  c.weight = w;
  return c;
}

TEST_F(GraphicIndex, MergeRules) {
  struct row {
    const char* what;
    gindex_entry_t start;
    gindex_entry_t add;
    extent_t extent;
    uint8_t cx, cy;
    uint32_t weight;
  };
  const row rows[] = {
      {"fresh entry takes the contribution", {}, contribution({0, 10, 0, 10, 2}, 255, 0, 1),
       {0, 10, 0, 10, 2}, 255, 0, 1},
      {"all-zero bounds change nothing", contribution({1, 2, 1, 2, 0}, 127, 127, 3),
       contribution({0, 0, 0, 0, 9}, 0, 0, 5), {1, 2, 1, 2, 0}, 127, 127, 3},
      // Points (1,1) and (11,11), weight 1 each: mean (6,6) in [1,11] -> 127.
      {"weighted mean of two points", contribution({1, 1, 1, 1, 1}, 0, 0, 1),
       contribution({11, 11, 11, 11, 0}, 0, 0, 1), {1, 11, 1, 11, 1}, 127, 127, 2},
      // An entry at the origin with no area has all four bounds 0: it counts as fresh.
      {"an origin point counts as fresh", contribution({0, 0, 0, 0, 0}, 9, 9, 4),
       contribution({2, 4, 2, 4, 0}, 255, 255, 1), {2, 4, 2, 4, 0}, 255, 255, 1},
      // Weight 3 at x=0 and weight 1 at x=8: mean 2 in [0,8] -> trunc(63.75) = 63.
      {"weights pull the point", contribution({0, 4, 0, 4, 0}, 0, 0, 3),
       contribution({4, 8, 0, 4, 0}, 255, 0, 1), {0, 8, 0, 4, 0}, 63, 0, 4},
      {"no weight at all keeps the point at 0", contribution({0, 4, 0, 4, 0}, 200, 200, 0),
       contribution({4, 8, 4, 8, 0}, 100, 100, 0), {0, 8, 0, 8, 0}, 0, 0, 0},
      // A point extent (margin only): no width to divide by.
      {"zero width and height", contribution({3, 3, 4, 4, 5}, 0, 0, 1),
       contribution({3, 3, 4, 4, 6}, 127, 127, 1), {3, 3, 4, 4, 6}, 0, 0, 2},
      {"weight saturates", contribution({0, 1, 0, 1, 0}, 0, 0, 0xFFFFFFF0u),
       contribution({0, 1, 0, 1, 0}, 0, 0, 0x100), {0, 1, 0, 1, 0}, 0, 0, 0xFFFFFFFFu},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    gindex_entry_t e = r.start;
    gindex_merge(&e, &r.add);
    const extent_t got = e.extent;
    EXPECT_DOUBLE_EQ(+got.xmin, r.extent.xmin);
    EXPECT_DOUBLE_EQ(+got.xmax, r.extent.xmax);
    EXPECT_DOUBLE_EQ(+got.ymin, r.extent.ymin);
    EXPECT_DOUBLE_EQ(+got.ymax, r.extent.ymax);
    EXPECT_DOUBLE_EQ(+got.step, r.extent.step);
    EXPECT_EQ(+e.cx, r.cx);
    EXPECT_EQ(+e.cy, r.cy);
    EXPECT_EQ(+e.weight, r.weight);
  }
}

TEST_F(GraphicIndex, ComputeMakesOneEntryPerObjectAcrossStyles) {
  test_layer t;
  obj_t* a = t.add_box(0, 0, 1, 1);
  obj_t* b = t.add_box(5, 5, 2, 2, 3);
  t.add_box(9, 9, -1, 1);  // nothing to draw: no entry
  t.add_style(CLS_DPOINT);
  // A second style over a list of the same object, as a label would: its box is wider.
  container_t* labels = nullptr;
  obj_list_new(&labels);
  obj_t* a_label = t.add_box(0, 0, 4, 1);
  obj_list_append(labels, a_label);
  t.add_style(CLS_DPOINT, labels);
  t.add_style(CLS_DPOINT, labels);

  gindex_compute(t.layer, 1);
  EXPECT_EQ(t.layer->gindex_list, nullptr) << "the plain list is gone after a computation";
  ASSERT_NE(t.layer->gindex_sorted, nullptr);
  EXPECT_EQ(t.entry_count(), 3);
  ASSERT_NE(t.entry_of(a), nullptr);
  ASSERT_NE(t.entry_of(b), nullptr);
  // The label box is drawn by all three styles (it is in both source lists): one
  // entry, weight 3.
  gindex_entry_t* l = t.entry_of(a_label);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(+l->weight, 3u);
  EXPECT_DOUBLE_EQ(+l->extent.xmax, 4.0);
  const extent_t le = t.layer->extent;
  EXPECT_DOUBLE_EQ(+le.xmin, 0);
  EXPECT_DOUBLE_EQ(+le.xmax, 7);
  EXPECT_DOUBLE_EQ(+le.ymax, 7);
  EXPECT_DOUBLE_EQ(+le.step, 3) << "the largest margin";
  // Without index only the extent is computed.
  container_t* idx = t.layer->gindex_sorted;
  gindex_free(&idx);
  t.layer->gindex_sorted = nullptr;
  t.layer->extent = extent_t{};
  gindex_compute(t.layer, 0);
  EXPECT_EQ(t.layer->gindex_sorted, nullptr);
  EXPECT_DOUBLE_EQ(+t.layer->extent.xmax, 7);
  obj_t* lst = labels;
  free_obj(&lst);
}

TEST_F(GraphicIndex, SameObjectTwiceInOneStyleMergesWeights) {
  test_layer t;
  obj_t* a = t.add_box(0, 0, 2, 2);
  obj_list_append(t.boxes, a);  // listed twice
  t.add_style(CLS_DPOINT);
  gindex_compute(t.layer, 1);
  EXPECT_EQ(t.entry_count(), 1);
  EXPECT_EQ(+t.entry_of(a)->weight, 2u);
}

// The index stands in object order however the source lists are ordered, and a later
// insertion (a live update) finds its place in it.
TEST_F(GraphicIndex, EntriesStandInObjectOrderWhateverTheListOrder) {
  test_layer t;
  std::vector<obj_t*> boxes;
  for (int i = 0; i < 12; ++i) boxes.push_back(t.add_box(i, i, 1, 1));
  container_t* shuffled = nullptr;
  obj_list_new(&shuffled);
  const int order[] = {11, 3, 7, 0, 10, 5, 1, 9, 2, 8, 6, 4};
  for (int k : order) obj_list_append(shuffled, boxes[size_t(k)]);
  t.add_style(CLS_DPOINT, shuffled);
  t.add_style(CLS_DPOINT, shuffled);  // a second style over the same objects
  gindex_compute(t.layer, 1);
  ASSERT_EQ(t.entry_count(), 12);
  const container_t* index = t.layer->gindex_sorted;
  for (int i = 0; i < 12; ++i) {
    const auto* e = static_cast<const gindex_entry_t*>(index->elems[i]);
    obj_t* o = e->object;
    EXPECT_EQ(o, boxes[size_t(i)]) << "position " << i;
    EXPECT_EQ(+e->weight, 2u);
    EXPECT_EQ(t.entry_of(boxes[size_t(i)]), e);
  }
  obj_t* late = t.add_box(20, 20, 1, 1);
  t.layer->styles = t.objects;
  gindex_update_object(t.layer, late);
  t.layer->styles = nullptr;
  ASSERT_EQ(t.entry_count(), 13);
  EXPECT_NE(t.entry_of(late), nullptr);
  EXPECT_NE(t.entry_of(boxes[5]), nullptr);
  obj_t* lst = shuffled;
  free_obj(&lst);
}

TEST_F(GraphicIndex, FixedExtentClipsContributions) {
  graphspace_t gs{};
  gs.cls = CLS_GRAPHSPACE;
  gs.fixed_extent = extent_t{0, 10, 0, 10, 0};
  test_layer t;
  t.layer->graphspace = &gs;
  obj_t* inside = t.add_box(1, 1, 2, 2, 4);
  obj_t* across = t.add_box(8, 8, 5, 5);
  obj_t* outside = t.add_box(20, 20, 1, 1);
  t.add_style(CLS_DPOINT);
  gindex_compute(t.layer, 1);
  EXPECT_NE(t.entry_of(inside), nullptr);
  EXPECT_EQ(t.entry_of(outside), nullptr);
  ASSERT_NE(t.entry_of(across), nullptr);
  EXPECT_DOUBLE_EQ(t.entry_of(across)->extent.xmax, 10);
  EXPECT_DOUBLE_EQ(t.entry_of(inside)->extent.step, 4) << "the clip keeps the margin";
  const extent_t le = t.layer->extent;
  EXPECT_DOUBLE_EQ(+le.xmax, 10) << "an object outside does not widen the layer";
}

TEST_F(GraphicIndex, SegmentPointTrackGivesOneEntryKeyedByStyle) {
  test_layer t;
  const int n = 6;
  for (int i = 0; i < n; ++i) t.add_box(i, 2 * i, 1, 1);
  drawstyle_t* track = t.add_style(CLS_DSEGPOINT);
  gindex_compute(t.layer, 1);
  ASSERT_EQ(t.entry_count(), 1);
  gindex_entry_t* e = t.entry_of(track);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(+e->weight, uint32_t(n - 1)) << "one contribution per segment";
  // Segments start at points 0..n-2: the last point's own box is not a segment start.
  EXPECT_DOUBLE_EQ(+e->extent.xmin, 0);
  EXPECT_DOUBLE_EQ(+e->extent.xmax, n - 1);
  // A track of one point has no segment.
  test_layer one;
  one.add_box(0, 0, 1, 1);
  one.add_style(CLS_DSEGPOINT);
  gindex_compute(one.layer, 1);
  EXPECT_EQ(one.entry_count(), 0);
}

// Plain styles reading one long list (a file's list of track points, with the few
// waypoints and tracklogs its symbol and label styles draw, which is also the layer's
// object list) call their extent routines on the same objects in the same order, with
// the progress text at the same points, as walking the whole list per style does: also
// for a class with very many objects in the list, a long list read by one style alone,
// and a short list.
struct call_log {
  std::vector<std::pair<const obj_t*, const obj_t*>> calls;  // (style, object); progress: nulls
};
call_log& logged() {
  static call_log log;
  return log;
}
void log_progress(const char*) { logged().calls.emplace_back(nullptr, nullptr); }
// A box draws its rectangle; an id pair (key, value) a unit square at that place.
int logging_extent(obj_t* style, obj_t* obj, obj_t* father, gindex_entry_t* out) {
  logged().calls.emplace_back(style, obj);
  if (obj->cls == box_class()) return box_extent(style, obj, father, out);
  const auto* p = static_cast<const idpair_t*>(obj);
  out->extent = extent_t{double(p->key), p->key + 1.0, double(p->value), p->value + 1.0, 0};
  out->cx = out->cy = 127;
  out->weight = 1;
  return p->value % 5 != 0;  // some draw nothing
}

TEST_F(GraphicIndex, StylesSharingALongListCallTheirRoutinesAsWalkingIt) {
  test_layer t;
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> pick(0, 999);
  container_t* all = t.objects;  // the layer's list: points first, then the styles
  std::vector<obj_t*> pairs;
  for (int i = 0; i < 70000; ++i) {
    const int r = pick(rng);
    if (r < 5) {
      obj_list_append(all, nullptr);
    } else if (r < 40) {
      obj_list_append(all, t.add_box(i % 300, i % 170, 1 + i % 3, 2));
    } else {
      obj_t* o = nullptr;
      obj_new(0, CLS_IDPAIR, &o);
      auto* p = static_cast<idpair_t*>(o);
      p->key = i % 1000;
      p->value = r;
      pairs.push_back(o);
      obj_list_append(all, o);
    }
  }
  container_t* alone = nullptr;  // a long list read by one style
  obj_list_new(&alone);
  for (int i = 0; i < 5000; ++i) obj_list_append(alone, all->elems[i]);
  auto add_style = [&](int cls, int typesrc, container_t* list) {
    drawstyle_t* s = t.add_style(cls, list);
    s->typesrc = typesrc;
  };
  add_style(CLS_DPOINT, box_class(), all);
  add_style(CLS_DTEXT, box_class(), all);    // a label over the same objects
  add_style(CLS_DTEXT, CLS_IDPAIR, all);     // more objects than positions kept
  add_style(CLS_DPOINT, CLS_STRPAIR, all);   // none in the list
  add_style(CLS_DPOINT, box_class(), alone);
  add_style(CLS_DTEXT, box_class(), t.boxes);  // a short list

  // Every object of the layer's list, and the walk of its list by every style, written
  // out.
  call_log expected;
  for (int k = 0; k < obj_list_count(all); ++k) {
    const obj_t* o = all->elems[k];
    if (!o) continue;
    expected.calls.emplace_back(nullptr, nullptr);
    if (o->cls != CLS_DPOINT && o->cls != CLS_DTEXT) continue;
    const auto* s = static_cast<const drawstyle_t*>(o);
    for (int i = 0; i < obj_list_count(s->contsrc); ++i) {
      if (i % 1000 == 0) expected.calls.emplace_back(nullptr, nullptr);
      const obj_t* e = s->contsrc->elems[i];
      if (e && e->cls == s->typesrc) expected.calls.emplace_back(s, e);
    }
  }

  const gindex_extent_fn point_fn = gindex_set_extent_routine(CLS_DPOINT, logging_extent);
  const gindex_extent_fn text_fn = gindex_set_extent_routine(CLS_DTEXT, logging_extent);
  gindex_set_progress_hook(log_progress);
  logged().calls.clear();
  gindex_compute(t.layer, 1);
  gindex_set_progress_hook(nullptr);
  gindex_set_extent_routine(CLS_DPOINT, point_fn);
  gindex_set_extent_routine(CLS_DTEXT, text_fn);
  ASSERT_EQ(logged().calls.size(), expected.calls.size());
  EXPECT_TRUE(logged().calls == expected.calls);
  EXPECT_GT(t.entry_count(), 1000);
  logged().calls.clear();

  obj_list_set_count(all, 0);  // the test layer frees its boxes and styles
  for (obj_t*& o : pairs) free_obj(&o);
  obj_t* lst = alone;
  free_obj(&lst);
}

TEST_F(GraphicIndex, UpdateInsertMoveRemove) {
  test_layer t;
  obj_t* a = t.add_box(0, 0, 1, 1);
  obj_t* b = t.add_box(10, 10, 1, 1);
  t.add_style(CLS_DPOINT);
  t.layer->styles = t.objects;
  gindex_compute(t.layer, 1);
  ASSERT_EQ(t.entry_count(), 2);

  // Insert: a new object of the style's source class gets its entry.
  obj_t* c = t.add_box(20, 0, 2, 2);
  gindex_update_object(t.layer, c);
  ASSERT_EQ(t.entry_count(), 3);
  EXPECT_DOUBLE_EQ(+t.layer->extent.xmax, 22);

  // Move: the entry takes the new place in (union with the old one), weight grows.
  move_box(a, -5, -5);
  gindex_update_object(t.layer, a);
  gindex_entry_t* ea = t.entry_of(a);
  ASSERT_NE(ea, nullptr);
  EXPECT_DOUBLE_EQ(+ea->extent.xmin, -5);
  EXPECT_DOUBLE_EQ(+ea->extent.xmax, 1);
  EXPECT_EQ(+ea->weight, 2u);
  EXPECT_EQ(t.entry_count(), 3);

  // An object of a class no style draws changes nothing.
  obj_t* other = nullptr;
  obj_new(0, CLS_LAYER_LINK, &other);
  gindex_update_object(t.layer, other);
  EXPECT_EQ(t.entry_count(), 3);
  free_obj(&other);

  // Remove: the entry goes and the layer's extent is recomputed from what is left.
  gindex_remove_object(t.layer, c);
  EXPECT_EQ(t.entry_of(c), nullptr);
  EXPECT_DOUBLE_EQ(+t.layer->extent.xmax, 11);
  gindex_remove_object(t.layer, c);  // twice: nothing
  gindex_remove_object(t.layer, a);
  gindex_remove_object(t.layer, b);
  EXPECT_EQ(t.entry_count(), 0);
  EXPECT_TRUE(extent_is_empty(t.layer->extent)) << "the last object leaves an empty extent";
  t.layer->styles = nullptr;
}

TEST_F(GraphicIndex, UpdatingAStyleMergesItsObjects) {
  test_layer t;
  drawstyle_t* s = t.add_style(CLS_DPOINT);
  gindex_create(t.layer);
  obj_t* a = t.add_box(1, 1, 1, 1);
  // The list is only present while computing: without it entries go straight into the
  // sorted index.
  container_t* list = t.layer->gindex_list;
  obj_t* rec = list;
  free_obj(&rec);
  t.layer->gindex_list = nullptr;
  gindex_update_object(t.layer, s);
  ASSERT_EQ(t.entry_count(), 1);
  EXPECT_NE(t.entry_of(a), nullptr);
}

TEST_F(GraphicIndex, ExtentsOfEntries) {
  test_layer t;
  obj_t* a = t.add_box(0, 0, 2, 2, 5);
  t.add_style(CLS_DPOINT);
  gindex_compute(t.layer, 1);
  extent_t e{};
  gindex_object_extent(&e, t.layer, a);
  EXPECT_DOUBLE_EQ(+e.xmax, 2);
  obj_t* stranger = new_box(0, 0, 1, 1);
  gindex_object_extent(&e, t.layer, stranger);
  EXPECT_TRUE(extent_is_empty(e));
  free_obj(&stranger);

  // Display extent: margin 5 pixels at 2.5 pixels per unit (the larger |scale|) = 2 units.
  obj_t* pane = nullptr;
  obj_new(0, CLS_PANE, &pane);
  auto* p = static_cast<pane_t*>(pane);
  p->map = screen_mapping{0, 0, 1.0, -2.5};
  gindex_display_extent(&e, pane, t.entry_of(a));
  EXPECT_DOUBLE_EQ(+e.xmin, -2);
  EXPECT_DOUBLE_EQ(+e.ymax, 4);
  // A pane without scale cannot turn pixels into units: no growth, no division by zero.
  p->map = screen_mapping{0, 0, 0, 0};
  gindex_display_extent(&e, pane, t.entry_of(a));
  EXPECT_DOUBLE_EQ(+e.xmin, 0);
  gindex_display_extent(&e, pane, nullptr);
  EXPECT_TRUE(extent_is_empty(e));
  free_obj(&pane);

  layer_get_extent(nullptr, &e);
  EXPECT_TRUE(extent_is_empty(e));
  gindex_entry_t* none = reinterpret_cast<gindex_entry_t*>(1);
  EXPECT_EQ(gindex_get_entry(nullptr, &none), nullptr);
  EXPECT_EQ(none, nullptr);
}

TEST_F(GraphicIndex, InitFillsTheDrawingClassSlots) {
  gindex_init();
  for (int cls = 0; cls < kGindexExtentSlots; ++cls) {
    SCOPED_TRACE(cls);
    const bool filled = cls >= CLS_DIMAGE && cls <= CLS_DARCELLIP;
    EXPECT_EQ(gindex_extent_routine(cls) != nullptr, filled);
  }
  EXPECT_EQ(gindex_extent_routine(-1), nullptr);
  EXPECT_EQ(gindex_extent_routine(11), nullptr);
  EXPECT_EQ(obj_class_size(CLS_GINDEX_ENTRY), int(sizeof(gindex_entry_t)));
}

}  // namespace
