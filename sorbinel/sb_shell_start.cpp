// The image viewer's life: the command line, the module initialisers in their order,
// the windows, the first file, the deferred commands, printing, the initialisation
// failure, the exit and the two loops (display and headless). Contract in sb_shell.h.
//
// The map windows and the redraw pass are wired to the framework here, as the map
// program's frame does for itself, since this program has a document window of the same
// kind. Printing is the map program's: the same printer list, the print set-up dialog
// (its image variant when the document shows an image) and the same command.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/dates.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/hooks.h"
#include "core/html.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/obj_list.h"
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
#include "geodesy/geodesy_tables.h"
#include "geodesy/xform_records.h"
#include "gps/gps_drivers.h"
#include "gps/gpsport.h"
#include "gps/nmea_files.h"
#include "gps/nmea_parser.h"
#include "map/bitmap_record.h"
#include "map/draw_gdi.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/print.h"
#include "map/quadtree.h"
#include "map/raster_display.h"
#include "map/redraw.h"
#include "map/saved_tables.h"
#include "map/view_records.h"
#include "platform/gdi/surface.h"
#include "platform/sys/clock.h"
#include "platform/sys/sysinfo.h"
#include "platform/sys/thread.h"
#include "platform/ui/controls.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/paint.h"
#include "platform/ui/presenter.h"
#include "platform/ui/queue.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "raster/image_load.h"
#include "raster/kap_read.h"
#include "raster/ozi_map.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/print_dialog.h"
#include "shell/framework/program_loop.h"
#include "shell/framework/progress.h"
#include "shell/framework/table_window.h"
#include "shell/framework/winutil.h"
#include "sorbinel/sb_browse.h"
#include "sorbinel/sb_info.h"
#include "sorbinel/sb_shell.h"
#if defined(TM_HAVE_X11)
#include "platform/x11/x11_presenter.h"
#endif

namespace {

constexpr const char kInitErrorTextEn[] = "Error during initialization\nEnd of application";
constexpr const char kInitErrorCaptionEn[] = "Error during initialization";
constexpr const char kInitErrorTextFr[] = "Erreur lors de l'initialisation\nFin de l'application";
constexpr const char kInitErrorCaptionFr[] = "Erreur lors de l'initialisation";
constexpr int kProgramDirMax = 260;
constexpr int64_t kFirstFileDelayMs = 10;
constexpr int kPrintSlot = 8;
constexpr int kExitJoinBoundMs = 3000;
constexpr size_t kKeptFreedMemory = size_t(256) << 20;

std::atomic<const char*> g_command_line{nullptr};
std::atomic<bool> g_exiting{false};
// The paths of the files the command line queued, in their order, for the titles and the
// window size: each file object's own (whole) path, which is what the status line shows
// and what the file is found by, however the path was typed.
std::vector<std::string> g_queued_paths;

const char* tr(const char* en, const char* fr) { return is_french() ? fr : en; }

std::string next_value(const char** cursor) {
  char* word = cmdline_next_word(cursor, 0);
  std::string value = word ? word : "";
  free_mem(&word);
  return value;
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// A number option: the value truncated to an integer when it is 1 or more.
void number_option(const std::string& value, int32_t* field) {
  const double v = std::atof(value.c_str());
  if (v >= 1.0 && v < 2147483647.0) *field = int32_t(v);
}

void add_extensions(const char* text) {
  const char* cursor = text ? text : "";
  for (;;) {
    char* word = cmdline_next_word(&cursor, 0);
    if (!word) break;
    const std::string w = lower(word);
    free_mem(&word);
    if (w.empty()) break;
    sb().extensions.push_back(w);
  }
}

// ---- Module initialisers ------------------------------------------------------------------------
// The settings record, and the browsing lists, which the command line's queue needs.
void settings_step() {
  sb_state_init();
  sb_browse_init();
}
void log_step() { log_init(kSbLogTag); }
void command_line_step() { sb_parse_command_line(g_command_line.load()); }

void start_nmea() {
  nmea_module_init();
  nmea_files_init();
}

void start_gps_ports() {
  gps_drivers_install();
  gpsport_register();
}

int chart_row(const image_decode_call& call) { return sb_chart_parse(*call.image); }

// The image modules, with the chart reader's rows and keyword tables.
void image_modules() {
  raster_module_init();
  image_decoder_register(kDecoderChart, chart_row);
  image_decoder_register(kDecoderChartOther, chart_row);
  sb_chart_register();
  bitmap_module_init();
}

void show_loading(obj_t* file) { progress_loading(file); }
void wait_cursor() { set_busy_cursor(2); }
int sid_bound() {
  int bound = 0;
  sid_plugin_load(&bound);
  return bound;
}

void format_modules() {
  file_load_hooks& h = get_file_load_hooks();
  h.progress_loading = show_loading;
  h.wait_cursor = wait_cursor;
  h.sid_decoder_bound = sid_bound;
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

// A placeholder image of the system folder, loaded; null (with its trace line) when it
// cannot be.
fileatt_t* load_placeholder(const char* name) {
  fileatt_t* file = nullptr;
  file_open(nullptr, get_system_dir(), name, &file);
  int rc = file ? 0 : ERR_FILE_ACCESS;
  if (file) {
    file_identify_and_load_default(file);
    rc = file_load(file, nullptr, 0);
  }
  if (rc != 0 || get_gblerr() != 0 || !file || !file_has_objects(file)) {
    set_gblerr(0);
    const std::string line = std::string("Impossible de charger l'image ") + name;
    log_error_line(line.c_str());
    return nullptr;
  }
  return file;
}

void placeholders() {
  sb().error_image = load_placeholder(kSbErrorImage);
  sb().unknown_image = load_placeholder(kSbUnknownImage);
}

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
    settings_step,
    task_slots_init,
    log_step,
    command_line_step,
    dict_register_type,
    swap_init,
    font_table_init,
    socket_register_type,
    drawobj_init_table,
    gindex_init,
    image_modules,
    xml_init,
    html_init,
    geo_load_tables,
};
const init_routine kLateModules[] = {
    gpsobj_types_register, start_gps_ports,   geo_init_ref_datum, start_nmea,
    format_modules,        reset_display_luts, month_names_init,  placeholders,
};

// ---- The map window, the redraw pass and printing wired to the framework ------------------------------
void status_text(const char* text) { main_set_status_text(nullptr, text, 0); }

void framework_scroll_pos(mapwin_t* win, int axis, double position, double page) {
  set_scroll_pos(win, axis, position, page);
}

int framework_get_scroll_pos(mapwin_t* win, int axis, double* position, double* page, double* track) {
  return get_scroll_pos(win, axis, position, page, track);
}

void paint_rect(mapwin_t* win, const plat::Rect& r) {
  invalid_rect_redraw(win, extent_t{double(r.left), double(r.right), double(r.top), double(r.bottom), 0.0});
}

void redraw_run(void*) {
  redraw_pass();
  image_close_reopened_files();
  const int no_yield = get_stop_request();
  set_stop_request(0);
  if (no_yield) post_command_simple(kSbSlotSlideshowNext);
  task_end();
}

// The dispatcher's own command 5 (pending scrolls) reaches the viewer here: once the
// scrolls are applied, the refresh of the viewer's command 5 follows (the dispatcher
// then redraws the window and the title).
void apply_scroll_and_refresh() {
  mapwin_apply_scroll_all();
  sb_refresh_pages();
}

}  // namespace

void sb_install_window_routines() {
  mapwin_ui_hooks ui;
  ui.set_scroll_pos = framework_scroll_pos;
  ui.get_scroll_pos = framework_get_scroll_pos;
  ui.scroll_window_region = scroll_window_region;
  ui.command_target = get_command_target;
  mapwin_set_ui_hooks(&ui);
  mapwin_install_view_hooks();
  dispatcher_hooks& h = get_dispatcher_hooks();
  h.mapwin_apply_scroll = apply_scroll_and_refresh;
  h.redraw_dirty_mapwins = redraw_dirty_mapwins;
  h.main_set_status_text = status_text;
  h.redraw_schedule = redraw_schedule;
  h.redraw_run = redraw_run;
  set_redraw_interrupt_routine(redraw_interrupt);
  set_invalid_rect_routine(paint_rect);
  redraw_install_hooks(task_work_pending);
  install_print_routines();
}

namespace {

void core_box(const char* text, const char* caption) { plat::message_box(sb().main, text, caption, plat::MB_OK); }

bool start_display() {
#if defined(TM_HAVE_X11)
  if (plat::x11_start(nullptr, kSbAppName)) return true;
#endif
  const char* display = std::getenv("DISPLAY");
  if (display && *display)
    std::fprintf(stderr, "%s: no display: running headless (display \"%s\" cannot be opened)\n", kSbAppName,
                 display);
  return false;
}

void handle(const plat::Msg& msg) {
  plat::translate_message(&msg);
  plat::dispatch_message(&msg);
}


}  // namespace

// ---- Command line ---------------------------------------------------------------------------------------
int sb_load_path(const char* path) {
  if (!path || !*path) return 0;
  fileatt_t* file = nullptr;
  const bool queued = sb_queue_path(path, &file) == 0;
  // A path that could not be queued stays as typed: it cannot be measured, and the
  // window takes the work area.
  const char* name = file ? file_get_name(file) : nullptr;
  g_queued_paths.emplace_back(name && *name ? name : path);
  return queued ? 1 : 0;
}

void sb_title_queued_files() {
  const char* title = config_get("SBTITLE");
  if (!title || !*title) return;
  for (const std::string& path : g_queued_paths) sb_set_file_title(path.c_str(), title);
}

void sb_parse_command_line(const char* command_line) {
  sb_file_filter_t* f = sb_filter();
  g_queued_paths.clear();
  const char* cursor = command_line ? command_line : "";
  for (int index = 1;; ++index) {
    while (*cursor == ' ' || *cursor == '\t' || *cursor == '\r' || *cursor == '\n') ++cursor;
    if (!*cursor) break;
    char* raw = cmdline_next_word(&cursor, 0);
    if (!raw) break;
    const std::string word = raw;
    free_mem(&raw);
    const std::string w = lower(word);
    {
      const char* c = cursor;
      if (parse_option(w.c_str(), &c) == 0) {
        cursor = c;
        continue;
      }
    }
    if (w == "-notoolbar") {
      // The option does what it says: the toolbar (and the path field) are left out.
      config_set("NOTOOLBAR", "1");
    } else if (w == "-title") {
      config_set("SBTITLE", next_value(&cursor).c_str());
    } else if (w == "-fileext") {
      const std::string e = lower(next_value(&cursor));
      if (!e.empty()) sb().extensions.push_back(e);
    } else if (w == "-minfilesize") {
      number_option(next_value(&cursor), &f->min_file_size);
    } else if (w == "-maxfilesize") {
      number_option(next_value(&cursor), &f->max_file_size);
    } else if (w == "-mindim") {
      number_option(next_value(&cursor), &f->min_dim);
    } else if (w == "-maxdim") {
      number_option(next_value(&cursor), &f->max_dim);
    } else if (w == "-nozoommax") {
      f->no_zoom_max = 1;
    } else if (w == "-orientationv") {
      f->orientation = 'V';
    } else if (w == "-orientationh") {
      f->orientation = 'H';
    } else if (w == "-load") {
      sb_load_path(next_value(&cursor).c_str());
    } else if (index == 1 && !word.empty() && word[0] != '-') {
      sb_load_path(word.c_str());
    } else {
      const std::string line = std::string(tr("Unknow Parameter:", "Parametre inconnu :")) + word;
      log_error_line(line.c_str());
    }
  }
  if (const char* ext = config_get("FILEEXT")) add_extensions(ext);
}

// ---- Start-up ---------------------------------------------------------------------------------------------
void sb_startup(const char* program_dir, const char* command_line) {
  set_gblerr(0);
  set_program_name("sorbinel");
  std::string dir = program_dir ? program_dir : "";
  if (dir.size() > size_t(kProgramDirMax)) dir.resize(size_t(kProgramDirMax));
  set_program_dir(dir.c_str());
  if (dir.empty()) set_gblerr(ERR_INIT);
  if (get_gblerr() != 0) core_exit(0);
  // Browsing frees one image and loads the next: keeping the freed lines' pages saves
  // faulting in fresh ones for every image.
  plat::keep_freed_memory(kKeptFreedMemory);
  g_queued_paths.clear();
  g_command_line.store(command_line ? command_line : "");
  for (init_routine r : kModules) r();
  if (get_gblerr() == 0)
    for (init_routine r : kLateModules) {
      if (get_gblerr() != 0) break;
      r();
    }
  g_command_line.store(nullptr);
}

void sb_queued_window_size(int* width, int* height) {
  int w = 0, h = 0;
  for (const std::string& path : g_queued_paths) {
    int iw = 0, ih = 0;
    fileatt_t* file = nullptr;
    file_find_by_name(path.c_str(), &file);
    const bool loaded_before = file && file_has_objects(file);
    int rc = 0;
    // The header of a PNG, JPEG or GIF file tells its size: the image is decoded once,
    // when it is shown. Any other file is measured by loading it; what was not loaded
    // before goes again until it is shown.
    if (!file || loaded_before || !image_probe_size(file, &iw, &ih)) {
      rc = file ? sb_image_size(file, &iw, &ih) : ERR_FILE_ACCESS;
      if (file && !loaded_before) file_unload(file, 0);
    }
    if (rc != 0 || iw <= 0 || ih <= 0) {
      set_gblerr(0);
      w = h = 0;
      break;
    }
    if (iw > w) w = iw;
    if (ih > h) h = ih;
  }
  const plat::Rect wa = plat::get_work_area();
  const int max_w = wa.width() - 2 * plat::get_system_metrics(plat::SM_CXFRAME);
  const int max_h = wa.height() - 2 * plat::get_system_metrics(plat::SM_CYFRAME);
  *width = w < max_w ? w : max_w;
  *height = h < max_h ? h : max_h;
}

std::string sb_main_title() {
  std::string title = std::string(kSbAppName) + " " + kSbAppVersion;
  const sb_file_filter_t* f = sb_filter();
  if (f->min_dim > 0) {
    const std::string m = std::to_string(f->min_dim);
    title += tr(" - Minimal Dimension: ", " - Dimension minimum : ") + m + " x " + m;
  }
  if (!sb().extensions.empty()) {
    title += tr(" - Files Types:", " - Types de fichiers :");
    for (const std::string& e : sb().extensions) title += " " + e;
  }
  return title;
}

int sb_init_app() {
  sb_state& s = sb();
  set_run_command(sb_run_command);
  get_core_hooks().message_box = core_box;
  sb_install_window_routines();
  if (get_gblerr() != 0) sb_init_error_exit();
  plat::register_controls();
  create_ui_font();
  register_edit_class("fdocument");
  register_dialog_class();
  register_table_class();
  sb_title_queued_files();
  int w = 0, h = 0;
  sb_queued_window_size(&w, &h);
  if (!sb_create_main_window(0, 0)) sb_init_error_exit();
  const char* no_toolbar = config_get("NOTOOLBAR");
  if (!(no_toolbar && *no_toolbar)) sb_create_toolbar();
  set_gblerr(0);  // a toolbar that cannot be made leaves the viewer without one
  if (w > 0 && h > 0) {
    // Never smaller than the toolbar and path field need: a small image sits centred in
    // a window of that size.
    int min_w = 0, min_h = 0;
    sb_min_client_size(&min_w, &min_h);
    plat::Rect r{0, 0, w > min_w ? w : min_w, h + sb_toolbar_height() + 6 > min_h ? h + sb_toolbar_height() + 6 : min_h};
    plat::adjust_window_rect(&r, plat::WS_OVERLAPPEDWINDOW, false);
    const plat::Rect wa = plat::get_work_area();
    const int ww = r.width() < wa.width() ? r.width() : wa.width();
    const int wh = r.height() < wa.height() ? r.height() : wa.height();
    plat::move_window(s.main, 0, 0, ww, wh, true);
  }
  if (!sb_create_document_window()) sb_init_error_exit();
  sb_document_clear();
  sb_resize_children();
  if (get_gblerr() != 0) sb_init_error_exit();
  if (sb_queue_count() > 0) {
    sb_take_queue();
    post_command(kSbSlotNextFile, kFirstFileDelayMs, nullptr);
  }
  return 1;
}

// ---- Deferred commands -----------------------------------------------------------------------------------
void sb_refresh_pages() {
  sb_state& s = sb();
  sb_file_filter_t* f = s.filter;
  if (f && sb_pages_below(s.current)) {
    const int page = sb_page_at_view(s.current);
    if (page != 0) f->current_page = page;
  }
  sb_page_label(s.current);
  sb_refresh_status();
}

void sb_run_command(int slot) {
  const sb_state& s = sb();
  const bool animation = (s.mode & kSbModeAnimation) != 0;
  switch (slot) {
    case kSbSlotRefresh:
      sb_refresh_pages();
      sb_redraw_now();
      break;
    case kSbSlotSlideshowNext:
      if ((s.mode & kSbModeSlideshow) && task_slot_state(kSbSlotRedisplay) == 0)
        post_command_simple(kSbSlotSlideshowStep);
      break;
    case kSbSlotSlideshowStep:
      if (!animation) sb_slideshow_step();
      break;
    case kSbSlotNextFrame:
      if (animation) sb_next_frame();
      break;
    case kSbSlotRedisplay:
      if (!animation) sb_redisplay();
      break;
    case kSbSlotDelete:
      sb_delete_current();
      break;
    case kSbSlotRotate:
      sb_rotate(current_task_text());
      break;
    case kSbSlotNextFile:
      sb_next_task();
      break;
    default:
      break;
  }
  sb_after_message();
}

// ---- Exit ---------------------------------------------------------------------------------------------------
void sb_init_error_exit() {
  const char* text = tr(kInitErrorTextEn, kInitErrorTextFr);
  const char* caption = tr(kInitErrorCaptionEn, kInitErrorCaptionFr);
  if (!plat::get_presenter()) std::fprintf(stderr, "%s: %s\n", caption, text);
  plat::message_box(nullptr, text, caption, plat::MB_OK | plat::MB_ICONSTOP);
  char line[64];
  std::snprintf(line, sizeof line, "Erreur d'init : %d", get_gblerr());
  log_error_line(line);
  sb_app_exit(1);
}

void sb_app_exit(int code) {
  if (g_exiting.exchange(true)) core_exit(code);
  app_set_closing(1);
  set_stop_request(1);
  program_join_workers(kExitJoinBoundMs);
  swap_close_files();
#if defined(TM_HAVE_X11)
  plat::x11_stop();
#endif
  std::fflush(nullptr);
  if (!get_core_hooks().exit_program && plat::live_threads() > 0) std::_Exit(code);
  core_exit(code);
}

void sb_exit_reset() { g_exiting.store(false); }

// ---- Loops ----------------------------------------------------------------------------------------------------
int sb_run_headless(const char* picture_path) {
  return program_run_headless(handle, [] { return sb().main; }, picture_path, kSbAppName);
}

int sb_run_message_loop() { return program_run_message_loop(handle); }

int sb_main(int argc, char** argv) {
  plat::set_ui_thread();
  const bool display = start_display();
  const std::string line = program_command_line(argc, argv);
  sb_startup(plat::program_dir().c_str(), line.c_str());
  if (get_gblerr() != 0) sb_init_error_exit();
  sb_init_app();
  const int code = display ? sb_run_message_loop() : sb_run_headless(std::getenv("SORBINEL_PICTURE"));
  sb_app_exit(code);
}

namespace {
// A window object with the two brushes and the texts it holds.
void free_window_object(mapwin_t** obj) {
  if (!*obj) return;
  if (get_current_mapwin() == *obj) set_current_mapwin(nullptr);
  mapwin_free_pane(*obj);
  if ((*obj)->brush) plat::delete_object((*obj)->brush);
  if ((*obj)->inverse_brush) plat::delete_object((*obj)->inverse_brush);
  for (char* text : {(*obj)->title, (*obj)->status_part, (*obj)->status_text}) free_mem(&text);
  free_obj(obj);
  *obj = nullptr;
}
}  // namespace

void sb_shell_reset() {
  sb_state& s = sb();
  free_window_object(&s.view);
  if (s.document) {
    georef_t* georef = s.document->georef;
    graphspace_free(&s.document);
    if (georef) free_obj(&georef);
  }
  free_window_object(&s.frame);
  plat::Wnd main = s.main;
  s.main = nullptr;  // the window is no longer the program's: its destruction ends nothing
  if (main) plat::destroy_window(main);
  s.toolbar = s.path_field = s.document_window = nullptr;
  mapwin_set_ui_hooks(nullptr);
  graphspace_set_view_hooks(nullptr);
  print_set_dialog_hooks(nullptr);
  set_invalid_rect_routine(nullptr);
  set_redraw_interrupt_routine(nullptr);
  redraw_install_hooks(nullptr);
  set_map_subclass_routine(nullptr);
  g_queued_paths.clear();
  sb_file_titles_clear();
}
