// The map child window "fdocument": a subclass of its edit-like class procedure that
// hands painting, scrolling, the mouse and dropped files to the map model. Every
// message but the right button's press is first passed on to the previous procedure,
// whose result is returned.
#include <atomic>
#include <string>
#include <vector>

#include "map/view_records.h"
#include "platform/ui/ui.h"
#include "shell/frame.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "shell/menu.h"
#include "map/mapwin.h"
#include "map/view_set.h"
#include "shell/cursor_window.h"
#include "shell/load_commands.h"

namespace {

std::atomic<plat::WndProc> g_previous{nullptr};

// The procedure to chain to: the one replaced by mapview_subclass, or else the one the
// window utilities replaced when they installed the subclass at creation.
plat::WndProc previous_proc(plat::Wnd) {
  if (plat::WndProc p = g_previous.load(std::memory_order_acquire)) return p;
  if (plat::WndProc p = map_subclass_previous(); p && p != mapview_subclass_proc) return p;
  return plat::def_window_proc;
}

// Scroll-bar codes of the map model, by Windows scroll code; 0 for codes ignored.
int hscroll_code(unsigned sb) {
  switch (sb) {
    case plat::SB_LINELEFT: return 3;
    case plat::SB_LINERIGHT: return 4;
    case plat::SB_PAGELEFT: return 7;
    case plat::SB_PAGERIGHT: return 8;
    case plat::SB_THUMBTRACK: return 11;
    default: return 0;
  }
}

int vscroll_code(unsigned sb) {
  switch (sb) {
    case plat::SB_LINEUP: return 1;
    case plat::SB_LINEDOWN: return 2;
    case plat::SB_PAGEUP: return 5;
    case plat::SB_PAGEDOWN: return 6;
    case plat::SB_THUMBTRACK: return 11;
    case plat::SB_TOP: return 9;
    case plat::SB_BOTTOM: return 10;
    default: return 0;
  }
}

// The thumb's tracked position is read back from the bar itself.
void on_scroll(int bar, int code) {
  if (code != 0) mapwin_scroll_cmd(get_current_mapwin(), bar, code);
}

// The update region is read before the previous procedure validates it.
void on_paint(plat::Wnd wnd) {
  plat::Region rgn;
  int type = plat::get_update_rgn(wnd, &rgn, false);
  if (type == plat::SIMPLEREGION || type == plat::COMPLEXREGION) {
    if (mapwin_t* win = get_current_mapwin()) region_rects(win, rgn);
  }
}

void on_mouse_move(plat::Wnd wnd, plat::WParam wparam, plat::LParam lparam) {
  set_busy_cursor(-1);
  // Only the latest position matters: the moves queued right behind this one are
  // dropped, and the last one's position and buttons are used. A move queued after a
  // button message stays where it is: taken before the press, it would start a drag from
  // the last position of the previous one (a fast drag jumped by that distance).
  plat::Msg later;
  while (plat::peek_message(&later, wnd, plat::WM_MOUSEFIRST, plat::WM_MOUSELAST, plat::PM_NOREMOVE) &&
         later.message == plat::WM_MOUSEMOVE &&
         plat::peek_message(&later, wnd, plat::WM_MOUSEMOVE, plat::WM_MOUSEMOVE, plat::PM_REMOVE)) {
    wparam = later.wparam;
    lparam = later.lparam;
  }
  int x = plat::x_of_lparam(lparam), y = plat::y_of_lparam(lparam);
  if (wparam & plat::MK_LBUTTON)
    mapwin_scroll_to(get_current_mapwin(), x, y, 1);
  else if (opt_cursor_display.load())
    cursor_window_update();
}

void on_double_click(plat::LParam lparam, double factor) {
  mapwin_t* win = get_current_mapwin();
  view_zoom_at(win, plat::x_of_lparam(lparam), plat::y_of_lparam(lparam), factor);
  mapwin_request_redraw(win);
}

}  // namespace

void mapview_subclass(plat::Wnd wnd) {
  if (!wnd || plat::get_window_proc(wnd) == mapview_subclass_proc) return;
  g_previous.store(plat::set_window_proc(wnd, mapview_subclass_proc), std::memory_order_release);
}

void on_drop_files(plat::Drop drop) {
  // Each path is read whole, however long it is.
  std::vector<std::string> paths = dropped_paths(drop);
  for (auto it = paths.rbegin(); it != paths.rend(); ++it) open_file(it->c_str());
  plat::drag_finish(drop);
}

plat::LResult mapview_subclass_proc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam,
                                    plat::LParam lparam) {
  if (msg == plat::WM_RBUTTONDOWN) return 0;
  if (msg == plat::WM_PAINT) on_paint(wnd);
  plat::LResult r = plat::call_window_proc(previous_proc(wnd), wnd, msg, wparam, lparam);
  switch (msg) {
    case plat::WM_MOUSEMOVE:
      on_mouse_move(wnd, wparam, lparam);
      break;
    case plat::WM_LBUTTONDOWN:
      mapwin_scroll_to(get_current_mapwin(), plat::x_of_lparam(lparam), plat::y_of_lparam(lparam), 0);
      break;
    case plat::WM_LBUTTONDBLCLK:
      on_double_click(lparam, 2.0);
      break;
    case plat::WM_RBUTTONDBLCLK:
      on_double_click(lparam, 0.5);
      break;
    case plat::WM_HSCROLL:
      on_scroll(2, hscroll_code(plat::loword(wparam)));
      break;
    case plat::WM_VSCROLL:
      on_scroll(1, vscroll_code(plat::loword(wparam)));
      break;
    case plat::WM_SETCURSOR:
      set_busy_cursor(0);
      break;
    case plat::WM_SETFOCUS:
      if (plat::Wnd frame = main_frame_window()) plat::set_focus(frame);
      break;
    case plat::WM_DROPFILES:
      on_drop_files(reinterpret_cast<plat::Drop>(wparam));
      break;
    default:
      break;
  }
  return r;
}
