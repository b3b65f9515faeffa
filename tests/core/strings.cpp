// Comparisons with null strings, case-insensitive and bounded searches, string-list
// cursors, quote choice, command-line words and the URL case helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "core/memory.h"
#include "core/strutil.h"

namespace {

// A heap copy of `text` with nothing after its NUL (AddressSanitizer sees over-reads).
std::unique_ptr<char[]> exact_copy(const std::string& text) {
  auto copy = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  return copy;
}

TEST(Compare, CaseInsensitiveSignOfSecondAgainstFirst) {
  const struct {
    const char* a;
    const char* b;
    int expected;
  } cases[] = {
      {nullptr, "abc", 1}, {"abc", nullptr, 1}, {nullptr, nullptr, 1},
      {"ABC", "abc", 0},   {"abc", "abd", 1},   {"abd", "abc", -1},
      {"ab", "abc", 1},    {"abc", "ab", -1},   {"", "", 0},
      {"Zoo", "zOO", 0},   {"_", "A", 1},       {"a\xc3\xa9", "A\xc3\x89", -1},  // é/É: ASCII folding only
  };
  for (const auto& c : cases) {
    EXPECT_EQ(str_compare_ci(c.a, c.b), c.expected) << (c.a ? c.a : "null") << " / " << (c.b ? c.b : "null");
  }
}

TEST(Compare, WideTwinOrdersTheSameWay) {
  const struct {
    const char16_t* a;
    const char16_t* b;
    int expected;
  } cases[] = {
      {nullptr, u"abc", 1}, {u"abc", nullptr, 1}, {u"ABC", u"abc", 0},
      {u"abc", u"abd", 1},  {u"abd", u"abc", -1}, {u"ab", u"abc", 1},
      {u"\u00e9", u"\u00c9", -1},  // é (E9) against É (C9): not folded
  };
  for (const auto& c : cases) EXPECT_EQ(wstr_compare_ci(c.a, c.b), c.expected);
}

TEST(Compare, BoundedAndCaseSensitiveTieBreak) {
  EXPECT_EQ(strn_compare_ci("abcX", "ABCy", 3), 0);
  EXPECT_EQ(strn_compare_ci("abcX", "ABCy", 4), 1);
  EXPECT_EQ(strn_compare_ci("ab", "AB", 10), 0);
  EXPECT_EQ(strn_compare_ci(nullptr, "a", 0), 1);

  const struct {
    const char* a;
    const char* b;
    int expected;
  } cases[] = {
      {"abc", "ABC", -1},  // folded tie; 'A' is below 'a'
      {"ABC", "abc", 1},
      {"abc", "abc", 0},
      {"abc", "ABD", 1},   // no tie: the folded order decides
      {nullptr, "abc", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(str_compare_ci_then_cs(c.a, c.b), c.expected);
  EXPECT_EQ(wstr_compare_ci_then_cs(u"abc", u"ABC"), -1);
  EXPECT_EQ(wstr_compare_ci_then_cs(u"ABC", u"abc"), 1);
  EXPECT_EQ(wstr_compare_ci_then_cs(u"ab", u"ab"), 0);
}

TEST(Search, FindCaseInsensitive) {
  const struct {
    const char* text;
    const char* pattern;
    int offset;  // -1: not found
  } cases[] = {
      {"Hello World", "WORLD", 6}, {"aaab", "AAB", 1}, {"abc", "", 0},
      {"abc", "abcd", -1},         {"", "a", -1},      {"abc", "C", 2},
  };
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    const char* found = str_find_ci(text.get(), c.pattern);
    if (c.offset < 0) EXPECT_EQ(found, nullptr) << c.text;
    else EXPECT_EQ(found, text.get() + c.offset) << c.text;
  }
  EXPECT_EQ(str_find_ci(nullptr, "a"), nullptr);
  EXPECT_EQ(str_find_ci("a", nullptr), nullptr);
}

TEST(Search, MatchBounded) {
  const struct {
    const char* text;
    size_t n;
    const char* pattern;
    int ignore_case;
    int expected;
  } cases[] = {
      {"HELLO ZOO", 9, "zoo", 1, 1},
      {"XYZ", 3, "z", 1, 1},        // 'Z' is folded like the other capitals
      {"ABC", 3, "abc", 0, 0},      // case-sensitive
      {"ABC", 3, "ABC", 1, 0},      // the pattern is taken as it is
      {"abcdef", 4, "cde", 0, 0},   // must lie within the first n characters
      {"abcdef", 5, "cde", 0, 1},
      {"ab\x05" "cd", 5, "cd", 0, 0},  // a byte below 9 ends the search
      {"ab\tcd", 5, "cd", 0, 1},       // a tab does not
      {"abc", 100, "c", 0, 1},      // the text may be shorter than n
      {"abc", 100, "x", 0, 0},
      {"abc", 3, "", 0, 1},
  };
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    EXPECT_EQ(str_match_bounded(text.get(), c.n, c.pattern, c.ignore_case), c.expected)
        << c.text << " / " << c.pattern;
  }
  EXPECT_EQ(str_match_bounded(nullptr, 3, "a", 0), 0);
}

TEST(StringCursor, NextWalksTheItems) {
  static const char list[] = "one\0two\0\0";
  const char* cursor = list;
  char* item = nullptr;
  EXPECT_EQ(str_next(&cursor, &item), list);
  EXPECT_STREQ(item, "one");
  str_next(&cursor, &item);
  EXPECT_STREQ(item, "two");
  str_next(&cursor, nullptr);  // no output: only the cursor moves
  EXPECT_EQ(cursor, list + sizeof list - 1);
  free_mem(&item);
}

TEST(Quote, PicksAnAbsentCharacter) {
  const std::string all20 = "\"'\x14";
  const struct {
    std::string text;
    char expected;
  } cases[] = {
      {"abc", '"'}, {"a\"b", '\''}, {"\"'", 20}, {all20, 21},
  };
  for (const auto& c : cases) {
    char out = 0;
    EXPECT_EQ(pick_quote_char(c.text.c_str(), &out), c.expected) << c.text;
    EXPECT_EQ(out, c.expected);
  }
  std::string every = "\"'";
  for (int c = 20; c <= 127; ++c) every += static_cast<char>(c);
  EXPECT_EQ(pick_quote_char(every.c_str(), nullptr), 0);
}

struct word_case {
  std::string line;
  int n;
  std::string word;
  std::string rest;  // what the cursor points at afterwards
};

void check_word(const word_case& c, bool lower) {
  auto line = exact_copy(c.line);
  const char* cursor = line.get();
  char* word = lower ? cmdline_next_word_lower(&cursor, c.n) : cmdline_next_word(&cursor, c.n);
  ASSERT_NE(word, nullptr);
  EXPECT_EQ(std::string(word), c.word) << c.line << " #" << c.n;
  EXPECT_EQ(std::string(cursor), c.rest) << c.line << " #" << c.n;
  free_mem(&word);
}

TEST(CommandLine, WordsAndQuotes) {
  const word_case cases[] = {
      {"  alpha beta\tgamma", 0, "alpha", " beta\tgamma"},
      {"  alpha beta\tgamma", 2, "gamma", ""},
      {"  alpha beta\tgamma", 3, "", ""},
      {"\"two words\" next", 0, "two words", " next"},
      {"\"two words\" next", 1, "next", ""},
      {"a \"\" b", 1, "", " b"},
      {"\"unclosed word", 0, "unclosed word", ""},
      {"", 0, "", ""},
      {"-OPT Value", 0, "-OPT", " Value"},
  };
  for (const auto& c : cases) check_word(c, false);
}

TEST(CommandLine, OptionsAreLowered) {
  const word_case cases[] = {
      {"-OPT Value", 0, "-opt", " Value"},
      {"-OPT Value", 1, "Value", ""},
      {"\"-Quoted\"", 0, "-quoted", ""},
  };
  for (const auto& c : cases) check_word(c, true);
}

TEST(CommandLine, LongWordsAreCutNeverOverflow) {
  constexpr size_t kMax = kCmdlineWordMax;
  const std::string long_word(kMax + 45, 'x');
  check_word({long_word + " next", 0, std::string(kMax, 'x'), " next"}, false);
  check_word({long_word + " next", 1, "next", ""}, false);
  check_word({"\"" + long_word + "\" next", 0, std::string(kMax, 'x'), " next"}, false);
  // A path as long as Linux allows is kept whole.
  const std::string path = "/" + std::string(300, 'd') + "/" + std::string(kMax - 302, 'f');
  check_word({path + " next", 0, path, " next"}, false);
  // The cut never leaves half of a UTF-8 character: kMax - 1 bytes and a 2-byte 'é'.
  check_word({std::string(kMax - 1, 'x') + "\xc3\xa9" + " n", 0, std::string(kMax - 1, 'x'), " n"},
             false);
  check_word({std::string(kMax - 2, 'x') + "\xc3\xa9" + "y n", 0,
              std::string(kMax - 2, 'x') + "\xc3\xa9", " n"},
             false);
  const char* null_cursor = nullptr;
  char* word = cmdline_next_word(&null_cursor, 0);
  EXPECT_STREQ(word, "");
  free_mem(&word);
}

TEST(Url, UnescapeAndLowerHost) {
  const struct {
    const char* text;
    int host_only;
    const char* expected;
  } lower_cases[] = {
      {"C:\\Dir\\FILE.TXT", 0, "c:/dir/file.txt"},
      {"HTTP://H.COM\\A\\B", 1, "http://h.com/A/B"},
      {"HTTP://WWW.Host.COM/Path/File%20A.HTM", 1, "http://www.host.com/Path/File A.HTM"},
      {"WWW.X.COM/Path:Q", 1, "www.x.com/Path:Q"},   // no scheme: up to the first '/'
      {"HOST:8080/Path", 1, "host:8080/Path"},
      {"HTTP://HOST", 1, "http://host"},
      {"HTTP:", 1, "http:"},
      {"HTTP:/", 1, "http:/"},
      {"", 1, ""},
  };
  for (const auto& c : lower_cases) {
    auto text = exact_copy(c.text);
    url_lower(text.get(), c.host_only);
    EXPECT_STREQ(text.get(), c.expected) << c.text;
  }
  auto text = exact_copy("a%20b%2%20%20");
  url_unescape_space(text.get());
  EXPECT_STREQ(text.get(), "a b%2  ");
  url_lower(nullptr, 1);
  url_lower_host(nullptr);
  url_unescape_space(nullptr);
}

}  // namespace
