// The X11 presenter's windows and its wait. Every shown top-level window of the window
// system is one X window that shows the window's surface. Without a window manager the
// X window has the window's rectangle and the window system draws frame, caption and
// menu bar itself. With one (x11_manager.cpp), the manager frames the windows that have
// a caption and draws their title bars: the X window then holds what lies inside the
// manager's frame (menu bar and client area), and carries the title, the program's
// class, the owner of a dialog and the close request for the manager. The short-lived
// popups (dropped lists, popup menus and tooltips) bypass the manager altogether as
// override-redirect windows.
// The presenter keeps the rectangle both sides last agreed on, so that a change coming
// back from the other side as an echo is not sent again.
//
// Waiting polls the X connection and a wake pipe together; everything else Xlib does
// happens on the user-interface thread, the only thread that calls the presenter
// (wake() only writes to the pipe).
//
// A broken connection (the server ended, the network went) does not end the program, as
// Xlib would by default: Xlib is told to return from the failing call, the presenter
// stops using the display and steps aside, the programs go on headless, and every window
// that was on the screen is asked to close, as when its X window is destroyed.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <string>
#include <vector>

#include "platform/sys/utf.h"
#include "platform/ui/cursor.h"
#include "platform/ui/icons.h"
#include "platform/ui/input.h"
#include "platform/ui/window.h"
#include "platform/x11/x11_internal.h"
#include "platform/x11/x11_presenter.h"

#include <X11/Xatom.h>
#include <X11/XKBlib.h>
#include <X11/cursorfont.h>

namespace plat {
namespace x11_detail {

namespace {

// A request on a window that is already gone (the window manager or the user may
// remove one at any time) is not worth ending the program for.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }
// The connection broke: nothing to print or end here; the exit handler takes it from here.
int quiet_io_error(Display*) { return 0; }

struct ShapeForId {
  int id;
  unsigned shape;
};
constexpr ShapeForId kShapeForIds[] = {
    {IDC_ARROW, XC_left_ptr},           {IDC_IBEAM, XC_xterm},
    {IDC_WAIT, XC_watch},               {IDC_APPSTARTING, XC_watch},
    {IDC_CROSS, XC_crosshair},          {IDC_UPARROW, XC_sb_up_arrow},
    {IDC_SIZENWSE, XC_bottom_right_corner}, {IDC_SIZENESW, XC_bottom_left_corner},
    {IDC_SIZEWE, XC_sb_h_double_arrow}, {IDC_SIZENS, XC_sb_v_double_arrow},
    {IDC_SIZEALL, XC_fleur},            {IDC_NO, XC_X_cursor},
    {IDC_HAND, XC_hand2},
};

// The older title property holds Latin-1; other characters become '?'.
std::string latin1_of(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += c < 0x100 ? char(c) : '?';
  return out;
}

// X windows cannot be empty.
unsigned x_extent(int v) { return unsigned(std::max(v, 1)); }

// Windows that open and close with a click, at a place the window system works out
// itself (a combo box's dropped list, a popup menu, a tooltip): the window manager must
// neither frame nor move them, nor give them the keyboard, which stays with the window
// they belong to (the window system sends keys to its own focus window whatever X
// window they arrive at).
constexpr const char* kUnmanagedClasses[] = {"ComboLBox", "PopupMenu", "tooltips_class32"};

// Window class names compare without case.
bool same_class(const std::string& name, const char* cls) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  const std::string want = cls;
  return name.size() == want.size() &&
         std::equal(name.begin(), name.end(), want.begin(), [&](char a, char b) { return lower(a) == lower(b); });
}

bool is_unmanaged_class(const std::string& name) {
  for (const char* cls : kUnmanagedClasses)
    if (same_class(name, cls)) return true;
  return false;
}

}  // namespace

// The program's name for WM_CLASS: as given, else the executable's name.
std::string program_name(const char* given) {
  std::string name = given && *given ? given : program_invocation_short_name;
  return name.empty() ? std::string("program") : name;
}

std::unique_ptr<X11Presenter> X11Presenter::open(const char* display_name, const char* program) {
  Display* dpy = XOpenDisplay(display_name);
  if (!dpy) return nullptr;
  std::unique_ptr<X11Presenter> p(new X11Presenter);
  p->dpy_ = dpy;
  p->old_error_handler_ = XSetErrorHandler(ignore_x_error);
  p->old_io_error_handler_ = XSetIOErrorHandler(quiet_io_error);
  XSetIOErrorExitHandler(dpy, X11Presenter::on_connection_lost, p.get());
  p->screen_ = DefaultScreen(dpy);
  p->root_ = RootWindow(dpy, p->screen_);
  if (!choose_pixel_format(dpy, p->screen_, &p->format_)) return nullptr;
  if (p->format_.visual == DefaultVisual(dpy, p->screen_)) {
    p->colormap_ = DefaultColormap(dpy, p->screen_);
  } else {
    p->colormap_ = XCreateColormap(dpy, p->root_, p->format_.visual, AllocNone);
    p->own_colormap_ = true;
  }
  p->wm_protocols_ = XInternAtom(dpy, "WM_PROTOCOLS", False);
  p->wm_delete_window_ = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
  p->net_wm_name_ = XInternAtom(dpy, "_NET_WM_NAME", False);
  p->utf8_string_ = XInternAtom(dpy, "UTF8_STRING", False);
  p->net_workarea_ = XInternAtom(dpy, "_NET_WORKAREA", False);
  p->net_wm_icon_ = XInternAtom(dpy, "_NET_WM_ICON", False);
  p->res_class_ = program_name(program);
  p->res_name_ = p->res_class_;
  for (char& c : p->res_name_) c = char(std::tolower(static_cast<unsigned char>(c)));
  p->res_class_[0] = char(std::toupper(static_cast<unsigned char>(p->res_class_[0])));
  p->find_window_manager();
  int fds[2];
  if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return nullptr;
  p->wake_read_ = fds[0];
  p->wake_write_.store(fds[1]);
  // A held key then repeats as presses alone, as the window system expects.
  XkbSetDetectableAutoRepeat(dpy, True, nullptr);
  return p;
}

X11Presenter::~X11Presenter() {
  if (dpy_) {
    for (auto& [wnd, t] : tops_) {
      XFreeGC(dpy_, t.gc);
      XDestroyWindow(dpy_, t.xid);
    }
    for (auto& [shape, c] : cursors_) XFreeCursor(dpy_, c);
    if (blank_cursor_) XFreeCursor(dpy_, blank_cursor_);
    if (own_colormap_) XFreeColormap(dpy_, colormap_);
    XCloseDisplay(dpy_);
    XSetErrorHandler(old_error_handler_);
    XSetIOErrorHandler(old_io_error_handler_);
  }
  const int w = wake_write_.exchange(-1);
  if (w >= 0) close(w);
  if (wake_read_ >= 0) close(wake_read_);
}

Rect X11Presenter::screen_rect() const {
  return Rect{0, 0, DisplayWidth(dpy_, screen_), DisplayHeight(dpy_, screen_)};
}

// The window manager's work area of the first desktop, else the whole screen.
Rect X11Presenter::work_area() const {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  Rect area = screen_rect();
  if (XGetWindowProperty(dpy_, root_, net_workarea_, 0, 4, False, XA_CARDINAL, &type, &format, &count, &after,
                         &data) == Success &&
      data && format == 32 && count >= 4) {
    const auto* v = reinterpret_cast<const long*>(data);  // 32-bit items arrive as longs
    area = Rect{int(v[0]), int(v[1]), int(v[0] + v[2]), int(v[1] + v[3])};
  }
  if (data) XFree(data);
  return area;
}

TopWindow* X11Presenter::top_of(Wnd top) {
  auto it = tops_.find(top);
  return it == tops_.end() ? nullptr : &it->second;
}

Wnd X11Presenter::wnd_of(::Window xid) const {
  auto it = by_xid_.find(xid);
  return it == by_xid_.end() ? nullptr : it->second;
}

TopWindow& X11Presenter::create_x_window(Wnd top, const Rect& window) {
  const bool unmanaged = is_unmanaged_class(get_class_name(top));
  TopWindow& t = tops_[top];
  t.rect = window;
  t.unmanaged = unmanaged;
  t.popup_menu = same_class(get_class_name(top), "PopupMenu");
  if (!unmanaged) get_window_frame_extents(top, &t.frame);
  const Rect x = x_window_rect(t);
  XSetWindowAttributes a{};
  a.colormap = colormap_;
  a.border_pixel = 0;
  a.background_pixel = WhitePixel(dpy_, screen_);
  a.bit_gravity = NorthWestGravity;
  a.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                 PointerMotionMask | StructureNotifyMask | FocusChangeMask | PropertyChangeMask;
  a.cursor = current_cursor_;
  a.override_redirect = unmanaged ? True : False;
  const unsigned long mask =
      CWColormap | CWBorderPixel | CWBackPixel | CWBitGravity | CWEventMask | CWCursor | CWOverrideRedirect;
  // The position asked is the frame's corner (north-west gravity), the size the X window's.
  ::Window xid = XCreateWindow(dpy_, root_, window.left, window.top, x_extent(x.width()), x_extent(x.height()), 0,
                               format_.depth, InputOutput, format_.visual, mask, &a);
  Atom protocols[] = {wm_delete_window_};
  XSetWMProtocols(dpy_, xid, protocols, 1);
  set_class_hint(xid);
  XSizeHints* size = XAllocSizeHints();
  if (size) {
    size->flags = PPosition | PSize | PWinGravity;
    size->x = window.left;
    size->y = window.top;
    size->width = int(x_extent(x.width()));
    size->height = int(x_extent(x.height()));
    size->win_gravity = NorthWestGravity;
    XSetWMNormalHints(dpy_, xid, size);
    XFree(size);
  }
  XWMHints* hints = XAllocWMHints();
  if (hints) {
    hints->flags = InputHint | StateHint;
    hints->input = True;
    hints->initial_state = NormalState;
    XSetWMHints(dpy_, xid, hints);
    XFree(hints);
  }
  set_icon(xid, top);
  t.xid = xid;
  t.gc = XCreateGC(dpy_, xid, 0, nullptr);
  by_xid_[xid] = top;
  return t;
}

void X11Presenter::set_title(::Window xid, const std::u16string& title) {
  const std::string utf8 = plat::utf16_to_utf8(title);
  XChangeProperty(dpy_, xid, net_wm_name_, utf8_string_, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(utf8.data()), int(utf8.size()));
  const std::string latin1 = latin1_of(title);
  XChangeProperty(dpy_, xid, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(latin1.data()), int(latin1.size()));
}

// The window's icons as _NET_WM_ICON: for each icon its width, its height and its pixels
// (0xAARRGGBB, rows top to bottom), the large one first. Xlib carries 32-bit property
// items in longs. No icon: the property goes.
void X11Presenter::set_icon(::Window xid, Wnd top) {
  std::vector<unsigned long> data;
  for (int which : {kWindowIconBig, kWindowIconSmall}) {
    Surface icon;
    if (!get_window_icon(top, which, &icon) || icon.width < 1 || icon.height < 1) continue;
    data.push_back(static_cast<unsigned long>(icon.width));
    data.push_back(static_cast<unsigned long>(icon.height));
    for (uint32_t p : icon.pixels) data.push_back(p);
  }
  if (data.empty()) {
    XDeleteProperty(dpy_, xid, net_wm_icon_);
    return;
  }
  XChangeProperty(dpy_, xid, net_wm_icon_, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
}

void X11Presenter::window_icon_changed(Wnd top) {
  if (lost_) return;
  if (TopWindow* t = top_of(top)) {
    set_icon(t->xid, top);
    XFlush(dpy_);
  }
}

// A window with an owner (a dialog) stays above its owner's window.
void X11Presenter::set_owner_hint(Wnd top, ::Window xid) {
  Wnd owner = get_owner(top);
  if (TopWindow* o = owner ? top_of(owner) : nullptr) XSetTransientForHint(dpy_, xid, o->xid);
}

void X11Presenter::take_focus(TopWindow& t) {
  if (t.unmanaged) return;  // mapped on top already; the keyboard stays where it is
  if (!t.mapped) {
    t.focus_on_map = true;
    return;
  }
  t.focus_on_map = false;
  XRaiseWindow(dpy_, t.xid);
  XSetInputFocus(dpy_, t.xid, RevertToParent, CurrentTime);
}

::Cursor X11Presenter::x_cursor_of(Cursor cursor) {
  if (!cursor) {
    if (!blank_cursor_) {
      static const char kEmpty[1] = {0};
      Pixmap bits = XCreateBitmapFromData(dpy_, root_, kEmpty, 1, 1);
      XColor black{};
      blank_cursor_ = XCreatePixmapCursor(dpy_, bits, bits, &black, &black, 0, 0);
      XFreePixmap(dpy_, bits);
    }
    return blank_cursor_;
  }
  const int id = cursor_id(cursor);
  unsigned shape = XC_left_ptr;
  for (const ShapeForId& s : kShapeForIds)
    if (s.id == id) shape = s.shape;
  auto it = cursors_.find(shape);
  if (it != cursors_.end()) return it->second;
  return cursors_[shape] = XCreateFontCursor(dpy_, shape);
}

void X11Presenter::window_shown(Wnd top, const Rect& window, const Rect&) {
  if (lost_) return;
  const std::u16string title = window_text_w(top);
  TopWindow* t = top_of(top);
  if (!t) {
    t = &create_x_window(top, window);
  } else if (t->rect != window) {
    t->rect = window;
    const Rect x = x_window_rect(*t);
    XMoveResizeWindow(dpy_, t->xid, window.left, window.top, x_extent(x.width()), x_extent(x.height()));
  }
  set_title(t->xid, title);
  set_owner_hint(top, t->xid);
  XMapRaised(dpy_, t->xid);
  XFlush(dpy_);
}

void X11Presenter::window_hidden(Wnd top) {
  if (lost_) return;
  if (TopWindow* t = top_of(top)) {
    t->focus_on_map = false;
    XUnmapWindow(dpy_, t->xid);
    XFlush(dpy_);
  }
}

void X11Presenter::window_moved(Wnd top, const Rect& window, const Rect&) {
  if (lost_) return;
  TopWindow* t = top_of(top);
  if (!t || t->rect == window || top == applying_) return;
  const bool resized = t->rect.width() != window.width() || t->rect.height() != window.height();
  t->rect = window;
  const Rect x = x_window_rect(*t);
  if (resized)
    XMoveResizeWindow(dpy_, t->xid, window.left, window.top, x_extent(x.width()), x_extent(x.height()));
  else
    XMoveWindow(dpy_, t->xid, window.left, window.top);
  XFlush(dpy_);
}

void X11Presenter::window_retitled(Wnd top, const std::u16string& title) {
  if (lost_) return;
  if (TopWindow* t = top_of(top)) {
    set_title(t->xid, title);
    XFlush(dpy_);
  }
}

void X11Presenter::window_activated(Wnd top) {
  if (lost_) return;
  if (TopWindow* t = top_of(top)) {
    take_focus(*t);
    XFlush(dpy_);
  }
}

void X11Presenter::window_destroyed(Wnd top) {
  if (lost_) return;
  auto it = tops_.find(top);
  if (it == tops_.end()) return;
  if (it->second.popup_menu) popup_menu_mapped(it->second.xid, false);
  by_xid_.erase(it->second.xid);
  XFreeGC(dpy_, it->second.gc);
  XDestroyWindow(dpy_, it->second.xid);
  tops_.erase(it);
  XFlush(dpy_);
}

void X11Presenter::surface_updated(Wnd top, const Rect& area) {
  if (lost_) return;
  TopWindow* t = top_of(top);
  if (!t) return;
  put_surface_area(dpy_, t->xid, t->gc, format_, top, area, shown_part(*t));
  XFlush(dpy_);
}

void X11Presenter::cursor_changed(Cursor cursor) {
  if (lost_) return;
  current_cursor_ = x_cursor_of(cursor);
  for (auto& [wnd, t] : tops_) XDefineCursor(dpy_, t.xid, current_cursor_);
  XFlush(dpy_);
}

void X11Presenter::drain_wake_pipe() {
  char buf[64];
  while (read(wake_read_, buf, sizeof buf) > 0) {
  }
}

void X11Presenter::wait_events(int64_t timeout_ms) {
  // Events Xlib has already read (while waiting for a reply, say) would not wake poll.
  // Any Xlib call may find the connection broken (lost_), after which none is made.
  const bool queued = !lost_ && XPending(dpy_) > 0;
  if (!queued && !lost_) {
    pollfd fds[2] = {{ConnectionNumber(dpy_), POLLIN, 0}, {wake_read_, POLLIN, 0}};
    const int timeout = timeout_ms < 0 ? -1 : int(std::min<int64_t>(timeout_ms, INT_MAX));
    poll(fds, 2, timeout);  // EINTR simply ends the wait early
  }
  drain_wake_pipe();
  if (!lost_) drain_events();
  if (!lost_) XFlush(dpy_);
  if (lost_) go_headless();
}

void X11Presenter::on_connection_lost(Display*, void* self) { static_cast<X11Presenter*>(self)->lost_ = true; }

void X11Presenter::go_headless() {
  if (headless_) return;
  headless_ = true;
  std::vector<Wnd> shown;
  for (auto& [wnd, t] : tops_)
    if (is_window_visible(wnd)) shown.push_back(wnd);
  if (get_presenter() == this) set_presenter(nullptr);
  set_frames_by_manager(false, FrameExtents{});  // headless windows draw their own frames
  for (Wnd w : shown) input_close(w);
}

void X11Presenter::wake() {
  const int fd = wake_write_.load();
  if (fd < 0) return;
  const char byte = 1;
  // A full pipe already holds a wake-up, so a failed write loses nothing.
  [[maybe_unused]] ssize_t n = write(fd, &byte, 1);
}

}  // namespace x11_detail

namespace {

// The presenter is taken away before it is deleted, so that no thread still wakes it;
// this holds also when the program's exit destroys it while workers go on posting.
struct Uninstall {
  void operator()(x11_detail::X11Presenter* p) const {
    if (get_presenter() == p) set_presenter(nullptr);
    set_window_icon_listener(nullptr);
    delete p;
  }
};
std::unique_ptr<x11_detail::X11Presenter, Uninstall> g_presenter;  // user-interface thread only

// A window's icons changed: the presenter in force (not one that went headless) sets them.
void icons_changed(Wnd top) {
  if (g_presenter && get_presenter() == g_presenter.get()) g_presenter->window_icon_changed(top);
}

}  // namespace

bool x11_start(const char* display, const char* program) {
  if (g_presenter && !g_presenter->lost()) return true;
  g_presenter.reset();  // a display that was lost gives way to a new one
  auto p = x11_detail::X11Presenter::open(display, program);
  if (!p) return false;
  set_screen_metrics(p->screen_rect(), p->work_area());
  set_frames_by_manager(p->window_manager(), p->usual_frame());
  set_presenter(p.get());
  g_presenter.reset(p.release());
  set_window_icon_listener(icons_changed);
  return true;
}

void x11_stop() { g_presenter.reset(); }

bool x11_running() { return g_presenter && !g_presenter->lost(); }

}  // namespace plat
