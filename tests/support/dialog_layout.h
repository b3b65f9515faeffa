// A check of a dialog's layout as the user sees it: every visible control lies inside the
// client area, no two visible controls overlap (a group box frames others, and an up-down
// control sits on its buddy by design), and the text of every label, button, check box,
// radio button and group box fits its control in the control's own font (a label that
// wraps between words fits when its lines fit its height).
//
// Take it with the dialog open (inside an answer_next_dialog action), once per language,
// after the text tables were applied: EXPECT_THAT(dialog_layout_faults(dlg), IsEmpty()).
#pragma once
#include <string>
#include <vector>

#include "platform/ui/types.h"

namespace tm_test {

// One line per fault, naming the controls by id and text; empty when the layout is sound.
std::vector<std::string> dialog_layout_faults(plat::Wnd dlg);

}  // namespace tm_test
