// Rectangle arithmetic shared by the window system and the drawing layer. Rectangles
// are half-open (right and bottom edges excluded), so an intersection that leaves no
// pixel is returned as the empty rectangle {0,0,0,0}.
#include "platform/gdi/geometry.h"

#include <algorithm>

namespace plat {

Rect intersect_rect(const Rect& a, const Rect& b) {
  Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  return r.empty() ? Rect{} : r;
}

// An empty rectangle adds nothing to a union: the union of an empty and a non-empty
// rectangle is the non-empty one, not a box that also reaches the origin.
Rect union_rect(const Rect& a, const Rect& b) {
  if (a.empty()) return b.empty() ? Rect{} : b;
  if (b.empty()) return a;
  return Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

Rect offset_rect(const Rect& r, int dx, int dy) {
  return Rect{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

}  // namespace plat
