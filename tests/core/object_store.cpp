// Object store: class registry and layouts, allocation with empty values, ids, class
// lists, release under a pending error, copies, and the generic attribute operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/core_classes.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/wstring.h"
#include "tests/support/object_env.h"

namespace {

class ObjectStore : public ::testing::Test {
 protected:
  void SetUp() override { tm_test::reset_object_store(); }
  void TearDown() override { set_gblerr(0); }
};

int offset_of(int cls, int i) {
  int off = -1;
  obj_attr_info(cls, i, nullptr, &off, nullptr);
  return off;
}

// Lists and class holders are objects whose records are declared apart.
template <class T> void free_record(T** p) {
  obj_t* o = reinterpret_cast<obj_t*>(*p);
  free_obj(&o);
  *p = reinterpret_cast<T*>(o);
}

template <class T> T at(const obj_t* o, int off) { return field_load<T>(o, off); }

// A built-in test class that owns strings, a coordinate list and a sons list, with a
// free routine that releases them.
constexpr int kRichClass = 150;
const attr_desc kRichAttrs[] = {{"id", AT_ID},       {"type", AT_INT},   {"father", AT_FATHER},
                                {"sons", AT_LIST},   {"name", AT_STRING}, {"wname", AT_WSTRING},
                                {"coords", AT_COORDS}, {"n", AT_INT}};
const objdesc kRichDesc = {"rich", 8, kRichAttrs};

void rich_free(obj_t* o) {
  char* s = at<char*>(o, offset_of(kRichClass, 4));
  free_mem(&s);
  char16_t* w = at<char16_t*>(o, offset_of(kRichClass, 5));
  free_mem(&w);
  coord_list c = at<coord_list>(o, offset_of(kRichClass, 6));
  coords_free(&c);
  obj_t* sons = at<obj_t*>(o, offset_of(kRichClass, 3));
  free_obj(&sons);
}

obj_t* make_rich(const char* name, const char16_t* wname) {
  obj_t* o = nullptr;
  obj_new(0, kRichClass, &o);
  attr_set_value(AT_STRING, reinterpret_cast<char*>(o) + offset_of(kRichClass, 4), name);
  attr_set_value(AT_WSTRING, reinterpret_cast<char*>(o) + offset_of(kRichClass, 5), wname);
  coord_list c{};
  coords_add(&c, 1.5, 2.5);
  coords_add(&c, 3.5, 4.5);
  field_store(o, offset_of(kRichClass, 6), c);
  return o;
}

// ---- Registry -----------------------------------------------------------------------

TEST_F(ObjectStore, RunTimeClassLayoutIsTheRunningSumOfTypeSizes) {
  const attr_desc attrs[] = {{"id", AT_ID}, {"type", AT_INT}, {"name", AT_STRING}, {"val", AT_INT}};
  const objdesc desc = {"pair", 4, attrs};
  int cls = 0;
  EXPECT_EQ(obj_register_user_class(&desc, &cls), 1001);
  EXPECT_EQ(cls, 1001);
  const int expected[] = {0, 4, 8, 16};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(offset_of(cls, i), expected[i]) << "attribute " << i;
  EXPECT_EQ(obj_class_size(cls), 20);
  EXPECT_STREQ(obj_class_name(cls), "pair");
  EXPECT_EQ(obj_class_attr_count(cls), 4);

  int second = 0;
  obj_register_user_class(&desc, &second);
  EXPECT_EQ(second, 1002);
}

TEST_F(ObjectStore, AttributeInfoOfClassWithoutDescriptorHasNoType) {
  int type = -1, off = -1;
  const char* name = nullptr;
  EXPECT_EQ(obj_attr_info(CLS_IDPAIR, 2, &type, &off, &name), 0);
  EXPECT_EQ(type, AT_NONE);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(obj_class_name(CLS_IDPAIR), nullptr);
  EXPECT_EQ(obj_class_attr_count(CLS_IDPAIR), 0);
  // Outputs may be null.
  EXPECT_EQ(obj_attr_info(CLS_CONTAINER, 2, nullptr, nullptr, nullptr), 1);
}

TEST_F(ObjectStore, CoreClassesAreRegisteredWithTheirSizes) {
  struct row {
    int cls;
    int size;
  } rows[] = {{CLS_CONTAINER, 74}, {CLS_CLASS_HOLDER, 64}, {CLS_STRPAIR, 24},
              {CLS_IDPAIR, 16},    {CLS_TEXT_RECORD, 24},  {CLS_EXTENT_LIST, 32}};
  for (const row& r : rows) EXPECT_EQ(obj_class_size(r.cls), r.size) << "class " << r.cls;
  EXPECT_STREQ(obj_class_name(CLS_CONTAINER), "container");
  EXPECT_EQ(obj_class_attr_count(CLS_CONTAINER), 10);
  // The class lists are stamped as containers and start empty.
  for (int cls : {0, 34, 201}) {
    ASSERT_NE(obj_class_list(cls), nullptr);
    EXPECT_EQ(obj_class_list(cls)->cls, CLS_CONTAINER);
    EXPECT_EQ(obj_list_count(obj_class_list(cls)), 0);
  }
}

TEST_F(ObjectStore, OutOfRangeClassIdsFindNothing) {
  obj_t dummy{1, 1};
  for (int cls : {-1, 202, 999, 1000, 2000, 5000}) {
    SCOPED_TRACE(cls);
    const objdesc* out = &kRichDesc;
    obj_t* o = &dummy;
    EXPECT_EQ(alloc_obj(cls, &o), nullptr);
    EXPECT_EQ(o, nullptr);
    EXPECT_EQ(obj_register_class(cls, 16, nullptr), 0);
    obj_set_free_callback(cls, rich_free);
    obj_set_copy_callback(cls, nullptr);
    EXPECT_EQ(obj_class_descriptor(cls, &out), nullptr);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(obj_class_size(cls), 0);
    EXPECT_EQ(obj_class_list(cls), nullptr);
    EXPECT_EQ(obj_find_in_class(cls, 2, &o), nullptr);
    EXPECT_EQ(obj_class_count(cls, nullptr), 0);
    EXPECT_EQ(obj_new_registered(cls, &o), nullptr);
  }
  EXPECT_EQ(attr_type_size(-1), 0);
  EXPECT_EQ(attr_type_size(36), 0);
  EXPECT_EQ(attr_type_size(AT_STRING), 8);
}

TEST_F(ObjectStore, RegistrationNeverMakesARecordSmallerThanItsAttributes) {
  obj_register_class(kRichClass, 4, &kRichDesc);
  EXPECT_EQ(obj_class_size(kRichClass), attr_layout_size(kRichAttrs, 8));
}

TEST_F(ObjectStore, UserClassSlotsRunOut) {
  const attr_desc attrs[] = {{"id", AT_ID}, {"type", AT_INT}};
  const objdesc desc = {"tiny", 2, attrs};
  int last = 0;
  for (int i = 1; i < kUserClassSlots; ++i) last = obj_register_user_class(&desc, nullptr);
  EXPECT_EQ(last, 1999);
  int cls = -1;
  EXPECT_EQ(obj_register_user_class(&desc, &cls), 0);
  EXPECT_EQ(cls, 0);
}

// ---- Allocation and ids -------------------------------------------------------------

TEST_F(ObjectStore, AllocObjStoresTheEmptyValuesOfNullableTypes) {
  const attr_desc attrs[] = {{"id", AT_ID},       {"type", AT_INT},      {"a", AT_NINT},
                             {"b", AT_NUINT},     {"c", AT_NDOUBLE},     {"d", AT_NPAIR},
                             {"e", AT_TEXTPOS},   {"f", AT_INT},         {"g", AT_DOUBLE}};
  const objdesc desc = {"nullable", 9, attrs};
  obj_register_class(120, 0, &desc);
  obj_t* o = nullptr;
  ASSERT_NE(alloc_obj(120, &o), nullptr);
  EXPECT_EQ(o->id, 0);
  EXPECT_EQ(o->cls, 120);
  EXPECT_EQ(at<int32_t>(o, offset_of(120, 2)), NULL_INT);
  EXPECT_EQ(at<int32_t>(o, offset_of(120, 3)), NULL_INT);
  EXPECT_EQ(at<double>(o, offset_of(120, 4)), NULL_DOUBLE);
  for (int i : {5, 6}) {
    EXPECT_EQ(at<double>(o, offset_of(120, i)), NULL_DOUBLE);
    EXPECT_EQ(at<double>(o, offset_of(120, i) + 8), NULL_DOUBLE);
  }
  EXPECT_EQ(at<int32_t>(o, offset_of(120, 6) + 16), 0);  // the word after the text position
  EXPECT_EQ(at<int32_t>(o, offset_of(120, 7)), 0);
  EXPECT_EQ(at<double>(o, offset_of(120, 8)), 0.0);
  free_obj(&o);
}

TEST_F(ObjectStore, AllocObjOfClassWithoutDescriptorIsZeroWithItsClass) {
  obj_t dummy{1, 1};
  obj_t* stale = &dummy;  // what *out held is overwritten, not freed
  alloc_obj(CLS_IDPAIR, &stale);
  idpair_t* p = static_cast<idpair_t*>(stale);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->cls, CLS_IDPAIR);
  EXPECT_EQ(p->id, 0);
  EXPECT_EQ(p->key, 0);
  EXPECT_EQ(p->value, 0);
  free_obj(&p);
  EXPECT_EQ(p, nullptr);
}

int g_generated = 0;
int next_hundred() { return g_generated += 100; }

TEST_F(ObjectStore, IdsStartAtTwoAndFollowTheGenerator) {
  g_generated = 100;  // the generator's own count, set afresh for every run
  EXPECT_EQ(obj_max_id(), 1);
  EXPECT_EQ(obj_new_id(), 2);
  EXPECT_EQ(obj_new_id(), 3);
  obj_set_max_id(40);
  EXPECT_EQ(obj_new_id(), 41);

  obj_set_id_generator(next_hundred);
  EXPECT_EQ(obj_new_id(), 200);
  EXPECT_EQ(obj_max_id(), 200);
  obj_set_id_generator(nullptr);
  EXPECT_EQ(obj_new_id(), 201);

  obj_t* o = nullptr;
  obj_new(0, CLS_IDPAIR, &o);
  EXPECT_EQ(o->id, 202);
  free_obj(&o);
}

// A highest id set from outside (a file's ids) may be the largest int: the counter
// then stays there instead of overflowing.
TEST_F(ObjectStore, IdCounterStopsAtTheLargestId) {
  struct row {
    int max;
    int next;
  } rows[] = {{INT_MAX - 1, INT_MAX}, {INT_MAX, INT_MAX}};
  for (const row& r : rows) {
    obj_set_max_id(r.max);
    EXPECT_EQ(obj_new_id(), r.next) << r.max;
    EXPECT_EQ(obj_max_id(), r.next);
  }
}

// Threads taking ids at once (a load task and the user interface) never get the same
// one, and the largest id is the last one taken.
TEST_F(ObjectStore, IdsTakenByThreadsAtOnceAreDistinct) {
  constexpr int kThreads = 4, kEach = 20000;
  const int first = obj_max_id() + 1;
  std::vector<std::vector<int>> taken(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&taken, t] {
      for (int i = 0; i < kEach; ++i) taken[t].push_back(obj_new_id());
    });
  for (std::thread& th : threads) th.join();
  std::vector<int> all;
  for (const auto& ids : taken) {
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));  // each thread's ids grow
    all.insert(all.end(), ids.begin(), ids.end());
  }
  std::sort(all.begin(), all.end());
  ASSERT_EQ(all.size(), size_t(kThreads * kEach));
  EXPECT_EQ(all.front(), first);
  for (size_t i = 1; i < all.size(); ++i) ASSERT_EQ(all[i], all[i - 1] + 1) << i;
  EXPECT_EQ(obj_max_id(), all.back());
}

// ---- Class lists --------------------------------------------------------------------

TEST_F(ObjectStore, RegisteredObjectsAreFoundInTheirClassListInIdOrder) {
  std::vector<obj_t*> made(4, nullptr);
  for (auto& o : made) obj_new_registered(CLS_IDPAIR, &o);
  obj_t* other = nullptr;
  obj_new_registered(CLS_STRPAIR, &other);

  EXPECT_EQ(obj_class_count(CLS_IDPAIR, nullptr), 4);
  for (obj_t* o : made) {
    obj_t* found = nullptr;
    EXPECT_EQ(obj_find_in_class(CLS_IDPAIR, o->id, &found), o);
    EXPECT_EQ(obj_find_any_class(o->id, nullptr), o);
  }
  EXPECT_EQ(obj_find_in_class(CLS_IDPAIR, other->id, nullptr), nullptr);
  EXPECT_EQ(obj_find_any_class(other->id, nullptr), other);
  EXPECT_EQ(obj_find_any_class(9999, nullptr), nullptr);

  std::vector<obj_t*> walked;
  for (obj_t* o = nullptr; obj_class_next(CLS_IDPAIR, &o);) walked.push_back(o);
  EXPECT_EQ(walked, made);

  const int gone = made[1]->id;
  free_obj(&made[1]);
  EXPECT_EQ(obj_class_count(CLS_IDPAIR, nullptr), 3);
  EXPECT_EQ(obj_find_in_class(CLS_IDPAIR, gone, nullptr), nullptr);
  int id = made[2]->id;
  obj_free_in_class(CLS_IDPAIR, &id);
  EXPECT_EQ(id, 0);
  EXPECT_EQ(obj_class_count(CLS_IDPAIR, nullptr), 2);
  free_obj(&made[0]);
  free_obj(&made[3]);
  free_obj(&other);
  EXPECT_EQ(obj_class_count(CLS_STRPAIR, nullptr), 0);
}

TEST_F(ObjectStore, FreeingAnObjectLeavesAnotherWithTheSameIdInTheClassList) {
  obj_t* listed = nullptr;
  obj_new_registered(CLS_IDPAIR, &listed);
  obj_t* twin = nullptr;
  alloc_obj(CLS_IDPAIR, &twin);
  twin->id = listed->id;
  free_obj(&twin);
  EXPECT_EQ(obj_find_in_class(CLS_IDPAIR, listed->id, nullptr), listed);
  free_obj(&listed);
}

// ---- Release ------------------------------------------------------------------------

int g_freed = 0;
void count_free(obj_t*) { ++g_freed; }

TEST_F(ObjectStore, FreeObjDoesNothingWhileAnErrorIsPending) {
  g_freed = 0;
  obj_set_free_callback(CLS_IDPAIR, count_free);
  obj_t* o = nullptr;
  obj_new_registered(CLS_IDPAIR, &o);
  obj_t* const kept = o;
  int id = o->id;

  set_gblerr(ERR_BAD_FILE);
  free_obj(&o);
  EXPECT_EQ(o, kept);
  obj_free_in_class(CLS_IDPAIR, &id);
  EXPECT_EQ(id, kept->id);
  EXPECT_EQ(g_freed, 0);
  EXPECT_EQ(obj_find_in_class(CLS_IDPAIR, kept->id, nullptr), kept);

  set_gblerr(0);
  free_obj(&o);
  EXPECT_EQ(o, nullptr);
  EXPECT_EQ(g_freed, 1);
  EXPECT_EQ(obj_class_count(CLS_IDPAIR, nullptr), 0);

  obj_t* none = nullptr;
  free_obj(&none);
  free_obj(static_cast<obj_t**>(nullptr));
}

TEST_F(ObjectStore, FreeingARunTimeObjectTouchesNoBuiltInRoutine) {
  g_freed = 0;
  // Built-in classes 1 and 2 share the indexes 1001 - 1000 and 1002 - 1000.
  obj_set_free_callback(1, count_free);
  obj_set_free_callback(2, count_free);
  const attr_desc attrs[] = {{"id", AT_ID}, {"type", AT_INT}, {"name", AT_STRING}};
  const objdesc desc = {"place", 3, attrs};
  int cls = 0;
  obj_register_user_class(&desc, &cls);
  obj_t* o = nullptr;
  obj_new_registered(cls, &o);
  ASSERT_NE(o, nullptr);
  EXPECT_NE(o->id, 0);
  EXPECT_EQ(obj_find_in_class(cls, o->id, nullptr), nullptr);
  free_obj(&o);
  EXPECT_EQ(o, nullptr);
  EXPECT_EQ(g_freed, 0);
}

// ---- Copies -------------------------------------------------------------------------

TEST_F(ObjectStore, CopyOfADescribedClassOwnsItsStringsAndSharesNoLinks) {
  obj_register_class(kRichClass, 0, &kRichDesc);
  obj_set_free_callback(kRichClass, rich_free);
  obj_t* father = make_rich("father", u"p");
  obj_t* src = make_rich("alpha", u"\u00e9t\u00e9");
  obj_set_father(father, src);
  obj_name_set(src, "named");  // gives src a sons list
  field_store<int32_t>(src, offset_of(kRichClass, 7), 42);

  obj_t* dst = make_rich("old", u"old");
  const int dst_id = dst->id;
  // The destination's own strings and coordinates are released by the copy (the
  // sanitizer reports them as leaked otherwise).
  obj_copy(src, dst);

  EXPECT_EQ(dst->id, dst_id);
  EXPECT_EQ(at<int32_t>(dst, offset_of(kRichClass, 7)), 42);
  EXPECT_EQ(obj_get_father(dst, nullptr), nullptr);
  EXPECT_EQ(at<container_t*>(dst, offset_of(kRichClass, 3)), nullptr);
  char* s = at<char*>(dst, offset_of(kRichClass, 4));
  char16_t* w = at<char16_t*>(dst, offset_of(kRichClass, 5));
  EXPECT_NE(s, at<char*>(src, offset_of(kRichClass, 4)));
  EXPECT_STREQ(s, "alpha");
  EXPECT_NE(w, at<char16_t*>(src, offset_of(kRichClass, 5)));
  EXPECT_EQ(std::u16string(w), u"\u00e9t\u00e9");
  const coord_list cs = at<coord_list>(src, offset_of(kRichClass, 6));
  const coord_list cd = at<coord_list>(dst, offset_of(kRichClass, 6));
  ASSERT_EQ(cd.count, 2);
  const double* copied = cd.pts;  // packed fields are read into locals
  EXPECT_NE(copied, static_cast<const double*>(cs.pts));
  EXPECT_EQ(copied[2], 3.5);
  EXPECT_EQ(copied[3], 4.5);

  // Freeing the source first leaves the copy whole (AddressSanitizer checks the rest).
  obj_detach(src);
  free_obj(&src);
  EXPECT_STREQ(at<char*>(dst, offset_of(kRichClass, 4)), "alpha");
  EXPECT_EQ(at<coord_list>(dst, offset_of(kRichClass, 6)).pts[0], 1.5);
  free_obj(&dst);
  free_obj(&father);
}

obj_t* g_copy_src = nullptr;
obj_t* g_copy_dst = nullptr;
int32_t g_value_seen = 0;
void record_copy(const obj_t* src, obj_t* dst) {
  g_copy_src = const_cast<obj_t*>(src);
  g_copy_dst = dst;
  g_value_seen = static_cast<idpair_t*>(dst)->value;
}

TEST_F(ObjectStore, CopyRoutineRunsAfterTheByteCopy) {
  obj_set_copy_callback(CLS_IDPAIR, record_copy);
  idpair_t *a = nullptr, *b = nullptr;
  obj_new_registered(CLS_IDPAIR, &a);
  obj_new_registered(CLS_IDPAIR, &b);
  a->key = 7;
  a->value = 9;
  obj_copy(a, b);
  EXPECT_EQ(g_copy_src, a);
  EXPECT_EQ(g_copy_dst, b);
  EXPECT_EQ(g_value_seen, 9);
  EXPECT_EQ(b->key, 7);
  EXPECT_NE(b->id, a->id);
  free_obj(&a);
  free_obj(&b);
}

TEST_F(ObjectStore, CopyBetweenUnsuitableObjectsDoesNothing) {
  idpair_t *a = nullptr, *b = nullptr;
  alloc_obj(CLS_IDPAIR, &a);
  a->key = 5;
  obj_t* pair = nullptr;
  alloc_obj(CLS_STRPAIR, &pair);
  obj_copy(a, reinterpret_cast<obj_t*>(pair));  // different classes
  EXPECT_EQ(static_cast<strpair_t*>(pair)->key, nullptr);
  obj_copy(a, a);
  obj_copy(nullptr, a);
  obj_copy(a, nullptr);
  // An owning class without descriptor and without copy routine is not copied.
  class_holder_t *h1 = nullptr, *h2 = nullptr;
  obj_new_class_holder(nullptr, &h1);
  obj_new_class_holder(nullptr, &h2);
  obj_add_child(reinterpret_cast<obj_t*>(h1), reinterpret_cast<obj_t*>(a));
  obj_copy(reinterpret_cast<obj_t*>(h1), reinterpret_cast<obj_t*>(h2));
  EXPECT_EQ(h2->parts, nullptr);
  // A class without descriptor that owns nothing is copied byte for byte.
  alloc_obj(CLS_IDPAIR, &b);
  obj_copy(a, b);
  EXPECT_EQ(b->key, 5);
  free_record(&h1);
  free_record(&h2);
  free_obj(&a);
  free_obj(&b);
  free_obj(&pair);
}

TEST_F(ObjectStore, CopiesOfOwningCoreClassesFreeIndependently) {
  strpair_t *a = nullptr, *b = nullptr;
  alloc_obj(CLS_STRPAIR, &a);
  alloc_obj(CLS_STRPAIR, &b);
  a->key = dup_owned_string("key");
  a->value = dup_owned_string("value");
  obj_copy(a, b);
  EXPECT_NE(b->key, a->key);
  EXPECT_STREQ(b->key, "key");
  EXPECT_STREQ(b->value, "value");
  free_obj(&a);
  EXPECT_STREQ(b->value, "value");
  free_obj(&b);

  extent_list_t *e = nullptr, *f = nullptr;
  alloc_obj(CLS_EXTENT_LIST, &e);
  alloc_obj(CLS_EXTENT_LIST, &f);
  uint8_t* data = nullptr;
  alloc_mem(&data, 40);
  std::memset(data, 7, 40);
  e->buf.data = data;
  e->buf.capacity = 40;
  e->buf.count = 1;
  e->buf.elem_size = 40;
  obj_copy(e, f);
  const uint8_t* copied = f->buf.data;
  EXPECT_NE(copied, static_cast<const uint8_t*>(e->buf.data));
  EXPECT_EQ(copied[39], 7);
  free_obj(&e);
  free_obj(&f);
}

// A class without descriptor that its owner declares a tree class keeps the
// destination's father and sons list through a copy, even though its free routine
// would free the sons list; the copy routine still gives it its own strings.
constexpr int kTreeRecord = 151;
#pragma pack(push, 1)
struct tree_record_t : tree_obj_t {
  char* label;
};
#pragma pack(pop)

void tree_record_free(obj_t* o) {
  auto* r = static_cast<tree_record_t*>(o);
  free_mem(&r->label);
  obj_t* sons = reinterpret_cast<obj_t*>(r->sons);
  free_obj(&sons);
  r->sons = nullptr;
}
void tree_record_copy(const obj_t* src, obj_t* dst) {
  static_cast<tree_record_t*>(dst)->label = dup_owned_string(static_cast<const tree_record_t*>(src)->label);
}

TEST_F(ObjectStore, CopyKeepsTheDestinationsPlaceInATree) {
  obj_register_class(kTreeRecord, sizeof(tree_record_t), nullptr);
  obj_set_tree_links(kTreeRecord, TREE_FATHER_AND_SONS);
  obj_set_free_callback(kTreeRecord, tree_record_free);
  obj_set_copy_callback(kTreeRecord, tree_record_copy);
  tree_record_t *top = nullptr, *src = nullptr, *dst = nullptr, *son = nullptr;
  for (tree_record_t** r : {&top, &src, &dst, &son}) obj_new_registered(kTreeRecord, r);
  src->label = dup_owned_string("source");
  dst->label = dup_owned_string("old");  // released by the copy
  obj_set_father(top, dst);
  obj_set_father(dst, son);
  obj_name_set(dst, "dst name");
  container_t* const sons = dst->sons;

  obj_copy(src, dst);
  EXPECT_STREQ(dst->label, "source");
  EXPECT_NE(dst->label, src->label);
  EXPECT_EQ(dst->father, top);
  EXPECT_EQ(dst->sons, sons);
  EXPECT_STREQ(obj_name_get(dst), "dst name");
  obj_t* first = nullptr;
  EXPECT_EQ(obj_son_of_class(dst, kTreeRecord, &first), son);

  obj_detach(son);
  obj_detach(dst);
  for (tree_record_t** r : {&son, &dst, &src, &top}) free_obj(r);
}

// ---- Attribute values ---------------------------------------------------------------
// ---- Attribute values ---------------------------------------------------------------

TEST_F(ObjectStore, SetValueCopiesByType) {
  struct row {
    int type;
    std::vector<uint8_t> value;
    int bytes;
  };
  const int32_t i = -7;
  const double d = 2.25;
  const double dt[2] = {20240101.0, 0.5};
  auto bytes_of = [](const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    return std::vector<uint8_t>(b, b + n);
  };
  const row rows[] = {{AT_INT, bytes_of(&i, 4), 4},    {AT_UINT, bytes_of(&i, 4), 4},
                      {AT_ID, bytes_of(&i, 4), 4},     {AT_KEY, bytes_of(&i, 4), 4},
                      {AT_DOUBLE, bytes_of(&d, 8), 8}, {AT_DATE, bytes_of(&d, 8), 8},
                      {AT_DATETIME, bytes_of(dt, 16), 16}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.type);
    uint8_t attr[24];
    std::memset(attr, 0xAA, sizeof attr);
    attr_set_value(r.type, attr + 1, r.value.data());
    EXPECT_EQ(std::vector<uint8_t>(attr + 1, attr + 1 + r.bytes), r.value);
    EXPECT_EQ(attr[1 + r.bytes], 0xAA);
  }
  // A reference is the pointer itself; other types, null values and null attributes
  // change nothing.
  uint8_t attr[16] = {};
  obj_t* target = reinterpret_cast<obj_t*>(&attr);
  attr_set_value(AT_REF, attr, target);
  EXPECT_EQ(field_load<obj_t*>(attr, 0), target);
  uint8_t untouched[16];
  std::memset(untouched, 0x55, sizeof untouched);
  for (int type : {int(AT_NINT), int(AT_SMALL), int(AT_COLOR), int(AT_COORDS), 40}) attr_set_value(type, untouched, &i);
  attr_set_value(AT_INT, untouched, nullptr);
  attr_set_value(AT_INT, nullptr, &i);
  for (uint8_t b : untouched) EXPECT_EQ(b, 0x55);
}

TEST_F(ObjectStore, SetValueReplacesOwnedStringsWithoutLeaking) {
  uint8_t attr[8] = {};
  attr_set_value(AT_STRING, attr, "first");
  attr_set_value(AT_STRING, attr, "second, longer");  // the first copy is released
  char* s = field_load<char*>(attr, 0);
  EXPECT_STREQ(s, "second, longer");
  attr_set_value(AT_STRING, attr, s);  // itself: kept
  EXPECT_STREQ(field_load<char*>(attr, 0), "second, longer");
  free_mem(&s);

  uint8_t wattr[8] = {};
  attr_set_value(AT_WSTRING, wattr, u"un");
  attr_set_value(AT_WSTRING, wattr, u"deux");
  char16_t* w = field_load<char16_t*>(wattr, 0);
  EXPECT_EQ(std::u16string(w), u"deux");
  free_mem(&w);
}

TEST_F(ObjectStore, FromTextParsesByType) {
  struct row {
    int type;
    const char* text;
    uint64_t expected;  // the attribute's bytes, little-endian
    int bytes;
  };
  const row rows[] = {
      {AT_INT, "-42", uint32_t(-42), 4},        {AT_NINT, "17x", 17, 4},
      {AT_SMALL, "3", 3, 4},                    {AT_UINT, "4000000000", 4000000000u, 4},
      {AT_KEY, "12abc", 12, 4},                 {AT_SIZE, "512", 512, 4},
      {AT_ID, "77 rest", 77, 4},                {AT_REF, "1234", 1234, 8},
      {AT_LIST, "9", 9, 8},                     {AT_COLOR, "10,20,30", 0x1E140A, 4},
      {AT_COLOR, "255 0 128", 0x8000FF, 4},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    uint8_t attr[8] = {};
    attr_from_text(r.type, attr, r.text);
    uint64_t got = 0;
    std::memcpy(&got, attr, r.bytes);
    EXPECT_EQ(got, r.expected);
  }
  struct drow {
    int type;
    const char* text;
    double expected;
  } drows[] = {{AT_DOUBLE, "1,5", 1.5}, {AT_DATE, "-2.5e2", -250}, {AT_NDOUBLE, "3", 3}, {AT_SCALE, "0.25", 0.25}};
  for (const drow& r : drows) {
    uint8_t attr[8] = {};
    attr_from_text(r.type, attr, r.text);
    EXPECT_EQ(field_load<double>(attr, 0), r.expected) << r.text;
  }
  uint8_t f[4] = {};
  attr_from_text(AT_FLOAT, f, "2.5");
  EXPECT_EQ(field_load<float>(f, 0), 2.5f);

  uint8_t s[8] = {}, w[8] = {};
  attr_from_text(AT_STRING, s, "caf\xc3\xa9");
  attr_from_text(AT_STRING, s, "th\xc3\xa9");  // replaces the earlier copy
  attr_from_text(AT_WSTRING, w, "caf\xc3\xa9");
  char* sp = field_load<char*>(s, 0);
  char16_t* wp = field_load<char16_t*>(w, 0);
  EXPECT_STREQ(sp, "th\xc3\xa9");
  EXPECT_EQ(std::u16string(wp), u"caf\u00e9");
  free_mem(&sp);
  free_mem(&wp);

  uint8_t untouched[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  attr_from_text(AT_INT, untouched, nullptr);
  attr_from_text(AT_COORDS, untouched, "1");
  EXPECT_EQ(untouched[0], 1);
  EXPECT_EQ(untouched[7], 8);
}

// ---- Keys ---------------------------------------------------------------------------

TEST_F(ObjectStore, CompareKeysOrdersEachKeyType) {
  const int32_t i1 = -5, i2 = 3;
  const double d1 = 1.0, d2 = 2.0, nan = std::nan("");
  const double t1[2] = {10, 0.5}, t2[2] = {10, 0.75}, t3[2] = {9, 0.9};
  const char *a = "a", *b = "b", *B = "B", *b2 = "b", *none = nullptr;
  const char16_t *wa = u"a", *wb = u"b", *wB = u"B", *wnone = nullptr;
  obj_t o1{4, 0}, o2{9, 0};
  obj_t *r1 = &o1, *r2 = &o2, *rnone = nullptr;
  struct row {
    const char* what;
    int type;
    const void* x;
    const void* y;
    int expected;
  } rows[] = {
      {"int <", AT_INT, &i1, &i2, 1},          {"int >", AT_ID, &i2, &i1, -1},
      {"int =", AT_KEY, &i1, &i1, 0},          {"uint signed", AT_UINT, &i1, &i2, 1},
      {"double <", AT_DOUBLE, &d1, &d2, 1},    {"date >", AT_DATE, &d2, &d1, -1},
      {"nan first", AT_DOUBLE, &nan, &d1, 1},  {"nan last", AT_DOUBLE, &d1, &nan, -1},
      {"nan nan", AT_DOUBLE, &nan, &nan, 0},
      {"datetime tie", AT_DATETIME, t1, t2, 1}, {"datetime first", AT_DATETIME, t1, t3, -1},
      {"a b", AT_STRING, &a, &b, 1},           {"b a", AT_STRING, &b, &a, -1},
      {"B b", AT_STRING, &B, &b, 1},           {"b B", AT_STRING, &b, &B, -1},
      {"b b", AT_STRING, &b, &b2, 0},          {"null null", AT_STRING, &none, &none, 0},
      {"null a", AT_STRING, &none, &a, 1},     {"a null", AT_STRING, &a, &none, -1},
      {"wa wb", AT_WSTRING, &wa, &wb, 1},      {"wB wb", AT_WSTRING, &wB, &wb, 1},
      {"wnull wa", AT_WSTRING, &wnone, &wa, 1}, {"wa wnull", AT_WSTRING, &wa, &wnone, -1},
      {"ref <", AT_REF, &r1, &r2, 1},          {"ref >", AT_REF, &r2, &r1, -1},
      {"ref null null", AT_REF, &rnone, &rnone, 0}, {"ref null a", AT_REF, &rnone, &r1, 1},
      {"ref null b", AT_REF, &r1, &rnone, -1}, {"other type", AT_COLOR, &i1, &i2, 0},
  };
  for (const row& r : rows) EXPECT_EQ(index_compare_keys(r.type, r.x, r.y), r.expected) << r.what;
}

TEST_F(ObjectStore, StringKeysWithNullsSortConsistently) {
  std::vector<const char*> keys = {"b", nullptr, "B", "a", nullptr, "C", "a"};
  std::sort(keys.begin(), keys.end(), [](const char* x, const char* y) {
    return index_compare_keys(AT_STRING, &x, &y) == 1;
  });
  std::vector<std::string> got;
  for (const char* k : keys) got.push_back(k ? k : "<null>");
  EXPECT_EQ(got, (std::vector<std::string>{"<null>", "<null>", "a", "a", "B", "b", "C"}));
}

TEST_F(ObjectStore, KeyDistanceByType) {
  const int32_t i1 = 3, i2 = 10;
  const double d1 = 1.5, d2 = -1.0;
  const char *s1 = "abc", *s2 = "abc", *s3 = "abd";
  obj_t o1{5, 0}, o2{12, 0};
  obj_t *r1 = &o1, *r2 = &o2;
  const double t1[2] = {20240101.0, 0.25}, t2[2] = {20240101.0, 0.75};
  struct row {
    const char* what;
    int type;
    const void* x;
    const void* y;
    double expected;
  } rows[] = {
      {"int", AT_INT, &i1, &i2, 7},         {"id", AT_ID, &i2, &i1, 7},
      {"uint", AT_UINT, &i1, &i2, 7},       {"double", AT_DOUBLE, &d1, &d2, 2.5},
      {"date", AT_DATE, &d2, &d1, 2.5},     {"ref", AT_REF, &r1, &r2, 7},
      {"same text", AT_STRING, &s1, &s2, 0}, {"other text", AT_STRING, &s1, &s3, 1},
      {"key b<a", AT_KEY, &i2, &i1, 1},     {"key b>a", AT_KEY, &i1, &i2, 0},
      {"same day", AT_DATETIME, t1, t2, 0.5}, {"other", AT_COLOR, &i1, &i2, -1},
  };
  for (const row& r : rows) EXPECT_DOUBLE_EQ(index_key_distance(r.x, r.type, r.y), r.expected) << r.what;
}

TEST_F(ObjectStore, KeyCopyMovesTheKeyWidth) {
  struct row {
    int type;
    int bytes;
  } rows[] = {{AT_INT, 4}, {AT_KEY, 4}, {AT_DOUBLE, 8}, {AT_DATETIME, 16},
              {AT_STRING, 8}, {AT_REF, 8}, {AT_COLOR, 0}};
  for (const row& r : rows) {
    uint8_t src[20], dst[20];
    for (int k = 0; k < 20; ++k) src[k] = uint8_t(k + 1);
    std::memset(dst, 0, sizeof dst);
    index_key_copy(r.type, src, dst);
    for (int k = 0; k < 20; ++k) EXPECT_EQ(dst[k], k < r.bytes ? k + 1 : 0) << r.type << " byte " << k;
    std::memset(dst, 0, sizeof dst);
    index_key_store(r.type, dst, src);
    EXPECT_EQ(dst[r.bytes ? r.bytes - 1 : 0], r.bytes ? r.bytes : 0);
  }
}

// ---- Coordinate lists ---------------------------------------------------------------

TEST_F(ObjectStore, CoordinateListsGrowReplaceAndCloseRings) {
  coord_list c{};
  coords_close_ring(&c);  // empty: nothing
  EXPECT_EQ(c.count, 0);
  coords_add(&c, 0, 0);
  coords_close_ring(&c);  // one point: its last is its first
  EXPECT_EQ(c.count, 1);
  coords_add(&c, 1, 0);
  coords_add(&c, 1, 1);
  coords_close_ring(&c);
  ASSERT_EQ(c.count, 4);
  EXPECT_EQ(c.pts[6], 0.0);
  EXPECT_EQ(c.pts[7], 0.0);
  coords_close_ring(&c);  // already closed
  EXPECT_EQ(c.count, 4);

  const double xy[] = {5, 6, 7, 8};
  coords_set(&c, 2, xy);
  ASSERT_EQ(c.count, 2);
  EXPECT_EQ(c.pts[3], 8.0);
  coords_add(&c, 5, 7);  // differs in y only
  coords_close_ring(&c);
  EXPECT_EQ(c.count, 4);
  coords_free(&c);
  EXPECT_EQ(c.count, 0);
  EXPECT_EQ(static_cast<double*>(c.pts), nullptr);
  coords_free(&c);
}

}  // namespace

// An object made outside the store's lists can join its class list later; a clash of
// ids (a file that repeats one) gives the newcomer a fresh id instead of hiding it.
TEST_F(ObjectStore, EnteringAClassListKeepsEveryObjectReachable) {
  obj_t* listed = nullptr;
  obj_new_registered(CLS_IDPAIR, &listed);
  obj_t* clash = nullptr;
  alloc_obj(CLS_IDPAIR, &clash);
  clash->id = listed->id;
  EXPECT_EQ(obj_enter_class_list(clash), 1);
  EXPECT_NE(clash->id, listed->id);
  obj_t* found = nullptr;
  EXPECT_EQ(obj_find_in_class(CLS_IDPAIR, clash->id, &found), clash);
  EXPECT_EQ(obj_find_in_class(CLS_IDPAIR, listed->id, &found), listed);
  const int before = clash->id;
  EXPECT_EQ(obj_enter_class_list(clash), 1);  // entering twice changes nothing
  EXPECT_EQ(clash->id, before);
  EXPECT_EQ(obj_enter_class_list(nullptr), 0);
  free_obj(&clash);
  free_obj(&listed);
}
