// The table window ("ClasseTableau"): a read-only report list view filled from a text
// of one field per line, with a Close button; used for lists such as the environment
// variables.
#pragma once
#include "platform/ui/types.h"

constexpr int kTableList = 1002;
constexpr int kTableClose = 1000;

int register_table_class();
// Rows = fields / columns (empty lines are not fields; a partial last row is left out);
// nothing (null) when there is no whole row or no column. With `header` the first row
// names the columns. The window is owned by the command target's window (or the active
// window), which stays disabled until it closes.
plat::Wnd create_table_window(const char* text, const char* title, int header, int columns,
                              int width, int owned_by_target);
plat::LResult table_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
