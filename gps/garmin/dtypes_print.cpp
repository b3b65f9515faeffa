// Record lines and column-flag lines of the Garmin D-types. Each line is a run of fields
// that each end with ';': quoted texts ("%c%s%c" with a quote the text lacks), positions
// longitude first in degrees "%.15lf", floats "%.12le", colours "%03d" and receiver times
// as quoted ISO 8601 UTC texts.
//
// A line is put together in memory and written at once: a long track is tens of
// thousands of lines, and the numbers are formatted by std::to_chars, whose text for a
// precision is that of printf in the C locale (exact value, ties to even), without
// printf's per-call cost.
#include <charconv>
#include <cstring>
#include <iterator>
#include <string>

#include "core/dates.h"
#include "core/strutil.h"
#include "formats/garmin_symbols.h"
#include "gps/garmin/dtypes_internal.h"

namespace {

constexpr garmin_colspec T(garmin_txt s) { return {GC_TEXT, static_cast<uint8_t>(s)}; }
constexpr garmin_colspec I(garmin_num s) { return {GC_NUM, static_cast<uint8_t>(s)}; }
constexpr garmin_colspec F(garmin_flt s) { return {GC_FLT, static_cast<uint8_t>(s)}; }
constexpr garmin_colspec POS{GC_POS, 0}, ICON{GC_ICON, 0}, TIME{GC_TIME, 0}, CNT{GC_COUNT, 0},
    ALT16{GC_ALT16, GN_ALT_I16}, NEWSEG{GC_NEWSEG, 0}, END{GC_END, 0};
constexpr garmin_colspec RGB{GC_RGB, GN_COLOUR}, RGB5{GC_RGB_LOW5, GN_DSPL};

constexpr garmin_colspec kL100[] = {T(GT_IDENT), POS, T(GT_CMNT), END};
constexpr garmin_colspec kL101[] = {T(GT_IDENT), POS, T(GT_CMNT), ICON, I(GN_SMBL), END};
constexpr garmin_colspec kL103[] = {T(GT_IDENT), POS, T(GT_CMNT), I(GN_SMBL), I(GN_SMBL), I(GN_DSPL), END};
constexpr garmin_colspec kL104[] = {T(GT_IDENT), POS, T(GT_CMNT), ICON, I(GN_SMBL), {GC_DSPL104, 0}, END};
constexpr garmin_colspec kL105[] = {T(GT_IDENT), POS, ICON, I(GN_SMBL), END};
constexpr garmin_colspec kL106[] = {T(GT_IDENT), POS,         T(GT_LNK_IDENT), ICON,
                                    I(GN_SMBL),  I(GN_CLASS), T(GT_SUBCLASS),  END};
constexpr garmin_colspec kL107[] = {T(GT_IDENT), POS, T(GT_CMNT), I(GN_SMBL), I(GN_SMBL), I(GN_DSPL), RGB, END};
#define PLACE T(GT_SUBCLASS), T(GT_CC), T(GT_STATE), T(GT_CITY), T(GT_FACILITY), END
constexpr garmin_colspec kL108[] = {T(GT_IDENT), POS,        T(GT_CMNT),  ICON, I(GN_SMBL), I(GN_DSPL),
                                    RGB,         F(GF_ALT), F(GF_DPTH), I(GN_CLASS), PLACE};
constexpr garmin_colspec kL109[] = {T(GT_IDENT), POS,        T(GT_CMNT),  ICON, I(GN_SMBL), I(GN_DSPL),
                                    RGB5,        F(GF_ALT), F(GF_DPTH), I(GN_CLASS), PLACE};
constexpr garmin_colspec kL110[] = {T(GT_IDENT), POS,        T(GT_CMNT), ICON,        I(GN_SMBL),
                                    I(GN_DSPL),  RGB5,       F(GF_ALT),  F(GF_DPTH), F(GF_TEMP),
                                    TIME,        I(GN_CLASS), PLACE};
#define TOWN I(GN_CLASS), T(GT_CC), T(GT_STATE), T(GT_CITY), T(GT_NAME), END
constexpr garmin_colspec kL150[] = {T(GT_IDENT), POS, T(GT_CMNT), ALT16, TOWN};
constexpr garmin_colspec kL154[] = {T(GT_IDENT), POS, T(GT_CMNT), ICON, I(GN_SMBL), ALT16, TOWN};
constexpr garmin_colspec kL155[] = {T(GT_IDENT), POS,   T(GT_CMNT), ICON, I(GN_SMBL), {GC_DSPL155, 0},
                                    ALT16,       TOWN};
constexpr garmin_colspec kL300[] = {POS, TIME, I(GN_NEW_TRK), END};
constexpr garmin_colspec kL301[] = {POS, TIME, I(GN_NEW_TRK), F(GF_ALT), F(GF_DPTH), END};
constexpr garmin_colspec kL302[] = {POS, TIME, I(GN_NEW_TRK), F(GF_ALT), F(GF_DPTH), F(GF_TEMP), END};
constexpr garmin_colspec kL303[] = {POS, TIME, NEWSEG, F(GF_ALT), END};
constexpr garmin_colspec kL310[] = {T(GT_IDENT), RGB, I(GN_DSPL), CNT, END};
constexpr garmin_colspec kL311[] = {I(GN_INDEX), CNT, END};
constexpr garmin_colspec kL200[] = {I(GN_NMBR), CNT, END};
constexpr garmin_colspec kL201[] = {I(GN_NMBR), T(GT_CMNT), CNT, END};
constexpr garmin_colspec kL202[] = {T(GT_IDENT), CNT, END};

constexpr uint8_t kF100[] = {1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kF101[] = {1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kF103[] = {1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kF104[] = {1, 1, 1, 1, 1, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kF105[] = {1, 1, 1, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kF106[] = {1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0};
constexpr uint8_t kF107[] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kF108[] = {1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1, 1, 1, 1, 1};
constexpr uint8_t kF110[] = {1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
constexpr uint8_t kF150[] = {1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 1, 1};
constexpr uint8_t kF154[] = {1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 1, 1};
constexpr uint8_t kF155[] = {1, 1, 1, 1, 1, 2, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 1, 1};
constexpr uint8_t kF300[] = {1, 1, 1, 1, 0, 0, 0};
constexpr uint8_t kF301[] = {1, 1, 1, 1, 1, 1, 0};
constexpr uint8_t kF302[] = {1, 1, 1, 1, 1, 1, 1};
constexpr uint8_t kF303[] = {1, 1, 1, 1, 1, 0, 0};
constexpr uint8_t kF310[] = {1, 0, 1, 1, 1, 0, 1, 1};
constexpr uint8_t kF311[] = {0, 1, 0, 0, 0, 0, 0, 1};
constexpr uint8_t kF200[] = {1, 0, 0, 0, 0, 0, 1};
constexpr uint8_t kF201[] = {1, 0, 1, 0, 0, 0, 1};
constexpr uint8_t kF202[] = {0, 1, 0, 0, 0, 0, 1};

#define LAY(n, l, f) {n, l, f, static_cast<uint8_t>(std::size(f))}
const garmin_layout kLayouts[] = {
    LAY(100, kL100, kF100), LAY(101, kL101, kF101), LAY(102, kL101, kF101), LAY(103, kL103, kF103),
    LAY(104, kL104, kF104), LAY(105, kL105, kF105), LAY(106, kL106, kF106), LAY(107, kL107, kF107),
    LAY(108, kL108, kF108), LAY(109, kL109, kF108), LAY(110, kL110, kF110), LAY(150, kL150, kF150),
    LAY(151, kL150, kF150), LAY(152, kL150, kF150), LAY(154, kL154, kF154), LAY(155, kL155, kF155),
    LAY(300, kL300, kF300), LAY(301, kL301, kF301), LAY(302, kL302, kF302), LAY(303, kL303, kF303),
    LAY(304, kL303, kF303), LAY(310, kL310, kF310), LAY(311, kL311, kF311), LAY(312, kL310, kF310),
    LAY(200, kL200, kF200), LAY(201, kL201, kF201), LAY(202, kL202, kF202)};

double degrees(uint32_t semicircles) {
  return static_cast<int32_t>(semicircles) * 180.0 / 2147483648.0;
}

// The text of one line; reused by the lines a thread writes.
class line_text {
 public:
  line_text() : s_(text()) { s_.clear(); }
  // Room for n more bytes at the end; commit(p) then ends the text at p.
  char* room(size_t n) {
    used_ = s_.size();
    s_.resize(used_ + n);
    return s_.data() + used_;
  }
  void commit(const char* end) { s_.resize(size_t(end - s_.data())); }
  void put(char c) { s_.push_back(c); }
  void put(const char* t) { s_.append(t); }
  void write(FILE* f) { std::fwrite(s_.data(), 1, s_.size(), f); }

 private:
  static std::string& text() {
    thread_local std::string t;
    return t;
  }
  std::string& s_;
  size_t used_ = 0;
};

// Room for any one number these lines hold ("-1.234567890123e+308;" and the like).
constexpr size_t kNumberRoom = 40;

void put_int(line_text& out, int v) {
  char* p = out.room(kNumberRoom);
  out.commit(garmin_put_int(p, v));
  out.put(';');
}

void put_real(line_text& out, double v) {
  char* p = out.room(kNumberRoom);
  out.commit(garmin_put_real(p, v));
  out.put(';');
}

void put_text(line_text& out, const char* text) {
  const char* t = text ? text : "";
  char q = pick_quote_char(t, nullptr);
  if (!q) q = '"';  // every candidate occurs: keep the line free of NUL bytes
  out.put(q);
  out.put(t);
  out.put(q);
  out.put(';');
}

int display_code(int col, uint32_t dspl) {
  if (col == GC_DSPL104) return dspl <= 1 ? 1 : dspl == 5 ? 2 : 0;
  return dspl == 1 ? 1 : dspl == 5 ? 2 : 0;
}

void put_column(line_text& out, int dtype, garmin_colspec c, const garmin_record* r, int count,
                int newseg) {
  switch (c.col) {
    case GC_TEXT: put_text(out, r->text[c.slot]); break;
    case GC_POS: {
      char* p = out.room(2 * kNumberRoom);
      p = garmin_put_degrees(p, r->num[GN_LON]);
      *p++ = ';';
      p = garmin_put_degrees(p, r->num[GN_LAT]);
      *p++ = ';';
      out.commit(p);
      break;
    }
    case GC_ICON: put_int(out, garmin_symbol_to_icon(static_cast<int32_t>(r->num[GN_SMBL]))); break;
    case GC_NUM: put_int(out, static_cast<int>(r->num[c.slot])); break;
    case GC_DSPL104: case GC_DSPL155: put_int(out, display_code(c.col, r->num[GN_DSPL])); break;
    case GC_RGB: case GC_RGB_LOW5: {
      int rgb[3];
      uint32_t code = r->num[c.slot];
      garmin_palette(dtype, static_cast<int>(c.col == GC_RGB_LOW5 ? code & 31 : code), rgb);
      char* p = out.room(3 * kNumberRoom);
      for (int v : rgb) {
        p = garmin_put_int03(p, v);
        *p++ = ';';
      }
      out.commit(p);
      break;
    }
    case GC_FLT: put_real(out, static_cast<double>(r->flt[c.slot])); break;
    case GC_ALT16: put_real(out, static_cast<double>(static_cast<int32_t>(r->num[c.slot]))); break;
    case GC_TIME: {
      char buf[48];
      garmin_put_time(buf, sizeof buf, r->num[GN_TIME]);
      put_text(out, buf);
      break;
    }
    case GC_COUNT: put_int(out, count); break;
    case GC_NEWSEG: put_int(out, newseg); break;
    default: break;
  }
}

}  // namespace

const garmin_layout* garmin_layout_find(int number) {
  for (const garmin_layout& l : kLayouts)
    if (l.number == number) return &l;
  return nullptr;
}

bool garmin_point_invalid(const garmin_record* rec) {
  return rec->num[GN_LAT] == 0x7FFFFFFFu && rec->num[GN_LON] == 0x7FFFFFFFu;
}

char* garmin_put_degrees(char* out, uint32_t semicircles) {
  return std::to_chars(out, out + kNumberRoom, degrees(semicircles), std::chars_format::fixed, 15).ptr;
}

char* garmin_put_real(char* out, double v) {
  return std::to_chars(out, out + kNumberRoom, v, std::chars_format::scientific, 12).ptr;
}

namespace {

// Days from 1970-01-01 to year y, month m, day d of the proleptic Gregorian calendar,
// and back (the civil calendar algorithms in whole numbers).
int64_t days_from_civil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civil_from_days(int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = int(doy - (153 * mp + 2) / 5 + 1);
  *m = int(mp < 10 ? mp + 3 : mp - 9);
  *y = int(yoe + era * 400 + (*m <= 2));
}

char* put_digits(char* out, int v, int width) {
  for (int i = width - 1; i >= 0; --i, v /= 10) out[i] = char('0' + v % 10);
  return out + width;
}

}  // namespace

void garmin_put_time(char* out, size_t size, uint32_t seconds) {
  // 0 is the empty date, which the date routines write their own way.
  if (seconds == 0 || size < 21) {
    format_date_iso(date_value_from_seconds_1989(seconds), 1, 1, out, size);
    return;
  }
  static const int64_t k1989 = days_from_civil(1989, 12, 31);
  int y, m, d;
  civil_from_days(k1989 + seconds / 86400, &y, &m, &d);
  const int of_day = int(seconds % 86400);
  char* p = put_digits(out, y, 4);
  *p++ = '-';
  p = put_digits(p, m, 2);
  *p++ = '-';
  p = put_digits(p, d, 2);
  *p++ = 'T';
  p = put_digits(p, of_day / 3600, 2);
  *p++ = ':';
  p = put_digits(p, of_day / 60 % 60, 2);
  *p++ = ':';
  p = put_digits(p, of_day % 60, 2);
  *p++ = 'Z';
  *p = '\0';
}

char* garmin_put_int(char* out, int v) { return std::to_chars(out, out + kNumberRoom, v).ptr; }

char* garmin_put_int03(char* out, int v) {
  char digits[16];
  char* end = std::to_chars(digits, digits + sizeof digits, v).ptr;
  const char* d = digits;
  if (*d == '-') *out++ = *d++;
  // Zeros between the sign and the digits up to three characters in all.
  for (ptrdiff_t width = (end - digits); width < 3; ++width) *out++ = '0';
  const size_t n = size_t(end - d);
  std::memcpy(out, d, n);
  return out + n;
}

void garmin_print_line(FILE* f, const garmin_layout* lay, const garmin_record* rec, int count,
                       int newseg) {
  if (!f || !lay || !rec) return;
  line_text out;
  for (const garmin_colspec* c = lay->line; c->col != GC_END; ++c)
    put_column(out, lay->number, *c, rec, count, newseg);
  out.put('\n');
  out.write(f);
}

void garmin_print_flag_line(FILE* f, const garmin_layout* lay, const char* header_name) {
  if (!f || !lay) return;
  if (header_name) std::fprintf(f, " %s\n", header_name);
  for (int i = 0; i < lay->flag_count; ++i) std::fprintf(f, "%d;", lay->flags[i]);
  std::fputc('\n', f);
}
