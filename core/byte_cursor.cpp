// Hexadecimal helpers of the byte cursors (see byte_cursor.h).
#include "core/byte_cursor.h"

int hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

namespace {
int nibble(char c) {
  const int v = hex_digit_value(c);
  return v < 0 ? 0 : v;
}
}  // namespace

void hex_to_bytes(const char* text, size_t n, uint8_t* out) {
  if (n == 0) return;
  std::memset(out, 0, n);
  if (!text) return;
  // Only the first 2n digits count, so the text is never read further than that.
  const size_t limit = n > SIZE_MAX / 2 ? SIZE_MAX : 2 * n;
  size_t digits = 0;
  while (digits < limit && text[digits] != '\0') ++digits;
  for (size_t i = 0; i < digits; ++i) {
    const size_t from_end = digits - 1 - i;  // 0 for the last digit used
    const int shift = from_end % 2 ? 4 : 0;
    out[from_end / 2] |= static_cast<uint8_t>(nibble(text[i]) << shift);
  }
}

int get_hex_byte(const char** cursor, uint8_t* out) {
  const char* p = *cursor;
  int value = 0;
  int valid = 1;
  for (int i = 0; i < 2; ++i) {
    const int digit = *p == '\0' ? -1 : hex_digit_value(*p);
    if (digit < 0) valid = 0;
    value = value << 4 | (digit < 0 ? 0 : digit);
    if (*p != '\0') ++p;
  }
  *cursor = p;
  if (out) *out = static_cast<uint8_t>(value);
  return valid;
}
