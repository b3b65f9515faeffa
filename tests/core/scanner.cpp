// The text scanner over the reader's current file: lines and their ends, the budget,
// tokens, words, quoted texts, digits and integers.
//
// Texts are read from memory-held files cut into lines of several sizes, so that line
// ends, give-backs and long lines fall across the reader's refills; buffers are heap
// blocks of their exact size, so that AddressSanitizer reports any write past them.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/reader.h"
#include "core/scanner.h"
#include "tests/core/scanner_fixture.h"
#include "tests/support/file_stub.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::exact_buffer;
using tm_test::kLineSizes;
using Scanner = tm_test::ScannerTest;

TEST_F(Scanner, ReadLineEndsAtLfCrOrCrLf) {
  const struct {
    const char* text;
    std::vector<std::string> lines;
  } cases[] = {
      {"AB\r\nCD", {"AB", "CD"}},
      {"AB\rCD", {"AB", "CD"}},
      {"AB\nCD\n", {"AB", "CD"}},
      {"AB\n\rCD", {"AB", "", "CD"}},  // LF then CR: two line ends
      {"\r\n\r\nX", {"", "", "X"}},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\nok", {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "ok"}},
  };
  for (int32_t line_size : kLineSizes) {
    for (const auto& c : cases) {
      int64_t budget = open_text(c.text, line_size);
      char line[64];
      for (const auto& expected : c.lines)
        EXPECT_STREQ(rd_read_line(sizeof line, &budget, line), expected.c_str())
            << c.text << " lines of " << line_size;
      EXPECT_EQ(budget, 0) << c.text;
      EXPECT_EQ(rd_tell(), rd_size()) << c.text;
      EXPECT_EQ(get_gblerr(), 0) << c.text;
    }
  }
}

TEST_F(Scanner, ReadLineKeepsSizeMinusOneCharactersAndDropsTheRest) {
  const struct {
    size_t size;
    const char* first;
  } cases[] = {{4, "ABC"}, {8, "ABCDEFG"}, {9, "ABCDEFG"}, {2, "A"}, {1, ""}};
  for (int32_t line_size : kLineSizes) {
    for (const auto& c : cases) {
      int64_t budget = open_text("ABCDEFG\r\nH", line_size);
      auto line = exact_buffer(c.size);
      EXPECT_STREQ(rd_read_line(c.size, &budget, line.get()), c.first) << c.size;
      auto next = exact_buffer(c.size);
      EXPECT_STREQ(rd_read_line(c.size, &budget, next.get()), c.size > 1 ? "H" : "") << c.size;
      EXPECT_EQ(budget, 0);
    }
  }
  // A buffer of size 0 receives nothing; the line is still consumed.
  int64_t budget = open_text("AB\nC");
  char untouched = '#';
  rd_read_line(0, &budget, &untouched);
  EXPECT_EQ(untouched, '#');
  EXPECT_EQ(rd_tell(), 3);
}

TEST_F(Scanner, ReadLineStopsWhereTheBudgetEnds) {
  const struct {
    int64_t budget;
    const char* line;
    int64_t position_after;
  } cases[] = {
      {0, "", 0}, {-3, "", 0}, {1, "A", 1}, {4, "ABCD", 4},
      {7, "ABCDEF", 7},  // the budget ends on the CR: the LF is left for the next read
      {8, "ABCDEF", 8},
  };
  for (const auto& c : cases) {
    open_text("ABCDEF\r\nGH");
    int64_t budget = c.budget;
    char line[16];
    EXPECT_STREQ(rd_read_line(sizeof line, &budget, line), c.line) << c.budget;
    EXPECT_EQ(rd_tell(), c.position_after) << c.budget;
    EXPECT_EQ(budget, c.budget > 0 ? c.budget - c.position_after : c.budget) << c.budget;
    EXPECT_EQ(get_gblerr(), 0) << c.budget;
  }
}

TEST_F(Scanner, ReadingBeyondTheFileReportsEndOfData) {
  int64_t budget = open_text("AB\rC") + 100;
  char line[8];
  EXPECT_STREQ(rd_read_line(sizeof line, &budget, line), "AB");
  EXPECT_EQ(get_gblerr(), 0);  // the C after the CR was given back
  EXPECT_STREQ(rd_read_line(sizeof line, &budget, line), "C");
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
  set_gblerr(0);
  EXPECT_STREQ(rd_read_line(sizeof line, &budget, line), "");
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
}

TEST_F(Scanner, CrAtTheEndOfTheFileEndsTheLineQuietly) {
  int64_t budget = open_text("AB\r") + 10;
  char line[8];
  EXPECT_STREQ(rd_read_line(sizeof line, &budget, line), "AB");
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(Scanner, ReadLineNonEmptySkipsEmptyLines) {
  const struct {
    const char* text;
    size_t size;
    const char* expected;
  } cases[] = {
      {"\n\r\n\rXY\nZ", 8, "XY"},
      {"\n\n\r\n", 8, ""},  // only empty lines: stops at the end of the budget
      {"\n\nXY\n", 1, ""},  // a line too long for the buffer still counts as non-empty
  };
  for (const auto& c : cases) {
    int64_t budget = open_text(c.text);
    auto line = exact_buffer(c.size);
    EXPECT_STREQ(rd_read_line_nonempty(c.size, &budget, line.get()), c.expected) << c.text;
    EXPECT_EQ(get_gblerr(), 0) << c.text;
  }
  int64_t budget = open_text("\n\nXY\nZ");
  char tiny[1];
  rd_read_line_nonempty(sizeof tiny, &budget, tiny);
  EXPECT_EQ(rd_tell(), 5);  // stopped after "XY"
}

TEST_F(Scanner, SkipLinesUsesTheSameLineEnds) {
  for (int32_t line_size : kLineSizes) {
    int64_t budget = open_text("a\nb\r\nc\rd\n", line_size);
    rd_skip_line(&budget);
    rd_skip_lines(2, &budget);
    char line[8];
    EXPECT_STREQ(rd_read_line(sizeof line, &budget, line), "d") << line_size;
    EXPECT_EQ(budget, 0);
  }
  int64_t budget = open_text("a\nb\n");
  rd_skip_lines(10, &budget);  // more lines than the file holds: stops at the budget
  EXPECT_EQ(budget, 0);
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(Scanner, ReadTokenStoresAtMostSizeMinusOneCharacters) {
  const struct {
    const char* text;
    size_t size;
    const char* token;
    char stop;
    const char* next;
  } cases[] = {
      {"  abc\tdef", 8, "abc", '\t', "def"},
      {"abcd efg", 4, "abc", ' ', "efg"},   // 4 characters, buffer of 4 bytes
      {"abcd efg", 5, "abcd", ' ', "efg"},
      {"abcd\r\nefg", 2, "a", '\r', "e"},
      {"\r\n\t x\n", 4, "x", '\n', ""},
  };
  for (int32_t line_size : kLineSizes) {
    for (const auto& c : cases) {
      int64_t budget = open_text(c.text, line_size);
      auto token = exact_buffer(c.size);
      char stop = 'z';
      EXPECT_STREQ(rd_read_token(c.size, &budget, token.get(), &stop), c.token) << c.text;
      EXPECT_EQ(stop, c.stop) << c.text;
      auto next = exact_buffer(c.size);
      EXPECT_STREQ(rd_read_token(c.size, &budget, next.get(), &stop), c.next) << c.text;
      EXPECT_EQ(get_gblerr(), 0) << c.text;
    }
  }
}

TEST_F(Scanner, ReadTokenKeepsTheLastCharacterWhenTheBudgetEnds) {
  open_text("abcdef ghi");
  int64_t budget = 3;
  char token[16];
  char stop = 'z';
  EXPECT_STREQ(rd_read_token(sizeof token, &budget, token, &stop), "abc");
  EXPECT_EQ(stop, '\0');
  EXPECT_EQ(budget, 0);
  budget = 0;
  EXPECT_STREQ(rd_read_token(sizeof token, &budget, token, &stop), "");
  char untouched = '#';
  budget = 10;
  rd_read_token(0, &budget, &untouched, nullptr);
  EXPECT_EQ(untouched, '#');
}

TEST_F(Scanner, ReadWordStopsAtItsCharacterOrTheLineEnd) {
  for (int32_t line_size : kLineSizes) {
    int64_t budget = open_text("  name=value\r\nnext=x\n", line_size);
    char word[16];
    char stop = '=';
    EXPECT_STREQ(rd_read_word(sizeof word, 1, &budget, &stop, word), "name");
    EXPECT_EQ(stop, '=');
    EXPECT_STREQ(rd_read_word(sizeof word, 1, &budget, &stop, word), "value");
    EXPECT_EQ(stop, '\r');  // the LF after it is consumed
    stop = '=';
    EXPECT_STREQ(rd_read_word(4, 0, &budget, &stop, word), "nex");
    EXPECT_EQ(stop, '=');
    stop = '=';
    EXPECT_STREQ(rd_read_word(sizeof word, 0, &budget, &stop, word), "x\n");  // budget ended it
    EXPECT_EQ(stop, '\0');
  }
}

TEST_F(Scanner, ReadQuotedTakesTheTextBetweenQuotes) {
  const struct {
    const char* text;
    size_t size;
    const char* quoted;
    int64_t position_after;
  } cases[] = {
      {"x=\"hello\" y", 16, "hello", 9},
      {"x=\"hello\" y", 4, "hel", 9},  // cut to the buffer, read to the closing quote
      {"\"abc", 8, "abc", 4},          // no closing quote: to the end of the budget
      {"no quote", 8, "", 8},
  };
  for (const auto& c : cases) {
    int64_t budget = open_text(c.text);
    auto quoted = exact_buffer(c.size);
    EXPECT_STREQ(rd_read_quoted(c.size, &budget, quoted.get()), c.quoted) << c.text;
    EXPECT_EQ(rd_tell(), c.position_after) << c.text;
  }
}

TEST_F(Scanner, ReadDigitSkipsToTheFirstDigit) {
  int64_t budget = open_text("ab7c");
  EXPECT_EQ(rd_read_digit('x', &budget), 7);
  EXPECT_EQ(rd_tell(), 3);
  EXPECT_EQ(rd_read_digit('5', &budget), 5);  // the character given is a digit
  EXPECT_EQ(rd_tell(), 3);
  EXPECT_EQ(rd_read_digit('-', &budget), 0);  // none before the budget ends
  EXPECT_EQ(budget, 0);
}

TEST_F(Scanner, ReadLongTakesSignsAndDigitsKeepingTwelve) {
  const struct {
    const char* text;
    int64_t value;
    int64_t position_after;
  } cases[] = {
      {"abc-17x", -17, 7},
      {"123456789012345;", 123456789012, 16},  // the 15 digits are all consumed
      {"e12 ", 12, 4},
      {"-1-2 ", -1, 5},                         // a sign only in front counts
      {"+-5;", 0, 4},
      {"x=+42", 42, 5},
      {"none", 0, 4},
  };
  for (int32_t line_size : kLineSizes) {
    for (const auto& c : cases) {
      int64_t budget = open_text(c.text, line_size);
      EXPECT_EQ(rd_read_long(&budget), c.value) << c.text;
      EXPECT_EQ(rd_tell(), c.position_after) << c.text;
    }
  }
}

TEST_F(Scanner, ReadUlongTakesDigitsOnly) {
  const struct {
    const char* text;
    int64_t value;
  } cases[] = {{"ab-17x", 17}, {"+5", 5}, {"99999999999999", 999999999999}, {"x", 0}};
  for (const auto& c : cases) {
    int64_t budget = open_text(c.text);
    EXPECT_EQ(rd_read_ulong(&budget), c.value) << c.text;
  }
}

TEST_F(Scanner, ReadBytesLenReturnsTheCountAsked) {
  int64_t budget = open_text("abcdef");
  (void)budget;
  char bytes[4] = {};
  EXPECT_EQ(rd_read_bytes_len(99, 3, bytes), 3);
  EXPECT_EQ(std::string(bytes, 3), "abc");
  EXPECT_EQ(rd_tell(), 3);
}

TEST_F(Scanner, DiskFilesAreScannedTheSameWay) {
  // A line longer than the reader's buffer, then a CR that ends the buffer: the byte
  // after it, read from the next buffer, is given back.
  std::string text(1500, 'x');
  text += "\r\n";
  text += std::string(2047 - text.size(), 'y');
  text += "\rlast";
  const std::string path = tm_test::write_file(tm_test::sandbox_dir() + "scan.txt", text);
  obj_t* file = tm_test::stub_file(path.c_str());
  ASSERT_EQ(rd_open(file, 1024, 1), 0);
  int64_t budget = rd_size();
  char line[64];
  EXPECT_EQ(std::string(rd_read_line(sizeof line, &budget, line)), std::string(63, 'x'));
  rd_read_line(sizeof line, &budget, line);
  EXPECT_EQ(line[0], 'y');
  EXPECT_STREQ(rd_read_line(sizeof line, &budget, line), "last");
  EXPECT_EQ(budget, 0);
  EXPECT_EQ(get_gblerr(), 0);
}

}  // namespace
