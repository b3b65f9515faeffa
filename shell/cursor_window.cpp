// The cursor coordinate window: its class, the toggle of the menu, the update from the
// map window's mouse moves and its procedure (see cursor_window.h).
#include <cstdio>
#include <string>

#include "core/error.h"
#include "core/memory.h"
#include "core/tracelog.h"
#include "map/view_records.h"
#include "platform/gdi/gdi.h"
#include "platform/sys/utf.h"
#include "platform/ui/input.h"
#include "platform/ui/messages.h"
#include "platform/ui/paint.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "shell/cursor_window.h"
#include "shell/framework/winutil.h"
#include "shell/menu.h"

namespace {

constexpr const char* kClassName = "curseur";
constexpr int kRightOffset = 500;  // the window's left edge, from the frame's right edge
constexpr int kTop = 30, kWidth = 380, kHeight = 20;
constexpr int kShownTop = 3;
constexpr uint32_t kStyle = plat::WS_VISIBLE | plat::WS_CAPTION;

// The window and the frame it gives the activation back to; both belong to the
// user-interface thread (the shown flag, opt_cursor_display, is read elsewhere).
struct cursor_state {
  plat::Wnd wnd = nullptr;
  plat::Wnd map = nullptr;
  plat::Wnd frame = nullptr;
};
cursor_state& st() {
  static cursor_state s;
  return s;
}

void hide() {
  menu_set_check(IDM_CURSOR_DISPLAY, false);
  if (plat::is_window(st().wnd)) plat::destroy_window(st().wnd);
  st() = cursor_state{};
  opt_cursor_display = 0;
}

void show() {
  mapwin_t* win = get_current_mapwin();
  plat::Wnd frame = command_target_window();
  if (!win || !frame) return;
  plat::Rect frame_rect{};
  plat::get_window_rect(frame, &frame_rect);
  plat::Rect r{};
  r.left = (frame_rect.right - frame_rect.left) - kRightOffset;
  r.top = kTop;
  r.right = r.left + kWidth;
  r.bottom = r.top + kHeight;
  plat::adjust_window_rect(&r, kStyle, false, plat::WS_EX_CLIENTEDGE);
  plat::Wnd wnd = plat::create_window(plat::WS_EX_CLIENTEDGE, kClassName, "", kStyle, r.left, kShownTop,
                                      r.right - r.left, r.bottom - r.top, frame, 0);
  if (!wnd) {
    set_gblerr(ERR_OS);
    return;
  }
  st() = cursor_state{wnd, win->wnd, frame};
  menu_set_check(IDM_CURSOR_DISPLAY, true);
  opt_cursor_display = 1;
  // The keyboard stays with the map.
  plat::set_active_window(frame);
}

void draw_position(plat::Wnd wnd, const char* text) {
  const std::u16string wide = plat::utf8_to_utf16(text);
  plat::Dc dc = plat::get_dc(wnd);
  if (!dc) return;
  plat::text_out(dc, 0, 0, wide.c_str(), int(wide.size()));
  plat::release_dc(wnd, dc);
}

}  // namespace

int register_cursor_class() {
  plat::WndClass cls;
  cls.proc = cursor_wndproc;
  cls.background_sys_color = plat::COLOR_WINDOW;
  cls.name = kClassName;
  if (plat::register_class(cls)) return 1;
  // The window layer keeps no system error number: 0 stands for it.
  char line[64];
  std::snprintf(line, sizeof line, "erreur Windows %d", 0);
  log_line(line);
  set_gblerr(ERR_OS);
  return 0;
}

void cursor_window_toggle() {
  if (opt_cursor_display.load())
    hide();
  else
    show();
}

plat::Wnd cursor_window() { return plat::is_window(st().wnd) ? st().wnd : nullptr; }

void cursor_window_update() {
  plat::Wnd wnd = cursor_window();
  if (!wnd) return;
  mapwin_t* win = get_current_mapwin();
  pane_t* pane = win ? win->pane : nullptr;
  if (!pane) return;
  plat::Point p{};
  plat::get_cursor_pos(&p);
  plat::screen_to_client(win->wnd ? win->wnd : st().map, &p);
  char* position = nullptr;
  char* system = nullptr;
  if (format_cursor_position(p.x, p.y, pane, &position, &system) && position) {
    plat::set_window_text(wnd, system ? system : "");
    // An empty text (no number there, or a unit without format) leaves no earlier
    // position behind: the window is erased to its background.
    if (*position)
      draw_position(wnd, position);
    else
      plat::invalidate_rect(wnd, nullptr, true);
  }
  free_mem(&position);
  free_mem(&system);
}

plat::LResult cursor_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  if (msg == plat::WM_EXITSIZEMOVE) {
    if (plat::is_window(st().frame)) plat::set_active_window(st().frame);
    return 0;
  }
  // Destroyed with its owner: the flag follows, so that the next toggle shows it again.
  if (msg == plat::WM_DESTROY && wnd == st().wnd) {
    st().wnd = nullptr;
    opt_cursor_display = 0;
  }
  return plat::def_window_proc(wnd, msg, wparam, lparam);
}
