// The static control ("Static"): a label, a line or frame, or a picture. It takes no
// focus and raises nothing unless SS_NOTIFY asks for clicks.
//
// Colours: before painting, the control sends WM_CTLCOLORSTATIC to its parent (wParam
// the context, lParam the control). A non-zero answer is the brush the background is
// filled with, and the text is drawn in the text colour the parent set on the context;
// a zero answer leaves the button face and the window text colour.
//
// Text: '&' marks the next character as a mnemonic (underlined) unless SS_NOPREFIX;
// SS_LEFT, SS_CENTER and SS_RIGHT wrap between words, SS_LEFTNOWORDWRAP and SS_SIMPLE
// keep one line per line of text.
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

namespace plat {

// Styles: the type in the low five bits, then flags.
constexpr uint32_t SS_LEFT = 0x00;
constexpr uint32_t SS_CENTER = 0x01;
constexpr uint32_t SS_RIGHT = 0x02;
constexpr uint32_t SS_ICON = 0x03;
constexpr uint32_t SS_BLACKRECT = 0x04;
constexpr uint32_t SS_GRAYRECT = 0x05;
constexpr uint32_t SS_WHITERECT = 0x06;
constexpr uint32_t SS_BLACKFRAME = 0x07;
constexpr uint32_t SS_GRAYFRAME = 0x08;
constexpr uint32_t SS_WHITEFRAME = 0x09;
constexpr uint32_t SS_SIMPLE = 0x0B;
constexpr uint32_t SS_LEFTNOWORDWRAP = 0x0C;
constexpr uint32_t SS_OWNERDRAW = 0x0D;
constexpr uint32_t SS_BITMAP = 0x0E;
constexpr uint32_t SS_ETCHEDHORZ = 0x10;
constexpr uint32_t SS_ETCHEDVERT = 0x11;
constexpr uint32_t SS_ETCHEDFRAME = 0x12;
constexpr uint32_t SS_TYPEMASK = 0x1F;
constexpr uint32_t SS_NOPREFIX = 0x80;
constexpr uint32_t SS_NOTIFY = 0x100;
constexpr uint32_t SS_CENTERIMAGE = 0x200;
constexpr uint32_t SS_RIGHTJUST = 0x400;
constexpr uint32_t SS_SUNKEN = 0x1000;
constexpr uint32_t SS_ENDELLIPSIS = 0x4000;

// Messages. STM_SETIMAGE: wParam IMAGE_BITMAP, lParam the Bitmap (kept, not owned:
// the caller deletes it after the control is done with it); returns the previous one.
constexpr uint32_t STM_SETICON = 0x0170;
constexpr uint32_t STM_GETICON = 0x0171;
constexpr uint32_t STM_SETIMAGE = 0x0172;
constexpr uint32_t STM_GETIMAGE = 0x0173;
constexpr unsigned IMAGE_BITMAP = 0;
constexpr unsigned IMAGE_ICON = 1;

// Notifications (WM_COMMAND, with SS_NOTIFY).
constexpr int STN_CLICKED = 0;
constexpr int STN_DBLCLK = 1;
constexpr int STN_ENABLE = 2;
constexpr int STN_DISABLE = 3;

}  // namespace plat
