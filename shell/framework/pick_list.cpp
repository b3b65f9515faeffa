// The pick list ("ClasseListes"): the user picks one of the offered objects, or types a
// number of at least three digits, and the window posts its command slot with the
// choice as text when it closes. One pick list is open at a time; its state lives here.
#include "shell/framework/pick_list.h"

#include <climits>
#include <cstdlib>
#include <string>

#include "core/config.h"
#include "core/obj_list.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_listbox.h"
#include "platform/ui/dialog.h"
#include "platform/ui/ui.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/winutil.h"

namespace {

struct pick_state {
  plat::Wnd wnd = nullptr;
  plat::Wnd edit = nullptr, list = nullptr, ok = nullptr;
  container_t* objects = nullptr;
  int chosen = -1;
  int slot = 0;
  bool setting_text = false;  // the edit's text is being emptied by code
  std::string result;
};

// User-interface thread only.
pick_state& P() {
  static pick_state s;
  return s;
}

void on_list_select() {
  pick_state& s = P();
  int sel = int(plat::send_message(s.list, plat::LB_GETCURSEL, 0, 0));
  if (sel < 0) return;
  s.chosen = sel;
  s.setting_text = true;
  plat::set_window_text(s.edit, "");
  s.setting_text = false;
  plat::enable_window(s.ok, true);
}

void on_edit_change() {
  pick_state& s = P();
  if (s.setting_text) return;
  if (plat::get_window_text_length(s.edit) < 3) {
    plat::enable_window(s.ok, false);
    return;
  }
  plat::send_message(s.list, plat::LB_SETCURSEL, plat::WParam(-1), 0);
  s.chosen = -1;
  plat::enable_window(s.ok, true);
}

void on_ok() {
  pick_state& s = P();
  obj_t* obj = nullptr;
  if (s.chosen >= 0 && obj_list_get(s.objects, s.chosen, &obj) && obj) {
    s.result = std::to_string(obj->id);
  } else {
    char typed[kPickMaxTyped + 1] = {};
    plat::get_window_text(s.edit, typed, sizeof typed);
    // The field takes any text: the smallest number has no opposite, so it stands
    // for the largest one.
    long long number = std::strtoll(typed, nullptr, 10);
    s.result = std::to_string(number == LLONG_MIN ? LLONG_MAX : -number);
  }
  plat::post_message(s.wnd, plat::WM_CLOSE, 0, 0);
}

void on_close(plat::Wnd wnd) {
  pick_state& s = P();
  if (plat::Wnd owner = plat::get_owner(wnd)) plat::enable_window(owner, true);
  int slot = s.slot;
  s.wnd = s.edit = s.list = s.ok = nullptr;
  s.objects = nullptr;
  plat::destroy_window(wnd);
  post_command(slot, 0, s.result.c_str());
}

}  // namespace

int register_pick_list_class() {
  return register_button_face_class("ClasseListes", pick_list_wndproc, plat::load_cursor(plat::IDC_ARROW));
}

plat::LResult pick_list_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  if (msg == plat::WM_CLOSE) {
    on_close(wnd);
    return 0;
  }
  if (msg == plat::WM_COMMAND && wnd == P().wnd) {
    int id = int(plat::loword(wparam)), code = int(plat::hiword(wparam));
    if (id == kPickList && code == plat::LBN_SELCHANGE) on_list_select();
    else if (id == kPickList && code == plat::LBN_DBLCLK) on_list_select(), on_ok();
    else if (id == kPickEdit && code == plat::EN_CHANGE) on_edit_change();
    else if (id == kPickOk && code == plat::BN_CLICKED) on_ok();
    else if (id == kPickCancel && code == plat::BN_CLICKED) plat::post_message(wnd, plat::WM_CLOSE, 0, 0);
    return 0;
  }
  return plat::def_window_proc(wnd, msg, wparam, lparam);
}

plat::Wnd create_pick_list(const char* title, container_t* objects, int slot) {
  pick_state& s = P();
  if (s.wnd && plat::is_window(s.wnd)) return nullptr;
  plat::register_controls();
  register_pick_list_class();
  plat::Wnd owner = dialog_owner_window();
  plat::Rect r{0, 0, 300, 300};
  uint32_t style = plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU;
  plat::adjust_window_rect(&r, style, false);
  plat::Wnd wnd = plat::create_window(0, "ClasseListes", title ? title : "", style, 120, 120, r.width(),
                                      r.height(), owner, 0);
  if (!wnd) return nullptr;
  s = pick_state{};
  s.wnd = wnd;
  s.objects = objects;
  s.slot = slot;
  s.edit = create_control(wnd, plat::kEditClass, "", plat::WS_TABSTOP | plat::ES_AUTOHSCROLL, 10, 10, 280, 24,
                          kPickEdit, plat::WS_EX_CLIENTEDGE);
  plat::send_message(s.edit, plat::EM_LIMITTEXT, kPickMaxTyped, 0);
  s.list = create_control(wnd, plat::kListBoxClass, "",
                          plat::WS_TABSTOP | plat::WS_VSCROLL | plat::WS_BORDER | plat::LBS_NOTIFY |
                              plat::LBS_NOINTEGRALHEIGHT,
                          10, 42, 280, 200, kPickList);
  for (int i = 0; i < obj_list_count(objects); ++i) {
    obj_t* o = nullptr;
    obj_list_get(objects, i, &o);
    const char* name = o ? obj_name_get(o) : nullptr;
    int id = o ? o->id : 0;
    list_add_item(s.list, (name && *name) ? name : std::to_string(id).c_str(), id);
  }
  const bool fr = is_french();
  s.ok = create_control(wnd, plat::kButtonClass, "OK", plat::WS_TABSTOP | plat::BS_DEFPUSHBUTTON, 190, 254, 100,
                        28, kPickOk);
  create_control(wnd, plat::kButtonClass, fr ? "Annuler" : "Cancel", plat::WS_TABSTOP, 10, 254, 100, 28,
                 kPickCancel);
  plat::enable_window(s.ok, false);
  if (owner) plat::enable_window(owner, false);
  plat::show_window(wnd, plat::SW_SHOW);
  plat::set_focus(s.edit);
  return wnd;
}

const char* pick_list_result() { return P().result.c_str(); }
