// Object lists: the `container` (class 34), the one list type of the system.
//
// A container is itself an object and holds an array of object pointers. One record
// serves three uses, told apart by its key fields: a plain list in insertion order, an
// id-ordered list (element class and key type both 0), and a sorted index of one
// element class by one attribute (index.h). A null list pointer counts everywhere as
// an empty list. The class holder (class 59) fills a record of a run-time class from
// the elements of several lists.
#pragma once
#include <cstdint>

#include "core/object.h"

constexpr int CLS_CONTAINER = 34;
constexpr int CLS_CLASS_HOLDER = 59;

#pragma pack(push, 1)
// id and class (34), then father (for a sons list: the object whose sons it holds)
// and the list's own sons list (which also carries its name text).
struct container_t : tree_obj_t {
  char* name;             // descriptor attribute `name`
  int32_t count;          // number of elements
  uint32_t capacity;      // bytes of the element array (count * 8 + 8 after growth);
                          // elements for a list made by obj_list_new_with_capacity
  obj_t** elems;          // element array
  container_t* source;    // `fathercontainer`: list indexed by a sorted index
  int32_t word;           // not used by the list operations
  uint16_t elem_class;    // `objtype`: class of indexed elements; 0 in a plain list
  uint16_t key_type;      // `fieldtype`: attribute type of the key; 0: not an index
  uint16_t key_offset;    // `fieldadr`: byte offset of the key in the element record
  char* name_text;        // owned: name of the object owning this list as sons list
};

// Class holder (class 59).
struct class_holder_t : tree_obj_t {  // class 59
  char* text;             // owned 8-bit string
  container_t* parts;     // a list of lists
  int32_t record_class;   // class id of its record class
  obj_t* record;          // an object of that class
  int32_t word9;          // cleared when the holder is freed
  container_t* links;     // list of link records
};

// A link of a class holder: five 16-bit values.
struct holder_link_t {
  uint16_t target_attr;
  uint16_t target_offset;
  uint16_t source_class;
  uint16_t source_type;   // 11 when the source offset is 0: the element itself
  uint16_t source_offset;
};
#pragma pack(pop)

// Bytes one element takes in a container's array, for the capacity arithmetic.
constexpr uint32_t kListSlot = sizeof(obj_t*);
// Capacity in bytes needed for n elements: n * slot + 8.
constexpr uint32_t list_capacity_for(int32_t n) { return uint32_t(n) * kListSlot + 8; }

extern const objdesc container_desc;

// ---- Creation and release -----------------------------------------------------------
container_t* obj_list_new(container_t** out);
container_t* obj_list_create(container_t** out);
container_t* obj_list_new_like(const container_t* model, container_t** out);
container_t* obj_list_new_with_capacity(int n, container_t** out);
container_t* obj_list_clone(container_t* model, container_t** out);
void obj_list_destroy(obj_t* list);  // free routine of class 34
void obj_list_clear(container_t* list);
void obj_list_trim(container_t* list);

// ---- Access -------------------------------------------------------------------------
int obj_list_count(const container_t* list);
void obj_list_set_count(container_t* list, int n);
obj_t* obj_list_get(const container_t* list, int i, obj_t** out);
void obj_list_set(container_t* list, int i, obj_t* elem);
obj_t* obj_list_first(const container_t* list, obj_t** out);
obj_t* obj_list_last(const container_t* list, obj_t** out);
obj_t* obj_list_at(const container_t* list, int i, obj_t** out);
obj_t* obj_list_next_of_type(const container_t* list, int cls, int* inout_i, obj_t** out);
obj_t* obj_list_prev_of_type(const container_t* list, int cls, int* inout_i, obj_t** out);
obj_t* obj_list_first_of_type(const container_t* list, int cls, obj_t** out);
obj_t* obj_list_first_of_class(const container_t* list, int cls, obj_t** out);
obj_t* obj_list_last_of_type(const container_t* list, int cls, obj_t** out);
obj_t* obj_list_last_of_class(const container_t* list, int cls, obj_t** out);
int obj_list_count_of_class(const container_t* list, int cls);
int obj_list_has_class(const container_t* list, int cls);
int obj_list_equal(const container_t* a, const container_t* b);

// ---- Insertion and removal ----------------------------------------------------------
void obj_list_insert(container_t* list, int i, obj_t* elem);
void obj_insert_child(container_t* list, int i, obj_t* elem);
void obj_list_append(container_t* list, obj_t* elem);
void obj_list_push(container_t* list, obj_t* elem);
int obj_list_append_unique(container_t* list, obj_t* elem);
int obj_list_add_unique_front(container_t* list, obj_t* elem);
void obj_add_child(obj_t* obj, obj_t* elem);
void obj_list_remove_at(container_t* list, int i);
int obj_list_pop(container_t* list, obj_t** out);
void obj_list_remove_type(container_t* list, int cls);
void obj_list_remove_class(container_t* list, int cls);
void obj_list_compact(container_t* list);
void obj_list_copy_type(const container_t* src, int cls, container_t* dst);
void obj_list_append_all(const container_t* src, container_t* dst);
void obj_list_free_elements(container_t* list);
void obj_list_free_type(container_t* list, int cls);
// The same over several lists: an object found twice, or in several lists, is freed once.
void obj_lists_free_type(container_t* const* lists, int n, int cls);

// ---- Id-ordered lists ---------------------------------------------------------------
int id_list_find(const container_t* list, int id, int* out_pos);
int id_list_lower_bound(const container_t* list, int id, int* out_pos);
void id_list_insert(container_t* list, obj_t* obj);
void obj_add_to_id_list(container_t* list, obj_t* obj);
void obj_list_add_to_id_list(const container_t* list, int cls, container_t* dst);
void obj_list_move_to_id_list(container_t* list, container_t* dst);
void obj_list_remove_id(container_t* list, int id);
void obj_list_remove_id_fwd(container_t* list, int id);
obj_t* id_list_get(const container_t* list, int id, obj_t** out);
obj_t* obj_new_in_list(container_t* list, int cls, obj_t** out);
obj_t* obj_list_next_by_id(const container_t* list, obj_t** inout);
obj_t* obj_list_next_of_class_by_id(const container_t* list, int cls, obj_t** inout);
obj_t* obj_list_next_after_id(const container_t* list, int cls, int id, obj_t** out);

// ---- Object names (kept in the sons list) ------------------------------------------
void obj_name_set(obj_t* obj, const char* text);
const char* obj_name_get(const obj_t* obj);
const char* obj_name_text(const container_t* list);

// ---- Class holder -------------------------------------------------------------------
class_holder_t* obj_new_class_holder(const objdesc* desc, class_holder_t** out);
int obj_get_word6(const class_holder_t* holder);
void obj_add_link(class_holder_t* holder, int target_attr, int source_class, int source_attr);
obj_t* parts_find_index(class_holder_t* holder, int* inout_index, obj_t** out_record);
obj_t* parts_find_range(class_holder_t* holder, int* inout_part, obj_t** out_record,
                        int* inout_index, int* inout_visited);
void obj_group_destroy(obj_t* holder);  // free routine of class 59

// Typed forwarders.
template <class T> T* obj_list_get(const container_t* list, int i, T** out) {
  obj_t* o = nullptr;
  obj_list_get(list, i, &o);
  *out = static_cast<T*>(o);
  return *out;
}
