// image_load: the one way every raster image is loaded, and decoded again.
//
// A first load makes the record, calls the decoder row of the file's format code, and
// on success adds the record to the list, places it when it has a GPS position and no
// georeference, computes its pixel size and files it in a folder of the file. A failed
// first load frees its record: nothing half made stays in the class list. A second
// decode writes into the record's existing stores (image_decode_keeping_stores), so
// that line addresses held by the display stay valid.
#include <cstdio>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/tracelog.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "raster/image_load.h"
#include "raster/image_load_internal.h"
#include "raster/image_place.h"
#include "raster/raster_ops.h"

namespace {

bool is_archive_member(obj_t* file) {
  obj_t* archive = get_file_ops().container(file);
  return archive && file_get(archive, FF_TYPE) == kContainerKindArchive;
}

// A new record as every reader expects it: file, decoder code, identity tables, no gamma.
bitmap_t* new_record(obj_t* file) {
  bitmap_t* image = nullptr;
  obj_new_registered(CLS_BITMAP, &image);
  if (!image) return nullptr;
  image->file = file;
  image->format = int32_t(file_get(file, FF_FORMAT));
  image->gamma = -1.0;
  set_graylevel_lut(image);
  return image;
}

// The decoder row, under a line-store generation floor of at least 3 so that the lines
// a reader writes stay while it writes the next ones.
int call_decoder(bitmap_t** image, obj_t* file, const image_decode_call& call, bool keep) {
  const int32_t floor = filemobj_min_generation();
  filemobj_set_min_generation(kImageDecodeMinGeneration);
  // The SID plug-in decodes the requested row straight into the record's own stores:
  // it sizes them only when it opens the image.
  const bool keep_stores = keep && (*image)->format != kDecoderSid;
  const int result = keep_stores ? image_decode_keeping_stores(*image, call)
                                 : image_decode((*image)->format, call);
  if (file) rd_close_file(file);
  if (filemobj_min_generation() == kImageDecodeMinGeneration)
    filemobj_set_min_generation(floor);
  return result;
}

// Step 9: every image of the list placed, measured and filed under the file.
void georeference_and_file(obj_t* file, container_t* list) {
  folder_t* folder = nullptr;
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i) {
    obj_t* obj = obj_list_get(list, i, static_cast<obj_t**>(nullptr));
    if (!obj || obj->cls != CLS_BITMAP) continue;
    auto* image = static_cast<bitmap_t*>(obj);
    if (image_position(image) && !image->georef)
      image_georef_from_position(image, kLoaderHalfSize);
    image_pixel_size(image);
    if (!folder)
      folder_get_or_create(file, image, 0, &folder);
    else
      folder_get_or_create(folder, image, 0, nullptr);
  }
}

}  // namespace

image_load_hooks& get_image_load_hooks() {
  static image_load_hooks hooks;
  return hooks;
}

void image_log_load_error(const std::string& name, int result) {
  std::string line = is_french() ? "Erreur chargement " : "Loading error ";
  line += name;
  line += " : ";
  line += get_error_text(result);
  log_error_line(line.c_str());
}

int image_load(obj_t* file, container_t* list, bitmap_t* image, int requested_line,
               int* status, intptr_t extra) {
  if (!file && !image) return -1;
  const bool first = image == nullptr;
  int line = requested_line;
  if (first) {
    const image_load_hooks& hooks = get_image_load_hooks();
    if (hooks.identify) hooks.identify(file);
    if (file_get(file, FF_TYPE) != kFileKindImage) return ERR_UNKNOWN_FORMAT;
    image = new_record(file);
    if (!image || get_gblerr() != 0) {
      const int pending = get_gblerr() ? get_gblerr() : ERR_MEMORY;
      free_obj(&image);
      return pending;
    }
    if (file_store_of(file) || is_archive_member(file)) line = kImageFirstLoadInMemory;
  } else {
    if (status) *status = 0;
    file = nullptr;  // a second decode reads the record's own file
  }
  const std::string name = file_name_of(image->file);
  image_decode_call call;
  call.image = &image;
  call.list = list;
  call.requested_line = line;
  call.status = status;
  call.extra = extra;
  const int result = call_decoder(&image, file, call, !first);
  if (result != 0) {
    image_log_load_error(name, result);
    // A reader that files its own images (frames, pages) may leave one in the list.
    if (first && !(image && list && id_list_find(list, image->id, nullptr))) free_obj(&image);
    return result;
  }
  if (status && *status == -1) {
    if (first) free_obj(&image);
    return 0;
  }
  if (first && list && image) obj_add_to_id_list(list, image);
  if (first && list) georeference_and_file(file, list);
  return 0;
}
