// Internal to the toolbar: the state it keeps (reached through its first per-window
// value) and the routines its parts share.
//   ctl_toolbar.cpp          the window procedure, buttons, strings, images, states
//   ctl_toolbar_input.cpp    the layout, the user's clicks and the tooltips' timing
//   ctl_toolbar_paint.cpp    painting
//   ctl_toolbar_tooltip.cpp  the tooltips window
//   ctl_toolbar_stdimages.cpp, ctl_toolbar_bmp.cpp  the standard images, bitmap files
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/ctl_state.h"
#include "platform/ui/ctl_toolbar.h"
#include "platform/ui/image_list.h"
#include "platform/ui/window.h"

namespace plat::ui_detail {

struct TbButtonData {
  int image = 0;  // a separator: its width (0: the default)
  int command = 0;
  uint8_t state = TBSTATE_ENABLED;
  uint8_t style = TBSTYLE_BUTTON;
  uintptr_t data = 0;
  intptr_t string = -1;  // as given
  std::u16string text;   // the button's string, the tooltip of last resort
};

// Owns its image list, which goes with it.
struct ToolbarData {
  ToolbarData() = default;
  ToolbarData(const ToolbarData&) = delete;
  ToolbarData& operator=(const ToolbarData&) = delete;
  ~ToolbarData() { image_list_destroy(images); }

  std::vector<TbButtonData> buttons;
  std::vector<std::u16string> strings;
  ImageList images = nullptr;  // owned; made with the first images
  Size bitmap{16, 15};
  bool bitmap_fixed = false;   // set by TB_SETBITMAPSIZE or by the first images
  Size button_asked{0, 0};     // TB_SETBUTTONSIZE
  size_t record_size = sizeof(TbButton);
  int max_text_rows = 1;
  // The mouse.
  int pressed = -1;  // the button held down
  bool tracking = false;
  // Tooltips.
  Wnd tip = nullptr;
  int hover = -1;          // the button the mouse rests on
  bool tip_done = false;   // shown (or cancelled) for this rest: not again until it moves
  int64_t shown_at = 0;
};

inline ToolbarData* toolbar_data(Wnd wnd) { return control_state_of<ToolbarData>(wnd); }
inline uint32_t toolbar_style(Wnd wnd) { return uint32_t(get_window_long(wnd, GWL_STYLE)); }
inline bool is_separator(const TbButtonData& b) { return (b.style & TBSTYLE_SEP) != 0; }

constexpr int kTbMargin = 2;       // from the toolbar's edge to the first button
constexpr int kTbSeparator = 8;    // a separator's default size along the bar
constexpr uintptr_t kTbHoverTimer = 1;
constexpr uintptr_t kTbWatchTimer = 2;
constexpr uint32_t kTbWatchMs = 100;

// ---- Layout and input (ctl_toolbar_input.cpp) ---------------------------------------------------
Size toolbar_button_size(const ToolbarData& d);
// One rectangle per button (empty for a hidden one), client coordinates.
std::vector<Rect> toolbar_layout(Wnd wnd, const ToolbarData& d);
int toolbar_button_at(Wnd wnd, const ToolbarData& d, Point p);  // a button (not a separator) or -1
void toolbar_autosize(Wnd wnd, const ToolbarData& d);
// Checks a button, and unchecks the others of its check group when it is checked.
void toolbar_set_checked(ToolbarData& d, int index, bool checked);
LResult toolbar_on_mouse(Wnd wnd, uint32_t msg, LParam lp);
void toolbar_on_timer(Wnd wnd, uintptr_t id);
void toolbar_hide_tip(Wnd wnd, ToolbarData& d);

// ---- Tooltips window (ctl_toolbar_tooltip.cpp) -------------------------------------------------
void register_tooltips_class();
Wnd create_tooltips_window(Wnd owner);

// ---- Painting (ctl_toolbar_paint.cpp) ----------------------------------------------------------
void toolbar_paint(Wnd wnd, ToolbarData& d);

}  // namespace plat::ui_detail
