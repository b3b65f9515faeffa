// The bitmap as an object: its destructor, the copy of its header, clearing, the small
// queries, and the swapping out of single rows for loaders of large images.
//
// Fields of the packed record are always copied out into locals before their address
// is taken (a pointer field may sit at any byte offset).
#include <cstring>

#include "core/core_classes.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/line_store_state.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "geodesy/xform_records.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "map/raster_display.h"

namespace {

// Frees the object a packed pointer field holds; the result (null) is stored back.
template <class T> T* freed(T* value) {
  free_obj(&value);
  return value;
}

bool is_ecw(const bitmap_t* b) { return b->file && b->format == kFormatEcw; }

// A copy of the EXIF record (a class of the image loaders); null when there is none or
// the class is not registered in this program.
obj_t* copy_exif(const obj_t* exif) {
  if (!exif) return nullptr;
  obj_t* copy = nullptr;
  if (!alloc_obj(exif->cls, &copy)) return nullptr;
  obj_copy(exif, copy);
  return copy;
}

}  // namespace

void bitmap_destroy(obj_t* obj) {
  if (!obj) return;
  auto* b = static_cast<bitmap_t*>(obj);
  const bitmap_hooks& hooks = get_bitmap_hooks();
  if (hooks.destroyed) hooks.destroyed(b);
  if (is_ecw(b) && hooks.ecw_end_view) hooks.ecw_end_view(b);
  b->lines = freed(b->lines);
  b->overview = freed(b->overview);
  b->georef = freed(b->georef);
  b->exif = freed(b->exif);
  b->georef2 = freed(b->georef2);
  symbol_bitmap_release(b);
  char* name = b->name;
  free_mem(&name);
  b->name = name;
  void* decoder = b->decoder;
  const bitmap_release_fn release = b->release;
  if (release) release(decoder);
  free_mem(&decoder);
  b->decoder = decoder;
}

bitmap_t* bitmap_clone_header(const bitmap_t* src, bitmap_t** out) {
  bitmap_t* b = nullptr;
  if (src) obj_new_registered(CLS_BITMAP, &b);
  if (out) *out = b;
  if (!b) return nullptr;
  b->file = src->file;
  b->format = src->format;
  b->bits_per_sample = src->bits_per_sample;
  b->samples_per_pixel = src->samples_per_pixel;
  std::memcpy(b->loader_words, src->loader_words, sizeof b->loader_words);
  b->variant = src->variant;
  b->width = src->width;
  b->height = src->height;
  b->tiles_across = src->tiles_across;
  b->tiles_down = src->tiles_down;
  b->planes = src->planes;
  b->xres = src->xres;
  b->yres = src->yres;
  b->frame_number = src->frame_number;
  std::memcpy(b->transparent, src->transparent, sizeof b->transparent);
  b->has_transparent = src->has_transparent;
  b->gamma = src->gamma;
  std::memcpy(b->lut_r, src->lut_r, sizeof b->lut_r);
  std::memcpy(b->lut_g, src->lut_g, sizeof b->lut_g);
  std::memcpy(b->lut_b, src->lut_b, sizeof b->lut_b);
  b->exif = copy_exif(src->exif);
  b->name = dup_owned_string(src->name);
  return b;
}

void bitmap_clear(bitmap_t* b) {
  if (!b) return;
  const int height = b->height;
  const int64_t row_bytes = int64_t(b->width) * b->planes;
  for (int r = 0; r < height; ++r) {
    uint8_t* row = get_img_line_adr(b, r, 0);
    if (row) std::memset(row, 0, size_t(row_bytes));
  }
}

void bitmap_get_size(const bitmap_t* b, int* width, int* height) {
  if (width) *width = b ? b->width : 0;
  if (height) *height = b ? b->height : 0;
}

void bitmap_extent(const bitmap_t* b, extent_t* out) {
  if (!out) return;
  extent_t e{};
  if (b) e = extent_t{0.0, double(b->width), 0.0, double(b->height), 0.0};
  std::memcpy(out, &e, sizeof e);
}

int bitmap_is_tiff(const bitmap_t* b) { return b && b->format == kFormatTiff ? 1 : 0; }

// The line store's tables are read under its own lock (the redraw and the loader reach
// the same store from two threads).
void bitmap_swap_out_line(bitmap_t* b, int row) {
  if (!b || row < 0 || row >= b->height) return;
  filemobj_t* s = b->lines;
  if (!s) return;
  ls_detail::guard g;
  if (s->flags == -1 || row >= s->line_count) return;  // discardable: never written
  if (s->states[row] == kLineUnsaved) swap_write_lines(s, row, 1);
  if (s->states[row] == kLineSaved) filemobj_release_line(s, row);
}

int bitmap_line_loaded(const bitmap_t* b, int row) {
  if (!b || row < 0 || row >= b->height) return 0;
  filemobj_t* s = b->lines;
  if (!s) return 0;
  ls_detail::guard g;
  return row < s->line_count && s->lines[row] != nullptr ? 1 : 0;
}

bitmap_t* file_get_bitmap(obj_t* file, bitmap_t** out) {
  obj_t* found = nullptr;
  if (file && file->cls == kFileClass) {
    container_t* objects = nullptr;
    file_get_objects(static_cast<fileatt_t*>(file), &objects);
    obj_list_first_of_type(objects, CLS_BITMAP, &found);
  }
  bitmap_t* b = static_cast<bitmap_t*>(found);
  if (out) *out = b;
  return b;
}

namespace {

// Lists nest lists (folders of a file); a depth bound keeps a list that holds itself
// from recursing without end.
constexpr int kMaxListDepth = 64;

void clear_frames_in(const container_t* list, int depth) {
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i) {
    obj_t* e = nullptr;
    obj_list_get(list, i, &e);
    if (!e) continue;
    if (e->cls == CLS_BITMAP) static_cast<bitmap_t*>(e)->frame_number = 0;
    if (e->cls == CLS_CONTAINER && depth < kMaxListDepth)
      clear_frames_in(reinterpret_cast<container_t*>(e), depth + 1);
  }
}

}  // namespace

void bitmap_clear_frame_numbers(container_t* list) { clear_frames_in(list, 0); }
