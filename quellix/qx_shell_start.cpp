// The diffusion program's life: the command line, the module initialisers in their
// order, the windows, the diffusion state at start (the two-copies rule), the deferred
// commands, the initialisation failure, the exit with its last STOP marker, and the two
// loops (display and headless). Contract in qx_shell.h.
//
// Stand-ins of this build: the sockets need no start-up (qx_net_startup only records
// that it ran); the running copies are counted by the executable name "quellix".
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "core/config.h"
#include "core/dates.h"
#include "core/command_hooks.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/hooks.h"
#include "core/html.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/object.h"
#include "core/paths.h"
#include "core/socket.h"
#include "core/strutil.h"
#include "core/tracelog.h"
#include "core/xml.h"
#include "formats/file_load.h"
#include "formats/geonames.h"
#include "formats/gps_file_formats.h"
#include "formats/gpx.h"
#include "formats/gtm.h"
#include "formats/kml.h"
#include "formats/mif.h"
#include "formats/osm.h"
#include "formats/ovl.h"
#include "formats/pcx5.h"
#include "formats/polish_map.h"
#include "formats/tcx.h"
#include "geodesy/geodesy_records.h"
#include "geodesy/geodesy_tables.h"
#include "gps/gps_drivers.h"
#include "gps/gpsport.h"
#include "gps/navig.h"
#include "gps/nmea_files.h"
#include "gps/nmea_log.h"
#include "gps/nmea_parser.h"
#include "map/bitmap_record.h"
#include "map/draw_gdi.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "map/graphic_index.h"
#include "map/print.h"
#include "map/quadtree.h"
#include "map/raster_display.h"
#include "map/saved_tables.h"
#include "map/view_records.h"
#include "platform/gdi/surface.h"
#include "platform/sys/clock.h"
#include "platform/sys/sysinfo.h"
#include "platform/sys/thread.h"
#include "platform/ui/accel.h"
#include "platform/ui/controls.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/paint.h"
#include "platform/ui/presenter.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"
#include "quellix/qx_addresses.h"
#include "quellix/qx_builders.h"
#include "quellix/qx_destinations.h"
#include "quellix/qx_player.h"
#include "quellix/qx_shell.h"
#include "raster/image_load.h"
#include "raster/ozi_map.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/pick_list.h"
#include "shell/framework/program_loop.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "shell/gps_ui/gps_dialogs.h"
#if defined(TM_HAVE_X11)
#include "platform/x11/x11_presenter.h"
#endif

namespace {

constexpr const char kInitErrorText[] = "Erreur lors de l'initialisation\nFin de l'application";
constexpr const char kInitErrorCaption[] = "Erreur lors de l'initialisation";
constexpr const char kWebAddress[] = "Quellix: NMEA diffusion over UDP";
constexpr int kProgramDirMax = 270;
constexpr int kGpsDatumClass = CLS_GEODATUM;
constexpr int kGpsDatumCode = 214;

constexpr int kExitJoinBoundMs = 3000;

std::atomic<const char*> g_command_line{nullptr};
std::atomic<bool> g_exiting{false};
std::atomic<int> g_net_started{0};
obj_t* g_gps_system = nullptr;  // the coordinate system of GPS data


// ---- Texts ------------------------------------------------------------------------------------
const std::string& title_string() {
  static const std::string t = std::string(kQxAppName) + "  " + kQxAppVersion;
  return t;
}

// ---- Program routines replaced in tests -------------------------------------------------------
// The GPS connection window ("Real time navigation"): Navigate starts live navigation,
// whose reader relays through this program's session hooks; closing it without starting
// unchecks 40036 again.
void default_navigation_dialog() { navdlg_open(); }

void default_navig_start(const char* port, const char* speed, int log) { navig_start(nullptr, port, speed, log); }

int default_count_copies() { return plat::count_processes_named(kQxProcessName); }

// ---- Command line -------------------------------------------------------------------------------
std::string next_value(const char** cursor) {
  char* word = cmdline_next_word(cursor, 0);
  std::string value = word ? word : "";
  free_mem(&word);
  return value;
}

std::string lower(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

// A local file given relative to the current folder, as an absolute path (the load
// task takes any relative text for a web address); an absolute path as it is.
std::string absolute_file(const char* path) {
  if (path_is_absolute(path)) return path;
  char* absolute = nullptr;
  path_from_current_folder(path, &absolute);
  std::string result = absolute ? absolute : path;
  free_mem(&absolute);
  return result;
}

// Post command 14 with the lead character and the normalised path.
int post_file(const char* path, char lead) {
  if (!path || !*path || !file_exists(path)) return 0;
  char* text = nullptr;
  str_set(absolute_file(path).c_str(), &text);
  url_normalize(&text);
  std::string command(1, lead);
  command += text ? text : path;
  free_mem(&text);
  core_post_command(kQxSlotLoad, 0, command.c_str());
  return 1;
}

// ---- Module initialisers --------------------------------------------------------------------------
// Sockets: nothing to start on this system; started once.
void qx_net_startup() { g_net_started.store(1); }

void sockets_step() {
  qx_net_startup();
  socket_register_type();
}

void start_nmea() {
  nmea_module_init();
  nmea_files_init();
  qx_replay_point_register();
}

void start_gps_ports() {
  gps_drivers_install();
  gpsport_register();
}

void image_modules() {
  raster_module_init();
  // The diffusion program binds no MrSID plug-in.
  get_bitmap_hooks().plugin_load = nullptr;
  bitmap_module_init();
}

void show_loading(obj_t* file) { progress_loading(file); }
void wait_cursor() { set_busy_cursor(2); }
int no_sid() { return 0; }

void format_modules() {
  file_load_hooks& h = get_file_load_hooks();
  h.progress_loading = show_loading;
  h.wait_cursor = wait_cursor;
  h.sid_decoder_bound = no_sid;
  file_load_module_init();
  mif_module_init();
  gpx_register_tables();
  pcx5_init();
  geonames_register_vocab();
  tcx_register_tables();
  kml_module_init();
  osm_init();
  mp_init();
  ozi_init();
  gtm_init();
  ovl_init();
  gps_file_formats_init();
}

void gps_system() {
  g_gps_system = nullptr;
  geo_find_by_code(kGpsDatumClass, kGpsDatumCode, &g_gps_system);
  if (!g_gps_system) set_gblerr(ERR_GEOGRAPHIC);
}

void log_step() { log_init(kQxLogTag); }
void command_line_step() { qx_parse_command_line(g_command_line.load()); }

using init_routine = void (*)();
const init_routine kModules[] = {
    [] { nmea_module_init(); },
    obj_store_init,
    obj_register_core_classes,
    view_types_register,
    qtree_init,
    drawobj_types_register,
    redraw_types_register,
    fileobj_types_register,
    task_slots_init,
    log_step,
    command_line_step,
    dict_register_type,
    swap_init,
    font_table_init,
    sockets_step,
    drawobj_init_table,
    gindex_init,
    image_modules,
    xml_init,
    html_init,
    geo_load_tables,
};
const init_routine kLateModules[] = {
    gpsobj_types_register, start_gps_ports, geo_init_ref_datum, start_nmea,  format_modules,
    reset_display_luts,    month_names_init, gps_system,         qx_init_destination_lists,
};

// ---- Windows ------------------------------------------------------------------------------------------
void core_box(const char* text, const char* caption) {
  plat::message_box(qx_shell().main, text, caption, plat::MB_OK);
}

void install_navigation_routines() {
  navig_ui_hooks& h = get_navig_ui_hooks();
  h.menu_check = qx_nav_mark;
  h.menu_enable = [](unsigned item, int enabled) { qx_menu_enable(item, enabled); };
  h.message_box = [](const char* text, const char* caption) { msg_box(text, caption); };
  h.cursor_reset = [] { set_busy_cursor(0); };
  set_navig_menu_check_routine([](unsigned item, int checked) { qx_menu_check(item, checked); });
  // Every read of the live session is relayed from the reader thread.
  navig_session_hooks& session = get_navig_session_hooks();
  session.begin = qx_nav_begin;
  session.event = qx_nav_event;
  session.fix = qx_nav_fix;
  // The GPS connection window: its navigation mark is 40036 (no toolbar here), and the
  // port it hands over starts live navigation, which owns the port from then on.
  gps_dialog_hooks& window = get_gps_dialog_hooks();
  window.navigation_check = [](int checked) { qx_menu_check(QX_IDM_NAVIGATION, checked); };
  window.navig_start = [](gpsport_t* port, int log) {
    navig_start(port, "", nullptr, log);
    return 1;
  };
}

// The keys of the menu texts: Ctrl+O Open, Ctrl+Q Quit, Ctrl+N Navigation.
constexpr uint8_t kCtrlKey = plat::FVIRTKEY | plat::FCONTROL;
const plat::AccelEntry kTouchfonc[] = {
    {kCtrlKey, 'O', QX_IDM_OPEN}, {kCtrlKey, 'Q', QX_IDM_QUIT}, {kCtrlKey, 'N', QX_IDM_NAVIGATION}};

bool start_display() {
#if defined(TM_HAVE_X11)
  if (plat::x11_start(nullptr, kQxAppName)) return true;
#endif
  const char* display = std::getenv("DISPLAY");
  if (display && *display)
    std::fprintf(stderr, "%s: no display: running headless (display \"%s\" cannot be opened)\n", kQxAppName,
                 display);
  return false;
}

void handle(const plat::Msg& msg) {
  qx_shell_state& s = qx_shell();
  if (s.accel && plat::translate_accelerator(s.main, s.accel, &msg)) return;
  plat::translate_message(&msg);
  plat::dispatch_message(&msg);
}

}  // namespace

// ---- Hooks -------------------------------------------------------------------------------------------
const char* qx_title_text() { return title_string().c_str(); }

const char* qx_about_text() {
  static const std::string fr = std::string(kQxAppName) + " " + kQxAppVersion + " - " + kQxDateFr + "\n" + kWebAddress;
  static const std::string en = std::string(kQxAppName) + " " + kQxAppVersion + " - " + kQxDateEn + "\n" + kWebAddress;
  return is_french() ? fr.c_str() : en.c_str();
}

const char* qx_about_title() {
  static const std::string fr = std::string("A propos de ") + kQxAppName;
  static const std::string en = std::string("About ") + kQxAppName;
  return is_french() ? fr.c_str() : en.c_str();
}

qx_shell_hooks& qx_get_shell_hooks() {
  static qx_shell_hooks h;
  return h;
}

// ---- Command line ---------------------------------------------------------------------------------------
int qx_load_file(const char* path) { return post_file(path, '0'); }

int qx_play_file(const char* path) {
  if (!path || !*path || !file_exists(path)) return 0;
  config_set("DIFFUSE", "ON");
  return post_file(path, '1');
}

void qx_parse_command_line(const char* command_line) {
  config_set("DIFFUSE", "");
  {
    const char* none = "";
    parse_option("-embedded", &none);
  }
  std::string addresses;
  const char* cursor = command_line ? command_line : "";
  for (int index = 1;; ++index) {
    while (*cursor == ' ' || *cursor == '\t' || *cursor == '\r' || *cursor == '\n') ++cursor;
    if (!*cursor) break;
    const char* word_start = cursor;
    char* raw = cmdline_next_word(&cursor, 0);
    if (!raw) break;
    const std::string word = raw;
    free_mem(&raw);
    std::string w = lower(word);
    {
      // The common options first (their values are read from the cursor).
      const char* c = cursor;
      if (parse_option(w.c_str(), &c) == 0) {
        cursor = c;
        continue;
      }
    }
    (void)word_start;
    if (w == "-navig") {
      config_set("NAVIGPORT", next_value(&cursor).c_str());
      ++index;
    } else if (w == "-naviglog") {
      navig_log_set(1);
      config_set("NAVIGPORT", next_value(&cursor).c_str());
      ++index;
    } else if (w == "-navigportspeed") {
      config_set("NAVIGPORTSPEED", next_value(&cursor).c_str());
      ++index;
    } else if (w.compare(0, 11, "-diffuseoff") == 0) {
      config_set("DIFFUSE", "OFF");
    } else if (w.compare(0, 9, "-diffuse_") == 0) {
      const char* now = config_get("DIFFUSE");
      if (!now || std::strcmp(now, "OFF") != 0) config_set("DIFFUSE", "ON");
      if (!addresses.empty()) addresses += "_";
      addresses += word.substr(9);
    } else if (w == "-load") {
      qx_load_file(next_value(&cursor).c_str());
      ++index;
    } else if (w == "-play") {
      qx_play_file(next_value(&cursor).c_str());
      ++index;
    } else if (index == 1 && word[0] != '-') {
      qx_play_file(word.c_str());
    }
  }
  config_set("IPADR", addresses.c_str());
}

int qx_diffusion_at_start(int copies, const char* diffuse) {
  const std::string d = diffuse ? diffuse : "";
  if (copies < 2) return d != "OFF" ? 1 : 0;
  return d == "ON" ? 1 : 0;
}

void qx_apply_diffusion_at_start() {
  const qx_shell_hooks& h = qx_get_shell_hooks();
  const int copies = h.count_copies ? h.count_copies() : default_count_copies();
  const int on = qx_diffusion_at_start(copies, config_get("DIFFUSE"));
  qx_menu_check(QX_IDM_DIFFUSION, on);
  qx_set_diffusion_flag(on);
}

// ---- Start-up -------------------------------------------------------------------------------------------
void qx_startup(const char* program_dir, const char* command_line) {
  set_gblerr(0);
  set_program_name("quellix");
  std::string dir = program_dir ? program_dir : "";
  if (dir.size() > size_t(kProgramDirMax)) dir.resize(size_t(kProgramDirMax));
  set_program_dir(dir.c_str());
  if (dir.empty()) set_gblerr(ERR_INIT);
  if (get_gblerr() != 0) core_exit(-1);
  g_command_line.store(command_line ? command_line : "");
  for (init_routine r : kModules) r();
  if (get_gblerr() == 0)
    for (init_routine r : kLateModules) {
      if (get_gblerr() != 0) break;
      r();
    }
  g_command_line.store(nullptr);
}

void qx_nav_mark(unsigned item, int checked) {
  if (!plat::on_ui_thread()) {
    const plat::Wnd main = qx_shell().main;
    if (main && plat::post_message(main, kQxNavMarkMessage, item, checked)) return;
  }
  qx_menu_check(item, checked);
  if (item == kNavigMenuItem) {
    if (checked)
      qx_nav_window_start();
    else
      qx_nav_window_stop();
  }
}

void qx_install_program_routines() {
  set_run_command(qx_run_command);
  get_core_hooks().message_box = core_box;
  qx_install_ui_hooks();
  install_navigation_routines();
  qx_shell_hooks& h = qx_get_shell_hooks();
  if (!h.navigation_dialog) h.navigation_dialog = default_navigation_dialog;
  if (!h.navig_start) h.navig_start = default_navig_start;
  if (!h.navig_stop) h.navig_stop = navig_stop;
  if (!h.count_copies) h.count_copies = default_count_copies;
}

void qx_create_windows() {
  qx_shell_state& s = qx_shell();
  plat::register_controls();
  if (!qx_register_main_class()) qx_init_error_exit();
  if (!qx_create_main_window()) qx_init_error_exit();
  // "TOUCHFONC": the shortcuts the menu texts name are bound.
  if (!s.accel) s.accel = plat::create_accelerator_table(kTouchfonc, int(std::size(kTouchfonc)));
  create_ui_font();
  qx_register_addresses_class();
  register_pick_list_class();
  register_dialog_class();
  qx_build_menu(s.main);
  qx_menu_enable(QX_IDM_RAW_LOG, 0);
  qx_menu_check(QX_IDM_NAVIGATION, 0);
  qx_menu_check(QX_IDM_NAVIG_LOG, 0);
  qx_menu_check(QX_IDM_RAW_LOG, 0);
  qx_create_controls(s.main);
  qx_show_title(0);
}

int qx_init_app() {
  qx_install_program_routines();
  if (get_gblerr() != 0) qx_init_error_exit();
  qx_create_windows();
  if (get_gblerr() != 0) qx_init_error_exit();
  // A file given on the command line waits in slot 14's queue until the window exists.
  if (char* text = task_queue_take(kQxSlotLoad)) {
    core_post_command(kQxSlotLoad, 0, text);
    free_mem(&text);
  }
  const qx_shell_hooks& h = qx_get_shell_hooks();
  qx_apply_diffusion_at_start();
  qx_menu_check(QX_IDM_NAVIG_LOG, navig_log_get());
  qx_set_replay_controls(0);
  if (!qx_start_destination_thread()) set_gblerr(ERR_OS);
  if (get_gblerr() != 0) qx_init_error_exit();
  const char* port = config_get("NAVIGPORT");
  if (port && *port && h.navig_start) h.navig_start(port, config_get("NAVIGPORTSPEED"), navig_log_get());
  return 1;
}

// ---- Deferred commands -----------------------------------------------------------------------------------
void qx_run_command(int slot) {
  switch (slot) {
    case kQxSlotLive:
      qx_nav_display_step();
      break;
    case kQxSlotLoad:
      task_start(kQxSlotLoad, qx_load_track_data);
      break;
    case kQxSlotTimer:
      qx_player_on_timer();
      break;
    case kQxSlotDestinations:
      qx_reset_destinations();
      break;
    default:
      break;
  }
}

// ---- Exit -------------------------------------------------------------------------------------------------
void qx_init_error_exit() {
  if (!plat::get_presenter()) std::fprintf(stderr, "%s: %s\n", kInitErrorCaption, kInitErrorText);
  plat::message_box(nullptr, kInitErrorText, kInitErrorCaption, plat::MB_OK | plat::MB_ICONSTOP);
  char line[64];
  std::snprintf(line, sizeof line, "Erreur d'init : %d", get_gblerr());
  log_error_line(line);
  qx_app_exit(1);
}

void qx_app_exit(int code) {
  if (g_exiting.exchange(true)) {
    // A second way out while the exit runs (the window's destruction during it).
    core_exit(code);
  }
  app_set_closing(1);
  set_stop_request(1);
  qx_send_final_stop();
  const qx_shell_hooks& h = qx_get_shell_hooks();
  if (h.navig_stop) h.navig_stop();
  program_join_workers(kExitJoinBoundMs);
  if (get_gblerr() == 0) savfile_flush();
  swap_close_files();
#if defined(TM_HAVE_X11)
  plat::x11_stop();
#endif
  std::fflush(nullptr);
  // A worker that outlived the bound may still use what the static destructors free.
  if (!get_core_hooks().exit_program && plat::live_threads() > 0) std::_Exit(code);
  core_exit(code);
}

void qx_exit_reset() { g_exiting.store(false); }

// ---- Loops ---------------------------------------------------------------------------------------------------
int qx_run_headless(const char* picture_path) {
  return program_run_headless(handle, [] { return qx_shell().main; }, picture_path, kQxAppName);
}

int qx_run_message_loop() { return program_run_message_loop(handle); }

int qx_main(int argc, char** argv) {
  plat::set_ui_thread();
  const bool display = start_display();
  const std::string line = program_command_line(argc, argv);
  qx_startup(plat::program_dir().c_str(), line.c_str());
  qx_init_app();
  const int code = display ? qx_run_message_loop() : qx_run_headless(std::getenv("QUELLIX_PICTURE"));
  qx_app_exit(code);
}
