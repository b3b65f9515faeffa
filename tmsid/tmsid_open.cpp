// Opening an image on its first decode: the decoder's answers are checked before the
// image record is touched, the handle is kept in the record's decoder state (closed by
// the record's release routine when the host frees it), the record is sized with a
// line store that decodes dropped lines again, and the georeference is built from the
// decoder's pixel size and first-pixel centre.
//
// A file the decoder refuses, or whose data type, band count or size is unsupported,
// leaves the image unopened with its handle closed at once. Three bands in a colour
// space other than RGB set gblerr 3 (the handle then stays in the record, which the
// host frees).
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "geodesy/xform_records.h"
#include "tmsid/tmsid_internal.h"

namespace tmsid {

namespace {

constexpr int kGreyColourSpaces[] = {4, 5};
constexpr int kRgbColourSpace = 1;
constexpr int kGeorefOffsetScale = 1;  // georef transform type of an offset-scale step

bool supported_type(int data_type) { return data_type == 1 || data_type == 2; }
bool supported_bands(int bands) { return bands == 1 || bands == 3; }

void keep_handle(bitmap_t* image, ltic_handle handle) {
  void* block = nullptr;
  std::memcpy(&block, &image->decoder, sizeof block);
  if (!block) {
    host().alloc_mem(reinterpret_cast<void**>(&image->decoder), int(sizeof(ltic_handle)));
    std::memcpy(&block, &image->decoder, sizeof block);
  }
  std::memcpy(block, &handle, sizeof handle);
  const bitmap_release_fn release = release_handle;
  std::memcpy(&image->release, &release, sizeof release);
}

// Creates an object of the class through the host; null when it could not.
template <class T> T* new_object(int cls) {
  obj_t* o = nullptr;
  host().alloc_obj(cls, &o);
  return static_cast<T*>(o);
}

// The identity placement (corner origin (0, 0), X resolution 1, Y resolution -1), or
// values no placement can be built from: the image is left without georeference.
bool no_placement(double xres, double yres, double ox, double oy) {
  if (!std::isfinite(xres) || !std::isfinite(yres) || !std::isfinite(ox) || !std::isfinite(oy))
    return true;
  if (xres == 0.0 || yres == 0.0) return true;
  return ox == 0.0 && oy == 0.0 && xres == 1.0 && yres == -1.0;
}

void build_georef(bitmap_t* image, ltic_handle h) {
  const decoder_calls& d = decoder();
  const double x_rotation = d.x_rotation(h);
  d.y_rotation(h);  // read; a placement without rotation has no use for it
  if (x_rotation != 0.0) {
    // A rotated image keeps an empty georeference.
    image->georef = new_object<georef_t>(CLS_GEOREF);
    return;
  }
  const double xres = d.x_resolution(h), yres = d.y_resolution(h);
  const double ox = d.x_origin(h) - xres * 0.5, oy = d.y_origin(h) - yres * 0.5;
  if (no_placement(xres, yres, ox, oy)) return;
  auto* g = new_object<georef_t>(CLS_GEOREF);
  auto* step = new_object<xform_offset_scale_t>(CLS_XFORM_OFFSET_SCALE);
  auto* origin = new_object<xform_control_point_t>(CLS_XFORM_CONTROL_POINT);
  if (!g || !step || !origin) return;  // the host ends the process on memory failure
  origin->sx = origin->sy = origin->sz = 0.0;
  origin->tx = ox;
  origin->ty = oy;
  origin->tz = 0.0;
  step->sx = xres;
  step->sy = yres;
  step->sz = 1.0;
  step->origins = origin;
  g->transfo = step;
  g->transfotype = kGeorefOffsetScale;
  image->georef = g;
}

// The image's kind, size and planes; false with gblerr 3 for three bands that are not
// RGB, or with the host's code when the line store cannot be made.
bool size_image(bitmap_t* image, ltic_handle h, int bands, uint32_t width, uint32_t height) {
  image->variant = kPixelKind;
  image->width = int32_t(width);
  image->height = int32_t(height);
  const int colour_space = decoder().colour_space(h);
  if (bands == 1) {
    image->planes = 1;
    image->bits_per_sample = 8;
    image->samples_per_pixel = 1;
    for (int grey : kGreyColourSpaces)
      if (colour_space == grey) host().set_graylevel_lut(image);
  } else {
    if (colour_space != kRgbColourSpace) {
      set_error(3);
      return false;
    }
    image->planes = 3;
    image->bits_per_sample = 8;
    image->samples_per_pixel = 3;
  }
  return host().alloc_bitmap(image, int(width), int(height), image->planes,
                             kStoreDecodeAgain) == 0;
}

}  // namespace

ltic_handle image_handle(const bitmap_t* image) {
  void* block = nullptr;
  std::memcpy(&block, &image->decoder, sizeof block);
  if (!block) return nullptr;
  ltic_handle h = nullptr;
  std::memcpy(&h, block, sizeof h);
  return h;
}

void release_handle(void* block) {
  if (!block) return;
  ltic_handle h = nullptr;
  std::memcpy(&h, block, sizeof h);
  std::memset(block, 0, sizeof h);
  if (h && decoder().close) decoder().close(h);
}

bool open_image(bitmap_t* image) {
  if (image_handle(image)) return true;
  const decoder_calls& d = decoder();
  char* path = host().get_filemobj_name(image->file);
  if (!path) return false;
  ltic_handle h = nullptr;
  const int status = d.open(&h, path);
  std::free(path);
  if (status != 0 || !h) return false;
  const int data_type = d.data_type(h);
  const int bands = supported_type(data_type) ? d.num_bands(h) : 0;
  const bool usable = supported_bands(bands);
  const uint32_t width = usable ? d.width(h) : 0, height = usable ? d.height(h) : 0;
  if (!usable || width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
    d.close(h);
    return false;
  }
  keep_handle(image, h);
  if (!size_image(image, h, bands, width, height)) return false;
  if (error_code() == 0) build_georef(image, h);
  return true;
}

}  // namespace tmsid
