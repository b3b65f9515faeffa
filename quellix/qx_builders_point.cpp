// The replay point class (140 with the diffusion program's layout), the copy of a parser
// fix into a point, and the sentences synthesised for a point the resampler inserts.
//
// Synthesised sentences carry no time, fix quality or date: the receiver that gets them
// takes the position, heights and motion. The geoid separation goes into GGA's own
// field (empty when 0), so a reader gets back the altitude and the separation the point
// holds.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/object.h"
#include "geodesy/units.h"
#include "gps/nmea_parser.h"
#include "quellix/qx_builders.h"
#include "quellix/replay_point.h"

namespace {

inline constexpr attr_desc kReplayPointAttrs[] = {
    {"id", AT_ID},           {"type", AT_INT},          {"text", AT_STRING},
    {"count", AT_INT},       {"longitude", AT_DOUBLE},  {"latitude", AT_DOUBLE},
    {"geoidh", AT_FLOAT},    {"altitude", AT_DOUBLE},   {"height", AT_DOUBLE},
    {"speed", AT_DOUBLE},    {"direction", AT_NDOUBLE}, {"nbsatsused", AT_NINT},
    {"nbsatsinvue", AT_NINT}, {"time", AT_DOUBLE},      {"datetime", AT_DATETIME},
    {"distance", AT_DOUBLE}, {"marker", AT_INT},       {"inserted", AT_INT}};
constexpr int kReplayPointAttrCount = 18;
const objdesc kReplayPointDesc = {"replay_point", kReplayPointAttrCount, kReplayPointAttrs};
static_assert(sizeof(replay_point) == attr_layout_size(kReplayPointAttrs, kReplayPointAttrCount));
static_assert(offsetof(replay_point, text) == offsetof(nmea_text_t, text));
static_assert(offsetof(replay_point, length) == offsetof(nmea_text_t, count));
static_assert(offsetof(replay_point, time) == attr_offset_in(kReplayPointAttrs, 13));
static_assert(offsetof(replay_point, distance) == attr_offset_in(kReplayPointAttrs, 15));

// The same release as the NMEA module's text record: the text, and a zero count.
void replay_point_free(obj_t* o) {
  auto* p = static_cast<replay_point*>(o);
  free_mem(&p->text);
  p->length = 0;
}

// One sentence: the body ("$" and the fields), "*", the checksum of what follows the
// "$", CR LF, added to the point's new sentences.
void add_sentence(std::string* out, const char* body) {
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", nmea_checksum(body + 1) & 0xFF);
  *out += body;
  *out += tail;
}

// Appends printf output to a fixed sentence buffer (never past its end).
template <class... Args> void put(char* buf, size_t size, const char* format, Args... args) {
  const size_t used = std::strlen(buf);
  if (used + 1 >= size) return;
  std::snprintf(buf + used, size - used, format, args...);
}

}  // namespace

void qx_replay_point_register() {
  obj_register_class(CLS_REPLAY_POINT, sizeof(replay_point), &kReplayPointDesc);
  obj_set_free_callback(CLS_REPLAY_POINT, replay_point_free);
}

replay_point* qx_replay_point_new(replay_point** out) {
  if (out) *out = nullptr;
  // The NMEA module registers class 140 with a smaller record whenever it is set up.
  if (obj_class_size(CLS_REPLAY_POINT) != int(sizeof(replay_point))) qx_replay_point_register();
  obj_t* o = nullptr;
  obj_new(0, CLS_REPLAY_POINT, &o);
  if (!o) {
    if (get_gblerr() == 0) set_gblerr(ERR_MEMORY);
    return nullptr;
  }
  auto* p = static_cast<replay_point*>(o);
  p->course = NULL_DOUBLE;
  p->satellites_used = NULL_INT;
  p->satellites_view = NULL_INT;
  if (out) *out = p;
  return p;
}

void qx_point_append_text(replay_point* p, const char* bytes, int count) {
  if (!p || count <= 0) return;
  const int32_t length = p->length;
  char* text = owner_get(&p->text);
  text = static_cast<char*>(mem_detail::checked_realloc(text, size_t(length) + size_t(count) + 1));
  std::memcpy(text + length, bytes, size_t(count));
  text[length + count] = '\0';
  owner_put(&p->text, text);
  p->length = length + count;
}

void qx_point_set_fix(replay_point* p, const nmea_fix* fix) {
  if (fix->valid.position) {
    p->longitude = fix->longitude / 3600.0;
    p->latitude = fix->latitude / 3600.0;
  }
  if (fix->valid.altitude) {
    // The parser keeps the ellipsoidal height: the separation is what lies between.
    const double separation = fix->altitude - fix->ell_height;
    p->separation = float(separation);
    p->altitude = fix->altitude;
    p->height = fix->altitude - double(p->separation);
  }
}

void qx_point_set_motion(replay_point* p, const nmea_fix* fix) {
  if (fix->valid.speed) p->speed = fix->speed;
  if (fix->valid.course) p->course = fix->course;
  if (fix->satellites != NULL_INT && (fix->valid.satellites || fix->valid.sat_table))
    p->satellites_view = fix->satellites;
  if (fix->satellites_used != NULL_INT) p->satellites_used = fix->satellites_used;
}

void qx_make_position_sentences(replay_point* p) {
  int lat_deg = 0, lon_deg = 0;
  double lat_min = 0, lon_min = 0;
  angle_split_deg_min(p->latitude, p->longitude, ANG_DEGREE, &lat_deg, &lon_deg, &lat_min,
                      &lon_min);
  const char ns = p->latitude >= 0 ? 'N' : 'S';
  const char ew = p->longitude >= 0 ? 'E' : 'W';
  // Positions far outside the globe still give bounded fields: the buffers are sized
  // for the widest doubles "%.2lf" and "%.4lf" can print.
  char s[2048] = "";
  std::string out;
  put(s, sizeof s, "$GPGGA,,%02d%07.4lf,%c,%03d%07.4lf,%c,,", lat_deg, lat_min, ns, lon_deg,
      lon_min, ew);
  const int32_t used = p->satellites_used;
  if (used > 0) put(s, sizeof s, "%d", used);
  put(s, sizeof s, ",,");
  const double altitude = p->altitude;
  if (altitude != 0)
    put(s, sizeof s, "%.2lf,M,", altitude);
  else
    put(s, sizeof s, ",,");
  const double separation = double(p->separation);
  if (separation != 0)
    put(s, sizeof s, "%.2lf,M,,", separation);
  else
    put(s, sizeof s, ",,,");
  put(s, sizeof s, ",");
  add_sentence(&out, s);

  const double speed = p->speed;
  const double course = p->course;
  double knots = speed, unused = 0;
  length_unit_convert(LEN_KILOMETRE, LEN_NAUTICAL_MILE, &knots, &unused);
  s[0] = '\0';
  put(s, sizeof s, "$GPRMC,,A,%02d%07.4lf,%c,%03d%07.4lf,%c,", lat_deg, lat_min, ns, lon_deg,
      lon_min, ew);
  if (!(speed > 0)) {
    put(s, sizeof s, ",,,,");
  } else {
    // A point without a course leaves the field empty.
    put(s, sizeof s, "%.4lf,", knots);
    if (course != NULL_DOUBLE) put(s, sizeof s, "%.4lf", course);
    put(s, sizeof s, ",,,");
  }
  add_sentence(&out, s);

  if (speed > 0) {
    s[0] = '\0';
    put(s, sizeof s, "$GPVTG,");
    if (course != NULL_DOUBLE) put(s, sizeof s, "%.4lf", course);
    put(s, sizeof s, ",T,,,%.4lf,N,%.4lf,K", knots, speed);
    add_sentence(&out, s);
  }
  qx_point_append_text(p, out.data(), int(out.size()));
}
