// Makers of the items of the program's own dialog templates: labels, drop-down lists,
// edit fields, buttons and colour buttons, each with the styles all those dialogs give
// it. Coordinates and sizes are in dialog units, as the caller places them.
#pragma once
#include <cstdint>

#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/dialog.h"
#include "platform/ui/styles.h"

namespace dlgitem {

// The id of an item the dialog never asks for.
constexpr int kNoId = -1;

// A one-line text at (x, y), aligned by `align` (SS_LEFT, SS_CENTER, SS_RIGHT).
inline plat::DlgItem text(int id, const char* caption, uint32_t align, int x, int y, int cx) {
  return {"Static", id, caption, align, x, y, cx, 9};
}
// A left-aligned label beside a field whose top is y: set 2 units lower, so that the
// texts of both share a baseline.
inline plat::DlgItem label(int id, const char* caption, int x, int y, int cx) {
  return text(id, caption, plat::SS_LEFT, x, y + 2, cx);
}
// A drop-down list; list_cy is the height of the box with its list open.
inline plat::DlgItem combo(int id, int x, int y, int cx, int list_cy) {
  return {"ComboBox", id, "", plat::CBS_DROPDOWNLIST | plat::WS_VSCROLL | plat::WS_TABSTOP, x, y, cx, list_cy};
}
// A bordered one-line edit field that scrolls sideways; `extra` adds styles (ES_NUMBER).
inline plat::DlgItem edit(int id, int x, int y, int cx, uint32_t extra = 0) {
  return {"Edit", id, "", plat::WS_BORDER | plat::WS_TABSTOP | plat::ES_AUTOHSCROLL | extra, x, y, cx, 13};
}
inline plat::DlgItem check_box(int id, const char* caption, int x, int y, int cx, int cy) {
  return {"Button", id, caption, plat::BS_AUTOCHECKBOX | plat::WS_TABSTOP, x, y, cx, cy};
}
// A push button, by default of the size of the OK and Cancel buttons.
inline plat::DlgItem button(int id, const char* caption, int x, int y, int cx = 54, int cy = 15) {
  return {"Button", id, caption, plat::BS_PUSHBUTTON | plat::WS_TABSTOP, x, y, cx, cy};
}
// The button Enter presses (OK).
inline plat::DlgItem default_button(int id, const char* caption, int x, int y) {
  return {"Button", id, caption, plat::BS_DEFPUSHBUTTON | plat::WS_TABSTOP, x, y, 54, 15};
}
// A sunken button the dialog paints in a colour (see color_field_paint).
inline plat::DlgItem colour_button(int id, int x, int y, int cx) {
  return {"Button", id, "", plat::BS_OWNERDRAW | plat::WS_TABSTOP, x, y, cx, 13, plat::WS_EX_CLIENTEDGE};
}

}  // namespace dlgitem
