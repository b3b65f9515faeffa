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

// Combo boxes and list boxes answer the same item requests under different message
// numbers; one routine per request serves both through this table.
struct item_messages {
  uint32_t add_string, set_item_data, get_item_data, get_count, get_cur_sel, get_text_len, get_text;
};
constexpr item_messages kComboMessages{plat::CB_ADDSTRING,  plat::CB_SETITEMDATA,   plat::CB_GETITEMDATA,
                                       plat::CB_GETCOUNT,   plat::CB_GETCURSEL,     plat::CB_GETLBTEXTLEN,
                                       plat::CB_GETLBTEXT};
constexpr item_messages kListMessages{plat::LB_ADDSTRING, plat::LB_SETITEMDATA, plat::LB_GETITEMDATA,
                                      plat::LB_GETCOUNT,  plat::LB_GETCURSEL,   plat::LB_GETTEXTLEN,
                                      plat::LB_GETTEXT};

int add_item(plat::Wnd w, const item_messages& m, const char16_t* text, intptr_t data) {
  auto i = plat::send_message(w, m.add_string, 0, plat::LParam(text));
  if (i >= 0) plat::send_message(w, m.set_item_data, plat::WParam(i), plat::LParam(data));
  return int(i);
}

intptr_t selected_data(plat::Wnd w, const item_messages& m) {
  auto sel = plat::send_message(w, m.get_cur_sel, 0, 0);
  if (sel < 0) return -1;
  return intptr_t(plat::send_message(w, m.get_item_data, plat::WParam(sel), 0));
}

int selected_text(plat::Wnd w, const item_messages& m, char* buf, int size) {
  if (buf && size > 0) buf[0] = 0;
  auto sel = plat::send_message(w, m.get_cur_sel, 0, 0);
  if (sel < 0) return 0;
  auto len = plat::send_message(w, m.get_text_len, plat::WParam(sel), 0);
  if (len < 0) return 0;
  std::u16string text(size_t(len) + 1, u'\0');
  plat::send_message(w, m.get_text, plat::WParam(sel), plat::LParam(text.data()));
  text.resize(size_t(len));
  return copy_if_fits(text, buf, size);
}

// The index of the first item whose data is `data`, -1 when none.
int index_of_data(plat::Wnd w, const item_messages& m, intptr_t data) {
  int count = int(plat::send_message(w, m.get_count, 0, 0));
  for (int i = 0; i < count; ++i)
    if (intptr_t(plat::send_message(w, m.get_item_data, plat::WParam(i), 0)) == data) return i;
  return -1;
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
  return add_item(combo, kComboMessages, text ? text : u"", data);
}

int combo_add_item(plat::Wnd combo, const char* text, intptr_t data) {
  std::u16string w = ui_wide(text);
  return combo_add_item_w(combo, w.c_str(), data);
}

intptr_t combo_selected_data(plat::Wnd combo) { return selected_data(combo, kComboMessages); }

int combo_selected_text(plat::Wnd combo, char* buf, int size) {
  return selected_text(combo, kComboMessages, buf, size);
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

// A combo box keeps its selection when no item has the data.
int combo_select_data(plat::Wnd combo, intptr_t data) {
  int i = index_of_data(combo, kComboMessages, data);
  if (i >= 0) plat::send_message(combo, plat::CB_SETCURSEL, plat::WParam(i), 0);
  return i;
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
void listview_add_column(plat::Wnd lv, int at, const char* text, int width) {
  std::u16string w = ui_wide(text);
  plat::LvColumn c;
  c.mask = plat::LVCF_TEXT | plat::LVCF_WIDTH;
  c.text = w.data();
  c.cx = width;
  plat::send_message(lv, plat::LVM_INSERTCOLUMN, plat::WParam(at), plat::LParam(&c));
}

void listview_set_cell(plat::Wnd lv, int row, int column, const char* text) {
  listview_set_cell(lv, row, column, ui_wide(text).c_str());
}

void listview_set_cell(plat::Wnd lv, int row, int column, const char16_t* text) {
  std::u16string w = text ? text : u"";
  plat::LvItem it;
  it.sub_item = column;
  it.text = w.data();
  plat::send_message(lv, plat::LVM_SETITEMTEXT, plat::WParam(row), plat::LParam(&it));
}

int listview_add_row(plat::Wnd lv, const char* text, intptr_t data) {
  return listview_add_row(lv, ui_wide(text).c_str(), data);
}

int listview_add_row(plat::Wnd lv, const char16_t* text, intptr_t data) {
  std::u16string w = text ? text : u"";
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
  return add_item(list, kListMessages, w.c_str(), data);
}

void list_clear(plat::Wnd list) { plat::send_message(list, plat::LB_RESETCONTENT, 0, 0); }

intptr_t list_selected_data(plat::Wnd list) { return selected_data(list, kListMessages); }

int list_selected_text(plat::Wnd list, char* buf, int size) {
  return selected_text(list, kListMessages, buf, size);
}

// A list box loses its selection when no item has the data (index -1 selects nothing).
int list_select_data(plat::Wnd list, intptr_t data) {
  int i = index_of_data(list, kListMessages, data);
  plat::send_message(list, plat::LB_SETCURSEL, plat::WParam(i), 0);
  return i;
}
