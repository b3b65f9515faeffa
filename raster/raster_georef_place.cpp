// An image placed at its position in a chosen system, its extent in its own
// georeference, and its re-projection into the graph space's system.
//
// The pixel step of an image's georeference takes the place of the georeference's unit
// step: its output is in the native unit of the system (the datum's angle unit, the
// projection's length unit), so every georeference made here has its unit reset to it.
#include <cstring>

#include "core/error.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "map/extent_map.h"
#include "map/gps_classes.h"
#include "raster/image_place.h"
#include "raster/raster_georef_internal.h"
#include "raster/raster_ops.h"

namespace {

// Default half-size of an image re-placed in a chosen system that had none.
constexpr double kReplaceHalfSize = 100.0;

cartproj_t* projection_of(const georef_t* g) {
  return g->refertype == GEOREF_PROJECTED ? g->projection : nullptr;
}

// The position (degrees on its datum) carried into the georeference's native
// coordinates; false when no conversion joins them.
bool position_in_system(const position_t* pos, const georef_t* g, double* x, double* y) {
  auto* from = static_cast<geodatum_t*>(pos->datum);
  *x = degrees_to_unit(from->unit, pos->coords.x);
  *y = degrees_to_unit(from->unit, pos->coords.y);
  int kinds[kMaxConversionSteps] = {};
  obj_t* steps[kMaxConversionSteps] = {};
  int count = 0;
  if (georef_chain_build(from, g->datum, nullptr, projection_of(g), kinds, steps, &count) != 0)
    return false;
  double z = 0.0;
  for (int i = 0; i < count; ++i) xform_forward(steps[i], kinds[i], x, y, &z);
  return get_gblerr() == 0;
}

// Corners of the box of half-sides (metres) around a point in the system's native unit.
bool corners_in_system(const georef_t* g, double x, double y, double hx, double hy,
                       double corners[4]) {
  if (g->refertype == GEOREF_GEOGRAPHIC) return corners_around(g->datum, x, y, hx, hy, corners);
  const double f = length_unit_factor(g->projection ? g->projection->unit : LEN_METRE);
  const double k = f > 0.0 ? 1.0 / f : 1.0;
  corners[0] = x - hx * k;
  corners[1] = y - hy * k;
  corners[2] = x + hx * k;
  corners[3] = y + hy * k;
  return true;
}

// A new georeference of the same system as `model` (a copy) or geographic on the datum.
georef_t* georef_like(const georef_t* model, geodatum_t* datum) {
  georef_t* g = nullptr;
  obj_new_registered(CLS_GEOREF, &g);
  if (!g) return nullptr;
  if (model) {
    obj_copy(model, g);
  } else {
    g->refertype = GEOREF_GEOGRAPHIC;
    g->datum = datum;
    g->projection = nullptr;
  }
  georef_set_pixel_step(g, nullptr);
  georef_reset_unit(g);
  return g;
}

void drop_georef(bitmap_t* image) {
  georef_t* g = image->georef;
  if (!g) return;
  georef_set_pixel_step(g, nullptr);
  image->georef = nullptr;
  free_obj(&g);
}

}  // namespace

void image_georef_position_in(bitmap_t* image, georef_t* georef) {
  position_t* pos = image ? image_position(image) : nullptr;
  if (!pos || !pos->datum || image->width < 1 || image->height < 1) return;
  if (georef && (!georef->datum || (georef->refertype == GEOREF_PROJECTED && !georef->projection)))
    return void(set_gblerr(ERR_GEOGRAPHIC));
  if (georef) drop_georef(image);
  if (image->georef) return;
  auto* pos_datum = static_cast<geodatum_t*>(pos->datum);
  georef_t* g = georef_like(georef, pos_datum);
  if (!g) return void(set_gblerr(ERR_MEMORY));
  double half = image_half_size(image);
  if (half <= 0.0) half = kReplaceHalfSize;
  double x = 0, y = 0, hx = 0, hy = 0, corners[4];
  half_sides(image, half, &hx, &hy);
  obj_t* step = nullptr;
  if (position_in_system(pos, g, &x, &y) && corners_in_system(g, x, y, hx, hy, corners))
    step = centred_step(image, x, y, corners);
  if (!step) return free_obj(&g);
  georef_set_pixel_step(g, step);
  image->georef = g;
  image_set_half_size(image, half);
  // The position follows into the system's datum (still longitude and latitude).
  if (g->refertype == GEOREF_GEOGRAPHIC) {
    pos->coords.x = unit_to_degrees(g->datum->unit, x);
    pos->coords.y = unit_to_degrees(g->datum->unit, y);
    pos->datum = g->datum;
  }
  image_pixel_size(image);
}

void image_place_in_georef(bitmap_t* image) {
  if (!image) return;
  const extent_t pixels{0, double(image->width), 0, double(image->height), 0};
  extent_t world = pixels;
  if (image->georef) georef_image_to_world(image, pixels, &world);
  image->extent = world;
}

namespace {

// The graph space's own unit carried back to the native unit of its system.
void to_native(const georef_t* g, extent_t* e) {
  if (!g->transfo) return;
  double z = 0.0;
  xform_forward(g->transfo, g->transfotype, &e->xmin, &e->ymin, &z);
  z = 0.0;
  xform_forward(g->transfo, g->transfotype, &e->xmax, &e->ymax, &z);
}

// The image takes the resampled image's pixels; the resampled record keeps the old ones
// and is freed with them.
void take_pixels(bitmap_t* image, bitmap_t* from) {
  filemobj_t* lines = image->lines;
  filemobj_t* overview = image->overview;
  image->lines = from->lines;
  image->overview = from->overview;
  from->lines = lines;
  from->overview = overview;
  image->width = from->width;
  image->height = from->height;
  image->tiles_across = from->tiles_across;
  image->tiles_down = from->tiles_down;
  std::memcpy(image->transparent, from->transparent, sizeof image->transparent);
  image->has_transparent = from->has_transparent;
}

}  // namespace

int image_reproject_into_graph(bitmap_t* image, georef_t* graph_georef) {
  if (!image || !graph_georef || !image->georef) return 0;
  if (georef_same_system(image->georef, graph_georef) == 0) return 0;
  xform_chain_t* chain = nullptr;
  georef_link_chain(graph_georef, image->georef, &chain);
  if (!chain) return get_gblerr() ? get_gblerr() : set_gblerr(ERR_GEOGRAPHIC);
  bitmap_t* resampled = nullptr;
  image_transform_to(image, chain, XK_CHAIN, &resampled);
  free_obj(&chain);
  if (!resampled) return get_gblerr() ? get_gblerr() : set_gblerr(ERR_MEMORY);
  extent_t e = resampled->extent;
  to_native(graph_georef, &e);
  georef_t* g = georef_like(graph_georef, nullptr);
  obj_t* step = g ? make_offset_scale((e.xmax - e.xmin) / resampled->width,
                                      (e.ymax - e.ymin) / resampled->height, 0.0, 0.0, 0.0,
                                      e.xmin, e.ymin)
                  : nullptr;
  if (!step) {
    free_obj(&g);
    free_obj(&resampled);
    return set_gblerr(ERR_MEMORY);
  }
  take_pixels(image, resampled);
  free_obj(&resampled);
  georef_set_pixel_step(g, step);
  drop_georef(image);
  image->georef = g;
  image_place_in_georef(image);
  image_pixel_size(image);
  return 0;
}
