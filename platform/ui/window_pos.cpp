// Moving, sizing and restacking windows, and the WM_SIZE / WM_MOVE messages that tell
// a window its client area changed.
#include <algorithm>

#include "platform/ui/presenter.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace ui_detail {

void sync_geometry_messages(Wnd wnd, unsigned size_kind, bool force_size) {
  Size size;
  Point origin;
  bool send_size, send_move;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return;
    NcLayout l = nc_layout(*w);
    size = Size{l.client.width(), l.client.height()};
    origin = Point{w->rect.left + l.client.left, w->rect.top + l.client.top};
    send_size = force_size || size_kind != SIZE_RESTORED || !(size == w->sent_size);
    send_move = !(origin == w->sent_origin);
    w->sent_size = size;
    w->sent_origin = origin;
  }
  if (send_size) call_proc(wnd, WM_SIZE, size_kind, make_lparam(size.cx, size.cy));
  if (send_move) call_proc(wnd, WM_MOVE, 0, make_lparam(origin.x, origin.y));
}

void apply_window_rect(Wnd wnd, const Rect& target, unsigned size_kind) {
  bool top, resized, moved;
  Rect window, client;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return;
    top = is_top(*w);
    Rect r = target;
    if (top) {
      r.right = r.left + std::clamp(r.width(), 0, std::max(1, S().screen.width() * 2));
      r.bottom = r.top + std::clamp(r.height(), 0, std::max(1, S().screen.height() * 2));
    } else {
      r.right = std::max(r.right, r.left);
      r.bottom = std::max(r.bottom, r.top);
    }
    Rect old = w->rect;
    resized = old.width() != r.width() || old.height() != r.height();
    moved = old.left != r.left || old.top != r.top;
    w->rect = r;
    if (!top && (w->style & WS_VISIBLE) && (resized || moved)) {
      // The parent shows again what the child uncovered; the child repaints in full.
      if (WndRec* parent = find(w->parent)) {
        Region uncovered(old);
        uncovered.subtract(Region(r));
        invalidate_locked(parent, uncovered, true);
      }
    }
    if (resized || (!top && moved)) {
      w->nc_dirty = true;
      NcLayout l = nc_layout(*w);
      invalidate_locked(w, Region(Rect{0, 0, l.client.width(), l.client.height()}), true);
    }
    window = r;
    client = nc_layout(*w).client;
  }
  if (top && resized) resize_surface(wnd);
  if (resized || (!top && moved)) redraw_nonclient(wnd);
  if (top && (resized || moved))
    if (Presenter* p = S().presenter.load()) p->window_moved(wnd, window, client);
  sync_geometry_messages(wnd, size_kind, false);
}

}  // namespace ui_detail

namespace {

void restack(Wnd wnd, Wnd after) {
  Guard g;
  WndRec* w = find(wnd);
  if (!w || is_top(*w)) return;
  WndRec* parent = find(w->parent);
  if (!parent) return;
  auto& list = parent->children;
  list.erase(std::remove(list.begin(), list.end(), wnd), list.end());
  if (after == HWND_BOTTOM) {
    list.push_back(wnd);
  } else {
    auto it = std::find(list.begin(), list.end(), after);
    list.insert(it == list.end() ? list.begin() : it + 1, wnd);
  }
  invalidate_locked(w, Region(Rect{0, 0, w->rect.width(), w->rect.height()}), true);
}

bool set_pos_on_ui(Wnd wnd, Wnd after, int x, int y, int cx, int cy, unsigned flags) {
  Rect r;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return false;
    r = w->rect;
  }
  if (!(flags & SWP_NOMOVE)) r = Rect{x, y, x + r.width(), y + r.height()};
  if (!(flags & SWP_NOSIZE)) r = Rect{r.left, r.top, r.left + std::max(cx, 0), r.top + std::max(cy, 0)};
  if (!(flags & SWP_NOZORDER)) restack(wnd, after);
  if (flags & SWP_FRAMECHANGED) {
    {
      Guard g;
      if (WndRec* w = find(wnd)) w->nc_dirty = true;
    }
    redraw_nonclient(wnd);
  }
  apply_window_rect(wnd, r, SIZE_RESTORED);
  if (flags & SWP_SHOWWINDOW) show_window(wnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
  if (flags & SWP_HIDEWINDOW) show_window(wnd, SW_HIDE);
  return is_window(wnd);
}

}  // namespace

bool move_window(Wnd wnd, int x, int y, int width, int height, bool repaint) {
  return set_window_pos(wnd, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0u : SWP_NOREDRAW));
}

bool set_window_pos(Wnd wnd, Wnd insert_after, int x, int y, int width, int height,
                    unsigned flags) {
  return run_on_ui([&]() -> LResult {
           return set_pos_on_ui(wnd, insert_after, x, y, width, height, flags);
         }) != 0;
}

}  // namespace plat
