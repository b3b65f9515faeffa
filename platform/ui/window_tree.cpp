// The window tree: parents and children, owners, relations, searches by id, class or
// title, and the window under a point.
//
// The window under a point is found as the mouse finds it: inside a window's client
// area its children come first (the top of the stacking order first, hidden and
// disabled ones passed over), then the window itself is asked with WM_NCHITTEST. A
// window answering HTTRANSPARENT (a group box, a tab control's display area) is passed
// over, and the search goes on with the sibling below it.
#include <algorithm>
#include <vector>

#include "platform/ui/queue.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace ui_detail {

namespace {

// Which part of a window lies under a screen point. On the user-interface thread the
// window is asked (WM_NCHITTEST), so that it may answer HTTRANSPARENT or a part of its
// own; other threads cannot run its procedure and get what the default procedure
// would answer.
int ask_hit(Wnd wnd, Point screen) {
  if (is_ui_thread()) return int(send_message(wnd, WM_NCHITTEST, 0, make_lparam(screen.x, screen.y)));
  Guard g;
  WndRec* w = find(wnd);
  if (!w) return HTNOWHERE;
  const Rect wr = window_rect_on_screen(*w);
  return hit_test(*w, Point{screen.x - wr.left, screen.y - wr.top});
}

// A visible, enabled child that covers the point.
bool child_takes(Wnd wnd, Point screen) {
  Guard g;
  WndRec* w = find(wnd);
  return w && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED) && window_rect_on_screen(*w).contains(screen);
}

}  // namespace

Wnd window_at(Wnd wnd, Point screen, int* hit) {
  std::vector<Wnd> kids;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return nullptr;
    const Rect wr = window_rect_on_screen(*w);
    if (offset_rect(nc_layout(*w).client, wr.left, wr.top).contains(screen)) kids = w->children;
  }
  for (Wnd c : kids)
    if (child_takes(c, screen))
      if (Wnd found = window_at(c, screen, hit)) return found;
  const int answer = ask_hit(wnd, screen);
  if (answer == HTTRANSPARENT) return nullptr;
  if (hit) *hit = answer;
  return wnd;
}

}  // namespace ui_detail

Wnd get_parent(Wnd wnd) {
  Guard g;
  WndRec* w = find(wnd);
  if (!w) return nullptr;
  return is_top(*w) ? w->owner : w->parent;
}

Wnd get_owner(Wnd wnd) {
  Guard g;
  WndRec* w = find(wnd);
  return w && is_top(*w) ? w->owner : nullptr;
}

Wnd set_parent(Wnd wnd, Wnd new_parent) {
  Guard g;
  WndRec* w = find(wnd);
  WndRec* p = find(new_parent);
  if (!w || (new_parent && !p) || wnd == new_parent || (p && is_child(wnd, new_parent))) return nullptr;
  Wnd old = is_top(*w) ? nullptr : w->parent;
  if (!(w->style & WS_CHILD) || !p) {
    // A top-level window only changes owner.
    if (is_top(*w)) {
      WndRec* o = top_of(p);
      w->owner = o ? o->handle : nullptr;
    }
    return old;
  }
  if (WndRec* op = find(old)) {
    auto& c = op->children;
    c.erase(std::remove(c.begin(), c.end(), wnd), c.end());
    invalidate_locked(op, Region(w->rect), true);
  }
  if (is_top(*w)) {
    auto& t = S().tops;
    t.erase(std::remove(t.begin(), t.end(), wnd), t.end());
    w->surface.reset();
  }
  w->parent = new_parent;
  w->owner = nullptr;
  p->children.push_back(wnd);
  invalidate_locked(w, Region(nc_layout(*w).client), true);
  w->nc_dirty = true;
  return old;
}

bool is_child(Wnd parent, Wnd wnd) {
  Guard g;
  WndRec* w = find(wnd);
  while (w && !is_top(*w)) {
    if (w->parent == parent) return true;
    w = find(w->parent);
  }
  return false;
}

Wnd get_ancestor(Wnd wnd, unsigned how) {
  Guard g;
  WndRec* w = find(wnd);
  if (!w) return nullptr;
  switch (how) {
    case GA_PARENT: return is_top(*w) ? nullptr : w->parent;
    case GA_ROOT: return top_of(w)->handle;
    case GA_ROOTOWNER: {
      WndRec* t = top_of(w);
      while (t && find(t->owner)) t = find(t->owner);
      return t ? t->handle : nullptr;
    }
    default: return nullptr;
  }
}

Wnd get_window(Wnd wnd, unsigned relation) {
  Guard g;
  WndRec* w = find(wnd);
  if (!w) return nullptr;
  if (relation == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  if (relation == GW_OWNER) return is_top(*w) ? w->owner : nullptr;
  const std::vector<Wnd>* list = &S().tops;
  if (!is_top(*w)) {
    WndRec* p = find(w->parent);
    if (!p) return nullptr;
    list = &p->children;
  }
  auto it = std::find(list->begin(), list->end(), wnd);
  if (it == list->end()) return nullptr;
  switch (relation) {
    case GW_HWNDFIRST: return list->front();
    case GW_HWNDLAST: return list->back();
    case GW_HWNDNEXT: return it + 1 == list->end() ? nullptr : *(it + 1);
    case GW_HWNDPREV: return it == list->begin() ? nullptr : *(it - 1);
    default: return nullptr;
  }
}

std::vector<Wnd> top_level_windows() {
  Guard g;
  std::vector<Wnd> out;
  for (Wnd t : S().tops)
    if (find(t)) out.push_back(t);
  return out;
}

std::vector<Wnd> child_windows(Wnd parent) {
  Guard g;
  WndRec* p = find(parent);
  std::vector<Wnd> out;
  if (p)
    for (Wnd c : p->children)
      if (find(c)) out.push_back(c);
  return out;
}

Wnd get_dlg_item(Wnd parent, int id) {
  Guard g;
  WndRec* p = find(parent);
  if (!p) return nullptr;
  for (Wnd c : p->children) {
    WndRec* w = find(c);
    if (w && w->id == uintptr_t(intptr_t(id))) return c;
  }
  for (Wnd c : p->children)
    if (Wnd deeper = get_dlg_item(c, id)) return deeper;
  return nullptr;
}

int get_dlg_ctrl_id(Wnd wnd) {
  Guard g;
  WndRec* w = find(wnd);
  return w ? int(intptr_t(w->id)) : 0;
}

Wnd find_window(const char* class_name, const char* title) {
  Guard g;
  std::u16string t = utf8_to_utf16(title);
  for (Wnd h : S().tops) {
    WndRec* w = find(h);
    if (!w || w->destroying) continue;
    if (class_name && !same_ascii_ci(w->cls->name, class_name)) continue;
    if (title && w->text != t) continue;
    return h;
  }
  return nullptr;
}

Wnd window_from_point(Point screen) {
  std::vector<Wnd> tops;
  {
    Guard g;
    tops.assign(S().tops.rbegin(), S().tops.rend());
  }
  for (Wnd t : tops) {
    {
      Guard g;
      WndRec* w = find(t);
      if (!w || !(w->style & WS_VISIBLE) || !w->rect.contains(screen)) continue;
    }
    if (Wnd found = window_at(t, screen, nullptr)) return found;
  }
  return nullptr;
}

}  // namespace plat
