// Free and copy routines of the small core classes (see core_classes.h).
//
// A copy routine runs after obj_copy has emptied the destination through the free
// routine and copied the record byte for byte: the destination then shares the source's
// owned blocks, and the routine replaces each of them by a fresh copy. The records are
// packed, so the address of an owned pointer goes only to the memory wrappers, which
// reach the owner through memcpy.
#include "core/core_classes.h"

#include <cstring>

char* dup_owned_string(const char* s) {
  if (!s) return nullptr;
  char* copy = nullptr;
  str_set(s, &copy);
  return copy;
}

void strpair_free(obj_t* obj) {
  auto* p = static_cast<strpair_t*>(obj);
  free_mem(&p->key);
  free_mem(&p->value);
}

void strpair_copy(const obj_t* src, obj_t* dst) {
  const auto* s = static_cast<const strpair_t*>(src);
  auto* d = static_cast<strpair_t*>(dst);
  d->key = dup_owned_string(s->key);
  d->value = dup_owned_string(s->value);
}

void text_record_free(obj_t* obj) { free_mem(&static_cast<text_record_t*>(obj)->text); }

void text_record_copy(const obj_t* src, obj_t* dst) {
  static_cast<text_record_t*>(dst)->text =
      dup_owned_string(static_cast<const text_record_t*>(src)->text);
}

void extent_list_free(obj_t* obj) {
  auto* e = static_cast<extent_list_t*>(obj);
  free_mem(&e->buf.data);
  e->buf.count = 0;
  e->buf.capacity = 0;
}

void extent_list_copy(const obj_t* src, obj_t* dst) {
  const auto* s = static_cast<const extent_list_t*>(src);
  auto* d = static_cast<extent_list_t*>(dst);
  d->buf.data = nullptr;
  const uint8_t* from = s->buf.data;
  const uint32_t bytes = s->buf.capacity;
  if (!from || bytes == 0) {
    d->buf.capacity = 0;
    d->buf.count = 0;
    return;
  }
  std::memcpy(alloc_mem(&d->buf.data, bytes), from, bytes);
}
