// Mouse cursors: the shapes the system loads by number, and the current one. The
// presenter is told when the current cursor changes; tests read it back.
#pragma once

#include "platform/ui/types.h"

namespace plat {

constexpr int IDC_ARROW = 32512;
constexpr int IDC_IBEAM = 32513;
constexpr int IDC_WAIT = 32514;
constexpr int IDC_CROSS = 32515;
constexpr int IDC_UPARROW = 32516;
constexpr int IDC_SIZENWSE = 32642;
constexpr int IDC_SIZENESW = 32643;
constexpr int IDC_SIZEWE = 32644;
constexpr int IDC_SIZENS = 32645;
constexpr int IDC_SIZEALL = 32646;
constexpr int IDC_NO = 32648;
constexpr int IDC_HAND = 32649;
constexpr int IDC_APPSTARTING = 32650;

// One of the shapes above; null for another number.
Cursor load_cursor(int id);
// Makes a cursor current; returns the previous one. Null hides the cursor.
Cursor set_cursor(Cursor cursor);
Cursor get_cursor();
// The number a cursor was loaded with (0 for null or an unknown handle).
int cursor_id(Cursor cursor);

}  // namespace plat
