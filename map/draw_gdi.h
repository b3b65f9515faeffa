// The drawing routines of the styles: one loaded drawing style (draw_styles.h) turned
// into calls of the drawing layer on the device context of the pane being drawn.
//
// Every routine shares one coordinate pipeline: a point in the current layer's units goes
// through the layer's link chain (`cs_link`) when it has one, then onto the screen with
// the pane's mapping (screen = (world + origin) * scale), then the style's pixel offset
// is added where the class has one, and at the call of the drawing layer the page
// offsets (the centring margins of a printer page, 0 on the screen) are added and the
// coordinates become integers. Lines are clipped to a window a little larger than the
// rectangle being drawn, so that far-away points never reach the device; ellipses, arcs
// and texts that would reach the 16-bit range of some devices are not drawn at all.
//
// The drawing target (pane, device context, page offsets) is set by dc_begin when a pane
// begins drawing and withdrawn by dc_end; without a target the draw routines do nothing.
// The selected pen, brush and font are cached, so that consecutive objects with the same
// look create no new drawing objects. The target, the caches and the work buffers are
// one per process, behind one lock: one pane is drawn at a time, by the redraw task.
//
// Files: draw_target.cpp (target, pen and brush cache, width scaling, pipeline),
// draw_fonts.cpp (font table, font cache, texts, text_extent), draw_clip.cpp (clipping
// window, outcodes, clipped segments), draw_lines.cpp (clipped polylines and filled
// outlines), draw_shapes.cpp (rectangles, ellipses, arcs, dots, symbols, the thin
// wrappers), draw_routines.cpp (the eight draw slots).
#pragma once
#include <algorithm>
#include <cstdint>

#include "geodesy/extent.h"
#include "map/bitmap_record.h"
#include "map/view_records.h"
#include "platform/gdi/gdi.h"

constexpr int kFontSlots = 5;
constexpr int kFontNameSize = 64;
constexpr int kMotifs = 10;          // motifs 0..9 have a pen style
constexpr int kPolylineChunk = 500;  // points per polyline call
constexpr int kGdiCoordLimit = 30000;

// A point of the screen in pixels, before the page offsets.
struct screen_pt {
  double x, y;
};

// ---- Tables -------------------------------------------------------------------------------
// Fills the font names, the pen styles of the motifs and the font weights.
void font_table_init();
// The face name of a font index, without characters other than letters and blanks (at
// most 63); index outside 0..4: the face of index 0.
void font_name_at(int index, char out[kFontNameSize]);
// The pen style of a motif: motif 0 draws nothing (PS_NULL), 1..7 solid, 8 dots, 9
// dashes; a motif outside 0..9 draws solid.
int motif_pen_style(int motif);
// The weight of a thickness index 0..4 (100, 400, 500, 700, 900); 400 outside.
int font_weight_of(int index);

// ---- Target -------------------------------------------------------------------------------
// Starts drawing into `pane` through `dc` with the page offsets: the cached pen, brush and
// font count as not selected, the mapping mode becomes MM_TEXT and the background mode
// TRANSPARENT.
void dc_begin(pane_t* pane, plat::Dc dc, int page_x, int page_y);
// Ends it: the stock objects go back into the context and the cached pen, brush and font
// are deleted. Without dc_begin, nothing.
void dc_end();
// The pane and context drawn into (null outside dc_begin .. dc_end), the page offsets.
pane_t* draw_target_pane();
plat::Dc draw_target_dc();
void draw_page_offsets(int* x, int* y);

// ---- Pipeline and width -------------------------------------------------------------------
// A point of the current layer onto the screen of the target pane (elevation z passed to
// the link chain; not finite: 0).
screen_pt draw_to_screen(double x, double y, double z);
// draw_to_screen on n points given as (x, y, z) triples, point i to out[i], the same
// results with the link chain run once over the whole run. The triples are used up (the
// link chain carries them in place).
void draw_to_screen_run(double* xyz, int n, screen_pt* out);
// The current line width := max(thickness × symbol scale × min(g × scale x, 1) (the factor
// only when g > 0), 1) + 0.1. Returns the width before the 1-pixel floor.
double drawobj_scale_width(double thickness, double geopixsize);
double draw_current_width();
// The target pane's symbol scale factor: 1 on the screen, the printer's resolution and
// the print dialog's thickness factor on a printer page (1 when unset or not positive).
double draw_symbol_scale();
// A screen coordinate plus a page offset as an integer (rounded, saturated to ±2^30).
// Inline: it runs for both ends of every link drawn.
inline int device_coord(double v, int page_offset) {
  constexpr int64_t kCoordLimit = int64_t(1) << 30;  // far beyond any device, no overflow
  double d = v + 0.5;
  if (!(d == d)) return 0;  // NaN: a point without coordinates
  // Far values (infinities too) are held where the final clamp decides alike, so the
  // floor can be taken in integers.
  d = std::clamp(d, -0x1p40, 0x1p40);
  int64_t f = int64_t(d);
  if (double(f) > d) --f;
  f += page_offset;
  return int(std::clamp<int64_t>(f, -kCoordLimit, kCoordLimit));
}

// ---- Pens, brushes, fonts ------------------------------------------------------------------
// Selects a pen of the motif's style, width and colour word (red, green, blue bytes),
// the null brush, or a solid brush of the colour when fill is non-zero; nothing when all
// of these and the context equal the cached ones.
void select_pen_brush(int motif, int width, uint32_t colour, int fill);
// Selects a font of the table (height 2 × size, width size; "Small Fonts" below size 8)
// and sets the text colour; nothing when all equal the cache. A font that cannot be made
// sets gblerr 11 and nothing is selected.
void select_font(int font, int size, int weight, int underital, uint32_t colour);
// Labels are measured and drawn from their first kLabelMaxUnits UTF-16 units (a pair cut
// at the bound is left out whole): a longer label leaves any screen anyway, and the text
// layer spends some twenty bytes on every character it lays out, so a huge name would
// cost many times its size each time it is measured or drawn.
constexpr int kLabelMaxUnits = 1024;
// The number of units of `text` a label uses (0 for null).
int label_units(const char16_t* text);
// Measures a string with a font of height 1.5 × size (face, weight, italic and underline
// as select_font, without the small-size rule) on a memory context of the drawing layer.
// 0 and both sizes 0 for a null string; a font that cannot be made sets gblerr 11.
// Only the label's units (label_units) are measured.
int text_extent(int font, int size, int weight, int underital, const char16_t* text,
                int* width, int* height);

// ---- Clipping -----------------------------------------------------------------------------
// Clipping window := the target pane's current rectangle widened by width + 10 pixels.
void clip_window_set(double width);
extent_t clip_window();
// 1 left of the window, 2 right, 4 above (smaller y), 8 below, or-ed.
int clip_outcode(screen_pt p);
// Moves p, outside the window, along the segment to `other` onto the window's edge; 0
// when the segment misses the window.
int clip_point_to_window(screen_pt* p, screen_pt other, int code);
void draw_clipped_segment(screen_pt a, screen_pt b, int motif, int width, uint32_t colour,
                          int fill);
// Draws count points as polylines clipped to the window, in chunks of at most 500 points
// sharing one point, points on the same pixel merged.
void draw_clipped_polyline(const screen_pt* pts, int width, int motif, uint32_t colour,
                           int fill, int count);
// Fills the closed outline, clipped to the window, with a solid brush of the colour (no
// pen); nothing when fill is 0.
void draw_filled_outline(const screen_pt* pts, int count, uint32_t colour, int fill);

// ---- Shapes and texts ------------------------------------------------------------------------
void draw_screen_rect(int motif, int width, uint32_t colour, int fill, screen_pt a, screen_pt b);
// An ellipse in its box, or the arc between the rays through start and end drawn
// counter-clockwise when they are given; nothing when a coordinate reaches ±(30000 - width).
void draw_screen_ellipse(extent_t box, int motif, int width, uint32_t colour, int fill,
                         const screen_pt* start, const screen_pt* end);
// A dot when the point lies in the clipping window.
void draw_screen_dot(int motif, uint32_t colour, int fill, screen_pt p);
void draw_screen_text(int font, int size, int weight, int underital, uint32_t colour,
                      const char16_t* text, screen_pt p);
// Draws a bitmap at its own size times the symbol scale factor, centred on (x, y), its
// transparent colour left out.
void draw_bitmap_symbol(const bitmap_t* bitmap, double x, double y);

// ---- Thin wrappers on the target's context (coordinates already on the device) -------------
void gdi_polyline2(int x1, int y1, int x2, int y2);
void gdi_polyline(const plat::Point* pts, int count);
void gdi_rectangle(int left, int top, int right, int bottom);
void gdi_ellipse(int left, int top, int right, int bottom);
void gdi_arc(int left, int top, int right, int bottom, int x1, int y1, int x2, int y2);
void gdi_dot(int x, int y);
void gdi_drawtext(const char16_t* text, int count, int x, int y);

// ---- The draw slots ---------------------------------------------------------------------------
// Each loads the object's attributes into the style and draws it (null father: none).
void draw_dsegment(obj_t* style, obj_t* object, obj_t* father);
void draw_drectangle(obj_t* style, obj_t* object, obj_t* father);
void draw_dpolycurve(obj_t* style, obj_t* object, obj_t* father);
void draw_darcellip(obj_t* style, obj_t* object, obj_t* father);
void draw_dtext(obj_t* style, obj_t* object, obj_t* father);
void draw_dpoint(obj_t* style, obj_t* object, obj_t* father);
void draw_dsegpoint(obj_t* style, obj_t* object, obj_t* father);
// A whole dsegpoint style, its links from the last to the first: the pixels, and the
// values left in the style and the drawing state, of draw_dsegpoint called on each point
// with its next point loaded (drawobj_style_point), with the points carried to the screen
// a run at a time and unclipped links of a solid pen (thin, or wide under plain stores)
// handed to the device several at once.
void draw_dsegpoint_links(obj_t* style);
void draw_dimage(obj_t* style, obj_t* object, obj_t* father);
