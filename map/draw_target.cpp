// The drawing target and the shared steps of every drawing routine: the pane and device
// context drawn into with the page offsets, the coordinate pipeline, the width scaling
// and the pen and brush cache.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "core/obj_layout.h"
#include "geodesy/xform.h"
#include "map/draw_gdi_internal.h"
#include "map/graphspace.h"
#include "map/view_set.h"

namespace {

// Pen styles of motifs 0..9.
constexpr int kPenStyles[kMotifs] = {plat::PS_NULL,  plat::PS_SOLID, plat::PS_SOLID, plat::PS_SOLID,
                                     plat::PS_SOLID, plat::PS_SOLID, plat::PS_SOLID, plat::PS_SOLID,
                                     plat::PS_DOT,   plat::PS_DASH};

// Puts the stock objects back and deletes what the caches made, so that nothing of
// ours stays selected into a context that lives on (a back buffer).
void release_caches(draw_state& s) {
  if (s.dc) {
    plat::select_object(s.dc, plat::get_stock_object(plat::BLACK_PEN));
    plat::select_object(s.dc, plat::get_stock_object(plat::NULL_BRUSH));
    plat::select_object(s.dc, plat::get_stock_object(plat::SYSTEM_FONT));
  }
  plat::delete_object(s.pen.pen);
  plat::delete_object(s.pen.brush);
  plat::delete_object(s.font.handle);
  s.pen = pen_cache{};
  s.font = font_cache{};
}

}  // namespace

draw_state& draw_st() {
  static draw_state s;
  return s;
}

std::recursive_mutex& draw_mutex() {
  static std::recursive_mutex m;
  return m;
}

int motif_pen_style(int motif) {
  return motif >= 0 && motif < kMotifs ? kPenStyles[motif] : plat::PS_SOLID;
}

// ---- Target -------------------------------------------------------------------------------
void dc_begin(pane_t* pane, plat::Dc dc, int page_x, int page_y) {
  // Read before the drawing lock is taken, so that this adds no order between it and
  // the graph space's lock.
  double whole_data_scale = 0.0;
  if (pane) {
    const extent_t page = pane_page(pane);  // the pass's own copy of the page
    whole_data_scale = view_fit_scale_of(field_load<obj_t*>(pane, offsetof(pane_t, graphspace)),
                                         page.xmax - page.xmin, page.ymax - page.ymin);
  }
  draw_lock lock(draw_mutex());
  draw_state& s = draw_st();
  s.pane = pane;
  s.dc = dc;
  s.page_x = page_x;
  s.page_y = page_y;
  // Objects of the caches may belong to another context: the next selection makes new ones.
  s.pen.valid = false;
  s.font.valid = false;
  s.whole_data_scale = whole_data_scale;
  if (!dc) return;
  plat::set_map_mode(dc, plat::MM_TEXT);
  plat::set_bk_mode(dc, plat::TRANSPARENT);
}

void dc_end() {
  draw_lock lock(draw_mutex());
  draw_state& s = draw_st();
  release_caches(s);
  s.pane = nullptr;
  s.dc = nullptr;
  s.page_x = s.page_y = 0;
  s.whole_data_scale = 0.0;
}

pane_t* draw_target_pane() { return draw_st().pane; }
plat::Dc draw_target_dc() { return draw_st().dc; }
void draw_page_offsets(int* x, int* y) {
  if (x) *x = draw_st().page_x;
  if (y) *y = draw_st().page_y;
}

screen_mapping target_mapping() {
  const pane_t* p = draw_st().pane;
  return p ? field_load<screen_mapping>(p, offsetof(pane_t, map)) : screen_mapping{0, 0, 1, 1};
}

// ---- Pipeline -----------------------------------------------------------------------------
screen_pt draw_to_screen(double x, double y, double z) {
  const layer_t* layer = get_current_layer();
  obj_t* link = layer ? field_load<obj_t*>(layer, offsetof(layer_t, cs_link)) : nullptr;
  if (link) {
    if (!std::isfinite(z) || std::fabs(z) > 1e30) z = 0.0;
    xform_forward(link, XK_CHAIN, &x, &y, &z);
  }
  const screen_mapping m = target_mapping();
  return screen_pt{(x + m.origin_x) * m.scale_x, (y + m.origin_y) * m.scale_y};
}

void draw_to_screen_run(double* xyz, int n, screen_pt* out) {
  if (n <= 0) return;
  const layer_t* layer = get_current_layer();
  obj_t* link = layer ? field_load<obj_t*>(layer, offsetof(layer_t, cs_link)) : nullptr;
  if (link) {
    for (int i = 0; i < n; ++i) {
      double& z = xyz[3 * size_t(i) + 2];
      if (!std::isfinite(z) || std::fabs(z) > 1e30) z = 0.0;
    }
    // xform_forward of a chain step: the chain's own walk, here over the whole run.
    xform_chain_forward_points(static_cast<xform_chain_t*>(link), xyz, n);
  }
  const screen_mapping m = target_mapping();
  for (int i = 0; i < n; ++i) {
    const double* p = xyz + 3 * size_t(i);
    out[i] = screen_pt{(p[0] + m.origin_x) * m.scale_x, (p[1] + m.origin_y) * m.scale_y};
  }
}

// ---- Width ----------------------------------------------------------------------------------
double drawobj_scale_width(double thickness, double geopixsize) {
  const pane_t* p = draw_st().pane;
  const double symbol_scale = p ? field_load<double>(p, offsetof(pane_t, symbol_scale)) : 1.0;
  double w = thickness * symbol_scale;
  if (geopixsize > 0.0) w *= std::min(geopixsize * std::fabs(target_mapping().scale_x), 1.0);
  if (!std::isfinite(w)) w = 0.0;
  // A width beyond any screen would only make the device work for nothing.
  draw_st().width = std::min(std::max(w, 1.0), 1000.0) + 0.1;
  return w;
}

double draw_current_width() { return draw_st().width; }

double draw_symbol_scale() {
  const pane_t* p = draw_st().pane;
  const double f = p ? field_load<double>(p, offsetof(pane_t, symbol_scale)) : 1.0;
  return std::isfinite(f) && f > 0.0 ? f : 1.0;
}

// ---- Pen and brush --------------------------------------------------------------------------
void select_pen_brush(int motif, int width, uint32_t colour, int fill) {
  draw_state& s = draw_st();
  pen_cache& c = s.pen;
  const uint32_t rgb = colour & 0xFFFFFFu;
  if (!s.dc) return;
  if (c.valid && c.motif == motif && c.width == width && c.rgb == rgb && c.fill == fill &&
      c.dc == s.dc)
    return;
  c.valid = true;
  c.motif = motif;
  c.width = width;
  c.rgb = rgb;
  c.fill = fill;
  c.dc = s.dc;
  plat::Pen pen = plat::create_pen(motif_pen_style(motif), width, word_colour(rgb));
  plat::select_object(s.dc, pen);
  plat::delete_object(c.pen);
  c.pen = pen;
  plat::select_object(s.dc, plat::get_stock_object(plat::NULL_BRUSH));
  plat::delete_object(c.brush);
  c.brush = nullptr;
  if (fill != 0) {
    c.brush = plat::create_solid_brush(word_colour(rgb));
    plat::select_object(s.dc, c.brush);
  }
}
