// The table of positions and half-sizes of images, and the mean pixel size word.
#include "raster/image_place.h"

#include <cstddef>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "map/gps_classes.h"

namespace {

struct place_entry {
  position_t* position = nullptr;
  double half_size = 0.0;
  int rotation = 0;
};

// The load task writes, the redraw and the dialogs read: one lock for the table.
std::mutex g_lock;
std::unordered_map<const bitmap_t*, place_entry>& table() {
  static std::unordered_map<const bitmap_t*, place_entry> t;
  return t;
}

char* pixel_size_word(bitmap_t* image) {
  return reinterpret_cast<char*>(image) + offsetof(bitmap_t, loader_words2);
}

}  // namespace

position_t* image_position(const bitmap_t* image) {
  std::lock_guard<std::mutex> hold(g_lock);
  auto it = table().find(image);
  return it == table().end() ? nullptr : it->second.position;
}

void image_set_position(bitmap_t* image, position_t* position) {
  if (!image) return;
  position_t* old = nullptr;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    place_entry& e = table()[image];
    old = e.position == position ? nullptr : e.position;
    e.position = position;
  }
  free_obj(&old);
}

double image_half_size(const bitmap_t* image) {
  std::lock_guard<std::mutex> hold(g_lock);
  auto it = table().find(image);
  return it == table().end() ? 0.0 : it->second.half_size;
}

void image_set_half_size(bitmap_t* image, double half_size) {
  if (!image) return;
  std::lock_guard<std::mutex> hold(g_lock);
  table()[image].half_size = half_size;
}

int image_rotation(const bitmap_t* image) {
  std::lock_guard<std::mutex> hold(g_lock);
  auto it = table().find(image);
  return it == table().end() ? 0 : it->second.rotation;
}

void image_set_rotation(bitmap_t* image, int code) {
  if (!image) return;
  std::lock_guard<std::mutex> hold(g_lock);
  table()[image].rotation = code;
}

double image_mean_pixel_size(const bitmap_t* image) {
  if (!image) return 0.0;
  double v = 0.0;
  std::memcpy(&v, pixel_size_word(const_cast<bitmap_t*>(image)), sizeof v);
  return v;
}

void image_set_mean_pixel_size(bitmap_t* image, double size) {
  if (image) std::memcpy(pixel_size_word(image), &size, sizeof size);
}

void image_place_forget(bitmap_t* image) {
  if (!image) return;
  position_t* position = nullptr;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    auto it = table().find(image);
    if (it != table().end()) {
      position = it->second.position;
      table().erase(it);
    }
  }
  free_obj(&position);
  georef_t* g = image->georef;
  // The image-to-world steps the image readers make (an offset-and-scale step with its
  // origin, or a model matrix) belong to the image.
  if (g && g->transfo &&
      (g->transfo->cls == CLS_XFORM_OFFSET_SCALE || g->transfo->cls == CLS_XFORM_AFFINE3D)) {
    obj_t* step = g->transfo;
    g->transfo = nullptr;
    xform_free_step(step->cls == CLS_XFORM_OFFSET_SCALE ? XK_OFFSET_SCALE : XK_AFFINE3D, &step);
  }
}

void image_place_reset() {
  std::lock_guard<std::mutex> hold(g_lock);
  table().clear();
}
