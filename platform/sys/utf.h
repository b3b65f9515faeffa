// UTF-8 and UTF-16: the one decoder and encoder of each that every layer uses (the
// core's owned wide strings, window and menu texts, window titles on the display, PDF
// text strings).
//
// Conversions are exact for every valid text, astral characters travelling as
// surrogate pairs. Invalid input never stops a conversion; it becomes U+FFFD by one
// rule everywhere:
// - UTF-8: each maximal invalid subsequence gives one U+FFFD, that is the longest run
//   that begins a valid sequence but is cut short (a truncated character, or a lead byte
//   with some of its continuation bytes), else one byte. An overlong form, an encoded
//   surrogate or a value above U+10FFFF is invalid from the byte that makes it so: its
//   lead byte alone gives one U+FFFD and each following continuation byte another.
// - UTF-16: each unpaired surrogate gives one U+FFFD.
// Texts are counted, not terminated: a NUL is an ordinary character.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace plat {

constexpr char32_t kReplacementChar = 0xFFFD;

// Decodes the character at the start of the n bytes at s (n >= 1) into *cp and returns
// the bytes it takes (1 to 4); an invalid subsequence gives U+FFFD.
size_t utf8_decode(const char* s, size_t n, char32_t* cp);
// The same for the n units at s (n >= 1): returns 1, or 2 for a surrogate pair.
size_t utf16_decode(const char16_t* s, size_t n, char32_t* cp);
// Writes the UTF-8 bytes (1 to 4) of a code point at `out` (null: counts only) and
// returns their number; a surrogate or a value beyond U+10FFFF is written as U+FFFD.
size_t utf8_encode(char32_t cp, char* out);
// The same in UTF-16 units (1 or 2).
size_t utf16_encode(char32_t cp, char16_t* out);

// True when the n bytes at s are valid UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool utf8_valid(const char* s, size_t n);

// Converts n bytes of UTF-8 and returns the UTF-16 units; they are written at `out`
// when it is not null (callers count first, then convert into an exact buffer).
size_t utf8_to_utf16(const char* s, size_t n, char16_t* out);
// Converts n units of UTF-16 and returns the UTF-8 bytes, written at `out` when given.
size_t utf16_to_utf8(const char16_t* s, size_t n, char* out);

std::u16string utf8_to_utf16(std::string_view s);
std::string utf16_to_utf8(std::u16string_view s);

}  // namespace plat
