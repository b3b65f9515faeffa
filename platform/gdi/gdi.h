// The drawing layer: device contexts over 32-bit surfaces, with pens, brushes, fonts,
// regions and palettes as objects selected into them, and the drawing primitives the
// system uses. Numbers the system stores (pen styles, stock objects, background modes,
// text formats, raster operations, region combinations) keep their usual values.
//
// A device context draws into a surface at an origin (the window's client area inside
// its top-level surface, a back buffer, a printer page), clipped to the surface, to an
// optional region given when it is made, and to the clip region selected into it.
//
// Coordinates: a logical point p lands on device point p - window origin + viewport
// origin, and device point d on surface pixel d + dc origin. Clip regions are held in
// device coordinates; the rectangles given to intersect_clip_rect and exclude_clip_rect
// are logical. Pixel (x, y) is the unit square whose centre is the point (x, y) for lines
// and outlines; fills cover the pixels inside the outline, left and top edges included,
// right and bottom ones excluded. Positions, sizes and origins may lie anywhere in the
// int range: the layer works in 64 bits and cuts to the surface, so nothing overflows.
//
// Threads: one thread uses a context at a time; objects may be made and deleted on any
// thread (the object table, stock objects and the glyph cache are guarded).
#pragma once
#include <cstdint>
#include <vector>

#include "platform/gdi/geometry.h"
#include "platform/gdi/region.h"
#include "platform/gdi/surface.h"

namespace plat {

struct DcRec;
using Dc = DcRec*;
struct GdiObjRec;
using GdiObj = GdiObjRec*;  // pen, brush, font, bitmap, region or palette
using Pen = GdiObj;
using Brush = GdiObj;
using Font = GdiObj;
using Bitmap = GdiObj;
using Rgn = GdiObj;
using Palette = GdiObj;

// ---- Numbers ----------------------------------------------------------------------------
enum PenStyle : int {
  PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5,
  PS_INSIDEFRAME = 6
};
enum StockObject : int {
  WHITE_BRUSH = 0, LTGRAY_BRUSH = 1, GRAY_BRUSH = 2, DKGRAY_BRUSH = 3, BLACK_BRUSH = 4,
  NULL_BRUSH = 5, HOLLOW_BRUSH = NULL_BRUSH, WHITE_PEN = 6, BLACK_PEN = 7, NULL_PEN = 8,
  OEM_FIXED_FONT = 10, ANSI_FIXED_FONT = 11, ANSI_VAR_FONT = 12, SYSTEM_FONT = 13,
  DEVICE_DEFAULT_FONT = 14, DEFAULT_PALETTE = 15, SYSTEM_FIXED_FONT = 16, DEFAULT_GUI_FONT = 17
};
enum BkMode : int { TRANSPARENT = 1, OPAQUE = 2 };
enum TextAlign : int {
  TA_NOUPDATECP = 0, TA_UPDATECP = 1, TA_LEFT = 0, TA_RIGHT = 2, TA_CENTER = 6, TA_TOP = 0,
  TA_BOTTOM = 8, TA_BASELINE = 24
};
enum DrawTextFormat : unsigned {
  DT_TOP = 0, DT_LEFT = 0, DT_CENTER = 0x1, DT_RIGHT = 0x2, DT_VCENTER = 0x4, DT_BOTTOM = 0x8,
  DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20, DT_EXPANDTABS = 0x40, DT_NOCLIP = 0x100,
  DT_CALCRECT = 0x400, DT_NOPREFIX = 0x800, DT_END_ELLIPSIS = 0x8000
};
enum Rop2 : int {
  R2_BLACK = 1, R2_NOTMERGEPEN = 2, R2_MASKNOTPEN = 3, R2_NOTCOPYPEN = 4, R2_MASKPENNOT = 5,
  R2_NOT = 6, R2_XORPEN = 7, R2_NOTMASKPEN = 8, R2_MASKPEN = 9, R2_NOTXORPEN = 10, R2_NOP = 11,
  R2_MERGENOTPEN = 12, R2_COPYPEN = 13, R2_MERGEPENNOT = 14, R2_MERGEPEN = 15, R2_WHITE = 16
};
// Raster operations of the blits: any of the 256 three-operand codes works; these are the
// common ones.
enum Rop3 : uint32_t {
  SRCCOPY = 0x00CC0020, SRCPAINT = 0x00EE0086, SRCAND = 0x008800C6, SRCINVERT = 0x00660046,
  SRCERASE = 0x00440328, NOTSRCCOPY = 0x00330008, NOTSRCERASE = 0x001100A6,
  MERGECOPY = 0x00C000CA, MERGEPAINT = 0x00BB0226, PATCOPY = 0x00F00021, PATPAINT = 0x00FB0A09,
  PATINVERT = 0x005A0049, DSTINVERT = 0x00550009, BLACKNESS = 0x00000042, WHITENESS = 0x00FF0062
};
enum PolyFillMode : int { ALTERNATE = 1, WINDING = 2 };
enum ArcDirection : int { AD_COUNTERCLOCKWISE = 1, AD_CLOCKWISE = 2 };
enum RegionCombine : int { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };
enum RegionType : int { RGN_ERROR = 0, NULLREGION = 1, SIMPLEREGION = 2, COMPLEXREGION = 3 };
enum DeviceCap : int {
  TECHNOLOGY = 2, HORZSIZE = 4, VERTSIZE = 6, HORZRES = 8, VERTRES = 10, BITSPIXEL = 12,
  PLANES = 14, NUMCOLORS = 24, LINECAPS = 30, TEXTCAPS = 34, RASTERCAPS = 38, LOGPIXELSX = 88,
  LOGPIXELSY = 90, SIZEPALETTE = 104, PHYSICALWIDTH = 110, PHYSICALHEIGHT = 111,
  PHYSICALOFFSETX = 112, PHYSICALOFFSETY = 113
};
// What TECHNOLOGY answers: a screen-like raster device, or a raster printer.
enum DeviceTechnology : int { DT_RASDISPLAY = 1, DT_RASPRINTER = 2 };
// What a context can do, as RASTERCAPS, LINECAPS and TEXTCAPS answer (the same for every
// context: all draw through the same code).
enum DeviceCapBits : int {
  RC_BITBLT = 0x0001, RC_BITMAP64 = 0x0008, RC_DIBTODEV = 0x0200, RC_STRETCHBLT = 0x0800,
  RC_STRETCHDIB = 0x2000,
  LC_POLYLINE = 0x0002, LC_WIDE = 0x0010, LC_STYLED = 0x0020, LC_WIDESTYLED = 0x0040,
  LC_INTERIORS = 0x0080,
  TC_OP_CHARACTER = 0x0001
};
enum MapMode : int { MM_TEXT = 1 };
enum FontWeight : int { FW_DONTCARE = 0, FW_THIN = 100, FW_NORMAL = 400, FW_MEDIUM = 500,
                        FW_BOLD = 700, FW_HEAVY = 900 };
enum StretchMode : int { BLACKONWHITE = 1, WHITEONBLACK = 2, COLORONCOLOR = 3, HALFTONE = 4 };

// ---- Contexts --------------------------------------------------------------------------
// A context drawing into `surface` with device point (0,0) at `origin` of the surface,
// clipped to `clip` (in surface coordinates) when given. The window system makes window
// contexts this way; the caller keeps the surface alive until delete_dc.
Dc create_surface_dc(Surface* surface, Point origin, const Region* clip);
// A memory context (back buffer) with a 1x1 bitmap selected until another one is.
Dc create_compatible_dc(Dc like);
int delete_dc(Dc dc);
Surface* dc_surface(Dc dc);
Point dc_origin(Dc dc);
// Moves a context to another place of its surface and clip (the window system uses this
// when a window moves while a context is out); clip as in create_surface_dc.
void dc_set_surface_clip(Dc dc, Point origin, const Region* clip);

// Device capabilities: sizes of the surface, 32 bits per pixel, the resolution (96 dots
// per inch unless set, e.g. 300 for a printer page), TECHNOLOGY DT_RASDISPLAY; a
// context with an extension answers what its extension makes of these.
int get_device_caps(Dc dc, int index);
void dc_set_resolution(Dc dc, int dpi_x, int dpi_y);

// A layer built on this one (printing) hangs its own record on the contexts it makes:
// the record answers the device capabilities that differ from a surface's and hears of
// the context's deletion, so that what it holds (a page surface, a document) goes with
// the context at once.
class DcExtension {
 public:
  virtual ~DcExtension() = default;
  // The answer to get_device_caps(index), given the drawing layer's own one.
  virtual int device_caps(int index, int standard) = 0;
  // Called once by delete_dc, after the context stopped being live and without any of
  // this layer's locks held; the extension may free itself and the surface the context
  // drew into.
  virtual void released(Dc dc) = 0;
};
// Sets a live context's extension (null: none); false for a context that is not live.
bool dc_set_extension(Dc dc, DcExtension* ext);
// A live context's extension; null for none, or for anything that is not a live context.
DcExtension* dc_extension(Dc dc);

Point set_viewport_org(Dc dc, int x, int y);  // return the previous origin
Point offset_viewport_org(Dc dc, int dx, int dy);
Point get_viewport_org(Dc dc);
Point set_window_org(Dc dc, int x, int y);
Point get_window_org(Dc dc);
int set_map_mode(Dc dc, int mode);  // only MM_TEXT exists; returns the previous mode

// Clipping (region types returned). A null region removes the selected clip region.
int select_clip_rgn(Dc dc, Rgn rgn);
int intersect_clip_rect(Dc dc, int left, int top, int right, int bottom);
int exclude_clip_rect(Dc dc, int left, int top, int right, int bottom);
int get_clip_box(Dc dc, Rect* out);  // logical coordinates
bool pt_visible(Dc dc, int x, int y);

// ---- Drawing state ----------------------------------------------------------------------
Color set_text_color(Dc dc, Color c);  // each returns the previous value
Color get_text_color(Dc dc);
Color set_bk_color(Dc dc, Color c);
Color get_bk_color(Dc dc);
int set_bk_mode(Dc dc, int mode);
int get_bk_mode(Dc dc);
int set_text_align(Dc dc, int align);
int get_text_align(Dc dc);
int set_rop2(Dc dc, int mode);
int get_rop2(Dc dc);
int set_poly_fill_mode(Dc dc, int mode);
int set_arc_direction(Dc dc, int direction);
int get_arc_direction(Dc dc);
int set_stretch_blt_mode(Dc dc, int mode);  // kept; stretching always samples nearest pixels

// ---- Objects ----------------------------------------------------------------------------
GdiObj select_object(Dc dc, GdiObj obj);  // returns the object it replaces
// Stock objects are never deleted. An object still selected into a context is deleted
// when it is deselected or its context is deleted; a bitmap selected into a context
// cannot be selected into another one.
int delete_object(GdiObj obj);
GdiObj get_stock_object(int index);  // null for an unknown index
GdiObj get_current_object(Dc dc, int kind);  // kind: OBJ_PEN 1, OBJ_BRUSH 2, OBJ_FONT 6, OBJ_BITMAP 7
enum ObjectKind : int { OBJ_PEN = 1, OBJ_BRUSH = 2, OBJ_PAL = 5, OBJ_FONT = 6, OBJ_BITMAP = 7,
                        OBJ_REGION = 8 };
int get_object_kind(GdiObj obj);  // 0 for anything that is not a live object

Pen create_pen(int style, int width, Color color);  // width 0 draws 1 pixel wide
Brush create_solid_brush(Color color);

// Bitmaps: 32-bit surfaces owned by the object.
Bitmap create_compatible_bitmap(Dc dc, int width, int height);  // black
Bitmap create_bitmap(int width, int height, const uint32_t* pixels);  // pixels may be null
Size get_bitmap_size(Bitmap bmp);
Surface* bitmap_surface(Bitmap bmp);

// ---- Device-independent bitmaps ---------------------------------------------------------
// A DIB is a header and rows of pixels padded to 4 bytes. Rows run from the bottom up when
// the height is positive and from the top down when it is negative. 32-bit pixels are
// words 0x00RRGGBB (bytes B, G, R, unused), 24-bit pixels bytes B, G, R; 8, 4 and 1-bit
// pixels index `colors` (the high-order bits of a byte are the leftmost pixel).
//
// Source positions count from the DIB's origin corner: the lower-left corner of a
// bottom-up DIB, the upper-left corner of a top-down one. A source block at (src_x, src_y)
// of height h thus covers the rows src_y .. src_y + h - 1 counted up from the bottom of a
// bottom-up DIB (its row src_y + h - 1 lands on the destination's top row), and counted
// down from the top of a top-down one. Scan lines are numbered the same way.
// A DIB whose rows would take more than 2^31 - 1 bytes is refused.
struct RgbQuad {
  uint8_t blue = 0, green = 0, red = 0, reserved = 0;
};
struct BitmapInfo {
  int32_t width = 0;
  int32_t height = 0;
  uint16_t bit_count = 32;
  uint32_t colors_used = 0;  // 0: the full table for the bit count
  RgbQuad colors[256];
};
// Bytes per row of a DIB (padded to 4 bytes); 0 for an unsupported depth.
int dib_row_bytes(int width, int bit_count);
// A 32-bit bitmap whose pixels the caller writes directly through *bits. The rows are
// always held top down in memory, whatever the sign of the header's height.
Bitmap create_dib_section(Dc dc, const BitmapInfo* info, void** bits);
// Copies the w x h block at (src_x, src_y) of the DIB to (x, y), without stretching or
// raster operation. `bits` holds only the scan lines start_scan .. start_scan + lines - 1
// of the picture, the first of them first (a DIB sent in bands); the rows of the block
// outside them are left alone. Returns the number of rows of the block copied from the
// bits (whatever the clip lets through), 0 on bad input or when none is in them.
int set_dibits_to_device(Dc dc, int x, int y, int w, int h, int src_x, int src_y, int start_scan, int lines,
                         const void* bits, const BitmapInfo* info);
// Stretches the src_w x src_h block at (src_x, src_y) of a whole DIB over the destination
// rectangle (negative sizes mirror, as in stretch_blt). Returns the number of rows of the
// block in the picture, 0 on bad input.
int stretch_dibits(Dc dc, int x, int y, int w, int h, int src_x, int src_y, int src_w,
                   int src_h, const void* bits, const BitmapInfo* info, uint32_t rop);

// ---- Regions ----------------------------------------------------------------------------
Rgn create_rect_rgn(int left, int top, int right, int bottom);
Rgn create_rect_rgn_indirect(const Rect& r);
Rgn create_polygon_rgn(const Point* pts, int count, int fill_mode);
Rgn create_region_object(const Region& region);
int combine_rgn(Rgn dest, Rgn src1, Rgn src2, int mode);  // returns the region type
int set_rect_rgn(Rgn rgn, int left, int top, int right, int bottom);
int get_rgn_box(Rgn rgn, Rect* out);
int offset_rgn(Rgn rgn, int dx, int dy);
bool pt_in_region(Rgn rgn, int x, int y);
bool rect_in_region(Rgn rgn, const Rect& r);
bool equal_rgn(Rgn a, Rgn b);
// The region behind a handle, null for anything that is not a region object; the pointer
// is good until the region is changed or deleted (another thread doing so races with it).
const Region* region_of(Rgn rgn);
int region_type(const Region& r);

// ---- Palettes (kept for the system's calls; 32-bit surfaces need none) ------------------
struct PaletteEntry {
  uint8_t red = 0, green = 0, blue = 0, flags = 0;
};
Palette create_palette(const PaletteEntry* entries, int count);
Palette select_palette(Dc dc, Palette pal, bool force_background);
int realize_palette(Dc dc);  // number of entries mapped: always 0

// ---- Lines and shapes -------------------------------------------------------------------
// Lines go from their first point up to, not including, their last one; a polyline of one
// point draws a dot the pen's width.
Point move_to(Dc dc, int x, int y);  // returns the previous current position
bool line_to(Dc dc, int x, int y);
Point get_current_position(Dc dc);
bool polyline(Dc dc, const Point* pts, int count);
// Fills with the brush by the fill mode, then outlines each closed figure with the pen.
bool polygon(Dc dc, const Point* pts, int count);
bool poly_polygon(Dc dc, const Point* pts, const int* counts, int polygons);
// Outline with the pen on the rectangle's edge pixels (left..right-1, top..bottom-1),
// inside filled with the brush.
bool rectangle(Dc dc, int left, int top, int right, int bottom);
bool ellipse(Dc dc, int left, int top, int right, int bottom);
// The part of the ellipse's outline between the rays from its centre through the start
// and end points, in the context's arc direction (counter-clockwise as seen on the
// surface unless set). Equal rays draw the whole ellipse.
bool arc(Dc dc, int left, int top, int right, int bottom, int x_start, int y_start, int x_end,
         int y_end);
bool pie(Dc dc, int left, int top, int right, int bottom, int x_start, int y_start, int x_end,
         int y_end);
bool chord(Dc dc, int left, int top, int right, int bottom, int x_start, int y_start, int x_end,
           int y_end);
// Rectangles filled or framed with a brush (not the selected one); no effect of the pen.
int fill_rect(Dc dc, const Rect& r, Brush brush);
int frame_rect(Dc dc, const Rect& r, Brush brush);
int invert_rect(Dc dc, const Rect& r);
bool fill_rgn(Dc dc, Rgn rgn, Brush brush);
void draw_focus_rect(Dc dc, const Rect& r);  // dotted, inverting: drawing twice removes it
Color set_pixel(Dc dc, int x, int y, Color c);  // returns the colour set, or 0xFFFFFFFF
Color get_pixel(Dc dc, int x, int y);  // 0xFFFFFFFF (CLR_INVALID) outside the clip
constexpr Color CLR_INVALID = 0xFFFFFFFFu;

// ---- Blits ------------------------------------------------------------------------------
// src may be null for raster operations that do not read a source.
bool bit_blt(Dc dst, int x, int y, int w, int h, Dc src, int src_x, int src_y, uint32_t rop);
// Negative widths or heights mirror; pixels are sampled (nearest).
bool stretch_blt(Dc dst, int x, int y, int w, int h, Dc src, int src_x, int src_y, int src_w,
                 int src_h, uint32_t rop);
bool pat_blt(Dc dc, int x, int y, int w, int h, uint32_t rop);

// ---- Fonts and text ---------------------------------------------------------------------
// Height: negative is the character (em) height, positive the cell height (ascent plus
// descent), 0 a default. Width 0 keeps the face's proportions. Escapement turns the text
// by tenths of a degree counter-clockwise. The face name picks one of the DejaVu faces.
struct LogFont {
  int height = 0;
  int width = 0;
  int escapement = 0;
  int orientation = 0;
  int weight = FW_NORMAL;
  uint8_t italic = 0, underline = 0, strike_out = 0, char_set = 0;
  uint8_t out_precision = 0, clip_precision = 0, quality = 0, pitch_and_family = 0;
  char face_name[32] = {};
};
Font create_font_indirect(const LogFont& lf);  // null for sizes beyond 4096 pixels
Font create_font(int height, int width, int escapement, int orientation, int weight,
                 int italic, int underline, int strike_out, int char_set, int out_precision,
                 int clip_precision, int quality, int pitch_and_family, const char* face);
bool get_font_info(Font font, LogFont* out);

struct TextMetrics {
  int height = 0;  // ascent + descent
  int ascent = 0, descent = 0;
  int internal_leading = 0, external_leading = 0;
  int ave_char_width = 0, max_char_width = 0;
  int weight = 0;
  uint8_t italic = 0, underlined = 0, struck_out = 0, pitch_and_family = 0;
};
bool get_text_metrics(Dc dc, TextMetrics* out);

// Text in UTF-16 (surrogate pairs decoded); count -1 reads up to a 0 terminator.
bool text_out(Dc dc, int x, int y, const char16_t* text, int count);
bool get_text_extent_point(Dc dc, const char16_t* text, int count, Size* out);
// Formats text in a rectangle; returns the height of the text (0 on failure). With
// DT_CALCRECT nothing is drawn and r receives the text's rectangle.
int draw_text(Dc dc, const char16_t* text, int count, Rect* r, unsigned format);

// Where font files are looked for (the DejaVu folder unless set; null restores it).
// Fonts made before the change keep their faces.
void set_font_dir(const char* dir);

}  // namespace plat
