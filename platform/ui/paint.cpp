// Invalid regions, the paint cycle and window device contexts.
//
// A window's update region grows with every invalidation and is handed out by
// begin_paint, which validates it. WM_PAINT is made by the queue for the first visible
// window (parents before children) that has an update region or a frame to redraw.
// Device contexts draw into the top-level window's surface; each holds the surface lock
// until it is released, and the areas they touched are reported to the presenter when
// the loop falls idle.
#include "platform/ui/paint.h"

#include <algorithm>

#include "platform/ui/presenter.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

constexpr uint32_t kWhitePixel = 0xFFFFFFFFu;

Rect client_box(const WndRec& w) {
  Rect c = nc_layout(w).client;
  return Rect{0, 0, c.width(), c.height()};
}

Wnd paint_search(WndRec* w, Wnd filter, bool inside) {
  if (!(w->style & WS_VISIBLE)) return nullptr;
  inside = inside || !filter || w->handle == filter;
  if (inside && (!w->update.empty() || w->nc_dirty)) return w->handle;
  for (Wnd c : w->children)
    if (WndRec* child = find(c))
      if (Wnd found = paint_search(child, filter, inside)) return found;
  return nullptr;
}

// A context over part of a window; `clip_client` (client coordinates) limits it further.
Dc make_window_dc(Wnd wnd, const Region* clip_client) {
  std::shared_ptr<SurfaceBox> box;
  {
    Guard g;
    WndRec* w = find(wnd);
    WndRec* top = w ? top_of(w) : nullptr;
    if (!top || !top->surface) return nullptr;
    box = top->surface;
  }
  lock_surface(*box);
  Guard g;
  WndRec* w = find(wnd);
  WndRec* top = w ? top_of(w) : nullptr;
  if (!top || top->surface != box) {
    unlock_surface(*box);
    return nullptr;
  }
  Point origin = client_origin_in_top(*w);
  Region clip = visible_region(*w, false);
  if (clip_client) {
    Region limit = *clip_client;
    limit.offset(origin.x, origin.y);
    clip.intersect(limit);
  }
  clip.intersect(Region(box->surface.rect()));
  Dc dc = create_surface_dc(&box->surface, origin, &clip);
  if (!dc) {
    unlock_surface(*box);
    return nullptr;
  }
  DcEntry e;
  e.wnd = wnd;
  e.box = box;
  e.bounds = clip.bounds();
  e.clip = clip;
  e.origin = origin;
  S().dcs[dc] = e;
  return dc;
}

void send_erase(Wnd wnd, const Region& area) {
  Dc dc = make_window_dc(wnd, &area);
  if (!dc) return;
  call_proc(wnd, WM_ERASEBKGND, WParam(reinterpret_cast<uintptr_t>(dc)), 0);
  release_dc(wnd, dc);
}

// Takes a pending erase of the window: true when one was pending.
bool take_erase(Wnd wnd, Region* area) {
  Guard g;
  WndRec* w = find(wnd);
  if (!w || !w->erase_pending) return false;
  w->erase_pending = false;
  *area = w->update;
  return true;
}

}  // namespace

namespace ui_detail {

Wnd find_paint_window(Wnd filter) {
  for (Wnd t : S().tops) {
    WndRec* w = find(t);
    // While a worker draws into a window, its paint waits for the worker's release_dc
    // (which wakes the loop) rather than holding the loop up.
    if (!w || (w->surface && surface_busy(*w->surface))) continue;
    if (Wnd found = paint_search(w, filter, false)) return found;
  }
  return nullptr;
}

void invalidate_locked(WndRec* w, const Region& rgn, bool erase) {
  Region r = rgn;
  r.intersect(Region(client_box(*w)));
  if (r.empty()) return;
  w->update.unite(r);
  if (erase) w->erase_pending = true;
  invalidate_children_locked(w, r, erase);
}

void invalidate_children_locked(WndRec* w, const Region& r, bool erase) {
  if (w->style & WS_CLIPCHILDREN) return;
  for (Wnd c : w->children) {
    WndRec* child = find(c);
    if (!child || !(child->style & WS_VISIBLE)) continue;
    Region part = r;
    part.intersect(Region(child->rect));
    if (part.empty()) continue;
    // The parent paints over the child's frame too: it is drawn again with the child.
    child->nc_dirty = true;
    Rect cl = nc_layout(*child).client;
    part.offset(-child->rect.left - cl.left, -child->rect.top - cl.top);
    invalidate_locked(child, part, erase);
  }
}

void resize_surface(Wnd top) {
  std::shared_ptr<SurfaceBox> box;
  int w = 0, h = 0;
  {
    Guard g;
    WndRec* rec = find(top);
    if (!rec || !rec->surface) return;
    box = rec->surface;
    w = rec->rect.width();
    h = rec->rect.height();
  }
  lock_surface(*box);
  box->surface.resize(w, h, kWhitePixel);
  {
    // Contexts still out on this surface must not reach past its new edges.
    Guard g;
    for (auto& [dc, e] : S().dcs) {
      if (e.box != box) continue;
      e.clip.intersect(Region(box->surface.rect()));
      e.bounds = e.clip.bounds();
      dc_set_surface_clip(dc, e.origin, &e.clip);
    }
    if (WndRec* rec = find(top)) add_surface_dirty(rec, box->surface.rect());
  }
  unlock_surface(*box);
}

void flush_presenter() {
  std::vector<std::pair<Wnd, Rect>> changed;
  Presenter* p = S().presenter.load();
  {
    Guard g;
    for (Wnd t : S().tops) {
      WndRec* w = find(t);
      // Pixels a worker is still drawing are copied out after its release_dc.
      if (!w || w->surface_dirty.empty() || (p && w->surface && surface_busy(*w->surface))) continue;
      Rect r = intersect_rect(w->surface_dirty, Rect{0, 0, w->rect.width(), w->rect.height()});
      w->surface_dirty = Rect{};
      if (p && !r.empty()) changed.emplace_back(t, r);
    }
  }
  for (auto& [t, r] : changed) p->surface_updated(t, r);
  report_cursor();
}

// Before a window paints, its frame is drawn again when something painted over it.
void paint_prepare(Wnd wnd) {
  bool dirty;
  {
    Guard g;
    WndRec* w = find(wnd);
    dirty = w && w->nc_dirty;
  }
  if (dirty) draw_nonclient_now(wnd, true);
}

}  // namespace ui_detail

bool invalidate_rect(Wnd wnd, const Rect* rect, bool erase) {
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return false;
    invalidate_locked(w, rect ? Region(*rect) : Region(client_box(*w)), erase);
  }
  wake_ui();
  return true;
}

bool invalidate_rgn(Wnd wnd, const Region* rgn, bool erase) {
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return false;
    invalidate_locked(w, rgn ? *rgn : Region(client_box(*w)), erase);
  }
  wake_ui();
  return true;
}

bool validate_rgn(Wnd wnd, const Region* rgn) {
  Guard g;
  WndRec* w = find(wnd);
  if (!w) return false;
  if (rgn) {
    w->update.subtract(*rgn);
  } else {
    w->update.clear();
  }
  if (w->update.empty()) w->erase_pending = false;
  return true;
}

bool validate_rect(Wnd wnd, const Rect* rect) {
  if (!rect) return validate_rgn(wnd, nullptr);
  Region r(*rect);
  return validate_rgn(wnd, &r);
}

bool get_update_rect(Wnd wnd, Rect* out, bool erase) {
  Region area;
  if (erase && take_erase(wnd, &area)) send_erase(wnd, area);
  Guard g;
  WndRec* w = find(wnd);
  if (!w) return false;
  if (out) *out = w->update.bounds();
  return !w->update.empty();
}

int get_update_rgn(Wnd wnd, Region* out, bool erase) {
  Region area;
  if (erase && take_erase(wnd, &area)) send_erase(wnd, area);
  Guard g;
  WndRec* w = find(wnd);
  if (!w) return RGN_ERROR;
  if (out) *out = w->update;
  return region_type(w->update);
}

Dc begin_paint(Wnd wnd, PaintStruct* ps) {
  if (!ps) return nullptr;
  *ps = PaintStruct{};
  Region update;
  bool erase;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return nullptr;
    update = w->update;
    erase = w->erase_pending;
    w->update.clear();
    w->erase_pending = false;
    // Without WS_CLIPCHILDREN this paint covers the children under it, which then
    // paint again after it (children come after their parent).
    invalidate_children_locked(w, update, erase);
  }
  paint_prepare(wnd);
  Dc dc = make_window_dc(wnd, &update);
  if (!dc) return nullptr;
  ps->dc = dc;
  ps->paint = update.bounds();
  if (erase) ps->erase = call_proc(wnd, WM_ERASEBKGND, WParam(reinterpret_cast<uintptr_t>(dc)), 0) == 0;
  return dc;
}

bool end_paint(Wnd wnd, const PaintStruct* ps) {
  if (!ps || !ps->dc) return false;
  return release_dc(wnd, ps->dc) != 0;
}

bool update_window(Wnd wnd) {
  if (!is_window(wnd)) return false;
  return run_on_ui([&]() -> LResult {
           // Each round paints the first window of the subtree still needing it; a
           // procedure that never validates is given one WM_PAINT per window only.
           std::vector<Wnd> done;
           for (;;) {
             Wnd next = nullptr;
             {
               Guard g;
               WndRec* w = find(wnd);
               if (!w || !visible_chain(*w)) break;
               next = paint_search(w, nullptr, true);
             }
             if (!next || std::find(done.begin(), done.end(), next) != done.end()) break;
             done.push_back(next);
             paint_prepare(next);
             call_proc(next, WM_PAINT, 0, 0);
           }
           return 1;
         }) != 0;
}

Dc get_dc(Wnd wnd) { return make_window_dc(wnd, nullptr); }

int release_dc(Wnd wnd, Dc dc) {
  DcEntry e;
  {
    Guard g;
    auto it = S().dcs.find(dc);
    if (it == S().dcs.end()) return 0;
    e = it->second;
    S().dcs.erase(it);
    WndRec* w = find(e.wnd);
    WndRec* top = w ? top_of(w) : nullptr;
    if (top && top->surface == e.box) add_surface_dirty(top, e.bounds);
  }
  delete_dc(dc);
  unlock_surface(*e.box);
  // The loop may have left this surface's paint and copying until now.
  if (!is_ui_thread()) wake_ui();
  return 1;
}

bool with_window_surface(Wnd top, const std::function<void(const Surface&)>& use) {
  std::shared_ptr<SurfaceBox> box;
  {
    Guard g;
    WndRec* w = find(top);
    if (!w || !w->surface) return false;
    box = w->surface;
  }
  lock_surface(*box);
  use(box->surface);
  unlock_surface(*box);
  return true;
}

}  // namespace plat
