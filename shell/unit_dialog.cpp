// The unit dialog "Chxunit": the unit of the cursor system, chosen among the angular
// units (a geographic system) or the linear units (otherwise) that have a name.
#include "core/config.h"
#include "geodesy/xform_records.h"
#include "geodesy/units.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/messages.h"
#include "platform/ui/queue.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "shell/framework/winutil.h"
#include "shell/system_dialogs.h"

namespace {

// The units offered: those with a name, in index order.
constexpr int kAngleUnitsOffered = 11;
constexpr int kLengthUnitsOffered = 23;

struct unit_dialog_state {
  georef_t* edited = nullptr;
  const char16_t* title = nullptr;
  int confirmed = 0;
};
unit_dialog_state& st() {
  static unit_dialog_state s;
  return s;
}

const dialog_text kTexts[] = {
    {IDC_UNIT_CANCEL, "Annuler", "Cancel"},
    {0, "Unit\xC3\xA9s - Coordonn\xC3\xA9" "es du curseur", "Units - Cursor coordinates"},
};

bool geographic() { return st().edited && st().edited->refertype == GEOREF_GEOGRAPHIC; }

void on_init(plat::Wnd dlg) {
  dialog_set_texts(dlg, kTexts);
  if (st().title) plat::set_window_text_w(dlg, st().title);
  const bool angles = geographic();
  plat::set_dlg_item_text(dlg, IDC_UNIT_LABEL, angles ? "Angle" : "Distance");
  const bool fr = is_french() != 0;
  plat::Wnd list = plat::get_dlg_item(dlg, IDC_UNIT_LIST);
  const int count = angles ? kAngleUnitsOffered : kLengthUnitsOffered;
  for (int unit = 0; unit < count; ++unit) {
    const char* name = angles ? angle_unit_name(unit, fr) : length_unit_name(unit, fr);
    combo_add_item(list, name ? name : "", unit);
  }
  // A unit that is not offered leaves the list without selection.
  if (st().edited) combo_select_data(list, st().edited->unit);
}

// The unit selected, or the georef's own when none is.
void on_ok(plat::Wnd dlg) {
  plat::Wnd list = plat::get_dlg_item(dlg, IDC_UNIT_LIST);
  const auto pos = plat::send_message(list, plat::CB_GETCURSEL, 0, 0);
  if (pos >= 0 && st().edited) st().edited->unit = int(combo_selected_data(list));
  st().confirmed = 1;
  plat::end_dialog(dlg, 1);
}

}  // namespace

// The label and its list on one row, the buttons under them.
const plat::DlgTemplate& unit_dialog_template() {
  static const plat::DlgTemplate t = [] {
    plat::DlgTemplate d;
    d.title = "Unit\xC3\xA9s - Coordonn\xC3\xA9" "es du curseur";
    d.style = plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU | plat::DS_MODALFRAME;
    d.cx = 216;
    d.cy = 58;
    d.items = {
        {"Static", IDC_UNIT_LABEL, "Distances :", plat::SS_LEFT, 8, 10, 44, 9},
        {"ComboBox", IDC_UNIT_LIST, "", plat::CBS_DROPDOWNLIST | plat::WS_VSCROLL | plat::WS_TABSTOP, 56, 8, 152,
         120},
        {"Button", IDC_UNIT_OK, "OK", plat::BS_DEFPUSHBUTTON | plat::WS_TABSTOP, 96, 35, 54, 15},
        {"Button", IDC_UNIT_CANCEL, "Annuler", plat::BS_PUSHBUTTON | plat::WS_TABSTOP, 154, 35, 54, 15},
    };
    return d;
  }();
  return t;
}

intptr_t chxunit_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam) {
  if (msg == plat::WM_INITDIALOG) {
    on_init(dlg);
    return 1;
  }
  if (msg != plat::WM_COMMAND) return 0;
  const int id = int(plat::loword(wparam));
  if (id == IDC_UNIT_OK) {
    on_ok(dlg);
  } else if (id == IDC_UNIT_CANCEL || id == plat::IDCANCEL) {
    plat::end_dialog(dlg, 0);
  }
  return 1;
}

int run_unit_dialog(const char16_t* title, georef_t* edited) {
  unit_dialog_state& s = st();
  s.confirmed = 0;
  s.title = title;
  s.edited = edited;
  plat::dialog_box_indirect(unit_dialog_template(), command_target_window(), chxunit_dlgproc);
  s.edited = nullptr;
  s.title = nullptr;
  return s.confirmed;
}
