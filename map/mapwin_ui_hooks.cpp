// The routines through which map windows reach the window side of the framework above
// them (scroll bars, scrolling a window's pixels, the command target). The program
// fills them at start-up; until then each slot is empty and its caller does nothing.
#include "map/mapwin.h"

namespace {
mapwin_ui_hooks g_ui_hooks;  // written at start-up before any command runs
}  // namespace

void mapwin_set_ui_hooks(const mapwin_ui_hooks* hooks) {
  g_ui_hooks = hooks ? *hooks : mapwin_ui_hooks{};
}

const mapwin_ui_hooks& mapwin_get_ui_hooks() { return g_ui_hooks; }
