// The draw slots of the eight drawing classes: each loads the object's values into its
// style, scales the line width to the pane, carries the style's points onto the screen
// and draws them with the routines of draw_gdi.h. Without a drawing target they do
// nothing, so the load task may compute extents while nothing is drawn.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "core/obj_layout.h"
#include "map/draw_gdi_internal.h"
#include "map/draw_styles.h"
#include "map/graphspace.h"

namespace {

constexpr double kArcRay = 2000.0;  // length of the rays through the arc's ends, pixels
constexpr int kMinTextSize = 2;
constexpr int kMaxOutlinePen = 1000;  // as the widest line drawn

int32_t i32(const obj_t* s, size_t off) { return field_load<int32_t>(s, int(off)); }
uint32_t u32(const obj_t* s, size_t off) { return field_load<uint32_t>(s, int(off)); }
double f64(const obj_t* s, size_t off) { return field_load<double>(s, int(off)); }

bool has_target() { return draw_st().dc && draw_st().pane; }

// Loads the object and scales the width with the style's thickness at `thick_off`.
bool prepare(attrs_fn load, obj_t* style, obj_t* object, obj_t* father, size_t thick_off) {
  if (!style || !object || !has_target() || !load(style, object, father)) return false;
  drawobj_scale_width(i32(style, thick_off), f64(style, offsetof(drawstyle_t, geopixsize)));
  return true;
}

int width_px() { return int(draw_current_width()); }

screen_pt point_of(const obj_t* style, size_t pt_off) {
  const style_point_t p = field_load<style_point_t>(style, int(pt_off));
  return draw_to_screen(p.x, p.y, p.z);
}

screen_pt offset_by(screen_pt p, const obj_t* style, size_t pixy_off) {
  const pixel_offset_t o = field_load<pixel_offset_t>(style, int(pixy_off));
  return screen_pt{p.x + o.x, p.y + o.y};
}

// ---- Point shapes ---------------------------------------------------------------------------
// The outline's pen is one pixel on the screen, as many as the symbol scale factor says on
// a printer page.
void segment(screen_pt c, double x1, double y1, double x2, double y2, int pen, uint32_t colour) {
  draw_clipped_segment({c.x + x1, c.y + y1}, {c.x + x2, c.y + y2}, 1, pen, colour, 0);
}

void point_shape(int shape, screen_pt c, int h, int motif, uint32_t colour) {
  const int fill = motif != 0 ? 1 : 0;
  const int pen = int(std::clamp(std::lround(draw_symbol_scale()), 1L, long(kMaxOutlinePen)));
  switch (shape) {
    case 1:
      draw_screen_ellipse({c.x - h, c.x + h, c.y - h, c.y + h, 0}, 1, pen, colour, fill, nullptr,
                          nullptr);
      break;
    case 2:
      draw_screen_rect(1, pen, colour, fill, {c.x - h, c.y - h}, {c.x + h, c.y + h});
      break;
    case 3:
      segment(c, 0, -h, 0, h, pen, colour);
      segment(c, -h, 0, h, 0, pen, colour);
      break;
    case 4:
      segment(c, -h, -h, h, h, pen, colour);
      segment(c, -h, h, h, -h, pen, colour);
      break;
    case 5: {
      const screen_pt tri[4] = {{c.x, c.y - h}, {c.x + h, c.y + h}, {c.x - h, c.y + h}, {c.x, c.y - h}};
      draw_clipped_polyline(tri, pen, 1, colour, 0, 4);
      break;
    }
    default:
      break;
  }
}

// ---- Ellipses -------------------------------------------------------------------------------
// Half-axes in pixels: from the axes, swapped for an orientation in (pi/4, 5 pi/4];
// through the layer's link they are measured after carrying the centre and axis ends.
void half_axes(const obj_t* s, double* ha, double* hb) {
  const style_point_t c = field_load<style_point_t>(s, offsetof(darcellip_t, center));
  double a = f64(s, offsetof(darcellip_t, vgraxis)) / 2.0;
  double b = f64(s, offsetof(darcellip_t, vsmaxis)) / 2.0;
  const double orient = f64(s, offsetof(darcellip_t, vorient));
  constexpr double pi = std::numbers::pi;
  if (orient > pi / 4 && orient <= 5 * pi / 4) std::swap(a, b);
  const screen_pt sc = draw_to_screen(c.x, c.y, c.z);
  const screen_pt sa = draw_to_screen(c.x + a, c.y, c.z);
  const screen_pt sb = draw_to_screen(c.x, c.y + b, c.z);
  *ha = std::hypot(sa.x - sc.x, sa.y - sc.y);
  *hb = std::hypot(sb.x - sc.x, sb.y - sc.y);
}

// The point of the ray at angle a (radians, counter-clockwise on the map) from the
// centre; the map's y axis runs against the screen's when scale y is negative.
screen_pt ray_point(screen_pt c, double a) {
  const double sy = target_mapping().scale_y < 0 ? -1.0 : 1.0;
  return screen_pt{c.x + kArcRay * std::cos(a), c.y + sy * kArcRay * std::sin(a)};
}

}  // namespace

void draw_dsegment(obj_t* s, obj_t* o, obj_t* f) {
  draw_lock lock(draw_mutex());
  if (!prepare(attrs_dsegment, s, o, f, offsetof(dsegment_t, vthickness))) return;
  const style_twopoints_t p = field_load<style_twopoints_t>(s, offsetof(dsegment_t, seg));
  draw_clipped_segment(draw_to_screen(p.x1, p.y1, 0), draw_to_screen(p.x2, p.y2, 0),
                       i32(s, offsetof(dsegment_t, vmotif)), width_px(),
                       u32(s, offsetof(dsegment_t, vcolour)), 0);
}

void draw_drectangle(obj_t* s, obj_t* o, obj_t* f) {
  draw_lock lock(draw_mutex());
  if (!prepare(attrs_drectangle, s, o, f, offsetof(drectangle_t, vthickness))) return;
  const style_twopoints_t p = field_load<style_twopoints_t>(s, offsetof(drectangle_t, corner));
  const size_t pixy = offsetof(drectangle_t, vpixy);
  draw_screen_rect(i32(s, offsetof(drectangle_t, vedgemotif)), width_px(),
                   u32(s, offsetof(drectangle_t, vcolour)),
                   i32(s, offsetof(drectangle_t, vfillmotif)),
                   offset_by(draw_to_screen(p.x1, p.y1, 0), s, pixy),
                   offset_by(draw_to_screen(p.x2, p.y2, 0), s, pixy));
}

// A fill motif makes the line a closed outline: it is filled (clipped as a polygon),
// then its edge is drawn with the edge motif (motif 0: the fill alone).
void draw_dpolycurve(obj_t* s, obj_t* o, obj_t* f) {
  draw_lock lock(draw_mutex());
  if (!prepare(attrs_dpolycurve, s, o, f, offsetof(dpolycurve_t, vthickness))) return;
  const coord_list line = field_load<coord_list>(s, offsetof(dpolycurve_t, line));
  if (line.count <= 0 || !line.pts) return;
  const int fill = i32(s, offsetof(dpolycurve_t, vfillmotif));
  std::vector<screen_pt>& buf = draw_st().points;
  const size_t need = size_t(line.count) + 2;
  if (buf.size() < need) buf.resize(need);
  for (int i = 0; i < line.count; ++i) buf[i] = draw_to_screen(line.pts[2 * i], line.pts[2 * i + 1], 0);
  int n = line.count;
  if (fill != 0) buf[n++] = buf[0];
  const uint32_t colour = u32(s, offsetof(dpolycurve_t, vcolour));
  draw_filled_outline(buf.data(), n, colour, fill);
  draw_clipped_polyline(buf.data(), width_px(), i32(s, offsetof(dpolycurve_t, vedgemotif)), colour,
                        fill, n);
}

void draw_darcellip(obj_t* s, obj_t* o, obj_t* f) {
  draw_lock lock(draw_mutex());
  if (!prepare(attrs_darcellip, s, o, f, offsetof(darcellip_t, vthickness))) return;
  double ha = 0, hb = 0;
  half_axes(s, &ha, &hb);
  const screen_pt c = offset_by(point_of(s, offsetof(darcellip_t, center)), s,
                                offsetof(darcellip_t, vpixy));
  const extent_t box{c.x - ha, c.x + ha, c.y - hb, c.y + hb, 0};
  const int motif = i32(s, offsetof(darcellip_t, vedgemotif));
  const int fill = i32(s, offsetof(darcellip_t, vfillmotif));
  const uint32_t colour = u32(s, offsetof(darcellip_t, vcolour));
  const double a0 = f64(s, offsetof(darcellip_t, vangle)), a1 = f64(s, offsetof(darcellip_t, vangle) + 8);
  const double sweep = a1 - a0;
  if (!std::isfinite(sweep) || std::llround(std::fmod(sweep, 360.0)) % 360 == 0) {
    draw_screen_ellipse(box, motif, width_px(), colour, fill, nullptr, nullptr);
    return;
  }
  // Angles in degrees, counted from the ellipse's orientation (radians).
  const double orient = f64(s, offsetof(darcellip_t, vorient));
  const double rot = std::isfinite(orient) ? orient : 0.0;
  constexpr double deg = std::numbers::pi / 180.0;
  const screen_pt p0 = ray_point(c, rot + a0 * deg), p1 = ray_point(c, rot + a1 * deg);
  draw_screen_ellipse(box, motif, width_px(), colour, fill, &p0, &p1);
}

// The size shrinks with the view once the pane shows more ground than the layer's
// threshold scale; a text shrunk below 2 is not drawn.
void draw_dtext(obj_t* s, obj_t* o, obj_t* f) {
  draw_lock lock(draw_mutex());
  if (!prepare(attrs_dtext, s, o, f, offsetof(dtext_t, vthickness))) return;
  const char16_t* text = field_load<const char16_t*>(s, offsetof(dtext_t, text));
  if (!text || !text[0]) return;
  int vsize = i32(s, offsetof(dtext_t, vsize));
  if (vsize == 0) vsize = 10;  // as the extent routine measures it
  const pane_t* pane = draw_st().pane;
  const double text_scale = field_load<double>(pane, offsetof(pane_t, text_scale));
  const layer_t* layer = get_current_layer();
  const double threshold = layer ? field_load<double>(layer, offsetof(layer_t, scale_threshold)) : 0.0;
  const double r = threshold > 0.0 ? std::fabs(target_mapping().scale_x) / threshold : 1.0;
  double size = vsize * text_scale;
  if (r <= 1.0) size *= r;
  if (!(size >= kMinTextSize)) return;
  size = std::min(size, 4096.0);
  const screen_pt p = offset_by(point_of(s, offsetof(dtext_t, pt)), s, offsetof(dtext_t, vpixy));
  draw_screen_text(i32(s, offsetof(dtext_t, vfont)), int(size), i32(s, offsetof(dtext_t, vthickness)),
                   i32(s, offsetof(dtext_t, vunderital)), u32(s, offsetof(dtext_t, vcolour)), text, p);
}

// A dot, then the shape around it with a 1-pixel pen when the scaled width reaches one
// pixel (a style of thickness 0 is a dot).
void draw_dpoint(obj_t* s, obj_t* o, obj_t* f) {
  draw_lock lock(draw_mutex());
  if (!s || !o || !has_target() || !attrs_dpoint(s, o, f)) return;
  const double w = drawobj_scale_width(i32(s, offsetof(dpoint_t, vthickness)),
                                       f64(s, offsetof(drawstyle_t, geopixsize)));
  const screen_pt p = offset_by(point_of(s, offsetof(dpoint_t, pt)), s, offsetof(dpoint_t, vpixy));
  const int motif = i32(s, offsetof(dpoint_t, vmotif));
  const uint32_t colour = u32(s, offsetof(dpoint_t, vcolour));
  draw_screen_dot(motif, colour, 0, p);
  if (w >= 1.0) point_shape(i32(s, offsetof(dpoint_t, vshape)), p, width_px(), motif, colour);
}

void draw_dsegpoint(obj_t* s, obj_t* o, obj_t* f) {
  draw_lock lock(draw_mutex());
  if (!prepare(attrs_dsegpoint, s, o, f, offsetof(dsegpoint_t, vlinkthick))) return;
  const screen_pt a = point_of(s, offsetof(dsegpoint_t, pt));
  const screen_pt b = draw_to_screen(f64(s, offsetof(dsegpoint_t, next_x)),
                                     f64(s, offsetof(dsegpoint_t, next_y)), 0);
  draw_clipped_segment(a, b, i32(s, offsetof(dsegpoint_t, vlinkmotif)), width_px(),
                       u32(s, offsetof(dsegpoint_t, vcolour)), 0);
}

// A symbol that would show smaller than a tenth of its design size is left out, except
// at a scale that shows the whole data or more: data spread so wide (a trip across
// continents, a world file of waypoints) that its symbols would be too small at every
// view holding it is still drawn in that view, never as an empty map. Zoomed out beyond
// it, the rule holds as for any data.
bool symbol_too_small(double scale, double geopixsize, double whole_data_scale) {
  if (geopixsize == 0.0 || !(std::fabs(scale) * geopixsize * 10.0 < 1.0)) return false;
  return !(whole_data_scale > 0.0 && std::fabs(scale) >= whole_data_scale * (1.0 - 1e-9));
}

void draw_dimage(obj_t* s, obj_t* o, obj_t* f) {
  draw_lock lock(draw_mutex());
  if (!s || !o || !has_target() || !attrs_dimage(s, o, f)) return;
  const obj_t* image = field_load<obj_t*>(s, offsetof(dimage_t, vimg));
  if (!image || image->cls != CLS_BITMAP) return;
  if (symbol_too_small(target_mapping().scale_x, f64(s, offsetof(drawstyle_t, geopixsize)),
                       draw_st().whole_data_scale))
    return;
  const screen_pt p = offset_by(point_of(s, offsetof(dimage_t, pt)), s, offsetof(dimage_t, vpixy));
  draw_bitmap_symbol(static_cast<const bitmap_t*>(image), p.x, p.y);
}
