// Harness helpers for dialogs and their controls: reach an item by id, click it, type
// into it, press the dialog's keys, answer the next modal dialog, take its picture.
//
// As with the rest of the harness, input is only queued: run_until_idle (or the modal
// loop of the dialog being answered) delivers it. type_into is the one exception that
// acts at once: it gives the item the focus first, since keys go to the window that
// has the focus when they are pressed.
#pragma once
#include <functional>
#include <string>

#include "platform/ui/ui.h"
#include "tests/support/harness.h"

namespace tm_test {

// The item with this id in a dialog (at any depth), or null.
plat::Wnd dlg_control(plat::Wnd dlg, int id);
// A click in the middle of the item: a button is pressed, a check box toggled, a radio
// button chosen, an edit focused. False when there is no such item.
bool click_control(plat::Wnd dlg, int id);
// Focuses the item and types the text; with `replace`, the item's text is selected
// first (Ctrl+A) so that the typing replaces it. False when there is no such item.
bool type_into(plat::Wnd dlg, int id, const char* utf8, bool replace = true);
// The dialog's keys, pressed in the window that has the focus.
void press_tab(bool backwards = false);
void press_enter();
void press_escape();
// The id of the item that has the focus (0 when none has).
int focused_control_id();

// The next modal dialog that falls idle is handed to `act`, which acts on it as a user
// would (fills items, clicks OK) or ends it; calls queue answers for dialogs to come,
// one each, in order. A dialog left without an answer is closed as Escape would.
// Installs the harness's modal answerer (set_modal_answerer) for dialogs.
void answer_next_dialog(std::function<void(plat::Wnd dlg)> act);

// The dialog (frame included) as a PNG file.
bool dialog_picture(plat::Wnd dlg, const std::string& path);

}  // namespace tm_test
