// The X11 presenter and the window manager. When a manager runs, it frames the program's
// windows and draws their title bars; the window system then leaves frame and caption to
// it (presenter.h), so that a window shows one title bar, not two.
//
// A manager is running when the root window's _NET_SUPPORTING_WM_CHECK names a window
// whose own _NET_SUPPORTING_WM_CHECK names itself (a property left behind by a manager
// that has gone names a window that is gone, or one that does not name itself). The
// thickness of the frame it draws is asked at start-up with _NET_REQUEST_FRAME_EXTENTS
// on a window that is never shown (answered by _NET_FRAME_EXTENTS, waited for a bounded
// time), and read again from each window's _NET_FRAME_EXTENTS whenever the manager sets
// it. The program's windows carry its WM_CLASS, so that the desktop can tell them apart.
#include <poll.h>

#include <algorithm>
#include <cctype>
#include <chrono>

#include "platform/x11/x11_internal.h"

#include <X11/Xatom.h>

namespace plat::x11_detail {

namespace {

// How long start-up waits for the manager to tell the thickness of its frame.
constexpr int kFrameAnswerMs = 500;

bool read_window_property(Display* dpy, ::Window w, Atom property, ::Window* out) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const bool ok = XGetWindowProperty(dpy, w, property, 0, 1, False, XA_WINDOW, &type, &format, &count, &after,
                                     &data) == Success &&
                  data && format == 32 && count == 1;
  if (ok) *out = ::Window(reinterpret_cast<const unsigned long*>(data)[0]);  // 32-bit items arrive as longs
  if (data) XFree(data);
  return ok;
}

bool supports(Display* dpy, ::Window root, Atom feature) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool found = false;
  const Atom supported = XInternAtom(dpy, "_NET_SUPPORTED", False);
  if (XGetWindowProperty(dpy, root, supported, 0, 4096, False, XA_ATOM, &type, &format, &count, &after, &data) ==
          Success &&
      data && format == 32) {
    const auto* atoms = reinterpret_cast<const unsigned long*>(data);
    found = std::find(atoms, atoms + count, feature) != atoms + count;
  }
  if (data) XFree(data);
  return found;
}

// What a property says of a frame is believed only within reason.
bool plausible(const FrameExtents& e) {
  for (int v : {e.left, e.top, e.right, e.bottom})
    if (v < 0 || v > 1024) return false;
  return true;
}

}  // namespace

Rect shown_part(const TopWindow& t) {
  const FrameExtents& e = t.frame;
  return Rect{e.left, e.top, std::max(e.left + 1, t.rect.width() - e.right),
              std::max(e.top + 1, t.rect.height() - e.bottom)};
}

Rect x_window_rect(const TopWindow& t) {
  const Rect s = shown_part(t);
  return Rect{t.rect.left + s.left, t.rect.top + s.top, t.rect.left + s.right, t.rect.top + s.bottom};
}

void X11Presenter::find_window_manager() {
  net_frame_extents_ = XInternAtom(dpy_, "_NET_FRAME_EXTENTS", False);
  const Atom check = XInternAtom(dpy_, "_NET_SUPPORTING_WM_CHECK", False);
  ::Window wm = 0, self = 0;
  window_manager_ = read_window_property(dpy_, root_, check, &wm) && wm &&
                    read_window_property(dpy_, wm, check, &self) && self == wm;
  usual_frame_ = window_manager_ ? ask_frame_extents() : FrameExtents{};
}

bool X11Presenter::read_frame_extents(::Window xid, FrameExtents* out) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool ok = XGetWindowProperty(dpy_, xid, net_frame_extents_, 0, 4, False, XA_CARDINAL, &type, &format, &count,
                               &after, &data) == Success &&
            data && format == 32 && count == 4;
  if (ok) {
    const auto* v = reinterpret_cast<const long*>(data);  // left, right, top, bottom
    const FrameExtents e{int(v[0]), int(v[2]), int(v[1]), int(v[3])};
    ok = plausible(e);
    if (ok) *out = e;
  }
  if (data) XFree(data);
  return ok;
}

// Asks the manager how thick it would frame a window, on a window that is never shown.
FrameExtents X11Presenter::ask_frame_extents() {
  const Atom request = XInternAtom(dpy_, "_NET_REQUEST_FRAME_EXTENTS", False);
  if (!supports(dpy_, root_, request)) return FrameExtents{};
  XSetWindowAttributes a{};
  a.event_mask = PropertyChangeMask;
  ::Window probe = XCreateWindow(dpy_, root_, 0, 0, 200, 100, 0, CopyFromParent, InputOutput, CopyFromParent,
                                 CWEventMask, &a);
  set_class_hint(probe);
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = probe;
  ev.xclient.message_type = request;
  ev.xclient.format = 32;
  XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
  XFlush(dpy_);
  FrameExtents e;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFrameAnswerMs);
  for (;;) {
    XEvent got;
    while (XCheckTypedWindowEvent(dpy_, probe, PropertyNotify, &got)) {
    }
    if (read_frame_extents(probe, &e) || lost_) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd fd{ConnectionNumber(dpy_), POLLIN, 0};
    poll(&fd, 1, int(left.count()));
  }
  XDestroyWindow(dpy_, probe);
  return e;
}

// res_name is the program's name in lower case, res_class the name with a capital.
void X11Presenter::set_class_hint(::Window xid) {
  XClassHint* hint = XAllocClassHint();
  if (!hint) return;
  hint->res_name = res_name_.data();
  hint->res_class = res_class_.data();
  XSetClassHint(dpy_, xid, hint);
  XFree(hint);
}

// The manager told the frame it drew around a window: the window system lays the window
// out inside it, and the X window takes what the frame leaves of the window rectangle.
void X11Presenter::on_frame_extents(Wnd top, TopWindow& t) {
  FrameExtents told;
  if (!read_frame_extents(t.xid, &told)) return;
  set_window_frame_extents(top, told);
  FrameExtents in_force;
  get_window_frame_extents(top, &in_force);
  TopWindow* again = top_of(top);  // the window procedures may have destroyed it
  if (!again || again->frame == in_force) return;
  again->frame = in_force;
  const Rect x = x_window_rect(*again);
  XResizeWindow(dpy_, again->xid, unsigned(x.width()), unsigned(x.height()));
  again->exposed = shown_part(*again);
}

void X11Presenter::on_property(const XPropertyEvent& ev) {
  if (ev.atom != net_frame_extents_ || ev.state != PropertyNewValue) return;
  Wnd top = wnd_of(ev.window);
  if (TopWindow* t = top_of(top)) on_frame_extents(top, *t);
}

}  // namespace plat::x11_detail
