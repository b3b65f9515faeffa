// Lookups and run-time creators of the geodesy tables: by code, by outside name, by
// parameters, the iterators over transformations, and the inverse transformations.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// A small set of tables: WGS 84, ED50 (three translations to WGS 84), OSGB36 (seven
// parameters, given from WGS 84 so that a search meets it through its inverse), a datum
// on a sphere, and outside names that share one text.
void load_small_tables() {
  const std::string folder = tm_test::use_geodesy_folder("geo-lookup");
  const struct {
    const char* file;
    const char* text;
  } files[] = {
      {"ellipsoi.txt",
       "34;WGS 84;6378137.0;298.257223563;0.0;0\n"
       "7022;International 1924;6378388.0;297.0;0.0;0\n"
       "7001;Airy 1830;6377563.396;299.3249646;0.0;0\n"
       "7035;Sphere;6371000.0;0.0;6371000.0;0\n"},
      {"ellipsil.txt", "1;7030;34\n"},
      {"pmeridian.txt", "1;Greenwich;0.0;1\n8903;Paris;2.5969213;3\n8902;Lisbon;-9.131906111;1\n"},
      {"pmeridil.txt", "1;8901;1\n"},
      {"datum.txt",
       "214;WGS 84;34;1;1;0\n6230;ED50;7022;1;1;0\n6277;OSGB36;7001;1;1;0\n"
       "300;Sphere datum;7035;1;1;0\n6807;NTF (Paris);7022;8903;3;0\n"},
      {"datumil.txt",
       "1;4326;214\n1;4230;6230\n6;Shared;214\n6;Shared;6230\n6;Reverse;6230\n6;Reverse;214\n"
       "6;Nobody;777\n2;104;214\n"},
      {"gcentric.txt",
       "1133;6230;214;3;-87.0;-98.0;-121.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0;4;0;10;0;0\n"
       "1314;214;6277;7;-446.448;125.157;-542.06;-0.15;-0.247;-0.842;20.4894;0.0;0.0;0.0;0;4;2;"
       "2;0;0\n"
       "1763;6807;6230;1;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0;4;0;1;0;0\n"},
      {"gcentril.txt", "1;1133;1133\n"},
      {"cartproj.txt",
       "32631;WGS 84 / UTM zone 31N;214;1;3.0;0.0;0.9996;500000.0;0.0;0.0;0.0;0.0;0;1;0\n"},
      {"cartpril.txt", "1;32631;32631\n3;NUTM31;32631\n"},
  };
  for (const auto& f : files) tm_test::write_geodesy_table(folder, f.file, f.text);
  geo_load_tables();
  ASSERT_EQ(get_gblerr(), 0);
  geo_init_ref_datum();
}

template <class T> T* find(int cls, int code) {
  T* obj = nullptr;
  geo_find_by_code(cls, code, &obj);
  return obj;
}

class TablesLookup : public ::testing::Test {
 protected:
  void SetUp() override { load_small_tables(); }
  void TearDown() override { set_gblerr(0); }
};

TEST_F(TablesLookup, ByCodeAndNextCode) {
  EXPECT_STREQ(find<geodatum_t>(CLS_GEODATUM, 6230)->name, "ED50");
  struct {
    int cls;
    int code;
  } absent[] = {{CLS_GEODATUM, 215}, {CLS_GEODATUM, -1}, {CLS_GEODATUM, 2147483647},
                {34, 34},            {41, 1},            {-2147483647 - 1, 0}};
  for (const auto& a : absent) {
    obj_t* o = reinterpret_cast<obj_t*>(1);
    EXPECT_EQ(geo_find_by_code(a.cls, a.code, &o), nullptr) << a.cls << " " << a.code;
    EXPECT_EQ(o, nullptr);
  }
  EXPECT_EQ(get_gblerr(), 0);
  int next = -1;
  EXPECT_EQ(geo_next_code(CLS_GEODATUM, &next), 6808);
  EXPECT_EQ(next, 6808);
  EXPECT_EQ(geo_next_code(CLS_CARTPROJ, nullptr), 32632);
  EXPECT_EQ(geo_next_code(CLS_GEO_NAME, nullptr), 0);
  EXPECT_EQ(geo_next_code(-5, nullptr), 0);
}

TEST_F(TablesLookup, ByOutsideName) {
  geodatum_t* d = nullptr;
  EXPECT_EQ(geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_EPSG, "4326", &d),
            find<geodatum_t>(CLS_GEODATUM, 214));
  EXPECT_EQ(geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_MAPINFO, "104", &d),
            find<geodatum_t>(CLS_GEODATUM, 214));
  EXPECT_EQ(geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_MAPINFO, "4326", &d), nullptr);
  EXPECT_EQ(geo_find_by_alias(CLS_ELLIPSOID, GEO_SCHEME_EPSG, "4326", &d), nullptr);
  EXPECT_EQ(geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_OZI, "Nobody", &d), nullptr);
  EXPECT_EQ(geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_EPSG, nullptr, &d), nullptr);
  cartproj_t* p = nullptr;
  EXPECT_EQ(geo_find_by_alias(CLS_CARTPROJ, GEO_SCHEME_ECW, "NUTM31", &p),
            find<cartproj_t>(CLS_CARTPROJ, 32631));
  int code = -1;
  EXPECT_EQ(geo_alias_code(CLS_GEODATUM, GEO_SCHEME_EPSG, "4230", &code), 6230);
  EXPECT_EQ(geo_alias_code(CLS_GEODATUM, GEO_SCHEME_EPSG, "9999", &code), 0);
  EXPECT_EQ(code, 0);
  const char* name = nullptr;
  EXPECT_STREQ(geo_alias_of(CLS_GEODATUM, GEO_SCHEME_EPSG, 6230, &name), "4230");
  EXPECT_STREQ(geo_alias_of(CLS_GEODATUM, GEO_SCHEME_OZI, 214, &name), "Shared");
  EXPECT_EQ(geo_alias_of(CLS_GEODATUM, GEO_SCHEME_ECW, 214, &name), nullptr);
  EXPECT_EQ(get_gblerr(), 0);
}

// The iterator over the objects of one name meets each of them once, in id order,
// whatever the order of the name table's lines.
TEST_F(TablesLookup, BestAliasIteratesByIncreasingId) {
  geodatum_t* d214 = find<geodatum_t>(CLS_GEODATUM, 214);
  geodatum_t* d6230 = find<geodatum_t>(CLS_GEODATUM, 6230);
  ASSERT_LT(val(d214->id), val(d6230->id));
  struct {
    const char* name;
    std::vector<geodatum_t*> expected;
  } cases[] = {
      {"Shared", {d214, d6230}},   // lines in id order
      {"Reverse", {d214, d6230}},  // 214's line comes second: it is still met
      {"Nobody", {}},
  };
  for (const auto& c : cases) {
    std::vector<geodatum_t*> got;
    geodatum_t* cursor = nullptr;
    while (geo_find_by_alias_best(CLS_GEODATUM, GEO_SCHEME_OZI, c.name, &cursor)) {
      got.push_back(cursor);
      ASSERT_LE(got.size(), 3u) << c.name;
    }
    EXPECT_EQ(got, c.expected) << c.name;
  }
}

TEST_F(TablesLookup, EllipsoidByParameters) {
  struct {
    const char* what;
    double a, invf;
    int code;  // 0: none
  } cases[] = {
      {"exact", 6378137.0, 298.257223563, 34},
      {"a within a millimetre", 6378137.0009, 298.257223563, 34},
      {"a off by 2 mm", 6378137.002, 298.257223563, 0},
      {"1/f off", 6378137.0, 298.3, 0},
      {"1/f within 1e-6", 6378388.0, 297.0000005, 7022},
      {"sphere by 1/f = 0", 6371000.0, 0.0, 7035},
      {"nothing near", 1000.0, 300.0, 0},
  };
  for (const auto& c : cases) {
    ellipsoid_t* e = reinterpret_cast<ellipsoid_t*>(1);
    ellipsoid_find_by_params(c.a, c.invf, &e);
    EXPECT_EQ(e, c.code ? find<ellipsoid_t>(CLS_ELLIPSOID, c.code) : nullptr) << c.what;
  }
}

TEST_F(TablesLookup, MeridianByLongitude) {
  pmeridian_t* m = nullptr;
  EXPECT_EQ(pmeridian_find_by_longitude(2.5969213, ANG_GRAD, &m),
            find<pmeridian_t>(CLS_PMERIDIAN, 8903));
  pmeridian_t* paris = find<pmeridian_t>(CLS_PMERIDIAN, 8903);
  EXPECT_EQ(pmeridian_find_by_longitude(val(paris->glongitude), ANG_RADIAN, &m), paris);
  EXPECT_EQ(pmeridian_find_by_longitude(0.0, ANG_DEGREE, &m), find<pmeridian_t>(CLS_PMERIDIAN, 1));
  EXPECT_EQ(pmeridian_find_by_longitude(2.59692, ANG_GRAD, &m), nullptr);
}

TEST_F(TablesLookup, DatumByShiftToTheReferenceDatum) {
  pmeridian_t* greenwich = find<pmeridian_t>(CLS_PMERIDIAN, 1);
  const double ed50[10] = {-87.0, -98.0, -121.0, 0, 0, 0, 0, 0, 0, 0};
  const double ed50_off[10] = {-87.0, -98.0, -120.0, 0, 0, 0, 0, 0, 0, 0};
  // OSGB36's transformation goes from WGS 84: the search compares its inverse.
  const double osgb[10] = {446.448, -125.157, 542.06, 0.15, 0.247, 0.842, -20.4894e-6, 0, 0, 0};
  struct {
    const char* what;
    int ellipsoid;
    pmeridian_t* meridian;
    const double* params;
    int datum;
  } cases[] = {
      {"three translations", 7022, greenwich, ed50, 6230},
      {"one metre off", 7022, greenwich, ed50_off, 0},
      {"other meridian", 7022, find<pmeridian_t>(CLS_PMERIDIAN, 8903), ed50, 0},
      {"through the inverse", 7001, greenwich, osgb, 6277},
      {"ellipsoid without datum", 34, greenwich, ed50, 0},
  };
  for (const auto& c : cases) {
    geodatum_t* d = nullptr;
    datum_find_by_shift(find<ellipsoid_t>(CLS_ELLIPSOID, c.ellipsoid), c.meridian, 3, c.params, &d);
    EXPECT_EQ(d, c.datum ? find<geodatum_t>(CLS_GEODATUM, c.datum) : nullptr) << c.what;
  }
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(TablesLookup, TransformationIterators) {
  geodatum_t* wgs = find<geodatum_t>(CLS_GEODATUM, 214);
  geodatum_t* ed50 = find<geodatum_t>(CLS_GEODATUM, 6230);
  geocentric_t* t1133 = find<geocentric_t>(CLS_GEOCENTRIC, 1133);
  geocentric_t* t1314 = find<geocentric_t>(CLS_GEOCENTRIC, 1314);
  geocentric_t* t1763 = find<geocentric_t>(CLS_GEOCENTRIC, 1763);

  // Of ED50: departing (1133), then arriving (1763 from NTF).
  std::vector<std::pair<geocentric_t*, int>> got;
  geocentric_t* cursor = nullptr;
  int direction = 0;
  while (datumtrans_next_of_datum(ed50, &cursor, &direction)) got.push_back({cursor, direction});
  std::vector<std::pair<geocentric_t*, int>> expected = {{t1133, 0}, {t1763, 1}};
  EXPECT_EQ(got, expected);
  EXPECT_EQ(datumtrans_next_of_datum(ed50, &cursor, &direction), nullptr);

  // Between WGS 84 and ED50: only 1133, which goes from ED50 (direction 1).
  got.clear();
  cursor = nullptr;
  direction = 0;
  while (datumtrans_next_between(wgs, ed50, &cursor, &direction)) got.push_back({cursor, direction});
  expected = {{t1133, 1}};
  EXPECT_EQ(got, expected);

  got.clear();
  cursor = nullptr;
  direction = 0;
  while (datumtrans_next_of_datum(wgs, &cursor, &direction)) got.push_back({cursor, direction});
  expected = {{t1314, 0}, {t1133, 1}};
  EXPECT_EQ(got, expected);
}

TEST_F(TablesLookup, InverseTransformations) {
  geocentric_t* t1314 = find<geocentric_t>(CLS_GEOCENTRIC, 1314);
  geocentric_t* t1763 = find<geocentric_t>(CLS_GEOCENTRIC, 1763);
  geocentric_t* t1133 = find<geocentric_t>(CLS_GEOCENTRIC, 1133);
  const int first_free = geo_next_code(CLS_GEOCENTRIC, nullptr);

  geocentric_t* inv = nullptr;
  ASSERT_TRUE(datumtrans_inverse(t1314, &inv));
  EXPECT_EQ(val(inv->inverse), t1314);
  EXPECT_EQ(val(t1314->inverse), inv);
  EXPECT_EQ(val(inv->code), first_free);
  EXPECT_EQ(val(inv->trsftype), TRSF_SHIFT7);
  EXPECT_EQ(val(inv->weight), val(t1314->weight));
  EXPECT_EQ(val(inv->datumd), val(t1314->datuma));
  EXPECT_EQ(val(inv->datuma), val(t1314->datumd));
  // The exact inverse similarity: rotations negated, scale 1/(1 + s) - 1, and the
  // translations turned back through the rotation and scale.
  EXPECT_EQ(val(inv->epsilonz), -val(t1314->epsilonz));
  EXPECT_NEAR(val(inv->de), 1.0 / (1.0 + val(t1314->de)) - 1.0, 1e-18);
  EXPECT_NEAR(val(inv->tx), -val(t1314->tx), 0.01);
  EXPECT_NE(val(inv->tx), -val(t1314->tx));
  geocentric_t* again = nullptr;
  EXPECT_EQ(datumtrans_inverse(t1314, &again), inv);  // created once
  EXPECT_EQ(find<geocentric_t>(CLS_GEOCENTRIC, first_free), inv);

  // A meridian shift swaps its units and negates its longitude difference.
  ASSERT_TRUE(datumtrans_inverse(t1763, &inv));
  EXPECT_EQ(val(inv->unit), val(t1763->unit2));
  EXPECT_EQ(val(inv->unit2), val(t1763->unit));
  EXPECT_EQ(val(inv->tx), -val(t1763->tx));
  EXPECT_EQ(val(inv->code), first_free + 1);

  // The inverse of ED50 -> WGS 84 is met when walking the transformations from WGS 84.
  ASSERT_TRUE(datumtrans_inverse(t1133, &inv));
  geocentric_t* cursor = nullptr;
  int direction = 0;
  bool met = false;
  while (datumtrans_next_of_datum(find<geodatum_t>(CLS_GEODATUM, 214), &cursor, &direction))
    met = met || (cursor == inv && direction == 0);
  EXPECT_TRUE(met);

  // A record whose kind is not a datum transformation has no inverse.
  t1133->inverse = nullptr;
  const int kind = t1133->trsftype;
  t1133->trsftype = 16;
  EXPECT_EQ(datumtrans_inverse(t1133, &inv), nullptr);
  EXPECT_EQ(get_gblerr(), ERR_GEOGRAPHIC);
  t1133->trsftype = kind;
}

TEST_F(TablesLookup, CreatorsAtRunTime) {
  // An unsupported file type creates nothing.
  const double params[10] = {1, 2, 3, 0, 0, 0, 0, 0, 0, 0};
  geocentric_t* t = nullptr;
  const int before = geo_next_code(CLS_GEOCENTRIC, nullptr);
  EXPECT_EQ(datumtrans_create(find<geodatum_t>(CLS_GEODATUM, 300),
                              find<geodatum_t>(CLS_GEODATUM, 214), 5, params, 0, 4, 0, 1,
                              before, &t),
            nullptr);
  EXPECT_EQ(get_gblerr(), ERR_GEOGRAPHIC);
  set_gblerr(0);
  EXPECT_EQ(geo_next_code(CLS_GEOCENTRIC, nullptr), before);

  // Out-of-range units fall back to metre and degree.
  ellipsoid_t* e = nullptr;
  ellipsoid_create("Custom", 6378000.0, 300.0, 0.0, 99, 900, &e);
  ASSERT_TRUE(e);
  EXPECT_EQ(val(e->a), 6378000.0);
  pmeridian_t* m = nullptr;
  pmeridian_create("Custom meridian", 90.0, -3, 901, &m);
  ASSERT_TRUE(m);
  EXPECT_EQ(val(m->unit), ANG_DEGREE);
  EXPECT_NEAR(val(m->glongitude), kPi / 2, 1e-15);

  // A datum missing its meridian gets no code and stays out of the indexes.
  geodatum_t* half = nullptr;
  geodatum_create("Half made", e, 1, nullptr, nullptr, 902, &half);
  ASSERT_TRUE(half);
  EXPECT_EQ(val(half->code), 0);
  EXPECT_EQ(find<geodatum_t>(CLS_GEODATUM, 902), nullptr);
  geodatum_t* full = nullptr;
  geodatum_create("Whole", e, 42, m, nullptr, 903, &full);
  EXPECT_EQ(find<geodatum_t>(CLS_GEODATUM, 903), full);
  EXPECT_EQ(val(full->unit), ANG_DEGREE);
  EXPECT_EQ(val(full->origlon), val(m->glongitude));
  ellipsoid_t* found = nullptr;
  EXPECT_EQ(ellipsoid_find_by_params(6378000.0, 300.0, &found), e);
}

// Datums are made at run time (custom datums of files) while another thread searches
// datum paths, which walks every datum: each datum is complete once it is seen, and a
// path to each datum already made is found.
TEST_F(TablesLookup, PathsAreFoundWhileAnotherThreadMakesDatums) {
  geodatum_t* wgs = find<geodatum_t>(CLS_GEODATUM, 214);
  geodatum_t* ed50 = find<geodatum_t>(CLS_GEODATUM, 6230);
  ellipsoid_t* intl = find<ellipsoid_t>(CLS_ELLIPSOID, 7022);
  pmeridian_t* greenwich = find<pmeridian_t>(CLS_PMERIDIAN, 1);
  constexpr int kMade = 200;
  std::atomic<geodatum_t*> last{nullptr};
  std::atomic<bool> done{false};
  std::thread maker([&] {
    for (int i = 0; i < kMade; ++i) {
      geodatum_t* d = nullptr;
      geodatum_create("Made at run time", intl, 1, greenwich, nullptr, 50000 + i, &d);
      const double shift[10] = {double(i), 1, 2, 0, 0, 0, 0, 0, 0, 0};
      geocentric_t* t = nullptr;
      datumtrans_create(d, wgs, DT_FILE_THREE, shift, 0, 4, 0, 5, 60000 + i, &t);
      last.store(d, std::memory_order_release);
    }
    done.store(true, std::memory_order_release);
  });
  int failures = 0;
  while (!done.load(std::memory_order_acquire)) {
    if (!geo_datum_path(ed50, wgs, nullptr, nullptr)) ++failures;
    geodatum_t* seen = last.load(std::memory_order_acquire);
    geocentric_t* t = nullptr;
    if (seen && (!geo_datum_path(seen, wgs, &t, nullptr) || !t)) ++failures;
  }
  maker.join();
  EXPECT_EQ(failures, 0);
  for (int i = 0; i < kMade; ++i)
    EXPECT_NE(find<geodatum_t>(CLS_GEODATUM, 50000 + i), nullptr) << i;
}

}  // namespace
