// The projection of a CoordSys clause: found among the projections already on the datum,
// so that a system read twice (or read from a clause after the tables gave it) is one
// object, or created, named and set up.
//
// The candidate built from the clause is not set up: its extra angles are still degrees
// and its Belgian origin longitude is the clause's. The comparisons below therefore
// bring both sides to radians and to the clause's longitude before comparing.
#include <cmath>
#include <string>

#include "core/error.h"
#include "core/memory.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/geodesy_tables_state.h"
#include "geodesy/mapinfo.h"
#include "geodesy/mapinfo_internal.h"
#include "geodesy/projection.h"

using namespace mif_detail;

namespace {

bool within(double a, double b, double tolerance) { return std::fabs(a - b) <= tolerance; }

// Standard parallels in radians, the lower first: a cone through (a, b) is the cone
// through (b, a), and clauses list them either way.
void parallels_rad(const cartproj_t* p, double* low, double* high) {
  const double a = extra_angle_rad(p, p->coeff1);
  const double b = extra_angle_rad(p, p->coeff2);
  *low = std::fmin(a, b);
  *high = std::fmax(a, b);
}

bool same_parallels(const cartproj_t* a, const cartproj_t* b) {
  double a1, a2, b1, b2;
  parallels_rad(a, &a1, &a2);
  parallels_rad(b, &b1, &b2);
  return within(a1, b1, 1e-6) && within(a2, b2, 1e-6);
}

bool same_false_origin(const cartproj_t* a, const cartproj_t* b) {
  return within(a->x0, b->x0, 0.01) && within(a->y0, b->y0, 0.01);
}

// Type 19: the origin as the clause gives it (before the Belgian turn), the parallels
// and the false origin.
int belgian_equal(const cartproj_t* existing, const cartproj_t* candidate) {
  return existing->projtype == candidate->projtype &&
         within(clause_lambda0(existing), clause_lambda0(candidate), 1e-6) &&
         within(existing->phio0, candidate->phio0, 1e-6) &&
         same_parallels(existing, candidate) && same_false_origin(existing, candidate);
}

// Type 7: proj_equal does not see the azimuth of a candidate that is not set up.
int hotine_equal(const cartproj_t* existing, const cartproj_t* candidate) {
  if (!proj_equal(existing, candidate)) return 0;
  bool ok_a = false, ok_b = false;
  const double a = clause_hotine_azimuth(existing, &ok_a);
  const double b = clause_hotine_azimuth(candidate, &ok_b);
  // Azimuths are equal as directions: 337.25 and -22.75 degrees are one line.
  const double turn = std::remainder(a - b, 2.0 * 3.14159265358979323846);
  return ok_a && ok_b && std::fabs(turn) <= 1e-6 ? 1 : 0;
}

int clause_equal(int type, cartproj_t* existing, cartproj_t* candidate) {
  // A projection in another unit writes other numbers: it is another system for a file.
  if (existing == candidate || existing->unit != candidate->unit) return 0;
  switch (type) {
    case 3: return mif_lcc_equal(existing, candidate);
    case 7: return hotine_equal(existing, candidate);
    case 19: return belgian_equal(existing, candidate);
    default: return proj_equal(existing, candidate);
  }
}

bool values_usable(int type, int count, const double* params) {
  const int needed = mif_proj_param_count(type);
  if (needed <= 0 || count != needed || !params) return false;
  for (int i = 0; i < count; ++i)
    if (!std::isfinite(params[i])) return false;
  return proj_kind_has_setup(mif_kind_of_type(type)) != 0;
}

cartproj_t* refuse(cartproj_t** out) {
  if (out) *out = nullptr;
  set_gblerr(ERR_GEOGRAPHIC);
  return nullptr;
}

// Names, codes and sets up a new candidate; frees it when the set-up fails.
cartproj_t* adopt_candidate(cartproj_t* candidate, geodatum_t* datum) {
  std::string name = datum->name ? datum->name : "";
  name += " / Mapinfo custom projection";
  str_set(name.c_str(), &candidate->name);
  // The set-up reports its failure through gblerr only: look at it alone, and give back
  // the caller's code afterwards.
  const int before = get_gblerr();
  set_gblerr(0);
  proj_reinit(candidate, ANG_DEGREE);
  const int err = get_gblerr();
  if (err != 0 || !is_set_up(candidate)) {
    set_gblerr(err != 0 ? err : ERR_GEOGRAPHIC);
    free_obj(&candidate);
    return nullptr;
  }
  set_gblerr(before);
  return candidate;
}

}  // namespace

int mif_lcc_equal(cartproj_t* existing, cartproj_t* candidate) {
  if (!existing || !candidate) return 0;
  const cartproj_t* a = existing;
  const cartproj_t* b = candidate;
  const bool origin = within(a->lambda0, b->lambda0, 1e-5) && within(a->phio0, b->phio0, 1e-6);
  if (a->projtype == PK_LCC1 || b->projtype == PK_LCC1) {
    if (!origin || !within(a->k0, b->k0, 1e-5) || !same_false_origin(a, b)) return 0;
    // The same cone: the one-parallel form stands for both. A set-up two-parallel cone
    // keeps its kind (its set-up fields are those of two parallels).
    if (!is_set_up(existing)) existing->projtype = PK_LCC1;
    if (!is_set_up(candidate)) candidate->projtype = PK_LCC1;
    return 1;
  }
  return origin && same_parallels(a, b) && same_false_origin(a, b) ? 1 : 0;
}

cartproj_t* name_mif_custom_projection(int type, geodatum_t* datum, int linear_unit, int count,
                                       const double* params, cartproj_t** out) {
  if (out) *out = nullptr;
  if (!datum || !datum->ellip || !values_usable(type, count, params)) return refuse(out);
  // Find-or-create as one step: two readers of the same clause get one projection.
  geo_lock lock(geo_state().mutex);
  cartproj_t* candidate = nullptr;
  if (!mif_proj_new(type, datum->ellip, datum, params, linear_unit, &candidate))
    return refuse(out);
  cartproj_t* cursor = nullptr;
  while (proj_next_of_datum(datum, &cursor)) {
    if (clause_equal(type, cursor, candidate)) {
      free_obj(&candidate);
      if (out) *out = cursor;
      return cursor;
    }
  }
  cartproj_t* made = adopt_candidate(candidate, datum);
  if (out) *out = made;
  return made;
}
