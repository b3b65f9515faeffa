// image_line: the one way the rest of the system reads a line of an image. A line not
// in memory comes back from swap; in embedded mode (no swap of our own) or for a store
// whose lines are never written to swap, the image is decoded again first, its file
// joining the list of reopened files that the redraw pass closes when it ends.
#include <atomic>

#include "core/config.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/line_store_state.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "map/quadtree.h"
#include "raster/image_load.h"
#include "raster/image_load_internal.h"

namespace {

std::atomic<container_t*> g_reopened{nullptr};

bool line_resident(filemobj_t* store, int64_t line) {
  ls_detail::guard g;
  return line < store->line_count && store->lines[line] != nullptr;
}

bool line_never_swapped(filemobj_t* store, int64_t line) {
  ls_detail::guard g;
  return line < store->line_count && store->states[line] == kLineDiscardable;
}

void note_reopened(obj_t* file) {
  container_t* list = g_reopened.load(std::memory_order_acquire);
  if (!list) {
    container_t* made = nullptr;
    obj_list_new(&made);
    if (!g_reopened.compare_exchange_strong(list, made)) free_obj(&made);
    list = g_reopened.load(std::memory_order_acquire);
  }
  if (list && file && !id_list_get(list, file->id, static_cast<obj_t**>(nullptr)))
    obj_add_to_id_list(list, file);
}

void decode_again(bitmap_t* image, int line) {
  note_reopened(image->file);
  int status = 0;
  image_load(nullptr, nullptr, image, line, &status, 0);
}

}  // namespace

bool image_yield_requested() {
  const image_load_hooks& own = get_image_load_hooks();
  if (own.yield_requested) return own.yield_requested() != 0;
  const visible_hooks& h = visible_get_hooks();
  return h.work_pending && h.work_pending() != 0;
}

uint8_t* image_line(bitmap_t* image, int line, int plane) {
  if (!image || line < 0 || line >= image->height || plane < 0 || plane >= image->planes)
    return nullptr;
  filemobj_t* store = image->lines;
  if (!store) return nullptr;
  const int64_t offset = int64_t(image->width) * plane;
  if (!line_resident(store, line)) {
    if (is_embedded() || line_never_swapped(store, line)) decode_again(image, line);
    set_gblerr(0);
  }
  uint8_t* bytes = filemobj_get_line(image->lines, line, 1);
  return bytes ? bytes + offset : nullptr;
}

uint8_t* image_line_or_overview(bitmap_t* image, int line, int overview) {
  if (!image) return nullptr;
  filemobj_t* store = overview ? image->overview : image->lines;
  const int rows = overview ? image->tiles_down : image->height;
  if (!store || line < 0 || line >= rows) return nullptr;
  if (line_resident(store, line)) return filemobj_get_line(store, line, 1);
  if (image_yield_requested()) return nullptr;
  if (!overview) return image_line(image, line, 0);
  overview_build_row(image, line);
  return filemobj_get_line(image->overview, line, 1);
}

container_t* image_reopened_files() { return g_reopened.load(std::memory_order_acquire); }

void image_close_reopened_files() {
  container_t* list = g_reopened.load(std::memory_order_acquire);
  if (!list) return;
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i) rd_close_file(obj_list_get(list, i, static_cast<obj_t**>(nullptr)));
  obj_list_clear(list);
}

void image_reopened_reset() { g_reopened.store(nullptr, std::memory_order_release); }

void image_reopened_free() {
  container_t* list = g_reopened.exchange(nullptr);
  free_obj(&list);
}
