// The image layer's links: reading and writing a link's value, and removing an image
// object, which takes its links out of the layer's list before freeing them.
#include <gtest/gtest.h>

#include <vector>

#include "core/index.h"
#include "tests/map/map_model_fixture.h"

namespace {

TEST(LayerLinks, ValueAndRemovalOfAnImage) {
  tm_test::map_model_env();
  graphspace_t* gs = nullptr;
  graphspace_new(tm_test::make_georef(214, 0), &gs);
  layer_t* images = graphspace_layer_of_priority(gs, 0, nullptr);
  ASSERT_NE(images, nullptr);
  bitmap_t* bm = nullptr;
  obj_new(0, CLS_BITMAP, reinterpret_cast<obj_t**>(&bm));
  layer_link_t* link = nullptr;
  obj_new(0, CLS_LAYER_LINK, reinterpret_cast<obj_t**>(&link));
  link->object = bm;
  obj_list_append(images->objects, link);
  obj_list_append(images->objects, bm);
  int v = -1;
  EXPECT_EQ(layer_link_get_value(gs, bm, &v), 0);
  layer_link_set_value(gs, bm, 1);
  EXPECT_EQ(layer_link_get_value(gs, bm, &v), 1);
  EXPECT_EQ(v, 1);
  int none = -1;
  layer_link_get_value(gs, images, &none);  // not shown: 0
  EXPECT_EQ(none, 0);
  graphspace_remove_object(gs, bm);
  EXPECT_EQ(obj_list_count(images->objects), 0);
  EXPECT_EQ(layer_link_get_value(gs, bm, &v), 0);
  obj_t* bo = bm;
  free_obj(&bo);
  georef_t* g = gs->georef;
  graphspace_free(&gs);
  obj_t* go = g;
  free_obj(&go);
}

// A loaded folder that shows an image puts it into the image layer, linked in the
// drawing order of the folder's priority and shown while the folder is; it makes no
// layer of its own unless it holds more than its image, and adding it again adds nothing.
TEST(LayerLinks, AnImageFolderJoinsTheImageLayer) {
  tm_test::map_model_env();
  graphspace_t* gs = nullptr;
  graphspace_new(tm_test::make_georef(214, 0), &gs);
  layer_t* images = graphspace_layer_of_priority(gs, 0, nullptr);
  ASSERT_NE(images, nullptr);
  bitmap_t* bm = nullptr;
  obj_new(0, CLS_BITMAP, reinterpret_cast<obj_t**>(&bm));
  folder_t* folder = nullptr;
  folder_get_or_create(nullptr, bm, 0, &folder);
  ASSERT_NE(folder, nullptr);
  ASSERT_EQ(folder_get_link(folder), bm);
  int counter = 0;
  EXPECT_EQ(graphspace_add_file(gs, folder, &counter), 1);
  EXPECT_EQ(counter, 1);
  const int priority = folder->layer;
  EXPECT_EQ(priority, 20000);
  EXPECT_EQ(graphspace_layer_of_priority(gs, priority, nullptr), nullptr);
  auto links = [&] {
    std::vector<layer_link_t*> found;
    for (int i = 0; i < obj_list_count(images->objects); ++i) {
      obj_t* o = nullptr;
      obj_list_get(images->objects, i, &o);
      if (o && o->cls == CLS_LAYER_LINK) found.push_back(static_cast<layer_link_t*>(o));
    }
    return found;
  };
  ASSERT_EQ(links().size(), 1u);
  EXPECT_EQ(links()[0]->object, bm);
  EXPECT_EQ(links()[0]->folder, static_cast<obj_t*>(folder));
  EXPECT_EQ(links()[0]->order, priority);
  EXPECT_EQ(links()[0]->value, 0);
  graphspace_add_file(gs, folder, &counter);
  EXPECT_EQ(links().size(), 1u);
  graphspace_remove_object(gs, bm);
  EXPECT_TRUE(links().empty());
  obj_t* bo = bm;
  free_obj(&bo);
  free_obj(&folder);
  georef_t* g = gs->georef;
  graphspace_free(&gs);
  obj_t* go = g;
  free_obj(&go);
}

// A priority that no layer holds finds nothing, also in a space without layers.
TEST(LayerLinks, APriorityNoLayerHoldsFindsNothing) {
  tm_test::map_model_env();
  graphspace_t* gs = nullptr;
  graphspace_new(tm_test::make_georef(214, 0), &gs);
  EXPECT_EQ(graphspace_layer_of_priority(gs, 20000, nullptr), nullptr);
  layer_t* images = graphspace_layer_of_priority(gs, 0, nullptr);
  ASSERT_NE(images, nullptr);
  index_remove(gs->layers, images);  // the space now has no layer at all
  EXPECT_EQ(graphspace_layer_of_priority(gs, 0, nullptr), nullptr);
  obj_list_append(gs->layers, images);
  georef_t* g = gs->georef;
  graphspace_free(&gs);
  obj_t* go = g;
  free_obj(&go);
}

// Only what a drawing style draws counts as drawable: the entries of images do not, and
// a style that draws nothing leaves a computed index without entries.
TEST(LayerLinks, OnlyStyleEntriesAreDrawable) {
  tm_test::map_model_env();
  georef_t* g = tm_test::make_georef(214, 0);
  graphspace_t* gs = nullptr;
  graphspace_new(g, &gs);
  layer_t* images = graphspace_layer_of_priority(gs, 0, nullptr);
  ASSERT_NE(images, nullptr);
  bitmap_t* bm = nullptr;
  obj_new(0, CLS_BITMAP, reinterpret_cast<obj_t**>(&bm));
  bm->width = 10;
  bm->height = 10;
  layer_link_t* link = nullptr;
  obj_new(0, CLS_LAYER_LINK, reinterpret_cast<obj_t**>(&link));
  link->object = bm;
  obj_list_append(images->objects, link);
  graphspace_update_layer(gs, images, 0);
  ASSERT_NE(gindex_find(images, bm, nullptr), nullptr);  // the image has its entry

  folder_t* points = tm_test::make_point_folder(nullptr, nullptr, {{1, 2}});
  folder_t* style_only = tm_test::make_point_folder(nullptr, nullptr, {});
  int counter = 0;
  ASSERT_EQ(graphspace_add_file(gs, points, &counter), 1);
  ASSERT_EQ(graphspace_add_file(gs, style_only, &counter), 1);
  struct drawable_case {
    const char* name;
    const layer_t* layer;
    int expected;
  } cases[] = {
      {"image layer", images, 0},
      {"points drawn by a style", mapwin_find_layer(gs, points, nullptr), 1},
      {"a style without objects", mapwin_find_layer(gs, style_only, nullptr), 0},
  };
  for (const drawable_case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NE(c.layer, nullptr);
    EXPECT_NE(c.layer->gindex_sorted, nullptr);
    EXPECT_EQ(layer_has_drawable(c.layer), c.expected);
  }

  graphspace_remove_object(gs, bm);
  obj_t* bo = bm;
  free_obj(&bo);
  graphspace_free(&gs);
  tm_test::free_point_folder(points);
  tm_test::free_point_folder(style_only);
  obj_t* go = g;
  free_obj(&go);
}

// The links of the image layer go with their graph space; the images stay with their
// files. (Both are made in their class lists, where the count sees them.)
TEST(LayerLinks, FreeingTheSpaceFreesItsLinks) {
  tm_test::map_model_env();
  auto count_of = [](int cls) {
    int n = 0;
    obj_t* cursor = nullptr;
    while (obj_class_next(cls, &cursor)) ++n;
    return n;
  };
  const int links_before = count_of(CLS_LAYER_LINK);
  const int bitmaps_before = count_of(CLS_BITMAP);
  graphspace_t* gs = nullptr;
  graphspace_new(tm_test::make_georef(214, 0), &gs);
  layer_t* images = graphspace_layer_of_priority(gs, 0, nullptr);
  ASSERT_NE(images, nullptr);
  bitmap_t* bm = nullptr;
  obj_new_registered(CLS_BITMAP, &bm);
  for (int i = 0; i < 2; ++i) {
    layer_link_t* link = nullptr;
    obj_new_registered(CLS_LAYER_LINK, &link);
    link->object = bm;
    obj_list_append(images->objects, link);
  }
  obj_list_append(images->objects, bm);
  EXPECT_EQ(count_of(CLS_LAYER_LINK), links_before + 2);
  georef_t* g = gs->georef;
  graphspace_free(&gs);
  EXPECT_EQ(count_of(CLS_LAYER_LINK), links_before);
  EXPECT_EQ(count_of(CLS_BITMAP), bitmaps_before + 1);
  obj_t* bo = bm;
  free_obj(&bo);
  obj_t* go = g;
  free_obj(&go);
}

}  // namespace
