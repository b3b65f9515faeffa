// Prime meridians: creation and the search by longitude.
#include "core/memory.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/geodesy_tables_state.h"
#include "geodesy/units.h"

pmeridian_t* pmeridian_create(const char* name, double longitude, int unit, int code,
                              pmeridian_t** out) {
  if (out) *out = nullptr;
  unit = angle_unit_or_degree(unit);
  double scratch = 0.0;
  angle_unit_scale(unit, 0, &longitude, &scratch);
  // Made and filled under the lock: the object is in its class list from its creation.
  geo_lock lock(geo_state().mutex);
  obj_t* obj = geo_new_object(CLS_PMERIDIAN);
  if (!obj) return nullptr;
  pmeridian_t* m = static_cast<pmeridian_t*>(obj);
  str_set(name, &m->name);
  m->glongitude = longitude;
  m->unit = unit;
  m->code = code;
  geo_index_by_code_and_name(m, CLS_PMERIDIAN);
  if (out) *out = m;
  return m;
}

// The first meridian (in code order) whose longitude is exactly the given one.
pmeridian_t* pmeridian_find_by_longitude(double longitude, int unit, pmeridian_t** out) {
  if (out) *out = nullptr;
  double scratch = 0.0;
  angle_unit_scale(angle_unit_or_degree(unit), 0, &longitude, &scratch);
  geo_lock lock(geo_state().mutex);
  const container_t* index = geo_code_index(CLS_PMERIDIAN);
  const int n = obj_list_count(index);
  for (int i = 0; i < n; ++i) {
    pmeridian_t* m = static_cast<pmeridian_t*>(index->elems[i]);
    if (m->glongitude == longitude) {
      if (out) *out = m;
      return m;
    }
  }
  return nullptr;
}
