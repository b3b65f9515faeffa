// The UTF-8 / UTF-16 codec: exact conversion of every valid text and code point, and
// U+FFFD by one rule for each kind of invalid input (stray and impossible bytes,
// overlong forms, encoded surrogates, values above U+10FFFF, truncated sequences, lone
// surrogates). Inputs are exact-size heap copies without a terminator, so that
// AddressSanitizer sees any read past the counted end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sys/utf.h"

namespace {

// Converts through the counted routine: once to count, once into an exact buffer.
template <class Out, class In>
std::basic_string<Out> convert(const std::basic_string<In>& text, size_t (*fn)(const In*, size_t, Out*)) {
  const std::vector<In> copy(text.begin(), text.end());
  const size_t n = fn(copy.data(), copy.size(), nullptr);
  std::vector<Out> out(n);
  EXPECT_EQ(fn(copy.data(), copy.size(), out.data()), n);
  return std::basic_string<Out>(out.begin(), out.end());
}

std::u16string to_utf16(const std::string& utf8) { return convert<char16_t>(utf8, plat::utf8_to_utf16); }
std::string to_utf8(const std::u16string& utf16) { return convert<char>(utf16, plat::utf16_to_utf8); }

bool valid(const std::string& utf8) {
  const std::vector<char> copy(utf8.begin(), utf8.end());
  return plat::utf8_valid(copy.data(), copy.size());
}

const std::u16string R = u"\ufffd";

TEST(SysUtf, ValidTextConvertsBothWays) {
  const struct {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"", u""},
      {"abc", u"abc"},
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},  // a NUL is a character
      {"\xc3\xa9t\xc3\xa9", u"\u00e9t\u00e9"},
      {"\xdf\xbf", u"\u07ff"},                                // largest two-byte form
      {"\xe0\xa0\x80", u"\u0800"},                            // smallest three-byte form
      {"\xed\x9f\xbf\xee\x80\x80", u"\ud7ff\ue000"},          // either side of the surrogates
      {"\xef\xbf\xbd", R},                                    // U+FFFD itself
      {"\xf0\x90\x80\x80", std::u16string{0xD800, 0xDC00}},   // U+10000
      {"\xf0\x9f\x98\x80", std::u16string{0xD83D, 0xDE00}},   // U+1F600
      {"\xf4\x8f\xbf\xbf", std::u16string{0xDBFF, 0xDFFF}},   // U+10FFFF
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.utf8));
    EXPECT_EQ(to_utf16(c.utf8), c.utf16);
    EXPECT_EQ(to_utf8(c.utf16), c.utf8);
    EXPECT_TRUE(valid(c.utf8));
    EXPECT_EQ(plat::utf8_to_utf16(c.utf8), c.utf16);
    EXPECT_EQ(plat::utf16_to_utf8(c.utf16), c.utf8);
  }
}

// One U+FFFD per maximal invalid subsequence: a sequence cut short gives one, a byte
// that cannot continue what came before starts afresh.
TEST(SysUtf, InvalidUtf8BecomesReplacementCharacters) {
  const struct {
    const char* kind;
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"byte that is never in UTF-8", "a\xff" "b", u"a" + R + u"b"},
      {"lead byte beyond U+10FFFF", "\xf5\x80", R + R},
      {"stray continuation bytes", "\x80\xbf", R + R},
      {"continuation after a whole character", "\xc3\xa9\xa9", u"\u00e9" + R},
      {"overlong two-byte form", "\xc0\xaf", R + R},
      {"overlong NUL", "\xc1\x80", R + R},
      {"overlong three-byte form", "\xe0\x80\xaf", R + R + R},
      {"overlong four-byte form", "\xf0\x8f\xbf\xbf", R + R + R + R},
      {"encoded high surrogate", "\xed\xa0\x80", R + R + R},
      {"encoded low surrogate", "\xed\xbf\xbf", R + R + R},
      {"above U+10FFFF", "\xf4\x90\x80\x80", R + R + R + R},
      {"two-byte form cut at the end", "a\xc3", u"a" + R},
      {"three-byte form cut at the end", "\xe2\x82", R},
      {"four-byte form cut at the end", "\xf0\x9f\x98", R},
      {"cut before an ASCII character", "\xe2\x82x", R + u"x"},
      {"cut before another lead byte", "\xf0\x9f\xc3\xa9", R + u"\u00e9"},
      {"cut before a NUL", std::string("\xe2\x82\0", 3), R + std::u16string(1, 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    EXPECT_EQ(to_utf16(c.utf8), c.utf16);
    EXPECT_FALSE(valid(c.utf8));
  }
}

TEST(SysUtf, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::string r = "\xef\xbf\xbd";
  const struct {
    const char* kind;
    std::u16string utf16;
    std::string utf8;
  } cases[] = {
      {"high surrogate at the end", std::u16string{u'a', 0xD83D}, "a" + r},
      {"high surrogate before a character", std::u16string{0xD83D, u'x'}, r + "x"},
      {"two high surrogates", std::u16string{0xD83D, 0xD83D, 0xDE00}, r + "\xf0\x9f\x98\x80"},
      {"low surrogate alone", std::u16string{0xDE00}, r},
      {"pair in the wrong order", std::u16string{0xDE00, 0xD83D}, r + r},
      {"high surrogate before a NUL", std::u16string{0xD83D, 0}, r + std::string(1, '\0')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    EXPECT_EQ(to_utf8(c.utf16), c.utf8);
  }
}

TEST(SysUtf, EveryCodePointRoundTrips) {
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp == 0xD800) cp = 0xE000;
    char bytes[4];
    char16_t units[2];
    const size_t nb = plat::utf8_encode(cp, bytes);
    const size_t nu = plat::utf16_encode(cp, units);
    char32_t back8 = 0, back16 = 0;
    ASSERT_EQ(plat::utf8_decode(bytes, nb, &back8), nb) << uint32_t(cp);
    ASSERT_EQ(plat::utf16_decode(units, nu, &back16), nu) << uint32_t(cp);
    ASSERT_EQ(uint32_t(back8), uint32_t(cp));
    ASSERT_EQ(uint32_t(back16), uint32_t(cp));
    ASSERT_EQ(nb, cp < 0x80 ? 1u : cp < 0x800 ? 2u : cp < 0x10000 ? 3u : 4u);
  }
}

TEST(SysUtf, CodePointsWithoutAFormEncodeAsReplacement) {
  for (char32_t cp : {char32_t(0xD800), char32_t(0xDFFF), char32_t(0x110000), char32_t(0xFFFFFFFF)}) {
    SCOPED_TRACE(uint32_t(cp));
    char bytes[4];
    char16_t units[2];
    ASSERT_EQ(plat::utf8_encode(cp, bytes), 3u);
    EXPECT_EQ(std::string(bytes, 3), "\xef\xbf\xbd");
    ASSERT_EQ(plat::utf16_encode(cp, units), 1u);
    EXPECT_EQ(units[0], 0xFFFD);
  }
}

}  // namespace
