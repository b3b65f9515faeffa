// The X11 presenter's own declarations, shared by its files: the presenter class (its
// window bookkeeping in x11_presenter.cpp, its event translation in x11_events.cpp, its
// dealings with the window manager in x11_manager.cpp) and the copying of surface pixels
// to the display (x11_image.cpp). Only platform/x11 includes this header, and with it Xlib.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ui/presenter.h"
#include "platform/ui/types.h"

// Xlib comes after the window system's headers: its macros (None, Bool, Status, True...)
// must not reach them.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace plat::x11_detail {

// How the surface's pixel words (0xAARRGGBB) become pixels of the visual the windows use.
struct PixelFormat {
  Visual* visual = nullptr;
  int depth = 0;
  // 32 bits per pixel with red 0xFF0000, green 0xFF00, blue 0xFF: the words go as they are.
  bool direct = false;
  unsigned long red_mask = 0, green_mask = 0, blue_mask = 0;
};

// The true-colour visual to use (the default one when it is true-colour, else a 24-bit
// one); false when the display has none.
bool choose_pixel_format(Display* dpy, int screen, PixelFormat* out);
// Copies `area` (window coordinates) of a top-level window's surface into its X window,
// which shows the part `shown` of the window (window coordinates; its top-left corner is
// the X window's origin).
void put_surface_area(Display* dpy, ::Window xid, GC gc, const PixelFormat& format, Wnd top,
                      const Rect& area, const Rect& shown);

// One shown top-level window. Its X window shows the window rectangle less the window
// manager's frame (`frame`, zeros when the window draws its own): with the manager's
// usual north-west gravity the position asked for is that of the frame's corner, which is
// the window rectangle's.
struct TopWindow {
  ::Window xid = 0;
  GC gc = nullptr;
  Rect rect;                  // window rectangle on screen, as the two sides last agreed
  FrameExtents frame;         // the window manager's frame inside that rectangle
  bool mapped = false;        // the server has mapped it (MapNotify seen)
  bool focus_on_map = false;  // activated before it was mapped: take the focus once it is
  bool unmanaged = false;     // override-redirect: no frame, placed as asked, never focused
  bool popup_menu = false;    // a popup menu: holds the pointer while it is mapped
  Rect exposed;               // exposed area not yet drawn again (window coordinates)
};

// The part of a window that its X window shows (window coordinates), and that part on
// the screen.
Rect shown_part(const TopWindow& t);
Rect x_window_rect(const TopWindow& t);

// The last button press, for telling double clicks.
struct LastPress {
  bool valid = false;
  unsigned button = 0;
  ::Window xid = 0;
  Time time = 0;
  int x = 0, y = 0;  // on the root window
};

class X11Presenter final : public Presenter {
 public:
  // Null when the display cannot be opened or offers no true-colour visual. `program`
  // names the program's windows to the window manager (WM_CLASS).
  static std::unique_ptr<X11Presenter> open(const char* display_name, const char* program);
  ~X11Presenter() override;
  X11Presenter(const X11Presenter&) = delete;
  X11Presenter& operator=(const X11Presenter&) = delete;

  Rect screen_rect() const;
  Rect work_area() const;
  // The connection to the display broke; the presenter has stepped aside (or will at
  // its next wait) and makes no more Xlib calls but the ones that free its own memory.
  bool lost() const { return lost_; }
  // Whether a window manager runs, and the frame it usually draws around a window.
  bool window_manager() const { return window_manager_; }
  FrameExtents usual_frame() const { return usual_frame_; }

  void window_shown(Wnd top, const Rect& window, const Rect& client) override;
  void window_hidden(Wnd top) override;
  void window_moved(Wnd top, const Rect& window, const Rect& client) override;
  void window_retitled(Wnd top, const std::u16string& title) override;
  // The window's icons changed (the icon listener while the presenter is installed).
  void window_icon_changed(Wnd top);
  void window_activated(Wnd top) override;
  void window_destroyed(Wnd top) override;
  void surface_updated(Wnd top, const Rect& area) override;
  void cursor_changed(Cursor cursor) override;
  void wait_events(int64_t timeout_ms) override;
  void wake() override;

 private:
  X11Presenter() = default;

  // Windows (x11_presenter.cpp).
  TopWindow* top_of(Wnd top);
  Wnd wnd_of(::Window xid) const;
  TopWindow& create_x_window(Wnd top, const Rect& window);
  void set_title(::Window xid, const std::u16string& title);
  void set_icon(::Window xid, Wnd top);
  void set_owner_hint(Wnd top, ::Window xid);
  void take_focus(TopWindow& t);
  ::Cursor x_cursor_of(Cursor cursor);
  void drain_wake_pipe();

  // The window manager (x11_manager.cpp).
  void find_window_manager();
  bool read_frame_extents(::Window xid, FrameExtents* out);
  FrameExtents ask_frame_extents();
  void set_class_hint(::Window xid);
  void on_frame_extents(Wnd top, TopWindow& t);
  void on_property(const XPropertyEvent& ev);
  // Pointer grabs of the popup menus (x11_events.cpp).
  void popup_menu_mapped(::Window xid, bool mapped);
  // Called by Xlib (in place of ending the process) when the connection breaks.
  static void on_connection_lost(Display* dpy, void* self);
  void go_headless();

  // Events (x11_events.cpp).
  void drain_events();
  void handle_event(XEvent& ev);
  void on_key(XKeyEvent& ev, bool down);
  void on_button(const XButtonEvent& ev, bool down);
  void on_motion(const XMotionEvent& ev);
  void on_configure(const XConfigureEvent& ev);
  void on_expose(const XExposeEvent& ev);
  void on_map(::Window xid, bool mapped);
  void on_destroyed(::Window xid);
  void on_focus(const XFocusChangeEvent& ev, bool in);
  void release_keys_if_focus_left();
  void release_keys_not_held();
  void on_client_message(const XClientMessageEvent& ev);
  void show_exposed();

  Display* dpy_ = nullptr;
  int screen_ = 0;
  ::Window root_ = 0;
  PixelFormat format_;
  Colormap colormap_ = 0;
  bool own_colormap_ = false;
  Atom wm_protocols_ = 0, wm_delete_window_ = 0, net_wm_name_ = 0, utf8_string_ = 0, net_workarea_ = 0,
       net_wm_icon_ = 0;
  Atom net_frame_extents_ = 0;
  std::string res_name_, res_class_;  // WM_CLASS of the program's windows
  bool window_manager_ = false;
  FrameExtents usual_frame_;
  std::vector<::Window> grabs_;  // mapped popup menus, the last one holding the pointer
  XErrorHandler old_error_handler_ = nullptr;
  XIOErrorHandler old_io_error_handler_ = nullptr;
  bool lost_ = false;      // the connection broke (set inside an Xlib call)
  bool headless_ = false;  // ... and the presenter has stepped aside

  // The wake pipe: wake() writes a byte (any thread), wait_events polls the read end.
  int wake_read_ = -1;
  std::atomic<int> wake_write_{-1};

  std::unordered_map<Wnd, TopWindow> tops_;
  std::unordered_map<::Window, Wnd> by_xid_;
  std::unordered_map<unsigned, ::Cursor> cursors_;  // by cursor-font shape
  ::Cursor blank_cursor_ = 0;
  ::Cursor current_cursor_ = 0;                       // 0: the display's default
  LastPress last_press_;
  Wnd applying_ = nullptr;  // a window whose change from the display is being applied
  std::unordered_map<unsigned, int> key_vk_;  // the virtual key sent for each key held down
  bool focus_left_ = false;  // the X focus left the presenter's windows (not yet come back)
};

}  // namespace plat::x11_detail
