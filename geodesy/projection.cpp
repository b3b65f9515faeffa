// Projection objects: creation from a table line or a file's parameters, the set-up that
// fills the derived fields through the kind table, and the comparison by parameters that
// lets a reader find a projection it has met before.
//
// A projection is indexed (by code, name and datum) only once its set-up succeeded, so
// that a refused one can be freed without leaving a stale entry behind.
#include <cmath>

#include "core/error.h"
#include "core/memory.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/geodesy_tables_state.h"
#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"

namespace {

bool near(double a, double b, double tol) { return std::fabs(a - b) <= tol; }

// The derived fields a set-up writes; one that is not finite means the parameters are
// outside what the kind's formulas can take.
bool derived_fields_finite(const cartproj_t* p) {
  const double v[] = {p->e, p->n, p->r0, p->c, p->coeff0, p->coeff1, p->coeff2, p->coeff3,
                      p->lambda0, p->k0};
  for (double x : v)
    if (!std::isfinite(x)) return false;
  return true;
}

}  // namespace

void proj_discard(cartproj_t* proj) {
  const int pending = get_gblerr();
  set_gblerr(0);
  obj_t* o = proj;
  free_obj(&o);
  set_gblerr(pending);
}

void proj_setup(cartproj_t* proj, int angular_unit) {
  if (!proj) return;
  const int kind = proj->projtype;
  const proj_kind_entry* k = proj_kind_of(kind);
  if (!k || !k->setup) {
    set_gblerr(ERR_GEOGRAPHIC);
    return;
  }
  geodatum_t* datum = proj->datum;
  if (!datum || !datum->ellip) return;
  proj->geodatum = datum;
  const double e2 = datum->ellip->e2;
  if (!(e2 >= 0.0 && e2 < 1.0)) {
    set_gblerr(ERR_VALUE);
    return;
  }
  proj->e = std::sqrt(e2);
  proj->trsftype = k->trsftype;
  const int pending = get_gblerr();
  set_gblerr(0);
  k->setup(proj, kind, proj->unit, angle_unit_or_degree(angular_unit));
  if (get_gblerr() == 0 && !derived_fields_finite(proj)) set_gblerr(ERR_GEOGRAPHIC);
  if (get_gblerr() != 0) return;
  set_gblerr(pending);
  geo_index_projection(proj);
}

cartproj_t* proj_create(const char* name, int kind, const double params[8], int linear_unit,
                        int angular_unit, geodatum_t* datum, int code, cartproj_t** out) {
  if (out) *out = nullptr;
  if (!params || !proj_kind_has_setup(kind)) return nullptr;
  obj_t* obj = geo_new_object(CLS_CARTPROJ);
  if (!obj) return nullptr;
  cartproj_t* p = static_cast<cartproj_t*>(obj);
  str_set(name, &p->name);
  p->datum = datum;
  const int unit = length_unit_or_metre(linear_unit);
  const int angular = angle_unit_or_degree(angular_unit);
  p->unit = unit;
  p->projtype = kind;
  p->code = code;
  double lam = params[0], phi = params[1];
  angle_unit_scale(angular, 0, &lam, &phi);
  double x0 = params[3], y0 = params[4];
  length_unit_scale(unit, 0, &x0, &y0);
  p->lambda0 = lam;
  p->phio0 = phi;
  p->k0 = params[2];
  p->x0 = x0;
  p->y0 = y0;
  p->coeff1 = params[5];
  p->coeff2 = params[6];
  p->coeff3 = params[7];
  const int pending = get_gblerr();
  set_gblerr(0);
  proj_setup(p, angular);
  if (get_gblerr() != 0) {
    proj_discard(p);
    return nullptr;
  }
  set_gblerr(pending);
  if (out) *out = p;
  return p;
}

void proj_reinit(cartproj_t* proj, int angular_unit) {
  if (!proj) return;
  if (proj->projtype < 0 || proj->projtype >= kProjKindCount || !proj->datum) {
    set_gblerr(ERR_GEOGRAPHIC);
    return;
  }
  int code = 0;
  geo_next_code(CLS_CARTPROJ, &code);
  proj->code = code;
  proj_setup(proj, angular_unit);
}

int proj_equal(const cartproj_t* a, const cartproj_t* b) {
  if (!a || !b || a->projtype != b->projtype) return 0;
  if (b->trsftype == TRSF_PROJ_LCC) {
    if (!near(a->coeff1, b->coeff1, 1e-6) || !near(a->coeff2, b->coeff2, 1e-6) ||
        !near(a->coeff3, b->coeff3, 1e-5))
      return 0;
  }
  return near(a->lambda0, b->lambda0, 1e-6) && near(a->phio0, b->phio0, 1e-6) &&
                 near(a->k0, b->k0, 1e-5) && near(a->x0, b->x0, 0.01) &&
                 near(a->y0, b->y0, 0.01)
             ? 1
             : 0;
}

double proj_origin_latitude(const cartproj_t* proj) {
  if (!proj) return 0.0;
  switch (proj->projtype) {
    case PK_MERCATOR_TS: return 0.0;
    case PK_POLAR_TS: return proj->geodatum ? proj->n * kProjHalfPi : proj->phio0;
    default: return proj->phio0;
  }
}

cartproj_t* proj_find_equal(const cartproj_t* proj, cartproj_t** out) {
  cartproj_t* found = nullptr;
  if (proj && proj->datum) {
    cartproj_t* cursor = nullptr;
    while (proj_next_of_datum(proj->datum, &cursor) && cursor) {
      if (cursor != proj && cursor->projtype == proj->projtype && proj_equal(cursor, proj)) {
        found = cursor;
        break;
      }
    }
  }
  if (out) *out = found;
  return found;
}
