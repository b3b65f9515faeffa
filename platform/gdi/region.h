// Regions: sets of pixels held as disjoint rectangles in y-x bands (rows of equal top
// and bottom, sorted by top then left). The window system keeps invalid areas as
// regions; device contexts clip to them.
#pragma once
#include <cstddef>
#include <utility>
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

  // Builds a region band by band, top to bottom: adds the spans [first, second) between
  // `top` and `bottom` (sorted, disjoint, not touching) below every band already held;
  // a band with the same spans as the one just above it is merged into it. Used by the
  // region algebra and by scan conversion (polygon regions).
  using Span = std::pair<int, int>;
  void append_band(int top, int bottom, const Span* spans, size_t count);

  friend bool operator==(const Region&, const Region&) = default;

 private:
  std::vector<Rect> rects_;
};

}  // namespace plat
