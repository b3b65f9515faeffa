// UTF-8 and UTF-16 conversions for the toolkit's control texts.
#include "shell/framework/ui_text.h"

#include <cstdint>

namespace {

// Length of the valid UTF-8 sequence at p and its code point; 0 when not valid.
int decode(const unsigned char* p, char32_t* out) {
  unsigned c = p[0];
  int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (n == 0) return 0;
  char32_t v = n == 1 ? c : c & (0x7Fu >> n);
  for (int i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    v = (v << 6) | (p[i] & 0x3F);
  }
  static const char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (v < kMin[n] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
  *out = v;
  return n;
}

void put_utf8(char32_t c, std::string& s) {
  if (c < 0x80) {
    s += char(c);
  } else if (c < 0x800) {
    s += char(0xC0 | (c >> 6));
    s += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += char(0xE0 | (c >> 12));
    s += char(0x80 | ((c >> 6) & 0x3F));
    s += char(0x80 | (c & 0x3F));
  } else {
    s += char(0xF0 | (c >> 18));
    s += char(0x80 | ((c >> 12) & 0x3F));
    s += char(0x80 | ((c >> 6) & 0x3F));
    s += char(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::u16string ui_wide(const char* utf8) {
  std::u16string out;
  if (!utf8) return out;
  auto p = reinterpret_cast<const unsigned char*>(utf8);
  while (*p) {
    char32_t c = 0;
    int n = decode(p, &c);
    if (n == 0) {
      c = *p;
      n = 1;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += char16_t(0xD800 + (c >> 10));
      out += char16_t(0xDC00 + (c & 0x3FF));
    } else {
      out += char16_t(c);
    }
    p += n;
  }
  return out;
}

std::string ui_narrow(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    put_utf8(c, out);
  }
  return out;
}
