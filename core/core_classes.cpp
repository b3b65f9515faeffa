// Free and copy routines of the small core classes (see core_classes.h).
//
// A copy routine runs after obj_copy has copied the record byte for byte: the
// destination then shares the source's owned blocks, and the routine replaces each of
// them by a fresh copy. Owned pointers are read into locals first: the records are
// packed, so a field's address may not be aligned for a pointer.
#include "core/core_classes.h"

#include <cstring>

char* dup_owned_string(const char* s) {
  if (!s) return nullptr;
  char* copy = nullptr;
  str_set(s, &copy);
  return copy;
}

namespace {
void free_string(char* s) { free_mem(&s); }
}  // namespace

void strpair_free(obj_t* obj) {
  auto* p = static_cast<strpair_t*>(obj);
  free_string(p->key);
  free_string(p->value);
  p->key = nullptr;
  p->value = nullptr;
}

void strpair_copy(const obj_t* src, obj_t* dst) {
  const auto* s = static_cast<const strpair_t*>(src);
  auto* d = static_cast<strpair_t*>(dst);
  d->key = dup_owned_string(s->key);
  d->value = dup_owned_string(s->value);
}

void text_record_free(obj_t* obj) {
  auto* r = static_cast<text_record_t*>(obj);
  free_string(r->text);
  r->text = nullptr;
}

void text_record_copy(const obj_t* src, obj_t* dst) {
  static_cast<text_record_t*>(dst)->text =
      dup_owned_string(static_cast<const text_record_t*>(src)->text);
}

void extent_list_free(obj_t* obj) {
  auto* e = static_cast<extent_list_t*>(obj);
  uint8_t* data = e->buf.data;
  free_mem(&data);
  e->buf.data = nullptr;
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
  uint8_t* data = nullptr;
  alloc_mem(&data, bytes);
  std::memcpy(data, from, bytes);
  d->buf.data = data;
}
