// The scanner's decimal number reader: which characters begin and end a number, what is
// consumed, and values rounded from the whole decimal text read (long mantissas,
// leading zeros, huge exponents), also across the reader's refills.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/reader.h"
#include "core/scanner.h"
#include "core/file_ops.h"
#include "tests/core/scanner_fixture.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::kLineSizes;
using ScannerNumber = tm_test::ScannerTest;

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST_F(ScannerNumber, ValuesAndTheCharacterThatEndsThem) {
  const struct {
    const char* text;
    double value;
    int64_t position_after;  // the character that ends the number is consumed
  } cases[] = {
      {"  -12.5e-1;", -1.25, 11},
      {"3,75", 3, 2},          // ',' is never a decimal separator here
      {"2E3", 2, 2},           // nor is 'E' an exponent
      {"+7 ", 7, 3},
      {".5x", 0.5, 3},
      {"1.5.5", 1.5, 4},       // a second '.' ends the number
      {"1e5e", 1e5, 4},        // so does a second 'e'
      {"1e5.3", 1e5, 4},       // and a '.' inside the exponent
      {"4-2", 4, 2},           // and a sign inside the number
      {"1e+3;", 1000, 5},
      {"\"x\";\t 0.25\"", 0.25, 11},
      {"42", 42, 2},           // the end of the file ends the number
  };
  for (int32_t line_size : kLineSizes) {
    for (const auto& c : cases) {
      open_text(c.text, line_size);
      EXPECT_EQ(rd_scan_double(), c.value) << c.text;
      EXPECT_EQ(rd_tell(), c.position_after) << c.text;
      EXPECT_EQ(get_gblerr(), 0) << c.text;
    }
  }
}

TEST_F(ScannerNumber, SuccessiveNumbersOfAList) {
  open_text("1;2,3\t-4\n5e1 \"6\"");
  const double expected[] = {1, 2, 3, -4, 50, 6};
  for (double value : expected) EXPECT_EQ(rd_scan_double(), value);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(rd_scan_double(), 0);  // nothing left
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
}

TEST_F(ScannerNumber, TheWholeDecimalTextIsRounded) {
  const std::string many_zeros(3000, '0');
  const struct {
    std::string text;
    double value;
  } cases[] = {
      {"0.12345678901234567", 0.12345678901234567},
      {"12345678901234567890", 12345678901234567890.0},
      {"9007199254740993", 9007199254740992.0},  // halfway: to even
      // Halfway but for a non-zero digit far behind: rounds up.
      {"9007199254740993." + many_zeros + "1", 9007199254740994.0},
      {many_zeros + "1.5", 1.5},
      {"0." + many_zeros + "15e3001", 1.5},
      {"1" + many_zeros + "e-3000", 1.0},
      {"1e400", kInf},
      {"-1e999999999999999999", -kInf},
      {"1e-999999999999999999", 0.0},
      {"0.000", 0.0},
  };
  for (int32_t line_size : kLineSizes) {
    for (const auto& c : cases) {
      open_text(c.text + ";", line_size);
      EXPECT_EQ(rd_scan_double(), c.value) << c.text.substr(0, 40);
      EXPECT_TRUE(rd_at_end()) << c.text.substr(0, 40);
    }
  }
}

TEST_F(ScannerNumber, NothingButSeparatorsGivesZeroAndEndOfData) {
  open_text("  ;,\"\"abc");
  EXPECT_EQ(rd_scan_double(), 0);
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
}

TEST_F(ScannerNumber, LenGivesTheBytesLeftAfterTheNumber) {
  open_text("1.5 2.5");
  int64_t left = -1;
  EXPECT_EQ(rd_scan_double_len(&left), 1.5);
  EXPECT_EQ(left, 3);
  EXPECT_EQ(rd_scan_double_len(&left), 2.5);
  EXPECT_EQ(left, 0);
}


TEST_F(ScannerNumber, FileCutShortEndsTheScan) {
  // The file object claims far more bytes than the disk holds: the numbers end at the
  // real end of the data, with end of data, instead of searching the missing bytes.
  const std::string path = tm_test::write_file(tm_test::sandbox_dir() + "short.txt", " 12;7");
  obj_t* file = tm_test::stub_file(path.c_str());
  file_set(file, FF_SIZE, 100000);
  ASSERT_EQ(rd_open(file, 1024, 1), 0);
  EXPECT_EQ(rd_scan_double(), 12);
  EXPECT_EQ(rd_scan_double(), 7);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(rd_scan_double(), 0);
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
}

}  // namespace
