// Small core classes registered by obj_register_core_classes next to the container and
// the class holder: pairs kept in indexes, the owned-text record and the extent list.
//
// None of them has a descriptor; their packed records are declared here so that every
// owner reaches the fields by name. Each class that owns memory has a free routine and
// a copy routine, so that freeing a copy never frees the original's memory.
#pragma once
#include <cstdint>

#include "core/memory.h"
#include "core/object.h"

constexpr int CLS_TEXT_RECORD = 52;
constexpr int CLS_EXTENT_LIST = 58;
constexpr int CLS_STRPAIR = 160;
constexpr int CLS_IDPAIR = 161;

#pragma pack(push, 1)
// Class 160: a key string and a value string, both owned.
struct strpair_t : obj_t {
  char* key;
  char* value;
};
// Class 161: a key id and a value.
struct idpair_t : obj_t {
  int32_t key;
  int32_t value;
};
// Class 52: a record whose fourth word is an owned 8-bit string.
struct text_record_t : obj_t {
  int32_t w3;
  char* text;
  int32_t w5;
};
// Class 58: the growable list of rectangles to redraw (elements are extent records).
struct extent_list_t : obj_t {
  elem_buf buf;
  int32_t w;
};
#pragma pack(pop)

static_assert(sizeof(strpair_t) == 24);
static_assert(sizeof(idpair_t) == 16);
static_assert(sizeof(text_record_t) == 24);
static_assert(sizeof(extent_list_t) == 32);

// Free and copy routines of the classes above (registered with the class).
void strpair_free(obj_t* obj);
void strpair_copy(const obj_t* src, obj_t* dst);
void text_record_free(obj_t* obj);
void text_record_copy(const obj_t* src, obj_t* dst);
void extent_list_free(obj_t* obj);
void extent_list_copy(const obj_t* src, obj_t* dst);

// A fresh owned copy of an 8-bit string; null for null.
char* dup_owned_string(const char* s);

// Copy routine of the container (class 34): the copy holds the same elements in an
// array of its own and owns copies of its name and name text; it keeps its own father
// and sons list (obj_copy restores them).
void container_copy(const obj_t* src, obj_t* dst);
