// Angular and linear units: conversions, ratios, the degree-minute split, the names, and
// the refusal of unit indexes outside the tables.
#include "geodesy/units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/error.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

class Units : public ::testing::Test {
 protected:
  void SetUp() override { set_gblerr(0); }
  void TearDown() override { set_gblerr(0); }
};

struct scale_case {
  const char* what;
  bool angular;
  int unit;
  int direction;
  double in;
  double out;
};

TEST_F(Units, ScaleToAndFromBaseUnits) {
  const scale_case cases[] = {
      {"180 degrees are pi radians", true, ANG_DEGREE, 0, 180.0, kPi},
      {"pi/180 radians are 3600 seconds (DMS unit)", true, ANG_DMS, 1, kPi / 180.0, 3600.0},
      {"200 grads are pi radians", true, ANG_GRAD, 0, 200.0, kPi},
      {"1 radian is 1e6 micro-radians", true, ANG_MICRORADIAN, 1, 1.0, 1e6},
      {"6400 mils are two pi", true, ANG_MIL6400, 0, 6400.0, 2 * kPi},
      {"radian unit changes nothing", true, ANG_RADIAN, 0, 1.25, 1.25},
      {"one US survey foot in metres", false, LEN_US_SURVEY_FOOT, 0, 1.0, 0.30480060960121924},
      {"1852 metres are one nautical mile", false, LEN_NAUTICAL_MILE, 1, 1852.0, 1.0},
      {"3 km are 3000 m", false, LEN_KILOMETRE, 0, 3.0, 3000.0},
      {"metre unit changes nothing", false, LEN_METRE, 1, 7.5, 7.5},
      {"last linear unit (46)", false, 46, 0, 1.0, 0.3048007491},
  };
  for (const scale_case& c : cases) {
    double x = c.in;
    double y = -c.in;
    if (c.angular)
      angle_unit_scale(c.unit, c.direction, &x, &y);
    else
      length_unit_scale(c.unit, c.direction, &x, &y);
    EXPECT_NEAR(x, c.out, std::fabs(c.out) * 1e-14) << c.what;
    EXPECT_NEAR(y, -c.out, std::fabs(c.out) * 1e-14) << c.what << " (second value)";
    EXPECT_EQ(get_gblerr(), 0) << c.what;
  }
}

TEST_F(Units, ConvertBetweenUnits) {
  double x = 1.0, y = 2.0;
  length_unit_convert(LEN_US_SURVEY_FOOT, LEN_METRE, &x, &y);
  EXPECT_DOUBLE_EQ(x, 0.30480060960121924);
  EXPECT_DOUBLE_EQ(y, 2 * 0.30480060960121924);

  x = 90.0, y = -45.0;
  angle_unit_convert(ANG_DEGREE, ANG_GRAD, &x, &y);
  EXPECT_NEAR(x, 100.0, 1e-12);
  EXPECT_NEAR(y, -50.0, 1e-12);

  x = 1.0, y = 0.0;
  angle_unit_convert(ANG_DEGREE, ANG_MINUTE, &x, &y);
  EXPECT_NEAR(x, 60.0, 1e-12);
}

TEST_F(Units, SameUnitLeavesValuesBitForBit) {
  const double values[] = {0.1, -123.456789012345, 1e-300, 6378137.0};
  for (int unit = 0; unit < kLengthUnitCount; ++unit) {
    for (double v : values) {
      double x = v, y = v;
      length_unit_convert(unit, unit, &x, &y);
      EXPECT_EQ(std::memcmp(&x, &v, sizeof v), 0) << "linear unit " << unit;
      double r = 0;
      EXPECT_EQ(length_unit_ratio(unit, unit, &r), 1.0);
    }
  }
  for (int unit = 0; unit < kAngleUnitCount; ++unit) {
    for (double v : values) {
      double x = v, y = v;
      angle_unit_convert(unit, unit, &x, &y);
      EXPECT_EQ(std::memcmp(&y, &v, sizeof v), 0) << "angular unit " << unit;
      double r = 0;
      EXPECT_EQ(angle_unit_ratio(unit, unit, &r), 1.0);
    }
  }
}

TEST_F(Units, RatiosMatchConversions) {
  double r = 0;
  angle_unit_ratio(ANG_DEGREE, ANG_SECOND, &r);
  EXPECT_NEAR(r, 3600.0, 1e-9);
  length_unit_ratio(LEN_KILOMETRE, LEN_FOOT, &r);
  EXPECT_NEAR(r, 1000.0 / 0.3048, 1e-9);
  EXPECT_EQ(get_gblerr(), 0);
}

struct split_case {
  double a;
  int unit;
  int degrees;
  double minutes;
};

TEST_F(Units, SplitDegreesAndMinutes) {
  const split_case cases[] = {
      {45.5, ANG_DEGREE, 45, 30.0},
      {-0.25, ANG_DEGREE, 0, 15.0},
      {150.0, ANG_MINUTE, 2, 30.0},        // already minutes: no conversion
      {9000.0, ANG_SECOND, 2, 30.0},       // 150 minutes
      {kPi / 2, ANG_RADIAN, 90, 0.0},
  };
  for (const split_case& c : cases) {
    int da = -1, db = -1;
    double ma = -1, mb = -1;
    angle_split_deg_min(c.a, -c.a, c.unit, &da, &db, &ma, &mb);
    EXPECT_EQ(da, c.degrees) << c.a << " in unit " << c.unit;
    EXPECT_NEAR(ma, c.minutes, 1e-9) << c.a << " in unit " << c.unit;
    EXPECT_EQ(db, c.degrees) << "second value is taken as |b|";
    EXPECT_NEAR(mb, c.minutes, 1e-9);
  }
}

TEST_F(Units, NamesInBothLanguages) {
  EXPECT_STREQ(angle_unit_name(ANG_DEGREE, true), "Degré");
  EXPECT_STREQ(angle_unit_name(ANG_GRAD, false), "Grad (or Gon)");
  EXPECT_STREQ(angle_unit_name(ANG_MIL6400, false), "Mil6400");
  EXPECT_EQ(angle_unit_name(11, false), nullptr);
  EXPECT_STREQ(length_unit_name(LEN_METRE, true), "Mètre");
  EXPECT_STREQ(length_unit_name(LEN_METRE, false), "Meter");
  EXPECT_STREQ(length_unit_name(22, false), "Clarke Link");
  EXPECT_EQ(length_unit_name(23, true), nullptr);
}

// A unit index read from a file must never reach past the tables: it changes nothing
// and reports a value error.
TEST_F(Units, IndexesOutsideTheTablesAreRefused) {
  const int bad_angles[] = {-1, 12, 1000, -2147483647 - 1};
  for (int u : bad_angles) {
    set_gblerr(0);
    double x = 3.0, y = 4.0;
    angle_unit_scale(u, 0, &x, &y);
    angle_unit_convert(ANG_DEGREE, u, &x, &y);
    EXPECT_EQ(x, 3.0) << u;
    EXPECT_EQ(y, 4.0) << u;
    double r = 0;
    EXPECT_EQ(angle_unit_ratio(u, ANG_DEGREE, &r), 1.0) << u;
    EXPECT_EQ(get_gblerr(), ERR_VALUE) << u;
    EXPECT_EQ(angle_unit_name(u, false), nullptr);
    EXPECT_EQ(angle_unit_factor(u), 0.0);
    EXPECT_EQ(angle_unit_or_degree(u), ANG_DEGREE);
  }
  const int bad_lengths[] = {-1, 47, 2147483647};
  for (int u : bad_lengths) {
    set_gblerr(0);
    double x = 3.0, y = 4.0;
    length_unit_scale(u, 1, &x, &y);
    length_unit_convert(u, LEN_METRE, &x, &y);
    EXPECT_EQ(x, 3.0) << u;
    EXPECT_EQ(y, 4.0) << u;
    EXPECT_EQ(get_gblerr(), ERR_VALUE) << u;
    EXPECT_EQ(length_unit_name(u, true), nullptr);
    EXPECT_EQ(length_unit_or_metre(u), LEN_METRE);
  }
}

}  // namespace
