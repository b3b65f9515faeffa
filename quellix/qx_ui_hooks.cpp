// The table of the main window's routines (see qx_ui_hooks.h).
#include "quellix/qx_ui_hooks.h"

qx_ui_hooks& qx_get_ui_hooks() {
  static qx_ui_hooks hooks;
  return hooks;
}
