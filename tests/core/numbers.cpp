// Rounding, the decimal parser, the number writers and the integer parsers.
//
// Texts are parsed from heap copies of their exact size, so that AddressSanitizer
// reports any read past the terminating NUL.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "core/strutil.h"

namespace {

// A heap copy of `text` with nothing after its NUL.
std::unique_ptr<char[]> exact_copy(const std::string& text) {
  auto copy = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  return copy;
}

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Rounding, RoundToIntTruncatesExactHalves) {
  const struct {
    double value;
    int expected;
  } cases[] = {
      {2.5, 2},         {2.51, 3},         {-2.5, -2},      {-2.51, -3},     {0.49, 0},
      {-0.49, 0},       {7.0, 7},          {1e12, INT_MAX}, {-1e12, INT_MIN},
      {std::nan(""), 0}, {kInf, INT_MAX},
  };
  for (const auto& c : cases) EXPECT_EQ(round_to_int(c.value), c.expected) << c.value;
}

TEST(Rounding, ByteConversionsClampToByteRange) {
  const struct {
    double value;
    int expected;
  } doubles[] = {{0.49, 0}, {0.5, 1}, {-3, 0}, {127.4, 127}, {254.49, 254},
                 {254.5, 255}, {1e9, 255}, {std::nan(""), 0}};
  for (const auto& c : doubles) EXPECT_EQ(double_to_byte(c.value), c.expected) << c.value;

  const struct {
    int value, expected;
  } ints[] = {{-1, 0}, {0, 0}, {255, 255}, {256, 255}, {INT_MIN, 0}, {INT_MAX, 255}};
  for (const auto& c : ints) EXPECT_EQ(clamp_byte(c.value), c.expected) << c.value;

  EXPECT_EQ(double_equal_tol(1.0, 1.05, 0.1), 1);
  EXPECT_EQ(double_equal_tol(1.0, 1.1, 0.1), 0);  // strictly below the tolerance
}

TEST(ParseNumber, ValuesAndEndPositions) {
  const struct {
    const char* text;
    double value;
    size_t end;  // offset of the returned position
  } cases[] = {
      {"+-1,5e2", -150, 7},
      {"1234567890", 1234567890, 10},
      {"3.14x5", 3.14, 4},
      {"12;", 12, 3},        // a trailing separator returns the end of the text
      {"12;5", 12, 2},
      {"2E3", 2, 1},         // only a lower-case 'e' begins an exponent
      {"2E", 2, 2},
      {"1.5.3", 1.5, 3},     // a second separator ends the number
      {"1,5,3", 1.5, 3},
      {"1e2e3", 100, 3},     // a second 'e' ends the number
      {"1e+3;x", 1000, 4},
      {"1e-3", 0.001, 4},
      {"-0.25", -0.25, 5},
      {"0.1", 0.1, 3},
      {".5", 0.5, 2},
      {"-+1", -0.0, 1},
      {"", 0, 0},
      {"x", 0, 1},
      {"123456789012345", 123456789012345.0, 15},
      {"12345678901234.5", 12345678901234.5, 16},
      {"12345678901234567890", 12345678901234567890.0, 20},
      {"0.000000000000000000001234", 1.234e-21, 26},
      {"1e999999", kInf, 8},
      {"-1e99999999999999999999999", -kInf, 26},
      {"1e-999999", 0, 9},
      {"1e-320", 1e-320, 6},  // subnormal
      {"2e-324", 0, 6},       // below the smallest subnormal
      {"18e307", kInf, 6},
      {"0e999999", 0, 8},
  };
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    double value = -7;
    const char* end = parse_number(text.get(), &value);
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(static_cast<size_t>(end - text.get()), c.end) << c.text;
  }
}

TEST(ParseNumber, LongMantissaKeepsEveryDecimalPlace) {
  // 400 digits: only the leading ones can matter, but each one keeps its place.
  const std::string digits = "1" + std::string(399, '0');
  double value = 0;
  parse_number(exact_copy(digits + "e-399").get(), &value);
  EXPECT_EQ(value, 1.0);
  parse_number(exact_copy("0." + std::string(399, '0') + "5e400").get(), &value);
  EXPECT_EQ(value, 5.0);
}

TEST(ParseNumber, DigitsFarBehindTheFirstStillCount) {
  // 2^53 + 1 lies exactly halfway between two doubles and rounds to the even one; any
  // nonzero digit behind it, however far, puts the text above the half.
  const std::string half = "9007199254740993";
  const struct {
    std::string text;
    double value;
  } cases[] = {
      {half, 9007199254740992.0},
      {half + "." + std::string(30, '0') + "1", 9007199254740994.0},
      {half + std::string(30, '0') + "1e-31", 9007199254740994.0},
      {half + "." + std::string(900, '0') + "1", 9007199254740994.0},
      {half + "." + std::string(900, '0'), 9007199254740992.0},  // zeros only: still half
      {"-" + half + "." + std::string(50, '0') + "1", -9007199254740994.0},
  };
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    double value = 0;
    const char* end = parse_number(text.get(), &value);
    EXPECT_EQ(value, c.value) << c.text.substr(0, 40);
    EXPECT_EQ(static_cast<size_t>(end - text.get()), c.text.size()) << c.text.substr(0, 40);
  }
}

// Short mantissas take a path of their own (one exact multiplication or division); its
// answers and the long path's are those of the C library's correctly rounded strtod,
// at the edges of that path too (15 and 16 digits, powers of ten 22 and 23).
TEST(ParseNumber, ShortMantissasRoundLikeStrtod) {
  const char* texts[] = {"0.1",           "45.123456789",       "-70.648271605",
                         "123456789012345", "1234567890123456", "999999999999999.9",
                         "1e22",          "1e23",               "4.35e-22",
                         "4.35e-23",      "0.000000001",        "1,5",
                         "6.02214076e23", "2.2250738585072014e-308", "-0.0000000000000000000001",
                         // 15 digits with the leading zeros, and 16: either side of the
                         // one-pass reading of short numbers
                         "0.00000000000001", "0.000000000000001", "000000000000001.5",
                         "-000.125",       "99999999999999.9", "0,00000000000005",
                         "45.123456789012", "45.1234567890123", "-6.000000001"};
  for (const char* t : texts) {
    std::string dotted = t;
    for (char& c : dotted)
      if (c == ',') c = '.';
    double value = 0;
    parse_number(exact_copy(t).get(), &value);
    EXPECT_EQ(value, std::strtod(dotted.c_str(), nullptr)) << t;
  }
}

TEST(ParseNumber, NullTextAndFloat) {
  double value = 3;
  EXPECT_EQ(parse_number(nullptr, &value), nullptr);
  EXPECT_EQ(value, 0);
  float f = 0;
  auto text = exact_copy("-2,5;");
  EXPECT_EQ(parse_float(text.get(), &f), text.get() + 5);
  EXPECT_EQ(f, -2.5f);
}

std::string sig(double value, size_t size = 64) {
  char buf[512];
  format_double_sig(value, buf, size);
  return buf;
}

TEST(FormatDoubleSig, PlainForms) {
  const struct {
    double value;
    const char* expected;
  } cases[] = {
      {0, "0"},
      {-0.0, "0"},
      {0.5, "0.5"},
      {1e20, "100000000000000000000"},
      {-1.25, "-1.25"},
      {100, "100"},
      {1234.5678, "1234.5678"},
      {-0.001, "-0.001"},
      {2.0 / 3.0, "0.66666666666667"},
      {123456789.123, "123456789.123"},
      {std::nan(""), "nan"},
      {kInf, "inf"},
      {-kInf, "-inf"},
  };
  for (const auto& c : cases) EXPECT_EQ(sig(c.value), c.expected) << c.value;
}

TEST(FormatDoubleSig, HugeAndTinyValuesStayWithinTheBuffer) {
  // The empty double: its plain form has 101 digits.
  EXPECT_EQ(sig(-1e100, 64), "-1e+100");
  // With room enough the plain form is written: every digit printf gives, no decimals.
  char plain[200];
  std::snprintf(plain, sizeof plain, "%.0f", -1e100);
  EXPECT_EQ(sig(-1e100, 200), plain);
  EXPECT_EQ(sig(-1e100, 200).size(), 102u);
  EXPECT_EQ(sig(1e300, 24), "1e+300");
  EXPECT_EQ(sig(1e-300, 24), "1e-300");
  EXPECT_EQ(sig(-std::numeric_limits<double>::max(), 24), "-1.797693134862316e+308");
  EXPECT_EQ(sig(std::numeric_limits<double>::denorm_min(), 24), "4.940656458412465e-324");

  // Whatever the size, nothing is written past it and the text is NUL-terminated.
  for (double value : {-1e100, 1e300, 0.5, -1.25, 1e-300}) {
    for (size_t size : {1u, 2u, 5u, 8u, 23u}) {
      char buf[64];
      std::memset(buf, '#', sizeof buf);
      format_double_sig(value, buf, size);
      EXPECT_LT(std::strlen(buf), size) << value << " in " << size;
      for (size_t i = size; i < sizeof buf; ++i) ASSERT_EQ(buf[i], '#') << value << " in " << size;
    }
  }
}

TEST(FormatDoubleSig, ParsesBackToTheSameValue) {
  for (double value : {0.1, -273.15, 6378137.0, 0.0174532925199433, 1e-7, 45.123456789012,
                       -1e100, 1e20, 3e-300}) {
    double back = 0;
    parse_number(sig(value).c_str(), &back);
    EXPECT_NEAR(back, value, std::fabs(value) * 1e-13) << sig(value);
  }
}

TEST(FormatDoubleDot, CommaBecomesDot) {
  char buf[32];
  EXPECT_STREQ(format_double_dot(1.5, "%.3f", buf, sizeof buf), "1.500");
  EXPECT_STREQ(format_double_dot(2, "%.1f,,", buf, sizeof buf), "2.0.,");  // the first ',' only
  char small[4];
  EXPECT_STREQ(format_double_dot(12345.678, "%.2f", small, sizeof small), "123");
}

TEST(StrToDouble, DotOrCommaAndRuntimeRules) {
  const struct {
    const char* text;
    double expected;
  } cases[] = {
      {"1,5", 1.5}, {"  -2.5e3x", -2500}, {"+7", 7}, {"3E2", 300},
      {"", 0},      {"abc", 0},           {"1e400", kInf}, {"1e-400", 0},
      // Short numbers (the quick exact path) and their neighbours on the general path.
      {"4916.4512", 4916.4512}, {"-0.5", -0.5}, {"1.2.3", 1.2}, {"12.", 12},
      {"0000000000000001234.5", 1234.5}, {"123456789012345.6", 123456789012345.6},
  };
  for (const auto& c : cases) EXPECT_EQ(str_to_double(c.text), c.expected) << c.text;
  EXPECT_EQ(str_to_double(nullptr), 0);
}

TEST(StrToDouble, LongTextsAndSignsReadLikeTheRuntime) {
  const struct {
    std::string text;
    double expected;
  } cases[] = {
      {"1" + std::string(200, '0'), 1e200},  // every digit keeps its place
      {"0." + std::string(400, '0') + "1", 0},
      {"--5", 0},
      {"+-5", 0},
      {"\t-1E-2;", -0.01},
      {"1.5e+3", 1500},
      {"9007199254740993." + std::string(30, '0') + "1", 9007199254740994.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(str_to_double(exact_copy(c.text).get()), c.expected) << c.text.substr(0, 30);
  }
}

TEST(ScanDigits, StopsAtTheBoundOrTheFirstOtherCharacter) {
  const struct {
    const char* text;
    size_t max_digits;
    uint64_t value;
    size_t end;
  } cases[] = {
      {"12345", 3, 123, 3},
      {"12a45", 10, 12, 2},
      {"123", 0, 0, 0},
      {"", 5, 0, 0},
      {"-1", 5, 0, 0},
      {"18446744073709551616", SIZE_MAX, UINT64_MAX, 20},  // saturates
  };
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    uint64_t value = 7;
    const char* end = scan_digits(text.get(), c.max_digits, &value);
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(static_cast<size_t>(end - text.get()), c.end) << c.text;
  }
  // The character classes are ASCII only: bytes of UTF-8 sequences are left alone.
  EXPECT_EQ(ascii_lower('Q'), 'q');
  EXPECT_EQ(ascii_upper('q'), 'Q');
  EXPECT_EQ(ascii_lower('\xC9'), '\xC9');
  EXPECT_EQ(ascii_upper('\xE9'), '\xE9');
  EXPECT_TRUE(is_ascii_space('\v'));
  EXPECT_FALSE(is_ascii_space('\0'));
  EXPECT_FALSE(is_ascii_digit('\xB2'));
}

TEST(ParseIntegers, UnsignedSaturatesAt32Bits) {
  const struct {
    const char* text;
    uint32_t value;
    size_t end;
  } cases[] = {
      {"123abc", 123, 3},
      {"", 0, 0},
      {"-5", 0, 0},
      {"4294967295", UINT32_MAX, 10},
      {"4294967296", UINT32_MAX, 10},
      {"123456789012345678901234567890", UINT32_MAX, 30},
  };
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    uint32_t value = 7;
    EXPECT_EQ(parse_uint(text.get(), &value) - text.get(), static_cast<ptrdiff_t>(c.end)) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

TEST(ParseIntegers, SignedSaturatesAt32Bits) {
  const struct {
    const char* text;
    int32_t value;
    size_t end;
  } cases[] = {
      {"-12x", -12, 3},
      {"42", 42, 2},
      {"+5", 0, 0},
      {"-", 0, 1},
      {"2147483647", INT32_MAX, 10},
      {"-2147483648", INT32_MIN, 11},
      {"3000000000", INT32_MAX, 10},
      {"-3000000000", INT32_MIN, 11},
  };
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    int32_t value = 7;
    EXPECT_EQ(parse_int(text.get(), &value) - text.get(), static_cast<ptrdiff_t>(c.end)) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

TEST(ParseIntegers, SixtyFourBitsKeepLongNumbers) {
  uint64_t u = 0;
  parse_uint64("12345678901234", &u);
  EXPECT_EQ(u, 12345678901234ull);
  parse_uint64("18446744073709551615", &u);
  EXPECT_EQ(u, UINT64_MAX);
  parse_uint64("99999999999999999999999", &u);
  EXPECT_EQ(u, UINT64_MAX);
  int64_t s = 0;
  parse_int64("-12345678901234;", &s);
  EXPECT_EQ(s, -12345678901234ll);
  parse_int64("-99999999999999999999999", &s);
  EXPECT_EQ(s, INT64_MIN);
  parse_int64("9223372036854775808", &s);
  EXPECT_EQ(s, INT64_MAX);
  uint32_t v32 = 7;
  EXPECT_EQ(parse_uint(nullptr, &v32), nullptr);
  EXPECT_EQ(v32, 0u);
}

TEST(ParseIntegers, StrictAcceptsOnlyDigits) {
  const struct {
    const char* text;
    int ok;
    uint32_t value;
  } cases[] = {
      {"123", 1, 123}, {"", 1, 0}, {"12a", 0, 12}, {" 12", 0, 0},
      {"4294967295", 1, UINT32_MAX}, {"4294967296", 0, UINT32_MAX},
  };
  for (const auto& c : cases) {
    uint32_t value = 7;
    EXPECT_EQ(parse_uint_strict(c.text, &value), c.ok) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  uint32_t value = 7;
  EXPECT_EQ(parse_uint_strict(nullptr, &value), 0);
}

}  // namespace
