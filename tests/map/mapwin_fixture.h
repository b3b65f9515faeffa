// Test support for map windows and panes: the map model's classes, a graph space in
// WGS 84 degrees, map windows made and freed by the fixture, the commands the map model
// posts (recorded through the core's command hooks), and a window side that records
// scroll-bar writes and window scrolls instead of touching a window.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/command_hooks.h"
#include "core/memory.h"
#include "map/mapwin.h"
#include "tests/map/map_model_fixture.h"

namespace mapwin_test {

// A copy of a field of a packed record: the expectations take references, which must
// never bind to a field at an unaligned address.
template <class T> T v(T value) { return value; }

struct bar_write {
  int axis;
  double position, page;
};

// What the stand-in window side saw and answers.
struct ui_record {
  std::vector<std::pair<int, std::string>> posted;  // slot, text
  std::vector<bar_write> bars;
  std::vector<std::pair<int, int>> scrolls;  // dx, dy of the window's pixels
  double bar_position = 0.0, bar_page = 0.0, bar_track = 0.0;
  mapwin_t* target = nullptr;
};

inline ui_record& record() {
  static ui_record r;
  return r;
}

inline int record_post(int slot, int64_t, const char* text) {
  record().posted.emplace_back(slot, text ? text : "");
  return 1;
}
inline void record_bar(mapwin_t*, int axis, double position, double page) {
  record().bars.push_back({axis, position, page});
}
inline int answer_bar(mapwin_t*, int, double* position, double* page, double* track) {
  *position = record().bar_position;
  *page = record().bar_page;
  *track = record().bar_track;
  return 1;
}
inline void record_scroll(mapwin_t*, int dx, int dy) { record().scrolls.emplace_back(dx, dy); }
inline obj_t* answer_target() { return record().target; }

class MapWinFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::map_model_env();
    set_current_mapwin(nullptr);
    record() = ui_record{};
    saved_hooks_ = get_command_hooks();
    get_command_hooks().post_command = record_post;
    mapwin_ui_hooks ui;
    ui.set_scroll_pos = record_bar;
    ui.get_scroll_pos = answer_bar;
    ui.scroll_window_region = record_scroll;
    ui.command_target = answer_target;
    mapwin_set_ui_hooks(&ui);
    mapwin_install_view_hooks();
    georef_ = tm_test::make_georef(214, 0);
    graphspace_new(georef_, &gs_);
    ASSERT_NE(gs_, nullptr);
    graphspace_set_current(gs_);
  }
  void TearDown() override {
    set_current_mapwin(nullptr);
    set_gblerr(0);
    for (mapwin_t* w : windows_) {
      mapwin_free_pane(w);
      for (char* text : {w->title, w->status_part, w->status_text}) free_mem(&text);
      free_obj(&w);
    }
    graphspace_free(&gs_);
    for (folder_t* f : folders_) tm_test::free_point_folder(f);
    obj_t* g = georef_;
    free_obj(&g);
    graphspace_set_view_hooks(nullptr);
    mapwin_set_ui_hooks(nullptr);
    get_command_hooks() = saved_hooks_;
  }

  // A window of w x h pixels (scroll bars on), with a pane on the graph space.
  mapwin_t* window(int w, int h) {
    mapwin_t* win = nullptr;
    mapwin_new(&win, 0, 0, w, h, colour_word(255, 255, 255), 32, 1);
    windows_.push_back(win);
    EXPECT_EQ(mapwin_attach_graphspace(win, gs_), 1);
    return win;
  }
  // A window without pane (for texts).
  mapwin_t* bare_window() {
    mapwin_t* win = nullptr;
    mapwin_new(&win, 0, 0, 100, 100, colour_word(0, 0, 0), 32, 0);
    windows_.push_back(win);
    return win;
  }
  // A layer of waypoints at the points, in the graph space.
  layer_t* layer_of(std::initializer_list<tm_test::point_xy> points) {
    folder_t* f = tm_test::make_point_folder(nullptr, tm_test::make_georef(214, 0), points);
    folders_.push_back(f);
    // Points drawn with a 2-pixel outline: each entry's extent has a 4-pixel margin.
    obj_t* style = nullptr;
    obj_list_first_of_class(f->sot, CLS_DPOINT, &style);
    if (style) static_cast<dpoint_t*>(style)->vthickness = 2;
    int counter = 0;
    EXPECT_EQ(graphspace_add_file(gs_, f, &counter), 1);
    layer_t* layer = nullptr;
    mapwin_find_layer(gs_, f, &layer);
    return layer;
  }
  // The data extent of the graph space, set directly.
  void set_data(double xmin, double xmax, double ymin, double ymax) {
    graphspace_set_extent(gs_, extent_t{xmin, xmax, ymin, ymax, 0.0});
  }
  std::vector<int> posted_slots() const {
    std::vector<int> out;
    for (const auto& p : record().posted) out.push_back(p.first);
    return out;
  }

  georef_t* georef_ = nullptr;
  graphspace_t* gs_ = nullptr;
  std::vector<mapwin_t*> windows_;
  std::vector<folder_t*> folders_;

 private:
  command_hooks saved_hooks_;
};

}  // namespace mapwin_test
