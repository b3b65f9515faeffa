// Routing of the menu commands: every item of the menu reaches its routine or its
// posted command, each command posts the redraw afterwards (also an unknown one), the
// options toggle with their check marks, and the toolbar's check buttons follow the
// menu both ways.
#include <algorithm>
#include <string>

#include "gps/nmea_log.h"
#include "gps/navig.h"
#include "platform/ui/dialog.h"
#include "platform/ui/window.h"
#include "shell/gps_ui/gps_dialogs.h"
#include "shell/cursor_window.h"
#include "shell/preference_dialogs.h"
#include "shell/wms_dialogs.h"
#include "shell/zoom_dialogs.h"
#include "tests/support/harness_dialogs.h"
#include "tests/shell/frame_fixture.h"

namespace frame_test {
namespace {


struct Route {
  unsigned id;
  const char* call;   // the stand-in reached, with its arguments; "" when none is observed
  const char* shows;  // the title of the dialog or window the command opens, or the
                      // caption of the box it answers with; "" when none
};

// What each command of the menu reaches (the frame's own actions are checked apart). The
// cursor of the frame's map window has no coordinate system, so the cursor unit answers
// with its box.
const Route kRoutes[] = {
    {IDM_CURSOR_UNIT, "", "Not georeferenced"},
    {IDM_CURSOR_DISPLAY, "", "curseur"},
    {IDM_DISPLAY_SYSTEM, "", "Choose display system"},
    {IDM_CURSOR_SYSTEM, "", "Choose cursor coordinates system"},
    {IDM_MANUAL_LOCALISATION, "", "Manual localization"},
    {IDM_ZOOM_LEVEL, "", "Zoom level"},
    {IDM_NAVIG_TRACK, "", ""},
    {IDM_MONOCHROME, "", ""},  // the map window's colours: below
    {IDM_MONOCHROME_COLOUR, "", "Monochrome images"},
    {IDM_NEGATIVE, "", ""},
    {IDM_LAYERS, "", "Graphic layers management"},
    {IDM_GPS_DOWNLOAD, "", "Download data from GPS"},
    {IDM_NAVIGATION, "", "Real time navigation"},
    {IDM_COLOURS, "", "Colors / fonts"},
    {IDM_ZOOM_IN, "", ""},  // the map window's scale: below
    {IDM_ZOOM_OUT, "", ""},
    {IDM_GLOBAL_VIEW, "", ""},
    {IDM_FIND_PLACE, "", "Find place name"},
    {IDM_OPEN, "", "Loading file(s)"},
    {IDM_NAVIG_LOG, "", ""},  // the switch itself: LogSwitchesToggle
    {IDM_EXPORT_GRAPHICS, "", "Graphic data export"},
    {IDM_EXPORT_GPS, "", "GPS data export"},
    {IDM_WMS_SERVICES, "", "Manage WMS WebServices"},
    {IDM_MAP_FEATURES, "", "Map features display"},
    {IDM_ZOOM1_ON_IMAGE, "", ""},
    {IDM_CENTER_LAST, "", ""},
    {IDM_GLOBAL_LAST, "", ""},
};

// Whether a modal dialog of that title was answered, a box of that caption shown, or a
// window of that title ("curseur": the cursor window, which has none) is open.
bool showed(const std::string& what, const std::vector<std::string>& dialogs) {
  if (std::find(dialogs.begin(), dialogs.end(), what) != dialogs.end()) return true;
  for (const tm_test::MessageBoxRecord& box : tm_test::message_boxes())
    if (box.caption == what) return true;
  if (what == "curseur") return cursor_window() != nullptr;
  return tm_test::find_window(nullptr, what.c_str()) != nullptr;
}

class MenuRouting : public FrameFixture, public ::testing::WithParamInterface<Route> {
 protected:
  void SetUp() override {
    FrameFixture::SetUp();
    // What start-up registers for the dialogs and windows the menu opens.
    register_preference_dialogs();
    register_zoom_dialogs();
    register_cursor_class();
  }
};

TEST_P(MenuRouting, CommandReachesItsRoutineThenRedraws) {
  const Route& r = GetParam();
  std::vector<std::string> dialogs;
  tm_test::clear_message_boxes();
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    char title[128] = "";
    plat::get_window_text(dlg, title, sizeof title);
    dialogs.push_back(title);
    tm_test::press_escape();
  });
  ASSERT_TRUE(tm_test::choose_menu_command(frame_, r.id)) << r.id;
  tm_test::run_until_idle();
  if (*r.call) {
    EXPECT_TRUE(called(r.call)) << r.id << " wants " << r.call;
  }
  if (*r.shows) {
    EXPECT_TRUE(showed(r.shows, dialogs)) << r.id << " wants " << r.shows;
  }
  EXPECT_GE(redraws(), 1) << r.id;
}

INSTANTIATE_TEST_SUITE_P(AllCommands, MenuRouting, ::testing::ValuesIn(kRoutes),
                         [](const ::testing::TestParamInfo<Route>& info) {
                           return "id" + std::to_string(info.param.id);
                         });

// Every item of the menu has a row in the command table, and every row an item;
// every command with a route above or a frame action below is in the table.
TEST(MenuCommandTable, CoversEveryMenuItem) {
  int items = 0;
  for (const menu_item* rec = main_menu_table; rec->kind != MENU_END; ++rec) {
    if (rec->kind != MENU_ITEM) continue;
    ++items;
    EXPECT_NE(find_menu_command(unsigned(rec->id)), nullptr) << rec->id;
  }
  EXPECT_EQ(menu_command_count, items);
  for (int i = 0; i < menu_command_count; ++i) {
    const menu_command& c = menu_commands[i];
    bool in_menu = false;
    for (const menu_item* rec = main_menu_table; rec->kind != MENU_END; ++rec)
      in_menu |= rec->kind == MENU_ITEM && unsigned(rec->id) == c.id;
    EXPECT_TRUE(in_menu) << c.id;
    bool covered = std::any_of(std::begin(kRoutes), std::end(kRoutes),
                               [&](const Route& r) { return r.id == c.id; });
    for (unsigned own : {IDM_QUIT, IDM_PRINT, IDM_ADD_GRID, IDM_MERGE_TRACKLOGS, IDM_RAW_LOG,
                         IDM_ENVIRONMENT, IDM_ABOUT})
      covered |= own == c.id;
    EXPECT_TRUE(covered) << "no test route for " << c.id;
  }
  EXPECT_EQ(find_menu_command(12345), nullptr);
}

TEST_F(FrameFixture, PrintPostsCommandEightWithTheMapWindow) {
  ASSERT_TRUE(tm_test::choose_menu_command(frame_, IDM_PRINT));
  tm_test::run_until_idle();
  ASSERT_EQ(prints().size(), 1u);
  EXPECT_EQ(prints()[0], std::to_string(map_object_->id) + " 0");
}

// Grey items cannot be chosen; their command, sent anyway, does nothing but redraw.
TEST_F(FrameFixture, GreyItemsAndUnknownIdsOnlyRedraw) {
  for (unsigned id : {unsigned(IDM_ADD_GRID), unsigned(IDM_MERGE_TRACKLOGS), 40001u, 50000u}) {
    clear_seen();
    if (id == IDM_ADD_GRID || id == IDM_MERGE_TRACKLOGS) {
      EXPECT_FALSE(tm_test::choose_menu_command(frame_, id));
    }
    command(id);
    EXPECT_TRUE(calls().empty()) << id;
    EXPECT_EQ(redraws(), 1) << id;
  }
}

// Monochrome images and the negative display are words of the map window.
TEST_F(FrameFixture, MonochromeAndNegativeSetTheMapWindow) {
  command(IDM_MONOCHROME);
  int mono = 0;
  uint32_t colour = 0;
  mapwin_get_colours(map_object_, &mono, &colour);
  EXPECT_EQ(mono, 1);
  EXPECT_EQ(colour, colour_word(255, 255, 255));  // the colour is kept
  command(IDM_NEGATIVE);
  EXPECT_EQ(mapwin_get_background_mode(map_object_), 1);
  command(IDM_NEGATIVE);
  EXPECT_EQ(mapwin_get_background_mode(map_object_), 0);
  EXPECT_GE(redraws(), 1);
}

// The two navigation logs: the switch and its check mark change together.
TEST_F(FrameFixture, LogSwitchesToggle) {
  struct Switch {
    unsigned id;
    int (*get)();
  };
  for (const Switch& sw :
       {Switch{IDM_RAW_LOG, navig_rawlog_get}, Switch{IDM_NAVIG_LOG, navig_log_get}}) {
    SCOPED_TRACE(sw.id);
    const int before = sw.get();
    command(sw.id);
    EXPECT_EQ(sw.get(), before ? 0 : 1);
    EXPECT_EQ(menu_is_checked(sw.id), before == 0);
    command(sw.id);
    EXPECT_EQ(sw.get(), before);
    EXPECT_EQ(menu_is_checked(sw.id), before != 0);
  }
}

TEST_F(FrameFixture, NavigationOffStopsIt) {
  command(IDM_NAVIGATION);
  EXPECT_NE(navdlg_window(), nullptr);
  command(IDM_NAVIGATION);
  EXPECT_FALSE(navig_connected());
  EXPECT_FALSE(menu_is_checked(IDM_NAVIGATION));
}

// Toggled options: the check mark and the option word change together.
TEST_F(FrameFixture, OptionWordsFollowTheirCheckMarks) {
  struct Option {
    unsigned id;
    std::atomic<int>* word;
  };
  const Option options[] = {
      {IDM_CENTER_LAST, &opt_center_last_loaded}, {IDM_GLOBAL_LAST, &opt_global_view_last},
      {IDM_ZOOM1_ON_IMAGE, &opt_zoom1_on_image},  {IDM_NAVIG_TRACK, &opt_navig_track},
      {IDM_NEGATIVE, &opt_negative_images},       {IDM_MONOCHROME, &opt_monochrome_images},
  };
  for (const Option& o : options) {
    for (int round = 0; round < 2; ++round) {
      bool before = menu_is_checked(o.id);
      EXPECT_EQ(o.word->load(), before ? 1 : 0) << o.id;
      command(o.id);
      EXPECT_EQ(menu_is_checked(o.id), !before) << o.id;
      EXPECT_EQ(o.word->load(), before ? 0 : 1) << o.id;
    }
  }
}

// The toolbar's check buttons follow the menu, whether the menu or the button is used.
TEST_F(FrameFixture, ToolbarCheckButtonsFollowTheMenu) {
  for (unsigned id : {IDM_NAVIG_TRACK, IDM_NEGATIVE, IDM_MONOCHROME}) {
    // By the menu.
    bool before = menu_is_checked(id);
    ASSERT_EQ(toolbar_checked(id), before) << id;
    ASSERT_TRUE(tm_test::choose_menu_command(frame_, id));
    tm_test::run_until_idle();
    EXPECT_EQ(menu_is_checked(id), !before) << id;
    EXPECT_EQ(toolbar_checked(id), !before) << id;
    // By a click on the button.
    plat::Wnd tb = main_toolbar();
    int index = int(plat::send_message(tb, plat::TB_COMMANDTOINDEX, id, 0));
    ASSERT_GE(index, 0) << id;
    plat::Rect r;
    ASSERT_NE(plat::send_message(tb, plat::TB_GETITEMRECT, unsigned(index), plat::LParam(&r)), 0);
    tm_test::click(tb, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    tm_test::run_until_idle();
    EXPECT_EQ(menu_is_checked(id), before) << id;
    EXPECT_EQ(toolbar_checked(id), before) << id;
  }
  // Navigation: the button follows the menu, and the navigation window opens (it holds the
  // frame disabled, so no second click reaches the toolbar while it is open).
  ASSERT_FALSE(menu_is_checked(IDM_NAVIGATION));
  ASSERT_TRUE(tm_test::choose_menu_command(frame_, IDM_NAVIGATION));
  tm_test::run_until_idle();
  EXPECT_TRUE(menu_is_checked(IDM_NAVIGATION));
  EXPECT_TRUE(toolbar_checked(IDM_NAVIGATION));
  EXPECT_NE(navdlg_window(), nullptr);
}

TEST_F(FrameFixture, EnvironmentTableListsTheSettings) {
  config_set("NAVIGPORT", "COM3");
  ASSERT_TRUE(tm_test::choose_menu_command(frame_, IDM_ENVIRONMENT));
  tm_test::run_until_idle();
  plat::Wnd table = tm_test::find_window("ClasseTableau", nullptr);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(plat::window_text(table), "Environment variables");
  EXPECT_FALSE(plat::is_window_enabled(frame_));
  plat::send_message(table, plat::WM_CLOSE, 0, 0);
  tm_test::run_until_idle();
  EXPECT_TRUE(plat::is_window_enabled(frame_));
  EXPECT_GE(redraws(), 1);
}

TEST_F(FrameFixture, AboutBoxNamesTheProgramAndVersion) {
  tm_test::clear_message_boxes();
  ASSERT_TRUE(tm_test::choose_menu_command(frame_, IDM_ABOUT));
  tm_test::run_until_idle();
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].caption, "About Tarmelo");
  EXPECT_EQ(tm_test::message_boxes()[0].text.rfind("Tarmelo v5.0.0\n", 0), 0u);
}

TEST_F(FrameFixture, QuitDestroysTheFrameAndExits) {
  ASSERT_TRUE(tm_test::choose_menu_command(frame_, IDM_QUIT));
  tm_test::run_until_idle();
  EXPECT_FALSE(plat::is_window(frame_));
  EXPECT_EQ(exits(), 1);
}

TEST_F(FrameFixture, CloseBoxRunsTheExitRoutine) {
  plat::input_close(frame_);
  tm_test::run_until_idle();
  EXPECT_EQ(exits(), 1);
}

// The open command drops the mouse messages still queued, so the click that closed
// the dialog never reaches the map.
TEST_F(FrameFixture, OpenDropsQueuedMouseMessages) {
  const double scale = double(map_object_->map.scale_x);
  std::string opened;
  // The double click that closes the dialog leaves its messages queued for the map.
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    char title[64] = "";
    plat::get_window_text(dlg, title, sizeof title);
    opened = title;
    plat::end_dialog(dlg, plat::IDCANCEL);
    plat::post_message(main_map_window(), plat::WM_LBUTTONDBLCLK, plat::MK_LBUTTON, plat::make_lparam(5, 5));
  });
  plat::post_message(frame_, plat::WM_COMMAND, IDM_OPEN, 0);
  tm_test::run_until_idle();
  EXPECT_EQ(opened, "Loading file(s)");
  EXPECT_DOUBLE_EQ(double(map_object_->map.scale_x), scale);  // no zoom
}

// The zoom commands of the menu scale the map window; the global view fits the data.
TEST_F(FrameFixture, ZoomCommandsScaleTheMapWindow) {
  const int w = map_object_->width, h = map_object_->height;
  ASSERT_GT(w, 0);
  ASSERT_GT(h, 0);
  const struct {
    unsigned id;
    double scale;
  } cases[] = {{IDM_ZOOM_IN, kZoomInFactor},
               {IDM_ZOOM_OUT, kZoomOutFactor},
               {IDM_GLOBAL_VIEW, std::min(w, h) / 10000.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    show_data_in_the_middle();
    command(c.id);
    EXPECT_DOUBLE_EQ(double(map_object_->map.scale_x), c.scale);
    EXPECT_DOUBLE_EQ(double(map_object_->map.scale_y), c.scale);
  }
}

}  // namespace
}  // namespace frame_test
