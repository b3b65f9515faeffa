// The style clauses of the MIF reader: Pen, Brush, Symbol and Font set the current
// values and restyle the objects made since the previous clause (`recent`), walking
// them from the last one back; Label reads what follows a text's label line.
//
// MapInfo numbers become the system's indexes through the tables below: pen widths
// above 7 are tenths of a point (plus 10), pen patterns fold onto none, solid, dotted
// and dashed, brush patterns onto the eight fill indexes, symbol codes 32 to 67 onto
// the six point shapes.
#include <cmath>
#include <cstring>

#include "core/error.h"
#include "formats/mif_read_internal.h"
#include "map/gps_classes.h"

namespace {

void style_applied(mif_context* c) { c->style_seen = true; }

obj_t* recent_at(const mif_context* c, int i) { return c->recent->elems[i]; }

}  // namespace

int mif_pen_width_of(int w) {
  if (w <= 7) return w;
  return int(std::lround(double(w) * 0.1)) - 1;
}

int mif_pen_style_of(int p) {
  if (p < 2) return 0;
  if (p == 2) return 1;
  if (p == 3 || p == 4 || p == 10) return 8;
  if (p <= 58) return 9;
  return 1;
}

int mif_brush_kind_of(int p) {
  if (p == 0 || p == 1) return 0;
  if (p == 2) return 1;
  if (p == 3 || (p >= 19 && p <= 23)) return 4;
  if (p == 4 || (p >= 24 && p <= 28)) return 5;
  if (p == 5 || (p >= 29 && p <= 33)) return 2;
  if (p == 6 || (p >= 34 && p <= 38)) return 3;
  if (p == 7 || (p >= 39 && p <= 43)) return 6;
  return 7;
}

int mif_symbol_shape_of(int s) {
  if (s < 32 || s > 67) return 0;
  switch (s) {
    case 32: case 33: case 38: case 39: case 44: return 2;
    case 34: case 40: case 46: case 59: return 1;
    case 36: case 37: case 42: case 43: case 45: return 5;
    case 50: return 4;
    default: return 3;
  }
}

uint32_t mif_colour_of(int64_t c) {
  return gps_rgb(int(c >> 16 & 255), int(c >> 8 & 255), int(c & 255));
}

namespace {
int clamp_int(double v) {
  if (!(v > -2147483647.0)) return v != v ? 0 : -2147483647;
  if (v > 2147483647.0) return 2147483647;
  return int(v);
}
int64_t colour_value(double v) {
  if (!(v >= 0.0) || v > 4294967295.0) return 0;
  return int64_t(v);
}
}  // namespace

void mif_on_pen(mif_context* c) {
  const int w = clamp_int(mif_number(c));
  const int p = clamp_int(mif_number(c));
  const int64_t colour = colour_value(mif_number(c));
  c->pen_width = mif_pen_width_of(w);
  c->pen_style = mif_pen_style_of(p);
  c->pen_colour = mif_colour_of(colour);
  for (int i = obj_list_count(c->recent) - 1; i >= 0; --i) {
    obj_t* o = recent_at(c, i);
    if (o->cls == CLS_GEOSEGMENT) {
      auto* s = static_cast<geosegment_t*>(o);
      s->thickness = c->pen_width;
      s->motif = c->pen_style;
      s->colour = c->pen_colour;
    } else if (o->cls == CLS_LOIL) {
      auto* l = static_cast<loil_t*>(o);
      l->thickness = c->pen_width;
      l->edgemotif = c->pen_style;
      l->colour = c->pen_colour;
    } else if (o->cls == CLS_GEORECTANGLE) {
      auto* r = static_cast<georectangle_t*>(o);
      r->thickness = c->pen_width;
      r->edgemotif = c->pen_style;
      r->colour = c->pen_colour;
    } else if (o->cls == CLS_GEOARCELLIP) {
      auto* e = static_cast<geoarcellip_t*>(o);
      e->edgemotif = c->pen_style;
      e->colour = c->pen_colour;
    } else {
      break;
    }
  }
  style_applied(c);
}

// The back colour that may follow is left with the rest of the line.
void mif_on_brush(mif_context* c) {
  const int p = clamp_int(mif_number(c));
  const int64_t colour = colour_value(mif_number(c));
  const int before = c->brush_kind;
  c->brush_kind = mif_brush_kind_of(p);
  c->brush_colour = mif_colour_of(colour);
  for (int i = obj_list_count(c->recent) - 1; i >= 0; --i) {
    obj_t* o = recent_at(c, i);
    if (o->cls == CLS_LOIL) {
      auto* l = static_cast<loil_t*>(o);
      if (l->fillmotif != before) continue;
      l->fillmotif = c->brush_kind;
      l->fillcolor = c->brush_colour;
      l->colour = c->brush_kind != 0 ? c->brush_colour : c->pen_colour;
    } else if (o->cls == CLS_GEORECTANGLE) {
      auto* r = static_cast<georectangle_t*>(o);
      r->fillmotif = c->brush_kind;
      if (c->brush_kind != 0) r->colour = c->brush_colour;
    } else if (o->cls == CLS_GEOARCELLIP) {
      auto* e = static_cast<geoarcellip_t*>(o);
      e->fillmotif = c->brush_kind;
      if (c->brush_kind != 0) e->colour = c->brush_colour;
    } else {
      break;
    }
  }
  style_applied(c);
}

void mif_on_symbol(mif_context* c) {
  const int shape = clamp_int(mif_number(c));
  const int64_t colour = colour_value(mif_number(c));
  const int size = clamp_int(mif_number(c));
  c->symbol_shape = mif_symbol_shape_of(shape);
  c->symbol_colour = mif_colour_of(colour);
  c->symbol_size = size;
  for (int i = obj_list_count(c->recent) - 1; i >= 0; --i) {
    obj_t* o = recent_at(c, i);
    if (o->cls != CLS_GEOPOINT) break;
    auto* p = static_cast<geopoint_t*>(o);
    p->colour = c->symbol_colour;
    p->thickness = c->symbol_size;
    p->shape = c->symbol_shape;
  }
  style_applied(c);
}

void mif_on_font(mif_context* c) {
  char name[kMifTextSize];
  mif_quoted(c, name, sizeof name);
  for (char* p = name; *p; ++p)
    if (*p >= 'A' && *p <= 'Z') *p = char(*p - 'A' + 'a');
  if (std::strstr(name, "arial"))
    c->font_family = 1;
  else if (std::strstr(name, "times"))
    c->font_family = 2;
  else if (std::strstr(name, "courier"))
    c->font_family = 3;
  const int b = clamp_int(mif_number(c));
  c->font_style = (b & 1) ? 3 : 1;
  c->font_underital = ((b & 2) ? 1 : 0) + ((b & 4) ? 2 : 0);
  c->font_size = clamp_int(mif_number(c));
  c->font_colour = mif_colour_of(colour_value(mif_number(c)));
  for (int i = 0; i < obj_list_count(c->recent); ++i) {
    obj_t* o = recent_at(c, i);
    if (o->cls != CLS_GEOTEXT) continue;
    auto* t = static_cast<geotext_t*>(o);
    t->font = c->font_family;
    t->thickness = c->font_style;
    t->underital = c->font_underital;
    t->size = c->font_size;
    t->colour = c->font_colour;
  }
  style_applied(c);
}

// "LABEL LINE kind x y" after a text: the point is read and dropped.
void mif_on_label(mif_context* c) {
  mif_next_word(c);
  const int n = obj_list_count(c->recent);
  if (std::strcmp(c->token, "line") != 0 || n == 0) return;
  if (recent_at(c, n - 1)->cls != CLS_GEORECTANGLE) return;
  mif_number(c);
  mif_number(c);
}
