// Copies of an image, its vertical mirror, and the composition of two frames.
#include <algorithm>
#include <cstring>

#include "core/error.h"
#include "map/bitmap_record.h"
#include "raster/image_load.h"
#include "raster/raster_ops.h"
#include "raster/raster_ops_internal.h"

namespace {

// Lines of the source read ahead of a mirrored copy, from the bottom up.
constexpr int kFlipBatch = 100;

// Every plane of source line `from` into output line `to`; zeros when the source gives
// no line.
void copy_line(bitmap_t* source, int from, bitmap_t* out, int to) {
  const size_t bytes = size_t(source->width) * size_t(source->planes);
  const uint8_t* src = image_line(source, from, 0);
  uint8_t* dst = get_img_line_adr(out, to, 0);
  // Fetching the output line may have released the source line: read it again.
  if (dst && src) src = image_line(source, from, 0);
  if (!dst) return;
  if (src)
    std::memcpy(dst, src, bytes);
  else
    std::memset(dst, 0, bytes);
}

}  // namespace

bitmap_t* image_copy(bitmap_t* source, bitmap_t** out) {
  if (out) *out = nullptr;
  if (!source) return nullptr;
  bitmap_t* copy = new_image_like(source, source->width, source->height);
  if (!copy) return nullptr;
  for (int y = 0; y < source->height; ++y) copy_line(source, y, copy, y);
  if (out) *out = copy;
  return copy;
}

bitmap_t* image_flip_vertical(bitmap_t* source, bitmap_t** out) {
  if (out) *out = nullptr;
  if (!source) return nullptr;
  bitmap_t* flipped = new_image_like(source, source->width, source->height);
  if (!flipped) return nullptr;
  const int h = source->height;
  for (int y = 0; y < h; ++y) {
    if (y % kFlipBatch == 0) {
      const int last = std::max(h - kFlipBatch - y, 0);
      for (int s = h - 1 - y; s >= last; --s) image_line(source, s, 0);
    }
    copy_line(source, h - 1 - y, flipped, y);
    swap_out_line(flipped, y);
  }
  if (out) *out = flipped;
  return flipped;
}

void image_combine(bitmap_t* base, bitmap_t* overlay, bitmap_t* destination) {
  if (!base || !overlay || !destination || destination->height < 1) return;
  const int w = destination->width;
  const int h = destination->height;
  if (base->width < w || base->height < h || overlay->width < w || overlay->height < h) return;
  const uint8_t key = overlay->transparent[0];
  for (int y = h - 1; y >= 0; --y) {
    const uint8_t* over = image_line(overlay, y, 0);
    const uint8_t* under = image_line(base, y, 0);
    // The destination is written: fetched for writing, so that a swapped line is saved again.
    uint8_t* dst = get_img_line_adr(destination, y, 0);
    // Each fetch may release a line fetched before: read them all again once placed.
    over = image_line(overlay, y, 0);
    under = image_line(base, y, 0);
    if (!over || !under || !dst) continue;
    for (int x = 0; x < w; ++x)
      if (over[x] == key) dst[x] = under[x];
  }
}
