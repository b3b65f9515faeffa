// What the raster operations share: new images, the budget rule and swap-out.
#include <atomic>

#include "core/config.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "map/bitmap_record.h"
#include "raster/image_load.h"
#include "raster/raster_ops.h"
#include "raster/raster_ops_internal.h"

namespace {

std::atomic<raster_budget_fn> g_budget_probe{nullptr};

double budget() {
  const raster_budget_fn probe = g_budget_probe.load(std::memory_order_acquire);
  if (probe) return probe();
  double b = 0.0;
  return *get_mem_budget(&b);
}

}  // namespace

void raster_ops_set_budget_probe(raster_budget_fn fn) {
  g_budget_probe.store(fn, std::memory_order_release);
}

bitmap_t* new_image_like(const bitmap_t* source, int width, int height) {
  bitmap_t* out = nullptr;
  if (!bitmap_clone_header(source, &out) || get_gblerr() != 0) {
    free_obj(&out);
    return nullptr;
  }
  if (alloc_bitmap(out, width, height, source->planes, 2) != 0) {
    free_obj(&out);
    set_gblerr(ERR_MEMORY);
    return nullptr;
  }
  return out;
}

void touch_all_lines(bitmap_t* source) {
  for (int y = 0; y < source->height; ++y) image_line(source, y, 0);
}

void begin_budget_eviction() {
  if (!is_embedded()) filemobj_set_budget_eviction(1);
}

void end_budget_eviction() {
  if (!is_embedded()) filemobj_set_budget_eviction(0);
}

bool budget_low(int width) {
  if (is_embedded()) return false;
  return budget() < kSwapOutBytesPerPixel * width + kSwapOutSlack;
}

void swap_out_line(bitmap_t* image, int line) { bitmap_swap_out_line(image, line); }
