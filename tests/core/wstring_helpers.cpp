// The wide-string helpers beyond the UTF-8 round trip: local code page text (UTF-8 when
// valid, else Windows-1252), bounded and exactly sized conversions back, code page 850,
// owned-string appends and comparisons, and the '%' pattern match of the place search.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstring>
#include <memory>
#include <string>

#include "core/memory.h"
#include "core/wstring.h"

namespace {

// An exact-size heap copy, so that AddressSanitizer sees any read past the NUL.
std::unique_ptr<char[]> exact(const std::string& s) {
  auto copy = std::make_unique<char[]>(s.size() + 1);
  std::memcpy(copy.get(), s.c_str(), s.size() + 1);
  return copy;
}

std::u16string local_to_wide(const std::string& bytes) {
  char16_t* wide = nullptr;
  mbs_to_wcs(exact(bytes).get(), &wide);
  std::u16string out(wide);
  free_mem(&wide);
  return out;
}

TEST(WideHelpers, LocalCodePageIsUtf8WhenValidElseWindows1252) {
  const struct {
    std::string bytes;
    std::u16string wide;
  } cases[] = {
      {"", u""},
      {"plain", u"plain"},
      {"caf\xc3\xa9 \xe2\x82\xac", u"caf\u00e9 \u20ac"},             // valid UTF-8
      {"\xef\xbf\xbd", u"\ufffd"},                                      // U+FFFD itself is valid
      {"caf\xe9 \x80", u"caf\u00e9 \u20ac"},                            // Windows-1252
      {"\x81\x8d\x8f\x90\x9d", u"\u0081\u008d\u008f\u0090\u009d"},     // its undefined bytes
      {"\x85\x96\x97\x9f\xff", u"\u2026\u2013\u2014\u0178\u00ff"},
      {"\xc3\xa9\xe9", u"\u00c3\u00a9\u00e9"},  // one invalid byte: the whole text is 1252
  };
  for (const auto& c : cases) EXPECT_EQ(local_to_wide(c.bytes), c.wide) << c.bytes;
  char16_t* wide = nullptr;
  mbs_to_wcs(nullptr, &wide);
  EXPECT_EQ(std::u16string(wide), u"");
  free_mem(&wide);
}

TEST(WideHelpers, Utf8Validity) {
  const struct {
    const char* text;
    int valid;
  } cases[] = {{nullptr, 1}, {"", 1}, {"abc", 1}, {"\xc3\xa9", 1}, {"\xf0\x9f\x98\x80", 1},
               {"\xef\xbf\xbd", 1}, {"\xc3", 0}, {"\xc0\xaf", 0}, {"\xed\xa0\x80", 0},
               {"\xf4\x90\x80\x80", 0}, {"a\x80", 0}, {"\xe9t\xe9", 0}};
  for (const auto& c : cases) EXPECT_EQ(utf8_is_valid(c.text), c.valid) << (c.text ? c.text : "null");
}

// The block is sized from the converted length: text of three- and four-byte characters
// (once overflowing a block of one byte per character) converts exactly.
TEST(WideHelpers, WideToLocalIsSizedFromTheConvertedText) {
  std::u16string wide;
  std::string want;
  for (int i = 0; i < 1000; ++i) {
    wide += u"\u20ac\U0001F600\u00e9";
    want += "\xe2\x82\xac\xf0\x9f\x98\x80\xc3\xa9";
  }
  char* out = nullptr;
  EXPECT_EQ(std::string(wcs_to_mbs(wide.c_str(), &out)), want);
  EXPECT_STREQ(wcs_to_mbs(nullptr, &out), "");
  free_mem(&out);
}

TEST(WideHelpers, WideToLocalIntoABufferCutsAtACharacter) {
  const struct {
    const char16_t* wide;
    size_t size;
    std::string want;
  } cases[] = {
      {u"a\u20ac", 5, "a\xe2\x82\xac"},
      {u"a\u20ac", 4, "a"},  // the euro sign and the NUL do not both fit
      {u"a\u20ac", 1, ""},
      {u"\U0001F600x", 5, "\xf0\x9f\x98\x80"},
      {u"\U0001F600x", 4, ""},
      {nullptr, 8, ""},
  };
  for (const auto& c : cases) {
    auto buffer = std::make_unique<char[]>(c.size);  // exact: ASan sees any overflow
    EXPECT_EQ(std::string(wcs_to_mbs_into(c.wide, buffer.get(), c.size)), c.want) << c.size;
  }
  char untouched = 'z';
  wcs_to_mbs_into(u"abc", &untouched, 0);
  EXPECT_EQ(untouched, 'z');
}

TEST(WideHelpers, OneCharacterToUtf8) {
  const struct {
    std::u16string at;
    std::string bytes;
    int units;
  } cases[] = {
      {u"Ab", "A", 1},
      {u"\u00e9", "\xc3\xa9", 1},
      {u"\u20ac", "\xe2\x82\xac", 1},
      {u"\U0001F600", "\xf0\x9f\x98\x80", 2},
      {std::u16string{0xD800, u'x'}, "\xef\xbf\xbd", 1},
      {u"", "", 0},
  };
  for (const auto& c : cases) {
    char out[5] = {'?', '?', '?', '?', '?'};
    EXPECT_EQ(wchar_to_utf8(c.at.c_str(), out), c.units);
    EXPECT_EQ(std::string(out), c.bytes);
  }
}

TEST(WideHelpers, CodePointToUtf8) {
  const struct {
    char32_t c;
    std::string bytes;
  } cases[] = {{U'A', "A"},
               {0xE9, "\xc3\xa9"},
               {0x20AC, "\xe2\x82\xac"},
               {0x1F600, "\xf0\x9f\x98\x80"},
               {0x10FFFF, "\xf4\x8f\xbf\xbf"},
               {0xD800, "\xef\xbf\xbd"},
               {0x110000, "\xef\xbf\xbd"}};
  for (const auto& c : cases) {
    char out[4];
    EXPECT_EQ(std::string(out, utf8_put_char(c.c, out)), c.bytes) << unsigned(c.c);
  }
}

TEST(WideHelpers, AppendsToOwnedStrings) {
  char16_t* s = nullptr;
  wstr_cat(u"ab", &s);
  wstr_cat(nullptr, &s);
  wstr_cat(s, &s);  // appending a string to itself
  EXPECT_EQ(std::u16string(s), u"abab");
  wstr_cat(s + 3, &s);  // a source inside the owned block
  EXPECT_EQ(std::u16string(s), u"ababb");
  wstr_cat_long(-42, &s);
  wstr_cat_long(LONG_MIN, &s);
  EXPECT_EQ(std::u16string(s), u"ababb-42-9223372036854775808");
  wstr_cat_mbs("\xe9t\xe9", &s);
  wstr_cat_mbs("\xc3\xa9", &s);
  EXPECT_EQ(std::u16string(s), u"ababb-42-9223372036854775808\u00e9t\u00e9\u00e9");
  free_mem(&s);
}

TEST(WideHelpers, CompareWithLocalText) {
  const struct {
    const char16_t* wide;
    const char* local;
    size_t n;
    int sign;
  } cases[] = {
      {u"caf\u00e9", "caf\xe9", 0, 0},
      {u"caf\u00e9", "caf\xc3\xa9", 0, 0},
      {u"cafe", "caf\xc3\xa9", 0, 1},   // the converted text sorts after
      {u"caf\u00e9s", "caf\xe9", 0, -1},
      {u"caf\u00e9s", "caf\xe9", 4, 0},  // only the first 4 characters
      {nullptr, "", 0, 0},
      {u"x", nullptr, 0, -1},
  };
  for (const auto& c : cases) {
    const int r = wstr_compare_mbs(c.wide, c.local, c.n);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << (c.local ? c.local : "null") << " " << c.n;
  }
}

TEST(WideHelpers, CodePage850WithTheOemGlyphs) {
  char16_t* wide = nullptr;
  cp_to_wcs(0, "\x01\x02\x03\x1f A\x7f\x80\x82\x9e\xb0\xe1\xfe\xff", &wide);
  EXPECT_EQ(std::u16string(wide),
            u"\u263a\u263b\u2665\u25bc A\u2302\u00c7\u00e9\u00d7\u2591\u00df\u25a0\u00a0");
  cp_to_wcs(7, nullptr, &wide);
  EXPECT_EQ(std::u16string(wide), u"");
  free_mem(&wide);
}

TEST(WideHelpers, MappingAndUpperCase) {
  const char16_t pairs[] = {u'\u00e9', u'e', u'\u00e8', u'e', u'\u0153', u'o', 0};
  char16_t text[] = u"\u00e9l\u00e8ve \u0153uvre";
  wstr_map_chars(text, pairs);
  EXPECT_EQ(std::u16string(text), u"eleve ouvre");
  wstr_map_chars(text, nullptr);
  EXPECT_EQ(std::u16string(text), u"eleve ouvre");
  const struct {
    char16_t in, out;
  } cases[] = {{u'a', u'A'}, {u'z', u'Z'}, {u'A', u'A'}, {u'\u00e9', u'\u00c9'},
               {u'\u00f7', u'\u00f7'}, {u'\u00ff', u'\u0178'}, {u'1', u'1'}, {u'\u20ac', u'\u20ac'}};
  for (const auto& c : cases) EXPECT_EQ(wchar_upper(c.in), c.out) << int(c.in);
}

TEST(WideHelpers, PercentPatternsMatchWholeTexts) {
  const char16_t folding[] = {u'\u00e9', u'e', u'\u00c9', u'E', 0};
  const struct {
    const char16_t* pattern;
    const char16_t* text;
    int ignore_case;
    int match;
  } cases[] = {
      {u"%", u"", 0, 1},
      {u"%", u"anything", 0, 1},
      {u"abc", u"abc", 0, 1},
      {u"abc", u"abcd", 0, 0},
      {u"abc", u"ab", 0, 0},
      {u"a%c", u"abbbc", 0, 1},
      {u"a%c", u"abcd", 0, 0},
      {u"%b%", u"abc", 0, 1},
      {u"%b%", u"acd", 0, 0},
      {u"%ab%ab", u"xabyabzab", 0, 1},  // a mismatch after '%' restarts one further on
      {u"%aab", u"aaab", 0, 1},
      {u"a%%b", u"ab", 0, 1},
      {u"CAFE%", u"caf\u00e9 du port", 1, 1},  // text mapped, then both upper-cased
      {u"CAFE%", u"caf\u00e9 du port", 0, 0},
      {u"cafe", u"CAF\u00c9", 1, 1},
      {u"", u"x", 0, 0},
      {nullptr, u"x", 0, 0},
      {u"%", nullptr, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(wstr_like(c.pattern, c.text, c.ignore_case, folding), c.match)
        << (c.pattern ? std::string(c.pattern, c.pattern + wstr_len(c.pattern)) : "null");
  }
  EXPECT_EQ(wstr_like_ci(u"%PORT", u"caf\u00e9 du port", folding), 1);
  // A long text against a pattern of many '%': bounded work, no recursion.
  const std::u16string text(20000, u'a');
  EXPECT_EQ(wstr_like(u"%a%a%a%a%a%b", text.c_str(), 0, nullptr), 0);
}

TEST(WideHelpers, SearchKeyPreparation) {
  const char16_t folding[] = {u'\u00e9', u'e', 0};
  const struct {
    std::u16string in;
    int upper;
    std::u16string out;
  } cases[] = {
      {u"%%caf%%%\u00e9%", 1, u"%CAF%E%"},
      {u"%%caf%%%\u00e9%", 0, u"%caf%e%"},
      {u"", 1, u""},
      {u"%%%", 0, u"%"},
  };
  for (const auto& c : cases) {
    std::u16string s = c.in;
    wstr_search_key(s.data(), c.upper, folding);
    EXPECT_EQ(std::u16string(s.c_str()), c.out);
  }
}

// The conversions are the system's own: none of them touches the process's locale.
TEST(WideHelpers, NoConversionChangesTheLocale) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  char16_t* wide = nullptr;
  char* local = nullptr;
  mbs_to_wcs("caf\xe9", &wide);
  wcs_to_mbs(wide, &local);
  wstr_cat_mbs("x", &wide);
  wstr_compare_mbs(wide, "y", 0);
  EXPECT_EQ(std::string(std::setlocale(LC_ALL, nullptr)), before);
  EXPECT_STREQ(local, "caf\xc3\xa9");
  free_mem(&wide);
  free_mem(&local);
}

}  // namespace
