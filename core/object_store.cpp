// The object store: the class registry, object ids, allocation with empty values,
// the class lists, release and copy.
//
// The registry is one set of tables indexed by class id: built-in classes 0..201 have a
// descriptor, a record size, an offset table, free and copy routines and a class list
// (an id-ordered container of every object made by obj_new_registered); run-time classes
// 1001..1999 have a descriptor, an offset table and a record size. Every lookup checks
// the id against its table first, so an unknown class id finds nothing.
//
// Tree links (a father reference third, a sons list fourth) are a property of the class,
// fixed when it is registered: read from the descriptor, or declared by the owner of a
// class without one. obj_copy keeps the destination's own links whatever the class.
//
// Threads: the id counter and the class lists are shared by the user-interface thread
// and the worker task, so new ids are taken atomically (under a mutex when a generator
// makes them) and the class lists are touched under another one. The two are never held
// together, and no routine of a class (free, copy, id generator) runs while the
// class-list lock is held.
#include <atomic>
#include <climits>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <vector>

#include "core/core_classes.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/record_pool.h"

namespace {

struct builtin_class {
  const objdesc* desc;
  int32_t size;
  uint16_t* offsets;
  obj_free_fn free_fn;
  obj_copy_fn copy_fn;
  int tree_links;
  bool pooled;
};

struct user_class {
  const objdesc* desc;
  uint16_t* offsets;
  int32_t size;
  int tree_links;
};

// A class list on an 8-byte boundary: the packed record alone is 74 bytes, and its
// element array pointer must stay aligned for leak checkers to see it.
struct alignas(8) class_list {
  container_t list;
};

struct registry {
  builtin_class builtin[kBuiltinClasses];
  user_class user[kUserClassSlots];  // indexed by class id - 1000; slot 0 is never used
  class_list lists[kBuiltinClasses];
};

registry g_reg{};
std::atomic<int> g_next_slot{1};
std::mutex g_lists_mutex;
std::mutex g_id_mutex;
std::atomic<int> g_max_id{1};
std::atomic<obj_id_generator> g_id_generator{nullptr};

bool is_builtin(int cls) { return cls >= 0 && cls < kBuiltinClasses; }
bool is_user(int cls) { return cls > kUserClassBase && cls < kUserClassBase + kUserClassSlots; }

int desc_count(const objdesc* d) { return d && d->count > 0 && d->attrs ? d->count : 0; }

// Descriptor and offset table of any class, or false.
bool class_layout(int cls, const objdesc** desc, const uint16_t** offsets) {
  if (is_builtin(cls)) {
    *desc = g_reg.builtin[cls].desc;
    *offsets = g_reg.builtin[cls].offsets;
  } else if (is_user(cls)) {
    *desc = g_reg.user[cls - kUserClassBase].desc;
    *offsets = g_reg.user[cls - kUserClassBase].offsets;
  } else {
    return false;
  }
  return *desc != nullptr && *offsets != nullptr;
}

// An offset table for a descriptor (null without attributes).
uint16_t* make_offsets(const objdesc* desc) {
  const int n = desc_count(desc);
  if (n == 0) return nullptr;
  uint16_t* offsets = nullptr;
  alloc_mem_zero(&offsets, sizeof(uint16_t) * n);
  obj_class_layout(desc, offsets);
  return offsets;
}

int layout_size(const objdesc* desc) { return attr_layout_size(desc->attrs, desc_count(desc)); }

constexpr int kFatherOffset = offsetof(tree_obj_t, father);
constexpr int kSonsOffset = offsetof(tree_obj_t, sons);

// The links a record of `size` bytes can hold: sons only with a father, each only when
// its field lies inside the record.
int links_that_fit(int links, int size) {
  if (!(links & TREE_FATHER) || size < kSonsOffset) return TREE_NONE;
  if ((links & TREE_FATHER_AND_SONS) == TREE_FATHER_AND_SONS && size >= int(sizeof(tree_obj_t)))
    return TREE_FATHER_AND_SONS;
  return TREE_FATHER;
}

// A descriptor gives tree links when a father (type 15) sits at the father's offset as
// third attribute, and a list (type 12) follows it as fourth.
int desc_tree_links(const objdesc* desc) {
  const int n = desc_count(desc);
  const attr_desc* a = n > 2 ? desc->attrs : nullptr;
  if (!a || a[2].type != AT_FATHER || attr_offset_in(a, 2) != kFatherOffset) return TREE_NONE;
  return n > 3 && a[3].type == AT_LIST ? TREE_FATHER_AND_SONS : TREE_FATHER;
}

void release_tables() {
  for (auto& c : g_reg.builtin) free_mem(&c.offsets);
  for (auto& u : g_reg.user) free_mem(&u.offsets);
  for (auto& l : g_reg.lists) free_mem(&l.list.elems);
}

// The empty values of the nullable types, stored by alloc_obj.
void store_empty_values(int cls, char* rec) {
  const objdesc* desc;
  const uint16_t* offsets;
  if (!class_layout(cls, &desc, &offsets)) return;
  for (int i = 2; i < desc_count(desc); ++i) {
    const int off = offsets[i];
    switch (desc->attrs[i].type) {
      case AT_NINT:
      case AT_NUINT: field_store(rec, off, NULL_INT); break;
      case AT_NDOUBLE: field_store(rec, off, NULL_DOUBLE); break;
      case AT_NPAIR:
      case AT_TEXTPOS:
        field_store(rec, off, NULL_DOUBLE);
        field_store(rec, off + 8, NULL_DOUBLE);
        break;
      default: break;
    }
  }
}

void raise_max_id(int id) {
  int cur = g_max_id.load(std::memory_order_acquire);
  while (id > cur && !g_max_id.compare_exchange_weak(cur, id, std::memory_order_acq_rel)) {
  }
}

// Removes this very object from its class list (another object that carries the same
// id is left in place).
void class_list_remove(obj_t* obj) {
  if (!is_builtin(obj->cls) || obj->id == 0) return;
  std::lock_guard<std::mutex> lock(g_lists_mutex);
  container_t* list = &g_reg.lists[obj->cls].list;
  int pos = 0;
  if (id_list_find(list, obj->id, &pos) && list->elems[pos] == obj) obj_list_remove_at(list, pos);
}

// ---- Deep copy of described members (classes without a copy routine) ---------------

char16_t* dup_wide(const char16_t* s) {
  if (!s) return nullptr;
  size_t n = 0;
  while (s[n]) ++n;
  char16_t* copy = nullptr;
  alloc_mem(&copy, (n + 1) * sizeof(char16_t));
  std::memcpy(copy, s, (n + 1) * sizeof(char16_t));
  return copy;
}

coord_list dup_coords(coord_list c) {
  const double* pts = c.pts;
  c.pts = nullptr;
  c.extra = nullptr;  // the second array's size is not known here: the copy has none
  if (!pts || c.count <= 0) {
    c.count = 0;
    return c;
  }
  const size_t bytes = size_t(c.count) * 16;
  double* copy = nullptr;
  alloc_mem(&copy, bytes + 16);
  std::memcpy(copy, pts, bytes);
  c.pts = copy;
  return c;
}

// Frees the owned strings and coordinate lists of a described record.
void release_owned_members(const objdesc* desc, const uint16_t* offsets, char* rec) {
  for (int i = 2; i < desc_count(desc); ++i) {
    const int off = offsets[i];
    switch (desc->attrs[i].type) {
      case AT_WSTRING: {
        char16_t* s = field_load<char16_t*>(rec, off);
        free_mem(&s);
        field_store<char16_t*>(rec, off, nullptr);
        break;
      }
      case AT_STRING: {
        char* s = field_load<char*>(rec, off);
        free_mem(&s);
        field_store<char*>(rec, off, nullptr);
        break;
      }
      case AT_COORDS: {
        coord_list c = field_load<coord_list>(rec, off);
        coords_free(&c);
        field_store(rec, off, c);
        break;
      }
      default: break;
    }
  }
}

// After the byte copy the destination shares every owned block of the source; each one
// is replaced by a copy, and the links it must not share (its place in a tree, its
// lists) are restored from `kept`, the destination's record before the copy, so that
// freeing either object never frees the other's memory.
void copy_described_members(const objdesc* desc, const uint16_t* offsets, char* dst,
                            const char* kept) {
  for (int i = 2; i < desc_count(desc); ++i) {
    const int off = offsets[i];
    const int type = desc->attrs[i].type;
    switch (type) {
      case AT_WSTRING:
        field_store(dst, off, dup_wide(field_load<char16_t*>(dst, off)));
        break;
      case AT_STRING:
        field_store(dst, off, dup_owned_string(field_load<char*>(dst, off)));
        break;
      case AT_COORDS: field_store(dst, off, dup_coords(field_load<coord_list>(dst, off))); break;
      case AT_FATHER:
      case AT_LIST:
      case AT_OBJARRAY: std::memcpy(dst + off, kept + off, kAttrTypeSize[type]); break;
      default: break;
    }
  }
}

// The destination's place in a tree, taken out of the record while a copy runs: the
// sons field is cleared so that the class's free routine leaves the sons list alone.
struct tree_place {
  int links = TREE_NONE;
  obj_t* father = nullptr;
  container_t* sons = nullptr;
};

tree_place take_tree_place(obj_t* obj) {
  tree_place p;
  p.links = obj_class_tree_links(obj->cls);
  if (p.links & TREE_FATHER) p.father = field_load<obj_t*>(obj, kFatherOffset);
  if (p.links == TREE_FATHER_AND_SONS) {
    p.sons = field_load<container_t*>(obj, kSonsOffset);
    field_store<container_t*>(obj, kSonsOffset, nullptr);
  }
  return p;
}

void restore_tree_place(obj_t* obj, const tree_place& p) {
  if (p.links & TREE_FATHER) field_store(obj, kFatherOffset, p.father);
  if (p.links == TREE_FATHER_AND_SONS) field_store(obj, kSonsOffset, p.sons);
}

void copy_after_id(const obj_t* src, obj_t* dst, int size) {
  std::memcpy(reinterpret_cast<char*>(dst) + 4, reinterpret_cast<const char*>(src) + 4, size - 4);
}

}  // namespace

// ---- Registry -----------------------------------------------------------------------

void obj_store_init() {
  std::lock_guard<std::mutex> lock(g_lists_mutex);
  release_tables();
  std::memset(static_cast<void*>(&g_reg), 0, sizeof g_reg);
  for (auto& l : g_reg.lists) l.list.cls = CLS_CONTAINER;
  g_next_slot.store(1);
  g_max_id.store(1);
  g_id_generator.store(nullptr);
}

// The core's own classes: record size, descriptor, free and copy routines.
struct core_class {
  int id;
  int size;
  const objdesc* desc;
  obj_free_fn free_fn;
  obj_copy_fn copy_fn;
};

void obj_register_core_classes() {
  const core_class classes[] = {
      {CLS_CONTAINER, sizeof(container_t), &container_desc, obj_list_destroy, container_copy},
      {CLS_CLASS_HOLDER, sizeof(class_holder_t), nullptr, obj_group_destroy, nullptr},
      {CLS_STRPAIR, sizeof(strpair_t), nullptr, strpair_free, strpair_copy},
      {CLS_IDPAIR, sizeof(idpair_t), nullptr, nullptr, nullptr},
      {CLS_TEXT_RECORD, sizeof(text_record_t), nullptr, text_record_free, text_record_copy},
      {CLS_EXTENT_LIST, sizeof(extent_list_t), nullptr, extent_list_free, extent_list_copy},
  };
  for (const core_class& c : classes) {
    obj_register_class(c.id, c.size, c.desc);
    obj_set_free_callback(c.id, c.free_fn);
    obj_set_copy_callback(c.id, c.copy_fn);
  }
  // The class holder has no descriptor but takes part in trees.
  obj_set_tree_links(CLS_CLASS_HOLDER, TREE_FATHER_AND_SONS);
}

void obj_class_layout(const objdesc* desc, uint16_t* offsets) {
  if (!desc || !offsets) return;
  for (int i = 0; i < desc_count(desc); ++i)
    offsets[i] = static_cast<uint16_t>(attr_offset_in(desc->attrs, i));
}

// The record size is at least the sum of the attribute sizes, so that alloc_obj never
// writes an empty value past the end of a record. Registering again replaces the
// layout, tree links included; the routines stay.
int obj_register_class(int id, int size, const objdesc* desc) {
  if (!is_builtin(id)) return 0;
  builtin_class& c = g_reg.builtin[id];
  free_mem(&c.offsets);
  c.desc = desc;
  c.offsets = make_offsets(desc);
  int min_size = static_cast<int>(sizeof(obj_t));
  if (desc && layout_size(desc) > min_size) min_size = layout_size(desc);
  c.size = size > min_size ? size : min_size;
  c.tree_links = desc_tree_links(desc);
  return 1;
}

// Once the slots are used up every further call fails (the counter is never let wrap).
int obj_register_user_class(const objdesc* desc, int* out_class) {
  if (out_class) *out_class = 0;
  if (!desc) return 0;
  int slot = g_next_slot.load();
  do {
    if (slot < 1 || slot >= kUserClassSlots) return 0;
  } while (!g_next_slot.compare_exchange_weak(slot, slot + 1));
  user_class& u = g_reg.user[slot];
  u.desc = desc;
  u.offsets = make_offsets(desc);
  const int sum = layout_size(desc);
  u.size = sum > int(sizeof(obj_t)) ? sum : int(sizeof(obj_t));
  u.tree_links = desc_tree_links(desc);
  if (out_class) *out_class = slot + kUserClassBase;
  return slot + kUserClassBase;
}

void obj_set_free_callback(int id, obj_free_fn fn) {
  if (is_builtin(id)) g_reg.builtin[id].free_fn = fn;
}

void obj_set_pooled(int id, bool pooled) {
  if (is_builtin(id)) g_reg.builtin[id].pooled = pooled;
}

void obj_set_copy_callback(int id, obj_copy_fn fn) {
  if (is_builtin(id)) g_reg.builtin[id].copy_fn = fn;
}

void obj_set_tree_links(int id, int links) {
  if (is_builtin(id)) g_reg.builtin[id].tree_links = links_that_fit(links, g_reg.builtin[id].size);
}

int obj_class_tree_links(int cls) {
  if (is_builtin(cls)) return g_reg.builtin[cls].tree_links;
  if (is_user(cls)) return g_reg.user[cls - kUserClassBase].tree_links;
  return TREE_NONE;
}

const objdesc* obj_class_descriptor(int id, const objdesc** out) {
  const objdesc* d = nullptr;
  if (is_builtin(id))
    d = g_reg.builtin[id].desc;
  else if (is_user(id))
    d = g_reg.user[id - kUserClassBase].desc;
  if (out) *out = d;
  return d;
}

const char* obj_class_name(int id) {
  const objdesc* d = obj_class_descriptor(id, nullptr);
  return d ? d->class_name : nullptr;
}

int obj_class_attr_count(int id) { return desc_count(obj_class_descriptor(id, nullptr)); }

int obj_class_size(int id) {
  if (is_builtin(id)) return g_reg.builtin[id].size;
  if (is_user(id)) return g_reg.user[id - kUserClassBase].size;
  return 0;
}

int attr_type_size(int type) { return type >= 0 && type < AT_TYPE_COUNT ? kAttrTypeSize[type] : 0; }

// Returns 1 for an attribute of a described class; otherwise the outputs say "no
// attribute": type 0, offset 0, name "".
int obj_attr_info(int cls, int i, int* out_type, int* out_offset, const char** out_name) {
  const objdesc* desc;
  const uint16_t* offsets;
  const bool found = class_layout(cls, &desc, &offsets) && i >= 0 && i < desc_count(desc);
  if (out_type) *out_type = found ? desc->attrs[i].type : AT_NONE;
  if (out_offset) *out_offset = found ? offsets[i] : 0;
  if (out_name) *out_name = found && desc->attrs[i].name ? desc->attrs[i].name : "";
  return found ? 1 : 0;
}

// ---- Ids ----------------------------------------------------------------------------

// Without a generator the next id is the largest one plus one, taken and published in
// one atomic step (a reader makes a million objects: no lock per object); the counter
// stops at the largest id rather than overflow (a highest id set from a file may be
// anywhere). A generator runs under the id mutex.
int obj_new_id() {
  const obj_id_generator gen = g_id_generator.load(std::memory_order_acquire);
  if (!gen) {
    int cur = g_max_id.load(std::memory_order_acquire);
    for (;;) {
      const int id = cur < INT_MAX ? cur + 1 : INT_MAX;
      if (g_max_id.compare_exchange_weak(cur, id, std::memory_order_acq_rel)) return id;
    }
  }
  std::lock_guard<std::mutex> lock(g_id_mutex);
  const int id = gen();
  raise_max_id(id);
  return id;
}

void obj_set_max_id(int id) { g_max_id.store(id, std::memory_order_release); }
int obj_max_id() { return g_max_id.load(std::memory_order_acquire); }
void obj_set_id_generator(obj_id_generator gen) { g_id_generator.store(gen, std::memory_order_release); }

// ---- Objects ------------------------------------------------------------------------

// An unregistered or unknown class gets no record (null).
obj_t* alloc_obj(int cls, obj_t** out) {
  if (out) *out = nullptr;
  const int size = obj_class_size(cls);
  if (size < int(sizeof(obj_t))) return nullptr;
  char* rec = is_builtin(cls) && g_reg.builtin[cls].pooled
                  ? static_cast<char*>(pool_alloc_zero(size_t(size)))
                  : nullptr;
  if (!rec) alloc_mem_zero(&rec, size);
  field_store<int32_t>(rec, 4, cls);
  store_empty_values(cls, rec);
  obj_t* obj = reinterpret_cast<obj_t*>(rec);
  if (out) *out = obj;
  return obj;
}

obj_t* obj_new(int, int cls, obj_t** out) {
  obj_t* obj = alloc_obj(cls, out);
  if (obj) obj->id = obj_new_id();
  return obj;
}

// Run-time classes have no class list: their objects get an id only.
obj_t* obj_new_registered(int cls, obj_t** out) {
  obj_t* obj = obj_new(0, cls, out);
  if (obj && is_builtin(cls)) {
    std::lock_guard<std::mutex> lock(g_lists_mutex);
    id_list_insert(&g_reg.lists[cls].list, obj);
  }
  return obj;
}

obj_t* obj_find_in_class(int cls, int id, obj_t** out) {
  obj_t* found = nullptr;
  if (is_builtin(cls)) {
    std::lock_guard<std::mutex> lock(g_lists_mutex);
    id_list_get(&g_reg.lists[cls].list, id, &found);
  }
  if (out) *out = found;
  return found;
}

obj_t* obj_find_any_class(int id, obj_t** out) {
  obj_t* found = nullptr;
  for (int cls = 0; cls < 200 && !found; ++cls) obj_find_in_class(cls, id, &found);
  if (out) *out = found;
  return found;
}

obj_t* obj_class_next(int cls, obj_t** inout) {
  if (!inout) return nullptr;
  if (!is_builtin(cls)) {
    *inout = nullptr;
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(g_lists_mutex);
  return obj_list_next_by_id(&g_reg.lists[cls].list, inout);
}

int obj_class_count(int cls, int* out) {
  int n = 0;
  if (is_builtin(cls)) {
    std::lock_guard<std::mutex> lock(g_lists_mutex);
    n = obj_list_count(&g_reg.lists[cls].list);
  }
  if (out) *out = n;
  return n;
}

int obj_enter_class_list(obj_t* obj) {
  if (!obj || !is_builtin(obj->cls)) return 0;
  container_t* list = &g_reg.lists[obj->cls].list;
  // Ids are drawn outside the lists' lock; a fresh id can only be taken by this object.
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(g_lists_mutex);
      obj_t* same = nullptr;
      if (obj->id != 0) id_list_get(list, obj->id, &same);
      if (same == obj) return 1;
      if (obj->id != 0 && !same) {
        id_list_insert(list, obj);
        return 1;
      }
    }
    obj->id = obj_new_id();
  }
}

container_t* obj_class_list(int cls) { return is_builtin(cls) ? &g_reg.lists[cls].list : nullptr; }

// Objects are never freed while an error is pending. An object of a run-time class
// (or of an unknown class id) has no class list and no free routine: only its record
// is freed.
void free_obj(obj_t** p) {
  if (!p || !*p || get_gblerr() != 0) return;
  obj_t* obj = *p;
  const int cls = obj->cls;
  if (is_builtin(cls)) {
    class_list_remove(obj);
    if (obj_free_fn fn = g_reg.builtin[cls].free_fn) fn(obj);
  }
  char* rec = reinterpret_cast<char*>(obj);
  free_mem(&rec);
  *p = nullptr;
}

void obj_delete(obj_t** p) { free_obj(p); }

void obj_free_in_class(int cls, int* id) {
  if (!id || get_gblerr() != 0) return;
  obj_t* obj = nullptr;
  obj_find_in_class(cls, *id, &obj);
  *id = 0;
  free_obj(&obj);
}

// The destination keeps its id and its place in a tree (father and sons list) whatever
// the class. A class with a copy routine: the destination's owned members are released
// through its free routine, then byte copy, then the copy routine. A described class
// without one: the destination's owned strings and coordinates are released, the record
// is copied, the owned members are copied, and the destination keeps its own lists,
// which it must not share with the source. A class with neither is copied only when it
// owns nothing, that is when it has no free routine either; otherwise the destination is
// left as it was.
void obj_copy(const obj_t* src, obj_t* dst) {
  if (!src || !dst || src == dst || src->cls != dst->cls) return;
  const int cls = src->cls;
  const int size = obj_class_size(cls);
  if (size < int(sizeof(obj_t))) return;
  const obj_copy_fn copy_fn = is_builtin(cls) ? g_reg.builtin[cls].copy_fn : nullptr;
  const obj_free_fn free_fn = is_builtin(cls) ? g_reg.builtin[cls].free_fn : nullptr;
  const objdesc* desc = nullptr;
  const uint16_t* offsets = nullptr;
  const bool described = class_layout(cls, &desc, &offsets);
  if (!copy_fn && !described && free_fn) return;
  const tree_place place = take_tree_place(dst);
  if (copy_fn) {
    if (free_fn) free_fn(dst);
    copy_after_id(src, dst, size);
    copy_fn(src, dst);
  } else if (described) {
    char* d = reinterpret_cast<char*>(dst);
    release_owned_members(desc, offsets, d);
    std::vector<char> kept(d, d + size);
    copy_after_id(src, dst, size);
    copy_described_members(desc, offsets, d, kept.data());
  } else {
    copy_after_id(src, dst, size);
  }
  restore_tree_place(dst, place);
}
