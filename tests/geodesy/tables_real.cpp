// The system's own tables (data/): they load without error, the reference datum and
// the well-known objects are where the rest of the system expects them, and the outside
// names of each scheme lead to them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "geodesy/units.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

class RealTables : public ::testing::Test {
 protected:
  // The checks are about the tables as read, so they start from a fresh load.
  void SetUp() override { ASSERT_EQ(tm_test::reload_real_geodesy_tables(), 0); }
  void TearDown() override { set_gblerr(0); }
};

TEST_F(RealTables, ReferenceDatumIsWgs84OnItsEllipsoid) {
  geodatum_t* ref = nullptr;
  ASSERT_TRUE(geo_get_ref_datum(&ref));
  EXPECT_EQ(val(ref->code), kRefDatumCode);
  EXPECT_STREQ(ref->name, "WGS 84");
  ASSERT_TRUE(val(ref->ellip));
  EXPECT_EQ(val(ref->ellip->code), 34);
  EXPECT_EQ(val(ref->ell), val(ref->ellip));
  EXPECT_EQ(val(ref->ellip->a), 6378137.0);
  EXPECT_EQ(val(ref->ellip->invf), 298.257223563);
  EXPECT_EQ(val(ref->ellip->b), 0.0);
  EXPECT_NEAR(val(ref->ellip->e2), 0.0066943799901413165, 1e-17);
  ASSERT_TRUE(val(ref->meridian0));
  EXPECT_EQ(val(ref->meridian0->code), 1);
  EXPECT_EQ(val(ref->origlon), 0.0);
  EXPECT_EQ(val(ref->unit), ANG_DEGREE);
}

struct alias_case {
  int cls;
  int scheme;
  const char* name;
  int code;
};

TEST_F(RealTables, OutsideNamesLeadToTheirObjects) {
  const alias_case cases[] = {
      {CLS_GEODATUM, GEO_SCHEME_EPSG, "4326", 214},
      {CLS_GEODATUM, GEO_SCHEME_MAPINFO, "104", 214},
      {CLS_GEODATUM, GEO_SCHEME_ECW, "WGS84", 214},
      {CLS_GEODATUM, GEO_SCHEME_NMEA_DTM, "W84", 214},
      {CLS_GEODATUM, GEO_SCHEME_EPSG, "4807", 6807},
      {CLS_ELLIPSOID, GEO_SCHEME_EPSG, "7030", 34},
      {CLS_PMERIDIAN, GEO_SCHEME_EPSG, "8901", 1},
      {CLS_PMERIDIAN, GEO_SCHEME_EPSG, "8903", 8903},
      {CLS_CARTPROJ, GEO_SCHEME_EPSG, "32631", 32631},
  };
  for (const alias_case& c : cases) {
    obj_t* obj = nullptr;
    geo_find_by_alias(c.cls, c.scheme, c.name, &obj);
    ASSERT_TRUE(obj) << c.cls << " " << c.scheme << " " << c.name;
    obj_t* by_code = nullptr;
    EXPECT_EQ(obj, geo_find_by_code(c.cls, c.code, &by_code)) << c.name;
  }
}

// ECW names projections without their datum: one name stands for the zone on every
// datum, and the caller tries each until one has the datum it wants.
TEST_F(RealTables, EcwProjectionNameStandsForSeveralDatums) {
  cartproj_t* utm31 = nullptr;
  ASSERT_TRUE(geo_find_by_code(CLS_CARTPROJ, 32631, &utm31));
  cartproj_t* cursor = nullptr;
  int found = 0;
  bool met = false;
  while (geo_find_by_alias_best(CLS_CARTPROJ, GEO_SCHEME_ECW, "NUTM31", &cursor)) {
    ++found;
    met = met || cursor == utm31;
    ASSERT_LT(found, 10000);
  }
  EXPECT_TRUE(met);
  EXPECT_GT(found, 1);
}

TEST_F(RealTables, NtfParisIsInGradsOnTheParisMeridian) {
  geodatum_t* ntf = nullptr;
  ASSERT_TRUE(geo_find_by_code(CLS_GEODATUM, 6807, &ntf));
  EXPECT_EQ(val(ntf->unit), ANG_GRAD);
  ASSERT_TRUE(val(ntf->meridian0));
  EXPECT_EQ(val(ntf->meridian0->code), 8903);
  EXPECT_NEAR(val(ntf->origlon), 2.5969213 * kPi / 200.0, 1e-15);
}

TEST_F(RealTables, ProjectionsOfTheReferenceDatum) {
  geodatum_t* ref = nullptr;
  geo_get_ref_datum(&ref);
  cartproj_t* utm31 = nullptr;
  ASSERT_TRUE(geo_find_by_code(CLS_CARTPROJ, 32631, &utm31));
  EXPECT_EQ(val(utm31->datum), ref);
  EXPECT_EQ(val(utm31->projtype), 1);
  bool met = false;
  int seen = 0;
  cartproj_t* cursor = nullptr;
  while (proj_next_of_datum(ref, &cursor)) {
    EXPECT_EQ(val(cursor->datum), ref);
    met = met || cursor == utm31;
    ASSERT_LT(++seen, 100000);
  }
  EXPECT_TRUE(met);
}

// Every datum of the tables takes part in at least one transformation, so that the
// path search can join it to the others.
TEST_F(RealTables, EveryDatumHasATransformation) {
  geodatum_t* ref = nullptr;
  geo_get_ref_datum(&ref);
  geodatum_t* d = nullptr;
  obj_t* o = nullptr;
  int checked = 0;
  while (obj_class_next(CLS_GEODATUM, &o) && o) {
    d = static_cast<geodatum_t*>(o);
    if (d == ref) continue;
    geocentric_t* cursor = nullptr;
    int direction = 0;
    EXPECT_TRUE(datumtrans_next_of_datum(d, &cursor, &direction))
        << val(d->code) << " " << val(d->name);
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

TEST_F(RealTables, Osgb36ShiftIsFoundByItsParameters) {
  geocentric_t* t = nullptr;
  ASSERT_TRUE(geo_find_by_code(CLS_GEOCENTRIC, 1314, &t));
  ASSERT_TRUE(t->datumd && t->datuma);
  geodatum_t* osgb = t->datuma->code == kRefDatumCode ? t->datumd : t->datuma;
  const int direction = t->datumd == osgb ? 0 : 1;
  geocentric_t* toward_ref = t;
  if (direction == 1) datumtrans_inverse(t, &toward_ref);
  ASSERT_TRUE(toward_ref);
  const double sec = 180.0 * 3600.0 / kPi;
  const double params[10] = {toward_ref->tx,
                             toward_ref->ty,
                             toward_ref->tz,
                             toward_ref->epsilonx * sec,
                             toward_ref->epsilony * sec,
                             toward_ref->epsilonz * sec,
                             toward_ref->de,
                             0,
                             0,
                             0};
  geodatum_t* found = nullptr;
  datum_find_by_shift(osgb->ellip, osgb->meridian0, 7, params, &found);
  ASSERT_TRUE(found);
  // Another datum on the same ellipsoid may share the shift; the one found has it.
  geocentric_t* cursor = nullptr;
  int dir = 0;
  bool equal = false;
  geodatum_t* ref = nullptr;
  geo_get_ref_datum(&ref);
  while (datumtrans_next_between(found, ref, &cursor, &dir))
    equal = equal || datumtrans_equal(cursor, params, LEN_METRE, ANG_SECOND, dir) == 1;
  EXPECT_TRUE(equal);
}

}  // namespace
