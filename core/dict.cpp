// Keyword dictionaries: the `tag` class and the dictionaries built from tag tables.
//
// A dictionary is a sorted index of tags keyed by name (string order: case-insensitive
// first, case-sensitive on ties), so a lookup finds a tag only when the name matches
// exactly and, among tags of one name, the one with the smaller id, that is the one
// that came first in its table. A reverse dictionary indexes the same tags by value,
// and gives for a value the name that came first in table order.
//
// A dictionary built from a static table points at the table's records themselves;
// building stamps an id into each record.
#include "core/dict.h"

#include <cstdint>

#include "core/error.h"
#include "core/memory.h"
#include "core/obj_layout.h"

namespace {

constexpr attr_desc kTagAttrs[] = {{"id", AT_ID}, {"type", AT_INT}, {"name", AT_STRING},
                                   {"val", AT_INT}};
constexpr int kTagName = 2;  // attribute index of `name`
constexpr int kTagVal = 3;   // attribute index of `val`

// Offsets of the key attributes, laid out from the descriptor.
constexpr int kNameOffset = attr_offset_in(kTagAttrs, kTagName);
constexpr int kValOffset = attr_offset_in(kTagAttrs, kTagVal);
static_assert(sizeof(tag_t) == attr_layout_size(kTagAttrs, 4), "tag_t must match tag_desc");

// After a byte copy the copy shares the source's name: give it its own.
void tag_copy(const obj_t* src, obj_t* dst) {
  tag_t* copy = static_cast<tag_t*>(dst);
  const char* name = static_cast<const tag_t*>(src)->name;
  copy->name = nullptr;
  if (!name) return;
  char* owned = nullptr;
  str_set(name, &owned);
  copy->name = owned;
}

// A tag made at run time (a copy, or one added to a dictionary) owns its name; the
// records of static tables are never freed through the store.
void tag_free(obj_t* obj) {
  tag_t* tag = static_cast<tag_t*>(obj);
  char* name = tag->name;
  free_mem(&name);
  tag->name = nullptr;
}

}  // namespace

const objdesc tag_desc = {"tag", 4, kTagAttrs};

void dict_register_type() {
  obj_register_class(CLS_TAG, static_cast<int>(sizeof(tag_t)), &tag_desc);
  obj_set_copy_callback(CLS_TAG, tag_copy);
  obj_set_free_callback(CLS_TAG, tag_free);
}

int dict_create(container_t** out) {
  index_create(CLS_TAG, AT_STRING, kNameOffset, out);
  return get_gblerr();
}

int dict_build(int n, tag_t* table, container_t** out) {
  if (!out) return get_gblerr();
  dict_create(out);
  for (int i = 0; i < n && table && get_gblerr() == 0; ++i) index_insert(*out, &table[i]);
  obj_list_trim(*out);
  return get_gblerr();
}

int* dict_lookup(const container_t* dict, const char* name, int def, int* out) {
  if (!out) return out;
  tag_t* tag = nullptr;
  index_get(dict, name, &tag);
  *out = tag ? tag->val : def;
  return out;
}

// While an error is pending free_obj keeps the old reverse dictionary, and so does this:
// a new one would be left unfilled, and the old one lost.
container_t* dict_create_reverse(container_t* dict, container_t** out) {
  if (!out) return nullptr;
  free_obj(out);
  if (*out) return *out;
  return index_create_over(dict, CLS_TAG, AT_INT, kValOffset, out);
}

const char** dict_name_of(const container_t* reverse, int value, const char* def,
                          const char** out) {
  if (!out) return out;
  tag_t* tag = nullptr;
  index_get(reverse, &value, &tag);
  *out = tag ? tag->name : def;
  return out;
}

const char** dict_find_name(const container_t* reverse, int value, const char** out) {
  return dict_name_of(reverse, value, nullptr, out);
}

void dict_next_value(const container_t* list, tag_t* tag) {
  if (!tag) return;
  const int n = obj_list_count(list);
  bool any = false;
  int32_t greatest = 0;
  for (int i = 0; i < n; ++i) {
    const obj_t* elem = list->elems[i];
    // Only the other tags count: a tag already in the list is not raised above itself.
    if (!elem || elem == tag || elem->cls != CLS_TAG) continue;
    const int32_t v = static_cast<const tag_t*>(elem)->val;
    if (!any || v > greatest) greatest = v;
    any = true;
  }
  if (any && tag->val <= greatest && greatest < INT32_MAX) tag->val = greatest + 1;
}
