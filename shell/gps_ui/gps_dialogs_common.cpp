// What the download and navigation windows share: texts, check boxes, numbers read
// from edits, the pixel-layout controls, the window with its disabled owner, and the
// receiver lists whose data words are port ids.
#include <cstdlib>
#include <cstring>
#include <map>

#include "core/config.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "gps/gpsport.h"
#include "platform/ui/controls.h"
#include "platform/ui/dialog_codes.h"
#include "platform/ui/keys.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/queue.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "shell/framework/winutil.h"
#include "shell/gps_ui/gps_dialogs_internal.h"

namespace gps_dialogs {

namespace {

// The procedures the windows' controls had before they took the Escape key
// (user-interface thread).
std::map<plat::Wnd, plat::WndProc>& escape_procs() {
  static std::map<plat::Wnd, plat::WndProc> procs;
  return procs;
}

// Escape closes the window, as it closes every dialog, unless the control wants the key
// itself (a drop-down list that is open closes its list).
plat::LResult escape_proc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  auto it = escape_procs().find(wnd);
  const plat::WndProc previous = it == escape_procs().end() ? plat::def_window_proc : it->second;
  if (msg == plat::WM_KEYDOWN && int(wparam) == plat::VK_ESCAPE) {
    plat::Msg key;
    key.wnd = wnd;
    key.message = msg;
    key.wparam = wparam;
    key.lparam = lparam;
    const plat::LResult code = plat::call_window_proc(previous, wnd, plat::WM_GETDLGCODE, wparam,
                                                      plat::LParam(reinterpret_cast<intptr_t>(&key)));
    if (!(code & plat::DLGC_WANTALLKEYS)) {
      plat::post_message(plat::get_parent(wnd), plat::WM_CLOSE, 0, 0);
      return 0;
    }
  }
  if (msg == plat::WM_NCDESTROY && it != escape_procs().end()) {
    escape_procs().erase(it);
    return plat::call_window_proc(previous, wnd, msg, wparam, lparam);
  }
  return plat::call_window_proc(previous, wnd, msg, wparam, lparam);
}

}  // namespace

plat::Wnd takes_escape(plat::Wnd control) {
  if (control) escape_procs()[control] = plat::set_window_proc(control, escape_proc);
  return control;
}

const char* tr(const char* fr, const char* en) { return is_french() ? fr : en; }

bool checked(plat::Wnd box) { return plat::send_message(box, plat::BM_GETCHECK, 0, 0) == plat::BST_CHECKED; }

void set_checked(plat::Wnd box, bool on) {
  plat::send_message(box, plat::BM_SETCHECK, on ? plat::BST_CHECKED : plat::BST_UNCHECKED, 0);
}

void enable_item(plat::Wnd item, bool on) {
  if (!on && (uint32_t(plat::get_window_long(item, plat::GWL_STYLE)) & 0xF) == plat::BS_AUTOCHECKBOX) set_checked(item, false);
  plat::enable_window(item, on);
}

bool has_text(plat::Wnd edit) {
  char buf[2] = {};
  return plat::get_window_text(edit, buf, int(sizeof buf)) > 0;
}

int edit_number(plat::Wnd edit, int chars) {
  char buf[32] = {};
  if (chars > int(sizeof buf) - 1) chars = int(sizeof buf) - 1;
  plat::get_window_text(edit, buf, chars + 1);
  // Digits only (the edit refuses others); a number too large for the port's word is 0.
  long value = 0;
  for (const char* p = buf; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > 99999999) return 0;
  }
  return int(value);
}

plat::Wnd group(plat::Wnd parent, const char* text, int x, int y, int w, int h) {
  return create_control(parent, plat::kButtonClass, text, plat::BS_GROUPBOX, x, y, w, h, -1);
}

plat::Wnd label(plat::Wnd parent, int id, const char* text, int x, int y, int w) {
  return create_control(parent, plat::kStaticClass, text, plat::SS_LEFT, x, y, w, 20, id);
}

plat::Wnd check_box(plat::Wnd parent, int id, const char* text, int x, int y, int w) {
  return takes_escape(create_control(parent, plat::kButtonClass, text, plat::WS_TABSTOP | plat::BS_AUTOCHECKBOX, x,
                                    y, w, 20, id));
}

plat::Wnd number_edit(plat::Wnd parent, int id, int x, int y, int w, int limit) {
  plat::Wnd e = create_control(parent, plat::kEditClass, "",
                               plat::WS_TABSTOP | plat::ES_AUTOHSCROLL | plat::ES_NUMBER, x, y, w, 22, id,
                               plat::WS_EX_CLIENTEDGE);
  if (e && limit > 0) plat::send_message(e, plat::EM_LIMITTEXT, plat::WParam(limit), 0);
  return takes_escape(e);
}

plat::Wnd drop_list(plat::Wnd parent, int id, int x, int y, int w) {
  return takes_escape(create_control(parent, plat::kComboBoxClass, "",
                                    plat::WS_TABSTOP | plat::WS_VSCROLL | plat::CBS_DROPDOWNLIST, x, y, w, 200, id));
}

plat::Wnd button(plat::Wnd parent, int id, const char* text, int x, int y, int w, bool is_default) {
  return takes_escape(create_control(parent, plat::kButtonClass, text,
                                    plat::WS_TABSTOP | (is_default ? plat::BS_DEFPUSHBUTTON : plat::BS_PUSHBUTTON), x,
                                    y, w, 28, id));
}

plat::Wnd open_window(const char* title, int width, int height, plat::Wnd* owner) {
  plat::register_controls();
  register_dialog_class();
  const uint32_t style = plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU;
  const uint32_t ex_style = plat::WS_EX_DLGMODALFRAME;
  plat::Rect r{60, 60, 60 + width, 60 + height};
  plat::adjust_window_rect(&r, style, false, ex_style);
  const plat::Wnd parent = dialog_owner_window();
  plat::Wnd wnd = plat::create_window(ex_style, "ClasseDialogue", title, style, r.left, r.top, r.width(),
                                      r.height(), parent, 0);
  *owner = wnd ? parent : nullptr;
  if (wnd && parent) plat::enable_window(parent, false);
  return wnd;
}

void release_owner(plat::Wnd owner) {
  if (!owner || !plat::is_window(owner)) return;
  plat::enable_window(owner, true);
  plat::set_foreground_window(owner);
}

void release_receivers(plat::Wnd combo, bool keep_selected) {
  if (combo) combo_take_data(combo, keep_selected ? 1 : 0);
}

int fill_receivers(plat::Wnd combo, container_t* list) {
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i) {
    const auto* port = static_cast<const gpsport_t*>(list->elems[i]);
    if (port) combo_add_item(combo, port->display_name ? port->display_name : "", port->id);
  }
  obj_t* l = reinterpret_cast<obj_t*>(list);
  free_obj(&l);
  return n;
}

gpsport_t* selected_receiver(plat::Wnd combo) {
  const intptr_t id = combo_selected_data(combo);
  if (id <= 0) return nullptr;
  obj_t* found = nullptr;
  obj_find_in_class(CLS_GPSPORT, int(id), &found);
  return static_cast<gpsport_t*>(found);
}

}  // namespace gps_dialogs
