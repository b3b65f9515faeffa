// The field writer of the zoom and localisation dialogs: a text is set only when it
// differs from the field's, so that rewriting an unchanged value raises no edit
// notification (and leaves the caret and selection of the field alone).
#pragma once
#include <cstring>

#include "platform/ui/dialog.h"

namespace zoomdlg {

constexpr int kFieldTextMax = 190;

inline void set_item_text_if_changed(plat::Wnd dlg, int id, const char* text) {
  char current[kFieldTextMax + 1] = "";
  plat::get_dlg_item_text(dlg, id, current, sizeof current);
  if (std::strcmp(current, text) != 0) plat::set_dlg_item_text(dlg, id, text);
}

}  // namespace zoomdlg
