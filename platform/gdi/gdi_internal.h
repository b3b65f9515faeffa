// Records behind the drawing layer's handles, shared by its sources only: the object
// record (one layout for every kind, the fields of other kinds left empty), the context
// record, and the object table that says which handles are alive.
//
// Lifetime: every object lives in the table from creation to deletion. An object
// selected into a context is only marked when it is deleted and freed when the last
// context lets it go, so a context never draws with a freed pen or font.
#pragma once
#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/gdi/gdi.h"

namespace plat {

struct FontFace;  // a resolved font (font_cache.h)

// A surface point far enough out that logical coordinates plus origins never overflow.
struct PointL {
  int64_t x = 0, y = 0;
};

struct GdiObjRec {
  int kind = 0;  // ObjectKind
  bool stock = false;
  int selections = 0;           // contexts holding it (under the object lock)
  bool delete_pending = false;  // deleted while selected
  // Pens and brushes.
  int pen_style = PS_SOLID;
  int pen_width = 1;
  bool null_brush = false;
  Color color = 0;
  // Bitmaps.
  Surface surface;
  Dc selected_in = nullptr;
  // Regions (device coordinates).
  Region region;
  // Fonts.
  LogFont logfont;
  std::shared_ptr<FontFace> face;
  // Palettes.
  std::vector<PaletteEntry> entries;
};

struct DcRec {
  Surface* surface = nullptr;  // the surface drawn into
  Surface own_surface;         // a memory context's bitmap until one is selected
  bool memory = false;
  Point origin;  // device (0,0) on the surface
  bool has_base_clip = false;
  Region base_clip;  // surface coordinates, given by the window system
  bool has_user_clip = false;
  Region user_clip;  // device coordinates, selected by the caller
  // Derived from the above (update_clip): the effective clip in surface coordinates.
  Region clip;
  Rect clip_box;
  bool clip_simple = true;  // at most one rectangle: the box says it all
  int clip_w = -1, clip_h = -1;  // the surface's size when the clip was worked out
  Point viewport_org, window_org;
  PointL shift;  // logical point + shift = surface pixel (64-bit: origins may be anything)
  Point current;
  GdiObj pen = nullptr, brush = nullptr, font = nullptr, bitmap = nullptr, palette = nullptr;
  Color text_color = 0;
  Color bk_color = 0xFFFFFF;
  int bk_mode = OPAQUE;
  int text_align = TA_LEFT | TA_TOP;
  int rop2 = R2_COPYPEN;
  int fill_mode = ALTERNATE;
  int arc_direction = AD_COUNTERCLOCKWISE;
  int stretch_mode = BLACKONWHITE;
  int dpi_x = 96, dpi_y = 96;
  DcExtension* extension = nullptr;  // see dc_set_extension
};

// The object table: registration, liveness checks and selection bookkeeping.
std::mutex& gdi_object_lock();
GdiObj gdi_register(std::unique_ptr<GdiObjRec> obj);  // takes ownership
bool gdi_is_live(GdiObj obj);                          // caller holds the lock
bool gdi_dc_is_live(Dc dc);                            // caller holds the lock
void gdi_dc_register(Dc dc);
void gdi_dc_unregister(Dc dc);
// What a fill with a brush handle of the caller's needs, read under the lock: false for
// anything that is not a live brush; `paints` false for the null brush.
bool brush_paint(Brush brush, Color* color, bool* paints);
// A copy of a region object's region (false for anything that is not a live region), so
// that drawing with it never races with a change or a deletion on another thread.
bool region_copy(Rgn rgn, Region* out);
void gdi_hold(GdiObj obj);     // counts a selection; caller holds the lock
void gdi_release(GdiObj obj);  // drops one, freeing a pending deletion; lock held

// The default objects of a new context and the bitmap standing for a memory context's
// own 1x1 surface.
GdiObj stock_object(int index);
GdiObj default_bitmap();

// Recomputes a context's effective clip after its surface, origin or clip changed.
void update_clip(Dc dc);
// Every drawing call starts here: a surface resized behind the context's back (a window
// grown or shrunk while a context is out) gets its clip worked out again, so nothing is
// ever written outside the pixels.
inline void refresh_clip(Dc dc) {
  if (dc && dc->surface && (dc->surface->width != dc->clip_w || dc->surface->height != dc->clip_h)) update_clip(dc);
}
inline void update_shift(Dc dc) {
  dc->shift = PointL{int64_t(dc->viewport_org.x) - dc->window_org.x + dc->origin.x,
                     int64_t(dc->viewport_org.y) - dc->window_org.y + dc->origin.y};
}
// A 64-bit coordinate brought back into the int range (for rectangles and spans that are
// cut to a clip box right after).
inline int clamp_int(int64_t v) { return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace plat
