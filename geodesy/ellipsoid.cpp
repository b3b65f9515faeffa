// Ellipsoids: creation from a table line or a file's parameters, and the search for an
// existing ellipsoid of a given size and shape.
//
// An ellipsoid is defined either by a and 1/f (b is then 0, not computed) or by a and b
// (1/f is then 0); e2 is computed from whichever pair defines it.
#include <cmath>

#include "core/memory.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/geodesy_tables_state.h"
#include "geodesy/units.h"

namespace {

// 1/f at or below this value means "defined by b".
constexpr double kInvfNone = 2e-14;

// The inverse flattening of a stored ellipsoid; a sphere (a == b) counts as 0, the
// convention the tables and file formats use for it.
double inverse_flattening(const ellipsoid_t* e) {
  if (e->invf > kInvfNone) return e->invf;
  const double d = e->a - e->b;
  return d == 0.0 ? 0.0 : e->a / d;
}

}  // namespace

ellipsoid_t* ellipsoid_create(const char* name, double a, double invf, double b, int unit,
                              int code, ellipsoid_t** out) {
  if (out) *out = nullptr;
  length_unit_scale(length_unit_or_metre(unit), 0, &a, &b);
  // Made and filled under the lock: the object is in its class list from its creation.
  geo_tables_state& s = geo_state();
  geo_lock lock(s.mutex);
  obj_t* obj = geo_new_object(CLS_ELLIPSOID);
  if (!obj) return nullptr;
  ellipsoid_t* e = static_cast<ellipsoid_t*>(obj);
  str_set(name, &e->name);
  e->a = a;
  if (invf <= kInvfNone) {
    e->invf = 0.0;
    e->b = b;
    e->e2 = (a * a - b * b) / (a * a);
  } else {
    e->invf = invf;
    e->b = 0.0;
    e->e2 = (2.0 * invf - 1.0) / (invf * invf);
  }
  e->code = code;
  geo_index_by_code_and_name(e, CLS_ELLIPSOID);
  index_insert(s.ellipsoid_by_a, e);
  if (out) *out = e;
  return e;
}

ellipsoid_t* ellipsoid_find_by_params(double a, double invf, ellipsoid_t** out) {
  if (out) *out = nullptr;
  geo_tables_state& s = geo_state();
  geo_lock lock(s.mutex);
  const container_t* index = s.ellipsoid_by_a;
  obj_t* nearest = nullptr;
  double d = -1;
  index_nearest(index, &a, &nearest, &d);
  if (!nearest || !(d <= 0.001)) return nullptr;
  // The candidates: every a within the distance found, widened by a relative margin.
  const double low_end = a - d;
  const double high_end = a + d;
  const double low = low_end * (low_end < 0 ? 1.000001 : 0.999999);
  const double high = high_end * (high_end < 0 ? 0.999999 : 1.000001);
  int pos = -1;
  index_find_before(index, &low, &pos);
  for (int i = pos + 1; i < index->count; ++i) {
    const ellipsoid_t* e = static_cast<const ellipsoid_t*>(index->elems[i]);
    if (e->a > high) break;
    if (e->a < low) continue;
    if (std::fabs(inverse_flattening(e) - invf) <= 1e-6) {
      if (out) *out = const_cast<ellipsoid_t*>(e);
      return const_cast<ellipsoid_t*>(e);
    }
  }
  return nullptr;
}
