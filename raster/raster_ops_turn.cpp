// Quarter turns and resampling of images, which read the source column-wise or at
// scattered points: the source is decoded whole first, the line store evicts by the
// memory budget meanwhile, and finished output lines go to swap when the budget runs
// low, so that images larger than memory go through.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/command_hooks.h"
#include "core/config.h"
#include "core/error.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "raster/image_load.h"
#include "raster/raster_ops.h"
#include "raster/raster_ops_internal.h"

namespace {

constexpr int kProgressEvery = 100;

void progress(const char* title, int done, int total) {
  char text[96];
  std::snprintf(text, sizeof text, "%s%d/%d", title, done, total);
  core_progress_file_position(text);
}

// Output lines [first, last] written to swap and released.
void swap_out_lines(bitmap_t* image, int first, int last) {
  for (int j = first; j <= last; ++j) swap_out_line(image, j);
}

// Sample (x, y) of plane p of the source.
uint8_t sample(bitmap_t* source, int x, int y, int p) {
  const uint8_t* line = image_line(source, y, p);
  return line ? line[x] : 0;
}

// Output line j of a quarter turn, every plane.
void turn_line(bitmap_t* source, int direction, int j, bitmap_t* out) {
  const int w = source->width, h = source->height;
  std::vector<uint8_t> row(static_cast<size_t>(h));
  for (int p = 0; p < source->planes; ++p) {
    for (int k = 0; k < h; ++k)
      row[size_t(k)] = direction == 1 ? sample(source, w - 1 - j, k, p)
                                      : sample(source, j, h - 1 - k, p);
    uint8_t* dst = get_img_line_adr(out, j, p);
    if (dst) std::memcpy(dst, row.data(), row.size());
  }
}

// The output's transparent value, and every output line filled with it.
void fill_transparent(const bitmap_t* source, bitmap_t* out) {
  if (!source->has_transparent) {
    out->transparent[0] = out->transparent[1] = out->transparent[2] = 0;
    out->has_transparent = 1;
  }
  for (int r = 0; r < out->height; ++r)
    for (int p = 0; p < out->planes; ++p) {
      uint8_t* dst = get_img_line_adr(out, r, p);
      if (dst) std::memset(dst, out->transparent[p < 3 ? p : 0], size_t(out->width));
    }
}

struct resample {
  bitmap_t* source;
  bitmap_t* out;
  obj_t* transform;
  int kind;
  extent_t world;
  double sx, sy;
  bool keep_zero;  // the source had a transparent value: a 0 sample stays 0
};

// Output row r, nearest neighbour through the inverse of the transform.
void resample_row(const resample& s, int r) {
  const int w = s.source->width, h = s.source->height;
  const double y = s.world.ymin + r * s.sy;
  std::vector<int> xs(size_t(s.out->width), -1), ys(size_t(s.out->width), -1);
  for (int c = 0; c < s.out->width; ++c) {
    double px = s.world.xmin + c * s.sx, py = y;
    xform_inverse_2d(s.transform, s.kind, &px, &py);
    if (!(px >= 0.0 && px < w && py >= 0.0 && py < h)) continue;
    xs[size_t(c)] = int(px);
    ys[size_t(c)] = int(py);
  }
  for (int p = 0; p < s.out->planes; ++p) {
    std::vector<uint8_t> row(static_cast<size_t>(s.out->width));
    uint8_t* dst = get_img_line_adr(s.out, r, p);
    if (!dst) continue;
    std::memcpy(row.data(), dst, row.size());
    for (int c = 0; c < s.out->width; ++c) {
      if (xs[size_t(c)] < 0) continue;
      const uint8_t v = sample(s.source, xs[size_t(c)], ys[size_t(c)], p);
      row[size_t(c)] = (v == 0 && !s.keep_zero) ? 1 : v;
    }
    dst = get_img_line_adr(s.out, r, p);
    if (dst) std::memcpy(dst, row.data(), row.size());
  }
}

}  // namespace

bitmap_t* image_rotate(bitmap_t* source, int direction, bitmap_t** out) {
  if (out) *out = nullptr;
  if (!source) return nullptr;
  bitmap_t* turned = new_image_like(source, source->height, source->width);
  if (!turned) return nullptr;
  touch_all_lines(source);
  begin_budget_eviction();
  int unsaved_from = 0;
  for (int j = 0; j < source->width; ++j) {
    if (j % kProgressEvery == 0) progress("Rotation ", j, source->width);
    turn_line(source, direction, j, turned);
    if (budget_low(source->width)) {
      swap_out_lines(turned, unsaved_from, j);
      unsaved_from = j + 1;
    }
  }
  end_budget_eviction();
  if (out) *out = turned;
  return turned;
}

bitmap_t* image_transform_to(bitmap_t* source, obj_t* transform, int kind, bitmap_t** out) {
  if (out) *out = nullptr;
  if (!source || !transform) return nullptr;
  if (!xform_kind_valid(kind)) return set_gblerr(ERR_TRANSFORM), nullptr;
  const char* title = is_french() ? "Transformation d'image " : "Image processing ";
  progress(title, 0, 1);
  const int w = int(source->width * std::sqrt(2.0));
  const int h = int(source->height * std::sqrt(2.0));
  bitmap_t* result = new_image_like(source, w, h);
  if (!result) return nullptr;
  fill_transparent(source, result);
  extent_t world{0, double(source->width), 0, double(source->height), 0};
  xform_extent(transform, kind, 0, &world);
  result->extent = world;
  const resample s{source, result, transform, kind, world,
                   (world.xmax - world.xmin) / result->width,
                   (world.ymax - world.ymin) / result->height, source->has_transparent != 0};
  touch_all_lines(source);
  begin_budget_eviction();
  for (int r = 0; r < result->height; ++r) {
    resample_row(s, r);
    if (budget_low(result->width)) swap_out_line(result, r);
    if (r % kProgressEvery == 0) progress(title, r, result->height - 1);
  }
  end_budget_eviction();
  if (out) *out = result;
  return result;
}
