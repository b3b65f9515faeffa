// Renumbering and relinking of loaded native objects, and the release of objects whose
// references still hold ids (see objxml.h).
//
// While a document is read, a reference attribute (11), a list reference (12) and the
// entries of an object array (32) hold the id number written in the file, not a
// pointer. Nothing may take such a word for a pointer: an object dropped before
// relinking has those words cleared before its free routine runs, and relinking checks
// what it finds before it stores a pointer.
#include <cstring>

#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/objxml.h"

namespace {

struct obj_array {
  int32_t count;
  uint32_t capacity;  // bytes
  obj_t** elems;
};

obj_array load_array(const char* field) {
  obj_array a;
  std::memcpy(&a.count, field, 4);
  std::memcpy(&a.capacity, field + 4, 4);
  std::memcpy(&a.elems, field + 8, sizeof a.elems);
  if (a.count < 0 || !a.elems) a.count = 0;
  return a;
}

// The object a stored id stands for, or null.
obj_t* resolve(const container_t* loaded, uintptr_t word, int64_t offset, int type) {
  const int64_t stored = int64_t(uint32_t(word));
  obj_t* found = nullptr;
  const int64_t moved = stored + offset;
  if (moved > 0 && moved <= INT32_MAX) id_list_get(loaded, int(moved), &found);
  if (!found && stored <= INT32_MAX) obj_find_any_class(int(stored), &found);
  // A list reference is used as a list: anything else found under its id is no list.
  if (found && type == AT_LIST && found->cls != CLS_CONTAINER) found = nullptr;
  return found;
}

// Attribute i of an object's class, when it lies within the record.
bool attr_in_record(const obj_t* obj, int i, int* type, int* off, const char** name) {
  obj_attr_info(obj->cls, i, type, off, name);
  return *off + attr_type_size(*type) <= obj_class_size(obj->cls);
}

void relink_object(const container_t* loaded, obj_t* obj, int64_t offset) {
  char* rec = reinterpret_cast<char*>(obj);
  const int n = obj_class_attr_count(obj->cls);
  for (int i = 2; i < n; ++i) {
    int type = 0, off = 0;
    const char* name = nullptr;
    if (!attr_in_record(obj, i, &type, &off, &name) || !name || !*name) continue;
    if (type == AT_REF || type == AT_LIST) {
      const uintptr_t word = field_load<uintptr_t>(rec, off);
      if (word) field_store(rec, off, resolve(loaded, word, offset, type));
    } else if (type == AT_OBJARRAY) {
      const obj_array a = load_array(rec + off);
      for (int k = 0; k < a.count; ++k) {
        const uintptr_t word = reinterpret_cast<uintptr_t>(a.elems[k]);
        a.elems[k] = word ? resolve(loaded, word, offset, AT_REF) : nullptr;
      }
    }
  }
}

}  // namespace

void objxml_relink(container_t* list, int64_t offset) {
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i) {
    obj_t* obj = list->elems[i];
    if (obj) obj->id = int32_t(int64_t(obj->id) + offset);
  }
  for (int i = 0; i < n; ++i)
    if (obj_t* obj = list->elems[i]) relink_object(list, obj, offset);
}

void objxml_discard(obj_t** obj) {
  if (!obj || !*obj) return;
  char* rec = reinterpret_cast<char*>(*obj);
  const int n = obj_class_attr_count((*obj)->cls);
  for (int i = 2; i < n; ++i) {
    int type = 0, off = 0;
    const char* name = nullptr;
    if (!attr_in_record(*obj, i, &type, &off, &name)) continue;
    if (type == AT_REF || type == AT_LIST || type == AT_FATHER) {
      field_store<void*>(rec, off, nullptr);
    } else if (type == AT_OBJARRAY) {
      obj_array a = load_array(rec + off);
      free_mem(&a.elems);
      std::memset(rec + off, 0, size_t(attr_type_size(AT_OBJARRAY)));
    }
  }
  free_obj(obj);
}
