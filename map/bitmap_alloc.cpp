// The pixel stores of a bitmap, the address of one row's plane, the lookup tables, and
// the entry points that the MrSID plug-in binds by name.
//
// The plug-in runs on the caller's thread and calls alloc_bitmap (mode 3: discardable
// lines), set_graylevel_lut for grey images and get_img_line_adr for each band of each
// decoded row. These routines therefore check what they are given rather than trust a
// size read from an image header: a row too long for one line, or tables beyond the
// memory budget, make alloc_bitmap fail with the memory code instead of allocating.
#include <cstdint>

#include "core/error.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/memory.h"
#include "map/bitmap_record.h"

namespace {

// Tiles of side T across a size: max(1, (T + size - 1) / T).
int tile_count(int size) {
  const int64_t n = (int64_t(kBitmapTileSide) + size - 1) / kBitmapTileSide;
  return n < 1 ? 1 : int(n);
}

// A line of count * planes bytes; -1 when it does not fit in one line.
int32_t line_bytes(int64_t count, int planes) {
  const int64_t bytes = count * planes;
  return bytes > int64_t(INT32_MAX) ? -1 : int32_t(bytes);
}

int fail_memory() {
  if (get_gblerr() == 0) set_gblerr(ERR_MEMORY);
  return -1;
}

}  // namespace

extern "C" int alloc_bitmap(bitmap_t* b, int width, int height, int planes, int mode) {
  if (!b) return fail_memory();
  if (width < 1) width = 1;
  if (height < 1) height = 1;
  if (planes < 1) planes = 1;
  if (planes == 2) planes = 3;
  b->width = width;
  b->height = height;
  b->planes = planes;
  b->tiles_across = tile_count(width);
  b->tiles_down = tile_count(height);
  // Stores held before are replaced. The fields are packed: copied out and back.
  filemobj_t* held = b->lines;
  free_obj(&held);
  b->lines = held;
  held = b->overview;
  free_obj(&held);
  b->overview = held;

  const int32_t row_size = line_bytes(width, planes);
  const int32_t tile_row_size = line_bytes(b->tiles_across, planes);
  if (row_size < 0 || tile_row_size < 0) return fail_memory();
  filemobj_t* lines = nullptr;
  filemobj_t* overview = nullptr;
  obj_t* file = b->file;
  if (filemobj_create(b, file, height, row_size, mode, &lines) != 0) return fail_memory();
  b->lines = lines;
  if (filemobj_create(b, file, b->tiles_down, tile_row_size, 2, &overview) != 0)
    return fail_memory();
  b->overview = overview;
  return 0;
}

extern "C" uint8_t* get_img_line_adr(bitmap_t* b, int row, int plane) {
  if (!b) return nullptr;
  const int width = b->width;
  filemobj_t* lines = b->lines;
  if (!lines || row < 0 || row >= b->height || plane < 0 || plane >= b->planes) return nullptr;
  uint8_t* line = filemobj_get_line(lines, row, 0);
  if (!line) return nullptr;
  return line + int64_t(width) * plane;
}

extern "C" void set_graylevel_lut(bitmap_t* b) {
  if (!b) return;
  for (int i = 0; i < 256; ++i) b->lut_r[i] = b->lut_g[i] = b->lut_b[i] = uint8_t(i);
}

extern "C" obj_t* alloc_obj_export(int cls, obj_t** out) { return alloc_obj(cls, out); }

int set_nbit_gray_lut(bitmap_t* b, int n) {
  if (n < 1 || n > 8) return set_gblerr(ERR_VALUE);
  if (!b) return 0;
  const int levels = 1 << n;
  const int step = 255 / (levels - 1);
  for (int v = 0; v < levels; ++v) b->lut_r[v] = b->lut_g[v] = b->lut_b[v] = uint8_t(v * step);
  return 0;
}

int bitmap_exported_entries(const void* const** out) {
  static const void* const entries[] = {
      reinterpret_cast<const void*>(&alloc_bitmap),
      reinterpret_cast<const void*>(&get_img_line_adr),
      reinterpret_cast<const void*>(&set_graylevel_lut),
      reinterpret_cast<const void*>(&alloc_obj_export),
  };
  if (out) *out = entries;
  return int(sizeof entries / sizeof entries[0]);
}
