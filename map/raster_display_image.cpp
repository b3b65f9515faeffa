// One image resampled into the display's DIB.
//
// The image's footprint is mapped to screen pixels through the pane and the image's
// georeference; the destination pixels whose centres lie on the image are drawn. Each
// destination column and row gets the span of source pixels under it (its two edges
// mapped through the same chain, so only the corners of the axes are followed and a
// rotation is not). When a screen pixel covers at least the loader's overview factor
// of source pixels on both axes and the image has an overview, the overview is read
// instead. When it covers at least 1.1 source pixels on both axes the pixel gets the
// block mean of the span, else the source pixel under its centre. Transparent pixels
// leave what is under them. Destination rows are walked so that the source rows come
// in ascending order; a row that the reader does not deliver (a command waits) ends the
// image with 1, and the pass gives way.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "map/extent_map.h"
#include "map/raster_display.h"
#include "map/raster_display_internal.h"
#include "map/view_records.h"

namespace {

constexpr int kFormatSid = 18;
constexpr double kMeanStep = 1.1;
constexpr double kEdgeSlack = 1e-7;

// Image coordinates of a screen point.
void screen_to_image_point(screen_mapping m, const bitmap_t* b, double sx, double sy,
                           double* ix, double* iy) {
  extent_t s{sx, sx, sy, sy, 0}, w{}, i{};
  screen_to_world_extent(m, s, &w);
  georef_world_to_image(b, w, &i);
  *ix = i.xmin;
  *iy = i.ymin;
}

// The span of source pixels of each destination column (or row): [lo, hi) and the pixel
// under its centre, -1 when the centre is off the source.
struct spans {
  std::vector<int> lo, hi, centre;
  double step = 0;      // source pixels per destination pixel
  bool ascending = true;
};

void make_spans(const std::vector<double>& edges, double divisor, int size, spans* out) {
  const size_t n = edges.size() - 1;
  out->lo.resize(n);
  out->hi.resize(n);
  out->centre.resize(n);
  const double first = edges.front() / divisor, last = edges.back() / divisor;
  out->step = std::fabs(last - first) / double(n);
  out->ascending = last >= first;
  const double limit = double(size) + 1;
  for (size_t k = 0; k < n; ++k) {
    double a = edges[k] / divisor, b = edges[k + 1] / divisor;
    if (a > b) std::swap(a, b);
    const double c = std::floor((a + b) / 2);
    out->centre[k] = c >= 0 && c < size ? int(c) : -1;
    if (!std::isfinite(a) || !std::isfinite(b)) {  // a mapping without finite pixels
      out->centre[k] = -1;
      a = b = 0;
    }
    a = std::clamp(a, 0.0, limit);
    b = std::clamp(b, 0.0, limit);
    int lo = int(std::floor(a + kEdgeSlack)), hi = int(std::ceil(b - kEdgeSlack));
    lo = std::min(lo, size - 1);
    hi = std::clamp(hi, lo + 1, size);
    out->lo[k] = lo;
    out->hi[k] = hi;
  }
}

// The destination block: pixels of the DIB whose centres lie on the footprint.
bool destination_block(const raster_dib& d, extent_t foot, int* c0, int* c1, int* r0, int* r1) {
  const double x0 = std::max(double(d.x), std::ceil(foot.xmin - 0.5));
  const double x1 = std::min(double(d.x + d.width), std::ceil(foot.xmax - 0.5));
  const double y0 = std::max(double(d.y), std::ceil(foot.ymin - 0.5));
  const double y1 = std::min(double(d.y + d.height), std::ceil(foot.ymax - 0.5));
  if (!(x1 > x0) || !(y1 > y0)) return false;
  *c0 = int(x0);
  *c1 = int(x1);
  *r0 = int(y0);
  *r1 = int(y1);
  return true;
}

// The screen footprint of the image.
extent_t footprint(screen_mapping m, const bitmap_t* b) {
  extent_t px{}, world{}, screen{};
  bitmap_extent(b, &px);
  georef_image_to_world(b, px, &world);
  world_to_screen_extent(m, world, &screen);
  return screen;
}

void put_pixel(raster_dib& d, int col, int row, int r, int g, int b) {
  uint8_t* line = d.pixels + size_t(row) * size_t(d.row_bytes);
  if (d.palette_mode) {
    line[col] = uint8_t((77 * r + 150 * g + 29 * b) >> 8);
    return;
  }
  const uint32_t p = uint32_t(r) << rshift | uint32_t(g) << vshift | uint32_t(b) << bshift;
  std::memcpy(line + 4 * size_t(col), &p, 4);
}

void put_grey(raster_dib& d, int col, int row, int v) {
  if (d.palette_mode)
    d.pixels[size_t(row) * size_t(d.row_bytes) + size_t(col)] = uint8_t(v);
  else
    put_pixel(d, col, row, v, v, v);
}

// The colour kind of the bitmap record's byte before the format: 1 and 2 grey, 3 palette,
// 4 three planes; an unset kind follows the planes.
int colour_kind(const bitmap_t* b) {
  int kind = b->byte20;
  if (kind < 1 || kind > 4) kind = b->planes >= 3 ? 4 : 3;
  if (kind == 4 && b->planes < 3) kind = 3;
  return kind;
}

struct source {
  bitmap_t* image;
  int overview;
  int width, height;  // of the store read
  int kind;
  int depth;
};

// One destination row of block means; 1 when the reader gave way.
int mean_row(raster_dib& d, const source& s, const spans& cols, int c0, int row, int y0,
             int y1) {
  const int ye = std::min({y1, y0 + s.depth, s.height});
  const uint8_t* rows[10];
  for (int y = y0; y < ye; ++y)
    if (!(rows[y - y0] = raster_image_line(s.image, y, s.overview))) return 1;
  const mean_rows r{s.image, rows, ye - y0, s.width};
  for (size_t k = 0; k < cols.lo.size(); ++k) {
    if (cols.centre[k] < 0) continue;
    const int x0 = cols.lo[k], x1 = std::min(cols.hi[k], x0 + kMeanMaxColumns);
    int v[3] = {0, 0, 0};
    const int col = c0 + int(k) - d.x;
    if (s.kind <= 2) {
      if (rows_mean_gray(r, x0, x1, 0, v) == 0) put_grey(d, col, row, v[0]);
    } else if ((s.kind == 4 ? rows_mean_rgb(r, x0, x1, v) : rows_mean_lut(r, x0, x1, v)) == 0) {
      put_pixel(d, col, row, v[0], v[1], v[2]);
    }
  }
  return 0;
}

// One destination row of source pixels under the centres; 1 when the reader gave way.
int sample_row(raster_dib& d, const source& s, const spans& cols, int c0, int row, int y) {
  const uint8_t* line = raster_image_line(s.image, y, s.overview);
  if (!line) return 1;
  const bitmap_t* b = s.image;
  const bool skip = b->has_transparent != 0;
  const uint8_t* t = b->transparent;
  const int w = s.width;
  for (size_t k = 0; k < cols.centre.size(); ++k) {
    const int x = cols.centre[k];
    if (x < 0) continue;
    const int col = c0 + int(k) - d.x;
    if (b->planes >= 3) {
      const uint8_t r = line[x], g = line[w + x], bl = line[2 * w + x];
      if (skip && r == t[0] && g == t[1] && bl == t[2]) continue;
      put_pixel(d, col, row, r, g, bl);
    } else {
      const uint8_t v = line[x];
      if (skip && v == t[0]) continue;
      put_pixel(d, col, row, b->lut_r[v], b->lut_g[v], b->lut_b[v]);
    }
  }
  return 0;
}

int external_display(bitmap_t* b, raster_dib& d, extent_t block) {
  const raster_display_hooks& h = get_raster_display_hooks();
  auto fn = b->format == kFormatEcw ? h.ecw_display : h.sid_display;
  if (!fn) return 0;
  return fn(b, d.pixels, d.row_bytes, d.x, d.y, block) != 0 ? 1 : 0;
}

int overview_factor() {
  const raster_display_hooks& h = get_raster_display_hooks();
  const int f = h.overview_factor ? h.overview_factor() : kBitmapTileSide;
  return f < 1 ? 1 : f;
}

}  // namespace

int draw_image_into_dib(bitmap_t* b, obj_t* /*frame*/) {
  raster_dib& d = raster_display_buffer();
  pane_t* pane = raster_display_pane();
  if (!d.active || !pane || !b || b->width < 1 || b->height < 1) return 0;
  source s{b, 0, b->width, b->height, colour_kind(b), raster_averaging_depth()};
  const screen_mapping m = pane_mapping(pane);
  int c0 = 0, c1 = 0, r0 = 0, r1 = 0;
  if (!destination_block(d, footprint(m, b), &c0, &c1, &r0, &r1)) return 0;
  if (b->format == kFormatEcw || b->format == kFormatSid)
    return external_display(b, d, extent_t{double(c0), double(c1), double(r0), double(r1), 0});
  if (!b->lines) return 0;

  // Edges of the destination columns (at the block's middle row) and rows.
  const double mid_x = (c0 + c1) / 2.0, mid_y = (r0 + r1) / 2.0;
  std::vector<double> xe(size_t(c1 - c0) + 1), ye(size_t(r1 - r0) + 1);
  double dummy = 0;
  for (int c = c0; c <= c1; ++c) screen_to_image_point(m, b, c, mid_y, &xe[c - c0], &dummy);
  for (int r = r0; r <= r1; ++r) screen_to_image_point(m, b, mid_x, r, &dummy, &ye[r - r0]);

  spans cols, rows;
  make_spans(xe, 1, b->width, &cols);
  make_spans(ye, 1, b->height, &rows);
  const int factor = overview_factor();
  if (std::min(cols.step, rows.step) >= factor && b->overview) {
    s = source{b, 1, b->tiles_across, b->tiles_down, s.kind, s.depth};
    make_spans(xe, factor, s.width, &cols);
    make_spans(ye, factor, s.height, &rows);
  }
  const bool mean = cols.step >= kMeanStep && rows.step >= kMeanStep;
  const int n = r1 - r0;
  for (int i = 0; i < n; ++i) {
    const int k = rows.ascending ? i : n - 1 - i;
    if (rows.centre[k] < 0) continue;
    const int row = r0 + k - d.y;
    const int gave_way = mean ? mean_row(d, s, cols, c0, row, rows.lo[k], rows.hi[k])
                              : sample_row(d, s, cols, c0, row, rows.centre[k]);
    if (gave_way) return 1;
  }
  return 0;
}

int raster_display_draw(obj_t* image) {
  if (!image) return 0;
  if (image->cls == CLS_BITMAP) return draw_image_into_dib(static_cast<bitmap_t*>(image), nullptr);
  if (image->cls == CLS_IMG_FRAME) {
    img_frame_t* f = static_cast<img_frame_t*>(image);
    bitmap_t* b = nullptr;
    std::memcpy(&b, reinterpret_cast<char*>(f) + offsetof(img_frame_t, bitmap), sizeof b);
    return draw_image_into_dib(b, image);
  }
  return 0;
}
