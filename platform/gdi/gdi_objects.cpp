// Drawing objects: the object table, stock objects, pens, brushes, bitmaps and palettes,
// and selecting objects into contexts. Regions have their own file (gdi_regions.cpp),
// fonts theirs (text.cpp makes them through the font cache).
//
// Handles are record pointers checked against the table before use, so a stale or
// doubly deleted handle is refused instead of followed.
#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "platform/gdi/font_cache.h"
#include "platform/gdi/gdi_internal.h"

namespace plat {

namespace {

std::unordered_set<GdiObjRec*>& objects() {
  static std::unordered_set<GdiObjRec*> set;
  return set;
}
std::unordered_set<DcRec*>& contexts() {
  static std::unordered_set<DcRec*> set;
  return set;
}

void free_object(GdiObj obj) {
  objects().erase(obj);
  delete obj;
}

GdiObj make_pen(int style, int width, Color color, bool stock) {
  auto p = std::make_unique<GdiObjRec>();
  p->kind = OBJ_PEN;
  p->pen_style = (style & 0xF) <= PS_INSIDEFRAME ? (style & 0xF) : PS_SOLID;
  p->pen_width = width < 1 ? 1 : width;
  p->color = color & 0xFFFFFF;
  p->stock = stock;
  return gdi_register(std::move(p));
}

GdiObj make_brush(Color color, bool null_brush, bool stock) {
  auto b = std::make_unique<GdiObjRec>();
  b->kind = OBJ_BRUSH;
  b->color = color & 0xFFFFFF;
  b->null_brush = null_brush;
  b->stock = stock;
  return gdi_register(std::move(b));
}

GdiObj make_stock_font(int height, const char* face) {
  LogFont lf;
  lf.height = height;
  snprintf(lf.face_name, sizeof lf.face_name, "%s", face);
  auto f = std::make_unique<GdiObjRec>();
  f->kind = OBJ_FONT;
  f->logfont = lf;
  f->face = resolve_font(lf);
  f->stock = true;
  return gdi_register(std::move(f));
}

// Stock objects by index; unused indexes stay null.
struct StockTable {
  GdiObj slots[18] = {};
  GdiObj default_bitmap = nullptr;
  StockTable() {
    slots[WHITE_BRUSH] = make_brush(rgb(255, 255, 255), false, true);
    slots[LTGRAY_BRUSH] = make_brush(rgb(192, 192, 192), false, true);
    slots[GRAY_BRUSH] = make_brush(rgb(128, 128, 128), false, true);
    slots[DKGRAY_BRUSH] = make_brush(rgb(64, 64, 64), false, true);
    slots[BLACK_BRUSH] = make_brush(rgb(0, 0, 0), false, true);
    slots[NULL_BRUSH] = make_brush(0, true, true);
    slots[WHITE_PEN] = make_pen(PS_SOLID, 1, rgb(255, 255, 255), true);
    slots[BLACK_PEN] = make_pen(PS_SOLID, 1, rgb(0, 0, 0), true);
    slots[NULL_PEN] = make_pen(PS_NULL, 1, 0, true);
    slots[OEM_FIXED_FONT] = make_stock_font(16, "Courier New");
    slots[ANSI_FIXED_FONT] = make_stock_font(16, "Courier New");
    slots[ANSI_VAR_FONT] = make_stock_font(16, "MS Sans Serif");
    slots[SYSTEM_FONT] = make_stock_font(16, "MS Sans Serif");
    slots[DEVICE_DEFAULT_FONT] = make_stock_font(16, "MS Sans Serif");
    slots[SYSTEM_FIXED_FONT] = make_stock_font(16, "Courier New");
    slots[DEFAULT_GUI_FONT] = make_stock_font(-11, "MS Sans Serif");
    auto pal = std::make_unique<GdiObjRec>();
    pal->kind = OBJ_PAL;
    pal->stock = true;
    slots[DEFAULT_PALETTE] = gdi_register(std::move(pal));
    auto bmp = std::make_unique<GdiObjRec>();
    bmp->kind = OBJ_BITMAP;
    bmp->stock = true;
    default_bitmap = gdi_register(std::move(bmp));
  }
};

StockTable& stock() {
  static StockTable table;
  return table;
}

// Replaces a context's slot, keeping the selection counts right.
GdiObj swap_slot(GdiObj& slot, GdiObj obj) {
  GdiObj old = slot;
  gdi_hold(obj);
  slot = obj;
  if (old) gdi_release(old);
  return old;
}

GdiObj select_bitmap(Dc dc, GdiObj bmp) {
  if (!dc->memory) return nullptr;
  if (bmp->selected_in && bmp->selected_in != dc) return nullptr;
  if (dc->bitmap == bmp) return bmp;
  if (dc->bitmap && dc->bitmap != default_bitmap()) dc->bitmap->selected_in = nullptr;
  if (bmp != default_bitmap()) bmp->selected_in = dc;
  dc->surface = bmp == default_bitmap() ? &dc->own_surface : &bmp->surface;
  GdiObj old = swap_slot(dc->bitmap, bmp);
  update_clip(dc);
  return old;
}

}  // namespace

std::mutex& gdi_object_lock() {
  static std::mutex m;
  return m;
}

GdiObj gdi_register(std::unique_ptr<GdiObjRec> obj) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  GdiObj raw = obj.release();
  objects().insert(raw);
  return raw;
}

bool gdi_is_live(GdiObj obj) { return obj && objects().count(obj) != 0; }
bool gdi_dc_is_live(Dc dc) { return dc && contexts().count(dc) != 0; }

void gdi_dc_register(Dc dc) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  contexts().insert(dc);
}

void gdi_dc_unregister(Dc dc) {
  contexts().erase(dc);
}

bool brush_paint(Brush brush, Color* color, bool* paints) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  if (!gdi_is_live(brush) || brush->kind != OBJ_BRUSH || brush->delete_pending) return false;
  *color = brush->color;
  *paints = !brush->null_brush;
  return true;
}

void gdi_hold(GdiObj obj) {
  if (obj) ++obj->selections;
}

void gdi_release(GdiObj obj) {
  if (!obj || !gdi_is_live(obj)) return;
  if (--obj->selections <= 0 && obj->delete_pending && !obj->stock) free_object(obj);
}

GdiObj stock_object(int index) {
  if (index < 0 || index >= 18) return nullptr;
  return stock().slots[index];
}

GdiObj default_bitmap() { return stock().default_bitmap; }

GdiObj get_stock_object(int index) { return stock_object(index); }

Pen create_pen(int style, int width, Color color) { return make_pen(style, width, color, false); }

Brush create_solid_brush(Color color) { return make_brush(color, false, false); }

GdiObj select_object(Dc dc, GdiObj obj) {
  if (get_object_kind(obj) == OBJ_REGION) {
    select_clip_rgn(dc, obj);
    return nullptr;
  }
  stock();  // the stock table registers under the lock: make it before taking it
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  if (!gdi_dc_is_live(dc) || !gdi_is_live(obj) || obj->delete_pending) return nullptr;
  switch (obj->kind) {
    case OBJ_PEN: return swap_slot(dc->pen, obj);
    case OBJ_BRUSH: return swap_slot(dc->brush, obj);
    case OBJ_FONT: return swap_slot(dc->font, obj);
    case OBJ_PAL: return swap_slot(dc->palette, obj);
    case OBJ_BITMAP: return select_bitmap(dc, obj);
    default: return nullptr;
  }
}

int delete_object(GdiObj obj) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  if (!gdi_is_live(obj) || obj->delete_pending) return 0;
  if (obj->stock) return 1;
  if (obj->selections > 0) {
    obj->delete_pending = true;
    return 1;
  }
  free_object(obj);
  return 1;
}

int get_object_kind(GdiObj obj) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  return gdi_is_live(obj) && !obj->delete_pending ? obj->kind : 0;
}

GdiObj get_current_object(Dc dc, int kind) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  if (!gdi_dc_is_live(dc)) return nullptr;
  switch (kind) {
    case OBJ_PEN: return dc->pen;
    case OBJ_BRUSH: return dc->brush;
    case OBJ_FONT: return dc->font;
    case OBJ_BITMAP: return dc->bitmap;
    case OBJ_PAL: return dc->palette;
    default: return nullptr;
  }
}

// ---- Bitmaps ----------------------------------------------------------------------------

Bitmap create_bitmap(int width, int height, const uint32_t* pixels) {
  // A bitmap is memory the caller asked for; refuse sizes no surface could hold.
  if (width <= 0 || height <= 0 || int64_t(width) * height > (int64_t(1) << 27)) return nullptr;
  auto b = std::make_unique<GdiObjRec>();
  b->kind = OBJ_BITMAP;
  b->surface.resize(width, height, 0xFF000000u);
  if (pixels) std::copy_n(pixels, size_t(width) * size_t(height), b->surface.pixels.begin());
  return gdi_register(std::move(b));
}

Bitmap create_compatible_bitmap(Dc dc, int width, int height) { return create_bitmap(width, height, nullptr); }

Size get_bitmap_size(Bitmap bmp) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  if (!gdi_is_live(bmp) || bmp->kind != OBJ_BITMAP) return Size{};
  return Size{bmp->surface.width, bmp->surface.height};
}

Surface* bitmap_surface(Bitmap bmp) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  if (!gdi_is_live(bmp) || bmp->kind != OBJ_BITMAP || bmp->stock) return nullptr;
  return &bmp->surface;
}

// ---- Palettes ---------------------------------------------------------------------------
// Surfaces hold true colour, so a palette is only kept for the caller to select and
// realise; drawing never goes through it.

Palette create_palette(const PaletteEntry* entries, int count) {
  if (count < 0 || count > 256 || (count > 0 && !entries)) return nullptr;
  auto p = std::make_unique<GdiObjRec>();
  p->kind = OBJ_PAL;
  p->entries.assign(entries, entries + count);
  return gdi_register(std::move(p));
}

Palette select_palette(Dc dc, Palette pal, bool force_background) {
  if (!pal || get_object_kind(pal) != OBJ_PAL) return nullptr;
  return select_object(dc, pal);
}

int realize_palette(Dc dc) { return 0; }

}  // namespace plat
