// Geodetic datums: creation, and the search for a datum by its shift to the reference
// datum (for file formats that describe a datum by its parameters only).
#include "core/memory.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/geodesy_tables_state.h"
#include "geodesy/units.h"

geodatum_t* geodatum_create(const char* name, ellipsoid_t* ellipsoid, int unit,
                            pmeridian_t* meridian, obj_t* area, int code, geodatum_t** out) {
  if (out) *out = nullptr;
  // Made and filled under the lock: the object is in its class list from its creation,
  // and the datum path search walks that list.
  geo_tables_state& s = geo_state();
  geo_lock lock(s.mutex);
  obj_t* obj = geo_new_object(CLS_GEODATUM);
  if (!obj) return nullptr;
  geodatum_t* d = static_cast<geodatum_t*>(obj);
  str_set(name, &d->name);
  d->unit = angle_unit_or_degree(unit);
  d->ellip = ellipsoid;
  d->meridian0 = meridian;
  d->area = area;
  // A datum without its ellipsoid or meridian is a record being built by its caller:
  // it gets no code and stays out of the indexes.
  if (ellipsoid && meridian) {
    d->origlon = meridian->glongitude;
    d->ell = ellipsoid;
    d->code = code;
    geo_index_by_code_and_name(d, CLS_GEODATUM);
    index_insert(s.datum_by_ellip, d);
  }
  if (out) *out = d;
  return d;
}

// Among the datums on the ellipsoid and meridian, the first joined to the reference
// datum by a transformation with these parameters (metres and seconds of arc).
geodatum_t* datum_find_by_shift(ellipsoid_t* ellipsoid, pmeridian_t* meridian, int file_type,
                                const double params[10], geodatum_t** out) {
  if (out) *out = nullptr;
  if (!ellipsoid || !params) return nullptr;
  geo_tables_state& s = geo_state();
  geo_lock lock(s.mutex);
  geodatum_t* ref = nullptr;
  geo_find_by_code(CLS_GEODATUM, kRefDatumCode, &ref);
  if (!ref) return nullptr;
  obj_t* cursor = nullptr;
  while (index_get(s.datum_by_ellip, ellipsoid, &cursor) && cursor) {
    geodatum_t* d = static_cast<geodatum_t*>(cursor);
    if (d->meridian0 != meridian) continue;
    geocentric_t* t = nullptr;
    int direction = 0;
    while (datumtrans_next_between(d, ref, &t, &direction)) {
      if (datumtrans_equal(t, params, LEN_METRE, ANG_SECOND, direction)) {
        if (out) *out = d;
        return d;
      }
    }
  }
  return nullptr;
}
