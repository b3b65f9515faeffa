// Extent mapping between the three coordinate spaces of the map: screen (pixels of a map
// window or printer page), world (graph units of the graph space) and image (pixel
// coordinates of a bitmap).
//
// Every mapping carries the two corners (xmin, ymin) and (xmax, ymax) of a rectangle
// and sorts the results, so that an output always has min <= max on both axes (screen y
// usually grows downwards while world y grows upwards), with `step` 0. Rotations and
// shears between the spaces are not followed: the result is the box of the two mapped
// corners.
//
// Screen <-> world: screen = (world + origin) * scale (view_records.h). A zero scale
// gives no finite world coordinate: screen_to_world_extent then answers the empty
// extent (all zero) and the window routines report nothing to draw. Results beyond the
// range of a double stay infinite; pixel bounds are converted to integers only through
// a saturating conversion.
//
// World <-> image: through the inverse or forward step of the bitmap's georeference
// (`transfo` of kind `transfotype`); a bitmap without georeference has image = world.
//
// Files: extent_map.cpp (the plain mappings), extent_map_window.cpp (the pixel-exact
// windows of a bitmap for raster display).
#pragma once
#include "geodesy/extent.h"
#include "map/bitmap_record.h"
#include "map/view_records.h"

// ---- Screen and world ---------------------------------------------------------------------
void screen_to_world_extent(screen_mapping map, extent_t screen, extent_t* out);
void world_to_screen_extent(screen_mapping map, extent_t world, extent_t* out);
// The world rectangle in screen pixels, rounded and clipped to the pane's page extent:
// 1 with out the clipped rectangle; 1 with out unrounded when it is empty (a point);
// 0 with out all zero when it lies outside the page (or there is no pane).
int world_to_screen_clipped(const pane_t* pane, extent_t world, extent_t* out);
// 1 when world_to_screen_clipped leaves a rectangle that is not empty.
int world_rect_visible(const pane_t* pane, extent_t world);

// ---- World and image ----------------------------------------------------------------------
void georef_world_to_image(const bitmap_t* bitmap, extent_t world, extent_t* out);
void georef_image_to_world(const bitmap_t* bitmap, extent_t image, extent_t* out);
// georef_world_to_image, then x clamped to [0, width] and y to [0, height].
void world_to_image_clamped(const bitmap_t* bitmap, extent_t world, extent_t* out);
void screen_to_image_extent(screen_mapping map, const bitmap_t* bitmap, extent_t screen,
                            extent_t* out);
int image_to_screen_clip(const pane_t* pane, const bitmap_t* bitmap, extent_t image,
                         extent_t* out);

// ---- Layer links (a layer's `cs_link` chain, kind 6) -----------------------------------------
// The point forward through the link, height 0; a null link leaves it.
void layer_point_to_graph(obj_t* link, double* x, double* y);
// The corners through the link inversely; sorted, step 0.
void layer_extent_from_graph(obj_t* link, extent_t extent, extent_t* out);

// ---- Pixel-exact windows of a bitmap (raster display) ----------------------------------------
// Each returns 0 when there is something to draw and 1 when not. The extents behind
// the addresses are read and written byte-wise: they may lie in packed records. The
// image window of screen_to_image_window never reaches outside the bitmap, also when
// the image axis runs against the screen's.
int screen_to_image_window(screen_mapping map, const bitmap_t* bitmap, extent_t* screen,
                           extent_t* image, double* ratio_x, double* ratio_y);
int screen_to_image_reduced(screen_mapping map, const bitmap_t* bitmap, extent_t* screen,
                            extent_t* image, double* factor, double* factor2);
int screen_to_world_window(const pane_t* pane, const bitmap_t* bitmap, extent_t* screen,
                           extent_t* world, double* ratio_x, double* ratio_y);
