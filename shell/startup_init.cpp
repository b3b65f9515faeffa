// The global initialisation of the map program: the table of module initialisers in
// their order, app_init that runs it, and the start-up of the file-format modules.
//
// The order matters: the object store's tables come before any class, the classes
// before the objects made from them, the dispatcher's slots before the command line
// (which queues loads in slot 14), and the geodesy tables last of the first group. The
// second group (GPS classes, ports, formats, lookup tables) needs all of them and runs
// only when the first group set no error.
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "core/config.h"
#include "core/dates.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/hooks.h"
#include "core/html.h"
#include "core/line_store.h"
#include "core/object.h"
#include "core/socket.h"
#include "core/tracelog.h"
#include "core/xml.h"
#include "formats/file_load.h"
#include "formats/geonames.h"
#include "formats/gpx.h"
#include "formats/kml.h"
#include "formats/mif.h"
#include "formats/osm.h"
#include "formats/pcx5.h"
#include "formats/polish_map.h"
#include "formats/tcx.h"
#include "geodesy/geodesy_tables.h"
#include "formats/gps_file_formats.h"
#include "formats/gtm.h"
#include "formats/ovl.h"
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
#include "map/repr.h"
#include "map/view_records.h"
#include "raster/image_load.h"
#include "raster/ozi_map.h"
#include "raster/wms/wms.h"
#include "shell/cursor_window.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/menu.h"
#include "shell/startup.h"
#if defined(TM_HAVE_X11)
#include "platform/x11/x11_presenter.h"
#endif

namespace {

// The command line of the app_init in progress, for the command-line slot.
std::atomic<const char*> g_command_line{nullptr};
// The first initialiser of the last app_init that left gblerr set (null: none).
std::atomic<const char*> g_failed_step{nullptr};

// The representation rules load at start-up; a missing table is logged and the program
// runs on without representations.
void load_representations() { repr_load(); }

// The NMEA sentence dictionary, the NMEA file reader's slot and the menu checks of the
// navigation logs.
void start_nmea() {
  nmea_module_init();
  nmea_files_init();
  set_navig_menu_check_routine(
      [](unsigned item, int checked) { menu_set_check(item, checked != 0); });
}

void program_dir_step(const char* folder) {
  set_program_dir(folder);
  // Without a program folder neither the configuration nor the tables can be found.
  if (!folder || !*folder) set_gblerr(ERR_INIT);
}

// The display $DISPLAY names; the program's windows carry its name to the window
// manager. A display named but not reached is said on standard error, since the
// program then runs without any window to show.
bool start_display() {
#if defined(TM_HAVE_X11)
  if (plat::x11_start(nullptr, app_name)) return true;
#endif
  const char* display = std::getenv("DISPLAY");
  if (display && *display)
    std::fprintf(stderr, "%s: no display: running headless (display \"%s\" cannot be opened)\n", app_name, display);
  return false;
}

void log_init_step() { log_init("TARM"); }

// The drivers fill the driver table and install their start-up routines, which the port
// class registration then runs.
void start_gps_ports() {
  gps_drivers_install();
  gpsport_register();
}

// The image record's module comes after the image loading, which fills the hooks it
// runs (the plug-in binding, icon decoding).
void image_modules_init() {
  raster_module_init();
  bitmap_module_init();
}

// What the central load dispatch reaches in the framework.
int sid_bound() {
  int bound = 0;
  sid_plugin_load(&bound);
  return bound;
}
void wait_cursor() { set_busy_cursor(2); }
void show_loading(obj_t* file) { progress_loading(file); }
void command_line_step() { parse_command_line(init_command_line()); }

const startup_table kDefaultTable = {
    program_dir_step,
    {
        {"obj_store_init", obj_store_init},
        {"obj_register_core_classes", obj_register_core_classes},
        {"view_types_register", view_types_register},
        {"qtree_init", qtree_init},
        {"drawobj_types_register", drawobj_types_register},
        {"redraw_types_register", redraw_types_register},
        {"fileobj_types_register", fileobj_types_register},
        {"task_slots_init", task_slots_init},
        {"log_init", log_init_step},
        {"parse_command_line", command_line_step},
        {"dict_register_type", dict_register_type},
        {"swap_init", swap_init},
        {"font_table_init", font_table_init},
        {"socket_register_type", socket_register_type},
        {"drawobj_init_table", drawobj_init_table},
        {"gindex_init", gindex_init},
        {"bitmap_module_init", image_modules_init},
        {"xml_init", xml_init},
        {"html_init", html_init},
        {"geo_load_tables", geo_load_tables},
    },
    {
        {"gpsobj_types_register", gpsobj_types_register},
        {"gpsport_register", start_gps_ports},
        {"geo_init_ref_datum", geo_init_ref_datum},
        {"nmea_module_init", start_nmea},
        {"register_format_modules", register_format_modules},
        {"reset_display_luts", reset_display_luts},
        {"month_names_init", month_names_init},
        {"wms_module_init", wms_module_init},
    },
    {
        {"mif_module_init", mif_module_init},
        {"gpx_register_tables", gpx_register_tables},
        {"gtmtxt_register_keywords", gtm_init},
        {"pcx5_init", pcx5_init},
        {"geonames_register_vocab", geonames_register_vocab},
        {"tcx_register_tables", tcx_register_tables},
        {"kml_module_init", kml_module_init},
        {"ovl_init", ovl_init},
        {"repr_load", load_representations},
        {"osm_init", osm_init},
        {"mp_init", mp_init},
        {"ozi_init", ozi_init},
    },
    register_cursor_class,
    navig_start_obj,
    navig_stop,
    start_display,
};

startup_table g_table = kDefaultTable;

void run_steps(const init_step* steps, int count) {
  for (int i = 0; i < count; ++i) {
    if (steps[i].run) steps[i].run();
    const char* none = nullptr;
    if (get_gblerr() != 0) g_failed_step.compare_exchange_strong(none, steps[i].name);
  }
}

}  // namespace

startup_table& get_startup_table() { return g_table; }

void startup_table_reset() { g_table = kDefaultTable; }

const char* init_command_line() { return g_command_line.load(std::memory_order_acquire); }

const char* init_failed_step() { return g_failed_step.load(); }

void app_init(const char* program_dir, const char* command_line) {
  startup_table& t = get_startup_table();
  set_gblerr(0);
  g_failed_step.store(nullptr);
  if (t.program_dir) t.program_dir(program_dir);
  if (get_gblerr() != 0) core_exit(kEarlyFailureExitCode);
  g_command_line.store(command_line ? command_line : "", std::memory_order_release);
  // Every initialiser of the first group runs; the caller looks at gblerr once after.
  run_steps(t.modules, kInitModuleSteps);
  if (get_gblerr() == 0) run_steps(t.late, kInitLateSteps);
  g_command_line.store(nullptr, std::memory_order_release);
}

void register_format_modules() {
  file_load_hooks& h = get_file_load_hooks();
  h.progress_loading = show_loading;
  h.wait_cursor = wait_cursor;
  h.sid_decoder_bound = sid_bound;
  file_load_module_init();
  run_steps(get_startup_table().formats, kFormatModuleSteps);
  gps_file_formats_init();
}
