// Outside names: the name tables that give the geodetic objects their names in the
// vocabularies of other file formats, and the lookups through them.
//
// A name entry (class 40) joins (class, scheme, name) to the `code` of an object; the
// code is not checked against the tables, so a lookup through an entry may find
// nothing. Entries are indexed by name and by code; equal keys stand in entry order,
// which is the order of the name table's lines.
#include <cstring>

#include "core/error.h"
#include "core/memory.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/geodesy_tables_line.h"
#include "geodesy/geodesy_tables_state.h"

namespace {

// Name fields of the name tables are at most 255 characters.
constexpr size_t kAliasNameSize = 256;

struct name_table_context {
  int cls;
};

void add_name_entry(int cls, int scheme, int code, const char* name) {
  obj_t* obj = geo_new_object(CLS_GEO_NAME);
  if (!obj) return;
  geo_name_t* entry = static_cast<geo_name_t*>(obj);
  entry->obj_class = cls;
  entry->scheme = scheme;
  entry->code = code;
  str_set(name, &entry->name);
  geo_tables_state& s = geo_state();
  index_insert(s.names_by_name, entry);
  index_insert(s.names_by_code, entry);
}

// "scheme;name;code"
void name_line(const geo_line_fields& f, void* ctx) {
  const int cls = static_cast<name_table_context*>(ctx)->cls;
  add_name_entry(cls, f.ints[0], f.ints[2], f.name);
}

bool entry_matches(const obj_t* o, int cls, int scheme) {
  const geo_name_t* e = static_cast<const geo_name_t*>(o);
  return e->obj_class == cls && e->scheme == scheme;
}

// The next entry after *cursor (the first when null) of that name, class and scheme.
const geo_name_t* next_entry_by_name(const char* name, int cls, int scheme, obj_t** cursor) {
  const container_t* index = geo_state().names_by_name;
  while (index_get(index, name, cursor) && *cursor)
    if (entry_matches(*cursor, cls, scheme)) return static_cast<const geo_name_t*>(*cursor);
  return nullptr;
}

}  // namespace

int geo_load_names(const char* file_name, int cls) {
  if (!geo_class_valid(cls)) return set_gblerr(ERR_PARAMETERS);
  name_table_context ctx{cls};
  geo_lock lock(geo_state().mutex);
  return geo_read_table(file_name, "dsd", kAliasNameSize, name_line, &ctx);
}

obj_t* geo_find_by_alias(int cls, int scheme, const char* name, obj_t** out) {
  obj_t* found = nullptr;
  if (name && geo_class_valid(cls)) {
    geo_lock lock(geo_state().mutex);
    obj_t* cursor = nullptr;
    if (const geo_name_t* e = next_entry_by_name(name, cls, scheme, &cursor))
      geo_find_by_code(cls, e->code, &found);
  }
  if (out) *out = found;
  return found;
}

// The objects of one name are returned in increasing id order, each once: the next
// answer is the object of smallest id above the one passed in, so that a caller looping
// until null meets every object of that name whatever the order of the name table.
obj_t* geo_find_by_alias_best(int cls, int scheme, const char* name, obj_t** in_out) {
  if (!in_out) return nullptr;
  const obj_t* previous = *in_out;
  obj_t* best = nullptr;
  if (name && geo_class_valid(cls)) {
    geo_lock lock(geo_state().mutex);
    obj_t* cursor = nullptr;
    while (const geo_name_t* e = next_entry_by_name(name, cls, scheme, &cursor)) {
      obj_t* obj = nullptr;
      geo_find_by_code(cls, e->code, &obj);
      if (!obj || (previous && obj->id <= previous->id)) continue;
      if (!best || obj->id < best->id) best = obj;
    }
  }
  *in_out = best;
  return best;
}

int geo_alias_code(int cls, int scheme, const char* name, int* code) {
  int value = 0;
  if (name && geo_class_valid(cls)) {
    geo_lock lock(geo_state().mutex);
    obj_t* cursor = nullptr;
    if (const geo_name_t* e = next_entry_by_name(name, cls, scheme, &cursor)) value = e->code;
  }
  if (code) *code = value;
  return value;
}

const char* geo_alias_of(int cls, int scheme, int code, const char** name) {
  const char* text = nullptr;
  if (geo_class_valid(cls)) {
    geo_lock lock(geo_state().mutex);
    obj_t* cursor = nullptr;
    while (index_get(geo_state().names_by_code, &code, &cursor) && cursor) {
      if (entry_matches(cursor, cls, scheme)) {
        text = static_cast<geo_name_t*>(cursor)->name;
        break;
      }
    }
  }
  if (name) *name = text;
  return text;
}
