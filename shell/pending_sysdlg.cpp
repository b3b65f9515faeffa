// Stand-ins of the cursor system, unit and coordinate-window commands until the cursor coordinate code lands; the file goes with them.
#include "shell/pending_commands.h"

#include "platform/ui/messages.h"

void cursor_unit_command(mapwin_t* win) { pending_reached("cursor_unit_command", "%s", pending_ptr_text(win)); }
void cursor_system_command(mapwin_t* win) {
  pending_reached("cursor_system_command", "%s", pending_ptr_text(win));
}
void cursor_window_toggle() { pending_reached("cursor_window_toggle", ""); }
void cursor_window_update() { pending_reached("cursor_window_update", ""); }
