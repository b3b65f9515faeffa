// The window tree: parents and children, owners, relations, searches by id, class or
// title, and the window under a point.
#include <algorithm>

#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace ui_detail {

// The deepest visible, enabled descendant of `w` under a point given in w's client
// coordinates; `w` itself when none is.
Wnd child_at(WndRec* w, Point pt) {
  for (Wnd c : w->children) {
    WndRec* child = find(c);
    if (!child || !(child->style & WS_VISIBLE) || (child->style & WS_DISABLED)) continue;
    if (!child->rect.contains(pt)) continue;
    Rect cl = nc_layout(*child).client;
    Point inner{pt.x - child->rect.left - cl.left, pt.y - child->rect.top - cl.top};
    if (!cl.contains(Point{pt.x - child->rect.left, pt.y - child->rect.top})) return c;
    return child_at(child, inner);
  }
  return w->handle;
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
  Guard g;
  for (auto it = S().tops.rbegin(); it != S().tops.rend(); ++it) {
    WndRec* w = find(*it);
    if (!w || !(w->style & WS_VISIBLE) || !w->rect.contains(screen)) continue;
    Rect cl = nc_layout(*w).client;
    Point in_window{screen.x - w->rect.left, screen.y - w->rect.top};
    if (!cl.contains(in_window)) return *it;
    return child_at(w, Point{in_window.x - cl.left, in_window.y - cl.top});
  }
  return nullptr;
}

}  // namespace plat
