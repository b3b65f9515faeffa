// Stand-ins of the zoom level and manual localisation dialogs until their code lands; the file goes with them.
#include "shell/pending_commands.h"

#include "platform/ui/messages.h"

void manual_localisation_command(mapwin_t* win) {
  pending_reached("manual_localisation_command", "%s", pending_ptr_text(win));
}
intptr_t nivzoom_dlgproc(plat::Wnd, uint32_t msg, plat::WParam, plat::LParam) {
  if (msg == plat::WM_INITDIALOG) pending_reached("nivzoom_dlgproc", "");
  return 0;
}
