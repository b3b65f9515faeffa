// The combo box control's window procedure: the combo box messages, the edit field and
// its notifications, the text, the focus, and the height the combo box keeps.
#include <algorithm>

#include "platform/ui/controls.h"
#include "platform/ui/ctl_combo_state.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_paint.h"
#include "platform/ui/ctl_state.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialog_codes.h"
#include "platform/ui/input.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"

namespace plat {

using namespace ui_detail;

namespace {

int count(const ComboData& d) { return int(d.items.size()); }
int as_int(uintptr_t v) { return int(intptr_t(v)); }
bool inside(Wnd combo, Wnd w) { return w && (w == combo || is_child(combo, w)); }

void set_edit_text(ComboData& d, const std::u16string& text) {
  if (!d.edit) return;
  d.quiet = true;
  set_window_text_w(d.edit, text.c_str());
  d.quiet = false;
  send_message(d.edit, EM_SETSEL, 0, -1);
}

void measure(ComboData& d) {
  d.item_height = font_text_height(d.font) + 2;
  d.field_height = d.item_height + 6;
}

// A drop-down combo box keeps its field's height; a larger height given to it is the
// room of its list.
void keep_height(Wnd wnd, ComboData& d) {
  Rect wr;
  if (combo_type(wnd) == CBS_SIMPLE || d.resizing || !get_window_rect(wnd, &wr)) return;
  if (wr.height() == d.field_height) return;
  if (wr.height() > d.field_height) d.list_room = wr.height() - d.field_height;
  d.resizing = true;
  set_window_pos(wnd, nullptr, 0, 0, wr.width(), d.field_height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  d.resizing = false;
}

void place_edit(Wnd wnd, ComboData& d) {
  if (!d.edit) return;
  Rect f = combo_field_rect(wnd, d);
  move_window(d.edit, f.left + 1, f.top + 1, std::max(0, f.width() - 2), std::max(0, f.height() - 2), true);
}

LResult on_create(Wnd wnd, ComboData& d, const CreateStruct* cs) {
  measure(d);
  if (has_edit(wnd)) {
    const uint32_t style = cs ? cs->style : 0;
    uint32_t es = WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL;
    if (style & CBS_UPPERCASE) es |= ES_UPPERCASE;
    if (style & CBS_LOWERCASE) es |= ES_LOWERCASE;
    if (style & WS_DISABLED) es |= WS_DISABLED;
    d.edit = create_window_w(0, kEditClass, cs && cs->name ? cs->name : u"", es, 0, 0, 10, 10, wnd,
                             uintptr_t(kComboEditId));
    if (!d.edit) return -1;
    combo_subclass_edit(d.edit);
    send_message(d.edit, EM_SETSEL, 0, 0);
  }
  keep_height(wnd, d);
  place_edit(wnd, d);
  return 0;
}

void adjust_for_insert(ComboData& d, int at) {
  for (int* i : {&d.sel, &d.hot})
    if (*i >= at) ++*i;
}

LResult add_string(Wnd wnd, ComboData& d, int at, LParam text) {
  if ((uint32_t(get_window_long(wnd, GWL_STYLE)) & CBS_SORT) && at == -2) at = sorted_position(d.items, text_param(text));
  at = insert_item(d.items, at, text_param(text));
  adjust_for_insert(d, at);
  combo_refresh_list(wnd, d);
  return at;
}

LResult delete_string(Wnd wnd, ComboData& d, WParam index) {
  if (!valid_index(d.items, index)) return CB_ERR;
  const int at = int(index);
  d.items.erase(d.items.begin() + at);
  for (int* i : {&d.sel, &d.hot}) {
    if (*i == at) {
      *i = -1;
    } else if (*i > at) {
      --*i;
    }
  }
  combo_set_top(wnd, d, d.top);
  invalidate_rect(wnd, nullptr, true);
  combo_refresh_list(wnd, d);
  return count(d);
}

LResult reset_content(Wnd wnd, ComboData& d) {
  combo_close(wnd, d, CloseHow::quietly);
  d.items.clear();
  d.sel = d.hot = -1;
  d.top = 0;
  set_edit_text(d, u"");
  invalidate_rect(wnd, nullptr, true);
  return CB_OKAY;
}

LResult set_cur_sel(Wnd wnd, ComboData& d, WParam wp) {
  if (!valid_index(d.items, wp)) {
    combo_select(wnd, d, -1);
    return CB_ERR;
  }
  combo_select(wnd, d, int(wp));
  return int(wp);
}

LResult select_string(Wnd wnd, ComboData& d, WParam start, LParam text) {
  const int i = find_item(d.items, as_int(start), text_param(text), false);
  if (i >= 0) combo_select(wnd, d, i);
  return i;
}

LResult dropped_rect(Wnd wnd, const ComboData& d, LParam out) {
  auto* r = reinterpret_cast<Rect*>(out);
  if (!r) return CB_ERR;
  if (!d.popup || !get_window_rect(d.popup, r)) *r = combo_dropped_rect(wnd, d);
  return 1;
}

LResult get_text(Wnd wnd, const ComboData& d, WParam size, LParam buffer) {
  if (d.edit) return send_message(d.edit, WM_GETTEXT, size, buffer);
  auto* out = reinterpret_cast<char16_t*>(buffer);
  if (!out || size == 0) return 0;
  const std::u16string text = d.sel >= 0 ? d.items[size_t(d.sel)].text : std::u16string();
  const size_t n = std::min<size_t>(text.size(), size - 1);
  std::copy(text.begin(), text.begin() + long(n), out);
  out[n] = 0;
  return LResult(n);
}

LResult set_text(Wnd wnd, ComboData& d, LParam text) {
  if (d.edit) {
    set_edit_text(d, text_param(text));
    return 1;
  }
  const int i = find_item(d.items, -1, text_param(text), true);
  if (i < 0) return CB_ERR;
  combo_select(wnd, d, i);
  return 1;
}

// What the edit field tells its parent: the user's typing becomes the combo's own
// notifications; text set by the combo box itself raises nothing.
LResult on_command(Wnd wnd, ComboData& d, WParam wp, LParam lp) {
  if (reinterpret_cast<Wnd>(lp) != d.edit || !d.edit || d.quiet) return 0;
  const int code = int(hiword(wp));
  if (code == EN_UPDATE) notify_command(wnd, CBN_EDITUPDATE);
  if (code == EN_CHANGE) notify_command(wnd, CBN_EDITCHANGE);
  return 0;
}

LResult combo_message(Wnd wnd, ComboData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case CB_LIMITTEXT:
      if (d.edit) send_message(d.edit, EM_LIMITTEXT, wp, 0);
      return 1;
    case CB_ADDSTRING: return add_string(wnd, d, -2, lp);
    case CB_INSERTSTRING:
      if (as_int(wp) != -1 && (as_int(wp) < 0 || as_int(wp) > count(d))) return CB_ERR;
      return add_string(wnd, d, as_int(wp), lp);
    case CB_DELETESTRING: return delete_string(wnd, d, wp);
    case CB_GETCOUNT: return count(d);
    case CB_GETCURSEL: return d.sel;
    case CB_GETLBTEXT: return valid_index(d.items, wp) ? copy_item_text(d.items[wp], lp) : CB_ERR;
    case CB_GETLBTEXTLEN: return valid_index(d.items, wp) ? LResult(d.items[wp].text.size()) : CB_ERR;
    case CB_RESETCONTENT: return reset_content(wnd, d);
    case CB_FINDSTRING: return find_item(d.items, as_int(wp), text_param(lp), false);
    case CB_FINDSTRINGEXACT: return find_item(d.items, as_int(wp), text_param(lp), true);
    case CB_SELECTSTRING: return select_string(wnd, d, wp, lp);
    case CB_SETCURSEL: return set_cur_sel(wnd, d, wp);
    case CB_SHOWDROPDOWN:
      if (wp) {
        combo_open(wnd, d, false);
      } else {
        combo_close(wnd, d, CloseHow::quietly);
      }
      return 1;
    case CB_GETITEMDATA: return valid_index(d.items, wp) ? d.items[wp].data : CB_ERR;
    case CB_SETITEMDATA:
      if (!valid_index(d.items, wp)) return CB_ERR;
      d.items[wp].data = lp;
      return CB_OKAY;
    case CB_GETDROPPEDCONTROLRECT: return dropped_rect(wnd, d, lp);
    case CB_GETITEMHEIGHT: return as_int(wp) == -1 ? d.field_height : d.item_height;
    case CB_GETDROPPEDSTATE: return d.dropped ? 1 : 0;
    case CB_GETTOPINDEX: return d.top;
    case CB_SETTOPINDEX:
      if (!valid_index(d.items, wp)) return CB_ERR;
      combo_set_top(wnd, d, int(wp));
      return CB_OKAY;
    case EM_GETSEL:
    case EM_SETSEL: return d.edit ? send_message(d.edit, msg, wp, lp) : 0;
    default: return def_window_proc(wnd, msg, wp, lp);
  }
}

LResult on_set_font(Wnd wnd, ComboData& d, WParam wp, LParam lp) {
  d.font = reinterpret_cast<Font>(wp);
  measure(d);
  if (d.edit) send_message(d.edit, WM_SETFONT, wp, lp);
  Rect wr;
  if (combo_type(wnd) != CBS_SIMPLE && get_window_rect(wnd, &wr)) {
    d.resizing = true;
    set_window_pos(wnd, nullptr, 0, 0, wr.width(), d.field_height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    d.resizing = false;
  }
  place_edit(wnd, d);
  if (lp) invalidate_rect(wnd, nullptr, true);
  return 0;
}

LResult on_focus(Wnd wnd, ComboData& d, bool gained, Wnd other) {
  if (gained) {
    if (!inside(wnd, other)) combo_focus_in(wnd, d, other);
    if (is_window(wnd) && d.edit) set_focus(d.edit);
  } else if (!inside(wnd, other)) {
    combo_focus_out(wnd, d, other);
  }
  return 0;
}

LResult window_message(Wnd wnd, ComboData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case WM_CREATE: return on_create(wnd, d, reinterpret_cast<const CreateStruct*>(lp));
    case WM_DESTROY: combo_close(wnd, d, CloseHow::quietly); return 0;
    case WM_SIZE:
      keep_height(wnd, d);
      place_edit(wnd, d);
      invalidate_rect(wnd, nullptr, true);
      return 0;
    case WM_PAINT: combo_paint(wnd, d); return 0;
    case WM_ERASEBKGND: return 1;  // WM_PAINT fills the client area
    case WM_SETTEXT: return set_text(wnd, d, lp);
    case WM_GETTEXT: return get_text(wnd, d, wp, lp);
    case WM_GETTEXTLENGTH:
      if (d.edit) return send_message(d.edit, WM_GETTEXTLENGTH, 0, 0);
      return d.sel >= 0 ? LResult(d.items[size_t(d.sel)].text.size()) : 0;
    case WM_SETFONT: return on_set_font(wnd, d, wp, lp);
    case WM_GETFONT: return LResult(reinterpret_cast<intptr_t>(d.font));
    case WM_ENABLE:
      if (!wp) combo_close(wnd, d, CloseHow::quietly);
      if (d.edit) enable_window(d.edit, wp != 0);
      invalidate_rect(wnd, nullptr, true);
      return 0;
    case WM_SETFOCUS: return on_focus(wnd, d, true, reinterpret_cast<Wnd>(wp));
    case WM_KILLFOCUS: return on_focus(wnd, d, false, reinterpret_cast<Wnd>(wp));
    case WM_COMMAND: return on_command(wnd, d, wp, lp);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: return send_message(get_parent(wnd), msg, wp, lp);
    case WM_GETDLGCODE: return combo_dialog_code(wnd, d, lp);
    case WM_KEYDOWN: combo_on_key(wnd, d, int(wp), false); return 0;
    case WM_CHAR:
      if (wp <= 0xFFFF && combo_on_char(wnd, d, char16_t(wp))) return 0;
      return def_window_proc(wnd, msg, wp, lp);
    case WM_SYSKEYDOWN:
      if (combo_on_key(wnd, d, int(wp), true)) return 0;
      return def_window_proc(wnd, msg, wp, lp);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_MOUSEWHEEL:
    case WM_CAPTURECHANGED: return combo_on_mouse(wnd, d, msg, wp, lp);
    default: return combo_message(wnd, d, msg, wp, lp);
  }
}

void set_up(Wnd wnd, ComboData&, const CreateStruct*) {
  // Scroll bars named in the style belong to the list, never to the field.
  const uint32_t style = uint32_t(get_window_long(wnd, GWL_STYLE));
  if (style & (WS_VSCROLL | WS_HSCROLL)) set_window_long(wnd, GWL_STYLE, intptr_t(style & ~(WS_VSCROLL | WS_HSCROLL)));
}

}  // namespace

namespace ui_detail {

bool combo_select(Wnd wnd, ComboData& d, int index) {
  if (index < -1 || index >= count(d)) index = -1;
  const bool changed = d.sel != index;
  d.sel = index;
  set_edit_text(d, index >= 0 ? d.items[size_t(index)].text : std::u16string());
  if (d.dropped) d.hot = index;
  combo_show_item(wnd, d, index);
  invalidate_rect(wnd, nullptr, true);
  combo_refresh_list(wnd, d);
  return changed;
}

void combo_choose(Wnd wnd, ComboData& d, int index, bool close_list) {
  const bool changed = combo_select(wnd, d, index);
  if (close_list) combo_close(wnd, d, CloseHow::chosen);
  if (changed && is_window(wnd)) notify_command(wnd, CBN_SELCHANGE);
}

void combo_focus_in(Wnd wnd, ComboData& d, Wnd) {
  d.focused = true;
  invalidate_rect(wnd, nullptr, true);
  notify_command(wnd, CBN_SETFOCUS);
}

void combo_focus_out(Wnd wnd, ComboData& d, Wnd) {
  if (d.dropped) combo_close(wnd, d, CloseHow::cancelled);
  if (!is_window(wnd)) return;
  d.focused = false;
  invalidate_rect(wnd, nullptr, true);
  notify_command(wnd, CBN_KILLFOCUS);
}

}  // namespace ui_detail

void register_combo_control() {
  if (get_class_info(kComboBoxClass, nullptr)) return;
  register_edit_control();
  register_control_class(kComboBoxClass, control_proc<ComboData, window_message, set_up>, CS_DBLCLKS, IDC_ARROW);
  combo_register_list_class();
}

}  // namespace plat
