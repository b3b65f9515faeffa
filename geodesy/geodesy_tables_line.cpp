// The field scan of a geodesy table line (see geodesy_tables_line.h).
//
// The line is cut at each ';' in place; numbers are read with the system's own parsers,
// and a number field must hold one number and nothing else, so that "12x" or an empty
// field makes the line malformed instead of silently reading a part of it.
#include "geodesy/geodesy_tables_line.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/error.h"
#include "core/reader.h"
#include "core/strutil.h"

namespace {

// Longest number text accepted in one field.
constexpr size_t kNumberMax = 64;

// The field without its surrounding blanks, copied into buf followed by ";;" so that the
// parser's end position always points into the copy. False when the field is empty,
// too long, or holds no digit.
bool trimmed_number(const char* field, char* buf, size_t* len) {
  while (is_ascii_space(*field)) ++field;
  size_t n = std::strlen(field);
  while (n > 0 && is_ascii_space(field[n - 1])) --n;
  if (n == 0 || n >= kNumberMax) return false;
  bool digit = false;
  for (size_t i = 0; i < n; ++i) digit = digit || is_ascii_digit(field[i]);
  if (!digit) return false;
  std::memcpy(buf, field, n);
  std::memcpy(buf + n, ";;", 3);
  *len = n;
  return true;
}

bool scan_int(const char* field, int32_t* out) {
  char buf[kNumberMax + 3];
  size_t n = 0;
  if (!trimmed_number(field, buf, &n)) return false;
  const char* start = buf[0] == '+' ? buf + 1 : buf;
  const char* end = parse_int(start, out);
  return end == buf + n;
}

bool scan_double(const char* field, double* out) {
  char buf[kNumberMax + 3];
  size_t n = 0;
  if (!trimmed_number(field, buf, &n)) return false;
  const char* end = parse_number(buf, out);
  // ',' is a decimal separator for the parser but not in these tables.
  return end == buf + n && std::memchr(buf, ',', n) == nullptr;
}

bool scan_name(const char* field, char* out, size_t size) {
  if (*field == '\0' || size == 0) return false;
  size_t n = std::strlen(field);
  if (n > size - 1) {
    n = size - 1;
    // Cut before a character, not inside its UTF-8 sequence.
    while (n > 0 && (static_cast<unsigned char>(field[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(out, field, n);
  out[n] = '\0';
  return true;
}

}  // namespace

int geo_scan_line(char* line, const char* pattern, size_t name_size, geo_line_fields* out) {
  if (!line || !pattern || !out) return 0;
  if (name_size > sizeof out->name) name_size = sizeof out->name;
  const size_t count = std::strlen(pattern);
  if (count > size_t(kGeoMaxFields)) return 0;
  char* cursor = line;
  for (size_t i = 0; i < count; ++i) {
    if (!cursor) return 0;  // the line ended before this field
    char* sep = std::strchr(cursor, ';');
    if (sep) *sep = '\0';
    bool ok = false;
    switch (pattern[i]) {
      case 'd': ok = scan_int(cursor, &out->ints[i]); break;
      case 'f': ok = scan_double(cursor, &out->doubles[i]); break;
      case 's': ok = scan_name(cursor, out->name, name_size); break;
      default: ok = false; break;
    }
    if (!ok) return 0;
    cursor = sep ? sep + 1 : nullptr;
  }
  return 1;
}

int geo_line_is_blank(const char* line) {
  if (!line) return 1;
  while (is_ascii_space(*line)) ++line;
  return *line == '\0' ? 1 : 0;
}

int geo_read_table(const char* file_name, const char* pattern, size_t name_size,
                   geo_line_fn fn, void* context) {
  std::FILE* file = open_file_resolved(file_name, "rb");
  if (!file) return set_gblerr(ERR_FILE_ACCESS);
  std::vector<char> buffer(kGeoLineMax);
  char* line = buffer.data();
  geo_line_fields fields;
  int records = 0;
  int err = 0;
  while (file_read_line(file, line, kGeoLineMax)) {
    if (geo_line_is_blank(line)) continue;
    // file_read_line keeps kGeoLineMax - 1 characters: a line that fills them may have
    // lost its end.
    const bool too_long = std::strlen(line) >= size_t(kGeoLineMax - 1);
    if (too_long || !geo_scan_line(line, pattern, name_size, &fields)) {
      err = ERR_BAD_FILE;
      break;
    }
    ++records;
    if (fn) fn(fields, context);
    set_gblerr(0);
  }
  std::fclose(file);
  if (!err && records == 0) err = ERR_BAD_FILE;
  return set_gblerr(err);
}
