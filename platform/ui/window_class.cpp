// Window classes: a name (compared without regard to case), a procedure, a cursor, a
// background and style words, registered at run time and looked up by name when a
// window is created.
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

std::shared_ptr<ClassRec> find_class(const char* name) {
  for (auto& c : S().classes)
    if (same_ascii_ci(c->name, name)) return c;
  return nullptr;
}

}  // namespace

namespace ui_detail {
std::shared_ptr<ClassRec> class_by_name(const char* name) {
  Guard g;
  return find_class(name);
}
}  // namespace ui_detail

uint16_t register_class(const WndClass& cls) {
  if (!cls.name || !cls.name[0] || !cls.proc) return 0;
  if (cls.wnd_extra < 0 || cls.wnd_extra > 4096 || cls.class_extra < 0) return 0;
  Guard g;
  if (find_class(cls.name)) return 0;
  auto rec = std::make_shared<ClassRec>();
  rec->name = cls.name;
  rec->cls = cls;
  rec->cls.name = nullptr;
  rec->atom = S().next_atom++;
  if (S().next_atom == 0) S().next_atom = 0xC000;
  S().classes.push_back(rec);
  return rec->atom;
}

bool unregister_class(const char* name) {
  Guard g;
  auto& list = S().classes;
  for (size_t i = 0; i < list.size(); ++i) {
    if (!same_ascii_ci(list[i]->name, name)) continue;
    // A class still used by a window stays registered, as it must.
    for (auto& [key, w] : S().wnds)
      if (!w->destroyed && w->cls == list[i]) return false;
    list.erase(list.begin() + long(i));
    return true;
  }
  return false;
}

bool get_class_info(const char* name, WndClass* out) {
  Guard g;
  auto c = find_class(name);
  if (!c) return false;
  if (out) *out = c->cls;
  return true;
}

std::string get_class_name(Wnd wnd) {
  Guard g;
  WndRec* w = find(wnd);
  return w ? w->cls->name : std::string();
}

}  // namespace plat
