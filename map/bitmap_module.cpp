// Start-up of the bitmap module: the two classes, the services of the image loading
// subsystem it calls through hooks, the line store's questions about bitmaps, and the
// global list of images.
#include <atomic>

#include "core/line_store.h"
#include "core/obj_list.h"
#include "map/bitmap_record.h"

namespace {

// Made by the start-up on the main thread before any worker runs; read afterwards.
std::atomic<container_t*> g_images{nullptr};

// Mode 2 of the line store caches only the stores of 24-bit bitmaps.
int is_rgb_bitmap(obj_t* owner) {
  if (!owner || owner->cls != CLS_BITMAP) return 0;
  return static_cast<bitmap_t*>(owner)->planes == 3 ? 1 : 0;
}

}  // namespace

bitmap_hooks& get_bitmap_hooks() {
  static bitmap_hooks hooks;
  return hooks;
}

container_t* bitmap_image_list() { return g_images.load(std::memory_order_acquire); }

void bitmap_close_ecw_views() {
  const bitmap_hooks& hooks = get_bitmap_hooks();
  if (!hooks.ecw_end_view) return;
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_BITMAP, &cursor)) {
    auto* b = static_cast<bitmap_t*>(cursor);
    if (b->file && b->format == kFormatEcw) hooks.ecw_end_view(b);
  }
}

void bitmap_module_init() {
  obj_register_class(CLS_BITMAP, int(sizeof(bitmap_t)), nullptr);
  obj_set_free_callback(CLS_BITMAP, bitmap_destroy);
  obj_register_class(CLS_IMG_FRAME, int(sizeof(img_frame_t)), nullptr);
  const bitmap_hooks& hooks = get_bitmap_hooks();
  if (hooks.exif_register) hooks.exif_register();
  if (hooks.ecw_init) hooks.ecw_init();
  if (hooks.plugin_load) hooks.plugin_load();
  line_store_hooks& store_hooks = get_line_store_hooks();
  store_hooks.is_rgb_bitmap = is_rgb_bitmap;
  store_hooks.close_ecw_views = bitmap_close_ecw_views;
  bitmap_exported_entries(nullptr);
  // Started again (a new object store in a test): the old list goes first.
  container_t* list = g_images.exchange(nullptr, std::memory_order_acq_rel);
  free_obj(&list);
  obj_list_new(&list);
  g_images.store(list, std::memory_order_release);
}
