// The decoder of OziExplorer map calibration files (see ozi_map.h): reads the
// calibration, loads the image it names through the image loading, and gives the
// record being loaded a copy of the image's pixels with the calibrated georeference.
//
// The pixels are copied into a new record whose lines may go to swap: the image file's
// own record is released with the image file's content, and the new record belongs to
// the calibration file, as if the calibration file had been the image.
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/paths.h"
#include "core/reader.h"
#include "geodesy/georef.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "raster/image_load.h"
#include "raster/ozi_map.h"

namespace {

constexpr int kStoreSwaps = 2;  // line-store mode whose lines may go to swap

// The decoder state of a calibrated image: the step of its georeference, which the
// georeference itself does not own.
struct ozi_state {
  xform_affine3d_t* step;
};

void release_state(void* state) {
  if (!state) return;
  auto* s = static_cast<ozi_state*>(state);
  free_obj(&s->step);
}

// The image file beside the calibration file; null when there is none.
fileatt_t* open_image_file(obj_t* map_file, const std::string& image_name) {
  if (image_name.empty()) return nullptr;
  char* folder = nullptr;
  path_folder(file_get_name(file_of(map_file)), &folder);
  std::string path = folder ? folder : "";
  free_mem(&folder);
  path += image_name;
  if (!file_exists(path.c_str())) return nullptr;
  fileatt_t* f = nullptr;
  file_open(map_file, nullptr, path.c_str(), &f);
  return f;
}

// Identifies and loads the image file; its first image, or null with *rc set (2 when it
// is not a raster image, else the load's result). *loaded_here tells whether this load
// made the file's content (which is then released again by the caller).
bitmap_t* load_image(fileatt_t* f, bool* loaded_here, int* rc) {
  *loaded_here = false;
  if (auto identify = get_image_load_hooks().identify) identify(f);
  set_gblerr(0);
  if (file_get_type(f) != kFileKindImage) {
    *rc = 2;
    return nullptr;
  }
  bitmap_t* b = nullptr;
  if (f->sot && file_get_bitmap(f, &b)) return b;
  if (!f->sot) obj_list_new(&f->sot);
  *loaded_here = true;
  int status = 0;
  *rc = image_load(f, f->sot, nullptr, kImageFirstLoad, &status, 0);
  set_gblerr(0);
  if (*rc != 0) return nullptr;
  file_get_bitmap(f, &b);
  if (!b) *rc = 2;
  return b;
}

// Copies every line of src into dst (same size and planes); a line src cannot give is
// left as zeros.
void copy_lines(bitmap_t* src, bitmap_t* dst) {
  const size_t n = size_t(src->width) * size_t(src->planes);
  for (int y = 0; y < src->height; ++y) {
    uint8_t* to = get_img_line_adr(dst, y, 0);
    if (!to) continue;
    const uint8_t* from = image_line(src, y, 0);
    if (from)
      std::memcpy(to, from, n);
    else
      std::memset(to, 0, n);
  }
}

// A new record holding the image's pixels, in the place of `loading`.
bitmap_t* georeferenced_copy(bitmap_t* image, bitmap_t* loading, ozi_calibration& cal) {
  bitmap_t* b = nullptr;
  bitmap_clone_header(image, &b);
  if (!b) return nullptr;
  b->file = loading->file;
  b->format = loading->format;
  std::memcpy(b->display_words, loading->display_words, sizeof b->display_words);
  ozi_state* state = nullptr;
  if (alloc_bitmap(b, image->width, image->height, image->planes, kStoreSwaps) != 0 ||
      !alloc_mem(&state, sizeof(ozi_state))) {
    free_mem(&state);
    free_obj(&b);
    return nullptr;
  }
  copy_lines(image, b);
  b->georef = cal.georef;
  b->georef->transfo = cal.step;
  b->georef->transfotype = XK_AFFINE3D;
  state->step = cal.step;
  b->decoder = state;
  b->release = release_state;
  cal = ozi_calibration{};
  extent_t e{0.0, double(b->width), 0.0, double(b->height), 0.0};
  xform_extent(b->georef->transfo, XK_AFFINE3D, 0, &e);
  b->extent = e;
  return b;
}

// A second decode: the image's lines again into the record's stores.
int decode_again(bitmap_t* record, bitmap_t* image) {
  if (image->width != record->width || image->height != record->height ||
      image->planes != record->planes)
    return 14;
  copy_lines(image, record);
  return 0;
}

void free_calibration(ozi_calibration& cal) {
  free_obj(&cal.step);
  free_obj(&cal.georef);
}

int read_map(bitmap_t** image) {
  bitmap_t* loading = *image;
  ozi_map_text text;
  int rc = ozi_map_read_text(loading->file, &text);
  if (rc != 0) return rc;
  fileatt_t* f = open_image_file(loading->file, text.image_name);
  if (!f) return 2;
  ozi_calibration cal;
  rc = ozi_map_calibrate(text, &cal);
  if (rc != 0) return rc;
  bool loaded_here = false;
  bitmap_t* source = load_image(f, &loaded_here, &rc);
  if (source) {
    if (loading->lines) {
      rc = decode_again(loading, source);
    } else if (bitmap_t* made = georeferenced_copy(source, loading, cal)) {
      free_obj(&loading);
      *image = made;
    } else {
      rc = 1;
    }
  }
  free_calibration(cal);
  if (loaded_here) file_detail::file_release_content(f, 0);
  return rc;
}

}  // namespace

int ozi_read_map_file(bitmap_t** image, intptr_t) {
  if (!image || !*image || !(*image)->file) return 2;
  const int rc = read_map(image);
  set_gblerr(0);
  return rc;
}

int ozi_map_decoder(const image_decode_call& call) {
  return ozi_read_map_file(call.image, call.extra);
}

void ozi_map_register() { image_decoder_register(kDecoderOziMap, ozi_map_decoder); }
