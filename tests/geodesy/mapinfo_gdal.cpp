// CoordSys clauses of real systems against GDAL's: the fixture holds, for each EPSG code,
// the clause GDAL writes (tests/fixtures/geodesy/make_mapinfo_cases.py). For each code
// the system reads GDAL's clause and must find the datum and projection of its own tables
// for that code (or their equivalent); it writes its own clause for the system and must
// give GDAL's numbers; and its own clause must read back into the same system.
//
// Tolerance: values written by both sides agree within 1e-6 + 1e-9 |v| (degrees, scale
// factors, and lengths in the clause's unit); GDAL writes 15 significant digits, the
// system 9 decimals for angles and 4 for lengths. Points projected by the two
// projections agree within 1 mm when their ellipsoids are the same.
//
// Where the system legitimately writes something else than GDAL, the case says why:
// datums without a MapInfo number in the system's tables are written as custom datums
// (999 / 9999 with the shift of the tables), and systems one side cannot express are
// written as NonEarth by that side.
//
// A case with a shift is the EPSG system given to GDAL with its datum's shift to WGS 84
// instead of its code: GDAL then writes a custom 9999 datum, whose rotations are in
// MapInfo's coordinate-frame sense, and the system must find the datum of its tables
// (which hold the position-vector sense) from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "geodesy/georef.h"
#include "geodesy/mapinfo.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

// What reading GDAL's clause gives for the datum.
enum datum_read {
  D_SAME,        // the very datum of the EPSG system
  D_EQUIVALENT,  // another datum of the tables with the same ellipsoid, meridian and shift
  D_OTHER,       // a datum of the tables for the same place with another shift (why says)
  D_UNKNOWN,     // GDAL's datum number is not in the tables: the clause is refused (13)
  D_LOSSY,       // GDAL's clause is read but describes another system (why says)
};

// How the system's clause compares with GDAL's.
enum clause_match {
  W_SAME,            // same type, datum number, unit and values
  W_OWN_DATUM,       // same type, unit and values; the datum part differs (why says)
  W_OURS_NONEARTH,   // the system writes NonEarth where GDAL writes a clause (why says)
  W_GDAL_NONEARTH,   // GDAL writes NonEarth where the system writes a clause (why says)
  W_BOTH_NONEARTH,
};

struct gdal_case {
  int code;
  datum_read datum;
  clause_match write;
  datum_read back;       // the datum the system's own clause reads back into; D_UNKNOWN:
                         // the clause is refused (13)
  double lon[2], lat[2]; // sample points, degrees from the datum's prime meridian
  const char* why;
  bool towgs84 = false;  // GDAL's clause of the system given with its datum's shift
};

// The fixture's key of a case.
std::string key_of(const gdal_case& c) {
  return std::to_string(c.code) + (c.towgs84 ? "/towgs84" : "");
}

const gdal_case kCases[] = {
    {4326, D_SAME, W_SAME, D_SAME, {2, 10}, {45, -30}, ""},
    {4807, D_SAME, W_SAME, D_SAME, {0, 1}, {46.8, 48}, ""},
    {32631, D_SAME, W_SAME, D_SAME, {3, 4}, {45, 50}, ""},
    {27700, D_OTHER, W_OWN_DATUM, D_SAME, {-2, 0}, {52, 54},
     "MapInfo's datum 79 is OSGB36 with three translations; the tables join OSGB36 to "
     "WGS 84 by seven parameters and give it no MapInfo number, so the system writes 9999"},
    {2193, D_SAME, W_SAME, D_SAME, {173, 175}, {-41, -39}, ""},
    {2222, D_SAME, W_SAME, D_SAME, {-110, -109}, {32, 34}, ""},
    {2154, D_EQUIVALENT, W_OWN_DATUM, D_EQUIVALENT, {3, 5}, {46.5, 48},
     "RGF93 has no MapInfo number in the tables; GDAL names it 33 (GRS 80 with no shift), "
     "the system writes the same datum as 999 on GRS 80 with no shift"},
    {2227, D_SAME, W_SAME, D_SAME, {-120.5, -121}, {36.5, 38}, ""},
    {3034, D_SAME, W_SAME, D_SAME, {10, 12}, {52, 48}, ""},
    {27572, D_SAME, W_SAME, D_SAME, {0, 1.5}, {46.8, 48}, ""},
    {31300, D_SAME, W_SAME, D_SAME, {4.4, 5}, {50.5, 51}, ""},
    {2056, D_UNKNOWN, W_OWN_DATUM, D_EQUIVALENT, {7.44, 8}, {46.95, 47.3},
     "CH1903+ has no MapInfo number in the tables (GDAL: 158): the system writes 999 on "
     "Bessel 1841 with the three translations of the tables, which read back into the "
     "first datum of the tables with that shift"},
    {21781, D_SAME, W_SAME, D_SAME, {7.44, 8}, {46.95, 47.3}, ""},
    {28992, D_OTHER, W_OWN_DATUM, D_SAME, {5.39, 6}, {52.16, 53},
     "GDAL knows no shift for Amersfoort and falls back to WGS 84 (104); the tables "
     "name Amersfoort 109"},
    {3078, D_SAME, W_SAME, D_SAME, {-86, -85}, {45.3, 46}, ""},
    {2057, D_SAME, W_BOTH_NONEARTH, D_UNKNOWN, {52.6, 53}, {27.5, 28},
     "an oblique Mercator with its origin at the centre of the central line has no MapInfo "
     "type"},
    {3395, D_SAME, W_SAME, D_SAME, {0, 10}, {0, 40}, ""},
    {3994, D_SAME, W_SAME, D_SAME, {100, 110}, {-41, -30},
     "MapInfo's regional Mercator gives the parallel of true scale; GDAL writes it south, "
     "the system north: the same Mercator (compared without sign)"},
    {3000, D_LOSSY, W_OURS_NONEARTH, D_UNKNOWN, {110, 112}, {0, 3},
     "MapInfo's Mercator has no scale factor and no false origin; GDAL drops both (and "
     "the datum's shift), the system refuses to write a wrong system"},
    {3031, D_SAME, W_GDAL_NONEARTH, D_UNKNOWN, {0, 40}, {-80, -70},
     "GDAL has no MapInfo form for the polar stereographic; the system writes the "
     "stereographic type at the pole, which it reads as a kind it cannot set up"},
    {28404, D_SAME, W_OWN_DATUM, D_SAME, {20, 22}, {45, 55},
     "GDAL writes Pulkovo 1942 by its seven parameters (9999, rotations turned to the "
     "coordinate frame); the tables name it 1001",
     true},
};

std::map<std::string, std::string> load_gdal_clauses() {
  std::map<std::string, std::string> out;
  std::ifstream in(TM_FIXTURE_DIR "/geodesy/mapinfo_cases.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    out[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return out;
}

// A clause cut into words: commas and blanks separate, quoted names stay whole.
std::vector<std::string> words_of(const std::string& text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == ',' || c == '\t') {
      ++i;
    } else if (c == '"') {
      const size_t end = text.find('"', i + 1);
      words.push_back(text.substr(i, end - i + 1));
      i = end + 1;
    } else {
      size_t end = i;
      while (end < text.size() && text[end] != ' ' && text[end] != ',') ++end;
      words.push_back(text.substr(i, end - i));
      i = end;
    }
  }
  return words;
}

// The parts of an Earth clause.
struct clause_parts {
  bool earth = false;
  int type = 0;
  std::vector<std::string> datum;  // the datum number and, for 999/9999, what follows
  std::string unit;
  std::vector<double> values;
};

clause_parts parts_of(const std::string& text) {
  clause_parts p;
  const std::vector<std::string> w = words_of(text);
  if (w.size() < 4 || w[0] != "Earth" || w[1] != "Projection") return p;
  p.earth = true;
  p.type = std::stoi(w[2]);
  size_t i = 3;
  const int number = std::stoi(w[i]);
  const size_t datum_words = number == 999 ? 5 : number == 9999 ? 10 : 1;
  for (size_t k = 0; k < datum_words && i < w.size(); ++k) p.datum.push_back(w[i++]);
  if (i < w.size()) p.unit = w[i++];
  for (; i < w.size(); ++i) p.values.push_back(std::stod(w[i]));
  return p;
}

bool agree(double a, double b) { return std::fabs(a - b) <= 1e-6 + 1e-9 * std::fabs(b); }

// The values of both clauses agree; cones list their parallels either way, and the
// regional Mercator's parallel is compared without its sign.
void expect_same_values(const clause_parts& ours, const clause_parts& gdal) {
  ASSERT_EQ(ours.values.size(), gdal.values.size());
  std::vector<double> a = ours.values, b = gdal.values;
  if (ours.type == 3 || ours.type == 19) {
    std::sort(a.begin() + 2, a.begin() + 4);
    std::sort(b.begin() + 2, b.begin() + 4);
  }
  if (ours.type == 26) a[1] = std::fabs(a[1]), b[1] = std::fabs(b[1]);
  for (size_t i = 0; i < a.size(); ++i) EXPECT_TRUE(agree(a[i], b[i])) << i << ": " << a[i] << " vs " << b[i];
}

// Geographic degrees from the datum's prime meridian -> the datum's angular unit.
void to_datum_unit(const geodatum_t* d, double* x, double* y) {
  angle_unit_scale(ANG_DEGREE, 0, x, y);
  angle_unit_scale(val(d->unit), 1, x, y);
}

bool same_ellipsoid(const geodatum_t* a, const geodatum_t* b) {
  const ellipsoid_t* ea = val(a->ellip);
  const ellipsoid_t* eb = val(b->ellip);
  return std::fabs(val(ea->a) - val(eb->a)) <= 1e-3 && std::fabs(val(ea->e2) - val(eb->e2)) <= 1e-12;
}

// Two datums hold the same geographic coordinates: same ellipsoid, meridian and shift.
void expect_equivalent_datums(geodatum_t* a, geodatum_t* b) {
  EXPECT_TRUE(same_ellipsoid(a, b));
  EXPECT_NEAR(val(a->origlon), val(b->origlon), 1e-12);
  geodatum_t* ref = nullptr;
  geo_get_ref_datum(&ref);
  geocentric_t* ta = nullptr;
  geocentric_t* tb = nullptr;
  if (a != ref) {
    ASSERT_TRUE(geo_datum_path(a, ref, &ta, nullptr));
  }
  if (b != ref) {
    ASSERT_TRUE(geo_datum_path(b, ref, &tb, nullptr));
  }
  const auto shift = [](const geocentric_t* t, int i) {
    if (!t) return 0.0;
    const double v[7] = {val(t->tx), val(t->ty), val(t->tz), val(t->epsilonx),
                         val(t->epsilony), val(t->epsilonz), val(t->de)};
    return val(t->trsftype) >= 8 && (i < 3 || val(t->trsftype) >= 9) ? v[i] : 0.0;
  };
  for (int i = 0; i < 7; ++i) EXPECT_NEAR(shift(ta, i), shift(tb, i), 1e-9) << i;
}

// The projections map the sample points to the same grid coordinates.
void expect_same_points(const gdal_case& c, const cartproj_t* a, const cartproj_t* b) {
  for (int i = 0; i < 2; ++i) {
    double xa = c.lon[i], ya = c.lat[i], xb = c.lon[i], yb = c.lat[i];
    to_datum_unit(val(a->datum), &xa, &ya);
    to_datum_unit(val(b->datum), &xb, &yb);
    proj_forward(a, &xa, &ya);
    proj_forward(b, &xb, &yb);
    EXPECT_NEAR(xa, xb, 1e-3) << "point " << i;
    EXPECT_NEAR(ya, yb, 1e-3) << "point " << i;
  }
}

// The Mercator kinds are one projection written two ways.
int kind_family(int kind) { return kind == PK_MERCATOR_TS ? PK_MERCATOR : kind; }

// The system read from a clause is the EPSG system: datum, projection kind, unit,
// values written back, and (same ellipsoid) projected points.
void expect_same_system(const gdal_case& c, datum_read relation, const mif_coordsys& read,
                        geodatum_t* datum, const cartproj_t* proj) {
  ASSERT_EQ(read.earth, 1);
  if (relation == D_SAME) {
    EXPECT_EQ(read.datum, datum);
  } else if (relation == D_EQUIVALENT) {
    expect_equivalent_datums(read.datum, datum);
  } else if (relation == D_OTHER) {
    EXPECT_NE(read.datum, datum);
  }
  if (!proj) {
    EXPECT_EQ(read.projection, nullptr);
    EXPECT_EQ(read.unit, ANG_DEGREE);
    return;
  }
  ASSERT_NE(read.projection, nullptr);
  EXPECT_EQ(kind_family(val(read.projection->projtype)), kind_family(val(proj->projtype)));
  EXPECT_EQ(read.unit, val(proj->unit));
  EXPECT_EQ(val(read.projection->unit), val(proj->unit));
  // Both written by the system: the same type and values.
  const int type = mif_type_of_proj(proj);
  EXPECT_EQ(mif_type_of_proj(read.projection), type);
  char a[kMifParamTextSize], b[kMifParamTextSize];
  mif_format_params(read.projection, a, sizeof a);
  mif_format_params(proj, b, sizeof b);
  const std::string head = "Earth Projection " + std::to_string(type) + ", 0, \"m\", ";
  expect_same_values(parts_of(head + a), parts_of(head + b));
  if (same_ellipsoid(read.datum, datum)) expect_same_points(c, read.projection, proj);
}

class GdalClauses : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0); }
  void TearDown() override { set_gblerr(0); }

  // The EPSG system of the tables: its projection (null for a geographic code) and datum.
  static void system_of(int code, cartproj_t** proj, geodatum_t** datum) {
    const std::string name = std::to_string(code);
    *proj = nullptr;
    geo_find_by_alias(CLS_CARTPROJ, GEO_SCHEME_EPSG, name.c_str(), proj);
    if (*proj)
      *datum = val((*proj)->datum);
    else
      geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_EPSG, name.c_str(), datum);
  }
};

TEST_F(GdalClauses, GdalClauseReadsIntoTheEpsgSystem) {
  const std::map<std::string, std::string> gdal = load_gdal_clauses();
  for (const gdal_case& c : kCases) {
    SCOPED_TRACE(key_of(c) + " " + c.why);
    ASSERT_EQ(gdal.count(key_of(c)), 1u);
    const std::string& text = gdal.at(key_of(c));
    cartproj_t* proj = nullptr;
    geodatum_t* datum = nullptr;
    system_of(c.code, &proj, &datum);
    ASSERT_NE(datum, nullptr);
    set_gblerr(0);
    mif_coordsys read;
    const int rc = mif_coordsys_read(text.data(), text.size(), &read);
    if (c.datum == D_UNKNOWN) {
      EXPECT_EQ(rc, 13);
      EXPECT_EQ(get_gblerr(), 13);
      continue;
    }
    ASSERT_EQ(rc, 0) << text;
    if (c.datum == D_LOSSY) {
      ASSERT_NE(read.projection, nullptr);
      EXPECT_NE(mif_type_of_proj(read.projection), mif_type_of_proj(proj));
      continue;
    }
    if (c.write == W_GDAL_NONEARTH || c.write == W_BOTH_NONEARTH) {
      EXPECT_EQ(read.earth, 0);
      EXPECT_EQ(read.unit, val(proj->unit));
      continue;
    }
    expect_same_system(c, c.datum, read, datum, proj);
  }
}

TEST_F(GdalClauses, SystemClauseMatchesGdal) {
  const std::map<std::string, std::string> gdal = load_gdal_clauses();
  for (const gdal_case& c : kCases) {
    SCOPED_TRACE(key_of(c) + " " + c.why);
    cartproj_t* proj = nullptr;
    geodatum_t* datum = nullptr;
    system_of(c.code, &proj, &datum);
    ASSERT_NE(datum, nullptr);
    char text[kMifClauseTextSize];
    const int unit = proj ? val(proj->unit) : LEN_METRE;
    const int rc = mif_coordsys_write(datum, proj, unit, text, sizeof text);
    const clause_parts ours = parts_of(text);
    ASSERT_EQ(gdal.count(key_of(c)), 1u);
    const clause_parts theirs = parts_of(gdal.at(key_of(c)));
    switch (c.write) {
      case W_SAME:
      case W_OWN_DATUM:
        ASSERT_EQ(rc, 1) << text;
        EXPECT_EQ(ours.type, theirs.type) << text;
        EXPECT_EQ(ours.unit, theirs.unit) << text;
        if (c.write == W_SAME) {
          EXPECT_EQ(ours.datum, theirs.datum) << text;
        } else {
          EXPECT_NE(ours.datum, theirs.datum) << text;
        }
        expect_same_values(ours, theirs);
        break;
      case W_OURS_NONEARTH:
        EXPECT_EQ(rc, 0) << text;
        EXPECT_TRUE(theirs.earth);
        break;
      case W_GDAL_NONEARTH:
        EXPECT_EQ(rc, 1) << text;
        EXPECT_FALSE(theirs.earth);
        break;
      case W_BOTH_NONEARTH:
        EXPECT_EQ(rc, 0) << text;
        EXPECT_FALSE(theirs.earth);
        break;
    }
    if (rc == 0) {
      EXPECT_EQ(std::string(text), "NonEarth Units \"m\"");
    }
  }
}

TEST_F(GdalClauses, SystemClauseReadsBackIntoTheSameSystem) {
  for (const gdal_case& c : kCases) {
    SCOPED_TRACE(key_of(c) + " " + c.why);
    cartproj_t* proj = nullptr;
    geodatum_t* datum = nullptr;
    system_of(c.code, &proj, &datum);
    char text[kMifClauseTextSize];
    const int unit = proj ? val(proj->unit) : LEN_METRE;
    if (mif_coordsys_write(datum, proj, unit, text, sizeof text) != 1) continue;
    mif_coordsys read;
    set_gblerr(0);
    const int rc = mif_coordsys_read(text, std::strlen(text), &read);
    if (c.back == D_UNKNOWN) {
      EXPECT_EQ(rc, 13) << text;
      continue;
    }
    ASSERT_EQ(rc, 0) << text;
    // A custom datum written from the tables' shift is found again, not made anew: the
    // datum itself, or (for a shift shared by several datums) one equivalent to it.
    expect_same_system(c, c.back, read, datum, proj);
  }
}

}  // namespace
