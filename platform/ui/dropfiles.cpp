// Dropped files: the Drop handles WM_DROPFILES carries, holding the names and the point
// of the drop until drag_finish frees them.
#include "platform/ui/dropfiles.h"

#include <cstring>

#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

void drag_accept_files(Wnd wnd, bool accept) {
  Guard g;
  WndRec* w = find(wnd);
  if (!w) return;
  if (accept) {
    w->ex_style |= WS_EX_ACCEPTFILES;
  } else {
    w->ex_style &= ~WS_EX_ACCEPTFILES;
  }
}

unsigned drag_query_file(Drop drop, unsigned index, char* buf, unsigned size) {
  Guard g;
  auto it = S().drops.find(key_of(drop));
  if (it == S().drops.end()) return 0;
  const auto& files = it->second.files;
  if (index == 0xFFFFFFFFu) return unsigned(files.size());
  if (index >= files.size()) return 0;
  const std::string& name = files[index];
  if (!buf || size == 0) return unsigned(name.size());
  size_t n = std::min<size_t>(name.size(), size - 1);
  // Cut at a character boundary.
  if (n < name.size())
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
  std::memcpy(buf, name.data(), n);
  buf[n] = 0;
  return unsigned(n);
}

bool drag_query_point(Drop drop, Point* pt) {
  Guard g;
  auto it = S().drops.find(key_of(drop));
  if (it == S().drops.end() || !pt) return false;
  *pt = it->second.pt;
  return true;
}

void drag_finish(Drop drop) {
  Guard g;
  S().drops.erase(key_of(drop));
}

}  // namespace plat
