// The field readers of the version-2 text syntax: integer, real and delimited string
// fields each ended by ';', whole lines, and the blanks skipped between fields. They
// read the buffered reader's current file byte by byte and never read past its end:
// the end of the data inside a field is a record cut short (14).
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "core/error.h"
#include "core/memory.h"
#include "core/object.h"
#include "core/reader.h"
#include "core/wstring.h"
#include "formats/gpstext.h"
#include "formats/gpstext_internal.h"

namespace gpstext {

namespace {

// The bytes of the current file are taken from the buffered reader a block at a time
// and served from here: a field is read byte by byte, and a call into the reader per
// byte would cost more than the parsing.
constexpr int64_t kWindow = 64 * 1024;
struct window {
  uint8_t bytes[kWindow];
  int64_t pos = 0;
  int64_t len = 0;
};
window g_window;

bool refill() {
  const int64_t n = std::min<int64_t>(kWindow, rd_bytes_left());
  g_window.pos = 0;
  g_window.len = n > 0 ? rd_read_bytes(g_window.bytes, n) : 0;
  return g_window.len > 0;
}

}  // namespace

void reset_window() {
  g_window.pos = 0;
  g_window.len = 0;
}

int next_byte() {
  if (g_window.pos == g_window.len && !refill()) return -1;
  return g_window.bytes[g_window.pos++];
}

int peek_byte() {
  if (g_window.pos == g_window.len && !refill()) return -1;
  return g_window.bytes[g_window.pos];
}

bool at_end() { return peek_byte() == -1; }

bool parse_int(const char* text, const char* end, int32_t* out) {
  if (text < end && *text == '+') ++text;
  if (text == end) return false;
  const auto r = std::from_chars(text, end, *out);
  return r.ec == std::errc() && r.ptr == end;
}

}  // namespace gpstext

namespace {

// The text of a number field up to its ';' (taken, as are the blanks after it) into
// `text`; its length in *n. 14 when cut short, longer than allowed or holding a NUL.
int read_number_text(char* text, int* n) {
  int len = 0;
  for (;;) {
    const int b = gpstext::next_byte();
    if (b == ';') break;
    if (b <= 0 || len == kTmNumberFieldMax) return ERR_BAD_FILE;
    text[len++] = char(b);
  }
  text[len] = '\0';
  *n = len;
  tm_skip_blanks();
  return 0;
}

}  // namespace

void tm_skip_blanks() {
  for (int b = gpstext::peek_byte(); b == ' ' || b == '\r' || b == '\n'; b = gpstext::peek_byte())
    gpstext::next_byte();
}

int tm_read_int_field(int32_t* out) {
  char text[kTmNumberFieldMax + 1];
  int n = 0;
  if (read_number_text(text, &n) != 0) return ERR_BAD_FILE;
  if (n == 0) {
    *out = NULL_INT;
    return 0;
  }
  return gpstext::parse_int(text, text + n, out) ? 0 : ERR_BAD_FILE;
}

int tm_read_real_field(double* out) {
  char text[kTmNumberFieldMax + 1];
  int n = 0;
  if (read_number_text(text, &n) != 0) return ERR_BAD_FILE;
  if (n == 0) {
    *out = NULL_DOUBLE;
    return 0;
  }
  const char* start = text[0] == '+' ? text + 1 : text;
  const auto r = std::from_chars(start, text + n, *out);
  if (r.ec != std::errc() || r.ptr != text + n || !std::isfinite(*out)) {
    set_gblerr(ERR_FILE_ACCESS);  // the value does not read as a number
    return ERR_BAD_FILE;
  }
  return 0;
}

int tm_read_string_field(char** owner) {
  free_mem(owner);
  const int delimiter = gpstext::next_byte();
  if (delimiter <= 0) return ERR_BAD_FILE;
  if (delimiter == ';') {  // an empty field: no text
    tm_skip_blanks();
    return 0;
  }
  char text[kTmStringFieldMax + 1];
  int len = 0;
  for (;;) {
    const int b = gpstext::next_byte();
    if (b == delimiter) break;
    if (b <= 0 || len == kTmStringFieldMax) return ERR_BAD_FILE;
    text[len++] = char(b);
  }
  text[len] = '\0';
  if (gpstext::next_byte() != ';' || !utf8_is_valid(text)) return ERR_BAD_FILE;
  tm_skip_blanks();
  str_set(text, owner);
  return *owner ? 0 : ERR_MEMORY;
}

int tm_read_line_field(char* buffer) {
  int len = 0;
  for (int b = gpstext::next_byte(); b != -1 && b != '\n'; b = gpstext::next_byte()) {
    if (b == 0 || len > kTmStringFieldMax) return ERR_BAD_FILE;
    buffer[len++] = char(b);
  }
  if (len > 0 && buffer[len - 1] == '\r') --len;
  if (len > kTmStringFieldMax) return ERR_BAD_FILE;
  buffer[len] = '\0';
  return 0;
}
