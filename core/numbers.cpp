// Numbers: rounding and clamping, the decimal parser of the text formats, the
// 16-significant-digit writer and the integer parsers (see strutil.h).
//
// The decimal parser gathers the significant digits and the decimal place of the
// first one, then hands a plain "digits e exponent" text to std::from_chars, which
// rounds correctly and never depends on the locale. Exponents are saturated while they
// are read, so a hostile "1e999999999999" gives inf without overflowing an integer.
// str_to_double is the same reader behind the runtime's conventions (white space, one
// sign, 'E' as well as 'e'). Every decimal digit, exponent and integer goes through
// scan_digits or the mantissa reader, but for the short numbers of parse_number (at
// most 15 digits, no exponent), which are read in one pass to the same value.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/strutil.h"

// ---- Rounding and clamping ----------------------------------------------------------

int round_to_int(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  const double whole = std::trunc(value);
  const double dropped = value - whole;
  int result = static_cast<int>(whole);
  if (dropped > 0.5) ++result;
  if (dropped < -0.5) --result;
  return result;
}

int double_to_byte(double value) {
  if (!(value >= 0.5)) return 0;  // NaN included
  if (value >= 254.5) return 255;
  return static_cast<int>(value + 0.5);
}

int clamp_byte(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

int double_equal_tol(double a, double b, double tolerance) {
  return std::fabs(a - b) < tolerance ? 1 : 0;
}

// ---- Writing numbers ----------------------------------------------------------------

namespace {

// Copies `text` into buf (cut to size - 1 bytes, always NUL-terminated).
char* copy_bounded(const char* text, char* buf, size_t size) {
  std::snprintf(buf, size, "%s", text);
  return buf;
}

// Removes the zeros that end the decimals, and the point when nothing follows it.
void strip_trailing_zeros(char* text) {
  if (!std::strchr(text, '.')) return;  // printed without decimals: keep its zeros
  size_t n = std::strlen(text);
  while (n > 0 && text[n - 1] == '0') text[--n] = '\0';
  if (n > 0 && text[n - 1] == '.') text[--n] = '\0';
}

// The plain form: digits before the point from log10, 16 significant digits in all.
// Any finite double fits in `out` (at most 309 integer digits, or "0." and 338
// decimals for the smallest subnormal).
void format_plain(double value, char (&out)[400]) {
  const int e = static_cast<int>(std::log10(std::fabs(value))) + 1;
  int width = e > 0 ? (e > 16 ? e : 16) : 16 - e;
  const int precision = 15 - e > 0 ? 15 - e : 0;
  if (value < 0) ++width;
  std::snprintf(out, sizeof out, "%*.*f", width, precision, value);
  // The width only pads when log10 rounded up to the next power of ten.
  size_t lead = std::strspn(out, " ");
  if (lead) std::memmove(out, out + lead, std::strlen(out + lead) + 1);
  strip_trailing_zeros(out);
}

}  // namespace

char* format_double_sig(double value, char* buf, size_t size) {
  if (!buf || size == 0) return buf;
  if (std::isnan(value)) return copy_bounded("nan", buf, size);
  if (std::isinf(value)) return copy_bounded(value < 0 ? "-inf" : "inf", buf, size);
  if (value == 0) return copy_bounded("0", buf, size);
  char plain[400];
  format_plain(value, plain);
  if (std::strlen(plain) < size) return copy_bounded(plain, buf, size);
  // Too long for the caller's buffer: the exponent form of the same 16 digits.
  std::snprintf(buf, size, "%.16g", value);
  return buf;
}

char* format_double_dot(double value, const char* format, char* buf, size_t size) {
  if (!buf || size == 0) return buf;
  if (!format) format = "%g";
  std::snprintf(buf, size, format, value);
  if (char* comma = std::strchr(buf, ',')) *comma = '.';
  return buf;
}

// ---- Reading numbers ----------------------------------------------------------------

namespace {

// Significant digits kept. A halfway point between two doubles has at most 767
// significant digits, so with more than that kept, a further digit can only tell
// whether the text lies above the value the kept digits spell: one nonzero digit
// dropped is remembered, and written back as a trailing 1 (a "sticky" digit).
constexpr int kMaxDigits = 800;
// Exponent magnitudes are saturated here: far outside the range of a double, far inside
// the range of the integers that hold them.
constexpr long long kExponentCap = 1000000;

struct decimal_text {
  char digits[kMaxDigits];  // significant digits, without leading zeros
  int count = 0;
  uint64_t value = 0;            // the first 19 digits as an integer
  bool dropped_nonzero = false;  // a digit beyond kMaxDigits was not 0
  long long place = 0;           // value = digits x 10^place
  bool negative = false;
};

// Reads the mantissa (digits with at most one separator); returns the end.
const char* read_mantissa(const char* p, decimal_text& d) {
  bool after_separator = false;
  for (;; ++p) {
    const char c = *p;
    if (c == '.' || c == ',') {
      if (after_separator) return p;
      after_separator = true;
      continue;
    }
    if (!is_ascii_digit(c)) return p;
    if (d.count == 0 && c == '0') {
      if (after_separator) d.place = std::max(d.place - 1, -kExponentCap * 4);
      continue;
    }
    if (d.count < kMaxDigits) {
      if (d.count < 19) d.value = d.value * 10 + uint64_t(c - '0');
      d.digits[d.count++] = c;
      if (after_separator) --d.place;
    } else {
      if (c != '0') d.dropped_nonzero = true;
      if (!after_separator) d.place = std::min(d.place + 1, kExponentCap * 4);
    }
  }
}

// Reads "e" (or "E" with `either_case`), an optional sign and digits at p when p holds
// the letter; returns the end.
const char* read_exponent(const char* p, long long* exponent, bool either_case) {
  *exponent = 0;
  if (*p != 'e' && !(either_case && *p == 'E')) return p;
  ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  uint64_t value = 0;
  p = scan_digits(p, SIZE_MAX, &value);
  const long long capped = static_cast<long long>(std::min<uint64_t>(value, kExponentCap));
  *exponent = negative ? -capped : capped;
  return p;
}

// Powers of ten that a double holds exactly.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

double decimal_to_double(const decimal_text& d) {
  if (d.count == 0) return d.negative ? -0.0 : 0.0;
  // Up to 15 digits and a power of ten up to 22: both are exact doubles, so one
  // multiplication or division rounds correctly, as from_chars would (the common case
  // of coordinates and heights, without the text round trip).
  if (d.count <= 15 && !d.dropped_nonzero && d.place >= -22 && d.place <= 22) {
    const double m = static_cast<double>(d.value);
    const double value = d.place >= 0 ? m * kExactPowers[d.place] : m / kExactPowers[-d.place];
    return d.negative ? -value : value;
  }
  long long place = std::clamp(d.place, -kExponentCap * 8, kExponentCap * 8);
  char text[kMaxDigits + 32];
  std::memcpy(text, d.digits, d.count);
  int count = d.count;
  if (d.dropped_nonzero) {
    text[count++] = '1';
    --place;
  }
  const int n = count + std::snprintf(text + count, sizeof text - count, "e%lld", place);
  double value = 0;
  const auto result = std::from_chars(text, text + n, value);
  if (result.ec == std::errc::result_out_of_range) {
    // The decimal place of the leading digit tells overflow from underflow.
    value = place + count > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return d.negative ? -value : value;
}

// The common short number (coordinates, heights): at most 15 digits in all, leading
// zeros included, one separator at most and no exponent. Its digits and its power of
// ten are exact doubles, so one division rounds correctly and gives what the general
// reader gives; anything else returns null and goes the general way.
const char* read_short_number(const char* p, bool negative, double* out) {
  uint64_t value = 0;
  int digits = 0, decimals = -1;
  for (;; ++p) {
    const char c = *p;
    if (is_ascii_digit(c)) {
      if (digits == 15) return nullptr;
      value = value * 10 + uint64_t(c - '0');
      ++digits;
      if (decimals >= 0) ++decimals;
    } else if ((c == '.' || c == ',') && decimals < 0) {
      decimals = 0;
    } else {
      break;
    }
  }
  if (*p == 'e') return nullptr;
  const double m = static_cast<double>(value);
  const double v = decimals > 0 ? m / kExactPowers[decimals] : m;
  *out = negative ? -v : v;
  return p;
}

}  // namespace

const char* parse_number(const char* text, double* out) {
  if (!text) {
    *out = 0;
    return nullptr;
  }
  const char* p = text;
  decimal_text d;
  if (*p == '+') ++p;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  if (const char* end = read_short_number(p, d.negative, out)) {
    if (*end != '\0' && end[1] == '\0') ++end;
    return end;
  }
  p = read_mantissa(p, d);
  long long exponent = 0;
  p = read_exponent(p, &exponent, false);
  d.place += exponent;
  *out = decimal_to_double(d);
  // A number ended by the last character of the text (a trailing separator) returns
  // the end of the text.
  if (*p != '\0' && p[1] == '\0') ++p;
  return p;
}

const char* parse_float(const char* text, float* out) {
  double value = 0;
  const char* end = parse_number(text, &value);
  *out = static_cast<float>(value);
  return end;
}

double str_to_double(const char* text) {
  if (!text) return 0.0;
  while (is_ascii_space(*text)) ++text;
  // The runtime's reading: one sign, and an exponent letter of either case; the digits
  // go through the same exact reader as parse_number.
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  double value = 0.0;
  if (const char* end = read_short_number(text, negative, &value); end && *end != 'E')
    return value;
  decimal_text d;
  d.negative = negative;
  long long exponent = 0;
  read_exponent(read_mantissa(text, d), &exponent, true);
  d.place += exponent;
  return decimal_to_double(d);
}

// ---- Integers -----------------------------------------------------------------------

const char* scan_digits(const char* text, size_t max_digits, uint64_t* out) {
  uint64_t value = 0;
  const char* p = text;
  for (; static_cast<size_t>(p - text) < max_digits && is_ascii_digit(*p); ++p) {
    const unsigned digit = static_cast<unsigned>(*p - '0');
    value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
  }
  *out = value;
  return p;
}

const char* parse_uint64(const char* text, uint64_t* out) {
  if (!text) {
    *out = 0;
    return nullptr;
  }
  return scan_digits(text, SIZE_MAX, out);
}

const char* parse_uint(const char* text, uint32_t* out) {
  uint64_t value = 0;
  const char* end = parse_uint64(text, &value);
  *out = value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
  return end;
}

const char* parse_int64(const char* text, int64_t* out) {
  if (!text) {
    *out = 0;
    return nullptr;
  }
  const bool negative = *text == '-';
  uint64_t magnitude = 0;
  const char* end = scan_digits(text + (negative ? 1 : 0), SIZE_MAX, &magnitude);
  if (negative) {
    *out = magnitude >= uint64_t(INT64_MAX) + 1 ? INT64_MIN : -static_cast<int64_t>(magnitude);
  } else {
    *out = magnitude > uint64_t(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(magnitude);
  }
  return end;
}

const char* parse_int(const char* text, int32_t* out) {
  int64_t value = 0;
  const char* end = parse_int64(text, &value);
  *out = static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
  return end;
}

int parse_uint_strict(const char* text, uint32_t* out) {
  if (!text) return 0;
  uint64_t value = 0;
  const char* end = scan_digits(text, SIZE_MAX, &value);
  *out = value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
  return *end == '\0' && value <= UINT32_MAX ? 1 : 0;
}
