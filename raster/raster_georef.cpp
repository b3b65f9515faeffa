// Georeferencing of images: the pixel grid mapped onto a world extent, the mean ground
// size of a pixel, and an image (a photo) placed at the GPS position it was shot at.
//
// Image rows run downwards while northings and latitudes grow upwards: every step made
// here has a negative y scale, so that the image's first row is its northern edge.
#include <cmath>

#include "core/error.h"
#include "geodesy/georef.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "map/extent_map.h"
#include "map/gps_classes.h"
#include "raster/image_place.h"
#include "raster/raster_ops.h"
#include "raster/raster_georef_internal.h"

namespace {

// The georeference's pixel step goes; whatever kind of step it was.
void drop_step(georef_t* g) {
  obj_t* step = g->transfo;
  g->transfo = nullptr;
  if (step && step->cls == CLS_XFORM_OFFSET_SCALE)
    xform_free_step(XK_OFFSET_SCALE, &step);
  else
    free_obj(&step);
}

}  // namespace

// A class 42 step with its class 41 origins; null (gblerr 1) when they cannot be made.
obj_t* make_offset_scale(double sx, double sy, double sz, double in_x, double in_y,
                         double out_x, double out_y) {
  xform_offset_scale_t* step = nullptr;
  xform_control_point_t* origin = nullptr;
  obj_new_registered(CLS_XFORM_OFFSET_SCALE, &step);
  obj_new_registered(CLS_XFORM_CONTROL_POINT, &origin);
  if (!step || !origin) {
    free_obj(&step);
    free_obj(&origin);
    set_gblerr(ERR_MEMORY);
    return nullptr;
  }
  step->sx = sx;
  step->sy = sy;
  step->sz = sz;
  origin->sx = in_x;
  origin->sy = in_y;
  origin->sz = 0.0;
  origin->tx = out_x;
  origin->ty = out_y;
  origin->tz = 0.0;
  step->origins = origin;
  return step;
}

void georef_set_pixel_step(georef_t* g, obj_t* step) {
  drop_step(g);
  g->transfo = step;
  g->transfotype = XK_OFFSET_SCALE;
}

double degrees_to_unit(int unit, double degrees) {
  return degrees * angle_unit_factor(unit) / angle_unit_factor(ANG_DEGREE);
}

double unit_to_degrees(int unit, double value) {
  const double f = angle_unit_factor(unit);
  return f == 0.0 ? value : value * angle_unit_factor(ANG_DEGREE) / f;
}

// Half-sizes of the two sides: the longer side gets `half`, the other its share.
void half_sides(const bitmap_t* image, double half, double* hx, double* hy) {
  *hx = *hy = half;
  if (image->width >= image->height)
    *hy = half * image->height / image->width;
  else
    *hx = half * image->width / image->height;
}

// Geographic corners (datum unit) of a box of half-sides hx, hy metres around (x, y)
// through the plate carree of the datum at that latitude; false on a projection failure.
bool corners_around(geodatum_t* datum, double x, double y, double hx, double hy,
                    double corners[4]) {
  cartproj_t* plate = crs_name_plate_carree(datum, y, nullptr);
  if (!plate || get_gblerr() != 0) return false;
  double px = x, py = y;
  xform_forward_2d(plate, XK_EQUIRECT, &px, &py);
  corners[0] = px - hx;
  corners[1] = py - hy;
  corners[2] = px + hx;
  corners[3] = py + hy;
  xform_inverse_2d(plate, XK_EQUIRECT, &corners[0], &corners[1]);
  xform_inverse_2d(plate, XK_EQUIRECT, &corners[2], &corners[3]);
  return get_gblerr() == 0;
}

// The image centred on (x, y) over the corners, north up.
obj_t* centred_step(const bitmap_t* image, double x, double y, const double corners[4]) {
  const double sx = (corners[2] - corners[0]) / image->width;
  const double sy = (corners[1] - corners[3]) / image->height;
  return make_offset_scale(sx, sy, 1.0, image->width * 0.5, image->height * 0.5, x, y);
}

int image_georef_extent(bitmap_t* image, extent_t world) {
  if (!image || !image->georef) return set_gblerr(ERR_GEOGRAPHIC);
  if (image->width < 1 || image->height < 1) return set_gblerr(ERR_VALUE);
  obj_t* step = make_offset_scale((world.xmax - world.xmin) / image->width,
                                  (world.ymin - world.ymax) / image->height, 0.0, 0.0, 0.0,
                                  world.xmin, world.ymax);
  if (!step) return ERR_MEMORY;
  georef_set_pixel_step(image->georef, step);
  return 0;
}

void image_pixel_size(bitmap_t* image) {
  if (!image || !image->georef || image->georef->refertype == GEOREF_NONE) return;
  if (image->width < 1 || image->height < 1) return;
  const georef_t* g = image->georef;
  extent_t world{};
  georef_image_to_world(image, extent_t{0, double(image->width), 0, double(image->height), 0},
                        &world);
  if (g->refertype == GEOREF_GEOGRAPHIC) {
    cartproj_t* plate = nullptr;
    const int before = get_gblerr();
    graph_project_extent(g, &world, &plate);
    if (!plate || get_gblerr() != before) return;
  } else {
    const double f = length_unit_factor(g->unit);
    if (f == 0.0) return;
    world.xmin *= f;
    world.xmax *= f;
    world.ymin *= f;
    world.ymax *= f;
  }
  const double size = (std::fabs(world.ymax - world.ymin) / image->height +
                       std::fabs(world.xmax - world.xmin) / image->width) * 0.5;
  if (std::isfinite(size)) image_set_mean_pixel_size(image, size);
}

void image_georef_from_position(bitmap_t* image, double half_size) {
  if (!image || image->georef || image->width < 1 || image->height < 1) return;
  position_t* pos = image_position(image);
  auto* datum = pos ? static_cast<geodatum_t*>(pos->datum) : nullptr;
  if (!datum) return;
  image_set_half_size(image, half_size);
  const double x = degrees_to_unit(datum->unit, pos->coords.x);
  const double y = degrees_to_unit(datum->unit, pos->coords.y);
  double hx = 0, hy = 0, corners[4];
  half_sides(image, half_size, &hx, &hy);
  if (!corners_around(datum, x, y, hx, hy, corners)) return;
  obj_t* step = centred_step(image, x, y, corners);
  georef_t* g = nullptr;
  obj_new_registered(CLS_GEOREF, &g);
  if (!step || !g) {
    xform_free_step(XK_OFFSET_SCALE, &step);
    free_obj(&g);
    set_gblerr(ERR_MEMORY);
    return;
  }
  g->refertype = GEOREF_GEOGRAPHIC;
  g->datum = datum;
  g->projection = nullptr;
  g->unit = datum->unit;
  g->transfo = step;
  g->transfotype = XK_OFFSET_SCALE;
  image->georef = g;
}
