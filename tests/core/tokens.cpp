// Tokenisers over a text in memory: the character classes, lines, tokens, integers and
// numbers, quoted texts, separated fields and the field and line counts.
//
// Texts and buffers are heap blocks of their exact size, so that AddressSanitizer
// reports any read past a text's NUL or any write past a buffer's size.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/memory.h"
#include "core/scanner.h"

namespace {

// A heap copy of `text` with nothing after its NUL.
std::unique_ptr<char[]> exact_copy(const std::string& text) {
  auto copy = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  return copy;
}

// A buffer of exactly `size` bytes, filled with '#' to show what was written.
std::unique_ptr<char[]> exact_buffer(size_t size) {
  auto buffer = std::make_unique<char[]>(size);
  std::memset(buffer.get(), '#', size);
  return buffer;
}

TEST(TokenClasses, EveryByteHasItsClass) {
  const struct {
    int byte;
    int expected;
  } cases[] = {
      {'0', CC_DIGIT},  {'9', CC_DIGIT},     {'+', CC_SIGN},      {'-', CC_SIGN},
      {'.', CC_NUMBER}, {'E', CC_NUMBER},    {'e', CC_NUMBER},    {'\t', CC_BLANK},
      {'\n', CC_BLANK}, {'\r', CC_BLANK},    {' ', CC_BLANK},     {',', CC_COMMA},
      {';', CC_SEMICOLON}, {'"', CC_QUOTE},  {0, CC_OTHER},       {'\v', CC_OTHER},
      {'d', CC_OTHER},  {'/', CC_OTHER},     {0xC3, CC_OTHER},    {0xFF, CC_OTHER},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(char_class(c.byte), c.expected) << c.byte;
    EXPECT_EQ(char_class(static_cast<char>(c.byte)), c.expected) << c.byte;
  }
}

TEST(TokenLines, LineOffsetCountsLinesFromOne) {
  auto text = exact_copy("ab\ncd\n\nef");
  const struct {
    int64_t n, expected;
  } cases[] = {{-1, 9}, {0, 0}, {1, 0}, {2, 3}, {3, 6}, {4, 7}, {5, 9}, {99, 9}};
  for (const auto& c : cases) {
    int64_t out = -5;
    EXPECT_EQ(line_offset(text.get(), c.n, &out), c.expected) << c.n;
    EXPECT_EQ(out, c.expected) << c.n;
  }
  EXPECT_EQ(line_offset(nullptr, -1, nullptr), 0);
}

TEST(TokenLines, NextLineWalksTheTextAndStopsAtItsEnd) {
  auto text = exact_copy("ab\r\ncd\n\nlast");
  char* line = nullptr;
  int64_t offset = 0;
  const struct {
    const char* line;
    int64_t offset_after;
  } steps[] = {{"ab\r", 4}, {"cd", 7}, {"", 8}, {"last", 12}, {"", 12}};
  for (const auto& s : steps) {
    EXPECT_STREQ(next_line(text.get(), 0, &line, &offset), s.line);
    EXPECT_EQ(offset, s.offset_after) << s.line;
  }
  // Without an offset the line is found by its number.
  EXPECT_STREQ(next_line(text.get(), 2, &line, nullptr), "cd");
  int64_t unset = -1;
  EXPECT_STREQ(next_line(text.get(), 4, &line, &unset), "last");
  EXPECT_EQ(unset, 12);
  free_mem(&line);
}

TEST(Tokens, NextTokenCopiesARunThatFitsOrNothing) {
  const struct {
    const char* text;
    size_t size;
    const char* expected;
    ptrdiff_t cursor_after;
  } cases[] = {
      {"  abc def", 8, "abc", 5},
      {"  abc def", 4, "abc", 5},   // exactly length + 1
      {"  abc def", 3, "", 2},      // too long: the cursor stays after the blanks
      {"\t\r\n", 4, "", 3},
      {"", 1, "", 0},
      {"x", 1, "", 0},
      {"\xc3\xa9t\xc3\xa9 suite", 8, "\xc3\xa9t\xc3\xa9", 5},
  };
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    auto buffer = exact_buffer(c.size);
    const char* cursor = text.get();
    EXPECT_STREQ(next_token(c.size, &cursor, buffer.get()), c.expected) << c.text;
    EXPECT_EQ(cursor - text.get(), c.cursor_after) << c.text;
  }
  // A buffer of size 0 is never written.
  auto text = exact_copy("abc");
  const char* cursor = text.get();
  char untouched = '#';
  next_token(0, &cursor, &untouched);
  EXPECT_EQ(untouched, '#');
  EXPECT_EQ(cursor, text.get());
}

TEST(Tokens, NextTokenLongTakesRunsOfOneToFourteenCharacters) {
  const struct {
    const char* text;
    int64_t expected;
    ptrdiff_t cursor_after;
  } cases[] = {
      {"abc-17x", -17, 6},
      {"123456789012345", 0, 0},           // 15 digits: refused, cursor at the run
      {"ab 123456789012345", 0, 3},
      {"12345678901234", 12345678901234, 14},
      {"-1234567890123", -1234567890123, 14},
      {"x+-5", 0, 4},                      // a sign only in front counts
      {"1-2", 1, 3},
      {"E5;", 5, 2},
      {"-1.5", -1, 2},
      {"abc", 0, 3},
      {"", 0, 0},
  };
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    const char* cursor = text.get();
    EXPECT_EQ(next_token_long(&cursor), c.expected) << c.text;
    EXPECT_EQ(cursor - text.get(), c.cursor_after) << c.text;
  }
}

TEST(Tokens, NextTokenUlongTakesDigitsOnly) {
  const struct {
    const char* text;
    int64_t expected;
    ptrdiff_t cursor_after;
  } cases[] = {
      {"ab-17x", 17, 5},
      {"+5", 5, 2},
      {"99999999999999", 99999999999999, 14},
      {"x123456789012345", 0, 1},
      {"no digits", 0, 9},
  };
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    const char* cursor = text.get();
    EXPECT_EQ(next_token_ulong(&cursor), c.expected) << c.text;
    EXPECT_EQ(cursor - text.get(), c.cursor_after) << c.text;
  }
}

TEST(Tokens, NextTokenDoubleReadsRunsOfDigitsSignsPointsAndExponents) {
  const struct {
    const char* text;
    double expected;
    ptrdiff_t cursor_after;
  } cases[] = {
      {"  -12.5e-1;", -1.25, 10},
      {"3,75", 3, 1},                      // ',' ends the run: never a decimal separator
      {";\"x\" 2.5 ", 2.5, 8},
      {"1.5E3", 1.5, 5},                   // the run is taken whole; 'E' ends the value
      {"123456789012345678901234", 123456789012345678901234.0, 24},
      {"1234567890123456789012345", 0, 0}, // 25 characters: refused
      {"0.1", 0.1, 3},
      {"", 0, 0},
      {"abc", 0, 3},
  };
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    const char* cursor = text.get();
    EXPECT_EQ(next_token_double(&cursor), c.expected) << c.text;
    EXPECT_EQ(cursor - text.get(), c.cursor_after) << c.text;
  }
}

TEST(Tokens, NextQuotedTakesTheTextBetweenQuotes) {
  const struct {
    const char* text;
    size_t size;
    const char* expected;
    ptrdiff_t cursor_after;
  } cases[] = {
      {"say \"hello\" more", 16, "hello", 11},
      {"say \"hello\" more", 6, "hello", 11},
      {"say \"hello\" more", 4, "hel", 11},  // cut to the buffer, still passed
      {"x \"abc", 8, "abc", 6},              // no closing quote: the rest of the text
      {"x \"abcdef", 3, "ab", 9},
      {"no quote", 8, "", 8},
      {"\"\"", 2, "", 2},
      {"\"a\"\"b\"", 4, "a", 3},
  };
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    auto buffer = exact_buffer(c.size);
    const char* cursor = text.get();
    EXPECT_STREQ(next_quoted(c.size, &cursor, buffer.get()), c.expected) << c.text;
    EXPECT_EQ(cursor - text.get(), c.cursor_after) << c.text;
  }
}

TEST(Tokens, SkipBlanksStopsAtTheFirstOtherCharacter) {
  const struct {
    const char* text;
    ptrdiff_t cursor_after;
  } cases[] = {{" \t\r\nx ", 4}, {"", 0}, {"   ", 3}, {"\vx", 0}};
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    const char* cursor = text.get();
    skip_blanks(&cursor);
    EXPECT_EQ(cursor - text.get(), c.cursor_after) << c.text;
  }
}

// Reads fields one after another and compares them with the expected list.
void expect_fields(const char* line, int stop_at_line_end, char separator, size_t size,
                   const std::vector<std::string>& expected) {
  auto text = exact_copy(line);
  auto buffer = exact_buffer(size);
  const char* cursor = text.get();
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(get_field(size, stop_at_line_end, separator, &cursor, buffer.get()), expected[i])
        << line << " field " << i;
  }
}

TEST(TokenFields, GetFieldReadsNmeaSentencesAndStaysOnTheLineEnd) {
  expect_fields("$GPGGA,123519,4807.038,N,,E*47\r\n$GPRMC", 1, ',', 16,
                {"$GPGGA", "123519", "4807.038", "N", "", "E*47", "", ""});
  expect_fields("$GPGSV,3,1\n", 1, ',', 16, {"$GPGSV", "3", "1", "", ""});
}

TEST(TokenFields, GetFieldReadsCsvAndTabSeparatedLines) {
  const struct {
    const char* line;
    int stop_at_line_end;
    char separator;
    std::vector<std::string> expected;
  } cases[] = {
      {"a, b ,c\nd", 1, ',', {"a", "b ", "c", ""}},
      {"a, b ,c\nd", 0, ',', {"a", "b ", "c\nd", "", ""}},
      {"a\t\tb", 0, '\t', {"a", "", "b", ""}},  // the separator is never skipped as a blank
      {"x;y;;z", 0, ';', {"x", "y", "", "z"}},
      {"", 1, ',', {"", ""}},
  };
  for (const auto& c : cases) expect_fields(c.line, c.stop_at_line_end, c.separator, 8, c.expected);
}

TEST(TokenFields, GetFieldSkipsAFieldTooLongForTheBuffer) {
  // Size 4 keeps 3 characters: "abcd" is dropped whole, the next field stays in step.
  expect_fields("abcd,abc,ab", 0, ',', 4, {"", "abc", "ab", ""});
  expect_fields("abc", 0, ',', 1, {"", ""});
}

TEST(TokenFields, CountFieldCharsCountsNonEmptyFields) {
  const struct {
    const char* text;
    int stop_at_line_end;
    char separator;
    int64_t expected;
  } cases[] = {
      {"a,,b", 0, ',', 2},     {"a,b\r\nc", 1, ',', 3}, {"a,b\r\nc", 0, ',', 2},
      {",,", 0, ',', 0},       {"", 1, ',', 0},         {",a,", 0, ',', 1},
      {"\n\na", 1, ',', 1},    {"\n\na", 0, ',', 1},    {"a b;c", 0, ';', 2},
  };
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    int64_t out = -1;
    EXPECT_EQ(count_field_chars(c.stop_at_line_end, c.separator, text.get(), &out), c.expected)
        << c.text;
    EXPECT_EQ(out, c.expected) << c.text;
  }
}

TEST(TokenFields, CountLineCharsCountsRunsBetweenLineEnds) {
  const struct {
    const char* text;
    int64_t expected;
  } cases[] = {{"", 0},   {"\n\r", 0},   {"AB\r\n\r\nCD\n", 2},
               {"x", 1},  {"a\rb\nc", 3}, {"\n a \n", 1}};
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    int64_t out = -1;
    EXPECT_EQ(count_line_chars(text.get(), &out), c.expected) << c.text;
    EXPECT_EQ(out, c.expected) << c.text;
  }
  EXPECT_EQ(count_line_chars(nullptr, nullptr), 0);
  EXPECT_EQ(count_field_chars(1, ',', nullptr, nullptr), 0);
}

}  // namespace
