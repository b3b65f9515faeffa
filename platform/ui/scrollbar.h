// Scroll bars of windows with WS_HSCROLL / WS_VSCROLL (SB_HORZ, SB_VERT), drawn plainly
// in the non-client area, and the state of scroll-bar controls (SB_CTL), which the
// controls keep here too. A window's bars start with the range 0 to 100, page 0,
// position 0.
//
// The position is kept within min .. max - max(page - 1, 0). A click on a bar sends
// WM_HSCROLL / WM_VSCROLL: SB_LINEUP/DOWN on the arrows, SB_PAGEUP/DOWN beside the
// thumb; dragging the thumb sends SB_THUMBTRACK with the tracked position (also
// readable as SIF_TRACKPOS) and SB_THUMBPOSITION on release; every click ends with
// SB_ENDSCROLL. The messages change nothing by themselves: the window sets the
// position it wants.
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

namespace plat {

constexpr int SB_HORZ = 0;
constexpr int SB_VERT = 1;
constexpr int SB_CTL = 2;
constexpr int SB_BOTH = 3;

constexpr unsigned SIF_RANGE = 0x0001;
constexpr unsigned SIF_PAGE = 0x0002;
constexpr unsigned SIF_POS = 0x0004;
constexpr unsigned SIF_DISABLENOSCROLL = 0x0008;
constexpr unsigned SIF_TRACKPOS = 0x0010;
constexpr unsigned SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;

constexpr unsigned ESB_ENABLE_BOTH = 0;
constexpr unsigned ESB_DISABLE_BOTH = 3;

struct ScrollInfo {
  unsigned mask = SIF_ALL;
  int min = 0, max = 0;
  unsigned page = 0;
  int pos = 0;
  int track_pos = 0;
};

// Sets the fields named by the mask; returns the new position. Any thread.
int set_scroll_info(Wnd wnd, int bar, const ScrollInfo* info, bool redraw);
// Fills the fields named by the mask; false for a missing window or bar.
bool get_scroll_info(Wnd wnd, int bar, ScrollInfo* info);
int set_scroll_pos(Wnd wnd, int bar, int pos, bool redraw);  // returns the previous
int get_scroll_pos(Wnd wnd, int bar);
bool set_scroll_range(Wnd wnd, int bar, int min, int max, bool redraw);
bool get_scroll_range(Wnd wnd, int bar, int* min, int* max);
bool enable_scroll_bar(Wnd wnd, int bar, unsigned arrows);  // ESB_*
// Adds or removes the bar (the WS_HSCROLL / WS_VSCROLL style); the client area changes.
bool show_scroll_bar(Wnd wnd, int bar, bool show);

}  // namespace plat
