// Owned wide strings: UTF-16 text (char16_t) in heap blocks owned through one pointer,
// with the same discipline as the owned 8-bit strings of memory.h (free with
// free_mem), and the conversions between UTF-8 and UTF-16.
//
// Conversions are exact for every valid text, astral characters travelling as
// surrogate pairs. Invalid input never stops a conversion: each maximal invalid UTF-8
// subsequence, and each unpaired surrogate, becomes U+FFFD.
#pragma once
#include <cstddef>

// Number of UTF-16 units before the terminating 0; 0 for a null string.
size_t wstr_len(const char16_t* s);
// Makes the owned wide string a copy of `src` (null counts as u"").
void wstr_set(const char16_t* src, char16_t** owner);
// Makes the owned wide string the UTF-16 form of the UTF-8 text `src` (null: u"").
void wstr_set_from_utf8(const char* src, char16_t** owner);
// Makes the owned 8-bit string the UTF-8 form of `src` (null: "") and returns it.
char* wstr_to_utf8(const char16_t* src, char** owner);
