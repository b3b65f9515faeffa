// Scrolling a window's contents: the pixels of the client area (or of a part of it)
// move inside the top-level surface, and the strip they leave behind is reported,
// and optionally invalidated, so that only it needs drawing again.
//
// Pixels move only where they were visible before and are visible after; everything
// else inside the scrolled and clipped area is "uncovered", so an obscured part never
// brings garbage along.
#include <algorithm>

#include "platform/ui/paint.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

// Copies each rectangle of `dest` (surface coordinates) from the same rectangle moved
// back by (dx, dy). Every source pixel is read before any is written, so overlapping
// moves are safe.
void move_pixels(Surface& s, const Region& dest, int dx, int dy) {
  std::vector<uint32_t> saved;
  for (const Rect& r : dest.rects())
    for (int y = r.top; y < r.bottom; ++y) {
      const uint32_t* src = s.row(y - dy) + (r.left - dx);
      saved.insert(saved.end(), src, src + r.width());
    }
  size_t at = 0;
  for (const Rect& r : dest.rects())
    for (int y = r.top; y < r.bottom; ++y) {
      std::copy(saved.begin() + long(at), saved.begin() + long(at + size_t(r.width())), s.row(y) + r.left);
      at += size_t(r.width());
    }
}

struct ScrollResult {
  Region uncovered;  // client coordinates
  std::vector<Wnd> moved_children;
  bool ok = false;
};

ScrollResult scroll_locked(Wnd wnd, SurfaceBox& box, int dx, int dy, const Rect* scroll,
                           const Rect* clip, unsigned flags) {
  ScrollResult res;
  Guard g;
  WndRec* w = find(wnd);
  WndRec* top = w ? top_of(w) : nullptr;
  if (!top || top->surface.get() != &box) return res;
  NcLayout l = nc_layout(*w);
  const Rect client{0, 0, l.client.width(), l.client.height()};
  const Rect area = scroll ? intersect_rect(*scroll, client) : client;
  const Rect limit = clip ? intersect_rect(*clip, client) : client;
  const Point o = client_origin_in_top(*w);

  Region vis = visible_region(*w, false);
  vis.intersect(Region(box.surface.rect()));
  Region src = vis;
  src.intersect(Region(offset_rect(area, o.x, o.y)));
  Region dest = src;
  dest.offset(dx, dy);
  dest.intersect(Region(offset_rect(limit, o.x, o.y)));
  dest.intersect(vis);
  move_pixels(box.surface, dest, dx, dy);
  add_surface_dirty(top, dest.bounds());

  Region target(intersect_rect(area, limit));
  Region moved = dest;
  moved.offset(-o.x, -o.y);
  res.uncovered = target;
  res.uncovered.subtract(moved);

  // The invalid area inside the scrolled part moves with the pixels.
  Region inside = w->update;
  inside.intersect(Region(area));
  if (!inside.empty()) {
    w->update.subtract(Region(area));
    inside.offset(dx, dy);
    inside.intersect(Region(limit));
    w->update.unite(inside);
  }
  if (flags & SW_INVALIDATE) invalidate_locked(w, res.uncovered, (flags & SW_ERASE) != 0);
  if (flags & SW_SCROLLCHILDREN) {
    for (Wnd c : w->children) {
      WndRec* child = find(c);
      if (!child || (scroll && intersect_rect(child->rect, area).empty())) continue;
      child->rect = offset_rect(child->rect, dx, dy);
      res.moved_children.push_back(c);
    }
  }
  res.ok = true;
  return res;
}

int scroll_on_ui(Wnd wnd, int dx, int dy, const Rect* scroll, const Rect* clip, Region* update,
                 Rect* update_rect, unsigned flags) {
  std::shared_ptr<SurfaceBox> box;
  {
    Guard g;
    WndRec* w = find(wnd);
    WndRec* top = w ? top_of(w) : nullptr;
    if (!top || !top->surface) return RGN_ERROR;
    box = top->surface;
  }
  lock_surface(*box);
  ScrollResult res = scroll_locked(wnd, *box, dx, dy, scroll, clip, flags);
  unlock_surface(*box);
  if (!res.ok) return RGN_ERROR;
  for (Wnd c : res.moved_children) {
    invalidate_rect(c, nullptr, true);
    redraw_nonclient(c);
    sync_geometry_messages(c, SIZE_RESTORED, false);
  }
  if (flags & SW_INVALIDATE) wake_ui();
  if (update) *update = res.uncovered;
  if (update_rect) *update_rect = res.uncovered.bounds();
  return region_type(res.uncovered);
}

}  // namespace

int scroll_window_ex(Wnd wnd, int dx, int dy, const Rect* scroll, const Rect* clip,
                     Region* update, Rect* update_rect, unsigned flags) {
  return int(run_on_ui([&]() -> LResult {
    return scroll_on_ui(wnd, dx, dy, scroll, clip, update, update_rect, flags);
  }));
}

}  // namespace plat
