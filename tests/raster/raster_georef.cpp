// Georeferencing of images: an image placed at a GPS position (centred on it, the longer
// side twice the half-size, north up) by itself and by the loader, the pixel grid on a
// world extent, the mean pixel size, the image re-placed in a projected system, its
// extent, and its re-projection into a graph space of another system.
#include <cmath>

#include "geodesy/georef.h"
#include "geodesy/projection.h"
#include "geodesy/xform.h"
#include "map/extent_map.h"
#include "raster/image_place.h"
#include "raster/raster_ops.h"
#include "tests/raster/image_load_fixture.h"

namespace {

class RasterGeorefTest : public raster_test::ImageLoadTest {};

constexpr double kLon = 2.35, kLat = 48.85;

// World coordinates of an image point through its georeference.
void to_world(const bitmap_t* b, double x, double y, double* wx, double* wy) {
  georef_t* g = b->georef;
  *wx = x;
  *wy = y;
  xform_forward_2d(g->transfo, g->transfotype, wx, wy);
}

// Metres between two geographic points (degrees) along each axis, on the plate carree
// of the datum at the first point's latitude.
void metres_apart(const georef_t* g, double lon0, double lat0, double lon1, double lat1,
                  double* dx, double* dy) {
  cartproj_t* plate = crs_name_plate_carree(g->datum, kLat, nullptr);
  ASSERT_NE(plate, nullptr);
  xform_forward_2d(plate, XK_EQUIRECT, &lon0, &lat0);
  xform_forward_2d(plate, XK_EQUIRECT, &lon1, &lat1);
  *dx = lon1 - lon0;
  *dy = lat1 - lat0;
}

struct placed_case {
  int width, height;
  double across, down;  // metres
};

TEST_F(RasterGeorefTest, PlacedImageIsCentredOnItsPositionNorthUp) {
  for (const placed_case c : {placed_case{400, 300, 2000, 1500}, placed_case{300, 400, 1500, 2000}}) {
    SCOPED_TRACE(c.width);
    bitmap_t* b = new_image(c.width, c.height, 1);
    give_position(b, kLon, kLat);
    image_georef_from_position(b, 1000.0);
    ASSERT_NE(val(b->georef), nullptr);
    EXPECT_EQ(val(b->georef->refertype), GEOREF_GEOGRAPHIC);
    EXPECT_EQ(image_half_size(b), 1000.0);
    double cx, cy, x0, y0, x1, y1;
    to_world(b, c.width * 0.5, c.height * 0.5, &cx, &cy);
    EXPECT_NEAR(cx, kLon, 1e-9);
    EXPECT_NEAR(cy, kLat, 1e-9);
    to_world(b, 0, 0, &x0, &y0);                // top-left pixel corner
    to_world(b, c.width, c.height, &x1, &y1);   // bottom-right
    EXPECT_GT(y0, y1);  // the first row is the northern edge
    EXPECT_LT(x0, x1);
    double dx = 0, dy = 0;
    metres_apart(b->georef, x0, y1, x1, y0, &dx, &dy);
    EXPECT_NEAR(dx, c.across, 1e-6);
    EXPECT_NEAR(dy, c.down, 1e-6);
    image_pixel_size(b);
    EXPECT_NEAR(image_mean_pixel_size(b), 5.0, 1e-6);
  }
}

TEST_F(RasterGeorefTest, ImageWithAGeoreferenceOrWithoutPositionIsNotPlaced) {
  bitmap_t* b = new_image(40, 30, 1);
  image_georef_from_position(b, 1000.0);
  EXPECT_EQ(val(b->georef), nullptr);
  give_position(b, kLon, kLat);
  image_georef_from_position(b, 1000.0);
  georef_t* first = b->georef;
  image_georef_from_position(b, 50.0);
  EXPECT_EQ(val(b->georef), first);
  EXPECT_EQ(image_half_size(b), 1000.0);
}

TEST_F(RasterGeorefTest, LoaderPlacesAnImageThatHasAPositionAndMeasuresIt) {
  image_decoder_register(raster_test::kPatternCode, [](const image_decode_call& call) {
    const int rc = raster_test::pattern_row(call);
    geodatum_t* d = nullptr;
    geo_find_by_code(CLS_GEODATUM, 214, &d);
    position_t* pos = nullptr;
    obj_new_registered(CLS_POSITION, &pos);
    pos->coords.x = kLon;
    pos->coords.y = kLat;
    pos->datum = d;
    image_set_position(*call.image, pos);
    return rc;
  });
  bitmap_t* b = pattern_image(400, 300, 1, 2);
  ASSERT_NE(b, nullptr);
  ASSERT_NE(val(b->georef), nullptr);
  EXPECT_EQ(image_half_size(b), 1000.0);
  EXPECT_NEAR(image_mean_pixel_size(b), 5.0, 1e-6);
  double x0, y0, x1, y1;
  to_world(b, 0, 0, &x0, &y0);
  to_world(b, 0, 300, &x1, &y1);
  EXPECT_GT(y0, y1);
}

TEST_F(RasterGeorefTest, PixelsOnAWorldExtentRowsDownwards) {
  bitmap_t* b = new_image(50, 25, 1);
  EXPECT_EQ(image_georef_extent(b, extent_t{10, 20, 100, 150, 0}), ERR_GEOGRAPHIC);
  set_gblerr(0);
  b->georef = tm_test::make_georef(214, 31);
  ASSERT_EQ(image_georef_extent(b, extent_t{1000, 1500, 2000, 2250, 0}), 0);
  double x, y;
  to_world(b, 0, 0, &x, &y);
  EXPECT_DOUBLE_EQ(x, 1000);
  EXPECT_DOUBLE_EQ(y, 2250);
  to_world(b, 50, 25, &x, &y);
  EXPECT_DOUBLE_EQ(x, 1500);
  EXPECT_DOUBLE_EQ(y, 2000);
  image_pixel_size(b);
  EXPECT_DOUBLE_EQ(image_mean_pixel_size(b), 10.0);
  image_place_in_georef(b);
  EXPECT_DOUBLE_EQ(val(b->extent.xmin), 1000);
  EXPECT_DOUBLE_EQ(val(b->extent.ymax), 2250);
}

TEST_F(RasterGeorefTest, ImageReplacedAtItsPositionInAProjectedSystem) {
  bitmap_t* b = new_image(400, 300, 1);
  give_position(b, kLon, kLat);
  image_georef_from_position(b, 1000.0);
  georef_t* utm = own_georef(tm_test::make_georef(214, 31));
  image_georef_position_in(b, utm);
  ASSERT_NE(val(b->georef), nullptr);
  EXPECT_EQ(val(b->georef->refertype), GEOREF_PROJECTED);
  EXPECT_EQ(val(b->georef->projection), val(utm->projection));
  // The centre is the position's UTM coordinates; the sides keep their ground size.
  double ux = kLon, uy = kLat, z = 0;
  xform_forward(val(utm->projection), val(utm->projection->trsftype), &ux, &uy, &z);
  double cx, cy, x0, y0, x1, y1;
  to_world(b, 200, 150, &cx, &cy);
  EXPECT_NEAR(cx, ux, 1e-6);
  EXPECT_NEAR(cy, uy, 1e-6);
  to_world(b, 0, 0, &x0, &y0);
  to_world(b, 400, 300, &x1, &y1);
  EXPECT_NEAR(x1 - x0, 2000, 1e-6);
  EXPECT_NEAR(y0 - y1, 1500, 1e-6);
  EXPECT_NEAR(image_mean_pixel_size(b), 5.0, 1e-6);
}

TEST_F(RasterGeorefTest, ReprojectedImageLiesAroundTheSamePlaceInTheGraphSystem) {
  bitmap_t* b = new_image(40, 30, 1);
  give_position(b, kLon, kLat);
  image_georef_from_position(b, 1000.0);
  georef_t* utm = own_georef(tm_test::make_georef(214, 31));
  ASSERT_EQ(image_reproject_into_graph(b, utm), 0);
  EXPECT_EQ(val(b->width), 56);
  EXPECT_EQ(val(b->height), 42);
  ASSERT_NE(val(b->georef), nullptr);
  EXPECT_EQ(val(b->georef->refertype), GEOREF_PROJECTED);
  double ux = kLon, uy = kLat, z = 0;
  xform_forward(val(utm->projection), val(utm->projection->trsftype), &ux, &uy, &z);
  image_place_in_georef(b);
  EXPECT_LT(val(b->extent.xmin), ux);
  EXPECT_GT(val(b->extent.xmax), ux);
  EXPECT_LT(val(b->extent.ymin), uy);
  EXPECT_GT(val(b->extent.ymax), uy);
  EXPECT_NEAR(val(b->extent.xmax) - val(b->extent.xmin), 2000, 50);
}

}  // namespace
