// Small number and string routines shared by the whole system.
//
// Characters: the ASCII classes and the bounded digit scanner that the number, string,
// path and date readers share (scan_digits lives in numbers.cpp).
//
// Numbers (numbers.cpp): rounding and clamping, the decimal parser every text format
// reads numbers with ('.' or ',' as decimal separator, lower-case 'e' exponent), the
// 16-significant-digit writer, and the integer parsers.
//
// Strings (strings.cpp): case-insensitive comparisons that treat a null string as
// "different", bounded and case-insensitive searches, string-list cursors, the
// command-line word reader and the URL case helpers.
//
// Case folding is ASCII only (A-Z <-> a-z), so UTF-8 text is never split or altered
// outside the ASCII range. Owned strings follow the owner-pointer discipline of
// memory.h: free them with free_mem.
#pragma once
#include <cstddef>
#include <cstdint>

// ---- Characters ---------------------------------------------------------------------
// The ASCII classes every reader of this system uses, whatever the C locale says.

inline bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }
// The white space of a formatted scan: blank, tab, line feed, vertical tab, form feed,
// carriage return.
inline bool is_ascii_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
inline char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }
// Reads at most `max_digits` decimal digits at `text` into *out, saturating at
// UINT64_MAX, and returns the position after them (`text` itself when none is there).
// Stops at the first other character, so it never passes a NUL.
const char* scan_digits(const char* text, size_t max_digits, uint64_t* out);

// ---- Rounding and clamping ----------------------------------------------------------

// Nearest integer: truncated toward zero, then moved one away from zero when the
// dropped fraction exceeds 0.5 (an exact half stays truncated: 2.5 -> 2, -2.5 -> -2).
// Values beyond the int range saturate; NaN gives 0.
int round_to_int(double value);
// Below 0.5: 0; from 254.5: 255; else value + 0.5 truncated.
int double_to_byte(double value);
// Integer clamped to 0..255.
int clamp_byte(int value);
// 1 when |a - b| < tolerance.
int double_equal_tol(double a, double b, double tolerance);

// ---- Writing numbers ----------------------------------------------------------------

// Writes `value` with 16 significant digits, without trailing zeros after the point
// (and without the point when nothing follows it): 0.5 -> "0.5", -1.25 -> "-1.25",
// 1e20 -> "100000000000000000000" (a value with 16 or more digits before the point is
// written whole, with no decimals). The plain form is used whenever it fits in `size`
// bytes; a value whose plain form does not fit (the empty double -1e100 in a small
// buffer, 1e300, 1e-300) is written in exponent form ("-1e+100"), which always fits in
// 24 bytes; a smaller buffer receives a cut, NUL-terminated text. NaN gives "nan",
// infinities "inf" / "-inf". Never writes more than `size` bytes. Returns `buf`.
char* format_double_sig(double value, char* buf, size_t size);
// Formats `value` with a caller's printf format taking one double (e.g. "%.3f"), within
// `size` bytes, then turns the first ',' into '.'. Returns `buf`.
char* format_double_dot(double value, const char* format, char* buf, size_t size);

// ---- Reading numbers ----------------------------------------------------------------

// The system's decimal parser. One optional '+', then one optional '-'; digits with at
// most one '.' or ',' as decimal separator; an optional exponent 'e' (lower case only)
// with an optional sign and digits. Every digit keeps its decimal place and counts
// (the result is the correctly rounded double of the whole decimal text, however many
// digits it has); an exponent too large for a double gives
// +-inf, one too small gives +-0. Returns the character that ended the number, or the
// end of the text when that character is the last one of the text (so that a trailing
// separator ends a list: "12;" returns the end). Never reads past the NUL. A null text
// stores 0 and returns null.
const char* parse_number(const char* text, double* out);
// parse_number into a float.
const char* parse_float(const char* text, float* out);
// atof with '.' or ',' as the decimal separator, whatever the locale: leading white
// space and one sign are taken, 'e' or 'E' begins the exponent, and the number stops at
// the first character that cannot continue it; every digit counts, as in parse_number.
// A text with no digit before the exponent, an empty or a null text gives 0.
double str_to_double(const char* text);

// Integer parsers. Digits are gathered in 64 bits; a value beyond the output type
// SATURATES at its limit (UINT32_MAX, INT32_MIN / INT32_MAX, UINT64_MAX, ...), the
// returned position still being past all the digits.
//
// Decimal digits up to the first other character; returns that position. Null: null.
const char* parse_uint(const char* text, uint32_t* out);
const char* parse_uint64(const char* text, uint64_t* out);
// Optional '-', then digits; returns the position after them. Null: null.
const char* parse_int(const char* text, int32_t* out);
const char* parse_int64(const char* text, int64_t* out);
// Decimal digits only: stores the value and returns 1 when the whole text is digits
// (an empty text gives 0 and 1); returns 0 for any other character, for a null text,
// and when the value does not fit in 32 bits (the value stored is then saturated).
int parse_uint_strict(const char* text, uint32_t* out);

// ---- Comparisons --------------------------------------------------------------------
// Each returns the sign (-1, 0, 1) of the second string compared with the first,
// ignoring ASCII case; 1 when either string is null.
int str_compare_ci(const char* a, const char* b);
int strn_compare_ci(const char* a, const char* b, size_t n);
// str_compare_ci; on a tie, the byte-wise comparison of the second with the first.
int str_compare_ci_then_cs(const char* a, const char* b);
int wstr_compare_ci(const char16_t* a, const char16_t* b);
int wstr_compare_ci_then_cs(const char16_t* a, const char16_t* b);

// ---- Searching ----------------------------------------------------------------------

// First case-insensitive occurrence of `pattern` in `text`, or null (also when either
// is null). An empty pattern is found at the start of the text.
const char* str_find_ci(const char* text, const char* pattern);
// 1 when `pattern` occurs entirely within the first `n` bytes of `text`. With
// `ignore_case` the text's capitals A-Z are lowered and the pattern is taken as it is
// (callers pass a lower-case pattern). A byte below 9 in the text (the NUL included)
// ends the search with 0. Null arguments give 0; an empty pattern gives 1.
int str_match_bounded(const char* text, size_t n, const char* pattern, int ignore_case);
// String-list cursor: makes the owned string `owner` (when given) a copy of the
// NUL-terminated item at *cursor and moves *cursor past its NUL. Returns the item.
const char* str_next(const char** cursor, char** owner);
// A quote character absent from `text`: '"', else '\'', else the first absent character
// with code 20 to 127; 0 when every one of them occurs. Stored in *out when given, and
// returned.
char pick_quote_char(const char* text, char* out);

// ---- Command-line words -------------------------------------------------------------

// Longest word kept; the rest of a longer word is skipped. Words are file names and
// URLs too: a Linux path may take 4095 bytes, so a word as long is kept whole.
constexpr size_t kCmdlineWordMax = 4095;
// Reads words from *cursor one after another (blanks skipped; a word is a text in
// double quotes, or runs to the next blank), moving the cursor past each, and returns a
// new owned string holding word n (counted from 0); "" when the line ends first.
char* cmdline_next_word(const char** cursor, int n);
// The same, lower-cased when the word begins with '-' (an option).
char* cmdline_next_word_lower(const char** cursor, int n);

// ---- URLs (in place) ----------------------------------------------------------------

// Replaces each "%20" by a blank.
void url_unescape_space(char* text);
// url_unescape_space, then lower-cases the host part: the text up to the first '/'
// that follows the scheme's ':' and two further characters, or up to the first '/'
// when there is no scheme.
void url_lower_host(char* text);
// Turns every '\' into '/', then lower-cases the whole text (host_only 0) or only its
// host part (url_lower_host).
void url_lower(char* text, int host_only);
