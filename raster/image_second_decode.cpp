// A second decode that keeps the image's line stores (see image_load_internal.h).
#include <cstring>

#include "core/error.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "map/bitmap_record.h"
#include "raster/image_load_internal.h"

namespace {

struct held_stores {
  filemobj_t* lines;
  filemobj_t* overview;
  int32_t width, height, planes, tiles_across, tiles_down;
};

held_stores set_aside(bitmap_t* image) {
  held_stores h{image->lines, image->overview, image->width, image->height,
                image->planes, image->tiles_across, image->tiles_down};
  image->lines = nullptr;
  image->overview = nullptr;
  return h;
}

void put_back(bitmap_t* image, const held_stores& h) {
  image->lines = h.lines;
  image->overview = h.overview;
  image->width = h.width;
  image->height = h.height;
  image->planes = h.planes;
  image->tiles_across = h.tiles_across;
  image->tiles_down = h.tiles_down;
}

bool same_geometry(const filemobj_t* a, const filemobj_t* b) {
  return a && b && filemobj_line_count(a) == filemobj_line_count(b) &&
         filemobj_line_size(a) == filemobj_line_size(b);
}

// A line the reader wrote: in memory, or written to swap.
bool written(const filemobj_t* store, int64_t i) {
  return store->lines[i] != nullptr || store->states[i] == kLineSaved;
}

// Copies every written line of `from` into `to`; -1 when a line cannot be had.
int copy_written_lines(filemobj_t* from, filemobj_t* to) {
  const int64_t n = filemobj_line_count(from);
  const int32_t size = filemobj_line_size(from);
  for (int64_t i = 0; i < n; ++i) {
    if (!written(from, i)) continue;
    const uint8_t* src = filemobj_get_line(from, i, 1);
    if (!src) return -1;
    uint8_t* dst = filemobj_get_line(to, i, 0);
    // Fetching the destination may have evicted the source line: fetch it again.
    if (dst) src = filemobj_get_line(from, i, 1);
    if (!dst || !src) return -1;
    std::memcpy(dst, src, size_t(size));
  }
  return 0;
}

}  // namespace

int image_decode_keeping_stores(bitmap_t* image, const image_decode_call& call) {
  if (!image->lines) return image_decode(image->format, call);
  const held_stores held = set_aside(image);
  int result = image_decode(image->format, call);
  filemobj_t* fresh = image->lines;
  filemobj_t* fresh_overview = image->overview;
  if (result == 0 && !same_geometry(fresh, held.lines)) result = ERR_BAD_FILE;
  if (result == 0 && copy_written_lines(fresh, held.lines) != 0) result = ERR_MEMORY;
  free_obj(&fresh);
  free_obj(&fresh_overview);
  put_back(image, held);
  if (result == ERR_BAD_FILE || result == ERR_MEMORY) set_gblerr(0);
  return result;
}
