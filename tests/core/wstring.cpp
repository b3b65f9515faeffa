// Owned wide strings and the UTF-8 <-> UTF-16 conversions: exact round trips (astral
// characters as surrogate pairs) and U+FFFD for every kind of invalid input.
#include <gtest/gtest.h>
#include <cstddef>

#include <cstring>
#include <memory>
#include <string>

#include "core/memory.h"
#include "core/wstring.h"

namespace {

std::u16string to_wide(const std::string& utf8) {
  // An exact-size heap copy: AddressSanitizer sees any read past the NUL.
  auto copy = std::make_unique<char[]>(utf8.size() + 1);
  std::memcpy(copy.get(), utf8.c_str(), utf8.size() + 1);
  char16_t* wide = nullptr;
  wstr_set_from_utf8(copy.get(), &wide);
  std::u16string result(wide, wstr_len(wide));
  free_mem(&wide);
  return result;
}

std::string to_utf8(const std::u16string& wide) {
  char* utf8 = nullptr;
  wstr_to_utf8(wide.c_str(), &utf8);
  std::string result(utf8);
  free_mem(&utf8);
  return result;
}

TEST(WideString, RoundTripsValidText) {
  const struct {
    const char* utf8;
    std::u16string utf16;
  } cases[] = {
      {"", u""},
      {"abc", u"abc"},
      {"\xc3\xa9t\xc3\xa9", u"\u00e9t\u00e9"},                  // été
      {"\xe2\x82\xac", u"\u20ac"},                                // €
      {"\xef\xbf\xbd", u"\ufffd"},                                // U+FFFD itself
      {"\xf0\x9d\x84\x9e", std::u16string{0xD834, 0xDD1E}},       // U+1D11E
      {"\xf4\x8f\xbf\xbf", std::u16string{0xDBFF, 0xDFFF}},       // U+10FFFF
      {"a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80z", std::u16string{u'a', 0xE9, 0x20AC, 0xD83D, 0xDE00, u'z'}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(to_wide(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(to_utf8(c.utf16), c.utf8) << c.utf8;
  }
}

TEST(WideString, InvalidUtf8BecomesReplacementCharacters) {
  const std::u16string R = u"\ufffd";
  const struct {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"\xff", R},
      {"a\xc3", u"a" + R},                        // cut at the end of the text
      {"\xe2\x82x", R + u"x"},                    // cut before an ASCII character
      {"\xc0\xaf", R + R},                        // overlong form
      {"\xe0\x80\xaf", R + R + R},                // overlong three-byte form
      {"\xed\xa0\x80", R + R + R},                // an encoded surrogate
      {"\xf4\x90\x80\x80", R + R + R + R},        // above U+10FFFF
      {"\xf0\x9f\x98", R},                        // a four-byte sequence cut short
      {"\x80\x80", R + R},                        // stray continuation bytes
      {"\xc3\xa9\xa9", std::u16string(u"\u00e9") + R},
  };
  for (const auto& c : cases) EXPECT_EQ(to_wide(c.utf8), c.utf16) << c.utf8.size();
}

TEST(WideString, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::string R = "\xef\xbf\xbd";
  const struct {
    std::u16string utf16;
    std::string utf8;
  } cases[] = {
      {std::u16string{0xD800}, R},
      {std::u16string{u'a', 0xDC00, u'b'}, "a" + R + "b"},
      {std::u16string{0xD800, u'x'}, R + "x"},
      {std::u16string{0xDC00, 0xD800}, R + R},  // reversed pair
  };
  for (const auto& c : cases) EXPECT_EQ(to_utf8(c.utf16), c.utf8);
}

TEST(WideString, OwnedStringDiscipline) {
  EXPECT_EQ(wstr_len(nullptr), 0u);
  char16_t* owned = nullptr;
  wstr_set(nullptr, &owned);
  ASSERT_NE(owned, nullptr);
  EXPECT_EQ(wstr_len(owned), 0u);

  wstr_set(u"hello world", &owned);
  wstr_set(owned, &owned);  // the very same string: nothing changes
  EXPECT_EQ(std::u16string(owned), u"hello world");
  wstr_set(owned + 6, &owned);  // a source inside the owned block
  EXPECT_EQ(std::u16string(owned), u"world");

  wstr_set_from_utf8(nullptr, &owned);
  ASSERT_NE(owned, nullptr);
  EXPECT_EQ(wstr_len(owned), 0u);
  free_mem(&owned);
  EXPECT_EQ(owned, nullptr);

  char* utf8 = nullptr;
  EXPECT_STREQ(wstr_to_utf8(nullptr, &utf8), "");
  free_mem(&utf8);
}

// Owner pointers may be fields of packed records, at any address.
#pragma pack(push, 1)
struct packed_owners {
  char tag;
  char16_t* wide;
  char pad;
  char* utf8;
};
#pragma pack(pop)

TEST(WideString, OwnersMayBeFieldsOfAPackedRecord) {
  packed_owners rec{};
  char* base = reinterpret_cast<char*>(&rec);
  auto** wide = reinterpret_cast<char16_t**>(base + offsetof(packed_owners, wide));
  auto** utf8 = reinterpret_cast<char**>(base + offsetof(packed_owners, utf8));
  wstr_set(u"caf\u00e9", wide);
  wstr_set(owner_get(wide), wide);  // the very same string
  EXPECT_EQ(std::u16string(owner_get(wide)), u"caf\u00e9");
  EXPECT_STREQ(wstr_to_utf8(owner_get(wide), utf8), "caf\xc3\xa9");
  wstr_set_from_utf8("z", wide);
  EXPECT_EQ(std::u16string(owner_get(wide)), u"z");
  free_mem(wide);
  free_mem(utf8);
  EXPECT_EQ(owner_get(wide), nullptr);
}

}  // namespace
