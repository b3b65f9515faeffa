// The destination address window: its controls, the two subclassed edit fields (Tab,
// Esc, and ':' in the host field moving on to the port), "+", "->", "<-" and closing.
// Contract in qx_addresses.h.
#include "quellix/qx_addresses.h"

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/command_hooks.h"
#include "core/config.h"
#include "core/memory.h"
#include "core/wstring.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_listbox.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/cursor.h"
#include "platform/ui/keys.h"
#include "platform/ui/messages.h"
#include "platform/ui/queue.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "quellix/qx_destinations.h"
#include "shell/framework/winutil.h"

namespace {

constexpr const char* kClassName = "ClasseAdresses";

struct addresses_state {
  plat::Wnd wnd = nullptr, host = nullptr, port = nullptr, not_selected = nullptr,
            selected = nullptr;
  plat::Wnd owner = nullptr;  // the main window, disabled while this one is open
};
addresses_state& st() {
  static addresses_state s;
  return s;
}

// The edit class's procedure the two fields chain to. Kept apart from the window state,
// which is forgotten when the window is destroyed: the fields are destroyed after it and
// still need their procedure to free what they hold.
std::atomic<plat::WndProc> g_edit_proc{nullptr};

const char* tr(const char* fr, const char* en) { return is_french() ? fr : en; }

std::u16string wide(const std::string& text) {
  char16_t* w = nullptr;
  utf8_to_wcs(text.c_str(), &w);
  std::u16string out = w ? w : u"";
  free_mem(&w);
  return out;
}

std::u16string item_text(plat::Wnd list, int i) {
  const auto len = plat::send_message(list, plat::LB_GETTEXTLEN, plat::WParam(i), 0);
  if (len < 0) return {};
  std::u16string text(size_t(len) + 1, u'\0');
  plat::send_message(list, plat::LB_GETTEXT, plat::WParam(i), plat::LParam(text.data()));
  text.resize(size_t(len));
  return text;
}

void add_item(plat::Wnd list, const std::string& text, int index) {
  const std::u16string w = wide(text);
  const auto at = plat::send_message(list, plat::LB_ADDSTRING, 0, plat::LParam(w.c_str()));
  if (at >= 0) plat::send_message(list, plat::LB_SETITEMDATA, plat::WParam(at), plat::LParam(index));
}

// Removes the entries whose text is exactly `text` (the list box's own search ignores
// case; destinations do not).
void remove_text(plat::Wnd list, const std::string& text) {
  const std::u16string w = wide(text);
  const int n = int(plat::send_message(list, plat::LB_GETCOUNT, 0, 0));
  for (int i = n - 1; i >= 0; --i)
    if (item_text(list, i) == w) plat::send_message(list, plat::LB_DELETESTRING, plat::WParam(i), 0);
}

// Each non-empty slot of a list, from the last slot to the first.
void fill(plat::Wnd list, qx_list_kind which) {
  const std::vector<std::string> texts = qx_destination_texts(which);
  for (int i = int(texts.size()) - 1; i >= 0; --i)
    if (!texts[size_t(i)].empty()) add_item(list, texts[size_t(i)], i);
}

void on_add() {
  addresses_state& s = st();
  char host[kQxAddrHostMax + 1] = {};
  char port[kQxAddrPortMax + 1] = {};
  plat::get_window_text(s.host, host, int(sizeof host));
  plat::get_window_text(s.port, port, int(sizeof port));
  if (!host[0] || !port[0]) return;
  const plat::Cursor before = plat::set_cursor(plat::load_cursor(plat::IDC_WAIT));
  int index = -1;
  std::string text;
  // The port field holds digits only; a value past any port is refused as invalid.
  const long value = std::strtol(port, nullptr, 10);
  qx_add_destination(host, value > 0 && value <= 65535 ? int(value) : 0, &index, &text, 1);
  plat::set_cursor(before ? before : plat::load_cursor(plat::IDC_ARROW));
  if (index < 0) return;
  add_item(s.selected, text, index);
  remove_text(s.not_selected, text);
  plat::set_window_text(s.host, "");
}

// "->" (from the not-selected box) and "<-" (from the selected box).
void on_move(bool select) {
  addresses_state& s = st();
  plat::Wnd from = select ? s.not_selected : s.selected;
  plat::Wnd to = select ? s.selected : s.not_selected;
  int items[kQxAddrMoveMax];
  const int n = int(plat::send_message(from, plat::LB_GETSELITEMS, kQxAddrMoveMax, plat::LParam(items)));
  for (int k = n - 1; k >= 0; --k) {
    const int slot = int(plat::send_message(from, plat::LB_GETITEMDATA, plat::WParam(items[k]), 0));
    int index = -1;
    std::string text;
    const int moved = select ? qx_select_destination(slot, &index, &text)
                             : qx_unselect_destination(slot, &index, &text);
    if (!moved) continue;
    plat::send_message(from, plat::LB_DELETESTRING, plat::WParam(items[k]), 0);
    add_item(to, text, index);
  }
}

// Tab and Esc in both fields; ':' typed in the host field goes on to the port field.
plat::LResult edit_key(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam,
                       plat::Wnd next, bool host) {
  addresses_state& s = st();
  if (msg == plat::WM_KEYDOWN && int(wparam) == plat::VK_TAB) {
    plat::set_focus(next);
    return 0;
  }
  if (msg == plat::WM_KEYDOWN && int(wparam) == plat::VK_ESCAPE) {
    plat::post_message(s.wnd, plat::WM_CLOSE, 0, 0);
    return 0;
  }
  if (msg == plat::WM_CHAR && (wparam == '\t' || wparam == 0x1B)) return 0;
  if (host && msg == plat::WM_CHAR && wparam == ':') {
    plat::set_focus(next);
    return 0;  // the colon never reaches the host text
  }
  return plat::call_window_proc(g_edit_proc.load(), wnd, msg, wparam, lparam);
}

plat::LResult host_proc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  return edit_key(wnd, msg, wparam, lparam, st().port, true);
}

plat::LResult port_proc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  return edit_key(wnd, msg, wparam, lparam, st().host, false);
}

plat::Wnd label(plat::Wnd wnd, const char* text, uint32_t style, int x, int y, int w, int h) {
  return create_control(wnd, plat::kStaticClass, text, style, x, y, w, h, -1);
}

void create_controls(plat::Wnd wnd) {
  addresses_state& s = st();
  // The label ends where the host field begins, the colon where the port field begins.
  label(wnd, tr("Ajouter un client", "Add new client"), plat::SS_LEFT, 10, 8, 160, 22);
  s.host = create_control(wnd, plat::kEditClass, "", plat::WS_TABSTOP | plat::ES_AUTOHSCROLL, 10, 30, 428, 24,
                          kQxAddrHost, plat::WS_EX_CLIENTEDGE);
  label(wnd, ":", plat::SS_CENTER, 438, 30, 8, 24);
  s.port = create_control(wnd, plat::kEditClass, "", plat::WS_TABSTOP | plat::ES_NUMBER, 446, 30, 52, 24,
                          kQxAddrPort, plat::WS_EX_CLIENTEDGE);
  create_control(wnd, plat::kButtonClass, "+", plat::WS_TABSTOP, 506, 28, 28, 28, kQxAddrAdd);
  label(wnd, tr("Non selectionn\xC3\xA9s", "Not selected"), plat::SS_CENTER, 10, 62, 240, 24);
  label(wnd, tr("Selectionn\xC3\xA9s", "Selected"), plat::SS_CENTER, 294, 62, 240, 24);
  const uint32_t list_style = plat::WS_TABSTOP | plat::LBS_SORT | plat::LBS_NOTIFY | plat::LBS_EXTENDEDSEL |
                              plat::WS_VSCROLL | plat::WS_HSCROLL;
  s.not_selected = create_control(wnd, plat::kListBoxClass, "", list_style, 10, 86, 240, 120,
                                  kQxAddrNotSelectedList, plat::WS_EX_CLIENTEDGE);
  s.selected = create_control(wnd, plat::kListBoxClass, "", list_style, 294, 86, 240, 120, kQxAddrSelectedList,
                              plat::WS_EX_CLIENTEDGE);
  create_control(wnd, plat::kButtonClass, "->", plat::WS_TABSTOP, 258, 112, 28, 28, kQxAddrSelect);
  create_control(wnd, plat::kButtonClass, "<-", plat::WS_TABSTOP, 258, 152, 28, 28, kQxAddrUnselect);
  create_control(wnd, plat::kButtonClass, tr("Fermer", "Close"), plat::WS_TABSTOP | plat::BS_DEFPUSHBUTTON, 222,
                 218, 100, 28, kQxAddrClose);
  plat::send_message(s.host, plat::EM_LIMITTEXT, kQxAddrHostMax, 0);
  plat::send_message(s.port, plat::EM_LIMITTEXT, kQxAddrPortMax, 0);
  if (plat::WndProc edit = plat::set_window_proc(s.host, host_proc)) g_edit_proc = edit;
  plat::set_window_proc(s.port, port_proc);
  fill(s.selected, QX_SELECTED);
  fill(s.not_selected, QX_NOT_SELECTED);
}

}  // namespace

int qx_register_addresses_class() {
  return register_button_face_class(kClassName, qx_addresses_wndproc, plat::load_cursor(plat::IDC_ARROW));
}

void qx_open_addresses_window() {
  addresses_state& s = st();
  if (s.wnd && plat::is_window(s.wnd)) {
    plat::set_foreground_window(s.wnd);
    return;
  }
  plat::register_controls();
  if (!qx_register_addresses_class()) return;
  const uint32_t style = plat::WS_POPUP | plat::WS_CAPTION;
  const uint32_t ex_style = plat::WS_EX_DLGMODALFRAME;
  plat::Rect r{100, 100, 100 + 544, 100 + 256};
  plat::adjust_window_rect(&r, style, false, ex_style);
  plat::Wnd owner = dialog_owner_window();
  plat::Wnd wnd = plat::create_window(ex_style, kClassName, tr("Adresses de diffusion", "Diffusion addresses"),
                                      style, r.left, r.top, r.width(), r.height(), owner, 0);
  if (!wnd) return;
  s = addresses_state{};
  s.wnd = wnd;
  s.owner = owner;
  create_controls(wnd);
  plat::show_window(wnd, plat::SW_SHOW);
  if (owner) plat::enable_window(owner, false);
  plat::set_focus(s.host);
}

plat::Wnd qx_addresses_window() {
  const plat::Wnd w = st().wnd;
  return w && plat::is_window(w) ? w : nullptr;
}

plat::LResult qx_addresses_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  switch (msg) {
    case plat::WM_COMMAND:
      switch (plat::loword(wparam)) {
        case kQxAddrAdd:
          on_add();
          return 0;
        case kQxAddrSelect:
          on_move(true);
          return 0;
        case kQxAddrUnselect:
          on_move(false);
          return 0;
        case kQxAddrClose:
          plat::post_message(wnd, plat::WM_CLOSE, 0, 0);
          return 0;
        default:
          return 0;
      }
    case plat::WM_KEYDOWN:
      if (int(wparam) == plat::VK_TAB) {
        plat::set_focus(st().host);
        return 0;
      }
      if (int(wparam) == plat::VK_ESCAPE) {
        plat::post_message(wnd, plat::WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case plat::WM_CLOSE: {
      const plat::Wnd owner = st().wnd == wnd ? st().owner : nullptr;
      if (owner && plat::is_window(owner)) plat::enable_window(owner, true);
      plat::destroy_window(wnd);
      core_post_command(kQxResetSlot, 0, nullptr);
      return 0;
    }
    case plat::WM_DESTROY:
      if (st().wnd == wnd) st() = addresses_state{};
      break;
    default:
      break;
  }
  return plat::def_window_proc(wnd, msg, wparam, lparam);
}
