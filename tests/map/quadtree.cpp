// The quadtree: answers against a brute-force scan, splitting and pushing down,
// degenerate and duplicate extents, edges, removal, and the visible list with its
// resume point.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "core/memory.h"
#include "tests/map/quadtree_fixture.h"

using namespace qt_test;

namespace {

class Quadtree : public ::testing::Test {
 protected:
  void SetUp() override { start_store(); }
  void TearDown() override {
    set_current_layer(nullptr);
    visible_set_hooks(nullptr);
    visible_list_reset();
  }
};

std::set<obj_t*> query(layer_t* layer, extent_t q) {
  visible_list_reset();
  set_current_layer(layer);
  visible_set_query(q);
  qtree_query(layer->qtree->root);
  std::set<obj_t*> got;
  const container_t* v = visible_list();
  for (int i = 0; i < obj_list_count(v); ++i) got.insert(v->elems[i]);
  return got;
}

int max_depth(const qtree_node* n) {
  if (!n) return -1;
  int d = n->depth;
  for (const qtree_node* c : n->child) d = std::max(d, max_depth(c));
  return d;
}

int slots_of(const qtree_node* n, const obj_t* o) {
  if (!n) return 0;
  int k = 0;
  for (int i = 0; i < n->count; ++i) k += n->entries[i].entry->object == o ? 1 : 0;
  for (const qtree_node* c : n->child) k += slots_of(c, o);
  return k;
}

TEST_F(Quadtree, AnswersContainTheBruteForceScan) {
  test_layer t;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(0, 1000);
  std::uniform_real_distribution<double> small(0, 3);
  std::uniform_real_distribution<double> large(50, 400);
  const int n = 100000;
  for (int i = 0; i < n; ++i) {
    switch (i % 5) {
      case 0: t.add_box(u(rng), u(rng), 0, 0, 3); break;                   // points
      case 1: t.add_box(u(rng), u(rng), small(rng), small(rng)); break;    // small
      case 2: t.add_box(u(rng), u(rng), large(rng), small(rng)); break;    // long
      case 3: t.add_box(std::floor(u(rng) / 125) * 125, u(rng), 0, 0, 2); break;  // on grid lines
      default: t.add_box(500, 500, 0, 0, 1); break;                        // all at the centre
    }
  }
  t.add_style(CLS_DPOINT);
  gindex_compute(t.layer, 1);
  ASSERT_EQ(t.entry_count(), n);
  qtree_rebuild(t.layer);
  EXPECT_LE(max_depth(t.layer->qtree->root), kQtreeMaxDepth);

  std::vector<extent_t> rects = {
      {0, 1000, 0, 1000, 0},      {499, 501, 499, 501, 0},  {100, 101, 0, 1000, 0},
      {0, 1000, 250, 250.5, 0},   {124, 126, 124, 126, 0},  {990, 2000, 990, 2000, 0},
      {-50, 0, -50, 0, 0},        {375, 375.001, 10, 900, 0}};
  std::uniform_real_distribution<double> side(0.5, 200);
  for (int i = 0; i < 40; ++i) {
    const double x = u(rng), y = u(rng);
    rects.push_back({x, x + side(rng), y, y + side(rng), 0});
  }
  for (const extent_t& q : rects) {
    SCOPED_TRACE(::testing::Message() << q.xmin << " " << q.xmax << " " << q.ymin << " " << q.ymax);
    const std::set<obj_t*> got = query(t.layer, q);
    int expected = 0;
    for (int i = 0; i < t.entry_count(); ++i) {
      const auto* e = static_cast<gindex_entry_t*>(t.layer->gindex_sorted->elems[i]);
      if (extent_disjoint(e->extent, q)) continue;
      ++expected;
      if (!got.count(e->object)) {
        ADD_FAILURE() << "missed an object at " << e->extent.xmin << "," << e->extent.ymin;
        break;
      }
    }
    // A small rectangle gets a small answer: the tree prunes.
    const double area = extent_width(q) * extent_height(q);
    if (area < 100 && expected < 100) {
      EXPECT_LT(got.size(), size_t(n / 2));
    }
  }
}

TEST_F(Quadtree, ElevenSmallEntriesSplitTheRootOnce) {
  test_layer t;
  for (int i = 0; i < 11; ++i) t.add_box(i * 9 + 1, (i * 37) % 100, 1, 1);
  t.add_style(CLS_DPOINT);
  gindex_compute(t.layer, 1);
  qtree_rebuild(t.layer);
  const qtree_node* root = t.layer->qtree->root;
  EXPECT_EQ(qtree_node_count(root), 5);
  EXPECT_EQ(+root->count, 0);
  // The root was widened by 1 % on each side: so was the layer's extent.
  EXPECT_LT(+t.layer->extent.xmin, 1.0);

  // An eleventh entry wider than a quarter of the root stays in the root.
  test_layer w;
  for (int i = 0; i < 10; ++i) w.add_box(i * 9 + 1, (i * 37) % 100, 1, 1);
  obj_t* wide = w.add_box(10, 50, 30, 1);
  w.add_style(CLS_DPOINT);
  gindex_compute(w.layer, 1);
  qtree_rebuild(w.layer);
  const qtree_node* r = w.layer->qtree->root;
  EXPECT_EQ(qtree_node_count(r), 5);
  ASSERT_EQ(+r->count, 1);
  EXPECT_EQ(r->entries[0].entry->object, wide);
}

TEST_F(Quadtree, StraddlingEntryIsFoundEverywhereAndDrawnOnce) {
  test_layer t;
  for (int i = 0; i < 10; ++i) t.add_box(i * 10 + 1, i * 10 + 1, 1, 1);
  t.add_box(0, 0, 100, 100);  // fixes the layer's extent
  obj_t* mid = t.add_box(49, 49, 2, 2);  // straddles the root's centre
  t.add_style(CLS_DPOINT);
  gindex_compute(t.layer, 1);
  qtree_rebuild(t.layer);
  EXPECT_GE(slots_of(t.layer->qtree->root, mid), 2);
  const extent_t quadrants[] = {{50.5, 51, 50.5, 51, 0}, {49, 49.5, 50.5, 51, 0},
                                {49, 49.5, 49, 49.5, 0}, {50.5, 51, 49, 49.5, 0}};
  for (const extent_t& q : quadrants) EXPECT_TRUE(query(t.layer, q).count(mid));

  // Drawn once although the visible list names it several times.
  static int draws_of_mid;
  static obj_t* watched;
  draws_of_mid = 0;
  watched = mid;
  visible_hooks h = visible_get_hooks();
  h.draw_object = [](obj_t* o) { draws_of_mid += o == watched ? 1 : 0; return 0; };
  visible_set_hooks(&h);
  query(t.layer, extent_t{40, 60, 40, 60, 0});
  EXPECT_GE(obj_list_count(visible_list()), 2);
  EXPECT_EQ(draw_visible_objects(), 0);
  EXPECT_EQ(draws_of_mid, 1);
  EXPECT_EQ(obj_list_count(visible_list()), 0);
}

TEST_F(Quadtree, EmptyEdgeAndDegenerateEntries) {
  test_layer t;
  obj_t* empty = t.add_box(5, 5, 0, 0, 0);  // no area, no margin: empty
  for (int i = 0; i < 30; ++i) t.add_box(20, 20, 0, 0, 1);  // duplicates
  t.add_box(0, 0, 40, 40);
  t.add_style(CLS_DPOINT);
  gindex_compute(t.layer, 1);
  qtree_rebuild(t.layer);
  const qtree_node* root = t.layer->qtree->root;
  EXPECT_EQ(slots_of(root, empty), 0) << "an empty extent is never stored";
  EXPECT_LE(max_depth(root), kQtreeMaxDepth) << "duplicates do not split without end";
  EXPECT_EQ(query(t.layer, extent_t{19, 21, 19, 21, 0}).size(), 31u);

  // A rectangle touching the root only along its edge visits nothing.
  const extent_t re = root->extent;
  EXPECT_TRUE(query(t.layer, extent_t{re.xmax, re.xmax + 5, re.ymin, re.ymax, 0}).empty());

  // A point exactly on the split lines of the root is kept, not dropped.
  test_layer c;
  c.add_box(0, 0, 100, 100);
  for (int i = 0; i < 10; ++i) c.add_box(i * 9 + 2, i * 9 + 3, 1, 1);
  c.add_style(CLS_DPOINT);
  gindex_compute(c.layer, 1);
  qtree_rebuild(c.layer);
  const extent_t ce = c.layer->qtree->root->extent;
  obj_t* centre = c.add_box(extent_center_x(ce), extent_center_y(ce), 0, 0, 2);
  c.layer->styles = c.objects;
  gindex_update_object(c.layer, centre);
  c.layer->styles = nullptr;
  ASSERT_NE(c.entry_of(centre), nullptr);
  qtree_insert(c.layer->qtree->root, c.entry_of(centre));
  EXPECT_EQ(slots_of(c.layer->qtree->root, centre), 1);
  EXPECT_TRUE(query(c.layer, extent_t{40, 60, 40, 60, 0}).count(centre));

  // A layer whose extent is a single point still gets a usable root.
  test_layer p;
  obj_t* only = p.add_box(3, 3, 0, 0, 4);
  p.add_style(CLS_DPOINT);
  gindex_compute(p.layer, 1);
  qtree_rebuild(p.layer);
  EXPECT_GT(extent_width(p.layer->qtree->root->extent), 0);
  EXPECT_TRUE(query(p.layer, extent_t{2, 4, 2, 4, 0}).count(only));
}

TEST_F(Quadtree, RemovingAnObjectClearsEveryNode) {
  test_layer t;
  for (int i = 0; i < 10; ++i) t.add_box(i * 10 + 1, i * 10 + 1, 1, 1);
  t.add_box(0, 0, 100, 100);
  obj_t* mid = t.add_box(49, 49, 2, 2);
  t.add_style(CLS_DPOINT);
  gindex_compute(t.layer, 1);
  qtree_rebuild(t.layer);
  ASSERT_GE(slots_of(t.layer->qtree->root, mid), 2);
  qtree_remove_object(t.layer, mid->id);
  EXPECT_EQ(slots_of(t.layer->qtree->root, mid), 0);
  qtree_remove_object(t.layer, 0);  // id 0: nothing
  qtree_free(t.layer);
  EXPECT_EQ(t.layer->qtree, nullptr);
  qtree_remove_object(t.layer, mid->id);  // no tree: nothing
}

// The walk of a query, read straight off the nodes: a node meeting Q gives its slots'
// objects in array order, then children 0, 1 and 2, then child 3.
void reference_walk(const qtree_node* n, const extent_t& q, std::vector<obj_t*>* out) {
  while (n && !extent_disjoint(n->extent, q)) {
    for (int i = 0; i < n->count; ++i) {
      obj_t* o = n->entries[i].entry->object;  // a packed record: copied, never bound
      out->push_back(o);
    }
    if (!n->child[0]) return;
    for (int k = 0; k < 3; ++k) reference_walk(n->child[k], q, out);
    n = n->child[3];
  }
}

std::vector<obj_t*> visible_in_order(layer_t* layer, extent_t q) {
  visible_list_reset();
  set_current_layer(layer);
  visible_set_query(q);
  qtree_query(layer->qtree->root);
  const container_t* v = visible_list();
  return std::vector<obj_t*>(v->elems, v->elems + obj_list_count(v));
}

// Rectangles whose sides lie on the split lines of the tree's upper nodes, where a
// quadrant only touches the rectangle.
std::vector<extent_t> rects_on_split_lines(const qtree_node* root) {
  std::vector<extent_t> rects;
  const qtree_node* n = root;
  for (int d = 0; d < 4 && n && n->child[0]; ++d, n = n->child[d % 4]) {
    const double cx = extent_center_x(n->extent), cy = extent_center_y(n->extent);
    const double w = extent_width(n->extent) / 8, h = extent_height(n->extent) / 8;
    rects.push_back({cx - w, cx, cy - h, cy, 0});
    rects.push_back({cx, cx + w, cy, cy + h, 0});
    rects.push_back({cx, cx, cy - h, cy + h, 0});
  }
  return rects;
}

TEST_F(Quadtree, QueriesVisitNodesInOrderBeforeAndAfterLaterInsertions) {
  test_layer t;
  std::mt19937 rng(3);
  std::normal_distribution<double> step(0, 1);
  double x = 0, y = 0;
  for (int i = 0; i < 3000; ++i) {
    x += step(rng);
    y += step(rng);
    t.add_box(x, y, i % 7 == 0 ? 6 : 0, i % 11 == 0 ? 5 : 0, 2);
  }
  t.add_style(CLS_DPOINT);
  gindex_compute(t.layer, 1);
  qtree_rebuild(t.layer);
  const qtree_node* root = t.layer->qtree->root;
  ASSERT_GT(qtree_node_count(root), 100);

  // Entries added to the built tree afterwards, piled where leaves are full: packed
  // leaves split and packed slot arrays grow.
  std::vector<gindex_entry_t> later(400);
  std::vector<obj_t*> later_objects;
  for (size_t i = 0; i < later.size(); ++i) {
    obj_t* o = t.add_box(0, 0, 0, 0);
    later_objects.push_back(o);
    const double px = (i % 20) * 0.05, py = (i / 20) * 0.05;
    later[i].object = o;
    later[i].extent = extent_t{px, px + (i % 9 == 0 ? 3.0 : 0.01), py, py + 0.01, 0};
  }

  std::uniform_real_distribution<double> u(0, 1);
  const extent_t d = root->extent;
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "as built" : "after later insertions");
    std::vector<extent_t> rects = rects_on_split_lines(t.layer->qtree->root);
    rects.push_back(d);
    rects.push_back({-1, 1, -1, 1, 0});
    for (int i = 0; i < 30; ++i) {
      const double w = u(rng) * extent_width(d) / 4, h = u(rng) * extent_height(d) / 4;
      const double qx = d.xmin + u(rng) * extent_width(d), qy = d.ymin + u(rng) * extent_height(d);
      rects.push_back({qx, qx + w, qy, qy + h, 0});
    }
    for (const extent_t& q : rects) {
      std::vector<obj_t*> expected;
      reference_walk(t.layer->qtree->root, q, &expected);
      EXPECT_EQ(visible_in_order(t.layer, q), expected)
          << q.xmin << " " << q.xmax << " " << q.ymin << " " << q.ymax;
    }
    if (round == 0) {
      const int nodes = qtree_node_count(t.layer->qtree->root);
      for (gindex_entry_t& e : later) qtree_insert(t.layer->qtree->root, &e);
      EXPECT_GT(qtree_node_count(t.layer->qtree->root), nodes) << "built leaves split again";
    }
  }
  for (obj_t* o : later_objects) EXPECT_GE(slots_of(t.layer->qtree->root, o), 1);
  for (size_t i = 0; i < later_objects.size(); i += 3) {
    qtree_remove_object(t.layer, later_objects[i]->id);
    EXPECT_EQ(slots_of(t.layer->qtree->root, later_objects[i]), 0);
  }
  qtree_free(t.layer);  // the block, and what grew out of it, freed once each
  EXPECT_EQ(t.layer->qtree, nullptr);
}

// ---- Visible list -------------------------------------------------------------------------------

struct draw_log {
  static inline std::vector<obj_t*> drawn;
  static inline int yield_after = -1;
  static inline extent_list_t* rects = nullptr;
};

// n unit boxes along the diagonal, 2.5 apart, with a point style, indexed and in a tree.
void add_diagonal(test_layer& t, int n) {
  for (int i = 0; i < n; ++i) t.add_box(i * 2.5, i * 2.5, 1, 1);
  t.add_style(CLS_DPOINT);
  gindex_compute(t.layer, 1);
  qtree_rebuild(t.layer);
}

// A rectangle list holding [0, 50] x [0, 50], and drawing hooks that log each object drawn
// into draw_log and give way after `yield_after` objects; `layer` becomes current.
extent_list_t* start_logged_drawing(layer_t* layer, int yield_after) {
  extent_list_t* rects = nullptr;
  extent_list_create(nullptr, &rects);
  extent_list_append(nullptr, rects, extent_t{0, 50, 0, 50, 0});
  draw_log::drawn.clear();
  draw_log::yield_after = yield_after;
  draw_log::rects = rects;
  visible_hooks h = visible_get_hooks();
  h.draw_object = [](obj_t* o) { draw_log::drawn.push_back(o); return 0; };
  h.work_pending = [] { return --draw_log::yield_after == 0 ? 1 : 0; };
  h.current_rects = [] { return draw_log::rects; };
  visible_set_hooks(&h);
  set_current_layer(layer);
  return rects;
}

TEST_F(Quadtree, DrawingYieldsAndResumesWithoutRedrawing) {
  test_layer t;
  add_diagonal(t, 40);
  extent_list_t* rects = start_logged_drawing(t.layer, 5);

  EXPECT_EQ(layer_draw_invalid_rects(), 1) << "gave way after 5 objects";
  EXPECT_EQ(draw_log::drawn.size(), 5u);
  obj_t* pane = reinterpret_cast<obj_t*>(1);
  layer_t* layer = nullptr;
  redraw_resume_point(&pane, &layer);
  EXPECT_EQ(layer, t.layer);
  EXPECT_EQ(extent_list_count(rects), 0) << "the rectangle left its list";

  set_current_layer(nullptr);
  draw_log::yield_after = -1;
  EXPECT_EQ(redraw_resume(), 0);
  std::set<obj_t*> unique(draw_log::drawn.begin(), draw_log::drawn.end());
  EXPECT_EQ(unique.size(), draw_log::drawn.size()) << "nothing drawn twice";
  // Every box meeting [0, 50] grown by a pixel was drawn (the tree may add neighbours).
  for (int i = 0; i <= 20; ++i) EXPECT_TRUE(unique.count(t.owned[i])) << i;
  redraw_resume_point(&pane, &layer);
  EXPECT_EQ(layer, nullptr);
  EXPECT_EQ(redraw_resume(), 0) << "no resume point";

  // A layer without tree is queried entry by entry.
  qtree_free(t.layer);
  extent_list_append(nullptr, rects, extent_t{0, 10, 0, 10, 0});
  draw_log::drawn.clear();
  set_current_layer(t.layer);
  EXPECT_EQ(layer_draw_invalid_rects(), 0);
  EXPECT_EQ(draw_log::drawn.size(), 5u);  // boxes at 0, 2.5, 5, 7.5, 10 meet [-1, 11]
  extent_list_delete(&rects);
}

// A layer whose drawing was interrupted and that is then destroyed (its file closed)
// leaves no resume point behind: resuming would walk a freed layer.
TEST_F(Quadtree, DestroyingTheInterruptedLayerForgetsTheResumePoint) {
  test_layer t;
  add_diagonal(t, 20);
  extent_list_t* rects = start_logged_drawing(t.layer, 3);
  ASSERT_EQ(layer_draw_invalid_rects(), 1);
  layer_t* layer = nullptr;
  redraw_resume_point(nullptr, &layer);
  ASSERT_EQ(layer, t.layer);

  layer_destroy(t.layer);
  redraw_resume_point(nullptr, &layer);
  EXPECT_EQ(layer, nullptr);
  EXPECT_EQ(redraw_resume(), 0) << "nothing left to resume";
  extent_list_delete(&rects);
}

// The redraw worker draws a layer's rectangles while the load task rebuilds the layer's
// tree: the worker never walks a tree that is being freed.
TEST_F(Quadtree, DrawingWhileTheTreeIsRebuilt) {
  test_layer t;
  for (int i = 0; i < 2000; ++i) t.add_box((i * 37) % 100, (i * 53) % 100, 0.5, 0.5);
  t.add_style(CLS_DPOINT);
  gindex_compute(t.layer, 1);
  qtree_rebuild(t.layer);

  static std::atomic<int> draws;
  static extent_list_t* worker_rects;
  draws = 0;
  extent_list_create(nullptr, &worker_rects);
  visible_hooks h = visible_get_hooks();
  h.draw_object = [](obj_t*) { draws.fetch_add(1); return 0; };
  h.current_rects = [] { return worker_rects; };
  visible_set_hooks(&h);

  std::atomic<bool> done{false};
  std::atomic<int> drawn_rects{0};
  std::thread worker([&] {
    set_current_layer(t.layer);
    for (int i = 0; i < 300; ++i) {
      const double x = (i * 7) % 90;
      extent_list_append(nullptr, worker_rects, extent_t{x, x + 10, x, x + 10, 0});
      EXPECT_EQ(layer_draw_invalid_rects(), 0);
      drawn_rects.fetch_add(1);
    }
    set_current_layer(nullptr);
    done = true;
  });
  // The lock is not fair: a loop that takes it again at once could keep the worker
  // waiting for ever. Each rebuild waits until the worker has drawn once more.
  while (!done.load()) {
    qtree_rebuild(t.layer);
    const int seen = drawn_rects.load();
    while (!done.load() && drawn_rects.load() == seen) std::this_thread::yield();
  }
  worker.join();
  EXPECT_GT(draws.load(), 0);
  extent_list_delete(&worker_rects);
}

TEST_F(Quadtree, ImagePairsFollowDrawingOrderAndSkipHiddenImages) {
  test_layer t(0);
  obj_t* images[3];
  const int orders[3] = {5, 1, 3};
  for (int i = 0; i < 3; ++i) {
    images[i] = t.add_box(i * 10, 0, 20, 20);
    obj_t* o = nullptr;
    obj_new(0, CLS_LAYER_LINK, &o);
    auto* link = static_cast<layer_link_t*>(o);
    link->order = orders[i];
    link->object = images[i];
    link->value = i == 2 ? 1 : 0;  // the third is hidden
    obj_list_append(t.objects, link);
    t.owned.push_back(link);
  }
  gindex_set_image_extent_routine([](extent_t clip, obj_t* image) {
    gindex_entry_t c{};
    box_extent(nullptr, image, nullptr, &c);
    gindex_add_extent(clip, image, &c);
  });
  gindex_compute(t.layer, 1);
  qtree_build_images(t.layer);
  visible_set_query(extent_t{0, 40, 0, 20, 0});
  set_current_layer(t.layer);
  qtree_query(t.layer->qtree->root);
  pairlist* pairs = image_pairs();
  ASSERT_EQ(pairlist_count(pairs), 2);
  std::intptr_t a = 0, b = 0;
  pairlist_get(pairs, 0, &a, &b);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(reinterpret_cast<obj_t*>(b), images[1]);
  pairlist_get(pairs, 1, &a, &b);
  EXPECT_EQ(a, 5);
  EXPECT_EQ(reinterpret_cast<obj_t*>(b), images[0]);
  gindex_init();
}

}  // namespace
