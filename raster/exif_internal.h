// What the EXIF directory walks share (exif_read.cpp, exif_tags.cpp).
#pragma once
#include <cstdint>
#include <string>

#include "core/dates.h"

struct bitmap_t;
struct photo_meta_t;
struct position_t;

namespace exif_detail {

// Longest text an entry gives (longer values are cut): make, model, dates, references.
constexpr uint32_t kMaxText = 1024;

// The state of one call: where the numbers are and what has been walked.
struct exif_call {
  bitmap_t* image = nullptr;
  int order = 0;         // byte order index of the TIFF header
  int64_t base = 0;      // file position of the TIFF header; offsets are added to it
  int64_t limit = 0;     // end of the data: nothing is read at or beyond it
  bool exif_walked = false;
  bool gps_walked = false;
};

// One entry being handled: its field type and value count, read from the entry head.
struct exif_entry {
  int tag = 0;
  int type = 0;
  uint32_t count = 0;
};

// The GPS walk's context: signs and units known so far, and the raw values, so that the
// position is the same whichever order the entries come in.
struct gps_context {
  position_t* position = nullptr;
  double lat = 0.0, lon = 0.0, alt = 0.0, speed = 0.0;
  int lat_sign = 1, lon_sign = 1, alt_sign = 1;
  int speed_unit = 3;  // length unit of the speed (kilometres until a reference says)
  bool has_speed = false;
  bool has_date = false;
  int year = 0, month = 0;
  double day = 0.0;          // day of the month (1-based)
  double time_of_day = 0.0;  // fraction of a day
  std::string datum;
};

// The Exif walk's context: the shooting date and its fraction of a second, combined
// whichever entry comes first.
struct meta_context {
  photo_meta_t* meta = nullptr;
  date_rec base_date{0.0, 0.0};
  double subsec_ms = 0.0;
};

// Seeks to the entry's values, checking that they lie within the data. 0, or 14.
int seek_values(const exif_call& c, const exif_entry& e);
// The entry's text (ASCII type, else 14), cut at its first NUL and at kMaxText bytes.
int read_text(const exif_call& c, const exif_entry& e, std::string* out);
// The first value of an integer field (BYTE, SHORT, LONG and signed kinds); else 14.
int read_int(const exif_call& c, const exif_entry& e, int64_t* out);
// The first value of a RATIONAL or SRATIONAL field (an integer field also reads); else 14.
int read_real(const exif_call& c, const exif_entry& e, double* out);

// Walks the directory at base + offset, calling the handler after each entry's head
// with the reader on its value field; errors are cleared entry by entry.
using entry_handler = void (*)(exif_call& c, const exif_entry& e, void* context);
void walk_directory(exif_call& c, uint32_t offset, entry_handler handler, void* context);

// The sub-directory walks (exif_tags.cpp).
void walk_exif_directory(exif_call& c, uint32_t offset);
void walk_gps_directory(exif_call& c, uint32_t offset);

}  // namespace exif_detail
