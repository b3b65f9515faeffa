// Datum transformations (class 36): creation from a table line or a file, the inverse
// made on demand, the comparison with given parameters, and the iterators over the
// transformations of a datum.
//
// The file types of "gcentric.txt" become transform kinds: 0 identity, 1 prime-meridian
// shift (kind 7), 3 three translations (8), 7 seven parameters (9), 10 ten parameters
// (10). Each kind has one routine that fills a record from parameters and one that
// fills an inverse; the tables below are indexed by kind.
#include <cmath>

#include "core/error.h"
#include "core/memory.h"
#include "geodesy/datum_shift.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/geodesy_tables_state.h"
#include "geodesy/units.h"

namespace {

// Parameters converted to metres and radians: tx, ty, tz, rx, ry, rz, scale, x0, y0, z0.
struct shift_params {
  double v[10];
};

shift_params convert_params(const double params[10], int linear, int angular) {
  shift_params p;
  for (int i = 0; i < 10; ++i) p.v[i] = params[i];
  length_unit_scale(linear, 0, &p.v[0], &p.v[1]);
  length_unit_scale(linear, 0, &p.v[2], &p.v[7]);
  length_unit_scale(linear, 0, &p.v[8], &p.v[9]);
  angle_unit_scale(angular, 0, &p.v[3], &p.v[4]);
  double scratch = 0.0;
  angle_unit_scale(angular, 0, &p.v[5], &scratch);
  return p;
}

void set_translations(geocentric_t* t, const shift_params& p) {
  t->tx = p.v[0];
  t->ty = p.v[1];
  t->tz = p.v[2];
}
void set_rotations_and_scale(geocentric_t* t, const shift_params& p) {
  t->epsilonx = p.v[3];
  t->epsilony = p.v[4];
  t->epsilonz = p.v[5];
  t->de = p.v[6];
}

// ---- Filling a record from a file type -----------------------------------------------

using fill_fn = void (*)(geocentric_t* t, const shift_params& p);

void fill_identity(geocentric_t* t, const shift_params&) { t->trsftype = TRSF_IDENTITY; }

// The shift is the difference of the two datums' prime meridians, whatever the
// parameters say.
void fill_meridian(geocentric_t* t, const shift_params&) {
  t->trsftype = TRSF_MERIDIAN_SHIFT;
  if (!t->datumd || !t->datuma) return;
  t->unit = t->datumd->unit;
  t->unit2 = t->datuma->unit;
  t->tx = t->datumd->origlon - t->datuma->origlon;
}

void fill_three(geocentric_t* t, const shift_params& p) {
  t->trsftype = TRSF_SHIFT3;
  set_translations(t, p);
}

void fill_seven(geocentric_t* t, const shift_params& p) {
  t->trsftype = TRSF_SHIFT7;
  set_translations(t, p);
  set_rotations_and_scale(t, p);
}

void fill_ten(geocentric_t* t, const shift_params& p) {
  t->trsftype = TRSF_SHIFT10;
  set_translations(t, p);
  set_rotations_and_scale(t, p);
  t->x0 = p.v[7];
  t->y0 = p.v[8];
  t->z0 = p.v[9];
}

// Indexed by file type 0 to 10; null: unsupported.
constexpr fill_fn kFillByFileType[] = {fill_identity, fill_meridian, nullptr, fill_three,
                                       nullptr,       nullptr,       nullptr, fill_seven,
                                       nullptr,       nullptr,       fill_ten};
constexpr int kFileTypeCount = sizeof kFillByFileType / sizeof kFillByFileType[0];

fill_fn fill_for(int file_type) {
  return file_type >= 0 && file_type < kFileTypeCount ? kFillByFileType[file_type] : nullptr;
}

// ---- Filling an inverse by transform kind ----------------------------------------------

using invert_fn = void (*)(const geocentric_t* t, geocentric_t* inv);

void invert_identity(const geocentric_t*, geocentric_t*) {}
void invert_meridian(const geocentric_t* t, geocentric_t* inv) {
  inv->unit = t->unit2;
  inv->unit2 = t->unit;
  inv->tx = -t->tx;
}
void invert_three(const geocentric_t* t, geocentric_t* inv) {
  inv->tx = -t->tx;
  inv->ty = -t->ty;
  inv->tz = -t->tz;
}
// The rotation centre is not carried over: the shift formula does not use it.
// The exact inverse similarity, not the first-order one with negated parameters.
void invert_seven(const geocentric_t* t, geocentric_t* inv) {
  invert_three(t, inv);
  datum_shift7_invert_params(t, inv);
}

// Indexed by transform kind 0 to 10; null: not a datum transformation kind.
constexpr invert_fn kInvertByKind[] = {invert_identity, nullptr,         nullptr,
                                       nullptr,         nullptr,         nullptr,
                                       nullptr,         invert_meridian, invert_three,
                                       invert_seven,    invert_seven};
constexpr int kKindCount = sizeof kInvertByKind / sizeof kInvertByKind[0];

invert_fn invert_for(int kind) {
  return kind >= 0 && kind < kKindCount ? kInvertByKind[kind] : nullptr;
}

void index_transformation(geocentric_t* t) {
  geo_tables_state& s = geo_state();
  index_insert(geo_code_index(CLS_GEOCENTRIC), t);
  index_insert(s.trans_by_departure, t);
  index_insert(s.trans_by_arrival, t);
}

bool near(double p, double q, double tolerance) { return std::fabs(p - q) <= tolerance; }

// The next transformation after *cursor in an index by datum, for that datum.
geocentric_t* next_in(const container_t* index, geodatum_t* datum, geocentric_t** cursor) {
  obj_t* o = *cursor;
  index_get(index, datum, &o);
  *cursor = static_cast<geocentric_t*>(o);
  return *cursor;
}

}  // namespace

geocentric_t* datumtrans_create(geodatum_t* departure, geodatum_t* arrival, int file_type,
                                const double params[10], int linear_unit, int angular_unit,
                                int /*ignored*/, int weight, int code, geocentric_t** out) {
  if (out) *out = nullptr;
  const fill_fn fill = fill_for(file_type);
  if (!fill) {
    set_gblerr(ERR_GEOGRAPHIC);
    return nullptr;
  }
  const int linear = length_unit_or_metre(linear_unit);
  const int angular = angle_unit_or_degree(angular_unit);
  shift_params p{};
  if (params) p = convert_params(params, linear, angular);
  // Made and filled under the lock: the object is in its class list from its creation.
  geo_lock lock(geo_state().mutex);
  obj_t* obj = geo_new_object(CLS_GEOCENTRIC);
  if (!obj) return nullptr;
  geocentric_t* t = static_cast<geocentric_t*>(obj);
  t->datumd = departure;
  t->datuma = arrival;
  t->weight = weight;
  t->unit = linear;
  t->unit2 = angular;
  fill(t, p);
  t->code = code;
  index_transformation(t);
  if (out) *out = t;
  return t;
}

geocentric_t* datumtrans_inverse(geocentric_t* trans, geocentric_t** out) {
  if (out) *out = nullptr;
  if (!trans) return nullptr;
  geo_lock lock(geo_state().mutex);
  if (trans->inverse) {
    if (out) *out = trans->inverse;
    return trans->inverse;
  }
  const invert_fn invert = invert_for(trans->trsftype);
  if (!invert) {
    set_gblerr(ERR_GEOGRAPHIC);
    return nullptr;
  }
  obj_t* obj = geo_new_object(CLS_GEOCENTRIC);
  if (!obj) return nullptr;
  geocentric_t* inv = static_cast<geocentric_t*>(obj);
  inv->code = geo_next_code(CLS_GEOCENTRIC, nullptr);
  inv->trsftype = trans->trsftype;
  inv->weight = trans->weight;
  inv->datumd = trans->datuma;
  inv->datuma = trans->datumd;
  inv->unit = trans->unit;
  inv->unit2 = trans->unit2;
  invert(trans, inv);
  inv->inverse = trans;
  trans->inverse = inv;
  index_transformation(inv);
  if (out) *out = inv;
  return inv;
}

namespace {

// The parameters of t, each multiplied by `sign` (the rotation centre kept), against p.
bool params_match(const geocentric_t* t, const shift_params& p, double sign) {
  return near(sign * t->tx, p.v[0], 1e-6) && near(sign * t->ty, p.v[1], 1e-6) &&
         near(sign * t->tz, p.v[2], 1e-6) && near(sign * t->epsilonx, p.v[3], 1e-7) &&
         near(sign * t->epsilony, p.v[4], 1e-7) && near(sign * t->epsilonz, p.v[5], 1e-7) &&
         near(sign * t->de, p.v[6], 1e-14) && near(t->x0, p.v[7], 0.01) &&
         near(t->y0, p.v[8], 0.01) && near(t->z0, p.v[9], 0.01);
}

}  // namespace

// A transformation stored the other way (direction 1) matches its exact inverse, or the
// negated parameters that files commonly give for the reverse direction.
int datumtrans_equal(geocentric_t* trans, const double params[10], int linear_unit,
                     int angular_unit, int direction) {
  if (!trans || !params) return 0;
  const shift_params p = convert_params(params, length_unit_or_metre(linear_unit),
                                        angle_unit_or_degree(angular_unit));
  if (direction != 1) return params_match(trans, p, 1.0) ? 1 : 0;
  if (params_match(trans, p, -1.0)) return 1;
  geocentric_t* inv = nullptr;
  const geocentric_t* t = datumtrans_inverse(trans, &inv);
  return t && params_match(t, p, 1.0) ? 1 : 0;
}

geocentric_t* datumtrans_next_between(geodatum_t* d1, geodatum_t* d2, geocentric_t** cursor,
                                      int* direction) {
  if (!cursor || !direction) return nullptr;
  geo_tables_state& s = geo_state();
  geo_lock lock(s.mutex);
  if (*direction == 0) {
    while (next_in(s.trans_by_departure, d1, cursor))
      if ((*cursor)->datuma == d2) return *cursor;
    *direction = 1;  // the cursor is null again
  }
  if (*direction == 1) {
    while (next_in(s.trans_by_departure, d2, cursor))
      if ((*cursor)->datuma == d1) return *cursor;
    *direction = 2;  // the end: further calls find nothing
  }
  *cursor = nullptr;
  return nullptr;
}

geocentric_t* datumtrans_next_of_datum(geodatum_t* datum, geocentric_t** cursor,
                                       int* direction) {
  if (!cursor || !direction) return nullptr;
  geo_tables_state& s = geo_state();
  geo_lock lock(s.mutex);
  if (*direction == 0) {
    if (next_in(s.trans_by_departure, datum, cursor)) return *cursor;
    *direction = 1;
  }
  if (*direction == 1) {
    if (next_in(s.trans_by_arrival, datum, cursor)) return *cursor;
    *direction = 2;
  }
  *cursor = nullptr;
  return nullptr;
}
