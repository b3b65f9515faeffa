// The MIF writers of the drawing classes: each writes one source object as its style
// shows it (display attributes resolved through the style), in the file's system.
//
// Numbers: coordinates with 16 significant digits, colours as red x 65536 + green x 256
// + blue, pen widths above 7 in MapInfo's tenths of a point (10 w + 10), MapInfo symbol,
// pen and brush numbers from the geodesy module's style tables.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "core/wstring.h"
#include "formats/mif_write_internal.h"
#include "geodesy/mapinfo.h"
#include "map/draw_styles.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"

namespace {

constexpr size_t kNum = 64;
constexpr double kQuarterTurn = 0.7853981633974483;       // 45 degrees
constexpr double kFiveQuarterTurns = 3.9269908169872414;  // 225 degrees

uint32_t mif_colour(uint32_t word) {
  return (word & 255) * 65536 + (word >> 8 & 255) * 256 + (word >> 16 & 255);
}

// The width written for a style thickness: w = thickness x factor (capped at 1), rounded;
// below 2 it is 1, above 7 MapInfo's 10 w + 10.
int pen_width(int thickness, double factor) {
  const long w = std::lround(double(thickness) * std::min(factor, 1.0));
  if (w < 2) return 1;
  if (w > 7) return int(10 * w + 10);
  return int(w);
}

int pattern_or_solid(int n) { return n < 0 ? 2 : n; }

void pen_line(FILE* out, int thickness, double factor, int style, uint32_t colour) {
  std::fprintf(out, "  PEN (%d,%d,%u)\n", pen_width(thickness, factor),
               pattern_or_solid(mif_pen_pattern(style)), mif_colour(colour));
}

void brush_line(FILE* out, int fill, uint32_t colour) {
  const int p = mif_brush_pattern(fill);
  std::fprintf(out, "  BRUSH (%d,%u)\n", p < 0 ? 1 : p, mif_colour(colour));
}

// "<x> <y>" carried into the file's system, then `end`.
void point_text(mif_writer* w, double x, double y, const char* end) {
  mif_carry(w, &x, &y);
  char a[kNum], b[kNum];
  std::fprintf(w->out, "%s %s%s", mif_num(x, a, sizeof a), mif_num(y, b, sizeof b), end);
}

// Two corners carried into the file's system: "x1 y1 x2 y2".
void box_text(mif_writer* w, double x1, double y1, double x2, double y2) {
  mif_carry(w, &x1, &y1);
  mif_carry(w, &x2, &y2);
  char a[kNum], b[kNum], c[kNum], d[kNum];
  std::fprintf(w->out, "%s %s %s %s\n", mif_num(x1, a, sizeof a), mif_num(y1, b, sizeof b),
               mif_num(x2, c, sizeof c), mif_num(y2, d, sizeof d));
}

void symbol_point(mif_writer* w, const style_point_t& pt, int shape, uint32_t colour, int size) {
  std::fputs("POINT ", w->out);
  point_text(w, pt.x, pt.y, "\n");
  std::fprintf(w->out, "  SYMBOL (%d,%u,%d)\n", shape, mif_colour(colour), size);
}

void write_dpoint(mif_writer* w, obj_t* style, obj_t*, obj_t*) {
  const auto* s = static_cast<const dpoint_t*>(style);
  const int shape = mif_symbol_shape(s->vshape);
  symbol_point(w, s->pt, shape < 0 ? mif_symbol_shape(0) : shape, s->vcolour, s->vthickness);
}

void write_dimage(mif_writer* w, obj_t* style, obj_t*, obj_t*) {
  const auto* s = static_cast<const dimage_t*>(style);
  symbol_point(w, s->pt, mif_symbol_shape(4), s->vcolour, std::max<int>(s->vsizew, 4));
}

void write_dsegment(mif_writer* w, obj_t* style, obj_t*, obj_t*) {
  const auto* s = static_cast<const dsegment_t*>(style);
  std::fputs("LINE ", w->out);
  box_text(w, s->seg.x1, s->seg.y1, s->seg.x2, s->seg.y2);
  pen_line(w->out, s->vthickness, 1.0, s->vmotif, s->vcolour);
}

void write_dpolycurve(mif_writer* w, obj_t* style, obj_t*, obj_t*) {
  const auto* s = static_cast<const dpolycurve_t*>(style);
  coord_list line;
  std::memcpy(&line, &s->line, sizeof line);
  if (line.count <= 0 || !line.pts) return;
  const bool filled = s->vfillmotif != 0;
  if (filled)
    std::fprintf(w->out, "REGION 1\n  %d\n", int(line.count));
  else
    std::fprintf(w->out, "PLINE\n  %d\n", int(line.count));
  for (int i = 0; i < line.count; ++i) point_text(w, line.pts[2 * i], line.pts[2 * i + 1], "\n");
  pen_line(w->out, s->vthickness, 0.5, s->vedgemotif, s->vcolour);
  if (filled) brush_line(w->out, s->vfillmotif, s->vcolour);
}

void write_drectangle(mif_writer* w, obj_t* style, obj_t*, obj_t*) {
  const auto* s = static_cast<const drectangle_t*>(style);
  std::fputs("RECT ", w->out);
  box_text(w, s->corner.x1, s->corner.y1, s->corner.x2, s->corner.y2);
  pen_line(w->out, s->vthickness, 1.0, s->vedgemotif, s->vcolour);
  brush_line(w->out, s->vfillmotif, s->vcolour);
}

// The box of an ellipse: centre plus and minus half the axes, the axes exchanged for an
// orientation between 45 and 225 degrees.
void write_darcellip(mif_writer* w, obj_t* style, obj_t*, obj_t*) {
  const auto* s = static_cast<const darcellip_t*>(style);
  double ga = s->vgraxis, sa = s->vsmaxis;
  const double orient = s->vorient;
  if (orient > kQuarterTurn && orient < kFiveQuarterTurns) std::swap(ga, sa);
  const double cx = s->center.x, cy = s->center.y;
  const double a0 = s->vangle[0], a1 = s->vangle[1];
  const double span = a1 - a0;
  const bool arc = std::isfinite(span) && std::llround(std::fmod(span, 360.0)) % 360 != 0;
  std::fputs(arc ? "ARC " : "ELLIPSE ", w->out);
  box_text(w, cx - ga / 2.0, cy - sa / 2.0, cx + ga / 2.0, cy + sa / 2.0);
  if (arc) {
    char a[kNum], b[kNum];
    std::fprintf(w->out, "  %s %s\n", mif_num(a0, a, sizeof a), mif_num(a1, b, sizeof b));
  }
  pen_line(w->out, s->vthickness, 1.0, s->vedgemotif, s->vcolour);
  if (!arc) brush_line(w->out, s->vfillmotif, s->vcolour);
}

const char* font_name(int family) {
  switch (family) {
    case 2: return "Times New Roman";
    case 3: return "Courier New";
    default: return "Arial";
  }
}

// The text in the user's code page; a double quote (which would end the text) becomes a
// single one and a line end a blank.
std::string text_of(const char16_t* text) {
  char* mb = nullptr;
  wcs_to_mbs(text, &mb);
  std::string out = mb ? mb : "";
  free_mem(&mb);
  for (char& ch : out) {
    if (ch == '"') ch = '\'';
    if (ch == '\n' || ch == '\r') ch = ' ';
  }
  return out;
}

// The box of the drawn text (left, lower, right, upper), held within the layer's extent
// divided by its count of text points.
void text_box(mif_writer* w, obj_t* style, obj_t* object, obj_t* father, double box[4]) {
  const auto* s = static_cast<const dtext_t*>(style);
  box[0] = box[2] = s->pt.x;
  box[1] = box[3] = s->pt.y;
  gindex_entry_t entry{};
  if (extent_dtext(style, object, father, &entry)) {
    box[0] = entry.extent.xmin;
    box[1] = entry.extent.ymin;
    box[2] = entry.extent.xmax;
    box[3] = entry.extent.ymax;
  }
  if (w->layer && w->text_points > 0) {
    const extent_t e = w->layer->extent;
    box[2] = std::min(box[2], box[0] + (e.xmax - e.xmin) / w->text_points);
    box[1] = std::max(box[1], box[3] - (e.ymax - e.ymin) / w->text_points);
  }
}

void write_dtext(mif_writer* w, obj_t* style, obj_t* object, obj_t* father) {
  const auto* s = static_cast<const dtext_t*>(style);
  const char16_t* text = s->text;
  if (!text || !text[0]) return;
  double box[4];
  text_box(w, style, object, father, box);
  s = static_cast<const dtext_t*>(style);  // the extent routine loaded it again
  std::fprintf(w->out, "TEXT \"%s\"\n  ", text_of(text).c_str());
  box_text(w, box[0], box[1], box[2], box[3]);
  int font_style = s->vthickness >= 3 ? 1 : 0;
  if (s->vunderital >= 1 && s->vunderital <= 3) font_style += 2 * s->vunderital;
  std::fprintf(w->out, "  FONT (\"%s\",%d,0,%u)\n", font_name(s->vfont), font_style,
               mif_colour(s->vcolour));
}

}  // namespace

mif_object_writer mif_writer_of(int style_class) {
  switch (style_class) {
    case CLS_DIMAGE: return write_dimage;
    case CLS_DSEGMENT: return write_dsegment;
    case CLS_DPOINT: return write_dpoint;
    case CLS_DTEXT: return write_dtext;
    case CLS_DPOLYCURVE: return write_dpolycurve;
    case CLS_DRECTANGLE: return write_drectangle;
    case CLS_DARCELLIP: return write_darcellip;
    default: return nullptr;
  }
}

void mif_write_segpoints(mif_writer* w, obj_t* style) {
  const auto* d = static_cast<const dsegpoint_t*>(style);
  const container_t* src = d->contsrc;
  std::vector<double> pts;
  for (int k = 0; k < obj_list_count(src) && get_gblerr() == 0; ++k) {
    obj_t* o = src->elems[k];
    if (!o || o->cls != d->typesrc) continue;
    obj_t* father = nullptr;
    if (d->typeperesrc) obj_get_father(o, &father);
    if (!attrs_dsegpoint(style, o, father)) continue;
    pts.push_back(d->pt.x);
    pts.push_back(d->pt.y);
  }
  if (pts.empty()) return;
  std::fprintf(w->out, "PLINE\n  %d\n", int(pts.size() / 2));
  for (size_t i = 0; i < pts.size(); i += 2) point_text(w, pts[i], pts[i + 1], "\n");
  pen_line(w->out, d->vthickness, 0.5, d->vmotif, d->vcolour);
}
