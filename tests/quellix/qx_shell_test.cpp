// The diffusion program's shell: the command line into configuration keys and load
// commands, the diffusion state at start for one and for several copies, the value
// fields' parsing, and the main window driven headless as a user would (every control
// at its place, the menus and their marks, Enter and the apply buttons, the trackbars,
// the file combo box, the replay buttons and dropped files).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "core/command_hooks.h"
#include "core/config.h"
#include "core/error.h"
#include "core/hooks.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "gps/navig.h"
#include "gps/nmea_log.h"
#include "platform/sys/clock.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/ctl_trackbar.h"
#include "platform/ui/keys.h"
#include "platform/ui/menu.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/styles.h"
#include "platform/ui/ui.h"
#include "platform/ui/window.h"
#include "quellix/qx_addresses.h"
#include "quellix/qx_destinations.h"
#include "quellix/qx_player.h"
#include "quellix/qx_shell.h"
#include "quellix/qx_ui_hooks.h"
#include "quellix/replay_point.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/winutil.h"
#include "tests/core/config_fixture.h"
#include "tests/support/dialog_layout.h"
#include "tests/support/harness.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/net_loopback.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace {

// Every command posted through the core's hooks.
struct PostRecord {
  int slot;
  std::string text;
};
std::mutex g_posts_mutex;
std::vector<PostRecord> g_posts;

int record_post(int slot, int64_t, const char* text) {
  std::lock_guard<std::mutex> lock(g_posts_mutex);
  g_posts.push_back({slot, text ? text : ""});
  return 1;
}

std::vector<PostRecord> posts_of(int slot) {
  std::lock_guard<std::mutex> lock(g_posts_mutex);
  std::vector<PostRecord> out;
  for (const PostRecord& p : g_posts)
    if (p.slot == slot) out.push_back(p);
  return out;
}

std::string key(const char* k) {
  const char* v = config_get(k);
  return v ? v : "<none>";
}

// ---- Command line ----------------------------------------------------------------------------
class CommandLine : public tm_test::ConfigFixture {
 protected:
  void SetUp() override {
    ConfigFixture::SetUp();
    saved_ = get_command_hooks();
    get_command_hooks().post_command = record_post;
    g_posts.clear();
    navig_log_set(0);
    track_ = tm_test::write_file(program_ + "track.nmea", "$GPGGA,120000,4500.0,N,00500.0,E,1,08,1.0,100,M,,,,*00\r\n");
  }
  void TearDown() override {
    navig_log_set(0);
    get_command_hooks() = saved_;
    ConfigFixture::TearDown();
  }
  // The texts posted for slot 14.
  static std::vector<std::string> loads() {
    std::vector<std::string> out;
    for (const PostRecord& p : posts_of(kQxSlotLoad)) out.push_back(p.text);
    return out;
  }

  command_hooks saved_;
  std::string track_;
};

TEST_F(CommandLine, OptionsGiveTheirKeys) {
  struct row {
    const char* line;
    const char* diffuse;
    const char* ipadr;
    const char* port;
    const char* speed;
    int log;
  };
  const row rows[] = {
      {"", "", "", "<none>", "<none>", 0},
      {"-diffuse_a:1 -diffuse_b:2", "ON", "a:1_b:2", "<none>", "<none>", 0},
      {"-diffuseoff -diffuse_a:1 -diffuse_b:2", "OFF", "a:1_b:2", "<none>", "<none>", 0},
      {"-diffuse_a:1 -diffuseoff", "OFF", "a:1", "<none>", "<none>", 0},
      {"-DIFFUSEOFFnow", "OFF", "", "<none>", "<none>", 0},
      {"-diffuse_127.0.0.2:4000", "ON", "127.0.0.2:4000", "<none>", "<none>", 0},
      {"-diffuse", "", "", "<none>", "<none>", 0},
      {"-navig /dev/ttyUSB0 -navigportspeed 4800", "", "", "/dev/ttyUSB0", "4800", 0},
      {"-naviglog udp:10110", "", "", "udp:10110", "<none>", 1},
      {"-NAVIG /dev/ttyS1", "", "", "/dev/ttyS1", "<none>", 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.line);
    config_reset();
    navig_log_set(0);
    config_set("DIFFUSE", "stale");
    qx_parse_command_line(r.line);
    EXPECT_EQ(key("DIFFUSE"), r.diffuse);
    EXPECT_EQ(key("IPADR"), r.ipadr);
    EXPECT_EQ(key("NAVIGPORT"), r.port);
    EXPECT_EQ(key("NAVIGPORTSPEED"), r.speed);
    EXPECT_EQ(navig_log_get(), r.log);
    EXPECT_TRUE(is_embedded());
    EXPECT_TRUE(loads().empty());
  }
}

TEST_F(CommandLine, FilesAreLoadedOrPlayed) {
  struct row {
    std::string line;
    std::string load;  // "" when nothing is posted
    const char* diffuse;
  };
  const std::string missing = program_ + "missing.nmea";
  const row rows[] = {
      {track_, "1", "ON"},                          // a lone first file: loaded and played
      {"-diffuseoff " + track_, "", "OFF"},         // the same word in second place: ignored
      {"-load " + track_, "0", ""},
      {"-play " + track_, "1", "ON"},
      {"-play " + missing, "", ""},
      {missing, "", ""},
      {"-diffuseoff -load " + track_, "0", "OFF"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.line);
    config_reset();
    g_posts.clear();
    qx_parse_command_line(r.line.c_str());
    EXPECT_EQ(key("DIFFUSE"), r.diffuse);
    const std::vector<std::string> l = loads();
    if (r.load.empty()) {
      EXPECT_TRUE(l.empty());
    } else {
      ASSERT_EQ(l.size(), 1u);
      EXPECT_EQ(l[0].substr(0, 1), r.load);
      EXPECT_NE(l[0].find("track.nmea"), std::string::npos) << l[0];
    }
  }
}

// A file named relative to the current folder is posted as its absolute path (the load
// task takes any relative text for a web address), by -play, -load and the lone first word.
TEST_F(CommandLine, RelativeFilesArePostedAsAbsolutePaths) {
  const std::filesystem::path folder = std::filesystem::path(track_).parent_path();
  const std::string absolute = (folder / "track.nmea").string();
  struct row {
    std::filesystem::path cwd;
    std::string line;
    std::string posted;
  };
  const std::string in_folder = folder.filename().string() + "/track.nmea";
  const row rows[] = {
      {folder, "track.nmea", "1" + absolute},
      {folder, "-play track.nmea", "1" + absolute},
      {folder, "-load ./track.nmea", "0" + absolute},
      {folder.parent_path(), "-play " + in_folder, "1" + absolute},
      {folder.parent_path(), "-load " + in_folder, "0" + absolute},
      {folder.parent_path(), in_folder, "1" + absolute},
      {folder.parent_path(), "-play " + absolute, "1" + absolute},
  };
  const std::filesystem::path old = std::filesystem::current_path();
  for (const row& r : rows) {
    SCOPED_TRACE(r.line);
    g_posts.clear();
    std::filesystem::current_path(r.cwd);
    qx_parse_command_line(r.line.c_str());
    std::filesystem::current_path(old);
    EXPECT_EQ(loads(), std::vector<std::string>({r.posted}));
  }
}

TEST(DiffusionAtStart, OneCopyUnlessOffSeveralOnlyWhenOn) {
  struct row {
    int copies;
    const char* diffuse;
    int on;
  };
  const row rows[] = {{0, "", 1}, {1, "", 1},  {1, "ON", 1}, {1, "OFF", 0}, {2, "", 0},
                      {2, "ON", 1}, {2, "OFF", 0}, {3, "ON", 1}, {1, nullptr, 1}, {2, nullptr, 0}};
  for (const row& r : rows) {
    SCOPED_TRACE(std::to_string(r.copies) + " " + (r.diffuse ? r.diffuse : "null"));
    EXPECT_EQ(qx_diffusion_at_start(r.copies, r.diffuse), r.on);
  }
}

TEST(ValueFields, AbsoluteAtMost9999PendingCutToHundredths) {
  struct row {
    const char* text;
    int pending;
    double value;
  };
  const row rows[] = {
      {"12345", 0, 9999.0}, {"-3", 0, 3.0},      {"9999", 0, 9999.0}, {"9998.5", 0, 9998.5},
      {"2.5", 0, 2.5},      {"1.239", 1, 1.23},  {"-0.019", 1, 0.01}, {"12345", 1, 9999.0},
      {"abc", 0, 0.0},      {"", 1, 0.0},        {"1e300", 0, 9999.0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    EXPECT_NEAR(qx_field_value(r.text, r.pending), r.value, 1e-9);
  }
}

// ---- The main window ---------------------------------------------------------------------------------
int g_dialogs = 0;
int g_stops = 0;
int g_copies = 1;

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    set_gblerr(0);
    tm_test::reset_object_store();
    config_set("LANG", "ENGLISH");
    saved_ = get_command_hooks();
    get_command_hooks().post_command = record_post;
    g_posts.clear();
    g_dialogs = g_stops = 0;
    g_copies = 1;
    qx_shell_hooks& h = qx_get_shell_hooks();
    h.navigation_dialog = [] { ++g_dialogs; };
    h.navig_stop = [] { ++g_stops; };
    h.navig_start = [](const char*, const char*, int) {};
    h.count_copies = [] { return g_copies; };
    qx_init_destination_lists();
    qx_set_diffusion_flag(0);
    qx_install_ui_hooks();
    qx_create_windows();
    main_ = qx_shell().main;
    ASSERT_NE(main_, nullptr);
    tm_test::run_until_idle();
  }
  void TearDown() override {
    if (plat::Wnd w = qx_addresses_window()) plat::destroy_window(w);
    set_gblerr(0);
    qx_players_reset();
    qx_set_diffusion_flag(0);
    qx_free_destination_lists();
    // The window is no longer the program's: its destruction ends nothing.
    qx_shell_reset();
    qx_get_shell_hooks() = qx_shell_hooks{};
    set_command_target(nullptr, nullptr);
    winutil_state_reset();
    navig_log_set(0);
    get_command_hooks() = saved_;
    for (replay_point* p : points_) {
      std::free(p->text);
      delete p;
    }
    for (container_t* t : tracks_) {
      obj_t* o = reinterpret_cast<obj_t*>(t);
      free_obj(&o);
    }
  }

  // A player over n points 10 s and 100 m apart.
  int make_player(const char* name, int n) {
    container_t* track = nullptr;
    obj_list_new(&track);
    tracks_.push_back(track);
    for (int i = 0; i < n; ++i) {
      auto* p = new replay_point{};
      p->id = int32_t(5000 + points_.size());
      p->cls = CLS_REPLAY_POINT;
      const std::string t = "$GPXXX," + std::to_string(i) + "\r\n";
      p->text = static_cast<char*>(std::malloc(t.size() + 1));
      std::memcpy(p->text, t.c_str(), t.size() + 1);
      p->length = int32_t(t.size());
      p->time = i * 10.0 / 86400.0;
      p->distance = i * 100.0;
      p->longitude = 5.0 + i * 0.001;
      p->latitude = -45.5;
      p->altitude = 100.0;
      p->speed = 36.0;
      p->course = NULL_DOUBLE;
      p->satellites_used = 7;
      p->satellites_view = NULL_INT;
      points_.push_back(p);
      obj_list_append(track, p);
    }
    int index = -1;
    EXPECT_EQ(qx_player_create(nullptr, track, &index, name), 0);
    return index;
  }

  plat::Wnd ctl(int id) const { return plat::get_dlg_item(main_, id); }
  std::string text(int id) const { return plat::window_text(ctl(id)); }
  bool pending_style(int id) const {
    return (plat::get_window_long(ctl(id), plat::GWL_STYLE) & plat::SS_TYPEMASK) == plat::SS_LEFT;
  }
  bool applied_style(int id) const {
    return (plat::get_window_long(ctl(id), plat::GWL_STYLE) & plat::SS_TYPEMASK) == plat::SS_RIGHT;
  }
  plat::Rect client_rect(plat::Wnd w) const {
    plat::Rect r;
    plat::get_window_rect(w, &r);
    plat::Point a{r.left, r.top}, b{r.right, r.bottom};
    plat::screen_to_client(main_, &a);
    plat::screen_to_client(main_, &b);
    return plat::Rect{a.x, a.y, b.x, b.y};
  }
  // Drags a trackbar's thumb by dx pixels.
  void drag_thumb(int id, int dx) {
    plat::Wnd t = ctl(id);
    plat::Rect thumb;
    plat::send_message(t, plat::TBM_GETTHUMBRECT, 0, plat::LParam(&thumb));
    const int x = (thumb.left + thumb.right) / 2, y = (thumb.top + thumb.bottom) / 2;
    tm_test::mouse_move(t, x, y);
    tm_test::mouse_down(t, x, y);
    tm_test::mouse_move(t, x + dx / 2, y);
    tm_test::mouse_move(t, x + dx, y);
    tm_test::mouse_up(t, x + dx, y);
    tm_test::run_until_idle();
  }
  bool menu_checked(unsigned id) const { return qx_menu_checked(id) != 0; }

  tm_test::UiSession ui_;
  plat::Wnd main_ = nullptr;
  command_hooks saved_;
  std::vector<replay_point*> points_;
  std::vector<container_t*> tracks_;
};

TEST_F(MainWindow, EveryControlAtItsPlace) {
  plat::Rect client;
  plat::get_client_rect(main_, &client);
  EXPECT_EQ(client.width(), kQxClientWidth);
  EXPECT_EQ(client.height(), kQxClientHeight);
  EXPECT_EQ(plat::get_class_name(main_), "Quellix");
  EXPECT_EQ(plat::window_text(main_), "Quellix  v5.0.0");
  EXPECT_TRUE(plat::get_window_long(main_, plat::GWL_EXSTYLE) & plat::WS_EX_ACCEPTFILES);
  struct row {
    int id;
    const char* cls;
    int x, y, w, h;
  };
  const row rows[] = {
      {QX_ID_FILE_COMBO, "ComboBox", 102, 6, 376, -1},
      // The edit fields and trackbars leave their labels room for the longest text.
      {QX_ID_FACTOR_EDIT, "Edit", 128, 44, 40, 24},
      {QX_ID_FACTOR_TRACK, "msctls_trackbar32", 170, 38, 274, 40},
      {QX_ID_APPLY_FACTOR, "Button", 448, 42, 28, 28},
      {QX_ID_FACTOR_VALUE, "Static", 484, 44, 40, 24},
      {QX_ID_SPEED_EDIT, "Edit", 128, 84, 40, 24},
      {QX_ID_SPEED_TRACK, "msctls_trackbar32", 170, 78, 274, 38},
      {QX_ID_APPLY_SPEED, "Button", 448, 82, 28, 28},
      {QX_ID_SPEED_VALUE, "Static", 484, 84, 40, 24},
      {QX_ID_POSITION_TRACK, "msctls_trackbar32", 92, 116, 392, 36},
      {QX_ID_LOOP, "Button", 156, 154, 40, 28},
      {QX_ID_BACKWARD, "Button", 210, 154, 60, 28},
      {QX_ID_PAUSE, "Button", 274, 154, 28, 28},
      {QX_ID_FORWARD, "Button", 306, 154, 60, 28},
      {QX_ID_STOP, "Button", 378, 154, 28, 28},
      // Values after label columns wide enough for their labels.
      {QX_ID_MODE_VALUE, "Static", 116, 194, -1, -1},
      {QX_ID_DISTANCE_VALUE, "Static", 380, 194, -1, -1},
      {QX_ID_FACTOR_SHOWN, "Static", 116, 218, -1, -1},
      {QX_ID_DURATION_VALUE, "Static", 380, 218, -1, -1},
      {QX_ID_LONGITUDE_VALUE, "Static", 116, 266, -1, -1},
      {QX_ID_GROUND_SPEED_VALUE, "Static", 380, 266, -1, -1},
      {QX_ID_LATITUDE_VALUE, "Static", 116, 290, -1, -1},
      {QX_ID_DIRECTION_VALUE, "Static", 380, 290, -1, -1},
      {QX_ID_ALTITUDE_VALUE, "Static", 116, 314, -1, -1},
      {QX_ID_SATELLITES_VALUE, "Static", 380, 314, -1, -1},
      {QX_ID_NMEA_BOX, "Edit", 10, 374, 516, 88},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.id);
    plat::Wnd w = ctl(r.id);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(plat::get_class_name(w), r.cls);
    const plat::Rect rc = client_rect(w);
    EXPECT_EQ(rc.left, r.x);
    EXPECT_EQ(rc.top, r.y);
    if (r.w > 0) {
      EXPECT_EQ(rc.width(), r.w);
    }
    if (r.h > 0) {
      EXPECT_EQ(rc.height(), r.h);
    }
  }
  // Ranges of the trackbars, the play buttons' kinds, the read-only sentence box.
  const int ranges[][3] = {{QX_ID_FACTOR_TRACK, 1, 100}, {QX_ID_SPEED_TRACK, 1, 1000}, {QX_ID_POSITION_TRACK, 0, 1000}};
  for (const auto& r : ranges) {
    EXPECT_EQ(plat::send_message(ctl(r[0]), plat::TBM_GETRANGEMIN, 0, 0), r[1]);
    EXPECT_EQ(plat::send_message(ctl(r[0]), plat::TBM_GETRANGEMAX, 0, 0), r[2]);
  }
  for (int id : {QX_ID_LOOP, QX_ID_BACKWARD, QX_ID_FORWARD})
    EXPECT_TRUE(plat::get_window_long(ctl(id), plat::GWL_STYLE) & plat::BS_PUSHLIKE) << id;
  EXPECT_TRUE(plat::get_window_long(ctl(QX_ID_NMEA_BOX), plat::GWL_STYLE) & plat::ES_READONLY);
  EXPECT_TRUE(plat::get_window_long(ctl(QX_ID_FILE_COMBO), plat::GWL_STYLE) & plat::CBS_DROPDOWNLIST);
}

TEST_F(MainWindow, MenuItemsAndTheirInitialMarks) {
  plat::Menu bar = plat::get_menu(main_);
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(plat::get_menu_item_count(bar), 4);
  EXPECT_EQ(plat::get_menu_string(bar, 0, plat::MF_BYPOSITION), "&File");
  EXPECT_EQ(plat::get_menu_string(bar, 1, plat::MF_BYPOSITION), "&Gps");
  EXPECT_EQ(plat::get_menu_string(bar, 2, plat::MF_BYPOSITION), "&Diffusion");
  EXPECT_EQ(plat::get_menu_item_id(bar, 3), QX_IDM_ABOUT);
  const struct {
    unsigned id;
    const char* text;
  } items[] = {{QX_IDM_OPEN, "&Open\tCtrl+O"},
               {QX_IDM_QUIT, "&Quit\tCtrl+Q"},
               {QX_IDM_NAVIGATION, "&Navigation\tCtrl+N"},
               {QX_IDM_NAVIG_LOG, "Log navigation"},
               {QX_IDM_RAW_LOG, "Log raw phase data"},
               {QX_IDM_ADDRESSES, "Diffusion addresses"},
               {QX_IDM_DIFFUSION, "Diffusion"}};
  for (const auto& i : items) EXPECT_EQ(plat::get_menu_string(bar, i.id, plat::MF_BYCOMMAND), i.text) << i.id;
  EXPECT_FALSE(qx_menu_enabled(QX_IDM_RAW_LOG));
  for (unsigned id : {QX_IDM_NAVIGATION, QX_IDM_NAVIG_LOG, QX_IDM_RAW_LOG}) EXPECT_FALSE(menu_checked(id)) << id;
  // Grey: choosing it does nothing.
  EXPECT_FALSE(tm_test::choose_menu_command(main_, QX_IDM_RAW_LOG));
}

TEST_F(MainWindow, DiffusionAtStartSetsTheMarkAndTheFlag) {
  struct row {
    int copies;
    const char* diffuse;
    bool on;
  };
  const row rows[] = {{1, "", true}, {2, "", false}, {2, "ON", true}, {1, "OFF", false}};
  for (const row& r : rows) {
    SCOPED_TRACE(std::to_string(r.copies) + r.diffuse);
    g_copies = r.copies;
    config_set("DIFFUSE", r.diffuse);
    qx_apply_diffusion_at_start();
    EXPECT_EQ(menu_checked(QX_IDM_DIFFUSION), r.on);
    EXPECT_EQ(qx_diffusion_on() != 0, r.on);
  }
}

TEST_F(MainWindow, MenuCommandsToggleTheirMarks) {
  make_player("a.nmea", 3);
  ASSERT_TRUE(tm_test::choose_menu_command(main_, QX_IDM_DIFFUSION));
  tm_test::run_until_idle();
  EXPECT_TRUE(menu_checked(QX_IDM_DIFFUSION));
  EXPECT_EQ(qx_diffusion_on(), 1);
  ASSERT_TRUE(tm_test::choose_menu_command(main_, QX_IDM_DIFFUSION));
  tm_test::run_until_idle();
  EXPECT_FALSE(menu_checked(QX_IDM_DIFFUSION));
  EXPECT_EQ(qx_diffusion_on(), 0);

  ASSERT_TRUE(tm_test::choose_menu_command(main_, QX_IDM_NAVIG_LOG));
  tm_test::run_until_idle();
  EXPECT_TRUE(menu_checked(QX_IDM_NAVIG_LOG));
  EXPECT_EQ(navig_log_get(), 1);
  ASSERT_TRUE(tm_test::choose_menu_command(main_, QX_IDM_NAVIG_LOG));
  tm_test::run_until_idle();
  EXPECT_EQ(navig_log_get(), 0);

  // Navigation: checked opens the connection dialog, unchecked stops the session.
  ASSERT_TRUE(tm_test::choose_menu_command(main_, QX_IDM_NAVIGATION));
  tm_test::run_until_idle();
  EXPECT_TRUE(menu_checked(QX_IDM_NAVIGATION));
  EXPECT_EQ(g_dialogs, 1);
  EXPECT_EQ(g_stops, 0);
  ASSERT_TRUE(tm_test::choose_menu_command(main_, QX_IDM_NAVIGATION));
  tm_test::run_until_idle();
  EXPECT_FALSE(menu_checked(QX_IDM_NAVIGATION));
  EXPECT_EQ(g_dialogs, 1);
  EXPECT_EQ(g_stops, 1);
}

TEST_F(MainWindow, AboutAndAddressesWindow) {
  tm_test::clear_message_boxes();
  ASSERT_TRUE(tm_test::choose_menu_command(main_, QX_IDM_ABOUT));
  tm_test::run_until_idle();
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].caption, "About Quellix");
  EXPECT_EQ(tm_test::message_boxes()[0].text.rfind("Quellix v5.0.0 - 01-APR-2009\n", 0), 0u)
      << tm_test::message_boxes()[0].text;

  ASSERT_TRUE(tm_test::choose_menu_command(main_, QX_IDM_ADDRESSES));
  tm_test::run_until_idle();
  ASSERT_NE(qx_addresses_window(), nullptr);
  EXPECT_FALSE(plat::is_window_enabled(main_));
  plat::post_message(qx_addresses_window(), plat::WM_CLOSE, 0, 0);
  tm_test::run_until_idle();
  EXPECT_TRUE(plat::is_window_enabled(main_));
  EXPECT_EQ(posts_of(kQxSlotDestinations).size(), 1u);
}

// Every label, button and check box of the main window and of the addresses window shows
// its whole text in its control's font, in English and in French; no control leaves the
// client area or lies on another.
TEST_F(MainWindow, EveryTextFitsItsControlInBothLanguages) {
  for (const char* lang : {"ENGLISH", "FRANCAIS"}) {
    SCOPED_TRACE(lang);
    if (std::strcmp(lang, "ENGLISH") != 0) {
      // The windows again, in the other language (the language is read once per reset).
      qx_shell_reset();
      plat::destroy_window(main_);
      config_reset();
      config_set("LANG", lang);
      qx_install_ui_hooks();
      qx_create_windows();
      main_ = qx_shell().main;
      ASSERT_NE(main_, nullptr);
      tm_test::run_until_idle();
    }
    EXPECT_EQ(is_french(), std::strcmp(lang, "FRANCAIS") == 0 ? 1 : 0);
    EXPECT_THAT(tm_test::dialog_layout_faults(main_), ::testing::IsEmpty());
    ASSERT_TRUE(tm_test::choose_menu_command(main_, QX_IDM_ADDRESSES));
    tm_test::run_until_idle();
    ASSERT_NE(qx_addresses_window(), nullptr);
    EXPECT_THAT(tm_test::dialog_layout_faults(qx_addresses_window()), ::testing::IsEmpty());
    plat::post_message(qx_addresses_window(), plat::WM_CLOSE, 0, 0);
    tm_test::run_until_idle();
  }
  config_reset();
  config_set("LANG", "ENGLISH");
}

TEST_F(MainWindow, TypedValuesArePendingInRedUntilEnterOrApply) {
  make_player("a.nmea", 3);
  tm_test::run_until_idle();
  // Typing shows the limited value, pending.
  ASSERT_TRUE(tm_test::type_into(main_, QX_ID_FACTOR_EDIT, "12345"));
  tm_test::run_until_idle();
  EXPECT_EQ(text(QX_ID_FACTOR_VALUE), "9999");
  EXPECT_TRUE(pending_style(QX_ID_FACTOR_VALUE));
  EXPECT_DOUBLE_EQ(qx_current_player()->time_factor, 1.0);
  // Enter applies it.
  tm_test::press_key(plat::VK_RETURN);
  tm_test::run_until_idle();
  EXPECT_EQ(text(QX_ID_FACTOR_VALUE), "9999");
  EXPECT_TRUE(applied_style(QX_ID_FACTOR_VALUE));
  EXPECT_DOUBLE_EQ(qx_current_player()->time_factor, 9999.0);
  EXPECT_EQ(qx_current_player()->mode, QX_MODE_TIME);
  EXPECT_EQ(text(QX_ID_MODE_VALUE), "Replay time");

  // The speed through its apply button: -3 is applied as 3.
  ASSERT_TRUE(tm_test::type_into(main_, QX_ID_SPEED_EDIT, "-3.456"));
  tm_test::run_until_idle();
  EXPECT_EQ(text(QX_ID_SPEED_VALUE), "3.45");
  EXPECT_TRUE(pending_style(QX_ID_SPEED_VALUE));
  ASSERT_TRUE(tm_test::click_control(main_, QX_ID_APPLY_SPEED));
  tm_test::run_until_idle();
  EXPECT_DOUBLE_EQ(qx_current_player()->speed, 3.456);
  EXPECT_EQ(qx_current_player()->mode, QX_MODE_SPEED);
  EXPECT_TRUE(applied_style(QX_ID_SPEED_VALUE));
  EXPECT_EQ(text(QX_ID_SPEED_VALUE), "3.456");
  EXPECT_EQ(text(QX_ID_MODE_VALUE), "Replay speed");

  // The time factor's apply button.
  ASSERT_TRUE(tm_test::type_into(main_, QX_ID_FACTOR_EDIT, "2"));
  ASSERT_TRUE(tm_test::click_control(main_, QX_ID_APPLY_FACTOR));
  tm_test::run_until_idle();
  EXPECT_DOUBLE_EQ(qx_current_player()->time_factor, 2.0);
  EXPECT_EQ(qx_current_player()->mode, QX_MODE_TIME);
}

TEST_F(MainWindow, TrackbarsWriteTheirValueOrSeek) {
  make_player("a.nmea", 11);
  tm_test::run_until_idle();
  drag_thumb(QX_ID_FACTOR_TRACK, 60);
  const auto factor = plat::send_message(ctl(QX_ID_FACTOR_TRACK), plat::TBM_GETPOS, 0, 0);
  EXPECT_GT(factor, 1);
  EXPECT_EQ(text(QX_ID_FACTOR_VALUE), std::to_string(factor));
  EXPECT_TRUE(pending_style(QX_ID_FACTOR_VALUE));
  drag_thumb(QX_ID_SPEED_TRACK, 90);
  const auto speed = plat::send_message(ctl(QX_ID_SPEED_TRACK), plat::TBM_GETPOS, 0, 0);
  EXPECT_GT(speed, 1);
  EXPECT_EQ(text(QX_ID_SPEED_VALUE), std::to_string(speed));
  // The player keeps its values until they are applied.
  EXPECT_DOUBLE_EQ(qx_current_player()->time_factor, 1.0);

  // Position: the point at that fraction of the distance is shown and the run starts there.
  drag_thumb(QX_ID_POSITION_TRACK, 200);
  const qx_player* p = qx_current_player();
  ASSERT_NE(p->current_point, nullptr);
  EXPECT_GT(p->current_point->distance, 0.0);
  EXPECT_DOUBLE_EQ(p->start_distance, p->current_point->distance);
  char km[32];
  std::snprintf(km, sizeof km, "%7.2lf", p->current_point->distance * 0.001);
  EXPECT_EQ(text(QX_ID_DISTANCE_VALUE), km);
  EXPECT_EQ(text(QX_ID_LATITUDE_VALUE), " S  45.500000");
  EXPECT_EQ(text(QX_ID_SATELLITES_VALUE), " / 7");
  EXPECT_EQ(text(QX_ID_DIRECTION_VALUE), "");
  EXPECT_EQ(text(QX_ID_NMEA_BOX), std::string(p->current_point->text));
}

TEST_F(MainWindow, ComboSelectionSelectsThePlayer) {
  const int a = make_player("a.nmea", 3);
  qx_add_loaded_file("a.nmea", a);
  const int b = make_player("b.nmea", 3);
  qx_add_loaded_file("b.nmea", b);
  tm_test::run_until_idle();
  EXPECT_EQ(combo_selected_data(ctl(QX_ID_FILE_COMBO)), b);
  plat::set_focus(ctl(QX_ID_FILE_COMBO));
  tm_test::press_key(plat::VK_UP);
  tm_test::run_until_idle();
  EXPECT_EQ(combo_selected_data(ctl(QX_ID_FILE_COMBO)), a);
  EXPECT_EQ(qx_current_player_index(), a);
}

TEST_F(MainWindow, PlayButtonsLockTheFileControls) {
  make_player("a.nmea", 5);
  tm_test::run_until_idle();
  struct step {
    int button;
    double direction;
    bool files_enabled;
  };
  const step steps[] = {
      {QX_ID_FORWARD, 1.0, false}, {QX_ID_PAUSE, 0.0, true}, {QX_ID_BACKWARD, -1.0, false},
      {QX_ID_STOP, 0.0, true},
  };
  for (const step& s : steps) {
    SCOPED_TRACE(s.button);
    ASSERT_TRUE(tm_test::click_control(main_, s.button));
    tm_test::run_until_idle();
    EXPECT_DOUBLE_EQ(qx_current_player()->running_direction, s.direction);
    EXPECT_EQ(plat::is_window_enabled(ctl(QX_ID_FILE_COMBO)), s.files_enabled);
    EXPECT_EQ(plat::is_window_enabled(ctl(QX_ID_POSITION_TRACK)), s.files_enabled);
    EXPECT_EQ(qx_menu_enabled(QX_IDM_OPEN) != 0, s.files_enabled);
    EXPECT_EQ(qx_menu_enabled(QX_IDM_NAVIGATION) != 0, s.files_enabled);
    const bool fwd = plat::send_message(ctl(QX_ID_FORWARD), plat::BM_GETCHECK, 0, 0) == plat::BST_CHECKED;
    const bool back = plat::send_message(ctl(QX_ID_BACKWARD), plat::BM_GETCHECK, 0, 0) == plat::BST_CHECKED;
    EXPECT_EQ(fwd, s.direction > 0);
    EXPECT_EQ(back, s.direction < 0);
  }
  ASSERT_TRUE(tm_test::click_control(main_, QX_ID_LOOP));
  tm_test::run_until_idle();
  EXPECT_EQ(qx_current_player()->loop, 1);
  ASSERT_TRUE(tm_test::click_control(main_, QX_ID_LOOP));
  tm_test::run_until_idle();
  EXPECT_EQ(qx_current_player()->loop, 0);
}

TEST_F(MainWindow, DroppedFilesAreLoadedOnlyWhileFilesAreEnabled) {
  const std::string dir = tm_test::fresh_dir("qxdrop");
  const std::string one = tm_test::write_file(dir + "one.nmea", "$GPGGA\r\n");
  const std::string two = tm_test::write_file(dir + "two.gpx", "<gpx/>\n");
  EXPECT_TRUE(tm_test::drop_files(main_, 200, 300, {one, two, dir + "gone.nmea"}));
  tm_test::run_until_idle();
  std::vector<PostRecord> loads = posts_of(kQxSlotLoad);
  ASSERT_EQ(loads.size(), 2u);
  EXPECT_EQ(loads[0].text.substr(0, 1), "0");
  EXPECT_NE(loads[0].text.find("one.nmea"), std::string::npos);
  EXPECT_EQ(loads[1].text.substr(0, 1), "0");
  EXPECT_NE(loads[1].text.find("two.gpx"), std::string::npos);

  qx_lock_file_controls(1);
  tm_test::drop_files(main_, 200, 300, {one});
  tm_test::run_until_idle();
  EXPECT_EQ(posts_of(kQxSlotLoad).size(), 2u);
  qx_lock_file_controls(0);
  EXPECT_TRUE(tm_test::drop_files(main_, 200, 300, {one}));
  tm_test::run_until_idle();
  EXPECT_EQ(posts_of(kQxSlotLoad).size(), 3u);
}

TEST_F(MainWindow, ShowReplayStateWithoutPlayerEmptiesTheFields) {
  make_player("a.nmea", 3);
  qx_show_replay_state();
  tm_test::run_until_idle();
  EXPECT_EQ(text(QX_ID_MODE_VALUE), "Replay time");
  EXPECT_EQ(plat::window_text(main_), "Quellix  v5.0.0 - a.nmea");
  // The player's values, applied (black).
  EXPECT_EQ(text(QX_ID_FACTOR_VALUE), "1");
  EXPECT_EQ(text(QX_ID_SPEED_VALUE), "50");
  EXPECT_TRUE(applied_style(QX_ID_FACTOR_VALUE));
  EXPECT_TRUE(applied_style(QX_ID_SPEED_VALUE));
  qx_player_select(-1);
  tm_test::run_until_idle();
  for (int id : {QX_ID_MODE_VALUE, QX_ID_FACTOR_VALUE, QX_ID_SPEED_VALUE, QX_ID_DISTANCE_VALUE,
                 QX_ID_LATITUDE_VALUE, QX_ID_NMEA_BOX})
    EXPECT_EQ(text(id), "") << id;
  EXPECT_EQ(plat::window_text(main_), "Quellix  v5.0.0");
}

// The end of the process, intercepted: the exit's last step throws the code.
struct exit_called {
  int code;
};
void throw_exit(int code) { throw exit_called{code}; }

std::vector<std::string> datagrams(int fd) {
  std::vector<std::string> out;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0) break;
    out.emplace_back(buf, size_t(n));
  }
  return out;
}

TEST_F(MainWindow, ClosingSendsTheFinalStopAndStopsNavigation) {
  tm_test::loopback_socket listener{false};
  ASSERT_GT(listener.port, 0);
  int index = -1;
  std::string name;
  ASSERT_EQ(qx_add_destination("127.0.0.1", listener.port, &index, &name, 0), 1);
  qx_reset_destinations();
  make_player("a.nmea", 3);
  qx_set_diffusion_flag(1);
  tm_test::run_until_idle();
  datagrams(listener.fd);

  const core_hooks saved = get_core_hooks();
  get_core_hooks().exit_program = throw_exit;
  int code = -1;
  // The exit gives its STOP 50 ms to leave, on the real clock (no other thread here
  // would move the virtual one on).
  plat::use_virtual_clock(false);
  try {
    qx_main_wndproc(main_, plat::WM_CLOSE, 0, 0);
  } catch (const exit_called& e) {
    code = e.code;
  }
  plat::use_virtual_clock(true);
  get_core_hooks() = saved;
  app_set_closing(0);
  set_stop_request(0);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(g_stops, 1);
  const std::vector<std::string> got = datagrams(listener.fd);
  EXPECT_EQ(got, std::vector<std::string>{"$PTMQT,STOP*78\r\n"});
}

TEST_F(MainWindow, InitFailureShowsItsBoxAndEnds) {
  tm_test::clear_message_boxes();
  const core_hooks saved = get_core_hooks();
  get_core_hooks().exit_program = throw_exit;
  set_gblerr(ERR_OS);
  int code = -1;
  plat::use_virtual_clock(false);
  try {
    qx_init_error_exit();
  } catch (const exit_called& e) {
    code = e.code;
  }
  plat::use_virtual_clock(true);
  get_core_hooks() = saved;
  app_set_closing(0);
  set_stop_request(0);
  set_gblerr(0);
  EXPECT_NE(code, 0);
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].text, "Erreur lors de l'initialisation\nFin de l'application");
  EXPECT_EQ(tm_test::message_boxes()[0].caption, "Erreur lors de l'initialisation");
  EXPECT_TRUE(tm_test::message_boxes()[0].flags & plat::MB_ICONSTOP);
}

TEST_F(MainWindow, LiveNavigationTakesTheFileControls) {
  const int a = make_player("a.nmea", 3);
  qx_add_loaded_file("a.nmea", a);
  qx_install_program_routines();
  const navig_ui_hooks& nav = get_navig_ui_hooks();
  ASSERT_NE(nav.menu_check, nullptr);
  nav.menu_check(QX_IDM_NAVIGATION, 1);
  tm_test::run_until_idle();
  EXPECT_FALSE(qx_menu_enabled(QX_IDM_OPEN));
  EXPECT_TRUE(qx_menu_enabled(QX_IDM_NAVIGATION));
  EXPECT_FALSE(plat::is_window_enabled(ctl(QX_ID_FILE_COMBO)));
  EXPECT_FALSE(plat::is_window_enabled(ctl(QX_ID_POSITION_TRACK)));
  EXPECT_EQ(qx_shell().navigating, 1);
  const std::string dir = tm_test::fresh_dir("qxnavdrop");
  const std::string one = tm_test::write_file(dir + "one.nmea", "$GPGGA\r\n");
  tm_test::drop_files(main_, 200, 300, {one});
  tm_test::run_until_idle();
  EXPECT_TRUE(posts_of(kQxSlotLoad).empty());

  qx_player_select(-1);
  nav.menu_check(QX_IDM_NAVIGATION, 0);
  tm_test::run_until_idle();
  EXPECT_FALSE(menu_checked(QX_IDM_NAVIGATION));
  EXPECT_TRUE(qx_menu_enabled(QX_IDM_OPEN));
  EXPECT_TRUE(plat::is_window_enabled(ctl(QX_ID_FILE_COMBO)));
  EXPECT_EQ(qx_shell().navigating, 0);
  // The player of the selected file is current again.
  EXPECT_EQ(qx_current_player_index(), a);
  get_navig_ui_hooks() = navig_ui_hooks{};
  dispatcher_hooks_reset();
}

TEST_F(MainWindow, DeferredCommandsOfTheProgram) {
  tm_test::loopback_socket listener{false};
  ASSERT_GT(listener.port, 0);
  int index = -1;
  std::string name;
  ASSERT_EQ(qx_add_destination("127.0.0.1", listener.port, &index, &name, 0), 1);
  datagrams(listener.fd);
  // 17: the sending list rebuilt from the selected list, framed by STOP.
  qx_run_command(kQxSlotDestinations);
  EXPECT_EQ(datagrams(listener.fd), std::vector<std::string>{"$PTMQT,STOP*78\r\n"});
  // Slots the program does not act on do nothing.
  for (int slot : {3, 9, 11, 12, 13, 15, 18, 22}) qx_run_command(slot);
  EXPECT_TRUE(datagrams(listener.fd).empty());
  // 16 on a stopped player sends nothing either.
  make_player("a.nmea", 3);
  datagrams(listener.fd);
  qx_run_command(kQxSlotTimer);
  EXPECT_TRUE(datagrams(listener.fd).empty());
}

}  // namespace
