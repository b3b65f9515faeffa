// Keyword dictionaries: a sorted index of `tag` objects (class 48) keyed by name, and
// reverse dictionaries keyed by value. Parsers build theirs once at start-up from
// static tables and turn every keyword they read into its code with one lookup.
#pragma once
#include "core/index.h"

constexpr int CLS_TAG = 48;

#pragma pack(push, 1)
struct tag_t : obj_t {
  char* name;   // 8-bit keyword (type 10)
  int32_t val;  // the keyword's value (type 1)
};
#pragma pack(pop)

// A static table row: {0, CLS_TAG, "NAME", value}.
constexpr tag_t make_tag(const char* name, int val) {
  tag_t t{};
  t.id = 0;
  t.cls = CLS_TAG;
  t.name = const_cast<char*>(name);
  t.val = val;
  return t;
}

extern const objdesc tag_desc;

void dict_register_type();
int dict_create(container_t** out);
int dict_build(int n, tag_t* table, container_t** out);
int* dict_lookup(const container_t* dict, const char* name, int def, int* out);
container_t* dict_create_reverse(container_t* dict, container_t** out);
const char** dict_name_of(const container_t* reverse, int value, const char* def,
                          const char** out);
const char** dict_find_name(const container_t* reverse, int value, const char** out);
void dict_next_value(const container_t* list, tag_t* tag);
