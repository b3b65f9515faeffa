// The frame window of the map program: its class and window, the procedure that turns
// menu commands, posted commands, keys and sizing into actions, the accelerator table
// "TOUCHFONC", the toolbar, the map child window and the current graph space. The
// pieces are made by start-up, one call each, in the order frame.h gives.
#include "shell/frame.h"

#include <atomic>
#include <mutex>

#include "core/config.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/object.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/view_records.h"
#include "platform/ui/ctl_toolbar.h"
#include "platform/ui/ui.h"
#include "raster/icon_load.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "shell/gps_dialogs_shell.h"
#include "shell/gps_ui/gps_dialogs.h"
#include "shell/menu.h"

const char app_name[] = "Tarmelo";
const char app_version[] = "v5.0.0";

namespace {

// The frame's pieces, made once at start-up on the user-interface thread; read by
// other threads only through the atomics.
std::atomic<plat::Wnd> g_frame{nullptr};
std::atomic<plat::Wnd> g_toolbar{nullptr};
std::atomic<plat::Wnd> g_map{nullptr};
mapwin_t* g_frame_object = nullptr;
mapwin_t* g_map_object = nullptr;
int g_toolbar_width = 0;
plat::Accel g_accel = nullptr;
frame_exit_routine g_init_error = nullptr;
frame_exit_routine g_exit = nullptr;

// Makes the current graph space (the map model keeps which one it is) on first use,
// by whichever thread asks first.
std::mutex g_graphspace_mutex;

constexpr uint8_t kCtrlKey = plat::FVIRTKEY | plat::FCONTROL;

// The class of the frame; one already registered under the name with this procedure
// is taken as it is.
bool register_frame_class() {
  plat::WndClass existing;
  if (plat::get_class_info(app_name, &existing)) return existing.proc == main_wndproc;
  plat::WndClass cls;
  cls.proc = main_wndproc;
  cls.cursor = plat::load_cursor(plat::IDC_ARROW);
  cls.name = app_name;
  return plat::register_class(cls) != 0;
}

// The frame closes: the program's exit routine, or, without one, the end of the loop.
void frame_closing(plat::Wnd wnd, uint32_t msg) {
  if (g_exit) {
    g_exit();
    return;
  }
  if (msg == plat::WM_CLOSE)
    plat::destroy_window(wnd);
  else
    plat::post_quit_message(0);
}

}  // namespace

const plat::AccelEntry touchfonc_accelerators[] = {
    {kCtrlKey, 'C', IDM_CURSOR_DISPLAY}, {kCtrlKey, 'O', IDM_OPEN},
    {kCtrlKey, 'Q', IDM_QUIT},           {kCtrlKey, 'F', IDM_FIND_PLACE},
    {kCtrlKey, 'N', IDM_NAVIGATION},
};
const int touchfonc_accelerator_count =
    int(sizeof touchfonc_accelerators / sizeof touchfonc_accelerators[0]);

void set_frame_init_error_routine(frame_exit_routine fn) { g_init_error = fn; }
void set_frame_exit_routine(frame_exit_routine fn) { g_exit = fn; }

plat::Wnd main_frame_window() { return g_frame.load(std::memory_order_acquire); }
plat::Wnd main_toolbar() { return g_toolbar.load(std::memory_order_acquire); }
plat::Wnd main_map_window() { return g_map.load(std::memory_order_acquire); }
int main_toolbar_width() { return g_toolbar_width; }

// ---- Frame window ----------------------------------------------------------------------------
int create_main_window(mapwin_t** out) {
  if (out) *out = nullptr;
  if (!register_frame_class()) {
    set_gblerr(ERR_OS);
    if (g_init_error) g_init_error();
    return 0;
  }
  plat::Rect wa = plat::get_work_area();
  plat::Wnd wnd = plat::create_window(0, app_name, app_name,
                                      plat::WS_OVERLAPPEDWINDOW | plat::WS_VISIBLE, wa.left, wa.top,
                                      wa.right - wa.left, wa.bottom - wa.top, nullptr, 0);
  if (!wnd) {
    set_gblerr(ERR_OS);
    return 0;
  }
  g_frame.store(wnd, std::memory_order_release);
  // The program's icon picture (a missing file leaves the window without one).
  raster_window_icons(wnd, program_icon_file(kProgramIcon), nullptr);
  // The GPS windows opened over the frame reach its menu and live navigation.
  install_gps_window_routines();
  attach_window_object(&g_frame_object, wnd, 0, 0, wa.right, wa.bottom, config_back_color(), 32, 0);
  if (out) *out = g_frame_object;
  return g_frame_object && get_gblerr() == 0 ? 1 : 0;
}

plat::LResult main_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  switch (msg) {
    case plat::WM_COMMAND:
      run_menu_command(plat::loword(wparam));
      return 0;
    case plat::WM_USER:
    case plat::WM_TIMER:
      task_dispatch_message(wparam, lparam);
      return 0;
    case plat::WM_KEYDOWN:
      main_on_keydown(int(wparam));
      return 0;
    case plat::WM_KEYUP:
      return 0;
    case plat::WM_SIZE:
      if (wparam == plat::SIZE_RESTORED || wparam == plat::SIZE_MAXIMIZED) {
        if (g_frame_object && g_map_object) {
          main_resize_children(g_frame_object, g_map_object, int(plat::loword(uintptr_t(lparam))),
                               int(plat::hiword(uintptr_t(lparam))));
          // The pane's page follows the window's new client size.
          mapwin_set_size(g_map_object, g_map_object->width, g_map_object->height);
        }
      }
      return 0;
    case plat::WM_SETCURSOR: {
      plat::LResult r = plat::def_window_proc(wnd, msg, wparam, lparam);
      set_busy_cursor(0);
      return r;
    }
    case plat::WM_CLOSE:
    case plat::WM_DESTROY:
      frame_closing(wnd, msg);
      return 0;
    default:
      return plat::def_window_proc(wnd, msg, wparam, lparam);
  }
}

// ---- Accelerators ----------------------------------------------------------------------------
plat::Accel load_main_accelerators() {
  if (!g_accel)
    g_accel = plat::create_accelerator_table(touchfonc_accelerators, touchfonc_accelerator_count);
  return g_accel;
}

plat::Accel main_accelerators() { return g_accel; }

bool translate_main_accelerator(const plat::Msg* msg) {
  plat::Wnd frame = main_frame_window();
  if (!g_accel || !frame || !msg) return false;
  return plat::translate_accelerator(frame, g_accel, msg);
}

// ---- Toolbar ---------------------------------------------------------------------------------
int create_main_toolbar() {
  plat::Wnd frame = main_frame_window();
  if (!frame) return 0;
  int width = 0, height = 0;
  plat::Wnd tb = nullptr;
  create_toolbar(frame, 1, 0, kToolbarHeight, &width, &height, main_toolbar_table, &tb);
  if (!tb) return 0;
  g_toolbar.store(tb, std::memory_order_release);
  g_toolbar_width = width;
  return 1;
}

void frame_toolbar_check(unsigned id, bool checked) {
  if (plat::Wnd tb = main_toolbar()) toolbar_check(tb, int(id), checked ? 1 : 0);
}

bool frame_toolbar_is_checked(unsigned id) {
  plat::Wnd tb = main_toolbar();
  return tb && plat::send_message(tb, plat::TB_ISBUTTONCHECKED, id, 0) != 0;
}

// ---- Map child window and graph space ------------------------------------------------------------
int create_map_child_window(mapwin_t** out) {
  if (out) *out = nullptr;
  if (!g_frame_object) return 0;
  set_map_subclass_routine(mapview_subclass_proc);
  create_scrolled_child("fdocument", g_frame_object, &g_map_object, 1, 1, g_toolbar_width);
  if (!g_map_object || get_gblerr() != 0) return 0;
  g_map.store(window_object_wnd(g_map_object), std::memory_order_release);
  if (out) *out = g_map_object;
  return 1;
}

graphspace_t* get_current_graphspace() {
  if (graphspace_t* gs = graphspace_current()) return gs;
  std::lock_guard<std::mutex> lock(g_graphspace_mutex);
  if (graphspace_t* gs = graphspace_current()) return gs;
  graphspace_t* gs = nullptr;
  obj_t* georef = nullptr;
  obj_new_registered(CLS_GEOREF, &georef);  // listed among the systems in use
  if (georef) graphspace_new(reinterpret_cast<georef_t*>(georef), &gs);
  if (gs) graphspace_set_current(gs);
  return gs;
}

int attach_map_pane() {
  if (!g_map_object) return 0;
  graphspace_t* gs = get_current_graphspace();
  if (!gs) return 0;
  install_map_window_routines();
  mapwin_attach_graphspace(g_map_object, gs);
  set_current_mapwin(g_map_object);
  return get_gblerr() == 0 ? 1 : 0;
}

namespace {
// A window object of the frame with the two brushes it holds.
void free_window_object(mapwin_t** obj) {
  if (!*obj) return;
  if (get_current_mapwin() == *obj) set_current_mapwin(nullptr);
  mapwin_free_pane(*obj);
  if ((*obj)->brush) plat::delete_object((*obj)->brush);
  if ((*obj)->inverse_brush) plat::delete_object((*obj)->inverse_brush);
  // The owned texts are read out of the packed record before they are freed.
  for (char* text : {(*obj)->title, (*obj)->status_part, (*obj)->status_text}) free_mem(&text);
  free_obj(obj);
  *obj = nullptr;
}
}  // namespace

void frame_reset() {
  free_window_object(&g_map_object);
  free_window_object(&g_frame_object);
  g_frame.store(nullptr);
  g_toolbar.store(nullptr);
  g_map.store(nullptr);
  g_toolbar_width = 0;
  g_accel = nullptr;
  g_init_error = nullptr;
  g_exit = nullptr;
  mapwin_set_ui_hooks(nullptr);
  graphspace_set_view_hooks(nullptr);
  gps_dialog_hooks_reset();
  reset_redraw_routines();
  // The graph space and the georef it was made on are the frame's: freed together.
  if (graphspace_t* gs = graphspace_current()) {
    georef_t* georef = gs->georef;
    graphspace_free(&gs);  // forgets it as the current one
    free_obj(&georef);
  }
}
