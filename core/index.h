// Sorted indexes: a container whose key type is non-zero holds objects of one element
// class ordered by one attribute, ties broken by ascending object id. An index may be
// built over a source list (or the class list of its element class) and is kept up to
// date by index_insert and index_remove.
//
// Key value passed to a search: for key types 9, 10 and 11 the value itself (the
// string or object pointer); for all others the address of the value.
#pragma once
#include "core/obj_list.h"

// Search modes of index_search.
enum index_mode : int {
  IDX_BEFORE = 1,        // last element whose key stands before the key
  IDX_LAST_EQUAL = 2,    // last equal, else as mode 1
  IDX_FIRST_EQUAL = 3,   // first equal, none when absent
  IDX_EQUAL_OR_AFTER = 4,// first equal, else as mode 5
  IDX_AFTER = 5,         // first element whose key stands after the key
};

container_t* index_create(int cls, int key_type, int key_offset, container_t** out);
container_t* index_create_over(container_t* source, int cls, int key_type, int key_offset,
                               container_t** out);
container_t* index_create_from(container_t* source, int father_id, int cls, int key_type,
                               int key_offset, container_t** out);
void index_rebuild(container_t* index);
int index_is_sorted(const container_t* list);

void index_insert(container_t* index, obj_t* obj);
obj_t* index_add_new(container_t* index, obj_t** out, const void* key);
obj_t* index_add_copy(const obj_t* src, container_t* index, obj_t** out);
obj_t* index_put_copy(const obj_t* src, container_t* index, obj_t** out);
void index_remove(container_t* index, obj_t* obj);

int index_find_exact(const container_t* index, const void* key, int* out_pos);
int index_find_before(const container_t* index, const void* key, int* out_pos);
int index_find_after(const container_t* index, const void* key, int* out_pos);
int index_find_pos(const container_t* index, const void* key);
obj_t* index_get(const container_t* index, const void* key, obj_t** inout);
int index_search(const container_t* index, int mode, const void* key, obj_t** out);
obj_t* index_nearest(const container_t* index, const void* key, obj_t** out,
                     double* out_distance);
obj_t* index_lookup(const container_t* index, obj_t** inout);
int index_position_of(const container_t* index, const obj_t* obj);
int index_position_by_id(const container_t* index, const obj_t* obj);
obj_t* index_locate(const container_t* index, obj_t** inout, int* out_pos);
const void* index_key_of(const container_t* index, const obj_t* elem, const void** out);
const void* index_last_key(const container_t* index, const void** out);
int index_compare_elements(const container_t* index, const obj_t* a, const obj_t* b);

template <class T> T* index_get(const container_t* index, const void* key, T** inout) {
  if (!inout) return nullptr;
  obj_t* o = *inout;
  index_get(index, key, &o);
  *inout = static_cast<T*>(o);
  return *inout;
}
template <class T> int index_search(const container_t* index, int mode, const void* key,
                                    T** out) {
  obj_t* o = nullptr;
  int r = index_search(index, mode, key, &o);
  if (out) *out = static_cast<T*>(o);
  return r;
}
