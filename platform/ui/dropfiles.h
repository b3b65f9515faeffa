// Dropped files. A window that accepts files (drag_accept_files, or WS_EX_ACCEPTFILES)
// receives WM_DROPFILES with a Drop handle in wParam; the names are read from it with
// drag_query_file and the handle is freed with drag_finish.
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

namespace plat {

void drag_accept_files(Wnd wnd, bool accept);
// With index 0xFFFFFFFF: the number of files. Otherwise the UTF-8 length of that name
// (without the terminator); with a buffer, the name is copied (terminated, cut to fit
// at a character boundary) and the bytes copied are returned. 0 for a bad handle or index.
unsigned drag_query_file(Drop drop, unsigned index, char* buf, unsigned size);
// The point of the drop in the client coordinates of the window that received it.
bool drag_query_point(Drop drop, Point* pt);
void drag_finish(Drop drop);

}  // namespace plat
