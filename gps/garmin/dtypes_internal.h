// Shared by the D-type codec files: the line layout a type writes and the lookup of a
// type's layout from the per-type printer entry points.
#pragma once
#include "gps/garmin/dtypes.h"

// One field of a record line; every field ends with ';'.
enum garmin_col : uint8_t {
  GC_END,
  GC_TEXT,      // quoted text of text slot `slot`
  GC_POS,       // longitude;latitude
  GC_ICON,      // system icon of the symbol number
  GC_NUM,       // num slot as %d
  GC_DSPL104,   // display code of D104
  GC_DSPL155,   // display code of D155
  GC_RGB,       // %03d three times from the palette, colour from num slot `slot`
  GC_RGB_LOW5,  // the same from the low five bits of num slot `slot`
  GC_FLT,       // float slot as %.12le
  GC_ALT16,     // 16-bit altitude as %.12le
  GC_TIME,      // quoted ISO time of the receiver seconds
  GC_COUNT,     // the point count of a header line
  GC_NEWSEG     // new segment of a D303/D304 point
};
struct garmin_colspec {
  uint8_t col;
  uint8_t slot;
};

struct garmin_layout {
  int number;
  const garmin_colspec* line;  // ends with GC_END; null for types that write nothing
  const uint8_t* flags;        // flag values
  uint8_t flag_count;
};

const garmin_layout* garmin_layout_find(int number);
// Writes one record line of `number` (count for header lines, newseg for D303/D304).
void garmin_print_line(FILE* f, const garmin_layout* lay, const garmin_record* rec, int count,
                       int newseg);
void garmin_print_flag_line(FILE* f, const garmin_layout* lay, const char* header_name);
// The numbers of a record line, each written at `out` (room for 40 bytes) with printf's
// text, the end returned: degrees of a semicircle count "%.15lf", "%.12le", "%d" and
// "%03d".
char* garmin_put_degrees(char* out, uint32_t semicircles);
char* garmin_put_real(char* out, double v);
char* garmin_put_int(char* out, int v);
char* garmin_put_int03(char* out, int v);
// Receiver seconds as the quoted time of the lines holds it: the text of
// format_date_iso(date_value_from_seconds_1989(seconds), 1, 1, out, size), worked out
// in whole numbers.
void garmin_put_time(char* out, size_t size, uint32_t seconds);
// 1 when the track point has no valid position (both halves 0x7FFFFFFF).
bool garmin_point_invalid(const garmin_record* rec);
