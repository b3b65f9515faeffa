// The datum part of a CoordSys clause, in both directions.
//
// A datum with a MapInfo number is written as that number. Any other is written as a
// custom datum: 999 with the ellipsoid's number and three translations, or 9999 with
// seven parameters and the prime meridian, taken from the datum's path to WGS 84.
// Reading a custom datum finds the datum of the tables with that shift, or makes one;
// writing uses the units reading takes (metres, seconds of arc, parts per million,
// degrees), so that a custom datum written and read back is the same datum.
//
// Rotation signs: a 9999 clause gives its rotations in the coordinate-frame sense, the
// opposite of the position-vector sense in which the tables hold every shift (MapInfo's
// own seven-parameter datums carry the coordinate-frame signs of the published
// parameters). The signs are turned here, at the clause's edge, both ways; translations
// and scale mean the same in both senses.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/error.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/geodesy_tables_state.h"
#include "geodesy/georef.h"
#include "geodesy/mapinfo.h"
#include "geodesy/units.h"

namespace {

// The non-negative decimal MapInfo number of an object (scheme-2 name), or -1.
int mapinfo_number(int cls, int code) {
  const char* name = nullptr;
  geo_alias_of(cls, GEO_SCHEME_MAPINFO, code, &name);
  if (!name || !*name) return -1;
  char* end = nullptr;
  const long v = std::strtol(name, &end, 10);
  if (*end != '\0' || v < 0 || v > 1000000000L) return -1;
  return static_cast<int>(v);
}

// The shift of a custom datum: translations (metres), rotations (radians), scale
// (fraction).
struct datum_shift {
  double t[3];
  double r[3];
  double scale;
  int kind;  // transform kind of the path
};

// The shift from the datum to the reference datum, or false when no path joins them.
bool shift_to_reference(geodatum_t* datum, datum_shift* s) {
  *s = {};
  geodatum_t* ref = nullptr;
  geo_get_ref_datum(&ref);
  if (!ref) return false;
  if (datum == ref) return true;
  geocentric_t* t = nullptr;
  if (!geo_datum_path(datum, ref, &t, nullptr) || !t) return false;
  s->kind = t->trsftype;
  // A path that only changes the prime meridian moves no geocentric point: the meridian
  // itself is part of the 9999 clause.
  if (s->kind == TRSF_SHIFT3 || s->kind == TRSF_SHIFT7 || s->kind == TRSF_SHIFT10) {
    s->t[0] = t->tx, s->t[1] = t->ty, s->t[2] = t->tz;
  }
  if (s->kind == TRSF_SHIFT7 || s->kind == TRSF_SHIFT10) {
    s->r[0] = t->epsilonx, s->r[1] = t->epsilony, s->r[2] = t->epsilonz;
    s->scale = t->de;
  }
  return true;
}

// The rotations of a clause (coordinate frame) as the tables hold them (position
// vector), and back: the same change of sign both ways. A zero stays +0, never written
// "-0.000".
void turn_rotations(double* r) {
  for (int i = 0; i < 3; ++i) r[i] = 0.0 - r[i];
}

bool all_finite(const double* v, int n) {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

int write_custom(char* text, size_t size, int number, int ellipsoid, const datum_shift& s,
                 double meridian_degrees) {
  int n = std::snprintf(text, size, "%d %d %5.9lf %5.9lf %5.9lf", number, ellipsoid, s.t[0],
                        s.t[1], s.t[2]);
  if (n < 0 || static_cast<size_t>(n) >= size) return 0;
  if (number == kMifDatumThree) return 1;
  double r[3] = {s.r[0], s.r[1], s.r[2]};
  turn_rotations(r);
  double scratch = 0.0;
  angle_unit_scale(ANG_SECOND, 1, &r[0], &r[1]);
  angle_unit_scale(ANG_SECOND, 1, &r[2], &scratch);
  const double ppm = s.scale * 1e6;
  const double v[5] = {r[0], r[1], r[2], ppm, meridian_degrees};
  if (!all_finite(v, 5)) return 0;
  const size_t used = static_cast<size_t>(n);
  n = std::snprintf(text + used, size - used, " %3.11lf %3.11lf %3.11lf %2.12lf %3.11lf", v[0],
                    v[1], v[2], v[3], v[4]);
  return n >= 0 && static_cast<size_t>(n) < size - used ? 1 : 0;
}

int fail(char* text) {
  text[0] = '\0';
  return 0;
}

}  // namespace

int mif_datum_text(geodatum_t* datum, char* text, size_t size) {
  if (!text || size == 0) return 0;
  text[0] = '\0';
  if (!datum) return 0;
  const int number = mapinfo_number(CLS_GEODATUM, datum->code);
  if (number >= 0) {
    const int n = std::snprintf(text, size, "%d", number);
    return n >= 0 && static_cast<size_t>(n) < size ? 1 : fail(text);
  }
  if (!datum->ellip || !datum->meridian0) return 0;
  const int ellipsoid = mapinfo_number(CLS_ELLIPSOID, datum->ellip->code);
  if (ellipsoid < 0) return 0;
  datum_shift s;
  if (!shift_to_reference(datum, &s) || !all_finite(s.t, 3)) return 0;
  const double meridian = datum->meridian0->glongitude;
  double degrees = meridian, scratch = 0.0;
  angle_unit_scale(ANG_DEGREE, 1, &degrees, &scratch);
  const int kind_number =
      s.kind < TRSF_SHIFT7 && meridian == 0.0 ? kMifDatumThree : kMifDatumSeven;
  return write_custom(text, size, kind_number, ellipsoid, s, degrees) ? 1 : fail(text);
}

geodatum_t* mapinfo_custom_datum(ellipsoid_t* ellipsoid, pmeridian_t* meridian, int file_type,
                                 const double params[10], geodatum_t** out) {
  if (out) *out = nullptr;
  geodatum_t* ref = nullptr;
  geo_get_ref_datum(&ref);
  const bool known_type = file_type == DT_FILE_THREE || file_type == DT_FILE_SEVEN;
  if (!ellipsoid || !meridian || !params || !ref || !known_type || !all_finite(params, 10)) {
    set_gblerr(ERR_GEOGRAPHIC);
    return nullptr;
  }
  double shift[10];
  for (int i = 0; i < 10; ++i) shift[i] = params[i];
  turn_rotations(&shift[3]);
  // Find-or-create as one step: two readers of the same clause get one datum.
  geo_lock lock(geo_state().mutex);
  geodatum_t* datum = nullptr;
  if (datum_find_by_shift(ellipsoid, meridian, file_type, shift, &datum)) {
    if (out) *out = datum;
    return datum;
  }
  int code = 0;
  geo_next_code(CLS_GEODATUM, &code);
  if (!geodatum_create("Mapinfo custom datum", ellipsoid, ANG_DEGREE, meridian, nullptr, code,
                       &datum))
    return nullptr;
  int trans_code = 0;
  geo_next_code(CLS_GEOCENTRIC, &trans_code);
  geocentric_t* trans = nullptr;
  datumtrans_create(datum, ref, file_type, shift, LEN_METRE, ANG_SECOND, 0, 60, trans_code,
                    &trans);
  if (out) *out = datum;
  return datum;
}
