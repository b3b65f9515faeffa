// Helpers over the controls: child controls of hand-built windows in the dialog font,
// and for the combo box, list box, list view and up-down controls items with a data
// word, the selection read back as data or text, selection by data.
#include <cstring>
#include <string>

#include "core/dict.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_listbox.h"
#include "platform/ui/ctl_listview.h"
#include "platform/ui/ctl_updown.h"
#include "platform/ui/ui.h"
#include "shell/framework/ui_text.h"
#include "shell/framework/winutil.h"

namespace {

// The text of an item into buf when it fits (else ""); returns its length.
int copy_if_fits(const std::u16string& w, char* buf, int size) {
  std::string s = ui_narrow(w);
  if (!buf || size <= 0) return int(s.size());
  if (int(s.size()) < size) std::memcpy(buf, s.c_str(), s.size() + 1);
  else buf[0] = 0;
  return int(s.size());
}

}  // namespace

// ---- Hand-built windows ---------------------------------------------------------------------------
plat::Wnd create_control(plat::Wnd parent, const char* cls, const char* text, uint32_t style, int x, int y,
                         int width, int height, int id, uint32_t ex_style) {
  plat::Wnd c = plat::create_window(ex_style, cls, text ? text : "", plat::WS_CHILD | plat::WS_VISIBLE | style, x,
                                    y, width, height, parent, uintptr_t(id));
  if (c && ui_font()) plat::send_message(c, plat::WM_SETFONT, plat::WParam(ui_font()), 1);
  return c;
}

// ---- Combo boxes ----------------------------------------------------------------------------------
int combo_add_item_w(plat::Wnd combo, const char16_t* text, intptr_t data) {
  auto i = plat::send_message(combo, plat::CB_ADDSTRING, 0, plat::LParam(text ? text : u""));
  if (i >= 0) plat::send_message(combo, plat::CB_SETITEMDATA, plat::WParam(i), plat::LParam(data));
  return int(i);
}

int combo_add_item(plat::Wnd combo, const char* text, intptr_t data) {
  std::u16string w = ui_wide(text);
  return combo_add_item_w(combo, w.c_str(), data);
}

intptr_t combo_selected_data(plat::Wnd combo) {
  auto sel = plat::send_message(combo, plat::CB_GETCURSEL, 0, 0);
  if (sel < 0) return -1;
  return intptr_t(plat::send_message(combo, plat::CB_GETITEMDATA, plat::WParam(sel), 0));
}

int combo_selected_text(plat::Wnd combo, char* buf, int size) {
  if (buf && size > 0) buf[0] = 0;
  auto sel = plat::send_message(combo, plat::CB_GETCURSEL, 0, 0);
  if (sel < 0) return 0;
  auto len = plat::send_message(combo, plat::CB_GETLBTEXTLEN, plat::WParam(sel), 0);
  if (len < 0) return 0;
  std::u16string w(size_t(len) + 1, u'\0');
  plat::send_message(combo, plat::CB_GETLBTEXT, plat::WParam(sel), plat::LParam(w.data()));
  w.resize(size_t(len));
  return copy_if_fits(w, buf, size);
}

void combo_fill_from_list(plat::Wnd combo, const container_t* tags) {
  for (int i = 0; i < obj_list_count(tags); ++i) {
    obj_t* o = nullptr;
    obj_list_get(tags, i, &o);
    if (!o || o->cls != CLS_TAG) continue;
    auto* tag = reinterpret_cast<tag_t*>(o);
    combo_add_item(combo, tag->name, tag->val);
  }
}

void combo_take_data(plat::Wnd combo, int keep_selected) {
  int count = int(plat::send_message(combo, plat::CB_GETCOUNT, 0, 0));
  int sel = int(plat::send_message(combo, plat::CB_GETCURSEL, 0, 0));
  for (int i = 0; i < count; ++i) {
    if (keep_selected && i == sel) continue;
    auto id = int(plat::send_message(combo, plat::CB_GETITEMDATA, plat::WParam(i), 0));
    obj_t* obj = nullptr;
    if (id > 0 && obj_find_any_class(id, &obj) && obj) free_obj(&obj);
  }
  combo_clear(combo);
}

int combo_select_data(plat::Wnd combo, intptr_t data) {
  int count = int(plat::send_message(combo, plat::CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i)
    if (intptr_t(plat::send_message(combo, plat::CB_GETITEMDATA, plat::WParam(i), 0)) == data) {
      plat::send_message(combo, plat::CB_SETCURSEL, plat::WParam(i), 0);
      return i;
    }
  return -1;
}

void combo_clear(plat::Wnd combo) { plat::send_message(combo, plat::CB_RESETCONTENT, 0, 0); }

// ---- Up-down -------------------------------------------------------------------------------------
void updown_setup(plat::Wnd updown, plat::Wnd buddy, int position, int high, int low, int length) {
  plat::send_message(updown, plat::UDM_SETBUDDY, plat::WParam(buddy), 0);
  plat::send_message(updown, plat::UDM_SETRANGE32, plat::WParam(low), plat::LParam(high));
  plat::send_message(updown, plat::UDM_SETPOS32, 0, plat::LParam(position));
  if (length > 0 && buddy) plat::send_message(buddy, plat::EM_LIMITTEXT, plat::WParam(length), 0);
}

// ---- List views ----------------------------------------------------------------------------------
int listview_add_row(plat::Wnd lv, const char* text, intptr_t data) {
  std::u16string w = ui_wide(text);
  plat::LvItem it;
  it.mask = plat::LVIF_TEXT | plat::LVIF_PARAM;
  it.item = int(plat::send_message(lv, plat::LVM_GETITEMCOUNT, 0, 0));
  it.text = w.data();
  it.param = data;
  return int(plat::send_message(lv, plat::LVM_INSERTITEM, 0, plat::LParam(&it)));
}

intptr_t listview_selected_data(plat::Wnd lv) {
  auto i = plat::send_message(lv, plat::LVM_GETNEXTITEM, plat::WParam(-1), plat::LVNI_SELECTED);
  if (i < 0) return -1;
  plat::LvItem it;
  it.mask = plat::LVIF_PARAM;
  it.item = int(i);
  plat::send_message(lv, plat::LVM_GETITEM, 0, plat::LParam(&it));
  return intptr_t(it.param);
}

// ---- List boxes ----------------------------------------------------------------------------------
int list_add_item(plat::Wnd list, const char* text, intptr_t data) {
  std::u16string w = ui_wide(text);
  auto i = plat::send_message(list, plat::LB_ADDSTRING, 0, plat::LParam(w.c_str()));
  if (i >= 0) plat::send_message(list, plat::LB_SETITEMDATA, plat::WParam(i), plat::LParam(data));
  return int(i);
}

void list_clear(plat::Wnd list) { plat::send_message(list, plat::LB_RESETCONTENT, 0, 0); }

intptr_t list_selected_data(plat::Wnd list) {
  auto sel = plat::send_message(list, plat::LB_GETCURSEL, 0, 0);
  if (sel < 0) return -1;
  return intptr_t(plat::send_message(list, plat::LB_GETITEMDATA, plat::WParam(sel), 0));
}

int list_selected_text(plat::Wnd list, char* buf, int size) {
  if (buf && size > 0) buf[0] = 0;
  auto sel = plat::send_message(list, plat::LB_GETCURSEL, 0, 0);
  if (sel < 0) return 0;
  auto len = plat::send_message(list, plat::LB_GETTEXTLEN, plat::WParam(sel), 0);
  if (len < 0) return 0;
  std::u16string w(size_t(len) + 1, u'\0');
  plat::send_message(list, plat::LB_GETTEXT, plat::WParam(sel), plat::LParam(w.data()));
  w.resize(size_t(len));
  return copy_if_fits(w, buf, size);
}

int list_select_data(plat::Wnd list, intptr_t data) {
  int count = int(plat::send_message(list, plat::LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i)
    if (intptr_t(plat::send_message(list, plat::LB_GETITEMDATA, plat::WParam(i), 0)) == data) {
      plat::send_message(list, plat::LB_SETCURSEL, plat::WParam(i), 0);
      return i;
    }
  plat::send_message(list, plat::LB_SETCURSEL, plat::WParam(-1), 0);
  return -1;
}
