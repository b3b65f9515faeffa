// Scan conversion of polygons (one or several figures) into horizontal spans, by the
// even-odd or winding rule. A pixel is inside when its centre is: crossings are rounded
// up, so left edges are in and right edges out, and an edge covers the rows from its
// upper end to just above its lower end.
#pragma once
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "platform/gdi/stroke.h"

namespace plat {

using SpanL = std::pair<int64_t, int64_t>;  // [first, second)

// Calls `row` for every row in [y_lo, y_hi) that holds spans, top to bottom, with the
// row's spans sorted and disjoint.
void scan_polygons(const PointL* pts, const int* counts, int figures, int mode, int64_t y_lo,
                   int64_t y_hi, const std::function<void(int64_t, const std::vector<SpanL>&)>& row);

}  // namespace plat
