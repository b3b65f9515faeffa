// Placeholder bodies of the image loading dispatcher while its files are written.
#include "raster/image_load.h"

image_load_hooks& get_image_load_hooks() {
  static image_load_hooks hooks;
  return hooks;
}
int image_decoder_register(int, image_decoder_fn) { return -1; }
image_decoder_fn image_decoder_for(int) { return nullptr; }
int image_decode(int, const image_decode_call&) { return 3; }
void image_decoders_install() {}
void image_decoders_reset() {}
int image_load(obj_t* file, container_t*, bitmap_t* image, int, int*, intptr_t) {
  return !file && !image ? -1 : 3;
}
int image_reload(obj_t* file, container_t*) { return file ? 0 : -1; }
uint8_t* image_line(bitmap_t*, int, int) { return nullptr; }
uint8_t* image_line_or_overview(bitmap_t*, int, int) { return nullptr; }
container_t* image_reopened_files() { return nullptr; }
void image_close_reopened_files() {}
void overview_build_row(bitmap_t*, int) {}
void overview_queue_image(bitmap_t*) {}
void overview_build_queued() {}
int overview_queue_count() { return 0; }
void overview_queue_remove(bitmap_t*) {}
void overview_queue_clear() {}
void sid_plugin_load(int* flag) {
  if (flag) *flag = 0;
}
void raster_module_init() {}
