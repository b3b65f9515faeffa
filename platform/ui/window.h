// Windows and window classes: registering classes, creating and destroying windows,
// the parent/owner tree, show, enable, focus and activation, text, geometry, window
// values and subclassing, and the default window procedure.
//
// Every window belongs to the one user-interface thread. Calls that run a window
// procedure (create, destroy, show, move, enable, focus, text) made on another thread
// are handed to the user-interface thread and waited for, like send_message. Reading
// calls (is_window, rectangles, values, relations) may be made from any thread.
//
// Geometry: a top-level window's rectangle is in screen coordinates, a child's in its
// parent's client coordinates. The frame drawn around the client area depends on the
// style: 4 pixels for WS_THICKFRAME, 3 for WS_DLGFRAME or WS_EX_DLGMODALFRAME, 1 for
// WS_BORDER alone, 2 more for WS_EX_CLIENTEDGE; a caption bar (WS_CAPTION) of 20; a menu
// bar of 20 for a top-level window with a menu; scroll bars (WS_VSCROLL, WS_HSCROLL) of
// 16 inside the frame.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/ui/messages.h"
#include "platform/ui/styles.h"
#include "platform/ui/types.h"

namespace plat {

// ---- Classes -----------------------------------------------------------------------------
struct WndClass {
  uint32_t style = 0;  // CS_*
  WndProc proc = nullptr;
  int class_extra = 0;  // bytes of class values (unused by the layer itself)
  int wnd_extra = 0;    // bytes of per-window values reached with positive indices
  Cursor cursor = nullptr;
  Brush background = nullptr;     // erases the client area on WM_ERASEBKGND
  int background_sys_color = -1;  // when >= 0 and no brush: this COLOR_* fills instead
  const char* name = nullptr;     // ASCII; compared without regard to case
};

// Registers a class; 0 when the name is empty, taken, or the procedure is missing,
// else a non-zero class number.
uint16_t register_class(const WndClass& cls);
bool unregister_class(const char* name);
// Copies a registered class (its name pointer is left null); false when unknown.
bool get_class_info(const char* name, WndClass* out);
std::string get_class_name(Wnd wnd);

// ---- Creation ----------------------------------------------------------------------------
// What WM_NCCREATE and WM_CREATE receive in lParam.
struct CreateStruct {
  void* create_params = nullptr;
  uintptr_t id = 0;
  Wnd parent = nullptr;
  int cy = 0, cx = 0, y = 0, x = 0;
  uint32_t style = 0;
  const char16_t* name = nullptr;
  const char* class_name = nullptr;
  uint32_t ex_style = 0;
};

// Creates a window. With WS_CHILD, `parent` is its parent and `id` its control id;
// otherwise `parent` (when given) becomes the owner (its top-level window) and `id`
// is kept as the window's value GWLP_ID. CW_USEDEFAULT in x or width gives a default
// place or size. Sends WM_NCCREATE (0 refuses), WM_CREATE (-1 refuses), WM_SIZE and
// WM_MOVE, WM_PARENTNOTIFY, and shows the window when WS_VISIBLE is given. Null on
// failure.
Wnd create_window(uint32_t ex_style, const char* class_name, const char* title, uint32_t style,
                  int x, int y, int width, int height, Wnd parent, uintptr_t id,
                  void* create_params = nullptr);
Wnd create_window_w(uint32_t ex_style, const char* class_name, const char16_t* title,
                    uint32_t style, int x, int y, int width, int height, Wnd parent,
                    uintptr_t id, void* create_params = nullptr);

// Destroys a window, the windows it owns and its children: WM_DESTROY goes to the
// window and then down its children (the last created first), WM_NCDESTROY comes back
// up (children before their parent). The window's menu, timers and queued messages go
// with it. False for a handle that is not a window. Safe on a window whose procedure
// is running: the handle just stops being valid.
bool destroy_window(Wnd wnd);
bool is_window(Wnd wnd);

// ---- Tree --------------------------------------------------------------------------------
Wnd get_parent(Wnd wnd);  // the parent of a child, the owner of a top-level window
Wnd get_owner(Wnd wnd);
Wnd set_parent(Wnd wnd, Wnd new_parent);  // returns the old parent
bool is_child(Wnd parent, Wnd wnd);       // wnd is a descendant of parent
Wnd get_ancestor(Wnd wnd, unsigned how);  // GA_PARENT, GA_ROOT, GA_ROOTOWNER
Wnd get_window(Wnd wnd, unsigned relation);  // GW_*
// Top-level windows in creation order; children of a window in their order (the first
// created first, which is also the top of their stacking order).
std::vector<Wnd> top_level_windows();
std::vector<Wnd> child_windows(Wnd parent);
// A descendant with this control id (direct children first), or null.
Wnd get_dlg_item(Wnd parent, int id);
int get_dlg_ctrl_id(Wnd wnd);
// A top-level window by class and/or title (null matches anything).
Wnd find_window(const char* class_name, const char* title);
// The deepest visible, enabled window under a screen point, or null.
Wnd window_from_point(Point screen);

// ---- Show, enable, focus, activation ----------------------------------------------------
// Returns whether the window was visible before. Sends WM_SHOWWINDOW when visibility
// changes; showing a top-level window (except the NOACTIVATE/NA commands) activates it.
bool show_window(Wnd wnd, int cmd);
bool is_window_visible(Wnd wnd);  // it and all its ancestors are shown
bool is_iconic(Wnd wnd);
bool is_zoomed(Wnd wnd);
// Returns whether the window was disabled before. Sends WM_ENABLE on a change; a
// disabled window loses the focus and the mouse capture.
bool enable_window(Wnd wnd, bool enable);
bool is_window_enabled(Wnd wnd);
// Moves the keyboard focus (WM_KILLFOCUS, then WM_SETFOCUS), activating the window's
// top-level window first; returns the previous focus. Null takes the focus away.
Wnd set_focus(Wnd wnd);
Wnd get_focus();
// Activates a top-level window (WM_ACTIVATE WA_INACTIVE to the old one, then WA_ACTIVE
// to the new one, whose default processing gives it the focus); returns the previous.
Wnd set_active_window(Wnd wnd);
Wnd get_active_window();
bool set_foreground_window(Wnd wnd);
Wnd get_foreground_window();

// ---- Text ---------------------------------------------------------------------------------
// Through WM_SETTEXT / WM_GETTEXT, so that controls answer with their own text.
bool set_window_text(Wnd wnd, const char* utf8);
bool set_window_text_w(Wnd wnd, const char16_t* text);
// UTF-8 into buf (always terminated, cut at a character boundary); bytes written.
int get_window_text(Wnd wnd, char* buf, int size);
// UTF-16 into buf (always terminated); units written.
int get_window_text_w(Wnd wnd, char16_t* buf, int size);
int get_window_text_length(Wnd wnd);  // UTF-16 units
std::string window_text(Wnd wnd);
std::u16string window_text_w(Wnd wnd);

// ---- Geometry -------------------------------------------------------------------------------
bool get_window_rect(Wnd wnd, Rect* out);  // screen coordinates
bool get_client_rect(Wnd wnd, Rect* out);  // (0, 0, width, height)
bool client_to_screen(Wnd wnd, Point* pt);
bool screen_to_client(Wnd wnd, Point* pt);
// Maps points from one window's client coordinates to another's (null: the screen).
void map_window_points(Wnd from, Wnd to, Point* pts, int count);
bool move_window(Wnd wnd, int x, int y, int width, int height, bool repaint);
// SWP_* flags; insert_after is a sibling or HWND_TOP / HWND_BOTTOM. Sends WM_MOVE and
// WM_SIZE on changes.
bool set_window_pos(Wnd wnd, Wnd insert_after, int x, int y, int width, int height,
                    unsigned flags);
// The window rectangle needed for a client rectangle with this style.
bool adjust_window_rect(Rect* rect, uint32_t style, bool has_menu, uint32_t ex_style = 0);
// The screen and the part of it not taken by panels (the presenter sets both; headless
// they are 1024 x 768).
Rect get_work_area();
Rect get_screen_rect();
void set_screen_metrics(const Rect& screen, const Rect& work_area);
int get_system_metrics(int index);
// System colours (COLOR_*); black for an unknown index.
Color get_sys_color(int index);

// ---- Window values --------------------------------------------------------------------------
// GWLP_WNDPROC, GWLP_ID, GWL_STYLE, GWL_EXSTYLE, GWLP_USERDATA, GWLP_HWNDPARENT, or a
// byte offset into the class's per-window bytes (8 bytes read or written). Set returns
// the previous value; 0 for an unknown window or index.
intptr_t get_window_long(Wnd wnd, int index);
intptr_t set_window_long(Wnd wnd, int index, intptr_t value);
// Subclassing: install a procedure, keeping the old one to chain to.
WndProc get_window_proc(Wnd wnd);
WndProc set_window_proc(Wnd wnd, WndProc proc);
LResult call_window_proc(WndProc proc, Wnd wnd, uint32_t msg, WParam wparam, LParam lparam);

// ---- Default processing --------------------------------------------------------------------
// WM_NCCREATE stores the title; WM_CLOSE destroys; WM_PAINT validates; WM_ERASEBKGND fills
// with the class background; WM_SETTEXT / WM_GETTEXT / WM_GETTEXTLENGTH keep the text;
// WM_ACTIVATE focuses the window; WM_SETCURSOR asks the parent, then sets the class
// cursor; WM_SYSCOMMAND closes, minimises, maximises, restores, and works the menu bar
// from the keyboard (SC_KEYMENU, which F10, Alt pressed alone and Alt+letter send to the
// top-level window); WM_MOUSEWHEEL and WM_CONTEXTMENU go to the parent; the non-client
// mouse messages work the scroll bars, the menu bar and the close box.
LResult def_window_proc(Wnd wnd, uint32_t msg, WParam wparam, LParam lparam);

}  // namespace plat
