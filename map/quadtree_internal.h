// Internal seams of the graphic index and the quadtree.
//
// The layer records (graphspace.h) and the view records (view_records.h) are read in
// separate files: the accessors below reach the view records (layer links, panes,
// bitmaps) without the layer records in sight, and the routines of the other modules
// that fill the index's tables are named here once.
#pragma once
#include <cstdint>

#include "geodesy/extent.h"
#include "map/graphic_index.h"

namespace gindex_detail {
// Fills the extent routine table from the drawing styles and the image routine.
void fill_extent_table(gindex_extent_fn* table, gindex_image_extent_fn* image);
void progress();
void image_extent(extent_t clip, obj_t* image);
gindex_entry_t* new_entry(obj_t* object);
void release_entry(gindex_entry_t* entry);
// Copies the point of element index + 1 of a segment-point style's source list into the
// style's next-point field.
void style_point(obj_t* style, int index);
}  // namespace gindex_detail

namespace view_access {
constexpr int kLayerLinkClass = 10;
// Fields of a layer link (class 10); 0 / null for anything else.
int link_order(const obj_t* link);
obj_t* link_object(const obj_t* link);
int link_value(const obj_t* link);
// The pane's mapping applied to an extent (sorted, step 0).
void pane_world_to_screen(obj_t* pane, extent_t world, extent_t* out);
void pane_screen_to_world(obj_t* pane, extent_t screen, extent_t* out);
// Addresses of the pane's current rectangle and page extent (packed fields: read and
// written through memcpy by the callers).
extent_t* pane_current_rect(obj_t* pane);
extent_t* pane_page_extent(obj_t* pane);
int pane_printing(obj_t* pane);
extent_list_t* pane_raster_rects(obj_t* pane);
// A world rectangle in a bitmap's pixels, with the bitmap's size; 0 when it is no bitmap.
int image_pixels(obj_t* image, extent_t world, extent_t* out, int* width, int* height);
}  // namespace view_access

// Reading and writing an extent behind an address that may lie in a packed record.
inline extent_t extent_load(const extent_t* p) {
  extent_t e;
  __builtin_memcpy(&e, p, sizeof e);
  return e;
}
inline void extent_store(extent_t* p, extent_t e) { __builtin_memcpy(p, &e, sizeof e); }
