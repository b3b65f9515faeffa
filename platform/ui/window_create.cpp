// Creating and destroying windows.
//
// Creation sends WM_NCCREATE, WM_CREATE, WM_SIZE and WM_MOVE, tells the parent
// (WM_PARENTNOTIFY) and shows the window when it was made visible. Destruction first
// destroys the windows the window owns, then sends WM_DESTROY to the window and walks
// down its children (the last created first), each child getting WM_DESTROY, its own
// children, then WM_NCDESTROY; the window's WM_NCDESTROY comes last. A handle stays
// valid until its record is released right after its WM_NCDESTROY, so a procedure may
// destroy its own window in the middle of a message. When the active window goes, the
// activation (and with it the focus) goes back to its owner.
#include <algorithm>

#include "platform/ui/presenter.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

constexpr uint32_t kWhitePixel = 0xFFFFFFFFu;

struct Placement {
  int x, y, w, h;
};

// Default places cascade down the work area; sizes are three quarters of it. Top-level
// sizes are bounded so that a wild size never allocates a giant surface.
Placement place(bool top, int x, int y, int w, int h) {
  Guard g;
  const Rect work = S().work;
  if (top) {
    if (x == CW_USEDEFAULT) {
      int step = int(26 * (S().tops.size() % 8));
      x = work.left + step;
      y = work.top + step;
    }
    if (w == CW_USEDEFAULT) {
      w = work.width() * 3 / 4;
      h = work.height() * 3 / 4;
    }
    w = std::clamp(w, 0, std::max(1, S().screen.width() * 2));
    h = std::clamp(h, 0, std::max(1, S().screen.height() * 2));
  } else {
    if (x == CW_USEDEFAULT) x = y = 0;
    if (w == CW_USEDEFAULT) w = h = 0;
    w = std::max(w, 0);
    h = std::max(h, 0);
  }
  return Placement{x, y, w, h};
}

// Makes the record and links it into the tree; null when the parent is missing.
Wnd make_record(const std::shared_ptr<ClassRec>& cls, uint32_t ex_style, uint32_t style,
                const Placement& p, Wnd parent, uintptr_t id) {
  Guard g;
  const bool child = style & WS_CHILD;
  WndRec* parent_rec = find(parent);
  if (child && !parent_rec) return nullptr;
  auto rec = std::make_shared<WndRec>();
  rec->handle = handle_of<Wnd>(new_serial());
  rec->cls = cls;
  rec->proc = cls->cls.proc;
  rec->style = style & ~WS_VISIBLE;
  rec->ex_style = ex_style;
  rec->id = id;
  rec->extra.assign(size_t(cls->cls.wnd_extra), 0);
  rec->rect = Rect{p.x, p.y, p.x + p.w, p.y + p.h};
  rec->normal_rect = rec->rect;
  if (child) {
    rec->parent = parent;
    parent_rec->children.push_back(rec->handle);
  } else {
    if (!(style & WS_POPUP)) rec->style |= WS_CAPTION | WS_CLIPSIBLINGS;
    WndRec* owner = top_of(parent_rec);
    rec->owner = owner ? owner->handle : nullptr;
    rec->surface = std::make_shared<SurfaceBox>();
    rec->surface->surface.resize(p.w, p.h, kWhitePixel);
    S().tops.push_back(rec->handle);
  }
  S().wnds[key_of(rec->handle)] = rec;
  return rec->handle;
}

void notify_parents_of_child(Wnd wnd, unsigned event) {
  Wnd cur = wnd;
  for (;;) {
    Wnd parent;
    uintptr_t id;
    {
      Guard g;
      WndRec* w = find(cur);
      if (!w || is_top(*w) || (w->ex_style & WS_EX_NOPARENTNOTIFY)) return;
      parent = w->parent;
      WndRec* origin = find(wnd);
      id = origin ? origin->id : 0;
    }
    call_proc(parent, WM_PARENTNOTIFY, make_wparam(int(event), int(id)), LParam(key_of(wnd)));
    cur = parent;
  }
}

Wnd create_on_ui(uint32_t ex_style, const char* class_name, const std::u16string& title,
                 uint32_t style, int x, int y, int width, int height, Wnd parent, uintptr_t id,
                 void* params) {
  if (!S().has_ui.load()) set_ui_thread();
  auto cls = class_by_name(class_name);
  if (!cls) return nullptr;
  const bool top = !(style & WS_CHILD);
  Placement p = place(top, x, y, width, height);
  Wnd wnd = make_record(cls, ex_style, style, p, parent, id);
  if (!wnd) return nullptr;

  CreateStruct cs;
  cs.create_params = params;
  cs.id = id;
  cs.parent = parent;
  cs.x = p.x;
  cs.y = p.y;
  cs.cx = p.w;
  cs.cy = p.h;
  cs.style = style;
  cs.ex_style = ex_style;
  cs.name = title.c_str();
  cs.class_name = class_name;
  if (!call_proc(wnd, WM_NCCREATE, 0, LParam(reinterpret_cast<intptr_t>(&cs))) ||
      call_proc(wnd, WM_CREATE, 0, LParam(reinterpret_cast<intptr_t>(&cs))) == -1) {
    destroy_window(wnd);
    return nullptr;
  }
  if (!is_window(wnd)) return nullptr;
  sync_geometry_messages(wnd, SIZE_RESTORED, true);
  if (!top) notify_parents_of_child(wnd, WM_CREATE);
  if (style & WS_VISIBLE) {
    int cmd = (style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED : (style & WS_MINIMIZE) ? SW_SHOWMINIMIZED : SW_SHOW;
    show_window(wnd, cmd);
  }
  return is_window(wnd) ? wnd : nullptr;
}

// ---- Destruction ------------------------------------------------------------------------------

std::vector<Wnd> owned_windows(Wnd wnd) {
  Guard g;
  std::vector<Wnd> out;
  for (Wnd t : S().tops) {
    WndRec* w = find(t);
    if (w && w->owner == wnd && !w->destroying) out.push_back(t);
  }
  return out;
}

void forget_subtree_locked(WndRec* w);

// Releases a record once its messages are done; children that appeared during the
// destruction go with it silently.
void release_record(Wnd wnd) {
  bool top = false;
  {
    Guard g;
    auto it = S().wnds.find(key_of(wnd));
    if (it == S().wnds.end() || it->second->destroyed) return;
    WndRec* w = it->second.get();
    top = is_top(*w);
    if (!top) {
      if (WndRec* parent = find(w->parent)) {
        auto& c = parent->children;
        c.erase(std::remove(c.begin(), c.end(), wnd), c.end());
      }
    } else {
      auto& t = S().tops;
      t.erase(std::remove(t.begin(), t.end(), wnd), t.end());
    }
    forget_subtree_locked(w);
  }
  if (top)
    if (Presenter* p = S().presenter.load()) p->window_destroyed(wnd);
}

void forget_subtree_locked(WndRec* w) {
  std::vector<Wnd> kids = w->children;
  for (Wnd c : kids)
    if (WndRec* child = find(c)) forget_subtree_locked(child);
  Wnd wnd = w->handle;
  menus_forget_window(w);
  w->destroyed = true;
  w->children.clear();
  timers_forget_window(wnd);
  capture_forget(wnd);
  // The window's queued messages go with it, but for its keys: a key typed while the
  // window closes, or the release of a key pressed in it, goes to the window that has
  // the keyboard when it is taken from the queue (queue.cpp), as keys typed ahead do.
  auto& q = S().posted;
  q.erase(std::remove_if(q.begin(), q.end(),
                         [wnd](const Msg& m) { return m.wnd == wnd && !is_key_message(m.message); }),
          q.end());
  if (S().focus == wnd) S().focus = nullptr;
  if (S().active == wnd) S().active = nullptr;
  if (S().drag.wnd == wnd) S().drag = BarDrag{};
  S().wnds.erase(key_of(wnd));
}

void destroy_tree(Wnd wnd) {
  call_proc(wnd, WM_DESTROY, 0, 0);
  std::vector<Wnd> kids;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (w) kids.assign(w->children.rbegin(), w->children.rend());
    for (Wnd c : kids)
      if (WndRec* child = find(c)) child->destroying = true;
  }
  for (Wnd c : kids) destroy_tree(c);
  call_proc(wnd, WM_NCDESTROY, 0, 0);
  release_record(wnd);
}

// The window that takes the activation when the active one goes: its owner when that
// can take it, else the most recent visible, enabled top-level window.
Wnd next_active(Wnd owner) {
  Guard g;
  WndRec* o = find(owner);
  if (o && (o->style & WS_VISIBLE) && !(o->style & WS_DISABLED)) return owner;
  for (auto it = S().tops.rbegin(); it != S().tops.rend(); ++it) {
    WndRec* w = find(*it);
    if (w && !w->destroying && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED)) return *it;
  }
  return nullptr;
}

bool destroy_on_ui(Wnd wnd) {
  Wnd owner = nullptr;
  bool was_active = false, top = false, notify_parent = false, shown = false;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return false;
    if (w->destroying) return true;
    w->destroying = true;
    top = is_top(*w);
    shown = w->style & WS_VISIBLE;
    owner = w->owner;
    was_active = S().active == wnd;
    notify_parent = !top && !(w->ex_style & WS_EX_NOPARENTNOTIFY);
    if (WndRec* parent = top ? nullptr : find(w->parent)) notify_parent &= !parent->destroying;
  }
  for (Wnd o : owned_windows(wnd)) destroy_window(o);
  if (notify_parent) notify_parents_of_child(wnd, WM_DESTROY);
  // The window disappears from the screen first: its parent repaints the place.
  {
    Guard g;
    WndRec* w = find(wnd);
    if (w && !top && (w->style & WS_VISIBLE)) {
      w->style &= ~WS_VISIBLE;
      if (WndRec* parent = find(w->parent)) invalidate_locked(parent, Region(w->rect), true);
    }
    if (S().focus && (S().focus == wnd || is_child(wnd, S().focus))) S().focus = nullptr;
    if (S().capture && (S().capture == wnd || is_child(wnd, S().capture))) S().capture = nullptr;
  }
  if (top && shown)
    if (Presenter* p = S().presenter.load()) p->window_hidden(wnd);
  destroy_tree(wnd);
  if (was_active) {
    Wnd next = next_active(owner);
    if (next) set_active_window(next);
  }
  return true;
}

}  // namespace

Wnd create_window_w(uint32_t ex_style, const char* class_name, const char16_t* title,
                    uint32_t style, int x, int y, int width, int height, Wnd parent,
                    uintptr_t id, void* create_params) {
  std::u16string t = title ? std::u16string(title) : std::u16string();
  return handle_of<Wnd>(uintptr_t(run_on_ui([&]() -> LResult {
    return LResult(key_of(create_on_ui(ex_style, class_name, t, style, x, y, width, height,
                                       parent, id, create_params)));
  })));
}

Wnd create_window(uint32_t ex_style, const char* class_name, const char* title, uint32_t style,
                  int x, int y, int width, int height, Wnd parent, uintptr_t id,
                  void* create_params) {
  std::u16string t = utf8_to_utf16(title);
  return create_window_w(ex_style, class_name, t.c_str(), style, x, y, width, height, parent, id,
                         create_params);
}

bool destroy_window(Wnd wnd) {
  return run_on_ui([&]() -> LResult { return destroy_on_ui(wnd); }) != 0;
}

bool is_window(Wnd wnd) {
  Guard g;
  return find(wnd) != nullptr;
}

}  // namespace plat
