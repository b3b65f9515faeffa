// The object handlers of the MIF reader: each reads its numbers and makes its drawn
// shapes in the file's list with the current pen, brush, symbol and font.
//
// Objects of a fixed number of values (point, line, arc, rect, ellipse, text) are made
// only when all their values were read: the end of the file inside them is bad data
// (14), and so is the end of the file before a count. Polylines and regions keep the
// points read when the file ends inside their point lists; their counts (sections,
// polygons, points) are first checked against the bytes left, and their point arrays
// grow with the points really read.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "core/reader.h"
#include "core/scanner.h"
#include "core/strutil.h"
#include "core/wstring.h"
#include "formats/mif.h"
#include "formats/mif_read_internal.h"
#include "map/gps_classes.h"

namespace {

// A count of points, sections or polygons takes at least one byte of the file each.
constexpr int64_t kBytesPerItem = 1;

// n numbers; false (error 14) when the file ended inside them.
bool numbers(mif_context* c, double* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = mif_number(c);
  if (!c->ended) return true;
  mif_error(c);
  return false;
}

template <class T> T* make(mif_context* c, int cls) {
  return static_cast<T*>(mif_new_object(c, cls));
}

void make_point(mif_context* c, double x, double y) {
  auto* p = make<geopoint_t>(c, CLS_GEOPOINT);
  if (!p) return;
  p->coords = gps_point_t{x, y, 0.0f};
  p->colour = c->symbol_colour;
  p->thickness = c->symbol_size;
  p->shape = c->symbol_shape;
}

// The colour of a filled shape: the brush's when it fills, else the pen's.
uint32_t fill_colour(const mif_context* c) {
  return c->brush_kind != 0 ? c->brush_colour : c->pen_colour;
}

// Up to n points into pts; fewer when the file ends inside them (the partial point is
// dropped).
void read_points(mif_context* c, int64_t n, std::vector<double>* pts) {
  pts->clear();
  for (int64_t i = 0; i < n && !c->ended && get_gblerr() == 0; ++i) {
    const double x = mif_number(c);
    const double y = mif_number(c);
    if (c->ended) break;
    pts->push_back(x);
    pts->push_back(y);
  }
}

// A loil over the points read; none for an empty list.
loil_t* make_loil(mif_context* c, const std::vector<double>& pts) {
  if (pts.empty()) return nullptr;
  auto* l = make<loil_t>(c, CLS_LOIL);
  if (!l) return nullptr;
  double* copy = nullptr;
  alloc_mem(&copy, pts.size() * sizeof(double));
  std::memcpy(copy, pts.data(), pts.size() * sizeof(double));
  coord_list cl{};
  cl.count = int32_t(pts.size() / 2);
  cl.pts = copy;
  std::memcpy(&l->loicoord, &cl, sizeof cl);
  return l;
}

// One section of n points (n read here): false when reading must stop.
bool section(mif_context* c, bool region) {
  const int64_t n = mif_count(c);
  if (c->ended) {
    mif_error(c);  // the section's count is missing
    return false;
  }
  if (!mif_count_fits(c, n, kBytesPerItem)) return false;
  std::vector<double> pts;
  read_points(c, n, &pts);
  loil_t* l = make_loil(c, pts);
  if (l) {
    l->edgemotif = c->pen_style;
    l->thickness = c->pen_width;
    if (region) {
      l->fillmotif = c->brush_kind;
      l->colour = fill_colour(c);
      l->fillcolor = c->brush_colour;
    } else {
      l->fillmotif = 0;
      l->colour = c->pen_colour;
    }
  }
  return !c->ended && get_gblerr() == 0;
}

// The box of two corners with its minimum first.
void normalise(double* v) {
  if (v[0] > v[2]) std::swap(v[0], v[2]);
  if (v[1] > v[3]) std::swap(v[1], v[3]);
}

georectangle_t* make_rect(mif_context* c, const double* v) {
  auto* r = make<georectangle_t>(c, CLS_GEORECTANGLE);
  if (!r) return nullptr;
  r->coords = gps_twopoints_t{v[0], v[1], v[2], v[3], 0.0};
  r->colour = fill_colour(c);
  r->thickness = c->pen_width;
  r->edgemotif = c->pen_style;
  r->fillmotif = c->brush_kind;
  return r;
}

geoarcellip_t* make_arcellip(mif_context* c, const double* v) {
  auto* e = make<geoarcellip_t>(c, CLS_GEOARCELLIP);
  if (!e) return nullptr;
  e->center = gps_point_t{(v[0] + v[2]) / 2.0, (v[1] + v[3]) / 2.0, 0.0f};
  e->graxis = v[2] - v[0];
  e->smaxis = v[3] - v[1];
  e->orient = 0.0;
  e->angle = gps_angles_t{0.0, 0.0};
  return e;
}

}  // namespace

void mif_on_point(mif_context* c) {
  double v[2];
  if (numbers(c, v, 2)) make_point(c, v[0], v[1]);
}

void mif_on_multipoint(mif_context* c) {
  const int64_t n = mif_count(c);
  if (c->ended) return mif_error(c);
  if (!mif_count_fits(c, n, kBytesPerItem)) return;
  for (int64_t i = 0; i < n && get_gblerr() == 0; ++i) {
    double v[2];
    if (!numbers(c, v, 2)) return;
    make_point(c, v[0], v[1]);
  }
}

void mif_on_line(mif_context* c) {
  double v[4];
  if (!numbers(c, v, 4)) return;
  auto* s = make<geosegment_t>(c, CLS_GEOSEGMENT);
  if (!s) return;
  s->coords = gps_twopoints_t{v[0], v[1], v[2], v[3], 0.0};
  s->colour = c->pen_colour;
  s->thickness = c->pen_width;
  s->motif = c->pen_style;
}

// "PLINE [MULTIPLE sections]": without MULTIPLE one section, whose count is the word
// that was looked at.
void mif_on_pline(mif_context* c) {
  const int64_t mark = rd_tell();
  char word[16];
  mif_sync(c);
  rd_read_token(sizeof word, &c->remaining, word, nullptr);
  if (get_gblerr() == ERR_FILE_ACCESS) set_gblerr(0);
  int64_t sections = 1;
  if (strn_compare_ci(word, "multiple", 9) == 0) {
    sections = mif_count(c);
    if (c->ended) return mif_error(c);
    if (!mif_count_fits(c, sections, kBytesPerItem)) return;
  } else {
    rd_seek(mark, 0);
    mif_sync(c);
  }
  for (int64_t i = 0; i < sections; ++i)
    if (!section(c, false)) break;
}

void mif_on_region(mif_context* c) {
  const int64_t polygons = mif_count(c);
  if (c->ended) return mif_error(c);
  if (!mif_count_fits(c, polygons, kBytesPerItem)) return;
  for (int64_t i = 0; i < polygons; ++i)
    if (!section(c, true)) break;
}

void mif_on_rect(mif_context* c) {
  double v[4];
  if (numbers(c, v, 4)) make_rect(c, v);
}

// The corner radius that follows is left with the rest of the line.
void mif_on_roundrect(mif_context* c) {
  double v[4];
  if (!numbers(c, v, 4)) return;
  make_rect(c, v);
  if (get_gblerr() == 0) {
    mif_sync(c);
    rd_skip_line(&c->remaining);
    if (get_gblerr() == ERR_FILE_ACCESS) set_gblerr(0);
    mif_sync(c);
  }
}

void mif_on_ellipse(mif_context* c) {
  double v[4];
  if (!numbers(c, v, 4)) return;
  geoarcellip_t* e = make_arcellip(c, v);
  if (!e) return;
  e->colour = fill_colour(c);
  e->edgemotif = c->pen_style;
  e->fillmotif = c->brush_kind;
}

void mif_on_arc(mif_context* c) {
  double v[6];
  if (!numbers(c, v, 6)) return;
  geoarcellip_t* e = make_arcellip(c, v);
  if (!e) return;
  e->angle = gps_angles_t{v[4], v[5]};
  e->colour = c->pen_colour;
  e->edgemotif = c->pen_style;
  e->fillmotif = 0;
}

// A text and its box; an empty text makes nothing but its numbers are read.
void mif_on_text(mif_context* c) {
  char text[kMifTextSize];
  mif_quoted(c, text, sizeof text);
  if (c->ended) return mif_error(c);
  double v[4];
  if (!numbers(c, v, 4)) return;
  normalise(v);
  if (!text[0]) return;
  auto* t = make<geotext_t>(c, CLS_GEOTEXT);
  if (!t) return;
  char16_t* wide = nullptr;
  mbs_to_wcs(text, &wide);
  std::memcpy(&t->text, &wide, sizeof wide);
  t->coords = gps_point_t{v[0], v[3], 0.0f};
  t->font = c->font_family;
  t->thickness = c->font_style;
  t->underital = c->font_underital;
  t->size = c->font_size;
  t->colour = c->font_colour;
  t->textzone = extent_t{v[0], v[2], v[1], v[3], 0.0};
  auto* r = make<georectangle_t>(c, CLS_GEORECTANGLE);
  if (!r) return;
  r->coords = gps_twopoints_t{v[0], v[1], v[2], v[3], 0.0};
  r->colour = c->font_colour;
  r->thickness = 1;
  r->edgemotif = 0;
  r->fillmotif = 0;
}
