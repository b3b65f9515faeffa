// The Exif and GPS directories of the EXIF reader (exif_read.h).
//
// Values that depend on one another (the shooting date and its fraction of a second, a
// coordinate and its reference letter, the speed and its unit, the GPS date and time of
// day) are kept raw in the walk's context and the record's field is computed again from
// them after each entry, so the result does not depend on the order of the entries.
#include <cctype>
#include <cmath>
#include <limits>

#include "core/error.h"
#include "core/reader.h"
#include "geodesy/geodesy_records.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/units.h"
#include "map/gps_classes.h"
#include "raster/exif_internal.h"
#include "raster/exif_read.h"
#include "raster/image_place.h"
#include "raster/tiff_values.h"

namespace exif_detail {

namespace {

int bad_entry() { return set_gblerr(ERR_BAD_FILE); }

// ---- Exif directory ---------------------------------------------------------------------

enum exif_tag : int {
  kExposureTime = 33434,
  kFNumber = 33437,
  kExposureProgram = 34850,
  kIsoSpeed = 34855,
  kDateTimeOriginal = 36867,
  kShutterSpeed = 37377,
  kAperture = 37378,
  kMaxAperture = 37381,
  kSubjectDistance = 37382,
  kFlash = 37385,
  kFocalLength = 37386,
  kSubSecTimeOriginal = 37521,
  kFocalLength35mm = 41989,
};

// "YYYY:MM:DD hh:mm:ss" (any separators) to the ISO form the date parser reads.
date_rec parse_exif_stamp(const std::string& text) {
  std::string iso = text.substr(0, 19);
  iso[4] = '-';
  iso[7] = '-';
  iso[10] = 'T';
  iso[13] = ':';
  iso[16] = ':';
  date_rec r{0.0, 0.0};
  parse_date_iso_rec(&r, iso.c_str());
  return r;
}

// The digits of SubSecTimeOriginal are a decimal fraction of a second ("5" is 500 ms,
// "05" is 50 ms); leading blanks are skipped and the first other character ends it.
double subsec_milliseconds(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  double value = 0.0, scale = 1000.0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    scale /= 10.0;
    value += (text[i] - '0') * scale;
  }
  return value;
}

void update_shooting_date(meta_context* m) {
  date_rec d = m->base_date;
  if (d.date != 0.0 && m->subsec_ms != 0.0) date_add_ms(m->subsec_ms, &d);
  m->meta->date = d;
}

void exif_entry_handler(exif_call& c, const exif_entry& e, void* context) {
  meta_context* m = static_cast<meta_context*>(context);
  photo_meta_t* meta = m->meta;
  double v = 0.0;
  int64_t n = 0;
  std::string text;
  switch (e.tag) {
    case kExposureTime:
      if (read_real(c, e, &v) == 0) meta->exposure_time = v;
      break;
    case kFNumber:
      if (read_real(c, e, &v) == 0) meta->f_number = v;
      break;
    case kExposureProgram:
      if (read_int(c, e, &n) == 0) meta->exposure_program = int32_t(n);
      break;
    case kIsoSpeed:
      if (e.type != kTiffShort) {
        bad_entry();
      } else if (read_int(c, e, &n) == 0) {
        meta->iso = int16_t(uint16_t(n));
      }
      break;
    case kDateTimeOriginal:
      if (read_text(c, e, &text) == 0 && e.count >= 20 && text.size() >= 19) {
        m->base_date = parse_exif_stamp(text);
        update_shooting_date(m);
      }
      break;
    case kShutterSpeed:
      if (read_real(c, e, &v) == 0 && meta->exposure_time == 0.0)
        meta->exposure_time = std::pow(2.0, -v);
      break;
    case kAperture:
      if (read_real(c, e, &v) == 0 && meta->f_number == 0.0) meta->f_number = std::pow(2.0, v / 2);
      break;
    case kMaxAperture:
      if (read_real(c, e, &v) == 0) meta->max_aperture = std::pow(2.0, v / 2);
      break;
    case kSubjectDistance:
      if (read_real(c, e, &v) == 0)
        meta->subject_distance = v >= 4294967295.0 ? std::numeric_limits<double>::infinity() : v;
      break;
    case kFlash:
      if (read_int(c, e, &n) == 0) meta->flash = (n & 1) ? 1 : -1;
      break;
    case kFocalLength:
      if (read_real(c, e, &v) == 0) meta->focal_length = v;
      break;
    case kSubSecTimeOriginal:
      if (read_text(c, e, &text) == 0) {
        m->subsec_ms = subsec_milliseconds(text);
        update_shooting_date(m);
      }
      break;
    case kFocalLength35mm:
      if (read_int(c, e, &n) == 0) meta->focal_length_35mm = double(n);
      break;
    default:
      break;
  }
}

// ---- GPS directory ------------------------------------------------------------------------

enum gps_tag : int {
  kVersion = 0,
  kLatitudeRef = 1,
  kLatitude = 2,
  kLongitudeRef = 3,
  kLongitude = 4,
  kAltitudeRef = 5,
  kAltitude = 6,
  kTimeStamp = 7,
  kSpeedRef = 12,
  kSpeed = 13,
  kImgDirectionRef = 16,
  kImgDirection = 17,
  kMapDatum = 18,
  kDateStamp = 29,
};

constexpr int kSpeedUnitKm = LEN_KILOMETRE;
constexpr int kSpeedUnitMile = 44;  // statute mile
constexpr int kSpeedUnitKnot = LEN_NAUTICAL_MILE;

// A reference letter: ASCII of count 2, else 14.
int read_reference(const exif_call& c, const exif_entry& e, char* letter) {
  if (e.type != kTiffAscii || e.count != 2) return bad_entry();
  std::string text;
  if (int rc = read_text(c, e, &text)) return rc;
  *letter = text.empty() ? '\0' : text[0];
  return 0;
}

// Three RATIONALs (degrees, minutes, seconds or hours, minutes, seconds), else 14.
int read_triple(const exif_call& c, const exif_entry& e, double out[3]) {
  if (e.type != kTiffRational || e.count != 3) return bad_entry();
  if (int rc = seek_values(c, e)) return rc;
  for (int i = 0; i < 3; ++i) out[i] = tiff_read_rational(c.order);
  return get_gblerr();
}

void update_position(gps_context* g) {
  position_t* p = g->position;
  p->coords.y = g->lat * g->lat_sign;
  p->coords.x = g->lon * g->lon_sign;
  p->coords.z = float(g->alt * g->alt_sign);
  if (g->has_speed) {
    double speed = g->speed, scratch = 0.0;
    length_unit_scale(g->speed_unit, 0, &speed, &scratch);
    p->speed = speed;
  }
  date_rec t{0.0, 0.0};
  if (g->has_date)
    date_normalize(&t, g->year, g->month, g->day - 1.0 + g->time_of_day);
  else if (g->time_of_day != 0.0)
    date_normalize(&t, 0, 1, g->time_of_day);
  p->time = t;
}

// "YYYY:MM:DD" (any separators) to the calendar fields.
bool parse_gps_date(const std::string& text, gps_context* g) {
  if (text.size() < 10) return false;
  std::string iso = text.substr(0, 10);
  iso[4] = '-';
  iso[7] = '-';
  date_rec r{0.0, 0.0};
  parse_date_iso_rec(&r, iso.c_str());
  if (r.date == 0.0) return false;
  int year = 0, month = 0;
  double day = 0.0;
  date_rec_split(&r, &year, &month, &day);
  g->has_date = true;
  g->year = year;
  g->month = month;
  g->day = std::floor(day);
  return true;
}

void gps_entry_handler(exif_call& c, const exif_entry& e, void* context) {
  gps_context* g = static_cast<gps_context*>(context);
  char letter = 0;
  double v = 0.0, parts[3] = {0, 0, 0};
  int64_t n = 0;
  std::string text;
  switch (e.tag) {
    case kLatitudeRef:
      if (read_reference(c, e, &letter) == 0) g->lat_sign = letter == 'S' ? -1 : 1;
      break;
    case kLongitudeRef:
      if (read_reference(c, e, &letter) == 0) g->lon_sign = letter == 'W' ? -1 : 1;
      break;
    case kLatitude:
      if (read_triple(c, e, parts) == 0) g->lat = parts[0] + parts[1] / 60 + parts[2] / 3600;
      break;
    case kLongitude:
      if (read_triple(c, e, parts) == 0) g->lon = parts[0] + parts[1] / 60 + parts[2] / 3600;
      break;
    case kAltitudeRef:
      if (e.type != kTiffByte || e.count != 1)
        bad_entry();
      else if (read_int(c, e, &n) == 0)
        g->alt_sign = n == 1 ? -1 : 1;
      break;
    case kAltitude:
      if (read_real(c, e, &v) == 0) g->alt = v;
      break;
    case kTimeStamp:
      if (read_triple(c, e, parts) == 0)
        g->time_of_day = hms_to_day_fraction(0.0, parts[0], parts[1], parts[2]);
      break;
    case kSpeedRef:
      if (read_reference(c, e, &letter) == 0)
        g->speed_unit = letter == 'M' ? kSpeedUnitMile : letter == 'N' ? kSpeedUnitKnot : kSpeedUnitKm;
      break;
    case kSpeed:
      if (read_real(c, e, &v) == 0) {
        g->speed = v;
        g->has_speed = true;
      }
      break;
    case kImgDirection:
      if (read_real(c, e, &v) == 0) {
        double scratch = 0.0;
        angle_unit_scale(ANG_DEGREE, 0, &v, &scratch);
        g->position->direction = v;
      }
      break;
    case kMapDatum:
      if (read_text(c, e, &text) == 0) g->datum = text;
      break;
    case kDateStamp:
      if (read_text(c, e, &text) == 0) parse_gps_date(text, g);
      break;
    default:  // the version, the direction reference and the tags not handled
      break;
  }
  update_position(g);
}

// Whether the directory at base + offset holds at least one entry.
bool directory_has_entries(const exif_call& c, uint32_t offset) {
  const int64_t start = c.base + int64_t(offset);
  if (start < 0 || start + 2 > c.limit) return false;
  rd_seek(start, 0);
  const uint16_t count = tiff_numbers(c.order).u16();
  if (get_gblerr()) {
    set_gblerr(0);
    return false;
  }
  return count > 0;
}

}  // namespace

void walk_exif_directory(exif_call& c, uint32_t offset) {
  if (!directory_has_entries(c, offset)) return;
  meta_context m;
  m.meta = exif_photo_meta(c.image);
  if (!m.meta) return;
  m.base_date = m.meta->date;
  walk_directory(c, offset, exif_entry_handler, &m);
}

void walk_gps_directory(exif_call& c, uint32_t offset) {
  if (!directory_has_entries(c, offset)) return;
  gps_context g;
  obj_new_registered(CLS_POSITION, &g.position);
  if (!g.position) return;
  obj_t* datum = nullptr;
  geo_find_by_code(CLS_GEODATUM, kRefDatumCode, &datum);
  g.position->datum = datum;
  image_set_position(c.image, g.position);
  update_position(&g);
  walk_directory(c, offset, gps_entry_handler, &g);
}

}  // namespace exif_detail
