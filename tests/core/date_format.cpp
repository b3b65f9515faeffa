// Dates written as text: ISO 8601 in its three precisions, time-only stamps, seconds
// that must never read 60, packed dates that fall a hair short of a whole second,
// minute or day, buffers of every size, the owned span form and the file-name stamp.
#include "core/dates.h"

#include <gtest/gtest.h>
#include <cstddef>

#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>

#include "core/memory.h"
#include "platform/sys/clock.h"

namespace {

double hms(double h, double m, double s) { return (h * 3600 + m * 60 + s) / 86400; }
// The packed date one unit in the last place below a value.
double just_below(double v) { return std::nextafter(v, 0.0); }

std::string iso(double packed, int mode, int zone) {
  char buf[64];
  return format_date_iso(packed, mode, zone, buf, sizeof buf);
}

TEST(DateFormat, IsoModes) {
  const double stamp = date_from_ymd(2008, 5, 5 + hms(12, 34, 56));
  const double time_only = date_from_ymd(0, 1, hms(12, 34, 56.25));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double packed;
    int mode, zone;
    const char* text;
  } cases[] = {
      {stamp, 0, 0, "2008-05-06"},
      {stamp, 0, 1, "2008-05-06"},  // no zone on a date alone
      {stamp, 1, 0, "2008-05-06T12:34:56"},
      {stamp, 1, 1, "2008-05-06T12:34:56Z"},
      {stamp, 2, 1, "2008-05-06T12:34:56.000Z"},
      {stamp, 3, 1, ""},
      {stamp, -1, 0, ""},
      {time_only, 1, 0, "12:34:56"},
      {time_only, 2, 1, "12:34:56.250Z"},
      {date_from_ymd(0, 1, hms(0, 0, 59.9996)), 2, 0, "00:00:59.999"},  // never 60.000
      {date_from_ymd(0, 1, hms(0, 0, 12.3456)), 2, 0, "00:00:12.346"},
      {date_from_ymd(0, 1, hms(0, 0, 59.7)), 1, 0, "00:00:59"},  // whole seconds truncate
      {0.0, 1, 0, "00:00:00"},
      {nan, 0, 0, "0000-00-00"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(iso(c.packed, c.mode, c.zone), c.text) << c.packed << " mode " << c.mode;
}

TEST(DateFormat, ReadingsJustShortOfAWholeSecondCarry) {
  // A packed date keeps the time to about 0.3 ms: 12:35:00 may come back as
  // 12:34:59.9997, and midnight as the day before's last instant.
  struct Case {
    double packed;
    const char* iso1;
    const char* compact;
  } cases[] = {
      {just_below(date_from_ymd(2008, 5, 5 + hms(12, 35, 0))), "2008-05-06T12:35:00",
       "2008/05/06:12:35:00"},
      {just_below(20080507.0), "2008-05-07T00:00:00", "2008/05/07:00:00:00"},
      {just_below(20080201.0), "2008-02-01T00:00:00", "2008/02/01:00:00:00"},
      {just_below(20081232.0), "2009-01-01T00:00:00", "2009/01/01:00:00:00"},
      {20080132.0, "2008-02-01T00:00:00", "2008/02/01:00:00:00"},  // 31 January + 1 day
      {date_from_ymd(2008, 5, 5 + hms(12, 34, 56.5)), "2008-05-06T12:34:56",
       "2008/05/06:12:34:56"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(iso(c.packed, 1, 0), c.iso1);
    char buf[64];
    EXPECT_STREQ(format_date_compact(c.packed, buf, sizeof buf), c.compact);
  }
}

TEST(DateFormat, NeverWritesPastTheBufferSize) {
  const double stamp = date_from_ymd(2008, 5, 5 + hms(12, 34, 56.789));
  const std::string full_iso = iso(stamp, 2, 1);
  ASSERT_EQ(full_iso, "2008-05-06T12:34:56.789Z");
  char full_compact[64];
  format_date_compact(stamp, full_compact, sizeof full_compact);
  ASSERT_STREQ(full_compact, "2008/05/06:12:34:56");
  for (size_t size = 0; size <= full_iso.size() + 2; ++size) {
    for (int which = 0; which < 2; ++which) {
      char area[80];
      std::memset(area, '#', sizeof area);
      if (which == 0)
        format_date_iso(stamp, 2, 1, area, size);
      else
        format_date_compact(stamp, area, size);
      const std::string whole = which == 0 ? full_iso : std::string(full_compact);
      for (size_t i = size; i < sizeof area; ++i)
        ASSERT_EQ(area[i], '#') << "size " << size << " byte " << i;
      if (size > 0) {
        EXPECT_EQ(std::string(area), whole.substr(0, size - 1)) << size;
      }
    }
  }
}

TEST(DateFormat, SpanTakesTheTimeFromTheDayField) {
  struct Case {
    date_rec rec;
    int mode, zone;
    const char* text;
  } cases[] = {
      {{20080506.5, 6 + hms(12, 34, 56.789)}, 2, 1, "2008-05-06T12:34:56.789Z"},
      {{20080506.5, 6 + hms(12, 34, 59.9996)}, 2, 0, "2008-05-06T12:34:59.999"},
      {{20080506.5, 6 + hms(12, 34, 56)}, 1, 0, "2008-05-06T12:34:56"},
      {{101.5, 1 + hms(12, 0, 0)}, 1, 1, "12:00:00Z"},
      {{20080506.5, 6.5}, 0, 0, "2008-05-06"},
  };
  for (const Case& c : cases) {
    char* text = nullptr;
    format_date_iso_span(&c.rec, c.mode, c.zone, &text);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, c.text);
    free_mem(&text);
  }
}

TEST(DateFormat, FileNameStampAppendsTheLocalTime) {
  plat::use_virtual_clock(true);  // the clock stands still while we compare
  char* name = nullptr;
  str_set("PVT_", &name);
  timestamp_for_filename(&name);
  std::time_t now = plat::wall_time();
  std::tm local = *std::localtime(&now);
  plat::use_virtual_clock(false);
  char want[64];
  std::snprintf(want, sizeof want, "PVT_%4d-%02d-%02d_%02dh%02dm%02ds", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  EXPECT_STREQ(name, want);
  free_mem(&name);
}

// Owner pointers may be fields of packed records, at any address.
#pragma pack(push, 1)
struct packed_owner {
  char tag;
  char* text;
};
#pragma pack(pop)

TEST(DateFormat, OwnedTextsMayLiveInAPackedRecord) {
  packed_owner rec{};
  auto** owner =
      reinterpret_cast<char**>(reinterpret_cast<char*>(&rec) + offsetof(packed_owner, text));
  const date_rec when{20080506.5, 6.5};
  EXPECT_STREQ(format_date_iso_span(&when, 1, 1, owner), "2008-05-06T12:00:00Z");
  str_set("log_", owner);
  const char* stamped = timestamp_for_filename(owner);
  EXPECT_EQ(stamped, owner_get(owner));
  EXPECT_EQ(std::strncmp(stamped, "log_", 4), 0);
  EXPECT_EQ(std::strlen(stamped), std::strlen("log_2008-05-06_12h00m00s"));
  free_mem(owner);
}

}  // namespace
