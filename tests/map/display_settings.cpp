// The program-wide display settings as the map model reads them: their starting values,
// the class colours that follow them, the objects and default styles made after a change
// (colours of new tracklogs, routes and points, label sizes of the default styles), and
// reads from a worker thread while the settings change.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/wstring.h"
#include "map/display_settings.h"
#include "map/view_records.h"
#include "tests/map/gps_file_fixture.h"

namespace tm_test {
namespace {

class DisplaySettings : public GpsFileFixture {
 protected:
  void SetUp() override {
    GpsFileFixture::SetUp();
    display_settings_reset();
  }
  void TearDown() override {
    display_settings_reset();
    GpsFileFixture::TearDown();
  }
  // The size of the only label style of a list.
  static int label_size(const container_t* list) {
    const auto labels = styles_in(list, CLS_DTEXT);
    EXPECT_EQ(labels.size(), 1u);
    return labels.empty() ? -1 : val(static_cast<dtext_t*>(labels[0])->vsize);
  }
};

TEST_F(DisplaySettings, StartValuesAndTheClassColoursThatFollowThem) {
  const struct {
    display_kind kind;
    uint32_t colour;
    int size;
    int classes[2];  // 0: none
  } cases[] = {
      {display_kind::waypoints, colour_word(255, 128, 0), 12, {CLS_WAYPOINT, 0}},
      {display_kind::tracklogs, colour_word(255, 0, 0), 10, {CLS_TRACKLOG, 0}},
      {display_kind::routes, colour_word(0, 128, 0), 10, {CLS_ROUTE, 0}},
      {display_kind::navigation, colour_word(255, 0, 255), 10, {CLS_GPSPOS, 0}},
      {display_kind::pois, colour_word(0, 0, 0), 12, {CLS_POI, 0}},
      {display_kind::lois, colour_word(255, 0, 0), 10, {CLS_LOIS, CLS_LOIL}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.kind));
    EXPECT_EQ(display_colour(c.kind), c.colour);
    EXPECT_EQ(display_size(c.kind), c.size);
    for (int cls : c.classes) {
      if (cls == 0) continue;
      EXPECT_EQ(gpsobj_default_colour(cls), c.colour & 0xFFFFFFu) << cls;
    }
    // A changed colour reaches the class at once, without its "set" byte.
    set_display_colour(c.kind, colour_word(1, 2, 3));
    for (int cls : c.classes) {
      if (cls == 0) continue;
      EXPECT_EQ(gpsobj_default_colour(cls), gps_rgb(1, 2, 3)) << cls;
    }
  }
  // Classes outside the six kinds keep their own colour.
  for (int cls : {CLS_GEOTEXT, CLS_COURSEPOINT, CLS_LOIPOINT, CLS_TRACKSEG})
    EXPECT_EQ(gpsobj_default_colour(cls), gps_rgb(255, 255, 0)) << cls;
  display_settings_reset();
  EXPECT_EQ(display_colour(display_kind::lois), colour_word(255, 0, 0));
}

TEST_F(DisplaySettings, NewObjectsTakeTheChangedColours) {
  set_display_colour(display_kind::tracklogs, colour_word(0, 0, 255));
  set_display_colour(display_kind::routes, colour_word(10, 20, 30));
  set_display_colour(display_kind::waypoints, colour_word(40, 50, 60));
  set_display_colour(display_kind::pois, colour_word(70, 80, 90));
  set_display_colour(display_kind::navigation, colour_word(0, 200, 0));
  tracklog_t* t = nullptr;
  tracklog_create(list_, &t);
  route_t* r = nullptr;
  route_create(list_, &r);
  obj_t* w = nullptr;
  gpsobj_new_point(CLS_WAYPOINT, list_, &w);
  obj_t* p = nullptr;
  gpsobj_new_point(CLS_POI, list_, &p);
  ASSERT_TRUE(t && r && w && p);
  EXPECT_EQ(t->colour, gps_rgb(0, 0, 255));
  EXPECT_EQ(r->colour, gps_rgb(10, 20, 30));
  EXPECT_EQ(static_cast<waypoint_t*>(w)->colour, gps_rgb(40, 50, 60));
  EXPECT_EQ(static_cast<poi_t*>(p)->colour, gps_rgb(70, 80, 90));

  // The track is drawn in its tracklog's colour; a live track in the navigation colour.
  fileatt_t* f = new_file();
  tracklog_t* drawn = nullptr;
  trackseg_t* seg = add_track(f->sot, {{0, 0, 0}, {2, 0, 1}}, &drawn);
  ASSERT_EQ(file_default_track_styles(f, 0, 1000.0), 0);
  const auto segs = styles_in(f->sot, CLS_DSEGPOINT);
  ASSERT_EQ(segs.size(), 1u);
  auto* s = static_cast<dsegpoint_t*>(segs[0]);
  attrs_dsegpoint(s, seg->sons->elems[0], drawn);
  EXPECT_EQ(val(s->vcolour), gps_rgb(0, 0, 255));
  obj_t* live = nullptr;
  ASSERT_NE(gpspos_style_create(list_, add_track(list_, {{0, 0, 0}, {1, 1, 1}}), &live, 1.0), nullptr);
  attrs_dsegpoint(static_cast<dsegpoint_t*>(live), nullptr, nullptr);
  EXPECT_EQ(val(static_cast<dsegpoint_t*>(live)->vcolour), gps_rgb(0, 200, 0));
}

// Label sizes left to the default (below 1, or never given) come from the settings; a
// size the caller gives wins.
TEST_F(DisplaySettings, DefaultLabelStylesTakeTheChangedSizes) {
  set_display_size(display_kind::waypoints, 21);
  set_display_size(display_kind::pois, 9);
  set_display_size(display_kind::tracklogs, 14);
  set_display_size(display_kind::routes, 17);
  set_display_size(display_kind::lois, 16);
  const struct {
    int cls, label_size, want;
  } points[] = {{CLS_WAYPOINT, 0, 21}, {CLS_POI, 0, 9}, {CLS_POI, 8, 8}};
  for (const auto& c : points) {
    SCOPED_TRACE(testing::Message() << c.cls << " " << c.label_size);
    fileatt_t* f = new_file();
    gpsobj_new_point(c.cls, f->sot, nullptr);
    ASSERT_EQ(file_default_point_styles(f, c.cls, 0, c.label_size, 400.0), 0);
    EXPECT_EQ(label_size(f->sot), c.want);
  }
  {
    fileatt_t* f = new_file();
    add_track(f->sot, {{0, 0, 0}, {2, 0, 1}});
    ASSERT_EQ(file_default_track_styles(f, 1, 1000.0), 0);
    EXPECT_EQ(label_size(f->sot), 14);
  }
  const struct {
    int cls, point_cls, want;
  } lines[] = {{CLS_ROUTE, CLS_WAYPOINT, 17}, {CLS_LOIS, CLS_LOIPOINT, 16}};
  for (const auto& c : lines) {
    SCOPED_TRACE(c.cls);
    fileatt_t* f = new_file();
    obj_t* line = nullptr;
    obj_new_in_list(f->sot, c.cls, &line);
    container_t* sons = obj_create_sons_list(line, 0, 0, 0);
    obj_t* p = nullptr;
    obj_new_in_list(f->sot, c.point_cls, &p);
    obj_list_append(sons, p);
    ASSERT_EQ(file_default_route_styles(f, c.cls, 1, 1000.0), 0);
    EXPECT_EQ(label_size(f->sot), c.want);
  }
  fileatt_t* f = new_file();
  obj_new_in_list(f->sot, CLS_LOIL, nullptr);
  ASSERT_EQ(file_default_loil_styles(f, 1, 10.0), 0);
  EXPECT_EQ(label_size(f->sot), 16);
}

// The load task reads the settings while the user changes them: every read is one of
// the values written, never a mixture.
TEST_F(DisplaySettings, WorkerReadsWhileTheSettingsChange) {
  const uint32_t a = colour_word(1, 2, 3), b = colour_word(200, 100, 50);
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::thread reader([&] {
    while (!stop.load()) {
      const uint32_t c = gpsobj_default_colour(CLS_TRACKLOG);
      if (c != (a & 0xFFFFFFu) && c != (b & 0xFFFFFFu) && c != gps_rgb(255, 0, 0)) ++bad;
      const int s = display_size(display_kind::tracklogs);
      if (s != 10 && s != 3 && s != 80) ++bad;
    }
  });
  for (int i = 0; i < 5000; ++i) {
    set_display_colour(display_kind::tracklogs, i % 2 ? a : b);
    set_display_size(display_kind::tracklogs, i % 2 ? 3 : 80);
  }
  stop = true;
  reader.join();
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
}  // namespace tm_test
