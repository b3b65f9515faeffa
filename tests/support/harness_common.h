// Harness answers for the common dialogs (open, save, colour, folder). Each answer acts
// on the real dialog as a user would, through answer_next_dialog: it types into the
// dialog's fields, chooses the file type, and presses OK (or Cancel), so that the
// dialog's own code decides what the call returns. Answers are taken by the dialogs
// that open, one each, in order, together with the answers of answer_next_dialog.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/common_dlg.h"
#include "tests/support/harness_dialogs.h"

namespace tm_test {

// Types the paths into the name field (one as it is, several each in double quotes)
// and presses OK. No path: Cancel.
void answer_next_open_dialog(const std::vector<std::string>& paths);
// Chooses the file type (counted from 1; 0 leaves it), types the path, presses OK.
void answer_next_save_dialog(const std::string& path, int filter_index = 0);
// Types the red, green and blue numbers of a colour (0x00BBGGRR) and presses OK.
void answer_next_color_dialog(plat::Color colour);
// Types the path into the folder field and presses OK.
void answer_next_folder_dialog(const std::string& path);
// Presses Cancel in the next dialog.
void cancel_next_dialog();

// ---- The sample dialog -------------------------------------------------------------------
// A dialog holding one control of every kind, for pictures of the whole set: static
// text and bitmap, push, default, check, radio, group box and owner-drawn buttons,
// single and multi-line edits, drop-down and drop-down-list combo boxes, a list box, a
// report list view with columns, a tree view with check boxes, an up-down with its
// buddy, a trackbar, a progress bar, a tab control and a toolbar. Ids below.
struct SampleItem {
  int id;
  const char* label;  // the text the item shows (its labelled area holds text pixels)
};
const std::vector<SampleItem>& sample_dialog_labels();
// Shows the sample dialog modeless (visible) over `owner` (may be null), filled with its
// items; null when it cannot be built (a control class not registered).
plat::Wnd create_sample_dialog(plat::Wnd owner);

}  // namespace tm_test
