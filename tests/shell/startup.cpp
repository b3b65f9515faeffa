// Start-up and exit of the map program: the module initialisers run in their order (the
// second group only without error), the two failure exits (an early one with -1 and no
// word, a later one with the French box, the trace-log line and a non-zero code), the
// command-line loads posted once the frame exists, a whole headless run that leaves the
// frame's picture, and an exit that waits for the workers before ending the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/config.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/hooks.h"
#include "core/line_store.h"
#include "core/tracelog.h"
#include "core/worker.h"
#include "formats/osm.h"
#include "formats/polish_map.h"
#include "geodesy/geodesy_tables.h"
#include "map/file_object.h"
#include "gps/nmea_log.h"
#include "map/gps_classes.h"
#include "map/repr.h"
#include "map/view_records.h"
#include "platform/sys/clock.h"
#include "platform/sys/thread.h"
#include "platform/ui/ui.h"
#include "shell/command_table.h"
#include "shell/frame.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "shell/framework/program_loop.h"
#include "shell/startup.h"
#include "tests/core/config_fixture.h"
#include "tests/support/harness.h"

namespace {

// ---- What the start-up reached -------------------------------------------------------------
std::mutex g_lock;
std::vector<std::string> g_steps;    // initialisers, in the order they ran
std::vector<std::string> g_calls;    // routines the test stands in for (navigation stop)
std::vector<std::string> g_loads;    // texts of slot 14, in the order they ran

void note(std::vector<std::string>& where, const std::string& what) {
  std::lock_guard<std::mutex> g(g_lock);
  where.push_back(what);
}
std::vector<std::string> copy(const std::vector<std::string>& what) {
  std::lock_guard<std::mutex> g(g_lock);
  return what;
}

void on_stand_in(const char* routine, const char* args) {
  note(g_calls, std::string(routine) + "(" + args + ")");
}

void load_recorder(void*) {
  const char* text = current_task_text();
  note(g_loads, text ? text : "");
  task_end();
}

// A recorder for each slot of each group of the initialiser table.
template <int Group, int I> void step_recorder() {
  const startup_table& t = get_startup_table();
  const init_step* steps = Group == 0 ? t.modules : Group == 1 ? t.late : t.formats;
  note(g_steps, steps[I].name);
}

template <int Group, int... I>
void record_group(init_step* steps, std::integer_sequence<int, I...>) {
  ((steps[I].run = step_recorder<Group, I>), ...);
}

// Every initialiser becomes a recorder. The slot of the format modules keeps its own
// routine, so that the format modules' recorders run in its place.
void record_every_initialiser() {
  startup_table& t = get_startup_table();
  record_group<0>(t.modules, std::make_integer_sequence<int, kInitModuleSteps>());
  record_group<1>(t.late, std::make_integer_sequence<int, kInitLateSteps>());
  record_group<2>(t.formats, std::make_integer_sequence<int, kFormatModuleSteps>());
  for (init_step& s : t.late)
    if (std::string(s.name) == "register_format_modules") s.run = register_format_modules;
}

init_step* find_step(const char* name) {
  startup_table& t = get_startup_table();
  for (init_step& s : t.modules)
    if (std::string(s.name) == name) return &s;
  for (init_step& s : t.late)
    if (std::string(s.name) == name) return &s;
  return nullptr;
}

// ---- The exit, intercepted -----------------------------------------------------------------
struct exit_called {
  int code;
};
void throw_exit(int code) { throw exit_called{code}; }

constexpr int kNoExit = INT_MIN;
int exit_code_of(const std::function<void()>& run) {
  try {
    run();
  } catch (const exit_called& e) {
    return e.code;
  }
  return kNoExit;
}

int run_main(std::vector<const char*> args) {
  args.insert(args.begin(), "tarmelo");
  return exit_code_of([&] { tarmelo_main(int(args.size()), const_cast<char**>(args.data())); });
}

class Startup : public tm_test::ConfigFixture {
 protected:
  void SetUp() override {
    ConfigFixture::SetUp();
    navig_log_set(0);  // the program starts with navigation logging off
    session_ = std::make_unique<tm_test::UiSession>();
    {
      std::lock_guard<std::mutex> g(g_lock);
      g_steps.clear();
      g_calls.clear();
      g_loads.clear();
    }
    startup_table_reset();
    main_command_table_reset();
    get_startup_table().start_display = [] { return false; };
    get_startup_table().navig_stop = [] { on_stand_in("navig_stop", ""); };
    get_core_hooks().exit_program = throw_exit;
    frame_reset();
    task_slots_init();
    dispatcher_hooks_reset();
    winutil_state_reset();
    progress_state_reset();
    app_set_closing(0);
  }

  void TearDown() override {
    set_frame_exit_routine(nullptr);  // closing the windows below is not the program's exit
    set_gblerr(0);
    navig_log_set(0);
    // A frame left by a test (its exit intercepted) is closed as the program would.
    for (plat::Wnd w : {main_frame_window(), main_toolbar(), main_map_window()})
      if (w && plat::is_window(w)) plat::destroy_window(w);
    session_.reset();
    plat::join_threads(10000);
    // The file tables and geodetic objects the initialisers made live in this test's
    // store; the next test's start-up makes a new store and would lose them. The vector
    // tables go first: they hold file objects of their own (the user's saved lists).
    osm_free();
    mp_free();
    repr_tables_free();
    fileobj_tables_free();
    geo_reset_tables();
    get_core_hooks() = core_hooks{};
    frame_reset();
    task_slots_init();
    dispatcher_hooks_reset();
    winutil_state_reset();
    startup_table_reset();
    main_command_table_reset();
    set_stop_request(0);
    app_set_closing(0);
    ConfigFixture::TearDown();
  }

  // The trace log in a folder of its own, written when errors are logged.
  std::string use_log() {
    const std::string dir = tm_test::fresh_dir("log");
    config_set("LOGERROR", "1");
    config_set_dir("LOG_DIR", nullptr, dir.c_str());
    return dir + "zz_TARM.log";
  }

  std::unique_ptr<tm_test::UiSession> session_;
};

const std::vector<std::string> kFirstGroup = {
    "obj_store_init",       "obj_register_core_classes", "view_types_register",
    "qtree_init",           "drawobj_types_register",    "redraw_types_register",
    "fileobj_types_register", "task_slots_init",         "log_init",
    "parse_command_line",   "dict_register_type",        "swap_init",
    "font_table_init",      "socket_register_type",      "drawobj_init_table",
    "gindex_init",          "bitmap_module_init",        "xml_init",
    "html_init",            "geo_load_tables",
};
const std::vector<std::string> kFormats = {
    "mif_module_init",  "gpx_register_tables", "gtmtxt_register_keywords", "pcx5_init",
    "geonames_register_vocab", "tcx_register_tables", "kml_module_init", "ovl_init",
    "repr_load",        "osm_init",            "mp_init",                  "ozi_init",
};

std::vector<std::string> every_initialiser() {
  std::vector<std::string> all = kFirstGroup;
  for (const char* s : {"gpsobj_types_register", "gpsport_register", "geo_init_ref_datum",
                        "nmea_module_init"})
    all.push_back(s);
  all.insert(all.end(), kFormats.begin(), kFormats.end());
  for (const char* s : {"reset_display_luts", "month_names_init", "wms_module_init"})
    all.push_back(s);
  return all;
}

TEST_F(Startup, InitialisersRunInTheirOrder) {
  record_every_initialiser();
  app_init("/opt/tarmelo/", "-navig COM1");
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(copy(g_steps), every_initialiser());
  EXPECT_STREQ(get_program_dir(), "/opt/tarmelo/");
}

TEST_F(Startup, TheCommandLineSlotReadsTheCommandLineGiven) {
  record_every_initialiser();
  find_step("parse_command_line")->run = [] {
    note(g_steps, std::string("line:") + (init_command_line() ? init_command_line() : "(null)"));
  };
  app_init("/opt/tarmelo/", "-load \"/my maps/A.png\"");
  EXPECT_EQ(copy(g_steps)[9], "line:-load \"/my maps/A.png\"");
  EXPECT_EQ(init_command_line(), nullptr);  // only while app_init runs
}

TEST_F(Startup, AnErrorInTheFirstGroupLetsItFinishAndSkipsTheSecond) {
  struct Case {
    const char* failing;
    bool second_group_runs;
  };
  const std::vector<Case> cases = {
      {"obj_store_init", false}, {"xml_init", false}, {"geo_load_tables", false},
      {"gpsobj_types_register", true},  // an error of the second group stops nothing there
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing);
    set_gblerr(0);
    {
      std::lock_guard<std::mutex> g(g_lock);
      g_steps.clear();
    }
    startup_table_reset();
    get_startup_table().start_display = [] { return false; };
    record_every_initialiser();
    find_step(c.failing)->run = [] {
      note(g_steps, "failing");
      set_gblerr(ERR_BAD_FILE);
    };
    EXPECT_EQ(exit_code_of([] { app_init("/opt/tarmelo/", ""); }), kNoExit);
    EXPECT_EQ(get_gblerr(), ERR_BAD_FILE);
    std::vector<std::string> expected = c.second_group_runs ? every_initialiser() : kFirstGroup;
    for (std::string& s : expected)
      if (s == c.failing) s = "failing";
    EXPECT_EQ(copy(g_steps), expected);
  }
  set_gblerr(0);
}

TEST_F(Startup, AnErrorBeforeTheInitialisersEndsAtOnceWithMinusOneAndNoWord) {
  const std::string log = use_log();
  log_init("TARM");
  struct Case {
    const char* name;
    void (*program_dir)(const char*);
  };
  const std::vector<Case> cases = {
      {"the folder step fails", [](const char*) { set_gblerr(ERR_MEMORY); }},
      {"no program folder", nullptr},  // the program's own step, given an empty folder
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    startup_table_reset();
    get_startup_table().start_display = [] { return false; };
    record_every_initialiser();
    if (c.program_dir) get_startup_table().program_dir = c.program_dir;
    const int code = c.program_dir ? run_main({"/maps/a.png"})
                                   : exit_code_of([] { app_init("", "/maps/a.png"); });
    EXPECT_EQ(code, kEarlyFailureExitCode);
    EXPECT_EQ(code, -1);
    EXPECT_TRUE(copy(g_steps).empty());
    EXPECT_TRUE(tm_test::message_boxes().empty());
    EXPECT_EQ(read_text(log), "");
    EXPECT_EQ(app_is_closing(), 0);  // not the exit routine: the process just ends
  }
}

TEST_F(Startup, AnInitialisationErrorShowsTheFrenchBoxLogsAndExitsNonZero) {
  config_set("LANG", "ENGLISH");  // the box is French whatever the language
  const std::string log = use_log();
  record_every_initialiser();
  find_step("log_init")->run = [] { log_init("TARM"); };
  find_step("geo_load_tables")->run = [] { set_gblerr(ERR_BAD_FILE); };
  const int code = run_main({});
  EXPECT_NE(code, 0);
  EXPECT_EQ(code, kInitFailureExitCode);
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  const tm_test::MessageBoxRecord& box = tm_test::message_boxes()[0];
  EXPECT_EQ(box.text, "Erreur lors de l'initialisation\nFin de l'application");
  EXPECT_EQ(box.caption, "Erreur lors de l'initialisation");
  EXPECT_EQ(box.flags & 0xF0u, plat::MB_ICONHAND);
  const std::string text = read_text(log);
  EXPECT_NE(text.find("Erreur d'init : 14\n"), std::string::npos) << text;
  EXPECT_EQ(text.rfind("------------------------------", 0), 0u) << text;
  // The second group never ran, no window was made, and the normal exit steps ran.
  for (const std::string& s : copy(g_steps)) EXPECT_NE(s, "gpsobj_types_register");
  EXPECT_EQ(main_frame_window(), nullptr);
  EXPECT_EQ(app_is_closing(), 1);
  const std::vector<std::string> calls = copy(g_calls);
  EXPECT_NE(std::find(calls.begin(), calls.end(), "navig_stop()"), calls.end());
}

TEST_F(Startup, AMalformedGeodesyTableEndsWithTheInitialisationFailure) {
  // The real initialisers on a program folder whose ellipsoid table is malformed.
  const std::string folder = tm_test::fresh_dir("badtables");
  tm_test::write_file(folder + "ellipsoi.txt", "34;WGS 84;not a number;;;\n");
  config_reset();  // the object store is made again by the first initialiser
  month_names_free();
  get_startup_table().program_dir = [](const char*) {};
  set_program_dir(folder.c_str());
  const int code = run_main({});
  EXPECT_EQ(code, kInitFailureExitCode);
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].caption, "Erreur lors de l'initialisation");
  EXPECT_EQ(month_names_dict(), nullptr);  // the second group was skipped
  geo_reset_tables();
}

// A frame built as start-up builds it, the loads queued by the command line before.
class StartupWindows : public Startup {
 protected:
  void SetUp() override {
    Startup::SetUp();
    geo_register_classes();
    fileobj_types_register();
    view_types_register();
  }

  void build(const char* command_line) {
    task_slots_init();
    parse_command_line(command_line);
    install_program_routines();
    main_command_table()[14].worker = load_recorder;
    ASSERT_EQ(app_create_windows(), 1);
    tm_test::set_accelerators(main_frame_window(), main_accelerators());
  }
};

TEST_F(StartupWindows, CommandLineLoadsRunOnceTheLoopRuns) {
  struct Case {
    const char* line;
    std::vector<std::string> loads;
  };
  const std::vector<Case> cases = {
      {"/maps/relief.png", {"1/maps/relief.png"}},
      // The first file is posted again behind the others, so it is loaded last.
      {"/maps/relief.png -load /gps/boucle.gpx", {"1/gps/boucle.gpx", "1/maps/relief.png"}},
      {"-load /a/1.gpx -load /a/2.gpx -load /a/3.gpx",
       {"1/a/2.gpx", "1/a/3.gpx", "1/a/1.gpx"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    {
      std::lock_guard<std::mutex> g(g_lock);
      g_loads.clear();
    }
    set_frame_exit_routine(nullptr);
    session_.reset();
    plat::join_threads(10000);  // the last case's redraw task is done with its windows
    session_ = std::make_unique<tm_test::UiSession>();
    frame_reset();
    winutil_state_reset();
    build(c.line);
    EXPECT_TRUE(copy(g_loads).empty());  // nothing runs before the loop
    post_command_line_loads();
    // The window was sized as it was made: the first redraw waits 100 ms before drawing.
    tm_test::advance_time(100);
    tm_test::run_until_idle();
    EXPECT_EQ(copy(g_loads), c.loads);
    EXPECT_TRUE(program_commands_done());
  }
}

TEST_F(StartupWindows, TheWindowsMenuAndInstalledRoutinesAreInPlace) {
  build("");
  plat::Wnd frame = main_frame_window();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(get_command_target_wnd(), frame);
  EXPECT_NE(main_toolbar(), nullptr);
  EXPECT_NE(main_map_window(), nullptr);
  EXPECT_NE(main_menu(), nullptr);
  EXPECT_EQ(tm_test::find_window(app_name, app_name), frame);
  EXPECT_TRUE(menu_is_checked(IDM_CENTER_LAST));
  EXPECT_TRUE(menu_is_greyed(IDM_ADD_GRID));
  EXPECT_EQ(get_dispatcher_hooks().run_command, run_command);
  // Ctrl+Q closes the frame, which runs the exit routine.
  const int code = exit_code_of([] {
    tm_test::press_key('Q', tm_test::MOD_CTRL);
    tm_test::run_until_idle();
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(app_is_closing(), 1);
}

TEST_F(StartupWindows, AConfiguredNavigationPortStartsLiveInput) {
  struct Case {
    const char* line;
    const char* started;  // the start seen, or null
  };
  const std::vector<Case> cases = {
      {"-navig /dev/ttyUSB1 -navigportspeed 9600", "/dev/ttyUSB1 9600 0"},
      {"-navig COM4", "COM4 (null) 0"},
      {"", nullptr},
  };
  static std::vector<std::string> started;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    started.clear();
    set_frame_exit_routine(nullptr);
    session_.reset();
    session_ = std::make_unique<tm_test::UiSession>();
    frame_reset();
    winutil_state_reset();
    config_set("NAVIGPORT", nullptr);
    config_set("NAVIGPORTSPEED", nullptr);
    get_startup_table().navig_start = [](obj_t* port, const char* name, const char* speed, int log) {
      started.push_back(std::string(port ? "port " : "") + name + " " + (speed ? speed : "(null)") +
                        " " + std::to_string(log));
    };
    build(c.line);
    if (c.started) {
      EXPECT_EQ(started, std::vector<std::string>{c.started});
    } else {
      EXPECT_TRUE(started.empty());
    }
  }
}

TEST_F(StartupWindows, AFailingCursorClassEndsWithTheInitialisationFailure) {
  get_startup_table().register_cursor_class = [] {
    set_gblerr(ERR_OS);
    return 0;
  };
  const int code = exit_code_of([this] { build(""); });
  EXPECT_EQ(code, kInitFailureExitCode);
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].text,
            "Erreur lors de l'initialisation\nFin de l'application");
}

TEST_F(Startup, TheExitWaitsForWorkersAndAnswersTheirMessagesFirst) {
  // A worker that asks the user-interface thread something (a sent message) before it
  // ends: the exit must answer it and wait for the worker, not end under it.
  plat::WndClass cls;
  cls.proc = [](plat::Wnd w, uint32_t m, plat::WParam wp, plat::LParam lp) -> plat::LResult {
    if (m == plat::WM_USER + 7) return 42;
    return plat::def_window_proc(w, m, wp, lp);
  };
  cls.name = "ExitProbe";
  plat::register_class(cls);
  static plat::Wnd probe = nullptr;
  probe = plat::create_window(0, "ExitProbe", "", 0, 0, 0, 10, 10, nullptr, 0);
  static std::atomic<int> answer{0};
  static std::atomic<bool> finished{false};
  answer = 0;
  finished = false;
  ASSERT_EQ(start_thread(
                [](void*) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
                  answer = int(plat::send_message(probe, plat::WM_USER + 7, 0, 0));
                  finished = true;
                },
                nullptr, 0),
            1);
  const int code = exit_code_of([] { app_exit(); });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(finished.load());
  EXPECT_EQ(answer.load(), 42);
  EXPECT_EQ(plat::live_threads(), 0);
  EXPECT_EQ(app_is_closing(), 1);
  EXPECT_EQ(get_stop_request(), 1);
}

TEST_F(Startup, TheCoreWaysOutRunTheExitStepsOnce) {
  // Out of memory and internal errors leave through the core's exit hook: once the
  // program's routines are in place (installing them twice changes nothing), that is the
  // program's exit routine, which ends with the core's code. A failure inside the exit's
  // own steps ends at once with its code instead of starting the exit again.
  struct Case {
    const char* name;
    bool fail_inside;
    int code;
  };
  const std::vector<Case> cases = {
      {"out of memory", false, EXIT_FAILURE},
      {"a failure while live GPS stops", true, 7},
  };
  static bool fail_inside = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app_set_closing(0);
    {
      std::lock_guard<std::mutex> g(g_lock);
      g_calls.clear();
    }
    get_core_hooks().exit_program = throw_exit;
    install_program_routines();
    install_program_routines();
    EXPECT_EQ(get_core_hooks().exit_program, &app_exit_code);
    fail_inside = c.fail_inside;
    get_startup_table().navig_stop = [] {
      on_stand_in("navig_stop", "");
      if (fail_inside) core_exit(7);
    };
    EXPECT_EQ(exit_code_of([] { core_exit(EXIT_FAILURE); }), c.code);
    get_startup_table().navig_stop = [] { on_stand_in("navig_stop", ""); };
    EXPECT_EQ(app_is_closing(), 1);
    const std::vector<std::string> calls = copy(g_calls);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "navig_stop()"), 1);
  }
  // The exit is over: a later one runs its steps again (tests end it by throwing).
  app_set_closing(0);
  EXPECT_EQ(exit_code_of([] { app_exit(); }), 0);
  EXPECT_EQ(app_is_closing(), 1);
}

TEST_F(Startup, AWholeHeadlessRunLoadsTheCommandLineAndLeavesThePicture) {
  // The real initialisers and the bundled tables, on the real clock.
  plat::use_virtual_clock(false);
  config_reset();
  get_startup_table().program_dir = [](const char*) { set_program_dir(TM_SOURCE_DIR "/data/"); };
  main_command_table()[14].worker = load_recorder;
  const std::string picture = tm_test::fresh_dir("run") + "frame.png";
  setenv("TARMELO_PICTURE", picture.c_str(), 1);
  const std::string image = TM_SOURCE_DIR "/data/samples/relief.png";
  const std::string track = TM_SOURCE_DIR "/data/samples/boucle.gpx";
  const int code = run_main({image.c_str(), "-load", track.c_str()});
  unsetenv("TARMELO_PICTURE");
  EXPECT_EQ(code, 0);
  EXPECT_EQ(copy(g_loads), (std::vector<std::string>{"1" + track, "1" + image}));
  EXPECT_TRUE(program_commands_done());
  const std::string png = read_text(picture);
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  EXPECT_EQ(get_gblerr(), 0);
  gpsobj_free_icons();
  geo_reset_tables();
  month_names_free();
}

}  // namespace
