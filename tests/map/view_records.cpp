// The view records: registration of the view classes at the sizes of their records,
// the byte layout of map windows and panes, map-window creation, and the current map
// window handed between threads.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "core/error.h"
#include "core/obj_list.h"
#include "map/graphspace.h"
#include "map/view_records.h"
#include "tests/support/object_env.h"

namespace {

class ViewRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    view_types_register();
    set_current_mapwin(nullptr);
  }
  void TearDown() override {
    set_gblerr(0);
    set_current_mapwin(nullptr);
    for (mapwin_t*& w : made_) free_obj(&w);
  }
  mapwin_t* keep(mapwin_t* w) {
    made_.push_back(w);
    return w;
  }
  std::vector<mapwin_t*> made_;
};

TEST_F(ViewRecordsTest, ClassesRegisteredAtTheirRecordSizes) {
  struct Case {
    int cls;
    int size;
  };
  const Case cases[] = {{CLS_LAYER_LINK, 76},
                        {CLS_MAPWIN, int(sizeof(mapwin_t))},
                        {CLS_PANE, int(sizeof(pane_t))},
                        {CLS_GRAPHSPACE, int(sizeof(graphspace_t))},
                        {CLS_LAYER, int(sizeof(layer_t))}};
  for (const Case& c : cases) EXPECT_EQ(obj_class_size(c.cls), c.size) << "class " << c.cls;
  EXPECT_EQ(obj_class_size(CLS_MAPWIN), 232);
  EXPECT_EQ(obj_class_size(CLS_PANE), 224);
}

// The mapping of a map window and of a pane are read from their records by byte
// offset; a value written there is the field of that name.
TEST_F(ViewRecordsTest, MappingFieldsSitAtTheirOffsets) {
  const screen_mapping m{1.5, -2.5, 4.0, -8.0};
  unsigned char win_raw[sizeof(mapwin_t)] = {};
  std::memcpy(win_raw + 164, &m, sizeof m);
  const int32_t axis = 1;
  std::memcpy(win_raw + 200, &axis, 4);
  mapwin_t win;
  std::memcpy(&win, win_raw, sizeof win);
  const screen_mapping wm = mapwin_mapping(&win);
  EXPECT_EQ(wm.origin_x, 1.5);
  EXPECT_EQ(wm.scale_y, -8.0);
  EXPECT_EQ(+win.axis_down, 1);

  unsigned char pane_raw[sizeof(pane_t)] = {};
  std::memcpy(pane_raw + 8, &m, sizeof m);
  const extent_t page{0, 640, 0, 480, 0};
  std::memcpy(pane_raw + 112, &page, sizeof page);
  pane_t pane;
  std::memcpy(&pane, pane_raw, sizeof pane);
  const screen_mapping pm = pane_mapping(&pane);
  EXPECT_EQ(pm.origin_y, -2.5);
  EXPECT_EQ(pm.scale_x, 4.0);
  const extent_t got = pane.page;
  EXPECT_EQ(got.xmax, 640);
  EXPECT_EQ(got.ymax, 480);

  const screen_mapping none = mapwin_mapping(nullptr);
  EXPECT_EQ(none.scale_x, 0.0);
  EXPECT_EQ(pane_mapping(nullptr).scale_y, 0.0);
}

TEST_F(ViewRecordsTest, MapwinNewStoresItsValues) {
  struct Case {
    int x, y, w, h;
    uint32_t background;
    int depth, scrollbars;
  };
  const Case cases[] = {{0, 0, 800, 600, colour_word(255, 255, 255), 32, 0},
                        {10, 20, 300, 200, colour_word(0, 0, 128), 24, 1},
                        {-5, -7, 1, 1, 0, 8, 1}};
  for (const Case& c : cases) {
    mapwin_t* out = nullptr;
    mapwin_t* w = keep(mapwin_new(&out, c.x, c.y, c.w, c.h, c.background, c.depth, c.scrollbars));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(out, w);
    EXPECT_EQ(+w->cls, CLS_MAPWIN);
    EXPECT_NE(+w->id, 0);
    EXPECT_EQ(+w->x, c.x);
    EXPECT_EQ(+w->y, c.y);
    EXPECT_EQ(+w->width, c.w);
    EXPECT_EQ(+w->height, c.h);
    EXPECT_EQ(+w->background, c.background);
    EXPECT_EQ(+w->depth, c.depth);
    EXPECT_EQ(+w->scrollbars, c.scrollbars);
    // White monochrome-image colour: red, green, blue 255 and the "set" byte.
    const uint32_t mono = w->mono_colour;
    unsigned char bytes[4];
    std::memcpy(bytes, &mono, 4);
    EXPECT_EQ(bytes[0], 255);
    EXPECT_EQ(bytes[1], 255);
    EXPECT_EQ(bytes[2], 255);
    EXPECT_EQ(bytes[3], 1);
    EXPECT_EQ(+w->pane, nullptr);
    obj_t* found = nullptr;
    EXPECT_EQ(obj_find_in_class(CLS_MAPWIN, w->id, &found), w);
  }
}

// An error pending when the record is made: the record exists but nothing more is set.
TEST_F(ViewRecordsTest, MapwinNewStopsWhenAnErrorIsPending) {
  set_gblerr(ERR_OS);
  mapwin_t* out = nullptr;
  mapwin_t* w = mapwin_new(&out, 1, 2, 30, 40, 0, 32, 1);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(+w->width, 0);
  EXPECT_EQ(+w->mono_colour, 0u);
  set_gblerr(0);
  keep(w);
}

TEST_F(ViewRecordsTest, MapwinTypeRegisterAloneRegistersTheWindowClass) {
  tm_test::reset_object_store();
  EXPECT_EQ(obj_class_size(CLS_MAPWIN), 0);
  mapwin_type_register();
  EXPECT_EQ(obj_class_size(CLS_MAPWIN), int(sizeof(mapwin_t)));
  EXPECT_EQ(obj_class_size(CLS_PANE), 0);
}

// Set on one thread, read on another: the hand-over is atomic.
TEST_F(ViewRecordsTest, CurrentMapwinIsHandedOverBetweenThreads) {
  EXPECT_EQ(get_current_mapwin(), nullptr);
  mapwin_t* a = keep(mapwin_new(nullptr, 0, 0, 10, 10, 0, 32, 0));
  mapwin_t* b = keep(mapwin_new(nullptr, 0, 0, 20, 20, 0, 32, 0));
  set_current_mapwin(a);
  EXPECT_EQ(get_current_mapwin(), a);
  mapwin_t* seen = nullptr;
  std::thread reader([&] {
    while (get_current_mapwin() != b) std::this_thread::yield();
    seen = get_current_mapwin();
  });
  set_current_mapwin(b);
  reader.join();
  EXPECT_EQ(seen, b);
  EXPECT_EQ(+get_current_mapwin()->width, 20);
  set_current_mapwin(nullptr);
  EXPECT_EQ(get_current_mapwin(), nullptr);
}

TEST(ViewColourWord, BytesAreRedGreenBlueAndSet) {
  const uint32_t w = colour_word(1, 2, 3);
  unsigned char bytes[4];
  std::memcpy(bytes, &w, 4);
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[1], 2);
  EXPECT_EQ(bytes[2], 3);
  EXPECT_EQ(bytes[3], 1);
}

}  // namespace
