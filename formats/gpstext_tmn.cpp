// The version-3 navigation log reader: one tracklog of points whose records carry the
// sixteen columns (position, time, segment and push-to-log flags, altitude and height,
// temperature, speed, direction and the fix quality), with comment lines anywhere
// between records.
#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/reader.h"
#include "formats/gpstext.h"
#include "formats/gpstext_internal.h"
#include "map/gps_classes.h"

namespace {

using gpstext::field_type;
using gpstext::kIntField;
using gpstext::kRealField;
using gpstext::kStringField;
using gpstext::record_fields;

enum column : int {
  kLongitude = 1, kLatitude, kTime, kStartTrack, kAltitude, kHeight, kDepth, kTemperature,
  kSpeed, kDirection, kSatsInView, kSatsUsed, kDgps, kFix, kHdop, kPdop, kColumns = kPdop
};

constexpr field_type kColumnTypes[kColumns] = {
    kRealField, kRealField, kStringField, kIntField, kRealField, kRealField, kRealField, kRealField,
    kRealField, kRealField, kIntField,    kIntField, kIntField,  kIntField,  kRealField, kRealField};

constexpr int kNewSegmentBit = 1;
constexpr int kPushToLogBit = 2;

// Comment lines ('#' first) before the next record; 0 or 14 for a line too long.
int skip_comments() {
  char line[kTmLineBuffer];
  tm_skip_blanks();
  while (gpstext::peek_byte() == '#') {
    if (tm_read_line_field(line) != 0) return ERR_BAD_FILE;
    tm_skip_blanks();
  }
  return 0;
}

// The navigation record of the fix-quality columns, when any of them is given.
void attach_navigation(const record_fields& c, gpspos_t* p) {
  bool any = false;
  for (int k = kSatsInView; k <= kPdop; ++k) any = any || gpstext::given(c, k);
  if (!any) return;
  navigation_t* n = nullptr;
  alloc_obj(CLS_NAVIGATION, &n);
  if (!n) return;
  n->nbsatsinvue = c.ints[kSatsInView - 1];
  n->nbsatsused = c.ints[kSatsUsed - 1];
  n->dgps = c.ints[kDgps - 1];
  n->fix = c.ints[kFix - 1];
  n->hdop = c.reals[kHdop - 1];
  n->pdop = c.reals[kPdop - 1];
  p->navig = n;
}

int log_point(const record_fields& c, tracklog_t* t, trackseg_t** segment, container_t* list) {
  if (!gpstext::given(c, kLongitude) || !gpstext::given(c, kLatitude)) return ERR_BAD_FILE;
  const int32_t flags = gpstext::int_of(c, kStartTrack, 0);
  if (!*segment || (flags & kNewSegmentBit)) trackseg_create(t, list, segment);
  date_rec time = kNoDate;
  if (const char* text = gpstext::text_of(c, kTime)) parse_date_iso_rec(&time, text);
  const double altitude = c.reals[kAltitude - 1];
  const double height = c.reals[kHeight - 1];
  gpspos_t* p = nullptr;
  gpspos_create(c.reals[kLongitude - 1], c.reals[kLatitude - 1], &time,
                gpstext::real_of(c, kAltitude, 0.0), *segment, list, &p);
  if (!p || get_gblerr()) return get_gblerr();
  if (height != NULL_DOUBLE) {
    p->coords.z = float(height);
    if (altitude != NULL_DOUBLE) p->geoidh = float(altitude - height);
  }
  p->tpre = c.reals[kTemperature - 1];
  p->speed = c.reals[kSpeed - 1];
  p->direction = c.reals[kDirection - 1];
  attach_navigation(c, p);
  if (flags & kPushToLogBit) push_to_log_point(list, p, nullptr);
  return get_gblerr();
}

int read_log(container_t* list) {
  record_fields c = gpstext::make_fields(kColumnTypes, kColumns);
  for (bool& present : c.present) present = true;
  tracklog_t* t = nullptr;
  trackseg_t* segment = nullptr;
  tracklog_create(list, &t);
  int err = get_gblerr();
  while (err == 0) {
    err = skip_comments();
    if (err != 0 || gpstext::at_end()) break;
    err = gpstext::read_record(&c);
    if (err == 0) err = log_point(c, t, &segment, list);
  }
  gpstext::clear_fields(&c);
  return err;
}

}  // namespace

int read_tmn_v3(obj_t* file, container_t* list) {
  if (gpstext::open(file) != 0) return ERR_FILE_ACCESS;
  const int first = obj_list_count(list);
  char line[kTmLineBuffer];
  if (tm_read_line_field(line) != 0 || read_log(list) != 0) return gpstext::fail(list, first);
  return gpstext::place(file, list, gpstext::content::navigation);
}
