// The OziExplorer calibration decoder on the fixture maps: the image it names is loaded
// and georeferenced so that its corners fall where the fixture script (an affine fit and
// pyproj) puts them, in the datum and projection the file names.
#include <cmath>
#include <fstream>
#include <sstream>

#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "tests/raster/ozi_map_fixture.h"

namespace raster_test {
namespace {

struct expected_map {
  std::string name;
  double corners[4][2];  // longitude, latitude: top-left, top-right, bottom-right, bottom-left
};

std::vector<expected_map> expected_maps() {
  std::vector<expected_map> out;
  std::ifstream in(ozi_fixture("expected.txt"));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream s(line);
    expected_map m;
    s >> m.name;
    for (auto& c : m.corners) s >> c[0] >> c[1];
    out.push_back(m);
  }
  return out;
}

// World coordinates of the georeference -> degrees on its datum.
void to_degrees(const georef_t* g, double* x, double* y) {
  if (g->refertype == GEOREF_PROJECTED) proj_inverse(g->projection, x, y);
  angle_unit_convert(g->datum->unit, ANG_DEGREE, x, y);
}

// Pixel position of an image -> degrees on its georeference's datum.
void corner_degrees(const bitmap_t* b, double px, double py, double* lon, double* lat) {
  double x = px, y = py, z = 0.0;
  const georef_t* g = b->georef;
  xform_forward(g->transfo, g->transfotype, &x, &y, &z);
  to_degrees(g, &x, &y);
  *lon = x;
  *lat = y;
}

// The fixture image's pattern, as the script draws it.
uint8_t tile_sample(int x, int y, int plane) {
  const int v[3] = {(x * 6) % 256, (y * 8) % 256, (x * y) % 256};
  return uint8_t(v[plane]);
}

using OziMapCalibration = OziMapTest;

// The fitted step puts the image's corners where the outside fit does.
TEST_F(OziMapCalibration, CornersMatchTheOutsideFit) {
  const std::vector<expected_map> maps = expected_maps();
  ASSERT_EQ(maps.size(), 6u);
  for (const expected_map& m : maps) {
    SCOPED_TRACE(m.name);
    ozi_calibration cal;
    ASSERT_EQ(calibrate(ozi_fixture(m.name + ".map"), &cal), 0);
    const double pix[4][2] = {{0, 0}, {40, 0}, {40, 30}, {0, 30}};
    for (int i = 0; i < 4; ++i) {
      double x = pix[i][0], y = pix[i][1], z = 0.0;
      xform_forward(cal.step, XK_AFFINE3D, &x, &y, &z);
      to_degrees(cal.georef, &x, &y);
      EXPECT_NEAR(x, m.corners[i][0], 1e-7) << "corner " << i;
      EXPECT_NEAR(y, m.corners[i][1], 1e-7) << "corner " << i;
    }
    free_obj(&cal.step);
    free_obj(&cal.georef);
  }
}

// The loaded image: a north-up calibration keeps the image's pixels and maps its corners
// exactly; any other is resampled into the map's axes, each pixel taking the sample of
// the image under its top-left corner, inside the box of the image's corners.
TEST_F(OziMapCalibration, LoadedImageCarriesTheCalibration) {
  for (const expected_map& m : expected_maps()) {
    SCOPED_TRACE(m.name);
    ozi_calibration cal;
    ASSERT_EQ(calibrate(ozi_fixture(m.name + ".map"), &cal), 0);
    bitmap_t* b = nullptr;
    ASSERT_EQ(decode_path(ozi_fixture(m.name + ".map"), &b), 0);
    ASSERT_NE(val(b->georef), nullptr);
    extent_t box{0, 40, 0, 30, 0};
    xform_extent(cal.step, XK_AFFINE3D, 0, &box);
    const bool resampled = val(b->width) != 40;
    EXPECT_EQ(resampled, m.name.rfind("geo_wgs84", 0) != 0);
    EXPECT_EQ(val(b->width), resampled ? 56 : 40);
    EXPECT_EQ(val(b->height), resampled ? 42 : 30);
    double x0 = 0, y0 = 0, z = 0, x1 = val(b->width), y1 = val(b->height);
    xform_forward(b->georef->transfo, val(b->georef->transfotype), &x0, &y0, &z);
    xform_forward(b->georef->transfo, val(b->georef->transfotype), &x1, &y1, &z);
    const double tol = 1e-9 * (std::fabs(box.xmax) + std::fabs(box.ymax));
    EXPECT_NEAR(x0, box.xmin, tol);
    EXPECT_NEAR(y0, box.ymax, tol);
    EXPECT_NEAR(x1, box.xmax, tol);
    EXPECT_NEAR(y1, box.ymin, tol);
    int checked = 0;
    for (int r = 0; r < val(b->height); ++r) {
      const uint8_t* line = image_line(b, r, 0);
      ASSERT_NE(line, nullptr);
      for (int c = 0; c < val(b->width); ++c) {
        // A resampled pixel takes the sample under its top-left corner; a kept one is
        // looked at in its centre.
        double x = resampled ? c : c + 0.5, y = resampled ? r : r + 0.5;
        xform_forward(b->georef->transfo, val(b->georef->transfotype), &x, &y, &z);
        xform_inverse(cal.step, XK_AFFINE3D, &x, &y, &z);
        const double near_edge = 1e-6;
        if (!(x >= 0 && x < 40 && y >= 0 && y < 30)) continue;
        if (x - std::floor(x) < near_edge || y - std::floor(y) < near_edge) continue;
        for (int p = 0; p < 3; ++p) {
          uint8_t want = tile_sample(int(x), int(y), p);
          if (resampled && want == 0) want = 1;  // 0 stays the transparent value
          ASSERT_EQ(line[p * val(b->width) + c], want) << c << "," << r << "," << p;
        }
        ++checked;
      }
    }
    EXPECT_GT(checked, 900);
    free_obj(&cal.step);
    free_obj(&cal.georef);
  }
}

// Datum and projection of each fixture: the datum code, and for projected maps the
// projection's central meridian (degrees) and false northing.
TEST_F(OziMapCalibration, DatumAndProjectionFollowTheFile) {
  struct row {
    const char* map;
    int refertype;
    int datum_code;
    double lambda0;
    double y0;
  };
  const row rows[] = {
      {"geo_wgs84", GEOREF_GEOGRAPHIC, 214, 0, 0},
      {"geo_osgb_two", GEOREF_GEOGRAPHIC, 330, 0, 0},
      {"utm_grid", GEOREF_PROJECTED, 214, 9.0, 0.0},            // zone 32 from the points
      {"utm_lonlat_south", GEOREF_PROJECTED, 214, 21.0, 1e7},   // zone 34 S from the mean
      {"tm_setup", GEOREF_PROJECTED, 214, 7.5, 200000.0},
      {"lcc_setup", GEOREF_PROJECTED, 214, 3.0, 6600000.0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.map);
    bitmap_t* b = nullptr;
    ASSERT_EQ(decode_path(ozi_fixture(std::string(r.map) + ".map"), &b), 0);
    const georef_t* g = b->georef;
    EXPECT_EQ(val(g->refertype), r.refertype);
    EXPECT_EQ(val(g->datum->code), r.datum_code);
    if (r.refertype != GEOREF_PROJECTED) {
      EXPECT_EQ(val(g->projection), nullptr);
      continue;
    }
    ASSERT_NE(val(g->projection), nullptr);
    EXPECT_NEAR(proj_given_lambda0(g->projection) * 180.0 / M_PI, r.lambda0, 1e-9);
    EXPECT_NEAR(val(g->projection->y0), r.y0, 1e-6);
  }
}

TEST_F(OziMapCalibration, RecordTakesThePixelsAndTheCalibrationFile) {
  fileatt_t* f = open(ozi_fixture("geo_wgs84.map"));
  bitmap_t* loading = record_for(f);
  bitmap_t* b = loading;
  ASSERT_EQ(ozi_read_map_file(&b, 0), 0);
  made_.push_back(b);
  EXPECT_NE(b, loading);  // the record being loaded was replaced
  EXPECT_EQ(val(b->file), f);
  EXPECT_EQ(val(b->format), kDecoderOziMap);
  ASSERT_EQ(val(b->planes), 3);
  for (int y = 0; y < b->height; ++y) {
    const uint8_t* line = image_line(b, y, 0);
    ASSERT_NE(line, nullptr);
    for (int p = 0; p < 3; ++p)
      for (int x = 0; x < b->width; ++x)
        ASSERT_EQ(line[p * b->width + x], tile_sample(x, y, p)) << x << "," << y << "," << p;
  }
  // The extent in the georeference: the box of the corners.
  EXPECT_NEAR(val(b->extent.xmin), 6.85, 1e-9);
  EXPECT_NEAR(val(b->extent.xmax), 6.90, 1e-9);
  EXPECT_NEAR(val(b->extent.ymin), 45.90, 1e-9);
  EXPECT_NEAR(val(b->extent.ymax), 45.95, 1e-9);
}

// Through the dispatcher: the calibration file loads as an image of its own list, and the
// image file's own content is released again.
TEST_F(OziMapCalibration, DispatcherLoadsTheCalibratedImage) {
  fileatt_t* f = open(ozi_fixture("utm_grid.map"));
  container_t* list = nullptr;
  obj_list_new(&list);
  f->sot = list;
  int status = 0;
  ASSERT_EQ(image_load(f, list, nullptr, kImageFirstLoad, &status, 0), 0);
  bitmap_t* b = nullptr;
  ASSERT_NE(file_get_bitmap(f, &b), nullptr);
  EXPECT_EQ(val(b->file), f);
  ASSERT_NE(val(b->georef), nullptr);
  EXPECT_EQ(val(b->georef->refertype), GEOREF_PROJECTED);
  fileatt_t* image_file = nullptr;
  ASSERT_NE(file_find_by_name(ozi_fixture("tile.png").c_str(), &image_file), nullptr);
  EXPECT_EQ(val(image_file->sot), nullptr);
}

// The calibration file of the bundled samples puts the relief image on its cover.
TEST_F(OziMapCalibration, BundledSampleCoversItsImage) {
  bitmap_t* b = nullptr;
  ASSERT_EQ(decode_path(TM_SOURCE_DIR "/data/samples/relief.map", &b), 0);
  EXPECT_EQ(val(b->width), 400);
  EXPECT_EQ(val(b->height), 300);
  EXPECT_EQ(val(b->georef->datum->code), 214);
  const double pix[4][2] = {{0, 0}, {400, 0}, {400, 300}, {0, 300}};
  const double deg[4][2] = {{6.845, 45.932}, {6.885, 45.932}, {6.885, 45.902}, {6.845, 45.902}};
  for (int i = 0; i < 4; ++i) {
    double lon = 0, lat = 0;
    corner_degrees(b, pix[i][0], pix[i][1], &lon, &lat);
    EXPECT_NEAR(lon, deg[i][0], 1e-9) << "corner " << i;
    EXPECT_NEAR(lat, deg[i][1], 1e-9) << "corner " << i;
  }
}

// A second decode brings the lines back into the record's own stores, kept or resampled.
TEST_F(OziMapCalibration, SecondDecodeRefillsTheRecord) {
  for (const char* map : {"geo_wgs84.map", "utm_grid.map"}) {
    SCOPED_TRACE(map);
    bitmap_t* b = nullptr;
    ASSERT_EQ(decode_path(ozi_fixture(map), &b), 0);
    const size_t n = size_t(val(b->width)) * 3;
    std::vector<std::vector<uint8_t>> before;
    for (int y = 0; y < val(b->height); ++y) {
      const uint8_t* line = get_img_line_adr(b, y, 0);
      ASSERT_NE(line, nullptr);
      before.emplace_back(line, line + n);
    }
    bitmap_clear(b);
    bitmap_t* same = b;
    ASSERT_EQ(ozi_read_map_file(&same, 0), 0);
    EXPECT_EQ(same, b);
    for (int y = 0; y < val(b->height); ++y) {
      const uint8_t* line = get_img_line_adr(b, y, 0);
      ASSERT_EQ(std::vector<uint8_t>(line, line + n), before[size_t(y)]) << "line " << y;
    }
  }
}

}  // namespace
}  // namespace raster_test
