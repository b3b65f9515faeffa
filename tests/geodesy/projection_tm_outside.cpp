// The Transverse Mercator at the edge of its domain, against PROJ
// (tests/fixtures/geodesy/tm_outside_cases.csv, written by make_tm_outside_cases.py beside
// it): UTM zone 31N and the Gauss-Kruger zone 18 of Hanoi 1972, forward and inverse, by the
// formulas alone and through the whole chain from WGS 84. A point has a number exactly
// where PROJ gives one (a millionth of a degree, or of the bound, either side of each
// place where PROJ's answer turns), and NaN in both coordinates where PROJ gives none;
// runs of points give what the point routine gives, to the bit and in every build of the
// block loop; the domain of a system and a geographic extent carried into it keep their
// values.
//
// Tolerances as the other PROJ tables: 1 mm on the grid, 1e-9 degrees (about 0.1 mm).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geodesy/domain.h"
#include "geodesy/georef.h"
#include "geodesy/projection.h"
#include "geodesy/projection_kinds.h"
#include "geodesy/xform.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

constexpr double kGridTolerance = 0.001;  // metres
constexpr double kAngleTolerance = 1e-9;  // degrees

struct outside_row {
  std::string what;  // proj, inv, chain or chain_inv
  int code = 0;
  double lon = 0, lat = 0, e = 0, n = 0;
  bool forward() const { return what == "proj" || what == "chain"; }
  bool through_chain() const { return what == "chain" || what == "chain_inv"; }
  // PROJ's answer: a number, or none (written inf).
  bool has_number() const {
    return forward() ? std::isfinite(e) && std::isfinite(n) : std::isfinite(lon) && std::isfinite(lat);
  }
  std::string where() const {
    std::ostringstream s;
    s.precision(17);
    s << what << " EPSG " << code << " at (" << (forward() ? lon : e) << ", " << (forward() ? lat : n)
      << ")";
    return s.str();
  }
};

std::vector<outside_row> read_rows() {
  std::vector<outside_row> rows;
  for (const std::vector<std::string>& f :
       tm_test::read_csv_fields(TM_FIXTURE_DIR "/geodesy/tm_outside_cases.csv", 6, "what,")) {
    outside_row r;
    r.what = f[0];
    r.code = std::atoi(f[1].c_str());
    // Fields through strtod, which also reads PROJ's "inf".
    double* values[] = {&r.lon, &r.lat, &r.e, &r.n};
    for (int i = 0; i < 4; ++i) *values[i] = std::strtod(f[size_t(i) + 2].c_str(), nullptr);
    rows.push_back(r);
  }
  return rows;
}

bool same_bits(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

class TmOutsideDomain : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0); }
  void TearDown() override {
    for (xform_chain_t*& c : chains_) free_obj(&c);
    set_gblerr(0);
  }

  static cartproj_t* system_of(int code) {
    cartproj_t* proj = nullptr;
    geo_find_by_alias(CLS_CARTPROJ, GEO_SCHEME_EPSG, std::to_string(code).c_str(), &proj);
    return proj;
  }

  // The chain of conversion steps from WGS 84 to the system (to_system) or back.
  xform_chain_t* chain_of(cartproj_t* proj, bool to_system) {
    geodatum_t* wgs84 = geo_get_ref_datum(nullptr);
    int kinds[kMaxConversionSteps];
    obj_t* steps[kMaxConversionSteps];
    int n = 0;
    const int err = to_system ? georef_chain_build(wgs84, proj->datum, nullptr, proj, kinds, steps, &n)
                              : georef_chain_build(proj->datum, wgs84, proj, nullptr, kinds, steps, &n);
    EXPECT_EQ(err, 0);
    xform_chain_t* chain = nullptr;
    if (!xform_chain_create(n, &chain)) return nullptr;
    for (int i = 0; i < n; ++i) {
      chain->kinds[i] = kinds[i];
      chain->steps[i] = steps[i];
    }
    chains_.push_back(chain);
    return chain;
  }

  // One row's point through the projection or the chain, the way the row goes.
  void carry(const outside_row& r, cartproj_t* proj, double* x, double* y) {
    *x = r.forward() ? r.lon : r.e;
    *y = r.forward() ? r.lat : r.n;
    if (r.through_chain()) {
      double z = 0.0;
      xform_forward(chain_of(proj, r.forward()), XK_CHAIN, x, y, &z);
    } else if (r.forward()) {
      proj_forward(proj, x, y);
    } else {
      proj_inverse(proj, x, y);
    }
  }

  std::vector<xform_chain_t*> chains_;
};

// Every row: PROJ's number within the tolerance, or NaN in both coordinates where PROJ
// gives none (the report's points among them: UTM 31N inverse of (24123054.42,
// 6957165.25) and (20500000, 0), forward of (84.7, 0) and of (93, 1e-9) a quarter turn
// away, EPSG 2044 inverse of (0, 0)).
TEST_F(TmOutsideDomain, NumberExactlyWhereProjGivesOne) {
  const std::vector<outside_row> rows = read_rows();
  ASSERT_GT(rows.size(), 1000u) << "the fixture did not read whole";
  for (const outside_row& r : rows) {
    SCOPED_TRACE(r.where());
    cartproj_t* proj = system_of(r.code);
    ASSERT_TRUE(proj);
    double x = 0, y = 0;
    carry(r, proj, &x, &y);
    EXPECT_EQ(get_gblerr(), 0);
    if (!r.has_number()) {
      // The way back to WGS 84 carries the projection's NaN through geocentric
      // coordinates, whose steps make what they like of it, but never a position.
      if (r.what == "chain_inv")
        EXPECT_FALSE(std::isfinite(x) && std::isfinite(y)) << "gives (" << x << ", " << y << ")";
      else
        EXPECT_TRUE(std::isnan(x) && std::isnan(y)) << "gives (" << x << ", " << y << ")";
      continue;
    }
    if (r.forward()) {
      EXPECT_NEAR(x, r.e, kGridTolerance);
      EXPECT_NEAR(y, r.n, kGridTolerance);
    } else {
      EXPECT_NEAR(x, r.lon, kAngleTolerance);
      EXPECT_NEAR(y, r.lat, kAngleTolerance);
    }
  }
}

// The forward rows of each system as runs, in every build of the block loop the processor
// has (as one run of pairs, and as runs of every length up to a block and a half from a
// shifted start of two arrays, so that each point takes every place in a block), and
// through the chain's run: the very bits of the point routine, NaN where it gives NaN.
TEST_F(TmOutsideDomain, RunsGiveThePointRoutinesBitsInEveryBuild) {
  const std::vector<outside_row> rows = read_rows();
  for (int code : {32631, 2044}) {
    SCOPED_TRACE(code);
    cartproj_t* proj = system_of(code);
    ASSERT_TRUE(proj);
    std::vector<double> lons, lats, ex, ey;
    int nan_points = 0;
    for (const outside_row& r : rows) {
      if (r.code != code || r.what != "proj") continue;
      lons.push_back(r.lon);
      lats.push_back(r.lat);
      double x = r.lon, y = r.lat;
      proj_forward(proj, &x, &y);
      ex.push_back(x);
      ey.push_back(y);
      nan_points += std::isnan(x);
    }
    const int n = int(lons.size());
    ASSERT_GT(n, 200);
    ASSERT_GT(nan_points, 50);
    int builds = 0;
    for (int build : {PROJ_TM_BUILD_PLAIN, PROJ_TM_BUILD_AVX2, PROJ_TM_BUILD_AVX512}) {
      SCOPED_TRACE("build " + std::to_string(build));
      std::vector<double> xy;
      for (int i = 0; i < n; ++i) {
        xy.push_back(lons[size_t(i)]);
        xy.push_back(lats[size_t(i)]);
      }
      if (!proj_tm_forward_points_build(build, proj, &xy[0], &xy[1], n, 2)) continue;
      ++builds;
      for (int i = 0; i < n; ++i) {
        EXPECT_TRUE(same_bits(xy[2 * size_t(i)], ex[size_t(i)]) && same_bits(xy[2 * size_t(i) + 1], ey[size_t(i)]))
            << "point " << i << " (" << lons[size_t(i)] << ", " << lats[size_t(i)] << "): run ("
            << xy[2 * size_t(i)] << ", " << xy[2 * size_t(i) + 1] << "), point (" << ex[size_t(i)] << ", "
            << ey[size_t(i)] << ")";
      }
      for (int len = 1; len <= 96; len += 7) {
        for (int first = 0; first + len <= n; first += 61) {
          std::vector<double> xs(lons.begin() + first, lons.begin() + first + len);
          std::vector<double> ys(lats.begin() + first, lats.begin() + first + len);
          ASSERT_EQ(proj_tm_forward_points_build(build, proj, xs.data(), ys.data(), len, 1), 1);
          for (int i = 0; i < len; ++i)
            EXPECT_TRUE(same_bits(xs[size_t(i)], ex[size_t(first + i)]) &&
                        same_bits(ys[size_t(i)], ey[size_t(first + i)]))
                << "length " << len << " from " << first << ", point " << i;
        }
      }
    }
    EXPECT_GE(builds, 1);
    // The whole chain from WGS 84 as one run of triples.
    xform_chain_t* chain = chain_of(proj, true);
    ASSERT_TRUE(chain);
    std::vector<double> xyz, one;
    for (const outside_row& r : rows) {
      if (r.code != code || r.what != "chain") continue;
      double x = r.lon, y = r.lat, z = 0.0;
      xform_forward(chain, XK_CHAIN, &x, &y, &z);
      one.insert(one.end(), {x, y});
      xyz.insert(xyz.end(), {r.lon, r.lat, 0.0});
    }
    xform_chain_forward_points(chain, xyz.data(), int(xyz.size() / 3));
    for (size_t i = 0; i < one.size() / 2; ++i)
      EXPECT_TRUE(same_bits(xyz[3 * i], one[2 * i]) && same_bits(xyz[3 * i + 1], one[2 * i + 1]))
          << "chain point " << i << ": run (" << xyz[3 * i] << ", " << xyz[3 * i + 1] << "), point ("
          << one[2 * i] << ", " << one[2 * i + 1] << ")";
  }
}

// The domain of each system and the whole sphere carried into it (cut to the validity box,
// whose corners lie half a turn from the central meridian): finite, and made of the
// points the fixture holds PROJ's values of.
TEST_F(TmOutsideDomain, DomainsAndCarriedExtentsKeepTheirValues) {
  auto proj_value = [](int code, double lon, double lat, double* e, double* n) {
    for (const outside_row& r : read_rows()) {
      if (r.code == code && r.what == "proj" && r.lon == lon && r.lat == lat) {
        *e = r.e;
        *n = r.n;
        return true;
      }
    }
    return false;
  };
  for (int code : {32631, 2044}) {
    SCOPED_TRACE(code);
    cartproj_t* proj = system_of(code);
    ASSERT_TRUE(proj);
    const double lam0 = code == 32631 ? 3.0 : 105.0;
    double e_top = 0, n_top = 0, e_bottom = 0, n_bottom = 0, e_west = 0, n_west = 0, e_east = 0, n_east = 0;
    ASSERT_TRUE(proj_value(code, lam0, 80.0, &e_top, &n_top));
    ASSERT_TRUE(proj_value(code, lam0, -80.0, &e_bottom, &n_bottom));
    ASSERT_TRUE(proj_value(code, lam0 - 45.0, 0.0, &e_west, &n_west));
    ASSERT_TRUE(proj_value(code, lam0 + 45.0, 0.0, &e_east, &n_east));
    extent_t domain{};
    ASSERT_EQ(proj_domain_extent(proj, &domain), 0);
    EXPECT_NEAR(domain.xmin, e_west, kGridTolerance);
    EXPECT_NEAR(domain.xmax, e_east, kGridTolerance);
    EXPECT_NEAR(domain.ymin, n_bottom, kGridTolerance);
    EXPECT_NEAR(domain.ymax, n_top, kGridTolerance);

    // The sphere in degrees, cut to the box (lambda0 - 180 to 180, 80 degrees either side
    // of the equator) and carried by the midpoints of its sides.
    extent_t sphere{-180.0, 180.0, -90.0, 90.0, 0.0};
    ASSERT_EQ(crs_transform_extent(proj->datum, proj->datum, nullptr, proj, &sphere), 0);
    double ce[4], cn[4];  // lower left, lower right, upper left, upper right
    const double corner_lon[4] = {lam0 - 180.0, 180.0, lam0 - 180.0, 180.0};
    const double corner_lat[4] = {-80.0, -80.0, 80.0, 80.0};
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(proj_value(code, corner_lon[i], corner_lat[i], &ce[i], &cn[i])) << i;
    EXPECT_NEAR(sphere.xmin, (ce[0] + ce[2]) / 2, kGridTolerance);
    EXPECT_NEAR(sphere.xmax, (ce[1] + ce[3]) / 2, kGridTolerance);
    EXPECT_NEAR(sphere.ymin, (cn[0] + cn[1]) / 2, kGridTolerance);
    EXPECT_NEAR(sphere.ymax, (cn[2] + cn[3]) / 2, kGridTolerance);
  }
}

}  // namespace
