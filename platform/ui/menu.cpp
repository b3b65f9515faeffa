// Menus as data: menu records, their items, and the operations that find an item by
// position or by command (searching the popups that hang from a menu), insert,
// remove, check, enable and read it.
#include "platform/ui/menu.h"

#include <algorithm>
#include <functional>

#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

constexpr unsigned kKeptFlags = MF_GRAYED | MF_DISABLED | MF_BITMAP | MF_CHECKED | MF_POPUP | MF_MENUBARBREAK |
                                MF_MENUBREAK | MF_HILITE | MF_OWNERDRAW | MF_SEPARATOR | MF_DEFAULT |
                                MF_RIGHTJUSTIFY;

struct ItemRef {
  MenuRec* menu = nullptr;
  size_t index = 0;
  MenuItem* item() const { return &menu->items[index]; }
};

// Depth-first search by command id; `seen` stops a menu that hangs from itself.
bool find_command(MenuRec* m, unsigned id, ItemRef* out, std::vector<MenuRec*>& seen) {
  if (std::find(seen.begin(), seen.end(), m) != seen.end()) return false;
  seen.push_back(m);
  for (size_t i = 0; i < m->items.size(); ++i) {
    MenuItem& it = m->items[i];
    if (!(it.flags & MF_POPUP) && it.id == id) {
      *out = ItemRef{m, i};
      return true;
    }
  }
  for (auto& it : m->items)
    if (it.flags & MF_POPUP)
      if (MenuRec* sub = find_menu(it.popup))
        if (find_command(sub, id, out, seen)) return true;
  return false;
}

bool find_item(Menu menu, unsigned where, unsigned flags, ItemRef* out) {
  MenuRec* m = find_menu(menu);
  if (!m) return false;
  if (flags & MF_BYPOSITION) {
    if (where >= m->items.size()) return false;
    *out = ItemRef{m, where};
    return true;
  }
  std::vector<MenuRec*> seen;
  return find_command(m, where, out, seen);
}

// True when `inner` is `outer` or hangs (at any depth) from it.
bool hangs_from(Menu inner, Menu outer, std::vector<Menu>& seen) {
  if (inner == outer) return true;
  MenuRec* m = find_menu(outer);
  if (!m || std::find(seen.begin(), seen.end(), outer) != seen.end()) return false;
  seen.push_back(outer);
  for (auto& it : m->items)
    if ((it.flags & MF_POPUP) && hangs_from(inner, it.popup, seen)) return true;
  return false;
}

bool make_item(Menu into, unsigned flags, uintptr_t id_or_popup, const char* text, MenuItem* out) {
  out->flags = flags & kKeptFlags;
  out->id = id_or_popup;
  if (flags & MF_POPUP) {
    Menu popup = handle_of<Menu>(id_or_popup);
    std::vector<Menu> seen;
    if (!find_menu(popup) || hangs_from(into, popup, seen)) return false;
    out->popup = popup;
  }
  if (!(flags & MF_SEPARATOR)) out->text = utf8_to_utf16(text);
  return true;
}

// Menu bars and popups are the same record; what tells them apart is their use.
Menu new_menu() {
  uintptr_t h = new_serial();
  Guard g;
  auto rec = std::make_unique<MenuRec>();
  S().menus[h] = std::move(rec);
  return handle_of<Menu>(h);
}

void destroy_locked(Menu menu) {
  auto it = S().menus.find(key_of(menu));
  if (it == S().menus.end()) return;
  std::unique_ptr<MenuRec> rec = std::move(it->second);
  S().menus.erase(it);
  if (WndRec* w = find(rec->owner_window))
    if (w->menu == menu) w->menu = nullptr;
  for (auto& item : rec->items)
    if (item.flags & MF_POPUP) destroy_locked(item.popup);
}

bool remove_item(Menu menu, unsigned where, unsigned flags, bool destroy_popup) {
  Guard g;
  ItemRef ref;
  if (!find_item(menu, where, flags, &ref)) return false;
  MenuItem item = *ref.item();
  ref.menu->items.erase(ref.menu->items.begin() + long(ref.index));
  if (destroy_popup && (item.flags & MF_POPUP)) destroy_locked(item.popup);
  return true;
}

}  // namespace

namespace ui_detail {
void menus_forget_window(WndRec* w) {
  if (w && w->menu) destroy_locked(w->menu);
}
}  // namespace ui_detail

Menu create_menu() { return new_menu(); }
Menu create_popup_menu() { return new_menu(); }

bool is_menu(Menu menu) {
  Guard g;
  return find_menu(menu) != nullptr;
}

bool destroy_menu(Menu menu) {
  Guard g;
  if (!find_menu(menu)) return false;
  destroy_locked(menu);
  return true;
}

bool insert_menu(Menu menu, unsigned where, unsigned flags, uintptr_t id_or_popup, const char* text) {
  Guard g;
  MenuRec* m = find_menu(menu);
  if (!m) return false;
  size_t index;
  MenuRec* target = m;
  if (flags & MF_BYPOSITION) {
    index = std::min<size_t>(where, m->items.size());
  } else {
    ItemRef ref;
    if (!find_item(menu, where, flags, &ref)) return false;
    target = ref.menu;
    index = ref.index;
  }
  MenuItem item;
  Menu into = menu;
  for (auto& [key, rec] : S().menus)
    if (rec.get() == target) into = handle_of<Menu>(key);
  if (!make_item(into, flags, id_or_popup, text, &item)) return false;
  target->items.insert(target->items.begin() + long(index), item);
  return true;
}

bool append_menu(Menu menu, unsigned flags, uintptr_t id_or_popup, const char* text) {
  return insert_menu(menu, 0xFFFFFFFFu, (flags | MF_BYPOSITION), id_or_popup, text);
}

bool delete_menu(Menu menu, unsigned where, unsigned flags) { return remove_item(menu, where, flags, true); }
bool remove_menu(Menu menu, unsigned where, unsigned flags) { return remove_item(menu, where, flags, false); }

unsigned check_menu_item(Menu menu, unsigned where, unsigned flags) {
  Guard g;
  ItemRef ref;
  if (!find_item(menu, where, flags, &ref)) return MENU_NOT_FOUND;
  MenuItem* it = ref.item();
  unsigned old = it->flags & MF_CHECKED;
  it->flags = (it->flags & ~MF_CHECKED) | (flags & MF_CHECKED);
  return old;
}

unsigned enable_menu_item(Menu menu, unsigned where, unsigned flags) {
  Guard g;
  ItemRef ref;
  if (!find_item(menu, where, flags, &ref)) return MENU_NOT_FOUND;
  MenuItem* it = ref.item();
  unsigned old = it->flags & (MF_GRAYED | MF_DISABLED);
  it->flags = (it->flags & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
  return old;
}

unsigned get_menu_state(Menu menu, unsigned where, unsigned flags) {
  Guard g;
  ItemRef ref;
  if (!find_item(menu, where, flags, &ref)) return MENU_NOT_FOUND;
  const MenuItem* it = ref.item();
  if (it->flags & MF_POPUP) {
    MenuRec* sub = find_menu(it->popup);
    unsigned count = sub ? unsigned(std::min<size_t>(sub->items.size(), 255)) : 0;
    return (count << 8) | (it->flags & 0xFFu);
  }
  return it->flags;
}

int get_menu_item_count(Menu menu) {
  Guard g;
  MenuRec* m = find_menu(menu);
  return m ? int(m->items.size()) : -1;
}

unsigned get_menu_item_id(Menu menu, int pos) {
  Guard g;
  MenuRec* m = find_menu(menu);
  if (!m || pos < 0 || size_t(pos) >= m->items.size()) return MENU_NOT_FOUND;
  const MenuItem& it = m->items[size_t(pos)];
  return (it.flags & MF_POPUP) ? MENU_NOT_FOUND : unsigned(it.id);
}

Menu get_sub_menu(Menu menu, int pos) {
  Guard g;
  MenuRec* m = find_menu(menu);
  if (!m || pos < 0 || size_t(pos) >= m->items.size()) return nullptr;
  const MenuItem& it = m->items[size_t(pos)];
  return (it.flags & MF_POPUP) && find_menu(it.popup) ? it.popup : nullptr;
}

std::string get_menu_string(Menu menu, unsigned where, unsigned flags) {
  Guard g;
  ItemRef ref;
  if (!find_item(menu, where, flags, &ref)) return std::string();
  return utf16_to_utf8(ref.item()->text);
}

}  // namespace plat
