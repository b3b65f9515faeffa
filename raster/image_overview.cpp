// The overview of an image: one sample per 10 x 10 tile, the tile's top-left pixel,
// built row by row from the full lines on demand; and, for TIFF images when a
// reduced-image folder is configured, the queue of images whose overview the idle
// builder of command slot 2 makes in the background and keeps on disk.
#include <algorithm>
#include <mutex>
#include <vector>

#include "core/config.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/line_store_state.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "raster/image_load.h"
#include "raster/image_load_internal.h"

namespace {

std::mutex g_queue_lock;
std::vector<bitmap_t*>& queue() {
  static std::vector<bitmap_t*> q;
  return q;
}

uint8_t line_state(filemobj_t* store, int64_t line) {
  ls_detail::guard g;
  return line < store->line_count ? store->states[line] : kLineUnsaved;
}

bool line_resident(filemobj_t* store, int64_t line) {
  ls_detail::guard g;
  return line < store->line_count && store->lines[line] != nullptr;
}

// The overview's named files in the reduced-image folder hold every row already.
bool overview_cached(filemobj_t* overview) {
  ls_detail::guard g;
  return overview->swap_record && overview->swap_record->ondisk == 1;
}

void mark_all_on_disk(filemobj_t* overview) {
  ls_detail::guard g;
  for (int64_t i = 0; i < overview->line_count; ++i)
    if (!overview->lines[i]) overview->states[i] = kLineSaved;
}

void set_idle(bool idle) {
  const image_load_hooks& h = get_image_load_hooks();
  if (h.set_idle_priority) h.set_idle_priority(idle ? 1 : 0);
}

// A full line that is on disk or can be decoded again leaves memory.
void release_source_line(bitmap_t* image, int line) {
  filemobj_t* lines = image->lines;
  if (!lines || line >= image->height) return;
  const uint8_t state = line_state(lines, line);
  if (state == kLineSaved || state == kLineDiscardable) filemobj_release_line(lines, line);
}

// Steps (1) to (3) for one image; false when a command asked for the processor.
bool build_one(bitmap_t* image) {
  filemobj_t* overview = image->overview;
  if (!overview) return true;
  for (int r = 0; r < image->tiles_down; ++r) {
    if (line_resident(overview, r) || line_state(overview, r) == kLineSaved) continue;
    if (image_yield_requested()) return false;
    overview_build_row(image, r);
    release_source_line(image, r * kBitmapTileSide);
  }
  if (image->file) rd_close_file(image->file);
  for (int r = 0; r < image->tiles_down; ++r) {
    if (image_yield_requested()) return false;
    if (line_state(overview, r) != kLineSaved) swap_write_lines(overview, r, 1);
    if (line_state(overview, r) == kLineSaved) release_source_line(image, r * kBitmapTileSide);
  }
  return true;
}

}  // namespace

void overview_build_row(bitmap_t* image, int row) {
  if (!image || !image->overview || row < 0 || row >= image->tiles_down) return;
  const int source_line = row * kBitmapTileSide;
  if (source_line >= image->height) return;
  for (int p = image->planes - 1; p >= 0; --p) {
    const uint8_t* full = image_line(image, source_line, p);
    uint8_t* out = filemobj_get_line(image->overview, row, 0);
    // Fetching the overview row may have released the full line: read it again.
    if (out) full = image_line(image, source_line, p);
    if (!full || !out) return;
    uint8_t* plane_out = out + int64_t(image->tiles_across) * p;
    for (int j = 0; j < image->tiles_across; ++j) {
      const int64_t x = int64_t(j) * kBitmapTileSide;
      plane_out[j] = x < image->width ? full[x] : 0;
    }
  }
}

void overview_queue_image(bitmap_t* image) {
  if (!image || !image->overview || image->format != kDecoderTiff) return;
  const char* folder = get_reduce_image_dir();
  if (!folder || !*folder) return;
  if (overview_cached(image->overview)) {
    mark_all_on_disk(image->overview);
    return;
  }
  const char* temp = get_temp_dir();
  const bool named = image->overview->swap_record != nullptr;
  if (!named && (!temp || !*temp)) return;
  if (app_is_other_instance()) return;
  std::lock_guard<std::mutex> hold(g_queue_lock);
  if (std::find(queue().begin(), queue().end(), image) == queue().end())
    queue().push_back(image);
}

void overview_build_queued() {
  set_idle(true);
  for (;;) {
    bitmap_t* image = nullptr;
    {
      std::lock_guard<std::mutex> hold(g_queue_lock);
      if (queue().empty()) break;
      image = queue().back();
    }
    if (!build_one(image)) break;
    overview_queue_remove(image);
    filemobj_evict_old();
  }
  set_idle(false);
}

int overview_queue_count() {
  std::lock_guard<std::mutex> hold(g_queue_lock);
  return int(queue().size());
}

void overview_queue_remove(bitmap_t* image) {
  std::lock_guard<std::mutex> hold(g_queue_lock);
  auto& q = queue();
  q.erase(std::remove(q.begin(), q.end(), image), q.end());
  q.shrink_to_fit();
}

void overview_queue_clear() {
  std::lock_guard<std::mutex> hold(g_queue_lock);
  queue().clear();
}
