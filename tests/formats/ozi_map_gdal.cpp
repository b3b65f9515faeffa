// The OziExplorer calibration decoder against gdal-bin on the calibration fixtures
// (tests/fixtures/ozi_files/gdal_maps.txt, written by make_ozi_files_fixtures.py):
// latitude/longitude, UTM with a zone and with zone 0, and projections from the
// "Projection Setup" line (transverse Mercator, Lambert). The fitted step puts the image
// corners within a tenth of a pixel of `gdaltransform -order 1` on the same points, and
// the loaded image covers the box of the corners where gdal's MAP driver puts the image.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "tests/raster/ozi_map_fixture.h"

namespace raster_test {
namespace {

struct gdal_map {
  std::string name;
  bool geographic = false;        // gdal's CRS for the map is geographic (degrees)
  double fit[4][2] = {};          // corners through gdaltransform -order 1
  double placed[4][2] = {};       // corners from gdal's MAP driver
};

std::vector<gdal_map> gdal_maps() {
  std::vector<gdal_map> out;
  std::ifstream in(std::string(TM_FIXTURE_DIR) + "/ozi_files/gdal_maps.txt");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream s(line);
    gdal_map m;
    std::string kind;
    s >> m.name >> kind;
    m.geographic = kind == "geographic";
    for (auto& c : m.fit) s >> c[0] >> c[1];
    for (auto& c : m.placed) s >> c[0] >> c[1];
    out.push_back(m);
  }
  return out;
}

// World coordinates of a georeference in gdal's terms: degrees where gdal's CRS is
// geographic, else the projection's own coordinates.
void to_gdal(const georef_t* g, bool geographic, double* x, double* y) {
  if (!geographic) return;
  if (val(g->refertype) == GEOREF_PROJECTED) proj_inverse(g->projection, x, y);
  angle_unit_convert(val(g->datum->unit), ANG_DEGREE, x, y);
}

double pixel_size(const gdal_map& m) {
  return std::hypot(m.fit[1][0] - m.fit[0][0], m.fit[1][1] - m.fit[0][1]) / 40.0;
}

using OziMapGdal = OziMapTest;

TEST_F(OziMapGdal, CornersWithinATenthOfAPixelOfGdaltransform) {
  const auto maps = gdal_maps();
  ASSERT_FALSE(maps.empty());
  const double pix[4][2] = {{0, 0}, {40, 0}, {40, 30}, {0, 30}};
  for (const gdal_map& m : maps) {
    SCOPED_TRACE(m.name);
    ozi_calibration cal;
    ASSERT_EQ(calibrate(ozi_fixture(m.name + ".map"), &cal), 0);
    const double tol = 0.1 * pixel_size(m);
    for (int i = 0; i < 4; ++i) {
      double x = pix[i][0], y = pix[i][1], z = 0.0;
      xform_forward(cal.step, XK_AFFINE3D, &x, &y, &z);
      to_gdal(cal.georef, m.geographic, &x, &y);
      EXPECT_NEAR(x, m.fit[i][0], tol) << "corner " << i;
      EXPECT_NEAR(y, m.fit[i][1], tol) << "corner " << i;
    }
    free_obj(&cal.step);
    free_obj(&cal.georef);
  }
}

TEST_F(OziMapGdal, ImageLandsWhereGdalPutsIt) {
  for (const gdal_map& m : gdal_maps()) {
    SCOPED_TRACE(m.name);
    bitmap_t* b = nullptr;
    ASSERT_EQ(decode_path(ozi_fixture(m.name + ".map"), &b), 0);
    ASSERT_NE(val(b->georef), nullptr);
    const georef_t* g = b->georef;
    // The image's own corners, and gdal's box around the corners it places.
    double xs[4], ys[4];
    const double w = val(b->width), h = val(b->height);
    const double pix[4][2] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
    for (int i = 0; i < 4; ++i) {
      double x = pix[i][0], y = pix[i][1], z = 0.0;
      xform_forward(g->transfo, val(g->transfotype), &x, &y, &z);
      xs[i] = x;
      ys[i] = y;
    }
    // gdal keeps a UTM map given by positions alone in degrees: its corners are carried
    // into the projection the image was resampled in.
    const bool carry = m.geographic && val(g->refertype) == GEOREF_PROJECTED;
    double box[4] = {1e300, -1e300, 1e300, -1e300};
    double tol = 0.1 * pixel_size(m);
    for (const auto& c : m.placed) {
      double x = c[0], y = c[1];
      if (carry) {
        angle_unit_convert(ANG_DEGREE, val(g->datum->unit), &x, &y);
        proj_forward(g->projection, &x, &y);
      }
      box[0] = std::min(box[0], x);
      box[1] = std::max(box[1], x);
      box[2] = std::min(box[2], y);
      box[3] = std::max(box[3], y);
    }
    if (carry) tol = 0.1 * (box[1] - box[0]) / 40.0;
    EXPECT_NEAR(*std::min_element(xs, xs + 4), box[0], tol);
    EXPECT_NEAR(*std::max_element(xs, xs + 4), box[1], tol);
    EXPECT_NEAR(*std::min_element(ys, ys + 4), box[2], tol);
    EXPECT_NEAR(*std::max_element(ys, ys + 4), box[3], tol);
  }
}

}  // namespace
}  // namespace raster_test
