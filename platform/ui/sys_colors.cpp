// The system colours: one fixed, plain light scheme (grey button faces, white windows,
// blue captions and selections), indexed by the usual COLOR_* numbers.
#include "platform/ui/window.h"

namespace plat {

namespace {

constexpr Color kSysColors[COLOR_COUNT] = {
    rgb(200, 200, 200),  // COLOR_SCROLLBAR
    rgb(58, 110, 165),   // COLOR_BACKGROUND
    rgb(153, 180, 209),  // COLOR_ACTIVECAPTION
    rgb(191, 205, 219),  // COLOR_INACTIVECAPTION
    rgb(240, 240, 240),  // COLOR_MENU
    rgb(255, 255, 255),  // COLOR_WINDOW
    rgb(100, 100, 100),  // COLOR_WINDOWFRAME
    rgb(0, 0, 0),        // COLOR_MENUTEXT
    rgb(0, 0, 0),        // COLOR_WINDOWTEXT
    rgb(0, 0, 0),        // COLOR_CAPTIONTEXT
    rgb(180, 180, 180),  // COLOR_ACTIVEBORDER
    rgb(244, 247, 252),  // COLOR_INACTIVEBORDER
    rgb(171, 171, 171),  // COLOR_APPWORKSPACE
    rgb(0, 120, 215),    // COLOR_HIGHLIGHT
    rgb(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    rgb(240, 240, 240),  // COLOR_BTNFACE
    rgb(160, 160, 160),  // COLOR_BTNSHADOW
    rgb(109, 109, 109),  // COLOR_GRAYTEXT
    rgb(0, 0, 0),        // COLOR_BTNTEXT
    rgb(67, 78, 84),     // COLOR_INACTIVECAPTIONTEXT
    rgb(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    rgb(105, 105, 105),  // COLOR_3DDKSHADOW
    rgb(227, 227, 227),  // COLOR_3DLIGHT
    rgb(0, 0, 0),        // COLOR_INFOTEXT
    rgb(255, 255, 225),  // COLOR_INFOBK
};

}  // namespace

Color get_sys_color(int index) {
  if (index < 0 || index >= COLOR_COUNT) return rgb(0, 0, 0);
  return kSysColors[index];
}

}  // namespace plat
