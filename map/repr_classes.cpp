// Descriptors, destructors, copies and registration of the representation classes:
// map nodes (150), ways (151), way lines (152), features (153) and representations (154).
//
// The packed structs of repr.h are checked against these descriptors at compile time, so
// that the byte positions drawing styles store and the fields code reaches by name agree.
// Unnamed attributes (the display text) have an empty name.
#include <cstring>

#include "core/core_classes.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/record_pool.h"
#include "map/repr.h"

namespace {

#define A(name, type) {name, type}
constexpr attr_desc kNodeAttrs[] = {
    A("id", AT_ID),          A("type", AT_INT),       A("pere", AT_FATHER),
    A("coords", AT_POINT),   A("altitude", AT_FLOAT), A("geoidh", AT_FLOAT),
    A("name", AT_WSTRING),   A("ref", AT_WSTRING),    A("", AT_WSTRING),
    A("osmident", AT_STRING), A("feature", AT_REF)};
constexpr attr_desc kWayAttrs[] = {
    A("id", AT_ID),             A("type", AT_INT),        A("father", AT_FATHER),
    A("sons", AT_LIST),         A("name", AT_WSTRING),    A("ref", AT_WSTRING),
    A("txtcoord", AT_TEXTPOS),  A("", AT_WSTRING),        A("feature", AT_REF),
    A("roadatt", AT_REF),       A("lanes", AT_SMALL)};
constexpr attr_desc kWaylineAttrs[] = {
    A("id", AT_ID),            A("type", AT_INT),       A("father", AT_FATHER),
    A("name", AT_WSTRING),     A("ref", AT_WSTRING),    A("txtcoord", AT_TEXTPOS),
    A("loicoord", AT_COORDS),  A("", AT_WSTRING),       A("feature", AT_REF),
    A("roadatt", AT_REF)};
constexpr attr_desc kFeatureAttrs[] = {
    A("id", AT_ID),          A("type", AT_INT),      A("maintype", AT_INT),
    A("subtype", AT_INT),    A("elttype", AT_INT),   A("mnemo", AT_STRING),
    A("name", AT_STRING)};
constexpr attr_desc kRepresentationAttrs[] = {
    A("id", AT_ID),             A("type", AT_INT),          A("father", AT_FATHER),
    A("sons", AT_LIST),         A("mnemo", AT_STRING),      A("colour", AT_COLOR),
    A("thickmeter", AT_INT),    A("thickpixel", AT_INT),    A("motiforsymb", AT_INT),
    A("filloricon", AT_INT),    A("fontsz", AT_INT),        A("lanes", AT_INT),
    A("feattype", AT_INT)};
#undef A

template <size_t N> constexpr int count_of(const attr_desc (&)[N]) { return int(N); }

const objdesc node_desc = {"node", count_of(kNodeAttrs), kNodeAttrs};
const objdesc way_desc = {"way", count_of(kWayAttrs), kWayAttrs};
const objdesc wayline_desc = {"wayline", count_of(kWaylineAttrs), kWaylineAttrs};
const objdesc feature_desc = {"feature", count_of(kFeatureAttrs), kFeatureAttrs};
const objdesc representation_desc = {"representation", count_of(kRepresentationAttrs),
                                     kRepresentationAttrs};

// ---- Layout checks --------------------------------------------------------------------
#define AT(rec, field, attrs, i) \
  static_assert(offsetof(rec, field) == size_t(attr_offset_in(attrs, i)), #rec "." #field)
#define SIZE(rec, attrs) \
  static_assert(sizeof(rec) == size_t(attr_layout_size(attrs, count_of(attrs))), #rec)

AT(node_t, coords, kNodeAttrs, 3); AT(node_t, name, kNodeAttrs, 6); AT(node_t, ref, kNodeAttrs, 7);
AT(node_t, label, kNodeAttrs, 8); AT(node_t, osmident, kNodeAttrs, 9);
AT(node_t, feature, kNodeAttrs, 10); SIZE(node_t, kNodeAttrs);
AT(way_t, sons, kWayAttrs, 3); AT(way_t, name, kWayAttrs, 4); AT(way_t, txtcoord, kWayAttrs, 6);
AT(way_t, label, kWayAttrs, 7); AT(way_t, feature, kWayAttrs, 8); AT(way_t, lanes, kWayAttrs, 10);
SIZE(way_t, kWayAttrs);
AT(wayline_t, name, kWaylineAttrs, 3); AT(wayline_t, txtcoord, kWaylineAttrs, 5);
AT(wayline_t, loicoord, kWaylineAttrs, 6); AT(wayline_t, label, kWaylineAttrs, 7);
AT(wayline_t, roadatt, kWaylineAttrs, 9); SIZE(wayline_t, kWaylineAttrs);
AT(feature_t, maintype, kFeatureAttrs, 2); AT(feature_t, elttype, kFeatureAttrs, 4);
AT(feature_t, mnemo, kFeatureAttrs, 5); AT(feature_t, name, kFeatureAttrs, 6);
SIZE(feature_t, kFeatureAttrs);
AT(representation_t, mnemo, kRepresentationAttrs, 4);
AT(representation_t, colour, kRepresentationAttrs, 5);
AT(representation_t, thickmeter, kRepresentationAttrs, 6);
AT(representation_t, fontsz, kRepresentationAttrs, 10);
AT(representation_t, feattype, kRepresentationAttrs, 12);
SIZE(representation_t, kRepresentationAttrs);
#undef AT
#undef SIZE
// Point styles read a node's coordinates where they read a waypoint's.
static_assert(offsetof(node_t, coords) == kPointCoordsOffset);

// ---- Destructors ------------------------------------------------------------------------
template <class T> void free_list(T** field) {
  container_t* l = owner_get(field);
  if (l) free_obj(&l);
  owner_put(field, static_cast<T*>(l));
}

void node_destroy(obj_t* o) {
  auto* n = static_cast<node_t*>(o);
  free_mem(&n->name);
  free_mem(&n->ref);
  free_mem(&n->label);
  free_mem(&n->osmident);
}
// The node list of a way is a plain list of nodes the file list owns.
void way_destroy(obj_t* o) {
  auto* w = static_cast<way_t*>(o);
  free_mem(&w->name);
  free_mem(&w->ref);
  free_mem(&w->label);
  free_list(&w->sons);
}
void wayline_destroy(obj_t* o) {
  auto* w = static_cast<wayline_t*>(o);
  free_mem(&w->name);
  free_mem(&w->ref);
  free_mem(&w->label);
  coords_free(&w->loicoord);
}
void feature_destroy(obj_t* o) {
  auto* f = static_cast<feature_t*>(o);
  free_mem(&f->mnemo);
  free_mem(&f->name);
}
void representation_destroy(obj_t* o) {
  auto* r = static_cast<representation_t*>(o);
  free_mem(&r->mnemo);
  free_list(&r->sons);
}

// ---- Copies (after the byte copy the destination shares the source's blocks) --------------
char16_t* dup_wide(const char16_t* s) {
  if (!s) return nullptr;
  size_t n = 0;
  while (s[n]) ++n;
  char16_t* out = nullptr;
  alloc_mem(&out, (n + 1) * sizeof(char16_t));
  std::memcpy(out, s, (n + 1) * sizeof(char16_t));
  return out;
}
template <class T> void own_wide(T* rec, char16_t* T::*field) {
  char16_t* s = nullptr;
  std::memcpy(&s, &(rec->*field), sizeof s);
  s = dup_wide(s);
  std::memcpy(&(rec->*field), &s, sizeof s);
}
template <class T> void own_narrow(T* rec, char* T::*field) {
  char* s = nullptr;
  std::memcpy(&s, &(rec->*field), sizeof s);
  s = dup_owned_string(s);
  std::memcpy(&(rec->*field), &s, sizeof s);
}
void own_coords(coord_list* c) {
  coord_list v;
  std::memcpy(&v, c, sizeof v);
  double* pts = nullptr;
  if (v.pts && v.count > 0) {
    const size_t bytes = size_t(v.count) * 2 * sizeof(double);
    alloc_mem(&pts, bytes);
    std::memcpy(pts, v.pts, bytes);
  } else {
    v.count = 0;
  }
  v.pts = pts;
  v.extra = nullptr;
  std::memcpy(c, &v, sizeof v);
}

void node_copy(const obj_t*, obj_t* dst) {
  auto* n = static_cast<node_t*>(dst);
  own_wide(n, &node_t::name);
  own_wide(n, &node_t::ref);
  own_wide(n, &node_t::label);
  own_narrow(n, &node_t::osmident);
}
void way_copy(const obj_t*, obj_t* dst) {
  auto* w = static_cast<way_t*>(dst);
  own_wide(w, &way_t::name);
  own_wide(w, &way_t::ref);
  own_wide(w, &way_t::label);
  owner_put(&w->sons, static_cast<container_t*>(nullptr));
}
void wayline_copy(const obj_t*, obj_t* dst) {
  auto* w = static_cast<wayline_t*>(dst);
  own_wide(w, &wayline_t::name);
  own_wide(w, &wayline_t::ref);
  own_wide(w, &wayline_t::label);
  own_coords(&w->loicoord);
}
void feature_copy(const obj_t*, obj_t* dst) {
  auto* f = static_cast<feature_t*>(dst);
  own_narrow(f, &feature_t::mnemo);
  own_narrow(f, &feature_t::name);
}
void representation_copy(const obj_t*, obj_t* dst) {
  auto* r = static_cast<representation_t*>(dst);
  own_narrow(r, &representation_t::mnemo);
  owner_put(&r->father, static_cast<obj_t*>(nullptr));
  owner_put(&r->sons, static_cast<container_t*>(nullptr));
}

struct repr_class_entry {
  int cls;
  int size;
  const objdesc* desc;
  obj_free_fn free_fn;
  obj_copy_fn copy_fn;
};
const repr_class_entry kClasses[] = {
    {CLS_FEATURE, int(sizeof(feature_t)), &feature_desc, feature_destroy, feature_copy},
    {CLS_REPRESENTATION, int(sizeof(representation_t)), &representation_desc,
     representation_destroy, representation_copy},
    {CLS_WAY, int(sizeof(way_t)), &way_desc, way_destroy, way_copy},
    {CLS_NODE, int(sizeof(node_t)), &node_desc, node_destroy, node_copy},
    {CLS_WAYLINE, int(sizeof(wayline_t)), &wayline_desc, wayline_destroy, wayline_copy},
};

}  // namespace

void repr_register_classes() {
  for (const repr_class_entry& c : kClasses) {
    obj_register_class(c.cls, c.size, c.desc);
    obj_set_free_callback(c.cls, c.free_fn);
    obj_set_copy_callback(c.cls, c.copy_fn);
  }
  // Map files bring nodes by the million.
  obj_set_pooled(CLS_NODE, true);
}

const objdesc* repr_class_descriptor(int cls) {
  for (const repr_class_entry& c : kClasses)
    if (c.cls == cls) return c.desc;
  return nullptr;
}

feature_t* feature_create(container_t* list, int maintype, int subtype, int elttype,
                          const char* mnemo, const char* name, feature_t** out) {
  feature_t* f = nullptr;
  alloc_obj(CLS_FEATURE, &f);
  if (out) *out = f;
  if (!f) return nullptr;
  f->id = obj_new_id();
  f->maintype = maintype;
  f->subtype = subtype;
  f->elttype = elttype;
  if (mnemo) str_set(mnemo, &f->mnemo);
  if (name) str_set(name, &f->name);
  if (list) obj_list_append(list, f);
  return f;
}

representation_t* representation_create(container_t* list, const char* mnemo,
                                         representation_t** out) {
  representation_t* r = nullptr;
  alloc_obj(CLS_REPRESENTATION, &r);
  if (out) *out = r;
  if (!r) return nullptr;
  r->id = obj_new_id();
  if (mnemo) str_set(mnemo, &r->mnemo);
  if (list) obj_list_append(list, r);
  return r;
}
