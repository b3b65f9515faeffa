// Geometry of windows: the non-client layout (frame, caption, menu bar, client edge,
// scroll bars), the client rectangle it leaves, conversions between screen, window and
// client coordinates, the visible region a window may draw in, and the screen metrics.
#include <algorithm>

#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace ui_detail {

int frame_thickness(uint32_t style, uint32_t ex_style) {
  if (style & WS_THICKFRAME) return 4;
  if ((style & WS_DLGFRAME) || (ex_style & WS_EX_DLGMODALFRAME)) return 3;
  if (style & WS_BORDER) return 1;
  return 0;
}

int edge_thickness(uint32_t ex_style) {
  return ((ex_style & WS_EX_CLIENTEDGE) ? 2 : 0) + ((ex_style & WS_EX_STATICEDGE) ? 1 : 0);
}

bool is_top(const WndRec& w) { return !(w.style & WS_CHILD) || !w.parent; }

WndRec* top_of(WndRec* w) {
  while (w && !is_top(*w)) w = find(w->parent);
  return w;
}

bool manager_frame(const WndRec& w, FrameExtents* out) {
  *out = FrameExtents{};
  if (!S().frames_by_manager || !is_top(w) || (w.style & WS_CAPTION) != WS_CAPTION) return false;
  *out = w.frame_told ? w.frame_extents : S().usual_frame;
  return true;
}

NcLayout nc_layout(const WndRec& w) {
  NcLayout l;
  const int W = w.rect.width(), H = w.rect.height();
  FrameExtents managed;
  int x0, y0, x1, y1;
  if (manager_frame(w, &managed)) {
    // The window manager's frame and title bar take this room; nothing of ours is drawn there.
    x0 = managed.left, y0 = managed.top, x1 = W - managed.right, y1 = H - managed.bottom;
  } else {
    l.frame = frame_thickness(w.style, w.ex_style);
    x0 = l.frame, y0 = l.frame, x1 = W - l.frame, y1 = H - l.frame;
    if ((w.style & WS_CAPTION) == WS_CAPTION) {
      l.caption = Rect{x0, y0, x1, y0 + kCaptionHeight};
      if (w.style & WS_SYSMENU) {
        int h = kCaptionHeight - 6;
        l.close_box = Rect{x1 - 3 - (h + 2), y0 + 3, x1 - 3, y0 + 3 + h};
      }
      y0 += kCaptionHeight;
    }
  }
  if (is_top(w) && w.menu) {
    l.menu_bar = Rect{x0, y0, x1, y0 + kMenuBarHeight};
    y0 += kMenuBarHeight;
  }
  l.edge = edge_thickness(w.ex_style);
  l.edge_rect = Rect{x0, y0, x1, y1};
  x0 += l.edge;
  y0 += l.edge;
  x1 -= l.edge;
  y1 -= l.edge;
  const bool v = w.style & WS_VSCROLL, h = w.style & WS_HSCROLL;
  if (v) {
    l.vbar = Rect{std::max(x0, x1 - kScrollSize), y0, x1, h ? std::max(y0, y1 - kScrollSize) : y1};
    x1 = l.vbar.left;
  }
  if (h) {
    l.hbar = Rect{x0, std::max(y0, y1 - kScrollSize), x1, y1};
    y1 = l.hbar.top;
  }
  if (v && h) l.size_box = Rect{l.vbar.left, l.hbar.top, l.vbar.right, l.hbar.bottom};
  l.client = Rect{x0, y0, std::max(x0, x1), std::max(y0, y1)};
  return l;
}

Point window_origin_in_top(const WndRec& w) {
  Point p;
  const WndRec* cur = &w;
  while (cur && !is_top(*cur)) {
    WndRec* parent = find(cur->parent);
    if (!parent) break;
    Rect pc = nc_layout(*parent).client;
    p.x += cur->rect.left + pc.left;
    p.y += cur->rect.top + pc.top;
    cur = parent;
  }
  return p;
}

Point client_origin_in_top(const WndRec& w) {
  Point p = window_origin_in_top(w);
  Rect c = nc_layout(w).client;
  return Point{p.x + c.left, p.y + c.top};
}

Rect window_rect_on_screen(const WndRec& w) {
  const WndRec* top = &w;
  while (top && !is_top(*top)) top = find(top->parent);
  Point o = window_origin_in_top(w);
  int left = (top ? top->rect.left : 0) + o.x, top_y = (top ? top->rect.top : 0) + o.y;
  return Rect{left, top_y, left + w.rect.width(), top_y + w.rect.height()};
}

Point client_origin_on_screen(const WndRec& w) {
  Rect r = window_rect_on_screen(w);
  Rect c = nc_layout(w).client;
  return Point{r.left + c.left, r.top + c.top};
}

bool visible_chain(const WndRec& w) {
  const WndRec* cur = &w;
  while (cur) {
    if (!(cur->style & WS_VISIBLE)) return false;
    if (is_top(*cur)) return true;
    cur = find(cur->parent);
  }
  return false;
}

bool enabled_chain(const WndRec& w) {
  const WndRec* cur = &w;
  while (cur) {
    if (cur->style & WS_DISABLED) return false;
    if (is_top(*cur)) return true;
    cur = find(cur->parent);
  }
  return false;
}

Region visible_region(const WndRec& w, bool whole) {
  // A hidden child draws nothing; a top-level window draws into its own surface even
  // while hidden (pictures of it are still taken).
  for (const WndRec* cur = &w; cur && !is_top(*cur); cur = find(cur->parent))
    if (!(cur->style & WS_VISIBLE)) return Region();
  Point o = window_origin_in_top(w);
  Rect area = whole ? Rect{0, 0, w.rect.width(), w.rect.height()} : nc_layout(w).client;
  Rect r = offset_rect(area, o.x, o.y);
  for (const WndRec* cur = &w; cur && !is_top(*cur);) {
    WndRec* parent = find(cur->parent);
    if (!parent) break;
    Point po = client_origin_in_top(*parent);
    Rect pc = nc_layout(*parent).client;
    r = intersect_rect(r, Rect{po.x, po.y, po.x + pc.width(), po.y + pc.height()});
    cur = parent;
  }
  Region rgn(r);
  if (r.empty()) return Region();
  if (w.style & WS_CLIPCHILDREN) {
    for (Wnd c : w.children) {
      WndRec* child = find(c);
      if (!child || !(child->style & WS_VISIBLE)) continue;
      Point co = window_origin_in_top(*child);
      rgn.subtract(Region(Rect{co.x, co.y, co.x + child->rect.width(), co.y + child->rect.height()}));
    }
  }
  if ((w.style & WS_CLIPSIBLINGS) && !is_top(w)) {
    // Siblings above this one (created before it) hide it.
    if (WndRec* parent = find(w.parent)) {
      for (Wnd s : parent->children) {
        if (s == w.handle) break;
        WndRec* sib = find(s);
        if (!sib || !(sib->style & WS_VISIBLE)) continue;
        Point so = window_origin_in_top(*sib);
        rgn.subtract(Region(Rect{so.x, so.y, so.x + sib->rect.width(), so.y + sib->rect.height()}));
      }
    }
  }
  return rgn;
}

void add_surface_dirty(WndRec* top, const Rect& r) {
  if (!top || r.empty()) return;
  top->surface_dirty = top->surface_dirty.empty() ? r : union_rect(top->surface_dirty, r);
}

}  // namespace ui_detail

// ---- Public geometry -------------------------------------------------------------------------
bool get_window_rect(Wnd wnd, Rect* out) {
  Guard g;
  WndRec* w = find(wnd);
  if (!w || !out) return false;
  *out = window_rect_on_screen(*w);
  return true;
}

bool get_client_rect(Wnd wnd, Rect* out) {
  Guard g;
  WndRec* w = find(wnd);
  if (!w || !out) return false;
  Rect c = nc_layout(*w).client;
  *out = Rect{0, 0, c.width(), c.height()};
  return true;
}

bool client_to_screen(Wnd wnd, Point* pt) {
  Guard g;
  WndRec* w = find(wnd);
  if (!w || !pt) return false;
  Point o = client_origin_on_screen(*w);
  pt->x += o.x;
  pt->y += o.y;
  return true;
}

bool screen_to_client(Wnd wnd, Point* pt) {
  Guard g;
  WndRec* w = find(wnd);
  if (!w || !pt) return false;
  Point o = client_origin_on_screen(*w);
  pt->x -= o.x;
  pt->y -= o.y;
  return true;
}

void map_window_points(Wnd from, Wnd to, Point* pts, int count) {
  Guard g;
  Point a, b;
  if (WndRec* f = find(from)) a = client_origin_on_screen(*f);
  if (WndRec* t = find(to)) b = client_origin_on_screen(*t);
  for (int i = 0; pts && i < count; ++i) {
    pts[i].x += a.x - b.x;
    pts[i].y += a.y - b.y;
  }
}

bool adjust_window_rect(Rect* rect, uint32_t style, bool has_menu, uint32_t ex_style) {
  if (!rect) return false;
  const int edge = edge_thickness(ex_style), menu = has_menu ? kMenuBarHeight : 0;
  {
    Guard g;
    if (S().frames_by_manager && !(style & WS_CHILD) && (style & WS_CAPTION) == WS_CAPTION) {
      const FrameExtents& managed = S().usual_frame;
      rect->left -= managed.left + edge;
      rect->top -= managed.top + menu + edge;
      rect->right += managed.right + edge;
      rect->bottom += managed.bottom + edge;
      return true;
    }
  }
  int f = frame_thickness(style, ex_style) + edge;
  int top = f + ((style & WS_CAPTION) == WS_CAPTION ? kCaptionHeight : 0) + menu;
  rect->left -= f;
  rect->top -= top;
  rect->right += f;
  rect->bottom += f;
  return true;
}

Rect get_work_area() {
  Guard g;
  return S().work;
}

Rect get_screen_rect() {
  Guard g;
  return S().screen;
}

void set_screen_metrics(const Rect& screen, const Rect& work_area) {
  Guard g;
  if (!screen.empty()) S().screen = screen;
  S().work = work_area.empty() ? S().screen : intersect_rect(work_area, S().screen);
}

int get_system_metrics(int index) {
  Guard g;
  const Rect& s = S().screen;
  const Rect& w = S().work;
  switch (index) {
    case SM_CXSCREEN: return s.width();
    case SM_CYSCREEN: return s.height();
    case SM_CXVSCROLL: case SM_CYHSCROLL: case SM_CYVSCROLL: case SM_CXHSCROLL:
    case SM_CYVTHUMB: case SM_CXHTHUMB: return kScrollSize;
    case SM_CYCAPTION: return kCaptionHeight;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME: case SM_CYFRAME: return 4;
    case SM_CXEDGE: case SM_CYEDGE: return 2;
    case SM_CXCURSOR: case SM_CYCURSOR: return 32;
    case SM_CYMENU: return kMenuBarHeight;
    case SM_CXFULLSCREEN: return w.width();
    case SM_CYFULLSCREEN: return w.height() - kCaptionHeight;
    case SM_CXDOUBLECLK: case SM_CYDOUBLECLK: return 4;
    case SM_CXMAXIMIZED: return w.width() + 8;
    case SM_CYMAXIMIZED: return w.height() + 8;
    default: return 0;
  }
}

}  // namespace plat
