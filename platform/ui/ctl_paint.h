// Internal to the controls: the painting steps several control families share, next to
// the window system's drawing kit (ui_draw.h).
#pragma once
#include <cstdint>

#include "platform/gdi/gdi.h"
#include "platform/ui/types.h"

namespace plat::ui_detail {

// Asks the parent for the control's colours (`msg`: one of the WM_CTLCOLOR* messages,
// the context's text and background colours already set to the defaults). The brush
// answered, or null when the parent gave none.
Brush ctl_color_brush(Wnd wnd, Dc dc, uint32_t msg);
// The height of a line of text in `font` (null: the interface font); 13 when the font
// tells none. Row and tab heights are made from it.
int font_text_height(Font font);
// A bitmap's picture with its top-left corner at (x, y).
void draw_bitmap_at(Dc dc, Bitmap bmp, int x, int y);

}  // namespace plat::ui_detail
