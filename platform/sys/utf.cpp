// UTF-8 and UTF-16 conversions (see utf.h).
//
// A UTF-8 lead byte announces how many continuation bytes follow and which range the
// first of them may take; the narrowed ranges of that first byte are what exclude
// overlong forms, surrogates and values above U+10FFFF, so a sequence is checked byte by
// byte and an invalid one ends at the first byte that cannot belong to it.
#include "platform/sys/utf.h"

#include <cstring>

namespace plat {

namespace {

struct Utf8Lead {
  int trail;                // continuation bytes that follow; -1: no lead byte
  unsigned char low, high;  // allowed range of the first continuation byte
  char32_t bits;            // payload bits of the lead byte
};

Utf8Lead classify(unsigned char c) {
  if (c < 0x80) return {0, 0, 0, c};
  if (c >= 0xC2 && c <= 0xDF) return {1, 0x80, 0xBF, char32_t(c & 0x1F)};
  if (c == 0xE0) return {2, 0xA0, 0xBF, char32_t(c & 0x0F)};
  if (c == 0xED) return {2, 0x80, 0x9F, char32_t(c & 0x0F)};
  if (c >= 0xE1 && c <= 0xEF) return {2, 0x80, 0xBF, char32_t(c & 0x0F)};
  if (c == 0xF0) return {3, 0x90, 0xBF, char32_t(c & 0x07)};
  if (c >= 0xF1 && c <= 0xF3) return {3, 0x80, 0xBF, char32_t(c & 0x07)};
  if (c == 0xF4) return {3, 0x80, 0x8F, char32_t(c & 0x07)};
  return {-1, 0, 0, 0};
}

// Decodes one character; returns the bytes used, and whether they were a valid sequence.
size_t decode_checked(const unsigned char* s, size_t n, char32_t* cp, bool* valid) {
  const Utf8Lead lead = classify(s[0]);
  *valid = false;
  *cp = kReplacementChar;
  if (lead.trail < 0) return 1;
  char32_t value = lead.bits;
  for (int i = 1; i <= lead.trail; ++i) {
    const unsigned char low = i == 1 ? lead.low : 0x80;
    const unsigned char high = i == 1 ? lead.high : 0xBF;
    if (size_t(i) >= n || s[i] < low || s[i] > high) return size_t(i);
    value = (value << 6) | (s[i] & 0x3F);
  }
  *valid = true;
  *cp = value;
  return size_t(lead.trail) + 1;
}

bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Converts n units of one form into the other, character by character: returns the
// units of the result, written at `out` when it is given.
template <class In, class Out>
size_t transcode(const In* s, size_t n, Out* out, size_t (*decode)(const In*, size_t, char32_t*),
                 size_t (*encode)(char32_t, Out*)) {
  size_t written = 0;
  for (size_t at = 0; at < n;) {
    char32_t cp;
    at += decode(s + at, n - at, &cp);
    written += encode(cp, out ? out + written : nullptr);
  }
  return written;
}

}  // namespace

size_t utf8_decode(const char* s, size_t n, char32_t* cp) {
  bool valid;
  return decode_checked(reinterpret_cast<const unsigned char*>(s), n, cp, &valid);
}

size_t utf16_decode(const char16_t* s, size_t n, char32_t* cp) {
  const char16_t u = s[0];
  if (u >= 0xD800 && u <= 0xDBFF && n >= 2 && s[1] >= 0xDC00 && s[1] <= 0xDFFF) {
    *cp = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(s[1]) - 0xDC00);
    return 2;
  }
  *cp = is_surrogate(u) ? kReplacementChar : u;
  return 1;
}

size_t utf8_encode(char32_t cp, char* out) {
  if (cp > 0x10FFFF || is_surrogate(cp)) cp = kReplacementChar;
  unsigned char b[4];
  size_t n;
  if (cp < 0x80) {
    b[0] = static_cast<unsigned char>(cp);
    n = 1;
  } else if (cp < 0x800) {
    b[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
    b[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    n = 2;
  } else if (cp < 0x10000) {
    b[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
    b[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    b[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    n = 3;
  } else {
    b[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
    b[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
    b[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    b[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    n = 4;
  }
  if (out) std::memcpy(out, b, n);
  return n;
}

size_t utf16_encode(char32_t cp, char16_t* out) {
  if (cp > 0x10FFFF || is_surrogate(cp)) cp = kReplacementChar;
  if (cp < 0x10000) {
    if (out) out[0] = static_cast<char16_t>(cp);
    return 1;
  }
  if (out) {
    cp -= 0x10000;
    out[0] = static_cast<char16_t>(0xD800 + (cp >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
  return 2;
}

bool utf8_valid(const char* s, size_t n) {
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  const auto* end = p + n;
  while (p < end) {
    if (*p < 0x80) {  // the common case, without decoding
      ++p;
      continue;
    }
    char32_t cp;
    bool valid;
    p += decode_checked(p, size_t(end - p), &cp, &valid);
    if (!valid) return false;
  }
  return true;
}

size_t utf8_to_utf16(const char* s, size_t n, char16_t* out) {
  return transcode(s, n, out, utf8_decode, utf16_encode);
}

size_t utf16_to_utf8(const char16_t* s, size_t n, char* out) {
  return transcode(s, n, out, utf16_decode, utf8_encode);
}

std::u16string utf8_to_utf16(std::string_view s) {
  std::u16string out(utf8_to_utf16(s.data(), s.size(), nullptr), u'\0');
  utf8_to_utf16(s.data(), s.size(), out.data());
  return out;
}

std::string utf16_to_utf8(std::u16string_view s) {
  std::string out(utf16_to_utf8(s.data(), s.size(), nullptr), '\0');
  utf16_to_utf8(s.data(), s.size(), out.data());
  return out;
}

}  // namespace plat
