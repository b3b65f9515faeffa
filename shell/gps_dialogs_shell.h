// What the GPS windows (shell/gps_ui/gps_dialogs.h) reach of the map program: the check
// mark of the navigation menu item with its toolbar button, and live navigation's start
// through the start-up table's slot (so that what replaces that slot also starts what
// the navigation window hands over).
#pragma once

// Fills the GPS windows' table with the map program's routines. The frame window's
// creation calls it; frame_reset empties the table again.
void install_gps_window_routines();
