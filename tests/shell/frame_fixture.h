// Shared by the frame, menu and key tests: a fresh window system on the virtual clock,
// a fresh object store and configuration, the dispatcher with recording hooks, and the
// frame built the way start-up builds it (window, accelerators, toolbar, map child
// window with its pane, menu bar, initial menu states). What the frame reaches is
// recorded: commands that arrive at the program's table, redraw and print runs, and the
// exit routine.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "geodesy/geodesy_tables.h"
#include "map/draw_gdi.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "gps/nmea_log.h"
#include "map/gps_classes.h"
#include "map/graphic_index.h"
#include "map/print.h"
#include "map/quadtree.h"
#include "map/view_records.h"
#include "platform/sys/thread.h"
#include "platform/ui/ctl_toolbar.h"
#include "platform/ui/ui.h"
#include "raster/wms/wms_internal.h"
#include "shell/frame.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/table_window.h"
#include "shell/framework/winutil.h"
#include "shell/menu.h"
#include "map/mapwin.h"
#include "shell/load_commands.h"
#include "tests/core/config_fixture.h"
#include "tests/support/harness.h"

namespace frame_test {

struct Seen {
  std::mutex lock;
  std::vector<std::string> calls;     // "routine(args)" of pending routines
  std::vector<std::string> commands;  // "slot:text" that reached the program's table
  int redraws = 0;
  std::vector<std::string> prints;    // texts of print runs
  int exits = 0;
};

inline Seen& S() {
  static Seen seen;
  return seen;
}

inline void on_pending(const char* routine, const char* args) {
  std::lock_guard<std::mutex> g(S().lock);
  S().calls.push_back(std::string(routine) + "(" + args + ")");
}

inline void on_command(int slot) {
  const char* text = current_task_text();
  std::lock_guard<std::mutex> g(S().lock);
  S().commands.push_back(std::to_string(slot) + ":" + (text ? text : ""));
}

inline void on_redraw(void*) {
  {
    std::lock_guard<std::mutex> g(S().lock);
    ++S().redraws;
  }
  task_end();
}

inline void on_print(void*) {
  const char* text = current_task_text();
  {
    std::lock_guard<std::mutex> g(S().lock);
    S().prints.push_back(text ? text : "");
  }
  task_end();
}

inline void on_exit() {
  std::lock_guard<std::mutex> g(S().lock);
  ++S().exits;
}

inline std::vector<std::string> calls() {
  std::lock_guard<std::mutex> g(S().lock);
  return S().calls;
}
inline std::vector<std::string> commands() {
  std::lock_guard<std::mutex> g(S().lock);
  return S().commands;
}
inline int redraws() {
  std::lock_guard<std::mutex> g(S().lock);
  return S().redraws;
}
inline std::vector<std::string> prints() {
  std::lock_guard<std::mutex> g(S().lock);
  return S().prints;
}
inline int exits() {
  std::lock_guard<std::mutex> g(S().lock);
  return S().exits;
}
inline void clear_seen() {
  std::lock_guard<std::mutex> g(S().lock);
  S().calls.clear();
  S().commands.clear();
  S().redraws = 0;
  S().prints.clear();
  S().exits = 0;
}
inline bool called(const std::string& call) {
  for (const std::string& c : calls())
    if (c == call) return true;
  return false;
}
inline bool called_routine(const std::string& routine) {
  for (const std::string& c : calls())
    if (c.rfind(routine + "(", 0) == 0) return true;
  return false;
}

// The real geodesy tables and the reference datum, as start-up loads them.
inline void load_geodesy() {
  geo_load_tables();
  ASSERT_EQ(get_gblerr(), 0);
  geo_init_ref_datum();
}
// The GPS classes, without their waypoint icons.
inline void register_gps_classes() {
  int n = 0;
  const gps_class_entry* table = gps_class_table(&n);
  for (int i = 0; i < n; ++i) {
    obj_register_class(table[i].cls, table[i].size, table[i].desc);
    obj_set_free_callback(table[i].cls, table[i].free_fn);
  }
}
// What drawing into a map window needs: the quadtree, the drawing-object and redraw
// types, the font table, the drawing table and the graphic index.
inline void register_drawing() {
  qtree_init();
  drawobj_types_register();
  redraw_types_register();
  font_table_init();
  drawobj_init_table();
  gindex_init();
}

class FrameFixture : public tm_test::ConfigFixture {
 protected:
  // lang: "FRANCAIS", "ENGLISH", or null to leave the key absent.
  void SetUp() override { SetUpWith("ENGLISH"); }

  void SetUpWith(const char* lang) {
    ConfigFixture::SetUp();
    navig_log_set(0);  // the program starts with navigation logging off
    set_program_dir(TM_SOURCE_DIR "/data/");
    if (lang) config_set("LANG", lang);
    session_ = std::make_unique<tm_test::UiSession>();
    clear_seen();
    geo_register_classes();
    fileobj_types_register();
    view_types_register();
    task_slots_init();
    dispatcher_hooks_reset();
    dispatcher_hooks& h = get_dispatcher_hooks();
    h.run_command = on_command;
    h.redraw_run = on_redraw;
    h.print_run = on_print;
    winutil_state_reset();
    progress_state_reset();
    frame_reset();
    display_options_init();
    set_frame_exit_routine(on_exit);
    build_frame();
    register_table_class();
    register_dialog_class();
    tm_test::run_until_idle();
    clear_seen();
  }

  void build_frame() {
    ASSERT_EQ(create_main_window(&frame_object_), 1);
    frame_ = main_frame_window();
    tm_test::set_accelerators(frame_, load_main_accelerators());
    ASSERT_EQ(create_main_toolbar(), 1);
    ASSERT_EQ(create_map_child_window(&map_object_), 1);
    ASSERT_EQ(attach_map_pane(), 1);
    menu_ = build_menu_bar(main_menu_table);
    ASSERT_NE(menu_, nullptr);
    menu_set_initial_states();
    ASSERT_EQ(get_gblerr(), 0);
  }

  void TearDown() override {
    // Destroying the frame lets its windows free what they hold.
    if (plat::is_window(frame_)) plat::destroy_window(frame_);
    session_.reset();
    plat::join_threads(10000);
    frame_reset();
    fileobj_tables_free();  // the file table and list that SetUp's registration made
    task_slots_init();
    dispatcher_hooks_reset();
    winutil_state_reset();
    navig_log_set(0);  // a test that switched it on leaves it as it found it
    wms_services_free_all();  // the services list a WMS dialog made
    ConfigFixture::TearDown();
  }

  // Sends a WM_COMMAND as the menu would, then runs until idle.
  void command(unsigned id) {
    plat::post_message(frame_, plat::WM_COMMAND, id, 0);
    tm_test::run_until_idle();
  }

  // The map window shows data 0..10000 x 0..10000 at one pixel per unit, y downwards,
  // with the world point (5000, 5000) at its upper-left corner.
  void show_data_in_the_middle() {
    graphspace_set_extent(get_current_graphspace(), extent_t{0, 10000, 0, 10000, 0});
    mapwin_set_orientation(map_object_, 1);
    map_object_->map = screen_mapping{-5000.0, -5000.0, 1.0, 1.0};
  }

  // The toolbar's button of a command: is it a check button, is it checked.
  bool toolbar_checked(unsigned id) { return frame_toolbar_is_checked(id); }

  std::unique_ptr<tm_test::UiSession> session_;
  mapwin_t* frame_object_ = nullptr;
  mapwin_t* map_object_ = nullptr;
  plat::Wnd frame_ = nullptr;
  plat::Menu menu_ = nullptr;
};

}  // namespace frame_test
