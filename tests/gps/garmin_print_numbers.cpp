// The numbers and times of the Garmin record lines are written without printf or the
// date routines; their text must be those routines' to the byte (stored files are
// compared line by line). Each formatter is held against snprintf (or the date
// routines) over the values the lines hold: every exact tie of the last digit (printf
// rounds those to even), its neighbours, the extremes, the special floats, every second
// of days, the edges of days, months and leap years, and a wide sample of the rest.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/dates.h"
#include "gps/garmin/dtypes_internal.h"

namespace {


std::string ours_degrees(uint32_t s) {
  char buf[64];
  return std::string(buf, garmin_put_degrees(buf, s));
}
std::string printf_degrees(uint32_t s) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15lf", static_cast<int32_t>(s) * 180.0 / 2147483648.0);
  return buf;
}
std::string ours_real(double v) {
  char buf[64];
  return std::string(buf, garmin_put_real(buf, v));
}
std::string printf_real(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.12le", v);
  return buf;
}

// Counts and shows the first few differences rather than flooding the log.
class mismatches {
 public:
  explicit mismatches(const char* what) : what_(what) {}
  ~mismatches() { EXPECT_EQ(count_, 0) << what_ << ": values written unlike printf"; }
  void check(const std::string& ours, const std::string& theirs, const std::string& input) {
    if (ours == theirs) return;
    if (++count_ <= 5) ADD_FAILURE() << what_ << " " << input << ": ours " << ours << ", printf " << theirs;
  }

 private:
  const char* what_;
  int count_ = 0;
};

TEST(GarminPrintNumbers, DegreesOfSemicirclesAsPrintf) {
  mismatches m("degrees");
  auto check = [&](uint32_t s) { m.check(ours_degrees(s), printf_degrees(s), std::to_string(int32_t(s))); };
  for (int64_t s : {0LL, 1LL, -1LL, 2LL, -2LL, 0x7FFFFFFFLL, -0x7FFFFFFFLL - 1, 0x40000000LL, -0x40000000LL,
                    536870912LL, 1073741823LL, 2147483646LL, -2147483647LL})
    check(uint32_t(int32_t(s)));
  // degrees = s * 45 / 2^29: the 16th decimal is an exact 5 for every odd multiple of
  // 2^13. Every such tie near zero, ties across the whole range, and the counts on
  // either side of them.
  for (int64_t k = -(1LL << 18); k < (1LL << 18); k += (k > -4096 && k < 4096) ? 1 : 61) {
    const int64_t s = (2 * k + 1) * 8192;
    check(uint32_t(int32_t(s)));
    check(uint32_t(int32_t(s - 1)));
    check(uint32_t(int32_t(s + 1)));
  }
  std::mt19937 rng(20200101);
  for (int i = 0; i < 30000; ++i) check(rng());
}

TEST(GarminPrintNumbers, FloatsAsPrintf) {
  mismatches m("float");
  auto check = [&](float f) {
    char in[64];
    std::snprintf(in, sizeof in, "%a", double(f));
    m.check(ours_real(double(f)), printf_real(double(f)), in);
  };
  const float specials[] = {0.0f,     -0.0f,   1.0f,     -1.0f,    0.5f,    1e25f,  -1e25f,
                            FLT_MAX,  -FLT_MAX, FLT_MIN,  -FLT_MIN, FLT_TRUE_MIN, 9.5f, 99.5f,
                            1000.0f,  0.1f,    1e-10f,   123456789.0f,
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN(),
                            -std::numeric_limits<float>::quiet_NaN()};
  for (float f : specials) check(f);
  // Ties: an odd m over 2^k whose exact decimal has 14 significant digits ends in a 5
  // at the first digit dropped (e.g. 10001 / 2^13 = 1.2208251953125).
  for (int k = 1; k <= 40; ++k) {
    for (uint32_t m = 1; m < (1u << 24); m += 2 * 9973 + 2 * (m % 7)) {
      check(std::ldexp(float(m), -k));
      check(-std::ldexp(float(m), -k));
    }
  }
  // Large ones: integers m * 2^e with 14 or more digits.
  for (int e = 20; e <= 80; ++e)
    for (uint32_t m = 1; m < (1u << 24); m += 2 * 40961) check(std::ldexp(float(m), e));
  // Every bit pattern class: a wide random sample of all floats.
  std::mt19937 rng(1989);
  for (int i = 0; i < 40000; ++i) {
    const uint32_t bits = rng();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    check(f);
  }
  // Altitudes in the sane range, at steps that are no round decimal.
  for (float f = -500.0f; f < 9000.0f; f += 0.3671875f) check(f);
}

TEST(GarminPrintNumbers, SixteenBitAltitudesAsPrintf) {
  mismatches m("int16");
  for (int v = -32768; v <= 32767; ++v) m.check(ours_real(double(v)), printf_real(double(v)), std::to_string(v));
}

TEST(GarminPrintNumbers, IntegersAsPrintf) {
  mismatches d("%d"), z("%03d");
  std::vector<int> values = {INT_MIN, INT_MIN + 1, INT_MAX, -1000000, 1000000};
  for (int v = -1100; v <= 1100; ++v) values.push_back(v);
  for (int v : values) {
    char buf[64], want[64];
    std::snprintf(want, sizeof want, "%d", v);
    d.check(std::string(buf, garmin_put_int(buf, v)), want, std::to_string(v));
    std::snprintf(want, sizeof want, "%03d", v);
    z.check(std::string(buf, garmin_put_int03(buf, v)), want, std::to_string(v));
  }
}

TEST(GarminPrintNumbers, TimesAsTheDateRoutines) {
  mismatches m("time");
  auto check = [&](uint32_t s) {
    char ours[48], theirs[48];
    garmin_put_time(ours, sizeof ours, s);
    format_date_iso(date_value_from_seconds_1989(s), 1, 1, theirs, sizeof theirs);
    m.check(ours, theirs, std::to_string(s));
  };
  for (uint32_t s : {0u, 1u, 59u, 60u, 86399u, 86400u, 0xFFFFFFFFu, 0xFFFFFFFEu, 0x7FFFFFFFu, 0x80000000u})
    check(s);
  // Every second of a day in 2000 (a leap year of the 400-year rule) and of the last
  // whole day the count reaches.
  constexpr uint32_t kDay = 86400;
  for (uint32_t s = 0; s < kDay; ++s) {
    check(3712 * kDay + s);  // 2000-02-29
    check(49709 * kDay + s);
  }
  // The edges of every day of the whole range.
  for (uint32_t day = 0; day <= 0xFFFFFFFFu / kDay; ++day)
    for (uint32_t s : {0u, kDay - 1})
      if (uint64_t(day) * kDay + s <= 0xFFFFFFFFu) check(day * kDay + s);
  std::mt19937 rng(1231);
  for (int i = 0; i < 10000; ++i) check(rng());
}

}  // namespace
