// Regions: sets of pixels held as disjoint rectangles in y-x bands (rows of equal top
// and bottom, sorted by top then left). The window system keeps invalid areas as
// regions; device contexts clip to them.
#pragma once
#include <vector>

#include "platform/gdi/geometry.h"

namespace plat {

class Region {
 public:
  Region() = default;
  explicit Region(const Rect& r);

  bool empty() const { return rects_.empty(); }
  Rect bounds() const;
  // The rectangles, banded and disjoint.
  const std::vector<Rect>& rects() const { return rects_; }
  bool contains(Point p) const;
  bool intersects(const Rect& r) const;

  void unite(const Region& other);
  void intersect(const Region& other);
  void subtract(const Region& other);
  void exclusive_or(const Region& other);
  void offset(int dx, int dy);
  void clear() { rects_.clear(); }

  friend bool operator==(const Region&, const Region&) = default;

 private:
  std::vector<Rect> rects_;
};

}  // namespace plat
