// Answering the print set-up dialog as a user does: the printer of a name chosen in the
// printer list, which refills the resolutions as a choice in the list does.
#pragma once
#include <string>

#include "platform/ui/ctl_combo.h"
#include "platform/ui/dialog.h"
#include "platform/ui/messages.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"
#include "shell/framework/print_dialog.h"
#include "shell/framework/winutil.h"

namespace tm_test {

// Chooses the printer of that name; false when the list has none of that name.
inline bool choose_print_printer(plat::Wnd dlg, const std::string& printer) {
  plat::Wnd list = plat::get_dlg_item(dlg, IDC_PRINT_PRINTER);
  const int n = int(plat::send_message(list, plat::CB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    plat::send_message(list, plat::CB_SETCURSEL, plat::WParam(i), 0);
    char text[128] = "";
    combo_selected_text(list, text, sizeof text);
    if (printer != text) continue;
    plat::send_message(dlg, plat::WM_COMMAND, plat::WParam(IDC_PRINT_PRINTER | (plat::CBN_SELCHANGE << 16)),
                       reinterpret_cast<plat::LParam>(list));
    return true;
  }
  return false;
}

}  // namespace tm_test
