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
#include "map/quadtree.h"

namespace gindex_detail {
// Fills the extent routine table from the drawing styles and the image routine.
void fill_extent_table(gindex_extent_fn* table, gindex_image_extent_fn* image);
void progress();
void image_extent(extent_t clip, obj_t* image);
gindex_entry_t* new_entry(obj_t* object);
void release_entry(gindex_entry_t* entry);
// gindex_add_extent into a given layer, for a caller holding the graph-space lock.
void add_extent(layer_t* layer, extent_t clip, obj_t* object, const gindex_entry_t* contribution);
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
// Address of the pane's current rectangle (a packed field: read and written through
// memcpy by the callers).
extent_t* pane_current_rect(obj_t* pane);
// The pane's page as the pass sees it (pane_page); 0 for anything but a pane.
int pane_page_extent(obj_t* pane, extent_t* out);
int pane_printing(obj_t* pane);
extent_list_t* pane_raster_rects(obj_t* pane);
// A world rectangle in a bitmap's pixels, with the bitmap's size; 0 when it is no bitmap.
int image_pixels(obj_t* image, extent_t world, extent_t* out, int* width, int* height);
}  // namespace view_access

// The tree's geometry, shared by building, queries and image trees. Kept inline: a tree
// of a million entries asks these tens of millions of times.
namespace qtree_detail {
// Non-zero overlap (touching counts as disjoint); the same test as extent_disjoint.
inline bool meets(const extent_t& a, const extent_t& b) {
  return !(a.xmin >= b.xmax || a.xmax <= b.xmin || a.ymin >= b.ymax || a.ymax <= b.ymin);
}
// Children are made four at a time: one null child means none.
inline bool is_leaf(const qtree_node* n) { return !n->child[0]; }
// Bit k set when the rectangle meets child k of a split node. The quadrants are those of
// make_children, cut at the same centre, so the answer is that of meets(r, child k)
// without reading the four children.
inline unsigned child_mask(const extent_t& n, const extent_t& r) {
  const double cx = (n.xmin + n.xmax) / 2.0, cy = (n.ymin + n.ymax) / 2.0;
  const bool right = !(r.xmin >= n.xmax || r.xmax <= cx);
  const bool left = !(r.xmin >= cx || r.xmax <= n.xmin);
  const bool upper = !(r.ymin >= n.ymax || r.ymax <= cy);
  const bool lower = !(r.ymin >= cy || r.ymax <= n.ymin);
  return unsigned(right && upper) | unsigned(left && upper) << 1 | unsigned(left && lower) << 2 |
         unsigned(right && lower) << 3;
}
bool can_split(const qtree_node* node);
void make_children(qtree_node* node);
void ensure_room(qtree_node* node, int count);
void free_below(qtree_node* node);

// Copies a tree built on the heap into one block in query order and frees the heap
// tree; returns the packed root (the root itself when the tree exceeds one block).
qtree_node* pack_tree(qtree_node* root);
}  // namespace qtree_detail

// Reading and writing an extent behind an address that may lie in a packed record.
inline extent_t extent_load(const extent_t* p) {
  extent_t e;
  __builtin_memcpy(&e, p, sizeof e);
  return e;
}
inline void extent_store(extent_t* p, extent_t e) { __builtin_memcpy(p, &e, sizeof e); }
