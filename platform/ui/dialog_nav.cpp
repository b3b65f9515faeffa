// The keyboard of a dialog: the tab order (the items in order, WS_TABSTOP ones only),
// groups (WS_GROUP starts one) walked with the arrows, Enter for the default button,
// Escape for Cancel, and is_dialog_message, which takes these keys before the focused
// item sees them unless the item claims them through WM_GETDLGCODE.
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/dialog_state.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

uint32_t style_of(Wnd w) { return uint32_t(get_window_long(w, GWL_STYLE)); }
unsigned code_of(Wnd w) { return unsigned(send_message(w, WM_GETDLGCODE, 0, 0)); }
// Shown and enabled by its own style: a dialog being built is still hidden itself.
bool can_focus(Wnd w) { return (style_of(w) & WS_VISIBLE) && is_window_enabled(w); }

void collect(Wnd parent, std::vector<Wnd>& out) {
  for (Wnd c : child_windows(parent)) {
    if (get_window_long(c, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) {
      // A hidden or disabled page of items holds none the keyboard may reach.
      if ((style_of(c) & WS_VISIBLE) && is_window_enabled(c)) collect(c, out);
    } else {
      out.push_back(c);
    }
  }
}

// The index of `ctl` (or of the item it belongs to) among the items; -1 when none.
int index_of(const std::vector<Wnd>& items, Wnd ctl) {
  for (Wnd w = ctl; w; w = (get_window_long(w, GWL_STYLE) & WS_CHILD) ? get_parent(w) : nullptr)
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i] == w) return int(i);
  return -1;
}

int wrap_index(int i, int n) { return ((i % n) + n) % n; }

bool is_radio(Wnd w) { return code_of(w) & DLGC_RADIOBUTTON; }

// The checked radio button of an item's group, or the item itself.
Wnd checked_in_group(Wnd dlg, Wnd item) {
  const std::vector<Wnd> items = dialog_controls(dlg);
  const int i = index_of(items, item);
  if (i < 0) return item;
  int s = i;
  while (s > 0 && !(style_of(items[size_t(s)]) & WS_GROUP)) --s;
  for (int k = s; k < int(items.size()) && (k == s || !(style_of(items[size_t(k)]) & WS_GROUP)); ++k) {
    Wnd w = items[size_t(k)];
    if (can_focus(w) && is_radio(w) && send_message(w, BM_GETCHECK, 0, 0) == BST_CHECKED) return w;
  }
  return item;
}

// The first item of the group an item belongs to (its index), -1 when it is no item.
int group_start(const std::vector<Wnd>& items, Wnd w) {
  int s = index_of(items, w);
  while (s > 0 && !(style_of(items[size_t(s)]) & WS_GROUP)) --s;
  return s;
}

bool on_tab(Wnd dlg, Wnd focus) {
  if (get_key_state(VK_CONTROL) < 0) return false;  // Ctrl+Tab belongs to the item (tab controls)
  const bool back = get_key_state(VK_SHIFT) < 0;
  Wnd from = focus == dlg ? nullptr : focus;
  Wnd next = get_next_dlg_tab_item(dlg, from, back);
  // A group of radio buttons is one stop: Tab leaves it whole.
  if (from && next && is_radio(from)) {
    const std::vector<Wnd> items = dialog_controls(dlg);
    const int group = group_start(items, from);
    for (size_t guard = 0; next && next != from && guard < items.size() && is_radio(next) &&
                           group_start(items, next) == group;
         ++guard)
      next = get_next_dlg_tab_item(dlg, next, back);
  }
  dialog_focus_item(dlg, next, true);
  return true;
}

bool on_arrow(Wnd dlg, Wnd focus, int vk) {
  if (focus == dlg) return true;
  Wnd next = get_next_dlg_group_item(dlg, focus, vk == VK_LEFT || vk == VK_UP);
  if (!next || next == focus) return true;
  dialog_focus_item(dlg, next, false);
  // A radio button reached by the arrows is chosen, as a click would.
  if (is_window(next) && is_radio(next)) send_message(next, BM_CLICK, 0, 0);
  return true;
}

bool on_key(Wnd dlg, Msg* msg) {
  const int vk = int(msg->wparam);
  if (vk != VK_TAB && vk != VK_RETURN && vk != VK_ESCAPE && (vk < VK_LEFT || vk > VK_DOWN)) return false;
  Wnd focus = msg->wnd;
  const unsigned code = focus == dlg ? 0 : unsigned(send_message(focus, WM_GETDLGCODE, WParam(vk),
                                                                LParam(reinterpret_cast<intptr_t>(msg))));
  if (code & DLGC_WANTALLKEYS) return false;
  switch (vk) {
    case VK_TAB: return !(code & DLGC_WANTTAB) && on_tab(dlg, focus);
    case VK_RETURN: dialog_press_default(dlg, focus); return true;
    case VK_ESCAPE: dialog_press_cancel(dlg); return true;
    default: return !(code & DLGC_WANTARROWS) && on_arrow(dlg, focus, vk);
  }
}

bool modal_filter(Wnd dlg, const Msg* msg) {
  Msg copy = *msg;
  return is_dialog_message(dlg, &copy);
}

}  // namespace

namespace ui_detail {

ModalFilter dialog_modal_filter() { return modal_filter; }

std::vector<Wnd> dialog_controls(Wnd dlg) {
  std::vector<Wnd> out;
  collect(dlg, out);
  return out;
}

void dialog_focus_item(Wnd dlg, Wnd item, bool into_group) {
  if (!item || !is_window(item)) return;
  if (into_group && is_radio(item)) item = checked_in_group(dlg, item);
  set_focus(item);
  if (is_window(item) && (code_of(item) & DLGC_HASSETSEL)) send_message(item, EM_SETSEL, 0, -1);
}

void dialog_save_focus(Wnd dlg) {
  Wnd f = get_focus();
  DialogRec* rec = dialog_rec(dlg);
  if (rec && f && is_child(dlg, f)) rec->saved_focus = f;
}

void dialog_restore_focus(Wnd dlg) {
  DialogRec* rec = dialog_rec(dlg);
  Wnd target = rec ? rec->saved_focus : nullptr;
  if (!target || !is_window(target) || !is_child(dlg, target) || !can_focus(target)) {
    target = get_next_dlg_tab_item(dlg, nullptr, false);
    if (!target) return;
    dialog_focus_item(dlg, target, true);
    return;
  }
  set_focus(target);
}

void dialog_next_ctl(Wnd dlg, WParam wp, LParam lp) {
  if (loword(uintptr_t(lp))) {
    dialog_focus_item(dlg, reinterpret_cast<Wnd>(wp), false);
    return;
  }
  Wnd f = get_focus();
  dialog_focus_item(dlg, get_next_dlg_tab_item(dlg, f && is_child(dlg, f) ? f : nullptr, wp != 0), true);
}

void dialog_press_default(Wnd dlg, Wnd focus) {
  int id = IDOK;
  Wnd button = nullptr;
  if (focus && focus != dlg && (code_of(focus) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) {
    button = focus;
    id = get_dlg_ctrl_id(focus);
  } else {
    const LResult def = send_message(dlg, DM_GETDEFID, 0, 0);
    if (hiword(uintptr_t(def)) == DC_HASDEFID) id = int(loword(uintptr_t(def)));
    button = get_dlg_item(dlg, id);
  }
  if (button && !is_window_enabled(button)) return;
  send_message(dlg, WM_COMMAND, make_wparam(id, BN_CLICKED), LParam(reinterpret_cast<intptr_t>(button)));
}

void dialog_press_cancel(Wnd dlg) {
  Wnd button = get_dlg_item(dlg, IDCANCEL);
  if (button && !is_window_enabled(button)) return;
  send_message(dlg, WM_COMMAND, make_wparam(IDCANCEL, BN_CLICKED), LParam(reinterpret_cast<intptr_t>(button)));
}

LResult dialog_get_def_id(Wnd dlg) {
  DialogRec* rec = dialog_rec(dlg);
  int id = rec ? rec->def_id : 0;
  if (!id)
    for (Wnd w : dialog_controls(dlg))
      if (code_of(w) & DLGC_DEFPUSHBUTTON) {
        id = get_dlg_ctrl_id(w);
        break;
      }
  return id ? LResult(make_lparam(id, int(DC_HASDEFID))) : 0;
}

void dialog_set_def_id(Wnd dlg, int id) {
  const LResult old = dialog_get_def_id(dlg);
  const int old_id = old ? int(loword(uintptr_t(old))) : 0;
  // Only plain push buttons change their look; owner-drawn ones draw their own.
  auto restyle = [](Wnd b, uint32_t from, uint32_t to) {
    if (!b || !same_ascii_ci(get_class_name(b), "Button")) return;
    const uint32_t s = style_of(b);
    if ((s & BS_TYPEMASK) == from) send_message(b, BM_SETSTYLE, WParam((s & 0xFFF0u) | to), 1);
  };
  if (old_id && old_id != id) restyle(get_dlg_item(dlg, old_id), BS_DEFPUSHBUTTON, BS_PUSHBUTTON);
  restyle(get_dlg_item(dlg, id), BS_PUSHBUTTON, BS_DEFPUSHBUTTON);
  if (DialogRec* rec = dialog_rec(dlg)) rec->def_id = id;
}

}  // namespace ui_detail

Wnd get_next_dlg_tab_item(Wnd dlg, Wnd ctl, bool previous) {
  const std::vector<Wnd> items = dialog_controls(dlg);
  const int n = int(items.size());
  if (n == 0) return nullptr;
  int i = index_of(items, ctl);
  if (i < 0) i = previous ? n : -1;
  for (int step = 1; step <= n; ++step) {
    Wnd w = items[size_t(wrap_index(i + (previous ? -step : step), n))];
    if ((style_of(w) & WS_TABSTOP) && can_focus(w)) return w;
  }
  return nullptr;
}

Wnd get_next_dlg_group_item(Wnd dlg, Wnd ctl, bool previous) {
  const std::vector<Wnd> items = dialog_controls(dlg);
  const int i = index_of(items, ctl);
  if (i < 0) return nullptr;
  int s = i;
  while (s > 0 && !(style_of(items[size_t(s)]) & WS_GROUP)) --s;
  int e = i + 1;
  while (e < int(items.size()) && !(style_of(items[size_t(e)]) & WS_GROUP)) ++e;
  const int size = e - s;
  for (int step = 1; step < size; ++step) {
    Wnd w = items[size_t(s + wrap_index(i - s + (previous ? -step : step), size))];
    if (can_focus(w) && !(code_of(w) & DLGC_STATIC)) return w;
  }
  return items[size_t(i)];
}

bool is_dialog_message(Wnd dlg, Msg* msg) {
  if (!msg || !is_window(dlg) || !msg->wnd) return false;
  if (msg->wnd != dlg && !is_child(dlg, msg->wnd)) return false;
  if (msg->message == WM_KEYDOWN && on_key(dlg, msg)) return true;
  translate_message(msg);
  dispatch_message(msg);
  return true;
}

}  // namespace plat
