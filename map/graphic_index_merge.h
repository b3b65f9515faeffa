// The arithmetic of a graphic index merge (gindex_merge), shared by the merge itself and
// by the computation of a segment-point track, which runs the same merge once per link
// without going through the general routine. Both must give the same bits.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>


#include "geodesy/extent.h"
#include "map/graphic_index.h"

namespace gindex_detail {

inline bool four_bounds_zero(const extent_t& e) {
  return e.xmin == 0.0 && e.xmax == 0.0 && e.ymin == 0.0 && e.ymax == 0.0;
}

// Representative point of an entry along one axis, from its fraction 0..255.
inline double point_on(double lo, double hi, uint8_t frac) {
  return lo + (hi - lo) * frac / 255.0;
}

// Fraction 0..255 of a point inside [lo, hi]; an axis without width (a point or a line
// along the other axis) has its point at lo, and rounding never leaves 0..255.
inline uint8_t fraction_of(double v, double lo, double hi) {
  const double w = hi - lo;
  if (!(w > 0.0)) return 0;
  const double f = std::trunc((v - lo) * 255.0 / w);
  if (!(f > 0.0)) return 0;
  return f >= 255.0 ? 255 : static_cast<uint8_t>(f);
}

// gindex_merge (entry, contribution): the union of the extents and the weighted mean of
// the representative points. `old_point (lo, hi, frac, axis)` gives the entry's point
// along axis 0 (x) or 1 (y): point_on (lo, hi, frac), or the same value kept from an
// earlier merge.
template <class OldPoint>
inline void merge_entry(gindex_entry_t* entry, const gindex_entry_t& contribution, OldPoint&& old_point) {
  const extent_t c = contribution.extent;
  if (four_bounds_zero(c)) return;
  extent_t old = entry->extent;
  uint32_t old_weight = entry->weight;
  if (four_bounds_zero(old)) {
    old = c;
    old_weight = 0;
  }
  extent_t u = old;
  u.xmin = std::min(old.xmin, c.xmin);
  u.ymin = std::min(old.ymin, c.ymin);
  u.xmax = std::max(old.xmax, c.xmax);
  u.ymax = std::max(old.ymax, c.ymax);
  u.step = std::max(old.step, c.step);

  const uint32_t w = contribution.weight;
  // The weight saturates instead of wrapping round to a small count.
  const uint64_t total = uint64_t(old_weight) + w;
  const uint32_t big_w = total > UINT32_MAX ? UINT32_MAX : uint32_t(total);
  uint8_t cx = 0, cy = 0;
  if (big_w != 0) {
    const double p0x = old_point(old.xmin, old.xmax, entry->cx, 0);
    const double p0y = old_point(old.ymin, old.ymax, entry->cy, 1);
    double x = p0x, y = p0y;
    if (w != 0) {
      const double p1x = point_on(c.xmin, c.xmax, contribution.cx);
      const double p1y = point_on(c.ymin, c.ymax, contribution.cy);
      x = (double(old_weight) * p0x + double(w) * p1x) / double(total);
      y = (double(old_weight) * p0y + double(w) * p1y) / double(total);
    }
    cx = fraction_of(x, u.xmin, u.xmax);
    cy = fraction_of(y, u.ymin, u.ymax);
  }
  entry->extent = u;
  entry->weight = big_w;
  entry->cx = cx;
  entry->cy = cy;
}

}  // namespace gindex_detail
