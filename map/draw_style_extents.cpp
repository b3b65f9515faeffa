// Extent routines of the drawing styles: the bounding box of one drawn object and the
// pixel margin of its symbol, written into a graphic index contribution, in the current
// layer's coordinates carried into graph units through the layer's link. Also the
// extent of images shown through the image layer.
//
// The margin rule: a margin in pixels (when set) is kept in the step of the extent on a
// layer of moving objects, so that the redraw widens the rectangle at drawing scale;
// elsewhere the box is widened by geopixsize × margin and the step is 0.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "core/obj_layout.h"
#include "core/wstring.h"
#include "geodesy/xform.h"
#include "map/draw_gdi.h"
#include "map/draw_styles.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"

namespace {

constexpr double kNoMargin = NULL_DOUBLE;

void default_symbol_size(const obj_t* style, const obj_t* bitmap, int* w, int* h) {
  const int32_t sw = field_load<int32_t>(style, offsetof(dimage_t, vsizew));
  const int32_t sh = field_load<int32_t>(style, offsetof(dimage_t, vsizeh));
  if (sw > 0 && sh > 0) {
    *w = sw;
    *h = sh;
    return;
  }
  int bw = 0, bh = 0;
  if (bitmap && bitmap->cls == CLS_BITMAP)
    bitmap_get_size(static_cast<const bitmap_t*>(bitmap), &bw, &bh);
  double scale = field_load<double>(style, offsetof(dimage_t, vscale));
  if (!(scale > 0.0) || !std::isfinite(scale)) scale = 1.0;
  *w = int(std::lround(bw * scale));
  *h = int(std::lround(bh * scale));
}

std::atomic<symbol_size_fn> g_symbol_size{default_symbol_size};

// A box growing point by point, in graph units.
struct box {
  extent_t e{};
  bool any = false;
  void add(double x, double y) {
    if (!any) {
      e = {x, x, y, y, 0.0};
      any = true;
      return;
    }
    e.xmin = std::min(e.xmin, x);
    e.xmax = std::max(e.xmax, x);
    e.ymin = std::min(e.ymin, y);
    e.ymax = std::max(e.ymax, y);
  }
};

// The style's pixel size, bounded by the layer's margin pixel size (layer_margin_pixel).
double geopix(const obj_t* style) {
  const double own = field_load<double>(style, offsetof(drawstyle_t, geopixsize));
  const double bound = layer_margin_pixel(get_current_layer());
  return bound >= 0.0 && !(own <= bound) ? bound : own;
}

void to_graph(double* x, double* y) { layer_to_graph(get_current_layer(), x, y); }

void add_point(box* b, double x, double y) {
  to_graph(&x, &y);
  b->add(x, y);
}

void add_style_point(box* b, const obj_t* style, size_t off) {
  const style_point_t p = field_load<style_point_t>(style, int(off));
  add_point(b, p.x, p.y);
}

void add_two_points(box* b, const obj_t* style, size_t off) {
  const style_twopoints_t p = field_load<style_twopoints_t>(style, int(off));
  add_point(b, p.x1, p.y1);
  add_point(b, p.x2, p.y2);
}

int larger_offset(const obj_t* style, size_t off) {
  const pixel_offset_t p = field_load<pixel_offset_t>(style, int(off));
  return std::max<int>(p.x, p.y);
}

// Writes the contribution: the box with its margin, level bytes 127, flag 1.
int finish(const obj_t* style, box b, double margin, double factor, gindex_entry_t* out) {
  if (!b.any) return 0;
  const layer_t* layer = get_current_layer();
  extent_t e = b.e;
  e.step = 0.0;
  if (margin > kNoMargin) {
    if (layer && layer->movobj)
      e.step = margin;
    else
      extent_inflate(&e, geopix(style) * margin * factor);
  }
  if (out) {
    field_store(out, offsetof(gindex_entry_t, extent), e);
    field_store<uint8_t>(out, offsetof(gindex_entry_t, cx), 127);
    field_store<uint8_t>(out, offsetof(gindex_entry_t, cy), 127);
    field_store<uint32_t>(out, offsetof(gindex_entry_t, weight), 1);
  }
  return 1;
}

int32_t i32(const obj_t* style, size_t off) { return field_load<int32_t>(style, int(off)); }

}  // namespace

void drawobj_set_symbol_size(symbol_size_fn fn) {
  g_symbol_size.store(fn ? fn : default_symbol_size);
}

int extent_dsegment(obj_t* s, obj_t* o, obj_t* f, gindex_entry_t* out) {
  if (!s || !attrs_dsegment(s, o, f)) return 0;
  box b;
  add_two_points(&b, s, offsetof(dsegment_t, seg));
  return finish(s, b, i32(s, offsetof(dsegment_t, vthickness)), 1.0, out);
}

int extent_drectangle(obj_t* s, obj_t* o, obj_t* f, gindex_entry_t* out) {
  if (!s || !attrs_drectangle(s, o, f)) return 0;
  box b;
  add_two_points(&b, s, offsetof(drectangle_t, corner));
  const double margin =
      i32(s, offsetof(drectangle_t, vthickness)) + larger_offset(s, offsetof(drectangle_t, vpixy));
  return finish(s, b, margin, 1.0, out);
}

int extent_dpolycurve(obj_t* s, obj_t* o, obj_t* f, gindex_entry_t* out) {
  if (!s || !attrs_dpolycurve(s, o, f)) return 0;
  const coord_list line = field_load<coord_list>(s, offsetof(dpolycurve_t, line));
  if (line.count <= 0) return 0;
  box b;
  for (int i = 0; i < line.count; ++i) add_point(&b, line.pts[2 * i], line.pts[2 * i + 1]);
  return finish(s, b, i32(s, offsetof(dpolycurve_t, vthickness)), 1.0, out);
}

int extent_darcellip(obj_t* s, obj_t* o, obj_t* f, gindex_entry_t* out) {
  if (!s || !attrs_darcellip(s, o, f)) return 0;
  const style_point_t c = field_load<style_point_t>(s, offsetof(darcellip_t, center));
  double ha = field_load<double>(s, offsetof(darcellip_t, vgraxis)) / 2.0;
  double hb = field_load<double>(s, offsetof(darcellip_t, vsmaxis)) / 2.0;
  const double orient = field_load<double>(s, offsetof(darcellip_t, vorient));
  if (!std::isfinite(ha) || !std::isfinite(hb)) return 0;
  constexpr double pi = std::numbers::pi;
  if (orient > pi / 4 && orient <= 5 * pi / 4) std::swap(ha, hb);
  double cx = c.x, cy = c.y;
  const layer_t* layer = get_current_layer();
  if (layer && layer->cs_link) {
    // Half-axes measured in graph units from the carried centre and axis ends.
    double ax = c.x + ha, ay = c.y, bx = c.x, by = c.y + hb;
    to_graph(&cx, &cy);
    to_graph(&ax, &ay);
    to_graph(&bx, &by);
    ha = std::hypot(ax - cx, ay - cy);
    hb = std::hypot(bx - cx, by - cy);
  }
  box b;
  b.add(cx - std::fabs(ha), cy - std::fabs(hb));
  b.add(cx + std::fabs(ha), cy + std::fabs(hb));
  const double margin =
      i32(s, offsetof(darcellip_t, vthickness)) + larger_offset(s, offsetof(darcellip_t, vpixy));
  return finish(s, b, margin, 1.0, out);
}

int extent_dtext(obj_t* s, obj_t* o, obj_t* f, gindex_entry_t* out) {
  if (!s || !attrs_dtext(s, o, f)) return 0;
  const char16_t* text = field_load<const char16_t*>(s, offsetof(dtext_t, text));
  if (!text || !text[0]) return 0;
  if (i32(s, offsetof(dtext_t, vsize)) == 0) field_store<int32_t>(s, offsetof(dtext_t, vsize), 10);
  int w = 0, h = 0;
  text_extent(i32(s, offsetof(dtext_t, vfont)), i32(s, offsetof(dtext_t, vsize)),
              i32(s, offsetof(dtext_t, vthickness)), i32(s, offsetof(dtext_t, vunderital)), text, &w,
              &h);
  box b;
  add_style_point(&b, s, offsetof(dtext_t, pt));
  const layer_t* layer = get_current_layer();
  if (layer && layer->movobj) return finish(s, b, 2.0 * w, 1.0, out);
  const double g = geopix(s);
  b.e.xmax += 2.0 * w * g;
  b.e.ymin -= 2.0 * h * g;
  return finish(s, b, kNoMargin, 1.0, out);
}

int extent_dpoint(obj_t* s, obj_t* o, obj_t* f, gindex_entry_t* out) {
  if (!s || !attrs_dpoint(s, o, f)) return 0;
  box b;
  add_style_point(&b, s, offsetof(dpoint_t, pt));
  const double margin =
      larger_offset(s, offsetof(dpoint_t, vpixy)) + 2.0 * i32(s, offsetof(dpoint_t, vthickness));
  return finish(s, b, margin, 1.0, out);
}

int extent_dsegpoint(obj_t* s, obj_t* o, obj_t* f, gindex_entry_t* out) {
  if (!s || !attrs_dsegpoint(s, o, f)) return 0;
  box b;
  add_style_point(&b, s, offsetof(dsegpoint_t, pt));
  add_point(&b, field_load<double>(s, offsetof(dsegpoint_t, next_x)),
            field_load<double>(s, offsetof(dsegpoint_t, next_y)));
  return finish(s, b, i32(s, offsetof(dsegpoint_t, vlinkthick)), 1.0, out);
}

int extent_dimage(obj_t* s, obj_t* o, obj_t* f, gindex_entry_t* out) {
  if (!s || !attrs_dimage(s, o, f)) return 0;
  obj_t* bitmap = field_load<obj_t*>(s, offsetof(dimage_t, vimg));
  if (!bitmap) return 0;
  int w = 0, h = 0;
  g_symbol_size.load()(s, bitmap, &w, &h);
  const pixel_offset_t p = field_load<pixel_offset_t>(s, offsetof(dimage_t, vpixy));
  box b;
  add_style_point(&b, s, offsetof(dimage_t, pt));
  return finish(s, b, std::max(p.x + w, p.y + h), 2.0, out);
}

obj_t* dimage_get_bitmap(const obj_t* style, obj_t** out) {
  obj_t* b = nullptr;
  if (style && style->cls == CLS_DIMAGE) b = field_load<obj_t*>(style, offsetof(dimage_t, vimg));
  if (out) *out = b;
  return b;
}

// ---- Images -------------------------------------------------------------------------------
int image_extent(obj_t* image, extent_t* out) {
  if (out) *out = extent_t{};
  if (!image || image->cls != CLS_BITMAP || !out) return 0;
  const bitmap_t* bm = static_cast<const bitmap_t*>(image);
  const georef_t* g = field_load<georef_t*>(bm, offsetof(bitmap_t, georef));
  if (!g) {
    const layer_t* layer = get_current_layer();
    const graphspace_t* gs = layer ? layer->graphspace : graphspace_current();
    g = gs ? gs->georef : nullptr;
  }
  if (!g) return 0;
  extent_t frame{};
  bitmap_extent(bm, &frame);
  const double xs[2] = {frame.xmin, frame.xmax}, ys[2] = {frame.ymin, frame.ymax};
  box b;
  for (double x : xs)
    for (double y : ys) {
      double px = x, py = y, pz = 0.0;
      if (g->transfo) xform_forward(g->transfo, g->transfotype, &px, &py, &pz);
      b.add(px, py);
    }
  *out = b.e;
  return 1;
}

void image_extent_update(extent_t clip, obj_t* image) {
  extent_t e{};
  if (!image_extent(image, &e)) return;
  gindex_entry_t contribution{};
  contribution.extent = e;
  contribution.cx = contribution.cy = 127;
  contribution.weight = 1;
  gindex_add_extent(clip, image, &contribution);
}
