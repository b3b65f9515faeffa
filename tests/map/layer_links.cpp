// The image layer's links: reading and writing a link's value, and removing an image
// object, which takes its links out of the layer's list before freeing them.
#include <gtest/gtest.h>

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

}  // namespace
