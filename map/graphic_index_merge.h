// The arithmetic of a graphic index merge (gindex_merge), shared by the merge itself and
// by the computation of a segment-point track, which runs the same merge once per link
// without going through the general routine. Both must give the same bits.
#pragma once
#include <cmath>
#include <cstdint>

#include "geodesy/extent.h"

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

}  // namespace gindex_detail
