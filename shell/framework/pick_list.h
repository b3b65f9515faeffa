// The pick list ("ClasseListes"): a window with an edit field, a list of offered
// objects, OK and Cancel. The user picks an object of the list, or types a number of
// at least three digits; closing the window posts the command slot it was opened with,
// its text the decimal id of the chosen object, or minus the number typed (nothing
// chosen: an empty text).
#pragma once
#include "platform/ui/types.h"

struct container_t;

constexpr int kPickEdit = 2001;
constexpr int kPickList = 1079;
constexpr int kPickOk = 1000;
constexpr int kPickCancel = 1001;
// Longest number read from the edit field.
constexpr int kPickMaxTyped = 24;

int register_pick_list_class();
// Opens the pick list over the dialog owner (disabled while it is open) with the objects
// of the list, each shown by its name (or its id when it has none); `slot` is posted
// when the window closes. One pick list at a time: null when one is open already.
plat::Wnd create_pick_list(const char* title, container_t* objects, int slot);
plat::LResult pick_list_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
// The result text the open (or last closed) pick list has built.
const char* pick_list_result();
