// What the two GPS windows share: texts in the user's language, the state of check
// boxes, reading numbers from edits, the window itself and the release of a receiver
// list. Private to gps_dialogs_*.cpp.
#pragma once
#include <cstdint>

#include "platform/ui/types.h"
#include "platform/ui/window.h"

struct container_t;
struct gpsport_t;

namespace gps_dialogs {

const char* tr(const char* fr, const char* en);

bool checked(plat::Wnd box);
void set_checked(plat::Wnd box, bool on);
// Enables or greys an item; a check box greyed also loses its check, so that what is
// greyed is never part of what the window does.
void enable_item(plat::Wnd item, bool on);
// Whether an edit holds at least one character.
bool has_text(plat::Wnd edit);
// The number in the first `chars` characters of a digits-only edit (0 when empty).
int edit_number(plat::Wnd edit, int chars);

// Makes Escape on the control close its window (WM_CLOSE to its parent), as Escape closes
// every dialog, unless the control wants the key (an open drop-down list). The helpers
// below do it for the controls they make. Returns the control.
plat::Wnd takes_escape(plat::Wnd control);

// Controls of the pixel layout, in the dialog font.
plat::Wnd group(plat::Wnd parent, const char* text, int x, int y, int w, int h);
plat::Wnd label(plat::Wnd parent, int id, const char* text, int x, int y, int w);
plat::Wnd check_box(plat::Wnd parent, int id, const char* text, int x, int y, int w);
plat::Wnd number_edit(plat::Wnd parent, int id, int x, int y, int w, int limit);
plat::Wnd drop_list(plat::Wnd parent, int id, int x, int y, int w);
plat::Wnd button(plat::Wnd parent, int id, const char* text, int x, int y, int w, bool is_default = false);

// A captioned "ClasseDialogue" pop-up with a client area of width x height, owned by the
// dialog owner (the frame), which is disabled; null when it cannot be made. *owner gets
// the window to enable again when it closes.
plat::Wnd open_window(const char* title, int width, int height, plat::Wnd* owner);
// Enables the owner again (when there is one) and brings it forward.
void release_owner(plat::Wnd owner);

// Empties a list of receivers whose data words are port ids: every port is released,
// except the selected one when keep_selected (its new owner frees it).
void release_receivers(plat::Wnd combo, bool keep_selected);
// Fills a receiver list from a list of ports (display name, id) and frees the list, not
// the ports, which the combo's data words hold from then on. Returns the count.
int fill_receivers(plat::Wnd combo, container_t* list);
// The port whose id is the selected item's data, null when none is selected or it is
// gone.
gpsport_t* selected_receiver(plat::Wnd combo);

// At the destruction of a window whose state (with its `wnd` and `owner`) is `state`:
// when the state still names that window, whatever its receiver list `list_id` holds goes
// with it, the state is cleared and the owner enabled again.
template <class State>
void end_window_state(plat::Wnd wnd, int list_id, State& state) {
  if (state.wnd != wnd) return;
  release_receivers(plat::get_dlg_item(wnd, list_id), false);
  const plat::Wnd owner = state.owner;
  state = State{};
  release_owner(owner);
}

}  // namespace gps_dialogs
