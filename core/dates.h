// Dates and times.
//
// Every date and time of the system is a packed date: a double that reads as the
// calendar date itself, year * 10000 + month * 100 + day, with the elapsed fraction of
// the day after the decimal point (20080506.5 is 6 May 2008 at 12:00). 0.0 means "no
// date"; year 0 with month 1 holds a time of day without a date. A date record keeps the
// packed date together with the day of the month and its fraction, which carries the
// time with more precision since it lacks the large date part.
//
// dates.cpp holds the calendar (normalisation, conversions from the time stamps of
// receivers, file formats and the operating system, arithmetic); date_parse.cpp reads
// dates from text and owns the month-name dictionary; date_format.cpp writes them.
// Only reading the current time and the local time zone touch the platform; all the
// calendar arithmetic is our own proleptic Gregorian code.
#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>

#include "core/object.h"

struct container_t;

// A date record: the packed date, then the day of the month with the day's fraction.
struct date_rec {
  double date;
  double day;
};
static_assert(sizeof(date_rec) == 16, "a date record is two doubles (attribute type 8)");

// The empty record {0, 0}, "no date".
constexpr date_rec kNoDate{0.0, 0.0};

// Largest year (either sign) a computation may produce; beyond it the result is the
// empty date instead of a value that no longer reads as a calendar date.
constexpr int kMaxDateYear = 999999;

// ---- Calendar -----------------------------------------------------------------------
int days_in_year(int year);                  // 365 or 366 (Gregorian rules)
int days_in_month(int year, int month);      // month 1..12; 0 for any other month

// Carries zero-based days (with fraction, possibly negative or beyond the month) across
// months and years from the first day of (year, month): the record of that moment.
// A month outside 1..12 is folded into the year first. Non-finite days, or a result
// beyond kMaxDateYear, give the empty record.
date_rec* date_normalize(date_rec* out, int year, int month, double days);
double date_from_ymd(int year, int month, double days);
// Calendar fields read from a device, a file or a text: a month outside 1..12 means
// the fields hold no date (the empty record); otherwise date_normalize.
date_rec* date_from_fields(date_rec* out, int year, int month, double day0);
// A two-digit year field: below 70 is 20yy, else 19yy.
int year_from_two_digits(int yy);

// ---- Time of day --------------------------------------------------------------------
double hms_to_day_fraction(double days, double hours, double minutes, double seconds);
// hhmmss.f (hours * 10000 + minutes * 100 + seconds) as a fraction of a day; also
// stored in *out when out is given. Non-finite values give 0.
double hhmmss_to_day_fraction(double hhmmss, double* out);
// Whole days, hours, minutes and seconds with fraction of a day count (each optional).
void day_fraction_to_hms(double day, int* days, int* hours, int* minutes, double* seconds);
// Hours int(s / 3600), minutes int((s mod 3600) / 60), seconds s mod 60 (each optional).
void seconds_to_hms(double seconds, int* hours, int* minutes, double* secs);
double seconds_to_days(double seconds);

// ---- Conversions ----------------------------------------------------------------------
// Seconds since 1989-12-31 00:00 (0 gives the empty record).
date_rec* date_from_seconds_1989(date_rec* out, uint32_t seconds);
double date_value_from_seconds_1989(uint32_t seconds);
// Day count (1 = 1990-01-01) and seconds of that day.
double date_from_days_seconds_1990(int32_t day, double seconds);
// Day count with fraction, 0 = 1900-01-01.
date_rec* date_from_days_1900(date_rec* out, double days);
// Signed seconds since 2000-01-01 00:00.
date_rec* date_from_seconds_2000(int64_t seconds, date_rec* out);
// GPS week (counted from 1980-01-06, without roll-over) and seconds of the week, to
// UTC: the GPS-UTC leap-second offset in force at that instant is taken off.
double date_from_gps_week(int32_t week, double seconds);
// GPS-UTC offset in whole seconds for a GPS time given as seconds since 1980-01-06.
int gps_utc_offset(double gps_seconds);
// Integers hhmmss and ddmmyy (two-digit years below 70 are 20yy, else 19yy).
double date_from_hhmmss_ddmmyy(int32_t hhmmss, int32_t ddmmyy);
// Year - 2000 in bits 26-31, month 22-25, day 17-21, hour 12-16, minute 6-11, second 0-5.
date_rec* date_from_bits_year2000(uint32_t word, date_rec* out);
// Months since January 2000 plus 1 in bits 22-31, day 17-21, hour 12-16, minute 6-11;
// `ms` milliseconds are added.
date_rec* date_from_bits_month2000(uint32_t word, uint16_t ms, date_rec* out);
// Time of day (second in bits 24-31, minute 16-23, hour 8-15) on January of year 0.
date_rec* time_from_bits_hms(uint32_t word, date_rec* out);
// Seconds since 1970-01-01 in UTC; 2000-01-02 01:01:01 when the calendar fields cannot
// be obtained. Thread-safe.
double date_from_time_t(std::time_t t);
date_rec* date_rec_from_time_t(date_rec* out, std::time_t t);
// Now, in UTC, to the whole second (through the platform clock).
double date_now();
date_rec* date_rec_now(date_rec* out);

// ---- Splitting and arithmetic ---------------------------------------------------------
date_rec* date_rec_from_packed(date_rec* out, double packed);
// Year, month and day with fraction of a packed date (each optional); all 0 for a
// value that is not a finite packed date within kMaxDateYear.
void date_split(double packed, int* year, int* month, double* day);
void date_rec_split(const date_rec* rec, int* year, int* month, double* day);
// Zero-based day of the year with fraction.
double date_day_of_year(double packed);
// Moves the record by the days (in place) and renormalises; the empty record stays empty.
date_rec* date_add_days(date_rec* rec, double days);
date_rec* date_add_ms(double ms, date_rec* rec);
// b - a in days with fractions (negative when b is earlier); 0 when either is not a
// finite packed date.
double date_diff(double a, double b);
// The same day: time_b - time_a (times are days of the month with fraction); else
// date_diff(date_a, date_b).
double date_time_diff(double date_a, double time_a, double date_b, double time_b);

// ---- Parsing (date_parse.cpp) ---------------------------------------------------------
// Fields that do not read stay 0; a month that is not 1..12 gives the empty date. No
// parser reads past the text's terminating NUL; a null text reads as "".
date_rec* parse_date_dmy(date_rec* out, const char* text);          // "%2d/%2d/%4d"
date_rec* parse_time_hms(const char* text, date_rec* rec);          // adds "%2d:%2d:%2d"
date_rec* parse_date_dmony(date_rec* out, const char* text);        // "%2d-%3s-%2d"
int month_from_name(const char* text);                              // "dec" -> 12
double parse_date_ddmmyy(const char* text, double* out);            // 5 to 8 digits
date_rec* parse_date_ddmmyy_time(const char* text, date_rec* out, double fraction);
date_rec* parse_date_yymmdd(const char* text, date_rec* out, double fraction);
double parse_date_iso(const char* text);
date_rec* parse_date_iso_rec(date_rec* out, const char* text);

// Month-name dictionary: class 16 records {id, class, name, value} under a sorted index
// keyed by name. month_names_init registers the class and builds it (start-up), after
// releasing a dictionary built before; month_names_free releases it. While an error is
// pending neither does anything (no object is freed then). Before it is built and after
// it is freed, month_from_name knows no name and answers 0.
constexpr int CLS_MONTH_NAME = 16;
#pragma pack(push, 1)
struct month_name_t : obj_t {
  char* name;     // "JAN" ... "DEC" (type 10)
  int32_t value;  // 1 ... 12
};
#pragma pack(pop)
void month_names_init();
void month_names_free();
const container_t* month_names_dict();

// ---- Formatting (date_format.cpp) -----------------------------------------------------
// Every routine writes at most `size` bytes, NUL included, and returns `out`.
// "%d/%02d/%02d:%02d:%02d:%02d" (year/month/day:hours:minutes:seconds).
char* format_date_compact(double packed, char* out, size_t size);
// Mode 0 "YYYY-MM-DD"; 1 "YYYY-MM-DDThh:mm:ss" (time only below year 1); 2 the same with
// seconds "%06.3lf", never reading 60.000; other modes "". `zone` non-zero with a mode
// other than 0 appends 'Z'.
char* format_date_iso(double packed, int mode, int zone, char* out, size_t size);
// The same from a record, the time taken from its day field, into an owned buffer of
// 50 bytes (*owner is replaced).
char* format_date_iso_span(const date_rec* rec, int mode, int zone, char** owner);
// Appends the local time as "%4d-%02d-%02d_%02dh%02dm%02ds" to an owned string.
char* timestamp_for_filename(char** owner);
