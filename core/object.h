// The object store: typed records of registered classes.
//
// An object is a zero-filled heap record whose first word is its id and whose second
// word is its class id; its attributes follow, packed without padding, at offsets that
// are the running sum of the attribute type sizes given by the class descriptor. In
// this 64-bit build every pointer-typed attribute is 8 bytes wide, so a record is laid
// out from its descriptor, never from hand-written numbers. Built-in classes that code
// reaches field by field have packed C++ structs here (obj_layout.h checks them against
// their descriptors at compile time).
//
// Classes 0..201 are built in; classes defined at run time get ids 1001, 1002, ...
// Every built-in class keeps an id-ordered list of its live objects (its class list).
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/memory.h"

struct container_t;

#pragma pack(push, 1)
// Every object begins with these two words.
struct obj_t {
  int32_t id;   // 0 until the object is given one
  int32_t cls;  // class id
};

// Classes that take part in trees: father reference (type 15), sons list (type 12).
struct tree_obj_t : obj_t {
  obj_t* father;
  container_t* sons;
};
#pragma pack(pop)

// ---- Attribute types --------------------------------------------------------------
enum attr_type : int {
  AT_NONE = 0,
  AT_INT = 1,          // signed 32-bit
  AT_UINT = 2,         // unsigned 32-bit
  AT_DOUBLE = 3,
  AT_ANGLE = 4,        // two doubles
  AT_POINT = 5,        // x, y doubles + 32-bit word
  AT_ID = 6,           // object id
  AT_DATE = 7,         // packed date (double)
  AT_DATETIME = 8,     // packed date + time of day (two doubles)
  AT_WSTRING = 9,      // owned char16_t* string
  AT_STRING = 10,      // owned char* string
  AT_REF = 11,         // obj_t* reference
  AT_LIST = 12,        // container_t*
  AT_COLOR = 13,       // 0x00BBGGRR
  AT_EXTENT = 14,      // five doubles
  AT_FATHER = 15,      // obj_t* father
  AT_KEY = 16,         // 32-bit integer key
  AT_NINT = 17,        // nullable signed integer (empty 0x80000001)
  AT_NUINT = 18,       // nullable unsigned integer (empty 0x80000001)
  AT_NDOUBLE = 19,     // nullable double (empty -1e100)
  AT_NPAIR = 20,       // nullable pair of doubles
  AT_TEXTPOS = 21,     // x, y nullable doubles + 32-bit word
  AT_FORMAT = 22,      // 32-bit format code
  AT_SCALE = 23,       // double
  AT_SIZE = 24,        // unsigned 32-bit size or offset
  AT_SMALL = 25,       // small integer
  AT_UNUSED26 = 26,
  AT_UNUSED27 = 27,
  AT_PIXEL = 28,       // pixel position
  AT_COORDS = 29,      // coordinate list (coord_list)
  AT_RECT = 30,        // rectangle coordinates (five doubles)
  AT_UNUSED31 = 31,
  AT_OBJARRAY = 32,    // count, capacity in bytes, obj_t** array
  AT_ICONSIZE = 33,
  AT_UNUSED34 = 34,
  AT_FLOAT = 35,
  AT_TYPE_COUNT = 36
};

constexpr int32_t NULL_INT = static_cast<int32_t>(0x80000001u);  // empty nullable integer
constexpr double NULL_DOUBLE = -1e100;                          // empty nullable double

// Size in bytes of each attribute type in this build (pointers are 8 bytes).
constexpr int kAttrTypeSize[AT_TYPE_COUNT] = {
    0,  4, 4, 8, 16, 20, 4, 8, 16, 8,   //  0..9
    8,  8, 8, 4, 40, 8,  4, 4, 4,  8,   // 10..19
    16, 20, 4, 8, 4, 4, 16, 20, 4, 28,  // 20..29
    40, 8, 16, 8, 0, 4};                // 30..35

// ---- Descriptors --------------------------------------------------------------------
struct attr_desc {
  const char* name;  // may be "" for an unnamed attribute
  int type;          // attr_type
};

// A class descriptor: class name and attributes; the first two attributes are always
// `id` (type 6) and `type` (type 1).
struct objdesc {
  const char* class_name;
  int count;
  const attr_desc* attrs;
};

// Coordinate list of a line or surface (attribute type 29).
#pragma pack(push, 1)
struct coord_list {
  int32_t count;     // number of points
  double* pts;       // count (x, y) pairs
  void* extra;       // second array, freed with the points
  int32_t reserved[2];
};
static_assert(sizeof(coord_list) == 28);
#pragma pack(pop)

constexpr int kBuiltinClasses = 202;  // ids 0..201
constexpr int kUserClassBase = 1000;  // run-time class id = slot + 1000
constexpr int kUserClassSlots = 1000;

using obj_free_fn = void (*)(obj_t* obj);
using obj_copy_fn = void (*)(const obj_t* src, obj_t* dst);

// ---- Registry -----------------------------------------------------------------------
// Allocates the registry tables zero-filled and fills the type size table. Runs once,
// first of all initialisers; calling it again resets the whole store (tests).
void obj_store_init();
// Registers the core classes (container, class holder, strpair, idpair, ...).
void obj_register_core_classes();

int obj_register_class(int id, int size, const objdesc* desc);
int obj_register_user_class(const objdesc* desc, int* out_class);
void obj_set_free_callback(int id, obj_free_fn fn);
void obj_set_copy_callback(int id, obj_copy_fn fn);
// Tree links of a class: a father reference in its third field, and a sons list in its
// fourth. A described class has them when its descriptor puts a father (type 15) third
// and a list (type 12) fourth; a built-in class without descriptor has them only when
// its owner declares them after registering it (a link that does not fit in the record
// is not taken). Nothing is ever guessed from a record's size.
enum tree_links : int { TREE_NONE = 0, TREE_FATHER = 1, TREE_FATHER_AND_SONS = 3 };
void obj_set_tree_links(int id, int links);
int obj_class_tree_links(int cls);
const objdesc* obj_class_descriptor(int id, const objdesc** out);
const char* obj_class_name(int id);
int obj_class_attr_count(int id);
int obj_class_size(int id);
int attr_type_size(int type);
// Offsets are computed by the running sum of the type sizes (16-bit values).
void obj_class_layout(const objdesc* desc, uint16_t* offsets);
int obj_attr_info(int cls, int i, int* out_type, int* out_offset, const char** out_name);

// ---- Objects ------------------------------------------------------------------------
obj_t* alloc_obj(int cls, obj_t** out);
obj_t* obj_new(int ignored, int cls, obj_t** out);
obj_t* obj_new_registered(int cls, obj_t** out);
obj_t* obj_find_in_class(int cls, int id, obj_t** out);
obj_t* obj_find_any_class(int id, obj_t** out);
obj_t* obj_class_next(int cls, obj_t** inout);
int obj_class_count(int cls, int* out);
container_t* obj_class_list(int cls);
// Enters an existing object of a built-in class in its class list (under the lists'
// lock); an object whose id is already taken there gets a fresh id first. Returns 1
// when the object is now listed.
int obj_enter_class_list(obj_t* obj);
void free_obj(obj_t** p);
void obj_free_in_class(int cls, int* id);
void obj_delete(obj_t** p);
void obj_copy(const obj_t* src, obj_t* dst);

// Object ids: one process-wide counter.
int obj_new_id();
void obj_set_max_id(int id);
int obj_max_id();
// The generator runs under the id lock: it must not call obj_new_id itself.
using obj_id_generator = int (*)();
void obj_set_id_generator(obj_id_generator gen);  // null restores the default

// Typed forwarders for records declared as structs derived from obj_t.
template <class T> T* alloc_obj(int cls, T** out) {
  obj_t* o = nullptr;
  alloc_obj(cls, &o);
  *out = static_cast<T*>(o);
  return *out;
}
template <class T> T* obj_new_registered(int cls, T** out) {
  obj_t* o = nullptr;
  obj_new_registered(cls, &o);
  *out = static_cast<T*>(o);
  return *out;
}
// `p` may be a field of a packed record: it is read and written without assuming its
// alignment.
template <class T> void free_obj(T** p) {
  if (!p) return;
  obj_t* o = owner_get(p);
  free_obj(&o);
  owner_put(p, static_cast<T*>(o));
}

// ---- Trees --------------------------------------------------------------------------
obj_t* obj_get_father(const obj_t* obj, obj_t** out);
void obj_set_father_link(obj_t* obj, obj_t* father);
int obj_depth(const obj_t* obj);
void obj_set_father(obj_t* father, obj_t* son);
void obj_add_son(obj_t* father, obj_t* son);
void obj_detach(obj_t* son);
container_t* obj_create_sons_list(obj_t* obj, int cls, int key_type, int key_offset);
obj_t* obj_son_of_class(const obj_t* obj, int cls, obj_t** inout_son);
obj_t* obj_son_next(const char* name, const obj_t* obj, int cls, obj_t** out);
obj_t* obj_tree_walk(const char* name, obj_t* root, int cls, obj_t** cursor);
obj_t* obj_tree_next(obj_t* root, int cls, obj_t** cursor);
void obj_tree_collect(obj_t* root, int cls, container_t* list);
void obj_tree_free_containers(obj_t* root);
void obj_tree_free(obj_t* root, int cls);
container_t* obj_tree_next_container(obj_t* root, obj_t** out_father, container_t** cursor);
obj_t* obj_tree_next_of_class(container_t** cursor, int cls, obj_t** inout_elem);
obj_t* obj_tree_next_any(container_t** cursor, obj_t** inout_elem);

// ---- Attributes and keys ------------------------------------------------------------
// Reads and writes of attribute memory go through memcpy: records are packed.
void attr_set_value(int type, void* attr, const void* value);
void attr_from_text(int type, void* attr, const char* text);
void index_key_copy(int type, const void* src, void* dst);
void index_key_store(int type, void* dst, const void* src);
// 1 when a comes before b, 0 when they are equal, -1 when a comes after b. A strict
// weak ordering for every key type (null strings sort first).
int index_compare_keys(int type, const void* a, const void* b);
double index_key_distance(const void* a, int type, const void* b);

// Coordinate lists.
void coords_add(coord_list* c, double x, double y);
void coords_set(coord_list* c, int n, const double* xy);
void coords_close_ring(coord_list* c);
void coords_free(coord_list* c);
