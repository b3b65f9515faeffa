// Dates read from text: the fixed layouts, ISO 8601 stamps (with and without a date,
// with fractions of a second of any length and with zones), month names, and texts cut
// short anywhere, each read from a heap block of exactly its size so that a read past
// the NUL is caught.
#include "core/dates.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/obj_list.h"
#include "tests/support/object_env.h"

namespace {

constexpr double kPackedTol = 1.5e-8;

double hms(double h, double m, double s) { return (h * 3600 + m * 60 + s) / 86400; }

class DateParseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    month_names_init();
  }
  void TearDown() override {
    set_gblerr(0);
    month_names_free();
  }
};

// A copy of the text in a block of exactly its size, NUL included.
struct exact_text {
  explicit exact_text(const std::string& s) : bytes(s.begin(), s.end()) {
    bytes.push_back('\0');
    bytes.shrink_to_fit();
  }
  const char* c_str() const { return bytes.data(); }
  std::vector<char> bytes;
};

TEST_F(DateParseTest, MonthNamesFromTheirFirstThreeLetters) {
  struct Case {
    const char* text;
    int month;
  } cases[] = {{"dec", 12}, {"De", 0},       {"JAN", 1}, {"February", 2}, {"sEp", 9},
               {"xyz", 0},  {"", 0},         {"ma", 0},  {"MAYO", 5},     {"oct.", 10}};
  for (const Case& c : cases) {
    exact_text t(c.text);
    EXPECT_EQ(month_from_name(t.c_str()), c.month) << c.text;
  }
  EXPECT_EQ(month_from_name(nullptr), 0);
  // The dictionary: class 16 records keyed by name.
  const container_t* dict = month_names_dict();
  ASSERT_NE(dict, nullptr);
  EXPECT_EQ(dict->count, 12);
  EXPECT_EQ(dict->elem_class, CLS_MONTH_NAME);
  EXPECT_EQ(dict->key_type, AT_STRING);
  EXPECT_EQ(obj_class_size(CLS_MONTH_NAME), int(sizeof(month_name_t)));
  // Freed, no name is known any more; built again, they are back.
  month_names_free();
  EXPECT_EQ(month_names_dict(), nullptr);
  EXPECT_EQ(month_from_name("dec"), 0);
  month_names_init();
  EXPECT_EQ(month_from_name("dec"), 12);
}

TEST_F(DateParseTest, MonthDictionaryLifetime) {
  // Built again over a live dictionary: the old one is released (LeakSanitizer).
  month_names_init();
  ASSERT_NE(month_names_dict(), nullptr);
  EXPECT_EQ(month_names_dict()->count, 12);
  EXPECT_EQ(month_from_name("mar"), 3);
  // Freed twice, then used as before it was ever built: no name reads, nothing breaks.
  month_names_free();
  month_names_free();
  EXPECT_EQ(month_names_dict(), nullptr);
  EXPECT_EQ(month_from_name("mar"), 0);
  date_rec r{-1, -1};
  EXPECT_EQ(parse_date_dmony(&r, "06-MAY-08")->date, 0.0);

  // While an error is pending no object is freed: the dictionary is neither rebuilt
  // nor dropped, and none is half-built.
  set_gblerr(ERR_FILE_ACCESS);
  month_names_init();
  EXPECT_EQ(month_names_dict(), nullptr);
  set_gblerr(0);
  month_names_init();
  const container_t* built = month_names_dict();
  set_gblerr(ERR_FILE_ACCESS);
  month_names_init();
  EXPECT_EQ(month_names_dict(), built);
  month_names_free();
  EXPECT_EQ(month_names_dict(), built);
  EXPECT_EQ(month_from_name("Dec"), 12);
  set_gblerr(0);
}

TEST_F(DateParseTest, DayMonthYearDigits) {
  struct Case {
    const char* text;
    double packed;
  } cases[] = {
      {"060508", 20080506},   {"1122099", 20991201},  // 7 digits: d mm yyyy
      {"311269", 20691231},   {"311270", 19701231},
      {"60508", 20080506},    {"06052008", 20080506}, {"6052008", 20080506},
      {"0605", 0},            {"060520081", 0},       {"", 0},
      {"061308", 0},          // month 13: no date
      {"ab0508", 0},
  };
  for (const Case& c : cases) {
    exact_text t(c.text);
    double out = -1;
    EXPECT_NEAR(parse_date_ddmmyy(t.c_str(), &out), c.packed, kPackedTol) << c.text;
    EXPECT_NEAR(out, c.packed, kPackedTol) << c.text;
  }
  EXPECT_EQ(parse_date_ddmmyy(nullptr, nullptr), 0.0);
}

TEST_F(DateParseTest, DigitDatesWithATimeOfDay) {
  date_rec r;
  parse_date_ddmmyy_time("060508", &r, 0.5);
  EXPECT_NEAR(r.date, 20080506.5, kPackedTol);
  EXPECT_DOUBLE_EQ(r.day, 6.5);
  parse_date_yymmdd("080506", &r, 0.25);
  EXPECT_NEAR(r.date, 20080506.25, kPackedTol);
  EXPECT_DOUBLE_EQ(r.day, 6.25);
  parse_date_yymmdd("991231", &r, 0);
  EXPECT_NEAR(r.date, 19991231, kPackedTol);
  parse_date_ddmmyy_time("0605", &r, 0.5);  // no date: the fraction alone is no date
  EXPECT_EQ(r.date, 0.0);
  EXPECT_EQ(r.day, 0.0);
}

TEST_F(DateParseTest, SlashAndMonthNameLayouts) {
  struct Case {
    const char* text;
    bool dmony;
    double packed;
  } cases[] = {
      {"06/05/2008", false, 20080506}, {"6/5/2008", false, 20080506},
      {"31/12/1999", false, 19991231}, {"06/05", false, 506},  // the year does not read: 0
      {"06-MAY-08", true, 20080506},   {"31-dec-69", true, 20691231},
      {"01-Jan-70", true, 19700101},   {"06-XYZ-08", true, 0},
      {"", false, 0},                  {"", true, 0},
  };
  for (const Case& c : cases) {
    exact_text t(c.text);
    date_rec r{-1, -1};
    if (c.dmony)
      parse_date_dmony(&r, t.c_str());
    else
      parse_date_dmy(&r, t.c_str());
    EXPECT_NEAR(r.date, c.packed, kPackedTol) << c.text;
  }
  date_rec r;
  parse_date_dmy(&r, "06/05/2008");
  parse_time_hms("12:34:56", &r);
  EXPECT_NEAR(r.date, 20080506 + hms(12, 34, 56), kPackedTol);
  EXPECT_NEAR(r.day, 6 + hms(12, 34, 56), 1e-12);
  parse_time_hms("23:59:60", &r);  // carried into the next day
  EXPECT_NEAR(r.date, 20080507 + hms(12, 34, 56), kPackedTol);
}

TEST_F(DateParseTest, IsoStamps) {
  struct Case {
    const char* text;
    double packed;
  } cases[] = {
      {"2008-05-06T12:34:56.789Z", 20080506 + hms(12, 34, 56.789)},
      {"2008-05-06T12:34:56Z", 20080506 + hms(12, 34, 56)},
      {"2008-05-06 12:34:56", 20080506 + hms(12, 34, 56)},
      {"2008-05-06", 20080506},
      {"2008-05", 20080501},
      {"2008", 20080101},
      {"12:34:56", 20000101 + hms(12, 34, 56)},  // time alone: 1 January 2000
      {"12:34", 20000101 + hms(12, 34, 0)},
      {"T12", 20000101 + hms(12, 0, 0)},
      {"", 20000101},
      // Fractions of a second are read whatever their length.
      {"2008-05-06T12:34:56.5Z", 20080506 + hms(12, 34, 56.5)},
      {"2008-05-06T12:34:56.78Z", 20080506 + hms(12, 34, 56.78)},
      {"2008-05-06T12:34:56.123456Z", 20080506 + hms(12, 34, 56.123456)},
      // A zone is not a fraction of a second.
      {"2008-05-06T12:34:56+0100", 20080506 + hms(12, 34, 56)},
      {"2008-05-06T12:34:56+01:00", 20080506 + hms(12, 34, 56)},
      // Day and hour beyond their ranges carry.
      {"2008-02-30T24:00:00", 20080302},
      {"2008-13-01", 0},  // month 13: no date
  };
  for (const Case& c : cases) {
    exact_text t(c.text);
    EXPECT_NEAR(parse_date_iso(t.c_str()), c.packed, kPackedTol) << c.text;
  }
  EXPECT_NEAR(parse_date_iso(nullptr), 20000101, kPackedTol);
  date_rec r;
  parse_date_iso_rec(&r, "2008-05-06T12:34:56.789Z");
  EXPECT_NEAR(r.day, 6 + hms(12, 34, 56.789), 1e-12);  // the precise field
}

// The plain stamp of track points is read on a short way; it gives to the bit what the
// general reading gives the same stamp with a zero fraction of a second.
TEST_F(DateParseTest, PlainStampsReadAsTheGeneralReading) {
  const char* stamps[] = {"2020-01-01T00:00:00Z", "2008-02-30T24:00:00", "2024-02-29T23:59:59Z",
                          "1999-12-31T23:59:60",  "0000-00-00T99:99:99", "2008-13-01T00:00:00Z",
                          // The last day of each kind of month, and the day after it.
                          "2023-01-31T23:59:59Z", "2023-04-30T23:59:59Z", "2023-04-31T00:00:00Z",
                          "2023-02-28T12:00:00Z", "2023-02-29T12:00:00Z", "2000-02-29T00:00:01Z",
                          "2100-02-29T00:00:00Z", "2100-02-28T23:59:59Z", "2023-06-00T10:00:00Z",
                          // Times just past their ranges, and the calendar's ends.
                          "2023-06-15T23:60:00Z", "2023-06-15T24:00:00Z", "2023-06-15T00:00:60Z",
                          "9999-12-31T23:59:59Z", "0000-01-01T00:00:00Z", "0000-12-31T23:59:59"};
  for (const char* stamp : stamps) {
    std::string general = stamp;
    general.insert(19, ".0");
    date_rec plain{}, reference{};
    parse_date_iso_rec(&plain, exact_text(stamp).c_str());
    parse_date_iso_rec(&reference, exact_text(general).c_str());
    EXPECT_EQ(plain.date, reference.date) << stamp;
    EXPECT_EQ(plain.day, reference.day) << stamp;
  }
}

TEST_F(DateParseTest, EveryCutOfATextReadsWithinIt) {
  // Each prefix lives in a block of its own size: a read past the NUL is an error.
  const std::string texts[] = {"2008-05-06T12:34:56.789Z", "12:34:56", "06/05/2008 12:34:56",
                               "06-MAY-08", "1122099", "9:5"};
  for (const std::string& full : texts) {
    for (size_t n = 0; n <= full.size(); ++n) {
      exact_text t(full.substr(0, n));
      date_rec r;
      parse_date_iso_rec(&r, t.c_str());
      parse_date_dmy(&r, t.c_str());
      parse_time_hms(t.c_str(), &r);
      parse_date_dmony(&r, t.c_str());
      parse_date_ddmmyy(t.c_str(), nullptr);
      parse_date_ddmmyy_time(t.c_str(), &r, 0.5);
      parse_date_yymmdd(t.c_str(), &r, 0.5);
      month_from_name(t.c_str());
    }
  }
  // Short ISO texts give their fields and the defaults for the rest.
  struct Case {
    const char* text;
    double packed;
  } cases[] = {{"20", 20000101}, {"2", 20000101}, {"200", 20000101}};
  for (const Case& c : cases) {
    exact_text t(c.text);
    EXPECT_NEAR(parse_date_iso(t.c_str()), c.packed, kPackedTol) << c.text;
  }
}

}  // namespace
