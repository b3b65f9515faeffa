// Id-ordered lists: plain containers whose elements are kept in ascending object id,
// as the class lists and most sons lists are. They are searched by binary search on
// the ids; only a container with element class and key type both 0 is searched so (a
// sorted index is ordered by its key instead).
#include "core/obj_list.h"

namespace {

bool is_id_ordered(const container_t* list) {
  return list && list->cls == CLS_CONTAINER && list->elem_class == 0 && list->key_type == 0;
}

int count_of(const container_t* list) { return list && list->count > 0 ? list->count : 0; }

// A null slot counts as id 0.
int id_at(const container_t* list, int i) {
  const obj_t* e = list->elems[i];
  return e ? e->id : 0;
}

// First position whose id is not below `id` (count when all are below).
int lower_bound(const container_t* list, long long id) {
  int low = 0, high = is_id_ordered(list) ? count_of(list) : 0;
  while (low < high) {
    const int mid = low + (high - low) / 2;
    if (id_at(list, mid) < id)
      low = mid + 1;
    else
      high = mid;
  }
  return low;
}

// From position pos on, the first element of the class (0: any non-null element).
obj_t* class_from(const container_t* list, int pos, int cls) {
  for (int i = pos; i < count_of(list); ++i) {
    obj_t* e = list->elems[i];
    if (e && (cls == 0 || e->cls == cls)) return e;
  }
  return nullptr;
}

}  // namespace

int id_list_find(const container_t* list, int id, int* out_pos) {
  if (id == 0 || !is_id_ordered(list) || count_of(list) == 0) return 0;
  const int pos = lower_bound(list, id);
  if (pos >= count_of(list) || id_at(list, pos) != id) return 0;
  if (out_pos) *out_pos = pos;
  return 1;
}

int id_list_lower_bound(const container_t* list, int id, int* out_pos) {
  const int pos = is_id_ordered(list) ? lower_bound(list, id) : count_of(list);
  if (out_pos) *out_pos = pos;
  return pos < count_of(list) ? 1 : 0;
}

void id_list_insert(container_t* list, obj_t* obj) {
  if (!list || !obj) return;
  int pos = 0;
  id_list_lower_bound(list, obj->id, &pos);
  obj_list_insert(list, pos, obj);
}

void obj_add_to_id_list(container_t* list, obj_t* obj) {
  if (!list || !obj) return;
  if (obj->id == 0) obj->id = obj_new_id();
  if (!id_list_find(list, obj->id, nullptr)) id_list_insert(list, obj);
}

void obj_list_add_to_id_list(const container_t* list, int cls, container_t* dst) {
  const int n = count_of(list);
  for (int i = 0; i < n; ++i) {
    obj_t* e = list->elems[i];
    if (e && (cls == 0 || e->cls == cls)) obj_add_to_id_list(dst, e);
  }
}

void obj_list_move_to_id_list(container_t* list, container_t* dst) {
  if (!list || list == dst) return;
  obj_list_add_to_id_list(list, 0, dst);
  obj_list_clear(list);
}

void obj_list_remove_id(container_t* list, int id) {
  int pos = 0;
  if (id_list_find(list, id, &pos)) obj_list_remove_at(list, pos);
}

void obj_list_remove_id_fwd(container_t* list, int id) { obj_list_remove_id(list, id); }

obj_t* id_list_get(const container_t* list, int id, obj_t** out) {
  int pos = 0;
  obj_t* e = id_list_find(list, id, &pos) ? list->elems[pos] : nullptr;
  if (out) *out = e;
  return e;
}

// With a list the new object takes the highest id, so appending keeps the order. Every
// id in the list is below it, so the search would end at the end of the list: a list
// whose last element has a lower id (a list of a million track points) is appended to
// without searching.
obj_t* obj_new_in_list(container_t* list, int cls, obj_t** out) {
  obj_t* obj = alloc_obj(cls, out);
  if (obj && list) {
    obj->id = obj_new_id();
    const int n = count_of(list);
    if (is_id_ordered(list) && n > 0 && id_at(list, n - 1) < obj->id)
      obj_list_insert(list, n, obj);
    else
      id_list_insert(list, obj);
  }
  return obj;
}

obj_t* obj_list_next_by_id(const container_t* list, obj_t** inout) {
  return obj_list_next_of_class_by_id(list, 0, inout);
}

obj_t* obj_list_next_of_class_by_id(const container_t* list, int cls, obj_t** inout) {
  if (!inout) return nullptr;
  obj_t* next = nullptr;
  if (is_id_ordered(list)) {
    const int pos = *inout ? lower_bound(list, (*inout)->id + 1LL) : 0;
    next = class_from(list, pos, cls);
  }
  *inout = next;
  return next;
}

obj_t* obj_list_next_after_id(const container_t* list, int cls, int id, obj_t** out) {
  obj_t* next = is_id_ordered(list) ? class_from(list, lower_bound(list, id + 1LL), cls) : nullptr;
  if (out) *out = next;
  return next;
}
