// Strings: case-insensitive comparisons and searches, string-list cursors, the
// command-line word reader and the URL case helpers (see strutil.h).
//
// Folding is ASCII only, so that the bytes of a UTF-8 sequence are never changed and
// the 8-bit and wide comparisons order the same texts the same way.
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "core/memory.h"
#include "core/strutil.h"

namespace {

template <class C> unsigned fold(C c) {
  const unsigned u = static_cast<std::make_unsigned_t<C>>(c);
  return u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u;
}

template <class C> unsigned as_unsigned(C c) { return static_cast<std::make_unsigned_t<C>>(c); }

int sign_of(unsigned first, unsigned second) { return second > first ? 1 : second < first ? -1 : 0; }

// Sign of b against a over at most n characters, folded or byte-wise.
template <class C> int compare(const C* a, const C* b, size_t n, bool fold_case) {
  if (!a || !b) return 1;
  for (size_t i = 0; i < n; ++i) {
    const unsigned ca = fold_case ? fold(a[i]) : as_unsigned(a[i]);
    const unsigned cb = fold_case ? fold(b[i]) : as_unsigned(b[i]);
    if (ca != cb) return sign_of(ca, cb);
    if (ca == 0) return 0;
  }
  return 0;
}

template <class C> int compare_then_cs(const C* a, const C* b) {
  const int folded = compare(a, b, SIZE_MAX, true);
  return folded != 0 ? folded : compare(a, b, SIZE_MAX, false);
}

}  // namespace

// ---- Comparisons --------------------------------------------------------------------

int str_compare_ci(const char* a, const char* b) { return compare(a, b, SIZE_MAX, true); }
int strn_compare_ci(const char* a, const char* b, size_t n) { return compare(a, b, n, true); }
int str_compare_ci_then_cs(const char* a, const char* b) { return compare_then_cs(a, b); }
int wstr_compare_ci(const char16_t* a, const char16_t* b) { return compare(a, b, SIZE_MAX, true); }
int wstr_compare_ci_then_cs(const char16_t* a, const char16_t* b) {
  return compare_then_cs(a, b);
}

// ---- Searching ----------------------------------------------------------------------

const char* str_find_ci(const char* text, const char* pattern) {
  if (!text || !pattern) return nullptr;
  for (const char* start = text;; ++start) {
    size_t i = 0;
    while (pattern[i] && fold(start[i]) == fold(pattern[i])) ++i;
    if (!pattern[i]) return start;
    if (!*start) return nullptr;
  }
}

int str_match_bounded(const char* text, size_t n, const char* pattern, int ignore_case) {
  if (!text || !pattern) return 0;
  const size_t length = std::strlen(pattern);
  if (length == 0) return 1;
  for (size_t start = 0; start + length <= n; ++start) {
    size_t i = 0;
    for (; i < length; ++i) {
      const unsigned char c = static_cast<unsigned char>(text[start + i]);
      if (c < 9) return 0;  // the end of the text, or a control byte
      const unsigned t = ignore_case ? fold(c) : c;
      if (t != static_cast<unsigned char>(pattern[i])) break;
    }
    if (i == length) return 1;
  }
  return 0;
}

const char* str_next(const char** cursor, char** owner) {
  if (!cursor || !*cursor) return nullptr;
  const char* item = *cursor;
  if (owner) str_set(item, owner);
  *cursor = item + std::strlen(item) + 1;
  return item;
}

char pick_quote_char(const char* text, char* out) {
  char chosen = 0;
  if (!text || !std::strchr(text, '"')) {
    chosen = '"';
  } else if (!std::strchr(text, '\'')) {
    chosen = '\'';
  } else {
    for (int c = 20; c <= 127 && !chosen; ++c) {
      if (!std::strchr(text, c)) chosen = static_cast<char>(c);
    }
  }
  if (out) *out = chosen;
  return chosen;
}

// ---- Command-line words -------------------------------------------------------------

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Length of `word` (n bytes) without a UTF-8 sequence that the cut left incomplete.
size_t without_partial_sequence(const char* word, size_t n) {
  size_t lead = n;
  while (lead > 0 && n - lead < 4 && (static_cast<unsigned char>(word[lead - 1]) & 0xC0) == 0x80)
    --lead;
  if (lead == 0) return n;
  const unsigned char c = static_cast<unsigned char>(word[lead - 1]);
  const size_t expected = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  return n - (lead - 1) < expected ? lead - 1 : n;
}

// Reads the word at *cursor into `word` (cut to kCmdlineWordMax bytes) and moves the
// cursor past it. false when the line ends before a word.
bool read_word(const char** cursor, char (&word)[kCmdlineWordMax + 1]) {
  const char* p = *cursor;
  while (is_blank(*p)) ++p;
  if (!*p) {
    *cursor = p;
    return false;
  }
  const bool quoted = *p == '"';
  if (quoted) ++p;
  size_t n = 0;
  bool cut = false;
  for (; *p && (quoted ? *p != '"' : !is_blank(*p)); ++p) {
    if (n < kCmdlineWordMax) word[n++] = *p;
    else cut = true;
  }
  if (quoted && *p == '"') ++p;
  if (cut) n = without_partial_sequence(word, n);
  word[n] = '\0';
  *cursor = p;
  return true;
}

char* next_word(const char** cursor, int n, bool lower_options) {
  char word[kCmdlineWordMax + 1] = "";
  bool found = false;
  if (cursor && *cursor) {
    for (int i = 0; i <= (n > 0 ? n : 0); ++i) {
      found = read_word(cursor, word);
      if (!found) break;
    }
  }
  if (!found) word[0] = '\0';
  if (lower_options && word[0] == '-') {
    for (char* c = word; *c; ++c) *c = ascii_lower(*c);
  }
  char* owned = nullptr;
  str_set(word, &owned);
  return owned;
}

}  // namespace

char* cmdline_next_word(const char** cursor, int n) { return next_word(cursor, n, false); }
char* cmdline_next_word_lower(const char** cursor, int n) { return next_word(cursor, n, true); }

// ---- URLs ---------------------------------------------------------------------------

namespace {

void lower_range(char* from, const char* to) {
  for (; from < to; ++from) *from = ascii_lower(*from);
}

}  // namespace

void url_unescape_space(char* text) {
  if (!text) return;
  char* out = text;
  for (const char* in = text; *in;) {
    if (in[0] == '%' && in[1] == '2' && in[2] == '0') {
      *out++ = ' ';
      in += 3;
    } else {
      *out++ = *in++;
    }
  }
  *out = '\0';
}

void url_lower_host(char* text) {
  if (!text) return;
  url_unescape_space(text);
  char* const end = text + std::strlen(text);
  char* colon = std::strchr(text, ':');
  char* slash = std::strchr(text, '/');
  char* host_end = slash ? slash : end;
  // A scheme's ':' comes before any '/'; a ':' further on belongs to the path.
  if (colon && (!slash || colon < slash)) {
    char* after = colon + 1;
    for (int i = 0; i < 2 && *after; ++i) ++after;
    char* next = std::strchr(after, '/');
    host_end = next ? next : end;
  }
  lower_range(text, host_end);
}

void url_lower(char* text, int host_only) {
  if (!text) return;
  for (char* c = text; *c; ++c) {
    if (*c == '\\') *c = '/';
  }
  if (host_only) url_lower_host(text);
  else lower_range(text, text + std::strlen(text));
}
