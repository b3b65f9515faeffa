// The "Couleurs" dialog: a colour button and a size field per kind of data, over a
// working copy of the display settings that OK writes back and Cancel drops.
#include <cstdlib>
#include <string>

#include "map/display_settings.h"
#include "map/view_records.h"
#include "platform/gdi/gdi.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/ctl_updown.h"
#include "platform/ui/dialog.h"
#include "platform/ui/messages.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "shell/framework/dialog_items.h"
#include "shell/framework/choosers.h"
#include "shell/framework/winutil.h"
#include "shell/preference_dialogs.h"

namespace {

constexpr int kSizeMin = 1, kSizeMax = 80;
constexpr int kSizeChars = 2;      // what the size fields take
constexpr int kSizeReadChars = 7;  // what OK reads of them

struct kind_row {
  display_kind kind;
  const char* label;
  int button, edit, spin;
};
// In the order of the dialog's rows.
const kind_row kRows[] = {
    {display_kind::waypoints, "Waypoints", IDC_COLOUR_WAYPOINTS, IDC_SIZE_WAYPOINTS, IDC_SPIN_WAYPOINTS},
    {display_kind::tracklogs, "Tracklog", IDC_COLOUR_TRACKLOGS, IDC_SIZE_TRACKLOGS, IDC_SPIN_TRACKLOGS},
    {display_kind::routes, "Routes", IDC_COLOUR_ROUTES, IDC_SIZE_ROUTES, IDC_SPIN_ROUTES},
    {display_kind::navigation, "Navigation", IDC_COLOUR_NAVIGATION, IDC_SIZE_NAVIGATION, IDC_SPIN_NAVIGATION},
    {display_kind::pois, "POIs", IDC_COLOUR_POIS, IDC_SIZE_POIS, IDC_SPIN_POIS},
    {display_kind::lois, "LOIs", IDC_COLOUR_LOIS, IDC_SIZE_LOIS, IDC_SPIN_LOIS},
};
constexpr int kRowCount = int(sizeof kRows / sizeof kRows[0]);

const dialog_text kTexts[] = {
    {IDC_COLOUR_CANCEL, "Annuler", "Cancel"},
    {0, "Couleurs / polices", "Colors / fonts"},
};

// The working colours, each with the brush its button is painted with; one dialog at a
// time (it is modal).
color_field g_fields[kRowCount];

int row_of_button(int id) {
  for (int i = 0; i < kRowCount; ++i)
    if (kRows[i].button == id) return i;
  return -1;
}

int row_of_window(plat::Wnd wnd) { return wnd ? row_of_button(plat::get_dlg_ctrl_id(wnd)) : -1; }

void on_init(plat::Wnd dlg) {
  dialog_set_texts(dlg, kTexts);
  for (int i = 0; i < kRowCount; ++i) {
    const kind_row& r = kRows[i];
    color_field_init(&g_fields[i], plat::get_dlg_item(dlg, r.button), display_colour(r.kind) & 0xFFFFFFu);
    plat::send_dlg_item_message(dlg, r.edit, plat::EM_LIMITTEXT, kSizeChars, 0);
    plat::send_dlg_item_message(dlg, r.spin, plat::UDM_SETBUDDY, plat::WParam(plat::get_dlg_item(dlg, r.edit)), 0);
    plat::send_dlg_item_message(dlg, r.spin, plat::UDM_SETRANGE, 0, plat::make_lparam(kSizeMax, kSizeMin));
    plat::send_dlg_item_message(dlg, r.spin, plat::UDM_SETPOS, 0, display_size(r.kind));
    plat::set_dlg_item_int(dlg, r.edit, unsigned(display_size(r.kind)), true);
  }
}

// The size as typed, decimal; what does not read as a number is 0. The up-down range
// bounds only the arrows: a typed size outside it is kept.
int read_size(plat::Wnd dlg, int id) {
  char text[kSizeReadChars + 1] = "";
  plat::get_dlg_item_text(dlg, id, text, sizeof text);
  return int(std::strtol(text, nullptr, 10));
}

void on_ok(plat::Wnd dlg) {
  for (int i = 0; i < kRowCount; ++i) {
    const uint32_t c = g_fields[i].color;
    set_display_colour(kRows[i].kind, colour_word(color_red(c), color_green(c), color_blue(c)));
    set_display_size(kRows[i].kind, read_size(dlg, kRows[i].edit));
  }
  plat::end_dialog(dlg, 1);
}

void on_command(plat::Wnd dlg, int id) {
  if (id == IDC_COLOUR_OK) {
    on_ok(dlg);
  } else if (id == IDC_COLOUR_CANCEL || id == plat::IDCANCEL) {
    plat::end_dialog(dlg, 0);
  } else if (const int row = row_of_button(id); row >= 0) {
    color_field_pick(&g_fields[row]);
  }
}

// A colour button is painted in its working colour.
intptr_t on_button_colour(plat::Dc dc, plat::Wnd button) {
  const int row = row_of_window(button);
  return row < 0 ? 0 : color_field_paint(&g_fields[row], dc);
}

}  // namespace

const plat::DlgTemplate& colour_dialog_template() {
  static const plat::DlgTemplate t = [] {
    plat::DlgTemplate d;
    d.title = "Colors / fonts";
    d.style = plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU | plat::DS_MODALFRAME;
    using namespace dlgitem;
    constexpr int L = 8, B = 62, E = 106, P = 144, top = 8, step = 18;
    for (int i = 0; i < kRowCount; ++i) {
      const kind_row& r = kRows[i];
      const int y = top + i * step;
      d.items.push_back(label(kNoId, r.label, L, y, 50));
      d.items.push_back(colour_button(r.button, B, y, 36));
      d.items.push_back({"Edit", r.edit, "", plat::WS_BORDER | plat::WS_TABSTOP | plat::ES_NUMBER, E, y, 34, 13});
      d.items.push_back({plat::kUpDownClass, r.spin, "",
                         plat::UDS_ALIGNRIGHT | plat::UDS_AUTOBUDDY | plat::UDS_SETBUDDYINT |
                             plat::UDS_ARROWKEYS | plat::UDS_NOTHOUSANDS,
                         0, 0, 10, 13});
      d.items.push_back(label(kNoId, "pt", P, y, 14));
    }
    const int y = top + kRowCount * step + 6;
    d.items.push_back(default_button(IDC_COLOUR_OK, "OK", 30, y));
    d.items.push_back(button(IDC_COLOUR_CANCEL, "Cancel", 92, y));
    d.cx = 166;
    d.cy = y + 23;
    return d;
  }();
  return t;
}

intptr_t color_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  switch (msg) {
    case plat::WM_INITDIALOG:
      on_init(dlg);
      return 1;
    case plat::WM_CTLCOLORBTN:
      return on_button_colour(reinterpret_cast<plat::Dc>(wparam), reinterpret_cast<plat::Wnd>(lparam));
    case plat::WM_COMMAND:
      on_command(dlg, int(plat::loword(wparam)));
      return 1;
    case plat::WM_DESTROY:
      for (color_field& f : g_fields) color_field_free(&f);
      return 0;
    default:
      return 0;
  }
}
