// Owned wide strings: UTF-16 text (char16_t) in heap blocks owned through one pointer,
// with the same discipline as the owned 8-bit strings of memory.h (free with
// free_mem), the conversions between 8-bit text and UTF-16, and the small wide-string
// routines the readers and the place search share.
//
// Conversions are exact for every valid text, astral characters travelling as
// surrogate pairs. Invalid input never stops a conversion: each maximal invalid UTF-8
// subsequence, and each unpaired surrogate, becomes U+FFFD. The codec itself is the
// platform's one (platform/sys/utf.h); these routines fill owned strings with it.
//
// "Local code page" text (the mbs_ routines) is the system's own rule, never the C
// runtime's locale: UTF-8 when the text is valid UTF-8, else Windows-1252 byte by byte.
// Text this system writes in the local code page is UTF-8. Nothing here switches a
// process-wide locale, so every routine may run on any thread.
//
// Files: wstring.cpp (UTF-8 <-> UTF-16, owned strings), wstring_codepage.cpp (local
// code page, code page 850), wstring_match.cpp (character mapping and the '%' pattern
// match).
#pragma once
#include <cstddef>

// ---- Owned strings ------------------------------------------------------------------

// Number of UTF-16 units before the terminating 0; 0 for a null string.
size_t wstr_len(const char16_t* s);
// Makes the owned wide string a copy of `src` (null counts as u""); nothing happens
// when `src` is the owned string itself.
void wstr_set(const char16_t* src, char16_t** owner);
// Appends `src` (null: nothing) to the owned wide string (null owner string: u"").
// `src` may lie inside the owned string.
void wstr_cat(const char16_t* src, char16_t** owner);
// Appends the decimal text of `value`.
void wstr_cat_long(long value, char16_t** owner);

// ---- UTF-8 --------------------------------------------------------------------------

// 1 when the NUL-terminated text is valid UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF); 1 for a null or empty text.
int utf8_is_valid(const char* s);
// Makes the owned wide string the UTF-16 form of the UTF-8 text `src` (null: u"").
void wstr_set_from_utf8(const char* src, char16_t** owner);
// The same conversion under its reader-facing name.
void utf8_to_wcs(const char* src, char16_t** owner);
// Makes the owned 8-bit string the UTF-8 form of `src` (null: "") and returns it.
char* wstr_to_utf8(const char16_t* src, char** owner);
// Writes the UTF-8 bytes (1 to 4) of a code point at `out` and returns their number; a
// surrogate or a value beyond U+10FFFF is written as U+FFFD.
size_t utf8_put_char(char32_t c, char* out);
// Writes the UTF-8 bytes of the character at `pos` (a surrogate pair is one
// character) and a NUL into `out`, which holds at least 5 bytes. Returns the UTF-16
// units the character took: 1 or 2, and 0 at the terminator (out is then "").
int wchar_to_utf8(const char16_t* pos, char* out);

// ---- Local code page ----------------------------------------------------------------

// Makes the owned wide string the UTF-16 form of local code page text (null: u"").
void mbs_to_wcs(const char* src, char16_t** owner);
// Appends the UTF-16 form of local code page text.
void wstr_cat_mbs(const char* src, char16_t** owner);
// Makes the owned 8-bit string the local code page (UTF-8) form of `src`, sized from
// the converted length; returns it.
char* wcs_to_mbs(const char16_t* src, char** owner);
// The same into a caller's buffer of `size` bytes: the text is cut at a character
// boundary so that it and its NUL fit (size 0: nothing written). Returns `out`.
char* wcs_to_mbs_into(const char16_t* src, char* out, size_t size);
// Converts `mbs` from the local code page and compares it with `wide` over the first
// `n` characters (n 0: the whole strings). Returns the sign of the converted text
// against `wide`: 0 when equal, negative when it sorts first. Null reads as "".
int wstr_compare_mbs(const char16_t* wide, const char* mbs, size_t n);
// The Windows-1252 byte of a character, or -1 when the code page has none (the
// undefined bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D stand for the C1 controls of the
// same value).
int wchar_to_cp1252(char32_t c);
// Converts every byte of `src` through code page 850, the glyphs of the OEM character
// set standing for bytes 1-31 and U+2302 for 127. The first argument is not read.
void cp_to_wcs(int unused, const char* src, char16_t** owner);

// ---- Mapping and matching -----------------------------------------------------------
// A pair table is a run of 16-bit pairs {from, to} ended by a 0 in the first place; a
// null table maps nothing. The first pair whose first character matches wins.

// Replaces in place every character found as the first of a pair by the second.
void wstr_map_chars(char16_t* s, const char16_t* pairs);
// Upper case of one character: ASCII and the Latin-1 letters (a-z, U+00E0-U+00FE
// except U+00F7, and U+00FF to U+0178).
char16_t wchar_upper(char16_t c);
// Whole-text wildcard match: '%' in the pattern matches any run of characters (also
// an empty one). Text characters go through the pair table; with `ignore_case` both
// sides are upper-cased. 1 on a match, else 0; also 0 for a null or empty pattern and
// a null text.
int wstr_like(const char16_t* pattern, const char16_t* text, int ignore_case,
              const char16_t* pairs);
int wstr_like_ci(const char16_t* pattern, const char16_t* text, const char16_t* pairs);
// Prepares a search pattern in place: maps its characters, upper-cases them when
// `upper` is set, then folds every run of '%' to one.
void wstr_search_key(char16_t* s, int upper, const char16_t* pairs);
