// Keyword dictionaries: exact lookups, duplicate names, reverse lookups in table order,
// the tag class and its copy routine, and raising a value above a list's.
#include "core/dict.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "tests/support/object_env.h"

namespace {

class DictTest : public ::testing::Test {
 protected:
  void SetUp() override { tm_test::reset_object_store(); }
  void TearDown() override {
    set_gblerr(0);
    for (container_t*& l : lists_) free_obj(&l);
  }
  container_t* build(std::vector<tag_t>& table) {
    container_t* d = nullptr;
    EXPECT_EQ(dict_build(static_cast<int>(table.size()), table.data(), &d), 0);
    lists_.push_back(d);
    return d;
  }
  container_t* reverse(container_t* dict) {
    container_t* r = nullptr;
    dict_create_reverse(dict, &r);
    lists_.push_back(r);
    return r;
  }
  std::vector<container_t*> lists_;
};

TEST_F(DictTest, TagClassIsRegisteredWithItsLayout) {
  EXPECT_STREQ(obj_class_name(CLS_TAG), "tag");
  EXPECT_EQ(obj_class_size(CLS_TAG), static_cast<int>(sizeof(tag_t)));
  const int expected[] = {0, 4, 8, 16};  // pointers are 8 bytes wide
  const int types[] = {AT_ID, AT_INT, AT_STRING, AT_INT};
  for (int i = 0; i < 4; ++i) {
    int type = -1, off = -1;
    obj_attr_info(CLS_TAG, i, &type, &off, nullptr);
    EXPECT_EQ(off, expected[i]) << i;
    EXPECT_EQ(type, types[i]) << i;
  }
}

TEST_F(DictTest, LookupMatchesTheExactNameCaseIncluded) {
  std::vector<tag_t> table = {make_tag("a", 1), make_tag("B", 2), make_tag("b", 3)};
  container_t* dict = build(table);
  struct row {
    const char* name;
    int expected;
  };
  const row rows[] = {{"b", 3}, {"B", 2}, {"a", 1}, {"A", -7},
                      {"c", -7}, {"", -7}, {"ab", -7}, {nullptr, -7}};
  for (const row& r : rows) {
    int value = 0;
    EXPECT_EQ(*dict_lookup(dict, r.name, -7, &value), r.expected) << (r.name ? r.name : "(null)");
  }
  int value = 0;
  EXPECT_EQ(*dict_lookup(nullptr, "a", -7, &value), -7);
}

TEST_F(DictTest, BuildPointsAtTheTableAndStampsIdsInTableOrder) {
  std::vector<tag_t> table = {make_tag("x", 5), make_tag("x", 6), make_tag("w", 7)};
  container_t* dict = build(table);
  ASSERT_EQ(obj_list_count(dict), 3);
  EXPECT_EQ(dict->capacity, list_capacity_for(3));
  EXPECT_NE(table[0].id, 0);
  EXPECT_LT(table[0].id, table[1].id);
  EXPECT_LT(table[1].id, table[2].id);
  std::vector<obj_t*> order;
  for (int i = 0; i < 3; ++i) {
    obj_t* o = nullptr;
    order.push_back(obj_list_get(dict, i, &o));
  }
  EXPECT_EQ(order, (std::vector<obj_t*>{&table[2], &table[0], &table[1]}));
  int value = 0;
  EXPECT_EQ(*dict_lookup(dict, "x", 0, &value), 5);  // duplicate names: the first
}

TEST_F(DictTest, EmptyDictionaryAndBuildUnderAPendingError) {
  container_t* d = nullptr;
  EXPECT_EQ(dict_create(&d), 0);
  lists_.push_back(d);
  EXPECT_EQ(index_is_sorted(d), 1);
  EXPECT_EQ(obj_list_count(d), 0);

  std::vector<tag_t> table = {make_tag("a", 1)};
  set_gblerr(ERR_VALUE);
  container_t* failed = nullptr;
  EXPECT_EQ(dict_build(1, table.data(), &failed), ERR_VALUE);
  lists_.push_back(failed);
  EXPECT_EQ(obj_list_count(failed), 0);
  EXPECT_EQ(table[0].id, 0);
  set_gblerr(0);
  EXPECT_EQ(dict_build(1, table.data(), nullptr), 0);  // nowhere to put it: nothing built
  EXPECT_EQ(table[0].id, 0);
}

TEST_F(DictTest, ReverseLookupGivesTheFirstNameInTableOrder) {
  // Names in the opposite alphabetical order to the table, so that the name order of
  // the dictionary cannot stand in for table order.
  std::vector<tag_t> table = {make_tag("zeta", 1), make_tag("alpha", 1), make_tag("two", 2),
                              make_tag("Two", 2), make_tag("nine", 9)};
  container_t* dict = build(table);
  container_t* rev = reverse(dict);
  struct row {
    int value;
    const char* expected;  // null: the default
  };
  const row rows[] = {{1, "zeta"}, {2, "two"}, {9, "nine"}, {3, nullptr}, {0, nullptr}};
  for (const row& r : rows) {
    const char* name = nullptr;
    dict_name_of(rev, r.value, "?", &name);
    EXPECT_STREQ(name, r.expected ? r.expected : "?") << r.value;
    dict_find_name(rev, r.value, &name);
    if (r.expected)
      EXPECT_STREQ(name, r.expected) << r.value;
    else
      EXPECT_EQ(name, nullptr) << r.value;
  }
  const char* name = nullptr;
  dict_name_of(nullptr, 1, "?", &name);
  EXPECT_STREQ(name, "?");
}

TEST_F(DictTest, CreateReverseReplacesWhatTheOutputHeld) {
  std::vector<tag_t> table = {make_tag("a", 1), make_tag("b", 2)};
  container_t* dict = build(table);
  container_t* rev = nullptr;
  dict_create_reverse(dict, &rev);
  ASSERT_NE(rev, nullptr);
  dict_create_reverse(dict, &rev);  // the first one is freed (the leak check would tell)
  lists_.push_back(rev);
  ASSERT_NE(rev, nullptr);
  EXPECT_EQ(obj_list_count(rev), 2);
  EXPECT_EQ(rev->source, dict);

  // While an error is pending the old reverse dictionary cannot be freed: it is kept,
  // whole, rather than replaced by an unfilled one (the leak check sees a lost one).
  set_gblerr(ERR_VALUE);
  container_t* const before = rev;
  EXPECT_EQ(dict_create_reverse(dict, &rev), before);
  EXPECT_EQ(rev, before);
  set_gblerr(0);
  ASSERT_EQ(obj_list_count(rev), 2);
  const char* name = nullptr;
  EXPECT_STREQ(*dict_name_of(rev, 2, "?", &name), "b");
}

TEST_F(DictTest, CopyOfATagOwnsItsName) {
  tag_t* src = nullptr;
  alloc_obj(CLS_TAG, &src);
  char* name = nullptr;
  str_set("keyword", &name);
  src->name = name;
  src->val = 42;
  tag_t* copy = nullptr;
  alloc_obj(CLS_TAG, &copy);
  obj_copy(src, copy);
  EXPECT_NE(copy->name, src->name);
  EXPECT_STREQ(copy->name, "keyword");
  EXPECT_EQ(copy->val, 42);

  tag_t* unnamed = nullptr;
  alloc_obj(CLS_TAG, &unnamed);
  tag_t* unnamed_copy = nullptr;
  alloc_obj(CLS_TAG, &unnamed_copy);
  obj_copy(unnamed, unnamed_copy);
  EXPECT_EQ(unnamed_copy->name, nullptr);

  // Copying onto a tag that already owns a name releases that name (the sanitizer
  // reports it as leaked otherwise), and freeing a tag frees the name it owns.
  char* other = nullptr;
  str_set("other", &other);
  unnamed->name = other;
  obj_copy(unnamed, copy);
  EXPECT_STREQ(copy->name, "other");
  EXPECT_NE(copy->name, unnamed->name);
  for (tag_t* t : {src, copy, unnamed, unnamed_copy}) free_obj(&t);
}

TEST_F(DictTest, PutCopyOntoAnExistingElementKeepsOneOwnedName) {
  container_t* dict = nullptr;
  dict_create(&dict);
  lists_.push_back(dict);
  obj_t* first = nullptr;
  index_add_new(dict, &first, "key");
  tag_t* src = nullptr;
  alloc_obj(CLS_TAG, &src);
  char* name = nullptr;
  str_set("key", &name);
  src->name = name;
  src->val = 7;
  obj_t* put = nullptr;
  index_put_copy(src, dict, &put);
  ASSERT_EQ(put, first);  // the element with that key received the copy
  EXPECT_EQ(static_cast<tag_t*>(put)->val, 7);
  EXPECT_NE(static_cast<tag_t*>(put)->name, src->name);
  EXPECT_EQ(obj_list_count(dict), 1);
  free_obj(&src);
  obj_list_free_elements(dict);
}

TEST_F(DictTest, NextValueRaisesATagAboveTheList) {
  std::vector<tag_t> table = {make_tag("a", 3), make_tag("b", 9), make_tag("c", 1)};
  container_t* list = nullptr;
  obj_list_new(&list);
  lists_.push_back(list);
  for (tag_t& t : table) obj_list_append(list, &t);
  struct row {
    int start, expected;
  };
  const row rows[] = {{5, 10}, {9, 10}, {-4, 10}, {10, 10}, {12, 12}};
  for (const row& r : rows) {
    tag_t t = make_tag("new", r.start);
    dict_next_value(list, &t);
    EXPECT_EQ(t.val, r.expected) << r.start;
  }
  // A tag already in the list is compared with the others only.
  dict_next_value(list, &table[1]);
  EXPECT_EQ(table[1].val, 9);
  dict_next_value(list, &table[2]);
  EXPECT_EQ(table[2].val, 10);

  tag_t lone = make_tag("lone", 2);
  container_t* empty = nullptr;
  obj_list_new(&empty);
  lists_.push_back(empty);
  dict_next_value(empty, &lone);
  dict_next_value(nullptr, &lone);
  EXPECT_EQ(lone.val, 2);
}

}  // namespace
