// Object lists: null lists, growth of the element array, insertion and removal,
// iteration by class, fixed-size lists, id-ordered lists, copies and the class holder.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/core_classes.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "tests/support/object_env.h"

namespace {

// Lists and class holders are objects whose records are declared apart.
template <class T> void free_record(T** p) {
  obj_t* o = reinterpret_cast<obj_t*>(*p);
  free_obj(&o);
  *p = reinterpret_cast<T*>(o);
}

// Objects of a few plain classes (no descriptor, nothing owned), freed at the end.
class ObjList : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    for (int cls : {3, 7, 9}) obj_register_class(cls, 12, nullptr);
  }
  void TearDown() override {
    set_gblerr(0);
    for (obj_t*& o : made_) free_obj(&o);
    for (container_t*& l : lists_) free_record(&l);
  }
  obj_t* make(int cls) {
    obj_t* o = nullptr;
    obj_new(0, cls, &o);
    made_.push_back(o);
    return o;
  }
  obj_t* make_unnumbered(int cls) {
    obj_t* o = nullptr;
    alloc_obj(cls, &o);
    made_.push_back(o);
    return o;
  }
  container_t* list(std::initializer_list<obj_t*> elems = {}) {
    container_t* l = nullptr;
    obj_list_new(&l);
    lists_.push_back(l);
    for (obj_t* e : elems) obj_list_append(l, e);
    return l;
  }
  static std::vector<obj_t*> elems(const container_t* l) {
    std::vector<obj_t*> v;
    for (int i = 0; i < obj_list_count(l); ++i) v.push_back(obj_list_get(l, i, nullptr));
    return v;
  }
  std::vector<obj_t*> made_;
  std::vector<container_t*> lists_;
};

TEST_F(ObjList, NullListIsEmptyEverywhere) {
  obj_t* out = make(3);
  EXPECT_EQ(obj_list_count(nullptr), 0);
  EXPECT_EQ(obj_list_get(nullptr, 0, &out), nullptr);
  EXPECT_EQ(out, nullptr);
  int i = 0;
  EXPECT_EQ(obj_list_next_of_type(nullptr, 0, &i, nullptr), nullptr);
  EXPECT_EQ(obj_list_last(nullptr, nullptr), nullptr);
  EXPECT_EQ(obj_list_count_of_class(nullptr, 3), 0);
  EXPECT_EQ(obj_list_has_class(nullptr, 0), 0);
  EXPECT_EQ(obj_list_equal(nullptr, nullptr), 0);
  EXPECT_EQ(obj_list_pop(nullptr, &out), 0);
  EXPECT_EQ(id_list_find(nullptr, 2, nullptr), 0);
  EXPECT_EQ(id_list_get(nullptr, 2, nullptr), nullptr);
  EXPECT_EQ(obj_list_append_unique(nullptr, made_[0]), 0);
  obj_list_append(nullptr, made_[0]);
  obj_list_insert(nullptr, 0, made_[0]);
  obj_list_remove_at(nullptr, 0);
  obj_list_remove_type(nullptr, 3);
  obj_list_compact(nullptr);
  obj_list_clear(nullptr);
  obj_list_trim(nullptr);
  obj_list_free_elements(nullptr);
  obj_list_set(nullptr, 0, made_[0]);
}

TEST_F(ObjList, NewListHasAnIdAndNoElements) {
  container_t* l = list();
  EXPECT_GT(l->id, 1);
  EXPECT_EQ(l->cls, CLS_CONTAINER);
  EXPECT_EQ(l->count, 0);
  EXPECT_EQ(l->elems, nullptr);
  EXPECT_EQ(l->key_type, 0);
}

TEST_F(ObjList, AppendGrowsExactlyBelow1024BytesThenBySteps) {
  // capacity after appending the n-th element
  struct row {
    int n;
    uint32_t capacity;
  } rows[] = {{1, 16}, {2, 24}, {126, 1016}, {127, 4096}, {128, 4096},
              {510, 4096}, {511, 16384}, {2046, 16384}, {2047, 65536}};
  container_t* l = list();
  obj_t* e = make(3);
  int n = 0;
  for (const row& r : rows) {
    while (n < r.n) {
      obj_list_append(l, e);
      ++n;
    }
    EXPECT_EQ(l->capacity, r.capacity) << "after " << r.n << " elements";
  }
  EXPECT_EQ(list_capacity_for(126), 1016u);
  obj_list_trim(l);
  EXPECT_EQ(l->capacity, list_capacity_for(2047));
}

TEST_F(ObjList, InsertAtEveryValidPositionAndNowhereElse) {
  obj_t *a = make(3), *b = make(3), *c = make(3), *x = make(7);
  struct row {
    int pos;
    std::vector<obj_t*> expected;
  } rows[] = {{0, {x, a, b, c}}, {1, {a, x, b, c}}, {3, {a, b, c, x}},
              {-1, {a, b, c}},   {4, {a, b, c}},    {100, {a, b, c}}};
  for (const row& r : rows) {
    container_t* l = list({a, b, c});
    obj_list_insert(l, r.pos, x);
    EXPECT_EQ(elems(l), r.expected) << "position " << r.pos;
    EXPECT_EQ(obj_list_count(l), int(r.expected.size()));
  }
}

TEST_F(ObjList, RemoveTypeClosesEveryRun) {
  obj_t *a7 = make(7), *b3 = make(3), *c7 = make(7), *d7 = make(7), *e9 = make(9);
  struct row {
    std::vector<obj_t*> before;
    std::vector<obj_t*> after;
  } rows[] = {
      {{a7, b3, c7, d7}, {b3}},
      {{b3, a7, c7, e9, d7, b3}, {b3, e9, b3}},
      {{a7, c7}, {}},
      {{b3, e9}, {b3, e9}},
      {{}, {}},
  };
  for (const row& r : rows) {
    container_t* l = list();
    for (obj_t* o : r.before) obj_list_append(l, o);
    obj_list_remove_type(l, 7);
    EXPECT_EQ(elems(l), r.after);
    if (r.after.empty()) {
      EXPECT_EQ(l->elems, nullptr);
    }
  }
  container_t* l = list({a7, b3});
  obj_list_remove_class(l, 0);
  EXPECT_EQ(obj_list_count(l), 0);
  EXPECT_EQ(l->elems, nullptr);
}

TEST_F(ObjList, AddUniqueFrontKeepsTheNewestFirst) {
  obj_t *a = make(3), *b = make(3), *c = make(3), *d = make(3);
  container_t* l = nullptr;
  obj_list_new_with_capacity(3, &l);
  lists_.push_back(l);
  EXPECT_EQ(l->capacity, 3u);
  for (obj_t* o : {a, b, c}) EXPECT_EQ(obj_list_add_unique_front(l, o), 0);
  EXPECT_EQ(elems(l), (std::vector<obj_t*>{a, b, c}));
  EXPECT_EQ(obj_list_add_unique_front(l, d), 0);
  EXPECT_EQ(elems(l), (std::vector<obj_t*>{d, a, b}));
  EXPECT_EQ(obj_list_add_unique_front(l, a), 1);
  EXPECT_EQ(elems(l), (std::vector<obj_t*>{d, a, b}));
  // A growable list without an array takes nothing this way.
  container_t* plain = list();
  EXPECT_EQ(obj_list_add_unique_front(plain, a), 0);
  EXPECT_EQ(obj_list_count(plain), 0);
}

// Removal keeps a fixed-size list's array and its capacity in elements, so that it
// still drops its oldest element when full (AddressSanitizer checks every store).
TEST_F(ObjList, FixedSizeListStaysFixedAfterARemoval) {
  obj_t *a = make(3), *b = make(3), *c = make(3), *d = make(3), *e = make(3), *f = make(3);
  container_t* l = nullptr;
  obj_list_new_with_capacity(3, &l);
  lists_.push_back(l);
  for (obj_t* o : {a, b, c}) obj_list_add_unique_front(l, o);
  struct step {
    obj_t* add;  // null: remove position 0 instead
    std::vector<obj_t*> expected;
  } steps[] = {{nullptr, {b, c}}, {d, {b, c, d}}, {e, {e, b, c}}, {f, {f, e, b}}};
  for (const step& s : steps) {
    if (s.add)
      obj_list_add_unique_front(l, s.add);
    else
      obj_list_remove_at(l, 0);
    EXPECT_EQ(elems(l), s.expected);
    EXPECT_EQ(l->capacity, 3u);
  }
}

TEST_F(ObjList, IterationByClassStopsAtTheFirstNullSlot) {
  obj_t *a = make(3), *b = make(7), *c = make(3), *d = make(3);
  container_t* l = list({a, b, c, nullptr, d});
  EXPECT_EQ(obj_list_count_of_class(l, 3), 2);
  EXPECT_EQ(obj_list_count_of_class(l, 0), 5);
  EXPECT_EQ(obj_list_has_class(l, 3), 1);
  EXPECT_EQ(obj_list_has_class(l, 9), 0);

  std::vector<obj_t*> seen;
  int i = 0;
  for (obj_t* o; (o = obj_list_next_of_type(l, 3, &i, nullptr));) seen.push_back(o);
  EXPECT_EQ(seen, (std::vector<obj_t*>{a, c}));
  EXPECT_EQ(i, 3);

  seen.clear();
  i = 2;
  for (obj_t* o; (o = obj_list_prev_of_type(l, 0, &i, nullptr));) seen.push_back(o);
  EXPECT_EQ(seen, (std::vector<obj_t*>{c, b, a}));
  EXPECT_EQ(obj_list_first_of_class(l, 7, nullptr), b);
  EXPECT_EQ(obj_list_last_of_type(l, 3, nullptr), d);
  EXPECT_EQ(obj_list_last_of_class(l, 7, nullptr), nullptr);  // the null slot ends it
}

TEST_F(ObjList, PositionalAccessAndRemoval) {
  obj_t *a = make(3), *b = make(3), *c = make(3);
  container_t* l = list({a, b, c});
  EXPECT_EQ(obj_list_first(l, nullptr), a);
  EXPECT_EQ(obj_list_last(l, nullptr), c);
  EXPECT_EQ(obj_list_at(l, 3, nullptr), nullptr);
  EXPECT_EQ(obj_list_at(l, -1, nullptr), nullptr);
  obj_list_set(l, 3, a);  // no growth
  EXPECT_EQ(obj_list_count(l), 3);
  obj_list_remove_at(l, 1);
  EXPECT_EQ(elems(l), (std::vector<obj_t*>{a, c}));
  obj_list_remove_at(l, 5);
  obj_t* out = nullptr;
  EXPECT_EQ(obj_list_pop(l, &out), 1);
  EXPECT_EQ(out, c);
  EXPECT_EQ(obj_list_append_unique(l, a), 0);
  EXPECT_EQ(obj_list_append_unique(l, b), 1);
  EXPECT_EQ(elems(l), (std::vector<obj_t*>{a, b}));

  obj_list_set_count(l, 4);  // room is made, new slots are null
  EXPECT_EQ(elems(l), (std::vector<obj_t*>{a, b, nullptr, nullptr}));
  obj_list_compact(l);
  EXPECT_EQ(elems(l), (std::vector<obj_t*>{a, b}));
  EXPECT_EQ(l->capacity, list_capacity_for(2));
}

TEST_F(ObjList, CopiesAndComparisons) {
  obj_t *a = make(3), *b = make(7), *c = make(3);
  container_t* src = list({a, b, nullptr, c});
  container_t* dst = list();
  obj_list_copy_type(src, 3, dst);
  EXPECT_EQ(elems(dst), (std::vector<obj_t*>{a, c}));
  container_t* all = list();
  obj_list_append_all(src, all);
  EXPECT_EQ(elems(all), (std::vector<obj_t*>{a, b, c}));
  EXPECT_EQ(all->capacity, list_capacity_for(3));

  container_t* clone = nullptr;
  obj_list_clone(all, &clone);
  lists_.push_back(clone);
  EXPECT_NE(clone->elems, all->elems);
  EXPECT_EQ(obj_list_equal(clone, all), 1);
  EXPECT_EQ(obj_list_equal(clone, dst), 0);
  obj_list_set(clone, 0, c);
  EXPECT_EQ(obj_list_equal(clone, all), 0);
  EXPECT_EQ(obj_list_get(all, 0, nullptr), a);

  all->elem_class = 3;
  all->key_type = AT_INT;
  all->key_offset = 8;
  all->source = src;
  container_t* like = nullptr;
  obj_list_new_like(all, &like);
  lists_.push_back(like);
  EXPECT_EQ(like->elem_class, 3);
  EXPECT_EQ(like->key_type, AT_INT);
  EXPECT_EQ(like->key_offset, 8);
  EXPECT_EQ(like->source, src);
  EXPECT_EQ(obj_list_count(like), 0);
  EXPECT_EQ(obj_list_new_like(nullptr, &like), nullptr);
}

TEST_F(ObjList, ContainerCopyHoldsItsOwnArrayAndNames) {
  obj_t *a = make(3), *b = make(3);
  container_t* src = list({a, b});
  obj_name_set(reinterpret_cast<obj_t*>(src), "outer");
  char* name = nullptr;
  str_set("list name", &name);
  src->name = name;
  src->name_text = dup_owned_string("text");
  container_t* dst = list();
  obj_copy(reinterpret_cast<obj_t*>(src), reinterpret_cast<obj_t*>(dst));
  EXPECT_EQ(elems(dst), (std::vector<obj_t*>{a, b}));
  EXPECT_NE(dst->elems, src->elems);
  EXPECT_EQ(dst->sons, nullptr);
  EXPECT_STREQ(dst->name, "list name");
  EXPECT_NE(dst->name, src->name);
  EXPECT_STREQ(dst->name_text, "text");
  free_record(&lists_[0]);  // the source: the copy keeps its memory
  EXPECT_EQ(obj_list_get(dst, 1, nullptr), b);
  EXPECT_STREQ(dst->name_text, "text");
}

// A list that has a place in a tree keeps it when another list is copied into it: its
// father, its sons list and the name that list carries.
TEST_F(ObjList, CopyIntoAListKeepsItsFatherAndName) {
  obj_t *a = make(3), *b = make(3);
  container_t* src = list({a});
  container_t* outer = list();
  container_t* dst = list({b});
  obj_t* dst_obj = reinterpret_cast<obj_t*>(dst);
  obj_set_father(reinterpret_cast<obj_t*>(outer), dst_obj);
  obj_name_set(dst_obj, "kept");
  container_t* const sons = dst->sons;
  obj_copy(reinterpret_cast<obj_t*>(src), dst_obj);
  EXPECT_EQ(elems(dst), (std::vector<obj_t*>{a}));
  EXPECT_EQ(dst->father, reinterpret_cast<obj_t*>(outer));
  EXPECT_EQ(dst->sons, sons);
  EXPECT_STREQ(obj_name_get(dst_obj), "kept");
  obj_detach(dst_obj);
  EXPECT_EQ(obj_list_count(outer->sons), 0);
}

TEST_F(ObjList, FreeElementsAndFreeType) {
  container_t* l = list();
  for (int cls : {3, 7, 3, 9}) {
    obj_t* o = nullptr;
    obj_new(0, cls, &o);
    obj_list_append(l, o);
  }
  set_gblerr(ERR_VALUE);
  obj_list_free_type(l, 3);
  obj_list_free_elements(l);
  EXPECT_EQ(obj_list_count(l), 4);
  set_gblerr(0);
  obj_list_free_type(l, 3);
  ASSERT_EQ(obj_list_count(l), 2);
  EXPECT_EQ(obj_list_get(l, 0, nullptr)->cls, 7);
  EXPECT_EQ(obj_list_get(l, 1, nullptr)->cls, 9);
  obj_list_free_elements(l);
  EXPECT_EQ(obj_list_count(l), 0);
}

TEST_F(ObjList, AnObjectListedTwiceIsFreedOnce) {
  // The sanitizer reports a double free if any of these frees an object twice.
  obj_t* a = nullptr;
  obj_t* b = nullptr;
  obj_new(0, 3, &a);
  obj_new(0, 7, &b);
  container_t* twice = list({a, b, a});
  obj_list_free_elements(twice);
  EXPECT_EQ(obj_list_count(twice), 0);

  obj_new(0, 3, &a);
  obj_new(0, 7, &b);
  container_t* first = list({a, b});
  container_t* second = list({b, a, a});
  container_t* both[] = {first, second};
  obj_lists_free_type(both, 2, 3);
  EXPECT_EQ(elems(first), std::vector<obj_t*>{b});
  EXPECT_EQ(elems(second), std::vector<obj_t*>{b});
  obj_list_free_type(first, 7);
  EXPECT_EQ(obj_list_count(first), 0);
}

// ---- Id-ordered lists ---------------------------------------------------------------

TEST_F(ObjList, IdOrderedListKeepsIdsAscendingAndUnique) {
  obj_t *a = make(3), *b = make(7), *c = make(3), *d = make(9);
  obj_t* fresh = make_unnumbered(3);
  container_t* l = list();
  for (obj_t* o : {c, a, d, b, a, fresh}) obj_add_to_id_list(l, o);
  EXPECT_NE(fresh->id, 0);
  EXPECT_EQ(elems(l), (std::vector<obj_t*>{a, b, c, d, fresh}));

  int pos = -1;
  EXPECT_EQ(id_list_find(l, c->id, &pos), 1);
  EXPECT_EQ(pos, 2);
  EXPECT_EQ(id_list_find(l, 0, &pos), 0);
  EXPECT_EQ(id_list_find(l, fresh->id + 1, &pos), 0);
  EXPECT_EQ(id_list_lower_bound(l, c->id, &pos), 1);
  EXPECT_EQ(pos, 2);
  EXPECT_EQ(id_list_lower_bound(l, fresh->id + 5, &pos), 0);
  EXPECT_EQ(pos, 5);
  EXPECT_EQ(id_list_get(l, d->id, nullptr), d);

  std::vector<obj_t*> walked;
  for (obj_t* o = nullptr; obj_list_next_by_id(l, &o);) walked.push_back(o);
  EXPECT_EQ(walked, elems(l));
  walked.clear();
  for (obj_t* o = nullptr; obj_list_next_of_class_by_id(l, 3, &o);) walked.push_back(o);
  EXPECT_EQ(walked, (std::vector<obj_t*>{a, c, fresh}));
  EXPECT_EQ(obj_list_next_after_id(l, 9, a->id, nullptr), d);
  EXPECT_EQ(obj_list_next_after_id(l, 7, c->id, nullptr), nullptr);

  obj_list_remove_id(l, b->id);
  obj_list_remove_id_fwd(l, 999);
  EXPECT_EQ(elems(l), (std::vector<obj_t*>{a, c, d, fresh}));

  // A sorted index is not searched by id.
  l->key_type = AT_INT;
  EXPECT_EQ(id_list_find(l, a->id, &pos), 0);
  obj_t* none = a;
  EXPECT_EQ(obj_list_next_by_id(l, &none), nullptr);
}

TEST_F(ObjList, MovingAndAddingIntoIdOrderedLists) {
  obj_t *a = make(3), *b = make(7), *c = make(3);
  container_t* src = list({c, b, a});
  container_t* dst = list({b});
  obj_list_add_to_id_list(src, 3, dst);
  EXPECT_EQ(elems(dst), (std::vector<obj_t*>{a, b, c}));
  container_t* other = list();
  obj_list_move_to_id_list(src, other);
  EXPECT_EQ(elems(other), (std::vector<obj_t*>{a, b, c}));
  EXPECT_EQ(obj_list_count(src), 0);
}

TEST_F(ObjList, NewInListNumbersOnlyWithAList) {
  container_t* l = list();
  obj_t* listed = nullptr;
  obj_new_in_list(l, 3, &listed);
  made_.push_back(listed);
  EXPECT_NE(listed->id, 0);
  EXPECT_EQ(elems(l), (std::vector<obj_t*>{listed}));
  obj_t* loose = nullptr;
  obj_new_in_list(nullptr, 3, &loose);
  made_.push_back(loose);
  ASSERT_NE(loose, nullptr);
  EXPECT_EQ(loose->id, 0);
}

// ---- Class holder -------------------------------------------------------------------

constexpr int kCity = 120, kRiver = 121;
const attr_desc kCityAttrs[] = {{"id", AT_ID}, {"type", AT_INT}, {"name", AT_STRING}, {"pop", AT_INT}};
const objdesc kCityDesc = {"city", 4, kCityAttrs};
const attr_desc kRiverAttrs[] = {{"id", AT_ID}, {"type", AT_INT}, {"len", AT_DOUBLE}, {"name", AT_STRING}};
const objdesc kRiverDesc = {"river", 4, kRiverAttrs};
const attr_desc kPlaceAttrs[] = {{"id", AT_ID},      {"type", AT_INT},   {"name", AT_STRING},
                                 {"count", AT_INT},  {"size", AT_DOUBLE}, {"source", AT_REF}};
const objdesc kPlaceDesc = {"place", 6, kPlaceAttrs};

int off(int cls, int i) {
  int o = 0;
  obj_attr_info(cls, i, nullptr, &o, nullptr);
  return o;
}

TEST_F(ObjList, ClassHolderFillsItsRecordFromLinkedElements) {
  obj_register_class(kCity, 0, &kCityDesc);
  obj_register_class(kRiver, 0, &kRiverDesc);
  auto city = [&](const char* name, int pop) {
    obj_t* o = make(kCity);
    field_store(o, off(kCity, 2), name);  // borrowed literal: the class frees nothing
    field_store<int32_t>(o, off(kCity, 3), pop);
    return o;
  };
  auto river = [&](const char* name, double len) {
    obj_t* o = make(kRiver);
    field_store(o, off(kRiver, 3), name);
    field_store(o, off(kRiver, 2), len);
    return o;
  };
  obj_t *paris = city("Paris", 2100000), *lyon = city("Lyon", 520000);
  obj_t* loire = river("Loire", 1006.5);
  obj_t* other = make(3);
  container_t* first = list({paris, other});
  container_t* second = list({loire, nullptr, lyon});

  class_holder_t* h = nullptr;
  obj_new_class_holder(&kPlaceDesc, &h);
  ASSERT_NE(h, nullptr);
  const int place = obj_get_word6(h);
  EXPECT_GT(place, kUserClassBase);
  obj_t* const record = h->record;  // read once: the field is not aligned
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->cls, place);
  obj_add_link(h, 2, kCity, 2);
  obj_add_link(h, 3, kCity, 3);
  obj_add_link(h, 5, kCity, 0);  // the element itself
  obj_add_link(h, 2, kRiver, 3);
  obj_add_link(h, 4, kRiver, 2);
  obj_add_link(h, 40, kRiver, 2);  // no such target: no link
  EXPECT_EQ(obj_list_count(h->links), 5);
  obj_add_child(reinterpret_cast<obj_t*>(h), reinterpret_cast<obj_t*>(first));
  obj_add_child(reinterpret_cast<obj_t*>(h), reinterpret_cast<obj_t*>(second));

  struct step {
    const char* name;
    int index_after;
  } steps[] = {{"Paris", 1}, {"Loire", 3}, {"Lyon", 5}};
  int index = 0;
  for (const step& s : steps) {
    obj_t* rec = nullptr;
    ASSERT_NE(parts_find_index(h, &index, &rec), nullptr) << s.name;
    EXPECT_EQ(rec, record);
    EXPECT_STREQ(field_load<const char*>(rec, off(place, 2)), s.name);
    EXPECT_EQ(index, s.index_after);
  }
  const obj_t* rec = record;
  EXPECT_EQ(field_load<int32_t>(rec, off(place, 3)), 520000);
  EXPECT_EQ(field_load<double>(rec, off(place, 4)), 1006.5);
  EXPECT_EQ(field_load<obj_t*>(rec, off(place, 5)), lyon);
  obj_t* none = record;
  EXPECT_EQ(parts_find_index(h, &index, &none), nullptr);
  EXPECT_EQ(none, nullptr);

  int part = 0, at = 0, visited = 0;
  std::vector<int> parts_seen;
  while (parts_find_range(h, &part, nullptr, &at, &visited)) parts_seen.push_back(part);
  EXPECT_EQ(parts_seen, (std::vector<int>{0, 1, 1}));
  EXPECT_EQ(visited, 5);

  // The holder frees its links, its parts list (not the lists in it) and its record.
  free_record(&h);
  EXPECT_EQ(obj_list_count(first), 2);
}

// Only a class holder has a parts list; a part that is not a list is passed over.
TEST_F(ObjList, ChildrenGoOnlyIntoTheHolderPartsAndMustBeLists) {
  obj_register_class(kCity, 0, &kCityDesc);
  obj_register_class(30, 40, nullptr);  // a record whose later words hold anything
  obj_t* record = make(30);
  std::vector<char> bytes(40 - 8);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(0xC0 + i);
  std::memcpy(reinterpret_cast<char*>(record) + 8, bytes.data(), bytes.size());
  obj_t* paris = make(kCity);
  obj_add_child(record, paris);
  EXPECT_EQ(std::memcmp(reinterpret_cast<char*>(record) + 8, bytes.data(), bytes.size()), 0);

  class_holder_t* h = nullptr;
  obj_new_class_holder(&kPlaceDesc, &h);
  obj_add_link(h, 5, kCity, 0);
  obj_add_child(reinterpret_cast<obj_t*>(h), record);  // not a list
  obj_add_child(reinterpret_cast<obj_t*>(h), reinterpret_cast<obj_t*>(list({paris})));
  int index = 0;
  obj_t* rec = nullptr;
  ASSERT_NE(parts_find_index(h, &index, &rec), nullptr);
  EXPECT_EQ(field_load<obj_t*>(rec, off(obj_get_word6(h), 5)), paris);
  EXPECT_EQ(index, 1);
  int part = 0, at = 0, visited = 0;
  EXPECT_NE(parts_find_range(h, &part, nullptr, &at, &visited), nullptr);
  EXPECT_EQ(part, 1);
  EXPECT_EQ(visited, 1);
  free_record(&h);
}

}  // namespace
