// The window classes the framework registers by hand ("ClasseDialogue" and the classes
// cloned from the system edit class) and the scrolled map child window of the frame.
#include <atomic>

#include "core/config.h"
#include "core/error.h"
#include "map/view_records.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ui.h"
#include "shell/framework/winutil.h"

namespace {

std::atomic<plat::WndProc> g_map_subclass{nullptr};
// The procedure the subclass replaced on the map child window, kept once when it is
// installed so that the subclass can chain to it without asking again per message.
std::atomic<plat::WndProc> g_map_previous{nullptr};

}  // namespace

int register_edit_class(const char* name) {
  if (!name || !*name) return set_gblerr(ERR_OS), 0;
  plat::WndClass existing;
  if (plat::get_class_info(name, &existing)) return 1;
  plat::register_edit_control();
  plat::WndClass edit;
  if (!plat::get_class_info(plat::kEditClass, &edit)) return set_gblerr(ERR_OS), 0;
  plat::WndClass cls;
  cls.style = plat::CS_DBLCLKS;
  cls.proc = edit.proc;
  // The edit procedure keeps its state in the window's own bytes: without them it
  // could not find that state again, and would neither work nor free it.
  cls.wnd_extra = edit.wnd_extra;
  cls.name = name;
  if (!plat::register_class(cls)) return set_gblerr(ERR_OS), 0;
  return 1;
}

int register_button_face_class(const char* name, plat::WndProc proc, plat::Cursor cursor) {
  plat::WndClass existing;
  if (plat::get_class_info(name, &existing)) return 1;
  plat::WndClass cls;
  cls.style = plat::CS_HREDRAW | plat::CS_VREDRAW;
  cls.proc = proc;
  cls.cursor = cursor;
  cls.background_sys_color = plat::COLOR_BTNFACE;
  cls.name = name;
  return plat::register_class(cls) ? 1 : 0;
}

int register_dialog_class() { return register_button_face_class("ClasseDialogue", plat::def_window_proc); }

void set_map_subclass_routine(plat::WndProc proc) {
  g_map_subclass.store(proc);
  if (!proc) g_map_previous.store(nullptr, std::memory_order_release);
}

plat::WndProc map_subclass_previous() { return g_map_previous.load(std::memory_order_acquire); }

mapwin_t* create_scrolled_child(const char* class_name, mapwin_t* parent, mapwin_t** out, int scroll,
                                int toolbar_left, int toolbar_size) {
  if (out) *out = nullptr;
  if (!register_edit_class(class_name)) return nullptr;
  plat::Wnd parent_wnd = window_object_wnd(parent);
  int off_x = toolbar_left ? toolbar_size : 0;
  int off_y = toolbar_left ? 0 : toolbar_size;
  plat::Rect pc;
  if (parent_wnd) plat::get_client_rect(parent_wnd, &pc);
  // The window belongs to an edit class: read-only in both forms, so that keys typed
  // into the map never become text of its own.
  uint32_t ex = plat::WS_EX_CLIENTEDGE | plat::WS_EX_ACCEPTFILES;
  uint32_t style = plat::WS_CHILD | plat::WS_VISIBLE | plat::ES_READONLY | plat::ES_NOHIDESEL;
  int w = 10000, h = 10000;
  if (scroll) {
    style |= plat::WS_HSCROLL | plat::WS_VSCROLL;
    w = pc.width() - off_x;
    h = pc.height() - off_y;
  } else {
    ex |= plat::WS_EX_NOPARENTNOTIFY;
  }
  plat::Wnd wnd = plat::create_window(ex, class_name, "", style, off_x, off_y, w < 0 ? 0 : w,
                                      h < 0 ? 0 : h, parent_wnd, 0);
  if (!wnd) return set_gblerr(ERR_OS), nullptr;
  if (plat::WndProc proc = g_map_subclass.load())
    g_map_previous.store(plat::set_window_proc(wnd, proc), std::memory_order_release);
  // The frame's object takes its client size now; the child is already placed and
  // sized (a child without scroll bars keeps its 10000 x 10000).
  if (parent) main_resize_children(parent, nullptr, pc.width(), pc.height());
  plat::Rect client;
  plat::get_client_rect(wnd, &client);
  mapwin_t* child = attach_window_object(out, wnd, off_x, off_y, client.width(), client.height(),
                                         config_back_color(), 32, scroll);
  if (scroll && child) {
    plat::enable_scroll_bar(wnd, plat::SB_HORZ, plat::ESB_ENABLE_BOTH);
    plat::enable_scroll_bar(wnd, plat::SB_VERT, plat::ESB_ENABLE_BOTH);
  }
  return child;
}
