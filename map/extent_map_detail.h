// Helpers shared by the two files of the extent mappings (extent_map*.cpp only).
#pragma once
#include "geodesy/extent.h"

namespace extent_map_detail {
// The box of two x and two y values (min <= max), step 0.
extent_t sorted(double x0, double x1, double y0, double y1);
// Extents behind caller addresses may lie in packed records: copied byte-wise.
extent_t load(const extent_t* p);
void store(extent_t* p, const extent_t& e);
// A scale that can be divided by (not zero, not NaN).
bool usable_scale(double s);
}  // namespace extent_map_detail
