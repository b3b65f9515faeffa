// The line reader of the raster display and the block means: the reduction used when
// several source pixels fall on one screen pixel.
//
// A block is at most 5 columns wide and at most the averaging depth (1..10) rows high,
// from its first column and row. Pixels equal to the image's transparent colour (one
// byte for grey and palette images, three for colour) are not counted; the mean of the
// others is truncated. A row the reader does not deliver (a command waits) ends the mean
// with -1, so that the drawing gives way.
#include <algorithm>

#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/line_store_state.h"
#include "map/quadtree.h"
#include "map/raster_display.h"
#include "map/raster_display_internal.h"

namespace {

bool work_pending() {
  const visible_hooks& h = visible_get_hooks();
  return h.work_pending && h.work_pending() != 0;
}

bool row_in_memory(filemobj_t* store, int row) {
  ls_detail::guard g;
  return row < store->line_count && store->lines[row] != nullptr;
}

// The row of the image's store or of its overview store; a row not in memory is
// loaded only when no command waits.
uint8_t* default_line(bitmap_t* b, int row, int overview) {
  filemobj_t* store = overview ? b->overview : b->lines;
  const int rows = overview ? b->tiles_down : b->height;
  if (!store || row < 0 || row >= rows) return nullptr;
  if (!row_in_memory(store, row) && work_pending()) return nullptr;
  return filemobj_get_line(store, row, 1);
}

// The block of a mean: rows and columns of the source (image or overview) to read.
struct block {
  int x0, x1, y0, y1, width;
};

bool make_block(const bitmap_t* b, int x0, int x1, int y0, int y1, int depth, int overview,
                block* out) {
  const int width = overview ? b->tiles_across : b->width;
  const int height = overview ? b->tiles_down : b->height;
  if (depth <= 0) depth = raster_averaging_depth();
  depth = std::min(depth, 10);
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  const int xe = std::min({x0 + std::min(x1 - x0, kMeanMaxColumns), width});
  const int ye = std::min({y1, y0 + depth, height});
  if (xe <= x0 || ye <= y0) return false;
  *out = block{x0, xe, y0, ye, width};
  return true;
}

// Sums of up to three channels over columns [x0, x1) of rows already read; `pixel`
// reads one source pixel into the channels and answers false for a transparent one.
template <class Pixel>
int rows_mean(const mean_rows& r, int x0, int x1, int channels, int* out, Pixel pixel) {
  long sum[3] = {0, 0, 0};
  long count = 0;
  for (int i = 0; i < r.count; ++i) {
    const uint8_t* line = r.rows[i];
    for (int x = x0; x < x1; ++x) {
      int v[3];
      if (!pixel(line, x, v)) continue;
      for (int c = 0; c < channels; ++c) sum[c] += v[c];
      ++count;
    }
  }
  if (count == 0) return 1;
  for (int c = 0; c < channels; ++c) out[c] = int(sum[c] / count);
  return 0;
}

// Reads the rows of a block; false when the reader gave way.
bool read_rows(bitmap_t* b, const block& k, int overview, const uint8_t** rows) {
  for (int y = k.y0; y < k.y1; ++y)
    if (!(rows[y - k.y0] = raster_image_line(b, y, overview))) return false;
  return true;
}

}  // namespace

raster_display_hooks& get_raster_display_hooks() {
  static raster_display_hooks h;
  return h;
}

uint8_t* raster_image_line(bitmap_t* image, int row, int overview) {
  if (!image) return nullptr;
  const raster_display_hooks& h = get_raster_display_hooks();
  return h.image_line ? h.image_line(image, row, overview) : default_line(image, row, overview);
}

int rows_mean_gray(const mean_rows& r, int x0, int x1, int band, int* out) {
  const bool skip = r.image->has_transparent != 0;
  const uint8_t t = r.image->transparent[0];
  const int offset = band * r.width;
  return rows_mean(r, x0, x1, 1, out, [&](const uint8_t* line, int x, int* v) {
    const uint8_t s = line[offset + x];
    if (skip && s == t) return false;
    v[0] = s;
    return true;
  });
}

int rows_mean_rgb(const mean_rows& r, int x0, int x1, int* out) {
  const bool skip = r.image->has_transparent != 0;
  const uint8_t* t = r.image->transparent;
  const int w = r.width;
  return rows_mean(r, x0, x1, 3, out, [&](const uint8_t* line, int x, int* v) {
    v[0] = line[x];
    v[1] = line[w + x];
    v[2] = line[2 * w + x];
    return !(skip && v[0] == t[0] && v[1] == t[1] && v[2] == t[2]);
  });
}

int rows_mean_lut(const mean_rows& r, int x0, int x1, int* out) {
  const bitmap_t* b = r.image;
  const bool skip = b->has_transparent != 0;
  const uint8_t t = b->transparent[0];
  return rows_mean(r, x0, x1, 3, out, [&](const uint8_t* line, int x, int* v) {
    const uint8_t s = line[x];
    if (skip && s == t) return false;
    v[0] = b->lut_r[s];
    v[1] = b->lut_g[s];
    v[2] = b->lut_b[s];
    return true;
  });
}

namespace {

// The public means: the block, its rows, then the kernel; kind 0 grey, 1 colour, 2 table.
int mean_of(bitmap_t* b, int x0, int x1, int y0, int y1, int depth, int overview, int kind,
            int band, int* out) {
  block k{};
  if (!make_block(b, x0, x1, y0, y1, depth, overview, &k)) return 1;
  const uint8_t* rows[16];
  if (!read_rows(b, k, overview, rows)) return -1;
  const mean_rows r{b, rows, k.y1 - k.y0, k.width};
  if (kind == 0) return rows_mean_gray(r, k.x0, k.x1, band, out);
  return kind == 1 ? rows_mean_rgb(r, k.x0, k.x1, out) : rows_mean_lut(r, k.x0, k.x1, out);
}

void give(const int* v, int* red, int* green, int* blue) {
  if (red) *red = v[0];
  if (green) *green = v[1];
  if (blue) *blue = v[2];
}

}  // namespace

int image_mean_gray(bitmap_t* b, int x0, int x1, int y0, int y1, int band, int* out, int depth,
                    int overview) {
  if (!b || !out || band < 0 || band >= b->planes) return 1;
  return mean_of(b, x0, x1, y0, y1, depth, overview, 0, band, out);
}

int image_mean_rgb(bitmap_t* b, int x0, int x1, int y0, int y1, int* red, int* green,
                   int* blue, int depth, int overview) {
  if (!b || b->planes < 3) return 1;
  int v[3] = {0, 0, 0};
  const int r = mean_of(b, x0, x1, y0, y1, depth, overview, 1, 0, v);
  if (r == 0) give(v, red, green, blue);
  return r;
}

int image_mean_lut(bitmap_t* b, int x0, int x1, int y0, int y1, int* red, int* green,
                   int* blue, int depth, int overview) {
  if (!b) return 1;
  int v[3] = {0, 0, 0};
  const int r = mean_of(b, x0, x1, y0, y1, depth, overview, 2, 0, v);
  if (r == 0) give(v, red, green, blue);
  return r;
}
