// The non-client area: drawing a window's frame, caption (with its close box), menu
// bar, client edge and scroll bars into its top-level surface, telling which part of a
// window a point falls on (hit testing), and handing frame and caption over to a window
// manager (presenter.h): the layout then leaves the manager's frame undrawn.
#include "platform/ui/scrollbar.h"
#include "platform/ui/ui_draw.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

// What drawing the frame needs, read under the lock and drawn without it.
struct NcSnapshot {
  NcLayout l;
  int width = 0, height = 0;
  bool active = false;
  std::u16string title;
  std::vector<BarItem> bar_items;
  BarState vbar, hbar;
};

void draw_frame(Dc dc, const NcSnapshot& s) {
  const int f = s.l.frame;
  if (f <= 0) return;
  const Rect all{0, 0, s.width, s.height};
  Color outer = get_sys_color(COLOR_WINDOWFRAME);
  Color ring = get_sys_color(s.active ? COLOR_ACTIVEBORDER : COLOR_INACTIVEBORDER);
  if (f > 1) {
    fill_solid(dc, Rect{all.left, all.top, all.right, all.top + f}, ring);
    fill_solid(dc, Rect{all.left, all.bottom - f, all.right, all.bottom}, ring);
    fill_solid(dc, Rect{all.left, all.top, all.left + f, all.bottom}, ring);
    fill_solid(dc, Rect{all.right - f, all.top, all.right, all.bottom}, ring);
  }
  fill_solid(dc, Rect{all.left, all.top, all.right, all.top + 1}, outer);
  fill_solid(dc, Rect{all.left, all.bottom - 1, all.right, all.bottom}, outer);
  fill_solid(dc, Rect{all.left, all.top, all.left + 1, all.bottom}, outer);
  fill_solid(dc, Rect{all.right - 1, all.top, all.right, all.bottom}, outer);
}

void draw_caption(Dc dc, const NcSnapshot& s) {
  const Rect& c = s.l.caption;
  if (c.empty()) return;
  fill_solid(dc, c, get_sys_color(s.active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
  int y = c.top + (c.height() - text_height()) / 2;
  Color text = get_sys_color(s.active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT);
  // The title is drawn without mnemonic handling: an '&' in a title is a plain '&'.
  std::u16string title;
  for (char16_t ch : s.title) {
    title.push_back(ch);
    if (ch == u'&') title.push_back(u'&');
  }
  draw_label(dc, c.left + 5, y, title, text);
  const Rect& b = s.l.close_box;
  if (!b.empty()) {
    draw_bevel(dc, b, true);
    Pen pen = create_pen(PS_SOLID, 1, get_sys_color(COLOR_BTNTEXT));
    GdiObj old = select_object(dc, pen);
    const int m = 4;
    move_to(dc, b.left + m, b.top + m - 1);
    line_to(dc, b.right - m, b.bottom - m);
    move_to(dc, b.right - m - 1, b.top + m - 1);
    line_to(dc, b.left + m - 1, b.bottom - m);
    select_object(dc, old);
    delete_object(pen);
  }
}

void draw_client_edge(Dc dc, const NcSnapshot& s) {
  const Rect& r = s.l.edge_rect;
  const int e = s.l.edge;
  if (e <= 0 || r.empty()) return;
  Color dark = get_sys_color(COLOR_3DSHADOW), darker = get_sys_color(COLOR_3DDKSHADOW);
  Color light = get_sys_color(COLOR_3DHILIGHT), face = get_sys_color(COLOR_3DLIGHT);
  fill_solid(dc, Rect{r.left, r.top, r.right, r.top + 1}, dark);
  fill_solid(dc, Rect{r.left, r.top, r.left + 1, r.bottom}, dark);
  fill_solid(dc, Rect{r.left, r.bottom - 1, r.right, r.bottom}, light);
  fill_solid(dc, Rect{r.right - 1, r.top, r.right, r.bottom}, light);
  if (e >= 2) {
    Rect i{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    fill_solid(dc, Rect{i.left, i.top, i.right, i.top + 1}, darker);
    fill_solid(dc, Rect{i.left, i.top, i.left + 1, i.bottom}, darker);
    fill_solid(dc, Rect{i.left, i.bottom - 1, i.right, i.bottom}, face);
    fill_solid(dc, Rect{i.right - 1, i.top, i.right, i.bottom}, face);
  }
}

void draw_nonclient(Dc dc, const NcSnapshot& s) {
  draw_frame(dc, s);
  draw_caption(dc, s);
  if (!s.l.menu_bar.empty()) draw_menu_bar_items(dc, s.l.menu_bar, s.bar_items);
  draw_client_edge(dc, s);
  if (!s.l.vbar.empty()) draw_scroll_bar_into(dc, s.vbar, s.l.vbar, true);
  if (!s.l.hbar.empty()) draw_scroll_bar_into(dc, s.hbar, s.l.hbar, false);
  if (!s.l.size_box.empty()) fill_solid(dc, s.l.size_box, get_sys_color(COLOR_BTNFACE));
}

}  // namespace

namespace ui_detail {

void redraw_nonclient(Wnd wnd) { draw_nonclient_now(wnd, false); }

void draw_nonclient_now(Wnd wnd, bool may_wait) {
  std::shared_ptr<SurfaceBox> box;
  {
    Guard g;
    WndRec* w = find(wnd);
    WndRec* top = w ? top_of(w) : nullptr;
    if (!top || !top->surface) return;
    w->nc_dirty = false;
    box = top->surface;
  }
  if (is_ui_thread() && !may_wait) {
    // A worker is drawing into this surface (one that waits for this thread has lent
    // it): rather than wait for it, the frame is drawn with the window's next WM_PAINT
    // (paint_prepare), from the loop.
    if (!try_lock_surface(*box)) {
      {
        Guard g;
        if (WndRec* w = find(wnd)) w->nc_dirty = true;
      }
      wake_ui();
      return;
    }
  } else {
    lock_surface(*box);
  }
  NcSnapshot s;
  Region clip;
  Point origin;
  {
    Guard g;
    WndRec* w = find(wnd);
    WndRec* top = w ? top_of(w) : nullptr;
    if (!top || top->surface != box) {
      unlock_surface(*box);
      return;
    }
    s.l = nc_layout(*w);
    s.width = w->rect.width();
    s.height = w->rect.height();
    s.active = S().active == top->handle;
    s.title = w->text;
    s.vbar = w->bars[SB_VERT];
    s.hbar = w->bars[SB_HORZ];
    if (!s.l.menu_bar.empty()) s.bar_items = menu_bar_items(*w, s.l.menu_bar);
    origin = window_origin_in_top(*w);
    clip = visible_region(*w, true);
    Rect client = offset_rect(s.l.client, origin.x, origin.y);
    clip.subtract(Region(client));
    clip.intersect(Region(box->surface.rect()));
    add_surface_dirty(top, clip.bounds());
  }
  if (!clip.empty()) {
    Dc dc = create_surface_dc(&box->surface, origin, &clip);
    if (dc) {
      draw_nonclient(dc, s);
      delete_dc(dc);
    }
  }
  unlock_surface(*box);
}

int hit_test(const WndRec& w, Point p) {
  if (p.x < 0 || p.y < 0 || p.x >= w.rect.width() || p.y >= w.rect.height()) return HTNOWHERE;
  NcLayout l = nc_layout(w);
  if (l.client.contains(p)) return HTCLIENT;
  if (l.close_box.contains(p)) return HTCLOSE;
  if (l.caption.contains(p)) return HTCAPTION;
  if (l.menu_bar.contains(p)) return HTMENU;
  if (l.vbar.contains(p)) return HTVSCROLL;
  if (l.hbar.contains(p)) return HTHSCROLL;
  return HTBORDER;
}

}  // namespace ui_detail

namespace {

// The window's frame changed thickness: its client area is laid out again, painted
// again and told its new size; the window rectangle stays.
void frame_changed(Wnd wnd) {
  unsigned kind = SIZE_RESTORED;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return;
    w->nc_dirty = true;
    const NcLayout l = nc_layout(*w);
    invalidate_locked(w, Region(Rect{0, 0, l.client.width(), l.client.height()}), true);
    kind = w->minimized ? SIZE_MINIMIZED : w->maximized ? SIZE_MAXIMIZED : SIZE_RESTORED;
  }
  redraw_nonclient(wnd);
  sync_geometry_messages(wnd, kind, false);
}

bool has_caption(Wnd wnd) {
  Guard g;
  WndRec* w = find(wnd);
  return w && is_top(*w) && (w->style & WS_CAPTION) == WS_CAPTION;
}

}  // namespace

void set_frames_by_manager(bool on, const FrameExtents& usual) {
  run_on_ui([&]() -> LResult {
    std::vector<Wnd> tops;
    {
      Guard g;
      if (S().frames_by_manager == on && S().usual_frame == usual) return 0;
      S().frames_by_manager = on;
      S().usual_frame = usual;
      tops = S().tops;
    }
    for (Wnd t : tops)
      if (has_caption(t)) frame_changed(t);
    return 0;
  });
}

bool frames_by_manager() {
  Guard g;
  return S().frames_by_manager;
}

void set_window_frame_extents(Wnd top, const FrameExtents& extents) {
  run_on_ui([&]() -> LResult {
    {
      Guard g;
      WndRec* w = find(top);
      if (!w || !is_top(*w) || (w->frame_told && w->frame_extents == extents)) return 0;
      w->frame_told = true;
      w->frame_extents = extents;
    }
    if (frames_by_manager() && has_caption(top)) frame_changed(top);
    return 0;
  });
}

bool get_window_frame_extents(Wnd top, FrameExtents* out) {
  Guard g;
  WndRec* w = find(top);
  FrameExtents e;
  const bool managed = w && manager_frame(*w, &e);
  if (out) *out = e;
  return managed;
}

}  // namespace plat
