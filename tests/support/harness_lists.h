// Harness helpers for the list controls and their kin: choosing list box and combo box
// items as a user would, opening and closing a combo box's list, clicking the arrows
// of an up-down control, paging and dragging a trackbar, clicking a tab.
//
// As with the rest of the harness, the list box, up-down, trackbar and tab helpers only
// queue the user's action: run_until_idle (or the modal loop of the dialog being
// answered) delivers it. The combo box helpers deliver what they queue themselves
// (run_until_idle), since each step needs the window the step before opened. All of
// them return false, doing nothing, for a missing window or a bad index.
#pragma once
#include "platform/ui/ui.h"
#include "tests/support/harness.h"

namespace tm_test {

// ---- List boxes ------------------------------------------------------------------------------
// A click on an item (scrolled into view first), with MOD_CTRL / MOD_SHIFT held.
bool click_list_item(plat::Wnd list, int index, unsigned mods = 0);
bool double_click_list_item(plat::Wnd list, int index);
// A click on the item whose text equals `utf8` (case ignored).
bool click_list_text(plat::Wnd list, const char* utf8);

// ---- Combo boxes -------------------------------------------------------------------------------
// A click on the button (the field of a drop-down list) that opens the list.
bool open_combo(plat::Wnd combo);
// A click on the button again: the list closes without a choice.
bool close_combo(plat::Wnd combo);
// The dropped list window of a combo box, null while it is closed.
plat::Wnd combo_list_window(plat::Wnd combo);
// Opens the list as needed, scrolls the item into view and clicks it (a simple combo
// box's item is clicked in place).
bool select_combo_item(plat::Wnd combo, int index);
bool select_combo_text(plat::Wnd combo, const char* utf8);

// ---- Up-down controls ----------------------------------------------------------------------------
// A click on the up arrow (the right one with UDS_HORZ), or the other one.
bool click_updown(plat::Wnd updown, bool up);

// ---- Trackbars -----------------------------------------------------------------------------------
// Where a position lies on the channel (client coordinates of the trackbar).
plat::Point trackbar_point(plat::Wnd trackbar, int pos);
// A click in the channel at a position's place: the thumb pages towards it.
bool click_trackbar(plat::Wnd trackbar, int pos);
// The thumb taken and dropped at a position's place.
bool drag_trackbar(plat::Wnd trackbar, int pos);

// ---- Tab controls ----------------------------------------------------------------------------------
bool click_tab(plat::Wnd tab, int index);

}  // namespace tm_test
