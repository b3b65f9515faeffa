// Internal to the window system: the small drawing kit its own parts share (frames,
// captions, menu bars, scroll bars, message boxes): the interface font, text widths,
// solid fills, labels, raised and sunken boxes, arrows.
#pragma once
#include <string>

#include "platform/gdi/gdi.h"

namespace plat::ui_detail {

// "MS Sans Serif" (DejaVu Sans), 8 points, made once.
Font ui_font();
int text_width(const std::u16string& s);  // in the interface font, mnemonic marks removed
// The width of a text in a given font, taken as it is (null: text_width in the
// interface font).
int text_width_in(Font font, const std::u16string& s);
int text_height();
// The text with '&' mnemonic marks removed ("&&" stays as one '&').
std::u16string strip_mnemonic(const std::u16string& s);

void fill_solid(Dc dc, const Rect& r, Color c);
// Text in the interface font, transparent background, top-left at (x, y).
void draw_label(Dc dc, int x, int y, const std::u16string& s, Color c);
// A button-face box with light top-left and dark bottom-right edges (raised) or the
// reverse (sunken).
void draw_bevel(Dc dc, const Rect& r, bool raised);
// A small filled triangle pointing up (0), down (1), left (2) or right (3).
void draw_arrow(Dc dc, const Rect& r, int direction, Color c);

}  // namespace plat::ui_detail
