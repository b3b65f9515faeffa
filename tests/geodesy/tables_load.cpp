// Loading of the geodesy tables from small tables written by the tests: the values each
// line gives its object, the lines that are skipped, and the errors that stop the load
// while keeping what was already loaded.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>

#include "geodesy/units.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// The ten files of a small, consistent set of tables; a test changes some of them.
struct table_set {
  std::map<std::string, std::string> files = {
      {"ellipsoi.txt",
       "34;WGS 84;6378137.0;298.257223563;0.0;0\n"
       "7022;International 1924;6378388.0;297.0;0.0;0\n"},
      {"ellipsil.txt", "1;7030;34\n"},
      {"pmeridian.txt", "1;Greenwich;0.0;1\n8903;Paris;2.5969213;3\n"},
      {"pmeridil.txt", "1;8901;1\n"},
      {"datum.txt", "214;WGS 84;34;1;1;0\n6230;ED50;7022;1;1;0\n"},
      {"datumil.txt", "1;4326;214\n1;4230;6230\n"},
      {"gcentric.txt",
       "1133;6230;214;3;-87.0;-98.0;-121.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0;4;0;10;0;0\n"},
      {"gcentril.txt", "1;1133;1133\n"},
      {"cartproj.txt",
       "32631;WGS 84 / UTM zone 31N;214;1;3.0;0.0;0.9996;500000.0;0.0;0.0;0.0;0.0;0;1;0\n"},
      {"cartpril.txt", "1;32631;32631\n"},
  };
};

// Writes the set into a fresh program folder (a null text leaves the file out) and
// loads it; returns gblerr of the load.
int load_set(const table_set& set) {
  const std::string folder = tm_test::use_geodesy_folder("geo-tables");
  for (const auto& [name, text] : set.files)
    if (text != "<missing>") tm_test::write_geodesy_table(folder, name.c_str(), text);
  geo_load_tables();
  return get_gblerr();
}

template <class T> T* find(int cls, int code) {
  T* obj = nullptr;
  geo_find_by_code(cls, code, &obj);
  return obj;
}

class TablesLoad : public ::testing::Test {
 protected:
  void TearDown() override { set_gblerr(0); }
};

TEST_F(TablesLoad, ConsistentSetLoadsEveryObjectAndName) {
  ASSERT_EQ(load_set(table_set{}), 0);
  ellipsoid_t* wgs = find<ellipsoid_t>(CLS_ELLIPSOID, 34);
  geodatum_t* d214 = find<geodatum_t>(CLS_GEODATUM, 214);
  geodatum_t* ed50 = find<geodatum_t>(CLS_GEODATUM, 6230);
  ASSERT_TRUE(wgs && d214 && ed50);
  EXPECT_STREQ(d214->name, "WGS 84");
  EXPECT_EQ(val(d214->ellip), wgs);
  EXPECT_EQ(val(d214->ell), wgs);
  EXPECT_EQ(val(d214->meridian0), find<pmeridian_t>(CLS_PMERIDIAN, 1));
  geocentric_t* t = find<geocentric_t>(CLS_GEOCENTRIC, 1133);
  ASSERT_TRUE(t);
  EXPECT_EQ(val(t->datumd), ed50);
  EXPECT_EQ(val(t->datuma), d214);
  EXPECT_EQ(val(t->trsftype), TRSF_SHIFT3);
  EXPECT_EQ(val(t->weight), 10);
  EXPECT_DOUBLE_EQ(val(t->tx), -87.0);
  geodatum_t* by_name = nullptr;
  EXPECT_EQ(geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_EPSG, "4230", &by_name), ed50);
  geo_init_ref_datum();
  geodatum_t* ref = nullptr;
  EXPECT_EQ(geo_get_ref_datum(&ref), d214);
}

struct ellipsoid_case {
  const char* what;
  const char* line;
  int code;
  double a, invf, b, e2;
};

TEST_F(TablesLoad, EllipsoidDefinedByInverseFlatteningOrBySemiMinorAxis) {
  const double a = 6377563.396, b = 6356256.909;
  const double ft = 0.3047972651150996;  // Clarke's foot (unit 8)
  const ellipsoid_case cases[] = {
      {"1/f = 0: defined by b", "7001;Airy;6377563.396;0.0;6356256.909;0", 7001, a, 0.0, b,
       (a * a - b * b) / (a * a)},
      {"1/f given: b ignored and stored as 0", "7030;GRS;6378137.0;298.257223563;6356752.3;0",
       7030, 6378137.0, 298.257223563, 0.0,
       (2 * 298.257223563 - 1) / (298.257223563 * 298.257223563)},
      {"a in Clarke's feet", "7013;Clarke 1880;20926202.0;293.465;0.0;8", 7013, 20926202.0 * ft,
       293.465, 0.0, (2 * 293.465 - 1) / (293.465 * 293.465)},
      {"sphere: b = a", "7035;Sphere;6371000.0;0.0;6371000.0;0", 7035, 6371000.0, 0.0,
       6371000.0, 0.0},
  };
  for (const ellipsoid_case& c : cases) {
    table_set set;
    set.files["ellipsoi.txt"] = std::string("34;WGS 84;6378137.0;298.257223563;0.0;0\n") +
                                "7022;International 1924;6378388.0;297.0;0.0;0\n" + c.line +
                                "\n";
    ASSERT_EQ(load_set(set), 0) << c.what;
    ellipsoid_t* e = find<ellipsoid_t>(CLS_ELLIPSOID, c.code);
    ASSERT_TRUE(e) << c.what;
    EXPECT_NEAR(val(e->a), c.a, 1e-6) << c.what;
    EXPECT_EQ(val(e->invf), c.invf) << c.what;
    EXPECT_NEAR(val(e->b), c.b, 1e-6) << c.what;
    EXPECT_NEAR(val(e->e2), c.e2, 1e-15) << c.what;
  }
}

TEST_F(TablesLoad, MeridianAndDatumValues) {
  table_set set;
  set.files["datum.txt"] += "6807;NTF (Paris);7022;8903;3;0\n";
  ASSERT_EQ(load_set(set), 0);
  pmeridian_t* paris = find<pmeridian_t>(CLS_PMERIDIAN, 8903);
  ASSERT_TRUE(paris);
  EXPECT_NEAR(val(paris->glongitude), 2.5969213 * kPi / 200.0, 1e-15);
  EXPECT_EQ(val(paris->unit), ANG_GRAD);
  geodatum_t* ntf = find<geodatum_t>(CLS_GEODATUM, 6807);
  ASSERT_TRUE(ntf);
  EXPECT_EQ(val(ntf->unit), ANG_GRAD);
  EXPECT_EQ(val(ntf->meridian0), paris);
  EXPECT_EQ(val(ntf->origlon), val(paris->glongitude));
  EXPECT_EQ(val(ntf->ellip), find<ellipsoid_t>(CLS_ELLIPSOID, 7022));
}

struct trans_case {
  const char* what;
  const char* line;
  int code;
  int kind;
  double tx, epsilonx, de, x0;
  int unit, unit2;
};

TEST_F(TablesLoad, TransformationParametersAreConverted) {
  const double sec = kPi / (180.0 * 3600.0);
  const trans_case cases[] = {
      {"scale in parts per million (flag 2)",
       "1;6230;214;7;1.0;2.0;3.0;0.5;0.0;0.0;1.5;0.0;0.0;0.0;0;4;2;5;0;0", 1, TRSF_SHIFT7, 1.0,
       0.5 * sec, 1.5e-6, 0.0, LEN_METRE, ANG_SECOND},
      {"plain scale (flag 0)",
       "2;6230;214;7;1.0;2.0;3.0;0.5;0.0;0.0;1.5;0.0;0.0;0.0;0;4;0;5;0;0", 2, TRSF_SHIFT7, 1.0,
       0.5 * sec, 1.5, 0.0, LEN_METRE, ANG_SECOND},
      {"ten parameters in kilometres",
       "3;6230;214;10;0.1;0.0;0.0;0.0;0.0;0.0;0.0;4.0;5.0;6.0;3;4;0;5;0;0", 3, TRSF_SHIFT10, 100.0,
       0.0, 0.0, 4000.0, LEN_KILOMETRE, ANG_SECOND},
      {"three translations: the angular unit is not tested",
       "4;6230;214;3;-87.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0;99;0;5;0;0", 4, TRSF_SHIFT3,
       -87.0, 0.0, 0.0, 0.0, LEN_METRE, ANG_DEGREE},
      {"identity", "5;6230;214;0;9.0;9.0;9.0;9.0;9.0;9.0;9.0;9.0;9.0;9.0;0;4;0;1;0;0", 5,
       TRSF_IDENTITY, 0.0, 0.0, 0.0, 0.0, LEN_METRE, ANG_SECOND},
  };
  for (const trans_case& c : cases) {
    table_set set;
    set.files["gcentric.txt"] = std::string(c.line) + "\n";
    ASSERT_EQ(load_set(set), 0) << c.what;
    geocentric_t* t = find<geocentric_t>(CLS_GEOCENTRIC, c.code);
    ASSERT_TRUE(t) << c.what;
    EXPECT_EQ(val(t->trsftype), c.kind) << c.what;
    EXPECT_NEAR(val(t->tx), c.tx, 1e-9) << c.what;
    EXPECT_NEAR(val(t->epsilonx), c.epsilonx, 1e-18) << c.what;
    EXPECT_NEAR(val(t->de), c.de, 1e-18) << c.what;
    EXPECT_NEAR(val(t->x0), c.x0, 1e-9) << c.what;
    EXPECT_EQ(val(t->unit), c.unit) << c.what;
    EXPECT_EQ(val(t->unit2), c.unit2) << c.what;
  }
}

TEST_F(TablesLoad, MeridianShiftComesFromTheDatumsMeridians) {
  table_set set;
  set.files["pmeridian.txt"] = "1;Greenwich;0.0;1\n9000;Two and a half east;2.5;1\n";
  set.files["datum.txt"] = "214;WGS 84;34;1;1;0\n300;East;34;9000;3;0\n";
  set.files["gcentric.txt"] =
      "7;300;214;1;100.0;200.0;300.0;1.0;1.0;1.0;1.0;1.0;1.0;1.0;0;4;0;1;0;0\n";
  ASSERT_EQ(load_set(set), 0);
  geocentric_t* t = find<geocentric_t>(CLS_GEOCENTRIC, 7);
  ASSERT_TRUE(t);
  EXPECT_EQ(val(t->trsftype), TRSF_MERIDIAN_SHIFT);
  EXPECT_NEAR(val(t->tx), 0.0436332313, 1e-10);
  EXPECT_EQ(val(t->ty), 0.0);
  EXPECT_EQ(val(t->unit), ANG_GRAD);     // the departure datum's angular unit
  EXPECT_EQ(val(t->unit2), ANG_DEGREE);  // the arrival datum's
}

struct skip_case {
  const char* what;
  const char* file;
  const char* extra_line;  // appended to the default table
  int cls;
  int code;                // the object that must not exist
};

// Lines with values out of range or unknown references are skipped without error, and
// the lines after them still load.
TEST_F(TablesLoad, OutOfRangeLinesAreSkippedSilently) {
  const skip_case cases[] = {
      {"ellipsoid unit 47", "ellipsoi.txt", "500;Bad;6378137.0;298.0;0.0;47", CLS_ELLIPSOID, 500},
      {"ellipsoid unit -1", "ellipsoi.txt", "500;Bad;6378137.0;298.0;0.0;-1", CLS_ELLIPSOID, 500},
      {"meridian unit 12", "pmeridian.txt", "500;Bad;1.0;12", CLS_PMERIDIAN, 500},
      {"datum unit 12", "datum.txt", "500;Bad;34;1;12;0", CLS_GEODATUM, 500},
      {"datum on unknown ellipsoid", "datum.txt", "500;Bad;9999;1;1;0", CLS_GEODATUM, 500},
      {"datum on unknown meridian", "datum.txt", "500;Bad;34;77;1;0", CLS_GEODATUM, 500},
      {"negative datum code", "datum.txt", "-5;Bad;34;1;1;0", CLS_GEODATUM, -5},
      {"huge datum code", "datum.txt", "2000000000;Bad;34;1;1;0", CLS_GEODATUM, 2000000000},
      {"code beyond 32 bits", "datum.txt", "99999999999;Bad;34;1;1;0", CLS_GEODATUM, 2147483647},
      {"transformation type 2", "gcentric.txt",
       "500;6230;214;2;1.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0;4;0;1;0;0", CLS_GEOCENTRIC, 500},
      {"transformation to unknown datum", "gcentric.txt",
       "500;6230;215;3;1.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0;4;0;1;0;0", CLS_GEOCENTRIC, 500},
      {"transformation linear unit 47", "gcentric.txt",
       "500;6230;214;3;1.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;47;4;0;1;0;0", CLS_GEOCENTRIC,
       500},
      {"seven parameters with angular unit 12", "gcentric.txt",
       "500;6230;214;7;1.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0;12;0;1;0;0", CLS_GEOCENTRIC,
       500},
      {"projection kind 48", "cartproj.txt",
       "500;Bad;214;48;3.0;0.0;0.9996;500000.0;0.0;0.0;0.0;0.0;0;1;0", CLS_CARTPROJ, 500},
      {"projection kind -1", "cartproj.txt",
       "500;Bad;214;-1;3.0;0.0;0.9996;500000.0;0.0;0.0;0.0;0.0;0;1;0", CLS_CARTPROJ, 500},
      {"projection on unknown datum", "cartproj.txt",
       "500;Bad;215;1;3.0;0.0;0.9996;500000.0;0.0;0.0;0.0;0.0;0;1;0", CLS_CARTPROJ, 500},
      {"projection angular unit 12", "cartproj.txt",
       "500;Bad;214;1;3.0;0.0;0.9996;500000.0;0.0;0.0;0.0;0.0;0;12;0", CLS_CARTPROJ, 500},
      {"projection kind without set-up", "cartproj.txt",
       "500;Bad;214;2;3.0;0.0;0.9996;500000.0;0.0;0.0;0.0;0.0;0;1;0", CLS_CARTPROJ, 500},
  };
  for (const skip_case& c : cases) {
    table_set set;
    // The bad line comes first among the added ones: a good line after it must load.
    set.files[c.file] = set.files[c.file] + c.extra_line + "\n";
    std::string& table = set.files[c.file];
    const std::string after =
        std::string(c.file) == "ellipsoi.txt"    ? "600;After;6378000.0;300.0;0.0;0\n"
        : std::string(c.file) == "pmeridian.txt" ? "600;After;1.0;1\n"
        : std::string(c.file) == "datum.txt"     ? "600;After;34;1;1;0\n"
        : std::string(c.file) == "gcentric.txt"
            ? "600;6230;214;3;1.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0;4;0;1;0;0\n"
            : "600;After;214;1;9.0;0.0;0.9996;500000.0;0.0;0.0;0.0;0.0;0;1;0\n";
    table += after;
    ASSERT_EQ(load_set(set), 0) << c.what;
    obj_t* bad = nullptr;
    EXPECT_EQ(geo_find_by_code(c.cls, c.code, &bad), nullptr) << c.what;
    obj_t* good = nullptr;
    EXPECT_NE(geo_find_by_code(c.cls, 600, &good), nullptr) << c.what << ": next line";
    EXPECT_LT(geo_next_code(c.cls, nullptr), 100000) << c.what;  // codes stay small
  }
}

struct failure_case {
  const char* what;
  const char* file;
  const char* text;  // "<missing>" leaves the file out
  int error;
  // What must be loaded and what must not (class, code).
  int loaded_cls, loaded_code;
  int absent_cls, absent_code;
};

// A missing table stops the load with 2, a malformed line with 14; what was loaded
// before stays in place.
TEST_F(TablesLoad, MissingOrMalformedTablesStopTheLoad) {
  const failure_case cases[] = {
      {"empty datum table", "datum.txt", "", ERR_BAD_FILE, CLS_PMERIDIAN, 8903, CLS_GEODATUM,
       214},
      {"datum table of blank lines", "datum.txt", "\n  \n\n", ERR_BAD_FILE, CLS_ELLIPSOID, 34,
       CLS_GEODATUM, 214},
      {"missing meridian table", "pmeridian.txt", "<missing>", ERR_FILE_ACCESS, CLS_ELLIPSOID,
       34, CLS_PMERIDIAN, 1},
      {"missing name table", "datumil.txt", "<missing>", ERR_FILE_ACCESS, CLS_GEODATUM, 6230,
       CLS_GEOCENTRIC, 1133},
      {"datum line with too few fields", "datum.txt",
       "214;WGS 84;34;1;1;0\n300;Short;34;1\n6230;ED50;7022;1;1;0\n", ERR_BAD_FILE, CLS_GEODATUM,
       214, CLS_GEODATUM, 6230},
      {"number followed by text", "ellipsoi.txt",
       "34;WGS 84;6378137.0;298.257223563;0.0;0\n7022;Intl;6378388.0x;297.0;0.0;0\n",
       ERR_BAD_FILE, CLS_ELLIPSOID, 34, CLS_ELLIPSOID, 7022},
      {"empty name field", "ellipsoi.txt",
       "34;WGS 84;6378137.0;298.257223563;0.0;0\n7022;;6378388.0;297.0;0.0;0\n", ERR_BAD_FILE,
       CLS_ELLIPSOID, 34, CLS_ELLIPSOID, 7022},
      {"name table line with two fields", "ellipsil.txt", "1;7030;34\n1;7022\n", ERR_BAD_FILE,
       CLS_ELLIPSOID, 7022, CLS_PMERIDIAN, 1},
      {"projection line with 14 fields", "cartproj.txt",
       "32631;UTM;214;1;3.0;0.0;0.9996;500000.0;0.0;0.0;0.0;0.0;0;1\n", ERR_BAD_FILE,
       CLS_GEOCENTRIC, 1133, CLS_CARTPROJ, 32631},
      {"transformation with a comma decimal", "gcentric.txt",
       "1133;6230;214;3;-87,5;-98.0;-121.0;0.0;0.0;0.0;0.0;0.0;0.0;0.0;0;4;0;10;0;0\n",
       ERR_BAD_FILE, CLS_GEODATUM, 6230, CLS_GEOCENTRIC, 1133},
  };
  for (const failure_case& c : cases) {
    table_set set;
    set.files[c.file] = c.text;
    EXPECT_EQ(load_set(set), c.error) << c.what;
    set_gblerr(0);
    obj_t* o = nullptr;
    EXPECT_NE(geo_find_by_code(c.loaded_cls, c.loaded_code, &o), nullptr) << c.what;
    EXPECT_EQ(geo_find_by_code(c.absent_cls, c.absent_code, &o), nullptr) << c.what;
  }
}

TEST_F(TablesLoad, LineEndingsBlanksAndLongNames) {
  table_set set;
  const std::string long_name(300, 'N');
  set.files["ellipsoi.txt"] =
      "34;WGS 84;6378137.0;298.257223563;0.0;0\r\n"
      "7022; International 1924 ; 6378388.0 ;297.0;0.0;0\r\n"
      "\r\n"
      "500;" + long_name + ";6378000.0;300.0;0.0;0\r\n\r\n\n   \n";
  set.files["datumil.txt"] = "1;4326;214\n1;" + std::string(400, 'x') + ";6230\n";
  // 258 ASCII bytes then a two-byte character: the name keeps 258 bytes.
  set.files["pmeridian.txt"] += "700;" + std::string(258, 'm') + "\xC3\xA9;1.0;1\n";
  ASSERT_EQ(load_set(set), 0);
  ellipsoid_t* intl = find<ellipsoid_t>(CLS_ELLIPSOID, 7022);
  ASSERT_TRUE(intl);
  EXPECT_STREQ(intl->name, " International 1924 ");  // a name keeps its blanks
  EXPECT_EQ(val(intl->a), 6378388.0);
  ellipsoid_t* long_one = find<ellipsoid_t>(CLS_ELLIPSOID, 500);
  ASSERT_TRUE(long_one);
  EXPECT_EQ(std::string(val(long_one->name)), long_name.substr(0, 259));
  pmeridian_t* accented = find<pmeridian_t>(CLS_PMERIDIAN, 700);
  ASSERT_TRUE(accented);
  EXPECT_EQ(std::string(val(accented->name)), std::string(258, 'm'));
  geodatum_t* d = nullptr;
  EXPECT_EQ(geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_EPSG, std::string(255, 'x').c_str(), &d),
            find<geodatum_t>(CLS_GEODATUM, 6230));
}

}  // namespace
