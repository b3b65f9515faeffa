// Dates read from text: the fixed layouts of receivers and file formats (d/m/y,
// dd-MON-yy, ddmmyy, yymmdd, hh:mm:ss), ISO 8601 time stamps, and the month-name
// dictionary that turns "JAN" ... "DEC" into month numbers.
//
// Every layout is read the way a formatted scan reads it ("%2d" skips white space,
// takes an optional sign and at most two characters), but by a small scanner that is
// bounded by the text's end (its digits read by scan_digits with the field's width),
// so a short or truncated text never makes a field read past its NUL. A field that does not read stays 0; a month that is not 1..12 means
// the text holds no date and gives the empty date.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#include "core/dates.h"
#include "core/error.h"
#include "core/index.h"
#include "core/strutil.h"

namespace {

// Formatted-scan reader over text[pos, end).
struct field_scanner {
  const char* text;
  size_t end;
  size_t pos;

  void skip_space() {
    while (pos < end && is_ascii_space(text[pos])) ++pos;
  }

  // "%<width>d": white space, then a sign and digits within `width` characters.
  bool int_field(int width, int* out) {
    skip_space();
    size_t p = pos;
    const size_t stop = std::min(pos + static_cast<size_t>(width), end);
    bool negative = false;
    if (p < stop && (text[p] == '-' || text[p] == '+')) negative = text[p++] == '-';
    uint64_t value = 0;  // at most four digits: it fits an int
    const char* digits_end = scan_digits(text + p, stop - p, &value);
    if (digits_end == text + p) return false;
    pos = static_cast<size_t>(digits_end - text);
    *out = negative ? -static_cast<int>(value) : static_cast<int>(value);
    return true;
  }

  // A literal character of the layout.
  bool literal(char c) {
    if (pos >= end || text[pos] != c) return false;
    ++pos;
    return true;
  }

  // "%<width>s" into buf (width + 1 bytes): white space, then non-space characters.
  bool word_field(int width, char* buf) {
    skip_space();
    int n = 0;
    while (n < width && pos < end && !is_ascii_space(text[pos])) buf[n++] = text[pos++];
    buf[n] = '\0';
    return n > 0;
  }
};

field_scanner scan(const char* text) {
  if (!text) text = "";
  return field_scanner{text, std::strlen(text), 0};
}

// Scanner over one field of a fixed-position layout: text[pos, end), empty when the
// field lies beyond the end.
field_scanner scan_at(const char* text, size_t end, size_t pos) {
  return field_scanner{text, end, pos > end ? end : pos};
}

// Record of a packed date's day plus a fraction of a day; empty stays empty.
date_rec* day_plus_fraction(date_rec* out, double packed, double fraction) {
  if (packed == 0.0) {
    *out = kNoDate;
    return out;
  }
  int year, month;
  double day;
  date_split(packed, &year, &month, &day);
  return date_from_fields(out, year, month, static_cast<int>(day + 0.1) - 1 + fraction);
}

}  // namespace

date_rec* parse_date_dmy(date_rec* out, const char* text) {
  field_scanner s = scan(text);
  int d = 0, m = 0, y = 0;
  (void)(s.int_field(2, &d) && s.literal('/') && s.int_field(2, &m) && s.literal('/') &&
         s.int_field(4, &y));
  return date_from_fields(out, y, m, d - 1);
}

date_rec* parse_time_hms(const char* text, date_rec* rec) {
  field_scanner s = scan(text);
  int h = 0, m = 0, sec = 0;
  (void)(s.int_field(2, &h) && s.literal(':') && s.int_field(2, &m) && s.literal(':') &&
         s.int_field(2, &sec));
  return date_add_days(rec, hms_to_day_fraction(0.0, h, m, sec));
}

date_rec* parse_date_dmony(date_rec* out, const char* text) {
  field_scanner s = scan(text);
  int d = 0, yy = 0;
  char name[4] = "";
  (void)(s.int_field(2, &d) && s.literal('-') && s.word_field(3, name) && s.literal('-') &&
         s.int_field(2, &yy));
  return date_from_fields(out, year_from_two_digits(yy), month_from_name(name), d - 1);
}

double parse_date_ddmmyy(const char* text, double* out) {
  // Widths of day, month and year by the text's length (5 to 8 digits).
  static constexpr int kLayouts[4][3] = {{1, 2, 2}, {2, 2, 2}, {1, 2, 4}, {2, 2, 4}};
  field_scanner s = scan(text);
  double packed = 0.0;
  if (s.end >= 5 && s.end <= 8) {
    const int* w = kLayouts[s.end - 5];
    int d = 0, m = 0, y = 0;
    (void)(s.int_field(w[0], &d) && s.int_field(w[1], &m) && s.int_field(w[2], &y));
    if (w[2] == 2) y = year_from_two_digits(y);
    date_rec r;
    packed = date_from_fields(&r, y, m, d - 1)->date;
  }
  if (out) *out = packed;
  return packed;
}

date_rec* parse_date_ddmmyy_time(const char* text, date_rec* out, double fraction) {
  return day_plus_fraction(out, parse_date_ddmmyy(text, nullptr), fraction);
}

date_rec* parse_date_yymmdd(const char* text, date_rec* out, double fraction) {
  field_scanner s = scan(text);
  int y = 0, m = 0, d = 0;
  (void)(s.int_field(2, &y) && s.int_field(2, &m) && s.int_field(2, &d));
  date_rec r;
  const double packed = date_from_fields(&r, year_from_two_digits(y), m, d - 1)->date;
  return day_plus_fraction(out, packed, fraction);
}

// ---- ISO 8601 -------------------------------------------------------------------------

namespace {

// Where the date part ends and the time part begins: after 'T'; else two characters
// before the first ':'; else there is no time part (time_begin == len).
void iso_split(const char* text, size_t len, size_t* date_end, size_t* time_begin) {
  const char* t = std::strchr(text, 'T');
  const char* colon = std::strchr(text, ':');
  if (t) {
    *date_end = static_cast<size_t>(t - text);
    *time_begin = *date_end + 1;
  } else if (colon) {
    size_t c = static_cast<size_t>(colon - text);
    *date_end = *time_begin = c >= 2 ? c - 2 : 0;
  } else {
    *date_end = *time_begin = len;
  }
}

// Decimal fraction of a second after the '.' (or ',') that follows the seconds:
// as many digits as are written ("5" is half a second, "789" is 789 ms).
double iso_second_fraction(const char* text, size_t begin, size_t end) {
  if (begin + 1 >= end || (text[begin] != '.' && text[begin] != ',')) return 0.0;
  double value = 0.0, scale = 1.0;
  for (size_t p = begin + 1; p < end && is_ascii_digit(text[p]); ++p) {
    if (scale > 1e-9) {
      scale /= 10.0;
      value += (text[p] - '0') * scale;
    }
  }
  return value;
}

// The usual stamp "YYYY-MM-DDThh:mm:ss", alone or with 'Z': its six fields, as the
// general reading below finds them in that text (no fraction of a second). False for
// any other text.
bool read_plain_stamp(const char* text, int fields[6]) {
  static constexpr char kLayout[] = "dddd-dd-ddTdd:dd:dd";
  for (int i = 0; i < 19; ++i) {
    const char want = kLayout[i];
    if (want == 'd' ? !is_ascii_digit(text[i]) : text[i] != want) return false;
  }
  if (!(text[19] == '\0' || (text[19] == 'Z' && text[20] == '\0'))) return false;
  const auto two = [text](int at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); };
  fields[0] = two(0) * 100 + two(2);
  fields[1] = two(5);
  fields[2] = two(8);
  fields[3] = two(11);
  fields[4] = two(14);
  fields[5] = two(17);
  return true;
}

}  // namespace

date_rec* parse_date_iso_rec(date_rec* out, const char* text) {
  if (!text) text = "";
  int f[6];
  if (read_plain_stamp(text, f)) {  // most track points: spares the general scan
    const double frac = 0.0;
    const double days = f[2] - 1 + hms_to_day_fraction(0.0, f[3], f[4], f[5] + frac);
    // A day of its month and a time of day below 24 h need no normalizing: the record
    // is the one date_normalize gives, without its carrying loops.
    if (f[1] >= 1 && f[1] <= 12 && f[2] >= 1 && f[2] <= days_in_month(f[0], f[1]) &&
        f[3] <= 23 && f[4] <= 59 && f[5] <= 59) {
      out->date = static_cast<double>(int64_t(f[0]) * 10000 + f[1] * 100 + 1) + days;
      out->day = days + 1;
      return out;
    }
    return date_from_fields(out, f[0], f[1], days);
  }
  size_t len = std::strlen(text), date_end, tb;
  iso_split(text, len, &date_end, &tb);
  int year = 2000, month = 1, day = 1, h = 0, mi = 0, sec = 0;
  if (tb > 0) {
    // The date fields lie within the date part, so a time is never read as a date.
    if (date_end >= 4) scan_at(text, date_end, 0).int_field(4, &year);
    if (date_end >= 7) scan_at(text, date_end, 5).int_field(2, &month);
    if (date_end >= 10) scan_at(text, date_end, 8).int_field(2, &day);
  }
  size_t tl = len - tb;
  if (tl >= 2) scan_at(text, len, tb).int_field(2, &h);
  if (tl >= 5) scan_at(text, len, tb + 3).int_field(2, &mi);
  if (tl >= 8) scan_at(text, len, tb + 6).int_field(2, &sec);
  double frac = tl >= 10 ? iso_second_fraction(text, tb + 8, len) : 0.0;
  return date_from_fields(out, year, month, day - 1 + hms_to_day_fraction(0.0, h, mi, sec + frac));
}

double parse_date_iso(const char* text) {
  date_rec r;
  return parse_date_iso_rec(&r, text)->date;
}

// ---- Month names ----------------------------------------------------------------------

namespace {

// The dictionary's records live here; building stamps their ids.
month_name_t g_month_records[12];
constexpr const char* kMonthNames[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                         "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
// The name follows the two header words.
constexpr int kMonthNameOffset = static_cast<int>(sizeof(obj_t));
static_assert(sizeof(month_name_t) == sizeof(obj_t) + sizeof(char*) + sizeof(int32_t));

// Written at start-up, read by any thread that parses dates.
std::atomic<container_t*> g_month_dict{nullptr};

}  // namespace

// While an error is pending no object is freed (free_obj keeps them), so neither
// routine touches the dictionary then: a rebuild would leak the old one and build an
// incomplete new one.
void month_names_init() {
  if (get_gblerr() != 0) return;
  month_names_free();
  obj_register_class(CLS_MONTH_NAME, static_cast<int>(sizeof(month_name_t)), nullptr);
  container_t* dict = nullptr;
  index_create(CLS_MONTH_NAME, AT_STRING, kMonthNameOffset, &dict);
  for (int i = 0; i < 12 && dict && get_gblerr() == 0; ++i) {
    month_name_t& r = g_month_records[i];
    r.id = 0;
    r.cls = CLS_MONTH_NAME;
    r.name = const_cast<char*>(kMonthNames[i]);
    r.value = i + 1;
    index_insert(dict, &r);
  }
  g_month_dict.store(dict, std::memory_order_release);
}

void month_names_free() {
  if (get_gblerr() != 0) return;
  // The records are static: freeing the index releases only its own array.
  obj_t* dict = g_month_dict.exchange(nullptr);
  free_obj(&dict);
}

const container_t* month_names_dict() { return g_month_dict.load(std::memory_order_acquire); }

int month_from_name(const char* text) {
  if (!text) return 0;
  char key[4];
  for (int i = 0; i < 3; ++i) {
    char c = text[i];
    if (c == '\0') return 0;
    key[i] = ascii_upper(c);
  }
  key[3] = '\0';
  const container_t* dict = month_names_dict();
  month_name_t* found = nullptr;
  if (dict) index_get(dict, key, &found);
  return found ? found->value : 0;
}
