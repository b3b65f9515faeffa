// Start-up of the image loading: the decoder rows, and the map layer's hooks that this
// library fills (the map model sits below it and reaches it only through them).
#include "core/obj_list.h"
#include "map/bitmap_record.h"
#include "map/raster_display.h"
#include "platform/sys/sysinfo.h"
#include "raster/exif_read.h"
#include "raster/image_load.h"
#include "raster/image_load_internal.h"
#include "raster/image_place.h"

namespace {

int tile_side() { return kBitmapTileSide; }

void bind_plugin() {
  int bound = 0;
  sid_plugin_load(&bound);
}

void forget_image(bitmap_t* image) {
  overview_queue_remove(image);
  image_place_forget(image);
}

void idle_priority(int idle) { plat::set_process_priority(idle == 0); }

}  // namespace

void raster_module_init() {
  image_decoders_install();
  raster_display_hooks& display = get_raster_display_hooks();
  display.image_line = image_line_or_overview;
  display.overview_factor = tile_side;
  bitmap_hooks& bitmaps = get_bitmap_hooks();
  bitmaps.plugin_load = bind_plugin;
  bitmaps.destroyed = forget_image;
  bitmaps.icon_load = raster_icon_load;
  bitmaps.exif_register = exif_register_class;
  get_image_load_hooks().set_idle_priority = idle_priority;
  // Started again (a new object store in a test): the old state goes first.
  image_reopened_reset();
  image_place_reset();
  overview_queue_clear();
}
