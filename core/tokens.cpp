// Tokenisers over a NUL-terminated text in memory (see scanner.h).
//
// Every loop that skips a class of characters tests the NUL first: the NUL is in class
// 7 ("other"), so a skip over classes 2 to 7 would otherwise run past the end of the
// text. Copies into a caller's buffer go through store_run, which never writes more
// than the buffer's size.
#include <cstring>

#include "core/memory.h"
#include "core/scanner.h"
#include "core/strutil.h"

namespace {

// Stores `n` characters from `run` and a NUL when they fit in `size` bytes; else "".
// Returns 1 when the run was stored.
int store_run(const char* run, size_t n, size_t size, char* buffer) {
  if (size == 0) return 0;
  if (n + 1 > size) {
    buffer[0] = '\0';
    return 0;
  }
  std::memcpy(buffer, run, n);
  buffer[n] = '\0';
  return 1;
}

// Stores at most size - 1 characters of the run and a NUL.
void store_cut(const char* run, size_t n, size_t size, char* buffer) {
  if (size == 0) return;
  if (n > size - 1) n = size - 1;
  std::memcpy(buffer, run, n);
  buffer[n] = '\0';
}

bool in_classes(char c, int first, int last) {
  const int k = char_class(c);
  return k >= first && k <= last;
}

// Moves p over characters of classes first..last, stopping at the NUL.
const char* skip_classes(const char* p, int first, int last) {
  while (*p != '\0' && in_classes(*p, first, last)) ++p;
  return p;
}

const char* skip_run(const char* p, int first, int last) {
  while (in_classes(*p, first, last)) ++p;  // the NUL is class 7: never in 0..2
  return p;
}

// A run of digits (and signs when `signs`) of 1 to 14 characters after the skipped
// characters; otherwise 0, the cursor left at the run.
int64_t next_integer(const char** cursor, bool signs) {
  const int last_run_class = signs ? CC_SIGN : CC_DIGIT;
  const char* p = skip_classes(*cursor, last_run_class + 1, CC_OTHER);
  *cursor = p;
  const char* end = skip_run(p, CC_DIGIT, last_run_class);
  const size_t n = static_cast<size_t>(end - p);
  if (n < 1 || n > 14) return 0;
  *cursor = end;
  return integer_run_value(p, n);
}

bool is_line_end(char c) { return c == '\n' || c == '\r'; }

// A character that ends a field: the separator, a line end when asked, the NUL.
bool ends_field(char c, int stop_at_line_end, char separator) {
  return c == '\0' || c == separator || (stop_at_line_end && is_line_end(c));
}

}  // namespace

int64_t integer_run_value(const char* run, size_t n) {
  char text[20];
  store_cut(run, n, sizeof text, text);
  const char* p = text;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  uint64_t magnitude = 0;
  scan_digits(p, 18, &magnitude);  // 18 digits always fit in 63 bits
  const int64_t value = static_cast<int64_t>(magnitude);
  return negative ? -value : value;
}

// ---- Lines ------------------------------------------------------------------------------

int64_t line_offset(const char* text, int64_t n, int64_t* out) {
  if (!text) text = "";
  int64_t offset = 0;
  if (n < 0) {
    offset = static_cast<int64_t>(std::strlen(text));
  } else if (n > 0) {
    const char* p = text;
    for (int64_t line = 1; line < n && *p != '\0'; ++line) {
      const char* lf = std::strchr(p, '\n');
      p = lf ? lf + 1 : p + std::strlen(p);
    }
    offset = p - text;
  }
  if (out) *out = offset;
  return offset;
}

char* next_line(const char* text, int64_t n, char** owner, int64_t* offset) {
  if (!text) text = "";
  int64_t start = offset && *offset >= 0 ? *offset : line_offset(text, n, nullptr);
  const char* line = text + start;
  const char* lf = std::strchr(line, '\n');
  const size_t length = lf ? static_cast<size_t>(lf - line) : std::strlen(line);
  char* copy = alloc_mem(owner, length + 1);
  std::memcpy(copy, line, length);
  copy[length] = '\0';
  if (offset) *offset = start + static_cast<int64_t>(length) + (lf ? 1 : 0);
  return copy;
}

// ---- Tokens -----------------------------------------------------------------------------

void skip_blanks(const char** cursor) {
  const char* p = *cursor;
  while (char_class(*p) == CC_BLANK) ++p;
  *cursor = p;
}

char* next_token(size_t size, const char** cursor, char* buffer) {
  skip_blanks(cursor);
  const char* p = *cursor;
  const char* end = p;
  while (*end != '\0' && char_class(*end) != CC_BLANK) ++end;
  if (store_run(p, static_cast<size_t>(end - p), size, buffer)) *cursor = end;
  return buffer;
}

int64_t next_token_long(const char** cursor) { return next_integer(cursor, true); }

int64_t next_token_ulong(const char** cursor) { return next_integer(cursor, false); }

double next_token_double(const char** cursor) {
  const char* p = skip_classes(*cursor, CC_BLANK, CC_OTHER);
  *cursor = p;
  const char* end = skip_run(p, CC_DIGIT, CC_NUMBER);
  const size_t n = static_cast<size_t>(end - p);
  if (n > 24) return 0;
  // The run is parsed from a copy: the parser takes ',' as a decimal separator, and the
  // ',' after a run ends the token here.
  char text[25];
  store_cut(p, n, sizeof text, text);
  double value = 0;
  parse_number(text, &value);
  *cursor = end;
  return value;
}

char* next_quoted(size_t size, const char** cursor, char* buffer) {
  const char* open = std::strchr(*cursor, '"');
  if (!open) {
    *cursor += std::strlen(*cursor);
    store_cut("", 0, size, buffer);
    return buffer;
  }
  const char* text = open + 1;
  const char* close = std::strchr(text, '"');
  const char* end = close ? close : text + std::strlen(text);
  store_cut(text, static_cast<size_t>(end - text), size, buffer);
  *cursor = close ? close + 1 : end;
  return buffer;
}

// ---- Fields -------------------------------------------------------------------------------

char* get_field(size_t size, int stop_at_line_end, char separator, const char** cursor,
                char* buffer) {
  const char* p = *cursor;
  while (char_class(*p) == CC_BLANK && *p != separator &&
         !(stop_at_line_end && is_line_end(*p)))
    ++p;
  const char* end = p;
  while (!ends_field(*end, stop_at_line_end, separator)) ++end;
  store_run(p, static_cast<size_t>(end - p), size, buffer);
  *cursor = *end == separator && *end != '\0' ? end + 1 : end;
  return buffer;
}

int64_t count_field_chars(int stop_at_line_end, char separator, const char* text,
                          int64_t* out) {
  if (!text) text = "";
  int64_t fields = 0;
  bool at_field_start = true;
  for (const char* p = text; *p != '\0'; ++p) {
    const bool boundary = *p == separator || (stop_at_line_end && is_line_end(*p));
    if (!boundary && at_field_start) ++fields;
    at_field_start = boundary;
  }
  if (out) *out = fields;
  return fields;
}

int64_t count_line_chars(const char* text, int64_t* out) {
  if (!text) text = "";
  int64_t lines = 0;
  bool in_line = false;
  for (const char* p = text; *p != '\0'; ++p) {
    const bool end = is_line_end(*p);
    if (!end && !in_line) ++lines;
    in_line = !end;
  }
  if (out) *out = lines;
  return lines;
}
