// Character mapping and the '%' pattern match of the place search (see wstring.h).
//
// A search pattern is prepared once with wstr_search_key (accents folded through a pair
// table, upper-cased, runs of '%' folded), then matched against many texts with
// wstr_like, which maps and upper-cases each text character as it compares it, so the
// texts themselves are never copied.
#include "core/wstring.h"

namespace {

char16_t map_char(char16_t c, const char16_t* pairs) {
  if (!pairs) return c;
  for (const char16_t* p = pairs; p[0]; p += 2)
    if (p[0] == c) return p[1];
  return c;
}

}  // namespace

void wstr_map_chars(char16_t* s, const char16_t* pairs) {
  if (!s || !pairs) return;
  for (; *s; ++s) *s = map_char(*s, pairs);
}

char16_t wchar_upper(char16_t c) {
  if (c >= u'a' && c <= u'z') return char16_t(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 0x20);
  if (c == 0xFF) return 0x178;
  return c;
}

// The classic single-backtrack match: on a mismatch the last '%' takes one more text
// character and the pattern after it is tried again. Matching a run of '%' is
// complete with this one backtrack point, and the work is bounded by the product of
// the lengths: no recursion, no exponential case.
int wstr_like(const char16_t* pattern, const char16_t* text, int ignore_case,
              const char16_t* pairs) {
  if (!pattern || !*pattern || !text) return 0;
  auto fold = [&](char16_t c) { return ignore_case ? wchar_upper(c) : c; };
  const char16_t* p = pattern;
  const char16_t* t = text;
  const char16_t* star = nullptr;  // pattern position after the last '%'
  const char16_t* mark = nullptr;  // text position that '%' was last matched up to
  while (*t) {
    if (*p == u'%') {
      star = ++p;
      mark = t;
      continue;
    }
    if (*p && fold(*p) == fold(map_char(*t, pairs))) {
      ++p;
      ++t;
      continue;
    }
    if (!star) return 0;
    p = star;
    t = ++mark;
  }
  while (*p == u'%') ++p;
  return *p ? 0 : 1;
}

int wstr_like_ci(const char16_t* pattern, const char16_t* text, const char16_t* pairs) {
  return wstr_like(pattern, text, 1, pairs);
}

void wstr_search_key(char16_t* s, int upper, const char16_t* pairs) {
  if (!s) return;
  char16_t* out = s;
  for (const char16_t* in = s; *in; ++in) {
    char16_t c = map_char(*in, pairs);
    if (upper) c = wchar_upper(c);
    if (c == u'%' && out > s && out[-1] == u'%') continue;
    *out++ = c;
  }
  *out = 0;
}
