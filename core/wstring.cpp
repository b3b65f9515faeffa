// Owned wide strings and the UTF-8 <-> UTF-16 conversions (see wstring.h). The
// decoding and encoding are the platform's (platform/sys/utf.h); here they fill owned
// blocks. The local code page and the pattern match live in wstring_codepage.cpp and
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
#include "platform/sys/utf.h"

namespace {

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
  if (!src) src = "";
  const size_t bytes = std::strlen(src);
  const size_t n = plat::utf8_to_utf16(src, bytes, nullptr);
  char16_t* fresh = nullptr;
  alloc_mem(&fresh, (n + 1) * sizeof(char16_t));
  plat::utf8_to_utf16(src, bytes, fresh);
  fresh[n] = 0;
  replace_owned(fresh, owner);
}

char* wstr_to_utf8(const char16_t* src, char** owner) {
  if (!src) src = u"";
  const size_t units = wstr_len(src);
  const size_t n = plat::utf16_to_utf8(src, units, nullptr);
  char* fresh = nullptr;
  alloc_mem(&fresh, n + 1);
  plat::utf16_to_utf8(src, units, fresh);
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

int utf8_is_valid(const char* s) { return !s || plat::utf8_valid(s, std::strlen(s)); }

void utf8_to_wcs(const char* src, char16_t** owner) { wstr_set_from_utf8(src, owner); }

size_t utf8_put_char(char32_t c, char* out) { return plat::utf8_encode(c, out); }

int wchar_to_utf8(const char16_t* pos, char* out) {
  if (!pos || !*pos) {
    if (out) out[0] = '\0';
    return 0;
  }
  // pos[1] is readable: at worst it is the terminator, which ends no pair.
  char32_t cp;
  const size_t units = plat::utf16_decode(pos, 2, &cp);
  const size_t n = plat::utf8_encode(cp, out);
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
    const size_t units = plat::utf16_decode(src, 2, &cp);  // src[1] is at worst the NUL
    const size_t n = plat::utf8_encode(cp, nullptr);
    if (bytes + n + 1 > size) break;  // the character and the NUL must both fit
    plat::utf8_encode(cp, out + bytes);
    bytes += n;
    src += units;
  }
  out[bytes] = '\0';
  return out;
}
