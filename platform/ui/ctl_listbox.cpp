// The list box control's window procedure and messages: adding, inserting, deleting
// and finding strings, data words, the selection and the top item. Nothing here tells
// the parent anything: only the user's input (ctl_listbox_view.cpp) does.
#include <algorithm>

#include "platform/ui/controls.h"
#include "platform/ui/ctl_listbox_state.h"
#include "platform/ui/ctl_state.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialog_codes.h"
#include "platform/ui/input.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"

namespace plat {

using namespace ui_detail;

namespace {

int count(const ListBoxData& d) { return int(d.items.size()); }
int as_int(uintptr_t v) { return int(intptr_t(v)); }

void changed_items(Wnd wnd, ListBoxData& d) {
  listbox_set_top(wnd, d, d.top);
  invalidate_rect(wnd, nullptr, true);
}

// Indices at or after a new item move down by one.
void shift_for_insert(ListBoxData& d, int at) {
  for (int* i : {&d.sel, &d.caret, &d.anchor})
    if (*i >= at) ++*i;
  if (d.caret < 0) d.caret = 0;
}

LResult add_string(Wnd wnd, ListBoxData& d, int at, LParam text) {
  if ((listbox_style(wnd) & LBS_SORT) && at == -2) at = sorted_position(d.items, text_param(text));
  at = insert_item(d.items, at, text_param(text));
  shift_for_insert(d, at);
  changed_items(wnd, d);
  return at;
}

LResult delete_string(Wnd wnd, ListBoxData& d, WParam index) {
  if (!valid_index(d.items, index)) return LB_ERR;
  const int at = int(index);
  d.items.erase(d.items.begin() + at);
  if (d.sel == at) d.sel = -1;
  for (int* i : {&d.sel, &d.caret, &d.anchor})
    if (*i > at) --*i;
  d.caret = std::min(d.caret, count(d) - 1);
  d.anchor = std::min(d.anchor, count(d) - 1);
  changed_items(wnd, d);
  return count(d);
}

LResult reset_content(Wnd wnd, ListBoxData& d) {
  d.items.clear();
  d.sel = d.caret = d.anchor = -1;
  d.top = 0;
  changed_items(wnd, d);
  return 0;
}

LResult set_cur_sel(Wnd wnd, ListBoxData& d, WParam wp) {
  if (is_multi(wnd)) return LB_ERR;
  const int i = as_int(wp);
  if (i == -1) {
    d.sel = -1;
    invalidate_rect(wnd, nullptr, true);
    return LB_ERR;
  }
  if (!valid_index(d.items, wp)) return LB_ERR;
  d.sel = d.caret = i;
  listbox_show_item(wnd, d, i);
  invalidate_rect(wnd, nullptr, true);
  return i;
}

LResult set_sel(Wnd wnd, ListBoxData& d, WParam select, LParam index) {
  if (!is_multi(wnd)) return LB_ERR;
  if (int(index) == -1) {
    for (ListItem& it : d.items) it.selected = select != 0;
  } else if (index >= 0 && index < count(d)) {
    listbox_set_item(d, int(index), select != 0);
  } else {
    return LB_ERR;
  }
  invalidate_rect(wnd, nullptr, true);
  return LB_OKAY;
}

LResult select_string(Wnd wnd, ListBoxData& d, WParam start, LParam text) {
  const int i = find_item(d.items, as_int(start), text_param(text), false);
  if (i < 0) return LB_ERR;
  if (is_multi(wnd)) {
    listbox_set_item(d, i, true);
  } else {
    d.sel = i;
  }
  d.caret = i;
  listbox_show_item(wnd, d, i);
  invalidate_rect(wnd, nullptr, true);
  return i;
}

LResult get_sel_items(Wnd wnd, const ListBoxData& d, WParam room, LParam out) {
  if (!is_multi(wnd)) return LB_ERR;
  auto* dest = reinterpret_cast<int*>(out);
  int n = 0;
  for (int i = 0; i < count(d) && dest && WParam(n) < room; ++i)
    if (d.items[size_t(i)].selected) dest[n++] = i;
  return n;
}

LResult get_sel_count(Wnd wnd, const ListBoxData& d) {
  if (!is_multi(wnd)) return LB_ERR;
  return std::count_if(d.items.begin(), d.items.end(), [](const ListItem& it) { return it.selected; });
}

LResult item_rect(Wnd wnd, const ListBoxData& d, WParam index, LParam out) {
  auto* r = reinterpret_cast<Rect*>(out);
  if (!valid_index(d.items, index) || !r) return LB_ERR;
  *r = listbox_item_rect(wnd, d, int(index));
  return 1;
}

LResult set_caret(Wnd wnd, ListBoxData& d, WParam index) {
  if (!valid_index(d.items, index)) return LB_ERR;
  d.caret = int(index);
  listbox_show_item(wnd, d, d.caret);
  invalidate_rect(wnd, nullptr, true);
  return LB_OKAY;
}

LResult listbox_message(Wnd wnd, ListBoxData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case LB_ADDSTRING: return add_string(wnd, d, -2, lp);
    case LB_INSERTSTRING:
      if (as_int(wp) != -1 && (as_int(wp) < 0 || as_int(wp) > count(d))) return LB_ERR;
      return add_string(wnd, d, as_int(wp), lp);
    case LB_DELETESTRING: return delete_string(wnd, d, wp);
    case LB_RESETCONTENT: return reset_content(wnd, d);
    case LB_SETSEL: return set_sel(wnd, d, wp, lp);
    case LB_SETCURSEL: return set_cur_sel(wnd, d, wp);
    case LB_GETSEL: return valid_index(d.items, wp) ? (listbox_is_selected(d, is_multi(wnd), int(wp)) ? 1 : 0) : LB_ERR;
    case LB_GETCURSEL: return is_multi(wnd) ? (d.caret >= 0 ? d.caret : LB_ERR) : d.sel;
    case LB_GETTEXT: return valid_index(d.items, wp) ? copy_item_text(d.items[wp], lp) : LB_ERR;
    case LB_GETTEXTLEN: return valid_index(d.items, wp) ? LResult(d.items[wp].text.size()) : LB_ERR;
    case LB_GETCOUNT: return count(d);
    case LB_SELECTSTRING: return select_string(wnd, d, wp, lp);
    case LB_GETTOPINDEX: return d.top;
    case LB_SETTOPINDEX:
      if (!valid_index(d.items, wp)) return LB_ERR;
      listbox_set_top(wnd, d, int(wp));
      return LB_OKAY;
    case LB_FINDSTRING: return find_item(d.items, as_int(wp), text_param(lp), false);
    case LB_FINDSTRINGEXACT: return find_item(d.items, as_int(wp), text_param(lp), true);
    case LB_GETSELCOUNT: return get_sel_count(wnd, d);
    case LB_GETSELITEMS: return get_sel_items(wnd, d, wp, lp);
    case LB_GETITEMRECT: return item_rect(wnd, d, wp, lp);
    case LB_GETITEMDATA: return valid_index(d.items, wp) ? d.items[wp].data : LB_ERR;
    case LB_SETITEMDATA:
      if (!valid_index(d.items, wp)) return LB_ERR;
      d.items[wp].data = lp;
      return LB_OKAY;
    case LB_SETCARETINDEX: return set_caret(wnd, d, wp);
    case LB_GETCARETINDEX: return d.caret;
    case LB_GETITEMHEIGHT: return d.item_height;
    default: return def_window_proc(wnd, msg, wp, lp);
  }
}

LResult on_focus(Wnd wnd, ListBoxData& d, bool gained) {
  d.focused = gained;
  if (!gained && d.tracking) release_capture();
  invalidate_rect(wnd, nullptr, true);
  notify_command(wnd, gained ? LBN_SETFOCUS : LBN_KILLFOCUS);
  return 0;
}

LResult window_message(Wnd wnd, ListBoxData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case WM_CREATE:
      d.own_bar = listbox_style(wnd) & WS_VSCROLL;
      listbox_update_bar(wnd, d);
      return 0;
    case WM_PAINT: listbox_paint(wnd, d); return 0;
    case WM_ERASEBKGND: return 1;  // WM_PAINT fills the client area
    case WM_SIZE: listbox_set_top(wnd, d, d.top); return 0;
    case WM_SETFONT:
      listbox_set_font(d, reinterpret_cast<Font>(wp));
      listbox_set_top(wnd, d, d.top);
      if (lp) invalidate_rect(wnd, nullptr, true);
      return 0;
    case WM_GETFONT: return LResult(reinterpret_cast<intptr_t>(d.font));
    case WM_ENABLE: invalidate_rect(wnd, nullptr, true); return 0;
    case WM_SETFOCUS: return on_focus(wnd, d, true);
    case WM_KILLFOCUS: return on_focus(wnd, d, false);
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN: return listbox_on_key(wnd, d, int(wp));
    case WM_CHAR: return wp <= 0xFFFF ? listbox_on_char(wnd, d, char16_t(wp)) : 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED: return listbox_on_mouse(wnd, d, msg, wp, lp);
    case WM_VSCROLL:
    case WM_MOUSEWHEEL: listbox_on_scroll(wnd, d, msg, wp); return 0;
    default: return listbox_message(wnd, d, msg, wp, lp);
  }
}

void set_up(Wnd, ListBoxData& d, const CreateStruct*) { listbox_set_font(d, nullptr); }

}  // namespace

void register_listbox_control() {
  register_control_class(kListBoxClass, control_proc<ListBoxData, window_message, set_up>, CS_DBLCLKS, IDC_ARROW);
}

}  // namespace plat
