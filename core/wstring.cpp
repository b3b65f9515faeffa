// Owned wide strings and the UTF-8 <-> UTF-16 conversions (see wstring.h).
// The local code page and the pattern match live in wstring_codepage.cpp and
// wstring_match.cpp.
//
// Each conversion runs twice over its input: once to count the output units, once to
// write them, so the block is allocated at its exact size. The new block is built
// before the owner's old one is freed, so a source that lies inside the owned string
// stays readable.
#include "core/wstring.h"

#include <cstdio>
#include <cstring>

#include "core/memory.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct utf8_lead {
  int trail;                  // continuation bytes that follow
  unsigned char low, high;    // allowed range of the first continuation byte
  char32_t bits;              // payload bits of the lead byte
};

// What a lead byte announces; trail -1 for a byte that cannot begin a character.
// The ranges of the first continuation byte exclude overlong forms, surrogates and
// code points above U+10FFFF.
utf8_lead classify(unsigned char c) {
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

// Decodes the character at s (NUL-terminated, not at its NUL); returns the bytes used.
// An invalid sequence gives U+FFFD and uses its maximal valid prefix (at least 1 byte),
// so the NUL is never passed.
size_t decode_utf8(const unsigned char* s, char32_t* out) {
  const utf8_lead lead = classify(s[0]);
  if (lead.trail < 0) {
    *out = kReplacement;
    return 1;
  }
  char32_t cp = lead.bits;
  for (int i = 1; i <= lead.trail; ++i) {
    const unsigned char low = i == 1 ? lead.low : 0x80;
    const unsigned char high = i == 1 ? lead.high : 0xBF;
    if (s[i] < low || s[i] > high) {
      *out = kReplacement;
      return static_cast<size_t>(i);
    }
    cp = (cp << 6) | (s[i] & 0x3F);
  }
  *out = cp;
  return static_cast<size_t>(lead.trail) + 1;
}

// Decodes the character at s (not at its terminating 0); returns the units used.
size_t decode_utf16(const char16_t* s, char32_t* out) {
  const char16_t u = s[0];
  if (u >= 0xD800 && u <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF) {
    *out = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(s[1]) - 0xDC00);
    return 2;
  }
  *out = (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u;
  return 1;
}

// Writes cp as UTF-16 at out (when given); returns the units.
size_t encode_utf16(char32_t cp, char16_t* out) {
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

// Writes cp as UTF-8 at out (when given); returns the bytes.
size_t encode_utf8(char32_t cp, char* out) {
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

// Units of the UTF-16 form of a UTF-8 text, written at out when given.
size_t utf8_to_utf16(const unsigned char* s, char16_t* out) {
  size_t units = 0;
  while (*s) {
    char32_t cp;
    s += decode_utf8(s, &cp);
    units += encode_utf16(cp, out ? out + units : nullptr);
  }
  return units;
}

// Bytes of the UTF-8 form of a UTF-16 text, written at out when given.
size_t utf16_to_utf8(const char16_t* s, char* out) {
  size_t bytes = 0;
  while (*s) {
    char32_t cp;
    s += decode_utf16(s, &cp);
    bytes += encode_utf8(cp, out ? out + bytes : nullptr);
  }
  return bytes;
}

// The owner may be a field of a packed record: it is reached through owner_put.
template <class T> void replace_owned(T* fresh, T** owner) {
  free_mem(owner);
  owner_put(owner, fresh);
}

}  // namespace

size_t wstr_len(const char16_t* s) {
  if (!s) return 0;
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

void wstr_set(const char16_t* src, char16_t** owner) {
  if (!src) src = u"";
  if (src == owner_get(owner)) return;
  const size_t n = wstr_len(src);
  char16_t* fresh = nullptr;
  alloc_mem(&fresh, (n + 1) * sizeof(char16_t));
  std::memcpy(fresh, src, (n + 1) * sizeof(char16_t));
  replace_owned(fresh, owner);
}

void wstr_set_from_utf8(const char* src, char16_t** owner) {
  const auto* s = reinterpret_cast<const unsigned char*>(src ? src : "");
  const size_t n = utf8_to_utf16(s, nullptr);
  char16_t* fresh = nullptr;
  alloc_mem(&fresh, (n + 1) * sizeof(char16_t));
  utf8_to_utf16(s, fresh);
  fresh[n] = 0;
  replace_owned(fresh, owner);
}

char* wstr_to_utf8(const char16_t* src, char** owner) {
  if (!src) src = u"";
  const size_t n = utf16_to_utf8(src, nullptr);
  char* fresh = nullptr;
  alloc_mem(&fresh, n + 1);
  utf16_to_utf8(src, fresh);
  fresh[n] = '\0';
  replace_owned(fresh, owner);
  return fresh;
}

void wstr_cat(const char16_t* src, char16_t** owner) {
  const char16_t* old = owner_get(owner);
  const size_t head = wstr_len(old);
  const size_t tail = wstr_len(src);
  // A new block is filled before the old one is freed, so `src` may lie inside it.
  char16_t* fresh = nullptr;
  alloc_mem(&fresh, (head + tail + 1) * sizeof(char16_t));
  if (head) std::memcpy(fresh, old, head * sizeof(char16_t));
  if (tail) std::memcpy(fresh + head, src, tail * sizeof(char16_t));
  fresh[head + tail] = 0;
  replace_owned(fresh, owner);
}

void wstr_cat_long(long value, char16_t** owner) {
  char digits[24];
  std::snprintf(digits, sizeof digits, "%ld", value);
  char16_t wide[24];
  size_t i = 0;
  for (; digits[i]; ++i) wide[i] = static_cast<unsigned char>(digits[i]);
  wide[i] = 0;
  wstr_cat(wide, owner);
}

int utf8_is_valid(const char* s) {
  if (!s) return 1;
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  while (*p) {
    if (*p < 0x80) {  // the common case, without decoding
      ++p;
      continue;
    }
    char32_t cp;
    const size_t used = decode_utf8(p, &cp);
    if (cp == kReplacement && !(used == 3 && p[0] == 0xEF && p[1] == 0xBF && p[2] == 0xBD))
      return 0;
    p += used;
  }
  return 1;
}

void utf8_to_wcs(const char* src, char16_t** owner) { wstr_set_from_utf8(src, owner); }

size_t utf8_put_char(char32_t c, char* out) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
  return encode_utf8(c, out);
}

int wchar_to_utf8(const char16_t* pos, char* out) {
  if (!pos || !*pos) {
    if (out) out[0] = '\0';
    return 0;
  }
  char32_t cp;
  const size_t units = decode_utf16(pos, &cp);
  const size_t n = encode_utf8(cp, out);
  out[n] = '\0';
  return static_cast<int>(units);
}

// Local code page text written by this system is UTF-8: the block is sized from the
// converted length, whatever characters the text holds.
char* wcs_to_mbs(const char16_t* src, char** owner) { return wstr_to_utf8(src, owner); }

char* wcs_to_mbs_into(const char16_t* src, char* out, size_t size) {
  if (!out || size == 0) return out;
  size_t bytes = 0;
  while (src && *src) {
    char32_t cp;
    const size_t units = decode_utf16(src, &cp);
    const size_t n = encode_utf8(cp, nullptr);
    if (bytes + n + 1 > size) break;  // the character and the NUL must both fit
    encode_utf8(cp, out + bytes);
    bytes += n;
    src += units;
  }
  out[bytes] = '\0';
  return out;
}
