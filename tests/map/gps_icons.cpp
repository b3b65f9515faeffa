// The waypoint icons of data/: all 61 and the lap icon load into bitmaps named after
// their files; a missing icon leaves its slot empty and writes its trace-log line;
// points get shared copies of their symbol's icon, one per list.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "core/config.h"
#include "core/tracelog.h"
#include "tests/map/gps_fixture.h"

namespace tm_test {
namespace {

using GpsIcons = GpsFixture;

TEST_F(GpsIcons, AllIconsLoadFromTheDataFolder) {
  for (int i = 0; i < kWaypointIconCount; ++i) {
    bitmap_t* b = nullptr;
    ASSERT_TRUE(gpsobj_get_icon(i, &b)) << i;
    EXPECT_EQ(std::string(b->name), "wpt" + std::to_string(i) + ".png");
    int w = 0, h = 0;
    bitmap_get_size(b, &w, &h);
    EXPECT_EQ(w, 24);
    EXPECT_EQ(h, 24);
    EXPECT_EQ(val(b->planes), 1);
    EXPECT_EQ(val(b->has_transparent), 1);
    // The corner is see-through, the centre is drawn.
    EXPECT_EQ(get_img_line_adr(b, 0, 0)[23], b->transparent[0]) << i;
  }
  EXPECT_EQ(gpsobj_get_icon(-1, nullptr), nullptr);
  EXPECT_EQ(gpsobj_get_icon(61, nullptr), nullptr);
  bitmap_t* lap = nullptr;
  ASSERT_TRUE(gpsobj_get_lap_icon(&lap));
  EXPECT_EQ(std::string(lap->name), kLapIconFile);
  EXPECT_EQ(obj_list_count(gpsobj_get_icon_list(nullptr)), kWaypointIconCount + 1);
}

TEST_F(GpsIcons, MissingIconIsLoggedAndLeftNull) {
  // The error-log switch is read once per configuration: start from a fresh one.
  config_reset();
  const std::string logs = fresh_dir("logs");
  config_set("LOG_DIR", logs.c_str());
  config_set("LOGERROR", "1");
  log_init("GPST");
  ASSERT_TRUE(log_path());
  bitmap_t* b = reinterpret_cast<bitmap_t*>(1);
  EXPECT_EQ(gpsobj_load_icon("wpt999.png", &b), nullptr);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(get_gblerr(), 0);
  std::ifstream f(log_path());
  const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  const bool english = text.find("Unable to load wpt999.png") != std::string::npos;
  const bool french = text.find("Impossible de charger l'image wpt999.png") != std::string::npos;
  EXPECT_TRUE(english || french) << text;
  // An empty program folder: every slot is empty, start-up goes on.
  set_program_dir(fresh_dir("empty").c_str());
  EXPECT_EQ(gpsobj_load_icons(), 0);
  EXPECT_EQ(gpsobj_get_icon(0, nullptr), nullptr);
  EXPECT_EQ(gpsobj_get_lap_icon(nullptr), nullptr);
  EXPECT_EQ(obj_list_count(gpsobj_get_icon_list(nullptr)), 0);
  set_program_dir(TM_SOURCE_DIR "/data/");
  config_reset();
}

TEST_F(GpsIcons, PointsShareOneCopyPerSymbolAndList) {
  route_t* r = nullptr;
  route_create(list_, &r);
  waypoint_t* w[4] = {};
  const int symbols[4] = {3, 3, 5, 3};
  for (int i = 0; i < 4; ++i) {
    waypoint_create(i, i, nullptr, nullptr, 0, symbols[i], 0, 0, i < 3 ? list_ : nullptr, &w[i]);
    ASSERT_TRUE(w[i]);
  }
  obj_list_append(r->sons, w[3]);
  gpsobj_attach_icons(list_, CLS_WAYPOINT);
  ASSERT_TRUE(w[0]->icon && w[2]->icon && w[3]->icon);
  EXPECT_EQ(val(w[0]->icon), val(w[1]->icon));
  EXPECT_NE(val(w[0]->icon), val(w[2]->icon));
  EXPECT_NE(val(w[3]->icon), val(w[0]->icon));  // another list, another copy
  EXPECT_NE(val(w[0]->icon), gpsobj_get_icon(3, nullptr));
  EXPECT_EQ(val(val(w[0]->icon)->file), nullptr);
  EXPECT_EQ(val(val(w[0]->icon)->width), 24);
  free_obj(&w[3]);
}

// Without the sons: only the list's own points get icons.
TEST_F(GpsIcons, AWalkWithoutTheSonsLeavesTheirPointsAlone) {
  route_t* r = nullptr;
  route_create(list_, &r);
  waypoint_t* inside = nullptr;
  waypoint_t* outside = nullptr;
  waypoint_create(0, 0, nullptr, nullptr, 0, 3, 0, 0, list_, &inside);
  waypoint_create(1, 1, nullptr, nullptr, 0, 3, 0, 0, nullptr, &outside);
  ASSERT_TRUE(inside && outside);
  obj_list_append(r->sons, inside);
  obj_list_append(r->sons, outside);
  gpsobj_attach_icons(list_, CLS_WAYPOINT, false);
  EXPECT_NE(val(inside->icon), nullptr);
  EXPECT_EQ(val(outside->icon), nullptr);
  gpsobj_attach_icons(list_, CLS_WAYPOINT);
  EXPECT_NE(val(outside->icon), nullptr);
  EXPECT_NE(val(outside->icon), val(inside->icon));  // the sons list's own copy
  free_obj(&outside);
}

}  // namespace
}  // namespace tm_test
