// Whole-image operations on image records, the georeferencing of images and the small
// palette routines of the readers.
//
// Lines are read through image_line, so an image decoded on demand is decoded again
// when needed; every new image gets the source's header (bitmap_clone_header) and a
// store that may go to swap (mode 2), and belongs to the caller. Rotation and
// resampling touch every source line once first and, under a low memory budget, write
// finished output lines to swap and release them, so that images larger than memory
// go through.
//
// Files: raster_ops_copy.cpp (copy, vertical mirror, composition), raster_ops_turn.cpp
// (quarter turns, resampling, the swap-out rule), raster_georef.cpp (extent, pixel
// size, placing at a position), raster_georef_place.cpp (placing in a chosen system,
// the loader's placing and re-projection), raster_palette.cpp (palette and colours).
#pragma once
#include <cstdint>

#include "geodesy/extent.h"

struct bitmap_t;
struct georef_t;
struct obj_t;

// ---- New images from an image ---------------------------------------------------------
// Each returns the new image (also in *out), or null: gblerr 1 when its stores cannot
// be made, or the code bitmap_clone_header left.
bitmap_t* image_copy(bitmap_t* source, bitmap_t** out);
bitmap_t* image_flip_vertical(bitmap_t* source, bitmap_t** out);
// direction 1: a quarter turn counter-clockwise; any other value clockwise.
bitmap_t* image_rotate(bitmap_t* source, int direction, bitmap_t** out);
// Resampled through the inverse of `transform` (kind 0..32, else gblerr 6) into an image
// sqrt(2) times larger on each side; outside pixels keep the transparent value (black
// when the source has none). Null source or transform: nothing.
bitmap_t* image_transform_to(bitmap_t* source, obj_t* transform, int kind, bitmap_t** out);
// In place: where the overlay's plane-0 sample is its transparent value, the
// destination's plane-0 sample becomes the base's.
void image_combine(bitmap_t* base, bitmap_t* overlay, bitmap_t* destination);

// A finished output line written to swap and released when the budget is below
// 30 bytes per pixel of a line plus 10000 (never in embedded mode).
constexpr double kSwapOutBytesPerPixel = 30.0;
constexpr double kSwapOutSlack = 10000.0;

// ---- Georeferencing -------------------------------------------------------------------
// The image's pixels mapped onto `world` (rows downwards). No georeference: gblerr 13.
int image_georef_extent(bitmap_t* image, extent_t world);
// Mean ground size of one pixel from the georeference (image_mean_pixel_size).
void image_pixel_size(bitmap_t* image);
// An image with a position record (with a datum) and no georeference is centred on the
// position, its longer side 2 x half_size metres, north up.
void image_georef_from_position(bitmap_t* image, double half_size);
// Rebuilds the georeference at the position in the system of `georef` (null: the
// position's datum); the position becomes that system's coordinates.
void image_georef_position_in(bitmap_t* image, georef_t* georef);
// The image's extent (its `extent` field) in its own georeference.
void image_place_in_georef(bitmap_t* image);
// An image whose display transformation (georef2) differs from the graph space's
// system is resampled into it; the image's stores are replaced by the result's.
// 0, or the error code.
int image_reproject_into_graph(bitmap_t* image, georef_t* graph_georef);

// ---- Palettes and colours ---------------------------------------------------------------
// 1 and the index of the first lookup-table entry equal to the colour's red, green and
// blue; 0 when none is.
int palette_find_exact(const bitmap_t* image, uint32_t colour, uint8_t* index);
// The index of white in a working palette of 768 bytes (red, green, blue tables of 256):
// the first exact white; else, with 256 entries, the nearest to white; else white added.
int palette_find_or_add_white(uint8_t* palette, int* count, uint8_t* index);
int rgba_equal(uint32_t a, uint32_t b);
// The default colour table (14 words, red in the low byte); index 14 or more: entry 0.
uint32_t default_color(int index);

// ---- For tests ---------------------------------------------------------------------------
// Source of the memory budget the swap-out rule reads (null: get_mem_budget).
using raster_budget_fn = double (*)();
void raster_ops_set_budget_probe(raster_budget_fn fn);
