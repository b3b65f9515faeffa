// The Transverse Mercator against PROJ to a tenth of a micrometre: UTM zone 31 north on
// WGS 84 over the zone, 6 degrees beyond it on either side and the projection benchmark's
// points (tests/fixtures/geodesy/utm_fine_cases.csv, written by
// scripts/geodesy/make_utm_fine_cases.py), point by point and as runs of points, which
// sum the same formulas with elementary functions of their own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

constexpr double kTolerance = 1e-7;  // metres

struct fine_case {
  double lon, lat, e, n;
};

std::vector<fine_case> read_cases() {
  std::vector<fine_case> cases;
  std::ifstream in(TM_FIXTURE_DIR "/geodesy/utm_fine_cases.csv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#' || line.rfind("lon,", 0) == 0) continue;
    std::vector<std::string> f;
    std::istringstream s(line);
    for (std::string v; std::getline(s, v, ',');) f.push_back(v);
    if (f.size() != 4) continue;
    cases.push_back({std::strtod(f[0].c_str(), nullptr), std::strtod(f[1].c_str(), nullptr),
                     std::strtod(f[2].c_str(), nullptr), std::strtod(f[3].c_str(), nullptr)});
  }
  return cases;
}

class TmAccuracy : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::fresh_geodesy_store();
    pmeridian_t* greenwich = nullptr;
    ellipsoid_t* ell = nullptr;
    geodatum_t* wgs84 = nullptr;
    pmeridian_create("Greenwich", 0.0, ANG_DEGREE, 1, &greenwich);
    ellipsoid_create("WGS 84", 6378137.0, 298.257223563, 0.0, LEN_METRE, 34, &ell);
    geodatum_create("WGS 84", ell, ANG_DEGREE, greenwich, nullptr, kRefDatumCode, &wgs84);
    const double utm[8] = {3.0, 0.0, 0.9996, 500000.0, 0.0, 0.0, 0.0, 0.0};
    proj_create("UTM zone 31N", PK_TM, utm, LEN_METRE, ANG_DEGREE, wgs84, 32631, &utm31n);
    ASSERT_TRUE(utm31n);
  }
  void TearDown() override { set_gblerr(0); }

  cartproj_t* utm31n = nullptr;
};

TEST_F(TmAccuracy, UtmWithinATenthOfAMicrometreOfProj) {
  const std::vector<fine_case> cases = read_cases();
  ASSERT_EQ(cases.size(), 468u) << "the fixture did not read whole";
  // Point by point.
  double worst = 0.0;
  for (const fine_case& c : cases) {
    double x = c.lon, y = c.lat;
    proj_forward(utm31n, &x, &y);
    EXPECT_NEAR(x, c.e, kTolerance) << "lon " << c.lon << " lat " << c.lat;
    EXPECT_NEAR(y, c.n, kTolerance) << "lon " << c.lon << " lat " << c.lat;
    worst = std::fmax(worst, std::fmax(std::fabs(x - c.e), std::fabs(y - c.n)));
  }
  // As one run of interleaved pairs (several blocks and a partial one), and as runs of
  // every length up to a block and a half from a shifted start, so that each point takes
  // every place in a block.
  std::vector<double> xy;
  for (const fine_case& c : cases) {
    xy.push_back(c.lon);
    xy.push_back(c.lat);
  }
  proj_forward_points(utm31n, &xy[0], &xy[1], int(cases.size()), 2);
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_NEAR(xy[2 * i], cases[i].e, kTolerance) << "run, point " << i;
    EXPECT_NEAR(xy[2 * i + 1], cases[i].n, kTolerance) << "run, point " << i;
  }
  for (int len = 1; len <= 96; len += 5) {
    const size_t first = size_t(len) % 17;
    std::vector<double> xs, ys;
    for (size_t i = first; i < first + size_t(len); ++i) {
      xs.push_back(cases[i].lon);
      ys.push_back(cases[i].lat);
    }
    proj_forward_points(utm31n, xs.data(), ys.data(), len, 1);
    for (int i = 0; i < len; ++i) {
      EXPECT_NEAR(xs[size_t(i)], cases[first + size_t(i)].e, kTolerance) << "length " << len;
      EXPECT_NEAR(ys[size_t(i)], cases[first + size_t(i)].n, kTolerance) << "length " << len;
    }
  }
  RecordProperty("worst_metres", std::to_string(worst));
}

}  // namespace
