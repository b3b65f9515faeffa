// The raster display: images drawn through one device-independent bitmap (DIB) per
// rectangle of the image layer, and small bitmaps drawn as point symbols.
//
// For each rectangle the display prepares one DIB the size of the rectangle, fills it
// with the window's background, resamples every visible image into it line by line
// (block means when several source pixels fall on one screen pixel, the source pixel
// under it otherwise, the overview when a screen pixel covers a whole overview tile),
// applies the monochrome and inverse-display rules and copies it to the device in one
// call. A map window of 8 bits per pixel or less (a grey page) gets a DIB of one byte
// per pixel with a grey ramp as colour table; every other window a 32-bit DIB packed as
// the exported shifts say.
//
// The display buffer and tables are process-wide and only the redraw task uses them,
// one pass at a time.
//
// Files: raster_display_shifts.cpp (the exported shifts, the display lookup tables, the
// averaging depth), raster_display_dib.cpp (the display buffer, begin, end, flush),
// raster_display_colour.cpp (monochrome ramp and inverse display), raster_display_means.cpp
// (the line reader and the block means), raster_display_image.cpp (one image into the
// DIB), raster_display_symbol.cpp (symbol copies and small blits).
#pragma once
#include <cstdint>

#include "geodesy/extent.h"
#include "map/bitmap_record.h"
#include "platform/gdi/gdi.h"

struct mapwin_t;
struct pane_t;

// ---- Colour packing, exported by name to the plug-in ------------------------------------
// A 32-bit DIB pixel is (red << rshift) | (green << vshift) | (blue << bshift); its top
// byte (at tshift) is 0 for an opaque pixel.
extern "C" {
extern int32_t rshift;
extern int32_t vshift;
extern int32_t bshift;
extern int32_t tshift;
}
// 16, 8, 0 and 24 (any output may be null).
void get_colour_shifts(int* red, int* green, int* blue, int* top);
// The addresses of the exported data; start-up takes them, so that a program linked from
// the static library always holds (and exports) them.
int raster_display_exported_data(const void* const** out);

// ---- Display lookup tables and the averaging depth ---------------------------------------
// The three 256-entry tables (red, green, blue) become the identity.
void reset_display_luts();
// Table 0 red, 1 green, 2 blue (null for another index).
const uint8_t* display_lut(int channel);
// "NB_LINES_MEAN_IMAGE_DISPLAY": default 3, clamped to 1..10; 1 in embedded mode.
int raster_averaging_depth();
constexpr int kMeanMaxColumns = 5;

// ---- Services of the image loader and the redraw pass ------------------------------------
// Each null slot has a default (see raster_display_means.cpp and raster_display_dib.cpp).
struct raster_display_hooks {
  // The bytes of one row of the image (overview 0) or of its overview (non-zero); null
  // when the row is missing and a command waits (the display gives way). Default: the
  // row of the line store, null for a row not in memory while work is pending.
  uint8_t* (*image_line)(bitmap_t* image, int row, int overview) = nullptr;
  // Source pixels per overview pixel in each direction. Default: the tile side (10).
  int (*overview_factor)() = nullptr;
  // Offsets added to every device position (a printer page drawn in bands). Default 0.
  void (*page_offsets)(int* dx, int* dy) = nullptr;
  // Images read at display resolution by an outside decoder (ECW, MrSID): fill the
  // DIB's block `screen` (absolute screen pixels) from the image. Empty: nothing drawn.
  int (*ecw_display)(bitmap_t* image, uint8_t* dib, int row_bytes, int dib_x, int dib_y,
                     extent_t screen) = nullptr;
  int (*sid_display)(bitmap_t* image, uint8_t* dib, int row_bytes, int dib_x, int dib_y,
                     extent_t screen) = nullptr;
  // Symbol copies of such images: fill width x height packed pixels. Empty: left clear.
  void (*ecw_symbol)(bitmap_t* image, uint32_t* pixels, int width, int height) = nullptr;
  void (*sid_symbol)(bitmap_t* image, uint32_t* pixels, int width, int height) = nullptr;
};
raster_display_hooks& get_raster_display_hooks();

// ---- The display buffer --------------------------------------------------------------------
struct raster_dib {
  int x = 0, y = 0;            // origin of the rectangle being composed (screen pixels)
  int width = 0, height = 0;   // pixels
  int row_pixels = 0;          // (width + 3) rounded down to a multiple of 4
  int row_bytes = 0;           // bits per pixel / 8 x row_pixels
  int bits_per_pixel = 32;
  int resolution = 96;         // dots per inch written into the header
  bool palette_mode = false;   // 8 bits per pixel, grey ramp colour table
  bool active = false;         // begin prepared a rectangle that end will flush
  uint8_t* pixels = nullptr;   // grown when a larger rectangle comes, never shrunk
  plat::BitmapInfo header;
};
// The process-wide buffer (read by tests and the routines of this module).
raster_dib& raster_display_buffer();
// The pane whose rectangle is being composed (null outside begin .. end).
pane_t* raster_display_pane();

// Sizes the buffer for w x h pixels of bpp bits (8 or 32) and fills the header; the four
// shifts go to `shifts` when not null. 0, or 1 when the rectangle is refused (no area,
// or beyond kDibMaxSide pixels a side), the buffer then unchanged.
constexpr int kDibMaxSide = 32768;
int dib_prepare(int x, int y, int w, int h, int bpp, int* row_bytes, uint8_t** buffer,
                int shifts[4]);
// Every pixel the window's background (truecolour), or its green byte (palette mode).
void dib_fill_background();
// The rectangle of the current pane's current rectangle, prepared and filled.
void raster_display_begin();
// Colour rules, the rectangle restored as the pane's current one, clipped to the page and
// flushed when not empty.
void raster_display_end();
// Copies the DIB to the window's device context at its origin plus the page offsets,
// limited to `clip` (absolute screen pixels). 1 on failure (the window's print error flag
// is then set), else 0.
int dib_flush(extent_t clip);
// The colour rules of the window on the composed DIB (raster_display_colour.cpp).
void dib_apply_colour_rules(const mapwin_t* win);
// The packed pixel of entry i of the monochrome ramp of colour word c.
uint32_t mono_ramp_entry(uint32_t colour, int inverse, int i);

// ---- Images ----------------------------------------------------------------------------------
// Resamples one image into the DIB; 1 when it gave way (a row was missing while a
// command waits), else 0. `frame` is the image's frame record or null.
int draw_image_into_dib(bitmap_t* image, obj_t* frame);
// The visible_hooks slot: draw_image_into_dib for a bitmap, nothing for anything else.
int raster_display_draw(obj_t* image);

// Block means over columns x0 .. x0 + min(x1 - x0, 5) - 1 and rows y0 .. min(y1, y0 +
// depth) - 1 of the image (overview 0) or its overview, skipping the transparent colour:
// 0 with the truncated mean, 1 when no pixel counted, -1 when the line reader gave way.
// depth 0 reads the averaging depth.
int image_mean_gray(bitmap_t* image, int x0, int x1, int y0, int y1, int band, int* out,
                    int depth = 0, int overview = 0);
int image_mean_rgb(bitmap_t* image, int x0, int x1, int y0, int y1, int* red, int* green,
                   int* blue, int depth = 0, int overview = 0);
int image_mean_lut(bitmap_t* image, int x0, int x1, int y0, int y1, int* red, int* green,
                   int* blue, int depth = 0, int overview = 0);
// The row through the hooks' line reader (or its default).
uint8_t* raster_image_line(bitmap_t* image, int row, int overview);

// ---- Symbols and small blits -------------------------------------------------------------------
// The display copy of a bitmap used as a point symbol (see raster_display_symbol.cpp).
// With no output asked the copy is kept in the bitmap (and remade only when the size
// changes); otherwise a new block of width x height packed pixels, owned by the caller
// (free_mem), goes to *pixels and the size to size[0], size[1]. 0, or 1 on bad input.
int symbol_bitmap_prepare(bitmap_t* bitmap, int keep_aspect, int width, int height,
                          double scale, uint32_t** pixels, int* size);
// The copy kept in the bitmap and its size (null when none).
const uint32_t* symbol_bitmap_pixels(const bitmap_t* bitmap, int* width, int* height);
// Frees the copy kept in the bitmap (its destructor calls this).
void symbol_bitmap_release(bitmap_t* bitmap);
// Draws width x height packed pixels at (x, y): opaque in one DIB copy (resolution 90),
// or, transparent, pixel by pixel skipping those whose top byte is not 0. 0, or 1 when
// nothing could be drawn.
int dib_put_bitmap(plat::Dc dc, const uint32_t* pixels, int x, int y, int width, int height,
                   int transparent);
// The same into the current map window's device context, its palette realised first for
// the opaque case.
int draw_bitmap_pixels(const uint32_t* pixels, int x, int y, int width, int height,
                       int transparent);
