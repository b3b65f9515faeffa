// Garmin record codecs: one descriptor per D-type (the binary layout a receiver uses for
// waypoints, track points, track and route headers, route links and almanacs), the
// unpacking of received packet data into decoded records, and the writing of decoded
// records as the semicolon-separated record lines and column-flag lines of the system's
// own GPS text files. Every layout lives in one field table per type, read both by
// unpack and by pack (the receiver simulator builds packets from the same table).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Numeric fields of a decoded record (positions are raw 32-bit semicircles).
enum garmin_num : int {
  GN_LAT, GN_LON, GN_TIME, GN_SMBL, GN_DSPL, GN_COLOUR, GN_CLASS, GN_DTYP, GN_NEW_TRK,
  GN_NMBR, GN_INDEX, GN_WPT_CAT, GN_ALT_I16, GN_HEART, GN_CADENCE, GN_SENSOR, GN_LNK_CLASS,
  GN_COUNT
};
// 32-bit float fields.
enum garmin_flt : int { GF_ALT, GF_DPTH, GF_TEMP, GF_DIST, GF_COUNT };
// Text fields: owned NUL-terminated UTF-8 strings (receiver text is Latin-1).
enum garmin_txt : int {
  GT_IDENT, GT_CMNT, GT_FACILITY, GT_CITY, GT_STATE, GT_CC, GT_SUBCLASS, GT_NAME,
  GT_LNK_IDENT, GT_COUNT
};

// One decoded record of any D-type; fields a type does not carry stay zero / null.
struct garmin_record {
  uint32_t num[GN_COUNT];
  float flt[GF_COUNT];
  char* text[GT_COUNT];
};

enum garmin_family : int {
  GARMIN_WAYPOINT, GARMIN_TRACK_POINT, GARMIN_TRACK_HEADER, GARMIN_ROUTE_HEADER,
  GARMIN_ROUTE_LINK, GARMIN_ALMANAC
};

// Field kinds of the wire layout.
enum garmin_field_kind : uint8_t {
  GK_END, GK_I32, GK_U32, GK_U16, GK_I16, GK_U8, GK_F32,
  GK_CHARS,  // fixed character array of `width` bytes
  GK_BYTES,  // fixed array written as text up to its first zero byte
  GK_STRING,  // zero-terminated string; the next one follows it
  GK_SKIP     // `width` bytes not read
};
struct garmin_field {
  uint8_t kind;
  uint16_t offset;  // ignored for a string after the first
  uint8_t width;    // GK_CHARS / GK_BYTES
  uint8_t slot;     // index into num / flt / text
};

struct garmin_dtype {
  int number;        // 100 for D100
  const char* name;  // "D100"
  garmin_family family;
  size_t record_size;        // decoded record size
  size_t fixed_size;         // wire bytes before the variable strings (shortest record)
  const garmin_field* fields;  // ends with GK_END; null for almanacs
  // Unpacks `size` bytes of packet data. 0, or 17 when the data is shorter than the
  // type's fixed part (the record is then left empty).
  int (*unpack)(const garmin_dtype* dt, garmin_record* rec, const uint8_t* data, size_t size);
  // Writes `count` records from *cursor (array of stride garmin_dtype_stride) and moves
  // the cursor past the last one. Waypoint and track point types.
  void (*print_records)(FILE* f, int count, const uint8_t** cursor);
  // Writes one header line ending with `count`, moves the cursor by one record.
  void (*print_record)(FILE* f, int count, const uint8_t** cursor);
  void (*print_flags)(FILE* f);
  // Number of points print_records writes (D303 and D304 only).
  int (*count_valid)(int count, const uint8_t* records);
};

// Descriptor of D-type `number`, or null.
const garmin_dtype* garmin_dtype_find(int number);
// All descriptors, `*count` set.
const garmin_dtype* garmin_dtype_table(size_t* count);
// Array stride of decoded records: the record size rounded up to a multiple of 4.
size_t garmin_dtype_stride(const garmin_dtype* dt);
// Unpacks through the descriptor; 17 for a short record or a type without fields.
int garmin_unpack(const garmin_dtype* dt, garmin_record* rec, const uint8_t* data, size_t size);
// Packs a decoded record with the same field table (text written back as Latin-1).
// Returns the byte count, or 0 when `cap` is too small.
size_t garmin_pack(const garmin_dtype* dt, const garmin_record* rec, uint8_t* out, size_t cap);
// Frees the owned strings and zeroes the record.
void garmin_record_clear(garmin_record* rec);

// Red, green, blue of colour `code` for D-type `dtype` (107, 108, 109, 110, 310, 312).
void garmin_palette(int dtype, int code, int rgb[3]);
