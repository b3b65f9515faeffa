// The "IMGMONO" dialog: the colour in which the current map window shades its images
// when it shows them in monochrome.
#include "map/mapwin.h"
#include "map/view_records.h"
#include "platform/gdi/gdi.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/dialog.h"
#include "platform/ui/messages.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "shell/framework/dialog_items.h"
#include "shell/framework/choosers.h"
#include "shell/framework/winutil.h"
#include "shell/preference_dialogs.h"

namespace {

const dialog_text kTexts[] = {
    {IDC_IMGMONO_LABEL, "Couleur monochrome", "Monochrome color"},
    {IDC_IMGMONO_CANCEL, "Annuler", "Cancel"},
    {0, "Images monochromes", "Monochrome images"},
};

// The working colour and the brush its button is painted with (the dialog is modal).
color_field g_field;

void on_init(plat::Wnd dlg) {
  dialog_set_texts(dlg, kTexts);
  uint32_t colour = 0;
  mapwin_get_colours(nullptr, nullptr, &colour);
  color_field_init(&g_field, plat::get_dlg_item(dlg, IDC_IMGMONO_COLOUR), colour & 0xFFFFFFu);
}

// The monochrome flag stays as it is; the window is redrawn in the new colour.
void on_ok(plat::Wnd dlg) {
  int monochrome = 0;
  mapwin_get_colours(nullptr, &monochrome, nullptr);
  const uint32_t c = g_field.color;
  mapwin_set_colours(nullptr, monochrome, colour_word(color_red(c), color_green(c), color_blue(c)));
  if (mapwin_t* win = get_current_mapwin()) mapwin_request_redraw(win);
  plat::end_dialog(dlg, 1);
}

void on_command(plat::Wnd dlg, int id) {
  if (id == IDC_IMGMONO_COLOUR) {
    color_field_pick(&g_field);
  } else if (id == IDC_IMGMONO_OK) {
    on_ok(dlg);
  } else if (id == IDC_IMGMONO_CANCEL || id == plat::IDCANCEL) {
    plat::end_dialog(dlg, 0);
  }
}

intptr_t on_button_colour(plat::Dc dc, plat::Wnd button) {
  if (!button || plat::get_dlg_ctrl_id(button) != IDC_IMGMONO_COLOUR) return 0;
  return color_field_paint(&g_field, dc);
}

}  // namespace

const plat::DlgTemplate& imgmono_dialog_template() {
  static const plat::DlgTemplate t = [] {
    plat::DlgTemplate d;
    d.title = "Monochrome images";
    d.style = plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU | plat::DS_MODALFRAME;
    d.cx = 160;
    d.cy = 56;
    using namespace dlgitem;
    d.items = {
        label(IDC_IMGMONO_LABEL, "Couleur monochrome", 8, 10, 90),
        colour_button(IDC_IMGMONO_COLOUR, 104, 10, 48),
        default_button(IDC_IMGMONO_OK, "OK", 38, 34),
        button(IDC_IMGMONO_CANCEL, "Cancel", 98, 34),
    };
    return d;
  }();
  return t;
}

intptr_t imgmono_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
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
      color_field_free(&g_field);
      return 0;
    default:
      return 0;
  }
}
