// Device contexts: making and deleting them, their coordinate origins, their clip and
// the small drawing state (colours, modes, alignment) the primitives read.
//
// The effective clip is kept ready in surface coordinates (update_clip) because every
// primitive asks it for every span: the surface's rectangle, the window system's region
// and the selected clip region, intersected once whenever one of them changes.
#include "platform/gdi/gdi_internal.h"

namespace plat {

namespace {

Dc new_dc(Surface* surface, Point origin, bool memory) {
  stock_object(0);  // the stock table must exist before the object lock is taken
  auto* dc = new DcRec;
  dc->memory = memory;
  dc->origin = origin;
  if (memory) {
    dc->own_surface.resize(1, 1, 0xFF000000u);
    dc->surface = &dc->own_surface;
  } else {
    dc->surface = surface;
  }
  {
    std::lock_guard<std::mutex> lock(gdi_object_lock());
    dc->pen = stock_object(BLACK_PEN);
    dc->brush = stock_object(WHITE_BRUSH);
    dc->font = stock_object(SYSTEM_FONT);
    dc->palette = stock_object(DEFAULT_PALETTE);
    dc->bitmap = memory ? default_bitmap() : nullptr;
    for (GdiObj o : {dc->pen, dc->brush, dc->font, dc->palette, dc->bitmap}) gdi_hold(o);
  }
  update_shift(dc);
  update_clip(dc);
  gdi_dc_register(dc);
  return dc;
}

// Logical rectangle to device coordinates (the clip region's space), normalised.
Rect logical_to_device(Dc dc, int left, int top, int right, int bottom) {
  int64_t dx = int64_t(dc->viewport_org.x) - dc->window_org.x, dy = int64_t(dc->viewport_org.y) - dc->window_org.y;
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  return Rect{clamp_int(left + dx), clamp_int(top + dy), clamp_int(right + dx), clamp_int(bottom + dy)};
}

// The clip a context has before any region is selected: its whole device area.
Region device_area(Dc dc) {
  Rect r = dc->surface ? dc->surface->rect() : Rect{};
  Region reg(offset_rect(r, -dc->origin.x, -dc->origin.y));
  if (dc->has_base_clip) {
    Region base = dc->base_clip;
    base.offset(-dc->origin.x, -dc->origin.y);
    reg.intersect(base);
  }
  return reg;
}

}  // namespace

void update_clip(Dc dc) {
  Rect all = dc->surface ? dc->surface->rect() : Rect{};
  dc->clip = Region(all);
  if (dc->has_base_clip) dc->clip.intersect(dc->base_clip);
  if (dc->has_user_clip) {
    // The selected region is cut to the surface (in device coordinates) before it is
    // moved, so that a region reaching the ends of the coordinate range moves safely.
    int64_t ox = dc->origin.x, oy = dc->origin.y;
    Region user = dc->user_clip;
    user.intersect(Region(Rect{clamp_int(all.left - ox), clamp_int(all.top - oy), clamp_int(all.right - ox),
                               clamp_int(all.bottom - oy)}));
    user.offset(dc->origin.x, dc->origin.y);
    dc->clip.intersect(user);
  }
  dc->clip_box = dc->clip.bounds();
  dc->clip_simple = dc->clip.rects().size() <= 1;
  dc->clip_w = dc->surface ? dc->surface->width : -1;
  dc->clip_h = dc->surface ? dc->surface->height : -1;
}

Dc create_surface_dc(Surface* surface, Point origin, const Region* clip) {
  if (!surface) return nullptr;
  Dc dc = new_dc(surface, origin, false);
  if (clip) dc_set_surface_clip(dc, origin, clip);
  return dc;
}

Dc create_compatible_dc(Dc like) {
  Dc dc = new_dc(nullptr, Point{}, true);
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  if (gdi_dc_is_live(like)) {
    dc->dpi_x = like->dpi_x;
    dc->dpi_y = like->dpi_y;
  }
  return dc;
}

int delete_dc(Dc dc) {
  DcExtension* ext = nullptr;
  {
    std::lock_guard<std::mutex> lock(gdi_object_lock());
    if (!gdi_dc_is_live(dc)) return 0;
    gdi_dc_unregister(dc);
    if (dc->bitmap && dc->bitmap != default_bitmap()) dc->bitmap->selected_in = nullptr;
    for (GdiObj o : {dc->pen, dc->brush, dc->font, dc->palette, dc->bitmap}) gdi_release(o);
    ext = dc->extension;
  }
  // Outside the lock: the extension may write files or call this layer.
  if (ext) ext->released(dc);
  delete dc;
  return 1;
}

bool dc_set_extension(Dc dc, DcExtension* ext) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  if (!gdi_dc_is_live(dc)) return false;
  dc->extension = ext;
  return true;
}

DcExtension* dc_extension(Dc dc) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  return gdi_dc_is_live(dc) ? dc->extension : nullptr;
}

Surface* dc_surface(Dc dc) { return dc ? dc->surface : nullptr; }
Point dc_origin(Dc dc) { return dc ? dc->origin : Point{}; }

void dc_set_surface_clip(Dc dc, Point origin, const Region* clip) {
  if (!dc) return;
  dc->origin = origin;
  dc->has_base_clip = clip != nullptr;
  dc->base_clip = clip ? *clip : Region();
  update_shift(dc);
  update_clip(dc);
}

namespace {

int surface_caps(Dc dc, int index) {
  int w = dc->surface ? dc->surface->width : 0, h = dc->surface ? dc->surface->height : 0;
  switch (index) {
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZRES: case PHYSICALWIDTH: return w;
    case VERTRES: case PHYSICALHEIGHT: return h;
    case HORZSIZE: return int(int64_t(w) * 254 / (dc->dpi_x * 10));  // millimetres
    case VERTSIZE: return int(int64_t(h) * 254 / (dc->dpi_y * 10));
    case BITSPIXEL: return 32;
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    case RASTERCAPS: return RC_BITBLT | RC_BITMAP64 | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
    case LINECAPS: return LC_POLYLINE | LC_WIDE | LC_STYLED | LC_WIDESTYLED | LC_INTERIORS;
    case TEXTCAPS: return TC_OP_CHARACTER;
    case LOGPIXELSX: return dc->dpi_x;
    case LOGPIXELSY: return dc->dpi_y;
    case SIZEPALETTE: return 0;
    default: return 0;
  }
}

}  // namespace

int get_device_caps(Dc dc, int index) {
  if (!dc) return 0;
  const int standard = surface_caps(dc, index);
  return dc->extension ? dc->extension->device_caps(index, standard) : standard;
}

void dc_set_resolution(Dc dc, int dpi_x, int dpi_y) {
  if (!dc || dpi_x <= 0 || dpi_y <= 0) return;
  dc->dpi_x = dpi_x;
  dc->dpi_y = dpi_y;
}

// ---- Origins ----------------------------------------------------------------------------

Point set_viewport_org(Dc dc, int x, int y) {
  if (!dc) return Point{};
  Point old = dc->viewport_org;
  dc->viewport_org = Point{x, y};
  update_shift(dc);
  return old;
}

Point offset_viewport_org(Dc dc, int dx, int dy) {
  if (!dc) return Point{};
  return set_viewport_org(dc, clamp_int(int64_t(dc->viewport_org.x) + dx), clamp_int(int64_t(dc->viewport_org.y) + dy));
}

Point get_viewport_org(Dc dc) { return dc ? dc->viewport_org : Point{}; }

Point set_window_org(Dc dc, int x, int y) {
  if (!dc) return Point{};
  Point old = dc->window_org;
  dc->window_org = Point{x, y};
  update_shift(dc);
  return old;
}

Point get_window_org(Dc dc) { return dc ? dc->window_org : Point{}; }

int set_map_mode(Dc dc, int mode) { return dc ? MM_TEXT : 0; }

// ---- Clip -------------------------------------------------------------------------------

int select_clip_rgn(Dc dc, Rgn rgn) {
  if (!dc) return RGN_ERROR;
  if (!rgn) {
    dc->has_user_clip = false;
    dc->user_clip.clear();
  } else {
    std::lock_guard<std::mutex> lock(gdi_object_lock());
    if (!gdi_is_live(rgn) || rgn->kind != OBJ_REGION) return RGN_ERROR;
    dc->has_user_clip = true;
    dc->user_clip = rgn->region;
  }
  update_clip(dc);
  return region_type(dc->clip);
}

int intersect_clip_rect(Dc dc, int left, int top, int right, int bottom) {
  if (!dc) return RGN_ERROR;
  Region r(logical_to_device(dc, left, top, right, bottom));
  if (dc->has_user_clip) {
    dc->user_clip.intersect(r);
  } else {
    dc->user_clip = device_area(dc);
    dc->user_clip.intersect(r);
    dc->has_user_clip = true;
  }
  update_clip(dc);
  return region_type(dc->clip);
}

int exclude_clip_rect(Dc dc, int left, int top, int right, int bottom) {
  if (!dc) return RGN_ERROR;
  if (!dc->has_user_clip) {
    dc->user_clip = device_area(dc);
    dc->has_user_clip = true;
  }
  dc->user_clip.subtract(Region(logical_to_device(dc, left, top, right, bottom)));
  update_clip(dc);
  return region_type(dc->clip);
}

int get_clip_box(Dc dc, Rect* out) {
  if (!dc) return RGN_ERROR;
  refresh_clip(dc);
  const Rect& b = dc->clip_box;
  if (out)
    *out = dc->clip.empty() ? Rect{}
                            : Rect{clamp_int(b.left - dc->shift.x), clamp_int(b.top - dc->shift.y),
                                   clamp_int(b.right - dc->shift.x), clamp_int(b.bottom - dc->shift.y)};
  return region_type(dc->clip);
}

bool pt_visible(Dc dc, int x, int y) {
  if (!dc) return false;
  refresh_clip(dc);
  int64_t sx = x + dc->shift.x, sy = y + dc->shift.y;
  const Rect& b = dc->clip_box;
  return sx >= b.left && sx < b.right && sy >= b.top && sy < b.bottom && dc->clip.contains(Point{int(sx), int(sy)});
}

// ---- State ------------------------------------------------------------------------------

#define TM_DC_SETTER(name, field, type)          \
  type name(Dc dc, type v) {                     \
    if (!dc) return type{};                      \
    type old = dc->field;                        \
    dc->field = v;                               \
    return old;                                  \
  }

TM_DC_SETTER(set_text_color, text_color, Color)
TM_DC_SETTER(set_bk_color, bk_color, Color)
TM_DC_SETTER(set_text_align, text_align, int)
TM_DC_SETTER(set_stretch_blt_mode, stretch_mode, int)
#undef TM_DC_SETTER

int set_bk_mode(Dc dc, int mode) {
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int old = dc->bk_mode;
  dc->bk_mode = mode;
  return old;
}

int set_rop2(Dc dc, int mode) {
  if (!dc || mode < R2_BLACK || mode > R2_WHITE) return 0;
  int old = dc->rop2;
  dc->rop2 = mode;
  return old;
}

int set_poly_fill_mode(Dc dc, int mode) {
  if (!dc || (mode != ALTERNATE && mode != WINDING)) return 0;
  int old = dc->fill_mode;
  dc->fill_mode = mode;
  return old;
}

int set_arc_direction(Dc dc, int direction) {
  if (!dc || (direction != AD_COUNTERCLOCKWISE && direction != AD_CLOCKWISE)) return 0;
  int old = dc->arc_direction;
  dc->arc_direction = direction;
  return old;
}

Color get_text_color(Dc dc) { return dc ? dc->text_color : 0; }
Color get_bk_color(Dc dc) { return dc ? dc->bk_color : 0; }
int get_bk_mode(Dc dc) { return dc ? dc->bk_mode : 0; }
int get_text_align(Dc dc) { return dc ? dc->text_align : 0; }
int get_rop2(Dc dc) { return dc ? dc->rop2 : 0; }
int get_arc_direction(Dc dc) { return dc ? dc->arc_direction : 0; }

}  // namespace plat
