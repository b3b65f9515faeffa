// The table window ("ClasseTableau"): a report list view filled from a text of one field
// per line, sized to show every row, with a Close button under it. Its owner stays
// disabled while it is open, as a modal window's would. Escape closes it, whichever of
// its controls has the focus, as it closes a message box.
#include "shell/framework/table_window.h"

#include <map>
#include <string>
#include <vector>

#include "core/config.h"
#include "shell/framework/ui_text.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_listview.h"
#include "platform/ui/ui.h"
#include "shell/framework/winutil.h"

namespace {

constexpr int kButtonWidth = 100, kButtonHeight = 28;

// The procedures the table window's controls had before it took their Escape key
// (user-interface thread).
std::map<plat::Wnd, plat::WndProc>& control_procs() {
  static std::map<plat::Wnd, plat::WndProc> procs;
  return procs;
}

plat::LResult table_control_proc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  auto it = control_procs().find(wnd);
  const plat::WndProc previous = it == control_procs().end() ? plat::def_window_proc : it->second;
  if (msg == plat::WM_KEYDOWN && int(wparam) == plat::VK_ESCAPE) {
    plat::post_message(plat::get_parent(wnd), plat::WM_CLOSE, 0, 0);
    return 0;
  }
  if (msg == plat::WM_NCDESTROY && it != control_procs().end()) control_procs().erase(it);
  return plat::call_window_proc(previous, wnd, msg, wparam, lparam);
}

void take_escape(plat::Wnd control) {
  if (control) control_procs()[control] = plat::set_window_proc(control, table_control_proc);
}

std::vector<std::string> fields_of(const char* text) {
  std::vector<std::string> fields;
  std::string cur;
  for (const char* p = text ? text : ""; ; ++p) {
    if (*p == '\n' || *p == 0) {
      if (!cur.empty() && cur.back() == '\r') cur.pop_back();
      if (!cur.empty()) fields.push_back(cur);
      cur.clear();
      if (*p == 0) break;
    } else {
      cur += *p;
    }
  }
  return fields;
}

std::u16string wide(const std::string& s) { return ui_wide(s.c_str()); }

void set_cell(plat::Wnd lv, int row, int column, const std::string& text) {
  std::u16string w = wide(text);
  plat::LvItem it;
  it.mask = plat::LVIF_TEXT;
  it.item = row;
  it.sub_item = column;
  it.text = w.data();
  if (column == 0)
    plat::send_message(lv, plat::LVM_INSERTITEM, 0, plat::LParam(&it));
  else
    plat::send_message(lv, plat::LVM_SETITEMTEXT, plat::WParam(row), plat::LParam(&it));
}

void add_columns(plat::Wnd lv, int columns, const std::vector<std::string>& fields, bool header) {
  for (int c = 0; c < columns; ++c) {
    std::u16string w = header ? wide(fields[size_t(c)]) : std::u16string();
    plat::LvColumn col;
    col.mask = plat::LVCF_TEXT | plat::LVCF_WIDTH;
    col.cx = 50;
    col.text = w.data();
    plat::send_message(lv, plat::LVM_INSERTCOLUMN, plat::WParam(c), plat::LParam(&col));
  }
}

// All columns but the last fit their texts; the last takes what is left of the width.
void size_columns(plat::Wnd lv, int columns, int width) {
  int used = 0;
  for (int c = 0; c + 1 < columns; ++c) {
    plat::send_message(lv, plat::LVM_SETCOLUMNWIDTH, plat::WParam(c), plat::LVSCW_AUTOSIZE_USEHEADER);
    used += int(plat::send_message(lv, plat::LVM_GETCOLUMNWIDTH, plat::WParam(c), 0));
  }
  int last = width - used;
  plat::send_message(lv, plat::LVM_SETCOLUMNWIDTH, plat::WParam(columns - 1), last > 20 ? last : 20);
}

// The list view's height for all its rows (header included).
int list_height(plat::Wnd lv, int rows, bool header) {
  plat::Rect r;
  r.left = plat::LVIR_BOUNDS;
  int row_h = 16;
  if (rows > 0 && plat::send_message(lv, plat::LVM_GETITEMRECT, 0, plat::LParam(&r))) row_h = r.height();
  return (header ? row_h + 6 : 0) + rows * row_h + 6;
}

}  // namespace

int register_table_class() {
  return register_button_face_class("ClasseTableau", table_wndproc, plat::load_cursor(plat::IDC_ARROW));
}

plat::LResult table_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  switch (msg) {
    case plat::WM_CLOSE:
      if (plat::Wnd owner = plat::get_owner(wnd)) plat::enable_window(owner, true);
      plat::destroy_window(wnd);
      return 0;
    case plat::WM_COMMAND:
      if (plat::loword(wparam) == kTableClose || plat::loword(wparam) == plat::IDOK) {
        plat::post_message(wnd, plat::WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case plat::WM_KEYDOWN:
      if (int(wparam) == plat::VK_RETURN || int(wparam) == plat::VK_ESCAPE) {
        plat::post_message(wnd, plat::WM_CLOSE, 0, 0);
        return 0;
      }
      break;
  }
  return plat::def_window_proc(wnd, msg, wparam, lparam);
}

plat::Wnd create_table_window(const char* text, const char* title, int header, int columns, int width,
                              int owned_by_target) {
  if (columns <= 0) return nullptr;
  std::vector<std::string> fields = fields_of(text);
  int rows = int(fields.size() / size_t(columns));
  if (rows == 0) return nullptr;
  plat::register_controls();
  register_table_class();
  plat::Wnd owner = owned_by_target ? dialog_owner_window() : plat::get_active_window();
  plat::Wnd wnd = plat::create_window(0, "ClasseTableau", title ? title : "",
                                      plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU, 100, 100,
                                      width, 200, owner, 0);
  if (!wnd) return nullptr;
  if (owner) plat::enable_window(owner, false);
  plat::Rect client;
  plat::get_client_rect(wnd, &client);
  uint32_t style = plat::WS_CHILD | plat::WS_VISIBLE | plat::LVS_REPORT | plat::LVS_NOSCROLL |
                   plat::LVS_NOSORTHEADER | (header ? 0 : plat::LVS_NOCOLUMNHEADER);
  plat::Wnd lv = plat::create_window(0, plat::kListViewClass, "", style, 0, 0, client.width(), 100, wnd,
                                     kTableList);
  plat::send_message(lv, plat::LVM_SETEXTENDEDLISTVIEWSTYLE, 0, plat::LVS_EX_GRIDLINES);
  add_columns(lv, columns, fields, header != 0);
  int first = header ? 1 : 0;
  for (int r = first; r < rows; ++r)
    for (int c = 0; c < columns; ++c) set_cell(lv, r - first, c, fields[size_t(r * columns + c)]);
  size_columns(lv, columns, client.width());
  int lv_h = list_height(lv, rows - first, header != 0);
  plat::move_window(lv, 0, 0, client.width(), lv_h, true);
  const char* close = is_french() ? "Fermer" : "Close";
  int bx = (client.width() - kButtonWidth) / 2;
  plat::Wnd button = create_control(wnd, plat::kButtonClass, close, plat::WS_TABSTOP | plat::BS_DEFPUSHBUTTON,
                                    bx < 0 ? 0 : bx, lv_h + 8, kButtonWidth, kButtonHeight, kTableClose);
  take_escape(lv);
  take_escape(button);
  plat::Rect want{0, 0, client.width(), lv_h + 8 + kButtonHeight + 8};
  plat::adjust_window_rect(&want, plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU, false);
  plat::move_window(wnd, 100, 100, want.width(), want.height(), true);
  plat::show_window(wnd, plat::SW_SHOW);
  plat::set_foreground_window(wnd);
  plat::set_focus(button);
  return wnd;
}
