// The scan of one line of a geodesy table: fields separated by ';', read against a
// pattern of field kinds, as a formatted scan would read them.
//
// Pattern characters: 'd' an integer, 'f' a decimal number ('.' separator, lower-case
// 'e' exponent), 's' a name (every character up to the next ';', at least one). Blanks
// around a number are allowed; a name keeps its blanks. A name longer than the caller's
// buffer is cut to fit (before
// the UTF-8 character that does not fit). Characters after the last field are ignored.
#pragma once
#include <cstddef>
#include <cstdint>

// Longest line the tables read (longer lines are malformed).
constexpr int kGeoLineMax = 8192;
constexpr int kGeoMaxFields = 20;

struct geo_line_fields {
  int32_t ints[kGeoMaxFields];     // value of each 'd' field, by field position
  double doubles[kGeoMaxFields];   // value of each 'f' field, by field position
  char name[260];                  // the 's' field (one per pattern)
};

// 1 when the line (NUL-terminated; it is changed) yields every field of the pattern.
// name_size: bytes of name kept (at most sizeof name), its NUL included.
int geo_scan_line(char* line, const char* pattern, size_t name_size, geo_line_fields* out);

// 1 when the line holds nothing but blanks.
int geo_line_is_blank(const char* line);

// Reads a whole table found by name through open_file_resolved, handing each line's
// fields to fn; blank lines are passed over. Returns the error code, also left in gblerr:
// 2 when the file cannot be opened, 14 at the first line that fails the pattern (lines
// before it stay handled) or when the file holds no line at all, else 0. gblerr is
// cleared after each handled line: a refused line leaves no error behind.
using geo_line_fn = void (*)(const geo_line_fields& fields, void* context);
int geo_read_table(const char* file_name, const char* pattern, size_t name_size,
                   geo_line_fn fn, void* context);
