// The decimal number reader of the file scanner (rd_scan_double, see scanner.h).
//
// The characters are read from the reader one by one and decide where the number ends;
// the digits are gathered into a decimal text that the system's exact number parser
// turns into the nearest double. Leading zeros only move the decimal place, and of a
// very long mantissa the first kKeptDigits significant digits are kept, a further
// non-zero digit being noted by one more '1': that many digits always decide the
// rounding of a double, so the text stays small however long the number is.
#include <algorithm>
#include <cstdio>

#include "core/error.h"
#include "core/reader.h"
#include "core/scanner.h"
#include "core/strutil.h"

namespace {

constexpr size_t kKeptDigits = 800;
// Decimal exponents beyond this already give infinity or zero.
constexpr int64_t kExponentLimit = 100000;

// The digits of a number as read: value = 0.digits x 10^place x 10^exponent.
class decimal_reader {
 public:
  void mantissa_digit(int digit, bool after_point) {
    if (!significant_ && digit == 0) {
      if (after_point) place_ = std::max(place_ - 1, -kExponentLimit);
      return;
    }
    significant_ = true;
    if (!after_point) place_ = std::min(place_ + 1, kExponentLimit);
    if (kept_ < kKeptDigits) {
      digits_[kept_++] = static_cast<char>('0' + digit);
    } else if (digit != 0) {
      sticky_ = true;
    }
  }
  void exponent_digit(int digit) { exponent_ = std::min(exponent_ * 10 + digit, kExponentLimit); }
  void set_negative(bool negative) { negative_ = negative; }
  void set_exponent_negative(bool negative) { exponent_negative_ = negative; }

  double value() const {
    char text[kKeptDigits + 48];
    size_t n = 0;
    if (negative_) text[n++] = '-';
    text[n++] = '0';
    text[n++] = '.';
    for (size_t i = 0; i < kept_; ++i) text[n++] = digits_[i];
    if (sticky_) text[n++] = '1';
    const int64_t exponent = std::clamp(place_ + (exponent_negative_ ? -exponent_ : exponent_),
                                        -kExponentLimit, kExponentLimit);
    std::snprintf(text + n, sizeof text - n, "e%lld", static_cast<long long>(exponent));
    double v = 0;
    parse_number(text, &v);
    return v;
  }

 private:
  char digits_[kKeptDigits];
  size_t kept_ = 0;
  bool sticky_ = false;
  bool significant_ = false;
  bool negative_ = false;
  bool exponent_negative_ = false;
  int64_t place_ = 0;
  int64_t exponent_ = 0;
};

// The next byte, or false at the end of the file (which ends a number without error).
bool next_byte(int* c) {
  if (rd_at_end()) return false;
  *c = rd_read_byte();
  return true;
}

// Reads the body of a number from its first character; the character that ends the
// number is consumed.
void read_number_body(int c, decimal_reader& d) {
  bool point = false;
  bool exponent = false;
  for (;;) {
    if (c >= '0' && c <= '9') {
      if (exponent) {
        d.exponent_digit(c - '0');
      } else {
        d.mantissa_digit(c - '0', point);
      }
    } else if (c == '.' && !point && !exponent) {
      point = true;
    } else if (c == 'e' && !exponent) {
      exponent = true;
      if (!next_byte(&c)) return;
      if (c == '+' || c == '-') {
        d.set_exponent_negative(c == '-');
      } else {
        continue;  // the exponent's first digit, or the character that ends the number
      }
    } else {
      return;  // 'E', a sign inside the number, a second '.' or 'e', classes 3 to 7
    }
    if (!next_byte(&c)) return;
  }
}

}  // namespace

double rd_scan_double() {
  int c = 0;
  do {
    if (rd_at_end()) {
      set_gblerr(ERR_FILE_ACCESS);
      return 0;
    }
    c = rd_read_byte();
  } while (char_class(c) >= CC_BLANK);
  decimal_reader d;
  if (c == '+' || c == '-') {
    d.set_negative(c == '-');
    if (!next_byte(&c)) return d.value();
  }
  read_number_body(c, d);
  return d.value();
}

double rd_scan_double_len(int64_t* bytes_left) {
  const double value = rd_scan_double();
  if (bytes_left) *bytes_left = rd_bytes_left();
  return value;
}
