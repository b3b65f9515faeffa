// The decoder of OziExplorer map calibration files (see ozi_map.h): reads the
// calibration, loads the image it names through the image loading, and puts in the
// place of the record being loaded a new record with the calibrated georeference.
//
// When the fitted step keeps the image's rows and columns on the axes of the map (a
// north-up calibration) the new record holds the image's own pixels, georeferenced by an
// offset-and-scale step that maps them exactly onto the calibration. Otherwise (a
// rotated or sheared fit, such as a grid's convergence) the image is resampled into the
// map's axes and georeferenced by its extent. Either way the image file's own record is
// released with the image file's content, and the new record belongs to the
// calibration file, as if the calibration file had been the image.
#include <cmath>
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
#include "raster/raster_georef_internal.h"
#include "raster/raster_ops.h"

namespace {

// A fit whose off-axis terms move no corner of the image by this share of a pixel is
// taken as north up.
constexpr double kAxisTolerance = 1e-6;

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
// is not a raster image or is a calibration file, else the load's result). *loaded_here tells whether this load
// made the file's content (which is then released again by the caller).
bitmap_t* load_image(fileatt_t* f, bool* loaded_here, int* rc) {
  *loaded_here = false;
  if (auto identify = get_image_load_hooks().identify) identify(f);
  set_gblerr(0);
  // A calibration file naming a calibration file (itself, or one naming it back) would
  // load without end: it is not a raster image.
  if (file_get_type(f) != kFileKindImage || file_get_format(f) == kDecoderOziMap) {
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

// The forward matrix of the fitted step.
void forward_of(const xform_affine3d_t* step, double f[16]) { std::memcpy(f, step->f, 16 * sizeof(double)); }

bool north_up(const double f[16], const bitmap_t* image) {
  return std::fabs(f[1]) * image->height <= kAxisTolerance * std::fabs(f[0]) &&
         std::fabs(f[4]) * image->width <= kAxisTolerance * std::fabs(f[5]);
}

// The image's own pixels with the offset-and-scale step of a north-up fit.
bitmap_t* copy_north_up(bitmap_t* source, const double f[16]) {
  obj_t* step = make_offset_scale(f[0], f[5], 0.0, 0.0, 0.0, f[3], f[7]);
  bitmap_t* b = step ? image_copy(source, nullptr) : nullptr;
  if (!b) {
    if (step) xform_free_step(XK_OFFSET_SCALE, &step);
    return nullptr;
  }
  b->georef = nullptr;
  georef_t* g = nullptr;
  georef_create(nullptr, &g);
  b->georef = g;
  if (!g) {
    xform_free_step(XK_OFFSET_SCALE, &step);
    free_obj(&b);
    return nullptr;
  }
  georef_set_pixel_step(g, step);
  return b;
}

// The image resampled into the map's axes. The resampling lays its rows from the
// southern edge up while the extent step puts the first row north: the fitted step is
// mirrored about the middle of the extent first, so that the two turns cancel.
bitmap_t* resample(bitmap_t* source, xform_affine3d_t* fitted, const extent_t& world) {
  obj_t* mirror = make_offset_scale(1.0, -1.0, 1.0, 0.0, 0.0, 0.0, world.ymin + world.ymax);
  xform_chain_t* chain = nullptr;
  if (mirror) xform_chain_create(0, &chain);
  bitmap_t* b = nullptr;
  if (chain) {
    xform_chain_append(chain, fitted, XK_AFFINE3D);
    xform_chain_append(chain, mirror, XK_OFFSET_SCALE);
    image_transform_to(source, chain, XK_CHAIN, &b);
  }
  free_obj(&chain);
  if (mirror) xform_free_step(XK_OFFSET_SCALE, &mirror);
  if (!b) return nullptr;
  georef_t* g = nullptr;
  georef_create(nullptr, &g);
  b->georef = g;
  if (!g || image_georef_extent(b, world) != 0) {
    free_obj(&b);
    return nullptr;
  }
  return b;
}

// A new record with the image's pixels and the calibration's georeference, in the place
// of `loading`; null (gblerr set) when it cannot be made.
bitmap_t* georeferenced_copy(bitmap_t* image, bitmap_t* loading, ozi_calibration& cal) {
  double f[16];
  forward_of(cal.step, f);
  extent_t world{0.0, double(image->width), 0.0, double(image->height), 0.0};
  xform_extent(cal.step, XK_AFFINE3D, 0, &world);
  bitmap_t* b = north_up(f, image) ? copy_north_up(image, f) : resample(image, cal.step, world);
  if (!b) return nullptr;
  georef_t* g = b->georef;
  g->refertype = cal.georef->refertype;
  g->datum = cal.georef->datum;
  g->projection = cal.georef->projection;
  g->unit = cal.georef->unit;
  b->file = loading->file;
  b->format = loading->format;
  std::memcpy(b->display_words, loading->display_words, sizeof b->display_words);
  b->extent = world;
  return b;
}

// A second decode: the lines of the georeferenced image again, into the record's own
// stores (the record keeps its georeference).
int decode_again(bitmap_t* record, bitmap_t* made) {
  if (made->width != record->width || made->height != record->height ||
      made->planes != record->planes)
    return 14;
  copy_lines(made, record);
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
  bitmap_t* made = source ? georeferenced_copy(source, loading, cal) : nullptr;
  if (source && !made) rc = get_gblerr() != 0 ? get_gblerr() : 1;
  if (made && loading->lines) {
    rc = decode_again(loading, made);
    free_obj(&made);
  } else if (made) {
    free_obj(&loading);
    *image = made;
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

void ozi_init() { ozi_map_register(); }
