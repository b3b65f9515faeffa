// Stand-ins of the colour and monochrome-colour dialogs until their code lands; the file goes with them.
#include "shell/pending_commands.h"

#include "platform/ui/messages.h"

intptr_t imgmono_dlgproc(plat::Wnd, uint32_t msg, plat::WParam, plat::LParam) {
  if (msg == plat::WM_INITDIALOG) pending_reached("imgmono_dlgproc", "");
  return 0;
}
intptr_t color_dlgproc(plat::Wnd, uint32_t msg, plat::WParam, plat::LParam) {
  if (msg == plat::WM_INITDIALOG) pending_reached("color_dlgproc", "");
  return 0;
}
