// Harness helpers for list boxes, combo boxes, up-down controls, trackbars and tab
// controls: each works out where the user would click from what the control answers
// (item rectangles, heights, the top item, the channel and thumb rectangles).
#include "tests/support/harness_lists.h"

#include <string>

#include "core/memory.h"
#include "core/wstring.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_listbox.h"
#include "platform/ui/ctl_tab.h"
#include "platform/ui/ctl_trackbar.h"
#include "platform/ui/ctl_updown.h"

namespace tm_test {

namespace {

std::u16string wide(const char* utf8) {
  char16_t* w = nullptr;
  wstr_set_from_utf8(utf8 ? utf8 : "", &w);
  std::u16string out(w ? w : u"");
  free_mem(&w);
  return out;
}

plat::LParam text_lp(const std::u16string& s) { return plat::LParam(reinterpret_cast<intptr_t>(s.c_str())); }

plat::LResult send(plat::Wnd w, uint32_t msg, plat::WParam wp = 0, plat::LParam lp = 0) {
  return plat::send_message(w, msg, wp, lp);
}

bool is_class(plat::Wnd w, const char* cls) { return w && plat::is_window(w) && plat::get_class_name(w) == cls; }

uint32_t style_of(plat::Wnd w) { return uint32_t(plat::get_window_long(w, plat::GWL_STYLE)); }

plat::Point centre(const plat::Rect& r) { return plat::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// The point of a list box item, scrolled into view first.
bool list_item_point(plat::Wnd list, int index, plat::Point* p) {
  if (!is_class(list, plat::kListBoxClass) || index < 0 || index >= int(send(list, plat::LB_GETCOUNT))) return false;
  plat::Rect rc, r;
  plat::get_client_rect(list, &rc);
  send(list, plat::LB_GETITEMRECT, plat::WParam(index), plat::LParam(reinterpret_cast<intptr_t>(&r)));
  if (r.top < 0 || r.bottom > rc.bottom) {
    send(list, plat::LB_SETTOPINDEX, plat::WParam(index));
    send(list, plat::LB_GETITEMRECT, plat::WParam(index), plat::LParam(reinterpret_cast<intptr_t>(&r)));
  }
  *p = plat::Point{r.left + 4, (r.top + r.bottom) / 2};
  return true;
}

void hold(unsigned mods, bool down) {
  auto key = down ? key_down : key_up;
  if (mods & MOD_CTRL) key(plat::VK_CONTROL);
  if (mods & MOD_SHIFT) key(plat::VK_SHIFT);
}

uint32_t combo_kind(plat::Wnd combo) { return style_of(combo) & plat::CBS_TYPEMASK; }

bool dropped(plat::Wnd combo) { return send(combo, plat::CB_GETDROPPEDSTATE) != 0; }

void click_combo_button(plat::Wnd combo) {
  plat::Rect rc;
  plat::get_client_rect(combo, &rc);
  click(combo, rc.right - 10, rc.bottom / 2);
}

// The row of an item in a list `area` (client coordinates of `w`) whose first row shows
// item `top`.
plat::Point row_point(const plat::Rect& area, int top, int index, int item_height) {
  return plat::Point{area.left + 6, area.top + (index - top) * item_height + item_height / 2};
}

bool select_simple_item(plat::Wnd combo, int index) {
  plat::Rect rc;
  plat::get_client_rect(combo, &rc);
  const int field = int(send(combo, plat::CB_GETITEMHEIGHT, plat::WParam(-1)));
  const int item = int(send(combo, plat::CB_GETITEMHEIGHT, 0));
  const plat::Rect area{rc.left + 2, field + 2, rc.right - 2, rc.bottom - 2};
  const int rows = item > 0 ? area.height() / item : 1;
  int top = int(send(combo, plat::CB_GETTOPINDEX));
  if (index < top || index >= top + rows) {
    send(combo, plat::CB_SETTOPINDEX, plat::WParam(index));
    top = int(send(combo, plat::CB_GETTOPINDEX));
  }
  const plat::Point p = row_point(area, top, index, item);
  click(combo, p.x, p.y);
  run_until_idle();
  return true;
}

}  // namespace

bool click_list_item(plat::Wnd list, int index, unsigned mods) {
  plat::Point p;
  if (!list_item_point(list, index, &p)) return false;
  hold(mods, true);
  click(list, p.x, p.y);
  hold(mods, false);
  return true;
}

bool double_click_list_item(plat::Wnd list, int index) {
  plat::Point p;
  if (!list_item_point(list, index, &p)) return false;
  double_click(list, p.x, p.y);
  return true;
}

bool click_list_text(plat::Wnd list, const char* utf8) {
  if (!is_class(list, plat::kListBoxClass)) return false;
  const std::u16string text = wide(utf8);
  const int i = int(send(list, plat::LB_FINDSTRINGEXACT, plat::WParam(-1), text_lp(text)));
  return i >= 0 && click_list_item(list, i);
}

bool open_combo(plat::Wnd combo) {
  if (!is_class(combo, plat::kComboBoxClass) || combo_kind(combo) == plat::CBS_SIMPLE) return false;
  if (!dropped(combo)) {
    click_combo_button(combo);
    run_until_idle();
  }
  return dropped(combo);
}

bool close_combo(plat::Wnd combo) {
  if (!is_class(combo, plat::kComboBoxClass)) return false;
  if (dropped(combo)) {
    click_combo_button(combo);
    run_until_idle();
  }
  return !dropped(combo);
}

plat::Wnd combo_list_window(plat::Wnd combo) {
  for (plat::Wnd w : plat::top_level_windows())
    if (is_class(w, plat::kComboListClass) && plat::is_window_visible(w) &&
        reinterpret_cast<plat::Wnd>(plat::get_window_long(w, plat::GWLP_USERDATA)) == combo)
      return w;
  return nullptr;
}

bool select_combo_item(plat::Wnd combo, int index) {
  if (!is_class(combo, plat::kComboBoxClass) || index < 0 || index >= int(send(combo, plat::CB_GETCOUNT))) return false;
  if (combo_kind(combo) == plat::CBS_SIMPLE) return select_simple_item(combo, index);
  if (!open_combo(combo)) return false;
  plat::Wnd list = combo_list_window(combo);
  if (!list) return false;
  plat::Rect rc;
  plat::get_client_rect(list, &rc);
  const int item = int(send(combo, plat::CB_GETITEMHEIGHT, 0));
  const int rows = item > 0 ? rc.height() / item : 1;
  int top = int(send(combo, plat::CB_GETTOPINDEX));
  if (index < top || index >= top + rows) {
    send(combo, plat::CB_SETTOPINDEX, plat::WParam(index));
    top = int(send(combo, plat::CB_GETTOPINDEX));
  }
  const plat::Point p = row_point(rc, top, index, item);
  click(list, p.x, p.y);
  run_until_idle();
  return true;
}

bool select_combo_text(plat::Wnd combo, const char* utf8) {
  if (!is_class(combo, plat::kComboBoxClass)) return false;
  const std::u16string text = wide(utf8);
  const int i = int(send(combo, plat::CB_FINDSTRINGEXACT, plat::WParam(-1), text_lp(text)));
  return i >= 0 && select_combo_item(combo, i);
}

bool click_updown(plat::Wnd updown, bool up) {
  if (!is_class(updown, plat::kUpDownClass)) return false;
  plat::Rect rc;
  plat::get_client_rect(updown, &rc);
  if (style_of(updown) & plat::UDS_HORZ) {
    click(updown, up ? rc.right * 3 / 4 : rc.right / 4, rc.bottom / 2);
  } else {
    click(updown, rc.right / 2, up ? rc.bottom / 4 : rc.bottom * 3 / 4);
  }
  return true;
}

plat::Point trackbar_point(plat::Wnd trackbar, int pos) {
  plat::Rect ch;
  send(trackbar, plat::TBM_GETCHANNELRECT, 0, plat::LParam(reinterpret_cast<intptr_t>(&ch)));
  const int min = int(send(trackbar, plat::TBM_GETRANGEMIN)), max = int(send(trackbar, plat::TBM_GETRANGEMAX));
  const bool vert = style_of(trackbar) & plat::TBS_VERT;
  // The channel reaches 2 pixels beyond the centres of the thumb at either end.
  const int a0 = (vert ? ch.top : ch.left) + 2, a1 = (vert ? ch.bottom : ch.right) - 2;
  const int along = max > min ? a0 + int(int64_t(pos - min) * (a1 - a0) / (max - min)) : a0;
  const plat::Point c = centre(ch);
  return vert ? plat::Point{c.x, along} : plat::Point{along, c.y};
}

bool click_trackbar(plat::Wnd trackbar, int pos) {
  if (!is_class(trackbar, plat::kTrackbarClass)) return false;
  const plat::Point p = trackbar_point(trackbar, pos);
  click(trackbar, p.x, p.y);
  return true;
}

bool drag_trackbar(plat::Wnd trackbar, int pos) {
  if (!is_class(trackbar, plat::kTrackbarClass)) return false;
  plat::Rect thumb;
  send(trackbar, plat::TBM_GETTHUMBRECT, 0, plat::LParam(reinterpret_cast<intptr_t>(&thumb)));
  const plat::Point from = centre(thumb), to = trackbar_point(trackbar, pos);
  mouse_move(trackbar, from.x, from.y);
  mouse_down(trackbar, from.x, from.y);
  const bool vert = style_of(trackbar) & plat::TBS_VERT;
  // Along the bar only: the offset across keeps the pointer on the thumb's line.
  const plat::Point end = vert ? plat::Point{from.x, to.y} : plat::Point{to.x, from.y};
  mouse_move(trackbar, end.x, end.y);
  mouse_up(trackbar, end.x, end.y);
  return true;
}

bool click_tab(plat::Wnd tab, int index) {
  if (!is_class(tab, plat::kTabClass)) return false;
  plat::Rect r;
  if (!send(tab, plat::TCM_GETITEMRECT, plat::WParam(index), plat::LParam(reinterpret_cast<intptr_t>(&r)))) return false;
  const plat::Point p = centre(r);
  click(tab, p.x, p.y);
  return true;
}

}  // namespace tm_test
