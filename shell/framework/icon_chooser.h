// The icon chooser: a "ClasseDialogue" window that shows ten icons of a list at a time
// as bitmap radio buttons, moved through the list ten by ten with an up-down control,
// with the chosen icon's name and picture; OK hands the chosen index to a routine.
#pragma once
#include "platform/ui/types.h"

struct container_t;

// Control ids of the window.
constexpr int kIconFirstButton = 1020;  // 1020 .. 1029: the ten icon buttons
constexpr int kIconUpDown = 1011;
constexpr int kIconName = 1010;
constexpr int kIconPicture = 1032;       // the static picture of the chosen icon
constexpr int kIconOk = 1000;
constexpr int kIconCancel = 1001;

using icon_choice_fn = void (*)(int index);

// Opens the chooser over the active window (disabled while it is open) with the icons
// of the list (image objects; names from their object names) and `selected` chosen;
// nothing for an empty list (null). A selection outside the list counts as 0.
plat::Wnd create_dialog_window(container_t* icons, int selected, icon_choice_fn callback);
plat::LResult dialog_window_proc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
// The first icon shown and the one chosen in the open chooser (-1 when none is open).
int icon_chooser_first();
int icon_chooser_selected();
