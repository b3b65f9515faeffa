// Registration of the geodetic classes, the indexes kept over their class lists, and the
// lookups by code that every other part of the tables builds on.
//
// Each class 35 to 39 has an index by `code`; all but the transformations one by
// `name`; further indexes serve the searches by parameters (ellipsoids by `a`), by
// reference (datums by ellipsoid, transformations by either datum, projections by
// datum) and the outside names (by name and by code). The indexes are created empty
// over the class lists at registration and every creator enters its object in them.
#include "geodesy/geodesy_tables.h"

#include <climits>
#include <cstddef>

#include "core/error.h"
#include "core/memory.h"
#include "geodesy/geodesy_tables_state.h"

const objdesc ellipsoid_desc = {"ellipsoid", kEllipsoidAttrCount, kEllipsoidAttrs};
const objdesc pmeridian_desc = {"pmeridian", kPmeridianAttrCount, kPmeridianAttrs};
const objdesc geodatum_desc = {"geodatum", kGeodatumAttrCount, kGeodatumAttrs};
const objdesc geocentric_desc = {"geocentric", kGeocentricAttrCount, kGeocentricAttrs};
const objdesc cartproj_desc = {"cartproj", kCartprojAttrCount, kCartprojAttrs};

namespace {

struct geo_class {
  int cls;
  int size;
  const objdesc* desc;
  bool owns_name;
};

constexpr geo_class kGeoClasses[] = {
    {CLS_ELLIPSOID, sizeof(ellipsoid_t), &ellipsoid_desc, true},
    {CLS_GEOCENTRIC, sizeof(geocentric_t), &geocentric_desc, false},
    {CLS_GEODATUM, sizeof(geodatum_t), &geodatum_desc, true},
    {CLS_CARTPROJ, sizeof(cartproj_t), &cartproj_desc, true},
    {CLS_PMERIDIAN, sizeof(pmeridian_t), &pmeridian_desc, true},
    {CLS_GEO_NAME, sizeof(geo_name_t), nullptr, true},
    {CLS_GEO_OWNED_54, sizeof(geo_owned_name_t), nullptr, true},
    {CLS_GEO_OWNED_55, sizeof(geo_owned_name_t), nullptr, true},
    {CLS_GEO_OWNED_56, sizeof(geo_owned_name_t), nullptr, true},
};

// Offset of the owned name in a record of the class; -1 when it has none.
int name_offset(int cls) {
  switch (cls) {
    case CLS_ELLIPSOID: return offsetof(ellipsoid_t, name);
    case CLS_GEOCENTRIC: return offsetof(geocentric_t, name);
    case CLS_GEODATUM: return offsetof(geodatum_t, name);
    case CLS_CARTPROJ: return offsetof(cartproj_t, name);
    case CLS_PMERIDIAN: return offsetof(pmeridian_t, name);
    case CLS_GEO_NAME: return offsetof(geo_name_t, name);
    case CLS_GEO_OWNED_54:
    case CLS_GEO_OWNED_55:
    case CLS_GEO_OWNED_56: return offsetof(geo_owned_name_t, name);
    default: return -1;
  }
}

// The code lies at the same offset (after id and class) in classes 35 to 39.
constexpr int kCodeOffset = offsetof(ellipsoid_t, code);
static_assert(offsetof(geocentric_t, code) == kCodeOffset &&
              offsetof(geodatum_t, code) == kCodeOffset &&
              offsetof(cartproj_t, code) == kCodeOffset &&
              offsetof(pmeridian_t, code) == kCodeOffset);

void drop_index(container_t** index) {
  if (!*index) return;
  obj_t* o = *index;
  free_obj(&o);
  *index = nullptr;
}

void drop_all_indexes(geo_tables_state& s) {
  for (auto& i : s.by_code) drop_index(&i);
  for (auto& i : s.by_name) drop_index(&i);
  drop_index(&s.ellipsoid_by_a);
  drop_index(&s.datum_by_ellip);
  drop_index(&s.trans_by_departure);
  drop_index(&s.trans_by_arrival);
  drop_index(&s.proj_by_datum);
  drop_index(&s.names_by_name);
  drop_index(&s.names_by_code);
}

container_t* make_index(int cls, int key_type, int offset) {
  container_t* index = nullptr;
  index_create_over(obj_class_list(cls), cls, key_type, offset, &index);
  return index;
}

void create_all_indexes(geo_tables_state& s) {
  for (int cls = kGeoFirstClass; cls <= kGeoLastClass; ++cls) {
    s.by_code[cls - kGeoFirstClass] = make_index(cls, AT_INT, kCodeOffset);
    if (cls != CLS_GEOCENTRIC)
      s.by_name[cls - kGeoFirstClass] = make_index(cls, AT_STRING, name_offset(cls));
  }
  s.ellipsoid_by_a = make_index(CLS_ELLIPSOID, AT_DOUBLE, offsetof(ellipsoid_t, a));
  s.datum_by_ellip = make_index(CLS_GEODATUM, AT_REF, offsetof(geodatum_t, ellip));
  s.trans_by_departure = make_index(CLS_GEOCENTRIC, AT_REF, offsetof(geocentric_t, datumd));
  s.trans_by_arrival = make_index(CLS_GEOCENTRIC, AT_REF, offsetof(geocentric_t, datuma));
  s.proj_by_datum = make_index(CLS_CARTPROJ, AT_REF, offsetof(cartproj_t, datum));
  s.names_by_name = make_index(CLS_GEO_NAME, AT_STRING, offsetof(geo_name_t, name));
  s.names_by_code = make_index(CLS_GEO_NAME, AT_INT, offsetof(geo_name_t, code));
}

}  // namespace

geo_tables_state& geo_state() {
  static geo_tables_state state;
  return state;
}

container_t* geo_code_index(int cls) {
  return geo_class_valid(cls) ? geo_state().by_code[cls - kGeoFirstClass] : nullptr;
}

container_t* geo_name_index(int cls) {
  return geo_class_valid(cls) ? geo_state().by_name[cls - kGeoFirstClass] : nullptr;
}

obj_t* geo_new_object(int cls) {
  obj_t* obj = nullptr;
  obj_new_registered(cls, &obj);
  return obj;
}

void geo_index_by_code_and_name(obj_t* obj, int cls) {
  if (!obj) return;
  index_insert(geo_code_index(cls), obj);
  index_insert(geo_name_index(cls), obj);
}

// ---- Free and copy routines ---------------------------------------------------------

void geo_free_name(obj_t* obj) {
  const int off = obj ? name_offset(obj->cls) : -1;
  if (off < 0) return;
  free_mem(reinterpret_cast<char**>(reinterpret_cast<char*>(obj) + off));
}

// A copy owns a copy of the name, so that freeing both never frees one string twice.
void geo_copy_name(const obj_t* src, obj_t* dst) {
  const int off = dst ? name_offset(dst->cls) : -1;
  if (off < 0 || !src) return;
  char** owner = reinterpret_cast<char**>(reinterpret_cast<char*>(dst) + off);
  const char* text = field_load<const char*>(src, off);
  owner_put<char>(owner, nullptr);
  if (text) str_set(text, owner);
}

// ---- Registration -------------------------------------------------------------------

void geo_register_classes() {
  for (const geo_class& c : kGeoClasses) {
    obj_register_class(c.cls, c.size, c.desc);
    if (c.owns_name) {
      obj_set_free_callback(c.cls, geo_free_name);
      obj_set_copy_callback(c.cls, geo_copy_name);
    }
  }
  xform_register_classes();
  geo_tables_state& s = geo_state();
  geo_lock lock(s.mutex);
  const int pending = get_gblerr();
  set_gblerr(0);  // the old indexes are freed, and the new ones built, only without error
  drop_all_indexes(s);
  create_all_indexes(s);
  s.ref_datum.store(nullptr, std::memory_order_release);
  set_gblerr(pending);
}

void geo_reset_tables() {
  geo_tables_state& s = geo_state();
  geo_lock lock(s.mutex);
  const int pending = get_gblerr();
  set_gblerr(0);  // objects are never freed while an error is pending
  drop_all_indexes(s);
  s.ref_datum.store(nullptr, std::memory_order_release);
  for (const geo_class& c : kGeoClasses) {
    obj_t* obj = nullptr;
    while (obj_class_next(c.cls, &obj) && obj) {
      free_obj(&obj);  // leaves the class list, so the next call starts over
      obj = nullptr;
    }
  }
  set_gblerr(pending);
}

// ---- Lookups by code ----------------------------------------------------------------

obj_t* geo_find_by_code(int cls, int code, obj_t** out) {
  obj_t* found = nullptr;
  if (geo_class_valid(cls)) {
    geo_lock lock(geo_state().mutex);
    index_get(geo_code_index(cls), &code, &found);
  }
  if (out) *out = found;
  return found;
}

int geo_next_code(int cls, int* out) {
  int next = 0;
  if (geo_class_valid(cls)) {
    geo_lock lock(geo_state().mutex);
    const container_t* index = geo_code_index(cls);
    obj_t* last = nullptr;
    obj_list_last(index, &last);
    if (last) {
      const int32_t highest = field_load<int32_t>(last, kCodeOffset);
      next = highest < INT_MAX ? (highest < 0 ? 0 : highest + 1) : INT_MAX;
    }
  }
  if (out) *out = next;
  return next;
}

// ---- Projections ----------------------------------------------------------------------

void geo_index_projection(cartproj_t* proj) {
  if (!proj) return;
  geo_lock lock(geo_state().mutex);
  geo_index_by_code_and_name(proj, CLS_CARTPROJ);
  index_insert(geo_state().proj_by_datum, proj);
}

cartproj_t* proj_next_of_datum(geodatum_t* datum, cartproj_t** cursor) {
  if (!cursor) return nullptr;
  obj_t* o = *cursor;
  {
    geo_lock lock(geo_state().mutex);
    index_get(geo_state().proj_by_datum, datum, &o);
  }
  *cursor = static_cast<cartproj_t*>(o);
  return *cursor;
}

// ---- Reference datum ------------------------------------------------------------------

void geo_init_ref_datum() {
  geodatum_t* d = nullptr;
  geo_find_by_code(CLS_GEODATUM, kRefDatumCode, &d);
  geo_state().ref_datum.store(d, std::memory_order_release);
}

geodatum_t* geo_get_ref_datum(geodatum_t** out) {
  geodatum_t* d = geo_state().ref_datum.load(std::memory_order_acquire);
  if (out) *out = d;
  return d;
}

// ---- Lists --------------------------------------------------------------------------

void geo_free_all(container_t** list) {
  if (!list || !*list) return;
  obj_list_free_elements(*list);
  obj_t* o = *list;
  free_obj(&o);
  *list = static_cast<container_t*>(o);
}
