// The container (class 34): creation and release, access by position, insertion and
// removal, and the growth of its element array.
//
// Growth: every insertion recomputes the capacity the list needs, count × 8 + 8 bytes
// for the new count; while that stays below 1024 bytes the array is resized to exactly
// that, and from 1024 bytes up the capacity jumps to the growth steps of grow_capacity,
// so that large lists are not resized on every insertion. Removal never resizes: a list
// made with a fixed number of elements keeps its array and its capacity in elements.
//
// Records are packed: the address of a pointer field goes only to the memory wrappers,
// which read and write the owner through memcpy.
#include "core/obj_list.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "core/core_classes.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/obj_list_reserve.h"

namespace {

constexpr attr_desc kContainerAttrs[] = {
    {"id", AT_ID},          {"type", AT_INT},         {"father", AT_FATHER},
    {"sons", AT_LIST},      {"name", AT_STRING},      {"objs", AT_OBJARRAY},
    {"fathercontainer", AT_LIST}, {"objtype", AT_SMALL}, {"fieldtype", AT_SMALL},
    {"fieldadr", AT_SMALL}};

// The record matches its descriptor up to the source list. The descriptor then gives
// the element class, key type and key offset as three 4-byte attributes at the
// running-sum offsets (56, 60, 64), while the list operations keep them as three 16-bit
// fields after an unused word (60, 62, 64): a record filled from the descriptor alone
// therefore does not set the key fields that the operations read.
static_assert(offsetof(container_t, father) == attr_offset_in(kContainerAttrs, 2));
static_assert(offsetof(container_t, sons) == attr_offset_in(kContainerAttrs, 3));
static_assert(offsetof(container_t, name) == attr_offset_in(kContainerAttrs, 4));
static_assert(offsetof(container_t, count) == attr_offset_in(kContainerAttrs, 5));
static_assert(offsetof(container_t, source) == attr_offset_in(kContainerAttrs, 6));
static_assert(offsetof(container_t, word) == attr_offset_in(kContainerAttrs, 7));
static_assert(sizeof(container_t) == 74);
static_assert(sizeof(container_t) >= attr_layout_size(kContainerAttrs, 10));

int count_of(const container_t* list) { return list && list->count > 0 ? list->count : 0; }

// Resizes the array so that it holds `count` elements, by the growth rule above.
void ensure_room(container_t* list, int count) {
  const uint32_t need = list_capacity_for(count);
  if (list->capacity > need) return;
  list->capacity = need;
  grow_capacity(&list->elems, &list->capacity);
}

void release_array(container_t* list) {
  free_mem(&list->elems);
  list->count = 0;
  list->capacity = 0;
}

void resize_array(container_t* list, uint32_t bytes) {
  realloc_mem(&list->elems, bytes);
  list->capacity = bytes;
}

bool of_class(const obj_t* e, int cls) { return e && (cls == 0 || e->cls == cls); }

}  // namespace

const objdesc container_desc = {"container", 10, kContainerAttrs};

// ---- Creation and release -----------------------------------------------------------

container_t* obj_list_new(container_t** out) {
  obj_t* obj = nullptr;
  obj_new(0, CLS_CONTAINER, &obj);
  container_t* list = reinterpret_cast<container_t*>(obj);
  if (out) *out = list;
  return list;
}

container_t* obj_list_create(container_t** out) { return obj_list_new(out); }

container_t* obj_list_new_like(const container_t* model, container_t** out) {
  if (!model) return nullptr;
  container_t* list = obj_list_new(out);
  if (!list) return nullptr;
  list->source = model->source;
  list->elem_class = model->elem_class;
  list->key_type = model->key_type;
  list->key_offset = model->key_offset;
  return list;
}

container_t* obj_list_new_with_capacity(int n, container_t** out) {
  container_t* list = obj_list_new(out);
  if (!list || n <= 0) return list;
  alloc_mem_zero(&list->elems, size_t(n) * kListSlot);
  list->capacity = uint32_t(n);
  return list;
}

container_t* obj_list_clone(container_t* model, container_t** out) {
  if (!model) {
    if (out) *out = nullptr;
    return nullptr;
  }
  obj_list_trim(model);
  container_t* list = obj_list_new_like(model, out);
  if (!list) return nullptr;
  const int n = count_of(model);
  resize_array(list, model->capacity);
  if (n > 0) std::memcpy(list->elems, model->elems, size_t(n) * kListSlot);
  list->count = n;
  return list;
}

// Besides the array, the list owns its name, its name text and its sons list.
void obj_list_destroy(obj_t* obj) {
  if (!obj) return;
  container_t* list = reinterpret_cast<container_t*>(obj);
  release_array(list);
  free_mem(&list->name);
  free_mem(&list->name_text);
  obj_t* sons = reinterpret_cast<obj_t*>(list->sons);
  free_obj(&sons);
  list->sons = reinterpret_cast<container_t*>(sons);
}

void obj_list_clear(container_t* list) {
  if (list) release_array(list);
}

void obj_list_trim(container_t* list) {
  if (list) resize_array(list, list_capacity_for(count_of(list)));
}

// obj_copy has already given the destination back its own father and sons list.
void container_copy(const obj_t* src, obj_t* dst) {
  const container_t* s = reinterpret_cast<const container_t*>(src);
  container_t* d = reinterpret_cast<container_t*>(dst);
  d->name = dup_owned_string(s->name);
  d->name_text = dup_owned_string(s->name_text);
  d->elems = nullptr;
  d->capacity = 0;
  d->count = 0;
  const int n = count_of(s);
  if (n == 0) return;
  resize_array(d, list_capacity_for(n));
  std::memcpy(d->elems, s->elems, size_t(n) * kListSlot);
  d->count = n;
}

// ---- Access -------------------------------------------------------------------------

int obj_list_count(const container_t* list) { return count_of(list); }

// A count beyond the array first makes room for it (new slots hold null).
void obj_list_set_count(container_t* list, int n) {
  if (!list || n < 0) return;
  const int old = count_of(list);
  if (n > old) {
    if (list->capacity < list_capacity_for(n)) resize_array(list, list_capacity_for(n));
    std::memset(list->elems + old, 0, size_t(n - old) * kListSlot);
  }
  list->count = n;
}

obj_t* obj_list_get(const container_t* list, int i, obj_t** out) {
  obj_t* e = (i >= 0 && i < count_of(list)) ? list->elems[i] : nullptr;
  if (out) *out = e;
  return e;
}

void obj_list_set(container_t* list, int i, obj_t* elem) {
  if (i >= 0 && i < count_of(list)) list->elems[i] = elem;
}

obj_t* obj_list_first(const container_t* list, obj_t** out) { return obj_list_get(list, 0, out); }
obj_t* obj_list_last(const container_t* list, obj_t** out) {
  return obj_list_get(list, count_of(list) - 1, out);
}
obj_t* obj_list_at(const container_t* list, int i, obj_t** out) { return obj_list_get(list, i, out); }

// A null slot ends the iteration: the index stays on it.
obj_t* obj_list_next_of_type(const container_t* list, int cls, int* inout_i, obj_t** out) {
  obj_t* found = nullptr;
  if (inout_i) {
    while (*inout_i >= 0 && *inout_i < count_of(list)) {
      obj_t* e = list->elems[*inout_i];
      if (!e) break;
      ++*inout_i;
      if (of_class(e, cls)) {
        found = e;
        break;
      }
    }
  }
  if (out) *out = found;
  return found;
}

obj_t* obj_list_prev_of_type(const container_t* list, int cls, int* inout_i, obj_t** out) {
  obj_t* found = nullptr;
  if (inout_i) {
    while (*inout_i >= 0 && *inout_i < count_of(list)) {
      obj_t* e = list->elems[*inout_i];
      if (!e) break;
      --*inout_i;
      if (of_class(e, cls)) {
        found = e;
        break;
      }
    }
  }
  if (out) *out = found;
  return found;
}

obj_t* obj_list_first_of_type(const container_t* list, int cls, obj_t** out) {
  int i = 0;
  return obj_list_next_of_type(list, cls, &i, out);
}
obj_t* obj_list_first_of_class(const container_t* list, int cls, obj_t** out) {
  return obj_list_first_of_type(list, cls, out);
}
obj_t* obj_list_last_of_type(const container_t* list, int cls, obj_t** out) {
  int i = count_of(list) - 1;
  return obj_list_prev_of_type(list, cls, &i, out);
}
obj_t* obj_list_last_of_class(const container_t* list, int cls, obj_t** out) {
  return obj_list_last_of_type(list, cls, out);
}

int obj_list_count_of_class(const container_t* list, int cls) {
  if (cls == 0) return count_of(list);
  int n = 0;
  for (int i = 0; i < count_of(list) && list->elems[i]; ++i)
    if (list->elems[i]->cls == cls) ++n;
  return n;
}

int obj_list_has_class(const container_t* list, int cls) {
  if (cls == 0) return count_of(list) > 0;
  for (int i = 0; i < count_of(list); ++i)
    if (list->elems[i] && list->elems[i]->cls == cls) return 1;
  return 0;
}

int obj_list_equal(const container_t* a, const container_t* b) {
  if (!a || !b || count_of(a) != count_of(b)) return 0;
  for (int i = 0; i < count_of(a); ++i)
    if (a->elems[i] != b->elems[i]) return 0;
  return 1;
}

// ---- Insertion and removal ----------------------------------------------------------

// Positions 0..count are valid (count appends); any other position inserts nothing.
void obj_list_insert(container_t* list, int i, obj_t* elem) {
  const int n = count_of(list);
  if (!list || i < 0 || i > n) return;
  ensure_room(list, n + 1);
  std::memmove(list->elems + i + 1, list->elems + i, size_t(n - i) * kListSlot);
  list->elems[i] = elem;
  list->count = n + 1;
}

void obj_list_reserve(container_t* list, int count) {
  if (!list || count <= 0 || count <= count_of(list)) return;
  ensure_room(list, count);
}

void obj_insert_child(container_t* list, int i, obj_t* elem) { obj_list_insert(list, i, elem); }
void obj_list_append(container_t* list, obj_t* elem) { obj_list_insert(list, count_of(list), elem); }
void obj_list_push(container_t* list, obj_t* elem) { obj_list_append(list, elem); }

int obj_list_append_unique(container_t* list, obj_t* elem) {
  if (!list) return 0;
  for (int i = 0; i < count_of(list); ++i)
    if (list->elems[i] == elem) return 0;
  obj_list_append(list, elem);
  return 1;
}

// For a list made by obj_list_new_with_capacity: the capacity counts elements.
int obj_list_add_unique_front(container_t* list, obj_t* elem) {
  if (!list) return 0;
  const int n = count_of(list);
  for (int i = 0; i < n; ++i)
    if (list->elems[i] == elem) return 1;
  if (!list->elems || list->capacity == 0) return 0;
  if (uint32_t(n) < list->capacity) {
    list->elems[n] = elem;
    list->count = n + 1;
    return 0;
  }
  if (n > 1) std::memmove(list->elems + 1, list->elems, size_t(n - 1) * kListSlot);
  list->elems[0] = elem;
  return 0;
}

// The parts list of a class holder, the one class that keeps such a list; in any other
// record the same place holds something else, so nothing is appended.
void obj_add_child(obj_t* obj, obj_t* elem) {
  if (!obj || obj->cls != CLS_CLASS_HOLDER) return;
  class_holder_t* holder = reinterpret_cast<class_holder_t*>(obj);
  container_t* parts = holder->parts;
  if (!parts) holder->parts = obj_list_new(&parts);
  obj_list_append(parts, elem);
}

// The array keeps its size: after a removal it still holds the remaining elements, and a
// fixed-size list must not have its capacity turned from elements into bytes.
void obj_list_remove_at(container_t* list, int i) {
  const int n = count_of(list);
  if (i < 0 || i >= n) return;
  std::memmove(list->elems + i, list->elems + i + 1, size_t(n - 1 - i) * kListSlot);
  list->count = n - 1;
}

int obj_list_pop(container_t* list, obj_t** out) {
  const int n = count_of(list);
  if (n == 0) {
    if (out) *out = nullptr;
    return 0;
  }
  if (out) *out = list->elems[n - 1];
  list->count = n - 1;
  return 1;
}

// Removal run by run: each run of elements of the class is closed with one block move.
void obj_list_remove_type(container_t* list, int cls) {
  if (!list) return;
  if (cls == 0) {
    release_array(list);
    return;
  }
  int n = count_of(list);
  int i = 0;
  while (i < n) {
    if (!(list->elems[i] && list->elems[i]->cls == cls)) {
      ++i;
      continue;
    }
    const int start = i;
    while (i < n && list->elems[i] && list->elems[i]->cls == cls) ++i;
    std::memmove(list->elems + start, list->elems + i, size_t(n - i) * kListSlot);
    n -= i - start;
    i = start;
  }
  list->count = n;
  if (n == 0) release_array(list);
}

void obj_list_remove_class(container_t* list, int cls) { obj_list_remove_type(list, cls); }

void obj_list_compact(container_t* list) {
  if (!list) return;
  int kept = 0;
  for (int i = 0; i < count_of(list); ++i)
    if (list->elems[i]) list->elems[kept++] = list->elems[i];
  list->count = kept;
  obj_list_trim(list);
}

void obj_list_copy_type(const container_t* src, int cls, container_t* dst) {
  const int n = count_of(src);  // fixed first: src may be dst
  for (int i = 0; i < n; ++i) {
    obj_t* e = src->elems[i];
    if (cls == 0 || (e && e->cls == cls)) obj_list_append(dst, e);
  }
}

void obj_list_append_all(const container_t* src, container_t* dst) {
  if (!dst) return;
  const int n = count_of(src);
  for (int i = 0; i < n; ++i)
    if (src->elems[i]) obj_list_append(dst, src->elems[i]);
  obj_list_trim(dst);
}

// The list is emptied before the elements are freed, so that a free routine that
// looks at this list finds it empty. While an error is pending nothing happens.
// Takes the elements of the class (0: every element) out of each list, then frees each
// distinct object once: one object may stand twice in a list, or in several of them.
void obj_lists_free_type(container_t* const* lists, int n, int cls) {
  if (get_gblerr() != 0) return;
  std::vector<obj_t*> doomed;
  for (int l = 0; l < n; ++l) {
    container_t* list = lists[l];
    if (!list) continue;
    int kept = 0;
    for (int i = 0; i < count_of(list); ++i) {
      obj_t* e = list->elems[i];
      if (e && (cls == 0 || e->cls == cls))
        doomed.push_back(e);
      else if (cls != 0)
        list->elems[kept++] = e;
    }
    list->count = kept;
    if (kept == 0) release_array(list);
  }
  std::sort(doomed.begin(), doomed.end());
  doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
  for (obj_t* e : doomed) free_obj(&e);
}

void obj_list_free_elements(container_t* list) { obj_lists_free_type(&list, 1, 0); }

void obj_list_free_type(container_t* list, int cls) { obj_lists_free_type(&list, 1, cls); }
