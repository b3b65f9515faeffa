// The load path of an ECW image opened by its address (file kind 12). A failed reload
// logs its failure and frees its record. (The SID plug-in is bound in sid_host.cpp.)
#include <string>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "raster/image_load.h"
#include "raster/image_load_internal.h"
#include "raster/raster_ops.h"

namespace {

// The ECW reader reads the file through the buffered reader with a 10-byte buffer.
constexpr int kEcwReaderBuffer = 10;

}  // namespace

int image_reload(obj_t* file, container_t* list) {
  if (!file) return -1;
  bitmap_t* image = nullptr;
  obj_new_registered(CLS_BITMAP, &image);
  if (!image) return 1;
  image->file = file;
  image->format = kDecoderEcw;
  image->gamma = -1.0;
  set_graylevel_lut(image);
  rd_open(file, kEcwReaderBuffer, 1);
  image_decode_call call;
  call.image = &image;
  call.list = list;
  const int result = image_decode(kDecoderEcw, call);
  rd_close_file(file);
  if (result != 0) {
    image_log_load_error(file_name_of(file), result);
    set_gblerr(0);
    free_obj(&image);
    return 0;
  }
  if (list) obj_add_to_id_list(list, image);
  image_georef_from_position(image, kLoaderHalfSize);
  image_pixel_size(image);
  folder_get_or_create(file, image, 0, nullptr);
  return 0;
}
