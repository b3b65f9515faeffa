// Window objects: the map-window record that stands for every window the framework
// manages, completed with its window handle and its two background brushes; the command
// target's window; window-object texts; the frame's resize of its map child window.
#include <atomic>

#include "core/error.h"
#include "map/view_records.h"
#include "platform/ui/ui.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/winutil.h"

namespace {

std::atomic<redraw_interrupt_fn> g_redraw_interrupt{nullptr};

// The colour of a colour word (its fourth byte is the "set" mark, not a colour).
plat::Color colour_of_word(uint32_t word) { return plat::Color(word & 0xFFFFFFu); }

// Each of red, green and blue complemented.
plat::Color inverse_colour(plat::Color c) { return plat::Color(~c & 0xFFFFFFu); }

}  // namespace

mapwin_t* attach_window_object(mapwin_t** out, plat::Wnd wnd, int x, int y, int width, int height,
                               uint32_t back_color, int depth, int scroll) {
  mapwin_t* local = nullptr;
  mapwin_t** slot = out ? out : &local;
  mapwin_new(slot, x, y, width, height, back_color, depth, scroll);
  mapwin_t* win = *slot;
  if (!win || get_gblerr() != 0) return win;
  win->wnd = wnd;
  win->brush = plat::create_solid_brush(colour_of_word(back_color));
  win->inverse_brush = plat::create_solid_brush(inverse_colour(colour_of_word(back_color)));
  if (wnd) {
    plat::set_active_window(plat::get_ancestor(wnd, plat::GA_ROOT));
    plat::set_focus(wnd);
  }
  if (!get_command_target()) set_command_target(win, wnd);
  return win;
}

plat::Wnd window_object_wnd(const mapwin_t* winobj) { return winobj ? winobj->wnd : nullptr; }

plat::Wnd command_target_window() { return get_command_target_wnd(); }

plat::Wnd dialog_owner_window() {
  plat::Wnd target = command_target_window();
  if (target && plat::is_window(target)) return target;
  return plat::get_active_window();
}

void set_window_object_text(mapwin_t* winobj, const char* text) {
  plat::Wnd wnd = winobj ? winobj->wnd : command_target_window();
  if (wnd) plat::set_window_text(wnd, text ? text : "");
}

void set_redraw_interrupt_routine(redraw_interrupt_fn fn) { g_redraw_interrupt.store(fn); }

void main_resize_children(mapwin_t* frame, mapwin_t* child, int width, int height) {
  if (frame) {
    frame->width = width;
    frame->height = height;
  }
  redraw_interrupt_fn interrupt = g_redraw_interrupt.load();
  if (!child || !child->wnd) {
    if (interrupt) interrupt(1);
    return;
  }
  plat::Rect r;
  plat::get_window_rect(child->wnd, &r);
  plat::Point pos{r.left, r.top};
  plat::Wnd parent = plat::get_parent(child->wnd);
  if (parent) plat::screen_to_client(parent, &pos);
  int w = width - pos.x, h = height - pos.y;
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  plat::move_window(child->wnd, pos.x, pos.y, w, h, true);
  plat::Rect client;
  plat::get_client_rect(child->wnd, &client);
  child->width = client.width();
  child->height = client.height();
  if (interrupt) interrupt(1);
}
