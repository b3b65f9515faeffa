// Local code page text and code page 850 (see wstring.h).
//
// The local code page of this system is UTF-8. Text read from files written on other
// systems may still be in Windows-1252, so local code page input is taken as UTF-8
// when it is valid UTF-8 and as Windows-1252 otherwise; the five bytes Windows-1252
// leaves undefined stand for the C1 controls of the same value, as Windows reads them.
// Code page 850 serves the old DOS-era formats whose text bytes 1-31 are glyphs.
#include <cstring>

#include "core/memory.h"
#include "core/wstring.h"

namespace {

// Windows-1252 bytes 0x80-0x9F; every other byte is the code point of its value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Code page 850 bytes 0x80-0xFF.
constexpr char16_t kCp850High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

// The OEM glyph set for bytes 1-31 (byte 0 ends the text).
constexpr char16_t kOemGlyphs[32] = {
    0x0000, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,
    0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,
    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,
    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC};

char16_t cp1252_char(unsigned char b) { return b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b; }

char16_t cp850_char(unsigned char b) {
  if (b >= 0x80) return kCp850High[b - 0x80];
  if (b < 32) return kOemGlyphs[b];
  return b == 127 ? char16_t(0x2302) : char16_t(b);
}

// One wide unit per byte through `table`, into a new owned block.
void bytes_to_wcs(const char* src, char16_t (*table)(unsigned char), char16_t** owner) {
  if (!src) src = "";
  const size_t n = std::strlen(src);
  char16_t* fresh = nullptr;
  alloc_mem(&fresh, (n + 1) * sizeof(char16_t));
  for (size_t i = 0; i < n; ++i) fresh[i] = table(static_cast<unsigned char>(src[i]));
  fresh[n] = 0;
  free_mem(owner);
  owner_put(owner, fresh);
}

}  // namespace

void mbs_to_wcs(const char* src, char16_t** owner) {
  if (utf8_is_valid(src))
    wstr_set_from_utf8(src, owner);
  else
    bytes_to_wcs(src, cp1252_char, owner);
}

void wstr_cat_mbs(const char* src, char16_t** owner) {
  char16_t* tail = nullptr;
  mbs_to_wcs(src, &tail);
  wstr_cat(tail, owner);
  free_mem(&tail);
}

int wstr_compare_mbs(const char16_t* wide, const char* mbs, size_t n) {
  char16_t* converted = nullptr;
  mbs_to_wcs(mbs, &converted);
  if (!wide) wide = u"";
  int result = 0;
  for (size_t i = 0; n == 0 || i < n; ++i) {
    if (converted[i] != wide[i]) {
      result = converted[i] < wide[i] ? -1 : 1;
      break;
    }
    if (converted[i] == 0) break;
  }
  free_mem(&converted);
  return result;
}

int wchar_to_cp1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return int(c);
  for (int i = 0; i < 32; ++i)
    if (kCp1252High[i] == c) return 0x80 + i;
  return -1;
}

void cp_to_wcs(int, const char* src, char16_t** owner) { bytes_to_wcs(src, cp850_char, owner); }
