// The table through which the GPS windows reach the program that opens them.
#include "shell/gps_ui/gps_dialogs.h"

namespace {
gps_dialog_hooks g_hooks;
}  // namespace

gps_dialog_hooks& get_gps_dialog_hooks() { return g_hooks; }

void gps_dialog_hooks_reset() { g_hooks = gps_dialog_hooks{}; }
